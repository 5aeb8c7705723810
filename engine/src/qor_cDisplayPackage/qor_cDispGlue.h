// Readers of the records other packages hand to the display (qor_cBlendSettings and
// qor_cMatProp), kept in one file so that the device compiles on its own.
#pragma once

#include "qor_cDisp.h"

// The pair of blend factors.
bool qoru_getBlendSettings(const qor_cBlendSettings * p, uint * pSrc, uint * pDst);
// The current colours, the power times 100 and the four sources (diffuse, ambient, specular,
// emissive).
bool qoru_getMatProp(qor_cMatProp * p, qor_sD3DMaterial * pMat, qor_eMatSrc * pSrc);
