#include "qor_cDispGL.h"

#include "qor_cDispGlue.h"
#include "qor_cErrorHandler.h"
#include "qor_cLight.h"
#include "qor_cSDL.h"
#include "qor_cTexNodeGL.h"

#include <SDL.h>

#include <cmath>
#include <climits>
#include <cstring>
#include <new>

#if __has_include("qor_cXChange.h")
#include "qor_cXChange.h"
#define QOR_HAS_XCHANGE 1
#endif

namespace
{
// ARGB packing of the colour type: each channel times 255, truncated to an integer whose low byte
// is kept (clamped first where said). A value past the integer range (a colour read from a file)
// saturates before the truncation and NaN packs as 0: converting them would be undefined.
uint packARGB(float r, float g, float b, float a)
{
    const auto c = [](float f) {
        const float v = f * 255.0f;
        const int i = !(v == v)              ? 0
                      : v >= 2147483520.0f   ? INT_MAX
                      : v <= -2147483648.0f  ? INT_MIN
                                             : static_cast<int>(v);
        return static_cast<uint>(i) & 0xFFu;
    };
    return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}

float clamp01(float f) { return f < 0.0f ? 0.0f : f > 1.0f ? 1.0f : f; }

[[maybe_unused]] void copyColor(float * p, const qor_cColor & c)
{
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = c.a;
}
} // namespace

// ----- qor_cDisp::create

qor_cDisp * qor_cDisp::create()
{
    qor_cDisp * pEng = new (std::nothrow) qor_cDispGL;
    if (!pEng)
    {
        QOR_LOG_LOCATION();
        qoru_logError("qor_cDisp * qor_cDisp::create()\n");
        qoru_logError("qor_cDisp * pEng = new qor_cDispDX8;\n");
    }
    return pEng;
}

// ----- construction

qor_cDispGL::qor_cDispGL()
    : m_pLockedNode(nullptr), m_pLockedCubeNode(nullptr), m_uHandleCounter(0), m_pWindow(nullptr),
      m_bOwnWindow(false), m_pContext(nullptr), m_uBackFbo(0), m_uBackColour(0), m_uBackDepth(0), m_uBackW(0),
      m_uBackH(0), m_iSceneDepth(0), m_bWarmUp(false), m_uWarmFbo(0), m_uWarmColour(0), m_uWarmDepth(0)
{
    std::memset(m_aRenderTarget, 0, sizeof(m_aRenderTarget));
    for (qor_hTexture & h : m_ahStageTexture)
        h = QOR_NULL_TEXTURE;
}

qor_cDispGL::~qor_cDispGL()
{
    if (m_pContext)
    {
        makeCurrent();
        // Release order: 2D nodes, the device, the render-target records, cube nodes (textures
        // first, so no node outlives the context that made it).
        m_pLockedNode = nullptr;
        m_pLockedCubeNode = nullptr;
        m_lTexNode.clear();
        m_nodeByHandle.clear();
        for (qor_sRenderTarget & rec : m_aRenderTarget)
        {
            if (rec.uDepth)
                glDeleteRenderbuffers(1, &rec.uDepth);
            if (rec.uFbo)
                glDeleteFramebuffers(1, &rec.uFbo);
        }
        std::memset(m_aRenderTarget, 0, sizeof(m_aRenderTarget));
        m_lCubeTexNode.clear();
        releaseGL();
        SDL_GL_MakeCurrent(m_pWindow, nullptr);
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(m_pContext));
        m_pContext = nullptr;
    }
    else
    {
        m_lTexNode.clear();
        m_lCubeTexNode.clear();
        m_nodeByHandle.clear();
    }
    if (m_bOwnWindow && m_pWindow)
        SDL_DestroyWindow(m_pWindow);
    m_pWindow = nullptr;
#ifdef QOR_HAS_XCHANGE
    if (QOR_XCHANGE() && QOR_XCHANGE()->getD3DDevice() == static_cast<void *>(&m_dev))
        QOR_XCHANGE()->setD3DDevice(nullptr);
#endif
    if (qor_cGLDevice::current() == &m_dev)
        qor_cGLDevice::setCurrent(nullptr);
}

void qor_cDispGL::releaseGL()
{
    m_dev.destroy();
    if (m_uBackFbo)
        glDeleteFramebuffers(1, &m_uBackFbo);
    if (m_uBackColour)
        glDeleteTextures(1, &m_uBackColour);
    if (m_uBackDepth)
        glDeleteRenderbuffers(1, &m_uBackDepth);
    m_uBackFbo = m_uBackColour = m_uBackDepth = 0;
    if (m_uWarmFbo)
        glDeleteFramebuffers(1, &m_uWarmFbo);
    if (m_uWarmColour)
        glDeleteRenderbuffers(1, &m_uWarmColour);
    if (m_uWarmDepth)
        glDeleteRenderbuffers(1, &m_uWarmDepth);
    m_uWarmFbo = m_uWarmColour = m_uWarmDepth = 0;
}

bool qor_cDispGL::makeCurrent()
{
    if (!m_pContext)
        return false;
    qor_cGLDevice::setCurrent(&m_dev);
    return SDL_GL_MakeCurrent(m_pWindow, static_cast<SDL_GLContext>(m_pContext)) == 0;
}

namespace
{
// A framebuffer of X8R8G8B8 colour (destination alpha reads 1, as on a Direct3D back buffer
// without alpha) and a 24-bit depth, 8-bit stencil buffer; left bound. The colour is a
// renderbuffer, or with bTexture a texture (that present draws to the window).
bool makeScreenFbo(uint w, uint h, GLuint * pFbo, GLuint * pColour, GLuint * pDepth, bool bTexture = false)
{
    glGenFramebuffers(1, pFbo);
    glGenRenderbuffers(1, pDepth);
    if (bTexture)
    {
        glGenTextures(1, pColour);
        glActiveTexture(GL_TEXTURE0 + QOR_GL_MAX_STAGES);
        glBindTexture(GL_TEXTURE_2D, *pColour);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, GLsizei(w), GLsizei(h), 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    else
    {
        glGenRenderbuffers(1, pColour);
        glBindRenderbuffer(GL_RENDERBUFFER, *pColour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, w, h);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, *pDepth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
    glBindFramebuffer(GL_FRAMEBUFFER, *pFbo);
    if (bTexture)
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, *pColour, 0);
    else
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, *pColour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, *pDepth);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}
} // namespace

bool qor_cDispGL::createBackBuffer()
{
    const bool bOk = makeScreenFbo(m_uBackW, m_uBackH, &m_uBackFbo, &m_uBackColour, &m_uBackDepth, true);
    m_dev.setRenderTarget(m_uBackFbo, m_uBackW, m_uBackH);
    return bOk;
}

