#include "qor_cSDL.h"

#include "qor_types.h"

#include <SDL.h>

#include <cstdio>
#include <dlfcn.h>

namespace
{
SDL_Window * s_pActiveWindow = nullptr;
}

bool qoru_initSDLVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
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
#ifdef __EMSCRIPTEN__
    // OpenGL ES 3.0: a WebGL 2 context.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
#else
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
#endif
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

void qoru_pinGLLibraries()
{
    static cchar * const s_aszLibrary[] = {
        "libEGL.so.1",
        "libEGL_mesa.so.0",
        "libGL.so.1",
        "libGLX.so.0",
        "libGLX_mesa.so.0",
        "libgbm.so.1",
        "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
        "/usr/lib/x86_64-linux-gnu/dri/kms_swrast_dri.so",
    };
#ifndef __EMSCRIPTEN__ // the browser's GL is no library
    for (cchar * szLibrary : s_aszLibrary)
        dlopen(szLibrary, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
#else
    (void)s_aszLibrary;
#endif
}
