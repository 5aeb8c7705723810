// The show's textures: names and sizes the loaders take, tiling, looping, seams, table maps.
#include <gtest/gtest.h>

#include "qor_cImageOps.h"
#include "qor_cJpegPlugin.h"
#include "qor_testUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
struct Picture
{
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    int at(int x, int y, int c) const { return rgb[((size_t)y * w + x) * 3 + c]; }
    int red(int x, int y) const { return at(x, y, 0); }
};

std::string tool() { return qort::binDir() + "/qor-gen-images"; }

class Images : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pDir = new qort::TempDir;
        s_status = qort::runCommand(tool() + " " + s_pDir->path() + " --manifest " + s_pDir->file("list.txt"));
    }
    static void TearDownTestSuite() { delete s_pDir; }
    void SetUp() override
    {
        ASSERT_EQ(s_status, 0);
        ASSERT_TRUE(qoru_loadJpegPlugin());
    }

    // Decodes maps/STEM.jpg with the engine's JPEG module.
    static Picture load(const std::string & stem, const std::string & dir = "")
    {
        Picture p;
        const std::string path = (dir.empty() ? s_pDir->path() : dir) + "/maps/" + stem + ".jpg";
        FILE * f = std::fopen(path.c_str(), "rb");
        EXPECT_NE(f, nullptr) << path;
        if (!f)
            return p;
        std::unique_ptr<qor_cJpegImage> img(qoru_newJpegImage());
        if (img && img->read(f))
        {
            p.w = (int)img->getWidth();
            p.h = (int)img->getHeight();
            for (uint i = 0; i < img->getWidth() * img->getHeight(); ++i)
                p.rgb.insert(p.rgb.end(), img->getPixel(i), img->getPixel(i) + 3);
        }
        std::fclose(f);
        EXPECT_GT(p.w, 0) << stem << " decodes";
        return p;
    }

    // Mean absolute difference of two columns (or rows) of a picture, all channels.
    static double columnDiff(const Picture & p, int x0, int x1)
    {
        double sum = 0;
        for (int y = 0; y < p.h; ++y)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(p.at(x0, y, c) - p.at(x1, y, c));
        return sum / (p.h * 3);
    }
    static double rowDiff(const Picture & p, int y0, int y1)
    {
        double sum = 0;
        for (int x = 0; x < p.w; ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(p.at(x, y0, c) - p.at(x, y1, c));
        return sum / (p.w * 3);
    }
    static double pictureDiff(const Picture & a, const Picture & b)
    {
        double sum = 0;
        for (size_t i = 0; i < a.rgb.size() && i < b.rgb.size(); ++i)
            sum += std::abs(a.rgb[i] - b.rgb[i]);
        return sum / (double)a.rgb.size();
    }

    static qort::TempDir * s_pDir;
    static int s_status;
};
qort::TempDir * Images::s_pDir = nullptr;
int Images::s_status = -1;
} // namespace

TEST_F(Images, EveryImageHasTheLoadersNameAndSize)
{
    // Stems and sizes as the show's scripts name them; the offset-table maps must be 256 x 256.
    struct Expect
    {
        const char * szStem;
        int w, h;
    };
    const Expect aExpect[] = {
        {"noise", 256, 256},        {"marble", 256, 256},        {"metal", 256, 256},
        {"wood", 256, 256},         {"rock", 256, 256},          {"rock_height", 256, 256},
        {"tiles", 256, 256},        {"tiles_height", 256, 256},  {"gradient_sunset", 256, 256},
        {"gradient_ocean", 256, 256}, {"glow", 128, 128},        {"glow_alpha", 128, 128},
        {"vignette", 128, 128},     {"vignette_alpha", 128, 128}, {"logo", 512, 256},
        {"logo_alpha", 512, 256},   {"ot_source", 256, 256},     {"ot_tunnel_x", 256, 256},
        {"ot_tunnel_y", 256, 256},  {"ot_ripple_x", 256, 256},   {"ot_ripple_y", 256, 256},
        {"plasma_001", 256, 256},   {"plasma_002", 256, 256},    {"plasma_003", 256, 256},
        {"plasma_004", 256, 256},   {"plasma_005", 256, 256},    {"plasma_006", 256, 256},
        {"plasma_007", 256, 256},   {"plasma_008", 256, 256},    {"sky_px", 256, 256},
        {"sky_nx", 256, 256},       {"sky_py", 256, 256},        {"sky_ny", 256, 256},
        {"sky_pz", 256, 256},       {"sky_nz", 256, 256},
    };
    std::string manifest;
    for (const Expect & e : aExpect)
    {
        const Picture p = load(e.szStem);
        EXPECT_EQ(p.w, e.w) << e.szStem;
        EXPECT_EQ(p.h, e.h) << e.szStem;
        manifest += std::string("maps/") + e.szStem + ".jpg\n";
    }
    // The manifest lists the same files; --list names as many images.
    std::string listed;
    EXPECT_EQ(qort::readText(s_pDir->file("list.txt")).size(), manifest.size());
    ASSERT_EQ(qort::runCommand(tool() + " --list", &listed), 0);
    size_t nLines = 0;
    for (char c : listed)
        nLines += c == '\n';
    EXPECT_EQ(nLines, sizeof(aExpect) / sizeof(aExpect[0]));
}

