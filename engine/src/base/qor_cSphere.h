// qor_cSphere: a bounding sphere: radius, squared radius (kept in step with the radius), centre.
#pragma once

#include "qor_cVector3.h"

class qor_cSphere
{
public:
    float m_fRadius;
    float m_fRadiusSq;
    qor_cVector3 m_vCenter;

    qor_cSphere() : m_fRadius(0.0f), m_fRadiusSq(0.0f), m_vCenter() {}
    qor_cSphere(const qor_cVector3 & vCenter, float fRadius)
        : m_fRadius(fRadius), m_fRadiusSq(fRadius * fRadius), m_vCenter(vCenter)
    {
    }

    qor_cSphere & set(const qor_cVector3 & vCenter, float fRadius)
    {
        m_vCenter = vCenter;
        return setRadius(fRadius);
    }
    qor_cSphere & setRadius(float fRadius)
    {
        m_fRadius = fRadius;
        m_fRadiusSq = fRadius * fRadius;
        return *this;
    }

    // True when the squared distance from p to the centre is greater than the squared radius.
    bool isPointOutside(const qor_cVector3 & p) const { return (p - m_vCenter).lengthSq() > m_fRadiusSq; }

    // Distance along the ray (vOrigin, vDir; vDir need not be unit) to the nearer hit at or
    // beyond the origin, or -1 when the ray misses (a sphere wholly behind the origin is a miss;
    // from inside, the exit point is the hit). A zero direction misses.
    float rayDistance(const qor_cVector3 & vOrigin, const qor_cVector3 & vDir) const;
};
