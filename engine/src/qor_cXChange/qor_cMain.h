// The main object: owns every engine-wide service (service directory, error handler, window
// system, display device, keyboard, time counters). Applications derive from qor_cApplication.
#pragma once

#include "qor_cSystem.h"
#include "qor_cTimeCounter.h"
#include "qor_cXChange.h"
#include "qor_types.h"

class qor_cErrorHandler;
class qor_cDisp;
class qor_cKeybSDL;
class qor_cMonofiler;

enum ETimer
{
    TIMER_0 = 0,
    TIMER_1 = 1,
};

class qor_cMain
{
public:
    qor_cMain();
    virtual ~qor_cMain();

    virtual bool createTimeCounters() { return false; }
    virtual bool initLowLevel() { return false; }
    virtual bool initSystem() { return false; }
    virtual bool initDisp() { return false; }
    virtual bool createErrorHandler(cchar * szErrorLog, cchar * szTraceLog);
    virtual bool postInit() { return true; }

    qor_cTimeCounter * getTimeCounter(ETimer iTimer) const { return m_pTimeCounter[iTimer]; }
    qor_cErrorHandler * getErrorHandler() const { return m_pErrorHandler; }

protected:
    qor_cXChange m_xchange;
    qor_cErrorHandler * m_pErrorHandler;
    qor_cTimeCounter * m_pTimeCounter[2];
};

class qor_cMainSDL : public qor_cMain, public qor_cSystemSDL
{
public:
    qor_cMainSDL();
    ~qor_cMainSDL() override;

    bool createTimeCounters() override;
    bool initLowLevel() override;
    bool initSystem() override;
    bool initDisp() override;
    bool createTimeCounter(ETimer iTimer);

    qor_cDisp * getDisp() const { return m_pDisp; }
    qor_cKeybSDL * getKeyb() const { return m_pKeyb; }

protected:
    qor_cDisp * m_pDisp;
    qor_cKeybSDL * m_pKeyb;
};

class qor_cApplication : public qor_cMainSDL
{
public:
    qor_cApplication();
    ~qor_cApplication() override;

    // Opens the pack (a missing one leaves an empty directory: files then come from the disk)
    // and registers it; false only when the reader cannot be allocated.
    bool openPack(cchar * szPath);
    qor_cMonofiler * getPack() const { return m_pMonofiler; }

    virtual bool init() = 0;
    virtual void release() = 0;
    virtual void run() = 0;

    // --frames N: the running application ends after N frames (0: no limit).
    static void setFrameLimit(int nFrames);
    // Counts one frame; true when the limit is reached (the loop then ends).
    static bool countFrame();
    static int getFrameCount();
    static int getFrameLimit();

protected:
    qor_cMonofiler * m_pMonofiler;
};
