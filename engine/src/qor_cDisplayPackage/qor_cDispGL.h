// qor_cDispGL: the display device over OpenGL 3.3 core, in place of the Direct3D 8 device
// qor_cDispDX8 (whose name the messages keep).
//
// It owns the GL context (made on the window system's SDL window, or on a hidden window of its
// own when there is none), the 640 x 480 back buffer (a framebuffer object in Direct3D
// orientation), the texture nodes and the render-target records, and forwards render states
// to qor_cGLDevice, which turns them into GL state and generated shaders.
#pragma once

#include "qor_cDisp.h"
#include "qor_cGLDevice.h"
#include "qor_cList.h"
#include "qor_cPixelFormat.h"

#include "qor_gl.h"

#include <unordered_map>

struct SDL_Window;
class qor_cTexNodeGL;
class qor_cCubeTexNodeGL;

// One render-target slot; record 0 is the screen, records 1 to 15 serve textures.
struct qor_sRenderTarget
{
    bool bHasColour;    // a colour target is held (screen record: between save and restore)
    GLuint uColourFbo;  // screen record: the framebuffer taken by saveScreenTarget
    int iColourW, iColourH;
    GLuint uDepth;      // depth-stencil renderbuffer (texture records keep it for reuse)
    uint uDepthW, uDepthH;
    GLuint uFbo;        // texture records: the record's framebuffer
    qor_cTexNodeGL * pNode;
    uint width;
    uint height;
    uchar used;
};

class qor_cDispGL : public qor_cDisp
{
public:
    static const uint kBackBufferWidth = 640;
    static const uint kBackBufferHeight = 480;
    static const uint kNbRenderTarget = 16;

    // The size the next init() draws the picture at (0, 0: 640 x 480). The show still works
    // in 640 x 480 screen pixels; the back buffer and the render targets are drawn that many
    // times larger (the device's pixel scale), the same picture, only sharper.
    static void setRenderSize(uint w, uint h);
    // With no render size asked for, the next init() on a window of the window system draws at
    // the size fitRenderSize gives for that window: the desktop's size full screen, else
    // (iWindowW, iWindowH) when given (the size the window is about to take), else the
    // window's own. Offscreen and dummy video drivers keep 640 x 480.
    static void followWindowSize(bool bFollow, int iWindowW = 0, int iWindowH = 0);
    // The render size for a window: 640 x 480 times the largest whole factor whose picture
    // fits in the window's 4:3 letterbox, so every edge of the 640 x 480 picture stays on a
    // pixel edge; 640 x 480 itself for a window smaller than twice that.
    static void fitRenderSize(int iWindowW, int iWindowH, uint * pW, uint * pH);
    static const uint kNbPixelFormat = 32;

    qor_cDispGL();
    ~qor_cDispGL() override;

    void setMatrix(qor_eTransformState eState, qor_cMatrix * pMatrix) override;
    qor_cMatrix * getMatrix(qor_eTransformState eState) override;
    void setAmbientLight(float r, float g, float b, float a) override;
    bool beginScene() override;
    bool endScene() override;
    bool clear(uint flags) override;
    bool present() override;
    bool saveScreenTarget() override;
    bool restoreScreenTarget() override;
    bool restoreScreenSurfaces() override;
    void resetRenderTargetSlots() override;
    bool initRenderStates() override;
    bool setCullMode(uint mode) override;
    bool setBlendMode(const qor_cBlendSettings * pSettings) override;
    bool setBlendMode(uint src, uint dst) override;
    bool enableBlending(bool bEnable) override;
    bool setTexMode(uint stage, qor_eTexArg arg1, qor_eTexOp op, qor_eTexArg arg2) override;
    bool setTexModeAlpha(uint stage, qor_eTexArg arg1, qor_eTexOp op, qor_eTexArg arg2) override;
    bool setTexCoordGen(uint stage, uint source) override;
    bool setTexTransform(uint stage, float u, float v, float angle, float su, float sv) override;
    bool disableTexTransform(uint stage) override;
    bool setTexTransformFlags(uint stage, uint flags) override;
    bool setAmbientSrc(qor_eMatSrc src) override;
    bool setDiffuseSrc(qor_eMatSrc src) override;
    bool setSpecularSrc(qor_eMatSrc src) override;
    bool setEmissiveSrc(qor_eMatSrc src) override;
    bool enableLighting(bool bEnable) override;
    bool setZFunc(uint func) override;
    bool enableZBuffer(bool bEnable) override;
    bool enableZWrite(bool bEnable) override;
    bool setTexFilter(uint stage, uint which, uint filter) override;
    void setFogMode(uint mode) override;
    bool setFogRange(float start, float end) override;
    void setFogColor(const qor_cColor * pColor) override;
    void setFogColor(float r, float g, float b, float a) override;
    bool setMaterialProperties(qor_cMatProp * pMat) override;
    qor_hTexture createTexture(uint width, uint height, uint flags) override;
    bool lockTexture(qor_hTexture handle, uint * pOut) override;
    bool unlockTexture(qor_hTexture handle) override;
    void setPixel(uint x, uint y, uchar r, uchar g, uchar b, uchar a) override;
    void setPixelRow(uint y, uint n, const uchar * pRGB, const uchar * pAlpha, uint nAlphaStep) override;
    bool setTexture(uint stage, qor_hTexture handle) override;
    bool releaseTexture(qor_hTexture handle) override;
    bool setTextureAsRenderTarget(qor_hTexture handle) override;
    qor_hTexture createCubeTexture(uint sidewidth) override;
    bool lockCubeTexture(qor_hTextureSurface handle, qor_eCubeMapFace iFace) override;
    bool unlockCubeTexture() override;
    void setCubePixel(uint x, uint y, uchar r, uchar g, uchar b, uchar a) override;
    bool setCubeTexture(uint stage, qor_hTexture handle) override;
    bool releaseCubeTexture(qor_hTexture handle) override;
    bool setLight(uint iLight, qor_cLight * pLight) override;
    bool init(int iWidth, int iHeight, int iDepth, bool bFullscreen) override;

