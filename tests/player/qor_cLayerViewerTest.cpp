// The applications in-process: start-up, the frame loop on a test show with a fixed-step clock
// and a scripted keyboard, the end on Escape, orderly destruction.
#include <gtest/gtest.h>

#include "qor_cDisp.h"
#include "qor_cKeyb.h"
#include "qor_cLayerViewer.h"
#include "qor_cMusic.h"
#include "qor_cPlayerOptions.h"
#include "qor_cSceneViewer.h"
#include "qor_cXChange.h"
#include "qor_fromTheStart.h"
#include "qor_showTestUtil.h"
#include "qor_testUtil.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>

TEST(qor_cLayerViewer, EscapeReleasedEndsTheLoopAndDestructionClearsEveryService)
{
    qort::TempDir dir;
    qort::ScopedChdir cd(dir.path());
    qor_cApplication::setFrameLimit(2000); // a safety net: Escape must end it long before
    {
        qor_cLayerViewer viewer;
        ASSERT_TRUE(viewer.init());
        EXPECT_EQ(QOR_XCHANGE()->getMonofiler(), viewer.getPack());
        EXPECT_EQ(QOR_DISP(), viewer.getDisp());
        EXPECT_EQ(qor_cKeyb::getCurrent(), viewer.getKeyb());
        qor_cWindowSDL * pWindow = static_cast<qor_cWindowSDL *>(viewer.getLastWindow());
        ASSERT_NE(pWindow, nullptr);
        EXPECT_STREQ(pWindow->getName(), "qor_cWindow");
        EXPECT_EQ(pWindow->getWidth(), 640);
        EXPECT_EQ(pWindow->getHeight(), 480);

        SDL_Event event{};
        event.type = SDL_KEYUP;
        event.key.windowID = pWindow->getSDLWindowID();
        event.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
        event.key.keysym.sym = SDLK_ESCAPE;
        SDL_PushEvent(&event);
        viewer.run();
        EXPECT_TRUE(viewer.isQuitRequested());
        EXPECT_LT(qor_cApplication::getFrameCount(), 2000);
        EXPECT_EQ(viewer.getLastWindow(), nullptr);
        viewer.release();
    }
    EXPECT_EQ(QOR_XCHANGE(), nullptr);
    EXPECT_EQ(qor_cKeyb::getCurrent(), nullptr);
    EXPECT_EQ(qor_cSystem::getInstance(), nullptr);
    qor_cApplication::setFrameLimit(0);
}

TEST(qor_cSceneViewer, FrameLimitEndsTheRunAndTheLogsStayBehind)
{
    qort::TempDir dir;
    qort::ScopedChdir cd(dir.path());
    qor_cApplication::setFrameLimit(4);
    {
        qor_cSceneViewer viewer;
        ASSERT_TRUE(viewer.init());
        viewer.run();
        EXPECT_EQ(qor_cApplication::getFrameCount(), 4);
        viewer.release();
    }
    EXPECT_TRUE(qort::fileExists(dir.file("qor_error.txt")));
    EXPECT_TRUE(qort::fileExists(dir.file("qor_trace.txt")));
    qor_cApplication::setFrameLimit(0);
}

// ----- the show's frame loop on a test show, with a fixed-step clock and a scripted keyboard


