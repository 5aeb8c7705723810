#include "qor_cQuaternion.h"

#include "qor_cMatrix.h"

#include <cmath>

// Hamilton product q (x) *this: the rotation *this first, then q (D3DXQuaternionMultiply).
qor_cQuaternion qor_cQuaternion::operator*(const qor_cQuaternion & q) const
{
    return qor_cQuaternion(q.w * x + w * q.x + (q.y * z - q.z * y), //
                           q.w * y + w * q.y + (q.z * x - q.x * z), //
                           q.w * z + w * q.z + (q.x * y - q.y * x), //
                           q.w * w - (q.x * x + q.y * y + q.z * z));
}

float qor_cQuaternion::length() const { return std::sqrt(lengthSq()); }

qor_cQuaternion & qor_cQuaternion::normalize()
{
    const float fLen = length();
    if (fLen > 0.0f)
    {
        x /= fLen;
        y /= fLen;
        z /= fLen;
        w /= fLen;
    }
    return *this;
}

qor_cQuaternion & qor_cQuaternion::setRotationAxis(const qor_cVector3 & vAxis, float fAngle)
{
    qor_cVector3 n = vAxis;
    n.normalize();
    const float fSin = std::sin(fAngle * 0.5f);
    return set(n.x * fSin, n.y * fSin, n.z * fSin, std::cos(fAngle * 0.5f));
}

qor_cQuaternion & qor_cQuaternion::setRotationAngles(float ax, float ay, float az)
{
    qor_cQuaternion qx, qy, qz;
    qx.set(std::sin(ax * 0.5f), 0.0f, 0.0f, std::cos(ax * 0.5f));
    qy.set(0.0f, std::sin(ay * 0.5f), 0.0f, std::cos(ay * 0.5f));
    qz.set(0.0f, 0.0f, std::sin(az * 0.5f), std::cos(az * 0.5f));
    return *this = qx * qy * qz;
}

qor_cQuaternion & qor_cQuaternion::setRotationMatrix(const qor_cMatrix & m)
{
    // The row-vector matrix is the transpose of the column-vector one: the off-diagonal
    // differences below have the opposite order of the textbook (Shoemake) formulas.
    const float fTrace = m._11 + m._22 + m._33;
    if (fTrace > 0.0f)
    {
        float s = std::sqrt(fTrace + 1.0f);
        w = s * 0.5f;
        s = 0.5f / s;
        x = (m._23 - m._32) * s;
        y = (m._31 - m._13) * s;
        z = (m._12 - m._21) * s;
    }
    else if (m._11 >= m._22 && m._11 >= m._33)
    {
        float s = std::sqrt(m._11 - m._22 - m._33 + 1.0f);
        x = s * 0.5f;
        s = 0.5f / s;
        y = (m._12 + m._21) * s;
        z = (m._13 + m._31) * s;
        w = (m._23 - m._32) * s;
    }
    else if (m._22 >= m._33)
    {
        float s = std::sqrt(m._22 - m._11 - m._33 + 1.0f);
        y = s * 0.5f;
        s = 0.5f / s;
        x = (m._12 + m._21) * s;
        z = (m._23 + m._32) * s;
        w = (m._31 - m._13) * s;
    }
    else
    {
        float s = std::sqrt(m._33 - m._11 - m._22 + 1.0f);
        z = s * 0.5f;
        s = 0.5f / s;
        x = (m._13 + m._31) * s;
        y = (m._23 + m._32) * s;
        w = (m._12 - m._21) * s;
    }
    return *this;
}

qor_cQuaternion qor_cQuaternion::slerp(const qor_cQuaternion & q0, const qor_cQuaternion & q1, float t)
{
    // 1. cosom over all four components; 2. the shorter arc.
    float fCosom = q0.x * q1.x + q0.y * q1.y + q0.z * q1.z + q0.w * q1.w;
    qor_cQuaternion q1s = q1;
    if (fCosom < 0.0f)
    {
        fCosom = -fCosom;
        q1s = -q1;
    }
    // 3. Nearly equal rotations (or a dot above 1 from unnormalised input): linear blend.
    float k0, k1;
    if (1.0f - fCosom > 0.00001f)
    {
        const float fOmega = std::acos(fCosom);
        const float fSinom = std::sin(fOmega);
        k0 = std::sin((1.0f - t) * fOmega) / fSinom;
        k1 = std::sin(t * fOmega) / fSinom;
    }
    else
    {
        k0 = 1.0f - t;
        k1 = t;
    }
    // 4. Component by component.
    return qor_cQuaternion(k0 * q0.x + k1 * q1s.x, k0 * q0.y + k1 * q1s.y, k0 * q0.z + k1 * q1s.z,
                           k0 * q0.w + k1 * q1s.w);
}
