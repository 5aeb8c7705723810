// The display device: frame, clear, viewport, pre-transformed coverage, blending, depth,
// culling, render targets, init choices. Expected pixels come from Direct3D 8's formulas.
#include "qor_dispTestEnv.h"

#include "qor_cSDL.h"
#include "qor_cTexNodeGL.h"
#include "qor_testUtil.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

using qort::argb;
using qort::Frame;
using qort::quadRHW;

namespace
{
// Direct3D's blend of one channel: src * Fs + dst * Fd, saturated (bytes in, byte out).
int blend(int s, int dst, double fs, double fd)
{
    const double v = s / 255.0 * fs + dst / 255.0 * fd;
    return int(std::lround(std::min(1.0, std::max(0.0, v)) * 255.0));
}
} // namespace

TEST_F(DispTest, CreateReturnsTheGLDevice)
{
    std::unique_ptr<qor_cDisp> p(qor_cDisp::create());
    ASSERT_NE(p, nullptr);
    EXPECT_NE(dynamic_cast<qor_cDispGL *>(p.get()), nullptr);
    // Defaults of the base before init.
    EXPECT_FLOAT_EQ(p->getClearColor()->r, 0.1f);
    EXPECT_FLOAT_EQ(p->getClearColor()->g, 0.2f);
    EXPECT_FLOAT_EQ(p->getClearColor()->b, 0.4f);
    EXPECT_EQ(p->getFogMode(), 0u);
    EXPECT_FLOAT_EQ(p->getAmbientLight()->r, 0.0f);
}

TEST_F(DispTest, InitLeavesWhiteAmbientAndTheAskedViewport)
{
    EXPECT_EQ(d->getBackBufferWidth(), 640u);
    EXPECT_EQ(d->getBackBufferHeight(), 480u);
    const float * vp = d->getVPScreen();
    EXPECT_EQ(vp[2], 640.0f);
    EXPECT_EQ(vp[3], 480.0f);
    EXPECT_EQ(d->getPixelFormatEntry(0).getD3DFormat(), uint(qorrs_fmt_A8R8G8B8));
    EXPECT_EQ(d->getPixelFormatEntry(1).getD3DFormat(), uint(qorrs_fmt_A1R5G5B5));
    EXPECT_EQ(d->getPixelFormatEntry(2).getD3DFormat(), uint(qorrs_fmt_X8R8G8B8));
    EXPECT_EQ(d->getPixelFormatEntry(3).getD3DFormat(), uint(qorrs_fmt_X1R5G5B5));
    EXPECT_EQ(d->getPixelFormatEntry(4).getD3DFormat(), 0u);
}

TEST_F(DispTest, ClearUsesTheTruncatedClearColour)
{
    // (0.1, 0.2, 0.4) packed as a D3DCOLOR: 25, 51, 102.
    d->clear(3);
    Frame f;
    ASSERT_EQ(f.width(), 640);
    ASSERT_EQ(f.height(), 480);
    for (auto xy : {std::pair{0, 0}, {639, 0}, {0, 479}, {639, 479}, {320, 240}})
    {
        const qort::Pixel p = f.at(xy.first, xy.second);
        EXPECT_EQ(p.r, 25);
        EXPECT_EQ(p.g, 51);
        EXPECT_EQ(p.b, 102);
        EXPECT_EQ(p.a, 255); // the X8R8G8B8 back buffer reads alpha as 1
    }
}

TEST_F(DispTest, ClearCoversTheViewportRectangleOnly)
{
    d->setVPPhysical(100, 50, 20, 10, 0, 1);
    d->setClearColor(1, 1, 1);
    d->clear(1);
    Frame f;
    EXPECT_PIXEL(f.at(100, 50), 255, 255, 255, 0);
    EXPECT_PIXEL(f.at(119, 59), 255, 255, 255, 0);
    EXPECT_PIXEL(f.at(99, 50), 0, 0, 0, 0);
    EXPECT_PIXEL(f.at(120, 50), 0, 0, 0, 0);
    EXPECT_PIXEL(f.at(100, 49), 0, 0, 0, 0);
    EXPECT_PIXEL(f.at(100, 60), 0, 0, 0, 0);
}

TEST_F(DispTest, ReadBackIsTopRowFirst)
{
    quadRHW(0, 0, 640, 1, argb(255, 0, 0));
    Frame f;
    EXPECT_PIXEL(f.at(5, 0), 255, 0, 0, 0);
    EXPECT_PIXEL(f.at(5, 1), 0, 0, 0, 0);
    EXPECT_PIXEL(f.at(5, 479), 0, 0, 0, 0);
}

TEST_F(DispTest, FullScreenQuadCoversEveryPixelOnce)
{
    // Additive blending shows a pixel covered twice (the diagonal of the two triangles).
    d->setBlendMode(1, 1);
    quadRHW(0, 0, 640, 480, argb(100, 100, 100));
    Frame f;
    int nWrong = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (f.at(x, y).r != 100)
                ++nWrong;
    EXPECT_EQ(nWrong, 0);
}

TEST_F(DispTest, OnePixelQuadCoversExactlyItsPixel)
{
    quadRHW(10, 20, 11, 21, argb(255, 255, 255));
    Frame f;
    EXPECT_PIXEL(f.at(10, 20), 255, 255, 255, 0);
    for (auto xy : {std::pair{9, 20}, {11, 20}, {10, 19}, {10, 21}, {11, 21}})
        EXPECT_PIXEL(f.at(xy.first, xy.second), 0, 0, 0, 0);
}

