// qor_cDisp: the display device, the one object through which the engine reaches
// the graphics hardware. Abstract interface with one backend, qor_cDispGL (OpenGL 3.3 core, in
// place of the Direct3D 8 device qor_cDispDX8). No GL type appears here.
//
// Conventions are Direct3D 8's: row-major matrices with row vectors,
// depth 0..1, screen y running down, pre-transformed vertices in pixels with centres at integer
// coordinates, 32-bit pixels in memory as B, G, R, A bytes.
#pragma once

#include "qor_cColor.h"
#include "qor_cDispTypes.h"
#include "qor_cFrustum.h"
#include "qor_cMatrix.h"
#include "qor_types.h"

#include <cstdint>
#include <vector>

class qor_cLight;
class qor_cMatProp;
class qor_cBlendSettings;

// The material of the lighting equations (D3DMATERIAL8): the device's own record, filled by
// setMaterialProperties from a qor_cMatProp or directly by tools and tests.
struct qor_sD3DMaterial
{
    qor_cColor diffuse;
    qor_cColor ambient;
    qor_cColor specular;
    qor_cColor emissive;
    float power; // the exponent as sent (qor_cMatProp's power times 100)
};

// The texels of a texture whose alpha is 0, by rows (qor_cDisp::getClearRows).
struct qor_sClearRows
{
    uint nWidth;
    uint nHeight;
    // Per row y: the run of such texels through the middle column, first column at 2y, last at
    // 2y + 1 (first > last: the middle texel is not one).
    const int16_t * pRow;
};

// Shader-cache counters of the GL backend (the benchmark reports them).
struct qor_sDispStats
{
    uint64_t nDraw;
    uint64_t nShaderHit;
    uint64_t nShaderCompile;
    uint64_t nShaderLoad; // programs read from the on-disk program store
    uint64_t nProgram;
    uint64_t nStateKey; // state keys rebuilt
    uint64_t nTriangle;
    uint64_t nPixel; // pixels filled by the draws while counted (see countPixels)
};

class qor_cDisp
{
public:
    // A new qor_cDispGL, or null with "qor_cDisp * qor_cDisp::create()\n",
    // "qor_cDisp * pEng = new qor_cDispDX8;\n" in the error log.
    static qor_cDisp * create();

    qor_cDisp();

