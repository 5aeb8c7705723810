// qor_cOmniLight: an omni (point) light object with its device light description. Its four
// qor_cEasyAnim tracks advance and evaluate with the light; the loaders give them no keys.
#pragma once

#include "qor_cLight.h"
#include "qor_cObject.h"

class qor_cOmniLight : public qor_cObject
{
public:
    qor_cOmniLight();
    // Takes the light out of the display's slots if it is still in one.
    ~qor_cOmniLight() override;

    void evaluate() override;
    void update(cfloat * pDt) override;
    void rewind() override;

    qor_cLight & light() { return m_light; }
    qor_cEasyAnim & track(uint i) { return m_aTrack[i < 4 ? i : 3]; }

private:
    qor_cEasyAnim m_aTrack[4];
    qor_cLight m_light;
};
