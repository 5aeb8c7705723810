// The scene test viewer playing a scene written with the writers: its fixed camera (eye
// (0, 50, 0) towards (0, 50, -100), 45 degrees, 640 x 480) puts a point (x, y, z) of a scene
// without cameras at pixel (320 - 320 * 0.75 c x / -z, 240 - 240 c (y - 50) / -z) with
// c = 1 / tan(22.5 degrees) = 2.4142.
#include <gtest/gtest.h>

#include "qor_cDisp.h"
#include "qor_cS3dWriter.h"
#include "qor_cScene.h"
#include "qor_cSceneViewer.h"
#include "qor_testScene.h"
#include "qor_testUtil.h"

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace
{
// The red quad of qort::addRedQuad: pixels x 262 .. 378, y 182 .. 298.
void writeRedQuadScene(const std::string & path)
{
    qor_cS3dWriter w;
    qort::addRedQuad(w);
    w.save(path.c_str());
    qor_cMotWriter mot;
    mot.addCommonInfos(0, 0, 1);
    mot.save((path + ".MOT").c_str());
}

std::vector<int> rgbAt(qor_cDisp * pDisp, int x, int y)
{
    std::vector<uint8_t> px;
    int w = 0, h = 0;
    if (!pDisp->readPixels(px, w, h) || x >= w || y >= h)
        return {};
    const uint8_t * p = &px[(size_t(y) * size_t(w) + size_t(x)) * 4];
    return {p[2], p[1], p[0]};
}

// The display's clear colour as the back buffer holds it.
std::vector<int> clearRgb(qor_cDisp * pDisp)
{
    const qor_cColor * c = pDisp->getClearColor();
    return {int(qor_cColor::toByte(c->r)), int(qor_cColor::toByte(c->g)), int(qor_cColor::toByte(c->b))};
}
} // namespace

TEST(qor_cSceneViewer, PlaysScenesTestS3dWithItsCameraAndLight)
{
    qort::TempDir dir;
    qort::ScopedChdir cd(dir.path());
    mkdir("scenes", 0755);
    writeRedQuadScene("scenes/test.s3d");
    qor_cApplication::setFrameLimit(2);
    {
        qor_cSceneViewer viewer;
        ASSERT_TRUE(viewer.init());
        viewer.run();
        ASSERT_NE(viewer.getScene(), nullptr);
        EXPECT_NE(viewer.getScene()->getObject("quad"), nullptr);
        EXPECT_EQ(rgbAt(viewer.getDisp(), 320, 240), (std::vector<int>{255, 0, 0}));
        EXPECT_EQ(rgbAt(viewer.getDisp(), 266, 186), (std::vector<int>{255, 0, 0}));
        EXPECT_EQ(rgbAt(viewer.getDisp(), 258, 240), clearRgb(viewer.getDisp()));
        EXPECT_EQ(rgbAt(viewer.getDisp(), 320, 302), clearRgb(viewer.getDisp()));
        // The viewer's light was given back to the display.
        for (uint i = 0; i < 8; ++i)
            EXPECT_EQ(viewer.getDisp()->getLightSlot(i), nullptr);
        viewer.release();
        EXPECT_EQ(viewer.getScene(), nullptr);
    }
    qor_cApplication::setFrameLimit(0);
}

TEST(qor_cSceneViewer, WithoutTheSceneFileShowsTheClearedScreenAndReportsTheRead)
{
    qort::TempDir dir;
    qort::ScopedChdir cd(dir.path());
    qort::BoxCapture boxes;
    qor_cApplication::setFrameLimit(2);
    {
        qor_cSceneViewer viewer;
        ASSERT_TRUE(viewer.init());
        viewer.run();
        EXPECT_EQ(qor_cApplication::getFrameCount(), 2);
        ASSERT_NE(viewer.getScene(), nullptr); // an empty scene
        EXPECT_EQ(viewer.getScene()->objects().getNbItem(), 0);
        EXPECT_EQ(rgbAt(viewer.getDisp(), 320, 240), clearRgb(viewer.getDisp()));
        viewer.release();
    }
    qor_cApplication::setFrameLimit(0);
    ASSERT_FALSE(boxes.texts().empty());
    EXPECT_NE(boxes.texts()[0].find("Impossible de charger le fichier <scenes/test.s3d>"), std::string::npos);
    EXPECT_NE(qort::readText(dir.file("qor_error.txt")).find("bool qor_cScene::load(cchar * sz <scenes/test.s3d>)\n"),
              std::string::npos);
}
