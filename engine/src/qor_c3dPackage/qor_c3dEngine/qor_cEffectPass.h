// One rendering pass of an effect: blend factors, depth test and write, culling and up to
// four texture stages.
#pragma once

#include "qor_cBlendSettings.h"
#include "qor_cEffectStage.h"
#include "qor_types.h"

class qor_cEffectPass
{
public:
    enum
    {
        e_maxStage = 4
    };

    qor_cEffectPass() : m_blend(1, 0), m_zFunc(3), m_cull(1), m_zWrite(1), m_nStage(0) {}
    virtual ~qor_cEffectPass() {}

    // The next free stage, or null when all four are in use.
    qor_cEffectStage * addStage();
    qor_cEffectStage * getStage(uint i) { return i < m_nStage ? &m_aStage[i] : nullptr; }
    uint getNbStage() const { return m_nStage; }

    void setBlend(uint src, uint dst) { m_blend.set(src, dst); }
    const qor_cBlendSettings & getBlend() const { return m_blend; }
    void setZFunc(uint f) { m_zFunc = f; }
    void setZWrite(uint b) { m_zWrite = b; }
    void setCullMode(uint mode) { m_cull = mode; }
    uint getZFunc() const { return m_zFunc; }
    uint getZWrite() const { return m_zWrite; }
    uint getCullMode() const { return m_cull; }

    // Sets the display for drawing this pass.
    void use();
    void update(const float * dt);
    void reset();

private:
    qor_cBlendSettings m_blend;
    uint m_zFunc;
    uint m_cull;
    uint m_zWrite;
    uint m_nStage;
    qor_cEffectStage m_aStage[e_maxStage];
};
