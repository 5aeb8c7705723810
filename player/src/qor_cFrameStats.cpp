#include "qor_cFrameStats.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

namespace
{
// Taken while the program's statics are made, before main: the start of the process as far as
// the player can see it.
const std::chrono::steady_clock::time_point s_start = std::chrono::steady_clock::now();
} // namespace

qor_cFrameStats::qor_cFrameStats(int nEntry)
    : m_afTimes(nEntry > 0 ? nEntry : 0), m_aCost(nEntry > 0 ? nEntry : 0), m_dFirstFrame(-1.0)
{
}

double qor_cFrameStats::threadCpuMs()
{
    timespec ts = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1.0e6;
}

void qor_cFrameStats::addCost(int iEntry, const sCost & cost)
{
    if (iEntry < 0 || iEntry >= int(m_aCost.size()))
        return;
    m_aCost[iEntry].push_back(cost);
    m_bCost = true;
}

template <typename T> T qor_cFrameStats::medianCost(int iEntry, T sCost::*pMember) const
{
    if (iEntry < 0 || iEntry >= int(m_aCost.size()) || m_aCost[iEntry].empty())
        return T();
    std::vector<T> values;
    values.reserve(m_aCost[iEntry].size());
    for (const sCost & c : m_aCost[iEntry])
        values.push_back(c.*pMember);
    // Nearest rank: the ceil(n / 2)-th smallest.
    const size_t rank = (values.size() + 1) / 2;
    std::nth_element(values.begin(), values.begin() + (rank - 1), values.end());
    return values[rank - 1];
}
template float qor_cFrameStats::medianCost<float>(int, float sCost::*) const;
template uint64_t qor_cFrameStats::medianCost<uint64_t>(int, uint64_t sCost::*) const;

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
    std::fprintf(pOut, "  %5s  %-24s %7s %11s %9s %12s", "entry", "screen", "frames", "median ms", "p95 ms",
                 "median fps");
    // The cost columns: medians per frame.
    if (m_bCost)
        std::fprintf(pOut, " %8s %7s %10s %6s", "cpu ms", "draws", "triangles", "keys");
    if (m_bCost && m_bPixels)
        std::fprintf(pOut, " %10s", "pixels");
    std::fprintf(pOut, "\n");
    for (int i = 0; i < int(m_afTimes.size()); ++i)
    {
        const double dMedian = percentile(i, 50.0);
        std::fprintf(pOut, "  %5d  %-24s %7d %11.2f %9.2f %12.1f", i, aszScript[i] ? aszScript[i] : "",
                     getFrameCount(i), dMedian, percentile(i, 95.0), dMedian > 0.0 ? 1000.0 / dMedian : 0.0);
        if (m_bCost)
            std::fprintf(pOut, " %8.2f %7llu %10llu %6llu", double(medianCost(i, &sCost::fCpuMs)),
                         static_cast<unsigned long long>(medianCost(i, &sCost::nDraw)),
                         static_cast<unsigned long long>(medianCost(i, &sCost::nTriangle)),
                         static_cast<unsigned long long>(medianCost(i, &sCost::nStateKey)));
        if (m_bCost && m_bPixels)
            std::fprintf(pOut, " %10llu", static_cast<unsigned long long>(medianCost(i, &sCost::nPixel)));
        std::fprintf(pOut, "\n");
    }
    std::fprintf(pOut, "  total: %d frames\n", getTotalFrames());
}
