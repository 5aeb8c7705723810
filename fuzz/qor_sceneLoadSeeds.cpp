// Writes the seed corpora of fuzz_scene and fuzz_anim with the scene file writers:
//   qor_scene_load_seeds DIR   ->   DIR/fuzz_scene/*, DIR/fuzz_anim/*
#include "qor_cS3dWriter.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{
qor_sS3dWObject obj(const std::string & name)
{
    qor_sS3dWObject o;
    o.m_strName = name;
    o.m_fRadius = 2.0f;
    return o;
}

qor_sMotKey key(float t, float a, float b = 0, float c = 0, float d = 0)
{
    qor_sMotKey k;
    k.m_fTime = t;
    k.m_afValue[0] = a;
    k.m_afValue[1] = b;
    k.m_afValue[2] = c;
    k.m_afValue[3] = d;
    k.m_afParam[0] = 0.25f;
    return k;
}

std::vector<char> readAll(const std::string & path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool writeAll(const std::string & path, const std::vector<char> & a, const std::vector<char> & b = {})
{
    std::ofstream f(path, std::ios::binary);
    f.write(a.data(), std::streamsize(a.size()));
    f.write(b.data(), std::streamsize(b.size()));
    return bool(f);
}

std::vector<char> motBytes(const qor_cMotWriter & mot, const std::string & dir)
{
    const std::string tmp = dir + "/.seed.MOT";
    mot.save(tmp.c_str());
    std::vector<char> v = readAll(tmp);
    std::remove(tmp.c_str());
    return v;
}

// A fuzz_scene input: u32 scene length, scene image, animation file.
bool writeSceneSeed(const std::string & path, const std::vector<char> & scene, const std::vector<char> & anim)
{
    const uint n = uint(scene.size());
    std::vector<char> head = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    head.insert(head.end(), scene.begin(), scene.end());
    return writeAll(path, head, anim);
}

// Object motions with every channel form for the named objects.
qor_sMotObject motion(const std::string & name, uint kind, bool bCamera)
{
    qor_sMotObject o;
    o.m_strName = name;
    o.m_position = qor_sMotChannel::track(kind, {key(0, 0, 0, 0), key(80, 1, 2, 3), key(160, 0, 4, 0)});
    o.m_rotation = kind == 2 ? qor_sMotChannel::constant(0, 0, 0, 1)
                             : qor_sMotChannel::track(kind, {key(0, 0, 0, 0, 1), key(160, 0, 1, 0, 0)});
    o.m_scale = qor_sMotChannel::track(kind, {key(5, 1, 1, 1)});
    if (bCamera)
    {
        o.m_roll = qor_sMotChannel::track(kind, {key(0, 0), key(160, 0.5f)});
        o.m_fov = qor_sMotChannel::constant(1.2f);
    }
    o.m_visibility = qor_sMotChannel::track(3, {key(0, 1), key(80, 0), key(120, 1)});
    return o;
}
} // namespace