    // ----- virtual operations of the device, in their fixed slot order
    virtual void setMatrix(qor_eTransformState eState, qor_cMatrix * pMatrix) = 0;
    virtual qor_cMatrix * getMatrix(qor_eTransformState eState) = 0;
    virtual void setAmbientLight(float r, float g, float b, float a);
    virtual qor_cColor * getAmbientLight();
    virtual bool beginScene();
    virtual bool endScene();
    // flags: 1 target (clear colour), 2 depth (1.0), 4 stencil (0); the viewport rectangle only.
    virtual bool clear(uint flags);
    virtual bool present();
    virtual void setClearColor(float r, float g, float b);
    virtual bool saveScreenTarget();
    virtual bool restoreScreenTarget();
    virtual bool restoreScreenSurfaces();
    virtual void resetRenderTargetSlots();
    virtual bool initRenderStates();
    virtual bool setCullMode(uint mode);
    virtual bool setBlendMode(const qor_cBlendSettings * pSettings);
    virtual bool setBlendMode(uint src, uint dst);
    virtual bool enableBlending(bool bEnable);
    virtual bool setTexMode(uint stage, qor_eTexArg arg1, qor_eTexOp op, qor_eTexArg arg2);
    virtual bool setTexModeAlpha(uint stage, qor_eTexArg arg1, qor_eTexOp op, qor_eTexArg arg2);
    virtual bool setTexCoordGen(uint stage, uint source);
    virtual bool setTexTransform(uint stage, float u, float v, float angle, float su, float sv);
    virtual bool disableTexTransform(uint stage);
    virtual bool setTexTransformFlags(uint stage, uint flags);
    virtual bool setAmbientSrc(qor_eMatSrc src);
    virtual bool setDiffuseSrc(qor_eMatSrc src);
    virtual bool setSpecularSrc(qor_eMatSrc src);
    virtual bool setEmissiveSrc(qor_eMatSrc src);
    virtual bool enableLighting(bool bEnable);
    virtual bool setZFunc(uint func);
    virtual bool enableZBuffer(bool bEnable);
    virtual bool enableZWrite(bool bEnable);
    virtual bool setTexFilter(uint stage, uint which, uint filter);
    virtual void setFogMode(uint mode);
    virtual uint getFogMode();
    virtual bool setFogRange(float start, float end);
    virtual void setFogColor(const qor_cColor * pColor);
    virtual void setFogColor(float r, float g, float b, float a);
    virtual qor_cColor * getFogColor();
    virtual bool setMaterialProperties(qor_cMatProp * pMat);
    virtual qor_hTexture createTexture(uint width, uint height, uint flags);
    virtual bool lockTexture(qor_hTexture handle, uint * pOut);
    virtual bool unlockTexture(qor_hTexture handle);
    virtual void setPixel(uint x, uint y, uchar r, uchar g, uchar b, uchar a);
    // setPixel(x, y, ...) for x = 0 .. n - 1: red, green, blue from the triples of pRGB, alpha
    // from every nAlphaStep-th byte of pAlpha (255 where pAlpha is null). An image is copied a
    // row at a time, not through a call per pixel.
    virtual void setPixelRow(uint y, uint n, const uchar * pRGB, const uchar * pAlpha, uint nAlphaStep);
    virtual bool setTexture(uint stage, qor_hTexture handle);
    virtual bool releaseTexture(qor_hTexture handle);
    virtual bool setTextureAsRenderTarget(qor_hTexture handle);
    virtual qor_hTexture createCubeTexture(uint sidewidth);
    virtual bool lockCubeTexture(qor_hTextureSurface handle, qor_eCubeMapFace iFace);
    virtual bool unlockCubeTexture();
    virtual void setCubePixel(uint x, uint y, uchar r, uchar g, uchar b, uchar a);
    virtual bool setCubeTexture(uint stage, qor_hTexture handle);
    virtual bool releaseCubeTexture(qor_hTexture handle);
    virtual bool setLight(uint iLight, qor_cLight * pLight);
    virtual bool init(int iWidth, int iHeight, int iDepth, bool bFullscreen);
    virtual ~qor_cDisp();

    // ----- further operations (after the fixed slots, so the order of those never changes)

    // The current target's pixels (the back buffer, or the texture being rendered into), top
    // row first, 4 bytes per pixel in memory order B, G, R, A. False before init.
    virtual bool readPixels(std::vector<uint8_t> & out, int & w, int & h);
    // The same pixels, read back without waiting for the drawing: starts reading the current
    // target and gives, in out, the frame started by the call before (w and h 0 on the first
    // call: nothing is ready yet). finishPixelsAsync gives the last frame started (w and h 0
    // when none is left). False when a read cannot be made.
    virtual bool readPixelsAsync(std::vector<uint8_t> & out, int & w, int & h);
    virtual bool finishPixelsAsync(std::vector<uint8_t> & out, int & w, int & h);
    // The material of the lighting equations, then the four colour sources in the order
    // diffuse, ambient, specular, emissive (what setMaterialProperties sends).
    virtual bool setMaterial(const qor_sD3DMaterial * pMat, qor_eMatSrc diffuse, qor_eMatSrc ambient,
                             qor_eMatSrc specular, qor_eMatSrc emissive);
    // D3DRS_SPECULARENABLE: the specular colour is added after the texture stages (on by
    // initRenderStates).
    virtual bool enableSpecular(bool bEnable);
    // Lock with a pointer that fits 64-bit builds: the pixels of level 0 and the pitch in bytes.
    virtual bool lockTextureBits(qor_hTexture handle, void ** ppBits, uint * pPitch);
    virtual void getStats(qor_sDispStats * pStats);
    // Counts the pixels the draws fill into getStats' nPixel (without waiting for the drawing:
    // each getStats gives the count up to the getStats before it; countPixels(false) takes in
    // the rest).
    virtual void countPixels(bool bOn);
    // Waits until every draw sent so far is done. A frame's time then holds its drawing: without
    // a display that waits for the picture, a software rasteriser takes several frames at once
    // and their times come in bursts.
    virtual void finishFrame();

