// Writers of scene files (.s3d, a chunk table) and their animation files (.MOT, a chunked
// stream), on the writing halves of the containers. Tests, tools and the sample show build
// their files with them instead of shipping binaries.
//
// Every record is laid out as the loader reads it (qor_c3dLoader.h gives the offsets). Names are
// written into their fixed fields: a name as long as the field fills it without a NUL, a longer
// one is cut. The raw forms (addChunk, addRawChunk, qor_cS3dBytes) write anything at all, for
// files that must be broken on purpose.
#pragma once

#include "qor_c3dLoader.h"
#include "qor_cColor.h"
#include "qor_cQuaternion.h"
#include "qor_cVector2.h"
#include "qor_cVector3.h"
#include "tz_cChunkTable.h"

#include <string>
#include <vector>

// A little-endian byte builder.
class qor_cS3dBytes
{
public:
    qor_cS3dBytes & u8(uint n);
    qor_cS3dBytes & u16(uint n);
    qor_cS3dBytes & u32(uint n);
    qor_cS3dBytes & f32(float f);
    qor_cS3dBytes & vec2(const qor_cVector2 & v) { return f32(v.x).f32(v.y); }
    qor_cS3dBytes & vec3(const qor_cVector3 & v) { return f32(v.x).f32(v.y).f32(v.z); }
    qor_cS3dBytes & rgba(const qor_cColor & c) { return f32(c.r).f32(c.g).f32(c.b).f32(c.a); }
    // sz into a field of nField bytes, NUL-padded; cut when longer.
    qor_cS3dBytes & name(const std::string & sz, uint nField = e_qor_s3dName);
    qor_cS3dBytes & zeros(size_t n);
    qor_cS3dBytes & bytes(const void * p, size_t n);
    // Overwrites 4 bytes at nOffset (the builder must already hold them).
    qor_cS3dBytes & putU32(size_t nOffset, uint n);

    const std::vector<uchar> & data() const { return m_data; }
    size_t size() const { return m_data.size(); }

private:
    std::vector<uchar> m_data;
};

// The common object record.
struct qor_sS3dWObject
{
    std::string m_strName;
    qor_cVector3 m_vCenter;
    float m_fRadius = 1.0f;
};

struct qor_sS3dWBoundary
{
    uint m_nFirstFace = 0;
    uint m_nFaceCount = 0;
    std::string m_strMaterial;
};

struct qor_sS3dWMeshData
{
    uint m_nPositionBase = 0;
    uint m_nNormalBase = 0;
    bool m_bHasUV = false;
    uint m_nUVBase = 0;
    bool m_bHasColor = false;
    uint m_nColorBase = 0;
    uint m_nFaceBase = 0;
    std::vector<qor_sS3dWBoundary> m_boundaries;
    uint m_nK1 = 0;  // 104-byte records written as zeros
    uint m_nK2 = 0;  // 36-byte records written as zeros
    std::vector<qor_sS3dSkin> m_skins;
};

struct qor_sS3dWMaterial
{
    std::string m_strName;
    qor_cColor m_ambient;
    qor_cColor m_diffuse;
    qor_cColor m_specular;
    qor_cColor m_emissive;
    float m_fPower = 0.0f;
    float m_fSpecularLevel = 0.0f;
    float m_fAmount = 0.0f;
    uint m_translucy = 0;
    uint m_nOpacityMap = 0;
    uint m_nTwoSided = 0;
    std::string m_strDiffuse;
    std::string m_strBump;
    std::string m_strSecond;
};

struct qor_sS3dWTexture
{
    uint m_nKind = 0;
    std::string m_strName;
    std::string m_strAlphaName;
    uint m_nFrame = 0;
    float m_playbackRate = 0.0f;
    uint m_endMode = 0;  // as stored in the file
};

struct qor_sS3dWParticleSystem
{
    uint m_nParticle = 0;
    uint m_nLifeBase = 0;
    uint m_nLifeRandom = 0;
    uint m_nStream = 0;
    uint m_nVisibility = 0;
    uint m_nOneShot = 0;
    qor_cVector3 m_vAcceleration;
    qor_cVector3 m_vBoxHalf;
    qor_cVector3 m_vVelocity;
    qor_cVector3 m_vVelocityRandom;
    qor_cColor m_startColor;  // 0..255
    qor_cColor m_endColor;    // 0..255
    float m_fStartSize = 0.0f;
    float m_fStartSizeRandom = 0.0f;
    float m_fEndSize = 0.0f;
    float m_fEndSizeRandom = 0.0f;
    std::string m_strMaterialName;
    std::string m_strEmitter;
};

