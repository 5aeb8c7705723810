// The generated fixed-function pipeline: combiners, lighting, fog, texture coordinates and
// transforms, cube maps. Expected values follow Direct3D 8's documented formulas.
#include "qor_dispTestEnv.h"

#include "qor_cLight.h"

#include <algorithm>
#include <cmath>
#include <memory>

using qort::argb;
using qort::Frame;
using qort::quadRHW;
using qort::quadXYZ;

namespace
{
int toByte(double v) { return int(std::lround(std::min(1.0, std::max(0.0, v)) * 255.0)); }

// Direct3D 8's texture operations on one channel (qor_eTexOp numbering, not dot product 3).
double texOp(int op, double a, double b)
{
    double r = 0;
    switch (op)
    {
    case 1: r = a; break;
    case 2: r = b; break;
    case 3: r = a * b; break;
    case 4: r = 2 * a * b; break;
    case 5: r = 4 * a * b; break;
    case 6: r = a + b; break;
    case 7: r = a + b - 0.5; break;
    case 8: r = 2 * (a + b - 0.5); break;
    case 9: r = a - b; break;
    }
    return std::min(1.0, std::max(0.0, r));
}

const double kPi = 3.14159265358979;
} // namespace

// ----- combiners

TEST_F(DispTest, EveryColourOperationOnTextureAndDiffuse)
{
    const int T[4] = {204, 102, 51, 153}, D[4] = {128, 64, 192, 128};
    const qor_hTexture t = qort::makeTexture(1, 1, {argb(T[0], T[1], T[2], T[3])});
    d->setTexture(0, t);
    d->enableBlending(false);
    for (int op = 1; op <= 9; ++op)
    {
        ASSERT_TRUE(d->setTexMode(0, qorrs_texarg_texture, qor_eTexOp(op), qorrs_texarg_diffuse));
        quadRHW(0, 0, 8, 8, argb(D[0], D[1], D[2], D[3]));
        Frame f;
        EXPECT_PIXEL(f.at(4, 4), toByte(texOp(op, T[0] / 255.0, D[0] / 255.0)),
                     toByte(texOp(op, T[1] / 255.0, D[1] / 255.0)), toByte(texOp(op, T[2] / 255.0, D[2] / 255.0)), 1)
            << "op " << op;
    }
    // Hand-checked: modulate 2x (204*128*2/255 = 204.8, 51.2, 76.8), modulate 4x saturates red.
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_modulate2x, qorrs_texarg_diffuse);
    quadRHW(0, 0, 8, 8, argb(D[0], D[1], D[2], D[3]));
    EXPECT_PIXEL(Frame().at(4, 4), 205, 51, 77, 1);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_modulate4x, qorrs_texarg_diffuse);
    quadRHW(0, 0, 8, 8, argb(D[0], D[1], D[2], D[3]));
    EXPECT_PIXEL(Frame().at(4, 4), 255, 102, 154, 1);
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(t);
}

TEST_F(DispTest, EveryAlphaOperationOnTextureAndDiffuse)
{
    // Colour passes white; the alpha result scales it through SRCALPHA / ZERO blending.
    const int Ta = 153, Da = 128;
    const qor_hTexture t = qort::makeTexture(1, 1, {argb(10, 20, 30, Ta)});
    d->setTexture(0, t);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_selectarg2, qorrs_texarg_diffuse);
    d->setBlendMode(4, 0);
    for (int op = 1; op <= 9; ++op)
    {
        ASSERT_TRUE(d->setTexModeAlpha(0, qorrs_texarg_texture, qor_eTexOp(op), qorrs_texarg_diffuse));
        quadRHW(0, 0, 8, 8, argb(255, 255, 255, Da));
        const int e = toByte(texOp(op, Ta / 255.0, Da / 255.0));
        EXPECT_PIXEL(Frame().at(4, 4), e, e, e, 1) << "alpha op " << op;
    }
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(t);
}

