// qor_cColor: four float channels r, g, b, a in 0..1: material, light and fog colours
// (the byte pixel is qor_sUCColor).
#pragma once

#include <cstdint>

class qor_cColor
{
public:
    float r, g, b, a;

    qor_cColor() : r(0.0f), g(0.0f), b(0.0f), a(0.0f) {}
    qor_cColor(float fr, float fg, float fb, float fa) : r(fr), g(fg), b(fb), a(fa) {}

    qor_cColor & set(float fr, float fg, float fb, float fa)
    {
        r = fr;
        g = fg;
        b = fb;
        a = fa;
        return *this;
    }
    bool operator==(const qor_cColor & c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }

    // Packed for the device: each channel * 255, truncated; alpha in bits 24-31, red 16-23,
    // green 8-15, blue 0-7. A channel outside 0..1 (or NaN) is clamped to 0..255 first.
    uint32_t getARGB() const;
    // The inverse: each byte / 255.
    qor_cColor & setARGB(uint32_t argb);

    // One channel * 255, truncated and clamped to 0..255.
    static uint32_t toByte(float f);
};
