#include <gtest/gtest.h>

#include "qor_cMatrix.h"
#include "qor_mathTestUtil.h"
#include "qor_mathUtil.h"

#include <cmath>
#include <type_traits>

namespace
{
const float kHalfPi = 1.5707963f;

qor_cMatrix filled(float f)
{
    qor_cMatrix m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.m[r][c] = f + float(r * 4 + c);
    return m;
}
} // namespace

TEST(qor_cMatrix, IsSixteenRowMajorFloatsAndStartsAsIdentity)
{
    static_assert(sizeof(qor_cMatrix) == 16 * sizeof(float));
    static_assert(std::is_trivially_copyable_v<qor_cMatrix>);
    qor_cMatrix m;
    EXPECT_TRUE(m == qor_cMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
    m._23 = 5.0f;
    m._41 = 7.0f;
    EXPECT_EQ(m.m[1][2], 5.0f);
    EXPECT_EQ(m.data()[6], 5.0f) << "row 2, column 3 is the 7th float";
    EXPECT_EQ(m.data()[12], 7.0f) << "the translation is in floats 12..14";
}

TEST(qor_cMatrix, ScaleAndTranslationWriteOnlyTheirElements)
{
    qor_cMatrix m = filled(10.0f);
    const qor_cMatrix before = m;
    m.setScale(2, 3, 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
        {
            if (!(r == c && r < 3))
            {
                EXPECT_EQ(m.m[r][c], before.m[r][c]);
            }
        }
    EXPECT_EQ(m._11, 2.0f);
    EXPECT_EQ(m._22, 3.0f);
    EXPECT_EQ(m._33, 4.0f);

    m = before;
    m.setTranslation(-1, -2, -3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(m.m[r][c], before.m[r][c]);
    EXPECT_EQ(m._41, -1.0f);
    EXPECT_EQ(m._42, -2.0f);
    EXPECT_EQ(m._43, -3.0f);
    EXPECT_EQ(m._44, before._44);
}

TEST(qor_cMatrix, RotationsWriteTheUpper3x3AndKeepRow4AndColumn4)
{
    const float a = 0.3f, c = std::cos(a), s = std::sin(a);
    const qor_cMatrix before = filled(20.0f);
    qor_cMatrix mx = before, my = before, mz = before;
    mx.setRotationX(a);
    my.setRotationY(a);
    mz.setRotationZ(a);
    EXPECT_TRUE(matrixNear(mx,
                           rowsOf({1, 0, 0, before._14, 0, c, s, before._24, 0, -s, c, before._34, before._41,
                                   before._42, before._43, before._44}),
                           0.0f));
    EXPECT_TRUE(matrixNear(my,
                           rowsOf({c, 0, -s, before._14, 0, 1, 0, before._24, s, 0, c, before._34, before._41,
                                   before._42, before._43, before._44}),
                           0.0f));
    EXPECT_TRUE(matrixNear(mz,
                           rowsOf({c, s, 0, before._14, -s, c, 0, before._24, 0, 0, 1, before._34, before._41,
                                   before._42, before._43, before._44}),
                           0.0f));
}

TEST(qor_cMatrix, RowVectorRotationsTurnTheWayDirect3DDoes)
{
    qor_cMatrix m;
    m.setRotationX(kHalfPi);
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(0, 1, 0)), 0, 0, 1, 1e-6f);
    m.setRotationY(kHalfPi);
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(0, 0, 1)), 1, 0, 0, 1e-6f);
    m.setRotationZ(kHalfPi);
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(1, 0, 0)), 0, 1, 0, 1e-6f);
}

TEST(qor_cMatrix, AnglesRotateAboutXThenYThenZAndKeepTheTranslation)
{
    qor_cMatrix m;
    m.setTranslation(5, 6, 7);
    m._14 = 0.5f;
    m.setRotation(kHalfPi, kHalfPi, 0.0f);
    // X takes (0,1,0) to (0,0,1), then Y takes it to (1,0,0); the other order would give (0,0,1).
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(0, 1, 0)), 1 + 5, 6, 7, 1e-6f);
    EXPECT_EQ(m._14, 0.5f);
    EXPECT_EQ(m._44, 1.0f);

    qor_cMatrix rx, ry, rz, r;
    rx.setRotationX(0.4f);
    ry.setRotationY(-1.1f);
    rz.setRotationZ(2.5f);
    r.setRotation(0.4f, -1.1f, 2.5f);
    EXPECT_TRUE(matrixNear(r, rx * ry * rz, 0.0f));
}

