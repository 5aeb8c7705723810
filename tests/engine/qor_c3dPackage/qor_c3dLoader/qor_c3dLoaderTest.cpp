// The scene file loader: a subclass records what each extract operation receives. Records are
// laid out here at the offsets of the file format, by hand, or through the writer where the
// layout is checked separately; expected values are the ones written.
#include <gtest/gtest.h>

#include "qor_c3dLoader.h"
#include "qor_cS3dWriter.h"
#include "qor_testUtil.h"

#include <cstring>
#include <string>
#include <vector>

namespace
{
// Records the views and the order of the calls; a chosen operation can be made to fail.
class Recorder : public qor_c3dLoader
{
public:
    std::vector<std::string> m_calls;
    std::vector<qor_sMesh> m_meshes;
    std::vector<qor_sMeshData> m_meshData;
    std::vector<qor_sS3dCorner> m_corners;  // every corner of every boundary, in order
    std::vector<qor_sCameraFree> m_free;
    std::vector<qor_sCameraTarget> m_target;
    std::vector<qor_sTarget> m_objects;  // targets, dummies, bones
    std::vector<qor_sMaterial> m_materials;
    std::vector<qor_sTexture> m_textures;
    std::vector<qor_sLightOmni> m_lights;
    std::vector<qor_sS3dHierarchyPair> m_pairs;
    std::vector<qor_sGlobalInfos> m_globals;
    std::vector<qor_sFogInfos> m_fogs;
    std::vector<qor_sS3dUVKey> m_uvKeys;  // position, rotation, scale keys in that order
    std::vector<qor_sAnimUV> m_animUV;
    std::vector<qor_sGizmoSphere> m_spheres;
    std::vector<qor_sGizmoBox> m_boxes;
    std::vector<qor_sGizmoCylinder> m_cylinders;
    std::vector<qor_sParticleSystem> m_systems;
    std::vector<std::string> m_morphTargets;
    std::vector<qor_sS3dMorphKey> m_morphKeys;
    std::vector<uint> m_rawSizes;
    std::vector<uint> m_poolCounts;
    std::string m_failOn;

    bool note(const char * sz)
    {
        m_calls.push_back(sz);
        return m_failOn != sz;
    }
    bool extractMesh(const qor_sMesh & s) override
    {
        m_meshes.push_back(s);
        return note("mesh");
    }
    bool extractMeshData(const qor_sMeshData & s) override
    {
        m_meshData.push_back(s);
        for (uint b = 0; b < s.m_nMaterialBoundary; ++b)
        {
            const qor_sS3dBoundary bd = s.m_pMaterialBoundary.at(b);
            for (uint f = 0; f < bd.m_nFaceCount; ++f)
                for (uint c = 0; c < 3; ++c)
                {
                    qor_sS3dCorner corner;
                    EXPECT_TRUE(s.getCorner(bd.m_nFirstFace + f, c, &corner));
                    m_corners.push_back(corner);
                }
        }
        return note("meshdata");
    }
    bool extractMeshDataTL(const qor_sS3dRaw & s) override
    {
        m_rawSizes.push_back(s.m_nSize);
        return note("meshdatatl");
    }
    bool extractVertices(const qor_sVertices & s) override
    {
        m_poolCounts.push_back(s.m_avPosition.getCount());
        m_poolCounts.push_back(s.m_avNormal.getCount());
        return note("vertices");
    }
    bool extractTVertices(const qor_sTVertices & s) override
    {
        m_poolCounts.push_back(s.m_avUV.getCount());
        return note("tvertices");
    }
    bool extractCVertices(const qor_sCVertices & s) override
    {
        m_poolCounts.push_back(s.m_aColor.getCount());
        return note("cvertices");
    }
    bool extractPolygons(const qor_sPolygons & s) override
    {
        m_poolCounts.push_back(s.m_aFace.getCount());
        return note("polygons");
    }
    bool extractCameraFree(const qor_sCameraFree & s) override
    {
        m_free.push_back(s);
        return note("camerafree");
    }
    bool extractCameraTarget(const qor_sCameraTarget & s) override
    {
        m_target.push_back(s);
        return note("cameratarget");
    }
    bool extractTarget(const qor_sTarget & s) override
    {
        m_objects.push_back(s);
        return note("target");
    }
    bool extractAnimObject(const qor_sS3dRaw & s) override
    {
        m_rawSizes.push_back(s.m_nSize);
        return note("animobject");
    }
    bool extractMaterial(const qor_sMaterial & s) override
    {
        m_materials.push_back(s);
        return note("material");
    }
    bool extractMaterialNode(const qor_sS3dRaw & s) override
    {
        m_rawSizes.push_back(s.m_nSize);
        return note("materialnode");
    }
    bool extractTexture(const qor_sTexture & s) override
    {
        m_textures.push_back(s);
        return note("texture");
    }
    bool extractLightOmni(const qor_sLightOmni & s) override
    {
        m_lights.push_back(s);
        return note("light");
    }
    bool extractDummy(const qor_sDummy & s) override
    {
        m_objects.push_back(s);
        return note("dummy");
    }
    bool extractBone(const qor_sBone & s) override
    {
        m_objects.push_back(s);
        return note("bone");
    }
    bool extractObjectHierarchy(const qor_sObjectHierarchy & s) override
    {
        for (uint i = 0; i < s.m_aPair.getCount(); ++i)
            m_pairs.push_back(s.m_aPair.at(i));
        return note("hierarchy");
    }
    bool extractAnimObjectHierarchy(const qor_sObjectHierarchy &) override { return note("animhierarchy"); }
    bool extractGlobalInfos(const qor_sGlobalInfos & s) override
    {
        m_globals.push_back(s);
        return note("global");
    }
    bool extractFogInfos(const qor_sFogInfos & s) override
    {
        m_fogs.push_back(s);
        return note("fog");
    }
    bool extractAnimUV(const qor_sAnimUV & s) override
    {
        m_animUV.push_back(s);
        for (uint i = 0; i < s.m_aPosition.getCount(); ++i)
            m_uvKeys.push_back(s.m_aPosition.at(i));
        for (uint i = 0; i < s.m_aRotation.getCount(); ++i)
            m_uvKeys.push_back(s.m_aRotation.at(i));
        for (uint i = 0; i < s.m_aScale.getCount(); ++i)
            m_uvKeys.push_back(s.m_aScale.at(i));
        return note("animuv");
    }
    bool extractGizmoSphere(const qor_sGizmoSphere & s) override
    {
        m_spheres.push_back(s);
        return note("sphere");
    }
    bool extractGizmoBox(const qor_sGizmoBox & s) override
    {
        m_boxes.push_back(s);
        return note("box");
    }
    bool extractGizmoCylinder(const qor_sGizmoCylinder & s) override
    {
        m_cylinders.push_back(s);
        return note("cylinder");
    }
    bool extractParticleSystem(const qor_sParticleSystem & s) override
    {
        m_systems.push_back(s);
        return note("particles");
    }
    bool extractMorph(const qor_sMorph & s) override
    {
        m_morphTargets.push_back(s.m_szName);
        for (uint i = 0; i < s.m_nTarget; ++i)
        {
            const qor_sS3dMorphTarget t = s.getTarget(i);
            m_morphTargets.push_back(t.m_szName);
            for (uint k = 0; k < t.m_aKey.getCount(); ++k)
                m_morphKeys.push_back(t.m_aKey.at(k));
        }
        return note("morph");
    }