TEST_F(Images, TexturesTile)
{
    // Across the wrap-around edge a tiling texture changes no more than somewhere between two
    // neighbouring columns (rows) inside it; an edge that does not tile jumps by far more.
    for (const char * szStem : {"noise", "marble", "metal", "wood", "rock", "ot_source", "plasma_001"})
    {
        const Picture p = load(szStem);
        ASSERT_EQ(p.w, 256) << szStem;
        double maxColumns = 0, maxRows = 0;
        for (int i = 0; i < 255; ++i)
        {
            maxColumns = std::max(maxColumns, columnDiff(p, i, i + 1));
            maxRows = std::max(maxRows, rowDiff(p, i, i + 1));
        }
        EXPECT_LE(columnDiff(p, 255, 0), maxColumns + 2.0) << szStem << " left and right edges";
        EXPECT_LE(rowDiff(p, 255, 0), maxRows + 2.0) << szStem << " top and bottom edges";
        // The test can tell: half the texture away is a different picture.
        EXPECT_GT(columnDiff(p, 0, 100), columnDiff(p, 255, 0)) << szStem;
    }
}

TEST_F(Images, AnimationFramesMoveAndLoop)
{
    // The animation plays frame 1 to 8 and wraps: 8 -> 1 is a step like any other.
    std::vector<Picture> frames;
    for (int i = 1; i <= 8; ++i)
    {
        char acStem[32];
        std::snprintf(acStem, sizeof(acStem), "plasma_%03d", i);
        frames.push_back(load(acStem));
    }
    const double step = pictureDiff(frames[0], frames[1]);
    EXPECT_GT(step, 5.0) << "consecutive frames differ";
    for (int i = 0; i < 8; ++i)
    {
        const double d = pictureDiff(frames[i], frames[(i + 1) % 8]);
        EXPECT_GT(d, step / 1.5) << "frame " << i + 1;
        EXPECT_LT(d, step * 1.5) << "frame " << i + 1;
    }
}

TEST_F(Images, SkyFacesMeetAtTheirEdges)
{
    // Direct3D cube faces: +X at its left edge (s = -1) looks along (1, -t, 1), as +Z does at
    // its right edge (s = +1); -Z's right edge looks along (-1, -t, -1), the opposite way.
    const Picture px = load("sky_px"), pz = load("sky_pz"), nz = load("sky_nz"), py = load("sky_py");
    const double inside = columnDiff(px, 100, 101);
    double seam = 0, apart = 0;
    for (int y = 0; y < 256; ++y)
        for (int c = 0; c < 3; ++c)
        {
            seam += std::abs(px.at(0, y, c) - pz.at(255, y, c));
            apart += std::abs(px.at(0, y, c) - nz.at(255, y, c));
        }
    seam /= 256 * 3;
    apart /= 256 * 3;
    EXPECT_LT(seam, 2.0 * inside + 3.0);
    EXPECT_GT(apart, seam * 1.5);
    // +X's top row (t = -1) looks along (1, 1, -s) and +Y's right column (s = 1) along
    // (1, 1, t): row x of +X meets +Y's column at t = -s, row 255 - x.
    double top = 0;
    for (int x = 0; x < 256; ++x)
        for (int c = 0; c < 3; ++c)
            top += std::abs(px.at(x, 0, c) - py.at(255, 255 - x, c));
    EXPECT_LT(top / (256 * 3), 2.0 * inside + 3.0);
}

TEST_F(Images, OffsetTableMapsHoldTheirFormulas)
{
    // The tables are the red bytes; JPEG at full quality keeps them within two levels.
    const Picture tx = load("ot_tunnel_x"), ty = load("ot_tunnel_y");
    const Picture rx = load("ot_ripple_x"), ry = load("ot_ripple_y");
    struct Point
    {
        const Picture * p;
        int x, y, value;
        const char * szWhy;
    };
    const Point aPoint[] = {
        // Angle around (127.5, 127.5), one turn = 256, starting at the left (-pi).
        {&tx, 10, 10, 32, "top left: -3/4 pi -> 1/8 turn"},
        {&tx, 128, 250, 192, "below the centre: pi/2 -> 3/4 turn"},
        {&tx, 250, 128, 128, "right of the centre: 0 -> half a turn"},
        // Depth 8192 / r mod 256; r at most 24 in the middle.
        {&ty, 191, 127, 129, "r = 63.50: 129.0"},
        {&ty, 128, 128, 85, "the middle: 8192 / 24 = 341 -> 85"},
        {&ty, 127, 255, 64, "r = 127.5: 64.25"},
        // x + 6 sin(2 pi y / 64) and y + 6 sin(2 pi x / 64).
        {&rx, 100, 16, 106, "a quarter period: +6"},
        {&rx, 100, 48, 94, "three quarters: -6"},
        {&ry, 48, 100, 94, "three quarters: -6"},
        {&ry, 32, 200, 200, "half a period: +0"},
    };
    for (const Point & pt : aPoint)
    {
        ASSERT_EQ(pt.p->w, 256);
        EXPECT_NEAR(pt.p->red(pt.x, pt.y), pt.value, 2) << pt.szWhy;
    }
}

