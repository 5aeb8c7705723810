// The show described in application.ini's [SHOW] section: the table it gives, the built-in
// table without SCREENn keys, one line naming the key for each malformed entry, and a show of
// two screens played, seeked and counted by the player.
#include <gtest/gtest.h>

#include "qor_cConfigFile.h"
#include "qor_cShowConfig.h"
#include "qor_showTestUtil.h"

#include <algorithm>
#include <string>
#include <vector>

namespace
{
const std::string kHead = "[APPLICATION]\nID=1\nUSER=0\n[SHOW]\n";

// Reads the ini text into show; false with the message when it is refused.
bool readShow(const std::string & strIni, qor_cShowConfig & show, std::string * pError = nullptr)
{
    qort::TempDir dir;
    if (!qort::writeText(dir.file("application.ini"), strIni))
        return false;
    qor_cConfigFile ini;
    if (!ini.load(dir.file("application.ini").c_str()))
        return false;
    const bool bOk = show.read(ini);
    if (pError)
        *pError = show.getError();
    return bOk;
}

int runPlayer(const qort::TestShow & show, const std::string & options, std::string * pOut)
{
    const std::string cmd = "cd '" + show.path() + "' && " + qort::binDir() + "/qor-player --dir " + show.path() +
                            " --no-dialogs --window " + options + " 2>&1";
    return qort::runCommand(cmd, pOut);
}

struct Pixel
{
    bool bOk;
    qort::Rgb c;
};
Pixel centreOf(const std::string & path)
{
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    if (!qort::readPng(path, &w, &h, &rgb))
        return {false, {0, 0, 0}};
    const uint8_t * p = &rgb[(size_t(h / 2) * w + w / 2) * 3];
    return {true, {p[0], p[1], p[2]}};
}
} // namespace

TEST(ShowConfig, ScreensPackMusicAndLoadingComeFromTheSection)
{
    qor_cShowConfig show;
    // Keys in any order: the numbers give the order; a script may come back.
    ASSERT_TRUE(readShow(kHead + "PACK=my.dat\nMUSIC=tune.mp3\nLOADING=my_loading.o\nSCREEN2=main.o,300\n"
                                 "SCREEN1=intro.o,90\nSCREEN3=intro.o,45\n",
                         show))
        << show.getError();
    EXPECT_STREQ(show.getPack(), "my.dat");
    EXPECT_STREQ(show.getMusic(), "tune.mp3");
    EXPECT_STREQ(show.getLoading(), "my_loading.o");
    ASSERT_EQ(show.getNbScreen(), 3);
    const qor_sScreenEntry * t = show.getTable();
    EXPECT_STREQ(t[0].szScript, "intro.o");
    EXPECT_EQ(t[0].nDuration, 90);
    EXPECT_STREQ(t[1].szScript, "main.o");
    EXPECT_EQ(t[1].nDuration, 300);
    EXPECT_STREQ(t[2].szScript, "intro.o");
    EXPECT_EQ(t[2].nDuration, 45);
    EXPECT_EQ(t[3].szScript, nullptr);
    EXPECT_DOUBLE_EQ(show.getLength(), 435.0 / 30.0);
    EXPECT_FALSE(show.isBuiltinTable());

    // Without SCREENn keys the built-in fifteen screens play (9322 units), with the names given.
    ASSERT_TRUE(readShow(kHead + "PACK=other.dat\n", show)) << show.getError();
    EXPECT_TRUE(show.isBuiltinTable());
    EXPECT_EQ(show.getNbScreen(), 15);
    EXPECT_STREQ(show.getTable()[0].szScript, "kv_screen_intro.o");
    EXPECT_DOUBLE_EQ(show.getLength(), 9322.0 / 30.0);
    EXPECT_STREQ(show.getPack(), "other.dat");
    EXPECT_STREQ(show.getMusic(), "DASKMIX.mp3");
    EXPECT_STREQ(show.getLoading(), "kv_screen_loading.o");
    // No section at all: the same.
    ASSERT_TRUE(readShow("[APPLICATION]\nID=1\nUSER=0\n", show));
    EXPECT_STREQ(show.getPack(), "dask243.dat");
    EXPECT_EQ(show.getNbScreen(), 15);
}

