// A material: lighting properties plus a multi-pass effect. Users draw their geometry once per
// pass: for i in 0 .. getNbPass() - 1, usePass(i), then draw.
#pragma once

#include "qor_cEffect.h"
#include "qor_cMatProp.h"
#include "qor_types.h"

class qor_cScene;

class qor_cMaterial
{
public:
    enum
    {
        e_nameSize = 64
    };

    qor_cMaterial();
    virtual ~qor_cMaterial();
    qor_cMaterial(const qor_cMaterial &) = delete;
    qor_cMaterial & operator=(const qor_cMaterial &) = delete;

    // At most 63 characters are kept.
    void setName(cchar * szName);
    cchar * getName() const { return m_szName; }

    bool addKey_diffuse(float kt, float r, float g, float b, float a);
    bool lastKey_diffuse();
    // A new empty effect replaces the old one (deleted).
    bool createEffect();
    qor_cEffect * getEffect() { return m_pEffect; }
    // Deletes the effect (the material then draws nothing until it gets a new one).
    void deleteEffect();

    // Makes this material and pScene (whose texture list receives the textures the script
    // loads) the material natives' current targets, gives the material a new empty effect and
    // runs the compiled material script "scripts/exe/" + szScriptName with the material native
    // table. A caller running inside another script saves and restores the natives' targets.
    bool loadFromScript(cchar * szScriptName, qor_cScene * pScene);

    uint getNbPass() const { return m_pEffect ? m_pEffect->getNbPass() : 0; }
    // Pass 0 first sends the lighting properties; every pass then sets its own state.
    void usePass(uint i);
    void update(const float * dt);
    void reset();

    // The first stage, over passes then stages, whose texture is named szName; null if none.
    qor_cEffectStage * getStageByTexture(cchar * szName);

    qor_cMatProp & getProp() { return m_prop; }
    float getTime() const { return m_fTime; }

private:
    char m_szName[e_nameSize];
    qor_cMatProp m_prop;
    qor_cEffect * m_pEffect;
    float m_fTime;
};