// ----- warm-up

bool qor_cDispGL::beginWarmUp()
{
    if (!m_pContext || m_bWarmUp)
        return false;
    // The target is one pixel of the back buffer's formats: the programs a draw needs depend on
    // the formats and the states, not on the size, so the frame compiles all of them while the
    // rasteriser fills next to nothing (a full-size frame per screen would be filled for nothing,
    // and the first present would wait for all of it).
    if (!m_uWarmFbo && !makeScreenFbo(1, 1, &m_uWarmFbo, &m_uWarmColour, &m_uWarmDepth))
    {
        // The device's idea of the bound framebuffer is refreshed.
        const GLuint fbo = m_dev.getRenderTarget();
        const int w = m_dev.getTargetWidth(), h = m_dev.getTargetHeight();
        m_dev.setRenderTarget(0, 0, 0);
        m_dev.setRenderTarget(fbo, w, h);
        return false;
    }
    m_dev.saveState(m_warm.device);
    for (uint i = 0; i < qorrs_ts_count; ++i)
        m_warm.aMatrix[i] = m_aMatrix[i];
    m_warm.aExtraTexMatrix[0] = m_aExtraTexMatrix[0];
    m_warm.aExtraTexMatrix[1] = m_aExtraTexMatrix[1];
    m_warm.frustum = m_frustum;
    std::memcpy(m_warm.afVPPhysical, m_afVPPhysical, sizeof(m_afVPPhysical));
    m_warm.clearColor = m_clearColor;
    m_warm.fogColor = m_fogColor;
    m_warm.ambientColor = m_ambientColor;
    m_warm.uFogMode = m_uFogMode;
    std::memcpy(m_warm.apLight, m_apLight, sizeof(m_apLight));
    m_warm.screenRecord = m_aRenderTarget[0];
    for (uint i = 0; i < kNbRenderTarget; ++i)
        m_warm.aUsed[i] = m_aRenderTarget[i].used;
    m_warm.iSceneDepth = m_iSceneDepth;
    m_bWarmUp = true;
    // The frame draws into the offscreen target as it would into the back buffer: laid out at
    // the back buffer's size, of which the target holds the top-left pixel.
    m_dev.setRenderTarget(0, 0, 0);
    m_dev.setRenderTarget(m_uWarmFbo, m_uBackW, m_uBackH);
    return true;
}

void qor_cDispGL::endWarmUp()
{
    if (!m_bWarmUp)
        return;
    m_bWarmUp = false;
    for (uint i = 0; i < qorrs_ts_count; ++i)
        m_aMatrix[i] = m_warm.aMatrix[i];
    m_aExtraTexMatrix[0] = m_warm.aExtraTexMatrix[0];
    m_aExtraTexMatrix[1] = m_warm.aExtraTexMatrix[1];
    m_frustum = m_warm.frustum;
    std::memcpy(m_afVPPhysical, m_warm.afVPPhysical, sizeof(m_afVPPhysical));
    m_clearColor = m_warm.clearColor;
    m_fogColor = m_warm.fogColor;
    m_ambientColor = m_warm.ambientColor;
    m_uFogMode = m_warm.uFogMode;
    std::memcpy(m_apLight, m_warm.apLight, sizeof(m_apLight));
    // Record 0 as it was (it may name the back buffer); texture records keep their GL objects.
    m_aRenderTarget[0] = m_warm.screenRecord;
    for (uint i = 0; i < kNbRenderTarget; ++i)
        m_aRenderTarget[i].used = m_warm.aUsed[i];
    m_iSceneDepth = m_warm.iSceneDepth;
    // Target, viewport, render states, stages, transforms and lights as they were.
    m_dev.restoreState(m_warm.device);
}

uint qor_cDispGL::getShaderCompileCount() { return m_dev.getShaderCache().getCompileCount(); }

bool qor_cDispGL::getClearRows(qor_sClearRows * pOut)
{
    // The blend: src * As + dst * (1 - As) or dst * 1 (D3DBLEND_BOTHSRCALPHA is the first).
    const uint src = m_dev.getSrcBlend(), dst = m_dev.getDstBlend();
    if (!pOut || !m_dev.isBlending() ||
        !((src == qorrs_blend_srcalpha && (dst == qorrs_blend_invsrcalpha || dst == qorrs_blend_one)) ||
          src == qorrs_blend_bothsrcalpha))
        return false;
    // The alpha: stage 0's texture selected or multiplied, the cascade ending after stage 0
    // (a disabled stage 1 colour operation ends it), the vertices' own coordinates.
    const qor_sGLStageState & s0 = m_dev.stage(0);
    const uint op = s0.alphaOp, tex = qorrs_texarg_texture;
    const bool bAlpha = (op == qorrs_texop_selectarg1 && s0.alphaArg1 == tex) ||
                        (op == qorrs_texop_selectarg2 && s0.alphaArg2 == tex) ||
                        ((op == qorrs_texop_modulate || op == qorrs_texop_modulate2x || op == qorrs_texop_modulate4x) &&
                         (s0.alphaArg1 == tex || s0.alphaArg2 == tex));
    if (!bAlpha || s0.colorOp == qorrs_texop_disable || m_dev.stage(1).colorOp != qorrs_texop_disable ||
        s0.tcSource != 5 || s0.ttFlags != 0 || s0.target != GL_TEXTURE_2D)
        return false;
    qor_cTexNodeGL * pNode = getTexNodeByHandle(m_ahStageTexture[0]);
    if (!pNode || pNode->getGLTex() != s0.texture)
        return false;
    const int16_t * pRow = pNode->getClearRows();
    if (!pRow)
        return false;
    pOut->nWidth = pNode->getWidth();
    pOut->nHeight = pNode->getHeight();
    pOut->pRow = pRow;
    return true;
}

void qor_cDispGL::setClipRect(const int * pRect) { m_dev.setClipRect(pRect); }

namespace
{
uint s_uRenderW = 0, s_uRenderH = 0;
bool s_bFollowWindow = false;
int s_iFollowW = 0, s_iFollowH = 0;
} // namespace

void qor_cDispGL::setRenderSize(uint w, uint h)
{
    s_uRenderW = w;
    s_uRenderH = h;
}

void qor_cDispGL::followWindowSize(bool bFollow, int iWindowW, int iWindowH)
{
    s_bFollowWindow = bFollow;
    s_iFollowW = iWindowW;
    s_iFollowH = iWindowH;
}

