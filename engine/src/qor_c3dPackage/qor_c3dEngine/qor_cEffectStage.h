// One texture stage of an effect pass: a texture, the colour and alpha combiners, the source
// of the texture coordinates and an optionally animated texture transform (offset, rotation,
// scale about the texture's centre).
#pragma once

#include "qor_cCombiner.h"
#include "qor_cEasyAnim.h"
#include "qor_types.h"

class qor_cTexture;

class qor_cEffectStage
{
public:
    qor_cEffectStage();
    virtual ~qor_cEffectStage();
    qor_cEffectStage(const qor_cEffectStage &) = delete;
    qor_cEffectStage & operator=(const qor_cEffectStage &) = delete;

    // Linear keys on the offset, rotation (radians) and scale tracks. A key not later than
    // the track's last one is refused: false and a message.
    bool addKey_position(float t, float x, float y);
    bool addKey_rotation(float t, float ang);
    bool addKey_scale(float t, float x, float y);
    // Close a track after its last key; the stage then draws with its transform animated.
    bool lastKey_position();
    bool lastKey_rotation();
    bool lastKey_scale();

    // The stage's texture; bOwner: the stage deletes it. A previous owned texture is deleted.
    void setTexture(qor_cTexture * pTexture, bool bOwner);
    qor_cTexture * getTexture() const { return m_pTexture; }
    void setColorCombiner(uint arg1, uint op, uint arg2) { m_colorOp.set(arg1, op, arg2); }
    void setAlphaCombiner(uint arg1, uint op, uint arg2) { m_alphaOp.set(arg1, op, arg2); }
    const qor_cCombiner & getColorCombiner() const { return m_colorOp; }
    const qor_cCombiner & getAlphaCombiner() const { return m_alphaOp; }
    void setTexCoordGen(uint source) { m_texCoordGen = source; }
    uint getTexCoordGen() const { return m_texCoordGen; }
    void setTexTransformFlags(uint flags) { m_ttf = flags; }
    uint getTexTransformFlags() const { return m_ttf; }
    bool isAnimated() const { return m_bAnimated != 0; }

    // Sets hardware stage iStage: texture, coordinates, combiners, texture transform.
    void use(uint iStage);
    // Advances the three tracks (the texture's own frames are advanced by the scene).
    void update(const float * dt);
    // Rewinds the three tracks.
    void reset();

    // The tracks' current values (offset x, y; rotation; scale x, y).
    void getTransform(float * pOffset, float * pRotation, float * pScale);

    qor_cEasyAnim & positionTrack() { return m_uvpos; }
    qor_cEasyAnim & rotationTrack() { return m_uvrot; }
    qor_cEasyAnim & scaleTrack() { return m_uvscale; }

private:
    qor_cTexture * m_pTexture;
    uint m_bTextureOwner;
    qor_cCombiner m_colorOp;
    qor_cCombiner m_alphaOp;
    uint m_texCoordGen;
    uint m_ttf;
    qor_cEasyAnim m_uvpos;
    qor_cEasyAnim m_uvrot;
    qor_cEasyAnim m_uvscale;
    uchar m_bAnimated;
};
