#include "qor_cEasyAnim.h"

#include "qor_cErrorHandler.h"

#include <cmath>

qor_cEasyAnim::qor_cEasyAnim() : m_fTime(0.0f), m_fLength(0.0f), m_pCtrl(nullptr), m_key(4), m_iEndMode(e_end_hold) {}

qor_cEasyAnim::~qor_cEasyAnim() { delete m_pCtrl; }

bool qor_cEasyAnim::createController(const qor_cKey::EType type)
{
    delete m_pCtrl;
    m_pCtrl = qor_cController::create(type);
    if (m_pCtrl == nullptr)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cEasyAnim::createController(const qor_cKey::EType type)\n");
        QOR_LOG_LOCATION();
        qoru_logError("if (m_pCtrl == NULL)\n");
        return false;
    }
    return true;
}

bool qor_cEasyAnim::addKey(qor_cKey * pKey, bool bOwner /* = true */)
{
    if (pKey == nullptr)
        return false;
    // 1. The first key chooses the controller.
    if (m_pCtrl == nullptr)
    {
        const bool b = createController(pKey->getType());
        if (!b)
        {
            QOR_LOG_LOCATION();
            qoru_logError("bool qor_cEasyAnim::addKey(qor_cKey * pKey, bool bOwner /* = true */)\n");
            QOR_LOG_LOCATION();
            qoru_logError("bool b = createController(pKey->getType());\n");
            return false;
        }
        m_key.m_nValue = pKey->m_nValue;
    }
    // 2. The length follows the latest key.
    if (pKey->m_fTime > m_fLength)
        m_fLength = pKey->m_fTime;
    // 3. Strictly increasing times.
    const int nKeys = m_pCtrl->getNbKeys();
    if (nKeys > 0 && !(m_pCtrl->getKey(nKeys - 1)->m_fTime < pKey->m_fTime))
        return false;
    // 4. Appended whatever its type.
    return m_pCtrl->addKey(pKey, bOwner);
}

bool qor_cEasyAnim::initKeyArray() { return m_pCtrl == nullptr || m_pCtrl->initKeyArray(); }

void qor_cEasyAnim::advance(cfloat * pDt)
{
    m_fTime += *pDt;
    switch (m_iEndMode)
    {
    case e_end_loop:
        // std::fmod keeps the dividend's sign; the remainder by a length of 0 would be NaN.
        if (m_fTime > m_fLength)
            m_fTime = (m_fLength != 0.0f) ? std::fmod(m_fTime, m_fLength) : 0.0f;
        break;
    case e_end_hold:
        if (m_fTime > m_fLength)
            m_fTime = m_fLength;
        break;
    case e_end_backAndForth:
        if (m_fLength == 0.0f)
            m_fTime = 0.0f;
        break;
    default: // other modes: the clock runs free and the controller holds its end keys
        break;
    }
}

float qor_cEasyAnim::getControllerTime() const
{
    if (m_iEndMode != e_end_backAndForth)
        return m_fTime;
    if (m_fLength == 0.0f)
        return 0.0f;
    const float fPeriod = 2.0f * m_fLength;
    const float c = std::fmod(m_fTime, fPeriod);
    return (c < m_fLength) ? c : fPeriod - c;
}

qor_cKey * qor_cEasyAnim::evaluate()
{
    if (m_pCtrl != nullptr)
        m_pCtrl->evaluate(getControllerTime(), &m_key);
    return &m_key;
}
