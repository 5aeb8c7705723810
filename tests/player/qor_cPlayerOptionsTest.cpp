// The player's own options: what each takes, what each refuses, and the names capture takes.
#include <gtest/gtest.h>

#include "qor_cCapture.h"
#include "qor_cPlayerOptions.h"

#include <string>
#include <utility>
#include <vector>

namespace
{
// Parses one option with its value; the result of parse() and the index it ended on.
int parseOne(std::vector<std::string> words, int * pEnd = nullptr)
{
    words.insert(words.begin(), "qor-player");
    std::vector<char *> argv;
    for (std::string & w : words)
        argv.push_back(w.data());
    int i = 1;
    const int iRet = qor_cPlayerOptions::parse(int(argv.size()), argv.data(), i);
    if (pEnd)
        *pEnd = i;
    return iRet;
}
} // namespace

TEST(qor_cPlayerOptions, TakesItsOptionsAndRefusesMalformedValues)
{
    struct Case
    {
        std::vector<std::string> words;
        int iResult;
    };
    const Case cases[] = {
        {{"--fps", "60"}, 1},
        {{"--fps", "29.97"}, 1},
        {{"--fps", "0"}, -1},
        {{"--fps", "-5"}, -1},
        {{"--fps", "60x"}, -1},
        {{"--fps"}, -1},
        {{"--seek", "0"}, 1},
        {{"--seek", "310.7"}, 1},
        {{"--seek", "310.74"}, 1},
        {{"--seek", "-1"}, -1},
        {{"--seek", "nan"}, -1},
        {{"--capture", "out.mp4"}, 1},
        {{"--capture", "a/f_%05d.png"}, 1},
        {{"--capture", "out.avi"}, -1},
        {{"--capture", "f_%s.png"}, -1},
        {{"--capture", "f_%d_%d.png"}, -1},
        {{"--capture", ".mkv"}, -1},
        {{"--size", "1280x720"}, 1},
        {{"--size", "1280"}, -1},
        {{"--size", "8x8"}, -1},
        {{"--size", "640x480x"}, -1},
        {{"--render-size", "1280x960"}, 1},
        {{"--render-size", "16x8192"}, 1},
        {{"--render-size", "8193x960"}, -1},
        {{"--render-size", "1280x"}, -1},
        {{"--render-size"}, -1},
        {{"--quiet"}, 1},
        {{"--stats-pixels"}, 1},
        {{"--window"}, 0},
        {{"--frames", "3"}, 0},
        {{"--range", "0:0"}, 1},
        {{"--range", "120:359"}, 1},
        {{"--range", "5:4"}, -1},
        {{"--range", "-1:4"}, -1},
        {{"--range", "3"}, -1},
        {{"--range", "3:4x"}, -1},
        {{"--range", " 3:4"}, -1},
        {{"--range"}, -1},
        {{"--screen", "1"}, 1},
        {{"--screen", "15"}, 1},
        {{"--screen", "0"}, -1},
        {{"--screen", "2.5"}, -1},
        {{"--screen"}, -1},
        {{"--loop"}, 1},
        {{"--hud"}, 1},
        {{"--hud-capture"}, 1},
        {{"--watch", "/"}, 1},
        {{"--watch", "/no/such/folder"}, -1},
        {{"--watch", "/dev/null"}, -1},
        {{"--watch"}, -1},
    };
    for (const Case & c : cases)
    {
        qor_cPlayerOptions::reset();
        testing::internal::CaptureStderr();
        const int iResult = parseOne(c.words);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(iResult, c.iResult) << c.words[0] << " " << (c.words.size() > 1 ? c.words[1] : "");
        // A refusal says why, on standard error; an acceptance says nothing.
        EXPECT_EQ(err.empty(), c.iResult >= 0) << err;
    }
    // The seek is held against the show's length (here the built-in show, 9322 units, 310.73 s)
    // once the show is known.
    for (const auto & seek : {std::pair<const char *, bool>{"310.7", true}, {"310.74", false}})
    {
        qor_cPlayerOptions::reset();
        ASSERT_EQ(parseOne({"--seek", seek.first}), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(qor_cPlayerOptions::checkSeek(), seek.second) << seek.first;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("--seek takes seconds from 0 to below 310.73") != std::string::npos, !seek.second) << err;
    }
    // --screen is held against the show's table (the built-in one: 15 entries).
    for (const auto & screen : {std::pair<const char *, bool>{"15", true}, {"16", false}})
    {
        qor_cPlayerOptions::reset();
        ASSERT_EQ(parseOne({"--screen", screen.first}), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(qor_cPlayerOptions::checkScreen(), screen.second) << screen.first;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("--screen takes an entry from 1 to 15") != std::string::npos, !screen.second) << err;
    }
    qor_cPlayerOptions::reset();
}