TEST_F(DispTest, DotProduct3IsSignedAndReplicatedToAlpha)
{
    // 4 * sum((a - 0.5)(b - 0.5)): (255,128,128).(255,128,128) = 1; (191,128,128) gives 0.498.
    d->setBlendMode(4, 0); // the pixel shows colour x alpha: both the dot product
    d->setTexModeAlpha(0, qorrs_texarg_diffuse, qorrs_texop_selectarg1, qorrs_texarg_current); // overridden
    const qor_hTexture t1 = qort::makeTexture(1, 1, {argb(255, 128, 128)});
    d->setTexture(0, t1);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_dotproduct3, qorrs_texarg_diffuse);
    quadRHW(0, 0, 8, 8, argb(255, 128, 128, 0));
    EXPECT_PIXEL(Frame().at(4, 4), 255, 255, 255, 1);
    const qor_hTexture t2 = qort::makeTexture(1, 1, {argb(191, 128, 128)});
    d->setTexture(0, t2);
    quadRHW(0, 0, 8, 8, argb(255, 128, 128, 0));
    const double dot = 4 * ((191 / 255.0 - 0.5) * (255 / 255.0 - 0.5) + 2 * (128 / 255.0 - 0.5) * (128 / 255.0 - 0.5));
    const int e = toByte(dot * dot);
    EXPECT_PIXEL(Frame().at(4, 4), e, e, e, 1);
    // Opposite vectors clamp to 0.
    quadRHW(0, 0, 8, 8, argb(0, 128, 128, 255));
    EXPECT_PIXEL(Frame().at(4, 4), 0, 0, 0, 0);
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(t1);
    d->releaseTexture(t2);
}

TEST_F(DispTest, StagesChainThroughCurrentAndStopAtTheFirstDisabledOne)
{
    const qor_hTexture t0 = qort::makeTexture(1, 1, {argb(128, 255, 64)});
    const qor_hTexture t1 = qort::makeTexture(1, 1, {argb(20, 30, 40)});
    const qor_hTexture t2 = qort::makeTexture(1, 1, {argb(255, 0, 0)});
    d->setTexture(0, t0);
    d->setTexture(1, t1);
    d->setTexture(2, t2);
    d->enableBlending(false);
    // stage 0: texture * diffuse; stage 1: current + texture; stage 2 disabled; stage 3 would
    // select its texture.
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_modulate, qorrs_texarg_diffuse);
    d->setTexMode(1, qorrs_texarg_current, qorrs_texop_add, qorrs_texarg_texture);
    d->setTexMode(2, qorrs_texarg_texture, qorrs_texop_disable, qorrs_texarg_current);
    d->setTexMode(3, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
    quadRHW(0, 0, 8, 8, argb(200, 100, 255));
    const auto e = [](int t, int dd, int t1v) { return toByte(t / 255.0 * dd / 255.0 + t1v / 255.0); };
    EXPECT_PIXEL(Frame().at(4, 4), e(128, 200, 20), e(255, 100, 30), e(64, 255, 40), 1);
    // Stage 0 disabled: the diffuse colour alone.
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_disable, qorrs_texarg_diffuse);
    quadRHW(0, 0, 8, 8, argb(200, 100, 255));
    EXPECT_PIXEL(Frame().at(4, 4), 200, 100, 255, 0);
    for (uint s = 0; s < 3; ++s)
        d->setTexture(s, QOR_NULL_TEXTURE);
    d->releaseTexture(t0);
    d->releaseTexture(t1);
    d->releaseTexture(t2);
}

TEST_F(DispTest, MissingTextureReadsOpaqueWhite)
{
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_modulate, qorrs_texarg_diffuse);
    d->setTexModeAlpha(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_diffuse);
    d->setBlendMode(4, 0);
    quadRHW(0, 0, 8, 8, argb(10, 100, 200, 0));
    EXPECT_PIXEL(Frame().at(4, 4), 10, 100, 200, 0);
}

