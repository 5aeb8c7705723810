// qor-build-show end to end: source folders written by the tests (and the tutorial of
// examples/tutorial) built by the program as installed in build/bin, the result listed with
// qor-pack and played by qor-player.
#include <gtest/gtest.h>

#include "qor_testJpeg.h"
#include "qor_testUtil.h"

#include <png.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
std::string bin(const std::string & tool) { return qort::binDir() + "/" + tool; }

// Runs the command; stderr in *pErr (stdout discarded). The exit status.
int run(const qort::TempDir & dir, const std::string & cmd, std::string * pErr)
{
    const std::string errFile = dir.file("stderr.txt");
    const int rc = qort::runCommand(cmd + " 2>" + errFile + " >/dev/null");
    *pErr = qort::readText(errFile);
    fs::remove(errFile);
    return rc;
}

void writePng(const std::string & path, int w, int h, const std::vector<unsigned char> & rgba)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(w);
    png.height = static_cast<png_uint_32>(h);
    png.format = PNG_FORMAT_RGBA;
    ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, rgba.data(), 0, nullptr));
}

struct Picture
{
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    std::vector<int> at(int x, int y) const
    {
        const size_t i = (static_cast<size_t>(y) * w + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

bool readPng(const std::string & path, Picture * pPic)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return false;
    png.format = PNG_FORMAT_RGB;
    pPic->w = static_cast<int>(png.width);
    pPic->h = static_cast<int>(png.height);
    pPic->rgb.resize(PNG_IMAGE_SIZE(png));
    return png_image_finish_read(&png, nullptr, pPic->rgb.data(), 0, nullptr) != 0;
}

// A copy of examples/tutorial with its music made by qor-gen-music, as the tutorial tells.
void copyTutorial(const qort::TempDir & dir, const std::string & src)
{
    fs::copy(qort::sourceDir() + "/examples/tutorial", src, fs::copy_options::recursive);
    fs::create_directories(src + "/music");
    std::string err;
    ASSERT_EQ(run(dir, bin("qor-gen-music") + " " + src + "/music/tune.mp3 --seed 7 --preview 180", &err), 0) << err;
}

// One frame of the show in OUT at S seconds.
Picture frameAt(const qort::TempDir & dir, const std::string & out, const std::string & seconds)
{
    const std::string png = dir.file("f_" + seconds + "_%d.png");
    std::string err;
    EXPECT_EQ(run(dir,
                  bin("qor-player") + " --dir " + out + " --no-dialogs --quiet --fps 30 --seek " + seconds +
                      " --frames 1 --capture " + png,
                  &err),
              0)
        << err;
    Picture pic;
    EXPECT_TRUE(readPng(dir.file("f_" + seconds + "_0.png"), &pic)) << err;
    return pic;
}

// The tutorial's picture maps/tile.png is one colour, (230, 120, 20); its quad is drawn with a
// white diffuse colour, so its pixels are the picture's (within the JPEG round trip).
void expectTile(const Picture & pic, int x, int y, bool bThere)
{
    ASSERT_EQ(pic.w, 640);
    const std::vector<int> c = pic.at(x, y);
    const bool bTile = std::abs(c[0] - 230) <= 6 && std::abs(c[1] - 120) <= 6 && std::abs(c[2] - 20) <= 6;
    EXPECT_EQ(bTile, bThere) << "pixel (" << x << ", " << y << ") is " << c[0] << ", " << c[1] << ", " << c[2];
}

// The cube's front face, painted by paint.sc: diffuse (40, 90, 255), no ambient, emissive or
// specular colour, so a lit pixel is k x (40, 90, 255) for the light k falling on it; the
// lights added by the import light the face the camera sees by more than 0.4.
void expectPaint(const Picture & pic, int x, int y)
{
    ASSERT_EQ(pic.w, 640);
    const std::vector<int> c = pic.at(x, y);
    const double k = c[2] / 255.0;
    EXPECT_GT(k, 0.4) << c[2];
    EXPECT_NEAR(c[0], k * 40, 10) << "red of (" << x << ", " << y << ")";
    EXPECT_NEAR(c[1], k * 90, 10) << "green of (" << x << ", " << y << ")";
}

// The quad of slide.sc: 300 x 400 thousandths of 640 x 480 is 192 x 192 pixels, centred at
// (0.5 + x) x 640 across and 240 down; x = -0.25 until frame 15, +0.25 from frame 45 on.
void expectScreenOne(const Picture & early, const Picture & late)
{
    expectTile(early, 160, 240, true);
    expectTile(early, 480, 240, false);
    expectTile(late, 160, 240, false);
    expectTile(late, 480, 240, true);
}

// Needs the player to play the show table of application.ini: screen one for 90 frame units
// (3 s), screen two for 90 more.
TEST(QorBuildShow, TutorialPlaysEachScreenAtItsTime)
{
    qort::TempDir dir;
    const std::string src = dir.file("src"), out = dir.file("out");
    copyTutorial(dir, src);
    std::string err;
    ASSERT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out, &err), 0) << err;
    EXPECT_EQ(qort::readText(out + "/application.ini"), "[APPLICATION]\nID=1\nUSER=0\n\n[SHOW]\nPACK=tutorial.dat\n"
                                                        "MUSIC=tune.mp3\nSCREEN1=intro.o,90\nSCREEN2=model.o,90\n");
    std::string list;
    ASSERT_EQ(qort::runCommand(bin("qor-pack") + " list " + out + "/tutorial.dat | cut -f1", &list), 0);
    EXPECT_EQ(list, "scripts\\exe\\cube_layer.o\nscripts\\exe\\intro.o\nscripts\\exe\\model.o\nscripts\\exe\\paint.o\n"
                    "scripts\\exe\\slide.o\nscenes\\cube.s3d\nscenes\\cube.s3d.mot\nmaps\\tile.jpg\ntune.mp3\n");
    expectScreenOne(frameAt(dir, out, "0.5"), frameAt(dir, out, "1.5"));
    const Picture second = frameAt(dir, out, "4.5");
    expectPaint(second, 320, 240);
    expectTile(second, 480, 240, false);
}

