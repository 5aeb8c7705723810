// Layer quads laid out, coloured, textured and drawn from layer scripts.
#include "qor_layerTestEnv.h"

#include "qor_cMaterial.h"

#include <cmath>

using qort::Rgba;

namespace
{
class LayerQuad : public qort::LayerTest
{
protected:
    // Runs a layer script into a new layer.
    std::unique_ptr<qor_cLayer> load(const std::string & body)
    {
        compile("layer.o", "main()\n{\n" + body + "}\n");
        std::unique_ptr<qor_cLayer> p(new qor_cLayer);
        EXPECT_TRUE(p->loadScript("layer.o")) << m_log.text();
        return p;
    }
    static void expectRect(qor_cLayerQuad * q, float l, float t, float r, float b)
    {
        ASSERT_NE(q, nullptr);
        float al, at, ar, ab;
        q->getRect(&al, &at, &ar, &ab);
        EXPECT_NEAR(al, l, 1e-3);
        EXPECT_NEAR(at, t, 1e-3);
        EXPECT_NEAR(ar, r, 1e-3);
        EXPECT_NEAR(ab, b, 1e-3);
    }
};

// Layout cases: the layer's viewport and the quad's position and scale (script thousandths),
// and the rectangle in pixels derived by hand from
//   cx = (vw/2 + x + vx) Dw + Dx, cy = (vh/2 + y + vy) Dh + Dy, hw = sx Dw vw / 2, hh = sy vh Dh / 2
// with D = the 640 x 480 screen.
struct LayoutCase
{
    const char * name;
    int vp[4];
    int pos[2];
    int scale[2];
    float rect[4]; // left, top, right, bottom
};

const LayoutCase kLayout[] = {
    // The whole viewport: the quad covers the screen.
    {"full", {0, 0, 1000, 1000}, {0, 0}, {1000, 1000}, {0, 0, 640, 480}},
    // setPos(500, -250): centre at (0.5, -0.25) of the screen from its centre: (640, 120).
    {"setPos", {0, 0, 1000, 1000}, {500, -250}, {200, 200}, {576, 72, 704, 168}},
    // A half-width layer: centre (0.25 + 0) x 640 = 160, half width 0.1 x 640 x 0.5 / 2 = 16.
    {"halfLayer", {0, 0, 500, 1000}, {0, 0}, {100, 100}, {144, 216, 176, 264}},
    // Position 0.25 moves it by a quarter of the screen's width (160 px), whatever the layer's
    // width: centre (0.25 + 0.25) x 640 = 320.
    {"halfLayerMoved", {0, 0, 500, 1000}, {250, 0}, {100, 100}, {304, 216, 336, 264}},
    {"fullLayerMoved", {0, 0, 1000, 1000}, {250, 0}, {100, 100}, {448, 216, 512, 264}},
    // A layer in the bottom-right quarter: centre (0.25 + 0.5) x 640, (0.25 + 0.5) x 480.
    {"offsetLayer", {500, 500, 500, 500}, {0, 0}, {1000, 1000}, {320, 240, 640, 480}},
};

class LayerQuadLayout : public LayerQuad, public ::testing::WithParamInterface<LayoutCase>
{
};
} // namespace

