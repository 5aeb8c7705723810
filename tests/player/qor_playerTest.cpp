// The player end to end: qor-player run as a user would, in a folder of the test's own.
#include <gtest/gtest.h>

#include "qor_testUtil.h"

#include <string>
#include <sys/stat.h>

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
    EXPECT_EQ(runPlayer(dir, "--frames 3", &out, "SDL_VIDEODRIVER=dummy"), 1) << out;
    EXPECT_NE(out.find("qor-player: start-up failed"), std::string::npos) << out;
    const std::string err = qort::readText(dir.file("qor_error.txt"));
    EXPECT_NE(err.find("bool qor_cSceneViewer::init()\n"), std::string::npos) << err;
    EXPECT_NE(err.find("bRet = initLowLevel();\n"), std::string::npos) << err;
}

// Exit status: 2 and the usage for a bad command line, 1 and a reason for what cannot run;
// nothing is created in the folder in either case.
TEST(Player, BadCommandLinesExitTwoAndMissingFoldersOne)
{
    struct Case
    {
        const char * szArgs;
        int iExit;
        const char * szSays;
    } const aCases[] = {
        {"--frames x", 2, "usage: qor-player"},
        {"--frames -1", 2, "usage: qor-player"},
        {"--frames 99999999999999999999", 2, "usage: qor-player"},
        {"--bogus", 2, "unknown option --bogus"},
        {"--frames", 2, "--frames needs a value"},
        {"--dir", 2, "--dir needs a value"},
        {"--dir /nonexistent/qor-folder", 1, "cannot enter the folder /nonexistent/qor-folder"},
        {"--help", 0, "usage: qor-player"},
    };
    for (const Case & c : aCases)
    {
        qort::TempDir dir;
        std::string out;
        const std::string cmd = "cd " + dir.path() + " && timeout 10 " + qort::binDir() + "/qor-player --no-dialogs " +
                                c.szArgs + " 2>&1";
        EXPECT_EQ(qort::runCommand(cmd, &out), c.iExit) << c.szArgs;
        EXPECT_NE(out.find(c.szSays), std::string::npos) << c.szArgs << ": " << out;
        EXPECT_FALSE(qort::fileExists(dir.file("application.ini"))) << c.szArgs << ": nothing ran";
    }
}

// An ID other than 0 or 1, or one that is no whole decimal number, is an error that names
// the value; nothing starts (no log of the scene viewer).
TEST(Player, IdThatIsNotZeroOrOneExitsOneWithAMessage)
{
    const char * const aszId[] = {"2", "-1", "abc", "4294967297", "1abc", " ", "0x1"};
    for (const char * szId : aszId)
    {
        qort::TempDir dir;
        ASSERT_TRUE(qort::writeText(dir.file("application.ini"), std::string("[APPLICATION]\nID=") + szId + "\nUSER=0\n"));
        std::string out;
        EXPECT_EQ(runPlayer(dir, "--frames 2", &out), 1) << szId;
        EXPECT_NE(out.find(std::string("ID is \"") + szId + "\"; it must be 0"), std::string::npos) << szId << ": " << out;
        EXPECT_FALSE(qort::fileExists(dir.file("qor_error.txt"))) << szId;
    }
}

// An application.ini or a pack that is not a regular file never blocks the player: the ini
// is refused with a reason, a pack that cannot be read counts as no pack.
TEST(Player, NonRegularIniOrPackIsRefusedWithoutHanging)
{
    {
        qort::TempDir dir;
        ASSERT_EQ(0, mkfifo(dir.file("application.ini").c_str(), 0666));
        std::string out;
        EXPECT_EQ(runPlayer(dir, "--frames 2", &out, "timeout 10"), 1) << out;
        EXPECT_NE(out.find("application.ini: is a named pipe, not a regular file"), std::string::npos) << out;
    }
    {
        qort::TempDir dir;
        ASSERT_EQ(0, mkdir(dir.file("application.ini").c_str(), 0777));
        std::string out;
        EXPECT_EQ(runPlayer(dir, "--frames 2", &out, "timeout 10"), 1) << out;
        EXPECT_NE(out.find("application.ini: is a folder, not a regular file"), std::string::npos) << out;
    }
    {
        qort::TempDir dir;
        // The scene test viewer's pack "__dummy__.dat" as a named pipe with no writer.
        ASSERT_TRUE(qort::writeText(dir.file("application.ini"), "[APPLICATION]\nID=0\nUSER=0\n"));
        ASSERT_EQ(0, mkfifo(dir.file("__dummy__.dat").c_str(), 0666));
        std::string out;
        EXPECT_EQ(runPlayer(dir, "--frames 2 --window", &out, "timeout 10"), 0) << out;
    }
}
