// Capture end to end: qor-player writing a video with its music through ffmpeg, PNG frames at
// another size, the errors a user meets (no ffmpeg, a name capture cannot take, an encoder that
// stops, a full disk, no music), seeks and ranges that give the frames of a run from the start,
// and a capture stopped by SIGINT.
#include <gtest/gtest.h>

#include "qor_cCapture.h"
#include "qor_cLayerViewer.h"
#include "qor_showTestUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace
{
int runPlayer(const qort::TestShow & show, const std::string & options, std::string * pOut = nullptr,
              const std::string & env = "")
{
    // Run from the show's folder: the relative capture names land there.
    const std::string cmd = "cd '" + show.path() + "' && " + env + " " + qort::binDir() + "/qor-player --dir " +
                            show.path() + " --no-dialogs --window " + options + " 2>&1";
    return qort::runCommand(cmd, pOut);
}

// Durations of the file's streams by type ("video", "audio"), from ffprobe.
std::map<std::string, double> streamDurations(const std::string & path)
{
    std::string out;
    std::map<std::string, double> durations;
    if (qort::runCommand("ffprobe -v error -show_entries stream=codec_type,duration -of csv=p=0 '" + path + "'",
                         &out) != 0)
        return durations;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
    {
        const size_t iComma = line.find(',');
        if (iComma != std::string::npos)
            durations[line.substr(0, iComma)] = std::atof(line.c_str() + iComma + 1);
    }
    return durations;
}
} // namespace

TEST(Capture, VideoHoldsTheFramesAndTheMusicFromTheSeekPosition)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    ASSERT_TRUE(show.addMusic(44100, 2, 44100 * 3));
    std::string out;
    // 45 frames at 60 per second: 0.75 s of picture, and of the music from 1 s on.
    ASSERT_EQ(runPlayer(show, "--seek 1 --frames 45 --capture show.mp4 --quiet", &out), 0) << out;
    const std::map<std::string, double> d = streamDurations(show.file("show.mp4"));
    ASSERT_EQ(d.count("video"), 1u) << out;
    ASSERT_EQ(d.count("audio"), 1u) << out;
    EXPECT_NEAR(d.at("video"), 0.75, 0.02);
    EXPECT_NEAR(d.at("audio"), 0.75, 0.05);
    // Quiet: nothing on standard error but what went wrong (nothing).
    EXPECT_EQ(out, "");
}

TEST(Capture, ProgressLineWhileCapturingUnlessQuiet)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    std::string out;
    ASSERT_EQ(runPlayer(show, "--frames 3 --capture 'f_%d.png'", &out), 0) << out;
    EXPECT_NE(out.find("\rframe 3  show 0:00.03"), std::string::npos) << out;
    EXPECT_EQ(out.back(), '\n');
}

TEST(Capture, PngFramesAtAnotherSizeKeepThePicturesShapeWithBars)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    std::string out;
    ASSERT_EQ(runPlayer(show, "--frames 2 --size 800x480 --capture 'f_%d.png' --quiet", &out), 0) << out;
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(qort::readPng(show.file("f_1.png"), &w, &h, &rgb));
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 480);
    // 4:3 in 800 x 480 is 640 x 480 from x = 80: black bars either side.
    const qort::Rgb c = qort::TestShow::colourOf(0);
    const auto at = [&](int x, int y) {
        const uint8_t * p = &rgb[(size_t(y) * w + x) * 3];
        return qort::Rgb{p[0], p[1], p[2]};
    };
    for (int x : {0, 79, 720, 799})
    {
        const qort::Rgb p = at(x, 240);
        EXPECT_EQ(p.r + p.g + p.b, 0) << "x " << x;
    }
    for (int x : {81, 400, 718})
    {
        const qort::Rgb p = at(x, 240);
        EXPECT_NEAR(p.r, c.r, 1) << "x " << x;
        EXPECT_NEAR(p.g, c.g, 1) << "x " << x;
        EXPECT_NEAR(p.b, c.b, 1) << "x " << x;
    }
    EXPECT_FALSE(qort::fileExists(show.file("f_2.png")));
}

