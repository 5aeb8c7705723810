#include <gtest/gtest.h>

#include "qor_math.h"
#include "qor_mathTestUtil.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

TEST(qor_cVector3, NormaliseSkipsZeroLength)
{
    qor_cVector3 v;
    v.normalize();
    EXPECT_TRUE(v == qor_cVector3(0, 0, 0));
    v.set(3, 0, 4).normalize();
    EXPECT_VEC3_NEAR(v, 0.6f, 0, 0.8f, 1e-7f);
    qor_cVector2 w(0, 0);
    w.normalize();
    EXPECT_TRUE(w == qor_cVector2(0, 0));
    EXPECT_FLOAT_EQ(qor_cVector2(3, 4).normalize().x, 0.6f);
}

TEST(qor_cVector3, ArithmeticDotAndLeftHandedCross)
{
    static_assert(std::is_trivially_copyable_v<qor_cVector3>);
    const qor_cVector3 a(1, 2, 3), b(4, -5, 6);
    EXPECT_TRUE(a - b == qor_cVector3(-3, 7, -3));
    EXPECT_TRUE(a * 2 == qor_cVector3(2, 4, 6));
    EXPECT_TRUE(-a == qor_cVector3(-1, -2, -3));
    EXPECT_EQ(a.dot(b), 4 - 10 + 18);
    EXPECT_EQ(a.lengthSq(), 14);
    EXPECT_TRUE(qor_cVector3(1, 0, 0).cross(qor_cVector3(0, 1, 0)) == qor_cVector3(0, 0, 1));
    EXPECT_TRUE(a.cross(b) == qor_cVector3(2 * 6 - 3 * -5, 3 * 4 - 1 * 6, 1 * -5 - 2 * 4));
}

TEST(qor_mathUtil, AngleConversionUsesTheEngineConstants)
{
    EXPECT_EQ(qoru_degToRad(180.0f), 180.0f * 0.017453292f);
    EXPECT_EQ(qoru_radToDeg(1.0f), 57.29578f);
    EXPECT_NEAR(qoru_degToRad(90.0f), 1.5707963f, 1e-6f);
}

TEST(qor_mathUtil, RandRangeScalesRandMasked)
{
    std::srand(12345);
    const int r = std::rand();
    std::srand(12345);
    EXPECT_EQ(qoru_randRange(2.0f, 4.0f), 2.0f + float(r & 0x7fff) * (1.0f / 32767.0f) * (4.0f - 2.0f));
    for (int i = 0; i < 2000; ++i)
    {
        const float f = qoru_randRange(-1.0f, 3.0f);
        EXPECT_GE(f, -1.0f);
        EXPECT_LE(f, 3.0f);
    }
}

TEST(qor_cColor, PacksToArgbByTruncation)
{
    EXPECT_EQ(qor_cColor(1, 0.5f, 0.25f, 1).getARGB(), 0xFFFF7F3Fu);
    EXPECT_EQ(qor_cColor(0.1f, 0.2f, 0.4f, 1.0f).getARGB(), 0xFF193366u) << "the engine's clear colour";
    EXPECT_EQ(qor_cColor(2.0f, -1.0f, NAN, 0.999f).getARGB(), 0xFEFF0000u) << "out of range clamps";
    qor_cColor c;
    EXPECT_TRUE(c == qor_cColor(0, 0, 0, 0));
    c.setARGB(0x80FF0033u);
    EXPECT_EQ(c.getARGB(), 0x80FF0033u);
}

TEST(qor_sUCColor, IsBlueGreenRedAlphaInMemory)
{
    static_assert(sizeof(qor_sUCColor) == 4 && std::is_trivial_v<qor_sUCColor>);
    qor_sUCColor c;
    c.setARGB(0x11223344u);
    EXPECT_EQ(c.b, 0x44);
    EXPECT_EQ(c.g, 0x33);
    EXPECT_EQ(c.r, 0x22);
    EXPECT_EQ(c.a, 0x11);
    unsigned char ab[4];
    std::memcpy(ab, &c, 4);
    EXPECT_EQ(ab[0], 0x44);
    EXPECT_EQ(ab[3], 0x11);
    EXPECT_EQ(c.getARGB(), 0x11223344u);
}

TEST(qor_cSphere, KeepsTheSquaredRadiusAndTestsPointsStrictly)
{
    qor_cSphere s(qor_cVector3(1, 0, 0), 2);
    EXPECT_EQ(s.m_fRadiusSq, 4.0f);
    EXPECT_FALSE(s.isPointOutside(qor_cVector3(3, 0, 0))) << "on the surface is not outside";
    EXPECT_TRUE(s.isPointOutside(qor_cVector3(3.01f, 0, 0)));
    s.setRadius(3);
    EXPECT_EQ(s.m_fRadiusSq, 9.0f);
    EXPECT_FALSE(s.isPointOutside(qor_cVector3(3.01f, 0, 0)));
}

