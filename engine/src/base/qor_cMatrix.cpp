#include "qor_cMatrix.h"

#include <cmath>

qor_cMatrix::qor_cMatrix(float f11, float f12, float f13, float f14, float f21, float f22, float f23, float f24,
                         float f31, float f32, float f33, float f34, float f41, float f42, float f43, float f44)
{
    _11 = f11, _12 = f12, _13 = f13, _14 = f14;
    _21 = f21, _22 = f22, _23 = f23, _24 = f24;
    _31 = f31, _32 = f32, _33 = f33, _34 = f34;
    _41 = f41, _42 = f42, _43 = f43, _44 = f44;
}

bool qor_cMatrix::operator==(const qor_cMatrix & o) const
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m[r][c] != o.m[r][c])
                return false;
    return true;
}

qor_cMatrix & qor_cMatrix::setIdentity()
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = (r == c) ? 1.0f : 0.0f;
    return *this;
}

qor_cMatrix & qor_cMatrix::setScale(float sx, float sy, float sz)
{
    _11 = sx;
    _22 = sy;
    _33 = sz;
    return *this;
}

qor_cMatrix & qor_cMatrix::setTranslation(float tx, float ty, float tz)
{
    _41 = tx;
    _42 = ty;
    _43 = tz;
    return *this;
}

qor_cMatrix & qor_cMatrix::setRotationX(float a)
{
    const float c = std::cos(a), s = std::sin(a);
    _11 = 1.0f, _12 = 0.0f, _13 = 0.0f;
    _21 = 0.0f, _22 = c, _23 = s;
    _31 = 0.0f, _32 = -s, _33 = c;
    return *this;
}

qor_cMatrix & qor_cMatrix::setRotationY(float a)
{
    const float c = std::cos(a), s = std::sin(a);
    _11 = c, _12 = 0.0f, _13 = -s;
    _21 = 0.0f, _22 = 1.0f, _23 = 0.0f;
    _31 = s, _32 = 0.0f, _33 = c;
    return *this;
}

qor_cMatrix & qor_cMatrix::setRotationZ(float a)
{
    const float c = std::cos(a), s = std::sin(a);
    _11 = c, _12 = s, _13 = 0.0f;
    _21 = -s, _22 = c, _23 = 0.0f;
    _31 = 0.0f, _32 = 0.0f, _33 = 1.0f;
    return *this;
}

qor_cMatrix & qor_cMatrix::setRotation(float ax, float ay, float az)
{
    qor_cMatrix mx, my, mz;
    mx.setRotationX(ax);
    my.setRotationY(ay);
    mz.setRotationZ(az);
    const qor_cMatrix r = mx * my * mz;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = r.m[i][j];
    return *this;
}

qor_cMatrix & qor_cMatrix::setRotation(const qor_cQuaternion & q)
{
    setIdentity();
    const float fLenSq = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    // The zero quaternion has no rotation: keep the identity rather than divide by 0.
    if (!(fLenSq > 0.0f))
        return *this;
    const float s = 2.0f / fLenSq;
    _11 = 1.0f - s * (q.y * q.y + q.z * q.z);
    _12 = s * (q.x * q.y + q.w * q.z);
    _13 = s * (q.x * q.z - q.w * q.y);
    _21 = s * (q.x * q.y - q.w * q.z);
    _22 = 1.0f - s * (q.x * q.x + q.z * q.z);
    _23 = s * (q.y * q.z + q.w * q.x);
    _31 = s * (q.x * q.z + q.w * q.y);
    _32 = s * (q.y * q.z - q.w * q.x);
    _33 = 1.0f - s * (q.x * q.x + q.y * q.y);
    return *this;
}

