// Frame times of a show, per entry of the screen table, and its load time: what
// `qor-player --stats` prints at the end.
#pragma once

#include "qor_types.h"

#include <cstdio>
#include <vector>

class qor_cFrameStats
{
public:
    explicit qor_cFrameStats(int nEntry);

    // Milliseconds since the process started (the clock every figure here is read on).
    static double now();

    // The first show frame was presented at dMs (kept once).
    void setFirstFrame(double dMs);
    // One frame of entry iEntry took dMs from the start of its pass to the start of the next.
    void addFrame(int iEntry, double dMs);

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
    double m_dFirstFrame;
};