TEST_F(DispTest, PixelCentresAreAtIntegerCoordinates)
{
    // Direct3D samples pixel (11, 21) at (11, 21): a quad from 10.5 to 11.5 covers it alone.
    quadRHW(10.5f, 20.5f, 11.5f, 21.5f, argb(255, 255, 255));
    Frame f;
    EXPECT_PIXEL(f.at(11, 21), 255, 255, 255, 0);
    for (auto xy : {std::pair{10, 20}, {10, 21}, {11, 20}, {12, 21}, {11, 22}})
        EXPECT_PIXEL(f.at(xy.first, xy.second), 0, 0, 0, 0);
}

TEST_F(DispTest, PreTransformedPositionsIgnoreTheViewportOrigin)
{
    // XYZRHW coordinates are absolute in the target; the viewport only clips.
    d->setVPPhysical(0, 0, 320, 240, 0, 1);
    quadRHW(300, 200, 400, 300, argb(255, 255, 255));
    Frame f;
    EXPECT_PIXEL(f.at(310, 210), 255, 255, 255, 0);
    EXPECT_PIXEL(f.at(330, 210), 0, 0, 0, 0); // outside the viewport: clipped
}

// ----- pixel centres of transformed geometry

namespace
{
// The columns (or rows) a quad edge pair [a, b) covers under Direct3D's rules: pixel i is
// sampled at i, and the top-left rule keeps a centre on a left or top edge and drops one on a
// right or bottom edge. So the first covered pixel is ceil(a) and the last ceil(b) - 1.
std::pair<int, int> coveredSpan(double a, double b) { return {int(std::ceil(a)), int(std::ceil(b)) - 1}; }

// First and last covered column and row of the white pixels in the current target (-1 none).
struct Box
{
    int x0 = -1, x1 = -1, y0 = -1, y1 = -1;
};
Box whiteBox()
{
    Frame f;
    Box b;
    for (int y = 0; y < f.height(); ++y)
        for (int x = 0; x < f.width(); ++x)
            if (f.at(x, y).r > 127)
            {
                b.x0 = b.x0 < 0 ? x : std::min(b.x0, x);
                b.x1 = std::max(b.x1, x);
                b.y0 = b.y0 < 0 ? y : std::min(b.y0, y);
                b.y1 = std::max(b.y1, y);
            }
    return b;
}

struct EdgeCase
{
    float vx, vy, vw, vh;           // viewport
    int target;                     // 0 the back buffer, else a render-target texture of this size
    float left, top, right, bottom; // the quad on screen, in pixels
};
} // namespace

TEST_F(DispTest, TransformedGeometryPutsPixelCentresAtIntegers)
{
    // An XYZ quad with identity matrices: screen x = vx + (clip x + 1) / 2 * vw and
    // screen y = vy + (1 - clip y) / 2 * vh, so each edge in pixels gives its clip value.
    const EdgeCase aCase[] = {
        {0, 0, 640, 480, 0, 100.0f, 50.0f, 110.0f, 60.0f},  // edges on centres: 100..109, 50..59
        {0, 0, 640, 480, 0, 100.5f, 50.5f, 110.5f, 60.5f},  // edges between centres: 101..110, 51..60
        {0, 0, 640, 480, 0, 100.25f, 50.75f, 104.75f, 53.25f},
        {40, 30, 200, 100, 0, 60.0f, 40.0f, 70.5f, 52.5f},   // a viewport that is not the screen
        {40, 30, 200, 100, 0, 60.5f, 40.5f, 70.0f, 52.0f},
        {0, 0, 64, 64, 64, 10.0f, 20.0f, 15.0f, 30.0f},      // a render-target texture
        {0, 0, 64, 64, 64, 10.5f, 20.5f, 15.5f, 30.5f},
    };
    const qor_hTexture hTarget = d->createTexture(64, 64, QOR_TEX_RENDERTARGET);
    ASSERT_NE(hTarget, QOR_NULL_TEXTURE);
    for (const EdgeCase & c : aCase)
    {
        SCOPED_TRACE(::testing::Message() << "viewport " << c.vx << "," << c.vy << " " << c.vw << "x" << c.vh
                                          << " target " << c.target << " quad " << c.left << "," << c.top << " - "
                                          << c.right << "," << c.bottom);
        d->resetRenderTargetSlots();
        if (c.target)
        {
            ASSERT_TRUE(d->saveScreenTarget());
            ASSERT_TRUE(d->setTextureAsRenderTarget(hTarget));
        }
        d->setClearColor(0, 0, 0);
        d->setVPPhysical(0, 0, c.target ? 64.0f : 640.0f, c.target ? 64.0f : 480.0f, 0, 1);
        d->clear(3);
        d->setVPPhysical(c.vx, c.vy, c.vw, c.vh, 0, 1);
        const auto clipX = [&](float x) { return (x - c.vx) / c.vw * 2.0f - 1.0f; };
        const auto clipY = [&](float y) { return 1.0f - (y - c.vy) / c.vh * 2.0f; };
        qort::quadXYZ(clipX(c.left), clipY(c.top), clipX(c.right), clipY(c.bottom), 0.5f, 0, 0, -1);
        const Box b = whiteBox();
        const auto [x0, x1] = coveredSpan(c.left, c.right);
        const auto [y0, y1] = coveredSpan(c.top, c.bottom);
        EXPECT_EQ(b.x0, x0);
        EXPECT_EQ(b.x1, x1);
        EXPECT_EQ(b.y0, y0);
        EXPECT_EQ(b.y1, y1);
        if (c.target)
        {
            ASSERT_TRUE(d->restoreScreenTarget());
        }
    }
    d->releaseTexture(hTarget);
}

