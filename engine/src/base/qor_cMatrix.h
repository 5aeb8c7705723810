// qor_cMatrix: a 4x4 float matrix with Direct3D 8 conventions.
//
// Row-major, element m[r][c] (also _11 .. _44, rows and columns numbered from 1). Points are row
// vectors multiplied on the left: p' = p * M; translation lives in row 4 (_41, _42, _43) and
// _14, _24, _34 are the projective column. The 16 floats (data()) go to the device as they are.
// A new matrix is the identity. Angles are in radians.
#pragma once

#include "qor_cQuaternion.h"
#include "qor_cVector3.h"

class qor_cMatrix
{
public:
    union {
        float m[4][4];
        struct
        {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
    };

    qor_cMatrix() { setIdentity(); }
    qor_cMatrix(float f11, float f12, float f13, float f14, float f21, float f22, float f23, float f24, float f31,
                float f32, float f33, float f34, float f41, float f42, float f43, float f44);

    float * data() { return &m[0][0]; }
    const float * data() const { return &m[0][0]; }
    bool operator==(const qor_cMatrix & o) const;
    bool operator!=(const qor_cMatrix & o) const { return !(*this == o); }

    // Diagonal 1, the rest 0.
    qor_cMatrix & setIdentity();
    // Copies the 16 floats.
    qor_cMatrix & copy(const qor_cMatrix & src) { return *this = src; }

    // Writes only _11, _22, _33.
    qor_cMatrix & setScale(float sx, float sy, float sz);
    // Writes only _41, _42, _43.
    qor_cMatrix & setTranslation(float tx, float ty, float tz);
    qor_cMatrix & setTranslation(const qor_cVector3 & t) { return setTranslation(t.x, t.y, t.z); }

    // Rotations write the upper 3x3 only; row 4 and column 4 are left as they are.
    qor_cMatrix & setRotationX(float a);
    qor_cMatrix & setRotationY(float a);
    qor_cMatrix & setRotationZ(float a);
    // Upper 3x3 = RotX(ax) * RotY(ay) * RotZ(az): about X first, then Y, then Z.
    qor_cMatrix & setRotation(float ax, float ay, float az);
    // Whole matrix: identity, then the rotation of q with s = 2 / |q|^2 (any length gives a pure
    // rotation; the zero quaternion gives the identity).
    qor_cMatrix & setRotation(const qor_cQuaternion & q);

    // Ordinary row-by-column product; p * (a * b) applies a first, then b. pOut may alias a or b.
    static void multiply(qor_cMatrix * pOut, const qor_cMatrix & a, const qor_cMatrix & b);
    qor_cMatrix operator*(const qor_cMatrix & b) const;
    qor_cMatrix & operator*=(const qor_cMatrix & b);

    qor_cMatrix & transpose();

    // Rigid inverse of src (rotation plus translation only): the upper 3x3 transposed, the
    // translation cleared, then Translation(-t) * that. src may be *this.
    qor_cMatrix & setRigidInverse(const qor_cMatrix & src);
    qor_cMatrix getRigidInverse() const
    {
        qor_cMatrix r;
        r.setRigidInverse(*this);
        return r;
    }

    // Left-handed look-at (the engine's cameras). vUp is normalised in place.
    qor_cMatrix & setLookAtLH(const qor_cVector3 & vEye, const qor_cVector3 & vAt, qor_cVector3 & vUp);
    // Right-handed look-at: the columns -x, y, -z of the left-handed basis. vUp is normalised in place.
    qor_cMatrix & setLookAtRH(const qor_cVector3 & vEye, const qor_cVector3 & vAt, qor_cVector3 & vUp);

    // All 0, then c = cos(fov/2)/sin(fov/2): _11 = c * h / w, _22 = c, _33 = f / (f - n),
    // _43 = -n * _33, _34 = 1.
    qor_cMatrix & setPerspective(float fWidth, float fHeight, float fFov, float fNear, float fFar);
    // The same with _11 = c * aspect.
    qor_cMatrix & setPerspectiveAspect(float fAspect, float fFov, float fNear, float fFar);
    // Identity, then the Direct3D viewport scale and offset.
    qor_cMatrix & setViewport(float fLeft, float fRight, float fTop, float fBottom, float fMinZ, float fMaxZ);

    // The scene's object transform (as exported data assumes it): Scale(s) * Rotation(q), then the
    // translation written into row 4.
    qor_cMatrix & setTransform(const qor_cVector3 & vScale, const qor_cQuaternion & q, const qor_cVector3 & vTrans);

    // p * M with w = 1 and no division.
    qor_cVector3 transform(const qor_cVector3 & p) const;
};
