#include "qor_cLayerScreen.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cLayer.h"
#include "qor_cScript.h"
#include "qor_cXChange.h"
#include "qor_layerScript.h"

qor_cLayerScreen::qor_cLayerScreen() {}

qor_cLayerScreen::~qor_cLayerScreen() {}

bool qor_cLayerScreen::loadFromScript(cchar * szScript)
{
    qoru_layerScriptTargets().pScreen = this;
    qor_cScript scr;
    bool bRet = scr.loadAndExecute(szScript, qor_aScreenScriptNatives);
    if (!bRet)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cLayerScreen::loadFromScript(char * szScript)\n");
        QOR_LOG_LOCATION();
        qoru_logError("bool bRet = scr.loadAndExecute(szScript);\n");
    }
    return bRet;
}

bool qor_cLayerScreen::addLayer(qor_cLayer * pLayer)
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
    pDisp->saveScreenTarget();
    for (int i = 0; i < m_lLayer.getNbItem(); ++i)
        getLayer(i)->renderAdditionalScenes();
    pDisp->restoreScreenTarget();
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
