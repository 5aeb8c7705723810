// qor_cGLDevice: the OpenGL 3.3 core stand-in for IDirect3DDevice8.
//
// It records the state the engine asks for in Direct3D 8 terms (render states, texture stage
// states, transforms, lights, material, viewport, render target) and, just before a draw,
// sends GL only what changed and picks the generated shader for the state key
// (qor_cGLShader.h). This is the object QOR_D3DDEVICE() hands to triangle lists and texture
// nodes. Only the GL files of qor_cDisplayPackage include this header.
//
// Conventions kept from Direct3D 8 (docs/ARCHITECTURE.md, qor_cDisplayPackage):
//  - matrices are row-major with row vectors: p' = p * M; uploaded as they are (the GLSL side
//    reads them transposed, so `M * v` in GLSL is Direct3D's `v * M`);
//  - clip z runs 0..1 (glClipControl when present, else a remap in the vertex shader);
//  - every target is stored top row first (Direct3D orientation): the vertex shader negates
//    clip y, so framebuffer row 0 is the top of the picture and glViewport's y is Direct3D's Y;
//  - culling: a triangle that is clockwise on screen for Direct3D is counter-clockwise for GL.
#pragma once

#include "qor_cGLShader.h"
#include "qor_types.h"

#include "qor_gl.h"

#include <cstdint>
#include <vector>

