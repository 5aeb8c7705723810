#include "qor_cMaterial.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cKey.h"
#include "qor_cScript.h"
#include "qor_matScript.h"
#include "qor_cTexture.h"
#include "qor_cXChange.h"

#include <cstring>
#include <new>

qor_cMaterial::qor_cMaterial() : m_pEffect(nullptr), m_fTime(0.0f)
{
    m_szName[0] = 0;
}

qor_cMaterial::~qor_cMaterial()
{
    delete m_pEffect;
}

void qor_cMaterial::setName(cchar * szName)
{
    std::strncpy(m_szName, szName ? szName : "", e_nameSize - 1);
    m_szName[e_nameSize - 1] = 0;
}

bool qor_cMaterial::addKey_diffuse(float kt, float r, float g, float b, float a)
{
    qor_cKey * pKey = new (std::nothrow) qor_cLinearKey(4);
    if (!pKey)
    {
        QOR_LOG_LOCATION();
        qoru_logError("void qor_cMaterial::addKey_diffuse(float kt, float r, float g, float b, float a)\n");
        qoru_logError("qor_cTcbKey * pKey = new qor_cTcbKey(4);\n");
        return false;
    }
    pKey->m_fTime = kt;
    pKey->m_afValue[0] = r;
    pKey->m_afValue[1] = g;
    pKey->m_afValue[2] = b;
    pKey->m_afValue[3] = a;
    if (!m_prop.addKey_diff(pKey))
    {
        delete pKey;
        QOR_LOG_LOCATION();
        qoru_logError("void qor_cMaterial::addKey_diffuse(float kt, float r, float g, float b, float a)\n");
        qoru_logError("if (!m_prop.addKey_diff(pKey))\n");
        return false;
    }
    return true;
}

bool qor_cMaterial::lastKey_diffuse()
{
    return m_prop.lastKey_diff();
}

bool qor_cMaterial::createEffect()
{
    delete m_pEffect;
    m_pEffect = new (std::nothrow) qor_cEffect;
    return m_pEffect != nullptr;
}

void qor_cMaterial::deleteEffect()
{
    delete m_pEffect;
    m_pEffect = nullptr;
}

bool qor_cMaterial::loadFromScript(cchar * szScriptName, qor_cScene * pScene)
{
    qoru_setMatScriptMaterial(this, pScene);
    if (!createEffect())
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cMaterial::loadFromScript(cchar * szScriptName)\n");
        QOR_LOG_LOCATION();
        qoru_logError("m_pEffect = new qor_cEffect;\n");
        return false;
    }
    qor_cScript script;
    if (!script.loadAndExecute(szScriptName, qor_aMatScriptNatives))
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cMaterial::loadFromScript(cchar * szScriptName<%s>)\n", szScriptName ? szScriptName : "");
        return false;
    }
    return true;
}

void qor_cMaterial::usePass(uint i)
{
    if (!m_pEffect || i >= m_pEffect->getNbPass())
        return;
    if (i == 0)
        m_prop.use();
    m_pEffect->usePass(i);
}

void qor_cMaterial::update(const float * dt)
{
    m_fTime += *dt;
    m_prop.update(dt);
    if (m_pEffect)
        m_pEffect->update(dt);
}

void qor_cMaterial::reset()
{
    m_fTime = 0.0f;
    if (m_pEffect)
        m_pEffect->reset();
    m_prop.reset();
}

qor_cEffectStage * qor_cMaterial::getStageByTexture(cchar * szName)
{
    if (!m_pEffect || !szName)
        return nullptr;
    for (uint p = 0; p < m_pEffect->getNbPass(); ++p)
    {
        qor_cEffectPass * pPass = m_pEffect->getPass(p);
        for (uint s = 0; s < pPass->getNbStage(); ++s)
        {
            qor_cEffectStage * pStage = pPass->getStage(s);
            if (pStage->getTexture() && std::strcmp(pStage->getTexture()->getName(), szName) == 0)
                return pStage;
        }
    }
    return nullptr;
}
