// The show's music: length, format and section changes on the screen table's screen changes.
#include <gtest/gtest.h>

#include "qor_testUtil.h"

#include <mpg123.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
// The screen table's durations in frame units of 1/30 s, in order: intro, dask, inter1, black,
// chapter5, inter2, black, chapter7, inter3, chapter6, inter4, black, chapter4, endscroll,
// theend. They add up to 9322 units (310.73 s); at 44.1 kHz one unit is 1470 samples.
const int kUnits[15] = {890, 390, 450, 52, 1570, 450, 30, 1055, 450, 980, 450, 55, 1190, 1100, 210};
const long kSamplesPerUnit = 1470;
const long kTotalSamples = 9322 * kSamplesPerUnit; // 13 703 340

struct Decoded
{
    long rate = 0;
    int channels = 0;
    int bitrate = 0;
    std::vector<short> pcm; // interleaved stereo
};

bool decode(const std::string & path, Decoded & out)
{
    int err = MPG123_OK;
    mpg123_handle * mh = mpg123_new(nullptr, &err);
    if (!mh)
        return false;
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    bool bOk = mpg123_open(mh, path.c_str()) == MPG123_OK;
    if (bOk)
    {
        int enc = 0;
        bOk = mpg123_getformat(mh, &out.rate, &out.channels, &enc) == MPG123_OK;
        mpg123_frameinfo info;
        if (bOk && mpg123_info(mh, &info) == MPG123_OK)
            out.bitrate = info.bitrate;
        std::vector<unsigned char> buf(1 << 16);
        int ret = MPG123_OK;
        // The call that reports the end may still hand over the last samples.
        while (bOk && ret != MPG123_DONE)
        {
            size_t n = 0;
            ret = mpg123_read(mh, buf.data(), buf.size(), &n);
            if (ret != MPG123_OK && ret != MPG123_NEW_FORMAT && ret != MPG123_DONE)
                bOk = false;
            const short * p = reinterpret_cast<const short *>(buf.data());
            out.pcm.insert(out.pcm.end(), p, p + n / 2);
        }
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return bOk;
}

std::string tool() { return qort::binDir() + "/qor-gen-music"; }

// One piece for the checks of the whole show's music: synthesis and encoding take seconds, and
// test runners start one process per test case, so the checks share one test case.
class Music : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pDir = new qort::TempDir;
        s_status = qort::runCommand(tool() + " " + s_pDir->file("DASKMIX.mp3") + " 2>&1");
        s_pDecoded = new Decoded;
        s_bDecoded = s_status == 0 && decode(s_pDir->file("DASKMIX.mp3"), *s_pDecoded);
    }
    static void TearDownTestSuite()
    {
        delete s_pDecoded;
        delete s_pDir;
    }

    // Mean square of both channels over [t0, t1) seconds.
    static double power(double t0, double t1)
    {
        const std::vector<short> & pcm = s_pDecoded->pcm;
        size_t a = (size_t)(t0 * 44100) * 2, b = (size_t)(t1 * 44100) * 2;
        b = std::min(b, pcm.size());
        double sum = 0;
        for (size_t i = a; i < b; ++i)
            sum += (double)pcm[i] * pcm[i];
        return b > a ? sum / (double)(b - a) : 0.0;
    }

    void checkFormatAndLength();
    void checkLoudnessChanges();
    void checkBreaksAndEnd();
    void checkNoClipping();

    static qort::TempDir * s_pDir;
    static int s_status;
    static Decoded * s_pDecoded;
    static bool s_bDecoded;
};
qort::TempDir * Music::s_pDir = nullptr;
int Music::s_status = -1;
Decoded * Music::s_pDecoded = nullptr;
bool Music::s_bDecoded = false;
} // namespace

void Music::checkFormatAndLength()
{
    EXPECT_EQ(s_pDecoded->rate, 44100);
    EXPECT_EQ(s_pDecoded->channels, 2);
    EXPECT_GE(s_pDecoded->bitrate, 160);
    EXPECT_LE(s_pDecoded->bitrate, 192);
    long total = 0;
    for (int u : kUnits)
        total += u;
    ASSERT_EQ(total, 9322);
    // Within one frame unit of 9322 units (the encoder's delay and padding are trimmed by the
    // decoder from the information frame).
    const long frames = (long)s_pDecoded->pcm.size() / 2;
    EXPECT_NEAR((double)frames, (double)kTotalSamples, (double)kSamplesPerUnit);
}

