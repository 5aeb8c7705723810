// Keys: a time and up to four float components, and the key classes that choose a track's
// interpolation method (the controller of a track is chosen by the type of its first key).
#pragma once

#include "qor_types.h"

#include <cstdint>

class qor_cKey
{
public:
    // One value per key class and per controller class (32-bit: any value read from a file is valid).
    enum EType : int32_t
    {
        e_key_linear = 0,  // qor_cLinearKey, linear controller
        e_key_smooth = 1,  // qor_cSmoothKey, smooth controller (cardinal spline from the neighbours)
        e_key_hermite = 2, // no key class reports it; Hermite controller (tangents stored in smooth keys)
        e_key_tcb = 3,     // qor_cTcbKey, tension/continuity/bias controller
        e_key_step = 4,    // qor_cStepKey, step controller (holds the last key reached)
    };

    // n components (1 to 4; larger counts are cut to 4, 0 is kept and means no component).
    // Time and values start at 0 for the caller to fill.
    explicit qor_cKey(uint n, EType eType = e_key_linear);
    virtual ~qor_cKey();

    // Copies the base record: time, all four values, n and type.
    void copyFrom(const qor_cKey & src);

    EType getType() const { return m_eType; }
    uint getNbValue() const { return m_nValue; }
    float getTime() const { return m_fTime; }
    void setTime(float fTime) { m_fTime = fTime; }

    float m_fTime;      // on the track's own clock
    float m_afValue[4]; // only the first m_nValue are meaningful
    uint m_nValue;      // number of components
    EType m_eType;      // set by the concrete class
};

class qor_cLinearKey : public qor_cKey
{
public:
    explicit qor_cLinearKey(uint n) : qor_cKey(n, e_key_linear) {}
};

class qor_cStepKey : public qor_cKey
{
public:
    explicit qor_cStepKey(uint n) : qor_cKey(n, e_key_step) {}
};

class qor_cTcbKey : public qor_cKey
{
public:
    // Tension, bias and continuity all start at 0.25 (not 0).
    explicit qor_cTcbKey(uint n) : qor_cKey(n, e_key_tcb), m_fTension(0.25f), m_fBias(0.25f), m_fContinuity(0.25f) {}

    float m_fTension;
    float m_fBias;
    float m_fContinuity;
};

class qor_cSmoothKey : public qor_cKey
{
public:
    // The tangent vector starts at 0; the smooth controller ignores it, the Hermite controller reads it.
    explicit qor_cSmoothKey(uint n) : qor_cKey(n, e_key_smooth), m_afTangent{0.0f, 0.0f, 0.0f, 0.0f} {}

    float m_afTangent[4];
};