TEST(ShowConfig, EachMalformedEntryIsOneLineNamingTheKeyAndLeavesTheShowAsItWas)
{
    const std::string strLong(600, 'x');
    struct Case
    {
        std::string strSection;
        const char * szKey;
        const char * szWhat;
    } const aCases[] = {
        {"SCREEN1=intro.o\n", "SCREEN1", "has no comma"},
        {"SCREEN1=intro.o,0\n", "SCREEN1", "\"0\" is not a positive whole number"},
        {"SCREEN1=intro.o,-5\n", "SCREEN1", "\"-5\" is not a positive whole number"},
        {"SCREEN1=intro.o,2.5\n", "SCREEN1", "\"2.5\" is not a positive whole number"},
        {"SCREEN1=intro.o, 90\n", "SCREEN1", "\" 90\" is not a positive whole number"},
        {"SCREEN1=intro.o,\n", "SCREEN1", "\"\" is not a positive whole number"},
        {"SCREEN1=intro.o,99999999999\n", "SCREEN1", "is not a positive whole number"},
        {"SCREEN1=,30\n", "SCREEN1", "no script name"},
        {"SCREEN1=a.o,30\nSCREEN3=b.o,30\n", "SCREEN3", "there is no SCREEN2"},
        {"SCREEN2=b.o,30\n", "SCREEN2", "there is no SCREEN1"},
        {"SCREEN0=a.o,30\n", "SCREEN0", "unknown key"},
        {"SCREEN01=a.o,30\n", "SCREEN01", "unknown key"},
        {"MUISC=a.mp3\n", "MUISC", "unknown key"},
        {"SCREEN257=a.o,30\n", "SCREEN257", "at most 256 screens"},
        {"SCREEN1=../a.o,30\n", "SCREEN1", "leaves the scripts folder"},
        {"SCREEN1=" + strLong + ".o,30\n", "SCREEN1", "cannot be read (longer than 511 characters"},
        {"SCREEN1=a.o,30\nSCREEN2=b.o,40", "SCREEN2", "last line of the file without a line break"},
        {"PACK=\n", "PACK", "or an empty value"},
    };
    for (const Case & c : aCases)
    {
        SCOPED_TRACE(c.strSection.substr(0, 40));
        qor_cShowConfig show;
        ASSERT_TRUE(readShow(kHead + "SCREEN1=keep.o,7\n", show));
        std::string strError;
        EXPECT_FALSE(readShow(kHead + c.strSection, show, &strError));
        EXPECT_EQ(strError.rfind(std::string("application.ini: [SHOW] ") + c.szKey + ": ", 0), 0u) << strError;
        EXPECT_NE(strError.find(c.szWhat), std::string::npos) << strError;
        EXPECT_EQ(strError.find('\n'), std::string::npos) << strError;
        ASSERT_EQ(show.getNbScreen(), 1);
        EXPECT_STREQ(show.getTable()[0].szScript, "keep.o");
    }
}

