#include "qor_cDisp.h"

#include "qor_cErrorHandler.h"
#include "qor_cLight.h"

#include <cstring>

qor_cDisp::qor_cDisp()
    : m_clearColor(0.1f, 0.2f, 0.4f, 1.0f), m_frustum(), m_fogColor(0.0f, 0.0f, 0.0f, 0.0f), m_uFogMode(0),
      m_ambientColor(0.0f, 0.0f, 0.0f, 0.0f)
{
    std::memset(m_afVPPhysical, 0, sizeof(m_afVPPhysical));
    std::memset(m_afVPScreen, 0, sizeof(m_afVPScreen));
    std::memset(m_apLight, 0, sizeof(m_apLight));
}

qor_cDisp::~qor_cDisp() {}

// The base stores and returns the ambient, clear and fog colours and the fog mode; every other
// operation returns false or does nothing.
void qor_cDisp::setAmbientLight(float r, float g, float b, float a) { m_ambientColor.set(r, g, b, a); }
qor_cColor * qor_cDisp::getAmbientLight() { return &m_ambientColor; }
bool qor_cDisp::beginScene() { return false; }
bool qor_cDisp::endScene() { return false; }
bool qor_cDisp::clear(uint) { return false; }
bool qor_cDisp::present() { return false; }
void qor_cDisp::setClearColor(float r, float g, float b) { m_clearColor.set(r, g, b, 1.0f); }
bool qor_cDisp::saveScreenTarget() { return false; }
bool qor_cDisp::restoreScreenTarget() { return false; }
bool qor_cDisp::restoreScreenSurfaces() { return false; }
void qor_cDisp::resetRenderTargetSlots() {}
bool qor_cDisp::initRenderStates() { return false; }
bool qor_cDisp::setCullMode(uint) { return false; }
bool qor_cDisp::setBlendMode(const qor_cBlendSettings *) { return false; }
bool qor_cDisp::setBlendMode(uint, uint) { return false; }
bool qor_cDisp::enableBlending(bool) { return false; }
bool qor_cDisp::setTexMode(uint, qor_eTexArg, qor_eTexOp, qor_eTexArg) { return false; }
bool qor_cDisp::setTexModeAlpha(uint, qor_eTexArg, qor_eTexOp, qor_eTexArg) { return false; }
bool qor_cDisp::setTexCoordGen(uint, uint) { return false; }
bool qor_cDisp::setTexTransform(uint, float, float, float, float, float) { return false; }
bool qor_cDisp::disableTexTransform(uint) { return false; }
bool qor_cDisp::setTexTransformFlags(uint, uint) { return false; }
bool qor_cDisp::setAmbientSrc(qor_eMatSrc) { return false; }
bool qor_cDisp::setDiffuseSrc(qor_eMatSrc) { return false; }
bool qor_cDisp::setSpecularSrc(qor_eMatSrc) { return false; }
bool qor_cDisp::setEmissiveSrc(qor_eMatSrc) { return false; }
bool qor_cDisp::enableLighting(bool) { return false; }
bool qor_cDisp::setZFunc(uint) { return false; }
bool qor_cDisp::enableZBuffer(bool) { return false; }
bool qor_cDisp::enableZWrite(bool) { return false; }
bool qor_cDisp::setTexFilter(uint, uint, uint) { return false; }
void qor_cDisp::setFogMode(uint mode) { m_uFogMode = mode; }
uint qor_cDisp::getFogMode() { return m_uFogMode; }
bool qor_cDisp::setFogRange(float, float) { return false; }
void qor_cDisp::setFogColor(const qor_cColor * pColor) { m_fogColor = *pColor; }
void qor_cDisp::setFogColor(float r, float g, float b, float a) { m_fogColor.set(r, g, b, a); }
qor_cColor * qor_cDisp::getFogColor() { return &m_fogColor; }
bool qor_cDisp::setMaterialProperties(qor_cMatProp *) { return false; }
qor_hTexture qor_cDisp::createTexture(uint, uint, uint) { return QOR_NULL_TEXTURE; }
bool qor_cDisp::lockTexture(qor_hTexture, uint *) { return false; }
bool qor_cDisp::unlockTexture(qor_hTexture) { return false; }
void qor_cDisp::setPixel(uint, uint, uchar, uchar, uchar, uchar) {}
void qor_cDisp::setPixelRow(uint y, uint n, const uchar * pRGB, const uchar * pAlpha, uint nAlphaStep)
{
    for (uint x = 0; x < n; ++x, pRGB += 3)
        setPixel(x, y, pRGB[0], pRGB[1], pRGB[2], pAlpha ? pAlpha[size_t(x) * nAlphaStep] : 255);
}
bool qor_cDisp::setTexture(uint, qor_hTexture) { return false; }
bool qor_cDisp::releaseTexture(qor_hTexture) { return false; }
bool qor_cDisp::setTextureAsRenderTarget(qor_hTexture) { return false; }
qor_hTexture qor_cDisp::createCubeTexture(uint) { return QOR_NULL_TEXTURE; }
bool qor_cDisp::lockCubeTexture(qor_hTextureSurface, qor_eCubeMapFace) { return false; }
bool qor_cDisp::unlockCubeTexture() { return false; }
void qor_cDisp::setCubePixel(uint, uint, uchar, uchar, uchar, uchar) {}
bool qor_cDisp::setCubeTexture(uint, qor_hTexture) { return false; }
bool qor_cDisp::releaseCubeTexture(qor_hTexture) { return false; }
bool qor_cDisp::setLight(uint, qor_cLight *) { return false; }
bool qor_cDisp::init(int, int, int, bool) { return false; }
bool qor_cDisp::readPixels(std::vector<uint8_t> &, int &, int &) { return false; }
bool qor_cDisp::readPixelsAsync(std::vector<uint8_t> &, int &, int &) { return false; }
bool qor_cDisp::finishPixelsAsync(std::vector<uint8_t> &, int &, int &) { return false; }
bool qor_cDisp::setMaterial(const qor_sD3DMaterial *, qor_eMatSrc, qor_eMatSrc, qor_eMatSrc, qor_eMatSrc) { return false; }
bool qor_cDisp::enableSpecular(bool) { return false; }
bool qor_cDisp::lockTextureBits(qor_hTexture, void **, uint *) { return false; }
void qor_cDisp::getStats(qor_sDispStats * pStats) { std::memset(pStats, 0, sizeof(*pStats)); }
void qor_cDisp::countPixels(bool) {}
void qor_cDisp::finishFrame() {}
bool qor_cDisp::beginWarmUp() { return false; }
void qor_cDisp::endWarmUp() {}
uint qor_cDisp::getShaderCompileCount() { return 0; }
bool qor_cDisp::getClearRows(qor_sClearRows *) { return false; }
void qor_cDisp::setClipRect(const int *) {}
bool qor_cDisp::setVPPhysical_hw(float, float, float, float, float, float) { return false; }