TEST(qor_cMatrix, QuaternionOfAnyLengthGivesAPureRotation)
{
    qor_cMatrix m = filled(3.0f);
    m.setRotation(qor_cQuaternion(0, 0, 0, 2));
    EXPECT_TRUE(m == qor_cMatrix()) << "(0,0,0,2): the normalising factor removes the length; all else identity";

    // Z by 90 degrees, scaled by 2: (0, 0, sqrt2, sqrt2).
    const float r2 = std::sqrt(2.0f);
    m.setRotation(qor_cQuaternion(0, 0, r2, r2));
    EXPECT_TRUE(matrixNear(m, rowsOf({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}), 1e-6f));

    // A general unit quaternion against the builder's formulas, element by element.
    const float x = 0.1f, y = 0.5f, z = -0.3f, w = 0.8f;
    const float s = 2.0f / (x * x + y * y + z * z + w * w);
    m.setRotation(qor_cQuaternion(x, y, z, w));
    EXPECT_TRUE(matrixNear(m,
                           rowsOf({1 - s * (y * y + z * z), s * (x * y + w * z), s * (x * z - w * y), 0,
                                   s * (x * y - w * z), 1 - s * (x * x + z * z), s * (y * z + w * x), 0,
                                   s * (x * z + w * y), s * (y * z - w * x), 1 - s * (x * x + y * y), 0, 0, 0, 0, 1}),
                           0.0f));

    m.setRotation(qor_cQuaternion(0, 0, 0, 0));
    EXPECT_TRUE(m == qor_cMatrix()) << "the zero quaternion gives the identity, not NaN";
}

TEST(qor_cMatrix, ProductAppliesTheLeftMatrixFirst)
{
    qor_cMatrix t, r;
    t.setTranslation(10, 0, 0);
    r.setRotationZ(kHalfPi);
    // Translate then rotate: (1,0,0) -> (11,0,0) -> (0,11,0).
    EXPECT_VEC3_NEAR((t * r).transform(qor_cVector3(1, 0, 0)), 0, 11, 0, 1e-5f);
    // Rotate then translate: (1,0,0) -> (0,1,0) -> (10,1,0).
    EXPECT_VEC3_NEAR((r * t).transform(qor_cVector3(1, 0, 0)), 10, 1, 0, 1e-5f);

    const qor_cMatrix a = filled(1.0f), b = filled(-2.0f);
    qor_cMatrix p = a;
    p *= b;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(p.m[i][j],
                      a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j]);
    qor_cMatrix::multiply(&p, p, p);
    EXPECT_TRUE(p == (a * b) * (a * b)) << "the output may alias both inputs";
}

TEST(qor_cMatrix, RigidInverseUndoesRotationPlusTranslation)
{
    qor_cMatrix m;
    m.setRotationZ(kHalfPi);
    m.setTranslation(1, 2, 3);
    const qor_cMatrix inv = m.getRigidInverse();
    // Transposed rotation, row 4 = -t * transposed rotation = (-2, 1, -3).
    EXPECT_TRUE(matrixNear(inv, rowsOf({0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, -2, 1, -3, 1}), 1e-6f));
    EXPECT_TRUE(matrixNear(m * inv, qor_cMatrix(), 1e-6f));

    qor_cMatrix g;
    g.setRotation(0.3f, -0.7f, 1.9f);
    g.setTranslation(-4, 8, 0.5f);
    qor_cMatrix gi = g;
    gi.setRigidInverse(gi);
    EXPECT_TRUE(matrixNear(g * gi, qor_cMatrix(), 1e-5f)) << "in place";
    EXPECT_TRUE(matrixNear(gi * g, qor_cMatrix(), 1e-5f));
}

TEST(qor_cMatrix, LeftHandedLookAtNormalisesUpInPlace)
{
    // From +x towards the origin, up given with length 3.
    qor_cVector3 up(0, 3, 0);
    qor_cMatrix m = filled(9.0f);
    m.setLookAtLH(qor_cVector3(10, 0, 0), qor_cVector3(0, 0, 0), up);
    EXPECT_VEC3_NEAR(up, 0, 1, 0, 0.0f);
    // z = (-1,0,0), x = cross(up, z) = (0,0,1), y = (0,1,0); row 4 = -eye * basis.
    EXPECT_TRUE(matrixNear(m, rowsOf({0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 10, 1}), 1e-6f));
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(0, 0, 0)), 0, 0, 10, 1e-6f) << "the target is 10 ahead (+z)";
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(0, 0, 1)), 1, 0, 10, 1e-6f) << "world +z is to the right";

    // A general eye: the basis stays orthonormal and the eye maps to the origin, the target to +z.
    qor_cVector3 up2(0.2f, 1.0f, 0.1f);
    const qor_cVector3 eye(3, 4, -5), at(-1, 0.5f, 2);
    m.setLookAtLH(eye, at, up2);
    EXPECT_NEAR(up2.length(), 1.0f, 1e-6f);
    EXPECT_VEC3_NEAR(m.transform(eye), 0, 0, 0, 1e-5f);
    EXPECT_VEC3_NEAR(m.transform(at), 0, 0, (at - eye).length(), 1e-5f);
    EXPECT_NEAR(m._14, 0.0f, 0.0f);
    EXPECT_EQ(m._44, 1.0f);
}