TEST_F(DispTest, TransformedAndPreTransformedQuadsCoverTheSamePixels)
{
    // The same screen rectangles drawn both ways, in a viewport that is not the screen.
    d->setVPPhysical(20, 10, 400, 300, 0, 1);
    const float aRect[][4] = {{50.0f, 40.0f, 90.0f, 70.0f}, {50.5f, 40.5f, 90.5f, 70.5f}, {33.3f, 21.7f, 47.9f, 29.1f}};
    for (const auto & r : aRect)
    {
        SCOPED_TRACE(::testing::Message() << r[0] << "," << r[1] << " - " << r[2] << "," << r[3]);
        d->clear(3);
        quadRHW(r[0], r[1], r[2], r[3], argb(255, 255, 255));
        const Box rhw = whiteBox();
        d->clear(3);
        qort::quadXYZ((r[0] - 20) / 400 * 2 - 1, 1 - (r[1] - 10) / 300 * 2, (r[2] - 20) / 400 * 2 - 1,
                      1 - (r[3] - 10) / 300 * 2, 0.5f, 0, 0, -1);
        const Box xyz = whiteBox();
        EXPECT_NE(rhw.x0, -1);
        EXPECT_EQ(xyz.x0, rhw.x0);
        EXPECT_EQ(xyz.x1, rhw.x1);
        EXPECT_EQ(xyz.y0, rhw.y0);
        EXPECT_EQ(xyz.y1, rhw.y1);
    }
}

// ----- blending

struct BlendCase
{
    uint src, dst;
};

TEST_F(DispTest, EveryBlendFactorFollowsTheTable)
{
    // Source (200, 100, 50) with alpha 128, destination (40, 80, 160) with alpha 1 (the back
    // buffer has no alpha, so destination alpha reads 1). Factors in the engine's numbering.
    const int S[3] = {200, 100, 50}, D[3] = {40, 80, 160};
    const double as = 128 / 255.0, ad = 1.0;
    const auto factor = [&](uint f, int ch) -> double {
        const double sc = S[ch] / 255.0, dc = D[ch] / 255.0;
        switch (f)
        {
        case 0: return 0;
        case 1: return 1;
        case 2: return sc;
        case 3: return 1 - sc;
        case 4: return as;
        case 5: return 1 - as;
        case 6: return dc; // destination colour
        case 7: return 1 - dc;
        case 8: return ad; // destination alpha
        case 9: return 1 - ad;
        case 10: return std::min(as, 1 - ad);
        default: return 0;
        }
    };
    // The blended channel for a pair (11 and 12 set both factors from the source alpha).
    const auto result = [&](uint src, uint dst, int ch) {
        double fs = factor(src, ch), fd = factor(dst, ch);
        if (src == 11)
            fs = as, fd = 1 - as;
        if (src == 12)
            fs = 1 - as, fd = as;
        return blend(S[ch], D[ch], fs, fd);
    };
    for (uint f = 0; f <= 12; ++f)
    {
        for (int iSide = 0; iSide < 2; ++iSide)
        {
            // Source factor f with destination one, then destination factor f with source one.
            uint src = iSide == 0 ? f : 1, dst = iSide == 0 ? 1 : f;
            if (iSide == 1 && f >= 11)
                continue; // both-alpha factors are source-only in Direct3D 8
            // The pair set just before draws something else, so a blend call that did nothing
            // shows even where the factor reads a destination alpha that is always 1.
            const uint aPrev[][2] = {{1, 0}, {0, 1}, {1, 1}};
            const uint * pPrev = nullptr;
            for (const auto & prev : aPrev)
                for (int ch = 0; ch < 3 && !pPrev; ++ch)
                    if (std::abs(result(prev[0], prev[1], ch) - result(src, dst, ch)) > 8)
                        pPrev = prev;
            ASSERT_NE(pPrev, nullptr) << "factor " << f;
            d->setBlendMode(1, 0);
            quadRHW(0, 0, 16, 16, argb(D[0], D[1], D[2]));
            d->setBlendMode(pPrev[0], pPrev[1]);
            ASSERT_TRUE(d->setBlendMode(src, dst));
            quadRHW(0, 0, 16, 16, argb(S[0], S[1], S[2], 128));
            Frame fr;
            for (int ch = 0; ch < 3; ++ch)
            {
                const qort::Pixel p = fr.at(8, 8);
                const int got = ch == 0 ? p.r : ch == 1 ? p.g : p.b;
                EXPECT_NEAR(got, result(src, dst, ch), 1) << "factor " << f << " side " << iSide << " ch " << ch;
            }
        }
    }
}

TEST_F(DispTest, BlendModeWithABadDestinationKeepsTheNewSource)
{
    d->setBlendMode(1, 0);
    EXPECT_FALSE(d->setBlendMode(4, 99)); // source alpha set, destination left at zero
    quadRHW(0, 0, 8, 8, argb(200, 100, 50, 128));
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), blend(200, 0, 128 / 255.0, 0), blend(100, 0, 128 / 255.0, 0), blend(50, 0, 128 / 255.0, 0),
                 1);
    EXPECT_FALSE(d->setBlendMode(13, 0));
}

TEST_F(DispTest, BlendingOffWritesTheSource)
{
    d->enableBlending(false);
    d->setBlendMode(0, 1); // would keep the destination if blending were on
    quadRHW(0, 0, 8, 8, argb(200, 100, 50, 128));
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 200, 100, 50, 0);
}

// ----- depth

