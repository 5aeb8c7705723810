// Scene textures on the GL display: frame animation, offset tables, solid colours, release.
#include <gtest/gtest.h>

#include "qor_cImageOps.h"
#include "qor_cS3dWriter.h"
#include "qor_cScene.h"
#include "qor_cTexture.h"
#include "qor_imageTestEnv.h"
#include "qor_testJpeg.h"
#include "qor_testUtil.h"

#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

using qort::Rgba;

namespace
{
class Texture : public qort::ImageTestEnv
{
protected:
    // nFrame frames of 4 x 4, frame k (from 0) of grey level 20 + 25 k.
    void writeFrames(const std::string & name, int nFrame)
    {
        for (int k = 0; k < nFrame; ++k)
        {
            char sz[64];
            std::snprintf(sz, sizeof(sz), "%s_%03d", name.c_str(), k + 1);
            ASSERT_TRUE(writeImage(sz, 4, 4, qort::solidRgb(4, 4, grey(k), grey(k), grey(k))));
        }
    }
    static int grey(int k) { return 20 + 25 * k; }

    // The frame number the texture binds now, seen through the drawn grey level.
    int shownFrame(qor_cTexture & tex)
    {
        setFlatState();
        clear(0, 0, 0);
        tex.use(0);
        drawQuad(0, 0, 4, 4);
        Rgba c = pixel(readFrame(), 1, 1);
        return (int)std::lround((c.r - 20) / 25.0);
    }

    // Writes a 256 x 256 grey image whose level is f(x, y).
    template <typename F> void writeMap(const std::string & stem, int w, int h, F f)
    {
        std::vector<unsigned char> rgb((size_t)w * h * 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k)
                    rgb[((size_t)y * w + x) * 3 + k] = (unsigned char)f(x, y, k);
        ASSERT_TRUE(writeImage(stem, w, h, rgb));
    }
};
} // namespace

TEST_F(Texture, AnimationShowsFrameFloorOfTimeModCount)
{
    writeFrames("fire", 8);
    qor_cTexture tex;
    ASSERT_TRUE(tex.loadAnim("fire", 8, 1.0f, 0));
    EXPECT_STREQ(tex.getName(), "fire");
    qor_hTexture first = tex.getHandle();
    const float aStep[] = {0.0f, 0.5f, 2.7f, 4.79f, 0.01f, 1.0f, 3.5f, 11.25f, 0.5f};
    float t = 0.0f;
    for (float dt : aStep)
    {
        tex.update(&dt);
        t += dt;
        int expected = (int)std::floor(std::fmod(t, 8.0f));
        EXPECT_EQ(tex.getCurrentHandle(), first + (uint)expected) << "t = " << t;
        EXPECT_EQ(shownFrame(tex), expected) << "t = " << t;
    }
}

TEST_F(Texture, AnimationWithAMissingFrameFails)
{
    writeFrames("gap", 2);
    qort::LogCapture log;
    qor_hTexture before = disp()->createTexture(1, 1, 0);
    qor_cTexture tex;
    EXPECT_FALSE(tex.loadAnim("gap", 3, 1.0f, 0));
    // The two frames made before the gap were given back.
    EXPECT_FALSE(disp()->releaseTexture(before + 1));
    EXPECT_FALSE(disp()->releaseTexture(before + 2));
    EXPECT_TRUE(disp()->releaseTexture(before));
    EXPECT_EQ(tex.getHandle(), QOR_NULL_TEXTURE);
    EXPECT_NE(log.text().find("bool qor_cTexture::loadAnim(cchar * szAnimName<gap>, cuint nFrame<3>)\n"),
              std::string::npos)
        << log.text();
    EXPECT_EQ(tex.getCurrentHandle(), QOR_NULL_TEXTURE);
}

TEST_F(Texture, HeldAnimationEndsOnItsLastFrame)
{
    writeFrames("hold", 3);
    qor_cTexture tex;
    ASSERT_TRUE(tex.loadAnim("hold", 3, 1.0f, 1));
    float dt = 2.5f;
    tex.update(&dt);
    EXPECT_EQ(shownFrame(tex), 2);
    // The track holds at value 3, one past the last frame: the last frame stays.
    dt = 40.0f;
    tex.update(&dt);
    EXPECT_EQ(tex.getCurrentHandle(), tex.getHandle() + 2);
    EXPECT_EQ(shownFrame(tex), 2);
}

