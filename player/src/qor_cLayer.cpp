#include "qor_cLayer.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cKey.h"
#include "qor_cLayerQuad.h"
#include "qor_cMaterial.h"
#include "qor_cScript.h"
#include "qor_cTexture.h"
#include "qor_cXChange.h"
#include "qor_layerScript.h"

#include <cstring>
#include <new>
#include <string>

qor_cLayer::qor_cLayer() : m_luQuad(nullptr), m_bZBufferClear(0), m_bFrameBufferClear(0)
{
    // The blur track's output starts as (1, 1): the whole screen viewport.
    float * pBlur = m_vpBlur.getOutput()->m_afValue;
    pBlur[0] = 1.0f;
    pBlur[1] = 1.0f;
    pBlur[2] = 0.0f;
    pBlur[3] = 0.0f;
}

qor_cLayer::~qor_cLayer()
{
    delete[] m_luQuad;
    m_lQuad.clear();
    // The texture layers go with this layer; the scene's slots would point at them no more.
    m_nScene = 0;
    m_lTextureLayer.clear();
}

bool qor_cLayer::loadScript(cchar * szScript)
{
    // Every target a native may act on starts empty, so that nothing of an earlier script
    // (perhaps deleted since) is reached before this script makes its own.
    qoru_layerScriptTargets().pLayer = this;
    qoru_layerScriptTargets().pQuad = nullptr;
    qoru_setMatScriptMaterial(nullptr, this);
    // A layer loaded by itself counts its texture layers from 0; one a script adds counts
    // with the rest of its screen.
    if (qor_cScript::getRunningDepth() == 0)
        qoru_resetTextureLayerCount();
    qor_cScript scr;
    const std::string strContext = std::string("layer script \"") + (szScript ? szScript : "") + "\"";
    qoru_pushLogContext(strContext.c_str());
    if (!scr.loadAndExecute(szScript, qor_aLayerScriptNatives))
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cLayer::loadScript(cchar * szScript<%s>)\n", szScript ? szScript : "");
        qoru_popLogContext();
        return false;
    }
    qoru_popLogContext();
    initListQuadLookUp();
    return true;
}

bool qor_cLayer::initListQuadLookUp()
{
    delete[] m_luQuad;
    m_luQuad = nullptr;
    const int nQuad = m_lQuad.getNbItem();
    m_luQuad = new (std::nothrow) sQuad *[nQuad > 0 ? nQuad : 1];
    if (!m_luQuad)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cLayer::initListQuadLookUp()\n");
        QOR_LOG_LOCATION();
        qoru_logError("m_luQuad\t= new sQuad * [nQuad];\n");
        return false;
    }
    for (int i = 0; i < nQuad; ++i)
        m_luQuad[i] = m_lQuad.get<sQuad>(i);
    return true;
}

qor_cLayerQuad * qor_cLayer::addQuad()
{
    qor_cLayerQuad * pQuad = new (std::nothrow) qor_cLayerQuad(m_afViewport);
    if (!pQuad)
        return nullptr;
    if (!m_lQuad.add(pQuad, true))
    {
        delete pQuad;
        return nullptr;
    }
    // The table no longer matches the list: rebuilt after the script.
    delete[] m_luQuad;
    m_luQuad = nullptr;
    return pQuad;
}

qor_cLayerQuad * qor_cLayer::getQuad(int i) const
{
    if (i < 0 || i >= m_lQuad.getNbItem())
        return nullptr;
    return m_luQuad ? m_luQuad[i] : m_lQuad.get<sQuad>(i);
}

void qor_cLayer::setVP(float x, float y, float w, float h)
{
    float * p = m_sceneTrack.getOutput()->m_afValue;
    p[0] = x;
    p[1] = y;
    p[2] = w;
    p[3] = h;
    m_afViewport[0] = x;
    m_afViewport[1] = y;
    m_afViewport[2] = w;
    m_afViewport[3] = h;
    m_afViewport[4] = 0.0f;
    m_afViewport[5] = 1.0f;
}

bool qor_cLayer::addKey_vp(float t, float x, float y, float w, float h)
{
    qor_cKey * pKey = new (std::nothrow) qor_cTcbKey(4);
    if (!pKey)
        return false;
    pKey->m_fTime = t;
    pKey->m_afValue[0] = x;
    pKey->m_afValue[1] = y;
    pKey->m_afValue[2] = w;
    pKey->m_afValue[3] = h;
    if (!m_sceneTrack.addKey(pKey, true))
    {
        delete pKey;
        return false;
    }
    return true;
}

