#include <gtest/gtest.h>

#include "qor_cMatrix.h"
#include "qor_cQuaternion.h"
#include "qor_mathTestUtil.h"

#include <cmath>

namespace
{
const float kPi = 3.14159265f;

qor_cQuaternion axisAngle(float x, float y, float z, float a)
{
    qor_cQuaternion q;
    q.setRotationAxis(qor_cVector3(x, y, z), a);
    return q;
}

qor_cMatrix matrixOf(const qor_cQuaternion & q)
{
    qor_cMatrix m;
    m.setRotation(q);
    return m;
}

} // namespace

TEST(qor_cQuaternion, IsAVector3WithAScalarPart)
{
    static_assert(sizeof(qor_cVector2) == 8 && sizeof(qor_cVector3) == 12 && sizeof(qor_cQuaternion) == 16);
    qor_cQuaternion q;
    EXPECT_QUAT_NEAR(q, 0, 0, 0, 1, 0.0f) << "a new quaternion is the identity rotation";
    q.set(1, 2, 3, 4);
    const float * p = &q.x;
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[2], 3.0f);
    EXPECT_EQ(p[3], 4.0f) << "x, y, z, w in this order in memory";
    const qor_cVector3 & v = q;
    EXPECT_EQ(v.z, 3.0f);
}

TEST(qor_cQuaternion, AxisAngleIsNSinHalfCosHalf)
{
    const qor_cQuaternion q = axisAngle(0, 0, 5, kPi / 2);
    EXPECT_QUAT_NEAR(q, 0, 0, std::sqrt(0.5f), std::sqrt(0.5f), 1e-6f);
    EXPECT_TRUE(matrixNear(matrixOf(q), rowsOf({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}), 1e-6f));
}

TEST(qor_cQuaternion, ProductIsTheLeftRotationFollowedByTheRight)
{
    const qor_cQuaternion a = axisAngle(1, 0, 0, 0.7f), b = axisAngle(0.3f, 1, -0.2f, -1.3f);
    EXPECT_TRUE(matrixNear(matrixOf(a * b), matrixOf(a) * matrixOf(b), 1e-6f));
    EXPECT_FALSE(matrixNear(matrixOf(b * a), matrixOf(a) * matrixOf(b), 1e-3f));
    qor_cQuaternion c = a;
    c *= b;
    EXPECT_TRUE(c == a * b);
    EXPECT_QUAT_NEAR(a * a.conjugate(), 0, 0, 0, 1, 1e-6f);
}

TEST(qor_cQuaternion, AnglesMatchTheMatrixBuilder)
{
    const float aa[][3] = {{0.4f, -1.1f, 2.5f}, {kPi / 2, kPi / 2, 0}, {-3, 0.1f, 1}};
    for (const auto & a : aa)
    {
        qor_cQuaternion q;
        q.setRotationAngles(a[0], a[1], a[2]);
        qor_cMatrix m;
        m.setRotation(a[0], a[1], a[2]);
        EXPECT_TRUE(matrixNear(matrixOf(q), m, 1e-5f));
        EXPECT_NEAR(q.lengthSq(), 1.0f, 1e-6f);
    }
}

TEST(qor_cQuaternion, FromMatrixRecoversTheRotationOnEveryBranch)
{
    // Trace > 0, and each of the three largest-diagonal branches (half turns about x, y, z).
    const qor_cQuaternion aq[] = {axisAngle(0.2f, 1, 0.4f, 0.9f), axisAngle(1, 0, 0, kPi),
                                  axisAngle(0, 1, 0, kPi),        axisAngle(0, 0, 1, kPi),
                                  axisAngle(1, 1, 0.2f, 3.0f),    axisAngle(0.1f, -1, 1, -2.8f)};
    for (const qor_cQuaternion & q : aq)
    {
        qor_cMatrix m = matrixOf(q);
        m.setTranslation(7, 8, 9);
        qor_cQuaternion r;
        r.setRotationMatrix(m);
        EXPECT_NEAR(std::fabs(r.dot(q)), 1.0f, 1e-5f) << "same rotation, up to the sign";
        EXPECT_TRUE(matrixNear(matrixOf(r), matrixOf(q), 1e-5f));
    }
}

TEST(qor_cQuaternion, SlerpFollowsTheArc)
{
    const qor_cQuaternion q0, q1 = axisAngle(0, 0, 1, kPi / 2);
    // Half way between 0 and 90 degrees about z is 45 degrees.
    EXPECT_QUAT_NEAR(qor_cQuaternion::slerp(q0, q1, 0.5f), 0, 0, std::sin(kPi / 8), std::cos(kPi / 8), 1e-6f);
    EXPECT_QUAT_NEAR(qor_cQuaternion::slerp(q0, q1, 0.0f), 0, 0, 0, 1, 1e-6f);
    EXPECT_QUAT_NEAR(qor_cQuaternion::slerp(q0, q1, 1.0f), q1.x, q1.y, q1.z, q1.w, 1e-6f);
    // cosom = 0.5 (120 degrees about x): k0 = k1 = sin(pi/6) / sin(pi/3), the result is 60 degrees.
    const qor_cQuaternion q2(std::sin(kPi / 3), 0, 0, 0.5f);
    EXPECT_QUAT_NEAR(qor_cQuaternion::slerp(q0, q2, 0.5f), 0.5f, 0, 0, std::cos(kPi / 6), 1e-6f);
    // A quarter of the way: 15 degrees about x.
    EXPECT_QUAT_NEAR(qor_cQuaternion::slerp(q0, q2, 0.25f), std::sin(kPi / 12), 0, 0, std::cos(kPi / 12), 1e-6f);
}

TEST(qor_cQuaternion, SlerpTakesTheShorterArc)
{
    const qor_cQuaternion q0, q1 = axisAngle(0, 0, 1, kPi / 2);
    // -q1 is the same rotation; the blend must not go the long way round (270 degrees).
    EXPECT_QUAT_NEAR(qor_cQuaternion::slerp(q0, -q1, 0.5f), 0, 0, std::sin(kPi / 8), std::cos(kPi / 8), 1e-6f);
    EXPECT_QUAT_NEAR(qor_cQuaternion::slerp(q0, -q1, 0.25f), 0, 0, std::sin(kPi / 16), std::cos(kPi / 16), 1e-6f);
}

TEST(qor_cQuaternion, SlerpOfEqualRotationsBlendsLinearlyWithoutRenormalising)
{
    // Dot -1: after the flip it is +1, the linear branch, and the result is q0 itself.
    const qor_cQuaternion q0(0, 0, 0, 1), q1(0, 0, 0, -1);
    EXPECT_QUAT_NEAR(qor_cQuaternion::slerp(q0, q1, 0.3f), 0, 0, 0, 1, 1e-7f);
    // Unnormalised input with a dot above 1 takes the linear branch and keeps its length.
    EXPECT_QUAT_NEAR(qor_cQuaternion::slerp(q0, qor_cQuaternion(0, 0, 0, 1.5f), 0.5f), 0, 0, 0, 1.25f, 0.0f);
    // Nearly equal unit rotations: a straight blend of the components.
    const qor_cQuaternion a(0.001f, 0, 0, 1), b(0.002f, 0, 0, 1);
    const qor_cQuaternion r = qor_cQuaternion::slerp(a, b, 0.25f);
    EXPECT_EQ(r.x, 0.75f * 0.001f + 0.25f * 0.002f);
    EXPECT_EQ(r.w, 0.75f * 1.0f + 0.25f * 1.0f);
}
