// qor_cFrustum: six planes in the order top, bottom, left, right, near, far.
//
// The display device rebuilds it from view * projection; the scene skips meshes whose bounding
// sphere fails isVisible. Plane normals point into the frustum.
#pragma once

#include "qor_cMatrix.h"
#include "qor_cPlane.h"
#include "qor_cSphere.h"

enum qor_eFrustumPlane
{
    qorrs_frustum_top = 0,
    qorrs_frustum_bottom = 1,
    qorrs_frustum_left = 2,
    qorrs_frustum_right = 3,
    qorrs_frustum_near = 4,
    qorrs_frustum_far = 5,
    qorrs_frustum_count = 6,
};

class qor_cFrustum
{
public:
    qor_cPlane m_aPlane[qorrs_frustum_count];

    // With c1..c4 the columns of m (c1 = (_11, _21, _31, _41) ... c4 = (_14, _24, _34, _44)):
    // top = c4 - c2, bottom = c4 + c2, left = c4 + c1, right = c4 - c1, near = c4 + c3,
    // far = c4 - c3, each then normalised by the length of its normal when not 0.
    qor_cFrustum & setFromMatrix(const qor_cMatrix & m);

    // Inside or crossing: dot(n, centre) + d > -radius for every plane, tested in order.
    bool isVisible(const qor_cVector3 & vCenter, float fRadius) const;
    bool isVisible(const qor_cSphere & sphere) const { return isVisible(sphere.m_vCenter, sphere.m_fRadius); }
    // The first plane that rejects the sphere, or -1 when it is visible (for tests and debugging).
    int firstRejectingPlane(const qor_cVector3 & vCenter, float fRadius) const;
};