TEST_F(Texture, PlainTextureBindsItsHandleWhateverTheTime)
{
    writeFrames("still", 1);
    qor_cTexture tex;
    ASSERT_TRUE(tex.load("still_001", nullptr, true));
    float dt = 17.3f;
    tex.update(&dt);
    EXPECT_EQ(tex.getCurrentHandle(), tex.getHandle());
    EXPECT_EQ(shownFrame(tex), 0);

    // The same image as a normal map: one pixel is flat.
    qor_cTexture bump;
    ASSERT_TRUE(writeImage("height", 1, 1, qort::solidRgb(1, 1, 99, 99, 99)));
    ASSERT_TRUE(bump.loadAsBump("height"));
    EXPECT_STREQ(bump.getName(), "height");
    EXPECT_EQ(readTexture(bump.getHandle(), 1, 1)[0], (Rgba{127, 127, 254, 255}));

    // A missing image loads as handle 0, which binds nothing.
    qort::LogCapture log;
    qor_cTexture missing;
    EXPECT_TRUE(missing.load("nothere"));
    EXPECT_EQ(missing.getHandle(), 0u);
    EXPECT_EQ(missing.getCurrentHandle(), 0u);

    // An undecodable one fails with the null handle.
    ASSERT_TRUE(writeRaw("broken", {'b', 'a', 'd'}));
    qor_cTexture broken;
    EXPECT_FALSE(broken.load("broken", nullptr));
    EXPECT_EQ(broken.getHandle(), QOR_NULL_TEXTURE);
    EXPECT_NE(log.text().find("bool qor_cTexture::load(cchar * szTexture<broken>, cchar * szAlpha<>)\n"),
              std::string::npos)
        << log.text();
}

TEST_F(Texture, DestructionReleasesEveryFrame)
{
    writeFrames("spark", 4);
    qor_hTexture first;
    {
        qor_cTexture tex;
        ASSERT_TRUE(tex.loadAnim("spark", 4, 1.0f, 0));
        first = tex.getHandle();
    }
    for (uint k = 0; k < 4; ++k)
        EXPECT_FALSE(disp()->releaseTexture(first + k)) << "frame " << k << " was still held";
}

TEST_F(Texture, OffsetTableScrollsTheSourceThroughTheMaps)
{
    // Source: red = column, green = row (in steps the JPEG keeps apart), blue constant.
    writeMap("source", 256, 256, [](int x, int y, int k) { return k == 0 ? x : k == 1 ? y : 77; });
    writeMap("mapx", 256, 256, [](int x, int, int) { return x; });
    writeMap("mapy", 256, 256, [](int, int y, int) { return y; });
    qor_cTexture tex;
    ASSERT_TRUE(tex.loadOffsetTable("source", "mapx", "mapy"));

    // Expected texels by the rule, from the images as libjpeg-turbo decodes them here: texel
    // i = y * 256 + x shows source pixel ((v + t) * 256 + u) mod 65536, where u and v are the
    // red bytes of pixel i of the two maps and t the whole part of the time.
    std::vector<Rgba> src = decode("source"), mx = decode("mapx"), my = decode("mapy");
    ASSERT_EQ(src.size(), 65536u);
    int nIdentity = 0;
    for (int i = 0; i < 65536; ++i)
        nIdentity += (mx[i].r == i % 256 && my[i].r == i / 256);
    EXPECT_GT(nIdentity, 60000) << "the decoded maps are (nearly) the identity";
    std::vector<Rgba> expected(65536);
    for (int i = 0; i < 65536; ++i)
        expected[i] = src[((my[i].r + 3) * 256 + mx[i].r) % 65536];

    // The frame is written when the texture is bound, for the time the updates reached:
    // 1.5 and 2.2 make 3.7 (the frame of time 1.5 is never written).
    float dt = 1.5f;
    tex.update(&dt);
    dt = 2.2f;
    tex.update(&dt);
    ASSERT_TRUE(tex.use(0));
    std::vector<Rgba> shown = readTexture(tex.getHandle(), 256, 256);
    int nBad = 0;
    for (int i = 0; i < 65536; ++i)
        nBad += !(shown[i].rgb() == expected[i].rgb());
    EXPECT_EQ(nBad, 0);
    // Identity maps at time 3.7: texel (x, y) shows source (x, y + 3).
    EXPECT_EQ(shown[10 * 256 + 20].rgb(), src[13 * 256 + 20].rgb());
    EXPECT_EQ(shown[254 * 256 + 5].rgb(), src[1 * 256 + 5].rgb()) << "rows wrap";

    // Another 0.4 reaches 4.1: one more row, once bound.
    dt = 0.4f;
    tex.update(&dt);
    EXPECT_EQ(readTexture(tex.getHandle(), 256, 256)[10 * 256 + 20].rgb(), src[13 * 256 + 20].rgb());
    ASSERT_TRUE(tex.use(0));
    shown = readTexture(tex.getHandle(), 256, 256);
    EXPECT_EQ(shown[10 * 256 + 20].rgb(), src[14 * 256 + 20].rgb());
}

