// qor_c3dLoader: reads a scene file (a tz_cChunkTable with the signature 0x03D0DEAD, version at
// most 276) and hands each chunk's record to a virtual extract operation.
//
// The records are fixed binary layouts written by the modelling package's exporter: fields are
// little-endian and packed, each record starts at its chunk's first data byte. The loader never
// casts a chunk to a structure: each per-chunk loader checks the chunk against the bytes it
// really holds and builds a record view (the qor_s... types below): the fixed fields decoded
// into members, the arrays that follow as bounds-checked qor_cS3dArray views into the chunk,
// every name copied into a NUL-terminated field one byte longer than the file's.
//
// Who checks what:
// - The loader checks everything the file holds about itself: each record's fixed part and
//   every count against the bytes of its chunk (arrays, keys, targets, pairs), every name field
//   for a NUL inside its 64 bytes (the material name excepted, below), the influence count of
//   each skin record (at most 4), and for mesh data the boundaries' face counts (together no
//   more than the polygon pool holds) and every face of every boundary against the
//   polygon pool, and every corner's position, normal, texture-coordinate and colour index
//   (plus the record's bases) against the pools current when the chunk is read, and the skin
//   record each corner selects. A failure stops the load, with a line naming the chunk index,
//   the byte offset in the file and what was wrong (error log, and the loader's own log).
// - The scene checks what only it can know, with what the views give it: names and indices
//   resolved against objects it built (materials and textures by name, the target index of a
//   camera target against its targets, the triangle-mesh index of a mesh against its triangle
//   meshes when it links them, each skin influence's bone index against its all-objects list:
//   qor_sMeshData::m_nBoneLimit is one past the largest one used), and the material name's
//   length (m_szName holds up to 64 characters: 64 means the field had no NUL, which the scene
//   refuses as a name that is too long).
//
// A view lives for the extract call; its arrays point into the file image, which lives for the
// whole of loadSceneFromMemory (pool views handed to the mesh data stay valid until the load
// ends).
#pragma once

#include "qor_cColor.h"
#include "qor_cVector2.h"
#include "qor_cVector3.h"
#include "qor_types.h"
#include "tz_cChunkTable.h"

#include <cstddef>
#include <vector>

class qor_cLogFile;

// Chunk identifiers of the scene file.
enum qor_eS3dChunk : uint
{
    e_qor_s3dFile_Mesh = 0xDEAD0001u,
    e_qor_s3dFile_MeshData = 0xDEAD0002u,
    e_qor_s3dFile_MeshDataTL = 0xDEAD0003u,
    e_qor_s3dFile_CameraFree = 0xDEAD0004u,
    e_qor_s3dFile_CameraTarget = 0xDEAD0005u,
    e_qor_s3dFile_Target = 0xDEAD0006u,
    e_qor_s3dFile_AnimObject = 0xDEAD0007u,
    e_qor_s3dFile_Material = 0xDEAD0008u,
    e_qor_s3dFile_MaterialNode = 0xDEAD0009u,
    e_qor_s3dFile_Texture = 0xDEAD000Au,
    e_qor_s3dFile_Vertices = 0xDEAD000Bu,
    e_qor_s3dFile_TVertices = 0xDEAD000Cu,
    e_qor_s3dFile_CVertices = 0xDEAD000Du,
    e_qor_s3dFile_Polygons = 0xDEAD000Eu,
    e_qor_s3dFile_LightOmni = 0xDEAD000Fu,
    // 0xDEAD0010 to 0xDEAD0013 are skipped.
    e_qor_s3dFile_Dummy = 0xDEAD0014u,
    e_qor_s3dFile_ObjectHierarchy = 0xDEAD0015u,
    e_qor_s3dFile_AnimObjectHierarchy = 0xDEAD0016u,
    e_qor_s3dFile_GlobalInfos = 0xDEAD0017u,
    e_qor_s3dFile_FogInfos = 0xDEAD0018u,
    e_qor_s3dFile_Bone = 0xDEAD0019u,
    e_qor_s3dFile_AnimUV = 0xDEAD001Au,
    e_qor_s3dFile_Gizmo_Sphere = 0xDEAD001Bu,
    e_qor_s3dFile_Gizmo_Box = 0xDEAD001Cu,
    e_qor_s3dFile_Gizmo_Cylinder = 0xDEAD001Du,
    e_qor_s3dFile_Particle_System = 0xDEAD001Eu,
    e_qor_s3dFile_Morpher = 0xDEAD001Fu,
};