void qor_cDispGL::fitRenderSize(int iWindowW, int iWindowH, uint * pW, uint * pH)
{
    int r[4];
    letterbox(iWindowW > 0 ? iWindowW : 0, iWindowH > 0 ? iWindowH : 0, r);
    int k = r[2] / int(kBackBufferWidth);
    if (r[3] / int(kBackBufferHeight) < k)
        k = r[3] / int(kBackBufferHeight);
    if (k < 1)
        k = 1;
    if (k > 8) // 5120 x 3840: far beyond any screen's letterbox, and well inside GL's limits
        k = 8;
    *pW = kBackBufferWidth * uint(k);
    *pH = kBackBufferHeight * uint(k);
}

bool qor_cDispGL::init(int iWidth, int iHeight, int iDepth, bool bFullscreen)
{
    const auto fail = [&](cchar * szStatement) {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDisplayDX8::init(uint width<%d>, uint height<%d>, uint depth<%d>, bool "
                      "bFullscreen<%d>)\n",
                      iWidth, iHeight, iDepth, bFullscreen ? 1 : 0);
        qoru_logError("%s", szStatement);
        if (szStatement[0] == 'm')
            qoru_logError("Impossible d'initialiser direct x !\n");
        return false;
    };
    // 1. The window: the window system's, else a hidden one of our own (tests, tools).
    m_pWindow = qoru_getActiveSDLWindow();
    if (m_pWindow)
    {
        // Full screen: the desktop mode, the 640 x 480 picture letterboxed by present().
        if (bFullscreen && !qoru_getForceWindowed())
            SDL_SetWindowFullscreen(m_pWindow, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    else
    {
        if (!qoru_initSDLVideo())
            return fail("m_pD3D = Direct3DCreate8(D3D_SDK_VERSION);\n");
        qoru_setGLAttributes();
        m_pWindow = SDL_CreateWindow("qor", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kBackBufferWidth,
                                     kBackBufferHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!m_pWindow)
            return fail("m_pD3D = Direct3DCreate8(D3D_SDK_VERSION);\n");
        m_bOwnWindow = true;
    }
    // 2. The context (the stand-in for the Direct3D object and device).
    m_pContext = SDL_GL_CreateContext(m_pWindow);
    if (!m_pContext)
        return fail("m_pD3D = Direct3DCreate8(D3D_SDK_VERSION);\n");
    makeCurrent();
    if (!m_bOwnWindow)
        SDL_GL_SetSwapInterval(1); // D3DPRESENT_INTERVAL_DEFAULT waits for the vertical blank
    if (!m_dev.create())
        return fail("HRESULT hRet = m_pD3D->CreateDevice\n");
    // 3. The back buffer: 640 x 480, the one display mode the show is made for (full screen
    // letterboxes it; the window system's windowed client area is 640 x 480 too), unless a
    // render size asks for more pixels to draw the same picture with.
    m_uBackW = s_uRenderW && s_uRenderH ? s_uRenderW : kBackBufferWidth;
    m_uBackH = s_uRenderW && s_uRenderH ? s_uRenderH : kBackBufferHeight;
#ifndef __EMSCRIPTEN__
    const char * szDriver = SDL_GetCurrentVideoDriver();
    if (!(s_uRenderW && s_uRenderH) && s_bFollowWindow && !m_bOwnWindow && szDriver &&
        std::strcmp(szDriver, "offscreen") != 0 && std::strcmp(szDriver, "dummy") != 0)
    {
        // Full screen: the desktop's mode (the window may not have taken it yet); windowed: the
        // size it is about to take, else its own.
        int iWinW = s_iFollowW, iWinH = s_iFollowH;
        SDL_DisplayMode mode;
        if (bFullscreen && !qoru_getForceWindowed() &&
            SDL_GetDesktopDisplayMode(SDL_GetWindowDisplayIndex(m_pWindow), &mode) == 0)
        {
            iWinW = mode.w;
            iWinH = mode.h;
        }
        else if (iWinW <= 0 || iWinH <= 0)
            SDL_GL_GetDrawableSize(m_pWindow, &iWinW, &iWinH);
        fitRenderSize(iWinW, iWinH, &m_uBackW, &m_uBackH);
    }
#endif
    m_dev.setPixelScale(float(double(m_uBackW) / kBackBufferWidth), float(double(m_uBackH) / kBackBufferHeight));
    m_fmtBackBuffer = qor_cPixelFormat();
    m_fmtBackBuffer.setFromD3DFormat(qorrs_fmt_X8R8G8B8);
    if (!createBackBuffer())
        return fail("HRESULT hRet = m_pD3D->CreateDevice\n");
#ifdef QOR_HAS_XCHANGE
    if (QOR_XCHANGE())
        QOR_XCHANGE()->setD3DDevice(&m_dev);
#endif
    // 4. The texture pixel-format table.
    static const uint s_auFormat[] = {qorrs_fmt_A8R8G8B8, qorrs_fmt_A1R5G5B5, qorrs_fmt_X8R8G8B8, qorrs_fmt_X1R5G5B5};
    for (uint i = 0; i < 4; ++i)
        m_aPixelFormat[i].setFromD3DFormat(s_auFormat[i]);
    m_pfmtTexture = qor_cPixelFormat();
    m_pfmtTexture.setFromD3DFormat(qorrs_fmt_A8R8G8B8);
    // 5. States, viewport, ambient.
    initRenderStates();
    setVPPhysical(0.0f, 0.0f, float(iWidth), float(iHeight), 0.0f, 1.0f);
    m_afVPScreen[0] = 0.0f;
    m_afVPScreen[1] = 0.0f;
    m_afVPScreen[2] = float(iWidth);
    m_afVPScreen[3] = float(iHeight);
    m_afVPScreen[4] = 0.0f;
    m_afVPScreen[5] = 1.0f;
    setAmbientLight(1.0f, 1.0f, 1.0f, 1.0f);
    return true;
}

// ----- transforms

void qor_cDispGL::setMatrix(qor_eTransformState eState, qor_cMatrix * pMatrix)
{
    const uint s = static_cast<uint>(eState);
    if (s >= qorrs_ts_count || !pMatrix)
        return;
    // A matrix set again unchanged (every object and pass sets its own) rebuilds nothing.
    if (m_aMatrix[s] == *pMatrix)
        return;
    m_aMatrix[s] = *pMatrix;
    if (s == qorrs_ts_view || s == qorrs_ts_projection)
        m_frustum.setFromMatrix(m_aMatrix[qorrs_ts_view] * m_aMatrix[qorrs_ts_projection]);
    if (s == 0 || s == 1 || s == 3 || s == 8 || s == 9)
        m_dev.setTransform(s, m_aMatrix[s].data());
}

qor_cMatrix * qor_cDispGL::getMatrix(qor_eTransformState eState)
{
    const uint s = static_cast<uint>(eState);
    return s < qorrs_ts_count ? &m_aMatrix[s] : nullptr;
}

void qor_cDispGL::setAmbientLight(float r, float g, float b, float a)
{
    qor_cDisp::setAmbientLight(r, g, b, a);
    m_dev.setAmbient(packARGB(clamp01(r), clamp01(g), clamp01(b), clamp01(a)));
}

// ----- frame

bool qor_cDispGL::beginScene()
{
    // GL has no scene brackets; nesting (a layer rendering into a texture) is harmless.
    ++m_iSceneDepth;
    return m_pContext != nullptr;
}

bool qor_cDispGL::endScene()
{
    if (m_iSceneDepth > 0)
        --m_iSceneDepth;
    return m_pContext != nullptr;
}

bool qor_cDispGL::clear(uint flags)
{
    if (!m_pContext)
        return false;
    // Clear takes a D3DCOLOR: each channel times 255, truncated.
    const uint argb = packARGB(clamp01(m_clearColor.r), clamp01(m_clearColor.g), clamp01(m_clearColor.b),
                               clamp01(m_clearColor.a));
    const float rgba[4] = {((argb >> 16) & 0xFF) / 255.0f, ((argb >> 8) & 0xFF) / 255.0f, (argb & 0xFF) / 255.0f,
                           (argb >> 24) / 255.0f};
    m_dev.clear(flags & 7, rgba, 1.0f, 0);
    return true;
}

void qor_cDispGL::letterbox(int iWindowW, int iWindowH, int * pRect)
{
    // The largest 4:3 rectangle centred in the window.
    int w = iWindowW, h = iWindowH;
    if (int64_t(w) * 3 > int64_t(h) * 4)
        w = h * 4 / 3;
    else
        h = w * 3 / 4;
    pRect[0] = (iWindowW - w) / 2;
    pRect[1] = (iWindowH - h) / 2;
    pRect[2] = w;
    pRect[3] = h;
}

bool qor_cDispGL::present()
{
    if (!m_pContext)
        return false;
    if (m_bWarmUp)
        return true; // a warm-up frame is never shown
    int iWinW = 0, iWinH = 0;
    SDL_GL_GetDrawableSize(m_pWindow, &iWinW, &iWinH);
    int r[4];
    letterbox(iWinW, iWinH, r);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_uBackFbo);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // The back buffer holds its top row first; the window's row 0 is its bottom. It is drawn
    // as a texture through the device's own program: llvmpipe makes the shaders of a
    // glBlitFramebuffer anew in every process (tens of milliseconds on the first frame), while
    // a program's machine code comes from Mesa's shader cache. At its own size the picture is
    // copied texel for texel; scaled, it is filtered as the blit filtered it. While pixels are
    // counted (the draw would count) and in OpenGL ES, the blit.
    const bool bSameSize = uint(r[2]) == m_uBackW && uint(r[3]) == m_uBackH;
    if (QOR_GLES || !m_dev.drawTexturedRect(m_uBackColour, r, !bSameSize))
        glBlitFramebuffer(0, 0, m_uBackW, m_uBackH, r[0], r[1] + r[3], r[0] + r[2], r[1], GL_COLOR_BUFFER_BIT,
                          GL_LINEAR);
    SDL_GL_SwapWindow(m_pWindow);
    // Back to the current target.
    const GLuint fbo = m_dev.getRenderTarget();
    const int w = m_dev.getTargetWidth(), h = m_dev.getTargetHeight();
    m_dev.setRenderTarget(0, 0, 0);
    m_dev.setRenderTarget(fbo, w, h);
    return true;
}

bool qor_cDispGL::setVPPhysical_hw(float x, float y, float w, float h, float zmin, float zmax)
{
    m_dev.setViewport(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h), zmin, zmax);
    return true;
}

