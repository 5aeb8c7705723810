// Texture surfaces: handles, pixel formats, the lock / setPixel / unlock protocol, binding,
// release and the messages they log.
#include "qor_dispTestEnv.h"

#include "qor_cTexNodeGL.h"
#include "qor_testUtil.h"

#include <epoxy/gl.h>

#include <cstring>
#include <vector>

using qort::argb;
using qort::Frame;
using qort::quadRHW;

TEST(TexHandles, FirstTextureIsOneAndTheFirstCubeAfterItHasBit28)
{
    ASSERT_NE(qort::disp(), nullptr);
    {
        qor_cDispGL fresh;
        ASSERT_TRUE(fresh.init(640, 480, 32, false));
        EXPECT_EQ(fresh.createTexture(4, 4, 0), 1u);
        EXPECT_EQ(fresh.createCubeTexture(4), 0x10000002u);
        EXPECT_EQ(fresh.createTexture(4, 4, 0), 3u);
        // A failed creation takes no handle.
        {
            qort::LogCapture log;
            EXPECT_EQ(fresh.createTexture(0, 4, 0), QOR_NULL_TEXTURE);
            EXPECT_NE(log.text().find("bool qor_cDisplayDX8::createTexture(uint width <0>, uint height <4>)\n"
                                      "qor_hTexture handle = pNode->create(width, height, &m_pfmtTexture, false);\n"),
                      std::string::npos)
                << log.text();
            EXPECT_NE(log.text().find("bool qor_cTexNodeDX8::create(uint width 0, uint height 4"), std::string::npos);
        }
        EXPECT_EQ(fresh.createTexture(4, 4, 0), 4u);
    }
    qort::disp();
}

TEST(PixelFormat, PacksTheDirect3DLayouts)
{
    qor_cPixelFormat f;
    EXPECT_EQ(f.getBitsPerPixel(), 0u);
    ASSERT_TRUE(f.setFromD3DFormat(qorrs_fmt_A8R8G8B8));
    EXPECT_EQ(f.pack(10, 20, 30, 128), 0x800A141Eu);
    EXPECT_EQ(f.getBitsPerPixel(), 32u);
    qor_cPixelFormat a1;
    a1.setFromD3DFormat(qorrs_fmt_A1R5G5B5);
    EXPECT_EQ(a1.pack(10, 20, 30, 128), 0x8443u);
    EXPECT_EQ(a1.getBitsPerPixel(), 16u);
    qor_cPixelFormat r565;
    r565.setFromD3DFormat(qorrs_fmt_R5G6B5);
    EXPECT_EQ(r565.pack(10, 20, 30, 128), 0x08A3u); // no alpha written
    EXPECT_EQ(r565.getBitsPerPixel(), 16u);
    qor_cPixelFormat a4;
    a4.setFromD3DFormat(qorrs_fmt_A4R4G4B4);
    EXPECT_EQ(a4.pack(10, 20, 30, 128), 0x8011u);
    qor_cPixelFormat r888;
    r888.setFromD3DFormat(qorrs_fmt_R8G8B8);
    EXPECT_EQ(r888.getBitsPerPixel(), 24u);
}

// OpenGL ES takes RGBA / RGB bytes: every Direct3D layout is unpacked from its little-endian
// word and each n-bit channel widened to round(v * 255 / (2^n - 1)).
TEST(PixelFormat, ESBytesUnpackEveryLayoutAndWidenItsChannels)
{
    struct Case
    {
        uint uFormat;
        std::vector<uint8_t> in;
        std::vector<uint8_t> out; // empty: refused
    };
    const Case aCase[] = {
        {qorrs_fmt_A8R8G8B8, {0x10, 0x20, 0x30, 0x40}, {0x30, 0x20, 0x10, 0x40}},
        {qorrs_fmt_X8R8G8B8, {0x10, 0x20, 0x30, 0x40}, {0x30, 0x20, 0x10}},
        {qorrs_fmt_R8G8B8, {0x01, 0x02, 0x03}, {0x03, 0x02, 0x01}},
        // 1 | 11111 | 10000 | 00001: 16 * 255 / 31 = 131.6, 255 / 31 = 8.2
        {qorrs_fmt_A1R5G5B5, {0x01, 0xFE}, {255, 132, 8, 255}},
        {qorrs_fmt_X1R5G5B5, {0x00, 0xFC}, {255, 0, 0}},
        {qorrs_fmt_R5G6B5, {0xE0, 0x07}, {0, 255, 0}},
        // 00001 | 000001 | 00001: 255 / 31 = 8.2, 255 / 63 = 4.05
        {qorrs_fmt_R5G6B5, {0x21, 0x08}, {8, 4, 8}},
        {qorrs_fmt_A4R4G4B4, {0x3C, 0x7F}, {255, 51, 204, 119}},
        {qorrs_fmt_X4R4G4B4, {0x23, 0xF1}, {17, 34, 51}},
        {qorrs_fmt_unknown, {0, 0, 0, 0}, {}},
    };
    for (const Case & c : aCase)
    {
        std::vector<uint8_t> out(4, 0xEE);
        const bool bOk = qor_cTexNodeGL::toESBytes(c.uFormat, c.in.data(), 1, out.data());
        EXPECT_EQ(bOk, !c.out.empty()) << "format " << c.uFormat;
        if (!bOk)
            continue;
        out.resize(c.out.size());
        EXPECT_EQ(out, c.out) << "format " << c.uFormat;
    }
    // Pixels follow each other at the format's size.
    const uint8_t aTwo[] = {0x00, 0x7C, 0x1F, 0x00};
    uint8_t aOut[6] = {};
    ASSERT_TRUE(qor_cTexNodeGL::toESBytes(qorrs_fmt_X1R5G5B5, aTwo, 2, aOut));
    EXPECT_EQ(std::vector<uint8_t>(aOut, aOut + 6), (std::vector<uint8_t>{255, 0, 0, 0, 0, 255}));
}