TEST(Capture, FailuresSayWhyAndExitWithOne)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    std::string out;
    // No ffmpeg in PATH.
    EXPECT_EQ(runPlayer(show, "--frames 2 --capture show.mkv", &out, "PATH=/nonexistent"), 1) << out;
    EXPECT_NE(out.find("ffmpeg"), std::string::npos) << out;
    EXPECT_FALSE(qort::fileExists(show.file("show.mkv")));
    // A frame name that is a folder is not replaced.
    ASSERT_EQ(qort::runCommand("mkdir '" + show.file("f_0.png") + "'"), 0);
    EXPECT_EQ(runPlayer(show, "--frames 2 --capture 'f_%d.png' --quiet", &out), 1) << out;
    EXPECT_NE(out.find("not a regular file"), std::string::npos) << out;
    // An odd size cannot be a video.
    EXPECT_EQ(runPlayer(show, "--frames 2 --size 641x480 --capture show.mp4", &out), 1) << out;
    EXPECT_NE(out.find("even"), std::string::npos) << out;
}

// ----- exact seek, ranges, sound and picture together, stops

namespace
{
// Every entry of the show's table a ramp: grey level t at its own time t units (held from 250).
bool addRampShow(qort::TestShow & show)
{
    const qor_sScreenEntry * pTable = qor_cLayerViewer::getShowTable();
    for (int i = 0; pTable[i].szScript; ++i)
        if (!qort::fileExists(show.file(std::string("scripts/exe/") + pTable[i].szScript)) &&
            !show.addRampScreen(pTable[i].szScript))
            return false;
    return true;
}

std::string frameFile(const qort::TestShow & show, const std::string & prefix, int k)
{
    return show.file(prefix + std::to_string(k) + ".png");
}
} // namespace

TEST(CaptureSeek, ASeekOrARangeShowsTheVeryFramesOfARunFromTheStart)
{
    qort::TestShow show;
    ASSERT_TRUE(addRampShow(show)) << show.error();
    std::string out;
    // The run from the start at 10 frames a second: frame k at music time k / 10 s. The first
    // screen (890 units) gives way to the second near 29.67 s, frame 297.
    ASSERT_EQ(runPlayer(show, "--fps 10 --frames 312 --size 64x48 --capture 'ref_%d.png' --quiet", &out), 0) << out;
    ASSERT_TRUE(qort::fileExists(frameFile(show, "ref_", 311)));
    // The grey level of the second screen counts its own units: frames after the switch differ.
    EXPECT_NE(qort::readBytes(frameFile(show, "ref_", 300)), qort::readBytes(frameFile(show, "ref_", 305)));
    // --seek S shows frame round(S x 10) first, then the next ones.
    struct Seek
    {
        const char * szSeek;
        int nFirst;
    };
    const Seek seeks[] = {{"12.34", 123}, {"29.6", 296}, {"29.65", 297}, {"29.71", 297}, {"30.5", 305}};
    for (const Seek & s : seeks)
    {
        SCOPED_TRACE(s.szSeek);
        ASSERT_EQ(runPlayer(show,
                            std::string("--fps 10 --seek ") + s.szSeek +
                                " --frames 3 --size 64x48 --capture 's_%d.png' --quiet",
                            &out),
                  0)
            << out;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(qort::readBytes(frameFile(show, "s_", k)), qort::readBytes(frameFile(show, "ref_", s.nFirst + k)))
                << "frame " << s.nFirst + k;
    }
    // --range FIRST:LAST: those frames, numbered by their index, and no other.
    ASSERT_EQ(runPlayer(show, "--fps 10 --range 294:301 --size 64x48 --capture 'r_%d.png' --quiet", &out), 0) << out;
    for (int k = 294; k <= 301; ++k)
        EXPECT_EQ(qort::readBytes(frameFile(show, "r_", k)), qort::readBytes(frameFile(show, "ref_", k))) << k;
    EXPECT_FALSE(qort::fileExists(frameFile(show, "r_", 293)));
    EXPECT_FALSE(qort::fileExists(frameFile(show, "r_", 302)));
    EXPECT_FALSE(qort::fileExists(frameFile(show, "r_", 0)));
    // A range past the end of the show (310.73 s, a little more at this step) captures nothing.
    EXPECT_EQ(runPlayer(show, "--fps 10 --range 3200:3201 --size 64x48 --capture 'e_%d.png' --quiet", &out), 1);
    EXPECT_NE(out.find("qor-player: the show ends before frame 3200 (at 10 frames a second)"), std::string::npos)
        << out;
    EXPECT_FALSE(qort::fileExists(frameFile(show, "e_", 3200)));
}

