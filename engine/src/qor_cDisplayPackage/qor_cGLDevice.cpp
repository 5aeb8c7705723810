#include "qor_cGLDevice.h"

#include "qor_cErrorHandler.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#ifndef NDEBUG
void qoru_glCheck(cchar * szCall, cchar * szFile, int iLine)
{
    const GLenum e = glGetError();
    if (e != GL_NO_ERROR)
    {
        qoru_logError("File \"%s\", at line %d\n", szFile, iLine);
        qoru_logError("GL error 0x%x after %s\n", e, szCall);
    }
}
#endif

namespace
{
// Blend factors in the engine's numbering, the numbers material scripts pass (6/7 destination
// colour, 8/9 destination alpha: the reverse of Direct3D's order).
// 11 and 12 (both source alpha, both inverse source alpha) also set the destination
// factor when used as the source, as Direct3D 8 does; see blendFactors().
const GLenum s_aeBlend[] = {
    GL_ZERO,                     // 0 D3DBLEND_ZERO
    GL_ONE,                      // 1 D3DBLEND_ONE
    GL_SRC_COLOR,                // 2 D3DBLEND_SRCCOLOR
    GL_ONE_MINUS_SRC_COLOR,      // 3 D3DBLEND_INVSRCCOLOR
    GL_SRC_ALPHA,                // 4 D3DBLEND_SRCALPHA
    GL_ONE_MINUS_SRC_ALPHA,      // 5 D3DBLEND_INVSRCALPHA
    GL_DST_COLOR,                // 6 D3DBLEND_DESTCOLOR
    GL_ONE_MINUS_DST_COLOR,      // 7 D3DBLEND_INVDESTCOLOR
    GL_DST_ALPHA,                // 8 D3DBLEND_DESTALPHA
    GL_ONE_MINUS_DST_ALPHA,      // 9 D3DBLEND_INVDESTALPHA
    GL_SRC_ALPHA_SATURATE,       // 10 D3DBLEND_SRCALPHASAT
    GL_SRC_ALPHA,                // 11 D3DBLEND_BOTHSRCALPHA
    GL_ONE_MINUS_SRC_ALPHA,      // 12 D3DBLEND_BOTHINVSRCALPHA
};
static_assert(std::size(s_aeBlend) == 13);

// Depth comparison n maps to Direct3D comparison n + 1.
const GLenum s_aeZFunc[] = {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
static_assert(std::size(s_aeZFunc) == 8);

// Texture filter: 0 point, 1 linear (Direct3D 8's default mip filter is none: level 0 only).
const GLint s_aiFilter[] = {GL_NEAREST, GL_LINEAR};
static_assert(std::size(s_aiFilter) == 2);

void blendFactors(uint src, uint dst, GLenum * pSrc, GLenum * pDst)
{
    *pSrc = s_aeBlend[src < 13 ? src : 1];
    *pDst = s_aeBlend[dst < 13 ? dst : 0];
    if (src == 11) // D3DBLEND_BOTHSRCALPHA: (As, As, As, As) and (1 - As, ...)
        *pDst = GL_ONE_MINUS_SRC_ALPHA;
    else if (src == 12) // D3DBLEND_BOTHINVSRCALPHA: (1 - As, ...) and (As, ...)
        *pDst = GL_SRC_ALPHA;
}

void identity(float * m)
{
    std::memset(m, 0, 16 * sizeof(float));
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

// Row-vector product: p * (a * b) applies a, then b.
void mul(float * r, const float * a, const float * b)
{
    float t[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            t[i * 4 + j] = a[i * 4 + 0] * b[0 * 4 + j] + a[i * 4 + 1] * b[1 * 4 + j] + a[i * 4 + 2] * b[2 * 4 + j] +
                           a[i * 4 + 3] * b[3 * 4 + j];
    std::memcpy(r, t, sizeof(t));
}

// Inverse transpose of the upper 3x3 (row-major 3x3 out): normals transform as n * out.
void normalMatrix(float * r, const float * m)
{
    const float a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9], i = m[10];
    const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const float det = a * A + b * B + c * C;
    const float k = det != 0.0f ? 1.0f / det : 0.0f;
    // inverse = adj / det; its transpose is the cofactor matrix / det.
    r[0] = A * k;
    r[1] = B * k;
    r[2] = C * k;
    r[3] = -(b * i - c * h) * k;
    r[4] = (a * i - c * g) * k;
    r[5] = -(a * h - b * g) * k;
    r[6] = (b * f - c * e) * k;
    r[7] = -(a * f - c * d) * k;
    r[8] = (a * e - b * d) * k;
}

void unpackARGB(uint argb, float * p)
{
    p[0] = ((argb >> 16) & 0xFF) / 255.0f;
    p[1] = ((argb >> 8) & 0xFF) / 255.0f;
    p[2] = (argb & 0xFF) / 255.0f;
    p[3] = ((argb >> 24) & 0xFF) / 255.0f;
}
} // namespace

qor_cGLDevice * qor_cGLDevice::s_pCurrent = nullptr;

qor_cGLDevice::qor_cGLDevice()
{
    // Direct3D 8's initial device states (before initRenderStates runs).
    m_uCull = 2; // D3DCULL_CCW
    m_uSrcBlend = 1;
    m_uDstBlend = 0;
    m_bBlend = false;
    m_uZFunc = 3;
    m_bZEnable = true;
    m_bZWrite = true;
    m_bLighting = true;
    m_bSpecular = false;
    m_bFog = false;
    m_auMatSrc[0] = 1; // D3DRS_DIFFUSEMATERIALSOURCE = D3DMCS_COLOR1
    m_auMatSrc[1] = 0;
    m_auMatSrc[2] = 2; // D3DRS_SPECULARMATERIALSOURCE = D3DMCS_COLOR2
    m_auMatSrc[3] = 0;
    std::memset(m_afAmbient, 0, sizeof(m_afAmbient));
    std::memset(m_afFogColor, 0, sizeof(m_afFogColor));
    m_fFogStart = 0.0f;
    m_fFogEnd = 1.0f;
    std::memset(&m_material, 0, sizeof(m_material));
    for (uint s = 0; s < QOR_GL_MAX_STAGES; ++s)
    {
        qor_sGLStageState & st = m_aStage[s];
        std::memset(&st, 0, sizeof(st));
        // Stage 0 modulates the texture with the diffuse colour; the others are off.
        st.colorOp = s == 0 ? 3 : 0;
        st.colorArg1 = 1;
        st.colorArg2 = 0;
        st.alphaOp = s == 0 ? 1 : 0;
        st.alphaArg1 = 1;
        st.alphaArg2 = 0;
        st.tcSource = 5;
        st.magFilter = 0;
        st.minFilter = 0;
        identity(m_aTexMatrix[s]);
    }
    identity(m_aWorld);
    identity(m_aView);
    identity(m_aProj);
    identity(m_aWorldView);
    identity(m_aWorldViewProj);
    std::memset(m_aNormalMat, 0, sizeof(m_aNormalMat));
    std::memset(m_aLight, 0, sizeof(m_aLight));
    std::memset(m_abLightOn, 0, sizeof(m_abLightOn));
    m_nActiveLight = 0;
    std::memset(m_aLightCam, 0, sizeof(m_aLightCam));
    m_aiViewport[0] = m_aiViewport[1] = 0;
    m_aiViewport[2] = 640;
    m_aiViewport[3] = 480;
    m_afPixelScale[0] = m_afPixelScale[1] = 1.0f;
    m_afDepthRange[0] = 0.0f;
    m_afDepthRange[1] = 1.0f;
    m_uFbo = 0;
    m_iTargetW = m_iTargetH = 0;
    std::memset(m_auGroupVersion, 0, sizeof(m_auGroupVersion));
    m_uVersion = 0;
    for (int i = 0; i < qor_cGLProgram::kNbGroup; ++i)
        bump(i);
    m_bDirtyGL = m_bDirtyKey = m_bDirtyDerived = m_bDirtyTextures = true;
    m_uKeyFvf = 0;
    m_pProgram = nullptr;
    std::memset(&m_gl, 0, sizeof(m_gl));
    std::memset(m_auSampler, 0, sizeof(m_auSampler));
    std::memset(m_abSamplerDirty, 1, sizeof(m_abSamplerDirty));
    m_bClipControl = false;
    std::memset(&m_stats, 0, sizeof(m_stats));
}

qor_cGLDevice::~qor_cGLDevice() {}

bool qor_cGLDevice::create()
{
#if QOR_GLES
    // WebGL 2 has no clip control: the vertex shader remaps z.
    m_bClipControl = false;
#else
    if (epoxy_gl_version() < 33)
        return false;
    // Direct3D clip space has z in 0..1.
    m_bClipControl = epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control");
    if (m_bClipControl)
        glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
#endif
    glGenSamplers(QOR_GL_MAX_STAGES, m_auSampler);
    for (uint s = 0; s < QOR_GL_MAX_STAGES; ++s)
    {
        // Direct3D's default addressing is wrap.
        glSamplerParameteri(m_auSampler[s], GL_TEXTURE_WRAP_S, GL_REPEAT);
        glSamplerParameteri(m_auSampler[s], GL_TEXTURE_WRAP_T, GL_REPEAT);
        glSamplerParameteri(m_auSampler[s], GL_TEXTURE_WRAP_R, GL_REPEAT);
        glBindSampler(s, m_auSampler[s]);
        m_abSamplerDirty[s] = true;
    }
#if !QOR_GLES
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS); // always on in OpenGL ES 3.0
#endif
    glFrontFace(GL_CCW);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    m_cache.openStore();
    invalidateGLState();
    return glGetError() == GL_NO_ERROR;
}

void qor_cGLDevice::invalidateGLState()
{
    // Unknown GL state: everything is sent before the next draw.
    m_gl.cull = m_gl.blend = m_gl.depthTest = m_gl.depthMask = -1;
    m_gl.src = m_gl.dst = m_gl.depthFunc = 0;
    m_gl.viewport[2] = -1;
    m_gl.depthRange[0] = -1.0f;
    m_gl.vao = ~0u;
    m_gl.program = ~0u;
    m_gl.fbo = ~0u;
    for (int i = 0; i < QOR_GL_MAX_STAGES; ++i)
    {
        m_gl.texTarget[i] = 0, m_gl.texture[i] = ~0u;
        m_abSamplerDirty[i] = true;
        if (m_auSampler[i])
            glBindSampler(i, m_auSampler[i]);
    }
    m_bDirtyGL = m_bDirtyKey = m_bDirtyDerived = m_bDirtyTextures = true;
}

// Every recorded state, listed once for saving and restoring (all trivially copyable).
template <typename F> void qor_cGLDevice::forEachRecordedState(F && f)
{
    f(m_uCull), f(m_uSrcBlend), f(m_uDstBlend), f(m_bBlend), f(m_uZFunc), f(m_bZEnable), f(m_bZWrite);
    f(m_bLighting), f(m_bSpecular), f(m_bFog), f(m_auMatSrc), f(m_afAmbient), f(m_afFogColor);
    f(m_fFogStart), f(m_fFogEnd), f(m_material), f(m_aStage);
    f(m_aWorld), f(m_aView), f(m_aProj), f(m_aTexMatrix);
    f(m_aLight), f(m_abLightOn), f(m_aiViewport), f(m_afDepthRange), f(m_uFbo), f(m_iTargetW), f(m_iTargetH);
}

void qor_cGLDevice::saveState(std::vector<uint8_t> & out)
{
    out.clear();
    forEachRecordedState([&](const auto & m) {
        const uint8_t * p = reinterpret_cast<const uint8_t *>(&m);
        out.insert(out.end(), p, p + sizeof(m));
    });
}

void qor_cGLDevice::restoreState(const std::vector<uint8_t> & in)
{
    size_t off = 0;
    forEachRecordedState([&](auto & m) {
        if (off + sizeof(m) <= in.size())
            std::memcpy(&m, in.data() + off, sizeof(m));
        off += sizeof(m);
    });
    // Everything is compared against GL again and every uniform group sent again.
    m_bDirtyGL = m_bDirtyKey = m_bDirtyDerived = m_bDirtyTextures = true;
    std::memset(m_abSamplerDirty, 1, sizeof(m_abSamplerDirty));
    for (int i = 0; i < qor_cGLProgram::kNbGroup; ++i)
        bump(i);
    if (m_gl.fbo != m_uFbo)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_uFbo);
        m_gl.fbo = m_uFbo;
    }
}

