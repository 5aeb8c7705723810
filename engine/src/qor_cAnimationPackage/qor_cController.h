// Controllers: each owns the keys of one track and computes the value at any time with one of
// five interpolation methods (linear, smooth, Hermite, TCB, step), chosen by the key type.
//
// Life: created empty, receives all its keys (addKey), builds its key table once (initKeyArray,
// called by the owner after the last key, or by the first evaluation), then is evaluated any
// number of times. Evaluation allocates nothing once the table exists.
#pragma once

#include "qor_cKey.h"
#include "qor_cList.h"
#include "qor_types.h"

class qor_cController
{
public:
    explicit qor_cController(qor_cKey::EType eType);
    qor_cController(const qor_cController &) = delete;
    qor_cController & operator=(const qor_cController &) = delete;

    // Writes the value at time t into pOut. Only values are written when t falls inside a
    // segment; before the first key, after the last one or exactly on a key found by the search,
    // the whole base record of that key is copied (time, four values, n, type).
    virtual void evaluate(float t, qor_cKey * pOut) = 0;
    // Deletes the key table and every key whose owner flag is set.
    virtual ~qor_cController();

    // The controller of a key type (0 linear ... 4 step), or null for any other type or when
    // memory runs out.
    static qor_cController * create(qor_cKey::EType eType);

    // (Re)builds the key table: one entry per key, in the order the keys were added. On failure
    // logs the statement with the key count, keeps any previous table and returns false.
    bool initKeyArray();
    bool hasKeyArray() const { return m_ppKeys != nullptr; }

    // Appends with owner flag bOwner; no check of time order or type at this level. A key added
    // after the table was built is not searched until initKeyArray runs again.
    bool addKey(qor_cKey * pKey, bool bOwner) { return m_lKey.add(pKey, bOwner); }
    int getNbKeys() const { return m_lKey.getNbItem(); }
    qor_cKey * getKey(int iIndex) const { return m_lKey.get<qor_cKey>(iIndex); }
    qor_cKey::EType getType() const { return m_eType; }

protected:
    // The number of components of a key, at most 4.
    static uint nbValues(const qor_cKey & key) { return key.m_nValue < 4 ? key.m_nValue : 4; }

    qor_cKey ** m_ppKeys; // the key table, null until built
    int m_nKeyArray;      // entries in the key table
    bool m_bSortedArray;  // key times never decrease in the table (the step search may bisect)
    qor_cList m_lKey;     // the keys in the order they were added, with owner flags
    qor_cKey::EType m_eType;
};

// The frame shared by the linear, smooth, Hermite and TCB methods: build the table if needed;
// one key, or t outside the keys' range: copy the end key; else a binary search (an exact hit on a
// probed key copies it) gives the segment k[i] .. k[i+1] and s = (t - k[i].time) / d (0 when
// d = 0), and the method writes the values.
class qor_cSegmentController : public qor_cController
{
public:
    void evaluate(float t, qor_cKey * pOut) final;

protected:
    explicit qor_cSegmentController(qor_cKey::EType eType) : qor_cController(eType) {}
    // Writes the values of segment k[i] .. k[i+1] (table entries) at parameter s into pOut.
    virtual void interpolate(int i, float s, qor_cKey * pOut) const = 0;
};

// v = P0 + s (P1 - P0), for the n components of k[i].
class qor_cLinearController : public qor_cSegmentController
{
public:
    qor_cLinearController() : qor_cSegmentController(qor_cKey::e_key_linear) {}

protected:
    void interpolate(int i, float s, qor_cKey * pOut) const override;
};

// The linear controller with the target of its track (a morph weight track's target mesh,
// set by the scene loader; not owned).
class qor_cTargetLinearController : public qor_cLinearController
{
public:
    qor_cTargetLinearController() : m_pTarget(nullptr) {}
    void setTarget(void * pTarget) { m_pTarget = pTarget; }
    void * getTarget() const { return m_pTarget; }

private:
    void * m_pTarget;
};

// Hermite spline with cardinal tangents from the neighbouring keys.
class qor_cSmoothController : public qor_cSegmentController
{
public:
    qor_cSmoothController() : qor_cSegmentController(qor_cKey::e_key_smooth) {}

protected:
    void interpolate(int i, float s, qor_cKey * pOut) const override;
};

// Cubic with the tangents stored in the keys (qor_cSmoothKey::m_afTangent, unscaled); a key
// of another class has zero tangents.
class qor_cHermiteController : public qor_cSegmentController
{
public:
    qor_cHermiteController() : qor_cSegmentController(qor_cKey::e_key_hermite) {}

protected:
    void interpolate(int i, float s, qor_cKey * pOut) const override;
};

// Tension/continuity/bias spline (qor_cTcbKey parameters; a key of another class has all three
// at 0). Computes as many components as the output key has.
class qor_cTcbController : public qor_cSegmentController
{
public:
    qor_cTcbController() : qor_cSegmentController(qor_cKey::e_key_tcb) {}

protected:
    void interpolate(int i, float s, qor_cKey * pOut) const override;
};

// Holds the last key whose time is not after t: its time and its n components go to the output.
// Before the first key the first key is held. It does not build its key table (its owner does):
// with no table the output is left as it is.
class qor_cStepController : public qor_cController
{
public:
    qor_cStepController() : qor_cController(qor_cKey::e_key_step) {}
    void evaluate(float t, qor_cKey * pOut) override;
};