TEST_F(DispTest, OutOfRangeCombinerArgumentsStopAfterWhatWasWritten)
{
    EXPECT_FALSE(d->setTexMode(0, qorrs_texarg_diffuse, qorrs_texop_selectarg1, qor_eTexArg(7)));
    EXPECT_EQ(d->getDevice()->stage(0).colorArg1, uint(qorrs_texarg_diffuse));
    EXPECT_FALSE(d->setTexMode(0, qorrs_texarg_texture, qor_eTexOp(11), qorrs_texarg_specular));
    EXPECT_EQ(d->getDevice()->stage(0).colorArg2, uint(qorrs_texarg_specular));
    EXPECT_EQ(d->getDevice()->stage(0).colorOp, uint(qorrs_texop_selectarg1));
    EXPECT_TRUE(d->setTexMode(4, qorrs_texarg_texture, qorrs_texop_disable, qorrs_texarg_current));
}

// ----- lighting

namespace
{
// Perspective 640 x 480, 90 degrees, near 1, far 100; a 0.4-unit quad at z = 10 facing the
// camera (its four corners light alike, so every pixel has the corner value).
void setupLitScene(qor_cDispGL * d)
{
    qor_cMatrix proj;
    proj.setPerspective(640, 480, float(kPi / 2), 1, 100);
    d->setMatrix(qorrs_ts_projection, &proj);
    d->enableLighting(true);
    d->setAmbientLight(0, 0, 0, 0);
    qor_sD3DMaterial mat = {};
    mat.diffuse.set(1.0f, 0.5f, 0.25f, 1.0f);
    mat.specular.set(1, 1, 1, 1);
    mat.power = 10;
    d->setMaterial(&mat, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material);
}

// The corner (0.2, 0.2, 10) under a point light at (0, 0, 5), attenuation (1, 0.1, 0).
struct PointLit
{
    double nl, att, specular;
};
PointLit pointLightAtCorner(double power)
{
    const double P[3] = {0.2, 0.2, 10}, Lp[3] = {0, 0, 5};
    double L[3] = {Lp[0] - P[0], Lp[1] - P[1], Lp[2] - P[2]};
    const double dist = std::sqrt(L[0] * L[0] + L[1] * L[1] + L[2] * L[2]);
    for (double & c : L)
        c /= dist;
    const double pl = std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]);
    double H[3] = {L[0] - P[0] / pl, L[1] - P[1] / pl, L[2] - P[2] / pl};
    const double hl = std::sqrt(H[0] * H[0] + H[1] * H[1] + H[2] * H[2]);
    const double N[3] = {0, 0, -1};
    const double nl = N[0] * L[0] + N[1] * L[1] + N[2] * L[2];
    const double nh = (N[0] * H[0] + N[1] * H[1] + N[2] * H[2]) / hl;
    const double att = 1.0 / (1.0 + 0.1 * dist);
    return {nl, att, std::pow(nh, power) * att};
}
} // namespace

TEST_F(DispTest, PointLightWithAttenuationAndRange)
{
    setupLitScene(d);
    qor_cLight light;
    light.m_uType = 0;
    light.setPosition(0, 0, 5);
    light.m_fAttenuation0 = 1.0f;
    light.m_fAttenuation1 = 0.1f;
    light.m_fAttenuation2 = 0.0f;
    light.setRange(100);
    d->addLight(&light);
    EXPECT_EQ(light.m_uSlot, 0u);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    const PointLit e = pointLightAtCorner(10);
    const double k = e.nl * e.att;
    EXPECT_PIXEL(Frame().at(320, 240), toByte(k), toByte(0.5 * k), toByte(0.25 * k), 1);
    EXPECT_NEAR(toByte(k), 170, 1); // by hand: 1 / (1 + 0.5) at the centre

    // Out of range (the corners are 5.008 away): nothing, not even ambient.
    light.setRange(4.9f);
    d->setLight(light.m_uSlot, &light);
    d->clear(3);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), 0, 0, 0, 0);
    light.setRange(5.1f);
    d->setLight(light.m_uSlot, &light);
    d->clear(3);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), toByte(k), toByte(0.5 * k), toByte(0.25 * k), 1);
    d->removeLight(&light);
    EXPECT_EQ(light.m_uSlot, 255u);
}