TEST(qor_cSphere, RayDistanceIsTheNearerHitOrMinusOne)
{
    const qor_cSphere s(qor_cVector3(0, 0, 10), 2);
    EXPECT_FLOAT_EQ(s.rayDistance(qor_cVector3(0, 0, 0), qor_cVector3(0, 0, 1)), 8);
    EXPECT_FLOAT_EQ(s.rayDistance(qor_cVector3(0, 0, 0), qor_cVector3(0, 0, 5)), 8) << "direction need not be unit";
    EXPECT_EQ(s.rayDistance(qor_cVector3(0, 0, 0), qor_cVector3(0, 1, 0)), -1);
    EXPECT_EQ(s.rayDistance(qor_cVector3(0, 0, 0), qor_cVector3(0, 0, -1)), -1) << "behind";
    EXPECT_FLOAT_EQ(s.rayDistance(qor_cVector3(0, 0, 10), qor_cVector3(1, 0, 0)), 2) << "from inside";
    EXPECT_EQ(s.rayDistance(qor_cVector3(0, 0, 0), qor_cVector3(0, 0, 0)), -1);
    EXPECT_NEAR(s.rayDistance(qor_cVector3(0, 1, 0), qor_cVector3(0, 0, 1)), 10 - std::sqrt(3.0f), 1e-5f);
}

TEST(qor_cPlane, SideTestWithTolerance)
{
    qor_cPlane p(0, 2, 0, -2); // y = 1, unnormalised
    p.normalize();
    EXPECT_EQ(p.m_fDist, -1.0f);
    EXPECT_EQ(p.classify(qor_cVector3(0, 1.5f, 0), 0.1f), qorrs_plane_front);
    EXPECT_EQ(p.classify(qor_cVector3(0, 0.5f, 0), 0.1f), qorrs_plane_behind);
    EXPECT_EQ(p.classify(qor_cVector3(5, 1.05f, 0), 0.1f), qorrs_plane_on);
    EXPECT_EQ(p.classify(qor_cVector3(5, 1.05f, 0), 0.0f), qorrs_plane_front);
    qor_cPlane z(0, 0, 0, 3);
    z.normalize();
    EXPECT_EQ(z.m_fDist, 3.0f) << "a zero normal is left as it is";
    qor_cPlane q;
    q.setFromPointNormal(qor_cVector3(0, 0, 4), qor_cVector3(0, 0, 1));
    EXPECT_EQ(q.distance(qor_cVector3(1, 1, 6)), 2.0f);
}

TEST(qor_cSegment, PlaneIntersectionParameter)
{
    const qor_cPlane p(0, 1, 0, 0);
    EXPECT_FLOAT_EQ(qor_cSegment(qor_cVector3(0, -1, 0), qor_cVector3(0, 3, 0)).intersect(p), 0.25f);
    EXPECT_FLOAT_EQ(qor_cSegment(qor_cVector3(0, 3, 0), qor_cVector3(0, -1, 0)).intersect(p), 0.75f);
    EXPECT_EQ(qor_cSegment(qor_cVector3(0, 1, 0), qor_cVector3(0, 2, 0)).intersect(p), -1.0f);
    EXPECT_EQ(qor_cSegment(qor_cVector3(0, 1, 0), qor_cVector3(5, 1, 0)).intersect(p), -1.0f) << "parallel";
    EXPECT_EQ(qor_cSegment(qor_cVector3(0, 0, 0), qor_cVector3(0, 2, 0)).intersect(p), 0.0f);
}

TEST(qor_cSegment, ClosestPointClampsToTheEnds)
{
    const qor_cSegment s(qor_cVector3(0, 0, 0), qor_cVector3(10, 0, 0));
    EXPECT_VEC3_NEAR(s.closestPoint(qor_cVector3(5, 5, 0)), 5, 0, 0, 0.0f);
    EXPECT_VEC3_NEAR(s.closestPoint(qor_cVector3(-5, 1, 0)), 0, 0, 0, 0.0f);
    EXPECT_VEC3_NEAR(s.closestPoint(qor_cVector3(15, 0, 2)), 10, 0, 0, 0.0f);
    const qor_cSegment z(qor_cVector3(1, 2, 3), qor_cVector3(1, 2, 3));
    EXPECT_VEC3_NEAR(z.closestPoint(qor_cVector3(9, 9, 9)), 1, 2, 3, 0.0f);
}

TEST(qor_mathUtil, PointInTriangleByAngleSum)
{
    const qor_cVector3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    EXPECT_TRUE(qoru_pointInTriangle(qor_cVector3(0.2f, 0.2f, 0), a, b, c));
    EXPECT_TRUE(qoru_pointInTriangle(qor_cVector3(0.5f, 0.0f, 0), a, b, c)) << "on an edge the sum is 2 pi";
    EXPECT_TRUE(qoru_pointInTriangle(a, a, b, c));
    EXPECT_FALSE(qoru_pointInTriangle(qor_cVector3(1, 1, 0), a, b, c));
    EXPECT_FALSE(qoru_pointInTriangle(qor_cVector3(0.2f, 0.2f, 1), a, b, c)) << "off the plane";
    EXPECT_FALSE(qoru_pointInTriangle(qor_cVector3(0.2f, 0.2f, 0.05f), a, b, c, 0.001f));
    EXPECT_TRUE(qoru_pointInTriangle(qor_cVector3(0.2f, 0.2f, 0.05f), a, b, c, 0.5f));
}
