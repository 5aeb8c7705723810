// The window system: a list of windows, a list of periodic timers, the message pump and the
// quit flag. One instance per process; the main object derives from it.
#pragma once

#include "qor_cErrorHandler.h"
#include "qor_cList.h"
#include "qor_cTimer.h"
#include "qor_cWindow.h"

union SDL_Event;

class qor_cSystem
{
public:
    qor_cSystem();
    virtual ~qor_cSystem();

    virtual bool processMessages() = 0;
    virtual int createTimer(int iPeriod, qor_pfnTimerCallback pfnCallback) = 0;
    virtual bool removeTimer(int iID) = 0;
    virtual void removeAllTimers() = 0;
    virtual qor_cTimer * getLastTimer() = 0;
    virtual qor_cTimer * getTimer(int iID) = 0;
    virtual int createWindow(cchar * szName, bool bShow) = 0;
    virtual bool removeWindow(int iID) = 0;
    virtual void removeAllWindows() = 0;
    virtual qor_cWindow * getLastWindow() = 0;
    virtual qor_cWindow * getWindow(int iID) = 0;
    virtual bool isQuitRequested() = 0;
    virtual void quit() = 0;
    virtual bool onSize(qor_cWindow * pWindow, int iWidth, int iHeight) = 0;
    virtual bool onMove(qor_cWindow * pWindow, int x, int y) = 0;
    virtual bool onPaint(qor_cWindow * pWindow) = 0;
    virtual bool onClose(qor_cWindow * pWindow) = 0;
    virtual bool onDestroy(qor_cWindow * pWindow) = 0;
    virtual bool onQuit() = 0;

    // The registered instance, null when none.
    static qor_cSystem * getInstance();
};

class qor_cSystemSDL : public qor_cSystem
{
public:
    explicit qor_cSystemSDL(cchar * szLogPath = nullptr);
    ~qor_cSystemSDL() override;

    bool processMessages() override;
    int createTimer(int iPeriod, qor_pfnTimerCallback pfnCallback) override;
    bool removeTimer(int iID) override;
    void removeAllTimers() override;
    qor_cTimer * getLastTimer() override;
    qor_cTimer * getTimer(int iID) override;
    int createWindow(cchar * szName, bool bShow) override;
    bool removeWindow(int iID) override;
    void removeAllWindows() override;
    qor_cWindow * getLastWindow() override;
    qor_cWindow * getWindow(int iID) override;
    bool isQuitRequested() override;
    void quit() override;
    bool onSize(qor_cWindow * pWindow, int iWidth, int iHeight) override;
    bool onMove(qor_cWindow * pWindow, int x, int y) override;
    bool onPaint(qor_cWindow * pWindow) override;
    bool onClose(qor_cWindow * pWindow) override;
    bool onDestroy(qor_cWindow * pWindow) override;
    bool onQuit() override;

    // The window procedure: routes one event to its window's handler.
    void dispatchEvent(const SDL_Event & event);

    // Process-wide state shared with the windows.
    static bool isInitialised();
    static qor_cLogFile * getLog();
    static int takeNextWindowID();
    // An SDL window whose object is gone but whose GL context may still be in use; destroyed
    // with the system.
    static void retireSDLWindow(SDL_Window * pWindow);

private:
    qor_cWindowSDL * findWindowBySDLID(uint32_t uID);

    qor_cLogFile m_log;
};