    // The image stays with the recorder: the views it keeps point into it.
    std::vector<char> m_image;
    bool load(const std::vector<char> & img)
    {
        m_image = img;
        return loadSceneFromMemory(m_image.data(), m_image.size());
    }
};

qor_sS3dWObject obj(const std::string & name, qor_cVector3 c = qor_cVector3(1, 2, 3), float r = 4)
{
    qor_sS3dWObject o;
    o.m_strName = name;
    o.m_vCenter = c;
    o.m_fRadius = r;
    return o;
}

qor_sS3dFace face(uint a, uint b, uint c)
{
    qor_sS3dFace f;
    const uint idx[3] = {a, b, c};
    for (int i = 0; i < 3; ++i)
        f.m_anPosition[i] = f.m_anUV[i] = f.m_anColor[i] = f.m_anNormal[i] = idx[i];
    return f;
}

// ---- the header ---------------------------------------------------------------------------------

TEST(qor_c3dLoader, SignatureAndVersion)
{
    struct Case
    {
        uint m_nSignature;
        uint m_nVersion;
        bool m_bLoads;
        const char * m_szLine;
    };
    const Case cases[] = {
        {0x03D0DEADu, 276, true, nullptr},
        {0x03D0DEADu, 0, true, nullptr},
        {0x03D0DEADu, 277, false, "if ( getVersion() > e_version )\n"},
        {0x03D0DEAEu, 276, false, "if ( getSignature() != e_signature )\n"},
    };
    for (const Case & c : cases)
    {
        qort::LogCapture capture;
        qor_cS3dWriter w(c.m_nSignature, c.m_nVersion);
        Recorder r;
        EXPECT_EQ(r.load(w.image()), c.m_bLoads) << c.m_nVersion;
        EXPECT_TRUE(r.m_calls.empty());
        if (c.m_szLine)
        {
            EXPECT_NE(capture.text().find("bool qor_c3dLoader::loadSceneFromMemory(cchar * pData)\n"),
                      std::string::npos);
            EXPECT_NE(capture.text().find(c.m_szLine), std::string::npos) << capture.text();
        }
    }
}

TEST(qor_c3dLoader, UnknownAndSkippedChunksAreStepsOver)
{
    qor_cS3dWriter w;
    w.addTarget(obj("t0"));
    w.addChunk(0xDEAD0011u, "junk", 4);
    w.addChunk(0xDEAD0010u, nullptr, 0);
    w.addChunk(0x12345678u, "x", 1);
    w.addDummy(obj("d0"));
    Recorder r;
    ASSERT_TRUE(r.load(w.image()));
    EXPECT_EQ(r.m_calls, (std::vector<std::string>{"target", "dummy"}));
}

TEST(qor_c3dLoader, AFalseExtractStopsTheWalk)
{
    qor_cS3dWriter w;
    w.addTarget(obj("a"));
    w.addBone(obj("b"));
    w.addDummy(obj("c"));
    Recorder r;
    r.m_failOn = "bone";
    EXPECT_FALSE(r.load(w.image()));
    EXPECT_EQ(r.m_calls, (std::vector<std::string>{"target", "bone"}));
}

TEST(qor_c3dLoader, TheSizelessFormReadsAnImageThisProgramWrote)
{
    qor_cS3dWriter w;
    w.addTarget(obj("only"));
    Recorder r;
    const std::vector<char> img = w.image();
    ASSERT_TRUE(r.loadSceneFromMemory(img.data()));
    ASSERT_EQ(r.m_objects.size(), 1u);
    EXPECT_STREQ(r.m_objects[0].m_object.m_szName, "only");
}

// ---- record views, from hand-placed bytes ---------------------------------------------------------

// The common record: name at 0, sphere centre at 172, radius at 184.
qor_cS3dBytes handObject(const char * szName)
{
    qor_cS3dBytes b;
    b.name(szName).zeros(108).f32(-1.5f).f32(2.25f).f32(8.0f).f32(0.5f);
    return b;
}

TEST(qor_c3dLoader, ObjectRecordsAtTheirOffsets)
{
    qor_cS3dWriter w;
    qor_cS3dBytes light = handObject("omni");
    light.f32(0.25f).f32(0.5f).f32(0.75f).f32(1.0f).f32(2.0f).u32((1u << 1) | (1u << 3)).zeros(12).f32(150.0f);
    ASSERT_EQ(light.size(), 228u);
    w.addChunk(e_qor_s3dFile_LightOmni, light);
    qor_cS3dBytes cam = handObject("cam");
    cam.f32(1.0f).f32(1000.0f).f32(45.0f).f32(30.0f).u32(1);
    w.addChunk(e_qor_s3dFile_CameraTarget, cam);
    qor_cS3dBytes free = handObject("free");
    free.f32(2.0f).f32(500.0f).f32(60.0f);
    w.addChunk(e_qor_s3dFile_CameraFree, free);
    qor_cS3dBytes sphere = handObject("gs");
    sphere.f32(3.5f).u32(1);
    w.addChunk(e_qor_s3dFile_Gizmo_Sphere, sphere);
    qor_cS3dBytes box = handObject("gb");
    box.f32(1).f32(2).f32(3);
    w.addChunk(e_qor_s3dFile_Gizmo_Box, box);
    qor_cS3dBytes cyl = handObject("gc");
    cyl.f32(4).f32(5);
    w.addChunk(e_qor_s3dFile_Gizmo_Cylinder, cyl);
    qor_cS3dBytes mesh = handObject("mesh");
    mesh.u32(2).u32(7).u32(9).u32(1).u32(42);
    w.addChunk(e_qor_s3dFile_Mesh, mesh);
    Recorder r;
    ASSERT_TRUE(r.load(w.image()));

    ASSERT_EQ(r.m_lights.size(), 1u);
    const qor_sLightOmni & l = r.m_lights[0];
    EXPECT_STREQ(l.m_object.m_szName, "omni");
    EXPECT_EQ(l.m_object.m_vCenter, qor_cVector3(-1.5f, 2.25f, 8.0f));
    EXPECT_EQ(l.m_object.m_fRadius, 0.5f);
    EXPECT_EQ(l.m_color, qor_cColor(0.25f, 0.5f, 0.75f, 1.0f));
    EXPECT_EQ(l.m_fMultiplier, 2.0f);
    EXPECT_TRUE(l.isRangeOn());
    EXPECT_TRUE(l.isOn());
    EXPECT_FALSE(l.isSpecularOn());
    EXPECT_EQ(l.m_fRange, 150.0f);
    EXPECT_EQ(l.m_chunk.m_nChunk, 0u);
    EXPECT_EQ(l.m_chunk.m_nOffset, 24u);

    ASSERT_EQ(r.m_target.size(), 1u);
    EXPECT_EQ(r.m_target[0].m_fRangeStart, 1.0f);
    EXPECT_EQ(r.m_target[0].m_fFar, 1000.0f);
    EXPECT_EQ(r.m_target[0].m_fFov, 45.0f);
    EXPECT_EQ(r.m_target[0].m_fRoll, 30.0f);
    EXPECT_EQ(r.m_target[0].m_nTarget, 1u);
    ASSERT_EQ(r.m_free.size(), 1u);
    EXPECT_EQ(r.m_free[0].m_fFov, 60.0f);
    EXPECT_EQ(r.m_free[0].m_fFar, 500.0f);
    ASSERT_EQ(r.m_spheres.size(), 1u);
    EXPECT_EQ(r.m_spheres[0].m_fRadius, 3.5f);
    EXPECT_EQ(r.m_spheres[0].m_nHemisphere, 1u);
    EXPECT_EQ(r.m_boxes[0].m_afSize[2], 3.0f);
    EXPECT_EQ(r.m_cylinders[0].m_afSize[1], 5.0f);
    ASSERT_EQ(r.m_meshes.size(), 1u);
    EXPECT_EQ(r.m_meshes[0].m_nTriMesh, 7u);
    EXPECT_EQ(r.m_meshes[0].m_anIndex.getCount(), 2u);
    EXPECT_EQ(r.m_meshes[0].m_anOther.at(0), 42u);
}

TEST(qor_c3dLoader, MaterialTextureAndSettingsAtTheirOffsets)
{
    qor_cS3dWriter w;
    qor_cS3dBytes tex;
    tex.u32(1).name("maps\\rock").name("").u32(12).f32(0.5f).u32(1);
    ASSERT_EQ(tex.size(), 144u);
    w.addChunk(e_qor_s3dFile_Texture, tex);
    qor_cS3dBytes mat;
    mat.name("stone");
    for (int c = 0; c < 16; ++c)
        mat.f32(float(c));  // ambient 0..3, diffuse 4..7, specular 8..11, emissive 12..15
    mat.f32(20.0f).f32(0.5f).u32(0xFFFFFFFFu).f32(0.75f).u32(2).u32(1).u32(1);
    mat.name("maps\\rock").name("bumpy").name("env");
    ASSERT_EQ(mat.size(), 348u);
    w.addChunk(e_qor_s3dFile_Material, mat);
    qor_cS3dBytes global;
    global.f32(0.1f).f32(0.2f).f32(0.3f).f32(0.4f).f32(0.5f).f32(0.6f).f32(0.7f).f32(0.8f);
    w.addChunk(e_qor_s3dFile_GlobalInfos, global);
    qor_cS3dBytes fog;
    fog.u8(1).f32(0.5f).f32(0.5f).f32(0.5f).f32(1.0f);  // packed from byte 1
    w.addChunk(e_qor_s3dFile_FogInfos, fog);
    Recorder r;
    ASSERT_TRUE(r.load(w.image()));

    ASSERT_EQ(r.m_textures.size(), 1u);
    const qor_sTexture & t = r.m_textures[0];
    EXPECT_EQ(t.m_nKind, 1u);
    EXPECT_STREQ(t.m_szName, "maps\\rock");
    EXPECT_STREQ(t.m_szAlphaName, "");
    EXPECT_EQ(t.m_nFrame, 12u);
    EXPECT_EQ(t.m_playbackRate, 0.5f);
    EXPECT_EQ(t.m_endMode, 1u);
    EXPECT_EQ(t.getEndMode(), 2u);  // file 1 gives end mode 2

    ASSERT_EQ(r.m_materials.size(), 1u);
    const qor_sMaterial & m = r.m_materials[0];
    EXPECT_STREQ(m.m_szName, "stone");
    EXPECT_EQ(m.m_ambient, qor_cColor(0, 1, 2, 3));
    EXPECT_EQ(m.m_diffuse, qor_cColor(4, 5, 6, 7));
    EXPECT_EQ(m.m_specular, qor_cColor(8, 9, 10, 11));
    EXPECT_EQ(m.m_emissive, qor_cColor(12, 13, 14, 15));
    EXPECT_EQ(m.m_fPower, 20.0f);
    EXPECT_EQ(m.m_fSpecularLevel, 0.5f);
    EXPECT_EQ(m.m_fAmount, 0.75f);
    EXPECT_EQ(m.m_translucy, 2u);
    EXPECT_EQ(m.m_nOpacityMap, 1u);
    EXPECT_EQ(m.m_nTwoSided, 1u);
    EXPECT_STREQ(m.m_szDiffuse, "maps\\rock");
    EXPECT_STREQ(m.m_szBump, "bumpy");
    EXPECT_STREQ(m.m_szSecond, "env");

    EXPECT_EQ(r.m_globals[0].m_ambient, qor_cColor(0.1f, 0.2f, 0.3f, 0.4f));
    EXPECT_EQ(r.m_globals[0].m_background, qor_cColor(0.5f, 0.6f, 0.7f, 0.8f));
    EXPECT_EQ(r.m_fogs[0].m_nEnabled, 1u);
    EXPECT_EQ(r.m_fogs[0].m_color, qor_cColor(0.5f, 0.5f, 0.5f, 1.0f));
}

TEST(qor_c3dLoader, ParticleSystemAtItsOffsets)
{
    qor_cS3dBytes b = handObject("spark");
    // 188: six u32, 212: four vectors, 272 and 304: colours, 352: four sizes, 372 and 436: names.
    b.u32(500).u32(30).u32(10).u32(1).u32(1).u32(0);
    for (int i = 0; i < 12; ++i)
        b.f32(float(i + 1));
    b.zeros(12).f32(255).f32(128).f32(0).f32(255).zeros(16).f32(0).f32(0).f32(255).f32(0).zeros(32);
    b.f32(2).f32(1).f32(8).f32(4).zeros(4).name("fire").name("emitter");
    ASSERT_EQ(b.size(), 500u);
    // The writer lays out the same bytes.
    qor_sS3dWParticleSystem sys;
    sys.m_nParticle = 500;
    sys.m_nLifeBase = 30;
    sys.m_nLifeRandom = 10;
    sys.m_nStream = 1;
    sys.m_nVisibility = 1;
    sys.m_vAcceleration.set(1, 2, 3);
    sys.m_vBoxHalf.set(4, 5, 6);
    sys.m_vVelocity.set(7, 8, 9);
    sys.m_vVelocityRandom.set(10, 11, 12);
    sys.m_startColor.set(255, 128, 0, 255);
    sys.m_endColor.set(0, 0, 255, 0);
    sys.m_fStartSize = 2;
    sys.m_fStartSizeRandom = 1;
    sys.m_fEndSize = 8;
    sys.m_fEndSizeRandom = 4;
    sys.m_strMaterialName = "fire";
    sys.m_strEmitter = "emitter";
    qor_sS3dWObject o = obj("spark", qor_cVector3(-1.5f, 2.25f, 8.0f), 0.5f);
    EXPECT_EQ(qor_cS3dWriter::particleSystemRecord(o, sys).data(), b.data());

    qor_cS3dWriter w;
    w.addChunk(e_qor_s3dFile_Particle_System, b);
    Recorder r;
    ASSERT_TRUE(r.load(w.image()));
    ASSERT_EQ(r.m_systems.size(), 1u);
    const qor_sParticleSystem & s = r.m_systems[0];
    EXPECT_EQ(s.m_nParticle, 500u);
    EXPECT_EQ(s.m_nLifeBase, 30u);
    EXPECT_EQ(s.m_nLifeRandom, 10u);
    EXPECT_EQ(s.m_nStream, 1u);
    EXPECT_EQ(s.m_nOneShot, 0u);
    EXPECT_EQ(s.m_vAcceleration, qor_cVector3(1, 2, 3));
    EXPECT_EQ(s.m_vVelocityRandom, qor_cVector3(10, 11, 12));
    EXPECT_EQ(s.m_startColor, qor_cColor(255, 128, 0, 255));
    EXPECT_EQ(s.m_endColor, qor_cColor(0, 0, 255, 0));
    EXPECT_EQ(s.m_fEndSizeRandom, 4.0f);
    EXPECT_STREQ(s.m_szMaterialName, "fire");
    EXPECT_STREQ(s.m_szEmitter, "emitter");
}

TEST(qor_c3dLoader, MeshDataResolvesCornersThroughBasesAndPools)
{
    qor_cS3dWriter w;
    // Positions 0..4, normals 0..2; the mesh data's position base 1 and normal base 0.
    w.addVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {5, 5, 5}}, {{0, 0, 2}, {0, 3, 0}, {4, 0, 0}});
    w.addTVertices({{0.25f, 0.75f}, {0.5f, 0.5f}, {1, 0}});
    w.addCVertices({qor_cColor(1, 0, 0, 1), qor_cColor(0, 1, 0, 1), qor_cColor(0, 0, 1, 1)});
    // Face 0 is padding; face 1 (face base 1, first face 0) uses position indices 0, 1, 3.
    qor_sS3dFace f = face(0, 1, 2);
    f.m_anPosition[2] = 3;
    w.addPolygons({face(9, 9, 9), f});
    qor_sS3dWMeshData d;
    d.m_nPositionBase = 1;
    d.m_bHasUV = true;
    d.m_bHasColor = true;
    d.m_nColorBase = 0;
    d.m_nFaceBase = 1;
    d.m_boundaries.push_back({0, 1, "mat"});
    qor_sS3dSkin skin;
    skin.m_nInfluence = 2;
    skin.m_anBone[0] = 3;
    skin.m_afWeight[0] = 0.25f;
    skin.m_anBone[1] = 6;
    skin.m_afWeight[1] = 0.75f;
    d.m_skins = {skin, qor_sS3dSkin(), qor_sS3dSkin(), qor_sS3dSkin()};
    w.addMeshData(d);
    Recorder r;
    ASSERT_TRUE(r.load(w.image()));
    EXPECT_EQ(r.m_poolCounts, (std::vector<uint>{5, 3, 3, 3, 2}));
    ASSERT_EQ(r.m_meshData.size(), 1u);
    const qor_sMeshData & md = r.m_meshData[0];
    EXPECT_TRUE(md.m_bSkinned);
    EXPECT_EQ(md.m_nBoneLimit, 7ull);  // bone 6 is the largest one used
    ASSERT_EQ(r.m_corners.size(), 3u);
    // Corner 0: position index 0 + base 1 = (1, 0, 0); normal 0; uv 0; colour 0; skin record 0.
    EXPECT_EQ(r.m_corners[0].m_nPosition, 1u);
    EXPECT_EQ(r.m_corners[0].m_vPosition, qor_cVector3(1, 0, 0));
    EXPECT_EQ(r.m_corners[0].m_vNormal, qor_cVector3(0, 0, 2));
    EXPECT_EQ(r.m_corners[0].m_vUV, qor_cVector2(0.25f, 0.75f));
    EXPECT_EQ(r.m_corners[0].m_color, qor_cColor(1, 0, 0, 1));
    EXPECT_EQ(r.m_corners[0].m_skin.m_nInfluence, 2u);
    EXPECT_EQ(r.m_corners[0].m_skin.m_anBone[1], 6u);
    EXPECT_EQ(r.m_corners[0].m_skin.m_afWeight[1], 0.75f);
    // Corner 2: position index 3 + 1 = 4 = (5, 5, 5), skin record 3.
    EXPECT_EQ(r.m_corners[2].m_vPosition, qor_cVector3(5, 5, 5));
    EXPECT_EQ(r.m_corners[2].m_nSkin, 3u);
    EXPECT_EQ(r.m_corners[2].m_vNormal, qor_cVector3(4, 0, 0));
    EXPECT_EQ(r.m_corners[2].m_color, qor_cColor(0, 0, 1, 1));
}

