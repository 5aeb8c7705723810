// The show's font "qor\font": widths from the TrueType metrics, glyphs in their cells, and
// text drawn by the engine's font overlay from the pack, on the GL display.
#include <gtest/gtest.h>

#include "qor_cFont.h"
#include "qor_cMonofiler.h"
#include "qor_imageTestEnv.h"
#include "qor_testUtil.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using qort::Rgba;

namespace
{
std::string tool() { return qort::binDir() + "/qor-gen-font"; }

class ShowFont : public qort::ImageTestEnv
{
protected:
    void SetUp() override
    {
        qort::ImageTestEnv::SetUp();
        // The generator writes maps/qor/font.jpg and maps/qor/font.dat under the working folder;
        // qor-pack stores them as "maps\qor\font.jpg" and "maps\qor\font.dat", the names the
        // font asks for, and the loose files go so that only the pack can answer.
        ASSERT_EQ(qort::runCommand(tool() + " ."), 0);
        m_widths = qort::readBytes("maps/qor/font.dat");
        m_atlas = decode("qor/font");
        ASSERT_EQ(qort::runCommand(qort::binDir() + "/qor-pack create show.dat maps/qor/font.jpg maps/qor/font.dat"), 0);
        ASSERT_EQ(std::remove("maps/qor/font.jpg"), 0);
        ASSERT_EQ(std::remove("maps/qor/font.dat"), 0);
        m_pPack.reset(new qor_cMonofiler);
        ASSERT_TRUE(m_pPack->open("show.dat"));
        setPack(m_pPack.get());
    }
    void TearDown() override
    {
        setPack(nullptr);
        m_pPack.reset();
        qort::ImageTestEnv::TearDown();
    }

    int width(char c) const { return (signed char)m_widths[(uchar)c]; }
    // The atlas's ink (red byte) at (x, y) of character c's cell.
    int ink(int c, int x, int y) const { return m_atlas[(size_t)((c / 16) * 16 + y) * 256 + (c % 16) * 16 + x].r; }

    static bool background(const Rgba & c) { return c.r < 20 && c.g < 20 && c.b > 235; }
    // The rightmost column of rows y0..y1 holding anything but the blue background.
    int rightmostInk(const std::vector<Rgba> & f, int y0, int y1)
    {
        int right = -1;
        for (int y = y0; y <= y1; ++y)
            for (int x = 0; x < 640; ++x)
                if (!background(pixel(f, x, y)))
                    right = std::max(right, x);
        return right;
    }
    std::vector<Rgba> render(qor_cFont & font, float x, float y)
    {
        clear(0, 0, 255);
        font.drawText(x, y, 255, 255, 255, 255);
        return readFrame();
    }

    std::vector<unsigned char> m_widths;
    std::vector<Rgba> m_atlas;
    std::unique_ptr<qor_cMonofiler> m_pPack;
};
} // namespace

TEST_F(ShowFont, WidthsAreTwiceTheAdvancesOfDejaVuSansBoldAtThirteenPixels)
{
    ASSERT_EQ(m_widths.size(), 256u);
    // Advances in the font's own units (2048 to the em, from its horizontal metrics table),
    // scaled to 13 pixels and rounded to whole pixels; hinting may move one by a pixel.
    struct Advance
    {
        char c;
        int units;
    };
    const Advance aAdvance[] = {{'M', 2038}, {'i', 702}, {'W', 2259}, {'.', 778}, {' ', 713}, {'@', 2048}};
    for (const Advance & a : aAdvance)
    {
        const double px = a.units * 13.0 / 2048.0;
        EXPECT_EQ(width(a.c) % 2, 0) << a.c << ": whole pixels";
        EXPECT_NEAR(width(a.c) / 2.0, px, 1.0) << a.c;
    }
    // Control codes have no glyph and take no room; every printable character fits its cell.
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(m_widths[c], 0) << c;
    EXPECT_EQ(m_widths[127], 0);
    for (int c = 33; c < 127; ++c)
    {
        EXPECT_GE(width((char)c), 2) << c;
        EXPECT_LE(width((char)c), 32) << c;
    }
}