void qor_cGLDevice::destroy()
{
    m_cache.clear();
    m_pProgram = nullptr;
    if (m_auSampler[0])
        glDeleteSamplers(QOR_GL_MAX_STAGES, m_auSampler);
    std::memset(m_auSampler, 0, sizeof(m_auSampler));
#if !QOR_GLES
    if (m_bPixelQuery)
        glEndQuery(GL_SAMPLES_PASSED);
#endif
    m_bPixelQuery = false;
    if (m_auPixelQuery[0])
        glDeleteQueries(2, m_auPixelQuery);
    m_auPixelQuery[0] = m_auPixelQuery[1] = 0;
    m_abPixelPending[0] = m_abPixelPending[1] = false;
    if (m_auReadPbo[0])
        glDeleteBuffers(kReadRing, m_auReadPbo);
    std::memset(m_auReadPbo, 0, sizeof(m_auReadPbo));
    m_nReadPending = 0;
    if (m_uRectProgram)
        glDeleteProgram(m_uRectProgram);
    if (m_uRectVao)
        glDeleteVertexArrays(1, &m_uRectVao);
    m_uRectProgram = m_uRectVao = 0;
}

bool qor_cGLDevice::drawTexturedRect(GLuint uTexture, const int * pRect, bool bLinear)
{
    if (m_bPixelQuery)
        return false;
    if (!m_uRectProgram)
    {
        // One triangle that covers the viewport; v = 0 at its top edge.
        const std::string strHeader =
            qor_cGLShaderCache::isES() ? "#version 300 es\nprecision highp float;\n" : "#version 330 core\n";
        const std::string strVS = strHeader +
                                  "out vec2 vUV;\n"
                                  "void main()\n"
                                  "{\n"
                                  "    vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);\n"
                                  "    vUV = vec2(p.x + 1.0, 1.0 - p.y) * 0.5;\n"
                                  "    gl_Position = vec4(p, 0.0, 1.0);\n"
                                  "}\n";
        const std::string strFS = strHeader + "uniform sampler2D uPicture;\n"
                                              "in vec2 vUV;\n"
                                              "out vec4 oColour;\n"
                                              "void main() { oColour = texture(uPicture, vUV); }\n";
        m_uRectProgram = qor_cGLShaderCache::compileAndLink(strVS, strFS);
        if (!m_uRectProgram)
            return false;
        glGenVertexArrays(1, &m_uRectVao);
        glUseProgram(m_uRectProgram);
        glUniform1i(glGetUniformLocation(m_uRectProgram, "uPicture"), QOR_GL_MAX_STAGES);
        m_gl.program = m_uRectProgram;
    }
    glActiveTexture(GL_TEXTURE0 + QOR_GL_MAX_STAGES);
    glBindTexture(GL_TEXTURE_2D, uTexture);
    const GLint iFilter = bLinear ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, iFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, iFilter);
    if (m_gl.program != m_uRectProgram)
        glUseProgram(m_uRectProgram);
    if (m_gl.vao != m_uRectVao)
        glBindVertexArray(m_uRectVao);
    if (m_gl.blend != 0)
        glDisable(GL_BLEND);
    if (m_gl.depthTest != 0)
        glDisable(GL_DEPTH_TEST);
    if (m_gl.cull != 0)
        glDisable(GL_CULL_FACE);
    glViewport(pRect[0], pRect[1], pRect[2], pRect[3]);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    // What GL holds now; the next draw sends its own states.
    m_gl.program = m_uRectProgram;
    m_gl.vao = m_uRectVao;
    m_gl.blend = m_gl.depthTest = m_gl.cull = 0;
    std::memcpy(m_gl.viewport, pRect, sizeof(m_gl.viewport));
    m_bDirtyGL = true;
    return true;
}

