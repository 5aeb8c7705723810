#include "qor_cOmniLight.h"

#include "qor_cDisp.h"
#include "qor_cXChange.h"

qor_cOmniLight::qor_cOmniLight() : qor_cObject(e_type_omniLight) {}

qor_cOmniLight::~qor_cOmniLight()
{
    // The display keeps pointers to the lights it was given; none may outlive the light.
    if (m_light.m_uSlot != qor_cLight::kNoSlot && QOR_DISP())
        QOR_DISP()->removeLight(&m_light);
}

void qor_cOmniLight::evaluate()
{
    qor_cObject::evaluate();
    for (qor_cEasyAnim & t : m_aTrack)
        t.evaluate();
}

void qor_cOmniLight::update(cfloat * pDt)
{
    if (isUpdated())
        return;
    qor_cObject::update(pDt);
    for (qor_cEasyAnim & t : m_aTrack)
        t.advance(pDt);
}

void qor_cOmniLight::rewind()
{
    qor_cObject::rewind();
    for (qor_cEasyAnim & t : m_aTrack)
        t.rewind();
}