bool qor_cDispGL::readPixels(std::vector<uint8_t> & out, int & w, int & h)
{
    if (!m_pContext)
        return false;
    w = m_dev.getTargetWidth();
    h = m_dev.getTargetHeight();
    out.resize(size_t(w) * h * 4);
    return m_dev.readPixels(out.data(), 0, 0, w, h);
}

bool qor_cDispGL::readPixelsAsync(std::vector<uint8_t> & out, int & w, int & h)
{
    w = h = 0;
    if (!m_pContext)
        return false;
    // A ring of two: the frame started now is mapped on the next call, after a frame of
    // drawing has given GL the time to finish the copy.
    if (m_dev.getReadsPending() >= qor_cGLDevice::kReadRing && !m_dev.finishRead(out, w, h))
        return false;
    if (!m_dev.startRead())
        return false;
    if (w == 0 && m_dev.getReadsPending() >= qor_cGLDevice::kReadRing)
        return m_dev.finishRead(out, w, h);
    return true;
}

bool qor_cDispGL::finishPixelsAsync(std::vector<uint8_t> & out, int & w, int & h)
{
    w = h = 0;
    if (!m_pContext)
        return false;
    return m_dev.getReadsPending() == 0 || m_dev.finishRead(out, w, h);
}

void qor_cDispGL::finishFrame()
{
    if (m_pContext)
        glFinish();
}

void qor_cDispGL::countPixels(bool bOn)
{
    if (m_pContext)
        m_dev.countPixels(bOn);
}

void qor_cDispGL::getStats(qor_sDispStats * pStats)
{
    if (m_pContext)
        m_dev.collectPixels();
    const qor_sGLStats & s = m_dev.getStats();
    pStats->nDraw = s.nDraw;
    pStats->nShaderHit = s.nShaderHit;
    pStats->nShaderCompile = s.nShaderCompile;
    pStats->nShaderLoad = s.nShaderLoad;
    pStats->nProgram = m_dev.getShaderCache().size();
    pStats->nStateKey = s.nStateKey;
    pStats->nTriangle = s.nTriangle;
    pStats->nPixel = s.nPixel;
}

// ----- render targets

bool qor_cDispGL::saveScreenTarget()
{
    qor_sRenderTarget & rec = m_aRenderTarget[0];
    rec.pNode = nullptr;
    rec.width = rec.height = 0;
    rec.used = 0;
    rec.bHasColour = true;
    rec.uColourFbo = m_dev.getRenderTarget();
    rec.iColourW = m_dev.getTargetWidth();
    rec.iColourH = m_dev.getTargetHeight();
    rec.width = static_cast<uint>(static_cast<int>(m_afVPPhysical[2]));
    rec.height = static_cast<uint>(static_cast<int>(m_afVPPhysical[3]));
    return true;
}

