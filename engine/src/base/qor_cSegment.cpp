#include "qor_cSegment.h"

float qor_cSegment::intersect(const qor_cPlane & plane) const
{
    const float d0 = plane.distance(m_vStart);
    const float d1 = plane.distance(m_vEnd);
    const float fDenom = d0 - d1;
    if (fDenom == 0.0f)
        return -1.0f;
    const float u = d0 / fDenom;
    return (u >= 0.0f && u <= 1.0f) ? u : -1.0f;
}

qor_cVector3 qor_cSegment::closestPoint(const qor_cVector3 & p) const
{
    const qor_cVector3 dir = m_vEnd - m_vStart;
    const float fLenSq = dir.lengthSq();
    if (!(fLenSq > 0.0f))
        return m_vStart;
    float u = (p - m_vStart).dot(dir) / fLenSq;
    if (u < 0.0f)
        u = 0.0f;
    else if (u > 1.0f)
        u = 1.0f;
    return m_vStart + dir * u;
}