TEST_F(DispTest, DepthFunctionsCompareAgainstTheStoredDepth)
{
    // A red quad at z 0.5 first; then a green one at z 0.3 (nearer) and a blue one at 0.7.
    struct Case
    {
        uint func;
        bool bNearPasses, bFarPasses;
    };
    const Case aCase[] = {{0, false, false}, {1, true, false},  {2, false, false}, {3, true, false},
                          {4, false, true},  {5, true, true},   {6, false, true},  {7, true, true}};
    for (const Case & c : aCase)
    {
        d->setZFunc(3);
        d->clear(3);
        quadRHW(0, 0, 8, 8, argb(255, 0, 0), 0.5f);
        quadRHW(8, 0, 16, 8, argb(255, 0, 0), 0.5f);
        ASSERT_TRUE(d->setZFunc(c.func));
        quadRHW(0, 0, 8, 8, argb(0, 255, 0), 0.3f);
        quadRHW(8, 0, 16, 8, argb(0, 0, 255), 0.7f);
        Frame f;
        EXPECT_EQ(f.at(4, 4).g == 255, c.bNearPasses) << "func " << c.func;
        EXPECT_EQ(f.at(12, 4).b == 255, c.bFarPasses) << "func " << c.func;
    }
    EXPECT_FALSE(d->setZFunc(8));
}

TEST_F(DispTest, EqualDepthPassesOnTheSameZ)
{
    quadRHW(0, 0, 8, 8, argb(255, 0, 0), 0.5f);
    d->setZFunc(2);
    quadRHW(0, 0, 8, 8, argb(0, 255, 0), 0.5f);
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 0, 255, 0, 0);
}

TEST_F(DispTest, DepthWriteOffLeavesTheDepthBuffer)
{
    d->enableZWrite(false);
    quadRHW(0, 0, 8, 8, argb(255, 0, 0), 0.3f);
    d->enableZWrite(true);
    quadRHW(0, 0, 8, 8, argb(0, 255, 0), 0.6f); // passes against the cleared 1.0
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 0, 255, 0, 0);
}

TEST_F(DispTest, DepthTestOffDrawsEverything)
{
    quadRHW(0, 0, 8, 8, argb(255, 0, 0), 0.3f);
    d->enableZBuffer(false);
    quadRHW(0, 0, 8, 8, argb(0, 255, 0), 0.9f);
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 0, 255, 0, 0);
}

TEST_F(DispTest, ClearResetsDepthEvenWithDepthWriteOff)
{
    quadRHW(0, 0, 8, 8, argb(255, 0, 0), 0.1f);
    d->enableZWrite(false);
    d->clear(2);
    quadRHW(0, 0, 8, 8, argb(0, 255, 0), 0.5f);
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 0, 255, 0, 0);
}

// ----- culling

TEST_F(DispTest, CullModesRemoveClockwiseOrCounterClockwiseTriangles)
{
    // Left triangle clockwise on screen (y down), right one counter-clockwise.
    const auto tri = [](float x, bool bClockwise) {
        std::unique_ptr<qor_cTriList> p(qor_cTriList::create());
        p->startAdd(1, 1);
        const float a[3][2] = {{x, 0}, {x + 20, 0}, {x, 20}}; // right then down-left: clockwise
        for (int i = 0; i < 3; ++i)
        {
            const int k = bClockwise ? i : (3 - i) % 3;
            p->setPositionRHW(a[k][0], a[k][1], 0.5f, 1.0f);
            p->setColor(255, 255, 255, 255);
            p->setUV(0, 0);
            p->next();
        }
        p->endAdd();
        p->draw();
    };
    for (uint mode = 0; mode < 3; ++mode)
    {
        d->clear(3);
        ASSERT_TRUE(d->setCullMode(mode));
        tri(0, true);
        tri(40, false);
        Frame f;
        EXPECT_EQ(f.at(5, 5).r == 255, mode != 1) << "clockwise, mode " << mode;
        EXPECT_EQ(f.at(45, 5).r == 255, mode != 2) << "counter-clockwise, mode " << mode;
    }
    EXPECT_FALSE(d->setCullMode(3));
}

TEST_F(DispTest, TransformedTrianglesCullByTheirScreenWinding)
{
    // With identity matrices clip y points up: (−1, 1) is the top-left of the screen.
    d->setCullMode(1);
    d->enableLighting(false);
    {
        std::unique_ptr<qor_cTriList> p(qor_cTriList::create());
        p->startAdd(1, 1);
        // top-left, top-right, bottom-left on screen: clockwise.
        const float a[3][2] = {{-1, 1}, {0, 1}, {-1, 0}};
        for (auto & v : a)
        {
            p->setPosition(v[0], v[1], 0.5f);
            p->setNormal(0, 0, -1);
            p->setUV(0, 0);
            p->next();
        }
        p->endAdd();
        p->draw();
    }
    Frame f;
    EXPECT_PIXEL(f.at(20, 20), 0, 0, 0, 0);
    d->setCullMode(2);
    {
        std::unique_ptr<qor_cTriList> p(qor_cTriList::create());
        p->startAdd(1, 1);
        const float a[3][2] = {{-1, 1}, {0, 1}, {-1, 0}};
        for (auto & v : a)
        {
            p->setPosition(v[0], v[1], 0.5f);
            p->setNormal(0, 0, -1);
            p->setUV(0, 0);
            p->next();
        }
        p->endAdd();
        p->draw();
    }
    Frame g;
    EXPECT_PIXEL(g.at(20, 20), 255, 255, 255, 0);
}

// ----- ambient, fog colour bookkeeping

TEST_F(DispTest, AmbientIsStoredRawAndSentClamped)
{
    d->setAmbientLight(2.0f, -1.0f, 0.5f, 1.0f);
    EXPECT_EQ(d->getAmbientLight()->r, 2.0f);
    EXPECT_EQ(d->getAmbientLight()->g, -1.0f);
    EXPECT_EQ(d->getAmbientLight()->b, 0.5f);
    // Lit, no light: colour = material ambient x global ambient = (1, 0, 127/255).
    d->enableLighting(true);
    qor_sD3DMaterial mat = {};
    mat.ambient.set(1, 1, 1, 1);
    mat.diffuse.set(0, 0, 0, 1);
    d->setMaterial(&mat, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material);
    qort::quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    Frame f;
    EXPECT_PIXEL(f.at(320, 240), 255, 0, 127, 0);
}

