// The contact sheet: grid geometry and colours, from JPEG and PNG inputs.
#include <gtest/gtest.h>

#include "qor_testJpeg.h"
#include "qor_testUtil.h"

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
std::string tool() { return qort::binDir() + "/qor-contact-sheet"; }

struct Png
{
    unsigned w = 0, h = 0;
    std::vector<unsigned char> rgb;
    int at(unsigned x, unsigned y, int c) const { return rgb[((size_t)y * w + x) * 3 + c]; }
};

bool readPng(const std::string & path, Png & out)
{
    png_image img;
    std::memset(&img, 0, sizeof(img));
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str()))
        return false;
    img.format = PNG_FORMAT_RGB;
    out.w = img.width;
    out.h = img.height;
    out.rgb.resize((size_t)out.w * out.h * 3);
    return png_image_finish_read(&img, nullptr, out.rgb.data(), 0, nullptr) != 0;
}

bool writePng(const std::string & path, unsigned w, unsigned h, const std::vector<unsigned char> & rgb)
{
    png_image img;
    std::memset(&img, 0, sizeof(img));
    img.version = PNG_IMAGE_VERSION;
    img.width = w;
    img.height = h;
    img.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&img, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}
} // namespace

TEST(ContactSheet, LaysPicturesOutInRowsOfScaledCells)
{
    qort::TempDir dir;
    // Three 64 x 32 pictures: red and green JPEGs, a blue PNG.
    ASSERT_TRUE(qort::writeJpeg(dir.file("r.jpg"), 64, 32, qort::solidRgb(64, 32, 255, 0, 0)));
    ASSERT_TRUE(qort::writeJpeg(dir.file("g.jpg"), 64, 32, qort::solidRgb(64, 32, 0, 255, 0)));
    ASSERT_TRUE(writePng(dir.file("b.png"), 64, 32, qort::solidRgb(64, 32, 0, 0, 255)));
    ASSERT_EQ(qort::runCommand(tool() + " " + dir.file("sheet.png") + " --columns 2 --width 32 --gap 4 " +
                               dir.file("r.jpg") + " " + dir.file("g.jpg") + " " + dir.file("b.png")),
              0);
    Png sheet;
    ASSERT_TRUE(readPng(dir.file("sheet.png"), sheet));
    // Cells 32 x 16 (half size), two columns and two rows with 4-pixel gaps around them:
    // 4 + 32 + 4 + 32 + 4 = 76 wide, 4 + 16 + 4 + 16 + 4 = 44 high.
    EXPECT_EQ(sheet.w, 76u);
    EXPECT_EQ(sheet.h, 44u);
    ASSERT_EQ(sheet.rgb.size(), 76u * 44u * 3u);
    struct Probe
    {
        unsigned x, y;
        int r, g, b;
    };
    const Probe aProbe[] = {
        {20, 12, 255, 0, 0},  // first cell: 4..35 x 4..19
        {56, 12, 0, 255, 0},  // second cell: 40..71
        {20, 32, 0, 0, 255},  // second row: 24..39
        {56, 32, 24, 24, 24}, // no fourth picture: background
        {2, 2, 24, 24, 24},   // the gap
        {37, 12, 24, 24, 24},
    };
    for (const Probe & p : aProbe)
    {
        EXPECT_NEAR(sheet.at(p.x, p.y, 0), p.r, 3) << p.x << ", " << p.y;
        EXPECT_NEAR(sheet.at(p.x, p.y, 1), p.g, 3) << p.x << ", " << p.y;
        EXPECT_NEAR(sheet.at(p.x, p.y, 2), p.b, 3) << p.x << ", " << p.y;
    }
}

TEST(ContactSheet, RefusesBadInputsAndUsage)
{
    qort::TempDir dir;
    ASSERT_TRUE(qort::writeText(dir.file("text.png"), "not a picture"));
    ASSERT_TRUE(qort::writeJpeg(dir.file("ok.jpg"), 8, 8, qort::solidRgb(8, 8, 1, 2, 3)));
    std::vector<unsigned char> cut = qort::readBytes(dir.file("ok.jpg"));
    cut.resize(cut.size() / 2);
    ASSERT_TRUE(qort::writeBytes(dir.file("cut.jpg"), cut.data(), cut.size()));
    const std::string out = dir.file("out.png");
    struct Case
    {
        std::string args;
        int status;
    };
    const Case aCase[] = {
        {"", 2},
        {out, 2},
        {out + " --columns 0 " + dir.file("ok.jpg"), 2},
        {out + " --width 5 " + dir.file("ok.jpg"), 2},
        {out + " " + dir.file("text.png"), 1},
        {out + " " + dir.file("cut.jpg"), 1},
        {out + " " + dir.file("missing.jpg"), 1},
        {out + " " + dir.path(), 1},
        {out + " /dev/null", 1},
        {dir.path() + " " + dir.file("ok.jpg"), 1}, // the output is a folder
    };
    for (const Case & c : aCase)
        EXPECT_EQ(qort::runCommand(tool() + " " + c.args + " 2>/dev/null"), c.status) << c.args;
    EXPECT_FALSE(qort::fileExists(out));
}
