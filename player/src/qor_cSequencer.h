// The show's table of screens and the rules that move through it: which screen is current, how
// far into it the show is, whether it is frame-stepped, and which step each frame hands to the
// current screen. It owns no screen and no clock: the demo player feeds it the music position
// and the keys, and acts on what each pass returns, so the rules run the same on any clock.
#pragma once

#include "qor_builtinShow.h"
#include "qor_types.h"

// The step handed to a screen's update(): frame units (may be 0 or negative), then a word that
// is always 0.
struct qor_sStep
{
    float fStep;
    uint uZero;
};

class qor_cSequencer
{
public:
    // Frame units per millisecond of music, and the music time of one unit (in ms) that a
    // frame-stepping key stands for.
    static constexpr float kUnitsPerMs = 0.03f;
    static constexpr float kStepMs = 33.333332f;

    // The keys a pass reads (levels of the keyboard state).
    struct sKeys
    {
        bool bLeft = false;
        bool bRight = false;
        bool bUp = false;
    };

    // What a pass did.
    struct sPass
    {
        float fStep = 0.0f; // hand it to the current screen's update
        int iRewind = -1;   // entry whose screen must be rewound before that update, -1 none
        bool bEnded = false; // the table is over: nothing to update or draw
    };

    explicit qor_cSequencer(const qor_sScreenEntry * pTable);

    int getCount() const { return m_nCount; }
    cchar * getScript(int i) const { return m_pTable[i].szScript; }
    int getDuration(int i) const { return m_pTable[i].nDuration; }
    // Units from the start of the table to the start of entry i; getStart(getCount()) is the
    // length of the show.
    int getStart(int i) const;
    // The entry whose span [start, start + duration) holds dUnits, with the units into it in
    // *pfScreenTime; -1 at or past the end of the show (or before its start).
    int find(double dUnits, float * pfScreenTime) const;

    // The loop's starting state: the entry, its screen time, not paused, and the music time
    // the first pass measures from.
    void start(int iEntry, float fScreenTime, float fMusicMs);
    // One pass up to the switch: the music delta, the stepping keys, the screen time, and a
    // switch to the next entry (at most one) when the screen time passes the duration.
    sPass advance(float fMusicMs, const sKeys & keys);
    // Space: the current screen starts again from the music position given.
    void restartScreen(float fMusicMs);
    // Makes entry iEntry current from its start, the music being at fMusicMs, and leaves the
    // stepping pause (the new screen plays); false (and the show over) when iEntry is past the
    // last entry.
    bool jump(int iEntry, float fMusicMs);
    // The music moved to fMusicMs outside a pass: the next delta counts from there.
    void setMusicTime(float fMusicMs) { m_fPrevMusic = fMusicMs; }

    int getEntry() const { return m_iEntry; }
    bool isEnded() const { return m_iEntry >= m_nCount; }
    float getScreenTime() const { return m_fScreenTime; }
    bool isPaused() const { return m_bPaused; }
    float getPreviousMusicTime() const { return m_fPrevMusic; }

private:
    const qor_sScreenEntry * m_pTable;
    int m_nCount;
    int m_iEntry;
    float m_fScreenTime;
    float m_fPrevMusic;
    bool m_bPaused;
};
