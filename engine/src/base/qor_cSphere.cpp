#include "qor_cSphere.h"

#include <cmath>

float qor_cSphere::rayDistance(const qor_cVector3 & vOrigin, const qor_cVector3 & vDir) const
{
    qor_cVector3 d = vDir;
    if (!(d.lengthSq() > 0.0f))
        return -1.0f;
    d.normalize();
    // |o + t d - c|^2 = r^2 with |d| = 1: t^2 + 2 b t + c = 0.
    const qor_cVector3 oc = vOrigin - m_vCenter;
    const float b = oc.dot(d);
    const float c = oc.lengthSq() - m_fRadiusSq;
    const float fDisc = b * b - c;
    if (fDisc < 0.0f)
        return -1.0f;
    const float fRoot = std::sqrt(fDisc);
    const float t0 = -b - fRoot;
    if (t0 >= 0.0f)
        return t0;
    const float t1 = -b + fRoot;
    return t1 >= 0.0f ? t1 : -1.0f;
}