bool qor_cDispGL::bindRecord(qor_sRenderTarget & rec)
{
    if (!rec.pNode)
    {
        // The screen record: rebinds what saveScreenTarget took, once.
        if (!rec.bHasColour)
            return true;
        m_dev.setRenderTarget(rec.uColourFbo, rec.iColourW, rec.iColourH);
        rec.bHasColour = false;
        return true;
    }
    qor_cTexNodeGL * pNode = rec.pNode;
    if (!pNode->getGLTex())
        return false;
    // The framebuffer is the texture's own GL size; viewports stay in its screen-pixel size.
    if (rec.uDepth && (rec.uDepthW != pNode->getGLWidth() || rec.uDepthH != pNode->getGLHeight()))
    {
        glDeleteRenderbuffers(1, &rec.uDepth);
        rec.uDepth = 0;
        rec.uDepthW = rec.uDepthH = 0;
    }
    if (!rec.uDepth)
    {
        glGenRenderbuffers(1, &rec.uDepth);
        glBindRenderbuffer(GL_RENDERBUFFER, rec.uDepth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, pNode->getGLWidth(), pNode->getGLHeight());
        rec.uDepthW = pNode->getGLWidth();
        rec.uDepthH = pNode->getGLHeight();
    }
    rec.width = pNode->getWidth();
    rec.height = pNode->getHeight();
    if (!rec.uFbo)
        glGenFramebuffers(1, &rec.uFbo);
    glBindFramebuffer(GL_FRAMEBUFFER, rec.uFbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, pNode->getGLTex(), 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, rec.uDepth);
    const bool bOk = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    // The device's idea of the bound framebuffer is refreshed either way.
    const GLuint prev = m_dev.getRenderTarget();
    const int pw = m_dev.getTargetWidth(), ph = m_dev.getTargetHeight();
    m_dev.setRenderTarget(rec.uFbo, 0, 0);
    if (!bOk)
    {
        m_dev.setRenderTarget(prev, pw, ph);
        return false;
    }
    m_dev.setRenderTarget(rec.uFbo, pNode->getGLWidth(), pNode->getGLHeight());
    return true;
}

bool qor_cDispGL::restoreScreenTarget()
{
    if (!bindRecord(m_aRenderTarget[0]))
        return false;
    setVPPhysical(0.0f, 0.0f, float(m_aRenderTarget[0].width), float(m_aRenderTarget[0].height), 0.0f, 1.0f);
    return true;
}

bool qor_cDispGL::restoreScreenSurfaces() { return bindRecord(m_aRenderTarget[0]); }

void qor_cDispGL::resetRenderTargetSlots()
{
    for (uint i = 1; i < kNbRenderTarget; ++i)
        m_aRenderTarget[i].used = 0;
}

bool qor_cDispGL::setTextureAsRenderTarget(qor_hTexture handle)
{
    qor_cTexNodeGL * pNode = getTexNodeByHandle(handle);
    if (!pNode)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDispDX8::setTextureAsRenderTarget(qor_hTexture handle)\n");
        qoru_logError("qor_cTexNodeDX8 * pNode = getTexNodeByHandle(handle);\n");
        return false;
    }
    for (uint i = 1; i < kNbRenderTarget; ++i)
    {
        qor_sRenderTarget & rec = m_aRenderTarget[i];
        if (rec.pNode != pNode && rec.used)
            continue;
        rec.pNode = pNode;
        if (!bindRecord(rec))
            return false;
        setVPPhysical(0.0f, 0.0f, float(rec.width), float(rec.height), 0.0f, 1.0f);
        rec.used = 1;
        return true;
    }
    QOR_LOG_LOCATION();
    qoru_logError("bool qor_cDispDX8::setTextureAsRenderTarget(qor_hTexture handle)\nIl ne reste aucun slot de libre "
                  "pour rendre dans une texture, max:%d\n",
                  int(kNbRenderTarget));
    return false;
}

// ----- render states

bool qor_cDispGL::initRenderStates()
{
    setCullMode(1);
    setTexCoordGen(0, 5);
    setTexCoordGen(1, 5);
    disableTexTransform(0);
    disableTexTransform(1);
    setTexFilter(0, 2, 1);
    setTexFilter(1, 2, 1);
    enableBlending(true);
    enableZBuffer(true);
    setZFunc(3);
    setAmbientLight(1.0f, 1.0f, 1.0f, 1.0f);
    enableLighting(true);
    m_dev.enableBlending(true);
    m_dev.enableSpecular(true);
    m_dev.setMaterialSource(2, 0);
    // D3DRS_DITHERENABLE, D3DRS_NORMALIZENORMALS (always), D3DRS_FOGTABLEMODE linear and
    // D3DRS_FOGVERTEXMODE none are what the generated shaders always do.
    return true;
}

bool qor_cDispGL::setCullMode(uint mode)
{
    if (mode > 2)
        return false;
    m_dev.setCullMode(mode);
    return true;
}

bool qor_cDispGL::setBlendMode(const qor_cBlendSettings * pSettings)
{
    uint src = 0, dst = 0;
    if (!pSettings || !qoru_getBlendSettings(pSettings, &src, &dst))
        return false;
    return setBlendMode(src, dst);
}

bool qor_cDispGL::setBlendMode(uint src, uint dst)
{
    if (src > 12)
        return false;
    m_dev.setSrcBlend(src);
    if (dst > 12)
        return false;
    m_dev.setDstBlend(dst);
    return true;
}

bool qor_cDispGL::enableBlending(bool bEnable)
{
    m_dev.enableBlending(bEnable);
    return true;
}

namespace
{
cchar * const s_szTexModeSig = "bool qor_cEngineD3D::setTexMode(uint stage <%d>, qor_eTexArg arg1 <%d>, qor_eTexOp op <%d>, "
                               "qor_eTexArg arg2 <%d>)\n";
}

// One combiner (colour or alpha) of a stage: arguments first, then the operation, each kept
// only when the one before it was valid, as the device did.
bool qor_cDispGL::setStageCombiner(uint stage, qor_eTexArg arg1, qor_eTexOp op, qor_eTexArg arg2, bool bAlpha)
{
    if (stage >= 8)
    {
        QOR_LOG_LOCATION();
        qoru_logError(s_szTexModeSig, stage, int(arg1), int(op), int(arg2));
        qoru_logError("arg1 has failed\n");
        return false;
    }
    // Direct3D 8 has 8 stages; the generated pipeline runs the first 4 (a disabled stage 4
    // ends the chain, which is what the engine asks there).
    qor_sGLStageState st = stage < QOR_GL_MAX_STAGES ? m_dev.stage(stage) : qor_sGLStageState{};
    uint uArg1 = bAlpha ? st.alphaArg1 : st.colorArg1;
    uint uArg2 = bAlpha ? st.alphaArg2 : st.colorArg2;
    uint uOp = bAlpha ? st.alphaOp : st.colorOp;
    bool bOk = false;
    if (uint(arg1) <= 3)
    {
        uArg1 = arg1;
        if (uint(arg2) <= 3)
        {
            uArg2 = arg2;
            if (uint(op) <= 10)
            {
                uOp = op;
                bOk = true;
            }
        }
    }
    if (stage < QOR_GL_MAX_STAGES)
        m_dev.setStageCombiner(stage, bAlpha, uOp, uArg1, uArg2);
    return bOk;
}

