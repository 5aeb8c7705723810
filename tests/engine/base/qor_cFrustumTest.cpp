#include <gtest/gtest.h>

#include "qor_cFrustum.h"
#include "qor_mathTestUtil.h"

#include <cmath>

namespace
{
void expectPlane(const qor_cPlane & p, float nx, float ny, float nz, float d, float eps = 1e-5f)
{
    EXPECT_NEAR(p.m_vNormal.x, nx, eps);
    EXPECT_NEAR(p.m_vNormal.y, ny, eps);
    EXPECT_NEAR(p.m_vNormal.z, nz, eps);
    EXPECT_NEAR(p.m_fDist, d, eps);
}

// The engine's camera: at (0, 0, -10) looking at the origin, 90 degrees, 640 x 480, near 1, far 101.
qor_cFrustum cameraFrustum()
{
    qor_cVector3 up(0, 1, 0);
    qor_cMatrix view, proj;
    view.setLookAtLH(qor_cVector3(0, 0, -10), qor_cVector3(0, 0, 0), up);
    proj.setPerspective(640, 480, 1.5707963f, 1, 101);
    qor_cFrustum f;
    f.setFromMatrix(view * proj);
    return f;
}
} // namespace

TEST(qor_cFrustum, PlanesOfTheIdentityMatrix)
{
    qor_cFrustum f;
    f.setFromMatrix(qor_cMatrix());
    expectPlane(f.m_aPlane[qorrs_frustum_top], 0, -1, 0, 1, 0.0f);
    expectPlane(f.m_aPlane[qorrs_frustum_bottom], 0, 1, 0, 1, 0.0f);
    expectPlane(f.m_aPlane[qorrs_frustum_left], 1, 0, 0, 1, 0.0f);
    expectPlane(f.m_aPlane[qorrs_frustum_right], -1, 0, 0, 1, 0.0f);
    expectPlane(f.m_aPlane[qorrs_frustum_near], 0, 0, 1, 1, 0.0f);
    expectPlane(f.m_aPlane[qorrs_frustum_far], 0, 0, -1, 1, 0.0f);
}

TEST(qor_cFrustum, PlanesOfARealCameraAreNormalised)
{
    // view * proj has columns c1 = (0.75,0,0,0), c2 = (0,1,0,0), c3 = (0,0,1.01,9.09), c4 = (0,0,1,10).
    const qor_cFrustum f = cameraFrustum();
    const float h = std::sqrt(0.5f);
    expectPlane(f.m_aPlane[qorrs_frustum_top], 0, -h, h, 10 * h);
    expectPlane(f.m_aPlane[qorrs_frustum_bottom], 0, h, h, 10 * h);
    expectPlane(f.m_aPlane[qorrs_frustum_left], 0.6f, 0, 0.8f, 8);
    expectPlane(f.m_aPlane[qorrs_frustum_right], -0.6f, 0, 0.8f, 8);
    // near = c4 + c3 (clip z >= -w): view z >= 1.01/2.01, world z >= -9.497512.
    expectPlane(f.m_aPlane[qorrs_frustum_near], 0, 0, 1, 19.09f / 2.01f);
    // far = c4 - c3: view z <= 101, world z <= 91.
    expectPlane(f.m_aPlane[qorrs_frustum_far], 0, 0, -1, 91, 1e-3f);
}

TEST(qor_cFrustum, SphereTestRejectsOnTheFirstFailingPlaneInOrder)
{
    const qor_cFrustum f = cameraFrustum();
    EXPECT_TRUE(f.isVisible(qor_cVector3(0, 0, 0), 1));
    EXPECT_EQ(f.firstRejectingPlane(qor_cVector3(0, 30, 0), 1), qorrs_frustum_top);
    EXPECT_EQ(f.firstRejectingPlane(qor_cVector3(0, -30, 0), 1), qorrs_frustum_bottom);
    EXPECT_EQ(f.firstRejectingPlane(qor_cVector3(-30, 0, 0), 1), qorrs_frustum_left);
    EXPECT_EQ(f.firstRejectingPlane(qor_cVector3(30, 0, 0), 1), qorrs_frustum_right);
    EXPECT_EQ(f.firstRejectingPlane(qor_cVector3(0, 0, -9.8f), 0.1f), qorrs_frustum_near);
    EXPECT_EQ(f.firstRejectingPlane(qor_cVector3(0, 0, 95), 1), qorrs_frustum_far);
    // Behind the camera the top plane comes first.
    EXPECT_EQ(f.firstRejectingPlane(qor_cVector3(0, 0, -20), 1), qorrs_frustum_top);
    EXPECT_FALSE(f.isVisible(qor_cSphere(qor_cVector3(0, 0, -20), 1)));
}

TEST(qor_cFrustum, CrossingSpheresAreVisibleAndTouchingIsNot)
{
    const qor_cFrustum f = cameraFrustum();
    // 4 beyond the far plane with radius 5: crossing.
    EXPECT_TRUE(f.isVisible(qor_cVector3(0, 0, 95), 5));
    // The right plane at z = 0 is x = 40/3; a sphere of radius 1 at 0.6 x = 9 is exactly 1 outside.
    const qor_cPlane & right = f.m_aPlane[qorrs_frustum_right];
    const qor_cVector3 c(15, 0, 0);
    const float fDist = right.distance(c);
    EXPECT_NEAR(fDist, -1.0f, 1e-5f);
    EXPECT_FALSE(f.isVisible(c, -fDist)) << "dot + d must be strictly greater than -radius";
    EXPECT_TRUE(f.isVisible(c, -fDist * 1.0001f));
}