// The player: a malformed entry stops it before anything is drawn (no frame captured, exit 1)
// with one line; a well-formed one plays, seeks and counts its own two screens.
TEST(ShowConfig, PlayerPlaysTheTwoScreensOfTheSectionAtTheirTimes)
{
    qort::TestShow show;
    const qort::Rgb red = {250, 0, 0}, blue = {0, 0, 250};
    ASSERT_TRUE(show.addColourScreen("a.o", red)) << show.error();
    ASSERT_TRUE(show.addColourScreen("b.o", blue)) << show.error();
    std::string out;
    for (const char * szBad : {"SCREEN1=a.o,31\nSCREEN2=b.o\n", "SCREEN1=a.o,31\nSCREEN3=b.o,40\n"})
    {
        ASSERT_TRUE(qort::writeText(show.file("application.ini"), kHead + szBad));
        EXPECT_EQ(runPlayer(show, "--fps 20 --size 64x48 --capture 'bad_%d.png' --quiet", &out), 1) << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
        EXPECT_EQ(out.rfind("qor-player: application.ini: [SHOW] SCREEN", 0), 0u) << out;
        EXPECT_FALSE(qort::fileExists(show.file("bad_0.png"))) << "nothing is drawn";
    }

    ASSERT_TRUE(qort::writeText(show.file("application.ini"), kHead + "SCREEN1=a.o,31\nSCREEN2=b.o,40\n"));
    // At 20 frames a second each frame moves 1.5 units: frame k has spent 1.5k units on its
    // screen. a.o (31 units) is passed at frame 21 (31.5 > 31; frame 20 is at 30); b.o starts
    // at 0 there and is passed at frame 21 + 27 (40.5 > 40): frames 0 to 47, no frame 48.
    ASSERT_EQ(runPlayer(show, "--fps 20 --size 64x48 --capture 'f_%d.png' --quiet", &out), 0) << out;
    struct Expect
    {
        int k;
        qort::Rgb c;
    } const aFrames[] = {{0, red}, {20, red}, {21, blue}, {47, blue}};
    for (const Expect & e : aFrames)
    {
        const Pixel p = centreOf(show.file("f_" + std::to_string(e.k) + ".png"));
        ASSERT_TRUE(p.bOk) << "frame " << e.k << ": " << out;
        EXPECT_NEAR(p.c.r, e.c.r, 1) << "frame " << e.k;
        EXPECT_NEAR(p.c.g, e.c.g, 1) << "frame " << e.k;
        EXPECT_NEAR(p.c.b, e.c.b, 1) << "frame " << e.k;
    }
    EXPECT_FALSE(qort::fileExists(show.file("f_48.png")));

    // --seek 1.5 at 20 frames a second starts at frame 30: b.o. The show is 71 units, 2.37 s:
    // a seek to 3 s is refused.
    ASSERT_EQ(runPlayer(show, "--fps 20 --seek 1.5 --frames 1 --size 64x48 --capture 's_%d.png' --quiet", &out), 0)
        << out;
    const Pixel p = centreOf(show.file("s_0.png"));
    ASSERT_TRUE(p.bOk) << out;
    EXPECT_NEAR(p.c.b, blue.b, 1);
    EXPECT_NEAR(p.c.r, blue.r, 1);
    EXPECT_EQ(runPlayer(show, "--fps 20 --seek 3", &out), 2) << out;
    EXPECT_NE(out.find("--seek takes seconds from 0 to below 2.37 (the show's length)"), std::string::npos) << out;

    // --stats counts the frames of each entry under its own script name.
    ASSERT_EQ(runPlayer(show, "--fps 20 --stats", &out), 0) << out;
    EXPECT_NE(out.find("      0  a.o                           21"), std::string::npos) << out;
    EXPECT_NE(out.find("      1  b.o                           27"), std::string::npos) << out;
    EXPECT_NE(out.find("total: 48 frames"), std::string::npos) << out;
}

