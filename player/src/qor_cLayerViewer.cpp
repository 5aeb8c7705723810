#include "qor_cLayerViewer.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cKeyb.h"

qor_cLayerViewer::qor_cLayerViewer() {}
qor_cLayerViewer::~qor_cLayerViewer() {}

bool qor_cLayerViewer::init()
{
    if (!initLowLevel())
    {
        QOR_LOG_LOCATION();
        qoru_logError("bRet = initLowLevel();\n");
        return false;
    }
    openPack("dask243.dat");
    return true;
}

void qor_cLayerViewer::release() {}

void qor_cLayerViewer::run()
{
    // Until the sequencer lands: clear and present frames until quit is requested.
    while (!isQuitRequested())
    {
        m_pDisp->beginScene();
        m_pDisp->clear(3);
        m_pDisp->endScene();
        m_pDisp->present();
        processMessages();
        m_pKeyb->update();
        if (countFrame())
            break;
    }
}

double qor_cLayerViewer::getShowLength() { return 9322.0 / 30.0; }
