// The lighting half of a material: four animatable colours (diffuse, ambient, specular,
// emissive; r, g, b, a), the specular power and where each lighting colour comes from.
#pragma once

#include "qor_cEasyAnim.h"
#include "qor_types.h"

class qor_cMatProp
{
public:
    qor_cMatProp();
    virtual ~qor_cMatProp() {}
    qor_cMatProp(const qor_cMatProp &) = delete;
    qor_cMatProp & operator=(const qor_cMatProp &) = delete;

    // Sends the properties to the display (which sends the power times 100).
    bool use();
    // Advances the four colour tracks and evaluates them.
    void update(const float * dt);
    void reset();

    // A key on the diffuse track (the track owns it once accepted).
    bool addKey_diff(qor_cKey * pKey);
    bool lastKey_diff();

    // Static colours: the values a track keeps while it has no key.
    void setDiffuse(float r, float g, float b, float a) { setColor(m_diffuse, r, g, b, a); }
    void setAmbient(float r, float g, float b, float a) { setColor(m_ambient, r, g, b, a); }
    void setSpecular(float r, float g, float b, float a) { setColor(m_specular, r, g, b, a); }
    void setEmissive(float r, float g, float b, float a) { setColor(m_emissive, r, g, b, a); }
    void setPower(float f) { m_power = f; }
    void setSources(uint diffuse, uint ambient, uint specular, uint emissive)
    {
        m_diffuseSrc = diffuse;
        m_ambientSrc = ambient;
        m_specularSrc = specular;
        m_emissiveSrc = emissive;
    }

    // Current values, four floats each.
    const float * getDiffuse() { return m_diffuse.getOutput()->m_afValue; }
    const float * getAmbient() { return m_ambient.getOutput()->m_afValue; }
    const float * getSpecular() { return m_specular.getOutput()->m_afValue; }
    const float * getEmissive() { return m_emissive.getOutput()->m_afValue; }
    float getPower() const { return m_power; }
    uint getDiffuseSrc() const { return m_diffuseSrc; }
    uint getAmbientSrc() const { return m_ambientSrc; }
    uint getSpecularSrc() const { return m_specularSrc; }
    uint getEmissiveSrc() const { return m_emissiveSrc; }

    qor_cEasyAnim & diffuseTrack() { return m_diffuse; }

private:
    static void setColor(qor_cEasyAnim & track, float r, float g, float b, float a);

    qor_cEasyAnim m_diffuse;
    qor_cEasyAnim m_ambient;
    qor_cEasyAnim m_specular;
    qor_cEasyAnim m_emissive;
    float m_power;
    uint m_diffuseSrc;
    uint m_ambientSrc;
    uint m_specularSrc;
    uint m_emissiveSrc;
};
