#include "qor_cGLShader.h"

#include "qor_cErrorHandler.h"

#include <cstdio>
#include <iterator>
#include <vector>

size_t qor_sShaderKey::hash() const
{
    // FNV-1a over the bytes of the key (all fields are bytes, no padding holes).
    const uint8_t * p = reinterpret_cast<const uint8_t *>(this);
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < sizeof(*this); ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return static_cast<size_t>(h);
}
static_assert(sizeof(qor_sShaderKey) == 22 + 4 * sizeof(qor_sShaderKey::Stage), "the key must have no padding");

namespace
{
// ----- Combiner tables (qor_eTexArg and qor_eTexOp numbering)

// qor_eTexArg: 0 current, 1 texture, 2 diffuse, 3 specular. "%d" is the stage's texture.
const char * const s_aszArg[] = {"cur", "t%d", "vDiffuse", "vSpecular"};
static_assert(std::size(s_aszArg) == 4);

// qor_eTexOp with Direct3D 8's formulas; every result saturates to 0..1 as the fixed-point
// combiners of the hardware do. a = arg1, b = arg2. Index 10 (dot product 3) is handled apart.
const char * const s_aszOp[] = {
    "a",                                  // 0 disable (never generated: the stage ends the chain)
    "a",                                  // 1 select arg1
    "b",                                  // 2 select arg2
    "a * b",                              // 3 modulate
    "clamp(a * b * 2.0, 0.0, 1.0)",       // 4 modulate 2x
    "clamp(a * b * 4.0, 0.0, 1.0)",       // 5 modulate 4x
    "clamp(a + b, 0.0, 1.0)",             // 6 add
    "clamp(a + b - 0.5, 0.0, 1.0)",       // 7 add signed
    "clamp((a + b - 0.5) * 2.0, 0.0, 1.0)", // 8 add signed 2x
    "clamp(a - b, 0.0, 1.0)",             // 9 subtract
    "",                                   // 10 dot product 3
};
static_assert(std::size(s_aszOp) == 11);

std::string format(const char * szFormat, int i, int j = 0)
{
    char ac[256];
    std::snprintf(ac, sizeof(ac), szFormat, i, j);
    return ac;
}

std::string argExpr(int iArg, int iStage, const char * szSwizzle)
{
    return format(s_aszArg[iArg & 3], iStage) + szSwizzle;
}

void appendLight(std::string & s, int i, int iType)
{
    char ac[2048];
    const int b = i * qor_cGLProgram::kLightVec4;
    if (iType == 2)
    {
        // Directional: uLights[b+4].xyz holds the direction towards the light (camera space).
        std::snprintf(ac, sizeof(ac),
                      "    {\n"
                      "        vec3 L = uLights[%d].xyz;\n"
                      "        amb += uLights[%d].rgb;\n"
                      "        float nl = dot(N, L);\n"
                      "        if (nl > 0.0)\n"
                      "        {\n"
                      "            dif += uLights[%d].rgb * nl;\n"
                      "            float nh = dot(N, normalize(L + V));\n"
                      "            if (nh > 0.0) spe += uLights[%d].rgb * pow(nh, uMaterial[4].x);\n"
                      "        }\n"
                      "    }\n",
                      b + 4, b + 2, b + 0, b + 1);
        s += ac;
        return;
    }
    std::snprintf(ac, sizeof(ac),
                  "    {\n"
                  "        vec3 D = uLights[%d].xyz - P;\n"
                  "        float d = length(D);\n"
                  "        if (d <= uLights[%d].w)\n"
                  "        {\n"
                  "            vec3 L = d > 0.0 ? D / d : vec3(0.0, 0.0, -1.0);\n"
                  "            vec3 at = uLights[%d].xyz;\n"
                  "            float den = at.x + at.y * d + at.z * d * d;\n"
                  "            float f = den > 0.0 ? 1.0 / den : 1.0;\n",
                  b + 3, b + 3, b + 5);
    s += ac;
    if (iType == 1)
    {
        // Spot: inside theta/2 full, outside phi/2 nothing, between ((rho - cos phi/2) /
        // (cos theta/2 - cos phi/2)) ^ falloff. uLights[b+4].xyz is the light's direction.
        std::snprintf(ac, sizeof(ac),
                      "            float rho = dot(-L, uLights[%d].xyz);\n"
                      "            vec2 cs = uLights[%d].xy;\n"
                      "            float sp = rho > cs.x ? 1.0 : (rho <= cs.y ? 0.0 :\n"
                      "                       pow((rho - cs.y) / (cs.x - cs.y), uLights[%d].w));\n"
                      "            f *= sp;\n",
                      b + 4, b + 6, b + 4);
        s += ac;
    }
    std::snprintf(ac, sizeof(ac),
                  "            amb += uLights[%d].rgb * f;\n"
                  "            float nl = dot(N, L);\n"
                  "            if (nl > 0.0)\n"
                  "            {\n"
                  "                dif += uLights[%d].rgb * (nl * f);\n"
                  "                float nh = dot(N, normalize(L + V));\n"
                  "                if (nh > 0.0) spe += uLights[%d].rgb * (pow(nh, uMaterial[4].x) * f);\n"
                  "            }\n"
                  "        }\n"
                  "    }\n",
                  b + 2, b + 0, b + 1);
    s += ac;
}

// The material colour of one lighting term: 0 the material, 1 the vertex colour.
const char * matColor(const qor_sShaderKey & key, int iWhich)
{
    static const char * const s_aszMat[] = {"uMaterial[0]", "uMaterial[1]", "uMaterial[2]", "uMaterial[3]"};
    return key.aMatSrc[iWhich] ? "aColor" : s_aszMat[iWhich];
}
} // namespace