TEST_F(DispTest, FogModeTwoKeepsTheStoredColour)
{
    // A white transformed quad at eye depth 0.5 in a fog range 0..1: f = 0.5, so each channel
    // is half white, half the fog colour sent.
    d->setFogColor(1.0f, 0.0f, 0.0f, 1.0f);
    d->setFogRange(0, 1);
    d->setFogMode(2);
    qort::quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), 128, 128, 128, 1) << "mode 2 fogs towards black";
    EXPECT_EQ(d->getFogColor()->r, 1.0f);
    d->setFogMode(1);
    qort::quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), 255, 128, 128, 1) << "mode 1 sends the stored red again";
    d->setFogMode(0);
    qort::quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), 255, 255, 255, 0) << "mode 0: no fog";
}

// ----- render targets

TEST_F(DispTest, RenderToTextureThenSampleIt)
{
    const qor_hTexture h = d->createTexture(64, 32, QOR_TEX_RENDERTARGET);
    ASSERT_NE(h, QOR_NULL_TEXTURE);
    ASSERT_TRUE(d->saveScreenTarget());
    ASSERT_TRUE(d->setTextureAsRenderTarget(h));
    EXPECT_EQ(d->getVPPhysical()[2], 64.0f);
    EXPECT_EQ(d->getVPPhysical()[3], 32.0f);
    d->setClearColor(0, 0, 1);
    d->clear(3);
    quadRHW(0, 0, 32, 16, argb(255, 0, 0, 0)); // alpha 0 written into an X8R8G8B8 target
    {
        Frame f;
        ASSERT_EQ(f.width(), 64);
        ASSERT_EQ(f.height(), 32);
        EXPECT_PIXEL(f.at(0, 0), 255, 0, 0, 0);
        EXPECT_PIXEL(f.at(40, 20), 0, 0, 255, 0);
    }
    ASSERT_TRUE(d->restoreScreenTarget());
    EXPECT_EQ(d->getVPPhysical()[2], 640.0f);
    // Sample it over the screen; alpha from an X format reads as 1.
    d->setTexture(0, h);
    qort::useStage(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
    d->setBlendMode(4, 0);
    quadRHW(0, 0, 64, 32, argb(255, 255, 255));
    Frame f;
    EXPECT_EQ(f.width(), 640);
    EXPECT_PIXEL(f.at(10, 5), 255, 0, 0, 0);  // top-left of the texture, top-left of the quad
    EXPECT_PIXEL(f.at(50, 25), 0, 0, 255, 0); // outside the red part
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(h);
}

TEST_F(DispTest, SixteenthRenderTargetFailsAndResetGivesRecordsBack)
{
    qort::LogCapture log;
    qor_hTexture ah[16];
    for (int i = 0; i < 16; ++i)
        ah[i] = d->createTexture(8, 8, QOR_TEX_RENDERTARGET);
    d->saveScreenTarget();
    for (int i = 0; i < 15; ++i)
        ASSERT_TRUE(d->setTextureAsRenderTarget(ah[i])) << i;
    // The same texture again finds its own record.
    EXPECT_TRUE(d->setTextureAsRenderTarget(ah[3]));
    EXPECT_FALSE(d->setTextureAsRenderTarget(ah[15]));
    EXPECT_NE(log.text().find("bool qor_cDispDX8::setTextureAsRenderTarget(qor_hTexture handle)\nIl ne reste aucun "
                              "slot de libre pour rendre dans une texture, max:16\n"),
              std::string::npos)
        << log.text();
    const qor_cTexNodeGL * pFirst = d->getTexNodeByHandle(ah[0]);
    d->resetRenderTargetSlots();
    EXPECT_TRUE(d->setTextureAsRenderTarget(ah[0]));
    EXPECT_EQ(d->getRenderTargetRecord(1).pNode, pFirst);
    EXPECT_EQ(d->getRenderTargetRecord(1).used, 1);
    d->restoreScreenTarget();
    for (qor_hTexture h : ah)
        d->releaseTexture(h);
}

TEST_F(DispTest, UnknownRenderTargetHandleIsReported)
{
    qort::LogCapture log;
    EXPECT_FALSE(d->setTextureAsRenderTarget(0x777));
    EXPECT_NE(log.text().find("qor_cTexNodeDX8 * pNode = getTexNodeByHandle(handle);\n"), std::string::npos);
}

TEST_F(DispTest, SecondRestoreWithoutSaveBindsNothing)
{
    const qor_hTexture h = d->createTexture(8, 8, QOR_TEX_RENDERTARGET);
    d->saveScreenTarget();
    d->setTextureAsRenderTarget(h);
    EXPECT_TRUE(d->restoreScreenTarget());
    d->setTextureAsRenderTarget(h);
    EXPECT_TRUE(d->restoreScreenTarget()); // nothing held: the texture stays the target
    Frame f;
    EXPECT_EQ(f.width(), 8);
    d->releaseTexture(h);
}

// ----- init choices

TEST(DispInit, FullScreenAlwaysMakesA640x480BackBuffer)
{
    ASSERT_NE(qort::disp(), nullptr);
    {
        qor_cDispGL other;
        ASSERT_TRUE(other.init(800, 600, 32, true));
        EXPECT_EQ(other.getBackBufferWidth(), 640u);
        EXPECT_EQ(other.getBackBufferHeight(), 480u);
        EXPECT_EQ(other.getVPPhysical()[2], 800.0f);
        EXPECT_EQ(other.getVPPhysical()[3], 600.0f);
        EXPECT_EQ(other.getAmbientLight()->r, 1.0f);
        // The 640 x 480 picture fills the target; a viewport past it shows its top-left part.
        other.clear(1);
        std::vector<uint8_t> px;
        int w = 0, h = 0;
        ASSERT_TRUE(other.readPixels(px, w, h));
        EXPECT_EQ(w, 640);
        EXPECT_EQ(px[2], 25);
    }
    qort::disp(); // back to the shared device's context
}

// ----- render size

namespace
{
// The same picture drawn by a display made at a render size (0, 0: 640 x 480), read back.
struct Picture
{
    std::vector<uint8_t> px; // B, G, R, A, top row first
    int w = 0, h = 0;
    uint uTargetGLWidth = 0;
    qort::Pixel at(int x, int y) const
    {
        const uint8_t * p = &px[(size_t(y) * w + x) * 4];
        return {p[2], p[1], p[0], p[3]};
    }
};

void setStage(qor_cDispGL & disp, uint s, qor_eTexArg a1, qor_eTexOp op, qor_eTexArg a2)
{
    disp.setTexMode(s, a1, op, a2);
    disp.setTexModeAlpha(s, a1, op, a2);
}

Picture drawAtRenderSize(uint w, uint h)
{
    Picture pic;
    qor_cDispGL::setRenderSize(w, h);
    {
        qor_cDispGL disp;
        const bool bInit = disp.init(640, 480, 32, false);
        qor_cDispGL::setRenderSize(0, 0);
        if (!bInit)
            return pic;
        qor_cMatrix id;
        for (int i = 0; i < qorrs_ts_count; ++i)
            disp.setMatrix(static_cast<qor_eTransformState>(i), &id);
        disp.enableLighting(false);
        disp.setBlendMode(1, 0);
        disp.setCullMode(0);
        for (uint s = 0; s < 4; ++s)
        {
            disp.setTexFilter(s, 2, 0);
            setStage(disp, s, qorrs_texarg_texture, qorrs_texop_disable, qorrs_texarg_current);
        }
        setStage(disp, 0, qorrs_texarg_diffuse, qorrs_texop_selectarg1, qorrs_texarg_current);
        // Every edge on a boundary between 640 x 480 pixels (half-integer screen coordinates),
        // but one: the yellow rectangle's left edge in the render target, a quarter pixel in.
        disp.setVPPhysical(0, 0, 640, 480, 0, 1);
        disp.setClearColor(0.1f, 0.2f, 0.4f);
        disp.clear(3);
        disp.setVPPhysical(40, 30, 320, 240, 0, 1); // a cleared viewport rectangle
        disp.setClearColor(0.2f, 0.2f, 0.2f);
        disp.clear(3);
        quadRHW(100.5f, 50.5f, 110.5f, 60.5f, argb(255, 0, 0));
        // A transformed quad in that viewport: screen x = 40 + (clip x + 1) / 2 * 320.
        const auto clipX = [](float x) { return (x - 40.0f) / 320.0f * 2.0f - 1.0f; };
        const auto clipY = [](float y) { return 1.0f - (y - 30.0f) / 240.0f * 2.0f; };
        qort::quadXYZC(clipX(150.5f), clipY(100.5f), clipX(200.5f), clipY(140.5f), 0.5f, 0, 0, -1, argb(0, 255, 0));
        // A 64 x 64 render target, then drawn one texel per screen pixel at 300.5, 200.5.
        const qor_hTexture hTarget = disp.createTexture(64, 64, QOR_TEX_RENDERTARGET);
        if (hTarget != QOR_NULL_TEXTURE && disp.saveScreenTarget() && disp.setTextureAsRenderTarget(hTarget))
        {
            pic.uTargetGLWidth = disp.getTexNodeByHandle(hTarget)->getGLWidth();
            disp.setClearColor(0, 0, 1);
            disp.clear(3);
            quadRHW(8.25f, 8.5f, 24.5f, 40.5f, argb(255, 255, 0));
            disp.restoreScreenTarget();
            disp.setTexture(0, hTarget);
            setStage(disp, 0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
            quadRHW(300.5f, 200.5f, 364.5f, 264.5f, argb(255, 255, 255));
            disp.setTexture(0, QOR_NULL_TEXTURE);
        }
        disp.readPixels(pic.px, pic.w, pic.h);
        if (hTarget != QOR_NULL_TEXTURE)
            disp.releaseTexture(hTarget);
    }
    qort::disp(); // back to the shared device's context
    return pic;
}
} // namespace

TEST(DispRenderSize, TwiceTheSizeIsTheSamePictureBoxFilteredAndSharper)
{
    ASSERT_NE(qort::disp(), nullptr);
    const Picture a = drawAtRenderSize(0, 0);
    const Picture b = drawAtRenderSize(1280, 960);
    ASSERT_EQ(a.w, 640);
    ASSERT_EQ(a.h, 480);
    ASSERT_EQ(b.w, 1280);
    ASSERT_EQ(b.h, 960);
    EXPECT_EQ(a.uTargetGLWidth, 64u);
    EXPECT_EQ(b.uTargetGLWidth, 128u);
    // Direct3D's pixel (i, j) has its centre at screen (i, j) and a quad covers the centres
    // with left <= x < right. Drawn twice as large, pixel k's centre is at screen k / 2 - 0.25,
    // so the red quad's 100.5 .. 110.5 covers 640 columns 101 .. 110 and 1280 columns 202 .. 221.
    EXPECT_PIXEL(a.at(100, 55), 51, 51, 51, 0);
    EXPECT_PIXEL(a.at(101, 55), 255, 0, 0, 0);
    EXPECT_PIXEL(a.at(110, 55), 255, 0, 0, 0);
    EXPECT_PIXEL(a.at(111, 55), 51, 51, 51, 0);
    EXPECT_PIXEL(b.at(201, 110), 51, 51, 51, 0);
    EXPECT_PIXEL(b.at(202, 110), 255, 0, 0, 0);
    EXPECT_PIXEL(b.at(221, 110), 255, 0, 0, 0);
    EXPECT_PIXEL(b.at(222, 110), 51, 51, 51, 0);
    // The yellow left edge at 8.25 in the render target: its 640 column 8 centre (8) is
    // outside; at twice the size texel 17 (centre 8.25) is inside. On screen texel t is 640
    // column 301 + t and 1280 columns 602 + 2t, 603 + 2t when the target is 64 wide, 602 + t
    // when it is 128: so 640 column 309 is blue, and 1280 column 619 yellow, 618 blue.
    EXPECT_PIXEL(a.at(309, 230), 0, 0, 255, 0);
    EXPECT_PIXEL(a.at(310, 230), 255, 255, 0, 0);
    EXPECT_PIXEL(b.at(618, 460), 0, 0, 255, 0);
    EXPECT_PIXEL(b.at(619, 460), 255, 255, 0, 0);
    // Elsewhere each 2 x 2 block of the large picture averages to the small picture's pixel.
    int nOff = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
        {
            if (x == 309 && y >= 210 && y <= 241)
                continue; // the quarter-pixel edge's column, checked above
            const qort::Pixel p = a.at(x, y);
            int sum[3] = {0, 0, 0};
            for (int k = 0; k < 4; ++k)
            {
                const qort::Pixel q = b.at(2 * x + (k & 1), 2 * y + (k >> 1));
                sum[0] += q.r, sum[1] += q.g, sum[2] += q.b;
            }
            if (std::abs(sum[0] / 4 - p.r) > 1 || std::abs(sum[1] / 4 - p.g) > 1 || std::abs(sum[2] / 4 - p.b) > 1)
                ++nOff;
        }
    EXPECT_EQ(nOff, 0);
}

TEST(DispInit, LetterboxKeepsFourByThree)
{
    int r[4];
    qor_cDispGL::letterbox(1920, 1080, r);
    EXPECT_EQ(r[2], 1440);
    EXPECT_EQ(r[3], 1080);
    EXPECT_EQ(r[0], 240);
    EXPECT_EQ(r[1], 0);
    qor_cDispGL::letterbox(640, 480, r);
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[2], 640);
    qor_cDispGL::letterbox(800, 1000, r);
    EXPECT_EQ(r[2], 800);
    EXPECT_EQ(r[3], 600);
    EXPECT_EQ(r[1], 200);
}

TEST(DispInit, TheWindowsRenderSizeIsAWholeMultipleThatFitsItsLetterbox)
{
    // Worked out by hand: the 4:3 letterbox of the window, then the largest k with
    // 640k x 480k inside it (at least 1, at most 8).
    struct
    {
        int iWinW, iWinH;
        uint uW, uH;
    } const aCase[] = {
        {640, 480, 640, 480},        // the show's own mode
        {1279, 959, 640, 480},       // a pixel short of twice
        {1280, 960, 1280, 960},      // exactly twice
        {1920, 1080, 1280, 960},     // 1440 x 1080 letterbox: 2.25, whole 2
        {1920, 1200, 1280, 960},     // 1600 x 1200: 2.5
        {2560, 1440, 1920, 1440},    // 1920 x 1440: exactly 3
        {3840, 2160, 2560, 1920},    // 2880 x 2160: 4.5, whole 4
        {800, 3000, 640, 480},       // a tall window: 800 x 600 letterbox
        {0, 0, 640, 480},            // no size known
        {100000, 75000, 5120, 3840}, // no more than 8 times
    };
    for (const auto & c : aCase)
    {
        uint w = 0, h = 0;
        qor_cDispGL::fitRenderSize(c.iWinW, c.iWinH, &w, &h);
        EXPECT_EQ(w, c.uW) << c.iWinW << " x " << c.iWinH;
        EXPECT_EQ(h, c.uH) << c.iWinW << " x " << c.iWinH;
    }
}

TEST_F(DispTest, PresentKeepsTheTargetAndReturnsTrue)
{
    quadRHW(0, 0, 8, 8, argb(255, 0, 0));
    EXPECT_TRUE(d->beginScene());
    EXPECT_TRUE(d->endScene());
    EXPECT_TRUE(d->present());
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 255, 0, 0, 0);
}