namespace
{
// What one pass showed, read at the end of the pass (after present).
struct PassRecord
{
    int iEntry;
    float fScreenTime;
    bool bPaused;
    float fMusicMs;
    qort::Rgb centre;
};

// The demo player with a keyboard the test scripts: keysFor(k) are the keys held from the end
// of pass k (what the keyboard read of that pass returns); onPass(k) runs there too.
class ScriptedViewer : public qor_cLayerViewer
{
public:
    std::function<std::set<SDL_Scancode>(int)> keysFor;
    std::function<void(int)> onPass;
    std::vector<PassRecord> passes;

protected:
    void updateKeyboard() override
    {
        const int k = getPassCount() - 1;
        PassRecord rec{getSequencer().getEntry(), getSequencer().getScreenTime(), getSequencer().isPaused(),
                       getMusic()->getTime(), {0, 0, 0}};
        std::vector<uint8_t> pixels;
        int w = 0, h = 0;
        if (getDisp()->readPixels(pixels, w, h) && w == 640 && h == 480)
        {
            const uint8_t * p = &pixels[(size_t(240) * 640 + 320) * 4];
            rec.centre = {p[2], p[1], p[0]};
        }
        passes.push_back(rec);
        uint8_t aState[SDL_NUM_SCANCODES] = {};
        if (keysFor)
            for (SDL_Scancode s : keysFor(k))
                aState[s] = 1;
        getKeyb()->updateFrom(aState, SDL_NUM_SCANCODES, true);
        if (onPass)
            onPass(k);
    }
};

// Runs the player in the show's folder with these options; the frame limit is a safety net
// unless the test sets it.
struct ShowRun
{
    explicit ShowRun(const qort::TestShow & show) : cd(show.path()) { qor_cPlayerOptions::reset(); }
    ~ShowRun()
    {
        qor_cPlayerOptions::reset();
        qor_cApplication::setFrameLimit(0);
    }
    qort::ScopedChdir cd;
};

bool sameColour(const qort::Rgb & a, const qort::Rgb & b)
{
    return std::abs(a.r - b.r) <= 1 && std::abs(a.g - b.g) <= 1 && std::abs(a.b - b.b) <= 1;
}

int startOf(int iEntry)
{
    const qor_cSequencer seq(qor_cLayerViewer::getShowTable());
    return seq.getStart(iEntry);
}
} // namespace

TEST(qor_cLayerViewerLoop, PngCaptureWritesExactlyThePicturesOfThePassesAndNotTheLoadingFrame)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    ASSERT_TRUE(show.addColourScreen("kv_screen_loading.o", {250, 250, 250})) << show.error();
    ShowRun run(show);
    // Two units before the end of the first screen, at 30 frames per second: passes 0 to 2
    // stand at 888, 889, 890 units; pass 3 (891) switches to the second screen.
    qor_cPlayerOptions::get().dSeek = 888.0 / 30.0;
    qor_cPlayerOptions::get().dFps = 30.0;
    qor_cPlayerOptions::get().strCapture = "frames_%03d.png";
    qor_cPlayerOptions::get().bQuiet = true;
    qor_cApplication::setFrameLimit(6);
    ScriptedViewer viewer;
    ASSERT_TRUE(viewer.init());
    viewer.run();
    viewer.release();
    EXPECT_EQ(qor_cPlayerOptions::getExitStatus(), 0);
    ASSERT_EQ(viewer.passes.size(), 6u);
    for (int k = 0; k < 6; ++k)
    {
        const int iEntry = k < 3 ? 0 : 1;
        EXPECT_EQ(viewer.passes[size_t(k)].iEntry, iEntry) << "pass " << k;
        const qort::Rgb want = qort::TestShow::colourOf(iEntry);
        EXPECT_TRUE(sameColour(viewer.passes[size_t(k)].centre, want)) << "pass " << k;
        int w = 0, h = 0;
        std::vector<uint8_t> rgb;
        char acName[32];
        std::snprintf(acName, sizeof acName, "frames_%03d.png", k);
        ASSERT_TRUE(qort::readPng(show.file(acName), &w, &h, &rgb)) << acName;
        ASSERT_EQ(w, 640);
        ASSERT_EQ(h, 480);
        // Every pixel is the screen's colour: the file is the pass's picture, whole.
        size_t nOff = 0;
        for (size_t i = 0; i < rgb.size(); i += 3)
            if (!sameColour({rgb[i], rgb[i + 1], rgb[i + 2]}, want))
                ++nOff;
        EXPECT_EQ(nOff, 0u) << acName;
    }
    EXPECT_FALSE(qort::fileExists(show.file("frames_006.png")));
}