TEST(PixelFormat, UnknownFormatIsReportedAndOnlyItsCodeKept)
{
    qort::LogCapture log;
    qor_cPixelFormat f;
    EXPECT_FALSE(f.setFromD3DFormat(50));
    EXPECT_EQ(f.getD3DFormat(), 50u);
    EXPECT_EQ(f.m_red.loss, 8);
    EXPECT_NE(log.text().find("format de pixel D3D non supporte par le moteur\n\tformat <50>\n"), std::string::npos);
}

TEST_F(DispTest, PixelsLandInMemoryInThePackedLayouts)
{
    const qor_hTexture t32 = d->createTexture(2, 2, QOR_TEX_A8R8G8B8);
    void * pBits = nullptr;
    uint pitch = 0;
    ASSERT_TRUE(d->lockTextureBits(t32, &pBits, &pitch));
    EXPECT_EQ(pitch, 8u);
    d->setPixel(1, 1, 10, 20, 30, 128);
    EXPECT_EQ(static_cast<uint32_t *>(pBits)[3], 0x800A141Eu);
    EXPECT_TRUE(d->getTexNodeByHandle(t32)->hasAlpha());
    ASSERT_TRUE(d->unlockTexture(t32));

    const qor_hTexture t16 = d->createTexture(2, 2, QOR_TEX_A1R5G5B5);
    ASSERT_TRUE(d->lockTextureBits(t16, &pBits, &pitch));
    EXPECT_EQ(pitch, 4u);
    d->setPixel(0, 1, 10, 20, 30, 128);
    EXPECT_EQ(static_cast<uint16_t *>(pBits)[2], 0x8443u);
    EXPECT_TRUE(d->getTexNodeByHandle(t16)->hasAlpha());
    ASSERT_TRUE(d->unlockTexture(t16));
    // A new lock clears the has-alpha flag and keeps the pixels.
    ASSERT_TRUE(d->lockTextureBits(t16, &pBits, &pitch));
    EXPECT_FALSE(d->getTexNodeByHandle(t16)->hasAlpha());
    EXPECT_EQ(static_cast<uint16_t *>(pBits)[2], 0x8443u);
    d->setPixel(0, 0, 1, 2, 3, 255);
    EXPECT_FALSE(d->getTexNodeByHandle(t16)->hasAlpha());
    d->unlockTexture(t16);
    EXPECT_EQ(d->getTexNodeByHandle(d->createTexture(1, 1, 0))->getPixelFormat().getD3DFormat(),
              uint(qorrs_fmt_A8R8G8B8));
    d->releaseTexture(t32);
    d->releaseTexture(t16);
}

TEST_F(DispTest, TexturesSampleAsStored)
{
    // A1R5G5B5 (10, 20, 30, 128) stores 1/31, 2/31, 3/31 and alpha 1; A8R8G8B8 keeps alpha 128.
    const qor_hTexture t16 = qort::makeTexture(1, 1, {argb(10, 20, 30, 128)}, QOR_TEX_A1R5G5B5);
    const qor_hTexture t32 = qort::makeTexture(1, 1, {argb(10, 20, 30, 128)}, QOR_TEX_A8R8G8B8);
    qort::useStage(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
    d->setBlendMode(4, 0); // colour x alpha
    d->setTexture(0, t16);
    quadRHW(0, 0, 8, 8, argb(255, 255, 255));
    d->setTexture(0, t32);
    quadRHW(8, 0, 16, 8, argb(255, 255, 255));
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 8, 16, 25, 1);
    EXPECT_PIXEL(f.at(12, 4), 5, 10, 15, 1);
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(t16);
    d->releaseTexture(t32);
}

