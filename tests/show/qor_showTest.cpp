// The show itself: its pack (build/show/dask243.dat, made by the normal build), every screen
// script built from the pack with no line in the error log, each screen drawn at a few of its
// own times (neither black nor the same picture as the frame before), and the player playing
// the whole show headless at a fixed step to its end.
#include "qor_layerTestEnv.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace
{
std::string showDir()
{
    const char * p = std::getenv("QOR_SHOW_DIR");
    return p ? p : qort::binDir() + "/../show";
}

bool isFile(const std::string & path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The screens of the show's table (each script once) and the loading screen, with the length
// of their entry in frame units (the shortest entry for the black break).
struct sScreen
{
    const char * szScript;
    int nUnits;
};
const sScreen kScreens[] = {
    {"kv_screen_loading.o", 0},    {"kv_screen_intro.o", 890},     {"kv_screen_dask.o", 390},
    {"kv_screen_inter1.o", 450},    {"kv_screen_black.o", 30},      {"kv_screen_chapter5.o", 1570},
    {"kv_screen_inter2.o", 450},    {"kv_screen_chapter7.o", 1055}, {"kv_screen_inter3.o", 450},
    {"kv_screen_chapter6.o", 980},  {"kv_screen_inter4.o", 450},    {"kv_screen_chapter4.o", 1190},
    {"kv_screen_endscroll.o", 1100}, {"kv_screen_theend.o", 210},
};

class ShowTest : public qort::LayerTest
{
protected:
    void SetUp() override
    {
        LayerTest::SetUp();
        const std::string pack = showDir() + "/dask243.dat";
        if (!isFile(pack))
            GTEST_SKIP() << "no show pack at " << pack << " (built by the target qor_show_content)";
        // The player's working folder: animation files (.MOT) are read from the disk beside the
        // pack, as the player reads them.
        m_pChdir.reset();
        m_pChdir = std::make_unique<qort::ScopedChdir>(showDir());
        m_pPack = std::make_unique<qor_cMonofiler>();
        ASSERT_TRUE(m_pPack->open(pack.c_str())) << pack;
        setPack(m_pPack.get());
    }
    void TearDown() override
    {
        setPack(nullptr);
        m_pPack.reset();
        LayerTest::TearDown();
    }

    // Pixels whose colour differs by more than 24 in a channel.
    static int countDifferent(const std::vector<qort::Rgba> & a, const std::vector<qort::Rgba> & b)
    {
        int n = 0;
        for (size_t i = 0; i < a.size() && i < b.size(); ++i)
            if (std::abs(a[i].r - b[i].r) > 24 || std::abs(a[i].g - b[i].g) > 24 || std::abs(a[i].b - b[i].b) > 24)
                ++n;
        return n;
    }
    // Pixels brighter than a dark grey.
    static int countLit(const std::vector<qort::Rgba> & f)
    {
        int n = 0;
        for (const qort::Rgba & p : f)
            if (p.r + p.g + p.b > 48)
                ++n;
        return n;
    }

    std::unique_ptr<qor_cMonofiler> m_pPack;
};
} // namespace

// Every screen is drawn at five of its own times, a fifth of its length apart: each frame
// shows something (at least 1% of the pixels lit) and differs from the one before in at least
// 1% of its pixels; building and drawing it writes nothing to the error log.
TEST_F(ShowTest, EveryScreenBuildsCleanlyAndMoves)
{
    const int kPixels = 640 * 480;
    for (const sScreen & s : kScreens)
    {
        SCOPED_TRACE(s.szScript);
        qor_cLayerScreen screen;
        ASSERT_TRUE(screen.loadFromScript(const_cast<char *>(s.szScript))) << m_log.text();
        EXPECT_GT(screen.getNbLayer(), 0);
        std::vector<qort::Rgba> previous;
        // The loading screen is drawn once, at 0.001 units.
        const float fStep = s.nUnits / 5.0f;
        for (int k = 0; k < (s.nUnits ? 5 : 1); ++k)
        {
            // The first frame a tenth of a step in, then a step each.
            const auto f = frame(screen, k == 0 ? (s.nUnits ? fStep * 0.1f : 0.001f) : fStep);
            EXPECT_GT(countLit(f), kPixels / 100) << "frame " << k << " is black";
            if (!previous.empty())
            {
                EXPECT_GT(countDifferent(f, previous), kPixels / 100) << "frame " << k << " is the frame before";
            }
            previous = f;
        }
        EXPECT_EQ(m_log.text(), "");
    }
}

// The player plays the whole show at 5 frames a second headless and ends by itself after the
// last screen, with exit status 0. --stats counts the frames of each entry: a screen of D units
// (1/30 s) lasts D / 6 frames at 5 a second, give or take the frame that crosses into the next.
TEST_F(ShowTest, ThePlayerPlaysTheShowToItsEnd)
{
    const int kDurations[15] = {890, 390, 450, 52, 1570, 450, 30, 1055, 450, 980, 450, 55, 1190, 1100, 210};
    std::string out;
    const int rc = qort::runCommand("'" + qort::binDir() + "/qor-player' --dir '" + showDir() +
                                        "' --no-dialogs --fps 5 --frames 4000 --stats 2>&1",
                                    &out);
    ASSERT_EQ(rc, 0) << out;
    int nTotal = 0;
    for (int i = 0; i < 15; ++i)
    {
        SCOPED_TRACE(i);
        char szKey[32];
        std::snprintf(szKey, sizeof szKey, "\n  %5d  kv_screen_", i);
        const size_t at = out.find(szKey);
        ASSERT_NE(at, std::string::npos) << out;
        int iEntry = -1, nFrames = -1;
        char szName[64] = {};
        ASSERT_EQ(std::sscanf(out.c_str() + at, " %d %63s %d", &iEntry, szName, &nFrames), 3);
        EXPECT_NEAR(nFrames, kDurations[i] / 6.0, 2.0) << szName;
        nTotal += nFrames;
    }
    // 9322 units: 1553.7 frames, and the last screen ends the show (the frame limit is far).
    EXPECT_NE(out.find("total: " + std::to_string(nTotal) + " frames"), std::string::npos) << out;
    EXPECT_NEAR(nTotal, 9322 / 6.0, 16.0);
    EXPECT_NE(out.find("load time (start to first show frame): "), std::string::npos) << out;
}

// A seek replays the show from its start: at 2 frames a second, --seek S shows frame
// round(2 S) of a run from the start and the frames after it, byte for byte, across the
// switches near 29.67 s and 59.4 s, in chapter7's inset drawn into a texture (cleared with the
// colour the previous frame's fog left) and in the particle fountain of chapter6 (177.9 s to
// 210.57 s); a range gives the same frames.
TEST_F(ShowTest, ASeekOrARangeShowsTheFramesOfARunFromTheStart)
{
    qort::TempDir out;
    const std::string player =
        "'" + qort::binDir() + "/qor-player' --dir '" + showDir() + "' --no-dialogs --fps 2 --quiet ";
    std::string log;
    ASSERT_EQ(qort::runCommand(player + "--frames 400 --capture '" + out.file("ref_%d.png") + "' 2>&1", &log), 0)
        << log;
    const auto frame = [&](const std::string & prefix, int k) {
        return qort::readBytes(out.file(prefix + std::to_string(k) + ".png"));
    };
    // The fountain moves: two frames of it differ.
    EXPECT_NE(frame("ref_", 380), frame("ref_", 381));
    struct Seek
    {
        const char * szSeek;
        int nFirst;
    };
    const Seek seeks[] = {{"30", 60}, {"59.5", 119}, {"150", 300}, {"180", 360}, {"190.1", 380}};
    for (const Seek & s : seeks)
    {
        SCOPED_TRACE(s.szSeek);
        ASSERT_EQ(qort::runCommand(player + "--seek " + s.szSeek + " --frames 2 --capture '" + out.file("s_%d.png") +
                                       "' 2>&1",
                                   &log),
                  0)
            << log;
        for (int k = 0; k < 2; ++k)
            EXPECT_TRUE(frame("s_", k) == frame("ref_", s.nFirst + k)) << "frame " << s.nFirst + k;
    }
    ASSERT_EQ(qort::runCommand(player + "--range 378:381 --capture '" + out.file("r_%d.png") + "' 2>&1", &log), 0)
        << log;
    for (int k = 378; k <= 381; ++k)
        EXPECT_TRUE(frame("r_", k) == frame("ref_", k)) << "frame " << k;
}
