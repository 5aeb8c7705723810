#include "qor_cLayerScreen.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cLayer.h"
#include "qor_cScene.h"
#include "qor_cScript.h"
#include "qor_cXChange.h"
#include "qor_layerScript.h"

#include <string>

qor_cLayerScreen::qor_cLayerScreen() {}

qor_cLayerScreen::~qor_cLayerScreen() {}

bool qor_cLayerScreen::loadFromScript(cchar * szScript)
{
    qoru_layerScriptTargets() = qor_sLayerScriptTargets{this, nullptr, nullptr};
    qoru_resetTextureLayerCount();
    qoru_setMatScriptMaterial(nullptr, nullptr);
    qor_cScript scr;
    const std::string strContext = std::string("screen script \"") + (szScript ? szScript : "") + "\"";
    qoru_pushLogContext(strContext.c_str());
    bool bRet = scr.loadAndExecute(szScript, qor_aScreenScriptNatives);
    if (!bRet)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cLayerScreen::loadFromScript(char * szScript)\n");
        QOR_LOG_LOCATION();
        qoru_logError("bool bRet = scr.loadAndExecute(szScript);\n");
    }
    qoru_popLogContext();
    return bRet;
}

bool qor_cLayerScreen::addLayer(qor_cScene * pLayer)
{
    return pLayer && m_lLayer.add(pLayer, true);
}

void qor_cLayerScreen::update(const float * dt)
{
    if (QOR_DISP())
        QOR_DISP()->resetRenderTargetSlots();
    for (int i = 0; i < m_lLayer.getNbItem(); ++i)
        getLayer(i)->update(dt);
}

void qor_cLayerScreen::renderToTextures()
{
    qor_cDisp * pDisp = QOR_DISP();
    if (!pDisp)
        return;
    // The stored viewport is what the last layer drawn left (scaled by its blur track); the
    // screen target is saved with the screen's own size, so that restoring it gives the whole
    // back buffer back.
    const float * pScreen = pDisp->getVPScreen();
    pDisp->storeVPPhysical(pScreen[0], pScreen[1], pScreen[2], pScreen[3], pScreen[4], pScreen[5]);
    pDisp->saveScreenTarget();
    for (int i = 0; i < m_lLayer.getNbItem(); ++i)
        renderTexturesOf(getLayer(i));
    pDisp->restoreScreenTarget();
}

void qor_cLayerScreen::renderTexturesOf(qor_cScene * pScene)
{
    // A layer drawn into a texture may itself show layers drawn into textures: the deepest
    // are drawn first, so every texture holds this frame's picture when it is shown.
    for (int i = 0; i < pScene->getNbScene(); ++i)
        renderTexturesOf(pScene->getScene(i));
    pScene->renderAdditionalScenes();
}

void qor_cLayerScreen::render()
{
    for (int i = 0; i < m_lLayer.getNbItem(); ++i)
        getLayer(i)->render();
}

void qor_cLayerScreen::rewind()
{
    for (int i = 0; i < m_lLayer.getNbItem(); ++i)
        getLayer(i)->rewind();
}

void qor_cLayerScreen::takeLayers(qor_cLayerScreen & other)
{
    if (&other == this)
        return;
    m_lLayer.clear();
    while (other.m_lLayer.getNbItem() > 0)
    {
        qor_cScene * pLayer = static_cast<qor_cScene *>(other.m_lLayer.detach(0));
        if (!m_lLayer.add(pLayer, true))
            delete pLayer;
    }
}
