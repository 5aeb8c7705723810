#include "qor_cS3dWriter.h"

#include "tz_cChunkedFile.h"
#include "tz_cFile.h"

#include <cstdlib>
#include <cstring>

// ---- bytes ------------------------------------------------------------------------------------

qor_cS3dBytes & qor_cS3dBytes::u8(uint n)
{
    m_data.push_back(uchar(n));
    return *this;
}

qor_cS3dBytes & qor_cS3dBytes::u16(uint n)
{
    m_data.push_back(uchar(n));
    m_data.push_back(uchar(n >> 8));
    return *this;
}

qor_cS3dBytes & qor_cS3dBytes::u32(uint n)
{
    uchar a[4];
    qoru_writeU32LE(a, n);
    return bytes(a, 4);
}

qor_cS3dBytes & qor_cS3dBytes::f32(float f)
{
    uchar a[4];
    qoru_writeF32LE(a, f);
    return bytes(a, 4);
}

qor_cS3dBytes & qor_cS3dBytes::name(const std::string & sz, uint nField)
{
    const size_t n = sz.size() < nField ? sz.size() : nField;
    bytes(sz.data(), n);
    return zeros(nField - n);
}

qor_cS3dBytes & qor_cS3dBytes::zeros(size_t n)
{
    m_data.insert(m_data.end(), n, uchar(0));
    return *this;
}

qor_cS3dBytes & qor_cS3dBytes::bytes(const void * p, size_t n)
{
    const uchar * pb = static_cast<const uchar *>(p);
    m_data.insert(m_data.end(), pb, pb + n);
    return *this;
}

qor_cS3dBytes & qor_cS3dBytes::putU32(size_t nOffset, uint n)
{
    if (nOffset + 4 <= m_data.size())
        qoru_writeU32LE(m_data.data() + nOffset, n);
    return *this;
}

// ---- scene records ----------------------------------------------------------------------------

qor_cS3dWriter::qor_cS3dWriter(uint nSignature, uint nVersion) : m_table(nSignature, nVersion) {}

bool qor_cS3dWriter::addChunk(uint nID, const void * pData, size_t nSize)
{
    if (!m_table.addChunk(nID, true))
        return false;
    return nSize == 0 || m_table.append(pData, nSize);
}

std::vector<char> qor_cS3dWriter::image() const
{
    char * p = nullptr;
    size_t n = 0;
    std::vector<char> out;
    if (m_table.saveToMemory(&p, &n))
        out.assign(p, p + n);
    std::free(p);
    return out;
}

qor_cS3dBytes qor_cS3dWriter::objectRecord(const qor_sS3dWObject & obj)
{
    qor_cS3dBytes b;
    b.name(obj.m_strName).zeros(108).vec3(obj.m_vCenter).f32(obj.m_fRadius);
    return b;
}

qor_cS3dBytes qor_cS3dWriter::meshRecord(const qor_sS3dWObject & obj, const std::vector<uint> & anIndex,
                                         const std::vector<uint> & anOther)
{
    qor_cS3dBytes b = objectRecord(obj);
    b.u32(uint(anIndex.size()));
    for (uint n : anIndex)
        b.u32(n);
    b.u32(uint(anOther.size()));
    for (uint n : anOther)
        b.u32(n);
    return b;
}

qor_cS3dBytes qor_cS3dWriter::meshDataRecord(const qor_sS3dWMeshData & d)
{
    qor_cS3dBytes b;
    b.u32(0).u32(d.m_nPositionBase).u32(0).u32(d.m_nNormalBase);
    b.u32(d.m_bHasUV ? 1 : 0).u32(d.m_nUVBase).u32(d.m_bHasColor ? 1 : 0).u32(d.m_nColorBase);
    b.u32(0).u32(d.m_nFaceBase).u32(uint(d.m_boundaries.size()));
    b.u32(d.m_nK1).u32(d.m_nK2).u32(uint(d.m_skins.size())).zeros(16);
    for (const qor_sS3dWBoundary & bd : d.m_boundaries)
        b.u32(bd.m_nFirstFace).u32(bd.m_nFaceCount).name(bd.m_strMaterial);
    b.zeros(size_t(d.m_nK1) * e_qor_s3dMeshDataK1Size + size_t(d.m_nK2) * e_qor_s3dMeshDataK2Size);
    for (const qor_sS3dSkin & s : d.m_skins)
    {
        b.u32(s.m_nInfluence);
        for (int i = 0; i < 4; ++i)
            b.u32(s.m_anBone[i]).f32(s.m_afWeight[i]);
    }
    return b;
}

