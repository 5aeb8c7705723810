#include "qor_cDispGlue.h"

#include "qor_cBlendSettings.h"
#include "qor_cMatProp.h"

bool qoru_getBlendSettings(const qor_cBlendSettings * p, uint * pSrc, uint * pDst)
{
    *pSrc = p->m_src;
    *pDst = p->m_dst;
    return true;
}

bool qoru_getMatProp(qor_cMatProp * p, qor_sD3DMaterial * pMat, qor_eMatSrc * pSrc)
{
    const auto set = [](qor_cColor & c, const float * f) { c.set(f[0], f[1], f[2], f[3]); };
    set(pMat->diffuse, p->getDiffuse());
    set(pMat->ambient, p->getAmbient());
    set(pMat->specular, p->getSpecular());
    set(pMat->emissive, p->getEmissive());
    pMat->power = p->getPower() * 100.0f;
    pSrc[0] = static_cast<qor_eMatSrc>(p->getDiffuseSrc());
    pSrc[1] = static_cast<qor_eMatSrc>(p->getAmbientSrc());
    pSrc[2] = static_cast<qor_eMatSrc>(p->getSpecularSrc());
    pSrc[3] = static_cast<qor_eMatSrc>(p->getEmissiveSrc());
    return true;
}