TEST_P(LayerQuadLayout, LaysOutInTheLayerViewportAndDrawsThere)
{
    const LayoutCase & c = GetParam();
    char body[512];
    std::snprintf(body, sizeof body,
                  "setVP(%d, %d, %d, %d);\naddQuad();\nsetPos(%d, %d);\nsetScale(%d, %d);\nsolid(255, 0, 0);\n", c.vp[0],
                  c.vp[1], c.vp[2], c.vp[3], c.pos[0], c.pos[1], c.scale[0], c.scale[1]);
    auto pLayer = load(body);
    ASSERT_EQ(pLayer->getNbQuad(), 1);
    auto f = frame(*pLayer, 0.0f);
    expectRect(pLayer->getQuad(0), c.rect[0], c.rect[1], c.rect[2], c.rect[3]);
    // Pixels two inside and two outside each edge that lies on the screen.
    const int cx = (int)std::lround((c.rect[0] + c.rect[2]) / 2), cy = (int)std::lround((c.rect[1] + c.rect[3]) / 2);
    const int l = (int)c.rect[0], t = (int)c.rect[1], r = (int)c.rect[2], b = (int)c.rect[3];
    const int ix = std::min(cx, 637), iy = std::min(cy, 477);
    EXPECT_EQ(rgb(f, ix, iy), kRed);
    EXPECT_EQ(rgb(f, l + 2, iy), kRed);
    EXPECT_EQ(rgb(f, std::min(r - 3, 639), iy), kRed);
    EXPECT_EQ(rgb(f, ix, t + 2), kRed);
    EXPECT_EQ(rgb(f, ix, std::min(b - 3, 479)), kRed);
    if (l >= 3)
    {
        EXPECT_EQ(rgb(f, l - 3, iy), kBlack);
    }
    if (r <= 637)
    {
        EXPECT_EQ(rgb(f, r + 2, iy), kBlack);
    }
    if (t >= 3)
    {
        EXPECT_EQ(rgb(f, ix, t - 3), kBlack);
    }
    if (b <= 477)
    {
        EXPECT_EQ(rgb(f, ix, b + 2), kBlack);
    }
    EXPECT_EQ(m_log.text(), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, LayerQuadLayout, ::testing::ValuesIn(kLayout),
                         [](const ::testing::TestParamInfo<LayoutCase> & i) { return std::string(i.param.name); });

TEST_F(LayerQuad, LaterQuadsCoverEarlierOnes)
{
    auto pLayer = load("setVP(0, 0, 1000, 1000);\n"
                       "addQuad(); setPos(-100, 0); setScale(500, 500); solid(255, 0, 0, \"a\");\n"
                       "addQuad(); setPos(100, 0); setScale(500, 500); solid(0, 255, 0, \"b\");\n");
    auto f = frame(*pLayer, 0.0f);
    // Red spans x 96..416, green 224..544: the overlap is green.
    EXPECT_EQ(rgb(f, 150, 240), kRed);
    EXPECT_EQ(rgb(f, 320, 240), kGreen);
    EXPECT_EQ(rgb(f, 500, 240), kGreen);
}

// Alpha of the diffuse colour: the quad's colour byte is truncate(ambient x diffuse x 255); a
// byte of 0 skips the quad (with blending off it would otherwise paint its colour).
struct AlphaCase
{
    const char * name;
    float alpha;
    bool drawn;
};
const AlphaCase kAlpha[] = {{"zero", 0.0f, false}, {"twoThousandths", 0.002f, false}, {"oneOver255", 1.0f / 255, true}};
class LayerQuadAlpha : public LayerQuad, public ::testing::WithParamInterface<AlphaCase>
{
};

TEST_P(LayerQuadAlpha, AZeroAlphaByteSkipsTheQuad)
{
    auto pLayer = load("setVP(0, 0, 1000, 1000);\naddQuad();\nsolid(255, 0, 0);\n");
    qor_cMaterial * pMat = pLayer->getQuad(0)->getMaterial();
    ASSERT_NE(pMat, nullptr);
    pMat->getProp().setDiffuse(1, 0, 0, GetParam().alpha);
    auto f = frame(*pLayer, 0.0f);
    EXPECT_EQ(pLayer->getQuad(0)->isBuilt(), GetParam().drawn);
    EXPECT_EQ(rgb(f, 320, 240), GetParam().drawn ? kRed : kBlack);
}
INSTANTIATE_TEST_SUITE_P(Cases, LayerQuadAlpha, ::testing::ValuesIn(kAlpha),
                         [](const ::testing::TestParamInfo<AlphaCase> & i) { return std::string(i.param.name); });

TEST_F(LayerQuad, SetMatDiffGivesTheColourInTwoHundredFiftyFifths)
{
    auto pLayer = load("setVP(0, 0, 1000, 1000);\naddQuad();\nsolid(255, 128, 0);\n");
    const float * d = pLayer->getQuad(0)->getMaterial()->getProp().getDiffuse();
    EXPECT_NEAR(d[0], 1.0f, 1e-6);
    EXPECT_NEAR(d[1], 0.50196f, 1e-5);
    EXPECT_NEAR(d[2], 0.0f, 1e-6);
    EXPECT_NEAR(d[3], 1.0f, 1e-6);
    auto f = frame(*pLayer, 0.0f);
    EXPECT_EQ(rgb(f, 320, 240), (RGB{255, 128, 0}));
}

TEST_F(LayerQuad, ColourKeysOfTheMaterialAnimateTheQuad)
{
    // Diffuse from black at 0 to (200, 100, 50) at frame 30, linear: half-way at frame 15.
    auto pLayer = load("setVP(0, 0, 1000, 1000);\naddQuad();\nsolid(0, 0, 0);\n"
                       "addKey_diffuse(0, 0, 0, 0, 255);\naddKey_diffuse(30, 200, 100, 50, 255);\nlastKey_diffuse();\n");
    auto f = frame(*pLayer, 15.0f);
    auto p = pixel(f, 320, 240);
    EXPECT_NEAR(p.r, 100, 1);
    EXPECT_NEAR(p.g, 50, 1);
    EXPECT_NEAR(p.b, 25, 1);
}

// A picture of four quadrants (red top-left, green top-right, blue bottom-right, white
// bottom-left) on a full-screen quad, sampled at the quadrants' centres.
class LayerQuadTexture : public LayerQuad
{
protected:
    void SetUp() override
    {
        LayerQuad::SetUp();
        const int n = 64;
        std::vector<unsigned char> rgb((size_t)n * n * 3);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
            {
                unsigned char * p = &rgb[((size_t)y * n + x) * 3];
                const bool bRight = x >= n / 2, bBottom = y >= n / 2;
                const RGB c = !bBottom ? (bRight ? kGreen : kRed) : (bRight ? kBlue : kWhite);
                p[0] = (unsigned char)std::get<0>(c);
                p[1] = (unsigned char)std::get<1>(c);
                p[2] = (unsigned char)std::get<2>(c);
            }
        ASSERT_TRUE(writeImage("quads", n, n, rgb));
    }
    // Colours at the centres of the screen's quadrants: top-left, top-right, bottom-right,
    // bottom-left.
    std::vector<RGB> quadrants(const std::vector<Rgba> & f)
    {
        return {rgb(f, 160, 120), rgb(f, 480, 120), rgb(f, 480, 360), rgb(f, 160, 360)};
    }
    static RGB nearest(RGB c)
    {
        // JPEG blurs the quadrants' edges a little; the centres stay within a few steps.
        auto snap = [](int v) { return v > 200 ? 255 : (v < 55 ? 0 : v); };
        return {snap(std::get<0>(c)), snap(std::get<1>(c)), snap(std::get<2>(c))};
    }
};

TEST_F(LayerQuadTexture, AQuarterTurnKeyAtOneSecondTurnsThePictureAboutItsCentre)
{
    auto pLayer = load("setVP(0, 0, 1000, 1000);\naddQuad();\n"
                       "addKey_uvrot(0, 0);\naddKey_uvrot(30, 1571);\nlastKey_uvrot();\n"
                       "textured();\nloadTexture(\"quads\");\nsetMatDiff(255, 255, 255, 255);\n");
    auto f0 = frame(*pLayer, 0.0f);
    std::vector<RGB> q0 = quadrants(f0);
    for (RGB & c : q0)
        c = nearest(c);
    EXPECT_EQ(q0, (std::vector<RGB>{kRed, kGreen, kBlue, kWhite}));
    // At one second the angle is 1.571 rad. Texture coordinates of the screen point at (a, b)
    // (fractions right and down) become (b, 1 - a) (modulo 1): the top-right of the screen
    // shows the picture's top-left, and so on round: a quarter turn clockwise.
    auto f1 = frame(*pLayer, 30.0f);
    std::vector<RGB> q1 = quadrants(f1);
    for (RGB & c : q1)
        c = nearest(c);
    EXPECT_EQ(q1, (std::vector<RGB>{kWhite, kRed, kGreen, kBlue}));
    // The corners as the build transforms them: top-left (-1, 0), top-right (-1, -1),
    // bottom-right (0, -1), bottom-left (0, 0), within the 0.0002 rad beyond a quarter turn.
    const qor_cVector2 * uv = pLayer->getQuad(0)->getUV();
    const float expect[4][2] = {{-1, 0}, {-1, -1}, {0, -1}, {0, 0}};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_NEAR(uv[i].x, expect[i][0], 1e-3) << i;
        EXPECT_NEAR(uv[i].y, expect[i][1], 1e-3) << i;
    }
}

