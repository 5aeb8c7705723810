// qor_cVector2: two floats (x, y); the root of the vector family
// (qor_cVector3 adds z, qor_cQuaternion adds w).
//
// The math types carry no virtual destructor: they are plain, trivially copyable values
// that the engine never deletes through a base pointer.
#pragma once

class qor_cVector2
{
public:
    float x, y;

    qor_cVector2() : x(0.0f), y(0.0f) {}
    qor_cVector2(float fx, float fy) : x(fx), y(fy) {}

    qor_cVector2 & set(float fx, float fy)
    {
        x = fx;
        y = fy;
        return *this;
    }

    qor_cVector2 operator+(const qor_cVector2 & v) const { return qor_cVector2(x + v.x, y + v.y); }
    qor_cVector2 operator-(const qor_cVector2 & v) const { return qor_cVector2(x - v.x, y - v.y); }
    qor_cVector2 operator*(float f) const { return qor_cVector2(x * f, y * f); }
    qor_cVector2 operator-() const { return qor_cVector2(-x, -y); }
    qor_cVector2 & operator+=(const qor_cVector2 & v) { return set(x + v.x, y + v.y); }
    qor_cVector2 & operator-=(const qor_cVector2 & v) { return set(x - v.x, y - v.y); }
    qor_cVector2 & operator*=(float f) { return set(x * f, y * f); }
    bool operator==(const qor_cVector2 & v) const { return x == v.x && y == v.y; }

    float dot(const qor_cVector2 & v) const { return x * v.x + y * v.y; }
    float lengthSq() const { return x * x + y * y; }
    float length() const;
    // Divides by the length when it is greater than 0; a zero vector stays zero.
    qor_cVector2 & normalize();
};
