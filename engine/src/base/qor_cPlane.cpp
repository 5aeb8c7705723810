#include "qor_cPlane.h"

qor_cPlane & qor_cPlane::normalize()
{
    const float fLen = m_vNormal.length();
    if (fLen != 0.0f)
    {
        m_vNormal.set(m_vNormal.x / fLen, m_vNormal.y / fLen, m_vNormal.z / fLen);
        m_fDist /= fLen;
    }
    return *this;
}

qor_ePlaneSide qor_cPlane::classify(const qor_cVector3 & p, float t) const
{
    const float fDist = distance(p);
    if (fDist > t)
        return qorrs_plane_front;
    if (fDist < -t)
        return qorrs_plane_behind;
    return qorrs_plane_on;
}
