// The bitmap font drawn on the GL display: glyph placement read from the frame.
#include <gtest/gtest.h>

#include "qor_cFont.h"
#include "qor_imageTestEnv.h"
#include "qor_testJpeg.h"
#include "qor_testUtil.h"

#include <string>
#include <tuple>
#include <vector>

using qort::Rgba;

namespace
{
class Font : public qort::ImageTestEnv
{
protected:
    void SetUp() override
    {
        qort::ImageTestEnv::SetUp();
        // Glyph cells of A and B solid white, every other cell black (transparent: the image
        // is its own alpha).
        std::vector<unsigned char> rgb(256 * 256 * 3, 0);
        for (int c : {'A', 'B'})
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                {
                    size_t i = (size_t)((c / 16) * 16 + y) * 256 + (c % 16) * 16 + x;
                    rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = 255;
                }
        ASSERT_TRUE(writeImage("font", 256, 256, rgb));
        std::vector<unsigned char> widths(256, 32);
        widths[(int)'C'] = 236; // -20: the pen goes back 10 pixels
        widths[(int)'D'] = 16;  // advance 8
        ASSERT_TRUE(writeFile("maps/font.dat", widths));
    }

    // True where the frame shows the white glyph colour.
    static bool white(const Rgba & c) { return c.r > 240 && c.g > 240 && c.b > 240; }
    static bool background(const Rgba & c) { return c.r < 15 && c.g < 15 && c.b > 240; }

    std::vector<Rgba> render(qor_cFont & font, float x, float y, bool bShadow = false)
    {
        clear(0, 0, 255);
        if (bShadow)
            font.draw(x, y);
        else
            font.drawText(x, y, 255, 255, 255, 255);
        return readFrame();
    }
};
} // namespace

TEST_F(Font, LineFeedStartsTheNextLineSixteenPixelsLower)
{
    qor_cFont font;
    ASSERT_TRUE(font.loadFont("font"));
    font.printf("A\nB");
    EXPECT_STREQ(font.getText(), "A\nB");
    std::vector<Rgba> f = render(font, 100, 100);
    // One pixel away from glyph edges, which fall on texel edges.
    EXPECT_TRUE(white(pixel(f, 101, 101)));
    EXPECT_TRUE(white(pixel(f, 114, 114)));
    EXPECT_TRUE(background(pixel(f, 98, 108)));
    EXPECT_TRUE(background(pixel(f, 118, 108))) << "the line feed's own cell is transparent";
    EXPECT_TRUE(white(pixel(f, 101, 117))) << "B below A, back at x";
    EXPECT_TRUE(white(pixel(f, 114, 130)));
    EXPECT_TRUE(background(pixel(f, 108, 133)));
    EXPECT_TRUE(background(pixel(f, 118, 124)));
}

TEST_F(Font, WidthsAdvanceThePenByHalfTheirValue)
{
    // Glyph edges fall on texel edges (pixel centres meet cell borders), so each check keeps one
    // pixel away from an edge.
    qor_cFont font;
    ASSERT_TRUE(font.loadFont("font"));
    EXPECT_EQ(font.getWidth('C'), -20.0f) << "width bytes are signed";
    font.printf("AB");
    std::vector<Rgba> f = render(font, 40, 50);
    EXPECT_TRUE(white(pixel(f, 41, 58)));
    EXPECT_TRUE(white(pixel(f, 70, 58))) << "a width of 32 advances one 16-pixel cell";
    EXPECT_TRUE(background(pixel(f, 73, 58)));

    // C goes back 10: B covers 46..61.
    font.printf("ACB");
    f = render(font, 40, 50);
    EXPECT_TRUE(white(pixel(f, 60, 58)));
    EXPECT_TRUE(background(pixel(f, 63, 58)));

    // D advances 8, and its cell starts 4 pixels left of the pen: B covers 64..79.
    font.printf("ADB");
    f = render(font, 40, 50);
    EXPECT_TRUE(white(pixel(f, 78, 58)));
    EXPECT_TRUE(background(pixel(f, 81, 58)));
    EXPECT_TRUE(background(pixel(f, 61, 58))) << "between A and B";
}

TEST_F(Font, DrawAddsABlackShadowTwoPixelsDownAndRight)
{
    qor_cFont font;
    ASSERT_TRUE(font.loadFont("font"));
    font.setColor(255, 255, 255, 255);
    font.printf("A");
    std::vector<Rgba> f = render(font, 200, 200, true);
    EXPECT_TRUE(white(pixel(f, 201, 201)));
    EXPECT_TRUE(white(pixel(f, 214, 214)));
    EXPECT_EQ(pixel(f, 216, 216).rgb(), (std::tuple<int, int, int>{0, 0, 0})) << "the shadow";
    EXPECT_EQ(pixel(f, 203, 216).rgb(), (std::tuple<int, int, int>{0, 0, 0}));
    EXPECT_TRUE(background(pixel(f, 216, 200)));
    EXPECT_TRUE(background(pixel(f, 220, 220)));
}

TEST_F(Font, LongTextsAreCutNotOverflowed)
{
    qor_cFont font;
    ASSERT_TRUE(font.loadFont("font"));
    std::string s(6000, 'A');
    font.printf("%s", s.c_str());
    EXPECT_EQ(std::string(font.getText()).size(), (size_t)qor_cFont::e_textSize - 1);
    // 1024 characters at most are drawn: 16 pixels each, the first at x = 0.
    std::vector<Rgba> f = render(font, 0, 0);
    EXPECT_TRUE(white(pixel(f, 638, 8)));
}

TEST_F(Font, MissingFontImageFails)
{
    qort::LogCapture log;
    qor_cFont font;
    ASSERT_TRUE(writeRaw("broken", {'x'}));
    EXPECT_FALSE(font.loadFont("broken"));
    // Drawing a font that never loaded draws nothing.
    std::vector<Rgba> f = render(font, 0, 0);
    EXPECT_TRUE(background(pixel(f, 4, 4)));
}
