// Triangle lists: formats, modes, point batches, morphing.
#include "qor_dispTestEnv.h"

#include "qor_cTriListGL.h"
#include "qor_testUtil.h"

#include <memory>

using qort::argb;
using qort::Frame;

namespace
{
std::unique_ptr<qor_cTriListGL> rhwQuad(uint mode, uint colour, float x0 = 0, float y0 = 0, float x1 = 8, float y1 = 8)
{
    std::unique_ptr<qor_cTriListGL> p(new qor_cTriListGL);
    p->startAdd(2, mode);
    const float v[6][2] = {{x0, y0}, {x0, y1}, {x1, y1}, {x0, y0}, {x1, y1}, {x1, y0}};
    for (auto & xy : v)
    {
        p->setPositionRHW(xy[0], xy[1], 0.5f, 1);
        p->setColor(uchar(colour >> 16), uchar(colour >> 8), uchar(colour), 255);
        p->setUV(0, 0);
        p->next();
    }
    p->endAdd();
    return p;
}

// One triangle of format 0x112 or 0x152 with every float offset by k.
std::unique_ptr<qor_cTriListGL> tri(bool bColour, float k, uint colour = 0)
{
    std::unique_ptr<qor_cTriListGL> p(new qor_cTriListGL);
    p->startAdd(1, 1);
    for (int i = 0; i < 3; ++i)
    {
        p->setPosition(k + i, k + 10 + i, k + 20 + i);
        p->setNormal(k + 1, k + 2, k + 3);
        if (bColour)
            p->setColor(uchar(colour >> 16), uchar(colour >> 8), uchar(colour), uchar(colour >> 24));
        p->setUV(k + 0.5f, k + 0.25f);
        p->next();
    }
    p->endAdd();
    return p;
}
} // namespace

TEST_F(DispTest, FirstVertexChoosesTheFormat)
{
    EXPECT_EQ(rhwQuad(1, 0)->getFormat(), 0x144u);
    EXPECT_EQ(tri(false, 0)->getFormat(), 0x112u);
    EXPECT_EQ(tri(true, 0)->getFormat(), 0x152u);
    std::unique_ptr<qor_cTriList> p(qor_cTriList::create());
    p->startAdd(1, 1);
    p->setPosition(1, 2, 3);
    p->setNormal(0, 0, 1);
    EXPECT_TRUE(p->hasPosition());
    EXPECT_TRUE(p->hasNormal());
    EXPECT_FALSE(p->hasUV());
    EXPECT_FALSE(p->hasColor());
    EXPECT_FALSE(p->hasPositionRHW());
}

TEST_F(DispTest, UnknownFormatIsRefused)
{
    qort::LogCapture log;
    std::unique_ptr<qor_cTriList> p(qor_cTriList::create());
    p->startAdd(1, 1);
    p->setPosition(1, 2, 3);
    p->setNormal(0, 0, 1);
    p->setColor(1, 2, 3, 4);
    EXPECT_EQ(p->next(), 1u);
    EXPECT_EQ(p->getVertexArray(), nullptr);
    EXPECT_NE(log.text().find("void qor_cTriListDX8::next()\nformat de vertex inconnu !\n"), std::string::npos)
        << log.text();
    EXPECT_TRUE(p->draw());
}

TEST_F(DispTest, ModeTwoKeepsDataClientSideAndDrawsNothing)
{
    auto p = rhwQuad(2, argb(255, 0, 0));
    EXPECT_FALSE(p->hasBuffer());
    ASSERT_NE(p->getVertexArray(), nullptr);
    EXPECT_TRUE(p->draw());
    EXPECT_PIXEL(Frame().at(4, 4), 0, 0, 0, 0);
    p->setMode(0); // a buffer now, filled by the next upload
    EXPECT_TRUE(p->hasBuffer());
    EXPECT_TRUE(p->upload());
    p->draw();
    EXPECT_PIXEL(Frame().at(4, 4), 255, 0, 0, 0);
}