bool qor_cGLShaderCache::s_bES = QOR_GLES;

namespace
{
// GLSL ES needs a default precision for floats in fragment shaders; highp everywhere keeps the
// arithmetic of the desktop's single precision floats.
std::string header()
{
    return qor_cGLShaderCache::isES() ? "#version 300 es\nprecision highp float;\nprecision highp int;\n"
                                      : "#version 330 core\n";
}
} // namespace

std::string qor_cGLShaderCache::vertexSource(const qor_sShaderKey & key)
{
    const bool bRHW = key.fvf == 3;
    const bool bColor = key.fvf == 2 || key.fvf == 3;
    std::string s = header();
    s += "layout(location = 0) in vec4 aPos;\n";
    if (!bRHW)
        s += "layout(location = 1) in vec3 aNormal;\n";
    if (bColor && kColorSwizzle)
        s += "layout(location = 2) in vec4 aColorRGBA;\n#define aColor aColorRGBA.bgra\n";
    else if (bColor)
        s += "layout(location = 2) in vec4 aColor;\n";
    s += "layout(location = 3) in vec2 aUV;\n";
    // Matrices arrive as Direct3D's row-major floats with transpose on, so `v * M` is Direct3D.
    s += "uniform mat4 uWorldView;\nuniform mat4 uWorldViewProj;\nuniform mat3 uNormalMat;\n";
    s += "uniform mat4 uTexMat[4];\nuniform vec4 uViewport;\n";
    if (key.lighting)
    {
        s += "uniform vec4 uMaterial[5];\nuniform vec4 uAmbient;\n";
        s += format("uniform vec4 uLights[%d];\n", key.nLight ? key.nLight * qor_cGLProgram::kLightVec4 : 1);
    }
    s += "out vec4 vDiffuse;\nout vec4 vSpecular;\nout float vFogDepth;\n";
    for (int i = 0; i < key.nStage; ++i)
        if (key.aStage[i].texKind)
            s += format("out vec4 vTex%d;\n", i);
    s += "void main()\n{\n";

    if (bRHW)
    {
        // Pre-transformed pixels: Direct3D samples pixel centres at integer coordinates, GL at
        // half-integers, so x + 0.5 lands where Direct3D puts x. The position is absolute in the
        // target; clip coordinates are relative to the viewport (which also clips, as in
        // Direct3D). w = 1 / rhw keeps texture and colour interpolation perspective-correct.
        s += "    float w = aPos.w != 0.0 ? 1.0 / aPos.w : 1.0;\n"
             "    vec2 ndc = vec2((aPos.x + 0.5 - uViewport.x) / uViewport.z * 2.0 - 1.0,\n"
             "                    1.0 - (aPos.y + 0.5 - uViewport.y) / uViewport.w * 2.0);\n"
             "    gl_Position = vec4(ndc * w, aPos.z * w, w);\n"
             "    vFogDepth = w;\n";
        s += bColor ? "    vDiffuse = aColor;\n" : "    vDiffuse = vec4(1.0);\n";
        s += "    vSpecular = vec4(0.0);\n";
    }
    else
    {
        s += "    vec4 pos = vec4(aPos.xyz, 1.0);\n"
             "    vec3 P = (pos * uWorldView).xyz;\n"
             "    vec3 N = aNormal * uNormalMat;\n"
             "    float nlen = length(N);\n"
             "    N = nlen > 0.0 ? N / nlen : N;\n"
             "    gl_Position = pos * uWorldViewProj;\n"
             "    vFogDepth = P.z;\n";
        if (key.lighting)
        {
            // Direct3D 8 lighting in camera space with a local viewer.
            s += "    float plen = length(P);\n"
                 "    vec3 V = plen > 0.0 ? -P / plen : vec3(0.0, 0.0, -1.0);\n"
                 "    vec3 dif = vec3(0.0), spe = vec3(0.0), amb = vec3(0.0);\n";
            for (int i = 0; i < key.nLight; ++i)
                appendLight(s, i, key.aLightType[i]);
            s += "    vec4 md = ";
            s += matColor(key, 0);
            s += ";\n    vec4 ma = ";
            s += matColor(key, 1);
            s += ";\n    vec4 ms = ";
            s += matColor(key, 2);
            s += ";\n    vec4 me = ";
            s += matColor(key, 3);
            s += ";\n";
            s += "    vDiffuse = vec4(clamp(me.rgb + ma.rgb * (uAmbient.rgb + amb) + md.rgb * dif, 0.0, 1.0),\n"
                 "                    clamp(md.a, 0.0, 1.0));\n"
                 "    vSpecular = vec4(clamp(ms.rgb * spe, 0.0, 1.0), 0.0);\n";
        }
        else
        {
            s += bColor ? "    vDiffuse = aColor;\n" : "    vDiffuse = vec4(1.0);\n";
            s += "    vSpecular = vec4(0.0);\n";
        }
    }

    for (int i = 0; i < key.nStage; ++i)
    {
        const qor_sShaderKey::Stage & st = key.aStage[i];
        if (!st.texKind)
            continue;
        // The input set: a 2D set is (u, v, 1, 0), so a transform takes its translation from
        // the third row; a generated 3D set is (x, y, z, 1), translation from the fourth row.
        if (bRHW || st.tcSource == 5)
            s += format("    vec4 tc%d = vec4(aUV, 1.0, 0.0);\n", i);
        else if (st.tcSource == 0)
            s += format("    vec4 tc%d = vec4(N, 1.0);\n", i);
        else if (st.tcSource == 4)
            s += format("    vec4 tc%d = vec4(2.0 * dot(V_, N) * N - V_, 1.0);\n", i);
        else
            s += format("    vec4 tc%d = vec4(P, 1.0);\n", i);
        // Pre-transformed vertices skip the texture transform (Direct3D bypasses the vertex
        // pipeline for them); the projected divide still happens in the fragment shader.
        if (st.ttCount && !bRHW)
            s += format("    tc%d = tc%d * uTexMat[", i, i) + format("%d];\n", i);
        s += format("    vTex%d = tc%d;\n", i, i);
    }
    // The reflection vector needs the eye vector even without lighting.
    if (s.find("V_") != std::string::npos)
    {
        const std::string szEye = "    float pl_ = length(P);\n"
                                  "    vec3 V_ = pl_ > 0.0 ? -P / pl_ : vec3(0.0, 0.0, -1.0);\n";
        const size_t pos = s.find("    vec4 tc");
        s.insert(pos, szEye);
    }
    if (!bRHW)
    {
        // Direct3D puts pixel centres at integer screen coordinates for transformed geometry
        // too: clip x = -1 is the centre of the viewport's first column, where GL has its left
        // edge. Half a pixel of the current viewport (which is the render target's size when
        // drawing into a texture), in clip units times w, moves the picture right and down.
        s += "    gl_Position.xy += vec2(1.0 / uViewport.z, -1.0 / uViewport.w) * gl_Position.w;\n";
    }
    if (key.clipRemap)
        s += "    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;\n";
    // Direct3D orientation: row 0 of every target is the top of the picture.
    s += "    gl_Position.y = -gl_Position.y;\n";
    s += "}\n";
    return s;
}