TEST(qor_c3dLoader, BoneIndexOfTwoToThe32MinusOneGivesItsLimit)
{
    // One past bone 2^32 - 1 does not fit 32 bits: no object list is that long, and the scene's
    // check against its list must still see it.
    qor_cS3dWriter w;
    w.addVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}});
    qor_sS3dFace f = face(0, 1, 2);
    for (int i = 0; i < 3; ++i)
        f.m_anNormal[i] = 0;
    w.addPolygons({f});
    qor_sS3dWMeshData d;
    d.m_boundaries.push_back({0, 1, "m"});
    qor_sS3dSkin s;
    s.m_nInfluence = 1;
    s.m_anBone[0] = 0xFFFFFFFFu;
    d.m_skins = {s, s, s};
    w.addMeshData(d);
    Recorder r;
    ASSERT_TRUE(r.load(w.image()));
    ASSERT_EQ(r.m_meshData.size(), 1u);
    EXPECT_EQ(r.m_meshData[0].m_nBoneLimit, 0x100000000ull);
}

TEST(qor_c3dLoader, HierarchyAnimUVAndMorphKeys)
{
    qor_cS3dWriter w;
    w.addObjectHierarchy({{"child", "parent"}, {"a", "b"}});
    qor_sS3dUVKey p0, r0, s0;
    p0.m_fTime = 1;
    p0.m_afValue[0] = 0.5f;
    p0.m_afValue[1] = 0.25f;
    r0.m_fTime = 2;
    r0.m_afValue[0] = 90;
    s0.m_fTime = 3;
    s0.m_afValue[0] = 2;
    s0.m_afValue[1] = 4;
    w.addAnimUV("mat", "tex", {p0}, {r0, r0}, {s0});
    w.addMorph("body", {{"smile", {{0, 0}, {0, 50}, {160, 100}}}, {"frown", {}}});
    w.addMeshDataTL(qor_cS3dBytes().zeros(10));
    w.addAnimObject(qor_cS3dBytes().zeros(104));
    w.addMaterialNode(qor_cS3dBytes().zeros(34));
    w.addAnimObjectHierarchy({{"x", "y"}});
    Recorder r;
    ASSERT_TRUE(r.load(w.image()));
    ASSERT_EQ(r.m_pairs.size(), 2u);
    EXPECT_STREQ(r.m_pairs[1].m_szChild, "a");
    EXPECT_STREQ(r.m_pairs[1].m_szParent, "b");
    ASSERT_EQ(r.m_animUV.size(), 1u);
    EXPECT_STREQ(r.m_animUV[0].m_szMaterial, "mat");
    EXPECT_STREQ(r.m_animUV[0].m_szTexture, "tex");
    // Position keys, then rotation keys, then scale keys (the counts are P, S, R in the header).
    ASSERT_EQ(r.m_uvKeys.size(), 4u);
    EXPECT_EQ(r.m_uvKeys[0].m_afValue[1], 0.25f);
    EXPECT_EQ(r.m_uvKeys[1].m_fTime, 2.0f);
    EXPECT_EQ(r.m_uvKeys[2].m_afValue[0], 90.0f);
    EXPECT_EQ(r.m_uvKeys[3].m_afValue[1], 4.0f);
    EXPECT_EQ(r.m_morphTargets, (std::vector<std::string>{"body", "smile", "frown"}));
    ASSERT_EQ(r.m_morphKeys.size(), 3u);
    EXPECT_EQ(r.m_morphKeys[2].m_fTicks, 160.0f);
    EXPECT_EQ(r.m_morphKeys[1].m_fPercent, 50.0f);
    EXPECT_EQ(r.m_rawSizes, (std::vector<uint>{10, 104, 34}));
}

