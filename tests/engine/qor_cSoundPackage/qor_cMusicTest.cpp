// The music stream on MP3 files made here (decoded length, position from the samples the
// device takes, stop / set position / play), and the two clocks of the same interface. Time is
// driven through the clocks' replaceable time source: nothing here waits.
#include <gtest/gtest.h>

#include "qor_cMusic.h"
#include "qor_testMp3.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
double s_dNow = 0.0;
double fakeNow() { return s_dNow; }

struct ScopedFakeTime
{
    explicit ScopedFakeTime(double d)
    {
        s_dNow = d;
        qor_cMusic::setTimeSource(fakeNow);
    }
    ~ScopedFakeTime() { qor_cMusic::setTimeSource(nullptr); }
};

// A new[] copy of a file image, as the pack reader hands it over.
char * heapCopy(const std::vector<uint8_t> & v)
{
    char * p = new char[v.size()];
    std::memcpy(p, v.data(), v.size());
    return p;
}

// Everything the stream plays from its position on, nFrames frames.
std::vector<int16_t> play(qor_cMusicStream & m, int nFrames)
{
    std::vector<int16_t> out(size_t(nFrames) * m.getChannels());
    m.fill(reinterpret_cast<uint8_t *>(out.data()), int(out.size() * sizeof(int16_t)));
    return out;
}

// Upward zero crossings of channel 0.
int crossings(const std::vector<int16_t> & pcm, int nChannels)
{
    int n = 0;
    for (size_t i = size_t(nChannels); i < pcm.size(); i += size_t(nChannels))
        if (pcm[i - size_t(nChannels)] < 0 && pcm[i] >= 0)
            ++n;
    return n;
}
} // namespace

struct DecodeCase
{
    int iRate;
    int iChannels;
    int nFrames;
    float fHz;
};