bool qor_cDispGL::setTexMode(uint stage, qor_eTexArg arg1, qor_eTexOp op, qor_eTexArg arg2)
{
    return setStageCombiner(stage, arg1, op, arg2, false);
}

bool qor_cDispGL::setTexModeAlpha(uint stage, qor_eTexArg arg1, qor_eTexOp op, qor_eTexArg arg2)
{
    return setStageCombiner(stage, arg1, op, arg2, true);
}

bool qor_cDispGL::setTexCoordGen(uint stage, uint source)
{
    if (stage >= QOR_GL_MAX_STAGES || source == 1 || source > 5)
        return false;
    m_dev.setStageTexCoord(stage, source);
    if (source == 0)
    {
        // Camera-space normal: x to 0..1 and y to 1..0, two coordinates.
        setTexTransformFlags(stage, 2);
        qor_cMatrix m;
        m._11 = 0.5f;
        m._22 = -0.5f;
        m._33 = 1.0f;
        m._41 = 0.5f;
        m._42 = 0.5f;
        m._43 = 0.0f;
        if (stage < 2)
            setMatrix(static_cast<qor_eTransformState>(qorrs_ts_texture0 + stage), &m);
        else
        {
            m_aExtraTexMatrix[stage - 2] = m;
            m_dev.setTransform(8 + stage, m.data());
        }
    }
    return true;
}

bool qor_cDispGL::setTexTransform(uint stage, float u, float v, float angle, float su, float sv)
{
    if (stage >= QOR_GL_MAX_STAGES)
        return false;
    // 2D coordinates as rows (u, v, 1): translation in m31, m32. Applied left to right:
    // centre to the origin, turn, offset, scale, back.
    qor_cMatrix toOrigin, rot, offset, scale, back;
    toOrigin._31 = -0.5f;
    toOrigin._32 = -0.5f;
    const float c = std::cos(angle), s = std::sin(angle);
    rot._11 = c;
    rot._12 = s;
    rot._21 = -s;
    rot._22 = c;
    offset._31 = u;
    offset._32 = v;
    scale._11 = su;
    scale._22 = sv;
    back._31 = 0.5f;
    back._32 = 0.5f;
    qor_cMatrix m = toOrigin * rot * offset * scale * back;
    if (stage < 2)
        setMatrix(static_cast<qor_eTransformState>(qorrs_ts_texture0 + stage), &m);
    else
    {
        m_aExtraTexMatrix[stage - 2] = m;
        m_dev.setTransform(8 + stage, m.data());
    }
    return true;
}

bool qor_cDispGL::disableTexTransform(uint stage) { return setTexTransformFlags(stage, 0); }

bool qor_cDispGL::setTexTransformFlags(uint stage, uint flags)
{
    if (stage >= QOR_GL_MAX_STAGES)
        return false;
    if (flags <= 4 || (flags >= 257 && flags <= 260))
        m_dev.setStageTransformFlags(stage, flags);
    return true;
}

bool qor_cDispGL::setMatSrc(uint iWhich, qor_eMatSrc src, cchar * szName)
{
    if (uint(src) > 2)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cEngineD3D::%s(qor_eMatSrc src <%d>)\n", szName, int(src));
        return false;
    }
    m_dev.setMaterialSource(iWhich, src);
    return true;
}

bool qor_cDispGL::setDiffuseSrc(qor_eMatSrc src) { return setMatSrc(0, src, "setDiffuseSrc"); }
bool qor_cDispGL::setAmbientSrc(qor_eMatSrc src) { return setMatSrc(1, src, "setAmbientSrc"); }
bool qor_cDispGL::setSpecularSrc(qor_eMatSrc src) { return setMatSrc(2, src, "setSpecularSrc"); }
bool qor_cDispGL::setEmissiveSrc(qor_eMatSrc src) { return setMatSrc(3, src, "setEmissiveSrc"); }

bool qor_cDispGL::enableLighting(bool bEnable)
{
    m_dev.enableLighting(bEnable);
    return true;
}

bool qor_cDispGL::enableSpecular(bool bEnable)
{
    m_dev.enableSpecular(bEnable);
    return true;
}

bool qor_cDispGL::setZFunc(uint func)
{
    if (func > 7)
        return false;
    m_dev.setZFunc(func);
    return true;
}

bool qor_cDispGL::enableZBuffer(bool bEnable)
{
    m_dev.enableZ(bEnable);
    return true;
}

bool qor_cDispGL::enableZWrite(bool bEnable)
{
    m_dev.enableZWrite(bEnable);
    return true;
}

bool qor_cDispGL::setTexFilter(uint stage, uint which, uint filter)
{
    if (stage >= QOR_GL_MAX_STAGES || which > 2 || filter > 1)
        return false;
    m_dev.setStageFilter(stage, which, filter);
    return true;
}

// ----- fog

void qor_cDispGL::setFogMode(uint mode)
{
    m_uFogMode = mode;
    if (mode == 0)
        m_dev.enableFog(false);
    else if (mode == 1)
    {
        setFogColor(getFogColor());
        m_dev.enableFog(true);
    }
    else if (mode == 2)
    {
        m_dev.setFogColor(0); // towards black; the stored colour stays
        m_dev.enableFog(true);
    }
}

bool qor_cDispGL::setFogRange(float start, float end)
{
    m_dev.setFogRange(start, end);
    return true;
}

void qor_cDispGL::setFogColor(const qor_cColor * pColor) { setFogColor(pColor->r, pColor->g, pColor->b, pColor->a); }

void qor_cDispGL::setFogColor(float r, float g, float b, float a)
{
    qor_cDisp::setFogColor(r, g, b, a);
    m_dev.setFogColor(packARGB(r, g, b, a));
}

// ----- material and lights

bool qor_cDispGL::setMaterial(const qor_sD3DMaterial * pMat, qor_eMatSrc diffuse, qor_eMatSrc ambient,
                              qor_eMatSrc specular, qor_eMatSrc emissive)
{
    qor_sGLMaterial m;
    copyColor(m.diffuse, pMat->diffuse);
    copyColor(m.ambient, pMat->ambient);
    copyColor(m.specular, pMat->specular);
    copyColor(m.emissive, pMat->emissive);
    m.power = pMat->power;
    m_dev.setMaterial(m);
    bool b = setDiffuseSrc(diffuse);
    b = setAmbientSrc(ambient) && b;
    b = setSpecularSrc(specular) && b;
    b = setEmissiveSrc(emissive) && b;
    return b;
}

