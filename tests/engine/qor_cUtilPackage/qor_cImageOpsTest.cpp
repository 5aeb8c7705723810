#include <gtest/gtest.h>

#include "qor_cImageOps.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace
{
struct RGB
{
    int r, g, b;
    bool operator==(const RGB & o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream & operator<<(std::ostream & os, const RGB & c)
{
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

RGB bump(int l, int r, int u, int d)
{
    uchar a[3];
    qoru_bumpTexel(l, r, u, d, a);
    return {a[0], a[1], a[2]};
}

RGB cube(uint f, uint c, uint r, uint n)
{
    uchar a[3];
    qoru_cubeBumpTexel(f, c, r, n, a);
    return {a[0], a[1], a[2]};
}

// Heights as 0x00RRGGBB with the height in red and noise in green and blue, which must not count.
std::vector<uint> heights(std::initializer_list<int> h)
{
    std::vector<uint> v;
    for (int x : h)
        v.push_back(((uint)x << 16) | 0x00A55A);
    return v;
}
} // namespace

TEST(qor_cImageOps, BumpTexelFollowsTheHeightDifferences)
{
    EXPECT_EQ(bump(7, 7, 7, 7), (RGB{127, 127, 254})) << "flat";
    // A full step on one axis: dx = +-1, and the normal lies flat (dz = 0).
    EXPECT_EQ(bump(255, 0, 9, 9), (RGB{254, 127, 127}));
    EXPECT_EQ(bump(0, 255, 9, 9), (RGB{0, 127, 127}));
    EXPECT_EQ(bump(9, 9, 0, 255), (RGB{127, 0, 127}));
    // By hand: dx = 50/255, dz = sqrt(1 - dx^2) = 0.980587; (1.196078 * 127) = 151.9, (1.980587 * 127) = 251.5.
    EXPECT_EQ(bump(100, 50, 3, 3), (RGB{151, 127, 251}));
    // dx = dy = 200/255: 1 - dx^2 - dy^2 < 0, no real root; the chosen blue is 127 (dz = 0).
    EXPECT_EQ(bump(200, 0, 200, 0), (RGB{226, 226, 127}));
    EXPECT_EQ(bump(255, 0, 0, 255), (RGB{254, 0, 127}));
}

TEST(qor_cImageOps, BumpMapNeighboursWrapAroundTheEdges)
{
    uchar rgb[3 * 3];
    // A 1 x 1 image is its own neighbour on all sides.
    std::vector<uint> one = heights({200});
    qoru_computeBumpMap(one.data(), 1, 1, rgb);
    EXPECT_EQ((RGB{rgb[0], rgb[1], rgb[2]}), (RGB{127, 127, 254}));

    // Row 0, 0, 255: left of column 0 is column 2.
    std::vector<uint> row = heights({0, 0, 255});
    qoru_computeBumpMap(row.data(), 3, 1, rgb);
    EXPECT_EQ((RGB{rgb[0], rgb[1], rgb[2]}), (RGB{254, 127, 127})) << "x = 0: left 255, right 0";
    EXPECT_EQ((RGB{rgb[3], rgb[4], rgb[5]}), (RGB{0, 127, 127})) << "x = 1: left 0, right 255";
    EXPECT_EQ((RGB{rgb[6], rgb[7], rgb[8]}), (RGB{127, 127, 254})) << "x = 2: left 0, right 0 (wrapped)";

    // The same column-wise: above row 0 is the last row.
    qoru_computeBumpMap(row.data(), 1, 3, rgb);
    EXPECT_EQ((RGB{rgb[0], rgb[1], rgb[2]}), (RGB{127, 254, 127}));
    EXPECT_EQ((RGB{rgb[3], rgb[4], rgb[5]}), (RGB{127, 0, 127}));
    EXPECT_EQ((RGB{rgb[6], rgb[7], rgb[8]}), (RGB{127, 127, 254}));
}

TEST(qor_cImageOps, CubeBumpTexelsPointAlongTheFaceDirections)
{
    // One texel per face: s = t = 1. (1/sqrt(3) + 1) * 127 = 200.3, (1 - 1/sqrt(3)) * 127 = 53.7.
    EXPECT_EQ(cube(5, 0, 0, 1), (RGB{200, 200, 200}));
    EXPECT_EQ(cube(0, 0, 0, 1), (RGB{53, 200, 200}));
    EXPECT_EQ(cube(1, 0, 0, 1), (RGB{200, 200, 53}));
    EXPECT_EQ(cube(2, 0, 0, 1), (RGB{53, 53, 53}));
    EXPECT_EQ(cube(3, 0, 0, 1), (RGB{53, 200, 200}));
    EXPECT_EQ(cube(4, 0, 0, 1), (RGB{53, 200, 53}));
    // Two per side: column 0 row 0 has s = t = 0, the face's own axis.
    EXPECT_EQ(cube(4, 0, 0, 2), (RGB{127, 127, 0}));
    EXPECT_EQ(cube(0, 0, 0, 2), (RGB{0, 127, 127}));
    // Column 1 row 0 of +Z: (-1, 0, -1) / sqrt(2): (1 - 0.7071) * 127 = 37.2.
    EXPECT_EQ(cube(4, 1, 0, 2), (RGB{37, 127, 37}));
}

TEST(qor_cImageOps, TextLayoutAdvancesByHalfTheWidthAndWrapsOnLineFeed)
{
    float afWidth[256];
    for (float & f : afWidth)
        f = 32.0f;
    afWidth[(int)'n'] = 16.0f;
    afWidth[(int)'b'] = (float)(signed char)236; // a width byte above 127: -20
    float c[2 * 8];

    ASSERT_EQ(qoru_layoutText("A\nB", 10, 20, afWidth, c, 1024), 3u);
    EXPECT_FLOAT_EQ(c[0], 10.0f);
    EXPECT_FLOAT_EQ(c[1], 20.0f);
    EXPECT_FLOAT_EQ(c[2], 26.0f) << "the line feed's cell is drawn after A";
    EXPECT_FLOAT_EQ(c[3], 20.0f);
    EXPECT_FLOAT_EQ(c[4], 10.0f) << "B starts again at x";
    EXPECT_FLOAT_EQ(c[5], 36.0f) << "one 16-pixel line lower";

    // Width 16: advance 8, cell starts (16 - 8) / 2 = 4 left of the pen.
    ASSERT_EQ(qoru_layoutText("nnA", 0, 0, afWidth, c, 1024), 3u);
    EXPECT_FLOAT_EQ(c[0], -4.0f);
    EXPECT_FLOAT_EQ(c[2], 4.0f);
    EXPECT_FLOAT_EQ(c[4], 16.0f);

    // Width -20: the pen goes back 10; the cell starts (16 + 10) / 2 = 13 left of it.
    ASSERT_EQ(qoru_layoutText("AbA", 100, 0, afWidth, c, 1024), 3u);
    EXPECT_FLOAT_EQ(c[2], 103.0f);
    EXPECT_FLOAT_EQ(c[4], 106.0f);
}

TEST(qor_cImageOps, TextLayoutStopsAtTheCharacterLimit)
{
    float afWidth[256];
    for (float & f : afWidth)
        f = 32.0f;
    std::string s(1500, 'x');
    std::vector<float> c(2 * 1500, -1.0f);
    EXPECT_EQ(qoru_layoutText(s.c_str(), 0, 0, afWidth, c.data(), 1024), 1024u);
    EXPECT_FLOAT_EQ(c[2 * 1023], 1023 * 16.0f);
    EXPECT_FLOAT_EQ(c[2 * 1024], -1.0f) << "nothing written past the limit";
    EXPECT_EQ(qoru_layoutText("", 0, 0, afWidth, c.data(), 1024), 0u);
}

TEST(qor_cImageOps, OffsetTableScrollsTheSourceOneRowPerUnitAndWraps)
{
    std::vector<uint> src(65536), dst(300 * 256, 0xDEADBEEF);
    for (uint i = 0; i < 65536; ++i)
        src[i] = i * 2654435761u;
    std::vector<uchar> tx(65536), ty(65536);
    for (uint i = 0; i < 65536; ++i)
    {
        tx[i] = (uchar)(i % 256);
        ty[i] = (uchar)(i / 256);
    }
    // Identity maps at t = 3: texel (x, y) shows source (x, y + 3 mod 256); rows 300 pixels apart.
    qoru_applyOffsetTable(src.data(), tx.data(), ty.data(), 3, dst.data(), 300);
    for (uint y : {0u, 1u, 252u, 253u, 255u})
        for (uint x : {0u, 7u, 255u})
            EXPECT_EQ(dst[y * 300 + x], src[((y + 3) % 256) * 256 + x]) << x << ", " << y;
    EXPECT_EQ(dst[300 - 1], 0xDEADBEEFu) << "the pitch padding is left alone";

    // A negative time scrolls the other way; a swapped map transposes.
    qoru_applyOffsetTable(src.data(), ty.data(), tx.data(), -1, dst.data(), 256);
    EXPECT_EQ(dst[0], src[255 * 256 + 0]);
    EXPECT_EQ(dst[5 * 256 + 9], src[8 * 256 + 5]);
}
