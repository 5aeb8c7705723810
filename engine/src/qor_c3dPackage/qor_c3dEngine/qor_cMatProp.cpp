#include "qor_cMatProp.h"

#include "qor_cDisp.h"
#include "qor_cXChange.h"

qor_cMatProp::qor_cMatProp()
    : m_power(0.5f), m_diffuseSrc(0), m_ambientSrc(0), m_specularSrc(0), m_emissiveSrc(0)
{
    setColor(m_diffuse, 1, 1, 1, 1);
    setColor(m_ambient, 0, 0, 0, 0);
    setColor(m_specular, 1, 1, 1, 1);
    setColor(m_emissive, 0, 0, 0, 0);
}

void qor_cMatProp::setColor(qor_cEasyAnim & track, float r, float g, float b, float a)
{
    float * p = track.getOutput()->m_afValue;
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = a;
}

bool qor_cMatProp::use()
{
    return QOR_DISP()->setMaterialProperties(this);
}

void qor_cMatProp::update(const float * dt)
{
    qor_cEasyAnim * apTrack[4] = {&m_diffuse, &m_ambient, &m_specular, &m_emissive};
    for (qor_cEasyAnim * pTrack : apTrack)
    {
        pTrack->advance(dt);
        pTrack->evaluate();
    }
}

void qor_cMatProp::reset()
{
    m_diffuse.rewind();
    m_ambient.rewind();
    m_specular.rewind();
    m_emissive.rewind();
}

bool qor_cMatProp::addKey_diff(qor_cKey * pKey)
{
    return m_diffuse.addKey(pKey, true);
}

bool qor_cMatProp::lastKey_diff()
{
    return m_diffuse.initKeyArray();
}