// What fails to load is told on standard error, one English line per cause naming the script,
// once; --strict makes any of it end the player after loading with exit 1.
TEST(ShowConfig, LoadProblemsAreOneLineEachAndStrictStopsAfterLoading)
{
    qort::TestShow show;
    ASSERT_TRUE(show.addColourScreen("a.o", {250, 0, 0})) << show.error();
    ASSERT_TRUE(qort::writeText(show.file("scripts/exe/junk.o"), std::string(300, 'j')));
    // A screen script that calls a layer native.
    ASSERT_TRUE(qort::writeText(show.file("src/wrong.sc"), "#include <qor>\nmain()\n{\n    addQuad();\n}\n"));
    ASSERT_EQ(qort::runCommand(qort::binDir() + "/qor-sc -I '" + qort::sourceDir() + "/scripts/include' '" +
                               show.file("src/wrong.sc") + "' -o '" + show.file("scripts/exe/wrong.o") + "' 2>&1"),
              0);
    ASSERT_TRUE(qort::writeText(
        show.file("application.ini"),
        kHead + "SCREEN1=a.o,10\nSCREEN2=missing.o,10\nSCREEN3=junk.o,10\nSCREEN4=missing.o,10\nSCREEN5=wrong.o,10\n"));
    const std::string strMissing =
        "qor-player: screen script \"missing.o\": script \"scripts/exe/missing.o\" not found";
    const std::string strJunk = "qor-player: screen script \"junk.o\": the script is not a valid compiled script";
    const std::string strWrong = "qor-player: screen script \"wrong.o\": native addQuad is not in this script's table";
    const auto count = [](const std::string & str, const std::string & strLine) {
        int n = 0;
        for (size_t i = str.find(strLine); i != std::string::npos; i = str.find(strLine, i + 1))
            ++n;
        return n;
    };
    std::string out;
    ASSERT_EQ(runPlayer(show, "--fps 20 --frames 3", &out), 0) << out;
    EXPECT_EQ(count(out, strMissing), 1) << out;
    EXPECT_EQ(count(out, strJunk), 1) << out;
    EXPECT_EQ(count(out, strWrong), 1) << out;
    EXPECT_EQ(runPlayer(show, "--fps 20 --frames 3 --strict --size 64x48 --capture 'f_%d.png' --quiet", &out), 1)
        << out;
    EXPECT_EQ(count(out, strMissing), 1) << out;
    EXPECT_NE(out.find("qor-player: --strict: 3 load problems; the show is not played"), std::string::npos) << out;
    EXPECT_FALSE(qort::fileExists(show.file("f_0.png")));
    // A show that loads whole plays under --strict.
    ASSERT_TRUE(qort::writeText(show.file("application.ini"), kHead + "SCREEN1=a.o,10\n"));
    EXPECT_EQ(runPlayer(show, "--fps 20 --frames 3 --strict", &out), 0) << out;
}

// A scene whose textures are missing or corrupt loads alike, one line per texture naming the
// file; an animation file that cannot be opened is named with the reason, not the scene.
TEST(ShowConfig, SceneProblemsNameTheFileThatIsReallyAtFault)
{
    qort::TestShow show;
    ASSERT_EQ(qort::runCommand(qort::binDir() + "/qor-gen-scenes '" + show.file("scenes") + "' 2>&1"), 0);
    ASSERT_TRUE(qort::writeText(show.file("src/l.sc"),
                                "#include <qor>\nmain()\n{\n    loadScene(\"scenes/machine.s3d\", "
                                "\"machine\");\n}\n"));
    ASSERT_TRUE(qort::writeText(show.file("src/s.sc"), "#include <qor>\nmain()\n{\n    addLayer(\"l.o\");\n}\n"));
    for (const char * szName : {"l", "s"})
        ASSERT_EQ(qort::runCommand(qort::binDir() + "/qor-sc -I '" + qort::sourceDir() + "/scripts/include' '" +
                                   show.file(std::string("src/") + szName + ".sc") + "' -o '" +
                                   show.file(std::string("scripts/exe/") + szName + ".o") + "' 2>&1"),
                  0);
    ASSERT_EQ(qort::runCommand("mkdir -p '" + show.file("maps") + "'"), 0);
    ASSERT_TRUE(qort::writeText(show.file("maps/metal.jpg"), std::string(3000, 'c'))); // corrupt; wood: missing
    ASSERT_EQ(qort::runCommand("rm '" + show.file("scenes/machine.s3d.MOT") + "' && mkfifo '" +
                               show.file("scenes/machine.s3d.MOT") + "'"),
              0);
    ASSERT_TRUE(qort::writeText(show.file("application.ini"), kHead + "SCREEN1=s.o,10\n"));
    std::string out;
    ASSERT_EQ(runPlayer(show, "--fps 20 --frames 2", &out), 0) << out;
    const std::string strWhere = "qor-player: screen script \"s.o\": layer script \"l.o\": ";
    EXPECT_NE(out.find(strWhere + "texture \"metal\" cannot be loaded: maps/metal.jpg is missing or not a JPEG"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(strWhere + "texture \"wood\" cannot be loaded: maps/wood.jpg is missing or not a JPEG"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(strWhere + "the animation file \"scenes/machine.s3d.MOT\" cannot be opened: is a named pipe"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("qor-player: " + std::string("screen script \"s.o\": layer script \"l.o\": the scene")),
              std::string::npos)
        << out;
}
