// qor_cObject: the base of every scene object (meshes, cameras, targets, lights, bones, dummies,
// gizmos, particle systems): a name, a type code, an animated local transform, a visibility
// track, an optional parent and a bounding sphere.
//
// Time: the transform controllers are sampled at the object's local time, which runs in the
// animation file's key-time units and advances by dt * rate per update; the visibility track
// and every other qor_cEasyAnim track of an object run in frame units (advanced by dt).
#pragma once

#include "qor_cController.h"
#include "qor_cEasyAnim.h"
#include "qor_cList.h"
#include "qor_cMatrix.h"
#include "qor_cQuaternion.h"
#include "qor_cSphere.h"
#include "qor_cString.h"
#include "qor_cVector3.h"
#include "qor_types.h"

class qor_cObject
{
public:
    // Type codes of the concrete classes.
    enum EType
    {
        e_type_camera = 0,        // qor_cCamera without target
        e_type_cameraTarget = 1,  // qor_cCamera with target
        e_type_mesh = 2,          // qor_cMesh
        e_type_omniLight = 4,     // qor_cOmniLight
        e_type_bone = 9,          // qor_cBone
        e_type_dummy = 10,        // qor_cDummy
        e_type_gizmoSphere = 11,  // qor_cGizmoSphere
        e_type_gizmoBox = 12,     // qor_cGizmoBox
        e_type_gizmoCylinder = 13, // qor_cGizmoCylinder
        e_type_particleSystem = 14, // qor_cParticleSystem
        e_type_target = 16,       // qor_cObject itself: a camera target
    };

    // How the local time advances past the length.
    enum EEndMode
    {
        e_end_clamp = 0,       // stops at the length
        e_end_loop = 1,        // wraps back by whole lengths
        e_end_reverseLoop = 2, // runs backwards, wrapping up by whole lengths
        e_end_free = 3,        // runs on; sampling folds it back and forth over the length
    };

    explicit qor_cObject(uint uType = e_type_target);

    // ----- virtual operations, in slot order
    // Samples the controllers at the sample time into position, rotation and scale, and the
    // visibility track at its clock.
    virtual void evaluate();
    // The per-frame update: at most once per frame (until the updated flag is cleared).
    virtual void update(cfloat * pDt);
    // Local time and visibility time back to 0.
    virtual void rewind();
    virtual ~qor_cObject();

    qor_cObject(const qor_cObject &) = delete;
    qor_cObject & operator=(const qor_cObject &) = delete;

    // ----- names and type
    bool setName(cchar * szName) { return m_strName.set(szName); }
    cchar * getName() const { return m_strName.get(); }
    qor_cString & secondName() { return m_strName2; }
    uint getType() const { return m_uType; }
    void setType(uint uType) { m_uType = uType; }

    // ----- frame flag
    bool isUpdated() const { return m_bUpdated != 0; }
    void clearUpdated() { m_bUpdated = 0; }

    // ----- hierarchy. setParent refuses (false) a parent that would close a loop (the object
    // itself or one of its descendants); parenting is by this pointer alone.
    bool setParent(qor_cObject * pParent);
    qor_cObject * getParent() const { return m_pParent; }

    // ----- animation block
    void setEndMode(uint uMode) { m_uEndMode = uMode; }
    uint getEndMode() const { return m_uEndMode; }
    void setRate(float fRate) { m_fRate = fRate; }
    float getRate() const { return m_fRate; }
    void setLength(float fLength) { m_fLength = fLength; }
    float getLength() const { return m_fLength; }
    // Grows the length to fTime when that is larger.
    void growLength(float fTime)
    {
        if (fTime > m_fLength)
            m_fLength = fTime;
    }
    void setLocalTime(float fTime) { m_fLocalTime = fTime; }
    float getLocalTime() const { return m_fLocalTime; }
    // The time the controllers are sampled at: the local time, folded back and forth over the
    // length in the free end mode.
    float getSampleTime() const;

    // Transform controllers (owned; a new one replaces and deletes the old).
    void setPositionController(qor_cController * pCtrl);
    void setRotationController(qor_cController * pCtrl);
    void setScaleController(qor_cController * pCtrl);
    qor_cController * getPositionController() const { return m_pCtrlPos; }
    qor_cController * getRotationController() const { return m_pCtrlRot; }
    qor_cController * getScaleController() const { return m_pCtrlScale; }

    // Current (last evaluated, or set) transform values.
    qor_cVector3 m_vPosition;
    qor_cQuaternion m_qRotation;
    qor_cVector3 m_vScale;

    // The visibility track; its first value 0 hides the object. A new object shows (value 1).
    qor_cEasyAnim & visibilityTrack() { return m_visibility; }
    float getVisibility() const { return m_visibility.getOutput()->m_afValue[0]; }
    // Sets the static visibility value and rewinds the track.
    void setVisibility(float f);

    const qor_cMatrix & getWorld() const { return m_world; }
    qor_cMatrix & world() { return m_world; }

    // The bounding sphere as read (object space) and as placed by the last update.
    void setLocalSphere(const qor_cVector3 & vCenter, float fRadius) { m_localSphere.set(vCenter, fRadius); }
    const qor_cSphere & getLocalSphere() const { return m_localSphere; }
    const qor_cSphere & getWorldSphere() const { return m_worldSphere; }

    qor_cList & extraList() { return m_lExtra; }

protected:
    // Steps 2 to 8 of the update for this object alone, its parent already updated.
    void updateSelf(cfloat * pDt);
    // Advances the local time by dt * rate under the end mode.
    void advanceLocalTime(float fStep);

    qor_cString m_strName;
    qor_cString m_strName2;
    uint m_uType;
    uchar m_bUpdated;
    qor_cMatrix m_world;

    uint m_uEndMode;
    float m_fLength;    // key-time units
    float m_fRate;      // key-time units per frame unit
    float m_fLocalTime; // key-time units
    qor_cController * m_pCtrlPos;
    qor_cController * m_pCtrlRot;
    qor_cController * m_pCtrlScale;

    qor_cEasyAnim m_visibility;
    qor_cObject * m_pParent; // not owned
    qor_cList m_lExtra;
    qor_cSphere m_localSphere;
    qor_cSphere m_worldSphere;
};
