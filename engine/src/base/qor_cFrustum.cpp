#include "qor_cFrustum.h"

qor_cFrustum & qor_cFrustum::setFromMatrix(const qor_cMatrix & m)
{
    // Column j of m as a plane (n = rows 1..3, d = row 4).
    auto col = [&m](int j, float fSign, qor_cPlane * p) {
        p->set(m.m[0][3] + fSign * m.m[0][j], m.m[1][3] + fSign * m.m[1][j], m.m[2][3] + fSign * m.m[2][j],
               m.m[3][3] + fSign * m.m[3][j]);
    };
    col(1, -1.0f, &m_aPlane[qorrs_frustum_top]);
    col(1, 1.0f, &m_aPlane[qorrs_frustum_bottom]);
    col(0, 1.0f, &m_aPlane[qorrs_frustum_left]);
    col(0, -1.0f, &m_aPlane[qorrs_frustum_right]);
    col(2, 1.0f, &m_aPlane[qorrs_frustum_near]);
    col(2, -1.0f, &m_aPlane[qorrs_frustum_far]);
    for (qor_cPlane & plane : m_aPlane)
        plane.normalize();
    return *this;
}

int qor_cFrustum::firstRejectingPlane(const qor_cVector3 & vCenter, float fRadius) const
{
    for (int i = 0; i < qorrs_frustum_count; ++i)
        if (!(m_aPlane[i].distance(vCenter) > -fRadius))
            return i;
    return -1;
}

bool qor_cFrustum::isVisible(const qor_cVector3 & vCenter, float fRadius) const
{
    return firstRejectingPlane(vCenter, fRadius) < 0;
}
