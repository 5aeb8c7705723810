// qor_cPlane: normal n and distance d; a point p is on the positive side when dot(n, p) + d > 0.
#pragma once

#include "qor_cVector3.h"

// Results of qor_cPlane::classify.
enum qor_ePlaneSide
{
    qorrs_plane_front = 0,
    qorrs_plane_behind = 1,
    qorrs_plane_on = 2,
};

class qor_cPlane
{
public:
    qor_cVector3 m_vNormal;
    float m_fDist;

    qor_cPlane() : m_vNormal(), m_fDist(0.0f) {}
    qor_cPlane(float nx, float ny, float nz, float d) : m_vNormal(nx, ny, nz), m_fDist(d) {}

    qor_cPlane & set(float nx, float ny, float nz, float d)
    {
        m_vNormal.set(nx, ny, nz);
        m_fDist = d;
        return *this;
    }
    // The plane through p with normal n (used as given).
    qor_cPlane & setFromPointNormal(const qor_cVector3 & p, const qor_cVector3 & n)
    {
        m_vNormal = n;
        m_fDist = -n.dot(p);
        return *this;
    }

    // dot(n, p) + d.
    float distance(const qor_cVector3 & p) const { return m_vNormal.dot(p) + m_fDist; }
    // Divides normal and d by the length of the normal when that length is not 0.
    qor_cPlane & normalize();
    // Side test with tolerance t: front (distance > t), behind (distance < -t), else on the plane.
    qor_ePlaneSide classify(const qor_cVector3 & p, float t) const;
};