TEST(qor_cLayerViewerLoop, SeekStartsWhereARunFromTheStartStandsAtThatFrame)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    // 60 s at 60 frames a second is frame 3600: the fifth screen (from 1782 units on in the
    // table, 59.4 s); 200 s is frame 12000, the tenth (from 5337, 177.9 s).
    struct Case
    {
        double dSeek;
        int iEntry;
        int nFirst;
    };
    const Case cases[] = {{60.0, 4, 3600}, {200.0, 9, 12000}, {0.0, 0, 0}};
    for (const Case & c : cases)
    {
        ShowRun run(show);
        qor_cPlayerOptions::get().dSeek = c.dSeek;
        qor_cPlayerOptions::get().dFps = 60.0;
        qor_cApplication::setFrameLimit(3);
        ScriptedViewer viewer;
        ASSERT_TRUE(viewer.init());
        viewer.run();
        viewer.release();
        ASSERT_EQ(viewer.passes.size(), 3u);
        for (int k = 0; k < 3; ++k)
        {
            const PassRecord & r = viewer.passes[size_t(k)];
            const Standing want = fromTheStart(60.0, c.nFirst + k);
            EXPECT_EQ(r.iEntry, c.iEntry) << c.dSeek;
            EXPECT_EQ(want.iEntry, c.iEntry) << c.dSeek;
            EXPECT_EQ(r.fScreenTime, want.fScreenTime) << c.dSeek << " pass " << k;
            // Behind the table by at most a step (half a unit) per switch before it: a switch
            // drops the step that crossed the duration, unless the float steps land on it.
            const float fTable = float(c.dSeek * 30.0 - startOf(c.iEntry) + 0.5 * k);
            EXPECT_LE(r.fScreenTime, fTable + 1e-2f) << c.dSeek;
            EXPECT_GE(r.fScreenTime, fTable - 0.5f * c.iEntry - 1e-2f) << c.dSeek;
            EXPECT_NEAR(r.fMusicMs, (c.nFirst + k) * 1000.0 / 60.0, 0.05) << c.dSeek;
            EXPECT_TRUE(sameColour(r.centre, qort::TestShow::colourOf(c.iEntry))) << c.dSeek;
        }
    }
}

// The grey level of a ramp screen's picture: its own clock, in units.
static int greyOf(const PassRecord & r) { return r.centre.g; }

TEST(qor_cLayerViewerLoop, RightHeldTenFramesThenUpFollowsTheMusicFromThere)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addRampScreen("kv_screen_chapter5.o")) << show.error();
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    ShowRun run(show);
    qor_cPlayerOptions::get().dSeek = (startOf(4) + 100) / 30.0;
    qor_cPlayerOptions::get().dFps = 30.0;
    qor_cApplication::setFrameLimit(14);
    ScriptedViewer viewer;
    viewer.keysFor = [](int k) -> std::set<SDL_Scancode> {
        if (k >= 0 && k < 10)
            return {SDL_SCANCODE_RIGHT};
        if (k == 10)
            return {SDL_SCANCODE_UP};
        return {};
    };
    ASSERT_TRUE(viewer.init());
    viewer.run();
    viewer.release();
    ASSERT_EQ(viewer.passes.size(), 14u);
    // Where a run from the start stands there (at most a unit behind the table per switch
    // before it).
    const float t0 = fromTheStart(30.0, startOf(4) + 100).fScreenTime;
    EXPECT_GE(t0, 96.0f - 1e-2f);
    EXPECT_LE(t0, 100.0f + 1e-2f);
    EXPECT_EQ(viewer.passes[0].fScreenTime, t0);
    // The screen's own clock runs a step (1 unit) ahead: it was given the step that switched.
    EXPECT_NEAR(greyOf(viewer.passes[0]), t0 + 1, 1);
    EXPECT_FALSE(viewer.passes[0].bPaused);
    for (int k = 1; k <= 10; ++k)
    {
        EXPECT_NEAR(viewer.passes[size_t(k)].fScreenTime, t0 + k, 2e-3f) << "pass " << k;
        // The screen itself was rewound and replayed to there.
        EXPECT_NEAR(greyOf(viewer.passes[size_t(k)]), t0 + k, 1) << "pass " << k;
        EXPECT_TRUE(viewer.passes[size_t(k)].bPaused);
    }
    // Up: one frame's music (1 unit at 30 fps) from t0 + 10, and on.
    for (int k = 11; k < 14; ++k)
    {
        EXPECT_NEAR(viewer.passes[size_t(k)].fScreenTime, t0 + 10 + (k - 10), 2e-3f) << "pass " << k;
        EXPECT_NEAR(greyOf(viewer.passes[size_t(k)]), t0 + 10 + (k - 10), 1) << "pass " << k;
        EXPECT_FALSE(viewer.passes[size_t(k)].bPaused);
    }
    EXPECT_EQ(viewer.passes[13].iEntry, 4);
}