class qor_cMusicStreamDecode : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(qor_cMusicStreamDecode, DecodesToTheEncodedLengthRateAndPitch)
{
    const DecodeCase c = GetParam();
    const std::vector<uint8_t> mp3 = qort::makeMp3(c.iRate, c.iChannels, c.nFrames, c.fHz);
    ASSERT_FALSE(mp3.empty());
    qor_cMusicStream music;
    ASSERT_TRUE(music.open(heapCopy(mp3), uint(mp3.size()), false)) << music.getError();
    EXPECT_EQ(music.getRate(), c.iRate);
    EXPECT_EQ(music.getChannels(), c.iChannels);
    // The LAME tag removes the encoder's delay and padding: exactly the frames encoded.
    EXPECT_EQ(music.getLength(), uint64_t(c.nFrames));
    music.play();
    const std::vector<int16_t> pcm = play(music, c.nFrames);
    // The tone comes back at its pitch: one upward crossing per period.
    const double dPeriods = double(c.fHz) * c.nFrames / c.iRate;
    EXPECT_NEAR(crossings(pcm, c.iChannels), dPeriods, 2.0);
    // Past the end: silence.
    const std::vector<int16_t> tail = play(music, 1000);
    for (int16_t s : tail)
        ASSERT_EQ(s, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, qor_cMusicStreamDecode,
                         ::testing::Values(DecodeCase{44100, 2, 66150, 440.0f}, DecodeCase{22050, 1, 33075, 300.0f},
                                           DecodeCase{48000, 2, 96000, 1000.0f}));

TEST(qor_cMusicStream, PositionCountsTheFramesTheDeviceTookAndNeverRunsAheadOfThem)
{
    const std::vector<uint8_t> mp3 = qort::makeMp3(44100, 2, 44100 * 3, 440.0f);
    ScopedFakeTime t(100.0);
    qor_cMusicStream music;
    ASSERT_TRUE(music.open(heapCopy(mp3), uint(mp3.size()), false));
    EXPECT_FLOAT_EQ(music.getTime(), 0.0f);
    // Stopped: the device takes silence and the position stays.
    play(music, 4410);
    s_dNow = 101.0;
    EXPECT_FLOAT_EQ(music.getTime(), 0.0f);
    music.play();
    EXPECT_FLOAT_EQ(music.getTime(), 0.0f); // nothing taken yet
    play(music, 4410);                      // 100 ms handed to the device at t = 101
    EXPECT_FLOAT_EQ(music.getTime(), 0.0f);
    s_dNow = 101.05; // half of that chunk played
    EXPECT_NEAR(music.getTime(), 50.0f, 0.01f);
    s_dNow = 102.0; // a late device: the position waits at the chunk's end
    EXPECT_NEAR(music.getTime(), 100.0f, 0.01f);
    play(music, 4410); // the next chunk: the first one is played
    EXPECT_NEAR(music.getTime(), 100.0f, 0.01f);
    s_dNow = 102.02;
    EXPECT_NEAR(music.getTime(), 120.0f, 0.01f);
    music.stop();
    s_dNow = 110.0;
    EXPECT_NEAR(music.getTime(), 120.0f, 0.01f);
    EXPECT_FALSE(music.isPlaying());
}

TEST(qor_cMusicStream, StopSetPositionPlayRestartsTheSoundFromThatSample)
{
    const std::vector<uint8_t> mp3 = qort::makeMp3(44100, 2, 44100 * 2, 523.0f);
    qor_cMusicStream reference;
    ASSERT_TRUE(reference.open(heapCopy(mp3), uint(mp3.size()), false));
    reference.play();
    const std::vector<int16_t> whole = play(reference, 44100 * 2);

    ScopedFakeTime t(0.0);
    qor_cMusicStream music;
    ASSERT_TRUE(music.open(heapCopy(mp3), uint(mp3.size()), false));
    music.play();
    play(music, 30000);
    // Space: stop, back to 0, play.
    music.stop();
    music.setPosition(0.0f);
    music.play();
    EXPECT_FLOAT_EQ(music.getTime(), 0.0f);
    std::vector<int16_t> again = play(music, 2048);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), whole.begin()));
    // A seek to one second: the samples from frame 44100 on.
    music.setPosition(1000.0f);
    EXPECT_FLOAT_EQ(music.getTime(), 1000.0f);
    std::vector<int16_t> later = play(music, 2048);
    int iMaxDiff = 0;
    for (size_t i = 0; i < later.size(); ++i)
        iMaxDiff = std::max(iMaxDiff, std::abs(int(later[i]) - int(whole[44100 * 2 + i])));
    EXPECT_LE(iMaxDiff, 2);
    // Stop and play resume where the sound stopped, not where the decoder had run to.
    s_dNow = 5.0;
    play(music, 4410); // 100 ms more handed over at t = 5, from 1000 + 2048 frames
    s_dNow = 5.05;
    music.stop();
    const float fStopped = music.getTime();
    EXPECT_NEAR(fStopped, 1000.0f + 2048.0f / 44.1f + 50.0f, 0.05f);
    music.play();
    std::vector<int16_t> resumed = play(music, 256);
    const size_t iFrame = size_t(std::lround(fStopped * 44.1f)) - 1; // the position is truncated to a frame
    int iResumeDiff = 0;
    for (size_t i = 0; i < resumed.size(); ++i)
        iResumeDiff = std::max(iResumeDiff, std::abs(int(resumed[i]) - int(whole[iFrame * 2 + i])));
    EXPECT_LE(iResumeDiff, 300); // within a frame of the stop (a 523 Hz tone moves < 300 per frame)
}

TEST(qor_cMusicStream, PlayedTimeGoesOnPastTheEndSoAShowLongerThanItsMusicStillEnds)
{
    const std::vector<uint8_t> mp3 = qort::makeMp3(44100, 1, 4410, 440.0f);
    ScopedFakeTime t(0.0);
    qor_cMusicStream music;
    ASSERT_TRUE(music.open(heapCopy(mp3), uint(mp3.size()), false));
    music.play();
    for (int i = 0; i < 3; ++i)
        play(music, 4410);
    EXPECT_NEAR(music.getTime(), 200.0f, 0.01f); // three chunks handed over, two played
}