// ----- render states

void qor_cGLDevice::setCullMode(uint mode) { setGL(m_uCull, mode); }

void qor_cGLDevice::enableLighting(bool b)
{
    if (m_bLighting != b)
        m_bLighting = b, m_bDirtyKey = true;
}

void qor_cGLDevice::enableSpecular(bool b)
{
    if (m_bSpecular != b)
        m_bSpecular = b, m_bDirtyKey = true;
}

void qor_cGLDevice::setMaterialSource(uint iWhich, uint src)
{
    if (m_auMatSrc[iWhich] != src)
        m_auMatSrc[iWhich] = src, m_bDirtyKey = true;
}

void qor_cGLDevice::setAmbient(uint argb)
{
    float af[4];
    unpackARGB(argb, af);
    if (std::memcmp(af, m_afAmbient, sizeof(af)) == 0)
        return;
    std::memcpy(m_afAmbient, af, sizeof(af));
    bump(qor_cGLProgram::kGroupLighting);
}

void qor_cGLDevice::enableFog(bool b)
{
    if (m_bFog != b)
        m_bFog = b, m_bDirtyKey = true;
}

void qor_cGLDevice::setFogColor(uint argb)
{
    float af[4];
    unpackARGB(argb, af);
    if (std::memcmp(af, m_afFogColor, sizeof(af)) == 0)
        return;
    std::memcpy(m_afFogColor, af, sizeof(af));
    bump(qor_cGLProgram::kGroupFog);
}

void qor_cGLDevice::setFogRange(float start, float end)
{
    if (m_fFogStart == start && m_fFogEnd == end)
        return;
    m_fFogStart = start;
    m_fFogEnd = end;
    bump(qor_cGLProgram::kGroupFog);
}