TEST(qor_cLayerViewerLoop, SpaceOnTheTenthScreenReplaysItFromZeroWithTheMusicAtZero)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addRampScreen("kv_screen_chapter6.o")) << show.error();
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    ShowRun run(show);
    qor_cPlayerOptions::get().dSeek = (startOf(9) + 200) / 30.0;
    qor_cPlayerOptions::get().dFps = 30.0;
    qor_cApplication::setFrameLimit(6);
    ScriptedViewer viewer;
    viewer.keysFor = [](int k) -> std::set<SDL_Scancode> {
        if (k == 2)
            return {SDL_SCANCODE_SPACE};
        return {};
    };
    ASSERT_TRUE(viewer.init());
    viewer.run();
    viewer.release();
    ASSERT_EQ(viewer.passes.size(), 6u);
    // Nine switches before the tenth screen: at most nine units behind the table; the screen's
    // own clock one ahead.
    const float t2 = fromTheStart(30.0, startOf(9) + 202).fScreenTime;
    EXPECT_GE(t2, 193.0f - 1e-2f);
    EXPECT_LE(t2, 202.0f + 1e-2f);
    EXPECT_EQ(viewer.passes[2].fScreenTime, t2);
    EXPECT_NEAR(greyOf(viewer.passes[2]), t2 + 1, 1);
    // After Space the tenth screen again, from 0, on the music from 0: pass 3 is one frame on.
    for (int k = 3; k < 6; ++k)
    {
        EXPECT_EQ(viewer.passes[size_t(k)].iEntry, 9);
        EXPECT_NEAR(viewer.passes[size_t(k)].fScreenTime, float(k - 2), 2e-3f) << "pass " << k;
        EXPECT_NEAR(greyOf(viewer.passes[size_t(k)]), k - 2, 1) << "pass " << k;
        EXPECT_NEAR(viewer.passes[size_t(k)].fMusicMs, (k - 2) * 1000.0f / 30.0f, 0.01f) << "pass " << k;
    }
}

TEST(qor_cLayerViewerLoop, EscapeMidShowEndsAfterTheFrameThatHandledItWithEverythingReleased)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    ShowRun run(show);
    qor_cPlayerOptions::get().dFps = 60.0;
    qor_cPlayerOptions::get().dSeek = 100.0;
    qor_cApplication::setFrameLimit(100);
    ScriptedViewer viewer;
    ASSERT_TRUE(viewer.init());
    qor_cWindowSDL * pWindow = static_cast<qor_cWindowSDL *>(viewer.getLastWindow());
    ASSERT_NE(pWindow, nullptr);
    const uint32_t uWindowID = pWindow->getSDLWindowID();
    int iQuitPass = -1;
    viewer.onPass = [&](int k) {
        EXPECT_EQ(viewer.getNbScreen(), 15);
        if (iQuitPass < 0 && viewer.isQuitRequested())
            iQuitPass = k; // this pass's message handling took it
        if (k != 3)
            return;
        SDL_Event event{};
        event.type = SDL_KEYUP;
        event.key.windowID = uWindowID;
        event.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
        event.key.keysym.sym = SDLK_ESCAPE;
        SDL_PushEvent(&event);
    };
    viewer.run();
    // Released after pass 3: a later pass's message handling takes it (one message a pass,
    // queued window messages first), and the loop ends after that pass.
    EXPECT_GE(iQuitPass, 4);
    EXPECT_EQ(viewer.getPassCount(), iQuitPass + 1);
    EXPECT_LT(viewer.getPassCount(), 100);
    EXPECT_TRUE(viewer.isQuitRequested());
    EXPECT_EQ(viewer.getMusic(), nullptr);
    EXPECT_EQ(viewer.getNbScreen(), 0);
    viewer.release();
}

