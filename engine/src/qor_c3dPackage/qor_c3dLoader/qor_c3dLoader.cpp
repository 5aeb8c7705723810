#include "qor_c3dLoader.h"

#include "qor_cErrorHandler.h"
#include "tz_cFile.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

cchar * qoru_s3dChunkName(uint nID)
{
    static cchar * const s_aszName[] = {
        "Mesh",         "MeshData",        "MeshDataTL",          "CameraFree",     "CameraTarget",
        "Target",       "AnimObject",      "Material",            "MaterialNode",   "Texture",
        "Vertices",     "TVertices",       "CVertices",           "Polygons",       "LightOmni",
        nullptr,        nullptr,           nullptr,               nullptr,          "Dummy",
        "ObjectHierarchy", "AnimObjectHierarchy", "GlobalInfos",  "FogInfos",       "Bone",
        "AnimUV",       "Gizmo_Sphere",    "Gizmo_Box",           "Gizmo_Cylinder", "Particle_System",
        "Morpher"};
    if (nID < e_qor_s3dFile_Mesh || nID > e_qor_s3dFile_Morpher)
        return nullptr;
    return s_aszName[nID - e_qor_s3dFile_Mesh];
}

// ---- element decoders ---------------------------------------------------------------------

bool qoru_s3dCopyName(char * sz, const void * pField, uint nField)
{
    const char * p = static_cast<const char *>(pField);
    const void * pNul = std::memchr(p, 0, nField);
    const size_t n = pNul ? size_t(static_cast<const char *>(pNul) - p) : nField;
    std::memcpy(sz, p, n);
    sz[n] = 0;
    return pNul != nullptr;
}

uint qoru_s3dReadU32(const uchar * p) { return qoru_readU32LE(p); }

qor_cVector3 qoru_s3dReadVector3(const uchar * p)
{
    return qor_cVector3(qoru_readF32LE(p), qoru_readF32LE(p + 4), qoru_readF32LE(p + 8));
}

qor_cVector2 qoru_s3dReadVector2(const uchar * p) { return qor_cVector2(qoru_readF32LE(p), qoru_readF32LE(p + 4)); }

qor_cColor qoru_s3dReadRGB(const uchar * p)
{
    return qor_cColor(qoru_readF32LE(p), qoru_readF32LE(p + 4), qoru_readF32LE(p + 8), 1.0f);
}

namespace
{
qor_cColor readRGBA(const uchar * p)
{
    return qor_cColor(qoru_readF32LE(p), qoru_readF32LE(p + 4), qoru_readF32LE(p + 8), qoru_readF32LE(p + 12));
}
} // namespace

qor_sS3dFace qoru_s3dReadFace(const uchar * p)
{
    qor_sS3dFace f;
    for (int i = 0; i < 3; ++i)
    {
        f.m_anPosition[i] = qoru_readU32LE(p + 4 * i);
        f.m_anUV[i] = qoru_readU32LE(p + 12 + 4 * i);
        f.m_anColor[i] = qoru_readU32LE(p + 24 + 4 * i);
        f.m_anNormal[i] = qoru_readU32LE(p + 36 + 4 * i);
    }
    return f;
}

qor_sS3dBoundary qoru_s3dReadBoundary(const uchar * p)
{
    qor_sS3dBoundary b;
    b.m_nFirstFace = qoru_readU32LE(p);
    b.m_nFaceCount = qoru_readU32LE(p + 4);
    qoru_s3dCopyName(b.m_szMaterial, p + 8, e_qor_s3dName);
    return b;
}

qor_sS3dSkin qoru_s3dReadSkin(const uchar * p)
{
    qor_sS3dSkin s;
    s.m_nInfluence = qoru_readU32LE(p);
    for (int i = 0; i < 4; ++i)
    {
        s.m_anBone[i] = qoru_readU32LE(p + 4 + 8 * i);
        s.m_afWeight[i] = qoru_readF32LE(p + 8 + 8 * i);
    }
    return s;
}

qor_sS3dHierarchyPair qoru_s3dReadHierarchyPair(const uchar * p)
{
    qor_sS3dHierarchyPair pair;
    qoru_s3dCopyName(pair.m_szChild, p, e_qor_s3dName);
    qoru_s3dCopyName(pair.m_szParent, p + e_qor_s3dName, e_qor_s3dName);
    return pair;
}

qor_sS3dUVKey qoru_s3dReadUVKey3(const uchar * p)
{
    qor_sS3dUVKey k;
    k.m_fTime = qoru_readF32LE(p);
    k.m_afValue[0] = qoru_readF32LE(p + 4);
    k.m_afValue[1] = qoru_readF32LE(p + 8);
    return k;
}

qor_sS3dUVKey qoru_s3dReadUVKey2(const uchar * p)
{
    qor_sS3dUVKey k;
    k.m_fTime = qoru_readF32LE(p);
    k.m_afValue[0] = qoru_readF32LE(p + 4);
    return k;
}

qor_sS3dMorphKey qoru_s3dReadMorphKey(const uchar * p)
{
    qor_sS3dMorphKey k;
    k.m_fTicks = qoru_readF32LE(p);
    k.m_fPercent = qoru_readF32LE(p + 4);
    return k;
}

// ---- views -----------------------------------------------------------------------------------