void qor_cMatrix::multiply(qor_cMatrix * pOut, const qor_cMatrix & a, const qor_cMatrix & b)
{
    float r[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            pOut->m[i][j] = r[i][j];
}

qor_cMatrix qor_cMatrix::operator*(const qor_cMatrix & b) const
{
    qor_cMatrix r;
    multiply(&r, *this, b);
    return r;
}

qor_cMatrix & qor_cMatrix::operator*=(const qor_cMatrix & b)
{
    multiply(this, *this, b);
    return *this;
}

qor_cMatrix & qor_cMatrix::transpose()
{
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
        {
            const float f = m[i][j];
            m[i][j] = m[j][i];
            m[j][i] = f;
        }
    return *this;
}

qor_cMatrix & qor_cMatrix::setRigidInverse(const qor_cMatrix & src)
{
    // The transposed rotation with its translation cleared...
    qor_cMatrix rot = src;
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j)
        {
            rot.m[i][j] = src.m[j][i];
            rot.m[j][i] = src.m[i][j];
        }
    rot.setTranslation(0.0f, 0.0f, 0.0f);
    // ...preceded by the opposite translation.
    qor_cMatrix trans;
    trans.setTranslation(-src._41, -src._42, -src._43);
    multiply(this, trans, rot);
    return *this;
}

namespace
{
// The look-at basis (columns x, y, z); bRightHanded uses the columns -x, y, -z.
void lookAt(qor_cMatrix * pOut, const qor_cVector3 & vEye, const qor_cVector3 & vAt, qor_cVector3 & vUp,
            bool bRightHanded)
{
    vUp.normalize();
    qor_cVector3 z = vAt - vEye;
    z.normalize();
    qor_cVector3 x = vUp.cross(z);
    x.normalize();
    qor_cVector3 y = z.cross(x);
    y.normalize();
    if (bRightHanded)
    {
        x = -x;
        z = -z;
    }
    qor_cMatrix basis(x.x, y.x, z.x, 0.0f, //
                      x.y, y.y, z.y, 0.0f, //
                      x.z, y.z, z.z, 0.0f, //
                      0.0f, 0.0f, 0.0f, 1.0f);
    qor_cMatrix trans;
    trans.setTranslation(-vEye.x, -vEye.y, -vEye.z);
    qor_cMatrix::multiply(pOut, trans, basis);
}
} // namespace

qor_cMatrix & qor_cMatrix::setLookAtLH(const qor_cVector3 & vEye, const qor_cVector3 & vAt, qor_cVector3 & vUp)
{
    lookAt(this, vEye, vAt, vUp, false);
    return *this;
}

qor_cMatrix & qor_cMatrix::setLookAtRH(const qor_cVector3 & vEye, const qor_cVector3 & vAt, qor_cVector3 & vUp)
{
    lookAt(this, vEye, vAt, vUp, true);
    return *this;
}

qor_cMatrix & qor_cMatrix::setPerspective(float fWidth, float fHeight, float fFov, float fNear, float fFar)
{
    setPerspectiveAspect(1.0f, fFov, fNear, fFar);
    _11 = _22 * fHeight / fWidth;
    return *this;
}

qor_cMatrix & qor_cMatrix::setPerspectiveAspect(float fAspect, float fFov, float fNear, float fFar)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = 0.0f;
    const float c = std::cos(fFov * 0.5f) / std::sin(fFov * 0.5f);
    _11 = c * fAspect;
    _22 = c;
    _33 = fFar / (fFar - fNear);
    _43 = -fNear * _33;
    _34 = 1.0f;
    return *this;
}

qor_cMatrix & qor_cMatrix::setViewport(float fLeft, float fRight, float fTop, float fBottom, float fMinZ, float fMaxZ)
{
    setIdentity();
    _11 = (fRight - fLeft) / 2.0f;
    _22 = -(fBottom - fTop) / 2.0f;
    _33 = fMaxZ - fMinZ;
    _41 = fLeft + (fRight - fLeft) / 2.0f;
    _42 = fTop + (fBottom - fTop) / 2.0f;
    _43 = fMinZ;
    return *this;
}

qor_cMatrix & qor_cMatrix::setTransform(const qor_cVector3 & vScale, const qor_cQuaternion & q,
                                        const qor_cVector3 & vTrans)
{
    qor_cMatrix scale, rot;
    scale.setScale(vScale.x, vScale.y, vScale.z);
    rot.setRotation(q);
    multiply(this, scale, rot);
    return setTranslation(vTrans);
}

qor_cVector3 qor_cMatrix::transform(const qor_cVector3 & p) const
{
    return qor_cVector3(p.x * _11 + p.y * _21 + p.z * _31 + _41, //
                        p.x * _12 + p.y * _22 + p.z * _32 + _42, //
                        p.x * _13 + p.y * _23 + p.z * _33 + _43);
}