TEST(CaptureSeek, TheFlashAndTheClickOfUnitULandInTheSameVideoFrame)
{
    // The first screen flashes white at its unit 45; the music clicks at 45 / 30 = 1.5 s (a
    // 10 ms burst of 2 kHz). Captured at 30 frames a second from 1 s on, both fall in the video's
    // frame 45 - 30 = 15.
    const int kUnit = 45, kRate = 44100;
    qort::TestShow show;
    ASSERT_TRUE(show.addFlashScreen("kv_screen_intro.o", kUnit)) << show.error();
    std::vector<short> music(size_t(kRate) * 3, 0);
    const int iClick = kRate * kUnit / 30;
    for (int i = 0; i < kRate / 100; ++i)
        music[size_t(iClick + i)] = short(std::lround(24000.0 * std::sin(6.283185307179586 * 2000.0 * i / kRate)));
    ASSERT_TRUE(show.addMusic(kRate, music));
    std::string out;
    ASSERT_EQ(runPlayer(show, "--fps 30 --seek 1 --frames 30 --size 64x48 --capture av.mp4 --quiet", &out), 0) << out;

    // The picture: 8 x 6 grey frames; the first bright one.
    std::string video;
    ASSERT_EQ(qort::runCommand("ffmpeg -v error -i '" + show.file("av.mp4") +
                                   "' -vf scale=8:6 -f rawvideo -pix_fmt gray - 2>/dev/null",
                               &video),
              0);
    ASSERT_EQ(video.size(), 30u * 48u);
    int iFlash = -1;
    for (int f = 0; f < 30 && iFlash < 0; ++f)
    {
        int nSum = 0;
        for (int i = 0; i < 48; ++i)
            nSum += static_cast<unsigned char>(video[size_t(f) * 48 + i]);
        if (nSum / 48 > 128)
            iFlash = f;
    }
    EXPECT_EQ(iFlash, kUnit - 30);

    // The sound: the centre of the samples above half the loudest one.
    std::string audio;
    ASSERT_EQ(qort::runCommand("ffmpeg -v error -i '" + show.file("av.mp4") +
                                   "' -map 0:a -ac 1 -ar 44100 -f s16le - 2>/dev/null",
                               &audio),
              0);
    const size_t nSamples = audio.size() / 2;
    ASSERT_GT(nSamples, size_t(kRate) / 2);
    const auto sample = [&](size_t i) {
        return std::abs(int(int16_t(uint16_t(uint8_t(audio[2 * i])) | uint16_t(uint8_t(audio[2 * i + 1])) << 8)));
    };
    int iPeak = 0;
    for (size_t i = 0; i < nSamples; ++i)
        iPeak = std::max(iPeak, sample(i));
    ASSERT_GT(iPeak, 4000);
    double dSum = 0.0;
    int nLoud = 0;
    for (size_t i = 0; i < nSamples; ++i)
        if (sample(i) * 2 > iPeak)
        {
            dSum += double(i);
            ++nLoud;
        }
    const double dClick = dSum / nLoud / kRate;
    EXPECT_EQ(int(std::floor(dClick * 30.0)), iFlash) << "click at " << dClick << " s of the video";
}