void qor_cGLDevice::setMaterial(const qor_sGLMaterial & mat)
{
    // Compared as bytes: the record has no padding and a material is set on every pass.
    if (std::memcmp(&m_material, &mat, sizeof(mat)) == 0)
        return;
    m_material = mat;
    bump(qor_cGLProgram::kGroupLighting);
}

void qor_cGLDevice::setStageFilter(uint s, uint which, uint filter)
{
    qor_sGLStageState & st = m_aStage[s];
    const uint mag = (which == 0 || which == 2) ? filter : st.magFilter;
    const uint min = (which == 1 || which == 2) ? filter : st.minFilter;
    if (mag == st.magFilter && min == st.minFilter)
        return;
    st.magFilter = mag;
    st.minFilter = min;
    m_abSamplerDirty[s] = true;
    m_bDirtyTextures = true;
}

void qor_cGLDevice::setStageTexture(uint s, GLenum target, GLuint texture)
{
    qor_sGLStageState & st = m_aStage[s];
    const GLenum t = texture ? target : 0;
    if (st.target == t && st.texture == texture)
        return;
    if (st.target != t)
        m_bDirtyKey = true;
    st.target = t;
    st.texture = texture;
    m_bDirtyTextures = true;
}

void qor_cGLDevice::setStageCombiner(uint s, bool bAlpha, uint op, uint arg1, uint arg2)
{
    qor_sGLStageState & st = m_aStage[s];
    uint & uOp = bAlpha ? st.alphaOp : st.colorOp;
    uint & uArg1 = bAlpha ? st.alphaArg1 : st.colorArg1;
    uint & uArg2 = bAlpha ? st.alphaArg2 : st.colorArg2;
    if (uOp == op && uArg1 == arg1 && uArg2 == arg2)
        return;
    uOp = op, uArg1 = arg1, uArg2 = arg2;
    m_bDirtyKey = true;
}

void qor_cGLDevice::setStageTexCoord(uint s, uint source)
{
    if (m_aStage[s].tcSource != source)
        m_aStage[s].tcSource = source, m_bDirtyKey = true;
}

void qor_cGLDevice::setStageTransformFlags(uint s, uint flags)
{
    if (m_aStage[s].ttFlags != flags)
        m_aStage[s].ttFlags = flags, m_bDirtyKey = true;
}

void qor_cGLDevice::forgetTexture(GLuint texture)
{
    for (uint s = 0; s < QOR_GL_MAX_STAGES; ++s)
    {
        if (m_aStage[s].texture == texture)
            setStageTexture(s, 0, 0);
        if (m_gl.texture[s] == texture)
            m_gl.texture[s] = ~0u;
    }
}

void qor_cGLDevice::setTransform(uint slot, const float m[16])
{
    const size_t n = 16 * sizeof(float);
    float * pDst = slot == 0 ? m_aWorld : slot == 1 ? m_aView : slot == 3 ? m_aProj : nullptr;
    if (slot >= 8 && slot < 8 + QOR_GL_MAX_STAGES)
        pDst = m_aTexMatrix[slot - 8];
    // A matrix sent again unchanged (every pass of a material sets its stages' matrices) costs
    // nothing downstream.
    if (!pDst || std::memcmp(pDst, m, n) == 0)
        return;
    std::memcpy(pDst, m, n);
    if (slot >= 8)
    {
        bump(qor_cGLProgram::kGroupTexMatrix);
        return;
    }
    if (slot == 1)
        bump(qor_cGLProgram::kGroupLighting); // lights live in camera space
    m_bDirtyDerived = true;
    bump(qor_cGLProgram::kGroupTransform);
}

void qor_cGLDevice::setLight(uint i, const qor_sGLLight & light)
{
    if (std::memcmp(&m_aLight[i], &light, sizeof(light)) == 0)
        return;
    if (m_abLightOn[i] && m_aLight[i].type != light.type)
        m_bDirtyKey = true;
    m_aLight[i] = light;
    if (m_abLightOn[i])
        bump(qor_cGLProgram::kGroupLighting);
}

void qor_cGLDevice::enableLight(uint i, bool b)
{
    if (m_abLightOn[i] != b)
    {
        m_abLightOn[i] = b;
        m_bDirtyKey = true;
        bump(qor_cGLProgram::kGroupLighting);
    }
}

void qor_cGLDevice::setViewport(int x, int y, int w, int h, float zmin, float zmax)
{
    if (m_aiViewport[0] == x && m_aiViewport[1] == y && m_aiViewport[2] == w && m_aiViewport[3] == h &&
        m_afDepthRange[0] == zmin && m_afDepthRange[1] == zmax)
        return;
    m_aiViewport[0] = x;
    m_aiViewport[1] = y;
    m_aiViewport[2] = w;
    m_aiViewport[3] = h;
    m_afDepthRange[0] = zmin;
    m_afDepthRange[1] = zmax;
    m_bDirtyGL = true;
    bump(qor_cGLProgram::kGroupViewport);
}

void qor_cGLDevice::setPixelScale(float sx, float sy)
{
    m_afPixelScale[0] = sx > 0.0f ? sx : 1.0f;
    m_afPixelScale[1] = sy > 0.0f ? sy : 1.0f;
    m_bDirtyGL = true;
}

void qor_cGLDevice::scaleRect(const int in[4], int out[4]) const
{
    const float sx = m_afPixelScale[0], sy = m_afPixelScale[1];
    if (sx == 1.0f && sy == 1.0f)
    {
        std::memcpy(out, in, 4 * sizeof(int));
        return;
    }
    // Both edges scaled, so that rectangles side by side stay side by side.
    const int x0 = int(std::lround(in[0] * double(sx))), y0 = int(std::lround(in[1] * double(sy)));
    out[0] = x0;
    out[1] = y0;
    out[2] = int(std::lround((double(in[0]) + in[2]) * sx)) - x0;
    out[3] = int(std::lround((double(in[1]) + in[3]) * sy)) - y0;
}

void qor_cGLDevice::setRenderTarget(GLuint fbo, int w, int h)
{
    m_uFbo = fbo;
    m_iTargetW = w;
    m_iTargetH = h;
    if (m_gl.fbo != fbo)
    {
        QOR_GL_CHECK(glBindFramebuffer(GL_FRAMEBUFFER, fbo));
        m_gl.fbo = fbo;
    }
}

