// qor_sUCColor: one 32-bit pixel as four unsigned bytes in memory order blue, green, red, alpha:
// the Direct3D ARGB layout (byte 0 blue ... byte 3 alpha) used by raw image arrays.
#pragma once

#include "qor_types.h"

#include <cstdint>

struct qor_sUCColor
{
    uchar b, g, r, a;

    // The pixel as the 32-bit value 0xAARRGGBB (independent of the machine's byte order).
    uint32_t getARGB() const { return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b); }
    void setARGB(uint32_t argb)
    {
        a = uchar(argb >> 24);
        r = uchar(argb >> 16);
        g = uchar(argb >> 8);
        b = uchar(argb);
    }
};
static_assert(sizeof(qor_sUCColor) == 4, "qor_sUCColor is one 32-bit pixel");