TEST_F(DispTest, RefillingAListReusesItsArraysAndBuffer)
{
    auto p = rhwQuad(0, argb(255, 0, 0));
    p->draw();
    void * pArray = p->getVertexArray();
    p->startAdd(2, 0);
    for (int i = 0; i < 6; ++i)
    {
        const float v[6][2] = {{0, 0}, {0, 8}, {8, 8}, {0, 0}, {8, 8}, {8, 0}};
        p->setPositionRHW(v[i][0], v[i][1], 0.5f, 1);
        p->setColor(0, 0, 255, 255);
        p->setUV(0, 0);
        p->next();
    }
    p->endAdd();
    EXPECT_EQ(p->getVertexArray(), pArray);
    p->draw();
    EXPECT_PIXEL(Frame().at(4, 4), 0, 0, 255, 0);
}

TEST_F(DispTest, SkinnedMeshesRewriteTheClientArray)
{
    auto p = rhwQuad(0, argb(0, 255, 0));
    auto * pV = static_cast<qor_sVertex3 *>(p->getVertexArray());
    for (int i = 0; i < 6; ++i)
        pV[i].x += 100;
    p->releaseVertexArray();
    ASSERT_TRUE(p->upload());
    p->draw();
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 0, 0, 0, 0);
    EXPECT_PIXEL(f.at(104, 4), 0, 255, 0, 0);
}

TEST_F(DispTest, PointBatchesUseTheFirstSizeForEveryPoint)
{
    // Identity view and projection: a point of size 0.5 spans 0.5 in clip x and y.
    std::unique_ptr<qor_cTriList> p(qor_cTriList::create());
    ASSERT_TRUE(p->startAddPoint(2));
    EXPECT_EQ(p->addPoint(0, 0, 0.5f, 0.5f, argb(255, 0, 0)), 6u);
    EXPECT_EQ(p->addPoint(0.5f, 0, 0.5f, 2.0f, argb(0, 255, 0)), 12u);
    p->endAddPoint();
    EXPECT_TRUE(p->drawPoints());
    Frame f;
    EXPECT_PIXEL(f.at(320, 240), 255, 0, 0, 0);
    EXPECT_PIXEL(f.at(250, 190), 255, 0, 0, 0);
    EXPECT_PIXEL(f.at(480, 240), 0, 255, 0, 0);
    EXPECT_PIXEL(f.at(580, 240), 0, 0, 0, 0); // a size of 2 would reach here
    EXPECT_PIXEL(f.at(320, 170), 0, 0, 0, 0);
    // A batch of zero points draws nothing.
    d->setClearColor(0, 0, 0);
    d->clear(3);
    ASSERT_TRUE(p->startAddPoint(2));
    p->endAddPoint();
    EXPECT_TRUE(p->drawPoints());
    EXPECT_PIXEL(Frame().at(320, 240), 0, 0, 0, 0);
}

TEST_F(DispTest, PointQuadsTurnAboutTheVerticalAxisOnly)
{
    // A view turned 90 degrees about Y maps world (x, y, z) to view (z, y, -x). Its rigid
    // inverse turns the right vector into world z (R.x = 0), so the quad of a point lies in the
    // plane x = const, spanning z and y: face-on to that view, edge-on to the identity view.
    qor_cMatrix view;
    view.setRotationY(3.14159265f / 2);
    d->setMatrix(qorrs_ts_view, &view);
    std::unique_ptr<qor_cTriListGL> p(new qor_cTriListGL);
    ASSERT_TRUE(p->startAddPoint(1));
    p->addPoint(-0.5f, 0, 0.5f, 0.5f, argb(255, 255, 255));
    p->endAddPoint();
    // Through the turned view: view x = z in 0.25..0.75, y in -0.25..0.25 and depth 0.5,
    // which with an identity projection is screen columns 400 to 560 and rows 180 to 300.
    p->drawPoints();
    {
        Frame f;
        EXPECT_PIXEL(f.at(480, 240), 255, 255, 255, 0);
        EXPECT_PIXEL(f.at(405, 185), 255, 255, 255, 0);
        EXPECT_PIXEL(f.at(555, 295), 255, 255, 255, 0);
        for (auto xy : {std::pair{395, 240}, {565, 240}, {480, 175}, {480, 305}, {320, 240}})
            EXPECT_PIXEL(f.at(xy.first, xy.second), 0, 0, 0, 0) << xy.first << ", " << xy.second;
    }
    // Through the identity view the same quad is edge-on: at most a line of pixels.
    d->setClearColor(0, 0, 0);
    d->clear(3);
    qor_cMatrix id;
    d->setMatrix(qorrs_ts_view, &id);
    p->drawPoints();
    Frame f;
    int n = 0;
    for (int y = 0; y < 480; y += 4)
        for (int x = 0; x < 640; ++x)
            n += f.at(x, y).r > 0;
    EXPECT_LE(n, 2 * 120);
}