TEST(qor_c3dLoader, MaterialNamesOf63And64CharactersReachTheScene)
{
    // 63 characters end with a NUL; 64 fill the field: the view holds 64 (the scene refuses
    // that as too long), and nothing past the field is read.
    for (size_t n : {63u, 64u})
    {
        qor_sS3dWMaterial mat;
        mat.m_strName = std::string(n, 'm');
        qor_cS3dWriter w;
        w.addMaterial(mat);
        Recorder r;
        ASSERT_TRUE(r.load(w.image()));
        ASSERT_EQ(r.m_materials.size(), 1u);
        EXPECT_EQ(std::strlen(r.m_materials[0].m_szName), n);
    }
}

// ---- messages ---------------------------------------------------------------------------------------

TEST(qor_c3dLoader, BadChunkAndSignatureMessagesGoToTheLoaderLog)
{
    qort::TempDir dir;
    const std::string logPath = dir.file("loader.txt");
    qor_cS3dWriter w;
    w.addTarget(obj("t"));
    const std::vector<char> img = w.image();
    Recorder r;
    r.setLogFile(logPath.c_str());
    ASSERT_TRUE(r.load(img));
    EXPECT_FALSE(r.loadMesh(0));
    EXPECT_FALSE(r.loadPolygons(0));
    EXPECT_FALSE(r.loadMeshDataTL(0));
    EXPECT_FALSE(r.loadGizmoSphere(0));
    EXPECT_FALSE(r.loadMorph(0));
    EXPECT_FALSE(r.loadParticleSystem(0));
    EXPECT_EQ(qort::readText(logPath), "qor_c3dLoader::loadMesh() : Bad chunk.\n"
                                       "qor_c3dLoader::loadFaces3() : Bad chunk.\n"
                                       "qor_c3dLoader::loadMeshDataTL() : Bad chunk.\n"
                                       "bool qor_c3dLoader::loadGizmoSphere( cuint nChunk )\n"
                                       "if ( getChunkID(nChunk) != e_qor_s3dFile_Gizmo_Sphere )\n"
                                       "bool qor_c3dLoader::loadMorph( cuint nChunk )\n"
                                       "if ( getChunkID(nChunk) != e_qor_s3dFile_Morpher )\n"
                                       "bool qor_c3dLoader::loadParticleSystem(cuint nChunk)\n"
                                       "if ( getChunkID(nChunk) != e_qor_s3dFile_Particle_System )\n");
    // Setting the path again starts the file anew; formats of 511 characters or more are dropped.
    r.setLogFile(logPath.c_str());
    EXPECT_FALSE(qort::fileExists(logPath));
    const std::string longFormat(511, 'x');
    r.log("%s", longFormat.c_str());
    r.log(longFormat.c_str(), 0);
    EXPECT_EQ(qort::readText(logPath), longFormat);
}

