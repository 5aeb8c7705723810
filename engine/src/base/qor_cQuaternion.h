// qor_cQuaternion: a rotation (x, y, z, w), extends qor_cVector3.
//
// The vector part is in x, y, z and the scalar part in w; a rotation of angle a about the unit
// axis n is (n * sin(a/2), cos(a/2)). A new quaternion is the identity rotation (0, 0, 0, 1).
//
// Product convention (Direct3D's D3DXQuaternionMultiply): a * b is the rotation a followed by
// the rotation b, so that matrix(a * b) = matrix(a) * matrix(b) in row-vector form.
#pragma once

#include "qor_cVector3.h"

class qor_cMatrix;

class qor_cQuaternion : public qor_cVector3
{
public:
    float w;

    qor_cQuaternion() : qor_cVector3(), w(1.0f) {}
    qor_cQuaternion(float fx, float fy, float fz, float fw) : qor_cVector3(fx, fy, fz), w(fw) {}

    qor_cQuaternion & set(float fx, float fy, float fz, float fw)
    {
        x = fx;
        y = fy;
        z = fz;
        w = fw;
        return *this;
    }
    qor_cQuaternion & setIdentity() { return set(0.0f, 0.0f, 0.0f, 1.0f); }

    // Component-wise, all four components.
    qor_cQuaternion operator+(const qor_cQuaternion & q) const
    {
        return qor_cQuaternion(x + q.x, y + q.y, z + q.z, w + q.w);
    }
    qor_cQuaternion operator-(const qor_cQuaternion & q) const
    {
        return qor_cQuaternion(x - q.x, y - q.y, z - q.z, w - q.w);
    }
    qor_cQuaternion operator*(float f) const { return qor_cQuaternion(x * f, y * f, z * f, w * f); }
    qor_cQuaternion operator-() const { return qor_cQuaternion(-x, -y, -z, -w); }
    bool operator==(const qor_cQuaternion & q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }

    // Quaternion product: the rotation *this followed by the rotation q.
    qor_cQuaternion operator*(const qor_cQuaternion & q) const;
    qor_cQuaternion & operator*=(const qor_cQuaternion & q) { return *this = *this * q; }

    float dot(const qor_cQuaternion & q) const { return x * q.x + y * q.y + z * q.z + w * q.w; }
    float lengthSq() const { return x * x + y * y + z * z + w * w; }
    float length() const;
    // Divides all four components by the length when it is greater than 0.
    qor_cQuaternion & normalize();
    qor_cQuaternion conjugate() const { return qor_cQuaternion(-x, -y, -z, w); }

    // Rotation of fAngle radians about vAxis (normalised on a copy; a zero axis gives (0, 0, 0, cos(a/2))).
    qor_cQuaternion & setRotationAxis(const qor_cVector3 & vAxis, float fAngle);
    // The rotation of qor_cMatrix::setRotation(ax, ay, az): about X first, then Y, then Z.
    qor_cQuaternion & setRotationAngles(float ax, float ay, float az);
    // From the upper 3x3 of a rotation matrix (row-vector form, as qor_cMatrix::setRotation(q) builds).
    qor_cQuaternion & setRotationMatrix(const qor_cMatrix & m);

    // Spherical interpolation: shorter arc, linear blend when nearly equal.
    static qor_cQuaternion slerp(const qor_cQuaternion & q0, const qor_cQuaternion & q1, float t);
};