std::string qor_cGLShaderCache::fragmentSource(const qor_sShaderKey & key)
{
    std::string s = header();
    s += "in vec4 vDiffuse;\nin vec4 vSpecular;\nin float vFogDepth;\n";
    for (int i = 0; i < key.nStage; ++i)
    {
        const qor_sShaderKey::Stage & st = key.aStage[i];
        if (!st.texKind)
            continue;
        s += format("in vec4 vTex%d;\n", i);
        s += format(st.texKind == 2 ? "uniform samplerCube uTex%d;\n" : "uniform sampler2D uTex%d;\n", i);
    }
    if (key.fog)
        s += "uniform vec4 uFogColor;\nuniform vec4 uFog;\n";
    s += "out vec4 oColor;\n";
    s += "void main()\n{\n    vec4 cur = vDiffuse;\n";
    for (int i = 0; i < key.nStage; ++i)
    {
        const qor_sShaderKey::Stage & st = key.aStage[i];
        // Texel of the stage: no texture reads as opaque white.
        if (!st.texKind)
            s += format("    vec4 t%d = vec4(1.0);\n", i);
        else
        {
            const int n = st.ttCount;
            std::string c = format("vTex%d", i);
            if (st.texKind == 2)
            {
                std::string v = n == 1 ? c + ".x, 0.0, 0.0" : n == 2 ? c + ".xy, 0.0" : c + ".xyz";
                s += format("    vec4 t%d = texture(uTex", i) + format("%d, vec3(", i) + v + "));\n";
            }
            else
            {
                std::string v;
                if (st.ttProjected && n == 2)
                    v = "vec2(" + c + ".x / " + c + ".y, 0.0)"; // count 2 projected: u / v, one coordinate
                else if (st.ttProjected && n >= 3)
                    v = c + ".xy / " + c + (n == 3 ? ".z" : ".w");
                else
                    v = n == 1 ? "vec2(" + c + ".x, 0.0)" : c + ".xy";
                s += format("    vec4 t%d = texture(uTex", i) + format("%d, ", i) + v + ");\n";
            }
        }
        s += "    {\n";
        if (st.colorOp == 10)
        {
            // Dot product 3: the arguments as signed vectors, the sum replicated to all four
            // channels, alpha included (the alpha operation is overridden).
            s += "        vec3 a = " + argExpr(st.colorArg1, i, ".rgb") + ";\n";
            s += "        vec3 b = " + argExpr(st.colorArg2, i, ".rgb") + ";\n";
            s += "        cur = vec4(clamp(4.0 * dot(a - 0.5, b - 0.5), 0.0, 1.0));\n";
        }
        else
        {
            s += "        vec3 a = " + argExpr(st.colorArg1, i, ".rgb") + ";\n";
            s += "        vec3 b = " + argExpr(st.colorArg2, i, ".rgb") + ";\n";
            s += std::string("        vec3 c = ") + s_aszOp[st.colorOp] + ";\n";
            if (st.alphaOp == 0)
                s += "        float r = cur.a;\n"; // alpha disabled under an enabled colour: kept
            else if (st.alphaOp == 10)
            {
                s += "        vec3 aa = " + argExpr(st.alphaArg1, i, ".rgb") + ";\n";
                s += "        vec3 ab = " + argExpr(st.alphaArg2, i, ".rgb") + ";\n";
                s += "        float r = clamp(4.0 * dot(aa - 0.5, ab - 0.5), 0.0, 1.0);\n";
            }
            else
            {
                s += "        {\n";
                s += "            float a = " + argExpr(st.alphaArg1, i, ".a") + ";\n";
                s += "            float b = " + argExpr(st.alphaArg2, i, ".a") + ";\n";
                s += std::string("            r_ = ") + s_aszOp[st.alphaOp] + ";\n";
                s += "        }\n";
                s += "        float r = r_;\n";
            }
            s += "        cur = vec4(c, r);\n";
        }
        s += "    }\n";
    }
    if (s.find("r_ =") != std::string::npos)
        s.insert(s.find("    vec4 cur = vDiffuse;\n"), "    float r_;\n");
    if (key.specular)
        s += "    cur.rgb = clamp(cur.rgb + vSpecular.rgb, 0.0, 1.0);\n";
    if (key.fog)
    {
        // Linear fog on eye depth: f = (end - d) / (end - start), 1 keeps the colour.
        s += "    float f = clamp((uFog.y - vFogDepth) * uFog.z, 0.0, 1.0);\n"
             "    cur.rgb = mix(uFogColor.rgb, cur.rgb, f);\n";
    }
    s += "    oColor = cur;\n}\n";
    return s;
}