bool qor_cDispGL::setMaterialProperties(qor_cMatProp * pMat)
{
    qor_sD3DMaterial mat;
    qor_eMatSrc aSrc[4];
    if (!pMat || !qoru_getMatProp(pMat, &mat, aSrc))
        return false;
    return setMaterial(&mat, aSrc[0], aSrc[1], aSrc[2], aSrc[3]);
}

bool qor_cDispGL::setLight(uint iLight, qor_cLight * pLight)
{
    if (iLight >= QOR_GL_NB_LIGHT)
        return false;
    if (!pLight)
    {
        m_dev.enableLight(iLight, false);
        return true;
    }
    qor_sGLLight l;
    l.type = pLight->m_uType <= 2 ? pLight->m_uType : 0;
    copyColor(l.diffuse, pLight->m_diffuse);
    copyColor(l.specular, pLight->m_specular);
    copyColor(l.ambient, pLight->m_ambient);
    l.position[0] = pLight->m_sphere.m_vCenter.x;
    l.position[1] = pLight->m_sphere.m_vCenter.y;
    l.position[2] = pLight->m_sphere.m_vCenter.z;
    l.direction[0] = pLight->m_vDirection.x;
    l.direction[1] = pLight->m_vDirection.y;
    l.direction[2] = pLight->m_vDirection.z;
    l.range = pLight->m_sphere.m_fRadius;
    l.falloff = pLight->m_fFalloff;
    l.attenuation[0] = pLight->m_fAttenuation0;
    l.attenuation[1] = pLight->m_fAttenuation1;
    l.attenuation[2] = pLight->m_fAttenuation2;
    l.theta = pLight->m_fTheta;
    l.phi = pLight->m_fPhi;
    m_dev.setLight(iLight, l);
    m_dev.enableLight(iLight, true);
    return true;
}

// ----- textures

namespace
{
// The node of a list (2D or cube nodes) that holds handle, null when none does.
template <typename T> T * findNode(const std::unordered_map<qor_hTexture, void *> & nodes, qor_hTexture handle)
{
    const auto it = nodes.find(handle);
    return it == nodes.end() ? nullptr : static_cast<T *>(it->second);
}
} // namespace

qor_cTexNodeGL * qor_cDispGL::getTexNodeByHandle(qor_hTexture handle) const
{
    return (handle & QOR_CUBE_TEXTURE_BIT) ? nullptr : findNode<qor_cTexNodeGL>(m_nodeByHandle, handle);
}

qor_cCubeTexNodeGL * qor_cDispGL::getCubeTexNodeByHandle(qor_hTexture handle) const
{
    return (handle & QOR_CUBE_TEXTURE_BIT) ? findNode<qor_cCubeTexNodeGL>(m_nodeByHandle, handle) : nullptr;
}

qor_hTexture qor_cDispGL::createTexture(uint width, uint height, uint flags)
{
    qor_cTexNodeGL * pNode = new (std::nothrow) qor_cTexNodeGL(&m_dev);
    if (!pNode || !m_lTexNode.add(pNode, true))
    {
        delete pNode;
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDisplayDX8::createTexture(uint width <%d>, uint height <%d>)\n", width, height);
        qoru_logError("qor_cTexNodeDX8 * pNode = new qor_cTexNodeDX8;\n");
        return QOR_NULL_TEXTURE;
    }
    const qor_cPixelFormat * pFmt = &m_pfmtTexture;
    if (flags & QOR_TEX_RENDERTARGET)
        pFmt = &m_fmtBackBuffer;
    else if (flags & (QOR_TEX_A1R5G5B5 | QOR_TEX_A8R8G8B8))
    {
        const uint want = (flags & QOR_TEX_A1R5G5B5) ? qorrs_fmt_A1R5G5B5 : qorrs_fmt_A8R8G8B8;
        for (uint i = 0; i < kNbPixelFormat; ++i)
            if (m_aPixelFormat[i].getD3DFormat() == want)
                pFmt = &m_aPixelFormat[i];
    }
    if (!pNode->create(width, height, pFmt, flags))
    {
        // A node that got no texture is dropped at once (nothing refers to it).
        m_lTexNode.removeItem(pNode);
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDisplayDX8::createTexture(uint width <%d>, uint height <%d>)\n", width, height);
        qoru_logError("qor_hTexture handle = pNode->create(width, height, &m_pfmtTexture, false);\n");
        return QOR_NULL_TEXTURE;
    }
    const qor_hTexture handle = ++m_uHandleCounter;
    pNode->setHandle(handle);
    if (!m_nodeByHandle.insert({handle, pNode}).second)
    {
        m_lTexNode.removeItem(pNode);
        return QOR_NULL_TEXTURE;
    }
    return handle;
}

bool qor_cDispGL::lockTexture(qor_hTexture handle, uint * pOut)
{
    qor_cTexNodeGL * pNode = getTexNodeByHandle(handle);
    if (!pNode)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDispDX8::lockTexture(qor_hTexture handle)\n");
        qoru_logError("qor_cTexNodeDX8 * pNode = getTexNodeByHandle(handle)\n");
        return false;
    }
    if (!pNode->lock(pOut))
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDispDX8::lockTexture(qor_hTexture handle)\n");
        qoru_logError("bool bRet = pNode->lock();\n");
        return false;
    }
    m_pLockedNode = pNode;
    return true;
}

bool qor_cDispGL::lockTextureBits(qor_hTexture handle, void ** ppBits, uint * pPitch)
{
    uint aOut[2] = {0, 0};
    if (!lockTexture(handle, aOut))
        return false;
    if (ppBits)
        *ppBits = const_cast<void *>(m_pLockedNode->getPixels());
    if (pPitch)
        *pPitch = aOut[1];
    return true;
}

bool qor_cDispGL::unlockTexture(qor_hTexture handle)
{
    (void)handle; // the texture locked last, whatever the handle says
    qor_cTexNodeGL * pNode = m_pLockedNode;
    if (!pNode)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDispDX8::unlockTexture(qor_hTexture handle)\n");
        qoru_logError("qor_cTexNodeDX8 * pNode = getTexNodeByHandle(handle);\n");
        return false;
    }
    m_pLockedNode = nullptr;
    if (!pNode->unlock())
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDispDX8::unlockTexture(qor_hTexture handle)\n");
        qoru_logError("bool bRet = pNode->unlock();\n");
        return false;
    }
    return true;
}