bool qor_sMeshData::getCorner(uint nFace, uint nCorner, qor_sS3dCorner * pCorner) const
{
    *pCorner = qor_sS3dCorner();
    const unsigned long long nAbsFace = static_cast<unsigned long long>(nFace) + m_nFaceBase;
    if (nCorner > 2 || !m_pPolygons || !m_pVertices || nAbsFace >= m_pPolygons->m_aFace.getCount())
        return false;
    const qor_sS3dFace face = m_pPolygons->m_aFace.at(uint(nAbsFace));
    const unsigned long long nPos = static_cast<unsigned long long>(face.m_anPosition[nCorner]) + m_nPositionBase;
    const unsigned long long nNorm = static_cast<unsigned long long>(face.m_anNormal[nCorner]) + m_nNormalBase;
    if (nPos >= m_pVertices->m_avPosition.getCount() || nNorm >= m_pVertices->m_avNormal.getCount())
        return false;
    pCorner->m_nPosition = uint(nPos);
    pCorner->m_nNormal = uint(nNorm);
    pCorner->m_vPosition = m_pVertices->m_avPosition.at(uint(nPos));
    pCorner->m_vNormal = m_pVertices->m_avNormal.at(uint(nNorm));
    if (m_bHasUV)
    {
        const unsigned long long nUV = static_cast<unsigned long long>(face.m_anUV[nCorner]) + m_nUVBase;
        if (!m_pTVertices || nUV >= m_pTVertices->m_avUV.getCount())
            return false;
        pCorner->m_nUV = uint(nUV);
        pCorner->m_vUV = m_pTVertices->m_avUV.at(uint(nUV));
    }
    if (m_bHasColor)
    {
        const unsigned long long nColor = static_cast<unsigned long long>(face.m_anColor[nCorner]) + m_nColorBase;
        if (!m_pCVertices || nColor >= m_pCVertices->m_aColor.getCount())
            return false;
        pCorner->m_nColor = uint(nColor);
        pCorner->m_color = m_pCVertices->m_aColor.at(uint(nColor));
    }
    if (m_bSkinned)
    {
        const uint nSkin = face.m_anPosition[nCorner];
        if (!m_aSkin.has(nSkin))
            return false;
        pCorner->m_nSkin = nSkin;
        pCorner->m_skin = m_aSkin.at(nSkin);
        if (pCorner->m_skin.m_nInfluence > 4)
            return false;
    }
    return true;
}

qor_sS3dMorphTarget qor_sMorph::getTarget(uint i) const
{
    qor_sS3dMorphTarget target;
    if (i >= m_nTarget || !m_pData || !m_pnTargetOffset)
        return target;
    const uchar * p = m_pData + m_pnTargetOffset[i];
    qoru_s3dCopyName(target.m_szName, p, e_qor_s3dName);
    target.m_aKey = qor_cS3dMorphKeyArray(p + e_qor_s3dMorphTargetSize, qoru_readU32LE(p + 64));
    return target;
}

// ---- the loader ------------------------------------------------------------------------------

qor_c3dLoader::qor_c3dLoader()
    : tz_cChunkTable(e_signature, e_version), m_pLog(new (std::nothrow) qor_cLogFile(nullptr)), m_bVertices(false),
      m_bTVertices(false), m_bCVertices(false), m_bPolygons(false)
{
}

qor_c3dLoader::~qor_c3dLoader() { delete m_pLog; }

void qor_c3dLoader::setLogFile(cchar * szPath)
{
    delete m_pLog;
    m_pLog = new (std::nothrow) qor_cLogFile(szPath);
}

void qor_c3dLoader::log(cchar * szFormat, ...)
{
    if (!szFormat || std::strlen(szFormat) >= 511)
        return;
    char acBuffer[512];
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(acBuffer, sizeof(acBuffer), szFormat, args);
    va_end(args);
    m_strLastMessage.set(acBuffer);
    if (m_pLog)
        m_pLog->log("%s", acBuffer);
}

bool qor_c3dLoader::refuse(cchar * szOperation, uint nChunk, size_t nOffset, cchar * szFormat, ...)
{
    char acReason[400];
    va_list args;
    va_start(args, szFormat);
    std::vsnprintf(acReason, sizeof(acReason), szFormat, args);
    va_end(args);
    log("qor_c3dLoader::%s() : chunk <%u> at offset <%zu> : %s\n", szOperation, nChunk, nOffset, acReason);
    QOR_LOG_LOCATION();
    qoru_logError("bool qor_c3dLoader::%s(cuint nChunk<%u>)\n", szOperation, nChunk);
    QOR_LOG_LOCATION();
    qoru_logError("chunk <%u> at offset <%zu> : %s\n", nChunk, nOffset, acReason);
    return false;
}

void qor_c3dLoader::resetPools()
{
    m_vertices = qor_sVertices();
    m_tvertices = qor_sTVertices();
    m_cvertices = qor_sCVertices();
    m_polygons = qor_sPolygons();
    m_bVertices = m_bTVertices = m_bCVertices = m_bPolygons = false;
    m_anMorphOffset.clear();
}

// How a loader reports a wrong identifier or missing data.
struct qor_c3dLoader::sChunkMessages
{
    cchar * m_szBad;        // names the operation of "qor_c3dLoader::<op>() : Bad chunk.\n"
    cchar * m_szEmpty;      // names the operation of the Empty-chunk message; null: none
    cchar * m_szSignature;  // signature line written instead of the two above (null: plain)
    cchar * m_szIDCheck;    // its failing check for a wrong identifier
    cchar * m_szDataCheck;  // its failing check for missing data
};

bool qor_c3dLoader::beginChunk(uint nChunk, uint nID, const sChunkMessages & msg, cchar * szOperation,
                               uint nMinSize, qor_sS3dChunkRef * pRef, const uchar ** ppData)
{
    if (getChunkID(nChunk) != nID)
    {
        if (msg.m_szSignature)
        {
            log("%s", msg.m_szSignature);
            log("%s", msg.m_szIDCheck);
        }
        else
            log("qor_c3dLoader::%s() : Bad chunk.\n", msg.m_szBad);
        return false;
    }
    cchar * pData = getChunkDatas(nChunk);
    if (!pData)
    {
        if (msg.m_szSignature)
        {
            log("%s", msg.m_szSignature);
            log("%s", msg.m_szDataCheck);
        }
        else if (msg.m_szEmpty)
            log("qor_c3dLoader::%s() : Empty chunk at index <%d>.\n", msg.m_szEmpty, int(nChunk));
        return false;
    }
    pRef->m_nChunk = nChunk;
    pRef->m_nOffset = getChunkOffset(nChunk);
    pRef->m_nSize = getChunkSize(nChunk);
    *ppData = reinterpret_cast<const uchar *>(pData);
    return need(szOperation, *pRef, nMinSize, "the record");
}

