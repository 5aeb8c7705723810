#include "qor_cFog.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cXChange.h"

#include <new>

qor_cFog::qor_cFog() {}

qor_cFog::~qor_cFog() {}

bool qor_cFog::addKey_color(cfloat kt, cfloat r, cfloat g, cfloat b, cfloat a)
{
    qor_cKey * pKey = new (std::nothrow) qor_cLinearKey(4);
    if (!pKey)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cFog::addKey_color(cfloat kt, cfloat r, cfloat g, cfloat b, cfloat a)\n");
        qoru_logError("qor_cKey * pKey = new qor_cLinearKey(4);\n");
        return false;
    }
    pKey->m_fTime = kt;
    pKey->m_afValue[0] = r;
    pKey->m_afValue[1] = g;
    pKey->m_afValue[2] = b;
    pKey->m_afValue[3] = a;
    if (!m_color.addKey(pKey, true))
    {
        delete pKey;
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cFog::addKey_color(cfloat kt, cfloat r, cfloat g, cfloat b, cfloat a)\n");
        qoru_logError("if (!m_color.addKey(pKey, true))\n");
        return false;
    }
    return true;
}

static bool addOneKey(qor_cEasyAnim & track, cfloat kt, cfloat n, cchar * szSignature)
{
    qor_cKey * pKey = new (std::nothrow) qor_cLinearKey(1);
    if (!pKey)
    {
        QOR_LOG_LOCATION();
        qoru_logError("%s", szSignature);
        qoru_logError("qor_cKey * pKey = new qor_cLinearKey(1);\n");
        return false;
    }
    pKey->m_fTime = kt;
    pKey->m_afValue[0] = n;
    if (!track.addKey(pKey, true))
    {
        delete pKey;
        return false;
    }
    return true;
}

bool qor_cFog::addKey_near(cfloat kt, cfloat n)
{
    return addOneKey(m_near, kt, n, "bool qor_cFog::addKey_near(cfloat kt, cfloat n)\n");
}

bool qor_cFog::addKey_far(cfloat kt, cfloat n)
{
    return addOneKey(m_far, kt, n, "bool qor_cFog::addKey_far(cfloat kt, cfloat n)\n");
}

static bool prepare(qor_cEasyAnim & track)
{
    if (!track.getController() || track.getController()->getNbKeys() == 0)
        return false;
    return track.initKeyArray();
}

bool qor_cFog::prepareColor()
{
    return prepare(m_color);
}

bool qor_cFog::prepareNear()
{
    return prepare(m_near);
}

bool qor_cFog::prepareFar()
{
    return prepare(m_far);
}

void qor_cFog::setColor(float r, float g, float b, float a)
{
    float * v = m_color.m_key.m_afValue;
    v[0] = r;
    v[1] = g;
    v[2] = b;
    v[3] = a;
}

qor_cColor qor_cFog::getColor() const
{
    const float * v = m_color.getOutput()->m_afValue;
    return qor_cColor(v[0], v[1], v[2], v[3]);
}

void qor_cFog::update(cfloat * pDt)
{
    m_color.advance(pDt);
    m_near.advance(pDt);
    m_far.advance(pDt);
}

void qor_cFog::rewind()
{
    m_color.rewind();
    m_near.rewind();
    m_far.rewind();
}

void qor_cFog::apply()
{
    m_color.evaluate();
    m_near.evaluate();
    m_far.evaluate();
    if (QOR_DISP())
    {
        const qor_cColor c = getColor();
        QOR_DISP()->setFogColor(&c);
    }
}
