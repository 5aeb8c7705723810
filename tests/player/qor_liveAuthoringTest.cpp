// Working on a screen: the author's keys and options against a run from the start, and --watch
// reloading each kind of source file while the show plays.
#include <gtest/gtest.h>

#include "qor_cConfigFile.h"
#include "qor_cDisp.h"
#include "qor_cHud.h"
#include "qor_cKeyb.h"
#include "qor_cLayerViewer.h"
#include "qor_cMusic.h"
#include "qor_cPlayerOptions.h"
#include "qor_cSequencer.h"
#include "qor_cShowConfig.h"
#include "qor_fromTheStart.h"
#include "qor_showTestUtil.h"
#include "qor_testJpeg.h"
#include "qor_testMp3.h"
#include "qor_testUtil.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>
#include <vector>

namespace
{
struct Pass
{
    int iEntry;
    float fScreenTime;
    bool bMusicPlaying;
    float fMusicMs;
    qort::Rgb centre;
};

qort::Rgb pixelAt(qor_cDisp * pDisp, int x, int y)
{
    std::vector<uint8_t> pixels;
    int w = 0, h = 0;
    if (!pDisp->readPixels(pixels, w, h) || w != 640 || h != 480)
        return {-1, -1, -1};
    const uint8_t * p = &pixels[(size_t(y) * 640 + size_t(x)) * 4];
    return {p[2], p[1], p[0]};
}

// The player with a keyboard the test scripts: keysFor(k) are the keys held from the end of
// pass k; every pass is recorded.
class KeyedViewer : public qor_cLayerViewer
{
  public:
    std::function<std::set<SDL_Scancode>(int)> keysFor;
    std::vector<Pass> passes;

  protected:
    void updateKeyboard() override
    {
        const int k = getPassCount() - 1;
        passes.push_back({getSequencer().getEntry(), getSequencer().getScreenTime(), getMusic()->isPlaying(),
                          getMusic()->getTime(), pixelAt(getDisp(), 320, 240)});
        uint8_t aState[SDL_NUM_SCANCODES] = {};
        if (keysFor)
            for (SDL_Scancode s : keysFor(k))
                aState[s] = 1;
        getKeyb()->updateFrom(aState, SDL_NUM_SCANCODES, true);
    }
};

struct OptionsReset
{
    OptionsReset() { qor_cPlayerOptions::reset(); }
    ~OptionsReset()
    {
        qor_cPlayerOptions::reset();
        qor_cApplication::setFrameLimit(0);
    }
};

// The first frame a run from the start shows entry iEntry at (-1 past the end: the end).
int firstFrameOf(double dFps, int iEntry)
{
    for (int k = 0;; ++k)
    {
        const Standing s = fromTheStart(dFps, k);
        if (s.iEntry == iEntry || s.iEntry < 0 || s.iEntry > iEntry)
            return k;
    }
}

// The show's table repeats a script ("kv_screen_black.o"): its one compiled screen has the
// colour of the first entry naming it.
int firstWithScript(int iEntry)
{
    const qor_sScreenEntry * pTable = qor_cLayerViewer::getShowTable();
    for (int i = 0; i < iEntry; ++i)
        if (std::string(pTable[i].szScript) == pTable[iEntry].szScript)
            return i;
    return iEntry;
}

bool sameColour(const qort::Rgb & a, const qort::Rgb & b, int tol = 1)
{
    return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}
} // namespace

TEST(qor_cHud, ClockTextIsMinutesSecondsAndHundredthsTruncated)
{
    struct Case
    {
        double dMs;
        const char * szText;
    };
    const Case cases[] = {{0.0, "0:00.00"},      {9.99, "0:00.00"},       {61234.9, "1:01.23"},
                          {599999.0, "9:59.99"}, {3600000.0, "60:00.00"}, {-5.0, "0:00.00"}};
    for (const Case & c : cases)
        EXPECT_EQ(qor_cHud::formatTime(c.dMs), c.szText) << c.dMs;
}