bool qor_c3dLoader::need(cchar * szOperation, const qor_sS3dChunkRef & ref, unsigned long long nBytes,
                         cchar * szWhat)
{
    if (nBytes <= ref.m_nSize)
        return true;
    return refuse(szOperation, ref.m_nChunk, ref.m_nOffset, "%s needs %llu bytes, the chunk holds %u", szWhat, nBytes,
                  ref.m_nSize);
}

bool qor_c3dLoader::readName(cchar * szOperation, const qor_sS3dChunkRef & ref, const uchar * pData, uint nField,
                             char * sz)
{
    if (qoru_s3dCopyName(sz, pData + nField, e_qor_s3dName))
        return true;
    return refuse(szOperation, ref.m_nChunk, ref.m_nOffset + nField, "the name field has no NUL within its %u bytes",
                  uint(e_qor_s3dName));
}

bool qor_c3dLoader::readObject(cchar * szOperation, const qor_sS3dChunkRef & ref, const uchar * pData,
                               qor_sObject * pObject)
{
    if (!readName(szOperation, ref, pData, 0, pObject->m_szName))
        return false;
    pObject->m_vCenter = qoru_s3dReadVector3(pData + 172);
    pObject->m_fRadius = qoru_readF32LE(pData + 184);
    return true;
}

namespace
{
// Messages of the loaders that write the plain Bad-chunk / Empty-chunk lines.
#define QOR_PLAIN_MESSAGES(op) {op, op, nullptr, nullptr, nullptr}
} // namespace

// ---- objects --------------------------------------------------------------------------------

bool qor_c3dLoader::loadMesh(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadMesh");
    qor_sMesh sMesh;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Mesh, msg, "loadMesh", e_qor_s3dObjectSize + 4, &sMesh.m_chunk, &p) ||
        !readObject("loadMesh", sMesh.m_chunk, p, &sMesh.m_object))
        return false;
    const uint n = qoru_readU32LE(p + e_qor_s3dObjectSize);
    const unsigned long long nAfterIndex = e_qor_s3dObjectSize + 4ull + 4ull * n;
    if (!need("loadMesh", sMesh.m_chunk, nAfterIndex + 4, "the index list"))
        return false;
    const uint m = qoru_readU32LE(p + nAfterIndex);
    if (!need("loadMesh", sMesh.m_chunk, nAfterIndex + 4 + 4ull * m, "the second index list"))
        return false;
    sMesh.m_anIndex = qor_cS3dU32Array(p + e_qor_s3dObjectSize + 4, n);
    sMesh.m_anOther = qor_cS3dU32Array(p + nAfterIndex + 4, m);
    sMesh.m_nTriMesh = n ? sMesh.m_anIndex.at(0) : qor_sMesh::e_noTriMesh;
    return extractMesh(sMesh);
}

bool qor_c3dLoader::loadCameraFree(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadCameraFree");
    qor_sCameraFree s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_CameraFree, msg, "loadCameraFree", e_qor_s3dCameraFreeSize, &s.m_chunk,
                    &p) ||
        !readObject("loadCameraFree", s.m_chunk, p, &s.m_object))
        return false;
    s.m_fRangeStart = qoru_readF32LE(p + 188);
    s.m_fFar = qoru_readF32LE(p + 192);
    s.m_fFov = qoru_readF32LE(p + 196);
    return extractCameraFree(s);
}

bool qor_c3dLoader::loadCameraTarget(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadCameraTarget");
    qor_sCameraTarget s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_CameraTarget, msg, "loadCameraTarget", e_qor_s3dCameraTargetSize,
                    &s.m_chunk, &p) ||
        !readObject("loadCameraTarget", s.m_chunk, p, &s.m_object))
        return false;
    s.m_fRangeStart = qoru_readF32LE(p + 188);
    s.m_fFar = qoru_readF32LE(p + 192);
    s.m_fFov = qoru_readF32LE(p + 196);
    s.m_fRoll = qoru_readF32LE(p + 200);
    s.m_nTarget = qoru_readU32LE(p + 204);
    return extractCameraTarget(s);
}

bool qor_c3dLoader::loadObjectRecord(cuint nChunk, uint nID, cchar * szOperation,
                                     bool (qor_c3dLoader::*pfnExtract)(const qor_sTarget &))
{
    const sChunkMessages msg = QOR_PLAIN_MESSAGES(szOperation);
    qor_sTarget s;
    const uchar * p;
    if (!beginChunk(nChunk, nID, msg, szOperation, e_qor_s3dObjectSize, &s.m_chunk, &p) ||
        !readObject(szOperation, s.m_chunk, p, &s.m_object))
        return false;
    return (this->*pfnExtract)(s);
}

bool qor_c3dLoader::loadTarget(cuint nChunk)
{
    return loadObjectRecord(nChunk, e_qor_s3dFile_Target, "loadTarget", &qor_c3dLoader::extractTarget);
}

bool qor_c3dLoader::loadDummy(cuint nChunk)
{
    return loadObjectRecord(nChunk, e_qor_s3dFile_Dummy, "loadDummy", &qor_c3dLoader::extractDummy);
}

bool qor_c3dLoader::loadBone(cuint nChunk)
{
    return loadObjectRecord(nChunk, e_qor_s3dFile_Bone, "loadBone", &qor_c3dLoader::extractBone);
}

bool qor_c3dLoader::loadLightOmni(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadLightOmni");
    qor_sLightOmni s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_LightOmni, msg, "loadLightOmni", e_qor_s3dLightOmniSize, &s.m_chunk, &p) ||
        !readObject("loadLightOmni", s.m_chunk, p, &s.m_object))
        return false;
    s.m_color = readRGBA(p + 188);
    s.m_fMultiplier = qoru_readF32LE(p + 204);
    s.m_nFlags = qoru_readU32LE(p + 208);
    s.m_fRange = qoru_readF32LE(p + 224);
    return extractLightOmni(s);
}

