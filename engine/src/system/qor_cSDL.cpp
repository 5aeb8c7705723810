#include "qor_cSDL.h"

#include <SDL.h>

#include <cstdio>

namespace
{
SDL_Window * s_pActiveWindow = nullptr;
}

bool qoru_initSDLVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0)
    {
        std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
        return false;
    }
    return true;
}

SDL_Window * qoru_getActiveSDLWindow() { return s_pActiveWindow; }
void qoru_setActiveSDLWindow(SDL_Window * pWindow) { s_pActiveWindow = pWindow; }

void qoru_setGLAttributes()
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
}

namespace
{
bool s_bForceWindowed = false;
}

void qoru_setForceWindowed(bool bWindowed) { s_bForceWindowed = bWindowed; }
bool qoru_getForceWindowed() { return s_bForceWindowed; }
