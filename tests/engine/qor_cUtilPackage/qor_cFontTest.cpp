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
        widths['C'] = 236; // -20: the pen goes back 10 pixels
        widths['D'] = 16;  // advance 8
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
    EXPECT_TRUE(white(pixel(f, 100, 100)));
    EXPECT_TRUE(white(pixel(f, 115, 115)));
    EXPECT_TRUE(background(pixel(f, 99, 108)));
    EXPECT_TRUE(background(pixel(f, 116, 108))) << "the line feed's own cell is transparent";
    EXPECT_TRUE(white(pixel(f, 100, 116))) << "B below A, back at x";
    EXPECT_TRUE(white(pixel(f, 115, 131)));
    EXPECT_TRUE(background(pixel(f, 108, 132)));
    EXPECT_TRUE(background(pixel(f, 116, 124)));
}

TEST_F(Font, WidthsAdvanceThePenByHalfTheirValue)
{
    qor_cFont font;
    ASSERT_TRUE(font.loadFont("font"));
    EXPECT_EQ(font.getWidth('C'), -20.0f) << "width bytes are signed";
    font.printf("AB");
    std::vector<Rgba> f = render(font, 40, 50);
    EXPECT_TRUE(white(pixel(f, 55, 58)));
    EXPECT_TRUE(white(pixel(f, 56, 58))) << "a width of 32 advances one 16-pixel cell";
    EXPECT_TRUE(white(pixel(f, 71, 58)));
    EXPECT_TRUE(background(pixel(f, 72, 58)));

    // C goes back 10: B starts 6 pixels after A.
    font.printf("ACB");
    f = render(font, 40, 50);
    EXPECT_TRUE(white(pixel(f, 61, 58)));
    EXPECT_TRUE(background(pixel(f, 62, 58)));

    // D advances 8, and its cell starts 4 pixels left of the pen.
    font.printf("ADB");
    f = render(font, 40, 50);
    EXPECT_TRUE(white(pixel(f, 63, 58)));
    EXPECT_TRUE(background(pixel(f, 64, 58)));
}

TEST_F(Font, DrawAddsABlackShadowTwoPixelsDownAndRight)
{
    qor_cFont font;
    ASSERT_TRUE(font.loadFont("font"));
    font.setColor(255, 255, 255, 255);
    font.printf("A");
    std::vector<Rgba> f = render(font, 200, 200, true);
    EXPECT_TRUE(white(pixel(f, 201, 201)));
    EXPECT_TRUE(white(pixel(f, 215, 215)));
    Rgba shadow = pixel(f, 217, 217);
    EXPECT_EQ(shadow.rgb(), (std::tuple<int, int, int>{0, 0, 0}));
    EXPECT_TRUE(background(pixel(f, 217, 201)));
    EXPECT_TRUE(background(pixel(f, 218, 218)));
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
    EXPECT_TRUE(white(pixel(f, 639, 8)));
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