TEST_F(DispTest, PresentShowsThePictureTopUpAndKeepsTheStatesItMet)
{
    // Red at the picture's top-left corner, green at its bottom-left, drawn with additive
    // blending and culling of clockwise triangles on (the quads are counter-clockwise).
    d->setBlendMode(1, 1);
    d->setCullMode(1);
    d->setClearColor(0, 0, 0);
    d->clear(1);
    quadRHW(0, 0, 8, 8, argb(255, 0, 0));
    quadRHW(0, 472, 8, 480, argb(0, 255, 0));
    EXPECT_TRUE(d->present());
    // The window (GL's row 0 at its bottom) shows the picture at its own size, texel for texel.
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(SDL_GL_GetCurrentWindow(), &w, &h);
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    GLint iRead = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &iRead);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    uint8_t aTop[4] = {}, aBottom[4] = {}, aMiddle[4] = {};
    glReadPixels(4, h - 5, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, aTop);
    glReadPixels(4, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, aBottom);
    glReadPixels(320, 240, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, aMiddle);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(iRead));
    EXPECT_EQ((std::vector<int>{aTop[0], aTop[1], aTop[2]}), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ((std::vector<int>{aBottom[0], aBottom[1], aBottom[2]}), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ((std::vector<int>{aMiddle[0], aMiddle[1], aMiddle[2]}), (std::vector<int>{0, 0, 0}));
    // The next draw still blends and culls as set: blue added over the red.
    quadRHW(0, 0, 8, 8, argb(0, 0, 255));
    quadRHW(24, 0, 16, 8, argb(0, 0, 255)); // mirrored, so clockwise: culled
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 255, 0, 255, 0);
    EXPECT_PIXEL(f.at(20, 4), 0, 0, 0, 0);
    d->setCullMode(0);
}

