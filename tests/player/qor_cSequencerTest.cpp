// The sequencer's rules on a synthetic clock and keyboard: where the show's screens switch at
// 30 and 60 frames per second, one switch per frame, frame stepping, Up, Space, seeking.
#include <gtest/gtest.h>

#include "qor_cLayerViewer.h"
#include "qor_cSequencer.h"

#include <cmath>
#include <vector>

namespace
{
// The music times (s) at which the show's screens switch with no key pressed, and its end, as
// worked out by hand from the table's durations (cumulative units / 30).
const double kSwitchSeconds[] = {29.67,  42.67,  57.67,  59.4,   111.73, 126.73, 127.73, 162.9,
                                 177.9,  210.57, 225.57, 227.4,  267.07, 303.73, 310.73};

struct Switch
{
    int iEntry;     // the entry made current (the table's count: the end)
    double dMusicS; // music time of the pass that switched
};

// Plays the table from the start on a clock of fFps frames per second; records every switch.
std::vector<Switch> playThrough(double dFps)
{
    qor_cSequencer seq(qor_cLayerViewer::getShowTable());
    seq.start(0, 0.0f, 0.0f);
    std::vector<Switch> switches;
    for (long k = 1; k < long(400 * dFps); ++k)
    {
        const float fMusic = float(double(k) * 1000.0 / dFps);
        const int iBefore = seq.getEntry();
        const qor_cSequencer::sPass pass = seq.advance(fMusic, {});
        EXPECT_LE(seq.getEntry(), iBefore + 1) << "more than one switch in a frame";
        if (seq.getEntry() != iBefore)
            switches.push_back({seq.getEntry(), fMusic / 1000.0});
        if (pass.bEnded)
            break;
    }
    return switches;
}
} // namespace

class qor_cSequencerSwitchTimes : public ::testing::TestWithParam<double>
{
};