// The same sources under the built-in table's names (its first two screens, 890 and 390
// frame units) and pack name: what the player plays without a show table.
TEST(QorBuildShow, TutorialPlaysUnderTheBuiltInNames)
{
    qort::TempDir dir;
    const std::string src = dir.file("src"), out = dir.file("out");
    copyTutorial(dir, src);
    fs::rename(src + "/scripts/intro.sc", src + "/scripts/kv_screen_intro.sc");
    fs::rename(src + "/scripts/model.sc", src + "/scripts/kv_screen_dask.sc");
    fs::rename(src + "/music/tune.mp3", src + "/music/DASKMIX.mp3");
    std::string err;
    ASSERT_EQ(run(dir, bin("qor-gen-music") + " " + src + "/music/DASKMIX.mp3 --seed 7 --preview 1300", &err), 0)
        << err;
    ASSERT_TRUE(qort::writeText(src + "/show.ini",
                                "[SHOW]\nMUSIC=DASKMIX.mp3\nSCREEN1=kv_screen_intro.o,890\n"
                                "SCREEN2=kv_screen_dask.o,390\n[IMPORT]\ncube.obj=--stage --fit 100\n"));
    ASSERT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out + " --pack dask243.dat", &err), 0) << err;
    expectScreenOne(frameAt(dir, out, "0.5"), frameAt(dir, out, "1.5"));
    expectPaint(frameAt(dir, out, "31"), 320, 240);
}

