// qor_cLight: the light description handed to the display device (addLight, setLight; the
// record of the scene graph, kept here beside the device that reads it). Members in the order of
// D3DLIGHT8's fields, with the values a new light has.
#pragma once

#include "qor_cColor.h"
#include "qor_cSphere.h"
#include "qor_cVector3.h"
#include "qor_types.h"

class qor_cLight
{
public:
    static const uint kNoSlot = 255; // "none": all bits of the byte-sized slot index set

    qor_cLight()
        : m_uType(0), m_diffuse(1.0f, 1.0f, 1.0f, 1.0f), m_specular(1.0f, 1.0f, 1.0f, 1.0f),
          m_ambient(0.0f, 0.0f, 0.0f, 0.0f), m_vDirection(0.0f, 0.0f, -1.0f), m_fFalloff(1.0f),
          m_fAttenuation0(1.0f), m_fAttenuation1(0.0f), m_fAttenuation2(0.0f), m_fTheta(0.0f), m_fPhi(0.0f),
          m_uSlot(kNoSlot)
    {
        // Range sqrt(FLT_MAX): Direct3D's largest light range.
        m_sphere.m_fRadius = 1.8446743e19f;
        m_sphere.m_fRadiusSq = 3.4028235e38f;
    }
    virtual ~qor_cLight() {}

    // Position = the range sphere's centre, range = its radius.
    void setPosition(float x, float y, float z) { m_sphere.m_vCenter.set(x, y, z); }
    void setRange(float fRange) { m_sphere.setRadius(fRange); }
    const qor_cVector3 & getPosition() const { return m_sphere.m_vCenter; }
    float getRange() const { return m_sphere.m_fRadius; }

    uint m_uType; // 0 point, 1 spot, 2 directional
    qor_cColor m_diffuse;
    qor_cColor m_specular;
    qor_cColor m_ambient;
    qor_cSphere m_sphere;
    qor_cVector3 m_vDirection;
    float m_fFalloff;
    float m_fAttenuation0;
    float m_fAttenuation1;
    float m_fAttenuation2;
    float m_fTheta; // inner cone angle, radians
    float m_fPhi;   // outer cone angle, radians
    uint m_uSlot;   // device light slot in use, kNoSlot when none
};