void qor_cGLDevice::setClipRect(const int * pRect)
{
    if (!pRect)
    {
        if (m_bClip)
            glDisable(GL_SCISSOR_TEST);
        m_bClip = false;
        return;
    }
    int r[4];
    scaleRect(pRect, r);
    r[2] = r[2] > 0 ? r[2] : 0;
    r[3] = r[3] > 0 ? r[3] : 0;
    if (!m_bClip)
        glEnable(GL_SCISSOR_TEST);
    glScissor(r[0], r[1], r[2], r[3]);
    m_bClip = true;
    for (int i = 0; i < 4; ++i)
        m_aiClip[i] = r[i];
}

// ----- frame

void qor_cGLDevice::clear(uint flags, const float rgba[4], float z, int stencil)
{
    GLbitfield mask = 0;
    if (flags & 1)
    {
        glClearColor(rgba[0], rgba[1], rgba[2], rgba[3]);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & 2)
    {
        glClearDepthf(z);
        mask |= GL_DEPTH_BUFFER_BIT;
        if (m_gl.depthMask != 1)
        {
            glDepthMask(GL_TRUE); // Direct3D clears depth whatever D3DRS_ZWRITEENABLE says
            m_gl.depthMask = 1;
            m_bDirtyGL = true;
        }
    }
    if (flags & 4)
    {
        glClearStencil(stencil);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    if (!mask)
        return;
    if (m_gl.fbo != m_uFbo)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_uFbo);
        m_gl.fbo = m_uFbo;
    }
    // Clear(0, NULL, ...) clears the viewport rectangle only.
    int r[4];
    scaleRect(m_aiViewport, r);
    glEnable(GL_SCISSOR_TEST);
    glScissor(r[0], r[1], r[2] > 0 ? r[2] : 0, r[3] > 0 ? r[3] : 0);
    QOR_GL_CHECK(glClear(mask));
    if (m_bClip)
        glScissor(m_aiClip[0], m_aiClip[1], m_aiClip[2], m_aiClip[3]);
    else
        glDisable(GL_SCISSOR_TEST);
}

bool qor_cGLDevice::readPixels(uint8_t * pOut, int x, int y, int w, int h)
{
    if (m_gl.fbo != m_uFbo)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_uFbo);
        m_gl.fbo = m_uFbo;
    }
    // Targets are stored top row first, so GL's first row is Direct3D's top row.
#if QOR_GLES
    // OpenGL ES reads RGBA bytes only: swap red and blue into Direct3D's byte order.
    QOR_GL_CHECK(glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pOut));
    for (size_t i = 0, n = size_t(w > 0 ? w : 0) * size_t(h > 0 ? h : 0) * 4; i < n; i += 4)
        std::swap(pOut[i], pOut[i + 2]);
#else
    QOR_GL_CHECK(glReadPixels(x, y, w, h, GL_BGRA, GL_UNSIGNED_BYTE, pOut));
#endif
    return true;
}

bool qor_cGLDevice::startRead()
{
    const int w = m_iTargetW, h = m_iTargetH;
    if (m_nReadPending >= kReadRing || w < 1 || h < 1)
        return false;
    const int i = (m_iReadFirst + m_nReadPending) % kReadRing;
    const size_t nBytes = size_t(w) * h * 4;
#if QOR_GLES
    // WebGL 2 maps no buffers: the ring holds client copies, read at once.
    m_aReadCopy[i].resize(nBytes);
    if (!readPixels(m_aReadCopy[i].data(), 0, 0, w, h))
        return false;
    m_anReadBytes[i] = nBytes;
#else
    if (!m_auReadPbo[0])
        glGenBuffers(kReadRing, m_auReadPbo);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, m_auReadPbo[i]);
    if (m_anReadBytes[i] != nBytes)
    {
        glBufferData(GL_PIXEL_PACK_BUFFER, GLsizeiptr(nBytes), nullptr, GL_STREAM_READ);
        m_anReadBytes[i] = nBytes;
    }
    if (m_gl.fbo != m_uFbo)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_uFbo);
        m_gl.fbo = m_uFbo;
    }
    // Into the bound pixel buffer: offset 0, no wait for the drawing to end.
    QOR_GL_CHECK(glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, nullptr));
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
#endif
    m_aiReadW[i] = w;
    m_aiReadH[i] = h;
    ++m_nReadPending;
    return true;
}

bool qor_cGLDevice::finishRead(std::vector<uint8_t> & out, int & w, int & h)
{
    w = h = 0;
    if (m_nReadPending <= 0)
        return false;
    const int i = m_iReadFirst;
    m_iReadFirst = (m_iReadFirst + 1) % kReadRing;
    --m_nReadPending;
#if QOR_GLES
    out.swap(m_aReadCopy[i]);
    w = m_aiReadW[i];
    h = m_aiReadH[i];
    return true;
#else
    glBindBuffer(GL_PIXEL_PACK_BUFFER, m_auReadPbo[i]);
    const void * p = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, GLsizeiptr(m_anReadBytes[i]), GL_MAP_READ_BIT);
    bool bOk = p != nullptr;
    if (bOk)
    {
        out.resize(m_anReadBytes[i]);
        std::memcpy(out.data(), p, m_anReadBytes[i]);
        w = m_aiReadW[i];
        h = m_aiReadH[i];
        bOk = glUnmapBuffer(GL_PIXEL_PACK_BUFFER) == GL_TRUE;
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    return bOk;
#endif
}

// ----- drawing

int qor_cGLDevice::strideOf(uint fvf)
{
    return fvf == QOR_FVF_VERTEX1 ? 32 : fvf == QOR_FVF_VERTEX2 ? 36 : fvf == QOR_FVF_VERTEX3 ? 28 : 0;
}