bool qor_cLayer::lastKey_vp()
{
    return m_sceneTrack.initKeyArray();
}

bool qor_cLayer::addKey_vpBlur(float kt, float x, float y)
{
    qor_cKey * pKey = new (std::nothrow) qor_cLinearKey(2);
    if (!pKey)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cLayer::addKey_vpBlur(float kt, float x, float y)\n");
        QOR_LOG_LOCATION();
        qoru_logError("qor_cLinearKey * pKey = new qor_cLinearKey(2);\n");
        return false;
    }
    pKey->m_fTime = kt;
    pKey->m_afValue[0] = x;
    pKey->m_afValue[1] = y;
    if (!m_vpBlur.addKey(pKey, true))
    {
        delete pKey;
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cLayer::addKey_vpBlur(float kt, float x, float y)\n");
        QOR_LOG_LOCATION();
        qoru_logError("if (!m_vpBlur.addKey(pKey))\n");
        return false;
    }
    return true;
}

bool qor_cLayer::lastKey_vpBlur()
{
    return m_vpBlur.initKeyArray();
}

bool qor_cLayer::addTextureLayer(qor_cLayer * pLayer)
{
    if (!m_lTextureLayer.add(pLayer, true))
    {
        delete pLayer;
        return false;
    }
    if (!addScene(pLayer))
    {
        m_lTextureLayer.remove(m_lTextureLayer.getNbItem() - 1);
        return false;
    }
    return true;
}

void qor_cLayer::update(cfloat * pDt)
{
    // 1. The scene: objects and their controllers, materials, textures, additional layers, the
    // viewport track.
    qor_cScene::update(pDt);
    // 2. Quads in creation order.
    for (int i = 0; i < m_lQuad.getNbItem(); ++i)
        getQuad(i)->update(pDt);
    // 3.
    m_vpBlur.advance(pDt);
}

void qor_cLayer::render()
{
    qor_cDisp * pDisp = QOR_DISP();
    if (!pDisp)
        return;
    // 1.
    if (m_bZBufferClear || m_bFrameBufferClear)
        pDisp->clear((m_bZBufferClear ? 2u : 0u) + (m_bFrameBufferClear ? 1u : 0u));

    // 2. The rectangle from the viewport track; the stored physical viewport from the screen's,
    // its size scaled by the blur track. A layer drawn into a texture lays out in the texture
    // (the viewport setTextureAsRenderTarget stored), not in the screen it is not drawn on.
    const float * pVP = m_sceneTrack.evaluate()->m_afValue;
    m_afViewport[0] = pVP[0];
    m_afViewport[1] = pVP[1];
    m_afViewport[2] = pVP[2];
    m_afViewport[3] = pVP[3];
    m_afViewport[4] = 0.0f;
    m_afViewport[5] = 1.0f;
    const float * pBlur = m_vpBlur.evaluate()->m_afValue;
    float aBase[6];
    const float * pBase = m_hRenderTarget != QOR_NULL_TEXTURE ? pDisp->getVPPhysical() : pDisp->getVPScreen();
    for (int i = 0; i < 6; ++i)
        aBase[i] = pBase[i];
    pDisp->storeVPPhysical(aBase[0], aBase[1], pBlur[0] * aBase[2], pBlur[1] * aBase[3], aBase[4], aBase[5]);

    // 3. The 3D content. A layer without any (the usual quads-only layer) only turns fog off,
    // which is all the scene's render would leave behind for the quads.
    if (m_lMesh.getNbItem() || m_lParticleSystem.getNbItem() || m_lCamera.getNbItem() || m_pFog)
        qor_cScene::render();
    else
        pDisp->setFogMode(0);

    // 4.
    pDisp->setAmbientLight(1.0f, 1.0f, 1.0f, 1.0f);
    // 5. Quads in creation order: later ones cover earlier ones.
    for (int i = 0; i < m_lQuad.getNbItem(); ++i)
        getQuad(i)->render();
}

void qor_cLayer::rewind()
{
    qor_cScene::rewind();
    for (int i = 0; i < m_lQuad.getNbItem(); ++i)
        getQuad(i)->rewind();
}