void Music::checkLoudnessChanges()
{
    // Expected direction at each screen change, from what the screens are: +1 louder after,
    // -1 quieter after.
    // Start of each screen in units, the running sums of the durations worked out by hand
    // (29.67 s, 42.67 s, 57.67 s, 59.4 s, ... 303.73 s).
    struct Change
    {
        int iScreen; // the screen that starts here
        long start;  // its start in frame units
        int direction;
        const char * szWhat;
    };
    const Change aChange[] = {
        {1, 890, +1, "intro -> dask: the drums come in"}, {2, 1280, -1, "dask -> inter1: calm"},
        {3, 1730, -1, "inter1 -> black: a break"},        {4, 1782, +1, "black -> chapter5"},
        {5, 3352, -1, "chapter5 -> inter2"},              {6, 3802, -1, "inter2 -> black"},
        {7, 3832, +1, "black -> chapter7"},               {8, 4887, -1, "chapter7 -> inter3"},
        {9, 5337, +1, "inter3 -> chapter6"},              {10, 6317, -1, "chapter6 -> inter4"},
        {11, 6767, -1, "inter4 -> black"},                {12, 6822, +1, "black -> chapter4"},
        {13, 8012, -1, "chapter4 -> endscroll: half time"}, {14, 9112, -1, "endscroll -> theend: last chord"},
    };
    for (const Change & c : aChange)
    {
        long units = 0;
        for (int i = 0; i < c.iScreen; ++i)
            units += kUnits[i];
        ASSERT_EQ(units, c.start) << c.szWhat;
        const double t = c.start / 30.0;
        // A second on each side (less beside a short break), 0.15 s away from the change.
        const double before = std::min(1.0, kUnits[c.iScreen - 1] / 30.0 - 0.3);
        const double after = std::min(1.0, kUnits[c.iScreen] / 30.0 - 0.3);
        const double pBefore = power(t - 0.15 - before, t - 0.15);
        const double pAfter = power(t + 0.15, t + 0.15 + after);
        ASSERT_GT(pBefore, 0.0) << c.szWhat;
        ASSERT_GT(pAfter, 0.0) << c.szWhat;
        const double dB = 10.0 * std::log10(pAfter / pBefore);
        // At least 3.5 dB (half again the amplitude) in the expected direction.
        if (c.direction > 0)
            EXPECT_GT(dB, 3.5) << c.szWhat << " at " << t << " s";
        else
            EXPECT_LT(dB, -3.5) << c.szWhat << " at " << t << " s";
    }
}

void Music::checkBreaksAndEnd()
{
    // Full scale is 32767: a mean square of 32767^2 / 10^4 is -40 dB.
    const double full = 32767.0 * 32767.0;
    // The first black screen starts after intro, dask and inter1: 1730 units, 52 long.
    EXPECT_LT(power(1730 / 30.0 + 0.2, 1730 / 30.0 + 1.0), full * 1e-2) << "break below -20 dB";
    // The last 0.2 s of the show.
    EXPECT_LT(power(9322 / 30.0 - 0.2, 9322 / 30.0), full * 1e-5) << "the end below -50 dB";
    // A chapter plays well above both: chapter5 from 1782 units.
    EXPECT_GT(power(1782 / 30.0 + 5.0, 1782 / 30.0 + 10.0), full * 1e-2);
}

void Music::checkNoClipping()
{
    size_t nFull = 0;
    for (short s : s_pDecoded->pcm)
        if (s == 32767 || s == -32768)
            ++nFull;
    EXPECT_LT(nFull, (size_t)10) << "the limiter keeps peaks under full scale";
}

TEST_F(Music, TheWholePiece)
{
    ASSERT_EQ(s_status, 0);
    ASSERT_TRUE(s_bDecoded);
    {
        SCOPED_TRACE("format and length");
        checkFormatAndLength();
    }
    {
        SCOPED_TRACE("loudness at the screen changes");
        checkLoudnessChanges();
    }
    {
        SCOPED_TRACE("breaks and end");
        checkBreaksAndEnd();
    }
    {
        SCOPED_TRACE("clipping");
        checkNoClipping();
    }
}

TEST(MusicTool, SameSeedSameBytesOtherSeedOtherMelody)
{
    // A preview of 1000 units reaches into the title (from unit 890), where the seed's melody
    // plays.
    qort::TempDir dir;
    const std::string preview = " --preview 1000";
    ASSERT_EQ(qort::runCommand(tool() + " " + dir.file("a.mp3") + preview), 0);
    ASSERT_EQ(qort::runCommand(tool() + " " + dir.file("b.mp3") + preview), 0);
    ASSERT_EQ(qort::runCommand(tool() + " " + dir.file("c.mp3") + preview + " --seed 7"), 0);
    const std::vector<unsigned char> a = qort::readBytes(dir.file("a.mp3"));
    EXPECT_FALSE(a.empty());
    EXPECT_TRUE(a == qort::readBytes(dir.file("b.mp3")));
    EXPECT_FALSE(a == qort::readBytes(dir.file("c.mp3")));
    Decoded d;
    ASSERT_TRUE(decode(dir.file("a.mp3"), d));
    EXPECT_NEAR((double)d.pcm.size() / 2, 1000.0 * kSamplesPerUnit, (double)kSamplesPerUnit);
}

TEST(MusicTool, BadUsageAndUnsafeOutputs)
{
    qort::TempDir dir;
    struct Case
    {
        std::string args;
        int status;
    };
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
    ASSERT_TRUE(qort::writeText(dir.file("target"), "keep"));
    ASSERT_EQ(symlink(dir.file("target").c_str(), dir.file("link.mp3").c_str()), 0);
    const Case aCase[] = {
        {"", 2},
        {dir.file("x.mp3") + " --bitrate 96", 2},
        {dir.file("x.mp3") + " --seed -1", 2},
        {dir.file("x.mp3") + " --unknown", 2},
        {dir.file("x.mp3") + " " + dir.file("y.mp3"), 2},
        {dir.file("folder"), 1},
        {dir.file("link.mp3"), 1},
        {dir.file("missing/x.mp3"), 1},
    };
    for (const Case & c : aCase)
        EXPECT_EQ(qort::runCommand(tool() + " " + c.args + " 2>/dev/null"), c.status) << c.args;
    EXPECT_EQ(qort::readText(dir.file("target")), "keep") << "a link's target is never written";
}