namespace
{
bool compileShader(GLuint uShader, const std::string & src, cchar * szKind)
{
    const char * p = src.c_str();
    glShaderSource(uShader, 1, &p, nullptr);
    glCompileShader(uShader);
    GLint iOk = 0;
    glGetShaderiv(uShader, GL_COMPILE_STATUS, &iOk);
    if (iOk)
        return true;
    GLint n = 0;
    glGetShaderiv(uShader, GL_INFO_LOG_LENGTH, &n);
    std::vector<char> log(n > 0 ? n + 1 : 1, 0);
    glGetShaderInfoLog(uShader, static_cast<GLsizei>(log.size()), nullptr, log.data());
    QOR_LOG_LOCATION();
    qoru_logError("qor_cGLShaderCache: %s shader failed to compile\n%s\n%s\n", szKind, log.data(), src.c_str());
    return false;
}
} // namespace

GLuint qor_cGLShaderCache::compileAndLink(const std::string & vsSource, const std::string & fsSource)
{
    const GLuint vs = glCreateShader(GL_VERTEX_SHADER);
    const GLuint fs = glCreateShader(GL_FRAGMENT_SHADER);
    const bool bOk = compileShader(vs, vsSource, "vertex") && compileShader(fs, fsSource, "fragment");
    if (!bOk)
    {
        glDeleteShader(vs);
        glDeleteShader(fs);
        return 0;
    }
    const GLuint prog = glCreateProgram();
    // The linked program is written to the on-disk store afterwards.
#if !QOR_GLES
    glProgramParameteri(prog, GL_PROGRAM_BINARY_RETRIEVABLE_HINT, GL_TRUE);
#endif
    glAttachShader(prog, vs);
    glAttachShader(prog, fs);
    glLinkProgram(prog);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint iOk = 0;
    glGetProgramiv(prog, GL_LINK_STATUS, &iOk);
    if (!iOk)
    {
        char ac[2048] = {0};
        glGetProgramInfoLog(prog, sizeof(ac) - 1, nullptr, ac);
        QOR_LOG_LOCATION();
        qoru_logError("qor_cGLShaderCache: program failed to link\n%s\n", ac);
        glDeleteProgram(prog);
        return 0;
    }
    return prog;
}