qor_cS3dBytes qor_cS3dWriter::materialRecord(const qor_sS3dWMaterial & m)
{
    qor_cS3dBytes b;
    b.name(m.m_strName).rgba(m.m_ambient).rgba(m.m_diffuse).rgba(m.m_specular).rgba(m.m_emissive);
    b.f32(m.m_fPower).f32(m.m_fSpecularLevel).zeros(4).f32(m.m_fAmount);
    b.u32(m.m_translucy).u32(m.m_nOpacityMap).u32(m.m_nTwoSided);
    b.name(m.m_strDiffuse).name(m.m_strBump).name(m.m_strSecond);
    return b;
}

qor_cS3dBytes qor_cS3dWriter::textureRecord(const qor_sS3dWTexture & t)
{
    qor_cS3dBytes b;
    b.u32(t.m_nKind).name(t.m_strName).name(t.m_strAlphaName).u32(t.m_nFrame).f32(t.m_playbackRate).u32(t.m_endMode);
    return b;
}

qor_cS3dBytes qor_cS3dWriter::particleSystemRecord(const qor_sS3dWObject & obj, const qor_sS3dWParticleSystem & s)
{
    qor_cS3dBytes b = objectRecord(obj);
    b.u32(s.m_nParticle).u32(s.m_nLifeBase).u32(s.m_nLifeRandom).u32(s.m_nStream).u32(s.m_nVisibility);
    b.u32(s.m_nOneShot).vec3(s.m_vAcceleration).vec3(s.m_vBoxHalf).vec3(s.m_vVelocity).vec3(s.m_vVelocityRandom);
    b.zeros(272 - 260).rgba(s.m_startColor).zeros(304 - 288).rgba(s.m_endColor).zeros(352 - 320);
    b.f32(s.m_fStartSize).f32(s.m_fStartSizeRandom).f32(s.m_fEndSize).f32(s.m_fEndSizeRandom).zeros(4);
    b.name(s.m_strMaterialName).name(s.m_strEmitter);
    return b;
}

qor_cS3dBytes qor_cS3dWriter::morphRecord(const std::string & strMesh,
                                          const std::vector<qor_sS3dWMorphTarget> & targets)
{
    qor_cS3dBytes b;
    b.name(strMesh).u32(uint(targets.size())).zeros(4);
    for (const qor_sS3dWMorphTarget & t : targets)
    {
        b.name(t.m_strName).u32(uint(t.m_keys.size())).zeros(4);
        for (const qor_sS3dMorphKey & k : t.m_keys)
            b.f32(k.m_fTicks).f32(k.m_fPercent);
    }
    return b;
}

qor_cS3dBytes qor_cS3dWriter::polygonsRecord(const std::vector<qor_sS3dFace> & faces)
{
    qor_cS3dBytes b;
    b.u32(uint(faces.size()));
    for (const qor_sS3dFace & f : faces)
    {
        for (uint n : f.m_anPosition)
            b.u32(n);
        for (uint n : f.m_anUV)
            b.u32(n);
        for (uint n : f.m_anColor)
            b.u32(n);
        for (uint n : f.m_anNormal)
            b.u32(n);
        b.u32(0);
    }
    return b;
}

qor_cS3dBytes qor_cS3dWriter::verticesRecord(const std::vector<qor_cVector3> & positions,
                                             const std::vector<qor_cVector3> & normals)
{
    qor_cS3dBytes b;
    b.u32(uint(positions.size())).u32(uint(normals.size()));
    for (const qor_cVector3 & v : positions)
        b.vec3(v);
    for (const qor_cVector3 & v : normals)
        b.vec3(v);
    return b;
}

qor_cS3dBytes qor_cS3dWriter::hierarchyRecord(const std::vector<std::pair<std::string, std::string>> & pairs)
{
    qor_cS3dBytes b;
    b.u32(uint(pairs.size())).zeros(4 * pairs.size());
    for (const auto & pair : pairs)
        b.name(pair.first).name(pair.second);
    return b;
}

