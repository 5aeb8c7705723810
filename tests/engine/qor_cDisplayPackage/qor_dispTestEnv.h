// The display device of the test program (created once: GL contexts are slow on llvmpipe),
// a fixture that puts it back to its default state, and pixel helpers.
#pragma once

#include "qor_cDispGL.h"
#include "qor_cTriList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace qort
{
// The device, initialised 640 x 480 windowed on first use; null when no GL context can be had.
qor_cDispGL * disp();

struct Pixel
{
    int r, g, b, a;
};

// The current target read back, top row first.
class Frame
{
public:
    Frame();
    Pixel at(int x, int y) const;
    int width() const { return m_w; }
    int height() const { return m_h; }

private:
    std::vector<uint8_t> m_data;
    int m_w = 0, m_h = 0;
};

// Packs a colour as the vertex records hold it.
inline uint argb(int r, int g, int b, int a = 255)
{
    return (uint(a) << 24) | (uint(r) << 16) | (uint(g) << 8) | uint(b);
}

::testing::AssertionResult pixelNear(const Pixel & p, int r, int g, int b, int tol);

// A pre-transformed quad (two counter-clockwise triangles on screen), in pixels.
void quadRHW(float x0, float y0, float x1, float y1, uint colour, float z = 0.5f, float rhw = 1.0f, float u0 = 0.0f,
             float v0 = 0.0f, float u1 = 1.0f, float v1 = 1.0f);
// An untransformed quad of format 0x112 (x, y in -1..1 with identity matrices, y up), normal n.
void quadXYZ(float x0, float y0, float x1, float y1, float z, float nx, float ny, float nz, float u0 = 0.0f,
             float v0 = 0.0f, float u1 = 1.0f, float v1 = 1.0f);
// The same with a colour (format 0x152).
void quadXYZC(float x0, float y0, float x1, float y1, float z, float nx, float ny, float nz, uint colour);
// A 1-texel-per-colour A8R8G8B8 texture (w x h, row 0 first), colours as (r, g, b, a) bytes.
qor_hTexture makeTexture(int w, int h, const std::vector<uint> & argbRows, uint flags = 8);
// Stage 0 passes the diffuse colour and alpha; stages 1 to 3 off.
void useDiffuse();
// Stage 0: op on (arg1, arg2) for colour and alpha alike.
void useStage(uint stage, qor_eTexArg a1, qor_eTexOp op, qor_eTexArg a2);
} // namespace qort

// Each channel of the pixel within tol of (R, G, B); the message shows both.
#define EXPECT_PIXEL(p, R, G, B, tol) EXPECT_TRUE(qort::pixelNear((p), (R), (G), (B), (tol)))

// Every test starts from the device's default state on the back buffer, cleared to black.
class DispTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    qor_cDispGL * d = nullptr;
};