TEST_F(DispTest, ShaderCacheServesARepeatedStateWithoutCompiling)
{
    quadRHW(0, 0, 8, 8, argb(255, 0, 0));
    qor_sDispStats a, b;
    d->getStats(&a);
    for (int i = 0; i < 5; ++i)
        quadRHW(0, 0, 8, 8, argb(255, 0, 0));
    d->getStats(&b);
    EXPECT_EQ(b.nShaderCompile, a.nShaderCompile);
    EXPECT_EQ(b.nShaderHit - a.nShaderHit, 5u);
}

TEST_F(DispTest, CountersHoldTheDrawsTrianglesAndPixelsFilled)
{
    // Two quads of two triangles each: 8 x 8 = 64 pixels, then 10 x 4 = 40 pixels drawn over
    // part of the first (the depth test is off: every covered pixel is filled, overlap or not),
    // then one quad wholly off the target (its triangles are sent, no pixel is filled).
    d->enableZBuffer(false);
    d->countPixels(true);
    qor_sDispStats a, b;
    d->getStats(&a);
    quadRHW(0, 0, 8, 8, argb(255, 0, 0));
    quadRHW(4, 2, 14, 6, argb(0, 255, 0));
    quadRHW(700, 10, 720, 20, argb(0, 0, 255));
    d->countPixels(false); // everything counted taken in
    d->getStats(&b);
    EXPECT_EQ(b.nDraw - a.nDraw, 3u);
    EXPECT_EQ(b.nTriangle - a.nTriangle, 6u);
    EXPECT_EQ(b.nPixel - a.nPixel, 64u + 40u);
}