TEST(CaptureStop, SigintFinishesThePlayableVideoOfTheFramesWritten)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    ASSERT_TRUE(show.addMusic(44100, 2, 44100 * 3));
    ASSERT_EQ(qort::runCommand("mkdir '" + show.file("tmp") + "'"), 0);
    // The player in the background; SIGINT once its progress line shows frames going out.
    const std::string script = "cd '" + show.path() + "' && TMPDIR='" + show.file("tmp") + "' timeout 300 " +
                               qort::binDir() + "/qor-player --dir " + show.path() +
                               " --no-dialogs --window --size 64x48 --capture stop.mkv 2>'" + show.file("err.txt") +
                               "' & p=$!; i=0; while [ $i -lt 600 ] && [ ! -s '" + show.file("err.txt") +
                               "' ]; do sleep 0.1; i=$((i+1)); done; sleep 0.3; kill -INT $p; " + "wait $p; echo $?";
    std::string rc;
    ASSERT_EQ(qort::runCommand(script, &rc), 0);
    const std::string err = qort::readText(show.file("err.txt"));
    EXPECT_EQ(rc, "130\n") << err;
    int nFrames = -1;
    const size_t at = err.find("qor-player: stopped by SIGINT after ");
    ASSERT_NE(at, std::string::npos) << err;
    ASSERT_EQ(std::sscanf(err.c_str() + at, "qor-player: stopped by SIGINT after %d frames", &nFrames), 1);
    EXPECT_GT(nFrames, 0);
    // ffprobe reads it whole: as many frames as written, the last one (N - 1) / 60 s after the
    // first (the file's clock counts milliseconds), so that the picture lasts N / 60 s.
    std::string probe;
    ASSERT_EQ(qort::runCommand("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 '" +
                                   show.file("stop.mkv") + "'",
                               &probe),
              0)
        << probe;
    std::istringstream in(probe);
    int nRead = 0;
    double dFirst = 1e9, dLast = -1.0, dPts = 0.0;
    while (in >> dPts)
    {
        ++nRead;
        dFirst = std::min(dFirst, dPts);
        dLast = std::max(dLast, dPts);
    }
    EXPECT_EQ(nRead, nFrames);
    EXPECT_NEAR(dLast - dFirst + 1.0 / 60.0, nFrames / 60.0, 0.0015);
    // The music handed to ffmpeg left nothing behind.
    std::string left;
    qort::runCommand("ls -A '" + show.file("tmp") + "'", &left);
    EXPECT_EQ(left, "");
}

TEST(CaptureStop, AnEncoderThatStopsOrAFullDiskEndsWithItsCauseAndOne)
{
    struct Case
    {
        const char * szFake; // the body of the ffmpeg found in PATH
        const char * szSays;
    };
    const Case cases[] = {
        // Takes one 640 x 480 frame, then gives up (a frame is larger than a pipe holds: the
        // second cannot be written whole).
        {"head -c 1228800 >/dev/null; echo 'fake ffmpeg: gives up' >&2; exit 3",
         "ffmpeg stopped taking frames after 1 (broken pipe; ffmpeg exited with 3"},
        // Its output is a full disk.
        {"exec cat >/dev/full", "No space left on device"},
    };
    for (const Case & c : cases)
    {
        SCOPED_TRACE(c.szFake);
        qort::TestShow show;
        ASSERT_TRUE(show.addAllScreens()) << show.error();
        ASSERT_TRUE(show.addMusic(44100, 2, 44100));
        ASSERT_EQ(qort::runCommand("mkdir '" + show.file("bin") + "' '" + show.file("tmp") + "'"), 0);
        ASSERT_TRUE(qort::writeText(show.file("bin/ffmpeg"), std::string("#!/bin/sh\n") + c.szFake + "\n"));
        ASSERT_EQ(qort::runCommand("chmod +x '" + show.file("bin/ffmpeg") + "'"), 0);
        std::string out;
        EXPECT_EQ(runPlayer(show, "--frames 600 --capture out.mp4 --quiet", &out,
                            "TMPDIR='" + show.file("tmp") + "' PATH='" + show.file("bin") + "':$PATH"),
                  1);
        EXPECT_NE(out.find(c.szSays), std::string::npos) << out;
        EXPECT_NE(out.find("ffmpeg exited with"), std::string::npos) << out;
        std::string left;
        qort::runCommand("ls -A '" + show.file("tmp") + "'", &left);
        EXPECT_EQ(left, "");
    }
}

TEST(CaptureStop, AVideoWithoutMusicSaysItIsSilent)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    std::string out;
    ASSERT_EQ(runPlayer(show, "--frames 3 --size 64x48 --capture silent.mkv --quiet", &out), 0) << out;
    EXPECT_NE(out.find("qor-player: capture: no music (\"DASKMIX.mp3\" cannot be read): the video is silent"),
              std::string::npos)
        << out;
    const std::map<std::string, double> d = streamDurations(show.file("silent.mkv"));
    EXPECT_EQ(d.count("video"), 1u);
    EXPECT_EQ(d.count("audio"), 0u);

    // A music that does not decode: the same silent video, and the reason.
    ASSERT_TRUE(qort::writeText(show.file("DASKMIX.mp3"), std::string(4000, 'n')));
    ASSERT_EQ(runPlayer(show, "--frames 3 --size 64x48 --capture noise.mkv --quiet", &out), 0) << out;
    EXPECT_NE(out.find("qor-player: capture: the music \"DASKMIX.mp3\" cannot be decoded ("), std::string::npos) << out;
    const std::map<std::string, double> d2 = streamDurations(show.file("noise.mkv"));
    EXPECT_EQ(d2.count("video"), 1u);
    EXPECT_EQ(d2.count("audio"), 0u);
}

