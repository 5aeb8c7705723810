#include "qor_cKey.h"

qor_cKey::qor_cKey(uint n, EType eType)
    : m_fTime(0.0f), m_afValue{0.0f, 0.0f, 0.0f, 0.0f}, m_nValue(n > 4 ? 4 : n), m_eType(eType)
{
}

qor_cKey::~qor_cKey() {}

void qor_cKey::copyFrom(const qor_cKey & src)
{
    m_fTime = src.m_fTime;
    for (int i = 0; i < 4; ++i)
        m_afValue[i] = src.m_afValue[i];
    m_nValue = src.m_nValue;
    m_eType = src.m_eType;
}
