// A layer: a 3D scene (possibly empty) with a stack of textured 2D quads drawn over it, a
// viewport track, a blur track and two clear flags. Built by a layer script; updated and drawn
// by its screen, or drawn into a texture when another layer's script made it with
// "loadTextureScript".
#pragma once

#include "qor_cDispTypes.h"
#include "qor_cEasyAnim.h"
#include "qor_cList.h"
#include "qor_types.h"

class qor_cLayerQuad;
class qor_cMaterial;
typedef qor_cLayerQuad sQuad;

class qor_cLayer
{
public:
    enum
    {
        e_maxAdditionalScene = 32
    };

    qor_cLayer();
    virtual ~qor_cLayer();
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

    // Viewport: the rectangle and the track output at once, zmin 0 and zmax 1. Thousandths
    // already scaled: 1.0 is the whole screen.
    void setVP(float x, float y, float w, float h);
    bool addKey_vp(float t, float x, float y, float w, float h);
    bool lastKey_vp();
    // The rectangle the quads lay themselves out in (x, y, width, height, zmin, zmax).
    const float * getVP() const { return m_afVP; }

    bool addKey_vpBlur(float kt, float x, float y);
    bool lastKey_vpBlur();

    void setZBufferClear(bool b) { m_bZBufferClear = b ? 1 : 0; }
    void setFrameBufferClear(bool b) { m_bFrameBufferClear = b ? 1 : 0; }
    bool getZBufferClear() const { return m_bZBufferClear != 0; }
    bool getFrameBufferClear() const { return m_bFrameBufferClear != 0; }

    // Materials and textures of the layer, owned.
    bool addMaterial(qor_cMaterial * pMaterial, bool bOwner);
    qor_cMaterial * getMaterialByName(cchar * szName) const;
    int getNbMaterial() const { return m_lMaterial.getNbItem(); }
    qor_cList & getTextureList() { return m_lTexture; }

    // A layer drawn into a texture before this one (not owned); at most 32.
    bool addScene(qor_cLayer * pScene);
    // A layer made by this layer's script to be drawn into a texture: owned by this layer
    // (deleted with it) and added as an additional scene. When no slot is left it is deleted
    // and false returned.
    bool addTextureLayer(qor_cLayer * pLayer);
    int getNbAdditionalScene() const { return m_nAdditionalScene; }
    // The texture this layer is drawn into when it is another layer's additional layer.
    void setRenderTarget(qor_hTexture h) { m_hRenderTarget = h; }
    qor_hTexture getRenderTarget() const { return m_hRenderTarget; }

    virtual void update(const float * dt);
    // Each additional layer: into its texture (setTextureAsRenderTarget, beginScene, clear(3),
    // render, endScene).
    virtual void renderAdditionalScenes();
    virtual void render();
    // Quads and the viewport track back to time 0; the blur track keeps its time.
    virtual void rewind();

    qor_cEasyAnim & viewportTrack() { return m_vpTrack; }
    qor_cEasyAnim & blurTrack() { return m_vpBlur; }

private:
    // What the layer shares with every scene: textures, materials, the viewport track and
    // rectangle, the additional scenes and the render-target texture.
    qor_cList m_lTexture;
    qor_cList m_lMaterial;
    qor_cEasyAnim m_vpTrack;
    float m_afVP[6];
    qor_cLayer * m_apAdditionalScene[e_maxAdditionalScene];
    int m_nAdditionalScene;
    qor_hTexture m_hRenderTarget;

    // The layer's own fields.
    qor_cList m_lQuad;
    qor_cList m_lTextureLayer;
    sQuad ** m_luQuad;
    qor_cEasyAnim m_vpBlur;
    uchar m_bZBufferClear;
    uchar m_bFrameBufferClear;
};