TEST_F(DispTest, ReadBackThatOverlapsDrawingGivesEveryFrameInOrder)
{
    // Frame k is a full-screen grey of level 40 k with one white pixel at (k, k); the reads
    // started without waiting give frame k one call later, and the last at the finish, with
    // the very bytes of a read that waits.
    std::vector<std::vector<uint8_t>> sync, async;
    std::vector<uint8_t> out;
    int w = -1, h = -1;
    for (int k = 0; k < 5; ++k)
    {
        quadRHW(0, 0, 640, 480, argb(40 * k, 40 * k, 40 * k));
        quadRHW(float(k), float(k), float(k + 1), float(k + 1), argb(255, 255, 255));
        ASSERT_TRUE(d->readPixels(out, w, h));
        sync.push_back(out);
        ASSERT_TRUE(d->readPixelsAsync(out, w, h));
        if (k == 0)
            EXPECT_EQ(w, 0); // nothing is ready before the second frame
        else
        {
            EXPECT_EQ(w, 640);
            EXPECT_EQ(h, 480);
            async.push_back(out);
        }
    }
    ASSERT_TRUE(d->finishPixelsAsync(out, w, h));
    ASSERT_EQ(w, 640);
    async.push_back(out);
    ASSERT_TRUE(d->finishPixelsAsync(out, w, h));
    EXPECT_EQ(w, 0); // none left
    ASSERT_EQ(async.size(), sync.size());
    for (size_t k = 0; k < sync.size(); ++k)
    {
        EXPECT_TRUE(async[k] == sync[k]) << "frame " << k;
        // The white pixel and the grey of frame k, B G R A top row first.
        EXPECT_EQ(async[k][(k * 640 + k) * 4], 255) << "frame " << k;
        EXPECT_EQ(async[k][(479 * 640 + 639) * 4], 40 * k) << "frame " << k;
    }
}

TEST_F(DispTest, StatesSetAgainUnchangedRebuildNoKey)
{
    // A material sets every state of every stage on each use: the same values again must not
    // make the next draw rebuild its state key; one changed value must.
    qor_sD3DMaterial mat = {};
    mat.diffuse.set(1, 1, 1, 1);
    const auto setAll = [&](uint flags1) {
        for (uint s = 0; s < 4; ++s)
        {
            d->setTexCoordGen(s, 5);
            d->setTexTransformFlags(s, s == 1 ? flags1 : 0);
            d->setTexture(s, QOR_NULL_TEXTURE);
            d->setTexFilter(s, 2, 0);
        }
        qort::useDiffuse();
        d->setBlendMode(1, 0);
        d->enableBlending(true);
        d->enableLighting(false);
        d->setFogMode(0);
        d->setMaterial(&mat, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material,
                       qorrs_matsrc_material);
        qor_cMatrix id;
        d->setMatrix(qorrs_ts_world, &id);
        d->setTexTransform(0, 0, 0, 0, 1, 1);
    };
    setAll(0);
    quadRHW(0, 0, 8, 8, argb(255, 0, 0));
    const uint64_t nKey = d->getDevice()->getStats().nStateKey;
    for (int i = 0; i < 3; ++i)
    {
        setAll(0);
        quadRHW(0, 0, 8, 8, argb(255, 0, 0));
    }
    EXPECT_EQ(d->getDevice()->getStats().nStateKey, nKey);
    setAll(2); // stage 1's transform flags
    quadRHW(0, 0, 8, 8, argb(255, 0, 0));
    EXPECT_EQ(d->getDevice()->getStats().nStateKey, nKey + 1);
}