// A picture with alpha becomes NAME.jpg (its colour) and NAME_a.jpg (the alpha as grey, read
// by its red channel); an opaque one only NAME.jpg.
TEST(QorBuildShow, PicturesSplitTheirAlpha)
{
    qort::TempDir dir;
    const std::string src = dir.file("src"), out = dir.file("out");
    fs::create_directories(src + "/maps");
    fs::create_directories(src + "/scripts");
    ASSERT_TRUE(qort::writeText(src + "/scripts/s.sc", "#include <qor>\nmain()\n{\n}\n"));
    ASSERT_TRUE(qort::writeText(src + "/show.ini", "[SHOW]\nSCREEN1=s.o,30\n"));
    // 8 x 8, colour (200, 100, 50); alpha 255 on the left half and 64 on the right.
    std::vector<unsigned char> rgba;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            rgba.insert(rgba.end(), {200, 100, 50, static_cast<unsigned char>(x < 4 ? 255 : 64)});
    writePng(src + "/maps/glass.png", 8, 8, rgba);
    for (auto & a : rgba)
        a = 255;
    writePng(src + "/maps/wall.png", 8, 8, rgba);
    std::string err;
    ASSERT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out, &err), 0) << err;
    int w = 0, h = 0;
    const std::vector<unsigned char> colour = qort::decodeJpeg(out + "/maps/glass.jpg", &w, &h);
    ASSERT_EQ(colour.size(), 8u * 8 * 3);
    EXPECT_NEAR(colour[0], 200, 4);
    EXPECT_NEAR(colour[1], 100, 4);
    EXPECT_NEAR(colour[2], 50, 4);
    const std::vector<unsigned char> alpha = qort::decodeJpeg(out + "/maps/glass_a.jpg", &w, &h);
    ASSERT_EQ(alpha.size(), 8u * 8 * 3);
    EXPECT_NEAR(alpha[(3 * 8 + 0) * 3], 255, 8); // left half
    EXPECT_NEAR(alpha[(3 * 8 + 7) * 3], 64, 8);  // right half
    EXPECT_TRUE(qort::fileExists(out + "/maps/wall.jpg"));
    EXPECT_FALSE(qort::fileExists(out + "/maps/wall_a.jpg"));
    std::string list;
    ASSERT_EQ(qort::runCommand(bin("qor-pack") + " list " + out + "/show.dat | cut -f1", &list), 0);
    EXPECT_EQ(list, "scripts\\exe\\s.o\nmaps\\glass.jpg\nmaps\\glass_a.jpg\nmaps\\wall.jpg\n");
    // Built again into the same folder without the glass: its textures left there from the
    // first build are not packed.
    fs::remove(src + "/maps/glass.png");
    ASSERT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out, &err), 0) << err;
    ASSERT_EQ(qort::runCommand(bin("qor-pack") + " list " + out + "/show.dat | cut -f1", &list), 0);
    EXPECT_EQ(list, "scripts\\exe\\s.o\nmaps\\wall.jpg\n");
}

// Files that are already what the player reads go in as they are: a JPEG byte for byte (not
// encoded again), every file of a maps/ subfolder, and a ready-made scene with its animation
// file. With --builtin-screens a show.ini naming no screen is taken and application.ini names
// none either (the player's built-in table plays).
TEST(QorBuildShow, ReadyFilesAreCopiedAsTheyAre)
{
    qort::TempDir dir;
    const std::string src = dir.file("src"), out = dir.file("out");
    for (const char * sub : {"/scripts", "/maps/qor", "/scenes"})
        fs::create_directories(src + sub);
    ASSERT_TRUE(qort::writeText(src + "/scripts/kv_screen_intro.sc", "#include <qor>\nmain()\n{\n}\n"));
    ASSERT_TRUE(qort::writeText(src + "/show.ini", "[SHOW]\nPACK=own.dat\n"));
    ASSERT_TRUE(qort::writeJpeg(src + "/maps/sky.jpg", 16, 8, qort::solidRgb(16, 8, 10, 120, 230), 75));
    const std::vector<unsigned char> font = {0, 1, 2, 255, 13, 10};
    ASSERT_TRUE(qort::writeBytes(src + "/maps/qor/font.dat", font.data(), font.size()));
    ASSERT_TRUE(qort::writeText(src + "/scenes/room.s3d", "scene"));
    ASSERT_TRUE(qort::writeText(src + "/scenes/room.s3d.MOT", "motion"));
    std::string err;
    EXPECT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out, &err), 1);
    EXPECT_NE(err.find("/show.ini: [SHOW] has no SCREEN1"), std::string::npos) << err;
    ASSERT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out + " --builtin-screens", &err), 0) << err;
    EXPECT_EQ(qort::readBytes(out + "/maps/sky.jpg"), qort::readBytes(src + "/maps/sky.jpg"));
    EXPECT_EQ(qort::readBytes(out + "/maps/qor/font.dat"), font);
    EXPECT_EQ(qort::readText(out + "/scenes/room.s3d.MOT"), "motion");
    EXPECT_EQ(qort::readText(out + "/application.ini"), "[APPLICATION]\nID=1\nUSER=0\n\n[SHOW]\nPACK=own.dat\n");
    std::string list;
    ASSERT_EQ(qort::runCommand(bin("qor-pack") + " list " + out + "/own.dat | cut -f1", &list), 0);
    EXPECT_EQ(list, "scripts\\exe\\kv_screen_intro.o\nscenes\\room.s3d\nscenes\\room.s3d.mot\nmaps\\sky.jpg\n"
                    "maps\\qor\\font.dat\n");
}