TEST(qor_cMatrix, RightHandedLookAtUsesMinusXYMinusZ)
{
    qor_cVector3 up(0, 3, 0);
    qor_cMatrix m;
    m.setLookAtRH(qor_cVector3(10, 0, 0), qor_cVector3(0, 0, 0), up);
    EXPECT_VEC3_NEAR(up, 0, 1, 0, 0.0f);
    // D3DXMatrixLookAtRH gives the same: z = eye - at, the target at -10.
    EXPECT_TRUE(matrixNear(m, rowsOf({0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, -10, 1}), 1e-6f));
}

TEST(qor_cMatrix, LookAtSkipsZeroLengthNormalisations)
{
    qor_cVector3 up(0, 0, 0);
    qor_cMatrix m;
    m.setLookAtLH(qor_cVector3(1, 2, 3), qor_cVector3(1, 2, 3), up);
    for (int i = 0; i < 16; ++i)
        EXPECT_FALSE(std::isnan(m.data()[i])) << i;
    EXPECT_VEC3_NEAR(up, 0, 0, 0, 0.0f);
}

TEST(qor_cMatrix, PerspectiveOfTheEngineScreen)
{
    qor_cMatrix m = filled(4.0f);
    m.setPerspective(640, 480, kHalfPi, 1, 101);
    // c = cot(45 degrees) = 1: _11 = 480/640, _33 = 101/100, _43 = -1.01.
    EXPECT_TRUE(matrixNear(m, rowsOf({0.75f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0}), 1e-6f));
    // A point on the near plane goes to depth 0, one on the far plane to depth w.
    EXPECT_NEAR(1 * m._33 + m._43, 0.0f, 1e-6f);
    EXPECT_NEAR((101 * m._33 + m._43) / 101, 1.0f, 1e-6f);

    qor_cMatrix a;
    const float fFov = qoru_degToRad(60.0f);
    a.setPerspectiveAspect(2.0f, fFov, 0.5f, 100);
    const float c = std::cos(fFov / 2) / std::sin(fFov / 2);
    EXPECT_FLOAT_EQ(a._11, c * 2.0f);
    EXPECT_FLOAT_EQ(a._22, c);
    EXPECT_FLOAT_EQ(a._33, 100 / 99.5f);
    EXPECT_FLOAT_EQ(a._43, -0.5f * (100 / 99.5f));
    EXPECT_EQ(a._34, 1.0f);
    EXPECT_EQ(a._44, 0.0f);
}

TEST(qor_cMatrix, ViewportMapsClipSpaceToPixels)
{
    qor_cMatrix m;
    m.setViewport(0, 640, 0, 480, 0, 1);
    EXPECT_TRUE(matrixNear(m, rowsOf({320, 0, 0, 0, 0, -240, 0, 0, 0, 0, 1, 0, 320, 240, 0, 1}), 0.0f));
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(-1, 1, 0)), 0, 0, 0, 0.0f);
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(1, -1, 1)), 640, 480, 1, 0.0f);
    m.setViewport(100, 300, 50, 150, 0.25f, 0.75f);
    EXPECT_TRUE(matrixNear(m, rowsOf({100, 0, 0, 0, 0, -50, 0, 0, 0, 0, 0.5f, 0, 200, 100, 0.25f, 1}), 0.0f));
}

TEST(qor_cMatrix, TransformIgnoresTheProjectiveColumn)
{
    qor_cMatrix m = filled(1.0f);
    const qor_cVector3 p = m.transform(qor_cVector3(1, 2, 3));
    EXPECT_EQ(p.x, 1 * m._11 + 2 * m._21 + 3 * m._31 + m._41);
    EXPECT_EQ(p.y, 1 * m._12 + 2 * m._22 + 3 * m._32 + m._42);
    EXPECT_EQ(p.z, 1 * m._13 + 2 * m._23 + 3 * m._33 + m._43);
    qor_cVector3 q(1, 2, 3);
    q.transform(m);
    EXPECT_TRUE(q == p);
}

TEST(qor_cMatrix, ObjectTransformScalesThenRotatesThenTranslates)
{
    const float h = std::sqrt(0.5f);
    qor_cMatrix m;
    m.setTransform(qor_cVector3(2, 1, 1), qor_cQuaternion(0, 0, h, h), qor_cVector3(5, 0, 0));
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(1, 0, 0)), 5, 2, 0, 1e-6f);
    EXPECT_VEC3_NEAR(m.transform(qor_cVector3(0, 1, 0)), 4, 0, 0, 1e-6f);
}
