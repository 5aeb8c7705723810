#include "qor_cSceneViewer.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"

qor_cSceneViewer::qor_cSceneViewer() {}
qor_cSceneViewer::~qor_cSceneViewer() {}

bool qor_cSceneViewer::init()
{
    if (!createErrorHandler("qor_error.txt", "qor_trace.txt"))
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cSceneViewer::init()\n");
        QOR_LOG_LOCATION();
        qoru_logError("bool bRet = createErrorHandler(\"qor_error.txt\", \"qor_trace.txt\");\n");
        return false;
    }
    if (!initLowLevel())
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cSceneViewer::init()\n");
        QOR_LOG_LOCATION();
        qoru_logError("bRet = initLowLevel();\n");
        return false;
    }
    openPack("__dummy__.dat");
    return true;
}

void qor_cSceneViewer::release() {}

void qor_cSceneViewer::run()
{
    // Until scenes land: cleared frames until quit.
    for (;;)
    {
        m_pDisp->beginScene();
        m_pDisp->clear(3);
        m_pDisp->endScene();
        m_pDisp->present();
        processMessages();
        if (isQuitRequested() || countFrame())
            break;
    }
}
