#include "qor_cBone.h"

void qor_cBone::update(cfloat * pDt)
{
    if (isUpdated())
        return;
    qor_cObject::update(pDt);
    qor_cMatrix::multiply(&m_skin, m_invBind, m_world);
}
