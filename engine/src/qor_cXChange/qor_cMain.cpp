#include "qor_cMain.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cJpegPlugin.h"
#include "qor_cKeyb.h"
#include "qor_cMonofiler.h"

#include <SDL.h>

#include <new>

// ---------------------------------------------------------------- qor_cMain

qor_cMain::qor_cMain() : m_pErrorHandler(nullptr), m_pTimeCounter{nullptr, nullptr} {}

qor_cMain::~qor_cMain()
{
    delete m_pErrorHandler;
    m_pErrorHandler = nullptr;
    delete m_pTimeCounter[0];
    delete m_pTimeCounter[1];
    m_pTimeCounter[0] = m_pTimeCounter[1] = nullptr;
}

bool qor_cMain::createErrorHandler(cchar * szErrorLog, cchar * szTraceLog)
{
    m_pErrorHandler = new (std::nothrow) qor_cErrorHandler(szErrorLog, szTraceLog);
    if (!m_pErrorHandler)
    {
        QOR_LOG_LOCATION();
        qoru_logError("Impossible d'intialiser le gestionnaire d'erreur\n");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- qor_cMainSDL

qor_cMainSDL::qor_cMainSDL() : qor_cMain(), qor_cSystemSDL(nullptr), m_pDisp(nullptr), m_pKeyb(nullptr) {}

qor_cMainSDL::~qor_cMainSDL()
{
    if (m_pKeyb)
    {
        m_pKeyb->release();
        delete m_pKeyb;
        m_pKeyb = nullptr;
    }
    if (m_xchange.getDisp() == m_pDisp)
        m_xchange.setDisp(nullptr);
    delete m_pDisp;
    m_pDisp = nullptr;
    qoru_freeJpegPlugin();
    // The system base then removes every timer and window.
}

bool qor_cMainSDL::initSystem()
{
    const int iID = createWindow("qor_cWindow", true);
    qor_cWindow * pWindow = iID < 0 ? nullptr : getWindow(iID);
    if (!pWindow || !static_cast<qor_cWindowSDL *>(pWindow)->getSDLWindow())
        return false;
    pWindow->setGeometry(32, 32, 640, 480);
    return true;
}

bool qor_cMainSDL::initDisp()
{
    m_pDisp = qor_cDisp::create();
    if (!m_pDisp)
    {
        QOR_LOG_LOCATION();
        qoru_logError("error : the main object failed to create a qor_cDisp\n");
        return false;
    }
    m_xchange.setDisp(m_pDisp);
    SDL_ShowCursor(SDL_DISABLE);
    const bool bRet = m_pDisp->init(640, 480, 32, true);
    if (!bRet)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cMainWin32::initDisp()\n");
        QOR_LOG_LOCATION();
        qoru_logError("bool bRet = pDisp->init(width<%d>, height<%d>, depth<%d>, bFullscreen<%d>);\n", 640, 480, 32, 1);
        return false;
    }
    return true;
}

bool qor_cMainSDL::createTimeCounter(ETimer iTimer)
{
    m_pTimeCounter[iTimer] = new (std::nothrow) qor_cTimeCounterSDL;
    if (!m_pTimeCounter[iTimer])
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cMainWin32::createTimeCounter(ETimer iTimer)\n");
        QOR_LOG_LOCATION();
        qoru_logError("   m_pTimeCounter[iTimer] = new qor_cTimeCounterWin32; has failed\n");
        QOR_LOG_LOCATION();
        qoru_logError("   timer: %d\n", static_cast<int>(iTimer));
        return false;
    }
    return true;
}

bool qor_cMainSDL::createTimeCounters()
{
    return createTimeCounter(TIMER_0) && createTimeCounter(TIMER_1);
}

bool qor_cMainSDL::initLowLevel()
{
    if (!initSystem())
    {
        QOR_LOG_LOCATION();
        qoru_logError("Impossible d'initialiser le system !\n");
        return false;
    }
    if (!initDisp())
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cMainWin32::initLowLevel()\n");
        QOR_LOG_LOCATION();
        qoru_logError("if (!initDisplay())\n");
        QOR_LOG_LOCATION();
        qoru_reportError("Impossible d'initialiser l'affichage.");
        return false;
    }
    m_pKeyb = new (std::nothrow) qor_cKeybSDL;
    if (!m_pKeyb)
    {
        QOR_LOG_LOCATION();
        qoru_logError("Error: unable to allocate an qor_cKeybWin32 object\n");
        return false;
    }
    if (!m_pKeyb->init())
    {
        QOR_LOG_LOCATION();
        qoru_reportError("Error: failed to init keyboard device\n");
        return false;
    }
    if (!createTimeCounters())
        return false;
    if (!postInit())
        return false;
    return qoru_loadJpegPlugin();
}

// ---------------------------------------------------------------- qor_cApplication

namespace
{
int s_nFrameLimit = 0;
int s_nFrameCount = 0;
} // namespace

qor_cApplication::qor_cApplication() : m_pMonofiler(nullptr) {}

qor_cApplication::~qor_cApplication()
{
    if (m_pMonofiler)
    {
        if (m_xchange.getMonofiler() == m_pMonofiler)
            m_xchange.setMonofiler(nullptr);
        m_pMonofiler->close();
        delete m_pMonofiler;
        m_pMonofiler = nullptr;
    }
}

bool qor_cApplication::openPack(cchar * szPath)
{
    m_pMonofiler = new (std::nothrow) qor_cMonofiler;
    if (!m_pMonofiler)
        return false;
    m_pMonofiler->open(szPath);
    m_xchange.setMonofiler(m_pMonofiler);
    return true;
}

void qor_cApplication::setFrameLimit(int nFrames)
{
    s_nFrameLimit = nFrames > 0 ? nFrames : 0;
    s_nFrameCount = 0;
}

bool qor_cApplication::countFrame()
{
    ++s_nFrameCount;
    return s_nFrameLimit > 0 && s_nFrameCount >= s_nFrameLimit;
}

int qor_cApplication::getFrameCount() { return s_nFrameCount; }

int qor_cApplication::getFrameLimit() { return s_nFrameLimit; }
