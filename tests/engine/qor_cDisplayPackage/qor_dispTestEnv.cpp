#include "qor_dispTestEnv.h"

#include "qor_cGLShader.h"
#include "qor_cLight.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace qort
{
namespace
{
std::unique_ptr<qor_cDispGL> s_pDisp;
bool s_bTried = false;

class DispEnvironment : public ::testing::Environment
{
public:
    void TearDown() override { s_pDisp.reset(); }
};
const ::testing::Environment * s_pEnv = ::testing::AddGlobalTestEnvironment(new DispEnvironment);
} // namespace

qor_cDispGL * disp()
{
    if (!s_bTried)
    {
        s_bTried = true;
        // QOR_TEST_GLSL_ES=1: the shaders in OpenGL ES 3.0's language, as WebGL 2 takes them.
        if (const char * sz = std::getenv("QOR_TEST_GLSL_ES"); sz && std::strcmp(sz, "1") == 0)
            qor_cGLShaderCache::setES(true);
        s_pDisp.reset(new qor_cDispGL);
        if (!s_pDisp->init(640, 480, 32, false))
            s_pDisp.reset();
    }
    if (s_pDisp)
        s_pDisp->makeCurrent();
    return s_pDisp.get();
}

Frame::Frame()
{
    if (disp())
        disp()->readPixels(m_data, m_w, m_h);
}

Pixel Frame::at(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_w || y >= m_h)
        return {-1, -1, -1, -1};
    const uint8_t * p = &m_data[(size_t(y) * m_w + x) * 4];
    return {p[2], p[1], p[0], p[3]};
}

::testing::AssertionResult pixelNear(const Pixel & p, int r, int g, int b, int tol)
{
    if (std::abs(p.r - r) <= tol && std::abs(p.g - g) <= tol && std::abs(p.b - b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << p.r << ", " << p.g << ", " << p.b << "), expected (" << r
                                         << ", " << g << ", " << b << ") within " << tol;
}

void quadRHW(float x0, float y0, float x1, float y1, uint colour, float z, float rhw, float u0, float v0, float u1,
             float v1)
{
    std::unique_ptr<qor_cTriList> p(qor_cTriList::create());
    p->startAdd(2, 1);
    const auto vtx = [&](float x, float y, float u, float v) {
        p->setPositionRHW(x, y, z, rhw);
        p->setColor(uchar(colour >> 16), uchar(colour >> 8), uchar(colour), uchar(colour >> 24));
        p->setUV(u, v);
        p->next();
    };
    vtx(x0, y0, u0, v0);
    vtx(x0, y1, u0, v1);
    vtx(x1, y1, u1, v1);
    vtx(x0, y0, u0, v0);
    vtx(x1, y1, u1, v1);
    vtx(x1, y0, u1, v0);
    p->endAdd();
    p->draw();
}

void quadXYZ(float x0, float y0, float x1, float y1, float z, float nx, float ny, float nz, float u0, float v0,
             float u1, float v1)
{
    std::unique_ptr<qor_cTriList> p(qor_cTriList::create());
    p->startAdd(2, 1);
    // y0 is the top (clip y up); screen order top-left, bottom-left, bottom-right, ...
    const auto vtx = [&](float x, float y, float u, float v) {
        p->setPosition(x, y, z);
        p->setNormal(nx, ny, nz);
        p->setUV(u, v);
        p->next();
    };
    vtx(x0, y0, u0, v0);
    vtx(x0, y1, u0, v1);
    vtx(x1, y1, u1, v1);
    vtx(x0, y0, u0, v0);
    vtx(x1, y1, u1, v1);
    vtx(x1, y0, u1, v0);
    p->endAdd();
    p->draw();
}

void quadXYZC(float x0, float y0, float x1, float y1, float z, float nx, float ny, float nz, uint colour)
{
    std::unique_ptr<qor_cTriList> p(qor_cTriList::create());
    p->startAdd(2, 1);
    const auto vtx = [&](float x, float y) {
        p->setPosition(x, y, z);
        p->setNormal(nx, ny, nz);
        p->setColor(uchar(colour >> 16), uchar(colour >> 8), uchar(colour), uchar(colour >> 24));
        p->setUV(0.0f, 0.0f);
        p->next();
    };
    vtx(x0, y0);
    vtx(x0, y1);
    vtx(x1, y1);
    vtx(x0, y0);
    vtx(x1, y1);
    vtx(x1, y0);
    p->endAdd();
    p->draw();
}

qor_hTexture makeTexture(int w, int h, const std::vector<uint> & colours, uint flags)
{
    qor_cDispGL * pDisp = disp();
    const qor_hTexture t = pDisp->createTexture(w, h, flags);
    pDisp->lockTexture(t, nullptr);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const uint c = colours[size_t(y) * w + x];
            pDisp->setPixel(x, y, uchar(c >> 16), uchar(c >> 8), uchar(c), uchar(c >> 24));
        }
    pDisp->unlockTexture(t);
    return t;
}

void useStage(uint stage, qor_eTexArg a1, qor_eTexOp op, qor_eTexArg a2)
{
    disp()->setTexMode(stage, a1, op, a2);
    disp()->setTexModeAlpha(stage, a1, op, a2);
}

void useDiffuse()
{
    useStage(0, qorrs_texarg_diffuse, qorrs_texop_selectarg1, qorrs_texarg_current);
    for (uint s = 1; s < 4; ++s)
        useStage(s, qorrs_texarg_texture, qorrs_texop_disable, qorrs_texarg_current);
}
} // namespace qort

void DispTest::SetUp()
{
    d = qort::disp();
    ASSERT_NE(d, nullptr) << "no GL context (SDL_VIDEODRIVER=offscreen on Mesa expected)";
    d->bindBackBuffer();
    d->initRenderStates();
    d->setVPPhysical(0, 0, 640, 480, 0, 1);
    qor_cMatrix id;
    for (int i = 0; i < qorrs_ts_count; ++i)
        d->setMatrix(static_cast<qor_eTransformState>(i), &id);
    d->clearLights();
    for (uint i = 0; i < 8; ++i)
        d->setLight(i, nullptr);
    qor_sD3DMaterial mat = {};
    mat.diffuse.set(1, 1, 1, 1);
    d->setMaterial(&mat, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material);
    d->setAmbientLight(1, 1, 1, 1);
    d->enableLighting(false);
    d->enableSpecular(false);
    d->setFogMode(0);
    d->setFogColor(0, 0, 0, 0);
    d->setBlendMode(1, 0);
    d->setCullMode(0);
    d->enableZWrite(true);
    for (uint s = 0; s < 4; ++s)
    {
        d->setTexture(s, QOR_NULL_TEXTURE);
        d->setTexCoordGen(s, 5);
        d->setTexTransformFlags(s, 0);
        d->setTexFilter(s, 2, 0);
    }
    qort::useDiffuse();
    d->setClearColor(0, 0, 0);
    d->clear(3);
    d->setClearColor(0.1f, 0.2f, 0.4f);
}

void DispTest::TearDown()
{
    if (d)
        d->bindBackBuffer();
}
