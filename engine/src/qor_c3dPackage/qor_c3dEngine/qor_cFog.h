// qor_cFog: a scene's fog: a colour track (r, g, b, a in 0..1) and near and far tracks. The
// scene turns device fog on, gives the device the fog's colour every frame and clears the
// background with it; the fog distances come from the active camera.
#pragma once

#include "qor_cColor.h"
#include "qor_cEasyAnim.h"
#include "qor_types.h"

class qor_cFog
{
public:
    qor_cFog();
    virtual ~qor_cFog();
    qor_cFog(const qor_cFog &) = delete;
    qor_cFog & operator=(const qor_cFog &) = delete;

    // Linear keys (4 components for the colour, 1 for near and far), owned by their track.
    bool addKey_color(cfloat kt, cfloat r, cfloat g, cfloat b, cfloat a);
    bool addKey_near(cfloat kt, cfloat n);
    bool addKey_far(cfloat kt, cfloat n);
    // Build each track's key table after its last key; true when the track holds keys.
    bool prepareColor();
    bool prepareNear();
    bool prepareFar();

    // The static colour (what the colour track keeps while it has no key).
    void setColor(float r, float g, float b, float a);
    // The colour track's current value.
    qor_cColor getColor() const;

    void update(cfloat * pDt);
    void rewind();
    // Evaluates the three tracks and sets the device fog colour.
    void apply();

    qor_cEasyAnim m_color;
    qor_cEasyAnim m_near;
    qor_cEasyAnim m_far;
};