// The enumerator's name without its prefix ("Mesh", "Gizmo_Sphere" ...); null for other ids.
cchar * qoru_s3dChunkName(uint nID);

// Record sizes (fixed parts) of the scene file.
enum : uint
{
    e_qor_s3dName = 64,           // name[64]
    e_qor_s3dObjectSize = 188,    // common object record
    e_qor_s3dTextureSize = 144,
    e_qor_s3dMaterialSize = 348,
    e_qor_s3dMeshDataHeader = 72,
    e_qor_s3dBoundarySize = 72,
    e_qor_s3dMeshDataK1Size = 104,
    e_qor_s3dMeshDataK2Size = 36,
    e_qor_s3dSkinSize = 36,
    e_qor_s3dFaceSize = 52,       // 13 u32
    e_qor_s3dCameraFreeSize = 200,
    e_qor_s3dCameraTargetSize = 208,
    e_qor_s3dLightOmniSize = 228,
    e_qor_s3dGizmoSphereSize = 196,
    e_qor_s3dGizmoBoxSize = 200,
    e_qor_s3dGizmoCylinderSize = 196,
    e_qor_s3dParticleSystemSize = 500,
    e_qor_s3dGlobalInfosSize = 32,
    e_qor_s3dFogInfosSize = 17,
    e_qor_s3dAnimUVHeader = 152,
    e_qor_s3dMorphHeader = 72,
    e_qor_s3dMorphTargetSize = 72,
};

// Copies a name field of nField bytes into sz (nField + 1 bytes), stopping at the first NUL and
// never reading past the field; sz is always terminated. True when the field held a NUL.
bool qoru_s3dCopyName(char * sz, const void * pField, uint nField);

// A bounds-checked view of nCount records of N bytes each in a chunk; READ decodes one.
// at(i) past the end gives a zeroed record instead of reading outside the chunk.
template <typename T, uint N, T (*READ)(const uchar *)> class qor_cS3dArray
{
public:
    static constexpr uint e_stride = N;

    qor_cS3dArray() : m_p(nullptr), m_nCount(0) {}
    qor_cS3dArray(const uchar * p, uint nCount) : m_p(p), m_nCount(p ? nCount : 0) {}

    uint getCount() const { return m_nCount; }
    bool has(uint i) const { return i < m_nCount; }
    T at(uint i) const { return i < m_nCount ? READ(m_p + size_t(i) * N) : T(); }
    T operator[](uint i) const { return at(i); }
    // Address of record i in the chunk (null past the end).
    const uchar * getAddress(uint i) const { return i < m_nCount ? m_p + size_t(i) * N : nullptr; }

private:
    const uchar * m_p;
    uint m_nCount;
};

// Decoders of the array elements.
uint qoru_s3dReadU32(const uchar * p);
qor_cVector3 qoru_s3dReadVector3(const uchar * p);
qor_cVector2 qoru_s3dReadVector2(const uchar * p);
// Three floats r, g, b; alpha 1.
qor_cColor qoru_s3dReadRGB(const uchar * p);

// Where a record came from: its chunk index and the byte offset of its data in the file.
struct qor_sS3dChunkRef
{
    uint m_nChunk = 0;
    size_t m_nOffset = 0;
    uint m_nSize = 0;
};

// The common object record (188 bytes at the start of every object record).
struct qor_sObject
{
    char m_szName[e_qor_s3dName + 1] = {};
    qor_cVector3 m_vCenter;  // bounding sphere centre, object space
    float m_fRadius = 0.0f;
};

// A polygon-pool face: 13 u32, the last one not read.
struct qor_sS3dFace
{
    uint m_anPosition[3] = {};
    uint m_anUV[3] = {};
    uint m_anColor[3] = {};
    uint m_anNormal[3] = {};
};
qor_sS3dFace qoru_s3dReadFace(const uchar * p);

// A material boundary of a mesh data record (72 bytes).
struct qor_sS3dBoundary
{
    uint m_nFirstFace = 0;
    uint m_nFaceCount = 0;
    char m_szMaterial[e_qor_s3dName + 1] = {};
};
qor_sS3dBoundary qoru_s3dReadBoundary(const uchar * p);