bool qor_c3dLoader::loadGizmoSphere(cuint nChunk)
{
    static const sChunkMessages msg = {nullptr, nullptr, "bool qor_c3dLoader::loadGizmoSphere( cuint nChunk )\n",
                                       "if ( getChunkID(nChunk) != e_qor_s3dFile_Gizmo_Sphere )\n",
                                       "qor_sGizmoSphere * pDatas = (qor_sGizmoSphere*) getChunkDatas (nChunk);\n"};
    qor_sGizmoSphere s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Gizmo_Sphere, msg, "loadGizmoSphere", e_qor_s3dGizmoSphereSize, &s.m_chunk,
                    &p) ||
        !readObject("loadGizmoSphere", s.m_chunk, p, &s.m_object))
        return false;
    s.m_fRadius = qoru_readF32LE(p + 188);
    s.m_nHemisphere = qoru_readU32LE(p + 192);
    return extractGizmoSphere(s);
}

bool qor_c3dLoader::loadGizmoBox(cuint nChunk)
{
    static const sChunkMessages msg = {nullptr, nullptr, "bool qor_c3dLoader::loadGizmoBox( cuint nChunk )\n",
                                       "if ( getChunkID(nChunk) != e_qor_s3dFile_Gizmo_Box )\n",
                                       "qor_sGizmoBox * pDatas = (qor_sGizmoBox*) getChunkDatas (nChunk);\n"};
    qor_sGizmoBox s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Gizmo_Box, msg, "loadGizmoBox", e_qor_s3dGizmoBoxSize, &s.m_chunk, &p) ||
        !readObject("loadGizmoBox", s.m_chunk, p, &s.m_object))
        return false;
    for (int i = 0; i < 3; ++i)
        s.m_afSize[i] = qoru_readF32LE(p + 188 + 4 * i);
    return extractGizmoBox(s);
}

bool qor_c3dLoader::loadGizmoCylinder(cuint nChunk)
{
    static const sChunkMessages msg = {nullptr, nullptr, "bool qor_c3dLoader::loadGizmoCylinder( cuint nChunk )\n",
                                       "if ( getChunkID(nChunk) != e_qor_s3dFile_Gizmo_Cylinder )\n",
                                       "qor_sGizmoCylinder * pDatas = (qor_sGizmoCylinder*) getChunkDatas (nChunk);\n"};
    qor_sGizmoCylinder s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Gizmo_Cylinder, msg, "loadGizmoCylinder", e_qor_s3dGizmoCylinderSize,
                    &s.m_chunk, &p) ||
        !readObject("loadGizmoCylinder", s.m_chunk, p, &s.m_object))
        return false;
    for (int i = 0; i < 2; ++i)
        s.m_afSize[i] = qoru_readF32LE(p + 188 + 4 * i);
    return extractGizmoCylinder(s);
}

bool qor_c3dLoader::loadParticleSystem(cuint nChunk)
{
    static const sChunkMessages msg = {
        nullptr, nullptr, "bool qor_c3dLoader::loadParticleSystem(cuint nChunk)\n",
        "if ( getChunkID(nChunk) != e_qor_s3dFile_Particle_System )\n",
        "qor_sParticleSystem * pDatas = (qor_sParticleSystem*) getChunkDatas (nChunk);\n"};
    qor_sParticleSystem s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Particle_System, msg, "loadParticleSystem", e_qor_s3dParticleSystemSize,
                    &s.m_chunk, &p) ||
        !readObject("loadParticleSystem", s.m_chunk, p, &s.m_object) ||
        !readName("loadParticleSystem", s.m_chunk, p, 372, s.m_szMaterialName))
        return false;
    s.m_nParticle = qoru_readU32LE(p + 188);
    s.m_nLifeBase = qoru_readU32LE(p + 192);
    s.m_nLifeRandom = qoru_readU32LE(p + 196);
    s.m_nStream = qoru_readU32LE(p + 200);
    s.m_nVisibility = qoru_readU32LE(p + 204);
    s.m_nOneShot = qoru_readU32LE(p + 208);
    s.m_vAcceleration = qoru_s3dReadVector3(p + 212);
    s.m_vBoxHalf = qoru_s3dReadVector3(p + 224);
    s.m_vVelocity = qoru_s3dReadVector3(p + 236);
    s.m_vVelocityRandom = qoru_s3dReadVector3(p + 248);
    s.m_startColor = readRGBA(p + 272);
    s.m_endColor = readRGBA(p + 304);
    s.m_fStartSize = qoru_readF32LE(p + 352);
    s.m_fStartSizeRandom = qoru_readF32LE(p + 356);
    s.m_fEndSize = qoru_readF32LE(p + 360);
    s.m_fEndSizeRandom = qoru_readF32LE(p + 364);
    // The emitter's name is not used by the engine: copied within its field, NUL or not.
    qoru_s3dCopyName(s.m_szEmitter, p + 436, e_qor_s3dName);
    return extractParticleSystem(s);
}

// ---- resources ------------------------------------------------------------------------------

bool qor_c3dLoader::loadMaterial(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadMaterial");
    qor_sMaterial s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Material, msg, "loadMaterial", e_qor_s3dMaterialSize, &s.m_chunk, &p) ||
        !readName("loadMaterial", s.m_chunk, p, 156, s.m_szDiffuse) ||
        !readName("loadMaterial", s.m_chunk, p, 220, s.m_szBump) ||
        !readName("loadMaterial", s.m_chunk, p, 284, s.m_szSecond))
        return false;
    // The material's own name is copied within its field whatever it holds: a name of 64
    // characters (no NUL) is the scene's to refuse, with its own message.
    qoru_s3dCopyName(s.m_szName, p, e_qor_s3dName);
    s.m_ambient = readRGBA(p + 64);
    s.m_diffuse = readRGBA(p + 80);
    s.m_specular = readRGBA(p + 96);
    s.m_emissive = readRGBA(p + 112);
    s.m_fPower = qoru_readF32LE(p + 128);
    s.m_fSpecularLevel = qoru_readF32LE(p + 132);
    s.m_fAmount = qoru_readF32LE(p + 140);
    s.m_translucy = qoru_readU32LE(p + 144);
    s.m_nOpacityMap = qoru_readU32LE(p + 148);
    s.m_nTwoSided = qoru_readU32LE(p + 152);
    return extractMaterial(s);
}