TEST_P(qor_cSequencerSwitchTimes, ScreensSwitchNearTheirMusicTimesAndTheShowEndsAfterTheLast)
{
    const double dFps = GetParam();
    const std::vector<Switch> switches = playThrough(dFps);
    ASSERT_EQ(switches.size(), 15u);
    for (size_t i = 0; i < switches.size(); ++i)
    {
        EXPECT_EQ(switches[i].iEntry, int(i) + 1);
        // Never early; late by at most one frame for each switch so far (strict '>' and the
        // dropped overshoot), the listed times being rounded to 10 ms.
        EXPECT_GE(switches[i].dMusicS, kSwitchSeconds[i] - 0.005) << "switch " << i;
        EXPECT_LE(switches[i].dMusicS, kSwitchSeconds[i] + 0.005 + double(i + 1) / dFps) << "switch " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(FrameRates, qor_cSequencerSwitchTimes, ::testing::Values(30.0, 60.0));

TEST(qor_cSequencer, AStepPastSeveralDurationsSwitchesOnceAndDropsTheRest)
{
    qor_cSequencer seq(qor_cLayerViewer::getShowTable());
    seq.start(0, 0.0f, 0.0f);
    // 100 s in one frame: 3000 units, more than the first four screens together.
    qor_cSequencer::sPass pass = seq.advance(100000.0f, {});
    EXPECT_EQ(seq.getEntry(), 1);
    EXPECT_FLOAT_EQ(seq.getScreenTime(), 0.0f);
    EXPECT_FLOAT_EQ(pass.fStep, 3000.0f); // handed whole to the new screen
    EXPECT_FALSE(pass.bEnded);
    pass = seq.advance(200000.0f, {});
    EXPECT_EQ(seq.getEntry(), 2);
    EXPECT_FLOAT_EQ(seq.getScreenTime(), 0.0f);
    // Exactly the duration is not past it.
    seq.start(3, 0.0f, 0.0f);
    pass = seq.advance(52.0f / 0.03f, {});
    EXPECT_EQ(seq.getEntry(), 3);
    EXPECT_NEAR(seq.getScreenTime(), 52.0f, 1e-3f);
}

TEST(qor_cSequencer, RightHeldTenFramesLeavesTheScreenAtTheStepAfterAndUpFollowsTheMusicFromThere)
{
    qor_cSequencer seq(qor_cLayerViewer::getShowTable());
    seq.start(4, 100.0f, 5000.0f);
    float fMusic = 5000.0f;
    qor_cSequencer::sKeys right;
    right.bRight = true;
    for (int i = 1; i <= 10; ++i)
    {
        fMusic += 1000.0f / 60.0f; // the music goes on
        const qor_cSequencer::sPass pass = seq.advance(fMusic, right);
        EXPECT_EQ(pass.iRewind, 4);                      // replayed from the start ...
        EXPECT_FLOAT_EQ(pass.fStep, 100.0f + float(i)); // ... to one unit further, in one update
        EXPECT_TRUE(seq.isPaused());
    }
    EXPECT_FLOAT_EQ(seq.getScreenTime(), 110.0f);
    // Paused, no key: nothing moves whatever the music does.
    fMusic += 500.0f;
    qor_cSequencer::sPass pass = seq.advance(fMusic, {});
    EXPECT_FLOAT_EQ(pass.fStep, 0.0f);
    EXPECT_EQ(pass.iRewind, -1);
    EXPECT_FLOAT_EQ(seq.getScreenTime(), 110.0f);
    // Up: the music's delta again, from 110.
    qor_cSequencer::sKeys up;
    up.bUp = true;
    fMusic += 100.0f;
    pass = seq.advance(fMusic, up);
    EXPECT_FALSE(seq.isPaused());
    EXPECT_NEAR(pass.fStep, 3.0f, 1e-3f);
    EXPECT_NEAR(seq.getScreenTime(), 113.0f, 1e-3f);
    fMusic += 1000.0f;
    seq.advance(fMusic, {});
    EXPECT_NEAR(seq.getScreenTime(), 143.0f, 1e-3f);
}

TEST(qor_cSequencer, LeftStepsBackOneUnitAndBothArrowsTogetherEndOnTheRightsStep)
{
    struct Case
    {
        bool bLeft, bRight, bUp;
        float fStep;       // the step handed over
        float fScreenTime; // where the screen stands after the pass
        bool bPaused;
    };
    // From screen time 50, the music 100 ms on.
    const Case cases[] = {
        {true, false, false, 49.0f, 49.0f, true},
        {false, true, false, 51.0f, 51.0f, true},
        {true, true, false, 1.0f, 1.0f, true},                   // Right steps from Left's rewound 0
        {true, false, true, -33.333332f * 0.03f, -1.0f, false},  // Up takes the stepping delta
        {false, false, true, 3.0f, 53.0f, false},
    };
    for (const Case & c : cases)
    {
        qor_cSequencer seq(qor_cLayerViewer::getShowTable());
        seq.start(2, 50.0f, 1000.0f);
        qor_cSequencer::sKeys keys;
        keys.bLeft = c.bLeft;
        keys.bRight = c.bRight;
        keys.bUp = c.bUp;
        const qor_cSequencer::sPass pass = seq.advance(1100.0f, keys);
        EXPECT_NEAR(pass.fStep, c.fStep, 1e-4f) << c.bLeft << c.bRight << c.bUp;
        EXPECT_NEAR(seq.getScreenTime(), c.fScreenTime, 1e-4f) << c.bLeft << c.bRight << c.bUp;
        EXPECT_EQ(seq.isPaused(), c.bPaused);
        EXPECT_EQ(pass.iRewind, (c.bLeft || c.bRight) ? 2 : -1);
    }
}

TEST(qor_cSequencer, SpaceReplaysTheCurrentScreenFromZeroWithTheMusicAtZero)
{
    qor_cSequencer seq(qor_cLayerViewer::getShowTable());
    // The tenth screen, 300 units in, at its music time.
    seq.start(9, 300.0f, 172900.0f);
    seq.restartScreen(0.0f);
    EXPECT_EQ(seq.getEntry(), 9);
    EXPECT_FLOAT_EQ(seq.getScreenTime(), 0.0f);
    // The next frame measures from the restarted music, not from 172.9 s.
    const qor_cSequencer::sPass pass = seq.advance(1000.0f / 30.0f, {});
    EXPECT_NEAR(pass.fStep, 1.0f, 1e-4f);
    EXPECT_EQ(seq.getEntry(), 9);
}

TEST(qor_cSequencer, FindGivesTheEntryWhoseSpanHoldsATimeAndTheUnitsIntoIt)
{
    qor_cSequencer seq(qor_cLayerViewer::getShowTable());
    struct Case
    {
        double dSeconds;
        int iEntry;
        float fScreenTime;
    };
    const Case cases[] = {
        {0.0, 0, 0.0f},        {10.0, 0, 300.0f},      {890.0 / 30, 1, 0.0f}, // a screen's start is its own
        {60.0, 4, 18.0f},      {200.0, 9, 6000 - 5337}, {310.0, 14, 9300 - 9112},
        {9322.0 / 30, -1, 0.0f}, {400.0, -1, 0.0f},     {-1.0, -1, 0.0f},
    };
    for (const Case & c : cases)
    {
        float fScreenTime = -99.0f;
        EXPECT_EQ(seq.find(c.dSeconds * 30.0, &fScreenTime), c.iEntry) << c.dSeconds;
        if (c.iEntry >= 0)
        {
            EXPECT_NEAR(fScreenTime, c.fScreenTime, 1e-3f) << c.dSeconds;
        }
    }
    EXPECT_NEAR(qor_cLayerViewer::getShowLength(), 310.7333, 1e-3);
}

TEST(qor_cSequencer, AJumpLeavesTheSteppingPauseAndTheNewScreenFollowsTheMusic)
{
    // Page Up, Page Down and Home: stepped and paused, then a jump; the next pass moves the new
    // screen by the music's delta (100 ms: 3 units).
    for (const int iTarget : {0, 3, 5})
    {
        qor_cSequencer seq(qor_cLayerViewer::getShowTable());
        seq.start(4, 100.0f, 5000.0f);
        qor_cSequencer::sKeys right;
        right.bRight = true;
        seq.advance(5016.0f, right);
        ASSERT_TRUE(seq.isPaused());
        ASSERT_TRUE(seq.jump(iTarget, 9000.0f));
        EXPECT_FALSE(seq.isPaused()) << iTarget;
        const qor_cSequencer::sPass pass = seq.advance(9100.0f, {});
        EXPECT_EQ(seq.getEntry(), iTarget);
        EXPECT_NEAR(pass.fStep, 3.0f, 1e-3f) << iTarget;
        EXPECT_NEAR(seq.getScreenTime(), 3.0f, 1e-3f) << iTarget;
    }
}