TEST_F(DispTest, TwentyFourBitTexturesIgnorePixelWrites)
{
    qor_cPixelFormat f;
    f.setFromD3DFormat(qorrs_fmt_R8G8B8);
    qor_cTexNodeGL node(d->getDevice());
    ASSERT_TRUE(node.create(2, 2, &f, 0));
    uint aOut[2];
    ASSERT_TRUE(node.lock(aOut));
    EXPECT_EQ(aOut[1], 6u);
    node.setPixel(0, 0, 255, 255, 255, 255);
    const uint8_t * p = static_cast<const uint8_t *>(node.getPixels());
    EXPECT_EQ(p[0] | p[1] | p[2], 0);
    EXPECT_TRUE(node.unlock());
}

TEST_F(DispTest, MipmapFlagBuildsTheChain)
{
    const qor_hTexture t = qort::makeTexture(4, 4, std::vector<uint>(16, argb(255, 0, 0)), QOR_TEX_MIPMAP);
    glActiveTexture(GL_TEXTURE0 + 4);
    glBindTexture(GL_TEXTURE_2D, d->getTexNodeByHandle(t)->getGLTex());
    GLint w = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 2, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, 1);
    d->releaseTexture(t);
}

TEST_F(DispTest, NullAndUnknownHandlesUnbindTheStage)
{
    const qor_hTexture t = qort::makeTexture(1, 1, {argb(255, 0, 0)});
    qort::useStage(0, qorrs_texarg_texture, qorrs_texop_modulate, qorrs_texarg_diffuse);
    for (qor_hTexture h : {QOR_NULL_TEXTURE, qor_hTexture(12345)})
    {
        ASSERT_TRUE(d->setTexture(0, t));
        EXPECT_TRUE(d->setTexture(0, h));
        quadRHW(0, 0, 8, 8, argb(0, 255, 0));
        EXPECT_PIXEL(Frame().at(4, 4), 0, 255, 0, 0); // white x green
    }
    EXPECT_FALSE(d->setTexture(0, 0x20000001));
    d->releaseTexture(t);
}

TEST_F(DispTest, LockProtocolFailuresAreReported)
{
    qort::LogCapture log;
    EXPECT_FALSE(d->unlockTexture(1));
    EXPECT_NE(log.text().find("bool qor_cDispDX8::unlockTexture(qor_hTexture handle)\n"
                              "qor_cTexNodeDX8 * pNode = getTexNodeByHandle(handle);\n"),
              std::string::npos);
    EXPECT_FALSE(d->lockTexture(0x0ABCDEF, nullptr));
    EXPECT_NE(log.text().find("bool qor_cDispDX8::lockTexture(qor_hTexture handle)\n"
                              "qor_cTexNodeDX8 * pNode = getTexNodeByHandle(handle)\n"),
              std::string::npos);
    EXPECT_FALSE(d->lockCubeTexture(0x10000FFF, qorrs_cubeface_posx));
    EXPECT_NE(log.text().find("qor_cCubeTexNodeDX8 * pNode = getCubeTexNodeByHandle(handle);\n"), std::string::npos);
    // A render target cannot be locked.
    const qor_hTexture rt = d->createTexture(4, 4, QOR_TEX_RENDERTARGET);
    EXPECT_FALSE(d->lockTexture(rt, nullptr));
    EXPECT_NE(log.text().find("bool bRet = pNode->lock();\n"), std::string::npos);
    // Release of an unknown handle: false, no message.
    const std::string before = log.text();
    EXPECT_FALSE(d->releaseTexture(0x0ABCDEF));
    EXPECT_EQ(log.text(), before);
    d->releaseTexture(rt);
}

TEST_F(DispTest, UnlockUploadsTheTextureLockedLast)
{
    const qor_hTexture a = qort::makeTexture(1, 1, {argb(255, 0, 0)});
    const qor_hTexture b = qort::makeTexture(1, 1, {argb(0, 0, 255)});
    ASSERT_TRUE(d->lockTexture(a, nullptr));
    d->setPixel(0, 0, 0, 255, 0, 255);
    EXPECT_TRUE(d->unlockTexture(b)); // unlocks a
    qort::useStage(0, qorrs_texarg_texture, qorrs_texop_selectarg1, qorrs_texarg_current);
    d->setTexture(0, a);
    quadRHW(0, 0, 8, 8, argb(255, 255, 255));
    EXPECT_PIXEL(Frame().at(4, 4), 0, 255, 0, 0);
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(a);
    d->releaseTexture(b);
}