bool qor_c3dLoader::loadTexture(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadTexture");
    qor_sTexture s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Texture, msg, "loadTexture", e_qor_s3dTextureSize, &s.m_chunk, &p) ||
        !readName("loadTexture", s.m_chunk, p, 4, s.m_szName) ||
        !readName("loadTexture", s.m_chunk, p, 68, s.m_szAlphaName))
        return false;
    s.m_nKind = qoru_readU32LE(p);
    s.m_nFrame = qoru_readU32LE(p + 132);
    s.m_playbackRate = qoru_readF32LE(p + 136);
    s.m_endMode = qoru_readU32LE(p + 140);
    return extractTexture(s);
}

bool qor_c3dLoader::loadMaterialNode(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadMaterialNode");
    qor_sS3dRaw s;
    if (!beginChunk(nChunk, e_qor_s3dFile_MaterialNode, msg, "loadMaterialNode", 0, &s.m_chunk, &s.m_pData))
        return false;
    s.m_nSize = s.m_chunk.m_nSize;
    return extractMaterialNode(s);
}

bool qor_c3dLoader::loadAnimObject(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadAnimObject");
    qor_sS3dRaw s;
    if (!beginChunk(nChunk, e_qor_s3dFile_AnimObject, msg, "loadAnimObject", 0, &s.m_chunk, &s.m_pData))
        return false;
    s.m_nSize = s.m_chunk.m_nSize;
    return extractAnimObject(s);
}

bool qor_c3dLoader::loadMeshDataTL(cuint nChunk)
{
    // Only the Bad-chunk message: the whole chunk is handed over as it is.
    static const sChunkMessages msg = {"loadMeshDataTL", nullptr, nullptr, nullptr, nullptr};
    qor_sS3dRaw s;
    if (!beginChunk(nChunk, e_qor_s3dFile_MeshDataTL, msg, "loadMeshDataTL", 0, &s.m_chunk, &s.m_pData))
        return false;
    s.m_nSize = s.m_chunk.m_nSize;
    if (!extractMeshDataTL(s))
    {
        log("qor_c3dLoader::loadMeshDataTL() : failed to extract data.\n");
        return false;
    }
    return true;
}

// ---- pools ----------------------------------------------------------------------------------

bool qor_c3dLoader::loadVertices(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadVertices");
    qor_sVertices s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Vertices, msg, "loadVertices", 8, &s.m_chunk, &p))
        return false;
    const uint nPos = qoru_readU32LE(p);
    const uint nNorm = qoru_readU32LE(p + 4);
    if (!need("loadVertices", s.m_chunk, 8 + 12ull * nPos + 12ull * nNorm, "the positions and normals"))
        return false;
    s.m_avPosition = qor_cS3dVector3Array(p + 8, nPos);
    s.m_avNormal = qor_cS3dVector3Array(p + 8 + 12 * size_t(nPos), nNorm);
    m_vertices = s;
    m_bVertices = true;
    return extractVertices(s);
}

bool qor_c3dLoader::loadTVertices(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadTVertices");
    qor_sTVertices s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_TVertices, msg, "loadTVertices", 4, &s.m_chunk, &p))
        return false;
    const uint n = qoru_readU32LE(p);
    if (!need("loadTVertices", s.m_chunk, 4 + 8ull * n, "the texture coordinates"))
        return false;
    s.m_avUV = qor_cS3dVector2Array(p + 4, n);
    m_tvertices = s;
    m_bTVertices = true;
    return extractTVertices(s);
}

bool qor_c3dLoader::loadCVertices(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadCVertices");
    qor_sCVertices s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_CVertices, msg, "loadCVertices", 4, &s.m_chunk, &p))
        return false;
    const uint n = qoru_readU32LE(p);
    if (!need("loadCVertices", s.m_chunk, 4 + 12ull * n, "the colours"))
        return false;
    s.m_aColor = qor_cS3dRGBArray(p + 4, n);
    m_cvertices = s;
    m_bCVertices = true;
    return extractCVertices(s);
}

bool qor_c3dLoader::loadPolygons(cuint nChunk)
{
    // The polygon loader's Bad-chunk message names loadFaces3.
    static const sChunkMessages msg = {"loadFaces3", "loadPolygons", nullptr, nullptr, nullptr};
    qor_sPolygons s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Polygons, msg, "loadPolygons", 4, &s.m_chunk, &p))
        return false;
    const uint n = qoru_readU32LE(p);
    if (!need("loadPolygons", s.m_chunk, 4 + 52ull * n, "the faces"))
        return false;
    s.m_aFace = qor_cS3dFaceArray(p + 4, n);
    m_polygons = s;
    m_bPolygons = true;
    return extractPolygons(s);
}

// ---- mesh data ------------------------------------------------------------------------------