TEST_F(Texture, OffsetTableRefusesImagesOfTheWrongSize)
{
    writeMap("wide", 256, 128, [](int, int, int) { return 50; });
    writeMap("tall", 128, 256, [](int, int, int) { return 50; });
    writeMap("map", 256, 256, [](int, int, int) { return 0; });
    writeMap("smallmap", 64, 64, [](int, int, int) { return 0; });
    qort::LogCapture log;
    {
        qor_cTexture tex;
        EXPECT_FALSE(tex.loadOffsetTable("wide", "map", "map"));
        EXPECT_NE(log.text().find("if (height<128> != e_ot_height<256>)\n"), std::string::npos) << log.text();
    }
    {
        qor_cTexture tex;
        EXPECT_FALSE(tex.loadOffsetTable("tall", "map", "map"));
        EXPECT_NE(log.text().find("if (width<128> != e_ot_width<256>)\n"), std::string::npos);
    }
    {
        qor_cTexture tex;
        EXPECT_FALSE(tex.loadOffsetTable("nothere", "map", "map"));
        EXPECT_NE(log.text().find("m_pOffMap = qoru_loadRGBARect(szTexture, width, height);\n"), std::string::npos);
    }
    {
        // A map smaller than the table would be read past its end.
        writeMap("source", 256, 256, [](int, int, int) { return 9; });
        qor_cTexture tex;
        EXPECT_FALSE(tex.loadOffsetTable("source", "map", "smallmap"));
        float dt = 1.0f;
        tex.update(&dt); // nothing to animate, nothing read
    }
}

TEST_F(Texture, SolidColourFillsAllSixteenTexels)
{
    qor_cTexture white, mixed;
    ASSERT_TRUE(white.createSolidColor(1, 1, 1, 1));
    ASSERT_TRUE(mixed.createSolidColor(0.5f, 0.25f, 1.0f, 0.75f));
    for (const Rgba & c : readTexture(white.getHandle(), 4, 4))
        EXPECT_EQ(c, (Rgba{255, 255, 255, 255}));
    // 0.5 * 255 = 127.5 and 0.25 * 255 = 63.75, truncated; 0.75 * 255 = 191.25.
    for (const Rgba & c : readTexture(mixed.getHandle(), 4, 4))
        EXPECT_EQ(c, (Rgba{127, 63, 255, 191}));
}

TEST_F(Texture, FrameKeysMustComeInIncreasingTime)
{
    qort::LogCapture log;
    qor_cTexture tex;
    EXPECT_TRUE(tex.addKey_frame(0.0f, 0.0f));
    EXPECT_TRUE(tex.addKey_frame(10.0f, 5.0f));
    EXPECT_FALSE(tex.addKey_frame(10.0f, 6.0f));
    EXPECT_NE(log.text().find("bool qor_cTexture::addKey_frame(float keytime<10.000000>, float frame<6.000000>)\n"
                              "bool b = m_frame.addKey(pKey);\n"),
              std::string::npos)
        << log.text();
    EXPECT_TRUE(tex.lastKey_frame());
}