TEST_F(DispTest, SpecularIsAddedAfterTheStagesWhenEnabled)
{
    setupLitScene(d);
    qor_cLight light;
    light.setPosition(0, 0, 5);
    light.m_fAttenuation1 = 0.1f;
    d->addLight(&light);
    const PointLit e = pointLightAtCorner(10);
    const double k = e.nl * e.att;
    d->enableSpecular(true);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), toByte(k + e.specular), toByte(0.5 * k + e.specular), toByte(0.25 * k + e.specular), 1);
    d->enableSpecular(false);
    d->clear(3);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), toByte(k), toByte(0.5 * k), toByte(0.25 * k), 1);
    // The specular colour as a stage argument.
    d->setTexMode(0, qorrs_texarg_specular, qorrs_texop_selectarg1, qorrs_texarg_current);
    d->clear(3);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), toByte(e.specular), toByte(e.specular), toByte(e.specular), 1);
    d->clearLights();
    EXPECT_EQ(light.m_uSlot, 255u);
}

TEST_F(DispTest, DirectionalLightAndGlobalAmbient)
{
    setupLitScene(d);
    d->setAmbientLight(0.2f, 0.2f, 0.2f, 1);
    qor_sD3DMaterial mat = {};
    mat.diffuse.set(1.0f, 0.5f, 0.0f, 1.0f);
    mat.ambient.set(0.0f, 0.0f, 1.0f, 1.0f);
    mat.emissive.set(0.0f, 0.1f, 0.0f, 1.0f);
    d->setMaterial(&mat, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material);
    qor_cLight light;
    light.m_uType = 2;
    light.m_vDirection.set(0, 0, 2); // into the screen; normalised by the device
    light.m_diffuse.set(0.5f, 0.5f, 0.5f, 1);
    d->addLight(&light);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    // emissive + ambient * global (51/255: the ambient is sent packed) + diffuse * 0.5 * N.L
    const double ga = 51 / 255.0;
    EXPECT_PIXEL(Frame().at(320, 240), toByte(0.5), toByte(0.1 + 0.25), toByte(ga), 1);
    d->clearLights();
}

TEST_F(DispTest, SpotLightInsideAndOutsideItsCone)
{
    setupLitScene(d);
    qor_cLight light;
    light.m_uType = 1;
    light.setPosition(0, 0, 5);
    light.m_vDirection.set(0, 0, 1);
    light.m_fTheta = 0.2f;
    light.m_fPhi = 0.4f;
    light.m_fAttenuation1 = 0.1f;
    d->addLight(&light);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    const PointLit e = pointLightAtCorner(10);
    EXPECT_PIXEL(Frame().at(320, 240), toByte(e.nl * e.att), toByte(0.5 * e.nl * e.att), toByte(0.25 * e.nl * e.att), 1);
    light.m_vDirection.set(1, 0, 0); // the quad is far outside phi / 2
    d->setLight(light.m_uSlot, &light);
    d->clear(3);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), 0, 0, 0, 0);
    d->clearLights();
}

TEST_F(DispTest, VertexColourSourceReplacesTheMaterialWhereTheFormatHasIt)
{
    setupLitScene(d);
    qor_cLight light;
    light.m_uType = 2;
    light.m_vDirection.set(0, 0, 1);
    d->addLight(&light);
    qor_sD3DMaterial mat = {};
    mat.diffuse.set(1, 0, 0, 1);
    d->setMaterial(&mat, qorrs_matsrc_color1, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material);
    qort::quadXYZC(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1, argb(0, 200, 0));
    EXPECT_PIXEL(Frame().at(320, 240), 0, 200, 0, 1);
    // 0x112 has no colour: the material's diffuse stays.
    d->clear(3);
    quadXYZ(-0.2f, 0.2f, 0.2f, -0.2f, 10, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), 255, 0, 0, 1);
    d->clearLights();
}

TEST_F(DispTest, LightSlotsFillInOrderAndStopAt255)
{
    std::vector<qor_cLight> lights(256);
    for (qor_cLight & l : lights)
        d->addLight(&l);
    EXPECT_EQ(lights[0].m_uSlot, 0u);
    EXPECT_EQ(lights[254].m_uSlot, 254u);
    EXPECT_EQ(lights[255].m_uSlot, 255u); // nothing stored
    d->removeLight(&lights[3]);
    qor_cLight extra;
    d->addLight(&extra);
    EXPECT_EQ(extra.m_uSlot, 3u);
    d->clearLights();
    for (uint i = 0; i < 255; ++i)
        EXPECT_EQ(d->getLightSlot(i), nullptr);
}

