#include <gtest/gtest.h>

#include "qor_cJpegPlugin.h"
#include "qor_testJpeg.h"
#include "qor_testUtil.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace
{
class JpegModule : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(qoru_loadJpegPlugin()); }
    void TearDown() override { qoru_freeJpegPlugin(); }

    // Decodes the file at path from byte offset; null when read fails.
    std::unique_ptr<qor_cJpegImage> decode(const std::string & path, long offset = 0)
    {
        std::unique_ptr<qor_cJpegImage> pImage(qoru_newJpegImage());
        EXPECT_NE(pImage, nullptr);
        FILE * f = std::fopen(path.c_str(), "rb");
        EXPECT_NE(f, nullptr);
        std::fseek(f, offset, SEEK_SET);
        const bool ok = pImage->read(f);
        std::fclose(f);
        return ok ? std::move(pImage) : nullptr;
    }
    qort::TempDir m_dir;
};

void expectNear(const unsigned char * p, int r, int g, int b)
{
    ASSERT_NE(p, nullptr);
    EXPECT_NEAR(p[0], r, 3);
    EXPECT_NEAR(p[1], g, 3);
    EXPECT_NEAR(p[2], b, 3);
}
} // namespace

TEST_F(JpegModule, DecodesBaselineAndProgressiveToRgbByIndex)
{
    // Left half red, right half blue, 16 x 8: pixel index = y * width + x.
    std::vector<unsigned char> rgb(16 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
        {
            unsigned char * p = &rgb[(y * 16 + x) * 3];
            p[0] = x < 8 ? 200 : 10;
            p[1] = 30;
            p[2] = x < 8 ? 20 : 220;
        }
    for (bool progressive : {false, true})
    {
        const std::string path = m_dir.file(progressive ? "p.jpg" : "b.jpg");
        ASSERT_TRUE(qort::writeJpeg(path, 16, 8, rgb, 100, progressive));
        auto pImage = decode(path);
        ASSERT_NE(pImage, nullptr) << "progressive " << progressive;
        EXPECT_EQ(pImage->getWidth(), 16u);
        EXPECT_EQ(pImage->getHeight(), 8u);
        expectNear(pImage->getPixel(3 * 16 + 2), 200, 30, 20);
        expectNear(pImage->getPixel(5 * 16 + 13), 10, 30, 220);
        EXPECT_EQ(pImage->getPixel(16 * 8), nullptr) << "one past the last pixel";
    }
}

TEST_F(JpegModule, ReadsFromTheStreamPositionAsInsideAPack)
{
    const std::vector<unsigned char> jpeg = qort::encodeJpeg(4, 4, qort::solidRgb(4, 4, 0, 255, 0));
    // 37 bytes before the image and 50 after it, as a pack entry sits between others.
    std::vector<unsigned char> file(37 + jpeg.size() + 50, 0xAB);
    std::copy(jpeg.begin(), jpeg.end(), file.begin() + 37);
    const std::string path = m_dir.file("packed.bin");
    ASSERT_TRUE(qort::writeBytes(path, file.data(), file.size()));
    auto pImage = decode(path, 37);
    ASSERT_NE(pImage, nullptr);
    expectNear(pImage->getPixel(15), 0, 255, 0);
}

TEST_F(JpegModule, BrokenDataFailsWithoutCrashing)
{
    const std::vector<unsigned char> jpeg = qort::encodeJpeg(32, 32, qort::solidRgb(32, 32, 9, 9, 9));
    const std::string path = m_dir.file("cut.jpg");
    // Every prefix fails cleanly: a cut in the headers and a cut in the scan data alike (the
    // decoder does not invent the missing rows).
    for (size_t n : {size_t(0), size_t(1), size_t(2), size_t(20), jpeg.size() / 2, jpeg.size() - 2})
    {
        ASSERT_TRUE(qort::writeBytes(path, jpeg.data(), n));
        EXPECT_EQ(decode(path), nullptr) << "prefix of " << n << " bytes";
    }
    const std::string text = "not a jpeg at all";
    ASSERT_TRUE(qort::writeText(path, text));
    EXPECT_EQ(decode(path), nullptr);
    std::unique_ptr<qor_cJpegImage> pImage(qoru_newJpegImage());
    EXPECT_FALSE(pImage->read(nullptr));
    EXPECT_EQ(pImage->getPixel(0), nullptr);
}

// A real 64 x 48 picture whose frame header is patched to declare a larger one: its scan data
// ends (EOI) long before the declared rows, and the declared blocks may outnumber the bits of
// the file (at least one bit per 8 x 8 block of Huffman-coded data).
TEST_F(JpegModule, DeclaredSizeBeyondTheDataFails)
{
    std::vector<unsigned char> rgb(64 * 48 * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<unsigned char>(i * 7 % 251); // not flat: real scan data
    for (bool progressive : {false, true})
    {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        const std::vector<unsigned char> jpeg = qort::encodeJpeg(64, 48, rgb, 90, progressive);
        ASSERT_FALSE(jpeg.empty());
        size_t nSof = 0;
        for (size_t i = 2; i + 9 < jpeg.size() && !nSof; ++i)
            if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2))
                nSof = i;
        ASSERT_NE(nSof, 0u);
        // Writes the picture declaring width x height, padded with zero bytes to nFileSize.
        auto patched = [&](unsigned nWidth, unsigned nHeight, size_t nFileSize) {
            std::vector<unsigned char> b = jpeg;
            b[nSof + 5] = static_cast<unsigned char>(nHeight >> 8);
            b[nSof + 6] = static_cast<unsigned char>(nHeight);
            b[nSof + 7] = static_cast<unsigned char>(nWidth >> 8);
            b[nSof + 8] = static_cast<unsigned char>(nWidth);
            b.resize(std::max(nFileSize, b.size()), 0);
            const std::string path = m_dir.file("patched.jpg");
            EXPECT_TRUE(qort::writeBytes(path, b.data(), b.size()));
            std::unique_ptr<qor_cJpegImage> pImage(qoru_newJpegImage());
            FILE * f = std::fopen(path.c_str(), "rb");
            const bool bOk = pImage->read(f);
            std::fclose(f);
            return bOk ? std::string() : std::string(pImage->getLastError());
        };
        EXPECT_EQ(patched(64, 48, 0), "") << "the picture as encoded";
        // 16384 x 4096: 1048576 blocks, 131072 bytes at least; the file is a few KiB.
        EXPECT_NE(patched(16384, 4096, 0).find("declares 16384 x 4096 pixels, more than its"), std::string::npos);
        // 2048 x 2048: 65536 blocks need 8192 bytes. At 8192 the size is accepted and the early
        // EOI fails the decode; at 8191 the size itself is refused.
        ASSERT_LT(jpeg.size(), 8191u);
        const std::string strAt = patched(2048, 2048, 8192);
        EXPECT_NE(strAt, "");
        EXPECT_EQ(strAt.find("declares"), std::string::npos) << strAt;
        EXPECT_NE(patched(2048, 2048, 8191).find("declares 2048 x 2048 pixels, more than its 8191 bytes"),
                  std::string::npos);
        // Within the bound and still more rows than the data: the early EOI fails it.
        EXPECT_NE(patched(64, 96, 0), "");
    }
}

TEST(JpegPluginLoader, MissingModuleShowsTheBoxAndFails)
{
    qort::TempDir empty;
    const char * szOld = std::getenv("QOR_PLUGIN_DIR");
    const std::string strOld = szOld ? szOld : "";
    setenv("QOR_PLUGIN_DIR", empty.path().c_str(), 1);
    {
        qort::BoxCapture boxes;
        EXPECT_FALSE(qoru_loadJpegPlugin());
        ASSERT_EQ(boxes.texts().size(), 1u);
        EXPECT_EQ(boxes.texts()[0], "Can't load 'qor_cJpegFileDLL.so' !");
        EXPECT_EQ(boxes.captions()[0], "ERROR :");
        EXPECT_EQ(qoru_newJpegImage(), nullptr);
    }
    setenv("QOR_PLUGIN_DIR", strOld.c_str(), 1);
    EXPECT_TRUE(qoru_loadJpegPlugin());
    qoru_freeJpegPlugin();
}