// A skin record (36 bytes), chosen by a corner's position index without the position base.
struct qor_sS3dSkin
{
    uint m_nInfluence = 0;  // 0 to 4 (the loader refuses more)
    uint m_anBone[4] = {};  // index into the scene's all-objects list
    float m_afWeight[4] = {};
};
qor_sS3dSkin qoru_s3dReadSkin(const uchar * p);

// A pair of the object hierarchy (two name[64]).
struct qor_sS3dHierarchyPair
{
    char m_szChild[e_qor_s3dName + 1] = {};
    char m_szParent[e_qor_s3dName + 1] = {};
};
qor_sS3dHierarchyPair qoru_s3dReadHierarchyPair(const uchar * p);

// Animated UV keys: position (t, u, v), rotation (t, angle), scale (t, x, y).
struct qor_sS3dUVKey
{
    float m_fTime = 0.0f;
    float m_afValue[2] = {};  // (u, v), (angle, unused 0) or (x, y)
};
qor_sS3dUVKey qoru_s3dReadUVKey3(const uchar * p);
qor_sS3dUVKey qoru_s3dReadUVKey2(const uchar * p);

// A morph key: time in ticks, weight in percent.
struct qor_sS3dMorphKey
{
    float m_fTicks = 0.0f;
    float m_fPercent = 0.0f;
};
qor_sS3dMorphKey qoru_s3dReadMorphKey(const uchar * p);

typedef qor_cS3dArray<uint, 4, qoru_s3dReadU32> qor_cS3dU32Array;
typedef qor_cS3dArray<qor_cVector3, 12, qoru_s3dReadVector3> qor_cS3dVector3Array;
typedef qor_cS3dArray<qor_cVector2, 8, qoru_s3dReadVector2> qor_cS3dVector2Array;
typedef qor_cS3dArray<qor_cColor, 12, qoru_s3dReadRGB> qor_cS3dRGBArray;
typedef qor_cS3dArray<qor_sS3dFace, e_qor_s3dFaceSize, qoru_s3dReadFace> qor_cS3dFaceArray;
typedef qor_cS3dArray<qor_sS3dBoundary, e_qor_s3dBoundarySize, qoru_s3dReadBoundary> qor_cS3dBoundaryArray;
typedef qor_cS3dArray<qor_sS3dSkin, e_qor_s3dSkinSize, qoru_s3dReadSkin> qor_cS3dSkinArray;
typedef qor_cS3dArray<qor_sS3dHierarchyPair, 2 * e_qor_s3dName, qoru_s3dReadHierarchyPair> qor_cS3dPairArray;
typedef qor_cS3dArray<qor_sS3dUVKey, 12, qoru_s3dReadUVKey3> qor_cS3dUVKey3Array;
typedef qor_cS3dArray<qor_sS3dUVKey, 8, qoru_s3dReadUVKey2> qor_cS3dUVKey2Array;
typedef qor_cS3dArray<qor_sS3dMorphKey, 8, qoru_s3dReadMorphKey> qor_cS3dMorphKeyArray;

// Chunks passed whole (mesh data TL, anim object, material node): the raw bytes.
struct qor_sS3dRaw
{
    qor_sS3dChunkRef m_chunk;
    const uchar * m_pData = nullptr;
    uint m_nSize = 0;
};

// Mesh: u32 n, n u32 (the first is the triangle-mesh index), u32 m, m u32 (not used).
struct qor_sMesh
{
    qor_sS3dChunkRef m_chunk;
    qor_sObject m_object;
    // Index of the mesh's triangle mesh in the order mesh data chunks were read; e_noTriMesh
    // when the index list is empty. The scene checks it against its triangle meshes.
    static constexpr uint e_noTriMesh = 0xFFFFFFFFu;
    uint m_nTriMesh = e_noTriMesh;
    qor_cS3dU32Array m_anIndex;
    qor_cS3dU32Array m_anOther;
};

