// The player end to end: qor-player run as a user would, in a folder of the test's own.
#include <gtest/gtest.h>

#include "qor_testUtil.h"

#include <string>

namespace
{
// Runs qor-player in dir with the given options; the exit status, standard error in *pErr.
int runPlayer(const qort::TempDir & dir, const std::string & options, std::string * pOut = nullptr,
              const std::string & env = "")
{
    const std::string cmd = env + " " + qort::binDir() + "/qor-player --dir " + dir.path() + " --no-dialogs " +
                            options + " 2>&1";
    return qort::runCommand(cmd, pOut);
}
} // namespace

TEST(Player, WithoutIniCreatesAnEmptyOneAndStartsNothing)
{
    qort::TempDir dir;
    std::string out;
    EXPECT_EQ(runPlayer(dir, "--frames 2", &out), 0);
    EXPECT_TRUE(qort::fileExists(dir.file("application.ini")));
    EXPECT_EQ(qort::readText(dir.file("application.ini")), "");
    EXPECT_FALSE(qort::fileExists(dir.file("qor_error.txt"))) << "no application was created";
    EXPECT_EQ(out, "");
}

TEST(Player, IniThatNamesNoApplicationStartsNothing)
{
    const char * const aszIni[] = {
        "[APPLICATION]\nID=1\n",          // USER missing
        "[APPLICATION]\nID=0\nUSER=0",    // the last line has no line break: unreadable
        "[APPLICATION]\nID=2\nUSER=0\n",  // no such application
        "[APPLICATION]\nID = 0\nUSER=0\n" // "ID " is not ID
    };
    for (const char * szIni : aszIni)
    {
        qort::TempDir dir;
        ASSERT_TRUE(qort::writeText(dir.file("application.ini"), szIni));
        std::string out;
        EXPECT_EQ(runPlayer(dir, "--frames 2", &out), 0) << szIni;
        EXPECT_FALSE(qort::fileExists(dir.file("qor_error.txt"))) << szIni;
    }
}

TEST(Player, SceneViewerRunsHeadlessAndWritesItsLogs)
{
    qort::TempDir dir;
    ASSERT_TRUE(qort::writeText(dir.file("application.ini"), "[APPLICATION]\nID=0\nUSER=0\n"));
    std::string out;
    EXPECT_EQ(runPlayer(dir, "--frames 3", &out), 0) << out;
    const std::string err = qort::readText(dir.file("qor_error.txt"));
    EXPECT_EQ(err.rfind("----- Brenmark error log -----\nDate : ", 0), 0u) << err;
    EXPECT_EQ(qort::readText(dir.file("qor_trace.txt")).rfind("----- Brenmark trace log -----\n", 0), 0u);
}

TEST(Player, DemoPlayerRunsHeadlessForItsFramesWithoutLogs)
{
    qort::TempDir dir;
    ASSERT_TRUE(qort::writeText(dir.file("application.ini"), "[APPLICATION]\nID=1\nUSER=0\n"));
    std::string out;
    EXPECT_EQ(runPlayer(dir, "--frames 5 --window", &out), 0) << out;
    EXPECT_FALSE(qort::fileExists(dir.file("qor_error.txt")));
}

TEST(Player, DisplayFailureIsLoggedShownAndEndsCleanly)
{
    // The dummy video driver has no OpenGL: the window or the display cannot start.
    qort::TempDir dir;
    ASSERT_TRUE(qort::writeText(dir.file("application.ini"), "[APPLICATION]\nID=0\nUSER=0\n"));
    std::string out;
    EXPECT_EQ(runPlayer(dir, "--frames 3", &out, "SDL_VIDEODRIVER=dummy"), 0) << out;
    const std::string err = qort::readText(dir.file("qor_error.txt"));
    EXPECT_NE(err.find("bool qor_cSceneViewer::init()\n"), std::string::npos) << err;
    EXPECT_NE(err.find("bRet = initLowLevel();\n"), std::string::npos) << err;
}

TEST(Player, BadOptionsEndAtOnce)
{
    qort::TempDir dir;
    std::string out;
    EXPECT_EQ(runPlayer(dir, "--frames x", &out), 0);
    EXPECT_NE(out.find("usage: qor-player"), std::string::npos);
    EXPECT_FALSE(qort::fileExists(dir.file("application.ini"))) << "nothing ran";
}