void qor_cGLDevice::setupVertexArray(GLuint vao, GLuint vbo, uint fvf)
{
    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    const GLsizei stride = strideOf(fvf);
    const auto off = [](size_t n) { return reinterpret_cast<const void *>(n); };
    // Locations: 0 position, 1 normal, 2 colour (BGRA bytes), 3 texture coordinates. OpenGL ES
    // has no BGRA attribute size: the colour arrives as RGBA and the vertex shader swizzles it
    // (qor_cGLShaderCache::kColorSwizzle).
#if QOR_GLES
    constexpr GLint kColor = 4;
#else
    constexpr GLint kColor = GL_BGRA;
#endif
    if (fvf == QOR_FVF_VERTEX3)
    {
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, off(0));
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, kColor, GL_UNSIGNED_BYTE, GL_TRUE, stride, off(16));
        glEnableVertexAttribArray(3);
        glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, stride, off(20));
    }
    else
    {
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, off(0));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, off(12));
        if (fvf == QOR_FVF_VERTEX2)
        {
            glEnableVertexAttribArray(2);
            glVertexAttribPointer(2, kColor, GL_UNSIGNED_BYTE, GL_TRUE, stride, off(24));
            glEnableVertexAttribArray(3);
            glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, stride, off(28));
        }
        else
        {
            glEnableVertexAttribArray(3);
            glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, stride, off(24));
        }
    }
}

void qor_cGLDevice::bindVertexArray(GLuint vao)
{
    if (m_gl.vao != vao)
    {
        glBindVertexArray(vao);
        m_gl.vao = vao;
    }
}

void qor_cGLDevice::unbindVertexArray(GLuint vao)
{
    if (m_gl.vao == vao)
    {
        glBindVertexArray(0);
        m_gl.vao = 0;
    }
}

void qor_cGLDevice::resetStats() { std::memset(&m_stats, 0, sizeof(m_stats)); }

#if QOR_GLES
// WebGL 2 counts no samples (its queries only tell whether any passed): nPixel stays 0.
void qor_cGLDevice::countPixels(bool) {}
void qor_cGLDevice::collectPixels() {}
void qor_cGLDevice::takePixels(int) {}
#else
void qor_cGLDevice::countPixels(bool bOn)
{
    if (bOn == m_bPixelQuery)
        return;
    if (bOn)
    {
        if (!m_auPixelQuery[0])
            glGenQueries(2, m_auPixelQuery);
        glBeginQuery(GL_SAMPLES_PASSED, m_auPixelQuery[m_iPixelQuery]);
        m_bPixelQuery = true;
        return;
    }
    glEndQuery(GL_SAMPLES_PASSED);
    m_abPixelPending[m_iPixelQuery] = true;
    m_bPixelQuery = false;
    for (int i = 0; i < 2; ++i)
        takePixels(i);
}

void qor_cGLDevice::collectPixels()
{
    if (!m_bPixelQuery)
        return;
    // The running query ends and the other one starts; the other's count, begun a collect
    // earlier, is taken in (its drawing has had the time to end: no wait in most cases).
    glEndQuery(GL_SAMPLES_PASSED);
    m_abPixelPending[m_iPixelQuery] = true;
    m_iPixelQuery ^= 1;
    takePixels(m_iPixelQuery);
    glBeginQuery(GL_SAMPLES_PASSED, m_auPixelQuery[m_iPixelQuery]);
}

void qor_cGLDevice::takePixels(int i)
{
    if (!m_abPixelPending[i])
        return;
    GLuint64 n = 0;
    glGetQueryObjectui64v(m_auPixelQuery[i], GL_QUERY_RESULT, &n);
    m_stats.nPixel += n;
    m_abPixelPending[i] = false;
}
#endif

void qor_cGLDevice::applyGLState()
{
    m_bDirtyGL = false;
    // Cull: Direct3D's clockwise on screen is GL's counter-clockwise (front) here.
    const int cull = m_uCull == 1 ? GL_FRONT : m_uCull == 2 ? GL_BACK : 0;
    if (cull != m_gl.cull)
    {
        if (!cull)
            glDisable(GL_CULL_FACE);
        else
        {
            if (m_gl.cull <= 0)
                glEnable(GL_CULL_FACE);
            glCullFace(cull);
        }
        m_gl.cull = cull;
    }
    if (int(m_bBlend) != m_gl.blend)
    {
        m_bBlend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        m_gl.blend = m_bBlend;
    }
    GLenum src, dst;
    blendFactors(m_uSrcBlend, m_uDstBlend, &src, &dst);
    if (src != m_gl.src || dst != m_gl.dst)
    {
        glBlendFunc(src, dst);
        m_gl.src = src;
        m_gl.dst = dst;
    }
    if (int(m_bZEnable) != m_gl.depthTest)
    {
        m_bZEnable ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
        m_gl.depthTest = m_bZEnable;
    }
    if (int(m_bZWrite) != m_gl.depthMask)
    {
        glDepthMask(m_bZWrite ? GL_TRUE : GL_FALSE);
        m_gl.depthMask = m_bZWrite;
    }
    const GLenum zf = s_aeZFunc[m_uZFunc & 7];
    if (zf != m_gl.depthFunc)
    {
        glDepthFunc(zf);
        m_gl.depthFunc = zf;
    }
    int aiViewport[4];
    scaleRect(m_aiViewport, aiViewport);
    if (std::memcmp(m_gl.viewport, aiViewport, sizeof(aiViewport)) != 0)
    {
        glViewport(aiViewport[0], aiViewport[1], aiViewport[2], aiViewport[3]);
        std::memcpy(m_gl.viewport, aiViewport, sizeof(aiViewport));
    }
    if (m_gl.depthRange[0] != m_afDepthRange[0] || m_gl.depthRange[1] != m_afDepthRange[1])
    {
        glDepthRangef(m_afDepthRange[0], m_afDepthRange[1]);
        m_gl.depthRange[0] = m_afDepthRange[0];
        m_gl.depthRange[1] = m_afDepthRange[1];
    }
}