// An author's mistakes: each source folder (a working one with one file changed) is refused
// with exit 1, one line naming the file, the line where there is one, and what is wrong; and
// neither the pack nor application.ini is written.
struct Mistake
{
    const char * szWhat;
    const char * szFile; // relative to the source folder; "" removes show.ini
    const char * szText;
    const char * szLine; // expected in stderr, after the source folder's path
};

const Mistake s_aMistake[] = {
    {"no comma", "show.ini", "[SHOW]\nSCREEN1=main.o 90\n", "/show.ini:2: SCREEN1: \"main.o 90\" has no comma"},
    {"zero duration", "show.ini", "[SHOW]\nSCREEN1=main.o,0\n",
     "/show.ini:2: SCREEN1: the duration \"0\" is not a positive whole number"},
    {"fraction", "show.ini", "[SHOW]\n\nSCREEN1=main.o,2.5\n",
     "/show.ini:3: SCREEN1: the duration \"2.5\" is not a positive whole"},
    {"negative", "show.ini", "[SHOW]\nSCREEN1=main.o,-30\n", "/show.ini:2: SCREEN1: the duration \"-30\" is not"},
    {"gap", "show.ini", "[SHOW]\nSCREEN1=main.o,30\nSCREEN3=main.o,30\n",
     "/show.ini:3: SCREEN3 follows SCREEN1: SCREEN2 is missing"},
    {"no screen", "show.ini", "[SHOW]\nPACK=a.dat\n", "/show.ini: [SHOW] has no SCREEN1"},
    {"missing screen script", "show.ini", "[SHOW]\nSCREEN1=mian.o,30\n",
     "/show.ini:2: SCREEN1 names mian.o but there is no scripts/mian.sc"},
    {"source name", "show.ini", "[SHOW]\nSCREEN1=main.sc,30\n",
     "/show.ini:2: SCREEN1: \"main.sc\" is not a compiled script name"},
    {"long name", "show.ini", "[SHOW]\nSCREEN1=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.o,30\n",
     "/show.ini:2: SCREEN1: the name has 66 characters, at most 63"},
    {"unknown key", "show.ini", "[SHOW]\nSCREEN1=main.o,30\nMUSICK=a.mp3\n", "/show.ini:3: unknown key MUSICK"},
    {"twice", "show.ini", "[SHOW]\nSCREEN1=main.o,30\nSCREEN1=main.o,60\n",
     "/show.ini:3: SCREEN1 is given twice (first on line 2)"},
    {"missing music", "show.ini", "[SHOW]\nMUSIC=tune.mp3\nSCREEN1=main.o,30\n",
     "/show.ini:2: MUSIC names tune.mp3 but there is no music/tune.mp3"},
    {"no show.ini", "", "", "/show.ini: missing"},
    {"syntax error", "scripts/main.sc", "#include <qor>\nmain()\n{\n    new x = ;\n    addLayer(\"layer.o\");\n}\n",
     "/scripts/main.sc:4:"},
    {"missing layer", "scripts/main.sc", "#include <qor>\nmain()\n{\n    addLayer(\"lyaer.o\");\n}\n",
     "/scripts/main.sc:4: addLayer(\"lyaer.o\"): there is no scripts/lyaer.sc"},
    {"missing texture", "scripts/layer.sc",
     "#include <qor>\nmain()\n{\n    addQuad();\n    addMaterial(\"m\");\n    addPass();\n    addStage();\n    "
     "loadTexture(\"wal\");\n}\n",
     "/scripts/layer.sc:8: loadTexture(\"wal\"): no picture maps/wal.png or .jpg"},
    {"missing scene", "scripts/layer.sc", "#include <qor>\nmain()\n{\n    loadScene(\"scenes/cub.s3d\", \"\");\n}\n",
     "/scripts/layer.sc:4: loadScene(\"scenes/cub.s3d\"): no such scene"},
    {"missing material script", "scripts/layer.sc",
     "#include <qor>\n/* \"x\" */ main()\n{\n    replaceMaterial(\"m\", \"paint.o\");\n}\n",
     "/scripts/layer.sc:4: replaceMaterial(\"paint.o\"): there is no scripts/paint.sc"},
    {"broken picture", "maps/bad.png", "not a picture", "/maps/bad.png: not a readable PNG or JPEG picture"},
    {"other picture format", "maps/wall.bmp", "BM", "/maps/wall.bmp: not a PNG or JPEG picture"},
    {"broken model", "models/box.gltf", "{ \"asset\": ", "/models/box.gltf"},
    {"bad import option", "show.ini", "[SHOW]\nSCREEN1=main.o,30\n[IMPORT]\nbox.obj=--stage --spin 3\n",
     "/show.ini:4: box.obj: \"--spin\" is not an import option"},
    {"music not MP3", "music/tune.ogg", "OggS", "/music/tune.ogg: not an MP3 file"},
};