bool qor_cS3dWriter::addMesh(const qor_sS3dWObject & obj, const std::vector<uint> & anIndex,
                             const std::vector<uint> & anOther)
{
    return addChunk(e_qor_s3dFile_Mesh, meshRecord(obj, anIndex, anOther));
}

bool qor_cS3dWriter::addMeshData(const qor_sS3dWMeshData & data)
{
    return addChunk(e_qor_s3dFile_MeshData, meshDataRecord(data));
}

bool qor_cS3dWriter::addVertices(const std::vector<qor_cVector3> & positions, const std::vector<qor_cVector3> & normals)
{
    return addChunk(e_qor_s3dFile_Vertices, verticesRecord(positions, normals));
}

bool qor_cS3dWriter::addTVertices(const std::vector<qor_cVector2> & uvs)
{
    qor_cS3dBytes b;
    b.u32(uint(uvs.size()));
    for (const qor_cVector2 & v : uvs)
        b.vec2(v);
    return addChunk(e_qor_s3dFile_TVertices, b);
}

bool qor_cS3dWriter::addCVertices(const std::vector<qor_cColor> & colors)
{
    qor_cS3dBytes b;
    b.u32(uint(colors.size()));
    for (const qor_cColor & c : colors)
        b.f32(c.r).f32(c.g).f32(c.b);
    return addChunk(e_qor_s3dFile_CVertices, b);
}

bool qor_cS3dWriter::addPolygons(const std::vector<qor_sS3dFace> & faces)
{
    return addChunk(e_qor_s3dFile_Polygons, polygonsRecord(faces));
}

bool qor_cS3dWriter::addCameraFree(const qor_sS3dWObject & obj, float fRangeStart, float fFar, float fFovDegrees)
{
    qor_cS3dBytes b = objectRecord(obj);
    b.f32(fRangeStart).f32(fFar).f32(fFovDegrees);
    return addChunk(e_qor_s3dFile_CameraFree, b);
}

bool qor_cS3dWriter::addCameraTarget(const qor_sS3dWObject & obj, float fRangeStart, float fFar, float fFovDegrees,
                                     float fRollDegrees, uint nTarget)
{
    qor_cS3dBytes b = objectRecord(obj);
    b.f32(fRangeStart).f32(fFar).f32(fFovDegrees).f32(fRollDegrees).u32(nTarget);
    return addChunk(e_qor_s3dFile_CameraTarget, b);
}

bool qor_cS3dWriter::addTarget(const qor_sS3dWObject & obj) { return addChunk(e_qor_s3dFile_Target, objectRecord(obj)); }
bool qor_cS3dWriter::addDummy(const qor_sS3dWObject & obj) { return addChunk(e_qor_s3dFile_Dummy, objectRecord(obj)); }
bool qor_cS3dWriter::addBone(const qor_sS3dWObject & obj) { return addChunk(e_qor_s3dFile_Bone, objectRecord(obj)); }

bool qor_cS3dWriter::addMaterial(const qor_sS3dWMaterial & mat)
{
    return addChunk(e_qor_s3dFile_Material, materialRecord(mat));
}

bool qor_cS3dWriter::addTexture(const qor_sS3dWTexture & tex)
{
    return addChunk(e_qor_s3dFile_Texture, textureRecord(tex));
}

bool qor_cS3dWriter::addLightOmni(const qor_sS3dWObject & obj, const qor_cColor & color, float fMultiplier,
                                  uint nFlags, float fRange)
{
    qor_cS3dBytes b = objectRecord(obj);
    b.rgba(color).f32(fMultiplier).u32(nFlags).zeros(12).f32(fRange);
    return addChunk(e_qor_s3dFile_LightOmni, b);
}

bool qor_cS3dWriter::addObjectHierarchy(const std::vector<std::pair<std::string, std::string>> & pairs)
{
    return addChunk(e_qor_s3dFile_ObjectHierarchy, hierarchyRecord(pairs));
}

bool qor_cS3dWriter::addAnimObjectHierarchy(const std::vector<std::pair<std::string, std::string>> & pairs)
{
    return addChunk(e_qor_s3dFile_AnimObjectHierarchy, hierarchyRecord(pairs));
}

bool qor_cS3dWriter::addGlobalInfos(const qor_cColor & ambient, const qor_cColor & background)
{
    qor_cS3dBytes b;
    b.rgba(ambient).rgba(background);
    return addChunk(e_qor_s3dFile_GlobalInfos, b);
}

