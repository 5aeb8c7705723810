#include "qor_cSceneViewer.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cScene.h"
#include "qor_mathUtil.h"

#include <new>
#include <string>

qor_cSceneViewer::qor_cSceneViewer(cchar * szScene) : m_strScene(szScene), m_pScene(nullptr) {}

qor_cSceneViewer::~qor_cSceneViewer()
{
    delete m_pScene;
}

void qor_cSceneViewer::setLogFolder(cchar * szFolder)
{
    m_bLogs = szFolder != nullptr;
    if (!szFolder)
        return;
    const std::string strFolder = *szFolder ? std::string(szFolder) + "/" : std::string();
    m_strErrorLog = (strFolder + "qor_error.txt").c_str();
    m_strTraceLog = (strFolder + "qor_trace.txt").c_str();
}

bool qor_cSceneViewer::init()
{
    // The logs open without following links and only as regular files (qoru_fopenWrite); with
    // no log folder the handler writes nothing.
    if (!createErrorHandler(m_bLogs ? m_strErrorLog.get() : nullptr, m_bLogs ? m_strTraceLog.get() : nullptr))
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

void qor_cSceneViewer::release()
{
    delete m_pScene;
    m_pScene = nullptr;
}

void qor_cSceneViewer::setStage(qor_cDisp * pDisp, qor_cLight * pLight)
{
    qor_cMatrix world;
    pDisp->setMatrix(qorrs_ts_world, &world);
    qor_cMatrix view;
    qor_cVector3 up(0.0f, 1.0f, 0.0f);
    view.setLookAtLH(qor_cVector3(0.0f, 50.0f, 0.0f), qor_cVector3(0.0f, 50.0f, -100.0f), up);
    pDisp->setMatrix(qorrs_ts_view, &view);
    qor_cMatrix proj;
    proj.setPerspective(640.0f, 480.0f, qoru_degToRad(45.0f), 1.0f, 1000000.0f);
    pDisp->setMatrix(qorrs_ts_projection, &proj);

    pLight->m_uType = 0;
    pLight->m_diffuse.set(1.0f, 1.0f, 1.0f, 0.0f);
    pLight->m_specular.set(1.0f, 1.0f, 1.0f, 0.0f);
    pLight->m_ambient.set(0.0f, 0.0f, 0.0f, 0.0f);
    pLight->setPosition(0.0f, 0.0f, -200.0f);
    pDisp->addLight(pLight);
}

void qor_cSceneViewer::run()
{
    // A failed load leaves an empty scene: the viewer still runs and shows the cleared screen.
    m_pScene = new (std::nothrow) qor_cScene;
    m_bLoaded = m_pScene && m_pScene->load(m_strScene.get());
    if (!m_bLoaded && m_bStopOnLoadFailure)
        return;

    qor_cLight light;
    setStage(m_pDisp, &light);

    // The first step covers all the time since the counter started, loading included.
    qor_cTimeCounter * pClock = getTimeCounter(TIMER_0);
    for (;;)
    {
        float afStep[2] = {pClock ? float(pClock->getElapsed()) * 0.03f : 0.0f, 0.0f};
        if (pClock)
            pClock->restart();
        m_pDisp->beginScene();
        m_pDisp->clear(3);
        if (m_pScene)
        {
            m_pScene->update(afStep);
            m_pScene->render();
        }
        m_pDisp->endScene();
        m_pDisp->present();
        processMessages();
        if (isQuitRequested() || countFrame())
            break;
        if (pClock)
            pClock->update();
    }
    // The light belongs to this run: the display keeps no pointer to it.
    m_pDisp->removeLight(&light);
}
