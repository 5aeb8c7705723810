// The image loaders on real JPEG files, the JPEG module and the GL display: handles, messages
// and the texels read back from drawn frames.
#include <gtest/gtest.h>

#include "qor_cImageOps.h"
#include "qor_cUtilDisplay.h"
#include "qor_imageTestEnv.h"
#include "qor_testJpeg.h"
#include "qor_testUtil.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using qort::Rgba;

namespace
{
class ImageLoading : public qort::ImageTestEnv
{
};

// Largest difference between a written and a decoded channel (quality 100, no subsampling).
const int kJpegTolerance = 4;

// A 5 x 3 image of distinct colours (kept in flat 8 x 8 blocks' worth of contrast).
std::vector<unsigned char> patternRgb(int w, int h)
{
    std::vector<unsigned char> rgb((size_t)w * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            unsigned char * p = &rgb[((size_t)y * w + x) * 3];
            p[0] = (unsigned char)(40 * x + 20);
            p[1] = (unsigned char)(60 * y + 30);
            p[2] = (unsigned char)(200 - 30 * x);
        }
    return rgb;
}
} // namespace

TEST_F(ImageLoading, MissingImagesGiveHandleZeroAndFileNotFound)
{
    qort::LogCapture log;
    EXPECT_EQ(qoru_loadTexture("nothere", nullptr, true), 0u);
    std::string text = log.text();
    EXPECT_NE(text.find("qor_hTexture qoru_loadTexture(cchar * szFilename <nothere>)\n"
                        "FILE * pFile = QOR_XCHANGE()->lockFile(filename.get());\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("file not found\n"), std::string::npos);

    // The colour image exists, its alpha image does not.
    ASSERT_TRUE(writeImage("colour", 2, 2, qort::solidRgb(2, 2, 9, 9, 9)));
    EXPECT_EQ(qoru_loadTexture("colour", "noalpha", true), 0u);
    EXPECT_NE(log.text().find("pFile = QOR_XCHANGE()->lockFile(alphafilename.get());\n"), std::string::npos);

    EXPECT_EQ(qoru_loadTextureAsBump("nothere"), 0u);
    EXPECT_NE(log.text().find("qor_hTexture qoru_loadTextureAsBump(cchar * szFilename <nothere>)\n"), std::string::npos);

    uint w = 7, h = 7;
    EXPECT_EQ(qoru_loadRGBARect("nothere", w, h), nullptr);
    EXPECT_NE(log.text().find("qor_sUCColor * qoru_loadRGBARect(cchar * szFilename<nothere>, uint &width, uint &height)\n"),
              std::string::npos);
}

TEST_F(ImageLoading, UndecodableImagesGiveTheNullHandle)
{
    std::vector<unsigned char> good = qort::encodeJpeg(8, 8, qort::solidRgb(8, 8, 1, 2, 3));
    ASSERT_FALSE(good.empty());
    const std::vector<std::vector<unsigned char>> bad = {
        {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'},
        std::vector<unsigned char>(good.begin(), good.begin() + good.size() / 3),
        {},
    };
    for (size_t i = 0; i < bad.size(); ++i)
    {
        qort::LogCapture log;
        ASSERT_TRUE(writeRaw("bad", bad[i]));
        EXPECT_EQ(qoru_loadTexture("bad", nullptr, false), QOR_NULL_TEXTURE) << "case " << i;
        EXPECT_NE(log.text().find("bool bRet = jpg.read(filename.get());\n"), std::string::npos) << log.text();
        EXPECT_EQ(qoru_loadTextureAsBump("bad"), QOR_NULL_TEXTURE);
        uint w = 0, h = 0;
        EXPECT_EQ(qoru_loadRGBARect("bad", w, h), nullptr);
    }

    // A corrupt alpha image.
    qort::LogCapture log;
    ASSERT_TRUE(writeImage("good", 8, 8, qort::solidRgb(8, 8, 1, 2, 3)));
    EXPECT_EQ(qoru_loadTexture("good", "bad", false), QOR_NULL_TEXTURE);
    EXPECT_NE(log.text().find("bRet = alphajpg.read(QOR_XCHANGE()->lockFile(alphafilename.get()));\n"), std::string::npos);
}

TEST_F(ImageLoading, AlphaImageSmallerThanTheColourImageIsRefused)
{
    qort::LogCapture log;
    ASSERT_TRUE(writeImage("big", 8, 8, qort::solidRgb(8, 8, 100, 100, 100)));
    ASSERT_TRUE(writeImage("small", 8, 4, qort::solidRgb(8, 4, 255, 255, 255)));
    ASSERT_TRUE(writeImage("narrow", 4, 8, qort::solidRgb(4, 8, 255, 255, 255)));
    EXPECT_EQ(qoru_loadTexture("big", "small", false), QOR_NULL_TEXTURE);
    EXPECT_EQ(qoru_loadTexture("big", "narrow", false), QOR_NULL_TEXTURE);
    EXPECT_NE(log.text().find("bRet = alphajpg.read(QOR_XCHANGE()->lockFile(alphafilename.get()));\n"), std::string::npos);
    // The other way round is fine: the colour image's indices are all inside.
    EXPECT_LT(qoru_loadTexture("small", "big", false), QOR_NULL_TEXTURE);
}

TEST_F(ImageLoading, TextureTexelsAreTheDecodedPixelsWithTheAlphaImagesRed)
{
    const int w = 5, h = 3;
    ASSERT_TRUE(writeImage("pattern", w, h, patternRgb(w, h)));
    // Alpha from the red byte of another image: 0 on the left column, 255 elsewhere.
    std::vector<unsigned char> alpha((size_t)w * h * 3, 255);
    for (int y = 0; y < h; ++y)
        alpha[(size_t)y * w * 3] = alpha[(size_t)y * w * 3 + 1] = alpha[(size_t)y * w * 3 + 2] = 0;
    ASSERT_TRUE(writeImage("mask", w, h, alpha));
    std::vector<Rgba> colour = decode("pattern"), mask = decode("mask");
    ASSERT_EQ(colour.size(), (size_t)(w * h));
    // The decoded pixels are the written ones within what JPEG at quality 100 without chroma
    // subsampling loses.
    const std::vector<unsigned char> written = patternRgb(w, h);
    for (int i = 0; i < w * h; ++i)
    {
        EXPECT_NEAR(colour[i].r, written[3 * i], kJpegTolerance) << "pixel " << i;
        EXPECT_NEAR(colour[i].g, written[3 * i + 1], kJpegTolerance) << "pixel " << i;
        EXPECT_NEAR(colour[i].b, written[3 * i + 2], kJpegTolerance) << "pixel " << i;
    }

    qor_hTexture hPlain = qoru_loadTexture("pattern", nullptr, true);
    qor_hTexture hMasked = qoru_loadTexture("pattern", "mask", true);
    ASSERT_LT(hPlain, QOR_NULL_TEXTURE);
    ASSERT_LT(hMasked, QOR_NULL_TEXTURE);
    EXPECT_NE(hPlain, hMasked);

    std::vector<Rgba> plain = readTexture(hPlain, w, h);
    std::vector<Rgba> masked = readTexture(hMasked, w, h);
    for (int i = 0; i < w * h; ++i)
    {
        EXPECT_EQ(plain[i].rgb(), colour[i].rgb()) << "texel " << i;
        EXPECT_EQ(plain[i].a, 255) << "no alpha image: opaque";
        EXPECT_EQ(masked[i].rgb(), colour[i].rgb()) << "texel " << i;
        EXPECT_EQ(masked[i].a, mask[i].r) << "texel " << i;
    }
    EXPECT_LE(masked[0].a, 8);
    EXPECT_GE(masked[1].a, 247);
}

TEST_F(ImageLoading, RGBARectHoldsBlueGreenRedAndOpaqueAlpha)
{
    const int w = 5, h = 3;
    ASSERT_TRUE(writeImage("pattern", w, h, patternRgb(w, h), true));
    std::vector<Rgba> colour = decode("pattern");
    uint width = 0, height = 0;
    qor_sUCColor * p = qoru_loadRGBARect("pattern", width, height);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(width, (uint)w);
    EXPECT_EQ(height, (uint)h);
    const uchar * pBytes = reinterpret_cast<const uchar *>(p);
    for (int i = 0; i < w * h; ++i)
    {
        EXPECT_EQ(pBytes[4 * i + 0], colour[i].b);
        EXPECT_EQ(pBytes[4 * i + 1], colour[i].g);
        EXPECT_EQ(pBytes[4 * i + 2], colour[i].r);
        EXPECT_EQ(pBytes[4 * i + 3], 255);
    }
    delete[] p;
}

TEST_F(ImageLoading, BumpTexturesAreNormalMapsOfTheRedHeights)
{
    // One pixel is its own neighbour: flat.
    ASSERT_TRUE(writeImage("dot", 1, 1, qort::solidRgb(1, 1, 180, 20, 90)));
    qor_hTexture hDot = qoru_loadTextureAsBump("dot");
    ASSERT_LT(hDot, QOR_NULL_TEXTURE);
    EXPECT_EQ(readTexture(hDot, 1, 1)[0], (Rgba{127, 127, 254, 255}));

    // Vertical bands 0 and 255, 16 pixels each: a full step at the band edges, wrapping.
    const int w = 32, h = 8;
    std::vector<unsigned char> rgb((size_t)w * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k)
                rgb[((size_t)y * w + x) * 3 + k] = x < 16 ? 0 : 255;
    ASSERT_TRUE(writeImage("bands", w, h, rgb));
    // Expected texels by the rule, on the red bytes libjpeg-turbo decodes here: neighbours wrap,
    // dx = (h(x-1) - h(x+1)) / 255, dy = (h(y-1) - h(y+1)) / 255, dz = sqrt(1 - dx² - dy²), each
    // channel trunc((d + 1) * 127).
    std::vector<Rgba> decoded = decode("bands");
    ASSERT_EQ(decoded.size(), size_t(w * h));
    const auto height = [&](int x, int y) { return decoded[size_t((y + h) % h) * w + (x + w) % w].r; };
    std::vector<int> expected(decoded.size() * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const float dx = float(height(x - 1, y) - height(x + 1, y)) / 255.0f;
            const float dy = float(height(x, y - 1) - height(x, y + 1)) / 255.0f;
            const float dz = std::sqrt(std::max(0.0f, 1.0f - dx * dx - dy * dy));
            int * e = &expected[3 * (size_t(y) * w + x)];
            e[0] = int((dx + 1.0f) * 127.0f);
            e[1] = int((dy + 1.0f) * 127.0f);
            e[2] = int((dz + 1.0f) * 127.0f);
        }

    qor_hTexture hBands = qoru_loadTextureAsBump("bands");
    ASSERT_LT(hBands, QOR_NULL_TEXTURE);
    std::vector<Rgba> texels = readTexture(hBands, w, h);
    for (int i = 0; i < w * h; ++i)
        EXPECT_EQ(texels[i], (Rgba{expected[3 * i], expected[3 * i + 1], expected[3 * i + 2], 255})) << "texel " << i;
    // Column 0's left neighbour is column 31 (255), its right one 0: red near 254; column 16 the reverse.
    EXPECT_GE(texels[3 * w + 0].r, 250);
    EXPECT_LE(texels[3 * w + 16].r, 4);
    EXPECT_EQ(texels[3 * w + 8], (Rgba{127, 127, 254, 255}));
}

TEST_F(ImageLoading, CubeBumpTextureOfOneTexelShowsFaceMinusZ)
{
    qor_hTexture hCube = qoru_createCubeBumpTexture(1);
    ASSERT_NE(hCube, QOR_NULL_TEXTURE);
    EXPECT_NE(hCube & 0x10000000u, 0u) << "a cube handle";
    // A quad facing the camera reflects the view straight back: the -Z face.
    EXPECT_EQ(drawCubeFacingCamera(hCube), (Rgba{200, 200, 200, 255}));

    qor_hTexture hCube8 = qoru_createCubeBumpTexture(8);
    ASSERT_NE(hCube8, QOR_NULL_TEXTURE);
    EXPECT_NE(hCube8, hCube);
}

TEST_F(ImageLoading, AnimationFramesAreNumberedAndConsecutive)
{
    const unsigned char aColour[3][3] = {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(writeImage("fire_00" + std::to_string(i + 1), 4, 4,
                               qort::solidRgb(4, 4, aColour[i][0], aColour[i][1], aColour[i][2])));
    qor_hTexture first = qoru_loadAnim("fire", 3);
    ASSERT_LT(first, QOR_NULL_TEXTURE);
    ASSERT_NE(first, 0u);
    for (uint k = 0; k < 3; ++k)
    {
        Rgba c = readTexture(first + k, 4, 4)[5];
        EXPECT_NEAR(c.r, aColour[k][0], 3) << "frame " << k + 1;
        EXPECT_NEAR(c.g, aColour[k][1], 3) << "frame " << k + 1;
        EXPECT_NEAR(c.b, aColour[k][2], 3) << "frame " << k + 1;
    }

    // A frame that cannot be decoded stops the load with the frame's name.
    ASSERT_TRUE(writeRaw("smoke_002", {'x'}));
    ASSERT_TRUE(writeImage("smoke_001", 4, 4, qort::solidRgb(4, 4, 1, 1, 1)));
    qort::LogCapture log;
    EXPECT_EQ(qoru_loadAnim("smoke", 3), QOR_NULL_TEXTURE);
    EXPECT_NE(log.text().find("anim<smoke> nFrame:<3>  <smoke_002>\n"), std::string::npos) << log.text();
    // So does a missing one: later frames would no longer be reached by consecutive handles.
    EXPECT_EQ(qoru_loadAnim("fire", 4), QOR_NULL_TEXTURE);
    EXPECT_NE(log.text().find("anim<fire> nFrame:<4>  <fire_004>\n"), std::string::npos);
}

TEST_F(ImageLoading, ImagesComeFromThePackBeforeTheDisk)
{
    // Two images and three frames stored in a pack (uncompressed: the loaders read the stored
    // bytes); the disk holds a different picture under one of the names.
    ASSERT_TRUE(writeImage("packed", 4, 4, qort::solidRgb(4, 4, 200, 40, 40)));
    ASSERT_TRUE(writeImage("second", 8, 8, qort::solidRgb(8, 8, 90, 200, 40), true));
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(writeImage("ember_00" + std::to_string(i), 2, 2, qort::solidRgb(2, 2, 60 * i, 60 * i, 60 * i)));
    qor_cMonofiler builder;
    for (const char * sz : {"maps/packed.jpg", "maps/second.jpg", "maps/ember_001.jpg", "maps/ember_002.jpg",
                            "maps/ember_003.jpg"})
        ASSERT_TRUE(builder.addFile(sz, false)) << sz;
    ASSERT_TRUE(builder.save("show.dat"));
    ASSERT_TRUE(writeImage("packed", 4, 4, qort::solidRgb(4, 4, 0, 0, 250)));

    qor_cMonofiler pack;
    ASSERT_TRUE(pack.open("show.dat")) << pack.getOpenError();
    setPack(&pack);
    qor_hTexture h1 = qoru_loadTexture("packed", nullptr, true);
    qor_hTexture h2 = qoru_loadTexture("packed", "second", true);
    qor_hTexture h3 = qoru_loadTexture("second", nullptr, true);
    qor_hTexture hAnim = qoru_loadAnim("ember", 3);
    ASSERT_LT(h1, QOR_NULL_TEXTURE);
    ASSERT_LT(h2, QOR_NULL_TEXTURE);
    ASSERT_LT(h3, QOR_NULL_TEXTURE);
    ASSERT_LT(hAnim, QOR_NULL_TEXTURE);
    Rgba c1 = readTexture(h1, 4, 4)[5];
    EXPECT_NEAR(c1.r, 200, 3) << "the pack's picture, not the disk's";
    EXPECT_NEAR(c1.b, 40, 3);
    Rgba c2 = readTexture(h2, 4, 4)[3];
    EXPECT_NEAR(c2.r, 200, 3);
    EXPECT_NEAR(c2.a, 90, 3) << "alpha: the second packed image's red";
    EXPECT_NEAR(readTexture(h3, 8, 8)[9].g, 200, 3);
    for (uint k = 0; k < 3; ++k)
        EXPECT_NEAR(readTexture(hAnim + k, 2, 2)[0].r, 60 * (int)(k + 1), 3) << "frame " << k + 1;
    // A name in neither place.
    qort::LogCapture log;
    EXPECT_EQ(qoru_loadTexture("absent", nullptr, true), 0u);
    EXPECT_NE(log.text().find("file not found\n"), std::string::npos);
}

TEST_F(ImageLoading, WhileTheCacheIsOpenAnImageIsReadOnce)
{
    // The file is replaced between two loads of its name: with the cache open the second load
    // gives the first file's texels (it was not read again), also as an alpha image; once the
    // cache is closed, the new file's. A missing file is looked for, and reported, every time.
    ASSERT_TRUE(writeImage("cached", 2, 2, qort::solidRgb(2, 2, 200, 10, 10)));
    qoru_openImageCache();
    const qor_hTexture hFirst = qoru_loadTexture("cached", nullptr, true);
    ASSERT_TRUE(writeImage("cached", 2, 2, qort::solidRgb(2, 2, 10, 200, 10)));
    const qor_hTexture hAgain = qoru_loadTexture("cached", "cached", true);
    qort::LogCapture log;
    EXPECT_EQ(qoru_loadTexture("nothere", nullptr, true), 0u);
    EXPECT_EQ(qoru_loadTexture("nothere", nullptr, true), 0u);
    qoru_closeImageCache();
    const qor_hTexture hAfter = qoru_loadTexture("cached", nullptr, true);
    ASSERT_LT(hFirst, QOR_NULL_TEXTURE);
    ASSERT_LT(hAgain, QOR_NULL_TEXTURE);
    ASSERT_LT(hAfter, QOR_NULL_TEXTURE);
    EXPECT_NE(hFirst, hAgain) << "each load still makes its own texture";
    const Rgba first = readTexture(hFirst, 2, 2)[0], again = readTexture(hAgain, 2, 2)[0],
               after = readTexture(hAfter, 2, 2)[0];
    EXPECT_NEAR(first.r, 200, kJpegTolerance);
    EXPECT_EQ(again.rgb(), first.rgb());
    EXPECT_EQ(again.a, first.r) << "the alpha image's red, from the first file";
    EXPECT_NEAR(after.g, 200, kJpegTolerance);
    const std::string text = log.text();
    size_t nFound = 0;
    for (size_t at = text.find("file not found\n"); at != std::string::npos; at = text.find("file not found\n", at + 1))
        ++nFound;
    EXPECT_EQ(nFound, 2u);
}
