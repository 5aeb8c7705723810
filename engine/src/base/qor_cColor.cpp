#include "qor_cColor.h"

uint32_t qor_cColor::toByte(float f)
{
    // Truncation, as the device packing does; out-of-range values (unclamped ambient colours)
    // and NaN are clamped first, because converting them to an unsigned type is undefined.
    const float v = f * 255.0f;
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<uint32_t>(v);
}

uint32_t qor_cColor::getARGB() const { return (toByte(a) << 24) | (toByte(r) << 16) | (toByte(g) << 8) | toByte(b); }

qor_cColor & qor_cColor::setARGB(uint32_t argb)
{
    return set(float((argb >> 16) & 0xff) / 255.0f, float((argb >> 8) & 0xff) / 255.0f, float(argb & 0xff) / 255.0f,
               float(argb >> 24) / 255.0f);
}