TEST_F(LayerQuadTexture, TextureOffsetAndScaleMoveThePicture)
{
    // Offset (0.5, 0): the picture shifts by half its width; scale (2, 1) about the centre shows
    // it twice across. Corner c becomes S (c - 0.5) - 0.5 + offset.
    auto pLayer = load("setVP(0, 0, 1000, 1000);\naddQuad();\n"
                       "addKey_uvpos(0, 500, 0);\nlastKey_uvpos();\n"
                       "textured();\nloadTexture(\"quads\");\n");
    auto f = frame(*pLayer, 0.0f);
    std::vector<RGB> q = quadrants(f);
    for (RGB & c : q)
        c = nearest(c);
    EXPECT_EQ(q, (std::vector<RGB>{kGreen, kRed, kWhite, kBlue}));

    auto pScaled = load("setVP(0, 0, 1000, 1000);\naddQuad();\nsetUVScale(2000, 1000);\n"
                        "textured();\nloadTexture(\"quads\");\n");
    auto g = frame(*pScaled, 0.0f);
    // u = 2 (a - 0.5) - 0.5 runs -1.5 .. 0.5 across the screen: x = 40, 200, 360, 520 sample
    // u = 0.625, 0.125, 0.625, 0.125 (mod 1).
    EXPECT_EQ(nearest(rgb(g, 40, 120)), kGreen);
    EXPECT_EQ(nearest(rgb(g, 200, 120)), kRed);
    EXPECT_EQ(nearest(rgb(g, 360, 120)), kGreen);
    EXPECT_EQ(nearest(rgb(g, 520, 120)), kRed);
}