void qor_cGLDevice::buildKey(uint fvf)
{
    qor_sShaderKey & k = m_key;
    k = qor_sShaderKey();
    const uint f = fvf == QOR_FVF_VERTEX1 ? 1 : fvf == QOR_FVF_VERTEX2 ? 2 : 3;
    k.fvf = static_cast<uint8_t>(f);
    const bool bColor = f != 1;
    k.lighting = m_bLighting && f != 3;
    k.specular = m_bSpecular && k.lighting;
    k.fog = m_bFog;
    k.clipRemap = !m_bClipControl;
    if (k.lighting)
    {
        for (uint i = 0; i < QOR_GL_NB_LIGHT && k.nLight < qor_sShaderKey::kMaxLights; ++i)
            if (m_abLightOn[i])
                k.aLightType[k.nLight++] = static_cast<uint8_t>(m_aLight[i].type <= 2 ? m_aLight[i].type : 0);
        // A vertex colour source the format lacks falls back to the material (no format has
        // the second colour).
        for (int i = 0; i < 4; ++i)
            k.aMatSrc[i] = (m_auMatSrc[i] == 1 && bColor) ? 1 : 0;
    }
    for (uint s = 0; s < QOR_GL_MAX_STAGES; ++s)
    {
        const qor_sGLStageState & st = m_aStage[s];
        if (st.colorOp == 0 || st.colorOp > 10)
            break;
        qor_sShaderKey::Stage & ks = k.aStage[s];
        ks.colorOp = static_cast<uint8_t>(st.colorOp);
        ks.colorArg1 = static_cast<uint8_t>(st.colorOp == 2 ? 0 : st.colorArg1 & 3);
        ks.colorArg2 = static_cast<uint8_t>(st.colorOp == 1 ? 0 : st.colorArg2 & 3);
        if (st.colorOp != 10 && st.alphaOp <= 10)
        {
            ks.alphaOp = static_cast<uint8_t>(st.alphaOp);
            ks.alphaArg1 = static_cast<uint8_t>(st.alphaOp == 0 || st.alphaOp == 2 ? 0 : st.alphaArg1 & 3);
            ks.alphaArg2 = static_cast<uint8_t>(st.alphaOp == 0 || st.alphaOp == 1 ? 0 : st.alphaArg2 & 3);
        }
        const bool bTex = ks.colorArg1 == 1 || ks.colorArg2 == 1 || ks.alphaArg1 == 1 || ks.alphaArg2 == 1;
        if (bTex && st.target)
        {
            ks.texKind = st.target == GL_TEXTURE_CUBE_MAP ? 2 : 1;
            ks.tcSource = static_cast<uint8_t>(f == 3 ? 5 : st.tcSource == 3 ? 2 : st.tcSource);
            const uint count = st.ttFlags & 0xFF;
            if (count >= 1 && count <= 4)
            {
                ks.ttCount = static_cast<uint8_t>(count);
                ks.ttProjected = (st.ttFlags & 0x100) ? 1 : 0;
            }
        }
        ++k.nStage;
    }
    m_uKeyFvf = fvf;
    m_bDirtyKey = false;
    ++m_stats.nStateKey;
}

void qor_cGLDevice::updateDerived()
{
    m_bDirtyDerived = false;
    mul(m_aWorldView, m_aWorld, m_aView);
    mul(m_aWorldViewProj, m_aWorldView, m_aProj);
    normalMatrix(m_aNormalMat, m_aWorldView);
}

void qor_cGLDevice::uploadUniforms(qor_cGLProgram * p)
{
    uint64_t * v = p->m_auVersion;
    if (v[qor_cGLProgram::kGroupTransform] != m_auGroupVersion[qor_cGLProgram::kGroupTransform])
    {
        v[qor_cGLProgram::kGroupTransform] = m_auGroupVersion[qor_cGLProgram::kGroupTransform];
        if (p->m_locWorldView >= 0)
            glUniformMatrix4fv(p->m_locWorldView, 1, GL_TRUE, m_aWorldView);
        if (p->m_locWorldViewProj >= 0)
            glUniformMatrix4fv(p->m_locWorldViewProj, 1, GL_TRUE, m_aWorldViewProj);
        if (p->m_locNormalMat >= 0)
            glUniformMatrix3fv(p->m_locNormalMat, 1, GL_TRUE, m_aNormalMat);
    }
    if (v[qor_cGLProgram::kGroupLighting] != m_auGroupVersion[qor_cGLProgram::kGroupLighting])
    {
        v[qor_cGLProgram::kGroupLighting] = m_auGroupVersion[qor_cGLProgram::kGroupLighting];
        if (p->m_locMaterial >= 0)
        {
            float aMat[20];
            std::memcpy(aMat + 0, m_material.diffuse, 16);
            std::memcpy(aMat + 4, m_material.ambient, 16);
            std::memcpy(aMat + 8, m_material.specular, 16);
            std::memcpy(aMat + 12, m_material.emissive, 16);
            aMat[16] = m_material.power;
            aMat[17] = aMat[18] = aMat[19] = 0.0f;
            glUniform4fv(p->m_locMaterial, 5, aMat);
        }
        if (p->m_locAmbient >= 0)
            glUniform4fv(p->m_locAmbient, 1, m_afAmbient);
        if (p->m_locLights >= 0)
        {
            // The enabled lights, in slot order, moved into camera space.
            int n = 0;
            for (uint i = 0; i < QOR_GL_NB_LIGHT && n < qor_sShaderKey::kMaxLights; ++i)
            {
                if (!m_abLightOn[i])
                    continue;
                const qor_sGLLight & l = m_aLight[i];
                float * o = m_aLightCam[n++];
                std::memcpy(o + 0, l.diffuse, 16);
                std::memcpy(o + 4, l.specular, 16);
                std::memcpy(o + 8, l.ambient, 16);
                const float * V = m_aView;
                const float * P = l.position;
                o[12] = P[0] * V[0] + P[1] * V[4] + P[2] * V[8] + V[12];
                o[13] = P[0] * V[1] + P[1] * V[5] + P[2] * V[9] + V[13];
                o[14] = P[0] * V[2] + P[1] * V[6] + P[2] * V[10] + V[14];
                o[15] = l.range;
                const float * D = l.direction;
                float d[3] = {D[0] * V[0] + D[1] * V[4] + D[2] * V[8], D[0] * V[1] + D[1] * V[5] + D[2] * V[9],
                              D[0] * V[2] + D[1] * V[6] + D[2] * V[10]};
                const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
                const float k = len > 0.0f ? 1.0f / len : 0.0f;
                // Directional lights carry the direction towards the light.
                const float sgn = l.type == 2 ? -k : k;
                o[16] = d[0] * sgn;
                o[17] = d[1] * sgn;
                o[18] = d[2] * sgn;
                o[19] = l.falloff;
                o[20] = l.attenuation[0];
                o[21] = l.attenuation[1];
                o[22] = l.attenuation[2];
                o[23] = 0.0f;
                o[24] = std::cos(l.theta * 0.5f);
                o[25] = std::cos(l.phi * 0.5f);
                o[26] = o[27] = 0.0f;
            }
            m_nActiveLight = n;
            if (n)
                glUniform4fv(p->m_locLights, n * qor_cGLProgram::kLightVec4, &m_aLightCam[0][0]);
        }
    }
    if (v[qor_cGLProgram::kGroupTexMatrix] != m_auGroupVersion[qor_cGLProgram::kGroupTexMatrix])
    {
        v[qor_cGLProgram::kGroupTexMatrix] = m_auGroupVersion[qor_cGLProgram::kGroupTexMatrix];
        if (p->m_locTexMat >= 0)
            glUniformMatrix4fv(p->m_locTexMat, QOR_GL_MAX_STAGES, GL_TRUE, &m_aTexMatrix[0][0]);
    }
    if (v[qor_cGLProgram::kGroupFog] != m_auGroupVersion[qor_cGLProgram::kGroupFog])
    {
        v[qor_cGLProgram::kGroupFog] = m_auGroupVersion[qor_cGLProgram::kGroupFog];
        if (p->m_locFogColor >= 0)
            glUniform4fv(p->m_locFogColor, 1, m_afFogColor);
        if (p->m_locFog >= 0)
        {
            const float range = m_fFogEnd - m_fFogStart;
            glUniform4f(p->m_locFog, m_fFogStart, m_fFogEnd, range != 0.0f ? 1.0f / range : 1e30f, 0.0f);
        }
    }
    if (v[qor_cGLProgram::kGroupViewport] != m_auGroupVersion[qor_cGLProgram::kGroupViewport])
    {
        v[qor_cGLProgram::kGroupViewport] = m_auGroupVersion[qor_cGLProgram::kGroupViewport];
        if (p->m_locViewport >= 0)
            glUniform4f(p->m_locViewport, float(m_aiViewport[0]), float(m_aiViewport[1]),
                        float(m_aiViewport[2] ? m_aiViewport[2] : 1), float(m_aiViewport[3] ? m_aiViewport[3] : 1));
    }
}