TEST(qor_c3dLoader, MeshDataTLExtractFailureIsLogged)
{
    qort::TempDir dir;
    qor_cS3dWriter w;
    w.addMeshDataTL(qor_cS3dBytes().zeros(3));
    Recorder r;
    r.m_failOn = "meshdatatl";
    r.setLogFile(dir.file("l.txt").c_str());
    EXPECT_FALSE(r.load(w.image()));
    EXPECT_EQ(qort::readText(dir.file("l.txt")), "qor_c3dLoader::loadMeshDataTL() : failed to extract data.\n");
}

// ---- hostile files ------------------------------------------------------------------------------------

// A small file with one chunk of every kind the loader reads.
std::vector<char> everyKind()
{
    qor_cS3dWriter w;
    qor_sS3dWTexture tex;
    tex.m_strName = "t";
    w.addTexture(tex);
    qor_sS3dWMaterial mat;
    mat.m_strName = "m";
    w.addMaterial(mat);
    w.addVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}});
    w.addTVertices({{0, 0}});
    w.addCVertices({qor_cColor(1, 1, 1, 1)});
    qor_sS3dFace f = face(0, 1, 2);
    for (int i = 0; i < 3; ++i)
        f.m_anUV[i] = f.m_anColor[i] = f.m_anNormal[i] = 0;
    w.addPolygons({f});
    qor_sS3dWMeshData d;
    d.m_bHasUV = d.m_bHasColor = true;
    d.m_boundaries.push_back({0, 1, "m"});
    qor_sS3dSkin s;
    s.m_nInfluence = 1;
    d.m_skins = {s, s, s};
    w.addMeshData(d);
    w.addMesh(obj("mesh"), {0});
    w.addTarget(obj("tg"));
    w.addCameraTarget(obj("cam"), 1, 100, 45, 0, 0);
    w.addCameraFree(obj("free"), 1, 100, 45);
    w.addLightOmni(obj("l"), qor_cColor(1, 1, 1, 1), 1, 0xFF, 10);
    w.addDummy(obj("d"));
    w.addBone(obj("b"));
    w.addGizmoSphere(obj("gs"), 1, 0);
    w.addGizmoBox(obj("gb"), 1, 1, 1);
    w.addGizmoCylinder(obj("gc"), 1, 1);
    qor_sS3dWParticleSystem sys;
    sys.m_strMaterialName = "m";
    w.addParticleSystem(obj("p"), sys);
    w.addObjectHierarchy({{"d", "b"}});
    w.addGlobalInfos(qor_cColor(), qor_cColor());
    w.addFogInfos(true, qor_cColor());
    qor_sS3dUVKey k;
    w.addAnimUV("m", "t", {k}, {k}, {k});
    w.addMorph("mesh", {{"mesh", {{0, 0}}}});
    w.addMeshDataTL(qor_cS3dBytes().zeros(4));
    w.addAnimObject(qor_cS3dBytes().zeros(4));
    w.addMaterialNode(qor_cS3dBytes().zeros(4));
    w.addAnimObjectHierarchy({});
    return w.image();
}

