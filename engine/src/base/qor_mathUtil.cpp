#include "qor_mathUtil.h"

#include <cmath>
#include <cstdlib>

float qoru_randRange(float a, float b)
{
    return a + static_cast<float>(std::rand() & 0x7fff) * (1.0f / 32767.0f) * (b - a);
}

bool qoru_pointInTriangle(const qor_cVector3 & p, const qor_cVector3 & a, const qor_cVector3 & b,
                          const qor_cVector3 & c, float fTolerance)
{
    const qor_cVector3 av[3] = {a - p, b - p, c - p};
    float afLen[3];
    for (int i = 0; i < 3; ++i)
    {
        afLen[i] = av[i].length();
        if (!(afLen[i] > 0.0f))
            return true; // p is a vertex: no angle to measure, and it belongs to the triangle.
    }
    float fSum = 0.0f;
    for (int i = 0; i < 3; ++i)
    {
        const int j = (i + 1) % 3;
        float fCos = av[i].dot(av[j]) / (afLen[i] * afLen[j]);
        fCos = fCos > 1.0f ? 1.0f : (fCos < -1.0f ? -1.0f : fCos);
        fSum += std::acos(fCos);
    }
    return std::fabs(fSum - 2.0f * QOR_PI) <= fTolerance;
}