struct qor_sS3dWMorphTarget
{
    std::string m_strName;
    std::vector<qor_sS3dMorphKey> m_keys;
};

// A scene file under construction: each add appends one chunk, in file order.
class qor_cS3dWriter
{
public:
    qor_cS3dWriter(uint nSignature = qor_c3dLoader::e_signature, uint nVersion = qor_c3dLoader::e_version);

    tz_cChunkTable & getTable() { return m_table; }

    // Any identifier, any bytes.
    bool addChunk(uint nID, const void * pData, size_t nSize);
    bool addChunk(uint nID, const qor_cS3dBytes & bytes) { return addChunk(nID, bytes.data().data(), bytes.size()); }

    // The record bytes of each chunk kind (for tests that alter them before adding).
    static qor_cS3dBytes objectRecord(const qor_sS3dWObject & obj);
    static qor_cS3dBytes meshRecord(const qor_sS3dWObject & obj, const std::vector<uint> & anIndex,
                                    const std::vector<uint> & anOther);
    static qor_cS3dBytes meshDataRecord(const qor_sS3dWMeshData & data);
    static qor_cS3dBytes materialRecord(const qor_sS3dWMaterial & mat);
    static qor_cS3dBytes textureRecord(const qor_sS3dWTexture & tex);
    static qor_cS3dBytes particleSystemRecord(const qor_sS3dWObject & obj, const qor_sS3dWParticleSystem & sys);
    static qor_cS3dBytes morphRecord(const std::string & strMesh, const std::vector<qor_sS3dWMorphTarget> & targets);
    static qor_cS3dBytes polygonsRecord(const std::vector<qor_sS3dFace> & faces);
    static qor_cS3dBytes verticesRecord(const std::vector<qor_cVector3> & positions,
                                        const std::vector<qor_cVector3> & normals);

    bool addMesh(const qor_sS3dWObject & obj, const std::vector<uint> & anIndex, const std::vector<uint> & anOther = {});
    bool addMeshData(const qor_sS3dWMeshData & data);
    bool addMeshDataTL(const qor_cS3dBytes & raw) { return addChunk(e_qor_s3dFile_MeshDataTL, raw); }
    bool addVertices(const std::vector<qor_cVector3> & positions, const std::vector<qor_cVector3> & normals);
    bool addTVertices(const std::vector<qor_cVector2> & uvs);
    bool addCVertices(const std::vector<qor_cColor> & colors);  // r, g, b written
    bool addPolygons(const std::vector<qor_sS3dFace> & faces);
    bool addCameraFree(const qor_sS3dWObject & obj, float fRangeStart, float fFar, float fFovDegrees);
    bool addCameraTarget(const qor_sS3dWObject & obj, float fRangeStart, float fFar, float fFovDegrees,
                         float fRollDegrees, uint nTarget);
    bool addTarget(const qor_sS3dWObject & obj);
    bool addDummy(const qor_sS3dWObject & obj);
    bool addBone(const qor_sS3dWObject & obj);
    bool addAnimObject(const qor_cS3dBytes & raw) { return addChunk(e_qor_s3dFile_AnimObject, raw); }
    bool addMaterial(const qor_sS3dWMaterial & mat);
    bool addMaterialNode(const qor_cS3dBytes & raw) { return addChunk(e_qor_s3dFile_MaterialNode, raw); }
    bool addTexture(const qor_sS3dWTexture & tex);
    bool addLightOmni(const qor_sS3dWObject & obj, const qor_cColor & color, float fMultiplier, uint nFlags,
                      float fRange);
    // Pairs (child, parent).
    bool addObjectHierarchy(const std::vector<std::pair<std::string, std::string>> & pairs);
    bool addAnimObjectHierarchy(const std::vector<std::pair<std::string, std::string>> & pairs);
    bool addGlobalInfos(const qor_cColor & ambient, const qor_cColor & background);
    bool addFogInfos(bool bEnabled, const qor_cColor & color);
    // Keys: position (t, u, v), rotation (t, angle) in m_afValue[0], scale (t, x, y).
    bool addAnimUV(const std::string & strMaterial, const std::string & strTexture,
                   const std::vector<qor_sS3dUVKey> & position, const std::vector<qor_sS3dUVKey> & rotation,
                   const std::vector<qor_sS3dUVKey> & scale);
    bool addGizmoSphere(const qor_sS3dWObject & obj, float fRadius, uint nHemisphere);
    bool addGizmoBox(const qor_sS3dWObject & obj, float fX, float fY, float fZ);
    bool addGizmoCylinder(const qor_sS3dWObject & obj, float fA, float fB);
    bool addParticleSystem(const qor_sS3dWObject & obj, const qor_sS3dWParticleSystem & sys);
    bool addMorph(const std::string & strMesh, const std::vector<qor_sS3dWMorphTarget> & targets);