// The keys land on the frames a seek there gives: ] and [ one second (30 frames at 30 fps) from
// the frame shown, . one frame while the music is paused (P), R the current entry's first frame.
TEST(qor_cLayerViewerAuthor, KeysSeekToTheFramesARunFromTheStartShows)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addRampScreen("kv_screen_chapter5.o")) << show.error();
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    const qort::ScopedChdir cd(show.path());
    const OptionsReset reset;
    const double dFps = 30.0;
    const int f4 = firstFrameOf(dFps, 4);
    const int n = f4 + 100; // 100 frames into the fifth entry
    qor_cPlayerOptions::get().dFps = dFps;
    qor_cPlayerOptions::get().dSeek = n / dFps;
    qor_cApplication::setFrameLimit(10);
    KeyedViewer viewer;
    viewer.keysFor = [](int k) -> std::set<SDL_Scancode> {
        switch (k)
        {
        case 0:
            return {SDL_SCANCODE_RIGHTBRACKET};
        case 2:
            return {SDL_SCANCODE_LEFTBRACKET};
        case 4:
            return {SDL_SCANCODE_P};
        case 5:
            return {SDL_SCANCODE_PERIOD};
        case 7:
            return {SDL_SCANCODE_R};
        case 8:
            return {SDL_SCANCODE_P};
        default:
            return {};
        }
    };
    ASSERT_TRUE(viewer.init());
    viewer.run();
    viewer.release();
    ASSERT_EQ(viewer.passes.size(), 10u);
    struct Want
    {
        int nFrame;    // the frame the pass shows
        bool bPlaying; // the music runs
    };
    const Want want[] = {
        {n, true},      // 0: ] pressed
        {n + 30, true}, // 1: a second on
        {n + 31, true}, // 2: [ pressed
        {n + 1, true},  // 3: a second back from n + 31
        {n + 2, true},  // 4: P pressed
        {n + 2, false}, // 5: the picture stands still; . pressed
        {n + 3, false}, // 6: one frame on, still paused
        {n + 3, false}, // 7: R pressed
        {f4, false},    // 8: the entry's first frame, still paused; P pressed
        {f4 + 1, true}, // 9: on from there
    };
    for (size_t k = 0; k < 10; ++k)
    {
        const Pass & p = viewer.passes[k];
        const Standing s = fromTheStart(dFps, want[k].nFrame);
        EXPECT_EQ(p.iEntry, s.iEntry) << "pass " << k;
        EXPECT_EQ(p.bMusicPlaying, want[k].bPlaying) << "pass " << k;
        EXPECT_NEAR(p.fMusicMs, want[k].nFrame * 1000.0 / dFps, 0.05) << "pass " << k;
        // A paused pass repeats its frame with a zero step: the standing of that frame.
        EXPECT_NEAR(p.fScreenTime, s.fScreenTime, 2e-3f) << "pass " << k;
        // The ramp's grey is the screen's own clock, a step (one unit) ahead of the sequencer's
        // count: the screen itself was replayed there.
        if (p.iEntry == 4)
        {
            EXPECT_NEAR(p.centre.g, s.fScreenTime + 1.0f, 1.5f) << "pass " << k;
        }
    }
}

// --screen N starts at the entry's first frame of a run from the start; with --loop the pass
// after the entry's last frame is that first frame again; without --screen, --loop starts the
// show again after its last frame.
TEST(qor_cLayerViewerAuthor, ScreenAndLoopPlayTheFramesOfARunFromTheStart)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    const qort::ScopedChdir cd(show.path());
    struct Case
    {
        int iScreen; // from 0, -1 none
        bool bLoop;
        double dFps;
    };
    // Entry 3 is the 52-unit black screen; at 1 frame a second the whole show is ~330 frames.
    const Case cases[] = {{3, true, 30.0}, {3, false, 30.0}, {-1, true, 1.0}};
    for (const Case & c : cases)
    {
        const OptionsReset reset;
        const int nFirst = c.iScreen >= 0 ? firstFrameOf(c.dFps, c.iScreen) : 0;
        const int nLast = c.iScreen >= 0 ? firstFrameOf(c.dFps, c.iScreen + 1) : firstFrameOf(c.dFps, 99);
        const int nLength = nLast - nFirst; // frames of one round
        qor_cPlayerOptions::get().dFps = c.dFps;
        qor_cPlayerOptions::get().iScreen = c.iScreen;
        qor_cPlayerOptions::get().bLoop = c.bLoop;
        qor_cApplication::setFrameLimit(nLength + 3);
        KeyedViewer viewer;
        ASSERT_TRUE(viewer.init());
        viewer.run();
        viewer.release();
        ASSERT_EQ(viewer.passes.size(), size_t(nLength + 3)) << c.iScreen;
        for (int k = 0; k < nLength + 3; ++k)
        {
            const int nFrame = c.bLoop ? nFirst + k % nLength : nFirst + k;
            const Standing s = fromTheStart(c.dFps, nFrame);
            const Pass & p = viewer.passes[size_t(k)];
            ASSERT_EQ(p.iEntry, s.iEntry) << c.iScreen << " pass " << k;
            EXPECT_EQ(p.fScreenTime, s.fScreenTime) << c.iScreen << " pass " << k;
            EXPECT_TRUE(sameColour(p.centre, qort::TestShow::colourOf(firstWithScript(p.iEntry))))
                << c.iScreen << " pass " << k;
        }
        if (c.iScreen >= 0 && !c.bLoop)
        {
            EXPECT_EQ(viewer.passes.back().iEntry, c.iScreen + 1);
        }
    }
}