TEST_F(ShowFont, GlyphsSitInTheirCellsCentredOnTheirAdvance)
{
    ASSERT_EQ(m_atlas.size(), 256u * 256u);
    int maxSpace = 0, maxM = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
        {
            maxSpace = std::max(maxSpace, ink(' ', x, y));
            maxM = std::max(maxM, ink('M', x, y));
        }
    EXPECT_LT(maxSpace, 8) << "the space has no ink";
    EXPECT_GT(maxM, 240) << "M has solid ink";
    // The overlay centres the advance w in the cell: the pen starts (16 - w) / 2 in. The l is
    // a bar inside its advance.
    const int w = width('l') / 2;
    const double left = (16 - w) / 2.0;
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 16; ++y)
            if (ink('l', x, y) > 128)
            {
                EXPECT_GE(x, left - 0.5) << "column " << x;
                EXPECT_LE(x, left + w) << "column " << x;
            }
    // Capitals stand on a common baseline: the bottom rows of H and E are at the same height.
    auto bottom = [&](int c) {
        int b = -1;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (ink(c, x, y) > 128)
                    b = y;
        return b;
    };
    EXPECT_EQ(bottom('H'), bottom('E'));
    EXPECT_GT(bottom('g'), bottom('a')) << "descenders go below the baseline";
}

TEST_F(ShowFont, TheEngineDrawsTextFromThePackWhereTheWidthsSay)
{
    qor_cFont font;
    ASSERT_TRUE(font.loadFont("qor\\font"));
    EXPECT_EQ(font.getWidth('M'), (float)width('M')) << "the widths came from the pack";

    // One M, then M i M: the last M lies (w(M) + w(i)) / 2 pixels to the right of the first.
    font.printf("M");
    const int rightOne = rightmostInk(render(font, 100, 100), 100, 115);
    font.printf("MiM");
    const int rightThree = rightmostInk(render(font, 100, 100), 100, 115);
    ASSERT_GT(rightOne, 100);
    EXPECT_EQ(rightThree - rightOne, (width('M') + width('i')) / 2);

    // The loading frame's text with its shadow at (0, 0): ink only in the first 18 rows, within
    // the advances plus the shadow's 2 pixels.
    font.setColor(255, 255, 255, 255);
    font.printf("Version 1.2");
    clear(0, 0, 255);
    font.draw(0, 0);
    const std::vector<Rgba> f = readFrame();
    int advance = 0;
    for (const char * p = "Version 1.2"; *p; ++p)
        advance += width(*p) / 2;
    int nInk = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (!background(pixel(f, x, y)))
            {
                ++nInk;
                EXPECT_LT(y, 18) << x << ", " << y;
                EXPECT_LE(x, advance + 2 + 8) << x << ", " << y;
            }
    EXPECT_GT(nInk, 11 * 10) << "every character leaves ink";
    // White text over its black shadow: the V's first stroke is white.
    bool bWhite = false;
    for (int y = 2; y < 12; ++y)
        for (int x = 0; x < 10; ++x)
            bWhite = bWhite || (pixel(f, x, y).r > 240 && pixel(f, x, y).g > 240);
    EXPECT_TRUE(bWhite);
}

TEST(FontTool, BadUsageUnsafeOutputsAndUnreadableFonts)
{
    qort::TempDir dir;
    ASSERT_EQ(mkdir(dir.file("maps").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("maps/qor").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("maps/qor/font.dat").c_str(), 0755), 0);
    ASSERT_TRUE(qort::writeText(dir.file("notafont.ttf"), "not a font"));
    struct Case
    {
        std::string args;
        int status;
    };
    const Case aCase[] = {
        {"", 2},
        {dir.file("o") + " --size 40", 2},
        {dir.file("o") + " --name ../up", 2},
        {dir.file("o") + " --name /abs", 2},
        {dir.file("o") + " --font " + dir.path(), 1},
        {dir.file("o") + " --font /dev/zero", 1},
        {dir.file("o") + " --font " + dir.file("notafont.ttf"), 1},
        {dir.file("o") + " --font " + dir.file("missing.ttf"), 1},
        {dir.path(), 1}, // maps/qor/font.dat is a folder: never replaced
    };
    for (const Case & c : aCase)
        EXPECT_EQ(qort::runCommand(tool() + " " + c.args + " 2>/dev/null"), c.status) << c.args;
    struct stat st;
    ASSERT_EQ(stat(dir.file("maps/qor/font.dat").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // Same font, same bytes.
    ASSERT_EQ(qort::runCommand(tool() + " " + dir.file("a")), 0);
    ASSERT_EQ(qort::runCommand(tool() + " " + dir.file("b")), 0);
    EXPECT_TRUE(qort::readBytes(dir.file("a/maps/qor/font.jpg")) == qort::readBytes(dir.file("b/maps/qor/font.jpg")));
    EXPECT_EQ(qort::readBytes(dir.file("a/maps/qor/font.dat")), qort::readBytes(dir.file("b/maps/qor/font.dat")));
}