void qor_cGLDevice::bindTextures()
{
    m_bDirtyTextures = false;
    for (uint s = 0; s < QOR_GL_MAX_STAGES; ++s)
    {
        const qor_sGLStageState & st = m_aStage[s];
        if (st.texture != m_gl.texture[s] || st.target != m_gl.texTarget[s])
        {
            glActiveTexture(GL_TEXTURE0 + s);
            if (m_gl.texTarget[s] && m_gl.texTarget[s] != st.target)
                glBindTexture(m_gl.texTarget[s], 0);
            if (st.target)
                glBindTexture(st.target, st.texture);
            m_gl.texture[s] = st.texture;
            m_gl.texTarget[s] = st.target;
        }
        if (m_abSamplerDirty[s])
        {
            m_abSamplerDirty[s] = false;
            glSamplerParameteri(m_auSampler[s], GL_TEXTURE_MAG_FILTER, s_aiFilter[st.magFilter & 1]);
            glSamplerParameteri(m_auSampler[s], GL_TEXTURE_MIN_FILTER, s_aiFilter[st.minFilter & 1]);
        }
    }
}

bool qor_cGLDevice::drawTriangles(GLuint vao, uint fvf, int iFirst, int nVertex)
{
    if (nVertex < 3)
        return true;
    if (!prepareDraw(vao, fvf, nVertex))
        return false;
    QOR_GL_CHECK(glDrawArrays(GL_TRIANGLES, iFirst, nVertex - nVertex % 3));
    return true;
}

bool qor_cGLDevice::drawIndexed(GLuint vao, uint fvf, int nIndex, bool bShort)
{
    if (nIndex < 3)
        return true;
    if (!prepareDraw(vao, fvf, nIndex))
        return false;
    QOR_GL_CHECK(
        glDrawElements(GL_TRIANGLES, nIndex - nIndex % 3, bShort ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT, nullptr));
    return true;
}

bool qor_cGLDevice::prepareDraw(GLuint vao, uint fvf, int nVertex)
{
    if (m_bDirtyGL)
        applyGLState();
    if (m_bDirtyDerived)
        updateDerived();
    ++m_stats.nDraw;
    m_stats.nTriangle += uint64_t(nVertex / 3);
    if (m_bDirtyKey || fvf != m_uKeyFvf || !m_pProgram)
    {
        buildKey(fvf);
        qor_cGLShaderCache::eSource eSource = qor_cGLShaderCache::kFound;
        m_pProgram = m_cache.get(m_key, &eSource);
        if (eSource == qor_cGLShaderCache::kCompiled)
            ++m_stats.nShaderCompile;
        else if (eSource == qor_cGLShaderCache::kLoaded)
            ++m_stats.nShaderLoad;
        else
            ++m_stats.nShaderHit;
    }
    else
        ++m_stats.nShaderHit;
    if (!m_pProgram)
        return false;
    if (m_gl.program != m_pProgram->m_uProgram)
    {
        glUseProgram(m_pProgram->m_uProgram);
        m_gl.program = m_pProgram->m_uProgram;
    }
    uploadUniforms(m_pProgram);
    if (m_bDirtyTextures)
        bindTextures();
    if (m_gl.fbo != m_uFbo)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_uFbo);
        m_gl.fbo = m_uFbo;
    }
    bindVertexArray(vao);
    return true;
}
