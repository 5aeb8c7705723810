#include "qor_cVector3.h"

#include "qor_cMatrix.h"

#include <cmath>

float qor_cVector2::length() const { return std::sqrt(lengthSq()); }

qor_cVector2 & qor_cVector2::normalize()
{
    const float fLen = length();
    if (fLen > 0.0f)
    {
        x /= fLen;
        y /= fLen;
    }
    return *this;
}

float qor_cVector3::length() const { return std::sqrt(lengthSq()); }

qor_cVector3 & qor_cVector3::normalize()
{
    const float fLen = length();
    if (fLen > 0.0f)
    {
        x /= fLen;
        y /= fLen;
        z /= fLen;
    }
    return *this;
}

qor_cVector3 & qor_cVector3::transform(const qor_cMatrix & m) { return *this = m.transform(*this); }
