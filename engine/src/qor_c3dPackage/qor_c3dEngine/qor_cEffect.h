// A multi-pass effect: up to four passes drawn in order, each with up to four texture stages.
#pragma once

#include "qor_cEffectPass.h"
#include "qor_types.h"

class qor_cEffect
{
public:
    enum
    {
        e_maxPass = 4
    };

    qor_cEffect() : m_nPass(0) {}
    virtual ~qor_cEffect() {}
    qor_cEffect(const qor_cEffect &) = delete;
    qor_cEffect & operator=(const qor_cEffect &) = delete;

    // The next free pass, or null when all four are in use.
    qor_cEffectPass * addPass();
    qor_cEffectPass * getPass(uint i) { return i < m_nPass ? &m_aPass[i] : nullptr; }
    uint getNbPass() const { return m_nPass; }

    // Sets the display for pass i; a pass that does not exist sets nothing.
    void usePass(uint i);
    void update(const float * dt);
    void reset();

private:
    uint m_nPass;
    qor_cEffectPass m_aPass[e_maxPass];
};