// --hud draws over the picture shown, not into a capture (nor into the state the next frames
// read: the captured frames are those of a run without it); --hud-capture draws into it.
TEST(qor_cLayerViewerAuthor, TheHudStaysOutOfACaptureUnlessAskedFor)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    // A font whose every glyph cell is white: the HUD's text is white blocks at the top left.
    std::error_code ec;
    std::filesystem::create_directories(show.file("maps/qor"), ec);
    ASSERT_TRUE(qort::writeJpeg(show.file("maps/qor/font.jpg"), 256, 256, qort::solidRgb(256, 256, 255, 255, 255)));
    const std::vector<unsigned char> widths(256, 16);
    ASSERT_TRUE(qort::writeBytes(show.file("maps/qor/font.dat"), widths.data(), widths.size()));
    const qort::ScopedChdir cd(show.path());
    struct Case
    {
        const char * szPattern;
        bool bHud, bHudCapture;
    };
    const Case cases[] = {{"plain_%d.png", false, false}, {"hud_%d.png", true, false}, {"into_%d.png", true, true}};
    for (const Case & c : cases)
    {
        const OptionsReset reset;
        qor_cPlayerOptions::get().dFps = 30.0;
        qor_cPlayerOptions::get().strCapture = c.szPattern;
        qor_cPlayerOptions::get().bQuiet = true;
        qor_cPlayerOptions::get().bHud = c.bHud;
        qor_cPlayerOptions::get().bHudCapture = c.bHudCapture;
        qor_cApplication::setFrameLimit(3);
        KeyedViewer viewer;
        ASSERT_TRUE(viewer.init());
        viewer.run();
        viewer.release();
        ASSERT_EQ(viewer.passes.size(), 3u);
        // What was presented has the HUD whenever it is on.
        EXPECT_EQ(sameColour(pixelAt(viewer.getDisp(), 8, 8), {255, 255, 255}, 8), c.bHud) << c.szPattern;
    }
    for (int k = 0; k < 3; ++k)
    {
        std::vector<uint8_t> plain, hud, into;
        int w = 0, h = 0;
        ASSERT_TRUE(qort::readPng(show.file("plain_" + std::to_string(k) + ".png"), &w, &h, &plain));
        ASSERT_TRUE(qort::readPng(show.file("hud_" + std::to_string(k) + ".png"), &w, &h, &hud));
        ASSERT_TRUE(qort::readPng(show.file("into_" + std::to_string(k) + ".png"), &w, &h, &into));
        EXPECT_TRUE(plain == hud) << "frame " << k;
        ASSERT_EQ(into.size(), plain.size());
        // The first glyph cell's pixel (8, 8) is white in the capture asked to hold the HUD.
        const size_t i = (size_t(8) * size_t(w) + 8) * 3;
        EXPECT_TRUE(sameColour({into[i], into[i + 1], into[i + 2]}, {255, 255, 255}, 8)) << "frame " << k;
        EXPECT_FALSE(sameColour({plain[i], plain[i + 1], plain[i + 2]}, {255, 255, 255}, 8)) << "frame " << k;
    }
}