TEST_F(LayerQuad, AQuadWithoutAMaterialIsSkippedAndSaidOnce)
{
    auto pLayer = load("setVP(0, 0, 1000, 1000);\naddQuad();\naddQuad();\nsetScale(500, 500);\nsolid(0, 0, 255);\n"
                       "addQuad();\n");
    for (int i = 0; i < 3; ++i)
    {
        auto f = frame(*pLayer, 1.0f);
        EXPECT_EQ(rgb(f, 320, 240), kBlue);
        EXPECT_EQ(rgb(f, 10, 10), kBlack);
    }
    // Two quads without material, three frames: one line for each quad.
    EXPECT_EQ(countInLog("quad sans material"), 2) << m_log.text();
}

TEST_F(LayerQuad, PositionAndScaleKeysAreTrackedInFrames)
{
    // Position from (0, 0) to (0.25, 0) over 30 frames; scale fixed. Hold after the end.
    auto pLayer = load("setVP(0, 0, 1000, 1000);\naddQuad();\nsetScale(100, 100);\n"
                       "addKey_pos(0, 0, 0);\naddKey_pos(30, 250, 0);\nlastKey_pos();\n"
                       "addKey_scale(0, 100, 100);\naddKey_scale(30, 200, 200);\nlastKey_scale();\nsolid(255, 0, 0);\n");
    frame(*pLayer, 0.0f);
    expectRect(pLayer->getQuad(0), 288, 216, 352, 264);
    frame(*pLayer, 45.0f);
    // At the last key: centre 320 + 160, size 0.2 of the screen.
    expectRect(pLayer->getQuad(0), 416, 192, 544, 288);
}

// Drawing in bands around the clear middle of a quad's texture: the frame is the frame drawn
// whole, byte for byte, and only blends that keep the target where the source alpha is 0 are
// drawn so. The picture: colours that change with every texel; its alpha image: 0 over texels
// 16 to 47 across and down (whole 8 x 8 blocks, so JPEG keeps them exactly 0) and from 40 to
// 250 elsewhere, over the quadrants picture.
struct ClearCase
{
    const char * name;
    const char * quad; // script lines after addQuad()
    int src, dst;      // blend of the quad's pass
    bool alphaFromTexture;
    bool banded; // drawn in bands (derived from the rule, not from the code)
};
const ClearCase kClear[] = {
    {"alpha", "", 4, 5, true, true},
    {"addAlpha", "", 4, 1, true, true},
    {"bothSrcAlpha", "", 11, 0, true, true},
    // A texel of alpha 0 still adds its colour.
    {"add", "", 1, 1, true, false},
    // 1 - As of the source weighs the target: alpha 0 replaces it.
    {"invAlpha", "", 5, 4, true, false},
    // The alpha is the diffuse colour's: nothing of the texture's 0 reaches the blend.
    {"alphaFromDiffuse", "", 4, 5, false, false},
    // The texture moved a quarter of its width across, on a smaller quad off the centre: the
    // bands follow the clear texels through the texture's repeat.
    {"offsetSmaller", "setPos(100, -50);\nsetScale(700, 600);\naddKey_uvpos(0, 250, 0);\nlastKey_uvpos();\n", 4, 5,
     true, true},
};
class LayerQuadClear : public LayerQuad, public ::testing::WithParamInterface<ClearCase>
{
protected:
    void SetUp() override
    {
        LayerQuad::SetUp();
        const int n = 64;
        std::vector<unsigned char> paint((size_t)n * n * 3), hole((size_t)n * n * 3), quads((size_t)n * n * 3);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
            {
                unsigned char * p = &paint[((size_t)y * n + x) * 3];
                p[0] = (unsigned char)(x * 4), p[1] = (unsigned char)(y * 4), p[2] = (unsigned char)(255 - x * 2 - y);
                const bool bClear = x >= 16 && x < 48 && y >= 16 && y < 48;
                unsigned char * a = &hole[((size_t)y * n + x) * 3];
                a[0] = a[1] = a[2] = bClear ? 0 : (unsigned char)(40 + (x + y) * 210 / 126);
                unsigned char * q = &quads[((size_t)y * n + x) * 3];
                q[0] = (unsigned char)(x < n / 2 ? 255 : 0), q[1] = (unsigned char)(y < n / 2 ? 255 : 60), q[2] = 128;
            }
        ASSERT_TRUE(writeImage("paint", n, n, paint));
        ASSERT_TRUE(writeImage("hole", n, n, hole));
        ASSERT_TRUE(writeImage("quads", n, n, quads));
    }
    struct Drawn
    {
        std::vector<Rgba> frame;
        uint64_t nDraw, nPixel;
    };
    Drawn draw(qor_cLayer & layer, bool bClip)
    {
        qor_cLayerQuad::s_bClipClear = bClip;
        qor_sDispStats s0{}, s1{};
        disp()->getStats(&s0);
        disp()->countPixels(true);
        Drawn d;
        d.frame = frame(layer, 0.0f);
        disp()->countPixels(false);
        disp()->getStats(&s1);
        qor_cLayerQuad::s_bClipClear = true;
        d.nDraw = s1.nDraw - s0.nDraw;
        d.nPixel = s1.nPixel - s0.nPixel;
        return d;
    }
};