void qor_cDisp::setVPPhysical(float x, float y, float w, float h, float zmin, float zmax)
{
    m_afVPPhysical[0] = x;
    m_afVPPhysical[1] = y;
    m_afVPPhysical[2] = w;
    m_afVPPhysical[3] = h;
    m_afVPPhysical[4] = zmin;
    m_afVPPhysical[5] = zmax;
    if (!setVPPhysical_hw(x, y, w, h, zmin, zmax))
    {
        QOR_LOG_LOCATION();
        qoru_logError("void qor_cDispDX8::setVPPhysical(float x, float y, float w, float h, float zmin, float zmax)\n");
        qoru_logError("bool bRet = setVPPhysical_hw(x, y, w, h, zmin, zmax);\n");
    }
}

void qor_cDisp::addLight(qor_cLight * pLight)
{
    for (uint i = 0; i < kNbLight; ++i)
    {
        if (!m_apLight[i])
        {
            m_apLight[i] = pLight;
            pLight->m_uSlot = i;
            setLight(i, pLight);
            return;
        }
    }
}

void qor_cDisp::removeLight(qor_cLight * pLight)
{
    const uint i = pLight->m_uSlot;
    if (i < kNbLight)
        m_apLight[i] = nullptr;
    pLight->m_uSlot = qor_cLight::kNoSlot;
    if (i < kNbLight)
        setLight(i, nullptr);
}

void qor_cDisp::setLights(qor_cLight * const * ap, uint n)
{
    for (uint i = 0; i < kNbLight; ++i)
    {
        qor_cLight * pWant = i < n ? ap[i] : nullptr;
        qor_cLight * pHeld = m_apLight[i];
        if (pWant == pHeld)
        {
            if (pWant)
                setLight(i, pWant);
            continue;
        }
        if (pHeld && pHeld->m_uSlot == i)
            pHeld->m_uSlot = qor_cLight::kNoSlot;
        m_apLight[i] = pWant;
        if (pWant)
            pWant->m_uSlot = i;
        setLight(i, pWant);
    }
}

void qor_cDisp::clearLights()
{
    for (uint i = 0; i < kNbLight; ++i)
    {
        if (m_apLight[i])
        {
            setLight(i, nullptr);
            m_apLight[i]->m_uSlot = qor_cLight::kNoSlot;
            m_apLight[i] = nullptr;
        }
    }
}