// Texture names come from data (scenes, material scripts): a name that is absolute or has a
// ".." component is refused before any file is opened, and the log names it. A decodable
// image waits at the place each escaping name would reach from "maps/" (the working folder's
// outside.jpg), so a load that read it would succeed; the same image under maps/ loads.
TEST_F(Texture, NamesLeavingTheMapsFolderAreRefusedAndLogged)
{
    const std::vector<unsigned char> jpeg = qort::encodeJpeg(4, 4, qort::solidRgb(4, 4, 90, 90, 90));
    ASSERT_TRUE(qort::writeBytes(m_dir.file("outside.jpg"), jpeg.data(), jpeg.size()));
    ASSERT_TRUE(writeImage("inside", 4, 4, qort::solidRgb(4, 4, 90, 90, 90)));
    ASSERT_EQ(0, mkdir("maps/sub", 0755));
    const std::string absolute = m_dir.file("outside");
    struct Case
    {
        std::string name;
        bool ok;
    };
    const Case cases[] = {{"inside", true},       {"../outside", false},
                          {"..\\outside", false}, {"sub/../../outside", false},
                          {absolute, false},      {"../../../../etc/passwd", false}};
    for (const Case & c : cases)
    {
        const std::string logged = "nom de fichier refuse <" + c.name + ">";
        {
            qort::LogCapture log;
            qor_cTexture tex;
            EXPECT_EQ(c.ok, tex.load(c.name.c_str())) << c.name;
            EXPECT_EQ(!c.ok, log.text().find("texture : " + logged) != std::string::npos) << log.text();
        }
        {
            qort::LogCapture log;
            qor_cTexture tex;
            EXPECT_EQ(c.ok, tex.loadAsBump(c.name.c_str())) << c.name;
            EXPECT_EQ(!c.ok, log.text().find("bump texture : " + logged) != std::string::npos) << log.text();
        }
        {
            // As the alpha image of an allowed texture.
            qort::LogCapture log;
            qor_cTexture tex;
            EXPECT_EQ(c.ok, tex.load("inside", c.name.c_str())) << c.name;
            EXPECT_EQ(!c.ok, log.text().find("texture alpha : " + logged) != std::string::npos) << log.text();
        }
    }
}

// The same through a scene file: its texture record names the file; the name is refused and
// logged, and the scene loads with the texture kept by name binding no image (the null
// handle), as it does for a missing or broken image.
TEST_F(Texture, ASceneNamingATextureOutsideTheMapsFolderIsRefused)
{
    const std::vector<unsigned char> jpeg = qort::encodeJpeg(4, 4, qort::solidRgb(4, 4, 90, 90, 90));
    ASSERT_TRUE(qort::writeBytes(m_dir.file("outside.jpg"), jpeg.data(), jpeg.size()));
    ASSERT_TRUE(writeImage("inside", 4, 4, qort::solidRgb(4, 4, 90, 90, 90)));
    for (const std::string & name : {std::string("inside"), std::string("../outside"), m_dir.file("outside")})
    {
        qor_cS3dWriter w;
        qor_sS3dWTexture t;
        t.m_strName = name;
        ASSERT_TRUE(w.addTexture(t));
        ASSERT_TRUE(w.save("t.s3d"));
        qor_cMotWriter mot;
        mot.addCommonInfos(0, 0, 1);
        ASSERT_TRUE(mot.save("t.s3d.MOT"));
        qort::LogCapture log;
        qor_cScene scene;
        const bool bOk = name == "inside";
        EXPECT_TRUE(scene.load("t.s3d")) << name;
        qor_cTexture * pTex = scene.getTexture(name.c_str());
        ASSERT_NE(pTex, nullptr) << name;
        EXPECT_EQ(bOk, pTex->getHandle() != 0x0FFFFFFFu) << name;
        EXPECT_EQ(!bOk, log.text().find("nom de fichier refuse <" + name + ">") != std::string::npos) << log.text();
    }
}