TEST_P(LayerQuadClear, BandsLeaveOutOnlyPixelsTheQuadCannotChange)
{
    const ClearCase & c = GetParam();
    auto pLayer = load("setVP(0, 0, 1000, 1000);\naddQuad();\ntextured(\"back\");\nloadTexture(\"quads\");\n"
                       "addQuad();\n" +
                       std::string(c.quad) + "addMaterial(\"over\");\naddPass();\nsetBlend(" + std::to_string(c.src) +
                       ", " + std::to_string(c.dst) +
                       ");\naddStage();\nloadTextureAlpha(\"paint\", \"hole\");\nloadTexture(\"paint\");\n"
                       "setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);\n" +
                       (c.alphaFromTexture ? "setAlphaCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);\n"
                                           : "setAlphaCombiner(TEXARG_TEXTURE, TEXOP_SELECTARG2, TEXARG_DIFFUSE);\n") +
                       "setMatDiff(255, 230, 200, 200);\n");
    const Drawn whole = draw(*pLayer, false);
    const Drawn banded = draw(*pLayer, true);
    EXPECT_TRUE(whole.frame == banded.frame);
    EXPECT_EQ(banded.nDraw > whole.nDraw, c.banded);
    if (!c.banded)
    {
        EXPECT_EQ(banded.nPixel, whole.nPixel);
    }
}
INSTANTIATE_TEST_SUITE_P(Cases, LayerQuadClear, ::testing::ValuesIn(kClear),
                         [](const ::testing::TestParamInfo<ClearCase> & i) { return std::string(i.param.name); });

TEST_F(LayerQuadClear, AWholeScreenQuadLeavesOutTheClearMiddleLessItsMargins)
{
    // Texels 16..47 of 64 across 640 x 480 pixels: 10 pixels a texel across, 7.5 down, so the
    // clear texels cover x 160..479, y 120..359 (76,800 pixels): nothing outside them is left out.
    // A bilinear sample reads 2 texels; with the margins kept for the pixel centres (2 pixels)
    // and float rounding (1 texel, 1 pixel), the pixels left out run at least from x 178 to 452
    // (texel coordinate 17.5 to 45.5) and y 134 to 339: 275 x 206 = 56,650.
    auto pLayer = load("setVP(0, 0, 1000, 1000);\naddQuad();\ntextured(\"back\");\nloadTexture(\"quads\");\n"
                       "addQuad();\naddMaterial(\"over\");\naddPass();\nsetBlend(BLEND_SRCALPHA, BLEND_INVSRCALPHA);\n"
                       "addStage();\nloadTextureAlpha(\"paint\", \"hole\");\nloadTexture(\"paint\");\n"
                       "setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);\n"
                       "setAlphaCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);\n");
    const Drawn whole = draw(*pLayer, false);
    const Drawn banded = draw(*pLayer, true);
    EXPECT_TRUE(whole.frame == banded.frame);
    EXPECT_EQ(whole.nPixel, 2u * 640 * 480);
    const uint64_t nLeftOut = whole.nPixel - banded.nPixel;
    EXPECT_GE(nLeftOut, 56650u);
    EXPECT_LE(nLeftOut, 76800u);
}
