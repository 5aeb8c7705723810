#include "qor_cFrameStats.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace
{
// Taken while the program's statics are made, before main: the start of the process as far as
// the player can see it.
const std::chrono::steady_clock::time_point s_start = std::chrono::steady_clock::now();
} // namespace

qor_cFrameStats::qor_cFrameStats(int nEntry) : m_afTimes(nEntry > 0 ? nEntry : 0), m_dFirstFrame(-1.0) {}

double qor_cFrameStats::now()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - s_start).count();
}

void qor_cFrameStats::setFirstFrame(double dMs)
{
    if (m_dFirstFrame < 0.0)
        m_dFirstFrame = dMs;
}

void qor_cFrameStats::addFrame(int iEntry, double dMs)
{
    if (iEntry >= 0 && iEntry < int(m_afTimes.size()))
        m_afTimes[iEntry].push_back(float(dMs));
}

int qor_cFrameStats::getFrameCount(int iEntry) const
{
    return iEntry >= 0 && iEntry < int(m_afTimes.size()) ? int(m_afTimes[iEntry].size()) : 0;
}

int qor_cFrameStats::getTotalFrames() const
{
    int n = 0;
    for (const auto & times : m_afTimes)
        n += int(times.size());
    return n;
}

double qor_cFrameStats::percentile(int iEntry, double p) const
{
    if (iEntry < 0 || iEntry >= int(m_afTimes.size()) || m_afTimes[iEntry].empty())
        return 0.0;
    std::vector<float> sorted = m_afTimes[iEntry];
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    // Nearest rank: ceil(p / 100 * n), at least 1.
    size_t rank = size_t(std::ceil(std::clamp(p, 0.0, 100.0) / 100.0 * double(n)));
    rank = std::clamp<size_t>(rank, 1, n);
    return sorted[rank - 1];
}

void qor_cFrameStats::print(FILE * pOut, cchar * const * aszScript) const
{
    std::fprintf(pOut, "qor-player: stats\n");
    if (m_dFirstFrame >= 0.0)
        std::fprintf(pOut, "  load time (start to first show frame): %.1f ms\n", m_dFirstFrame);
    else
        std::fprintf(pOut, "  load time: no show frame was drawn\n");
    std::fprintf(pOut, "  %5s  %-24s %7s %11s %9s %12s\n", "entry", "screen", "frames", "median ms", "p95 ms",
                 "median fps");
    for (int i = 0; i < int(m_afTimes.size()); ++i)
    {
        const double dMedian = percentile(i, 50.0);
        std::fprintf(pOut, "  %5d  %-24s %7d %11.2f %9.2f %12.1f\n", i, aszScript[i] ? aszScript[i] : "",
                     getFrameCount(i), dMedian, percentile(i, 95.0), dMedian > 0.0 ? 1000.0 / dMedian : 0.0);
    }
    std::fprintf(pOut, "  total: %d frames\n", getTotalFrames());
}