// ----- fog

TEST_F(DispTest, FogModesAtStartMiddleAndEnd)
{
    d->setFogColor(1, 0, 0, 1);
    d->setFogRange(10, 20);
    d->setFogMode(1);
    // Pre-transformed depth is 1 / rhw.
    quadRHW(0, 0, 8, 8, argb(255, 255, 255), 0.5f, 1.0f / 10);
    quadRHW(8, 0, 16, 8, argb(255, 255, 255), 0.5f, 1.0f / 15);
    quadRHW(16, 0, 24, 8, argb(255, 255, 255), 0.5f, 1.0f / 20);
    {
        Frame f;
        EXPECT_PIXEL(f.at(4, 4), 255, 255, 255, 1);
        EXPECT_PIXEL(f.at(12, 4), 255, 128, 128, 1);
        EXPECT_PIXEL(f.at(20, 4), 255, 0, 0, 1);
    }
    d->setFogMode(2); // towards black
    quadRHW(0, 0, 8, 8, argb(255, 255, 255), 0.5f, 1.0f / 10);
    quadRHW(8, 0, 16, 8, argb(255, 255, 255), 0.5f, 1.0f / 15);
    quadRHW(16, 0, 24, 8, argb(255, 255, 255), 0.5f, 1.0f / 20);
    {
        Frame f;
        EXPECT_PIXEL(f.at(4, 4), 255, 255, 255, 1);
        EXPECT_PIXEL(f.at(12, 4), 128, 128, 128, 1);
        EXPECT_PIXEL(f.at(20, 4), 0, 0, 0, 1);
    }
    d->setFogMode(1); // the stored red comes back
    quadRHW(16, 0, 24, 8, argb(255, 255, 255), 0.5f, 1.0f / 20);
    EXPECT_PIXEL(Frame().at(20, 4), 255, 0, 0, 1);
    d->setFogMode(0);
    quadRHW(16, 0, 24, 8, argb(255, 255, 255), 0.5f, 1.0f / 20);
    EXPECT_PIXEL(Frame().at(20, 4), 255, 255, 255, 0);
}

TEST_F(DispTest, FogOnEyeDepthOfTransformedGeometry)
{
    qor_cMatrix proj;
    proj.setPerspective(640, 480, float(kPi / 2), 1, 100);
    d->setMatrix(qorrs_ts_projection, &proj);
    d->setFogColor(0, 0, 1, 1);
    d->setFogRange(10, 20);
    d->setFogMode(1);
    quadXYZ(-1, 1, 1, -1, 15, 0, 0, -1); // eye depth 15: halfway
    EXPECT_PIXEL(Frame().at(320, 240), 128, 128, 255, 1);
    d->setFogMode(0);
}

// ----- texture coordinates

namespace
{
// 2 x 2: red, green / blue, white; point filtering (the fixture's default).
qor_hTexture quadrants() { return qort::makeTexture(2, 2, {argb(255, 0, 0), argb(0, 255, 0), argb(0, 0, 255), argb(255, 255, 255)}); }

void expectQuadrants(const Frame & f, const qort::Pixel & tl, const qort::Pixel & tr, const qort::Pixel & bl,
                     const qort::Pixel & br)
{
    EXPECT_PIXEL(f.at(160, 120), tl.r, tl.g, tl.b, 0);
    EXPECT_PIXEL(f.at(480, 120), tr.r, tr.g, tr.b, 0);
    EXPECT_PIXEL(f.at(160, 360), bl.r, bl.g, bl.b, 0);
    EXPECT_PIXEL(f.at(480, 360), br.r, br.g, br.b, 0);
}

const qort::Pixel R = {255, 0, 0, 0}, G = {0, 255, 0, 0}, B = {0, 0, 255, 0}, W = {255, 255, 255, 0};
} // namespace

