// qor_cParticleSystem: an emitter object (type 14). It moves like any object and emits a fixed
// pool of particles in world space from a box around its origin; particles fly with a constant
// acceleration, fade from a start to an end colour and size over their life, and are drawn as
// camera-facing sprites with the system's material.
//
// Life of a particle (frame units): greater than 0 alive and drawn, 0 dead and hidden, below 0
// waiting to be emitted.
//
// Every random draw comes from the system's own generator, seeded from the system's identity
// (its name and its place among its scene's systems) and started again by rewind: what a system
// shows never depends on what was drawn before it, by other systems or other screens.
#pragma once

#include "qor_cColor.h"
#include "qor_cObject.h"
#include "qor_cTriList.h"

#include <cstdint>

class qor_cMaterial;

class qor_cParticleSystem : public qor_cObject
{
public:
    struct cParticle
    {
        qor_cVector3 vPosition; // world space
        qor_cVector3 vVelocity; // world space, distance per frame unit
        qor_cColor color;
        qor_cColor colorStep; // per frame unit
        float fSize;
        float fSizeStep; // per frame unit
        float fLife;
    };

    // The parameters of the particle-system record.
    struct sParams
    {
        float fLifeBase;
        float fLifeRange;
        bool bStream;           // emission spread over time from the start
        bool bVisibilityHides;  // a visibility of 0 hides the system (else it stops emission)
        bool bOneShot;          // particles are emitted once
        qor_cVector3 vAcceleration;
        qor_cVector3 vBox;           // emission box half extents, object space
        qor_cVector3 vVelocity;      // base velocity, object space
        qor_cVector3 vVelocityRange; // random half extents
        qor_cColor startColor;       // 0..1
        qor_cColor endColor;
        float fStartSize, fStartSizeRange;
        float fEndSize, fEndSizeRange;
    };

    // The largest pool a system may ask for (a count read from a file is checked against it).
    static const uint kMaxParticle = 65536;

    qor_cParticleSystem();
    ~qor_cParticleSystem() override;

    // The object update (once per frame), then the simulation (every call).
    void update(cfloat * pDt) override;
    // Object rewind; the start-up flags back to their initial values, the random generator
    // back to its seed.
    void rewind() override;

    // The system's place among its scene's particle systems, part of its identity (the scene
    // sets it when the system is added); the generator starts again from the new seed.
    void setIndex(uint nIndex);
    // The generator's seed: a hash of the name and the index.
    uint32_t getSeed() const;
    // a + (r & 0x7fff) / 32767 * (b - a), r the next draw of the system's generator (a linear
    // congruential generator of the C library's kind: 15 bits a draw).
    float randRange(float a, float b);

    // Replaces the pool by n zeroed particles; false with a message when memory runs out.
    bool createParticle(uint n);
    uint getNbParticle() const { return m_nParticle; }
    const cParticle * getParticle(uint i) const { return i < m_nParticle ? &m_pParticle[i] : nullptr; }
    cParticle * particles() { return m_pParticle; }

    // Sets the parameters and the start-up flags they imply.
    void setParams(const sParams & params);
    const sParams & getParams() const { return m_params; }

    // Stores the material (not owned), makes its emissive colour come from the vertex colour
    // and its first pass's first stage modulate texture by vertex colour (colour and alpha).
    void setMaterial(qor_cMaterial * pMaterial);
    qor_cMaterial * getMaterial() const { return m_pMaterial; }

    bool isStarted() const { return m_bStarted; }
    bool isInitialised() const { return m_bInitialised; }

    // Draws the living particles as sprites, pass by pass, without writing depth.
    void render();

private:
    void spread();
    void emit(cParticle & p);

    uint m_nParticle;
    cParticle * m_pParticle;
    sParams m_params;
    bool m_bStarted;
    bool m_bInitialised;
    qor_cTriList * m_pList;
    qor_cMaterial * m_pMaterial;
    uint m_nIndex;
    uint32_t m_uRand;   // generator state
    bool m_bRandSeeded; // false: seeded at the next draw (the name may be set after construction)
};