bool qor_c3dLoader::loadMeshData(cuint nChunk)
{
    static const sChunkMessages msg = {"loadMeshData", nullptr, nullptr, nullptr, nullptr};
    qor_sMeshData s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_MeshData, msg, "loadMeshData", e_qor_s3dMeshDataHeader, &s.m_chunk, &p))
        return false;
    s.m_nPositionBase = qoru_readU32LE(p + 4);
    s.m_nNormalBase = qoru_readU32LE(p + 12);
    s.m_bHasUV = qoru_readU32LE(p + 16) != 0;
    s.m_nUVBase = qoru_readU32LE(p + 20);
    s.m_bHasColor = qoru_readU32LE(p + 24) != 0;
    s.m_nColorBase = qoru_readU32LE(p + 28);
    s.m_nFaceBase = qoru_readU32LE(p + 36);
    s.m_nMaterialBoundary = qoru_readU32LE(p + 40);
    s.m_nK1 = qoru_readU32LE(p + 44);
    s.m_nK2 = qoru_readU32LE(p + 48);
    s.m_nK3 = qoru_readU32LE(p + 52);
    const unsigned long long nBoundaryEnd = e_qor_s3dMeshDataHeader + 72ull * s.m_nMaterialBoundary;
    const unsigned long long nSkinStart = nBoundaryEnd + 104ull * s.m_nK1 + 36ull * s.m_nK2;
    if (!need("loadMeshData", s.m_chunk, nSkinStart + 36ull * s.m_nK3, "the boundaries and the skin arrays"))
        return false;
    s.m_pMaterialBoundary = qor_cS3dBoundaryArray(p + e_qor_s3dMeshDataHeader, s.m_nMaterialBoundary);
    s.m_aSkin = qor_cS3dSkinArray(p + nSkinStart, s.m_nK3);
    s.m_bSkinned = (static_cast<unsigned long long>(s.m_nK1) + s.m_nK2 + s.m_nK3) != 0;
    s.m_pVertices = m_bVertices ? &m_vertices : nullptr;
    s.m_pTVertices = m_bTVertices ? &m_tvertices : nullptr;
    s.m_pCVertices = m_bCVertices ? &m_cvertices : nullptr;
    s.m_pPolygons = m_bPolygons ? &m_polygons : nullptr;

    // Every face of every boundary, checked once each (boundaries may share faces).
    const uint nPoolFaces = m_bPolygons ? m_polygons.m_aFace.getCount() : 0;
    // The boundaries share out faces of the pool: together they hold no more faces than it
    // does. The triangle lists built from them are then bounded by the file's own bytes.
    unsigned long long nAllFaces = 0;
    for (uint b = 0; b < s.m_nMaterialBoundary; ++b)
        nAllFaces += s.m_pMaterialBoundary.at(b).m_nFaceCount;
    if (nAllFaces > nPoolFaces)
        return refuse("loadMeshData", nChunk, s.m_chunk.m_nOffset + 40,
                      "the %u boundaries hold %llu faces, the polygon pool %u", s.m_nMaterialBoundary, nAllFaces,
                      nPoolFaces);
    if (m_anFaceMark.size() < nPoolFaces)
        m_anFaceMark.resize(nPoolFaces, 0);
    if (++m_nFaceMark == 0)
    {
        std::fill(m_anFaceMark.begin(), m_anFaceMark.end(), 0u);
        m_nFaceMark = 1;
    }
    for (uint b = 0; b < s.m_nMaterialBoundary; ++b)
    {
        const size_t nField = e_qor_s3dMeshDataHeader + 72 * size_t(b);
        char szMaterial[e_qor_s3dName + 1];
        if (!readName("loadMeshData", s.m_chunk, p, uint(nField + 8), szMaterial))
            return false;
        const qor_sS3dBoundary boundary = s.m_pMaterialBoundary.at(b);
        const unsigned long long nFirst = static_cast<unsigned long long>(boundary.m_nFirstFace) + s.m_nFaceBase;
        if (nFirst + boundary.m_nFaceCount > nPoolFaces)
            return refuse("loadMeshData", nChunk, s.m_chunk.m_nOffset + nField,
                          "boundary %u: faces %llu to %llu, the polygon pool holds %u", b, nFirst,
                          nFirst + boundary.m_nFaceCount, nPoolFaces);
        for (uint f = 0; f < boundary.m_nFaceCount; ++f)
        {
            const uint nFace = uint(nFirst) + f;
            if (m_anFaceMark[nFace] == m_nFaceMark)
                continue;
            m_anFaceMark[nFace] = m_nFaceMark;
            for (uint c = 0; c < 3; ++c)
            {
                qor_sS3dCorner corner;
                if (!s.getCorner(boundary.m_nFirstFace + f, c, &corner))
                    return refuse("loadMeshData", nChunk, s.m_chunk.m_nOffset + nField,
                                  "boundary %u, face %u (offset %zu in the polygon pool), corner %u: an index is "
                                  "outside its pool or the skin records, or the skin record has more than 4 "
                                  "influences",
                                  b, nFace, m_polygons.m_chunk.m_nOffset + 4 + 52 * size_t(nFace), c);
                if (s.m_bSkinned)
                    for (uint i = 0; i < corner.m_skin.m_nInfluence; ++i)
                        if (corner.m_skin.m_anBone[i] >= s.m_nBoneLimit)
                            s.m_nBoneLimit = corner.m_skin.m_anBone[i] + 1ull;
            }
        }
    }
    return extractMeshData(s);
}

// ---- the rest -------------------------------------------------------------------------------

namespace
{
bool hierarchyLayout(const uchar * p, uint nSize, uint * pnPairs, unsigned long long * pnNeeded)
{
    *pnPairs = qoru_readU32LE(p);
    *pnNeeded = 4 + 4ull * *pnPairs + 128ull * *pnPairs;
    return *pnNeeded <= nSize;
}
} // namespace

bool qor_c3dLoader::loadObjectHierarchy(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadObjectHierarchy");
    qor_sObjectHierarchy s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_ObjectHierarchy, msg, "loadObjectHierarchy", 4, &s.m_chunk, &p))
        return false;
    uint n;
    unsigned long long nNeeded;
    hierarchyLayout(p, s.m_chunk.m_nSize, &n, &nNeeded);
    if (!need("loadObjectHierarchy", s.m_chunk, nNeeded, "the pairs"))
        return false;
    const size_t nPairs = 4 + 4 * size_t(n);
    char sz[e_qor_s3dName + 1];
    for (uint i = 0; i < n; ++i)
        if (!readName("loadObjectHierarchy", s.m_chunk, p, uint(nPairs + 128 * size_t(i)), sz) ||
            !readName("loadObjectHierarchy", s.m_chunk, p, uint(nPairs + 128 * size_t(i) + 64), sz))
            return false;
    s.m_aPair = qor_cS3dPairArray(p + nPairs, n);
    return extractObjectHierarchy(s);
}