struct BadImage
{
    const char * szName;
    std::vector<uint8_t> bytes;
};

TEST(qor_cMusicStream, ImagesThatAreNotMp3AreRefusedWithAReason)
{
    std::vector<uint8_t> truncated = qort::makeMp3(44100, 2, 44100, 440.0f);
    truncated.resize(300); // the tag frame and a little more
    std::vector<uint8_t> noise(20000);
    uint32_t x = 12345;
    for (uint8_t & b : noise)
    {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 24) & 0x0F; // never a frame sync
    }
    const BadImage cases[] = {
        {"one byte", {0}},
        {"text", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'm', 'p', '3'}},
        {"noise without a frame sync", noise},
        {"cut after the tag", truncated},
    };
    for (const BadImage & c : cases)
    {
        qor_cMusicStream music;
        char * p = new char[c.bytes.size()];
        std::memcpy(p, c.bytes.data(), c.bytes.size());
        EXPECT_FALSE(music.open(p, uint(c.bytes.size()), false)) << c.szName;
        EXPECT_NE(music.getError(), nullptr) << c.szName;
        music.play();
        EXPECT_FLOAT_EQ(music.getTime(), 0.0f) << c.szName;
    }
    qor_cMusicStream none;
    EXPECT_FALSE(none.open(nullptr, 0, false));
}

TEST(qor_cMusicStream, OpensTheDummyDeviceAtTheFilesRate)
{
    const std::vector<uint8_t> mp3 = qort::makeMp3(22050, 1, 22050, 440.0f);
    qor_cMusicStream music;
    ASSERT_TRUE(music.open(heapCopy(mp3), uint(mp3.size()), true)) << music.getError();
    EXPECT_EQ(music.getRate(), 22050);
    music.play();
    EXPECT_TRUE(music.isPlaying());
    music.stop();
    const float f = music.getTime();
    EXPECT_FLOAT_EQ(music.getTime(), f); // stopped: it stands still
    music.close();
    EXPECT_FALSE(music.isPlaying());
}

TEST(qor_cWallClock, FollowsTheTimeSourceWhilePlayingOnly)
{
    ScopedFakeTime t(5.0);
    qor_cWallClock clock;
    EXPECT_FLOAT_EQ(clock.getTime(), 0.0f);
    s_dNow = 6.0;
    EXPECT_FLOAT_EQ(clock.getTime(), 0.0f); // not started
    clock.play();
    s_dNow = 6.25;
    EXPECT_FLOAT_EQ(clock.getTime(), 250.0f);
    clock.stop();
    s_dNow = 9.0;
    EXPECT_FLOAT_EQ(clock.getTime(), 250.0f);
    clock.setPosition(0.0f);
    clock.play();
    s_dNow = 9.5;
    EXPECT_FLOAT_EQ(clock.getTime(), 500.0f);
    clock.setPosition(2000.0f);
    s_dNow = 9.6;
    EXPECT_NEAR(clock.getTime(), 2100.0f, 0.01f);
}

TEST(qor_cStepClock, FrameKReadsThePositionPlusKStepsAndStopsWithTheMusic)
{
    struct Case
    {
        double dFps;
        float fStart;
        int nFrames;
        float fExpected;
    };
    const Case cases[] = {{30.0, 0.0f, 0, 0.0f}, {30.0, 0.0f, 3, 100.0f}, {60.0, 1000.0f, 6, 1100.0f},
                          {25.0, 500.0f, 25, 1500.0f}};
    for (const Case & c : cases)
    {
        qor_cStepClock clock(c.dFps);
        clock.setPosition(c.fStart);
        clock.play();
        for (int i = 0; i < c.nFrames; ++i)
            clock.nextFrame();
        EXPECT_NEAR(clock.getTime(), c.fExpected, 0.001f) << c.dFps << " fps, " << c.nFrames << " frames";
        clock.stop();
        clock.nextFrame();
        EXPECT_NEAR(clock.getTime(), c.fExpected, 0.001f);
    }
}
