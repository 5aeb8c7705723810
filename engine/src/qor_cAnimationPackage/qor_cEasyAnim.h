// qor_cEasyAnim: the animated value used everywhere in the engine: one controller with its own
// clock, a length, an end mode and an output key holding the current value.
//
// Owners add keys while loading (the first key chooses the controller), close the track with
// initKeyArray, then every frame advance(dt) and evaluate(), and read the output's values. A
// track that never got a key keeps whatever its owner wrote into the output: every track doubles
// as a static value. Owners rewind a track by setting m_fTime to 0 and change m_iEndMode directly.
#pragma once

#include "qor_cController.h"
#include "qor_cKey.h"
#include "qor_types.h"

class qor_cEasyAnim
{
public:
    enum EEndMode
    {
        e_end_loop = 0,        // beyond the length: time <- fmod(time, length)
        e_end_hold = 1,        // beyond the length: time <- length
        e_end_backAndForth = 2 // the clock runs on; the controller sees it folded into 0..length
    };

    qor_cEasyAnim();
    virtual ~qor_cEasyAnim();
    qor_cEasyAnim(const qor_cEasyAnim &) = delete;
    qor_cEasyAnim & operator=(const qor_cEasyAnim &) = delete;

    // Creates the controller of that type (0 linear ... 4 step), replacing (and deleting) any
    // previous one. Any other type, or no memory, logs and leaves no controller.
    bool createController(const qor_cKey::EType type);
    // The first key creates the controller from its type and gives the output its n; the length
    // grows to the key's time; a key not later than the last one is refused (false, the caller
    // keeps it); else it is appended with owner flag bOwner.
    bool addKey(qor_cKey * pKey, bool bOwner = true);
    // Builds the controller's key table after the last key; true with nothing to build.
    bool initKeyArray();

    // time <- time + *pDt, then the end-mode rule. A track of length 0 in loop or back-and-forth
    // mode keeps its clock at 0.
    void advance(cfloat * pDt);
    // Evaluates the controller, if any, at getControllerTime() into the output; returns the output.
    qor_cKey * evaluate();
    // The time the controller is given: the clock, or in back-and-forth mode
    // c = fmod(time, 2 length), c when c < length, else 2 length - c (0 for a length of 0).
    float getControllerTime() const;

    qor_cController * getController() const { return m_pCtrl; }
    qor_cKey * getOutput() { return &m_key; }
    const qor_cKey * getOutput() const { return &m_key; }
    void rewind() { m_fTime = 0.0f; }

    float m_fTime;   // the track's clock, starts at 0
    float m_fLength; // the largest key time added so far, starts at 0

private:
    qor_cController * m_pCtrl; // owned, null until the first key

public:
    qor_cKey m_key; // the output: n = 4 until the first key sets it
    int m_iEndMode; // EEndMode, 1 (hold) after construction
};
