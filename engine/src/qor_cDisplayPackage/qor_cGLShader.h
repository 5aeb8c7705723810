// Generated GLSL for the Direct3D 8 fixed-function pipeline, cached by state key.
//
// A qor_sShaderKey holds everything that changes the shape of the shaders (vertex format,
// lighting and the type of each active light, material colour sources, fog, the combiners,
// coordinate sources, transform flags and texture kind of each active stage). Everything that
// is only a value (matrices, colours, light positions, fog range) is a uniform. The key is
// normalised (unused fields zero) so that equal pipelines share one program.
#pragma once

#include "qor_cGLProgramStore.h"
#include "qor_types.h"

#include "qor_gl.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

struct qor_sShaderKey
{
    static constexpr int kMaxLights = 8;
    static constexpr int kMaxStages = 4;

    struct Stage
    {
        uint8_t colorOp, colorArg1, colorArg2; // qor_eTexOp / qor_eTexArg numbering
        uint8_t alphaOp, alphaArg1, alphaArg2;
        uint8_t tcSource;    // 0 camera-space normal, 2 position, 4 reflection, 5 own set
        uint8_t ttCount;     // 0 (no transform) or 1..4
        uint8_t ttProjected; // 1: divide by the last counted component
        uint8_t texKind;     // 0 none (reads white), 1 2D, 2 cube
    };

    uint8_t fvf;      // 1 = 0x112, 2 = 0x152, 3 = 0x144
    uint8_t lighting; // per-vertex lighting on (never for 0x144)
    uint8_t specular; // D3DRS_SPECULARENABLE: add the specular colour after the stages
    uint8_t fog;      // linear fog on eye depth
    uint8_t clipRemap; // no clip control: z 0..1 remapped in the vertex shader
    uint8_t nLight;
    uint8_t aLightType[kMaxLights]; // 0 point, 1 spot, 2 directional
    uint8_t aMatSrc[4];             // diffuse, ambient, specular, emissive: 0 material, 1 vertex colour
    uint8_t nStage;                 // stages before the first disabled colour operation
    uint8_t pad[3];
    Stage aStage[kMaxStages];

    qor_sShaderKey() { std::memset(this, 0, sizeof(*this)); }
    bool operator==(const qor_sShaderKey & k) const { return std::memcmp(this, &k, sizeof(*this)) == 0; }
    bool operator!=(const qor_sShaderKey & k) const { return !(*this == k); }
    size_t hash() const;
};

struct qor_sShaderKeyHash
{
    size_t operator()(const qor_sShaderKey & k) const { return k.hash(); }
};

// One linked program with its uniform locations and the version of each uniform group it
// last received (the device re-sends a group only when its version moved on).
class qor_cGLProgram
{
public:
    enum
    {
        kGroupTransform, // world-view, world-view-projection, normal matrix
        kGroupLighting,  // material, global ambient, camera-space lights
        kGroupTexMatrix, // texture matrices
        kGroupFog,       // fog colour and range
        kGroupViewport,  // viewport for pre-transformed vertices
        kNbGroup
    };
    // vec4s per light in uLights: diffuse, specular, ambient, position + range,
    // direction + falloff, attenuation, spot cosines
    static constexpr int kLightVec4 = 7;

    GLuint m_uProgram = 0;
    GLint m_locWorldView = -1, m_locWorldViewProj = -1, m_locNormalMat = -1;
    GLint m_locTexMat = -1, m_locViewport = -1;
    GLint m_locMaterial = -1, m_locAmbient = -1, m_locLights = -1;
    GLint m_locFogColor = -1, m_locFog = -1;
    uint64_t m_auVersion[kNbGroup] = {};
};

class qor_cGLShaderCache
{
public:
    qor_cGLShaderCache() = default;
    ~qor_cGLShaderCache();
    qor_cGLShaderCache(const qor_cGLShaderCache &) = delete;
    qor_cGLShaderCache & operator=(const qor_cGLShaderCache &) = delete;

    enum eSource
    {
        kFound,    // already in memory
        kLoaded,   // read from the program store on disk
        kCompiled, // generated, compiled and linked (and written to the store)
    };
    // The program for a key; *peSource says where it came from. Null when the generated
    // shaders fail to compile (the info log goes to the error log).
    qor_cGLProgram * get(const qor_sShaderKey & key, eSource * peSource);
    // Deletes every program (context current).
    void clear();
    size_t size() const { return m_map.size(); }
    // With the context current: opens the on-disk program store (see qor_cGLProgramStore.h).
    void openStore() { m_store.open(); }
    const qor_cGLProgramStore & getStore() const { return m_store; }
    // Programs compiled and linked from source, and programs read from the store, since the
    // cache was made.
    uint getCompileCount() const { return m_uCompile; }
    uint getLoadCount() const { return m_uLoad; }

    // The shading language of the generated sources: GLSL 3.30 core, or GLSL ES 3.00 (WebGL 2,
    // also accepted by desktop drivers with ES 3 compatibility). ES where QOR_GLES.
    static void setES(bool bES) { s_bES = bES; }
    static bool isES() { return s_bES; }
    // The vertex colour attribute arrives as RGBA (OpenGL ES has no BGRA attribute) and the
    // vertex shader turns it back into Direct3D's BGRA order.
    static constexpr bool kColorSwizzle = QOR_GLES;

    // The generated sources (also used by tests and the architecture notes).
    static std::string vertexSource(const qor_sShaderKey & key);
    static std::string fragmentSource(const qor_sShaderKey & key);
    // A linked program from two sources (the device's own fixed programs use it too); 0, with
    // the info log in the error log, when either fails to compile or the link fails.
    static GLuint compileAndLink(const std::string & vs, const std::string & fs);

private:
    static qor_cGLProgram * wrap(GLuint uProgram);
    std::unordered_map<qor_sShaderKey, qor_cGLProgram *, qor_sShaderKeyHash> m_map;
    qor_cGLProgramStore m_store;
    uint m_uCompile = 0;
    uint m_uLoad = 0;
    static bool s_bES;
};