TEST_F(DispTest, TextureTransformsTurnAndShiftAboutTheCentre)
{
    const qor_hTexture t = quadrants();
    d->setTexture(0, t);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    expectQuadrants(Frame(), R, G, B, W);

    // Identity.
    ASSERT_TRUE(d->setTexTransform(0, 0, 0, 0, 1, 1));
    EXPECT_EQ(*d->getMatrix(qorrs_ts_texture0), qor_cMatrix());
    d->setTexTransformFlags(0, 2);
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    expectQuadrants(Frame(), R, G, B, W);

    // A quarter turn: (u, v) -> (1 - v, u).
    d->setTexTransform(0, 0, 0, float(kPi / 2), 1, 1);
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    expectQuadrants(Frame(), G, W, R, B);

    // An offset of half the width: (u, v) -> (u + 0.5, v), wrapping.
    d->setTexTransform(0, 0.5f, 0, 0, 1, 1);
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    expectQuadrants(Frame(), G, R, W, B);

    // Flags 0: the matrix is ignored.
    d->disableTexTransform(0);
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    expectQuadrants(Frame(), R, G, B, W);

    // Count 3, projected: (u, v, 1) * M with m33 = 2 gives (u, v, 2), divided by 2.
    qor_cMatrix m;
    m._33 = 2.0f;
    d->setMatrix(qorrs_ts_texture0, &m);
    d->setTexTransformFlags(0, 259);
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    expectQuadrants(Frame(), R, R, R, R);
    d->setTexTransformFlags(0, 3);
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    expectQuadrants(Frame(), R, G, B, W);
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(t);
}

TEST_F(DispTest, CountTwoProjectedDividesUByV)
{
    // Four columns red, green, blue, white; count 2 with the projected bit gives one coordinate,
    // u' / v', with (u', v') = (u, v) * M and M adding 1 to v (m32 = 1, the 2D translation row).
    const qor_hTexture t =
        qort::makeTexture(4, 1, {argb(255, 0, 0), argb(0, 255, 0), argb(0, 0, 255), argb(255, 255, 255)});
    const qort::Pixel aColumn[4] = {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}};
    d->setTexture(0, t);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
    qor_cMatrix m;
    m._32 = 1.0f;
    d->setMatrix(qorrs_ts_texture0, &m);
    ASSERT_TRUE(d->setTexTransformFlags(0, 258));
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1, 0, 0, 1, 1);
    Frame f;
    // Pixel (x, y) is sampled at its centre, which Direct3D puts at (x, y): u = x / 640 and
    // v = y / 480 over the full-screen quad; the texel column is floor(4 u / (1 + v)).
    const int aXY[][2] = {{20, 10}, {300, 10}, {500, 10}, {630, 10}, {320, 240}, {450, 100}, {620, 200}, {100, 400},
                          {600, 470}};
    for (const auto & xy : aXY)
    {
        const double u = xy[0] / 640.0, v = xy[1] / 480.0;
        const qort::Pixel & e = aColumn[int(std::floor(4.0 * u / (1.0 + v))) & 3];
        EXPECT_PIXEL(f.at(xy[0], xy[1]), e.r, e.g, e.b, 0) << "at " << xy[0] << ", " << xy[1];
    }
    d->setTexTransformFlags(0, 0);
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(t);
}

TEST_F(DispTest, PreTransformedVerticesSkipTheTextureMatrix)
{
    const qor_hTexture t = quadrants();
    d->setTexture(0, t);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
    d->setTexTransform(0, 0, 0, float(kPi / 2), 1, 1);
    d->setTexTransformFlags(0, 2);
    quadRHW(0, 0, 640, 480, argb(255, 255, 255));
    expectQuadrants(Frame(), R, G, B, W);
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(t);
}

