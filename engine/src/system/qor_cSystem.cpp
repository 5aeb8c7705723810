#include "qor_cSystem.h"

#include "qor_cSDL.h"

#include <SDL.h>

#include <new>

namespace
{
qor_cSystem * s_pInstance = nullptr;
bool s_bInitialised = false;
qor_cLogFile * s_pLog = nullptr;
qor_cList s_lWindow;
qor_cList s_lTimer;
qor_cList s_lRetired; // SDL windows waiting for the system's end
bool s_bQuit = false;
int s_iNextWindowID = 1;
int s_iNextTimerID = 1;
qor_cTimeCounterSDL * s_pDispatchCounter = nullptr;

void destroySDLWindow(void * p) { SDL_DestroyWindow(static_cast<SDL_Window *>(p)); }
} // namespace

// ---------------------------------------------------------------- qor_cSystem

qor_cSystem::qor_cSystem()
{
    if (!s_pInstance)
        s_pInstance = this;
}

qor_cSystem::~qor_cSystem()
{
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

qor_cSystem * qor_cSystem::getInstance() { return s_pInstance; }

// ---------------------------------------------------------------- qor_cSystemSDL

qor_cSystemSDL::qor_cSystemSDL(cchar * szLogPath) : m_log(szLogPath)
{
    if (getInstance() != this)
    {
        m_log.log("qor_cSystemWin32::qor_cSystemWin32() : Can't create more than 2 instances of qor_cSystem.\n");
        return;
    }
    s_pLog = &m_log;
    // Starting SDL's video stands for registering the window class.
    if (!qoru_initSDLVideo())
    {
        m_log.log("qor_cSystemWin32::qor_cSystemWin32() : Can't register class.\n");
        return;
    }
    s_bInitialised = true;
}

qor_cSystemSDL::~qor_cSystemSDL()
{
    if (getInstance() != this)
        return;
    removeAllTimers();
    removeAllWindows();
    s_lRetired.clear();
    delete s_pDispatchCounter;
    s_pDispatchCounter = nullptr;
    s_pLog = nullptr;
    s_bInitialised = false;
    // A later system (tests create several in turn) starts from a clean state.
    s_bQuit = false;
    s_iNextWindowID = 1;
    s_iNextTimerID = 1;
}

bool qor_cSystemSDL::isInitialised() { return s_bInitialised; }
qor_cLogFile * qor_cSystemSDL::getLog() { return s_pLog; }
int qor_cSystemSDL::takeNextWindowID() { return s_iNextWindowID++; }

void qor_cSystemSDL::retireSDLWindow(SDL_Window * pWindow)
{
    if (!pWindow)
        return;
    SDL_HideWindow(pWindow);
    if (!s_bInitialised || !s_lRetired.addRaw(pWindow, true, &destroySDLWindow))
        SDL_DestroyWindow(pWindow);
}

bool qor_cSystemSDL::processMessages()
{
    // One event per call, so a backlog never holds up a frame.
    SDL_Event event;
    if (SDL_PollEvent(&event))
        dispatchEvent(event);

    if (!s_pDispatchCounter)
        s_pDispatchCounter = new (std::nothrow) qor_cTimeCounterSDL;
    if (!s_pDispatchCounter)
        return true;
    s_pDispatchCounter->update();
    const float fElapsed = static_cast<float>(s_pDispatchCounter->getElapsed());
    for (int i = 0; i < s_lTimer.getNbItem(); ++i)
    {
        qor_cTimer * pTimer = s_lTimer.get<qor_cTimer>(i);
        const int iPeriod = pTimer->getPeriod();
        if (static_cast<float>(iPeriod) <= fElapsed + 2.0f)
        {
            s_pDispatchCounter->restart();
            if (pTimer->getCallback())
                pTimer->getCallback()(static_cast<int>(fElapsed), iPeriod == 0 ? 1.0f : fElapsed / iPeriod);
        }
    }
    return true;
}

qor_cWindowSDL * qor_cSystemSDL::findWindowBySDLID(uint32_t uID)
{
    for (int i = 0; i < s_lWindow.getNbItem(); ++i)
    {
        qor_cWindowSDL * pWindow = s_lWindow.get<qor_cWindowSDL>(i);
        if (pWindow->getSDLWindow() && pWindow->getSDLWindowID() == uID)
            return pWindow;
    }
    return nullptr;
}

void qor_cSystemSDL::dispatchEvent(const SDL_Event & event)
{
    if (getInstance() != this)
        return;
    switch (event.type)
    {
    case SDL_QUIT:
        onQuit();
        return;
    case SDL_KEYUP:
        if (event.key.keysym.scancode == SDL_SCANCODE_ESCAPE || event.key.keysym.sym == SDLK_ESCAPE)
        {
            if (qor_cWindowSDL * pWindow = findWindowBySDLID(event.key.windowID))
                onClose(pWindow);
        }
        return;
    case SDL_WINDOWEVENT:
    {
        qor_cWindowSDL * pWindow = findWindowBySDLID(event.window.windowID);
        if (!pWindow)
            return;
        switch (event.window.event)
        {
        case SDL_WINDOWEVENT_CLOSE:
            onClose(pWindow);
            break;
        case SDL_WINDOWEVENT_MOVED:
            onMove(pWindow, event.window.data1, event.window.data2);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            onSize(pWindow, event.window.data1, event.window.data2);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            onPaint(pWindow);
            break;
        default:
            break;
        }
        return;
    }
    default:
        return;
    }
}

int qor_cSystemSDL::createTimer(int iPeriod, qor_pfnTimerCallback pfnCallback)
{
    qor_cTimer * pTimer = new (std::nothrow) qor_cTimer(s_iNextTimerID, iPeriod);
    if (!pTimer)
    {
        m_log.log("qor_cSystemWin32::createTimer() : Not enough memory\n");
        return -1;
    }
    ++s_iNextTimerID;
    pTimer->setCallback(pfnCallback);
    pTimer->getCounter().restart();
    if (!s_lTimer.add(pTimer, true))
    {
        delete pTimer;
        m_log.log("qor_cSystemWin32::createTimer() : Not enough memory to add a new timer in TimerList.\n");
        return -1;
    }
    if (pfnCallback)
        pfnCallback(0, 1.0f);
    return pTimer->getID();
}

bool qor_cSystemSDL::removeTimer(int iID)
{
    qor_cTimer * pTimer = getTimer(iID);
    if (!pTimer)
    {
        m_log.log("qor_cSystemWin32::removeTimer() : Timer with ID 0x%X doesn't exist\n", iID);
        return false;
    }
    return s_lTimer.removeItem(pTimer);
}

void qor_cSystemSDL::removeAllTimers() { s_lTimer.clear(); }

qor_cTimer * qor_cSystemSDL::getLastTimer()
{
    return s_lTimer.getNbItem() ? s_lTimer.get<qor_cTimer>(s_lTimer.getNbItem() - 1) : nullptr;
}

qor_cTimer * qor_cSystemSDL::getTimer(int iID)
{
    for (int i = 0; i < s_lTimer.getNbItem(); ++i)
        if (s_lTimer.get<qor_cTimer>(i)->getID() == iID)
            return s_lTimer.get<qor_cTimer>(i);
    return nullptr;
}

int qor_cSystemSDL::createWindow(cchar * szName, bool bShow)
{
    qor_cWindowSDL * pWindow = new (std::nothrow) qor_cWindowSDL("qor_cWindow", true);
    if (!pWindow)
    {
        m_log.log("qor_cSystemWin32::createWindow() : Not enough memory to create window\n");
        return -1;
    }
    if (!s_lWindow.add(pWindow, true))
    {
        delete pWindow;
        m_log.log("qor_cSystemWin32::createWindow() : Can't add pWindow into windowList\n");
        return -1;
    }
    pWindow->setName(szName);
    pWindow->show(bShow);
    if (pWindow->getSDLWindow())
        qoru_setActiveSDLWindow(pWindow->getSDLWindow());
    return pWindow->getID();
}

bool qor_cSystemSDL::removeWindow(int iID)
{
    qor_cWindow * pWindow = getWindow(iID);
    if (!pWindow)
    {
        m_log.log("qor_cSystemWin32::removeWindow() : Window with ID 0x%X doesn't exist\n", iID);
        return false;
    }
    return s_lWindow.removeItem(pWindow);
}

void qor_cSystemSDL::removeAllWindows() { s_lWindow.clear(); }

qor_cWindow * qor_cSystemSDL::getLastWindow()
{
    return s_lWindow.getNbItem() ? s_lWindow.get<qor_cWindow>(s_lWindow.getNbItem() - 1) : nullptr;
}

qor_cWindow * qor_cSystemSDL::getWindow(int iID)
{
    for (int i = 0; i < s_lWindow.getNbItem(); ++i)
        if (s_lWindow.get<qor_cWindow>(i)->getID() == iID)
            return s_lWindow.get<qor_cWindow>(i);
    return nullptr;
}

bool qor_cSystemSDL::isQuitRequested() { return s_bQuit; }

void qor_cSystemSDL::quit()
{
    s_bQuit = true;
}

bool qor_cSystemSDL::onSize(qor_cWindow *, int, int) { return false; }
bool qor_cSystemSDL::onMove(qor_cWindow *, int, int) { return false; }
bool qor_cSystemSDL::onPaint(qor_cWindow *) { return false; }

bool qor_cSystemSDL::onClose(qor_cWindow * pWindow)
{
    onDestroy(pWindow);
    return false;
}

bool qor_cSystemSDL::onDestroy(qor_cWindow * pWindow)
{
    if (pWindow)
        removeWindow(pWindow->getID());
    if (s_lWindow.getNbItem() == 0)
        quit();
    return false;
}

bool qor_cSystemSDL::onQuit()
{
    quit();
    return false;
}

// ---------------------------------------------------------------- qor_cTimer

qor_cTimer::qor_cTimer(int iID, int iPeriod) : m_iID(iID), m_iPeriod(iPeriod), m_pfnCallback(nullptr) {}

bool qor_cTimer::setPeriod(int iPeriod)
{
    m_iPeriod = iPeriod;
    return true;
}

bool qor_cTimer::setCallback(qor_pfnTimerCallback pfnCallback)
{
    if (pfnCallback)
    {
        m_pfnCallback = pfnCallback;
        m_counter.restart();
    }
    return true;
}
