// A periodic timer polled by the window system's message pump.
#pragma once

#include "qor_cTimeCounter.h"

typedef void (*qor_pfnTimerCallback)(int iElapsed, float fRatio);

class qor_cTimer
{
public:
    qor_cTimer(int iID, int iPeriod);
    virtual ~qor_cTimer() {}
    virtual int getPeriod() { return m_iPeriod; }
    virtual bool setPeriod(int iPeriod);
    // A non-null callback is stored and restarts the timer's own counter; null changes nothing.
    virtual bool setCallback(qor_pfnTimerCallback pfnCallback);
    virtual int getID() { return m_iID; }

    qor_pfnTimerCallback getCallback() const { return m_pfnCallback; }
    qor_cTimeCounterSDL & getCounter() { return m_counter; }

private:
    qor_cTimeCounterSDL m_counter;
    int m_iID;
    int m_iPeriod;
    qor_pfnTimerCallback m_pfnCallback;
};
