// qor_cMorph: the weight tracks of a morphing mesh, evaluated together on a clock of their own.
//
// Each track is a target-bearing linear controller (one component, the weight towards its
// target). After the last track is added, initResults allocates one result per track; every
// frame the owner advances the clock and evaluates, then reads the (target, weight) pairs.
#pragma once

#include "qor_cController.h"
#include "qor_cList.h"
#include "qor_types.h"

struct qor_sMorphResult
{
    void * pTarget;
    float fWeight;
};

class qor_cMorph
{
public:
    qor_cMorph();
    virtual ~qor_cMorph();
    qor_cMorph(const qor_cMorph &) = delete;
    qor_cMorph & operator=(const qor_cMorph &) = delete;

    // Adds a weight track, owned.
    bool addController(qor_cTargetLinearController * pCtrl);
    int getNbControllers() const { return m_lCtrl.getNbItem(); }
    qor_cTargetLinearController * getController(int i) const { return m_lCtrl.get<qor_cTargetLinearController>(i); }

    // Allocates the results, one zero-filled entry per track; logs and returns false when memory runs out.
    bool initResults();
    int getNbResults() const { return m_nResults; }
    const qor_sMorphResult * getResult(int i) const { return (i >= 0 && i < m_nResults) ? &m_pResults[i] : nullptr; }

    void reset() { m_fTime = 0.0f; }
    void advance(cfloat * pDt) { m_fTime += *pDt; }
    float getTime() const { return m_fTime; }
    void setTime(float fTime) { m_fTime = fTime; }

    // For each track in order (up to the number of results): evaluate at the clock into a fresh
    // one-component key and store the track's target and the first component. Allocates nothing.
    void evaluate();

private:
    qor_cList m_lCtrl;
    qor_sMorphResult * m_pResults;
    int m_nResults;
    float m_fTime;
};