TEST_F(DispTest, MorphRulesAndTheBaseCopy)
{
    auto a = tri(false, 0);
    auto b = tri(false, 4);
    a->morph(b.get(), 0.0f, true); // nothing, not even the base copy
    EXPECT_EQ(a->getBaseCopy(), nullptr);
    EXPECT_EQ(static_cast<qor_sVertex1 *>(a->getVertexArray())[0].x, 0.0f);
    // Type 1: value += t (target - value).
    a->morph(b.get(), 0.5f, false);
    auto * v = static_cast<qor_sVertex1 *>(a->getVertexArray());
    EXPECT_FLOAT_EQ(v[1].x, 1 + 0.5f * 4);
    EXPECT_FLOAT_EQ(v[1].u, 0.5f + 0.5f * 4);
    EXPECT_FLOAT_EQ(v[1].nz, 3 + 0.5f * 4);
    a->morph(b.get(), 0.5f, false);
    EXPECT_FLOAT_EQ(v[1].x, 1 + 0.75f * 4);
    // Reset: base + t (target - base).
    a->morph(b.get(), 0.25f, true);
    EXPECT_FLOAT_EQ(v[1].x, 1 + 0.25f * 4);
    EXPECT_FLOAT_EQ(v[2].v, 0.25f + 0.25f * 4);
    EXPECT_EQ(a->getMode(), 0u);

    // Type 2: position and normal += t (target - base); colour and coordinates stay.
    auto c = tri(true, 0, argb(1, 2, 3, 4));
    auto e = tri(true, 8, argb(9, 9, 9, 9));
    c->morph(e.get(), 0.5f, false);
    c->morph(e.get(), 0.5f, false);
    auto * w = static_cast<qor_sVertex2 *>(c->getVertexArray());
    EXPECT_FLOAT_EQ(w[2].x, 2 + 8);
    EXPECT_FLOAT_EQ(w[2].ny, 2 + 8);
    EXPECT_EQ(w[2].color, argb(1, 2, 3, 4));
    EXPECT_FLOAT_EQ(w[2].u, 0.5f);
    c->morph(e.get(), 0.5f, true);
    EXPECT_FLOAT_EQ(w[2].x, 2 + 4);

    // Pre-transformed lists do not morph.
    auto q = rhwQuad(1, argb(1, 1, 1));
    auto r = rhwQuad(1, argb(1, 1, 1), 100, 100, 200, 200);
    q->morph(r.get(), 0.5f, true);
    EXPECT_EQ(static_cast<qor_sVertex3 *>(q->getVertexArray())[2].x, 8.0f);
    EXPECT_EQ(q->getBaseCopy(), nullptr);
}

TEST_F(DispTest, MorphedListsDrawTheBlend)
{
    // A quad of format 0x152 moving from the left half to the right half of the screen.
    const auto make = [](float x0) {
        std::unique_ptr<qor_cTriListGL> p(new qor_cTriListGL);
        p->startAdd(2, 1);
        const float v[6][2] = {{x0, 1}, {x0, -1}, {x0 + 1, -1}, {x0, 1}, {x0 + 1, -1}, {x0 + 1, 1}};
        for (auto & xy : v)
        {
            p->setPosition(xy[0], xy[1], 0.5f);
            p->setNormal(0, 0, -1);
            p->setColor(255, 255, 255, 255);
            p->setUV(0, 0);
            p->next();
        }
        p->endAdd();
        return p;
    };
    auto a = make(-1);
    auto b = make(0);
    a->morph(b.get(), 0.5f, true);
    a->draw();
    Frame f;
    EXPECT_PIXEL(f.at(100, 240), 0, 0, 0, 0);
    EXPECT_PIXEL(f.at(320, 240), 255, 255, 255, 0);
    EXPECT_PIXEL(f.at(500, 240), 0, 0, 0, 0);
}