TEST(qor_cPlayerOptions, ValuesLandInTheOptionsAndCaptureImpliesSixtyFrames)
{
    qor_cPlayerOptions::reset();
    EXPECT_EQ(qor_cPlayerOptions::getStepFps(), 0.0);
    int iEnd = 0;
    EXPECT_EQ(parseOne({"--capture", "show.webm"}, &iEnd), 1);
    EXPECT_EQ(iEnd, 2);
    EXPECT_EQ(qor_cPlayerOptions::getStepFps(), 60.0);
    EXPECT_EQ(parseOne({"--fps", "25"}), 1);
    EXPECT_EQ(qor_cPlayerOptions::getStepFps(), 25.0);
    EXPECT_EQ(parseOne({"--size", "800x600"}), 1);
    EXPECT_EQ(qor_cPlayerOptions::get().iWidth, 800);
    EXPECT_EQ(qor_cPlayerOptions::get().iHeight, 600);
    EXPECT_EQ(parseOne({"--render-size", "1920x1440"}), 1);
    EXPECT_EQ(qor_cPlayerOptions::get().iRenderWidth, 1920);
    EXPECT_EQ(qor_cPlayerOptions::get().iRenderHeight, 1440);
    EXPECT_EQ(qor_cPlayerOptions::get().iWidth, 800); // --size is its own
    EXPECT_EQ(parseOne({"--seek", "12.5"}), 1);
    EXPECT_EQ(qor_cPlayerOptions::get().dSeek, 12.5);
    EXPECT_EQ(qor_cPlayerOptions::get().strCapture, "show.webm");
    qor_cPlayerOptions::setFailed();
    EXPECT_EQ(qor_cPlayerOptions::getExitStatus(), 1);
    qor_cPlayerOptions::reset();
    qor_cPlayerOptions::setStoppedBy(2); // SIGINT: 128 + 2, and a later failure keeps it
    qor_cPlayerOptions::setFailed();
    EXPECT_EQ(qor_cPlayerOptions::getExitStatus(), 130);
    qor_cPlayerOptions::reset();
    EXPECT_EQ(qor_cPlayerOptions::getExitStatus(), 0);
}

TEST(qor_cPlayerOptions, TheFirstFrameShownIsTheSeekTimeInFramesOrTheRangesFirst)
{
    // round(S x N) at the fixed step, 60 a second on the music's clock; --range gives it whole.
    struct Case
    {
        std::vector<std::vector<std::string>> options;
        int nFirst, nFrames;
    };
    const Case cases[] = {
        {{}, 0, -1},
        {{{"--seek", "12.5"}}, 750, -1},
        {{{"--seek", "0.0249"}, {"--fps", "20"}}, 0, -1},
        {{{"--seek", "0.025"}, {"--fps", "20"}}, 1, -1},
        {{{"--seek", "300"}, {"--capture", "f_%d.png"}}, 18000, -1},
        {{{"--seek", "1"}, {"--fps", "29.97"}}, 30, -1},
        {{{"--range", "120:359"}, {"--seek", "100"}}, 120, 240},
    };
    for (const Case & c : cases)
    {
        qor_cPlayerOptions::reset();
        for (const std::vector<std::string> & words : c.options)
            ASSERT_EQ(parseOne(words), 1) << words[0];
        EXPECT_EQ(qor_cPlayerOptions::getFirstFrame(), c.nFirst) << c.options.size();
        EXPECT_EQ(qor_cPlayerOptions::getRangeFrames(), c.nFrames) << c.options.size();
    }
    qor_cPlayerOptions::reset();
}

TEST(qor_cCapture, PngPatternsNumberTheFramesAsPrintfWould)
{
    struct Case
    {
        const char * szPattern;
        int nFrame;
        const char * szName;
    };
    const Case cases[] = {
        {"f_%05d.png", 7, "f_00007.png"}, {"f_%d.png", 123, "f_123.png"},   {"%3d.png", 5, "  5.png"},
        {"100%%_%04i.png", 12, "100%_0012.png"}, {"dir/%u", 0, "dir/0"},   {"f_%02d.png", 12345, "f_12345.png"},
    };
    for (const Case & c : cases)
    {
        EXPECT_EQ(qor_cCapture::kindOf(c.szPattern), qor_cCapture::qorrs_capture_png) << c.szPattern;
        EXPECT_STREQ(qor_cCapture::frameName(c.szPattern, c.nFrame).c_str(), c.szName);
    }
    EXPECT_EQ(qor_cCapture::kindOf("show.MP4"), qor_cCapture::qorrs_capture_video);
    EXPECT_EQ(qor_cCapture::kindOf("show.mov"), qor_cCapture::qorrs_capture_video);
    EXPECT_EQ(qor_cCapture::kindOf("show.png"), qor_cCapture::qorrs_capture_none);
    EXPECT_EQ(qor_cCapture::kindOf("f_%ld.png"), qor_cCapture::qorrs_capture_none);
    EXPECT_EQ(qor_cCapture::kindOf(""), qor_cCapture::qorrs_capture_none);
}