TEST_F(Images, AlphaImagesFitTheirColourImagesAndHeightMapsHaveRelief)
{
    for (const char * szStem : {"glow", "logo", "vignette"})
    {
        const Picture c = load(szStem), a = load(std::string(szStem) + "_alpha");
        EXPECT_EQ(a.w, c.w) << szStem;
        EXPECT_EQ(a.h, c.h) << szStem;
    }
    // glow: opaque in the middle, clear in the corners; vignette the other way round.
    const Picture glow = load("glow_alpha"), vig = load("vignette_alpha"), logo = load("logo_alpha");
    EXPECT_GT(glow.red(64, 64), 240);
    EXPECT_LT(glow.red(2, 2), 8);
    EXPECT_LT(vig.red(64, 64), 8);
    EXPECT_GT(vig.red(1, 1), 150);
    // The o of the logo: its ring centre (262, 125) is a hole, the ring itself (262, 74) solid.
    EXPECT_GT(logo.red(262, 74), 240);
    EXPECT_LT(logo.red(262, 125), 60);

    // Through the engine's normal-map rule a flat height image gives (127, 127, 254) everywhere;
    // these must bend the normals.
    for (const char * szStem : {"rock_height", "tiles_height"})
    {
        const Picture h = load(szStem);
        std::vector<uint> height((size_t)h.w * h.h);
        for (int y = 0; y < h.h; ++y)
            for (int x = 0; x < h.w; ++x)
                height[(size_t)y * h.w + x] = (uint)h.red(x, y) << 16;
        std::vector<uchar> normals(height.size() * 3);
        qoru_computeBumpMap(height.data(), (uint)h.w, (uint)h.h, normals.data());
        size_t nBent = 0;
        for (size_t i = 0; i < height.size(); ++i)
            nBent += std::abs(normals[3 * i] - 127) > 10 || std::abs(normals[3 * i + 1] - 127) > 10;
        EXPECT_GT(nBent, height.size() / 20) << szStem << ": " << nBent << " bent of " << height.size();
    }
}

TEST(ImagesTool, SameSeedSameBytesOtherSeedOtherImages)
{
    qort::TempDir dir;
    const std::string only = " --only noise --only ot_tunnel_x --only plasma_003";
    ASSERT_EQ(qort::runCommand(tool() + " " + dir.file("a") + only), 0);
    ASSERT_EQ(qort::runCommand(tool() + " " + dir.file("b") + only), 0);
    ASSERT_EQ(qort::runCommand(tool() + " " + dir.file("c") + only + " --seed 9"), 0);
    for (const char * szStem : {"noise", "ot_tunnel_x", "plasma_003"})
    {
        const std::string name = std::string("/maps/") + szStem + ".jpg";
        const std::vector<unsigned char> a = qort::readBytes(dir.file("a") + name);
        EXPECT_FALSE(a.empty()) << szStem;
        EXPECT_TRUE(a == qort::readBytes(dir.file("b") + name)) << szStem;
        // The tables are geometry, not noise: the seed leaves them alone.
        EXPECT_EQ(a == qort::readBytes(dir.file("c") + name), std::string(szStem) == "ot_tunnel_x") << szStem;
    }
    EXPECT_FALSE(qort::fileExists(dir.file("a") + "/maps/marble.jpg")) << "--only writes only those";
}

TEST(ImagesTool, BadUsageAndUnsafeOutputs)
{
    qort::TempDir dir;
    ASSERT_TRUE(qort::writeText(dir.file("file"), "x"));
    ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("out/maps").c_str(), 0755), 0);
    ASSERT_TRUE(qort::writeText(dir.file("target"), "keep"));
    ASSERT_EQ(symlink(dir.file("target").c_str(), dir.file("out/maps/noise.jpg").c_str()), 0);
    struct Case
    {
        std::string args;
        int status;
    };
    const Case aCase[] = {
        {"", 2},
        {dir.file("x") + " --quality 10", 2},
        {dir.file("x") + " --seed abc", 2},
        {dir.file("x") + " --only nothing", 2},
        {dir.file("x") + " " + dir.file("y"), 2},
        {dir.file("file") + " --only noise", 1},
        {dir.file("out") + " --only noise", 1},
    };
    for (const Case & c : aCase)
        EXPECT_EQ(qort::runCommand(tool() + " " + c.args + " 2>/dev/null"), c.status) << c.args;
    EXPECT_EQ(qort::readText(dir.file("target")), "keep") << "a link's target is never written";
}
