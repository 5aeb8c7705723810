// Capture end to end: qor-player writing a video with its music through ffmpeg, PNG frames at
// another size, and the errors a user meets (no ffmpeg, a name capture cannot take).
#include <gtest/gtest.h>

#include "qor_cLayerViewer.h"
#include "qor_showTestUtil.h"

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

namespace
{
int runPlayer(const qort::TestShow & show, const std::string & options, std::string * pOut = nullptr,
              const std::string & env = "")
{
    const std::string cmd = env + " " + qort::binDir() + "/qor-player --dir " + show.path() +
                            " --no-dialogs --window " + options + " 2>&1";
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