namespace
{
// An author's source folder: a picture quad on the left quarter, the imported box at the centre
// (the stage's camera frames it), a ramp at the bottom right, and music; built into a folder the player runs with
// --watch.
const char * const kShowIni = "[SHOW]\nPACK=live.dat\nMUSIC=tune.mp3\nSCREEN1=main.o,100000\n\n"
                              "[IMPORT]\nbox.obj=--stage --fit 100\n";
const char * const kMain =
    "#include <qor>\nmain()\n{\n    addLayer(\"pic.o\");\n    addLayer(\"box.o\");\n    addLayer(\"ramp.o\");\n}\n";
// A quad at the bottom right whose grey level is the screen's own clock: level t at t units
// (0 to 250, held after).
const char * const kRamp = "#include <qor>\nmain()\n{\n    setVP(0, 0, ONE, ONE);\n    addQuad();\n"
                           "    addMaterial(\"ramp\");\n    setMatDiff(0, 0, 0, 255);\n"
                           "    addKey_diffuse(0, 0, 0, 0, 255);\n    addKey_diffuse(250, 250, 250, 250, 255);\n"
                           "    lastKey_diffuse();\n    addPass();\n    addStage();\n"
                           "    setCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);\n"
                           "    setAlphaCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);\n"
                           "    setPos(375, 375);\n    setScale(250, 250);\n}\n";
std::string picScript(const char * szTexture)
{
    return std::string("#include <qor>\nmain()\n{\n    setVP(0, 0, ONE, ONE);\n    setFrameBufferClear(CLEAR_ON);\n"
                       "    addQuad();\n    setScale(250, 1000);\n    addKey_pos(0, -375, 0);\n    lastKey_pos();\n"
                       "    addMaterial(\"pic\");\n    addPass();\n    setBlend(BLEND_ONE, BLEND_ZERO);\n"
                       "    setZCmp(CMP_ALWAYS);\n    setZWrite(0);\n    addStage();\n    loadTexture(\"") +
           szTexture +
           "\");\n    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);\n"
           "    setAlphaCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);\n"
           "    setMatDiff(FULL, FULL, FULL, FULL);\n}\n";
}
const char * const kBox = "#include <qor>\nmain()\n{\n    setVP(0, 0, ONE, ONE);\n    setZBufferClear(CLEAR_ON);\n"
                          "    loadScene(\"scenes/box.s3d\", \"the box\");\n}\n";
std::string boxObj(const char * szMaterial)
{
    return std::string("mtllib box.mtl\no box\nv -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\n"
                       "v 1 1 1\nv -1 1 1\nvn 0 0 -1\nvn 0 0 1\nvn -1 0 0\nvn 1 0 0\nvn 0 -1 0\nvn 0 1 0\nusemtl ") +
           szMaterial +
           "\nf 1//1 4//1 3//1 2//1\nf 5//2 6//2 7//2 8//2\nf 1//3 5//3 8//3 4//3\nf 2//4 3//4 7//4 6//4\n"
           "f 1//5 2//5 6//5 5//5\nf 4//6 8//6 7//6 3//6\n";
}
const char * const kBoxMtl = "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n";
const qort::Rgb kRed = {200, 40, 40}, kGreen = {40, 200, 40}, kBlue = {30, 60, 220};

bool writeSolidJpeg(const std::string & path, qort::Rgb c)
{
    return qort::writeJpeg(path, 16, 16, qort::solidRgb(16, 16, uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)), 100);
}

// Writes a file as an editor saves it: a new file beside it, renamed over it.
bool saveAsEditor(const std::string & path, const std::string & text)
{
    return qort::writeText(path + ".swp~", text) && std::rename((path + ".swp~").c_str(), path.c_str()) == 0;
}

// A clearly red (0), green (1) or blue (2) pixel: that channel at least 100 above the others
// (the picture's colour through the JPEG, the box's lit by the stage's lights).
bool isColour(const qort::Rgb & c, int iChannel)
{
    const int a[3] = {c.r, c.g, c.b};
    return a[iChannel] >= a[(iChannel + 1) % 3] + 100 && a[iChannel] >= a[(iChannel + 2) % 3] + 100;
}

// A watched show and the player running it, one pass at a time.
struct LiveShow
{
    qort::TempDir dir;
    std::string src = dir.file("src"), out = dir.file("out");
    std::string strBuild;

    bool make()
    {
        std::error_code ec;
        for (const char * sz : {"/scripts", "/maps", "/models", "/music"})
            if (!std::filesystem::create_directories(src + sz, ec))
                return false;
        const std::vector<uint8_t> mp3 = qort::makeMp3(44100, 1, 400, 440.0f);
        return qort::writeText(src + "/show.ini", kShowIni) && qort::writeText(src + "/scripts/main.sc", kMain) &&
               qort::writeText(src + "/scripts/pic.sc", picScript("pic")) &&
               qort::writeText(src + "/scripts/box.sc", kBox) && qort::writeText(src + "/scripts/ramp.sc", kRamp) &&
               writeSolidJpeg(src + "/maps/pic.jpg", kRed) && writeSolidJpeg(src + "/maps/other.jpg", kBlue) &&
               qort::writeText(src + "/models/box.obj", boxObj("red")) &&
               qort::writeText(src + "/models/box.mtl", kBoxMtl) &&
               qort::writeBytes(src + "/music/tune.mp3", mp3.data(), mp3.size()) &&
               qort::runCommand(qort::binDir() + "/qor-build-show " + src + " -o " + out + " 2>&1", &strBuild) == 0;
    }
    // The player's options for following src with the qor-build-show of this build.
    void watch() const
    {
        qor_cPlayerOptions::get().strWatch = src;
        qor_cPlayerOptions::get().strBuildTool = qort::binDir() + "/qor-build-show";
    }
};