// Pools: each replaces the previous pool of its kind.
struct qor_sVertices
{
    qor_sS3dChunkRef m_chunk;
    qor_cS3dVector3Array m_avPosition;
    qor_cS3dVector3Array m_avNormal;
};
struct qor_sTVertices
{
    qor_sS3dChunkRef m_chunk;
    qor_cS3dVector2Array m_avUV;  // (u, v) as stored
};
struct qor_sCVertices
{
    qor_sS3dChunkRef m_chunk;
    qor_cS3dRGBArray m_aColor;  // (r, g, b) in 0..1, alpha 1
};
struct qor_sPolygons
{
    qor_sS3dChunkRef m_chunk;
    qor_cS3dFaceArray m_aFace;
};

// One corner of a mesh-data face with every index resolved and checked (getCorner).
struct qor_sS3dCorner
{
    uint m_nPosition = 0;  // index in the position pool (base added)
    uint m_nNormal = 0;
    uint m_nUV = 0;        // meaningful when the mesh data has texture coordinates
    uint m_nColor = 0;     // meaningful when it has colours
    uint m_nSkin = 0;      // skin record index (position index without its base), when skinned
    qor_cVector3 m_vPosition;
    qor_cVector3 m_vNormal;  // as stored, not normalised
    qor_cVector2 m_vUV;      // as stored (u, v); (0, 0) without texture coordinates
    qor_cColor m_color;      // as stored (r, g, b, 1); all 0 without colours
    qor_sS3dSkin m_skin;     // zeroed when not skinned
};

// Mesh data: 72-byte header, then boundaries, K1 x 104, K2 x 36 and K3 skin records.
struct qor_sMeshData
{
    qor_sS3dChunkRef m_chunk;
    uint m_nPositionBase = 0;
    uint m_nNormalBase = 0;
    bool m_bHasUV = false;
    uint m_nUVBase = 0;
    bool m_bHasColor = false;
    uint m_nColorBase = 0;
    uint m_nFaceBase = 0;
    uint m_nMaterialBoundary = 0;
    qor_cS3dBoundaryArray m_pMaterialBoundary;
    uint m_nK1 = 0;
    uint m_nK2 = 0;
    uint m_nK3 = 0;
    qor_cS3dSkinArray m_aSkin;
    // K1 + K2 + K3 is not 0.
    bool m_bSkinned = false;
    // One past the largest bone index used by the skin records the faces select (0 when none;
    // 64 bits wide, as the index may be 2^32 - 1): the scene refuses the mesh when its
    // all-objects list is shorter.
    unsigned long long m_nBoneLimit = 0;

    // The pools current when the chunk was read (null when none was read yet); every face of
    // every boundary has been checked against them.
    const qor_sVertices * m_pVertices = nullptr;
    const qor_sTVertices * m_pTVertices = nullptr;
    const qor_sCVertices * m_pCVertices = nullptr;
    const qor_sPolygons * m_pPolygons = nullptr;

    // Corner nCorner (0 to 2) of face nFace (face number before the face base: the boundary's
    // m_nFirstFace + i), resolved through the bases and the pools. False when the face or an
    // index is outside them (never the case for the faces of the boundaries once the loader
    // hands the record over).
    bool getCorner(uint nFace, uint nCorner, qor_sS3dCorner * pCorner) const;
};

// Camera free: range start, far distance, field of view in degrees.
struct qor_sCameraFree
{
    qor_sS3dChunkRef m_chunk;
    qor_sObject m_object;
    float m_fRangeStart = 0.0f;
    float m_fFar = 0.0f;
    float m_fFov = 0.0f;  // degrees
};
// Camera target: as the free camera, plus roll in degrees and the target's index in the order
// target chunks were read (the scene checks it against its targets).
struct qor_sCameraTarget
{
    qor_sS3dChunkRef m_chunk;
    qor_sObject m_object;
    float m_fRangeStart = 0.0f;
    float m_fFar = 0.0f;
    float m_fFov = 0.0f;   // degrees
    float m_fRoll = 0.0f;  // degrees
    uint m_nTarget = 0;
};
// Target, dummy, bone: the common record only.
struct qor_sTarget
{
    qor_sS3dChunkRef m_chunk;
    qor_sObject m_object;
};
typedef qor_sTarget qor_sDummy;
typedef qor_sTarget qor_sBone;