TEST(qor_cLayerViewerLoop, PageDownPageUpHomeAndPJumpAndPause)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    ShowRun run(show);
    qor_cPlayerOptions::get().dFps = 30.0;
    qor_cPlayerOptions::get().dSeek = 10.0;
    qor_cApplication::setFrameLimit(12);
    ScriptedViewer viewer;
    // Keys held over two passes act once.
    viewer.keysFor = [](int k) -> std::set<SDL_Scancode> {
        if (k == 0 || k == 1)
            return {SDL_SCANCODE_PAGEDOWN};
        if (k == 3)
            return {SDL_SCANCODE_PAGEUP};
        if (k == 5)
            return {SDL_SCANCODE_HOME};
        if (k == 7 || k == 9)
            return {SDL_SCANCODE_P};
        return {};
    };
    ASSERT_TRUE(viewer.init());
    viewer.run();
    viewer.release();
    ASSERT_EQ(viewer.passes.size(), 12u);
    const float kFrameMs = 1000.0f / 30.0f;
    struct Want
    {
        int iEntry;
        float fScreenTime;
        float fMusicMs;
    };
    const float fStart1 = startOf(1) / 0.03f;
    const Want want[] = {
        {0, 300.0f, 10000.0f},
        {1, 1.0f, fStart1 + kFrameMs},     // Page Down: the second screen from its start
        {1, 2.0f, fStart1 + 2 * kFrameMs}, // still held: no second jump
        {1, 3.0f, fStart1 + 3 * kFrameMs},
        {0, 1.0f, kFrameMs},               // Page Up: back to the first screen's start
        {0, 2.0f, 2 * kFrameMs},
        {0, 1.0f, kFrameMs},               // Home: the show from its start
        {0, 2.0f, 2 * kFrameMs},
        {0, 2.0f, 2 * kFrameMs},           // P: music and picture stand still
        {0, 2.0f, 2 * kFrameMs},
        {0, 3.0f, 3 * kFrameMs},           // P again: both go on
        {0, 4.0f, 4 * kFrameMs},
    };
    for (size_t k = 0; k < 12; ++k)
    {
        EXPECT_EQ(viewer.passes[k].iEntry, want[k].iEntry) << "pass " << k;
        EXPECT_NEAR(viewer.passes[k].fScreenTime, want[k].fScreenTime, 2e-3f) << "pass " << k;
        EXPECT_NEAR(viewer.passes[k].fMusicMs, want[k].fMusicMs, 0.05f) << "pass " << k;
    }
}

TEST(qor_cLayerViewerLoop, AMissingMp3PlaysTheShowOnTheWallClockWithOneLogLine)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    ShowRun run(show);
    qor_cApplication::setFrameLimit(4);
    ScriptedViewer viewer;
    bool bWallClock = true;
    viewer.onPass = [&](int) { bWallClock = bWallClock && dynamic_cast<qor_cWallClock *>(viewer.getMusic()); };
    ASSERT_TRUE(viewer.init());
    testing::internal::CaptureStderr();
    viewer.run();
    const std::string err = testing::internal::GetCapturedStderr();
    viewer.release();
    EXPECT_TRUE(bWallClock);
    ASSERT_EQ(viewer.passes.size(), 4u);
    // The wall clock moves on: the music time never goes back, and the first screen shows.
    for (size_t k = 1; k < 4; ++k)
        EXPECT_GE(viewer.passes[k].fMusicMs, viewer.passes[k - 1].fMusicMs);
    EXPECT_TRUE(sameColour(viewer.passes[3].centre, qort::TestShow::colourOf(0)));
    EXPECT_NE(err.find("DASKMIX.mp3"), std::string::npos) << err;
    EXPECT_NE(err.find("wall clock"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(qor_cLayerViewerLoop, AnMp3BesideTheShowPlaysThroughTheAudioDevice)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    ASSERT_TRUE(show.addMusic(44100, 2, 44100));
    ShowRun run(show);
    qor_cApplication::setFrameLimit(3);
    ScriptedViewer viewer;
    bool bStream = true;
    viewer.onPass = [&](int) { bStream = bStream && dynamic_cast<qor_cMusicStream *>(viewer.getMusic()); };
    ASSERT_TRUE(viewer.init());
    testing::internal::CaptureStderr();
    viewer.run();
    const std::string err = testing::internal::GetCapturedStderr();
    viewer.release();
    EXPECT_TRUE(bStream);
    EXPECT_EQ(err, "");
    EXPECT_EQ(viewer.passes.size(), 3u);
}
