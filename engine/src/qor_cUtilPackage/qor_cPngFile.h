// PNG pictures: 8-bit RGB, top row first (screenshots and captured frames).
#pragma once

#include "qor_types.h"

#include <cstdint>

// Writes w x h pixels of 4 bytes each in memory order B, G, R, A (the display's readPixels
// layout; alpha is dropped), rows of iStride bytes, top row first. Compression favours speed.
// Refuses to replace what is not a regular file. False on any failure (nothing is logged; the
// caller reports).
bool qoru_writePNG(cchar * szPath, const uint8_t * pBGRA, int w, int h, int iStride);
