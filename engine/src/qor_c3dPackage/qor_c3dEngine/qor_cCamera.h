// qor_cCamera: a camera object (type 0 without target, 1 with target). Its lens values are
// qor_cEasyAnim tracks in frame units: range start, far distance, field of view (radians), roll
// (radians) and one more track kept for the exported data. Only the scene's first camera is used.
#pragma once

#include "qor_cObject.h"

class qor_cCamera : public qor_cObject
{
public:
    qor_cCamera();
    ~qor_cCamera() override;

    // Evaluates the target first, then the object and the five tracks.
    void evaluate() override;
    // The object update, then the five tracks advance by dt.
    void update(cfloat * pDt) override;
    void rewind() override;

    // Not owned; a camera with a target is type 1.
    void setTarget(qor_cObject * pTarget) { m_pTarget = pTarget; }
    qor_cObject * getTarget() const { return m_pTarget; }

    // Static values (what a track keeps while it has no key).
    void setRangeStart(float f) { m_rangeStart.m_key.m_afValue[0] = f; }
    void setFar(float f) { m_far.m_key.m_afValue[0] = f; }
    void setFov(float f) { m_fov.m_key.m_afValue[0] = f; }
    void setRoll(float f) { m_roll.m_key.m_afValue[0] = f; }

    // Current values (as last evaluated or set).
    float getRangeStart() const { return m_rangeStart.getOutput()->m_afValue[0]; }
    float getFar() const { return m_far.getOutput()->m_afValue[0]; }
    float getFov() const { return m_fov.getOutput()->m_afValue[0]; }
    float getRoll() const { return m_roll.getOutput()->m_afValue[0]; }

    qor_cEasyAnim & rangeStartTrack() { return m_rangeStart; }
    qor_cEasyAnim & farTrack() { return m_far; }
    qor_cEasyAnim & fovTrack() { return m_fov; }
    qor_cEasyAnim & rollTrack() { return m_roll; }
    qor_cEasyAnim & fifthTrack() { return m_fifth; }

private:
    qor_cObject * m_pTarget;
    qor_cEasyAnim m_rangeStart;
    qor_cEasyAnim m_far;
    qor_cEasyAnim m_fov;
    qor_cEasyAnim m_roll;
    qor_cEasyAnim m_fifth;
};
