#include "qor_cEffectStage.h"

#include "qor_cDisp.h"
#include "qor_cErrorHandler.h"
#include "qor_cKey.h"
#include "qor_cTexture.h"
#include "qor_cXChange.h"

#include <new>

namespace
{
// A linear key of n components at time t, added to the track (which then owns it).
bool addLinearKey(qor_cEasyAnim & track, float t, uint n, float v0, float v1)
{
    qor_cKey * pKey = new (std::nothrow) qor_cLinearKey(n);
    if (!pKey)
        return false;
    pKey->m_fTime = t;
    pKey->m_afValue[0] = v0;
    pKey->m_afValue[1] = v1;
    if (!track.addKey(pKey, true))
    {
        delete pKey;
        return false;
    }
    return true;
}
} // namespace

qor_cEffectStage::qor_cEffectStage()
    : m_pTexture(nullptr), m_bTextureOwner(0), m_colorOp(2, 0, 1), m_alphaOp(2, 0, 1), m_texCoordGen(5), m_ttf(0),
      m_bAnimated(0)
{
    // A track that never gets a key keeps the identity transform.
    m_uvpos.m_iEndMode = 1;
    m_uvrot.m_iEndMode = 1;
    m_uvscale.m_iEndMode = 1;
    m_uvscale.getOutput()->m_afValue[0] = 1.0f;
    m_uvscale.getOutput()->m_afValue[1] = 1.0f;
}

qor_cEffectStage::~qor_cEffectStage()
{
    if (m_bTextureOwner)
        delete m_pTexture;
}

void qor_cEffectStage::setTexture(qor_cTexture * pTexture, bool bOwner)
{
    if (m_bTextureOwner && m_pTexture != pTexture)
        delete m_pTexture;
    m_pTexture = pTexture;
    m_bTextureOwner = bOwner ? 1 : 0;
}

bool qor_cEffectStage::addKey_position(float t, float x, float y)
{
    if (addLinearKey(m_uvpos, t, 2, x, y))
        return true;
    QOR_LOG_LOCATION();
    qoru_logError("bool qor_cEffectStage::addKey_position(float t, float x, float y)\n");
    qoru_logError("bool bRet = m_uvpos.addKey(pKey);\n");
    return false;
}

bool qor_cEffectStage::addKey_rotation(float t, float ang)
{
    if (addLinearKey(m_uvrot, t, 1, ang, 0.0f))
        return true;
    QOR_LOG_LOCATION();
    qoru_logError("bool qor_cEffectStage::addKey_rotation(float t, float ang)\n");
    qoru_logError("bool bRet =\tm_uvrot.addKey(pkey);\n");
    return false;
}

bool qor_cEffectStage::addKey_scale(float t, float x, float y)
{
    if (addLinearKey(m_uvscale, t, 2, x, y))
        return true;
    QOR_LOG_LOCATION();
    qoru_logError("void qor_cEffectStage::addKey_scale(float t, float x, float y)\n");
    qoru_logError("bool bRet = m_pCtrlScale->addKey(pkey, true);\n");
    return false;
}

bool qor_cEffectStage::lastKey_position()
{
    m_bAnimated = 1;
    return m_uvpos.initKeyArray();
}

bool qor_cEffectStage::lastKey_rotation()
{
    m_bAnimated = 1;
    return m_uvrot.initKeyArray();
}

bool qor_cEffectStage::lastKey_scale()
{
    m_bAnimated = 1;
    return m_uvscale.initKeyArray();
}

void qor_cEffectStage::getTransform(float * pOffset, float * pRotation, float * pScale)
{
    const qor_cKey * pRot = m_uvrot.evaluate();
    const qor_cKey * pScl = m_uvscale.evaluate();
    const qor_cKey * pPos = m_uvpos.evaluate();
    pOffset[0] = pPos->m_afValue[0];
    pOffset[1] = pPos->m_afValue[1];
    *pRotation = pRot->m_afValue[0];
    pScale[0] = pScl->m_afValue[0];
    pScale[1] = pScl->m_afValue[1];
}

void qor_cEffectStage::use(uint iStage)
{
    qor_cDisp * pDisp = QOR_DISP();
    if (m_pTexture)
        m_pTexture->use(iStage);
    else
        pDisp->setTexture(iStage, QOR_NULL_TEXTURE);

    float afOffset[2], fRotation, afScale[2];
    getTransform(afOffset, &fRotation, afScale);

    pDisp->setTexCoordGen(iStage, m_texCoordGen);
    pDisp->setTexTransformFlags(iStage, m_ttf);
    pDisp->setTexMode(iStage, (qor_eTexArg)m_colorOp.m_arg1, (qor_eTexOp)m_colorOp.m_op, (qor_eTexArg)m_colorOp.m_arg2);
    pDisp->setTexModeAlpha(iStage, (qor_eTexArg)m_alphaOp.m_arg1, (qor_eTexOp)m_alphaOp.m_op, (qor_eTexArg)m_alphaOp.m_arg2);
    if (m_bAnimated)
    {
        // An animated stage keeps a 2D texture transform from then on.
        m_ttf = 2;
        pDisp->setTexTransformFlags(iStage, 2);
        pDisp->setTexTransform(iStage, afOffset[0], afOffset[1], fRotation, afScale[0], afScale[1]);
    }
    else
        pDisp->setTexTransformFlags(iStage, m_ttf);
}

void qor_cEffectStage::update(const float * dt)
{
    m_uvscale.advance(dt);
    m_uvpos.advance(dt);
    m_uvrot.advance(dt);
}

void qor_cEffectStage::reset()
{
    m_uvpos.rewind();
    m_uvrot.rewind();
    m_uvscale.rewind();
}