// Paths on the command line are the caller's: a relative capture name lands in the folder the
// player was started from, not in --dir.
TEST(Capture, ARelativeNameIsTheCallersNotTheShowFolders)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addAllScreens()) << show.error();
    qort::TempDir caller;
    std::string out;
    ASSERT_EQ(qort::runCommand("cd '" + caller.path() + "' && " + qort::binDir() + "/qor-player --dir '" + show.path() +
                                   "' --no-dialogs --window --frames 1 --size 64x48 --capture 'f_%d.png' --quiet 2>&1",
                               &out),
              0)
        << out;
    EXPECT_TRUE(qort::fileExists(caller.file("f_0.png"))) << out;
    EXPECT_FALSE(qort::fileExists(show.file("f_0.png")));
}

TEST(Capture, FramesQueuedForTheWriterLandWholeAndInOrder)
{
    // Frames handed over faster than the writer takes them (the queue holds three) are all
    // written, each its own picture, when the capture is closed; a frame that cannot be
    // written stops the writer, and close says why.
    for (const bool bBlocked : {false, true})
    {
        SCOPED_TRACE(bBlocked ? "frame 2 cannot be written" : "all written");
        qort::TestShow show;
        if (bBlocked)
        {
            ASSERT_EQ(qort::runCommand("mkdir '" + show.file("f_2.png") + "'"), 0);
        }
        qor_cCapture capture;
        const int w = 4, h = 2, nFrames = 9;
        ASSERT_TRUE(capture.open(show.file("f_%d.png").c_str(), w, h, 60.0, nullptr, 0, 0.0)) << capture.getError();
        // Frame k, pixel i: B = k, G = i, R = 10 k + i, A = 255.
        const auto byteOf = [](int k, int i, int c) { return c == 0 ? k : c == 1 ? i : c == 2 ? 10 * k + i : 255; };
        bool bWritten = true;
        for (int k = 0; k < nFrames && bWritten; ++k)
        {
            std::vector<uint8_t> bgra(size_t(w) * h * 4);
            for (int i = 0; i < w * h; ++i)
                for (int c = 0; c < 4; ++c)
                    bgra[size_t(i) * 4 + c] = uint8_t(byteOf(k, i, c));
            bWritten = capture.writeFrame(bgra.data(), w, h);
        }
        const bool bClosed = capture.close();
        EXPECT_EQ(bWritten && bClosed, !bBlocked);
        if (bBlocked)
        {
            EXPECT_NE(std::string(capture.getError()).find("f_2.png\" is not a regular file"), std::string::npos)
                << capture.getError();
        }
        for (int k = 0; k < nFrames; ++k)
        {
            const std::string name = show.file("f_" + std::to_string(k) + ".png");
            if (bBlocked && k >= 2)
            {
                if (k > 2)
                {
                    EXPECT_FALSE(qort::fileExists(name)) << k; // nothing after the failure
                }
                continue;
            }
            int pw = 0, ph = 0;
            std::vector<uint8_t> rgb;
            ASSERT_TRUE(qort::readPng(name, &pw, &ph, &rgb)) << k;
            ASSERT_EQ(pw, w);
            ASSERT_EQ(ph, h);
            for (int i = 0; i < w * h; ++i)
            {
                EXPECT_EQ(rgb[size_t(i) * 3 + 0], byteOf(k, i, 2)) << k << " " << i;
                EXPECT_EQ(rgb[size_t(i) * 3 + 1], byteOf(k, i, 1)) << k << " " << i;
                EXPECT_EQ(rgb[size_t(i) * 3 + 2], byteOf(k, i, 0)) << k << " " << i;
            }
        }
    }
}