// Debug builds check glGetError after a call (sokol _SG_GL_CHECK_ERROR).
#ifndef NDEBUG
void qoru_glCheck(cchar * szCall, cchar * szFile, int iLine);
#define QOR_GL_CHECK(call)                                                                                             \
    do                                                                                                                 \
    {                                                                                                                  \
        call;                                                                                                          \
        qoru_glCheck(#call, __FILE__, __LINE__);                                                                       \
    } while (0)
#else
#define QOR_GL_CHECK(call) call
#endif

enum
{
    QOR_GL_MAX_STAGES = 4,
    QOR_GL_NB_LIGHT = 255,
};

// Vertex formats (the Direct3D FVF codes).
enum
{
    QOR_FVF_VERTEX1 = 0x112, // x y z, normal, u v: 32 bytes
    QOR_FVF_VERTEX2 = 0x152, // x y z, normal, colour, u v: 36 bytes
    QOR_FVF_VERTEX3 = 0x144, // x y z rhw, colour, u v: 28 bytes
};

// One Direct3D light (D3DLIGHT8) as the device keeps it, in world space.
struct qor_sGLLight
{
    uint type; // 0 point, 1 spot, 2 directional
    float diffuse[4];
    float specular[4];
    float ambient[4];
    float position[3];
    float direction[3];
    float range;
    float falloff;
    float attenuation[3];
    float theta;
    float phi;
};

// D3DMATERIAL8.
struct qor_sGLMaterial
{
    float diffuse[4];
    float ambient[4];
    float specular[4];
    float emissive[4];
    float power;
};

// One texture stage's states.
struct qor_sGLStageState
{
    uint colorOp, colorArg1, colorArg2; // qor_eTexOp / qor_eTexArg numbering
    uint alphaOp, alphaArg1, alphaArg2;
    uint tcSource;  // setTexCoordGen numbering: 0 normal, 2/3 position, 4 reflection, 5 own set
    uint ttFlags;   // 0, 1..4, 257..260
    uint magFilter; // 0 point, 1 linear
    uint minFilter;
    GLenum target; // 0 (no texture), GL_TEXTURE_2D or GL_TEXTURE_CUBE_MAP
    GLuint texture;
};

// Counters over the device's life (the benchmark reports them).
struct qor_sGLStats
{
    uint64_t nDraw;
    uint64_t nShaderHit;     // a draw whose state key was already compiled
    uint64_t nShaderCompile; // programs generated and linked
    uint64_t nShaderLoad;    // programs read from the on-disk store
    uint64_t nStateKey;      // state keys built (state changed since the previous draw)
    uint64_t nTriangle;      // triangles sent by the draws
    uint64_t nPixel;         // fragments that passed the depth test, while pixels are counted
};

class qor_cGLDevice
{
public:
    qor_cGLDevice();
    ~qor_cGLDevice();
    qor_cGLDevice(const qor_cGLDevice &) = delete;
    qor_cGLDevice & operator=(const qor_cGLDevice &) = delete;

    // With the context current: reads the GL capabilities, builds the GL objects the device
    // needs and sets Direct3D 8's initial states. False when the context is unusable.
    bool create();
    // Deletes the GL objects (context still current).
    void destroy();

    // ----- render states (the engine's enumerations: qor_eTexOp, blend factors 0 to 12, ...)
    void setCullMode(uint mode); // 0 none, 1 clockwise, 2 counter-clockwise
    // Every setter marks its state dirty only when the value changes: materials set the same
    // states on every use, and an unchanged state must cost no GL call, key or upload.
    void setBlend(uint src, uint dst) { setSrcBlend(src), setDstBlend(dst); }
    void setSrcBlend(uint src) { setGL(m_uSrcBlend, src); }
    void setDstBlend(uint dst) { setGL(m_uDstBlend, dst); }
    void enableBlending(bool b) { setGL(m_bBlend, b); }
    bool isBlending() const { return m_bBlend; }
    uint getSrcBlend() const { return m_uSrcBlend; }
    uint getDstBlend() const { return m_uDstBlend; }
    void setZFunc(uint f) { setGL(m_uZFunc, f); }
    void enableZ(bool b) { setGL(m_bZEnable, b); }
    void enableZWrite(bool b) { setGL(m_bZWrite, b); }
    void enableLighting(bool b);
    void enableSpecular(bool b);
    void setMaterialSource(uint iWhich, uint src); // 0 diffuse, 1 ambient, 2 specular, 3 emissive
    void setAmbient(uint argb);
    void enableFog(bool b);
    void setFogColor(uint argb);
    void setFogRange(float start, float end);
    void setMaterial(const qor_sGLMaterial & mat);

    // ----- stages
    const qor_sGLStageState & stage(uint s) const { return m_aStage[s]; }
    // Colour or alpha combiner of a stage: op, arg1, arg2 in qor_eTexOp / qor_eTexArg numbering.
    void setStageCombiner(uint s, bool bAlpha, uint op, uint arg1, uint arg2);
    void setStageTexCoord(uint s, uint source);
    void setStageTransformFlags(uint s, uint flags);
    void setStageFilter(uint s, uint which, uint filter);
    void setStageTexture(uint s, GLenum target, GLuint texture);
    // Forgets a texture that is being deleted (stages unbind it).
    void forgetTexture(GLuint texture);

    // ----- transforms: slot 0 world, 1 view, 3 projection; 8 + s texture stage s
    void setTransform(uint slot, const float m[16]);
    const float * getTexMatrix(uint s) const { return m_aTexMatrix[s]; }
    const float * getView() const { return m_aView; }

    // ----- lights
    void setLight(uint i, const qor_sGLLight & light);
    void enableLight(uint i, bool b);
    bool isLightEnabled(uint i) const { return m_abLightOn[i]; }

    // ----- viewport, render target
    void setViewport(int x, int y, int w, int h, float zmin, float zmax);
    // Pixels drawn per 640 x 480 screen pixel across and down (1, 1 by default). Viewports and
    // clears are given in screen pixels and drawn into framebuffers this many times larger, so
    // that a picture drawn at any size is the 640 x 480 picture, only sharper: pre-transformed
    // vertices and the half-pixel rule stay in screen pixels (the shader's viewport uniform).
    void setPixelScale(float sx, float sy);
    float getPixelScaleX() const { return m_afPixelScale[0]; }
    float getPixelScaleY() const { return m_afPixelScale[1]; }
    // A screen-pixel rectangle x, y, w, h as framebuffer pixels: its edges scaled and rounded.
    void scaleRect(const int in[4], int out[4]) const;
    // Binds a framebuffer of the given size as the target (0 width: unknown).
    void setRenderTarget(GLuint fbo, int w, int h);
    GLuint getRenderTarget() const { return m_uFbo; }
    int getTargetWidth() const { return m_iTargetW; }
    int getTargetHeight() const { return m_iTargetH; }

    // Draws only inside a screen-pixel rectangle x, y, w, h of the target (scaled as
    // scaleRect does); null draws everywhere again. Set at once, not at the next draw, so that
    // no read-back or blit made afterwards is cut by it; clears keep their own rectangle.
    void setClipRect(const int * pRect);

    // ----- frame
    // Clears the viewport rectangle of the current target (Direct3D Clear(0, NULL, ...)):
    // flags 1 colour, 2 depth, 4 stencil.
    void clear(uint flags, const float rgba[4], float z, int stencil);
    // Reads the current target, top row first, as BGRA bytes; false when no target is bound.
    bool readPixels(uint8_t * pOut, int x, int y, int w, int h);
    // Read-back that overlaps drawing: startRead copies the whole current target into the
    // next pixel buffer of a small ring (GL finishes the copy on its own time); finishRead
    // maps the oldest started one, copies it out (layout as readPixels) and frees its place.
    // startRead is false when every buffer of the ring holds a frame not yet finished.
    static constexpr int kReadRing = 2;
    bool startRead();
    bool finishRead(std::vector<uint8_t> & out, int & w, int & h);
    int getReadsPending() const { return m_nReadPending; }
    // Draws the 2D texture uTexture over the rectangle pRect (x, y, w, h in pixels of the bound
    // draw framebuffer, y up) with the texture's row 0 at the rectangle's top, sampled linearly
    // or to the nearest texel; no blending, depth or culling. The device's record of GL's state
    // stays true. False while pixels are counted (the draw would be counted with the frame's)
    // or when the program cannot be made.
    bool drawTexturedRect(GLuint uTexture, const int * pRect, bool bLinear);

    // ----- drawing
    // Draws nVertex / 3 triangles of the bound vertex array object in the given format.
    bool drawTriangles(GLuint vao, uint fvf, int iFirst, int nVertex);
    // Draws nIndex / 3 triangles through the element buffer of the vertex array object, whose
    // indices are 16-bit when bShort, else 32-bit. The same triangles as the list they index.
    bool drawIndexed(GLuint vao, uint fvf, int nIndex, bool bShort);
    // Sets up the attribute layout of a vertex array object for a format.
    static void setupVertexArray(GLuint vao, GLuint vbo, uint fvf);
    static int strideOf(uint fvf);
    // Tells the device that vertex array object bindings changed behind its back.
    void bindVertexArray(GLuint vao);
    void unbindVertexArray(GLuint vao);
    void invalidateVertexArray() { m_gl.vao = ~0u; }
    // Forgets what GL holds (after GL calls made outside the device: tools, the benchmark's
    // hand-written floor); everything is sent again before the next draw.
    void invalidateGLState();

    // The device of the display that was made current last (triangle lists fall back on it
    // when no service directory holds one).
    static qor_cGLDevice * current() { return s_pCurrent; }
    static void setCurrent(qor_cGLDevice * pDev) { s_pCurrent = pDev; }

    // Every recorded state (render and stage states, transforms, lights, viewport, target) into
    // a byte image, and back; after a restore everything is sent again before the next draw.
    void saveState(std::vector<uint8_t> & out);
    void restoreState(const std::vector<uint8_t> & in);

    const qor_sGLStats & getStats() const { return m_stats; }
    void resetStats();
    // Counting of the pixels the draws fill (samples-passed queries kept running, two in
    // turn): each collectPixels starts the next query and adds to nPixel the count of the one
    // before the last, so that it seldom waits for drawing; nPixel is a collect late until
    // countPixels(false), which takes in everything.
    void countPixels(bool bOn);
    void collectPixels();
    qor_cGLShaderCache & getShaderCache() { return m_cache; }
    bool hasClipControl() const { return m_bClipControl; }

private:
    static qor_cGLDevice * s_pCurrent;
    template <typename T> void setGL(T & member, T value)
    {
        if (member != value)
            member = value, m_bDirtyGL = true;
    }
    template <typename F> void forEachRecordedState(F && f);
    void applyGLState();
    // Everything a draw needs before the draw call itself: state applied, counters, program,
    // uniforms, textures, target and vertex array bound. False when no program could be made.
    bool prepareDraw(GLuint vao, uint fvf, int nVertex);
    void buildKey(uint fvf);
    void updateDerived();
    void uploadUniforms(qor_cGLProgram * p);
    void bindTextures();

    // Render states
    uint m_uCull;
    uint m_uSrcBlend, m_uDstBlend;
    bool m_bBlend;
    uint m_uZFunc;
    bool m_bZEnable, m_bZWrite;
    bool m_bLighting, m_bSpecular, m_bFog;
    uint m_auMatSrc[4];
    float m_afAmbient[4];
    float m_afFogColor[4];
    float m_fFogStart, m_fFogEnd;
    qor_sGLMaterial m_material;

    qor_sGLStageState m_aStage[QOR_GL_MAX_STAGES];

    // Transforms (Direct3D row-major), and what the shaders read
    float m_aWorld[16], m_aView[16], m_aProj[16];
    float m_aTexMatrix[QOR_GL_MAX_STAGES][16];
    float m_aWorldView[16], m_aWorldViewProj[16];
    float m_aNormalMat[9];

    qor_sGLLight m_aLight[QOR_GL_NB_LIGHT];
    bool m_abLightOn[QOR_GL_NB_LIGHT];
    // Lights in camera space, as the shaders read them (up to qor_sShaderKey::kMaxLights), each
    // kLightVec4 vec4s of four floats
    int m_nActiveLight;
    float m_aLightCam[qor_sShaderKey::kMaxLights][qor_cGLProgram::kLightVec4 * 4]; // 4 floats a vec4

    int m_aiViewport[4];
    float m_afPixelScale[2];
    float m_afDepthRange[2];
    GLuint m_uFbo;
    int m_iTargetW, m_iTargetH;
    bool m_bClip = false;
    int m_aiClip[4] = {}; // framebuffer pixels

    // Version of each uniform group (qor_cGLProgram::kGroup*), bumped when the group changes
    uint64_t m_auGroupVersion[qor_cGLProgram::kNbGroup];
    uint64_t m_uVersion;
    void bump(int iGroup) { m_auGroupVersion[iGroup] = ++m_uVersion; }

    bool m_bDirtyGL;      // render states to send
    bool m_bDirtyKey;     // shader key to rebuild
    bool m_bDirtyDerived; // world-view, normal matrix, camera-space lights to recompute
    bool m_bDirtyTextures;
    qor_sShaderKey m_key;
    uint m_uKeyFvf;
    qor_cGLProgram * m_pProgram;

    // What GL holds now
    struct GLState
    {
        int cull; // -1 unknown, 0 off, GL_FRONT, GL_BACK
        int blend;
        GLenum src, dst;
        int depthTest;
        int depthMask;
        GLenum depthFunc;
        int viewport[4];
        float depthRange[2];
        GLuint fbo;
        GLuint vao;
        GLuint program;
        GLenum texTarget[QOR_GL_MAX_STAGES];
        GLuint texture[QOR_GL_MAX_STAGES];
    } m_gl;

    // The read-back ring: buffers, the size each holds, the oldest pending and their count.
    GLuint m_auReadPbo[kReadRing] = {};
    size_t m_anReadBytes[kReadRing] = {};
    int m_aiReadW[kReadRing] = {}, m_aiReadH[kReadRing] = {};
    int m_iReadFirst = 0, m_nReadPending = 0;
#if QOR_GLES
    std::vector<uint8_t> m_aReadCopy[kReadRing];
#endif

    GLuint m_auSampler[QOR_GL_MAX_STAGES];
    bool m_abSamplerDirty[QOR_GL_MAX_STAGES];
    // drawTexturedRect's program and its empty vertex array object (the corners come from
    // gl_VertexID); the texture goes on unit QOR_GL_MAX_STAGES, which no stage uses.
    GLuint m_uRectProgram = 0, m_uRectVao = 0;
    bool m_bClipControl;
    qor_cGLShaderCache m_cache;
    qor_sGLStats m_stats;
    void takePixels(int i);
    GLuint m_auPixelQuery[2] = {};
    bool m_abPixelPending[2] = {};          // ended, count not yet taken
    [[maybe_unused]] int m_iPixelQuery = 0; // the one running (while m_bPixelQuery; none in WebGL)
    bool m_bPixelQuery = false;
};