// Material (348 bytes).
struct qor_sMaterial
{
    qor_sS3dChunkRef m_chunk;
    // Up to 64 characters: 64 means the field had no NUL (the scene refuses it as too long).
    char m_szName[e_qor_s3dName + 1] = {};
    qor_cColor m_ambient;
    qor_cColor m_diffuse;
    qor_cColor m_specular;
    qor_cColor m_emissive;     // the fourth colour, scaled by m_fAmount
    float m_fPower = 0.0f;
    float m_fSpecularLevel = 0.0f;
    float m_fAmount = 0.0f;    // emissive scale and bump amount
    uint m_translucy = 0;      // 0 opaque, 1 and 2 translucent modes
    uint m_nOpacityMap = 0;    // opacity map flag
    uint m_nTwoSided = 0;      // two-sided flag (offset 152)
    char m_szDiffuse[e_qor_s3dName + 1] = {};
    char m_szBump[e_qor_s3dName + 1] = {};
    char m_szSecond[e_qor_s3dName + 1] = {};
};

// Texture (144 bytes).
struct qor_sTexture
{
    qor_sS3dChunkRef m_chunk;
    uint m_nKind = 0;  // 0 ordinary, 1 bump map
    char m_szName[e_qor_s3dName + 1] = {};
    char m_szAlphaName[e_qor_s3dName + 1] = {};  // empty: none
    uint m_nFrame = 0;                           // 0: still image
    float m_playbackRate = 0.0f;
    uint m_endMode = 0;  // as stored in the file
    // The texture end mode: file 0 gives 0, file 1 gives 2, file 2 gives 1; other values are
    // given through unchanged.
    uint getEndMode() const { return m_endMode == 1 ? 2u : m_endMode == 2 ? 1u : m_endMode; }
};

// Omni light. Flag bits are numbered from 0 (bit n is the mask 1 << n).
struct qor_sLightOmni
{
    qor_sS3dChunkRef m_chunk;
    qor_sObject m_object;
    qor_cColor m_color;
    float m_fMultiplier = 0.0f;
    uint m_nFlags = 0;
    float m_fRange = 0.0f;
    bool isRangeOn() const { return (m_nFlags & (1u << 1)) != 0; }
    bool isOn() const { return (m_nFlags & (1u << 3)) != 0; }
    bool isSpecularOn() const { return (m_nFlags & (1u << 4)) != 0; }
};

// Object hierarchy and anim object hierarchy: u32 n, n u32 (not read), n pairs.
struct qor_sObjectHierarchy
{
    qor_sS3dChunkRef m_chunk;
    qor_cS3dPairArray m_aPair;
};

struct qor_sGlobalInfos
{
    qor_sS3dChunkRef m_chunk;
    qor_cColor m_ambient;
    qor_cColor m_background;
};

struct qor_sFogInfos
{
    qor_sS3dChunkRef m_chunk;
    uint m_nEnabled = 0;  // the byte at 0
    qor_cColor m_color;   // packed from byte 1
};

// Animated UV: material name, texture name, P position keys, R rotation keys, S scale keys.
struct qor_sAnimUV
{
    qor_sS3dChunkRef m_chunk;
    char m_szMaterial[e_qor_s3dName + 1] = {};
    char m_szTexture[e_qor_s3dName + 1] = {};
    qor_cS3dUVKey3Array m_aPosition;  // (t, u, v)
    qor_cS3dUVKey2Array m_aRotation;  // (t, angle)
    qor_cS3dUVKey3Array m_aScale;     // (t, x, y)
};

struct qor_sGizmoSphere
{
    qor_sS3dChunkRef m_chunk;
    qor_sObject m_object;
    float m_fRadius = 0.0f;
    uint m_nHemisphere = 0;  // 1: hemisphere
};
struct qor_sGizmoBox
{
    qor_sS3dChunkRef m_chunk;
    qor_sObject m_object;
    float m_afSize[3] = {};
};
struct qor_sGizmoCylinder
{
    qor_sS3dChunkRef m_chunk;
    qor_sObject m_object;
    float m_afSize[2] = {};
};