    // The whole file: on disk (a regular file) or in memory.
    bool save(cchar * szPath) const { return m_table.save(szPath); }
    std::vector<char> image() const;

private:
    static qor_cS3dBytes hierarchyRecord(const std::vector<std::pair<std::string, std::string>> & pairs);
    tz_cChunkTable m_table;
};

// ---- the animation file -----------------------------------------------------------------------

// Identifiers of the animation file's chunks.
enum : uint
{
    e_qor_motCommonInfos = 1,
    e_qor_motObjectsMotions = 2,
    e_qor_motPositionStatic = 5,
    e_qor_motPositionTrack = 6,
    e_qor_motRotationStatic = 7,
    e_qor_motRotationTrack = 8,
    e_qor_motScaleStatic = 9,
    e_qor_motScaleTrack = 10,
    e_qor_motFovStatic = 11,
    e_qor_motFovTrack = 12,
    e_qor_motRollStatic = 13,
    e_qor_motRollTrack = 14,
    e_qor_motVisibilityStatic = 15,
    e_qor_motVisibilityTrack = 16,
};

// One key of a track: its time, up to four values, and the three parameters of kinds 1 and 2
// (tension, continuity, bias; or the tangent).
struct qor_sMotKey
{
    float m_fTime = 0.0f;
    float m_afValue[4] = {};
    float m_afParam[3] = {};
};

// One channel of an object block.
struct qor_sMotChannel
{
    enum eForm
    {
        e_none,    // a sub-chunk with identifier m_nID (0 by default) and no payload
        e_static,  // the static form: m_afValue
        e_track,   // the track form: m_nKind and m_keys (one key: the single-value form)
    };
    eForm m_eForm = e_none;
    uint m_nID = 0;  // for e_none, or to force another identifier on the other forms
    float m_afValue[4] = {};
    uint m_nKind = 3;
    std::vector<qor_sMotKey> m_keys;

    static qor_sMotChannel none() { return qor_sMotChannel(); }
    static qor_sMotChannel constant(float a, float b = 0, float c = 0, float d = 0);
    static qor_sMotChannel track(uint nKind, const std::vector<qor_sMotKey> & keys);
};

struct qor_sMotObject
{
    std::string m_strName;
    uint m_nBlockID = 0;  // the object block's chunk identifier (not checked by readers)
    // In file order: position, rotation, scale, roll, field of view, visibility.
    qor_sMotChannel m_position;
    qor_sMotChannel m_rotation;
    qor_sMotChannel m_scale;
    qor_sMotChannel m_roll;
    qor_sMotChannel m_fov;
    qor_sMotChannel m_visibility;
};

// An animation file under construction: top-level chunks in the order they are added.
class qor_cMotWriter
{
public:
    void addCommonInfos(uint nFirst, uint nSecond, uint nRate);
    void addObjectsMotions(const std::vector<qor_sMotObject> & objects);
    // Any top-level chunk (its payload as one raw block).
    void addRawChunk(uint nID, const qor_cS3dBytes & payload);

    // Writes the file (a regular file, created or truncated).
    bool save(cchar * szPath) const;

    // The payload of one channel's sub-chunk, as the readers take it (for tests and tools).
    enum eChannel
    {
        e_position,
        e_rotation,
        e_scale,
        e_roll,
        e_fov,
        e_visibility,
    };
    static uint channelID(eChannel eWhich, const qor_sMotChannel & channel);
    static qor_cS3dBytes channelPayload(eChannel eWhich, const qor_sMotChannel & channel);

private:
    struct sTop
    {
        uint m_nID = 0;
        qor_cS3dBytes m_payload;
        std::vector<qor_sMotObject> m_objects;
        bool m_bMotions = false;
    };
    std::vector<sTop> m_top;
};