TEST(qor_c3dLoader, EveryTruncationOfAFileWithEveryKindFails)
{
    const std::vector<char> img = everyKind();
    {
        Recorder r;
        ASSERT_TRUE(r.load(img));
        EXPECT_EQ(r.m_calls.size(), 27u);  // every kind was read
    }
    for (size_t n = 0; n < img.size(); ++n)
    {
        std::vector<char> cut(img.begin(), img.begin() + static_cast<long>(n));
        Recorder r;
        EXPECT_FALSE(r.loadSceneFromMemory(cut.data(), n)) << n;
    }
}

TEST(qor_c3dLoader, EveryRecordCutShortInsideItsChunkIsRefused)
{
    // Each chunk of the every-kind file, rewritten one byte shorter than it is (the table stays
    // consistent): the loader must refuse the record itself, not read past it. Chunks passed
    // whole (mesh data TL, anim object, material node, anim object hierarchy) accept any size.
    tz_cChunkTable table(0, 0);
    const std::vector<char> img = everyKind();
    ASSERT_TRUE(table.loadFromMemory(img.data(), img.size()));
    for (uint i = 0; i < table.getNbChunk(); ++i)
    {
        const uint nID = table.getChunkID(i);
        if (nID == e_qor_s3dFile_MeshDataTL || nID == e_qor_s3dFile_AnimObject || nID == e_qor_s3dFile_MaterialNode ||
            nID == e_qor_s3dFile_AnimObjectHierarchy)
            continue;
        qor_cS3dWriter w;
        for (uint j = 0; j < table.getNbChunk(); ++j)
            w.addChunk(table.getChunkID(j), table.getChunkDatas(j), table.getChunkSize(j) - (j == i ? 1 : 0));
        qort::LogCapture capture;
        Recorder r;
        EXPECT_FALSE(r.load(w.image())) << std::hex << nID;
        EXPECT_NE(capture.text().find("chunk <" + std::to_string(i) + "> at offset <"), std::string::npos)
            << std::hex << nID << capture.text();
    }
}