    // Warm-up: draws a frame without showing it, so that every program the show needs at its
    // start is compiled (or read from the on-disk program store) before the music runs. Between
    // beginWarmUp and endWarmUp the frame's drawing goes to an offscreen target that is never
    // presented (present does nothing): laid out as on the back buffer, of which it keeps only
    // the top-left pixel, so that little is filled; endWarmUp puts back the back buffer and every
    // state the device held at beginWarmUp. beginWarmUp is false before init or when a warm-up
    // is already running.
    virtual bool beginWarmUp();
    virtual void endWarmUp();
    // Programs compiled and linked from source since the device was created (programs read
    // from the on-disk store do not count): a run reports how many were made after its first
    // show frame.
    virtual uint getShaderCompileCount();

    // Drawing less where a draw cannot change a pixel. getClearRows: whether, with the states
    // set now, a texel of alpha 0 on stage 0 leaves the target as it is: the source alpha is
    // the stage 0 texture's alpha (selected, or multiplied by anything), taken through the
    // vertices' own coordinates untransformed, and the blend weighs the source by its alpha and
    // keeps the target by one minus it or by one (src * 0 + dst * 1 = dst, exactly, in any
    // precision). True with that texture's clear rows then; false otherwise.
    virtual bool getClearRows(qor_sClearRows * pOut);
    // Draws go only inside a rectangle of the target (x, y, w, h in its screen pixels) until
    // it is set to null; clears are not cut by it.
    virtual void setClipRect(const int * pRect);

    // ----- plain operations
    // Stores the six values as the physical viewport, then setVPPhysical_hw.
    void setVPPhysical(float x, float y, float w, float h, float zmin, float zmax);
    // Stores the six values as the physical viewport and makes no device call (a layer lays its
    // quads out in the stored values).
    void storeVPPhysical(float x, float y, float w, float h, float zmin, float zmax)
    {
        const float a[6] = {x, y, w, h, zmin, zmax};
        for (int i = 0; i < 6; ++i)
            m_afVPPhysical[i] = a[i];
    }
    // Sets the hardware viewport (x, y, w, h truncated to integers).
    virtual bool setVPPhysical_hw(float x, float y, float w, float h, float zmin, float zmax);
    // First free light slot (its index goes into the light), then setLight; nothing when all
    // 255 slots are taken.
    void addLight(qor_cLight * pLight);
    void removeLight(qor_cLight * pLight);
    void clearLights();
    // The lights of the next draws: ap[0..n) in slots 0..n-1, every other slot empty. A slot
    // that keeps its light is only sent its parameters again (the device sees no change when
    // they are the same), so that a light set shared by many meshes is not switched off and
    // on between them.
    void setLights(qor_cLight * const * ap, uint n);

    const float * getVPPhysical() const { return m_afVPPhysical; }
    const float * getVPScreen() const { return m_afVPScreen; }
    qor_cFrustum * getFrustum() { return &m_frustum; }
    // Whether a sphere is inside or crosses the frustum of the current view and projection.
    bool isVisible(const qor_cVector3 & vCenter, float fRadius) const { return m_frustum.isVisible(vCenter, fRadius); }
    qor_cColor * getClearColor() { return &m_clearColor; }
    qor_cLight * getLightSlot(uint i) const { return i < kNbLight ? m_apLight[i] : nullptr; }

    static const uint kNbLight = 255;

protected:
    qor_cColor m_clearColor;
    float m_afVPPhysical[6];
    float m_afVPScreen[6];
    qor_cFrustum m_frustum;
    qor_cColor m_fogColor;
    uint m_uFogMode;
    qor_cColor m_ambientColor;
    qor_cLight * m_apLight[kNbLight];
};
