// qor_cVector3: three floats (x, y, z), extends qor_cVector2.
//
// Points are row vectors: a point is transformed by a matrix as p' = p * M (qor_cMatrix::transform).
#pragma once

#include "qor_cVector2.h"

class qor_cMatrix;

class qor_cVector3 : public qor_cVector2
{
public:
    float z;

    qor_cVector3() : qor_cVector2(), z(0.0f) {}
    qor_cVector3(float fx, float fy, float fz) : qor_cVector2(fx, fy), z(fz) {}

    qor_cVector3 & set(float fx, float fy, float fz)
    {
        x = fx;
        y = fy;
        z = fz;
        return *this;
    }

    // Difference (a - b), sum, scale by a float, negation.
    qor_cVector3 operator+(const qor_cVector3 & v) const { return qor_cVector3(x + v.x, y + v.y, z + v.z); }
    qor_cVector3 operator-(const qor_cVector3 & v) const { return qor_cVector3(x - v.x, y - v.y, z - v.z); }
    qor_cVector3 operator*(float f) const { return qor_cVector3(x * f, y * f, z * f); }
    qor_cVector3 operator-() const { return qor_cVector3(-x, -y, -z); }
    qor_cVector3 & operator+=(const qor_cVector3 & v) { return set(x + v.x, y + v.y, z + v.z); }
    qor_cVector3 & operator-=(const qor_cVector3 & v) { return set(x - v.x, y - v.y, z - v.z); }
    qor_cVector3 & operator*=(float f) { return set(x * f, y * f, z * f); }
    bool operator==(const qor_cVector3 & v) const { return x == v.x && y == v.y && z == v.z; }

    float dot(const qor_cVector3 & v) const { return x * v.x + y * v.y + z * v.z; }
    // Left-handed cross product, as Direct3D: (1,0,0) x (0,1,0) = (0,0,1).
    qor_cVector3 cross(const qor_cVector3 & v) const
    {
        return qor_cVector3(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x);
    }
    float lengthSq() const { return x * x + y * y + z * z; }
    float length() const;
    // Divides by the length when it is greater than 0; a zero vector stays zero.
    qor_cVector3 & normalize();
    // In place: this = this * M (w taken as 1, no division).
    qor_cVector3 & transform(const qor_cMatrix & m);
};