// The show of the folder's application.ini for as long as it lives (the built-in one after).
struct ShowFromIni
{
    ShowFromIni()
    {
        qor_cConfigFile ini;
        EXPECT_TRUE(ini.load("application.ini"));
        EXPECT_TRUE(qor_cShowConfig::get().read(ini)) << qor_cShowConfig::get().getError();
    }
    ~ShowFromIni() { qor_cShowConfig::get().reset(); }
};

// The ramp's grey against the screen's time: the entry has been current from the start of the
// show (no switch), so the screen's own clock is the sequencer's count.
bool rampAt(qor_cLayerViewer & viewer)
{
    const float t = std::min(viewer.getSequencer().getScreenTime(), 250.0f);
    const int iGrey = pixelAt(viewer.getDisp(), 560, 420).g;
    EXPECT_NEAR(iGrey, t, 1.5f) << "screen time " << viewer.getSequencer().getScreenTime();
    return std::abs(iGrey - t) <= 1.5f;
}

// Passes until the next rebuild has ended, at most 30 s.
bool stepUntilRebuilt(qor_cLayerViewer & viewer)
{
    const int nBefore = viewer.getBuildCount();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (viewer.getBuildCount() == nBefore && std::chrono::steady_clock::now() < end)
    {
        if (!viewer.stepFrame())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return viewer.getBuildCount() == nBefore + 1;
}
} // namespace

// Each kind of source file, saved while the show plays, is rebuilt and the screen reading it
// reloaded: a script naming another picture, the picture itself, the model's material, and the
// music (another rate, the position kept).
TEST(qor_cLayerViewerWatch, EachKindOfSourceFileIsRebuiltAndShownWhileTheShowPlays)
{
    enum Kind
    {
        kScript,
        kPicture,
        kModel,
        kMusic
    };
    for (const Kind kind : {kScript, kPicture, kModel, kMusic})
    {
        LiveShow live;
        ASSERT_TRUE(live.make()) << live.strBuild;
        const qort::ScopedChdir cd(live.out);
        const OptionsReset reset;
        const ShowFromIni showIni;
        live.watch();
        if (kind != kMusic)
            qor_cPlayerOptions::get().dFps = 30.0;
        qor_cLayerViewer viewer;
        ASSERT_TRUE(viewer.init());
        ASSERT_TRUE(viewer.startShow());
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(viewer.stepFrame());
        const qort::Rgb left = pixelAt(viewer.getDisp(), 40, 240), right = pixelAt(viewer.getDisp(), 320, 240);
        EXPECT_TRUE(isColour(left, 0)) << kind << ": " << left.r << " " << left.g << " " << left.b;
        EXPECT_TRUE(rampAt(viewer)) << kind;
        EXPECT_TRUE(isColour(right, 0)) << kind << ": " << right.r << " " << right.g << " " << right.b;
        const int nEntry = viewer.getSequencer().getEntry();
        const float fScreenBefore = viewer.getSequencer().getScreenTime();
        const float fMusicBefore = viewer.getMusic()->getTime();
        switch (kind)
        {
        case kScript:
            ASSERT_TRUE(saveAsEditor(live.src + "/scripts/pic.sc", picScript("other")));
            break;
        case kPicture:
            ASSERT_TRUE(writeSolidJpeg(live.src + "/maps/pic.jpg", kGreen));
            break;
        case kModel:
            ASSERT_TRUE(saveAsEditor(live.src + "/models/box.obj", boxObj("blue")));
            break;
        case kMusic: {
            // Deleted, then written again: one change.
            const std::vector<uint8_t> mp3 = qort::makeMp3(22050, 1, 400, 440.0f);
            ASSERT_EQ(std::remove((live.src + "/music/tune.mp3").c_str()), 0);
            ASSERT_TRUE(qort::writeBytes(live.src + "/music/tune.mp3", mp3.data(), mp3.size()));
            break;
        }
        }
        ASSERT_TRUE(stepUntilRebuilt(viewer)) << kind;
        EXPECT_NE(viewer.getAuthorMessage().find(kind == kMusic ? "0 screens reloaded" : "1 screen reloaded"),
                  std::string::npos)
            << viewer.getAuthorMessage();
        ASSERT_TRUE(viewer.stepFrame());
        const qort::Rgb left2 = pixelAt(viewer.getDisp(), 40, 240), right2 = pixelAt(viewer.getDisp(), 320, 240);
        const int wantLeft = kind == kScript ? 2 : kind == kPicture ? 1 : 0;
        EXPECT_TRUE(isColour(left2, wantLeft)) << kind << ": " << left2.r << " " << left2.g << " " << left2.b;
        EXPECT_TRUE(isColour(right2, kind == kModel ? 2 : 0))
            << kind << ": " << right2.r << " " << right2.g << " " << right2.b;
        // The same entry, later in it: no restart; the rebuilt screen stands at its time.
        EXPECT_TRUE(rampAt(viewer)) << kind;
        EXPECT_EQ(viewer.getSequencer().getEntry(), nEntry);
        EXPECT_GT(viewer.getSequencer().getScreenTime(), fScreenBefore) << kind;
        if (kind == kMusic)
        {
            const qor_cMusicStream * pStream = dynamic_cast<qor_cMusicStream *>(viewer.getMusic());
            ASSERT_NE(pStream, nullptr);
            EXPECT_EQ(pStream->getRate(), 22050);
            EXPECT_TRUE(viewer.getMusic()->isPlaying());
            // The position went on from where it stood (the passes of the wait, no jump to 0).
            EXPECT_GE(viewer.getMusic()->getTime(), fMusicBefore);
        }
        viewer.finishShow();
        viewer.release();
    }
}

