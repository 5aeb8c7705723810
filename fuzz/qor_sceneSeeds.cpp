// Writes the seed corpora of fuzz_chunktable and fuzz_chunkedfile with the scene writers:
//   qor_scene_seeds DIR_TABLE DIR_STREAM
// Small files, one per record kind and form, so that the fuzzers start from well-formed ones.
#include "qor_cS3dWriter.h"

#include <cstdio>
#include <string>

int main(int argc, char ** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: qor_scene_seeds DIR_TABLE DIR_STREAM\n");
        return 2;
    }
    const std::string table = argv[1], stream = argv[2];
    bool bOk = true;
    qor_sS3dWObject obj;
    obj.m_strName = "o";
    {
        qor_cS3dWriter w;
        bOk = bOk && w.save((table + "/empty.s3d").c_str());
    }
    {
        qor_cS3dWriter w;
        w.addVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}});
        w.addTVertices({{0, 0}, {1, 1}});
        w.addCVertices({qor_cColor(1, 0, 0, 1)});
        qor_sS3dFace f;
        f.m_anPosition[1] = 1;
        f.m_anPosition[2] = 2;
        f.m_anUV[1] = 1;
        w.addPolygons({f});
        qor_sS3dWMeshData d;
        d.m_bHasUV = d.m_bHasColor = true;
        d.m_boundaries.push_back({0, 1, "m"});
        qor_sS3dSkin s;
        s.m_nInfluence = 2;
        s.m_anBone[1] = 1;
        s.m_afWeight[0] = s.m_afWeight[1] = 0.5f;
        d.m_skins = {s, s, s};
        w.addMeshData(d);
        w.addMesh(obj, {0});
        bOk = bOk && w.save((table + "/mesh.s3d").c_str());
    }
    {
        qor_cS3dWriter w;
        qor_sS3dWTexture t;
        t.m_strName = "t";
        w.addTexture(t);
        qor_sS3dWMaterial m;
        m.m_strName = "m";
        m.m_strDiffuse = "t";
        w.addMaterial(m);
        w.addTarget(obj);
        w.addCameraTarget(obj, 1, 100, 45, 0, 0);
        w.addCameraFree(obj, 1, 100, 45);
        w.addLightOmni(obj, qor_cColor(1, 1, 1, 1), 1, 0x1A, 10);
        w.addDummy(obj);
        w.addBone(obj);
        w.addGizmoSphere(obj, 1, 1);
        w.addGizmoBox(obj, 1, 2, 3);
        w.addGizmoCylinder(obj, 1, 2);
        qor_sS3dWParticleSystem p;
        p.m_strMaterialName = "m";
        w.addParticleSystem(obj, p);
        w.addObjectHierarchy({{"o", "o"}});
        w.addAnimObjectHierarchy({{"o", "o"}});
        w.addGlobalInfos(qor_cColor(), qor_cColor());
        w.addFogInfos(true, qor_cColor(0.5f, 0.5f, 0.5f, 1));
        qor_sS3dUVKey k;
        w.addAnimUV("m", "t", {k}, {k}, {k});
        w.addMorph("o", {{"o", {{0, 0}, {160, 100}}}});
        w.addMeshDataTL(qor_cS3dBytes().zeros(8));
        w.addAnimObject(qor_cS3dBytes().zeros(8));
        w.addMaterialNode(qor_cS3dBytes().zeros(8));
        w.addChunk(0xDEAD0011u, "x", 1);
        bOk = bOk && w.save((table + "/objects.s3d").c_str());
    }
    {
        qor_cMotWriter w;
        w.addCommonInfos(0, 0, 160);
        qor_sMotKey k0, k1;
        k1.m_fTime = 10;
        k1.m_afValue[0] = 1;
        qor_sMotObject o;
        o.m_strName = "o";
        o.m_position = qor_sMotChannel::track(3, {k0, k1});
        o.m_rotation = qor_sMotChannel::track(1, {k0, k1});
        o.m_scale = qor_sMotChannel::constant(1, 1, 1);
        o.m_roll = qor_sMotChannel::track(2, {k0, k1});
        o.m_fov = qor_sMotChannel::constant(0.7f);
        o.m_visibility = qor_sMotChannel::track(0, {k1});
        qor_sMotObject still;
        still.m_strName = "still";
        w.addObjectsMotions({o, still});
        w.addRawChunk(7, qor_cS3dBytes().u32(1));
        bOk = bOk && w.save((stream + "/motion.MOT").c_str());
    }
    {
        qor_cMotWriter w;
        w.addCommonInfos(1, 2, 3);
        bOk = bOk && w.save((stream + "/common.MOT").c_str());
    }
    if (!bOk)
    {
        std::fprintf(stderr, "qor_scene_seeds: a seed could not be written\n");
        return 1;
    }
    return 0;
}
