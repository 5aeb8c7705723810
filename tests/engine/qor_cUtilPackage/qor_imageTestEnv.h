// A headless GL display with the JPEG module and a working folder of images, shared by the
// image, texture, material and font tests; frames are read back to check texels.
#pragma once

#include <gtest/gtest.h>

#include "qor_cDisp.h"
#include "qor_cJpegPlugin.h"
#include "qor_cMonofiler.h"
#include "qor_cTriList.h"
#include "qor_cXChange.h"
#include "qor_testJpeg.h"
#include "qor_testUtil.h"

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace qort
{
struct Rgba
{
    int r, g, b, a;
    std::tuple<int, int, int> rgb() const { return {r, g, b}; }
    bool operator==(const Rgba & o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};
inline std::ostream & operator<<(std::ostream & os, const Rgba & c)
{
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}

class ImageTestEnv : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    qor_cDisp * disp() { return QOR_DISP(); }
    // Registers a pack reader (null: back to the empty one, every file from the disk).
    void setPack(qor_cMonofiler * pPack);

    // The image file the loaders read for a stem.
    std::string imagePath(const std::string & stem) const;
    bool writeImage(const std::string & stem, int w, int h, const std::vector<unsigned char> & rgb,
                    bool progressive = false);
    bool writeRaw(const std::string & stem, const std::vector<unsigned char> & bytes);
    bool writeFile(const std::string & name, const std::vector<unsigned char> & bytes);
    // The pixels of the stem's file as libjpeg-turbo decodes them in the test (alpha 255).
    std::vector<Rgba> decode(const std::string & stem);

    // Sets the device for drawing screen-space quads straight from stage 0's texture:
    // no blending, depth test always, no culling, point filtering, no lighting.
    void setFlatState();
    // A screen-space quad with its texture corners at (u0, v0) and (u1, v1).
    void drawQuad(float x, float y, float w, float h, uchar r = 255, uchar g = 255, uchar b = 255, uchar a = 255,
                  float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1);
    // Texel colours (and alpha) of a w x h texture, drawn 1:1 and read back.
    std::vector<Rgba> readTexture(qor_hTexture handle, int w, int h);
    // Clears the frame to the colour (0..255).
    void clear(int r, int g, int b);
    // The frame as drawn so far, top row first.
    std::vector<Rgba> readFrame();
    Rgba pixel(const std::vector<Rgba> & frame, int x, int y) const { return frame[(size_t)y * 640 + x]; }
    // The centre pixel of a quad facing the camera drawn with the cube map on stage 0.
    Rgba drawCubeFacingCamera(qor_hTexture hCube);

    TempDir m_dir;
    std::unique_ptr<ScopedChdir> m_pChdir;
    std::unique_ptr<qor_cTriList> m_pQuad;
};
} // namespace qort