bool qor_cS3dWriter::addFogInfos(bool bEnabled, const qor_cColor & color)
{
    qor_cS3dBytes b;
    b.u8(bEnabled ? 1 : 0).rgba(color);
    return addChunk(e_qor_s3dFile_FogInfos, b);
}

bool qor_cS3dWriter::addAnimUV(const std::string & strMaterial, const std::string & strTexture,
                               const std::vector<qor_sS3dUVKey> & position, const std::vector<qor_sS3dUVKey> & rotation,
                               const std::vector<qor_sS3dUVKey> & scale)
{
    qor_cS3dBytes b;
    b.name(strMaterial).name(strTexture).u32(uint(position.size())).u32(uint(scale.size()));
    b.u32(uint(rotation.size())).zeros(12);
    for (const qor_sS3dUVKey & k : position)
        b.f32(k.m_fTime).f32(k.m_afValue[0]).f32(k.m_afValue[1]);
    for (const qor_sS3dUVKey & k : rotation)
        b.f32(k.m_fTime).f32(k.m_afValue[0]);
    for (const qor_sS3dUVKey & k : scale)
        b.f32(k.m_fTime).f32(k.m_afValue[0]).f32(k.m_afValue[1]);
    return addChunk(e_qor_s3dFile_AnimUV, b);
}

bool qor_cS3dWriter::addGizmoSphere(const qor_sS3dWObject & obj, float fRadius, uint nHemisphere)
{
    qor_cS3dBytes b = objectRecord(obj);
    b.f32(fRadius).u32(nHemisphere);
    return addChunk(e_qor_s3dFile_Gizmo_Sphere, b);
}

bool qor_cS3dWriter::addGizmoBox(const qor_sS3dWObject & obj, float fX, float fY, float fZ)
{
    qor_cS3dBytes b = objectRecord(obj);
    b.f32(fX).f32(fY).f32(fZ);
    return addChunk(e_qor_s3dFile_Gizmo_Box, b);
}

bool qor_cS3dWriter::addGizmoCylinder(const qor_sS3dWObject & obj, float fA, float fB)
{
    qor_cS3dBytes b = objectRecord(obj);
    b.f32(fA).f32(fB);
    return addChunk(e_qor_s3dFile_Gizmo_Cylinder, b);
}

bool qor_cS3dWriter::addParticleSystem(const qor_sS3dWObject & obj, const qor_sS3dWParticleSystem & sys)
{
    return addChunk(e_qor_s3dFile_Particle_System, particleSystemRecord(obj, sys));
}

bool qor_cS3dWriter::addMorph(const std::string & strMesh, const std::vector<qor_sS3dWMorphTarget> & targets)
{
    return addChunk(e_qor_s3dFile_Morpher, morphRecord(strMesh, targets));
}

// ---- the animation file -----------------------------------------------------------------------

qor_sMotChannel qor_sMotChannel::constant(float a, float b, float c, float d)
{
    qor_sMotChannel ch;
    ch.m_eForm = e_static;
    ch.m_afValue[0] = a;
    ch.m_afValue[1] = b;
    ch.m_afValue[2] = c;
    ch.m_afValue[3] = d;
    return ch;
}

qor_sMotChannel qor_sMotChannel::track(uint nKind, const std::vector<qor_sMotKey> & keys)
{
    qor_sMotChannel ch;
    ch.m_eForm = e_track;
    ch.m_nKind = nKind;
    ch.m_keys = keys;
    return ch;
}

namespace
{
// Values per key of each channel: position, rotation, scale, roll, fov, visibility.
constexpr uint s_anComponents[] = {3, 4, 3, 1, 1, 1};
// Identifiers of the static and track forms, same order.
constexpr uint s_anStaticID[] = {e_qor_motPositionStatic, e_qor_motRotationStatic, e_qor_motScaleStatic,
                                 e_qor_motRollStatic,     e_qor_motFovStatic,      e_qor_motVisibilityStatic};
} // namespace

uint qor_cMotWriter::channelID(eChannel eWhich, const qor_sMotChannel & channel)
{
    if (channel.m_nID || channel.m_eForm == qor_sMotChannel::e_none)
        return channel.m_nID;
    return s_anStaticID[eWhich] + (channel.m_eForm == qor_sMotChannel::e_track ? 1 : 0);
}

