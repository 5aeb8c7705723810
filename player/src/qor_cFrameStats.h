// Frame times of a show, per entry of the screen table, and its load time: what
// `qor-player --stats` prints at the end.
#pragma once

#include "qor_types.h"

#include <cstdint>
#include <cstdio>
#include <vector>

class qor_cFrameStats
{
public:
    explicit qor_cFrameStats(int nEntry);

    // What one frame cost besides its time: the main thread's processor time and the display's
    // counters over the frame.
    struct sCost
    {
        float fCpuMs = 0.0f;
        uint64_t nDraw = 0, nTriangle = 0, nStateKey = 0, nPixel = 0;
    };

    // Milliseconds since the process started (the clock every figure here is read on).
    static double now();
    // Processor time of the calling thread in milliseconds.
    static double threadCpuMs();

    // The first show frame was presented at dMs (kept once).
    void setFirstFrame(double dMs);
    // One frame of entry iEntry took dMs from the start of its pass to the start of the next.
    void addFrame(int iEntry, double dMs);
    // The same frame's cost (the table shows its columns once a cost was given).
    void addCost(int iEntry, const sCost & cost);
    // The costs' pixel counts are real (the table shows them).
    void setPixelsCounted() { m_bPixels = true; }
    // The median by nearest rank of one member of an entry's costs (0 without costs).
    template <typename T> T medianCost(int iEntry, T sCost::*pMember) const;

    int getFrameCount(int iEntry) const;
    int getTotalFrames() const;
    // The p-th percentile (0..100) of an entry's frame times by the nearest rank: the smallest
    // time that at least p % of the frames do not exceed; 0 without frames.
    double percentile(int iEntry, double p) const;
    double getLoadTime() const { return m_dFirstFrame; }

    // The table: one line per entry with its script name (aszScript[i]).
    void print(FILE * pOut, cchar * const * aszScript) const;

private:
    std::vector<std::vector<float>> m_afTimes;
    std::vector<std::vector<sCost>> m_aCost;
    bool m_bCost = false;
    bool m_bPixels = false;
    double m_dFirstFrame;
};
