// Frame statistics of qor-player --stats: counts per entry and nearest-rank percentiles.
#include <gtest/gtest.h>

#include "qor_cFrameStats.h"

#include <cstdio>
#include <string>

namespace
{
struct sCase
{
    double p;
    double expected;
};
} // namespace

// Entry 1 holds 1..20 ms given out of order. Nearest rank over n = 20: the median is the
// ceil(0.5 * 20) = 10th smallest (10 ms), the 95th percentile the 19th (19 ms), p = 0 the
// smallest, p = 100 the largest, p = 96 rounds up to the 20th.
TEST(FrameStats, PercentilesByNearestRank)
{
    qor_cFrameStats stats(3);
    for (int k = 0; k < 20; ++k)
        stats.addFrame(1, double((k * 7) % 20 + 1));
    stats.addFrame(0, 4.0);
    stats.addFrame(5, 99.0); // no such entry: ignored
    stats.addFrame(-1, 99.0);
    for (const sCase & c : {sCase{50, 10}, sCase{95, 19}, sCase{0, 1}, sCase{100, 20}, sCase{96, 20}, sCase{5, 1},
                            sCase{5.1, 2}})
        EXPECT_DOUBLE_EQ(stats.percentile(1, c.p), c.expected) << "p = " << c.p;
    EXPECT_DOUBLE_EQ(stats.percentile(0, 50), 4.0);
    EXPECT_DOUBLE_EQ(stats.percentile(2, 50), 0.0);
    EXPECT_EQ(stats.getFrameCount(1), 20);
    EXPECT_EQ(stats.getFrameCount(2), 0);
    EXPECT_EQ(stats.getTotalFrames(), 21);
}

TEST(FrameStats, LoadTimeIsTheFirstFrameOnly)
{
    qor_cFrameStats stats(1);
    EXPECT_LT(stats.getLoadTime(), 0.0);
    stats.setFirstFrame(120.5);
    stats.setFirstFrame(300.0);
    EXPECT_DOUBLE_EQ(stats.getLoadTime(), 120.5);
    stats.addFrame(0, 16.0);
    cchar * const aszScript[] = {"kv_screen_intro.o"};
    char acBuffer[1024] = {};
    FILE * pOut = fmemopen(acBuffer, sizeof acBuffer - 1, "w");
    ASSERT_NE(pOut, nullptr);
    stats.print(pOut, aszScript);
    std::fclose(pOut);
    const std::string text = acBuffer;
    EXPECT_NE(text.find("load time (start to first show frame): 120.5 ms"), std::string::npos) << text;
    EXPECT_NE(text.find("kv_screen_intro.o"), std::string::npos) << text;
    EXPECT_NE(text.find("62.5"), std::string::npos) << text; // 1000 / 16 ms
    EXPECT_NE(text.find("total: 1 frames"), std::string::npos) << text;
}

TEST(FrameStats, CostColumnsAreMediansByNearestRankAndShowOnlyWhenGiven)
{
    qor_cFrameStats stats(2);
    cchar * const aszScript[] = {"a.o", "b.o"};
    const auto printed = [&] {
        char acBuffer[2048] = {};
        FILE * pOut = fmemopen(acBuffer, sizeof acBuffer - 1, "w");
        stats.print(pOut, aszScript);
        std::fclose(pOut);
        return std::string(acBuffer);
    };
    stats.addFrame(0, 10.0);
    EXPECT_EQ(printed().find("triangles"), std::string::npos);
    // Entry 0 costs over 5 frames: the median by nearest rank is the 3rd smallest of each.
    const qor_cFrameStats::sCost costs[] = {
        {4.0f, 10, 900, 3, 5000}, {1.0f, 30, 100, 1, 7000}, {2.5f, 20, 300, 9, 1000},
        {3.0f, 50, 500, 2, 3000}, {9.0f, 40, 700, 0, 9000},
    };
    for (const qor_cFrameStats::sCost & c : costs)
        stats.addCost(0, c);
    stats.addCost(7, costs[0]); // no such entry
    EXPECT_FLOAT_EQ(stats.medianCost(0, &qor_cFrameStats::sCost::fCpuMs), 3.0f);
    EXPECT_EQ(stats.medianCost(0, &qor_cFrameStats::sCost::nDraw), 30u);
    EXPECT_EQ(stats.medianCost(0, &qor_cFrameStats::sCost::nTriangle), 500u);
    EXPECT_EQ(stats.medianCost(0, &qor_cFrameStats::sCost::nStateKey), 2u);
    EXPECT_EQ(stats.medianCost(0, &qor_cFrameStats::sCost::nPixel), 5000u);
    EXPECT_EQ(stats.medianCost(1, &qor_cFrameStats::sCost::nPixel), 0u);
    EXPECT_EQ(printed().find("pixels"), std::string::npos); // not counted: no column
    stats.setPixelsCounted();
    const std::string text = printed();
    EXPECT_NE(text.find("cpu ms"), std::string::npos) << text;
    // Entry 0's line ends with its medians: 3.00 ms, 30 draws, 500 triangles, 2 keys, 5000 pixels.
    const size_t iLine = text.find("a.o");
    ASSERT_NE(iLine, std::string::npos);
    const std::string line = text.substr(iLine, text.find('\n', iLine) - iLine);
    EXPECT_NE(line.find("3.00      30        500      2       5000"), std::string::npos) << line;
}