class QorBuildShowMistake : public ::testing::TestWithParam<Mistake>
{
};

TEST_P(QorBuildShowMistake, IsOneLineAndExitOne)
{
    const Mistake & m = GetParam();
    qort::TempDir dir;
    const std::string src = dir.file("src"), out = dir.file("out");
    fs::create_directories(src + "/scripts");
    fs::create_directories(src + "/maps");
    fs::create_directories(src + "/models");
    fs::create_directories(src + "/music");
    ASSERT_TRUE(qort::writeText(src + "/show.ini", "[SHOW]\nSCREEN1=main.o,30\n"));
    ASSERT_TRUE(
        qort::writeText(src + "/scripts/main.sc", "#include <qor>\nmain()\n{\n    addLayer(\"layer.o\");\n}\n"));
    ASSERT_TRUE(
        qort::writeText(src + "/scripts/layer.sc", "#include <qor>\nmain()\n{\n    setVP(0, 0, ONE, ONE);\n}\n"));
    if (m.szFile[0])
        ASSERT_TRUE(qort::writeText(src + "/" + m.szFile, m.szText));
    else
        fs::remove(src + "/show.ini");
    std::string err;
    EXPECT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out, &err), 1) << err;
    EXPECT_NE(err.find(src + m.szLine), std::string::npos) << m.szWhat << ":\n" << err;
    EXPECT_FALSE(qort::fileExists(out + "/show.dat"));
    EXPECT_FALSE(qort::fileExists(out + "/application.ini"));
}