qor_cGLProgram * qor_cGLShaderCache::wrap(GLuint prog)
{
    qor_cGLProgram * p = new qor_cGLProgram;
    p->m_uProgram = prog;
    p->m_locWorldView = glGetUniformLocation(prog, "uWorldView");
    p->m_locWorldViewProj = glGetUniformLocation(prog, "uWorldViewProj");
    p->m_locNormalMat = glGetUniformLocation(prog, "uNormalMat");
    p->m_locTexMat = glGetUniformLocation(prog, "uTexMat");
    p->m_locViewport = glGetUniformLocation(prog, "uViewport");
    p->m_locMaterial = glGetUniformLocation(prog, "uMaterial");
    p->m_locAmbient = glGetUniformLocation(prog, "uAmbient");
    p->m_locLights = glGetUniformLocation(prog, "uLights");
    p->m_locFogColor = glGetUniformLocation(prog, "uFogColor");
    p->m_locFog = glGetUniformLocation(prog, "uFog");
    // Stage s samples texture unit s (uniform values are not part of a program binary).
    glUseProgram(prog);
    for (int i = 0; i < qor_sShaderKey::kMaxStages; ++i)
    {
        const GLint loc = glGetUniformLocation(prog, format("uTex%d", i).c_str());
        if (loc >= 0)
            glUniform1i(loc, i);
    }
    return p;
}

qor_cGLProgram * qor_cGLShaderCache::get(const qor_sShaderKey & key, eSource * peSource)
{
    auto it = m_map.find(key);
    if (it != m_map.end())
    {
        *peSource = kFound;
        return it->second;
    }
    const std::string vs = vertexSource(key), fs = fragmentSource(key);
    const uint64_t uSourceHash = qor_cGLProgramStore::hashBytes(fs.data(), fs.size(),
                                                                qor_cGLProgramStore::hashBytes(vs.data(), vs.size()));
    GLuint prog = m_store.load(key, uSourceHash);
    if (prog)
    {
        *peSource = kLoaded;
        ++m_uLoad;
    }
    else
    {
        *peSource = kCompiled;
        ++m_uCompile;
        prog = compileAndLink(vs, fs);
        if (prog)
            m_store.save(key, uSourceHash, prog);
    }
    qor_cGLProgram * p = prog ? wrap(prog) : nullptr;
    m_map.emplace(key, p); // a failed key stays null: it is not compiled again
    return p;
}

void qor_cGLShaderCache::clear()
{
    for (auto & kv : m_map)
    {
        if (kv.second)
        {
            glDeleteProgram(kv.second->m_uProgram);
            delete kv.second;
        }
    }
    m_map.clear();
}

qor_cGLShaderCache::~qor_cGLShaderCache()
{
    // The GL objects go with the context; destroy() of the device calls clear() first.
    for (auto & kv : m_map)
        delete kv.second;
}