// Particle system (500 bytes).
struct qor_sParticleSystem
{
    qor_sS3dChunkRef m_chunk;
    qor_sObject m_object;
    uint m_nParticle = 0;  // pool size
    uint m_nLifeBase = 0;  // frame units
    uint m_nLifeRandom = 0;
    uint m_nStream = 0;
    uint m_nVisibility = 0;
    uint m_nOneShot = 0;
    qor_cVector3 m_vAcceleration;
    qor_cVector3 m_vBoxHalf;
    qor_cVector3 m_vVelocity;
    qor_cVector3 m_vVelocityRandom;
    qor_cColor m_startColor;  // 0..255 as stored
    qor_cColor m_endColor;    // 0..255 as stored
    float m_fStartSize = 0.0f;
    float m_fStartSizeRandom = 0.0f;
    float m_fEndSize = 0.0f;
    float m_fEndSizeRandom = 0.0f;
    char m_szMaterialName[e_qor_s3dName + 1] = {};
    char m_szEmitter[e_qor_s3dName + 1] = {};
};

// One morph target: the target mesh's name and its keys.
struct qor_sS3dMorphTarget
{
    char m_szName[e_qor_s3dName + 1] = {};
    qor_cS3dMorphKeyArray m_aKey;
};
// Morph: the morphed mesh's name and T targets (each 72 bytes followed by its K keys).
struct qor_sMorph
{
    qor_sS3dChunkRef m_chunk;
    char m_szName[e_qor_s3dName + 1] = {};
    uint m_nTarget = 0;
    // Target i (0 <= i < m_nTarget); an empty target past the end.
    qor_sS3dMorphTarget getTarget(uint i) const;

    // Offsets of the targets in the chunk, filled by the loader (owned by it).
    const uchar * m_pData = nullptr;
    const uint * m_pnTargetOffset = nullptr;
};

class qor_c3dLoader : public tz_cChunkTable
{
public:
    enum : uint
    {
        e_signature = 0x03D0DEADu,
        e_version = 276,
    };

    qor_c3dLoader();
    ~qor_c3dLoader() override;

    // Loads a whole scene file image of nSize bytes: table, signature, version, then every chunk
    // in file order. False on any failure (logged); objects already extracted stay.
    bool loadSceneFromMemory(cchar * pData, size_t nSize);
    // The same for an image whose length is not known (the declared sizes are trusted: only for
    // images this program wrote itself).
    bool loadSceneFromMemory(cchar * pData);

    // Per-chunk loaders: check the identifier and the record, build its view, call the extract
    // operation and return its result.
    bool loadMesh(cuint nChunk);
    bool loadMeshData(cuint nChunk);
    bool loadMeshDataTL(cuint nChunk);
    bool loadCameraFree(cuint nChunk);
    bool loadCameraTarget(cuint nChunk);
    bool loadTarget(cuint nChunk);
    bool loadAnimObject(cuint nChunk);
    bool loadMaterial(cuint nChunk);
    bool loadMaterialNode(cuint nChunk);
    bool loadTexture(cuint nChunk);
    bool loadVertices(cuint nChunk);
    bool loadTVertices(cuint nChunk);
    bool loadCVertices(cuint nChunk);
    bool loadPolygons(cuint nChunk);
    bool loadLightOmni(cuint nChunk);
    bool loadDummy(cuint nChunk);
    bool loadObjectHierarchy(cuint nChunk);
    bool loadAnimObjectHierarchy(cuint nChunk);
    bool loadGlobalInfos(cuint nChunk);
    bool loadFogInfos(cuint nChunk);
    bool loadBone(cuint nChunk);
    bool loadAnimUV(cuint nChunk);
    bool loadGizmoSphere(cuint nChunk);
    bool loadGizmoBox(cuint nChunk);
    bool loadGizmoCylinder(cuint nChunk);
    bool loadParticleSystem(cuint nChunk);
    bool loadMorph(cuint nChunk);

