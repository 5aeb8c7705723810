#include "qor_cEffect.h"

#include "qor_cDisp.h"
#include "qor_cXChange.h"

qor_cEffectStage * qor_cEffectPass::addStage()
{
    // Four hardware stages at most; a fifth would write past the pass.
    if (m_nStage >= e_maxStage)
        return nullptr;
    return &m_aStage[m_nStage++];
}

void qor_cEffectPass::use()
{
    qor_cDisp * pDisp = QOR_DISP();
    m_blend.use();
    // With fog on, an additive pass fogs towards black: adding fog colour on every pass
    // would brighten distant surfaces instead of hiding them.
    if (pDisp->getFogMode() != 0)
        pDisp->setFogMode(m_blend.getDst() == 1 ? 2 : 1);
    pDisp->setZFunc(m_zFunc);
    pDisp->enableZWrite((m_zWrite & 0xFF) != 0);
    for (uint i = 0; i < m_nStage; ++i)
        m_aStage[i].use(i);
    // The stage after the last one ends the cascade.
    pDisp->setTexMode(m_nStage, (qor_eTexArg)0, (qor_eTexOp)0, (qor_eTexArg)0);
    pDisp->setCullMode(m_cull);
}

void qor_cEffectPass::update(const float * dt)
{
    for (uint i = 0; i < m_nStage; ++i)
        m_aStage[i].update(dt);
}

void qor_cEffectPass::reset()
{
    for (uint i = 0; i < m_nStage; ++i)
        m_aStage[i].reset();
}

qor_cEffectPass * qor_cEffect::addPass()
{
    if (m_nPass >= e_maxPass)
        return nullptr;
    return &m_aPass[m_nPass++];
}

void qor_cEffect::usePass(uint i)
{
    if (i < m_nPass)
        m_aPass[i].use();
}

void qor_cEffect::update(const float * dt)
{
    for (uint i = 0; i < m_nPass; ++i)
        m_aPass[i].update(dt);
}

void qor_cEffect::reset()
{
    for (uint i = 0; i < m_nPass; ++i)
        m_aPass[i].reset();
}
