// Pixel computations behind the image loaders, the offset-table texture and the text
// overlay, on plain memory arrays (no display needed).
#pragma once

#include "qor_types.h"

#include <cstddef>

// One normal map texel (red, green, blue) from the heights left, right, above and below:
// d = (h(before) - h(after)) / 255 per axis, dz = sqrt(1 - dx^2 - dy^2), each channel
// trunc((v + 1) * 127). Where 1 - dx^2 - dy^2 falls below 0 (steep in both directions) the
// normal lies in the surface plane: dz = 0, blue 127.
void qoru_bumpTexel(int hLeft, int hRight, int hUp, int hDown, uchar * pRGB);
// The whole normal map: pHeight holds 0x00RRGGBB pixels (the red byte is the height); the
// neighbours wrap around the edges. pRGB receives width * height * 3 bytes.
void qoru_computeBumpMap(const uint * pHeight, uint width, uint height, uchar * pRGB);
// The normalisation cube map texel at column c, row r of face iFace (0 +X .. 5 -Z), n per side.
void qoru_cubeBumpTexel(uint iFace, uint c, uint r, uint n, uchar * pRGB);

// Top-left corners (x, y pairs) of the 16-pixel glyph cells of szText drawn with its pen at
// (x, y): a character c advances the pen by widths[c] / 2 and its cell starts
// (16 - widths[c] / 2) / 2 left of the pen; a line feed (drawn too) returns the pen to x one
// cell lower. At most nMax characters; returns the count laid out.
uint qoru_layoutText(cchar * szText, float x, float y, const float * pafWidth, float * pCorners, uint nMax);

// One frame of a 256 x 256 offset table: texel i = y * 256 + x of pDst (rows pitch pixels
// apart) gets source pixel ((Y[i] + t) * 256 + X[i]) mod 65536, so the source scrolls by one
// row per unit of t through the fixed distortion of the two tables.
template <typename Pixel>
void qoru_applyOffsetTable(const Pixel * pSrc, const uchar * pTableX, const uchar * pTableY, int t, Pixel * pDst,
                           size_t pitch)
{
    for (uint y = 0; y < 256; ++y)
    {
        Pixel * pRow = pDst + y * pitch;
        for (uint x = 0; x < 256; ++x)
        {
            uint i = y * 256 + x;
            // The fixed size lets the source index wrap with a 16-bit mask.
            uint src = (((uint)pTableY[i] + (uint)t) * 256 + pTableX[i]) & 0xFFFF;
            pRow[x] = pSrc[src];
        }
    }
}