bool qor_c3dLoader::loadAnimObjectHierarchy(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadAnimObjectHierarchy");
    qor_sObjectHierarchy s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_AnimObjectHierarchy, msg, "loadAnimObjectHierarchy", 4, &s.m_chunk, &p))
        return false;
    // Not used by the engine: the view is given only when the pairs are all there, and names
    // are copied within their fields.
    uint n;
    unsigned long long nNeeded;
    if (hierarchyLayout(p, s.m_chunk.m_nSize, &n, &nNeeded))
        s.m_aPair = qor_cS3dPairArray(p + 4 + 4 * size_t(n), n);
    return extractAnimObjectHierarchy(s);
}

bool qor_c3dLoader::loadGlobalInfos(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadGlobalInfos");
    qor_sGlobalInfos s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_GlobalInfos, msg, "loadGlobalInfos", e_qor_s3dGlobalInfosSize, &s.m_chunk,
                    &p))
        return false;
    s.m_ambient = readRGBA(p);
    s.m_background = readRGBA(p + 16);
    return extractGlobalInfos(s);
}

bool qor_c3dLoader::loadFogInfos(cuint nChunk)
{
    static const sChunkMessages msg = QOR_PLAIN_MESSAGES("loadFogInfos");
    qor_sFogInfos s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_FogInfos, msg, "loadFogInfos", e_qor_s3dFogInfosSize, &s.m_chunk, &p))
        return false;
    s.m_nEnabled = p[0];
    s.m_color = readRGBA(p + 1);
    return extractFogInfos(s);
}

bool qor_c3dLoader::loadAnimUV(cuint nChunk)
{
    // The animated-UV loader has no identifier message of its own (dispatch picks it).
    static const sChunkMessages msg = {"loadAnimUV", nullptr, nullptr, nullptr, nullptr};
    qor_sAnimUV s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_AnimUV, msg, "loadAnimUV", e_qor_s3dAnimUVHeader, &s.m_chunk, &p) ||
        !readName("loadAnimUV", s.m_chunk, p, 0, s.m_szMaterial) ||
        !readName("loadAnimUV", s.m_chunk, p, 64, s.m_szTexture))
        return false;
    const uint nP = qoru_readU32LE(p + 128);
    const uint nS = qoru_readU32LE(p + 132);
    const uint nR = qoru_readU32LE(p + 136);
    if (!need("loadAnimUV", s.m_chunk, e_qor_s3dAnimUVHeader + 12ull * nP + 8ull * nR + 12ull * nS, "the keys"))
        return false;
    const uchar * pKeys = p + e_qor_s3dAnimUVHeader;
    s.m_aPosition = qor_cS3dUVKey3Array(pKeys, nP);
    s.m_aRotation = qor_cS3dUVKey2Array(pKeys + 12 * size_t(nP), nR);
    s.m_aScale = qor_cS3dUVKey3Array(pKeys + 12 * size_t(nP) + 8 * size_t(nR), nS);
    return extractAnimUV(s);
}

bool qor_c3dLoader::loadMorph(cuint nChunk)
{
    static const sChunkMessages msg = {nullptr, nullptr, "bool qor_c3dLoader::loadMorph( cuint nChunk )\n",
                                       "if ( getChunkID(nChunk) != e_qor_s3dFile_Morpher )\n",
                                       "qor_sMorph * pDatas = (qor_sMorph*) getChunkDatas (nChunk);\n"};
    qor_sMorph s;
    const uchar * p;
    if (!beginChunk(nChunk, e_qor_s3dFile_Morpher, msg, "loadMorph", e_qor_s3dMorphHeader, &s.m_chunk, &p) ||
        !readName("loadMorph", s.m_chunk, p, 0, s.m_szName))
        return false;
    s.m_nTarget = qoru_readU32LE(p + 64);
    // Each target needs at least its 72 bytes, so the walk ends with the chunk's bytes.
    m_anMorphOffset.clear();
    unsigned long long nPos = e_qor_s3dMorphHeader;
    for (uint i = 0; i < s.m_nTarget; ++i)
    {
        if (!need("loadMorph", s.m_chunk, nPos + e_qor_s3dMorphTargetSize, "a morph target"))
            return false;
        char sz[e_qor_s3dName + 1];
        if (!readName("loadMorph", s.m_chunk, p, uint(nPos), sz))
            return false;
        const uint nKeys = qoru_readU32LE(p + nPos + 64);
        if (!need("loadMorph", s.m_chunk, nPos + e_qor_s3dMorphTargetSize + 8ull * nKeys, "the morph keys"))
            return false;
        m_anMorphOffset.push_back(uint(nPos));
        nPos += e_qor_s3dMorphTargetSize + 8ull * nKeys;
    }
    s.m_pData = p;
    s.m_pnTargetOffset = m_anMorphOffset.data();
    return extractMorph(s);
}

// ---- the walk -------------------------------------------------------------------------------

