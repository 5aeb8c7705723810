#include <gtest/gtest.h>

#include "qor_cErrorHandler.h"
#include "qor_testUtil.h"

#include <regex>

TEST(qor_cErrorHandler, WritesBannersAndAppendsMessagesWhileItExists)
{
    qort::TempDir dir;
    const std::string err = dir.file("qor_error.txt"), trace = dir.file("qor_trace.txt");
    qoru_logError("before %d\n", 1); // no handler: nothing written anywhere
    EXPECT_FALSE(qort::fileExists(err));
    {
        qor_cErrorHandler handler(err.c_str(), trace.c_str());
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cScene::load(cchar * sz <%s>)\n", "a.s3d");
        const std::string text = qort::readText(err);
        EXPECT_TRUE(std::regex_match(text, std::regex("----- Brenmark error log -----\nDate : [A-Z][a-z]{2} [A-Z][a-z]{2} "
                                                      "[ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\n\n\n"
                                                      "File \".*qor_cErrorHandlerTest.cpp\", at line \\d+\n"
                                                      "bool qor_cScene::load\\(cchar \\* sz <a.s3d>\\)\n")))
            << text;
        EXPECT_TRUE(std::regex_match(qort::readText(trace),
                                     std::regex("----- Brenmark trace log -----\nDate : [^\n]+\n\n\n")));
    }
    const std::string before = qort::readText(err);
    qoru_logError("after\n");
    EXPECT_EQ(qort::readText(err), before) << "a destroyed handler stops all writing";
    // A second run truncates the log and starts it again.
    qor_cErrorHandler again(err.c_str(), trace.c_str());
    EXPECT_EQ(qort::readText(err).find("bool qor_cScene"), std::string::npos);
}

TEST(qor_cErrorHandler, ReportShowsOneBoxWithTheCaptionEvenWithoutHandler)
{
    qort::BoxCapture boxes;
    qoru_reportError("Impossible de charger le fichier <%s>", "x.jpg");
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], "Impossible de charger le fichier <x.jpg>");
    EXPECT_EQ(boxes.captions()[0], "Brenmark Error Handler V1.0");
    qort::LogCapture log;
    qoru_reportError("second\n");
    EXPECT_EQ(log.text(), "second\n");
    EXPECT_EQ(boxes.texts().size(), 2u);
}

TEST(qor_cErrorHandler, LongMessagesAreCutNotOverflowed)
{
    qort::LogCapture log;
    const std::string big(5000, 'z');
    qoru_logError("%s", big.c_str());
    EXPECT_EQ(log.text(), std::string(2047, 'z'));
}

TEST(qor_cLogFile, DeletesItsFileAtOnceAndIgnoresOverlongFormats)
{
    qort::TempDir dir;
    const std::string path = dir.file("own.log");
    ASSERT_TRUE(qort::writeText(path, "old content"));
    qor_cLogFile logFile(path.c_str());
    EXPECT_FALSE(qort::fileExists(path)) << "an existing file is removed even if nothing is logged";
    logFile.log("a %d\n", 1);
    logFile.log("%s", std::string(600, 'q').c_str()); // the format is short: formatted and cut to 511
    const std::string longFormat(511, 'f');
    logFile.log("%s", "b\n");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
    logFile.log(longFormat.c_str()); // the format itself is too long: ignored
#pragma GCC diagnostic pop
    const std::string text = qort::readText(path);
    EXPECT_EQ(text, "a 1\n" + std::string(511, 'q') + "b\n");
    qor_cLogFile discard; // no path: formats and discards
    discard.log("nothing\n");
}