// A script that does not compile: its lines on standard error and the HUD's message, the last
// good screen keeps playing; the next good save is shown.
TEST(qor_cLayerViewerWatch, ACompileErrorKeepsTheLastGoodScreenAndSaysWhy)
{
    LiveShow live;
    ASSERT_TRUE(live.make()) << live.strBuild;
    const qort::ScopedChdir cd(live.out);
    const OptionsReset reset;
    const ShowFromIni showIni;
    live.watch();
    qor_cPlayerOptions::get().dFps = 30.0;
    qor_cLayerViewer viewer;
    ASSERT_TRUE(viewer.init());
    ASSERT_TRUE(viewer.startShow());
    ASSERT_TRUE(viewer.stepFrame());
    // Line 5 of the broken script lacks its semicolon.
    std::string strBroken = picScript("other");
    strBroken.replace(strBroken.find("setFrameBufferClear(CLEAR_ON);"), 30, "setFrameBufferClear(CLEAR_ON)");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(saveAsEditor(live.src + "/scripts/pic.sc", strBroken));
    const bool bEnded = stepUntilRebuilt(viewer);
    const std::string strErr = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(bEnded);
    EXPECT_NE(viewer.getAuthorMessage().find("pic.sc:5:"), std::string::npos) << viewer.getAuthorMessage();
    EXPECT_NE(viewer.getAuthorMessage().find("error"), std::string::npos) << viewer.getAuthorMessage();
    EXPECT_NE(strErr.find("pic.sc:5:"), std::string::npos) << strErr;
    EXPECT_NE(strErr.find("the last good version keeps playing"), std::string::npos) << strErr;
    for (int k = 0; k < 3; ++k)
    {
        ASSERT_TRUE(viewer.stepFrame());
        EXPECT_TRUE(isColour(pixelAt(viewer.getDisp(), 40, 240), 0)) << k;
    }
    // Mended (and saved a few times over: reloading leaves nothing behind under the leak check).
    for (int i = 0; i < 4; ++i)
    {
        ASSERT_TRUE(saveAsEditor(live.src + "/scripts/pic.sc", picScript(i % 2 ? "pic" : "other")));
        ASSERT_TRUE(stepUntilRebuilt(viewer)) << i;
        ASSERT_TRUE(viewer.stepFrame());
        EXPECT_TRUE(isColour(pixelAt(viewer.getDisp(), 40, 240), i % 2 ? 0 : 2)) << i;
    }
    viewer.finishShow();
    viewer.release();
}
