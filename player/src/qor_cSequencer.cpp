#include "qor_cSequencer.h"

qor_cSequencer::qor_cSequencer(const qor_sScreenEntry * pTable)
    : m_pTable(pTable), m_nCount(0), m_iEntry(0), m_fScreenTime(0.0f), m_fPrevMusic(0.0f), m_bPaused(false)
{
    while (m_pTable[m_nCount].szScript)
        ++m_nCount;
}

int qor_cSequencer::getStart(int i) const
{
    int nUnits = 0;
    for (int j = 0; j < i && j < m_nCount; ++j)
        nUnits += m_pTable[j].nDuration;
    return nUnits;
}

int qor_cSequencer::find(double dUnits, float * pfScreenTime) const
{
    if (!(dUnits >= 0.0))
        return -1;
    double dStart = 0.0;
    for (int i = 0; i < m_nCount; ++i)
    {
        const double dEnd = dStart + m_pTable[i].nDuration;
        if (dUnits < dEnd)
        {
            if (pfScreenTime)
                *pfScreenTime = float(dUnits - dStart);
            return i;
        }
        dStart = dEnd;
    }
    return -1;
}

void qor_cSequencer::start(int iEntry, float fScreenTime, float fMusicMs)
{
    m_iEntry = iEntry;
    m_fScreenTime = fScreenTime;
    m_fPrevMusic = fMusicMs;
    m_bPaused = false;
}

qor_cSequencer::sPass qor_cSequencer::advance(float fMusicMs, const sKeys & keys)
{
    sPass pass;
    if (isEnded())
    {
        pass.bEnded = true;
        return pass;
    }
    float fDelta = fMusicMs - m_fPrevMusic;
    m_fPrevMusic = fMusicMs;
    float fStep = 0.0f;
    // Stepping rewinds the screen and replays it to one unit before or after where it stood,
    // in one update.
    if (keys.bLeft)
    {
        m_bPaused = true;
        fDelta = -kStepMs;
        fStep = m_fScreenTime - 1.0f;
        pass.iRewind = m_iEntry;
        m_fScreenTime = 0.0f;
    }
    if (keys.bRight)
    {
        m_bPaused = true;
        fDelta = kStepMs;
        fStep = m_fScreenTime + 1.0f;
        pass.iRewind = m_iEntry;
        m_fScreenTime = 0.0f;
    }
    if (keys.bUp)
    {
        m_bPaused = false;
        fStep = fDelta * kUnitsPerMs;
    }
    else if (!m_bPaused)
        fStep = fDelta * kUnitsPerMs;
    m_fScreenTime += fStep;
    // Strictly past the duration: the next entry starts at 0 and the overshoot is dropped; the
    // step of this frame goes to the new screen.
    if (m_fScreenTime > float(m_pTable[m_iEntry].nDuration))
    {
        ++m_iEntry;
        m_fScreenTime = 0.0f;
        if (isEnded())
            pass.bEnded = true;
    }
    pass.fStep = fStep;
    return pass;
}

void qor_cSequencer::restartScreen(float fMusicMs)
{
    m_fScreenTime = 0.0f;
    // The next delta counts from the restarted music, not from where it stood before.
    m_fPrevMusic = fMusicMs;
}

bool qor_cSequencer::jump(int iEntry, float fMusicMs)
{
    m_iEntry = iEntry < 0 ? 0 : iEntry;
    m_fScreenTime = 0.0f;
    m_fPrevMusic = fMusicMs;
    m_bPaused = false;
    if (m_iEntry >= m_nCount)
    {
        m_iEntry = m_nCount;
        return false;
    }
    return true;
}
