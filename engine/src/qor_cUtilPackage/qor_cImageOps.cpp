// Pixel computations on plain memory arrays.
#include "qor_cImageOps.h"

#include <cmath>

namespace
{
inline uchar truncUnit(double v)
{
    // (v + 1) * 127 with v in -1..1 stays in 0..254; clamp anyway against rounding drift.
    double d = (v + 1.0) * 127.0;
    if (d < 0.0)
        d = 0.0;
    if (d > 255.0)
        d = 255.0;
    return (uchar)d;
}
} // namespace

void qoru_bumpTexel(int hLeft, int hRight, int hUp, int hDown, uchar * pRGB)
{
    float dx = (float)(hLeft - hRight) / 255.0f;
    float dy = (float)(hUp - hDown) / 255.0f;
    float q = 1.0f - dx * dx - dy * dy;
    // Steeper than the unit sphere allows: no real root, the normal lies flat (dz = 0).
    float dz = q > 0.0f ? std::sqrt(q) : 0.0f;
    pRGB[0] = (uchar)(int)((dx + 1.0f) * 127.0f);
    pRGB[1] = (uchar)(int)((dy + 1.0f) * 127.0f);
    pRGB[2] = (uchar)(int)((dz + 1.0f) * 127.0f);
}

void qoru_computeBumpMap(const uint * pHeight, uint width, uint height, uchar * pRGB)
{
    auto h = [&](uint x, uint y) { return (int)((pHeight[y * width + x] >> 16) & 0xFF); };
    for (uint y = 0; y < height; ++y)
    {
        uint yUp = y == 0 ? height - 1 : y - 1;
        uint yDown = y + 1 == height ? 0 : y + 1;
        for (uint x = 0; x < width; ++x)
        {
            uint xLeft = x == 0 ? width - 1 : x - 1;
            uint xRight = x + 1 == width ? 0 : x + 1;
            qoru_bumpTexel(h(xLeft, y), h(xRight, y), h(x, yUp), h(x, yDown), pRGB + 3 * (y * width + x));
        }
    }
}

void qoru_cubeBumpTexel(uint iFace, uint c, uint r, uint n, uchar * pRGB)
{
    double s = (double)(c + 1) / (double)n * 2.0 - 1.0;
    double t = (double)(r + 1) / (double)n * 2.0 - 1.0;
    double x = 0.0, y = 0.0, z = 0.0;
    switch (iFace)
    {
    case 0: x = -1; y = t; z = s; break;
    case 1: x = 1; y = t; z = -s; break;
    case 2: x = -s; y = -1; z = -t; break;
    case 3: x = -s; y = 1; z = t; break;
    case 4: x = -s; y = t; z = -1; break;
    default: x = s; y = t; z = 1; break;
    }
    double len = std::sqrt(x * x + y * y + z * z);
    if (len > 0.0)
    {
        x /= len;
        y /= len;
        z /= len;
    }
    pRGB[0] = truncUnit(x);
    pRGB[1] = truncUnit(y);
    pRGB[2] = truncUnit(z);
}

uint qoru_layoutText(cchar * szText, float x, float y, const float * pafWidth, float * pCorners, uint nMax)
{
    float px = x, py = y;
    uint n = 0;
    for (const uchar * p = (const uchar *)szText; *p && n < nMax; ++p, ++n)
    {
        float w = pafWidth[*p] / 2.0f;
        pCorners[2 * n] = px - (16.0f - w) / 2.0f;
        pCorners[2 * n + 1] = py;
        // The line feed's own cell is drawn too, then the pen starts the next line.
        if (*p == 10)
        {
            px = x;
            py += 16.0f;
        }
        else
            px += w;
    }
    return n;
}