struct Hostile
{
    const char * m_szName;
    std::vector<char> (*m_pfnBuild)();
    const char * m_szMessage;  // expected in the error log
};

std::vector<char> hostileVertexCount()
{
    qor_cS3dWriter w;
    w.addChunk(e_qor_s3dFile_Vertices, qor_cS3dBytes().u32(0xFFFFFFFFu).u32(0).f32(1).f32(2).f32(3));
    return w.image();
}
std::vector<char> hostilePolygonCount()
{
    qor_cS3dWriter w;
    w.addChunk(e_qor_s3dFile_Polygons, qor_cS3dWriter::polygonsRecord({face(0, 0, 0)}).putU32(0, 0xFFFFFFFFu));
    return w.image();
}
std::vector<char> hostileBoundaryCount()
{
    qor_sS3dWMeshData d;
    qor_cS3dWriter w;
    w.addChunk(e_qor_s3dFile_MeshData, qor_cS3dWriter::meshDataRecord(d).putU32(40, 0xFFFFFFFFu));
    return w.image();
}
std::vector<char> hostileSkinCount()
{
    qor_sS3dWMeshData d;
    qor_cS3dWriter w;
    w.addChunk(e_qor_s3dFile_MeshData, qor_cS3dWriter::meshDataRecord(d).putU32(52, 0xFFFFFFFFu));
    return w.image();
}
void poolsAndOneFace(qor_cS3dWriter & w, uint nPosition, uint nFaceFirst, uint nFaceCount, uint nSkinInfluence,
                     bool bSkin)
{
    w.addVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}});
    qor_sS3dFace f = face(0, 1, nPosition);
    for (int i = 0; i < 3; ++i)
        f.m_anNormal[i] = 0;
    w.addPolygons({f});
    qor_sS3dWMeshData d;
    d.m_boundaries.push_back({nFaceFirst, nFaceCount, "m"});
    if (bSkin)
    {
        qor_sS3dSkin s;
        s.m_nInfluence = nSkinInfluence;
        d.m_skins = {s, s, s};
    }
    w.addMeshData(d);
    }
