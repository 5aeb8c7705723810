// A layer: a 3D scene (possibly empty) with a stack of textured 2D quads drawn over it, a
// blur track and two clear flags. Built by a layer script; updated and drawn by its screen, or
// drawn into a texture when another layer's script made it with "loadTextureScript".
//
// Of the scene it uses, beside the 3D content: the scene-level track as the viewport track
// (TCB keys x, y, width, height), the viewport rectangle the quads lay themselves out in, the
// textures and materials its script loads, and the additional scenes (the layers drawn into
// textures for it).
#pragma once

#include "qor_cEasyAnim.h"
#include "qor_cList.h"
#include "qor_cScene.h"
#include "qor_types.h"

class qor_cLayerQuad;
class qor_cMaterial;
typedef qor_cLayerQuad sQuad;

class qor_cLayer : public qor_cScene
{
public:
    qor_cLayer();
    ~qor_cLayer() override;
    qor_cLayer(const qor_cLayer &) = delete;
    qor_cLayer & operator=(const qor_cLayer &) = delete;

    // Runs the compiled layer script "scripts/exe/" + szScript with the layer native table,
    // this layer being the natives' current layer; then builds the quad look-up table.
    bool loadScript(cchar * szScript);
    bool initListQuadLookUp();

    // A new quad bound to this layer's viewport rectangle, appended (owned); null when memory
    // runs out.
    qor_cLayerQuad * addQuad();
    int getNbQuad() const { return m_lQuad.getNbItem(); }
    // Through the look-up table once it is built, else through the list.
    qor_cLayerQuad * getQuad(int i) const;

    // Viewport: the rectangle and the track output at once, zmin 0 and zmax 1. Fractions of
    // the screen: 1.0 is its whole width or height.
    void setVP(float x, float y, float w, float h);
    bool addKey_vp(float t, float x, float y, float w, float h);
    bool lastKey_vp();
    // The rectangle the quads lay themselves out in (x, y, width, height, zmin, zmax).
    const float * getVP() const { return m_afViewport; }

    bool addKey_vpBlur(float kt, float x, float y);
    bool lastKey_vpBlur();
    qor_cEasyAnim & blurTrack() { return m_vpBlur; }

    void setZBufferClear(bool b) { m_bZBufferClear = b ? 1 : 0; }
    void setFrameBufferClear(bool b) { m_bFrameBufferClear = b ? 1 : 0; }
    bool getZBufferClear() const { return m_bZBufferClear != 0; }
    bool getFrameBufferClear() const { return m_bFrameBufferClear != 0; }

    // A layer made by this layer's script to be drawn into a texture: owned by this layer
    // (deleted with it) and added as an additional scene. When no slot is left it is deleted
    // and false returned.
    bool addTextureLayer(qor_cLayer * pLayer);

    // The scene update (its objects, materials, textures, additional layers and the viewport
    // track), then the quads, then the blur track.
    void update(cfloat * pDt) override;
    // Optional clear, the viewport, the 3D content, then the quads in creation order.
    void render() override;
    // The scene's rewind (the viewport track among the rest), then the quads' tracks; the blur
    // track keeps its time.
    void rewind() override;

private:
    qor_cList m_lQuad;
    sQuad ** m_luQuad;
    qor_cEasyAnim m_vpBlur;
    uchar m_bZBufferClear;
    uchar m_bFrameBufferClear;
    qor_cList m_lTextureLayer;
};
