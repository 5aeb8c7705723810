#include "qor_cCamera.h"

#include "qor_mathUtil.h"

qor_cCamera::qor_cCamera() : qor_cObject(e_type_camera), m_pTarget(nullptr)
{
    setRangeStart(1.0f);
    setFar(65535.0f);
    setFov(qoru_degToRad(90.0f));
    setRoll(0.0f);
}

qor_cCamera::~qor_cCamera() {}

void qor_cCamera::evaluate()
{
    if (m_pTarget)
        m_pTarget->evaluate();
    qor_cObject::evaluate();
    m_rangeStart.evaluate();
    m_far.evaluate();
    m_fov.evaluate();
    m_roll.evaluate();
    m_fifth.evaluate();
}

void qor_cCamera::update(cfloat * pDt)
{
    if (isUpdated())
        return;
    qor_cObject::update(pDt);
    m_rangeStart.advance(pDt);
    m_far.advance(pDt);
    m_fov.advance(pDt);
    m_roll.advance(pDt);
    m_fifth.advance(pDt);
}

void qor_cCamera::rewind()
{
    qor_cObject::rewind();
    m_rangeStart.rewind();
    m_far.rewind();
    m_fov.rewind();
    m_roll.rewind();
    m_fifth.rewind();
}