qor_cS3dBytes qor_cMotWriter::channelPayload(eChannel eWhich, const qor_sMotChannel & channel)
{
    qor_cS3dBytes b;
    const uint nComp = s_anComponents[eWhich];
    if (channel.m_eForm == qor_sMotChannel::e_none)
        return b;
    if (channel.m_eForm == qor_sMotChannel::e_static)
    {
        for (uint i = 0; i < nComp; ++i)
            b.f32(channel.m_afValue[i]);
        return b;
    }
    b.u16(channel.m_nKind).u32(uint(channel.m_keys.size()));
    if (eWhich == e_visibility)
    {
        // Visibility keys are always (time, value), a single one included.
        for (const qor_sMotKey & k : channel.m_keys)
            b.f32(k.m_fTime).f32(k.m_afValue[0]);
        return b;
    }
    if (channel.m_keys.size() == 1)
    {
        // The single-value form: no time; roll and field of view keep their 4-byte value too.
        for (uint i = 0; i < nComp; ++i)
            b.f32(channel.m_keys[0].m_afValue[i]);
        return b;
    }
    // Parameters per key: kind 1 three, kind 2 three (one for one-component channels; a rotation
    // of kind 2 has no layout and is written as kind 1 for readers to refuse), kind 3 none.
    uint nParam = 0;
    if (channel.m_nKind == 1 || (channel.m_nKind == 2 && eWhich == e_rotation))
        nParam = 3;
    else if (channel.m_nKind == 2)
        nParam = nComp == 1 ? 1 : 3;
    for (const qor_sMotKey & k : channel.m_keys)
    {
        b.f32(k.m_fTime);
        for (uint i = 0; i < nComp; ++i)
            b.f32(k.m_afValue[i]);
        for (uint i = 0; i < nParam; ++i)
            b.f32(k.m_afParam[i]);
    }
    return b;
}

void qor_cMotWriter::addCommonInfos(uint nFirst, uint nSecond, uint nRate)
{
    sTop top;
    top.m_nID = e_qor_motCommonInfos;
    top.m_payload.u32(nFirst).u32(nSecond).u32(nRate);
    m_top.push_back(top);
}

void qor_cMotWriter::addObjectsMotions(const std::vector<qor_sMotObject> & objects)
{
    sTop top;
    top.m_nID = e_qor_motObjectsMotions;
    top.m_objects = objects;
    top.m_bMotions = true;
    m_top.push_back(top);
}

void qor_cMotWriter::addRawChunk(uint nID, const qor_cS3dBytes & payload)
{
    sTop top;
    top.m_nID = nID;
    top.m_payload = payload;
    m_top.push_back(top);
}

bool qor_cMotWriter::save(cchar * szPath) const
{
    tz_cChunkedFile file;
    if (!file.open(szPath, "wb"))
        return false;
    bool bOk = true;
    for (const sTop & top : m_top)
    {
        bOk = bOk && file.openChunk(top.m_nID);
        if (!top.m_bMotions)
        {
            bOk = bOk && file.writeData(top.m_payload.size(), top.m_payload.data().data());
            bOk = bOk && file.closeChunk();
            continue;
        }
        qor_cS3dBytes count;
        count.u32(uint(top.m_objects.size()));
        bOk = bOk && file.writeData(count.size(), count.data().data());
        for (const qor_sMotObject & obj : top.m_objects)
        {
            qor_cS3dBytes name;
            name.name(obj.m_strName, 128);
            bOk = bOk && file.openChunk(obj.m_nBlockID) && file.writeData(name.size(), name.data().data());
            const qor_sMotChannel * apChannel[] = {&obj.m_position, &obj.m_rotation, &obj.m_scale,
                                                   &obj.m_roll,     &obj.m_fov,      &obj.m_visibility};
            for (int i = 0; i < 6; ++i)
            {
                const qor_cS3dBytes payload = channelPayload(eChannel(i), *apChannel[i]);
                bOk = bOk && file.openChunk(channelID(eChannel(i), *apChannel[i]));
                if (payload.size())
                    bOk = bOk && file.writeData(payload.size(), payload.data().data());
                bOk = bOk && file.closeChunk();
            }
            bOk = bOk && file.closeChunk();
        }
        bOk = bOk && file.closeChunk();
    }
    return bOk && file.save();
}