std::vector<char> hostilePositionIndex()
{
    qor_cS3dWriter w;
    poolsAndOneFace(w, 3, 0, 1, 0, false);
    return w.image();
}
std::vector<char> hostileFacePastPool()
{
    qor_cS3dWriter w;
    poolsAndOneFace(w, 2, 0, 2, 0, false);
    return w.image();
}
std::vector<char> hostileFaceCountMax()
{
    qor_cS3dWriter w;
    poolsAndOneFace(w, 2, 1, 0xFFFFFFFFu, 0, false);
    return w.image();
}
std::vector<char> hostileFirstFacePastPool()
{
    qor_cS3dWriter w;
    poolsAndOneFace(w, 2, 1, 1, 0, false);
    return w.image();
}
std::vector<char> hostileInfluences()
{
    qor_cS3dWriter w;
    poolsAndOneFace(w, 2, 0, 1, 5, true);
    return w.image();
}
std::vector<char> hostileSkinIndex()
{
    // Skinned through K1 only: no skin record for the corners to select.
    qor_cS3dWriter w;
    poolsAndOneFace(w, 2, 0, 1, 0, false);
    qor_cS3dWriter out;
    tz_cChunkTable & t = w.getTable();
    for (uint i = 0; i + 1 < t.getNbChunk(); ++i)
        out.addChunk(t.getChunkID(i), t.getChunkDatas(i), t.getChunkSize(i));
    qor_sS3dWMeshData d;
    d.m_boundaries.push_back({0, 1, "m"});
    d.m_nK1 = 1;
    out.addMeshData(d);
    return out.image();
}
std::vector<char> hostileUVWithoutPool()
{
    qor_cS3dWriter w;
    w.addVertices({{0, 0, 0}}, {{0, 0, 1}});
    w.addPolygons({face(0, 0, 0)});
    qor_sS3dWMeshData d;
    d.m_bHasUV = true;
    d.m_boundaries.push_back({0, 1, "m"});
    w.addMeshData(d);
    return w.image();
}
std::vector<char> hostileMorphTargets()
{
    qor_cS3dWriter w;
    w.addChunk(e_qor_s3dFile_Morpher, qor_cS3dWriter::morphRecord("m", {{"t", {}}}).putU32(64, 0xFFFFFFFFu));
    return w.image();
}
std::vector<char> hostileMorphKeys()
{
    qor_cS3dWriter w;
    w.addChunk(e_qor_s3dFile_Morpher, qor_cS3dWriter::morphRecord("m", {{"t", {{0, 0}}}}).putU32(72 + 64, 0xFFFFFFFFu));
    return w.image();
}
std::vector<char> hostileAnimUVKeys()
{
    qor_cS3dWriter w;
    w.addAnimUV("m", "t", {}, {}, {});
    tz_cChunkTable & t = w.getTable();
    qor_cS3dBytes b;
    b.bytes(t.getChunkDatas(0), t.getChunkSize(0)).putU32(136, 0xFFFFFFFFu);
    qor_cS3dWriter out;
    out.addChunk(e_qor_s3dFile_AnimUV, b);
    return out.image();
}
std::vector<char> hostileHierarchyPairs()
{
    qor_cS3dWriter w;
    w.addChunk(e_qor_s3dFile_ObjectHierarchy, qor_cS3dBytes().u32(0x40000000u).zeros(200));
    return w.image();
}
std::vector<char> hostileMeshIndexCount()
{
    qor_cS3dWriter w;
    w.addChunk(e_qor_s3dFile_Mesh, qor_cS3dWriter::meshRecord(obj("m"), {0}, {}).putU32(188, 0xFFFFFFFFu));
    return w.image();
}
std::vector<char> hostileUnterminatedObjectName()
{
    qor_cS3dWriter w;
    w.addTarget(obj(std::string(64, 'n')));
    return w.image();
}
std::vector<char> hostileUnterminatedTextureName()
{
    qor_sS3dWTexture t;
    t.m_strAlphaName = std::string(70, 'a');
    qor_cS3dWriter w;
    w.addTexture(t);
    return w.image();
}
std::vector<char> hostileUnterminatedPairName()
{
    qor_cS3dWriter w;
    w.addObjectHierarchy({{"ok", std::string(64, 'p')}});
    return w.image();
}

TEST(qor_c3dLoader, HostileRecordsAreRefusedWithChunkAndOffset)
{
    const Hostile cases[] = {
        {"vertex count 2^32-1", hostileVertexCount, "chunk <0> at offset <24> : the positions and normals needs "},
        {"polygon count 2^32-1", hostilePolygonCount, "the faces needs 223338299344 bytes, the chunk holds 56"},
        {"boundary count 2^32-1", hostileBoundaryCount, "the boundaries and the skin arrays needs"},
        {"skin count 2^32-1", hostileSkinCount, "the boundaries and the skin arrays needs"},
        {"position index past the pool", hostilePositionIndex, "boundary 0, face 0 (offset"},
        {"boundary past the polygon pool", hostileFacePastPool, "the 1 boundaries hold 2 faces, the polygon pool 1"},
        {"face count 2^32-1", hostileFaceCountMax, "the 1 boundaries hold 4294967295 faces, the polygon pool 1"},
        {"boundary starting past the pool", hostileFirstFacePastPool, "boundary 0: faces 1 to 2, the polygon pool holds 1"},
        {"five influences", hostileInfluences, "more than 4"},
        {"skinned without skin records", hostileSkinIndex, "corner 0"},
        {"texture coordinates without a pool", hostileUVWithoutPool, "corner 0"},
        {"morph target count 2^32-1", hostileMorphTargets, "a morph target needs"},
        {"morph key count 2^32-1", hostileMorphKeys, "the morph keys needs"},
        {"animated UV key count 2^32-1", hostileAnimUVKeys, "the keys needs"},
        {"hierarchy pair count", hostileHierarchyPairs, "the pairs needs"},
        {"mesh index count 2^32-1", hostileMeshIndexCount, "the index list needs"},
        {"object name without NUL", hostileUnterminatedObjectName, "chunk <0> at offset <24> : the name field has no NUL"},
        {"alpha name without NUL", hostileUnterminatedTextureName, "chunk <0> at offset <92> : the name field has no NUL"},
        {"hierarchy name without NUL", hostileUnterminatedPairName, "at offset <96> : the name field has no NUL"},
    };
    for (const Hostile & c : cases)
    {
        qort::LogCapture capture;
        Recorder r;
        EXPECT_FALSE(r.load(c.m_pfnBuild())) << c.m_szName;
        EXPECT_NE(capture.text().find(c.m_szMessage), std::string::npos) << c.m_szName << "\n" << capture.text();
        EXPECT_TRUE(r.m_meshData.empty()) << c.m_szName;
    }
}

TEST(qor_c3dLoader, ArrayViewsNeverReadPastTheirCount)
{
    const unsigned char bytes[8] = {1, 0, 0, 0, 2, 0, 0, 0};
    qor_cS3dU32Array a(bytes, 2);
    EXPECT_EQ(a.at(1), 2u);
    EXPECT_EQ(a.at(2), 0u);
    EXPECT_EQ(a.getAddress(2), nullptr);
    EXPECT_FALSE(a.has(2));
    qor_sMeshData empty;
    qor_sS3dCorner corner;
    EXPECT_FALSE(empty.getCorner(0, 0, &corner));
    qor_sMorph morph;
    morph.m_nTarget = 3;
    EXPECT_STREQ(morph.getTarget(0).m_szName, "");
}
} // namespace