TEST_F(DispTest, CameraSpaceNormalAndPositionSources)
{
    const qor_hTexture t = quadrants();
    d->setTexture(0, t);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
    EXPECT_FALSE(d->setTexCoordGen(0, 1));
    EXPECT_FALSE(d->setTexCoordGen(0, 6));
    ASSERT_TRUE(d->setTexCoordGen(0, 0));
    const qor_cMatrix & m = *d->getMatrix(qorrs_ts_texture0);
    EXPECT_EQ(m._11, 0.5f);
    EXPECT_EQ(m._22, -0.5f);
    EXPECT_EQ(m._41, 0.5f);
    EXPECT_EQ(m._42, 0.5f);
    EXPECT_EQ(m._43, 0.0f);
    // Normal (0.6, 0.8, 0): u = 0.8, v = 0.1 (green); (-0.6, -0.8, 0): u = 0.2, v = 0.9 (blue).
    quadXYZ(-1, 1, 0, -1, 0.5f, 0.6f, 0.8f, 0);
    quadXYZ(0, 1, 1, -1, 0.5f, -0.6f, -0.8f, 0);
    Frame f;
    EXPECT_PIXEL(f.at(160, 240), 0, 255, 0, 0);
    EXPECT_PIXEL(f.at(480, 240), 0, 0, 255, 0);

    // Camera-space position, no transform: (x, y) at pixel (100, 100) is (-0.686, 0.581),
    // which wraps to (0.314, 0.581): the bottom-left texel.
    d->setTexCoordGen(0, 2);
    d->disableTexTransform(0);
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(100, 100), 0, 0, 255, 0);
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(t);
}

TEST_F(DispTest, CubeMapWithReflectionAndFaceOrientation)
{
    const qor_hTexture c = d->createCubeTexture(2);
    ASSERT_NE(c, QOR_NULL_TEXTURE);
    const uint aFace[6] = {argb(255, 0, 255), argb(0, 255, 255), argb(255, 255, 0),
                           argb(128, 128, 128), 0, argb(255, 128, 0)};
    for (int face = 0; face < 6; ++face)
    {
        ASSERT_TRUE(d->lockCubeTexture(c, qor_eCubeMapFace(face)));
        for (uint y = 0; y < 2; ++y)
            for (uint x = 0; x < 2; ++x)
            {
                // +Z: red, green / blue, white (row 0 is the top of the face image).
                const uint q[4] = {argb(255, 0, 0), argb(0, 255, 0), argb(0, 0, 255), argb(255, 255, 255)};
                const uint v = face == 4 ? q[y * 2 + x] : aFace[face];
                d->setPixel(x, y, uchar(v >> 16), uchar(v >> 8), uchar(v), 255);
            }
        ASSERT_TRUE(d->unlockCubeTexture());
    }
    d->setTexCoordGen(0, 5);
    ASSERT_TRUE(d->setTexture(0, c)); // a cube handle: switches the stage to reflection
    EXPECT_EQ(d->getDevice()->stage(0).tcSource, 4u);
    d->setTexMode(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
    // Facing the camera: R = 2 (E.N) N - E = (0, 0, -1): the -Z face.
    quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(320, 240), 255, 128, 0, 0);
    // Normal (1, 0, -1) / sqrt 2 at the centre: R = (1, 0, 0), the +X face.
    quadXYZ(-1, 1, 1, -1, 0.5f, 0.70710678f, 0, -0.70710678f);
    EXPECT_PIXEL(Frame().at(320, 240), 255, 0, 255, 0);
    // Camera-space position as the direction: (0.5, 0.5, 0.9) hits +Z at u = 0.78, v = 0.22
    // (its top-right texel); (-0.5, -0.5, 0.9) its bottom-left one.
    d->setTexCoordGen(0, 2);
    d->clear(3);
    quadXYZ(-1, 1, 1, -1, 0.9f, 0, 0, -1);
    Frame f;
    EXPECT_PIXEL(f.at(480, 120), 0, 255, 0, 0);
    EXPECT_PIXEL(f.at(160, 360), 0, 0, 255, 0);
    EXPECT_PIXEL(f.at(160, 120), 255, 0, 0, 0);
    d->setTexture(0, QOR_NULL_TEXTURE);
    EXPECT_TRUE(d->releaseTexture(c));
    EXPECT_FALSE(d->releaseTexture(c));
}
