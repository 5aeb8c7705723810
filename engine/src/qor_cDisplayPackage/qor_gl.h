// The OpenGL interface the display package is written against.
//
// On the desktop: OpenGL 3.3 core through libepoxy. In a browser: WebGL 2, which is OpenGL ES
// 3.0 without a few calls (no buffer mapping, no BGRA pixel transfers, no program binaries, no
// clip control); QOR_GLES is 1 there and the backend takes the ES path at each such call.
#pragma once

#ifdef __EMSCRIPTEN__
#define QOR_GLES 1
#include <GLES3/gl3.h>
#else
#define QOR_GLES 0
#include <epoxy/gl.h>
#endif