    // Extract operations, in slot order; the loader's own versions accept everything.
    virtual bool extractMesh(const qor_sMesh & sMesh);
    virtual bool extractMeshData(const qor_sMeshData & sData);
    virtual bool extractMeshDataTL(const qor_sS3dRaw & sRaw);
    virtual bool extractVertices(const qor_sVertices & sPool);
    virtual bool extractTVertices(const qor_sTVertices & sPool);
    virtual bool extractCVertices(const qor_sCVertices & sPool);
    virtual bool extractPolygons(const qor_sPolygons & sPool);
    virtual bool extractCameraFree(const qor_sCameraFree & sCamera);
    virtual bool extractCameraTarget(const qor_sCameraTarget & sCamera);
    virtual bool extractTarget(const qor_sTarget & sTarget);
    virtual bool extractAnimObject(const qor_sS3dRaw & sRaw);
    virtual bool extractMaterial(const qor_sMaterial & sMaterial);
    virtual bool extractMaterialNode(const qor_sS3dRaw & sRaw);
    virtual bool extractTexture(const qor_sTexture & sTexture);
    virtual bool extractLightOmni(const qor_sLightOmni & sLight);
    virtual bool extractDummy(const qor_sDummy & sDummy);
    virtual bool extractBone(const qor_sBone & sBone);
    virtual bool extractObjectHierarchy(const qor_sObjectHierarchy & sHierarchy);
    virtual bool extractAnimObjectHierarchy(const qor_sObjectHierarchy & sHierarchy);
    virtual bool extractGlobalInfos(const qor_sGlobalInfos & sInfos);
    virtual bool extractFogInfos(const qor_sFogInfos & sFog);
    virtual bool extractAnimUV(const qor_sAnimUV & sAnim);
    virtual bool extractGizmoSphere(const qor_sGizmoSphere & sGizmo);
    virtual bool extractGizmoBox(const qor_sGizmoBox & sGizmo);
    virtual bool extractGizmoCylinder(const qor_sGizmoCylinder & sGizmo);
    virtual bool extractParticleSystem(const qor_sParticleSystem & sSystem);
    virtual bool extractMorph(const qor_sMorph & sMorph);

    // The loader's message log: setting a path deletes that file, each later message is
    // appended to it; without a path messages are dropped. Formats of 511 characters or more
    // are ignored.
    void setLogFile(cchar * szPath);
    void log(cchar * szFormat, ...) __attribute__((format(printf, 2, 3)));
    // The last message the loader wrote (to its log, or for a refused record), also when no log
    // file is set: tools print it.
    cchar * getLastMessage() const { return m_strLastMessage.get(); }

protected:
    // Logs a refused record: the loader log and the error log get "<szOperation> : chunk <n> at
    // offset <o>: <reason>". Returns false.
    bool refuse(cchar * szOperation, uint nChunk, size_t nOffset, cchar * szFormat, ...)
        __attribute__((format(printf, 5, 6)));

private:
    struct sChunkMessages;
    // Checks the identifier and the data of chunk nChunk (with msg's messages) and that it holds
    // at least nMinSize bytes; fills the reference and the data pointer.
    bool beginChunk(uint nChunk, uint nID, const sChunkMessages & msg, cchar * szOperation, uint nMinSize,
                    qor_sS3dChunkRef * pRef, const uchar ** ppData);
    // False (refused) when the chunk holds fewer than nBytes bytes for szWhat.
    bool need(cchar * szOperation, const qor_sS3dChunkRef & ref, unsigned long long nBytes, cchar * szWhat);
    bool readObject(cchar * szOperation, const qor_sS3dChunkRef & ref, const uchar * pData, qor_sObject * pObject);
    // Copies the name field at byte nField of the chunk; refuses a field without a NUL.
    bool readName(cchar * szOperation, const qor_sS3dChunkRef & ref, const uchar * pData, uint nField, char * sz);
    bool loadObjectRecord(cuint nChunk, uint nID, cchar * szOperation, bool (qor_c3dLoader::*pfnExtract)(const qor_sTarget &));
    bool dispatch(uint nChunk);
    void resetPools();

    qor_cLogFile * m_pLog;
    qor_cString m_strLastMessage;
    // Pools current while a file is loaded (views into its image).
    qor_sVertices m_vertices;
    qor_sTVertices m_tvertices;
    qor_sCVertices m_cvertices;
    qor_sPolygons m_polygons;
    bool m_bVertices;
    bool m_bTVertices;
    bool m_bCVertices;
    bool m_bPolygons;
    // Target offsets of the morph record being handed over.
    std::vector<uint> m_anMorphOffset;
    // Faces of the polygon pool a mesh data record has checked: a face holds the record's mark.
    // Marks only grow, so a record never clears what earlier ones marked (clearing the whole
    // pool for each record would cost records times faces).
    std::vector<uint> m_anFaceMark;
    uint m_nFaceMark = 0;
};
