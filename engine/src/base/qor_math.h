// All of the math library in one include.
#pragma once

#include "qor_cColor.h"
#include "qor_cFrustum.h"
#include "qor_cMatrix.h"
#include "qor_cPlane.h"
#include "qor_cQuaternion.h"
#include "qor_cSegment.h"
#include "qor_cSphere.h"
#include "qor_cVector2.h"
#include "qor_cVector3.h"
#include "qor_mathUtil.h"
#include "qor_sUCColor.h"