INSTANTIATE_TEST_SUITE_P(Table, QorBuildShowMistake, ::testing::ValuesIn(s_aMistake),
                         [](const ::testing::TestParamInfo<Mistake> & info) {
                             std::string name = info.param.szWhat;
                             for (char & c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

// A working source folder builds with exit 0; bad command lines exit 2 with a usage line.
// --only rebuilds what the named source files make and nothing else: a script its image, an
// include every script, a picture its JPEG, a ready scene its copy; the pack and
// application.ini stay as the whole build wrote them.
TEST(QorBuildShow, OnlyRebuildsWhatTheNamedFilesMake)
{
    qort::TempDir dir;
    const std::string src = dir.file("src"), out = dir.file("out");
    for (const char * sub : {"/scripts", "/maps", "/scenes"})
        fs::create_directories(src + sub);
    const auto script = [](int n) {
        return "#include <qor>\n#include \"common.inc\"\nmain()\n{\n    qor_rand(0, K + " + std::to_string(n) +
               ");\n}\n";
    };
    ASSERT_TRUE(qort::writeText(src + "/show.ini", "[SHOW]\nSCREEN1=a.o,30\nSCREEN2=b.o,30\n"));
    ASSERT_TRUE(qort::writeText(src + "/scripts/common.inc", "const K = 1;\n"));
    ASSERT_TRUE(qort::writeText(src + "/scripts/a.sc", script(1)));
    ASSERT_TRUE(qort::writeText(src + "/scripts/b.sc", script(1)));
    ASSERT_TRUE(qort::writeJpeg(src + "/maps/sky.jpg", 16, 8, qort::solidRgb(16, 8, 10, 120, 230), 75));
    ASSERT_TRUE(qort::writeText(src + "/scenes/room.s3d", "scene 1"));
    std::string err;
    ASSERT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out, &err), 0) << err;
    const std::vector<std::string> outputs = {"scripts/exe/a.o", "scripts/exe/b.o", "maps/sky.jpg",
                                              "scenes/room.s3d", "show.dat",        "application.ini"};
    // Every source changed; each row names some of them.
    ASSERT_TRUE(qort::writeText(src + "/scripts/a.sc", script(2)));
    ASSERT_TRUE(qort::writeText(src + "/scripts/b.sc", script(2)));
    ASSERT_TRUE(qort::writeJpeg(src + "/maps/sky.jpg", 16, 8, qort::solidRgb(16, 8, 200, 20, 20), 75));
    ASSERT_TRUE(qort::writeText(src + "/scenes/room.s3d", "scene 2"));
    struct Case
    {
        const char * szOnly;
        std::set<std::string> changed; // outputs rewritten
    };
    const Case cases[] = {
        {"--only scripts/a.sc", {"scripts/exe/a.o"}},
        {"--only maps/sky.jpg --only scenes/room.s3d", {"maps/sky.jpg", "scenes/room.s3d"}},
        {"--only scripts/common.inc", {"scripts/exe/b.o"}}, // a.o is already the new one
    };
    for (const Case & c : cases)
    {
        std::map<std::string, std::vector<unsigned char>> before;
        for (const std::string & o : outputs)
            before[o] = qort::readBytes(out + "/" + o);
        ASSERT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out + " " + c.szOnly, &err), 0) << err;
        for (const std::string & o : outputs)
            EXPECT_EQ(qort::readBytes(out + "/" + o) != before[o], c.changed.count(o) > 0) << c.szOnly << ": " << o;
    }
    EXPECT_EQ(qort::readText(out + "/scenes/room.s3d"), "scene 2");
    EXPECT_EQ(qort::readBytes(out + "/maps/sky.jpg"), qort::readBytes(src + "/maps/sky.jpg"));
    // A script that no longer compiles (line 4 lacks its semicolon): its line, exit 1, its last
    // image kept.
    const std::vector<unsigned char> good = qort::readBytes(out + "/scripts/exe/a.o");
    ASSERT_TRUE(qort::writeText(src + "/scripts/a.sc", "#include <qor>\nmain()\n{\n    addLayer(\"x.o\")\n}\n"));
    EXPECT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + out + " --only scripts/a.sc", &err), 1);
    EXPECT_NE(err.find("/scripts/a.sc:4:"), std::string::npos) << err;
    EXPECT_EQ(qort::readBytes(out + "/scripts/exe/a.o"), good);
}

TEST(QorBuildShow, CommandLine)
{
    qort::TempDir dir;
    const std::string src = dir.file("src");
    fs::create_directories(src + "/scripts");
    ASSERT_TRUE(qort::writeText(src + "/show.ini", "[SHOW]\nSCREEN1=main.o,30\n"));
    ASSERT_TRUE(qort::writeText(src + "/scripts/main.sc", "#include <qor>\nmain()\n{\n}\n"));
    std::string err;
    EXPECT_EQ(run(dir, bin("qor-build-show") + " " + src + " -o " + dir.file("out"), &err), 0) << err;
    EXPECT_TRUE(qort::fileExists(dir.file("out/show.dat")));
    for (const std::string & args :
         {std::string(), src, "-o " + dir.file("o2"), src + " -o x --pack a/b.dat", src + " --bogus -o x"})
    {
        EXPECT_EQ(run(dir, bin("qor-build-show") + " " + args, &err), 2) << args;
        EXPECT_NE(err.find("usage: qor-build-show"), std::string::npos) << args;
    }
    EXPECT_EQ(run(dir, bin("qor-build-show") + " " + dir.file("nowhere") + " -o " + dir.file("o3"), &err), 1);
    EXPECT_NE(err.find(dir.file("nowhere") + ": no such folder"), std::string::npos) << err;
}
} // namespace
