#include "qor_cObject.h"

#include "qor_cKey.h"

#include <cmath>
#include <vector>

qor_cObject::qor_cObject(uint uType)
    : m_vPosition(0.0f, 0.0f, 0.0f), m_qRotation(0.0f, 0.0f, 0.0f, 1.0f), m_vScale(1.0f, 1.0f, 1.0f),
      m_uType(uType), m_bUpdated(0), m_uEndMode(e_end_clamp), m_fLength(0.0f), m_fRate(0.0f),
      m_fLocalTime(0.0f), m_pCtrlPos(nullptr), m_pCtrlRot(nullptr), m_pCtrlScale(nullptr), m_pParent(nullptr)
{
    // An object that the animation file gives no visibility shows: without this, every export
    // without a visibility channel would draw nothing.
    m_visibility.m_key.m_afValue[0] = 1.0f;
}

qor_cObject::~qor_cObject()
{
    delete m_pCtrlPos;
    delete m_pCtrlRot;
    delete m_pCtrlScale;
}

bool qor_cObject::setParent(qor_cObject * pParent)
{
    for (qor_cObject * p = pParent; p; p = p->m_pParent)
        if (p == this)
            return false;
    m_pParent = pParent;
    return true;
}

void qor_cObject::setPositionController(qor_cController * pCtrl)
{
    if (pCtrl != m_pCtrlPos)
        delete m_pCtrlPos;
    m_pCtrlPos = pCtrl;
}

void qor_cObject::setRotationController(qor_cController * pCtrl)
{
    if (pCtrl != m_pCtrlRot)
        delete m_pCtrlRot;
    m_pCtrlRot = pCtrl;
}

void qor_cObject::setScaleController(qor_cController * pCtrl)
{
    if (pCtrl != m_pCtrlScale)
        delete m_pCtrlScale;
    m_pCtrlScale = pCtrl;
}

void qor_cObject::setVisibility(float f)
{
    m_visibility.m_key.m_afValue[0] = f;
    m_visibility.rewind();
}

float qor_cObject::getSampleTime() const
{
    if (m_uEndMode != e_end_free)
        return m_fLocalTime;
    // Back and forth: 0 .. length, then back down to 0, and again.
    if (!(m_fLength > 0.0f))
        return 0.0f;
    const float fPeriod = 2.0f * m_fLength;
    const float c = std::fmod(m_fLocalTime, fPeriod);
    return c < m_fLength ? c : fPeriod - c;
}

void qor_cObject::advanceLocalTime(float fStep)
{
    switch (m_uEndMode)
    {
    case e_end_clamp:
        m_fLocalTime += fStep;
        if (m_fLocalTime > m_fLength)
            m_fLocalTime = m_fLength;
        break;
    case e_end_loop:
        // Folding needs a length: an object without keys keeps its time at 0.
        if (!(m_fLength > 0.0f))
        {
            m_fLocalTime = 0.0f;
            break;
        }
        m_fLocalTime += fStep;
        if (m_fLocalTime >= m_fLength)
            m_fLocalTime -= std::floor(m_fLocalTime / m_fLength) * m_fLength;
        break;
    case e_end_reverseLoop:
        if (!(m_fLength > 0.0f))
        {
            m_fLocalTime = 0.0f;
            break;
        }
        m_fLocalTime -= fStep;
        if (m_fLocalTime < 0.0f)
            m_fLocalTime += (std::floor(-m_fLocalTime / m_fLength) + 1.0f) * m_fLength;
        break;
    default: // free, and any other value: the time just runs
        m_fLocalTime += fStep;
        break;
    }
    // A time that cannot be folded (infinite, NaN) restarts rather than poisoning the matrices.
    if (!std::isfinite(m_fLocalTime))
        m_fLocalTime = 0.0f;
}

void qor_cObject::evaluate()
{
    const float t = getSampleTime();
    qor_cKey key(4);
    if (m_pCtrlPos && m_pCtrlPos->getNbKeys() > 0)
    {
        m_pCtrlPos->evaluate(t, &key);
        m_vPosition.set(key.m_afValue[0], key.m_afValue[1], key.m_afValue[2]);
    }
    if (m_pCtrlRot && m_pCtrlRot->getNbKeys() > 0)
    {
        m_pCtrlRot->evaluate(t, &key);
        m_qRotation.set(key.m_afValue[0], key.m_afValue[1], key.m_afValue[2], key.m_afValue[3]);
    }
    if (m_pCtrlScale && m_pCtrlScale->getNbKeys() > 0)
    {
        m_pCtrlScale->evaluate(t, &key);
        m_vScale.set(key.m_afValue[0], key.m_afValue[1], key.m_afValue[2]);
    }
    m_visibility.evaluate();
}

void qor_cObject::update(cfloat * pDt)
{
    if (m_bUpdated)
        return;
    if (m_pParent && !m_pParent->m_bUpdated)
    {
        // Ancestors first, from the top down, without recursion: a long exported chain must not
        // exhaust the stack. Each ancestor's own parent is updated by the time it runs.
        static std::vector<qor_cObject *> s_chain;
        const size_t nBase = s_chain.size();
        for (qor_cObject * p = m_pParent; p && !p->m_bUpdated; p = p->m_pParent)
            s_chain.push_back(p);
        while (s_chain.size() > nBase)
        {
            qor_cObject * p = s_chain.back();
            s_chain.pop_back();
            p->update(pDt);
        }
    }
    updateSelf(pDt);
}

void qor_cObject::updateSelf(cfloat * pDt)
{
    advanceLocalTime(*pDt * m_fRate);
    m_visibility.advance(pDt);
    evaluate();

    qor_cMatrix local;
    local.setTransform(m_vScale, m_qRotation, m_vPosition);
    if (m_pParent)
        qor_cMatrix::multiply(&m_world, local, m_pParent->m_world);
    else
        m_world = local;

    m_worldSphere.m_vCenter = m_world.transform(m_localSphere.m_vCenter);
    m_worldSphere.setRadius(m_localSphere.m_fRadius);
    m_bUpdated = 1;
}

void qor_cObject::rewind()
{
    m_fLocalTime = 0.0f;
    m_visibility.rewind();
}