void qor_cDispGL::setPixel(uint x, uint y, uchar r, uchar g, uchar b, uchar a)
{
    if (m_pLockedNode)
        m_pLockedNode->setPixel(x, y, r, g, b, a);
    else if (m_pLockedCubeNode)
        m_pLockedCubeNode->setPixel(x, y, r, g, b, a);
}

void qor_cDispGL::setPixelRow(uint y, uint n, const uchar * pRGB, const uchar * pAlpha, uint nAlphaStep)
{
    if (m_pLockedNode)
        m_pLockedNode->setPixelRow(y, n, pRGB, pAlpha, nAlphaStep);
    else
        qor_cDisp::setPixelRow(y, n, pRGB, pAlpha, nAlphaStep);
}

bool qor_cDispGL::setTexture(uint stage, qor_hTexture handle)
{
    if (handle != QOR_NULL_TEXTURE && (handle & QOR_CUBE_TEXTURE_BIT))
        return setCubeTexture(stage, handle);
    if (handle != QOR_NULL_TEXTURE && (handle & QOR_RESERVED_TEXTURE_BIT))
        return false;
    if (stage >= QOR_GL_MAX_STAGES)
        return stage < 8; // stages the generated pipeline does not run
    qor_cTexNodeGL * pNode = handle == QOR_NULL_TEXTURE ? nullptr : getTexNodeByHandle(handle);
    m_ahStageTexture[stage] = pNode ? handle : QOR_NULL_TEXTURE;
    if (pNode && pNode->getGLTex())
        m_dev.setStageTexture(stage, GL_TEXTURE_2D, pNode->getGLTex());
    else
        m_dev.setStageTexture(stage, 0, 0);
    return true;
}

bool qor_cDispGL::releaseTexture(qor_hTexture handle)
{
    if (handle != QOR_NULL_TEXTURE && (handle & QOR_CUBE_TEXTURE_BIT))
        return releaseCubeTexture(handle);
    qor_cTexNodeGL * pNode = getTexNodeByHandle(handle);
    if (!pNode)
        return false;
    if (m_pLockedNode == pNode)
        m_pLockedNode = nullptr;
    for (qor_sRenderTarget & rec : m_aRenderTarget)
    {
        if (rec.pNode == pNode)
        {
            rec.pNode = nullptr;
            rec.used = 0;
        }
    }
    m_nodeByHandle.erase(handle);
    if (!m_lTexNode.removeItem(pNode))
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDispDX8::releaseTexture(qor_hTexture handle<0x%x>\n", handle);
        qoru_logError("bool bRet = m_lTexNode.remove(pNode);\n");
        return false;
    }
    return true;
}

qor_hTexture qor_cDispGL::createCubeTexture(uint sidewidth)
{
    qor_cCubeTexNodeGL * pNode = new (std::nothrow) qor_cCubeTexNodeGL(&m_dev);
    if (!pNode || !m_lCubeTexNode.add(pNode, true))
    {
        delete pNode;
        QOR_LOG_LOCATION();
        qoru_logError("qor_hTexture\tqor_cDispDX8::createCubeTexture(uint sidewidth<%d>)\n", sidewidth);
        qoru_logError("qor_cTexNodeDX8 * pNode = new qor_cTexNodeDX8;\n");
        return QOR_NULL_TEXTURE;
    }
    if (!pNode->create(sidewidth, &m_pfmtTexture))
    {
        m_lCubeTexNode.removeItem(pNode);
        QOR_LOG_LOCATION();
        qoru_logError("qor_hTexture\tqor_cDispDX8::createCubeTexture(uint sidewidth<%d>)\n", sidewidth);
        qoru_logError("qor_hTexture handle = pNode->create(width, height, &m_pfmtTexture, false);\n");
        return QOR_NULL_TEXTURE;
    }
    const qor_hTexture handle = ++m_uHandleCounter | QOR_CUBE_TEXTURE_BIT;
    pNode->setHandle(handle);
    if (!m_nodeByHandle.insert({handle, pNode}).second)
    {
        m_lCubeTexNode.removeItem(pNode);
        return QOR_NULL_TEXTURE;
    }
    return handle;
}

bool qor_cDispGL::lockCubeTexture(qor_hTextureSurface handle, qor_eCubeMapFace iFace)
{
    qor_cCubeTexNodeGL * pNode = getCubeTexNodeByHandle(handle);
    if (!pNode)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDispDX8::lockCubeTexture(qor_hTextureSurface handle, qor_eCubeMapFace iFace)\n");
        qoru_logError("qor_cCubeTexNodeDX8 * pNode = getCubeTexNodeByHandle(handle);\n");
        return false;
    }
    pNode->lock(iFace); // its own failure is logged, not returned
    m_pLockedCubeNode = pNode;
    return true;
}

bool qor_cDispGL::unlockCubeTexture()
{
    if (!m_pLockedCubeNode)
        return false;
    if (m_pLockedCubeNode->isLocked())
        m_pLockedCubeNode->unlock();
    return true; // the node stays remembered
}

void qor_cDispGL::setCubePixel(uint x, uint y, uchar r, uchar g, uchar b, uchar a)
{
    if (m_pLockedCubeNode)
        m_pLockedCubeNode->setPixel(x, y, r, g, b, a);
}

bool qor_cDispGL::setCubeTexture(uint stage, qor_hTexture handle)
{
    qor_cCubeTexNodeGL * pNode = getCubeTexNodeByHandle(handle);
    if (!pNode || stage >= QOR_GL_MAX_STAGES)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDispDX8::setCubeTexture(uint stage<%d>, qor_hTexture handle<%d>)\n", stage, handle);
        qoru_logError("HRESULT hRet = m_pDev->SetTexture(stage, pNode->getD3DCubeTex());\n");
        return false;
    }
    m_dev.setStageTexture(stage, GL_TEXTURE_CUBE_MAP, pNode->getGLTex());
    // Binding a cube map switches its stage to reflection coordinates.
    return setTexCoordGen(stage, 4);
}

bool qor_cDispGL::releaseCubeTexture(qor_hTexture handle)
{
    qor_cCubeTexNodeGL * pNode = getCubeTexNodeByHandle(handle);
    if (!pNode)
        return false;
    if (m_pLockedCubeNode == pNode)
        m_pLockedCubeNode = nullptr;
    m_nodeByHandle.erase(handle);
    if (!m_lCubeTexNode.removeItem(pNode))
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_cDispDX8::releaseCubeTexture(qor_hTexture handle<0x%x>\n", handle);
        qoru_logError("bool bRet = m_lCubeTexNode.remove(pNode<0x0%x>);\n", handle);
        return false;
    }
    return true;
}
