// Key builders for the animation tests.
#pragma once

#include "qor_cController.h"
#include "qor_cKey.h"

#include <initializer_list>
#include <memory>

template <typename K> K * makeKey(float t, std::initializer_list<float> values)
{
    K * p = new K(uint(values.size()));
    p->m_fTime = t;
    int i = 0;
    for (float f : values)
        p->m_afValue[i++] = f;
    return p;
}

inline qor_cTcbKey * makeTcb(float t, float v, float fTension = 0.25f, float fContinuity = 0.25f, float fBias = 0.25f)
{
    qor_cTcbKey * p = makeKey<qor_cTcbKey>(t, {v});
    p->m_fTension = fTension;
    p->m_fContinuity = fContinuity;
    p->m_fBias = fBias;
    return p;
}

inline qor_cSmoothKey * makeTangentKey(float t, float v, float g)
{
    qor_cSmoothKey * p = makeKey<qor_cSmoothKey>(t, {v});
    p->m_afTangent[0] = g;
    return p;
}

// A controller of the given type holding (times[i], values[i]) one-component keys of class K.
template <typename K>
std::unique_ptr<qor_cController> makeTrack(qor_cKey::EType eType, std::initializer_list<float> times,
                                           std::initializer_list<float> values)
{
    std::unique_ptr<qor_cController> p(qor_cController::create(eType));
    const float * v = values.begin();
    for (float t : times)
        p->addKey(makeKey<K>(t, {*v++}), true);
    return p;
}

// An output key whose time and values mark what evaluation did not write.
inline qor_cKey marked(uint n = 4)
{
    qor_cKey k(n);
    k.m_fTime = -777.0f;
    for (float & f : k.m_afValue)
        f = -555.0f;
    return k;
}