namespace
{
// A 4 x 4 grid of cells over the whole screen (identity transforms: clip = position), two
// triangles a cell: lower-left (TL, BL, BR) and upper-right (TL, BR, TR). colour(cell, t) gives
// the colour of triangle t (0, 1) of cell (row from the bottom * 4 + column).
template <typename F> std::unique_ptr<qor_cTriListGL> grid(F colour)
{
    std::unique_ptr<qor_cTriListGL> p(new qor_cTriListGL);
    p->startAdd(32, 0);
    for (int cell = 0; cell < 16; ++cell)
    {
        const float x0 = -1 + 0.5f * float(cell % 4), y0 = -1 + 0.5f * float(cell / 4);
        const float tl[2] = {x0, y0 + 0.5f}, bl[2] = {x0, y0}, br[2] = {x0 + 0.5f, y0}, tr[2] = {x0 + 0.5f, y0 + 0.5f};
        const float * corners[2][3] = {{tl, bl, br}, {tl, br, tr}};
        for (int t = 0; t < 2; ++t)
            for (const float * c : corners[t])
            {
                const uint argbColour = colour(cell, t);
                p->setPosition(c[0], c[1], 0.5f);
                p->setNormal(0, 0, -1);
                p->setColor(uchar(argbColour >> 16), uchar(argbColour >> 8), uchar(argbColour), 255);
                p->setUV(0, 0);
                p->next();
            }
    }
    p->endAdd();
    return p;
}

// A pixel inside triangle t of a cell: cells are 160 x 120 pixels, row 0 at the bottom.
std::pair<int, int> inside(int cell, int t)
{
    const int x = 160 * (cell % 4), y = 480 - 120 * (cell / 4 + 1);
    return t == 0 ? std::pair{x + 20, y + 110} : std::pair{x + 150, y + 10};
}
} // namespace

TEST_F(DispTest, EqualVerticesShareASlotAndTheTrianglesStayTheSame)
{
    const uint red = argb(255, 0, 0), green = argb(0, 255, 0);
    struct Case
    {
        const char * szName;
        bool bRecolourFirst; // after the first draw, triangle 0 of cell 0 turns green
        bool bOwnColours;    // every triangle a colour of its own: nothing to share
        bool bIndexed;
        uint nUploaded;
    };
    // One colour: the 5 x 5 corners of the grid. The first triangle recoloured: its three
    // corners become new slots, and its bottom-left corner, which no other triangle has, leaves
    // (25 - 1 + 3). Own colours: 96 vertices, 96 slots, drawn as arrays.
    const Case aCase[] = {{"one colour", false, false, true, 25},
                          {"one triangle recoloured after a draw", true, false, true, 27},
                          {"a colour a triangle", false, true, false, 96}};
    for (const Case & c : aCase)
    {
        SCOPED_TRACE(c.szName);
        const auto colourOf = [&c, red](int cell, int t) {
            return c.bOwnColours ? argb(uchar(40 + 12 * cell), uchar(t ? 200 : 100), uchar(255 - 10 * cell)) : red;
        };
        d->setClearColor(0, 0, 0);
        d->clear(3);
        auto p = grid(colourOf);
        p->draw();
        if (c.bRecolourFirst)
        {
            auto * v = static_cast<qor_sVertex2 *>(p->getVertexArray());
            for (int i = 0; i < 3; ++i)
                v[i].color = green;
            p->releaseVertexArray();
            ASSERT_TRUE(p->upload());
            p->draw();
        }
        EXPECT_EQ(p->isIndexed(), c.bIndexed);
        EXPECT_EQ(p->getNbUploaded(), c.nUploaded);
        Frame f;
        for (int cell = 0; cell < 16; ++cell)
            for (int t = 0; t < 2; ++t)
            {
                const uint want = c.bRecolourFirst && cell == 0 && t == 0 ? green : colourOf(cell, t);
                const auto [x, y] = inside(cell, t);
                EXPECT_PIXEL(f.at(x, y), int((want >> 16) & 255), int((want >> 8) & 255), int(want & 255), 0)
                    << "cell " << cell << " triangle " << t;
            }
    }
}