int main(int argc, char ** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: qor_scene_load_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::string sceneDir = dir + "/fuzz_scene", animDir = dir + "/fuzz_anim";
    mkdir(sceneDir.c_str(), 0755);
    mkdir(animDir.c_str(), 0755);

    // A scene with every chunk kind.
    qor_cS3dWriter w;
    qor_sS3dWTexture tex;
    tex.m_strName = "wood";
    w.addTexture(tex);
    tex.m_nKind = 1;
    tex.m_strName = "bumps";
    w.addTexture(tex);
    qor_sS3dWMaterial mat;
    mat.m_strName = "Mat";
    mat.m_strDiffuse = "wood";
    mat.m_nOpacityMap = 1;
    w.addMaterial(mat);
    mat.m_strName = "Bump";
    mat.m_strBump = "bumps";
    mat.m_fAmount = 0.5f;
    w.addMaterial(mat);
    w.addTarget(obj("tgt"));
    w.addCameraTarget(obj("cam"), 1, 1000, 45, 10, 0);
    w.addCameraFree(obj("free"), 1, 500, 60);
    w.addDummy(obj("root"));
    w.addBone(obj("bone"));
    w.addBone(obj("bone2"));
    w.addLightOmni(obj("lamp"), {1, 1, 1, 1}, 1.5f, 0x1A, 50);
    w.addGizmoSphere(obj("gs"), 1, 1);
    w.addGizmoBox(obj("gb"), 1, 2, 3);
    w.addGizmoCylinder(obj("gc"), 1, 2);
    w.addVertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 0, 1}});
    w.addTVertices({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    w.addCVertices({{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 1, 1}});
    std::vector<qor_sS3dFace> faces(2);
    const uint corners[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int f = 0; f < 2; ++f)
        for (int c = 0; c < 3; ++c)
        {
            faces[f].m_anPosition[c] = corners[f][c];
            faces[f].m_anUV[c] = corners[f][c];
            faces[f].m_anColor[c] = corners[f][c];
        }
    // Faces 0 and 1 for the first mesh data, 2 and 3 (the same corners) for the skinned one.
    faces.push_back(faces[0]);
    faces.push_back(faces[1]);
    w.addPolygons(faces);
    qor_sS3dWMeshData data;
    data.m_bHasUV = true;
    data.m_bHasColor = true;
    data.m_boundaries = {{0, 1, "Mat"}, {1, 1, "Bump"}};
    w.addMeshData(data);
    data.m_boundaries = {{2, 2, "Mat"}};
    data.m_skins.resize(4);
    for (qor_sS3dSkin & s : data.m_skins)
    {
        s.m_nInfluence = 2;
        s.m_anBone[0] = 4;
        s.m_afWeight[0] = 0.5f;
        s.m_anBone[1] = 5;
        s.m_afWeight[1] = 0.5f;
    }
    w.addMeshData(data);
    w.addMesh(obj("mesh"), {0});
    w.addMesh(obj("skinned"), {1});
    w.addMesh(obj("morphed"), {0});
    w.addObjectHierarchy({{"bone", "root"}, {"bone2", "bone"}, {"skinned", "root"}});
    w.addGlobalInfos({0.2f, 0.2f, 0.2f, 1}, {0, 0, 0.3f, 1});
    w.addFogInfos(true, {0.5f, 0.5f, 0.6f, 1});
    qor_sS3dUVKey k0, k1;
    k1.m_fTime = 30;
    k1.m_afValue[0] = 1;
    w.addAnimUV("Mat", "wood", {k0, k1}, {k0, k1}, {k0, k1});
    qor_sS3dWParticleSystem ps;
    ps.m_nParticle = 8;
    ps.m_nLifeBase = 20;
    ps.m_nLifeRandom = 10;
    ps.m_nStream = 1;
    ps.m_vVelocity = {0, 0.1f, 0};
    ps.m_vBoxHalf = {1, 1, 1};
    ps.m_startColor = {255, 255, 255, 255};
    ps.m_fStartSize = 1;
    ps.m_strMaterialName = "Mat";
    w.addParticleSystem(obj("sparks"), ps);
    qor_sS3dWMorphTarget mt;
    mt.m_strName = "mesh";
    mt.m_keys = {{0, 0}, {0, 10}, {160, 100}, {320, 0}};
    w.addMorph("morphed", {mt});

    qor_cMotWriter mot;
    mot.addCommonInfos(0, 1, 160);
    mot.addObjectsMotions({motion("cam", 1, true), motion("tgt", 3, false), motion("bone", 2, false),
                           motion("free", 3, true), motion("root", 3, false)});
    writeSceneSeed(sceneDir + "/full", w.image(), motBytes(mot, dir));

    // An empty scene, and a few objects with static forms only.
    qor_cS3dWriter empty;
    qor_cMotWriter emptyMot;
    writeSceneSeed(sceneDir + "/empty", empty.image(), motBytes(emptyMot, dir));
    qor_cS3dWriter small;
    small.addDummy(obj("d"));
    small.addCameraFree(obj("c"), 1, 100, 90);
    qor_cMotWriter smallMot;
    smallMot.addCommonInfos(0, 0, 30);
    qor_sMotObject d;
    d.m_strName = "d";
    d.m_position = qor_sMotChannel::constant(1, 2, 3);
    d.m_visibility = qor_sMotChannel::constant(0);
    qor_sMotObject c;
    c.m_strName = "c";
    c.m_roll = qor_sMotChannel::constant(0.3f);
    c.m_fov = qor_sMotChannel::track(2, {key(0, 1), key(30, 1.5f)});
    smallMot.addObjectsMotions({d, c});
    writeSceneSeed(sceneDir + "/small", small.image(), motBytes(smallMot, dir));

    // Animation files for fuzz_anim's scene.
    writeAll(animDir + "/full", motBytes(mot, dir));
    for (uint kind : {1u, 2u, 3u})
    {
        qor_cMotWriter m;
        m.addCommonInfos(0, 0, 160);
        m.addObjectsMotions({motion("cam", kind, true), motion("bone2", kind, false), motion("mesh", kind, false)});
        m.addRawChunk(9, qor_cS3dBytes().u32(1).u32(2));
        writeAll(animDir + "/kind" + std::to_string(kind), motBytes(m, dir));
    }
    writeAll(animDir + "/static", motBytes(smallMot, dir));
    return 0;
}
