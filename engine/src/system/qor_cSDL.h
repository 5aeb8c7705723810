// SDL start-up shared by the window system, the display device and the tools.
#pragma once

struct SDL_Window;

// SDL_Init of the video subsystem, once per process; false (and SDL's reason on standard
// error) when no video driver can start.
bool qoru_initSDLVideo();

// The SDL window of the main object's window system (created with SDL_WINDOW_OPENGL and the
// OpenGL 3.3 core attributes), or null when no window exists.
SDL_Window * qoru_getActiveSDLWindow();
void qoru_setActiveSDLWindow(SDL_Window * pWindow);

// Sets the GL attributes every window and context of the engine uses: OpenGL 3.3 core,
// double buffered, 24-bit depth, 8-bit stencil. Call before creating a window.
void qoru_setGLAttributes();

// --window: a 640 x 480 window instead of desktop full screen (the display device reads it).
void qoru_setForceWindowed(bool bWindowed);
bool qoru_getForceWindowed();

// Keeps the system's GL libraries loaded for the whole process. SDL unloads them with its last
// window; allocations they keep for the process would then show up in leak reports as leaks of
// an unknown module that no suppression can name. Leak-checked builds call it at start.
void qoru_pinGLLibraries();