bool qor_c3dLoader::dispatch(uint nChunk)
{
    switch (getChunkID(nChunk))
    {
    case e_qor_s3dFile_Mesh: return loadMesh(nChunk);
    case e_qor_s3dFile_MeshData: return loadMeshData(nChunk);
    case e_qor_s3dFile_MeshDataTL: return loadMeshDataTL(nChunk);
    case e_qor_s3dFile_CameraFree: return loadCameraFree(nChunk);
    case e_qor_s3dFile_CameraTarget: return loadCameraTarget(nChunk);
    case e_qor_s3dFile_Target: return loadTarget(nChunk);
    case e_qor_s3dFile_AnimObject: return loadAnimObject(nChunk);
    case e_qor_s3dFile_Material: return loadMaterial(nChunk);
    case e_qor_s3dFile_MaterialNode: return loadMaterialNode(nChunk);
    case e_qor_s3dFile_Texture: return loadTexture(nChunk);
    case e_qor_s3dFile_Vertices: return loadVertices(nChunk);
    case e_qor_s3dFile_TVertices: return loadTVertices(nChunk);
    case e_qor_s3dFile_CVertices: return loadCVertices(nChunk);
    case e_qor_s3dFile_Polygons: return loadPolygons(nChunk);
    case e_qor_s3dFile_LightOmni: return loadLightOmni(nChunk);
    case e_qor_s3dFile_Dummy: return loadDummy(nChunk);
    case e_qor_s3dFile_ObjectHierarchy: return loadObjectHierarchy(nChunk);
    case e_qor_s3dFile_AnimObjectHierarchy: return loadAnimObjectHierarchy(nChunk);
    case e_qor_s3dFile_GlobalInfos: return loadGlobalInfos(nChunk);
    case e_qor_s3dFile_FogInfos: return loadFogInfos(nChunk);
    case e_qor_s3dFile_Bone: return loadBone(nChunk);
    case e_qor_s3dFile_AnimUV: return loadAnimUV(nChunk);
    case e_qor_s3dFile_Gizmo_Sphere: return loadGizmoSphere(nChunk);
    case e_qor_s3dFile_Gizmo_Box: return loadGizmoBox(nChunk);
    case e_qor_s3dFile_Gizmo_Cylinder: return loadGizmoCylinder(nChunk);
    case e_qor_s3dFile_Particle_System: return loadParticleSystem(nChunk);
    case e_qor_s3dFile_Morpher: return loadMorph(nChunk);
    default:
        // 0xDEAD0010 to 0xDEAD0013 and every identifier this loader does not know.
        return true;
    }
}

bool qor_c3dLoader::loadSceneFromMemory(cchar * pData) { return loadSceneFromMemory(pData, size_t(-1)); }

bool qor_c3dLoader::loadSceneFromMemory(cchar * pData, size_t nSize)
{
    resetPools();
    const bool bLoaded = nSize == size_t(-1) ? loadFromMemory(pData) : loadFromMemory(pData, nSize);
    if (!bLoaded)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_c3dLoader::loadSceneFromMemory(cchar * pData)\n");
        QOR_LOG_LOCATION();
        qoru_logError("bool bBool = loadFromMemory(pData);\n");
        QOR_LOG_LOCATION();
        qoru_logError("%s\n", getLastError());
        log("qor_c3dLoader::loadSceneFromMemory() : %s\n", getLastError());
        return false;
    }
    if (getSignature() != e_signature)
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_c3dLoader::loadSceneFromMemory(cchar * pData)\n");
        QOR_LOG_LOCATION();
        qoru_logError("if ( getSignature() != e_signature )\n");
        m_strLastMessage.printf("signature 0x%08X is not 0x%08X\n", getSignature(), uint(e_signature));
        return false;
    }
    // A signed comparison, as the format's readers have always made it.
    if (static_cast<int>(getVersion()) > static_cast<int>(e_version))
    {
        QOR_LOG_LOCATION();
        qoru_logError("bool qor_c3dLoader::loadSceneFromMemory(cchar * pData)\n");
        QOR_LOG_LOCATION();
        qoru_logError("if ( getVersion() > e_version )\n");
        m_strLastMessage.printf("version %u is above %u\n", getVersion(), uint(e_version));
        return false;
    }
    bool bOk = true;
    for (uint i = 0; bOk && i < getNbChunk(); ++i)
        bOk = dispatch(i);
    resetPools();
    return bOk;
}

// ---- the loader's own extract operations accept everything -----------------------------------

bool qor_c3dLoader::extractMesh(const qor_sMesh &) { return true; }
bool qor_c3dLoader::extractMeshData(const qor_sMeshData &) { return true; }
bool qor_c3dLoader::extractMeshDataTL(const qor_sS3dRaw &) { return true; }
bool qor_c3dLoader::extractVertices(const qor_sVertices &) { return true; }
bool qor_c3dLoader::extractTVertices(const qor_sTVertices &) { return true; }
bool qor_c3dLoader::extractCVertices(const qor_sCVertices &) { return true; }
bool qor_c3dLoader::extractPolygons(const qor_sPolygons &) { return true; }
bool qor_c3dLoader::extractCameraFree(const qor_sCameraFree &) { return true; }
bool qor_c3dLoader::extractCameraTarget(const qor_sCameraTarget &) { return true; }
bool qor_c3dLoader::extractTarget(const qor_sTarget &) { return true; }
bool qor_c3dLoader::extractAnimObject(const qor_sS3dRaw &) { return true; }
bool qor_c3dLoader::extractMaterial(const qor_sMaterial &) { return true; }
bool qor_c3dLoader::extractMaterialNode(const qor_sS3dRaw &) { return true; }
bool qor_c3dLoader::extractTexture(const qor_sTexture &) { return true; }
bool qor_c3dLoader::extractLightOmni(const qor_sLightOmni &) { return true; }
bool qor_c3dLoader::extractDummy(const qor_sDummy &) { return true; }
bool qor_c3dLoader::extractBone(const qor_sBone &) { return true; }
bool qor_c3dLoader::extractObjectHierarchy(const qor_sObjectHierarchy &) { return true; }
bool qor_c3dLoader::extractAnimObjectHierarchy(const qor_sObjectHierarchy &) { return true; }
bool qor_c3dLoader::extractGlobalInfos(const qor_sGlobalInfos &) { return true; }
bool qor_c3dLoader::extractFogInfos(const qor_sFogInfos &) { return true; }
bool qor_c3dLoader::extractAnimUV(const qor_sAnimUV &) { return true; }
bool qor_c3dLoader::extractGizmoSphere(const qor_sGizmoSphere &) { return true; }
bool qor_c3dLoader::extractGizmoBox(const qor_sGizmoBox &) { return true; }
bool qor_c3dLoader::extractGizmoCylinder(const qor_sGizmoCylinder &) { return true; }
bool qor_c3dLoader::extractParticleSystem(const qor_sParticleSystem &) { return true; }
bool qor_c3dLoader::extractMorph(const qor_sMorph &) { return true; }
