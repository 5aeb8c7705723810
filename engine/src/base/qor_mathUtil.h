// Free helpers of the math library: angle conversion, the particle random range,
// and the point-in-triangle test by angle sum.
#pragma once

#include "qor_cVector3.h"

#define QOR_PI 3.14159265f

// x * 0.017453292.
inline float qoru_degToRad(float x) { return x * 0.017453292f; }
// x * 57.29578.
inline float qoru_radToDeg(float x) { return x * 57.29578f; }

// a + (rand() & 0x7fff) * (1/32767) * (b - a), from the C runtime's rand() (never seeded here).
float qoru_randRange(float a, float b);

// True when p lies in the triangle (a, b, c): the angles a-p-b, b-p-c and c-p-a sum to 2 pi
// within fTolerance (radians). A point on a vertex counts as inside.
bool qoru_pointInTriangle(const qor_cVector3 & p, const qor_cVector3 & a, const qor_cVector3 & b,
                          const qor_cVector3 & c, float fTolerance = 0.001f);