    bool readPixels(std::vector<uint8_t> & out, int & w, int & h) override;
    bool readPixelsAsync(std::vector<uint8_t> & out, int & w, int & h) override;
    bool finishPixelsAsync(std::vector<uint8_t> & out, int & w, int & h) override;
    bool setMaterial(const qor_sD3DMaterial * pMat, qor_eMatSrc diffuse, qor_eMatSrc ambient, qor_eMatSrc specular,
                     qor_eMatSrc emissive) override;
    bool enableSpecular(bool bEnable) override;
    bool lockTextureBits(qor_hTexture handle, void ** ppBits, uint * pPitch) override;
    void getStats(qor_sDispStats * pStats) override;
    void countPixels(bool bOn) override;
    void finishFrame() override;
    bool beginWarmUp() override;
    void endWarmUp() override;
    uint getShaderCompileCount() override;
    bool getClearRows(qor_sClearRows * pOut) override;
    void setClipRect(const int * pRect) override;
    bool isWarmingUp() const { return m_bWarmUp; }
    bool setVPPhysical_hw(float x, float y, float w, float h, float zmin, float zmax) override;

    // ----- GL backend specifics (tests, tools, the benchmark)
    qor_cGLDevice * getDevice() { return &m_dev; }
    // Makes this device's context current (a process may hold more than one device).
    bool makeCurrent();
    // Makes the back buffer the target again (tools, tests).
    void bindBackBuffer() { m_dev.setRenderTarget(m_uBackFbo, m_uBackW, m_uBackH); }
    qor_cTexNodeGL * getTexNodeByHandle(qor_hTexture handle) const;
    qor_cCubeTexNodeGL * getCubeTexNodeByHandle(qor_hTexture handle) const;
    const qor_sRenderTarget & getRenderTargetRecord(uint i) const { return m_aRenderTarget[i]; }
    const qor_cPixelFormat & getPixelFormatEntry(uint i) const { return m_aPixelFormat[i]; }
    const qor_cPixelFormat & getBackBufferFormat() const { return m_fmtBackBuffer; }
    uint getBackBufferWidth() const { return m_uBackW; }
    uint getBackBufferHeight() const { return m_uBackH; }
    SDL_Window * getWindow() const { return m_pWindow; }
    // The window rectangle present() fills with the 4:3 picture (x, y, w, h from the bottom left).
    static void letterbox(int iWindowW, int iWindowH, int * pRect);

private:
    bool setStageCombiner(uint stage, qor_eTexArg arg1, qor_eTexOp op, qor_eTexArg arg2, bool bAlpha);
    bool bindRecord(qor_sRenderTarget & rec);
    bool setMatSrc(uint iWhich, qor_eMatSrc src, cchar * szName);
    bool createBackBuffer();
    void releaseGL();

    qor_cPixelFormat m_aPixelFormat[kNbPixelFormat];
    qor_cPixelFormat m_pfmtTexture;
    qor_cPixelFormat m_fmtBackBuffer;
    qor_cList m_lTexNode;
    qor_cTexNodeGL * m_pLockedNode;
    qor_cList m_lCubeTexNode;
    qor_cCubeTexNodeGL * m_pLockedCubeNode;
    // The nodes of both lists by handle: a scene of thousands of materials (each with a texture
    // of its own) looks a handle up per texture it makes and binds.
    std::unordered_map<qor_hTexture, void *> m_nodeByHandle;
    qor_cMatrix m_aMatrix[qorrs_ts_count];
    qor_cMatrix m_aExtraTexMatrix[2]; // stages 2 and 3 (qor_eTransformState has slots for stages 0 and 1 only)
    qor_sRenderTarget m_aRenderTarget[kNbRenderTarget];
    uint m_uHandleCounter;
    qor_hTexture m_ahStageTexture[QOR_GL_MAX_STAGES]; // what setTexture bound (2D textures)

    qor_cGLDevice m_dev;
    SDL_Window * m_pWindow;
    bool m_bOwnWindow;
    void * m_pContext; // SDL_GLContext
    GLuint m_uBackFbo, m_uBackColour, m_uBackDepth;
    uint m_uBackW, m_uBackH;
    int m_iSceneDepth;

    // Warm-up: the offscreen target and what beginWarmUp saved.
    struct WarmUpSave
    {
        std::vector<uint8_t> device; // qor_cGLDevice::saveState
        qor_cMatrix aMatrix[qorrs_ts_count];
        qor_cMatrix aExtraTexMatrix[2];
        qor_cFrustum frustum;
        float afVPPhysical[6];
        qor_cColor clearColor, fogColor, ambientColor;
        uint uFogMode;
        qor_cLight * apLight[kNbLight];
        qor_sRenderTarget screenRecord;
        uchar aUsed[kNbRenderTarget];
        int iSceneDepth;
    };
    bool m_bWarmUp;
    GLuint m_uWarmFbo, m_uWarmColour, m_uWarmDepth;
    WarmUpSave m_warm;
};
