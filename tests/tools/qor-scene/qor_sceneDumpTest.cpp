// qor-scene dump and info on files written by the writers: the JSON read back and checked
// against values worked out from the file format's rules.
#include <gtest/gtest.h>

#include "qor_cS3dWriter.h"
#include "qor_testUtil.h"

#include <nlohmann/json.hpp>

#include <string>

namespace
{
std::string tool() { return qort::binDir() + "/qor-scene"; }

qor_sS3dWObject obj(const std::string & name, qor_cVector3 c = qor_cVector3(), float r = 1.0f)
{
    qor_sS3dWObject o;
    o.m_strName = name;
    o.m_vCenter = c;
    o.m_fRadius = r;
    return o;
}

qor_sMotKey key(float t, float a, float b = 0, float c = 0)
{
    qor_sMotKey k;
    k.m_fTime = t;
    k.m_afValue[0] = a;
    k.m_afValue[1] = b;
    k.m_afValue[2] = c;
    return k;
}

class SceneDump : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A target camera on a moving dummy's child, a mesh with its material, a light.
        m_w.addTarget(obj("tgt"));
        m_w.addCameraTarget(obj("cam"), 2, 900, 60, 0, 0);
        m_w.addDummy(obj("mover", {1, 2, 3}, 4));
        m_w.addDummy(obj("caf\xe9"));
        m_w.addObjectHierarchy({{"caf\xe9", "mover"}});
        m_w.addLightOmni(obj("lamp"), {1, 0.5f, 0.25f, 1}, 2, (1u << 1) | (1u << 3), 30);
        qor_sS3dWMaterial m;
        m.m_strName = "Mat";
        m.m_translucy = 1;
        m_w.addMaterial(m);
        m_w.addVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}});
        qor_sS3dFace f;
        f.m_anPosition[1] = 1;
        f.m_anPosition[2] = 2;
        m_w.addPolygons({f});
        qor_sS3dWMeshData d;
        d.m_boundaries.push_back({0, 1, "Mat"});
        m_w.addMeshData(d);
        m_w.addMesh(obj("tri"), {0});

        // Rate 2: the mover's x runs 0 -> 10 over key times 0 -> 10, i.e. frames 0 -> 5; the
        // camera's field of view 1 -> 2 over key times 0 -> 8 (frames 0 -> 4), its visibility
        // drops to 0 at key time 6 (frame 3).
        qor_sMotObject mover;
        mover.m_strName = "mover";
        mover.m_position = qor_sMotChannel::track(3, {key(0, 0), key(10, 10)});
        qor_sMotObject child;
        child.m_strName = "caf\xe9";
        child.m_position = qor_sMotChannel::constant(0, 1, 0);
        qor_sMotObject cam;
        cam.m_strName = "cam";
        cam.m_fov = qor_sMotChannel::track(3, {key(0, 1), key(8, 2)});
        cam.m_visibility = qor_sMotChannel::track(3, {key(0, 1), key(6, 0)});
        m_mot.addCommonInfos(0, 0, 2);
        m_mot.addObjectsMotions({mover, child, cam});
    }
    int run(const std::string & args, std::string * pOut, std::string * pErr = nullptr)
    {
        EXPECT_TRUE(m_w.save(m_dir.file("s.s3d").c_str()));
        EXPECT_TRUE(m_mot.save(m_dir.file("s.s3d.MOT").c_str()));
        const std::string err = m_dir.file("err.txt");
        const int rc = qort::runCommand("cd " + m_dir.path() + " && " + tool() + " " + args + " 2>" + err, pOut);
        if (pErr)
            *pErr = qort::readText(err);
        return rc;
    }
    static const nlohmann::json & named(const nlohmann::json & a, const std::string & name)
    {
        for (const auto & e : a)
            if (e["name"] == name)
                return e;
        static const nlohmann::json none;
        ADD_FAILURE() << "no " << name;
        return none;
    }

    qort::TempDir m_dir;
    qor_cS3dWriter m_w;
    qor_cMotWriter m_mot;
};
} // namespace

TEST_F(SceneDump, DescribesTheLoadedScene)
{
    std::string out;
    ASSERT_EQ(run("dump s.s3d", &out), 0) << out;
    const nlohmann::json j = nlohmann::json::parse(out);
    EXPECT_EQ(j["signature"], 0x03D0DEADu);
    EXPECT_EQ(j["version"], 276);
    EXPECT_TRUE(j["fog"].is_null());
    EXPECT_EQ(j["frames"].size(), 0u);
    // All objects, in list order, with parents and the local sphere as read.
    ASSERT_EQ(j["objects"].size(), 6u);
    EXPECT_EQ(j["objects"][2]["name"], "mover");
    EXPECT_EQ(j["objects"][2]["type"], 10);
    EXPECT_EQ(j["objects"][2]["sphere"], nlohmann::json({1, 2, 3, 4}));
    EXPECT_EQ(j["objects"][2]["rate"], 2);
    EXPECT_EQ(j["objects"][2]["length"], 10);
    EXPECT_EQ(j["objects"][3]["parent"], "mover");
    EXPECT_TRUE(j["objects"][2]["parent"].is_null());
    // Names: bytes above 127 escaped as \u00XX.
    EXPECT_NE(out.find("\"caf\\u00e9\""), std::string::npos);

    const nlohmann::json & cam = named(j["cameras"], "cam");
    EXPECT_EQ(cam["target"], "tgt");
    EXPECT_EQ(cam["near"], 2);
    EXPECT_EQ(cam["far"], 900);
    EXPECT_FLOAT_EQ(cam["fov"].get<float>(), 1.0f); // the track's value at time 0

    const nlohmann::json & lamp = named(j["lights"], "lamp");
    EXPECT_EQ(lamp["diffuse"], nlohmann::json({2, 1, 0.5, 2}));
    EXPECT_EQ(lamp["specular"], nlohmann::json({0, 0, 0, 0}));
    EXPECT_EQ(lamp["range"], 30);

    // One material: additive, no depth writing, the white texture on its only stage.
    const nlohmann::json & mat = named(j["materials"], "Mat");
    ASSERT_EQ(mat["passes"].size(), 1u);
    EXPECT_EQ(mat["passes"][0]["blend"], nlohmann::json({1, 1}));
    EXPECT_EQ(mat["passes"][0]["zwrite"], 0);
    EXPECT_EQ(mat["passes"][0]["zfunc"], 3);
    EXPECT_EQ(mat["passes"][0]["cull"], 1);
    EXPECT_EQ(mat["sources"], nlohmann::json({0, 0, 0, 1}));
    const nlohmann::json & stage = mat["passes"][0]["stages"][0];
    EXPECT_EQ(stage["texture"].get<std::string>().rfind("color_white", 0), 0u);
    EXPECT_EQ(stage["color"], nlohmann::json({2, 3, 1}));
    EXPECT_EQ(stage["alpha"], nlohmann::json({2, 0, 1}));
    EXPECT_EQ(j["textures"].size(), 1u);

    const nlohmann::json & tri = named(j["meshes"], "tri");
    ASSERT_EQ(tri["nodes"].size(), 1u);
    EXPECT_EQ(tri["nodes"][0]["material"], "Mat");
    EXPECT_EQ(tri["nodes"][0]["triangles"], 1);
    EXPECT_EQ(tri["nodes"][0]["skinned"], false);
}

TEST_F(SceneDump, FramesAtTheGivenTimes)
{
    std::string out;
    ASSERT_EQ(run("dump s.s3d --at 2.5 --at 4 --at 100", &out), 0) << out;
    const nlohmann::json j = nlohmann::json::parse(out);
    ASSERT_EQ(j["frames"].size(), 3u);
    const float x[3] = {5, 8, 10}; // rate 2, clamped at the length 10
    const float fov[3] = {1.625f, 2, 2};
    const float vis[3] = {1, 0, 0};
    for (int i = 0; i < 3; ++i)
    {
        const nlohmann::json & f = j["frames"][i];
        const nlohmann::json & mover = named(f["objects"], "mover");
        EXPECT_FLOAT_EQ(mover["pos"][0].get<float>(), x[i]) << i;
        EXPECT_FLOAT_EQ(mover["world"][12].get<float>(), x[i]) << i;
        EXPECT_EQ(mover["visible"], 1) << i; // no visibility channel: visible
        EXPECT_EQ(mover["rot"], nlohmann::json({0, 0, 0, 1}));
        EXPECT_EQ(mover["scale"], nlohmann::json({1, 1, 1}));
        // The child at (0, 1, 0) under the mover.
        const nlohmann::json & child = named(f["objects"], "caf\xc3\xa9");
        EXPECT_FLOAT_EQ(child["world"][12].get<float>(), x[i]) << i;
        EXPECT_FLOAT_EQ(child["world"][13].get<float>(), 1.0f) << i;
        const nlohmann::json & cam = named(f["cameras"], "cam");
        EXPECT_FLOAT_EQ(cam["fov"].get<float>(), fov[i]) << i;
        EXPECT_EQ(cam["roll"], 0);
        EXPECT_EQ(named(f["objects"], "cam")["visible"], vis[i]) << i;
    }
    EXPECT_EQ(j["frames"][0]["t"], 2.5);
}

TEST_F(SceneDump, FloatsPrintToRoundTrip)
{
    m_mot = qor_cMotWriter();
    qor_sMotObject mover;
    mover.m_strName = "mover";
    mover.m_position = qor_sMotChannel::constant(0.1f, 1.0f / 3.0f, -2.5e-7f);
    m_mot.addCommonInfos(0, 0, 1);
    m_mot.addObjectsMotions({mover});
    std::string out;
    ASSERT_EQ(run("dump s.s3d --at 0", &out), 0) << out;
    EXPECT_NE(out.find("0.100000001"), std::string::npos);
    EXPECT_NE(out.find("0.333333343"), std::string::npos);
    const nlohmann::json j = nlohmann::json::parse(out);
    const nlohmann::json & pos = named(j["frames"][0]["objects"], "mover")["pos"];
    EXPECT_EQ(pos[0].get<float>(), 0.1f);
    EXPECT_EQ(pos[1].get<float>(), 1.0f / 3.0f);
    EXPECT_EQ(pos[2].get<float>(), -2.5e-7f);
}

TEST_F(SceneDump, FailuresAndUsage)
{
    std::string out, err;
    EXPECT_EQ(run("dump", &out, &err), 2);
    EXPECT_EQ(run("dump s.s3d --at", &out, &err), 2);
    EXPECT_EQ(run("dump s.s3d --at soon", &out, &err), 2);
    EXPECT_EQ(run("info", &out, &err), 2);
    EXPECT_EQ(run("dump missing.s3d", &out, &err), 1);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(err.find("missing.s3d"), std::string::npos);
    // Without its animation file the load fails, with the engine's reason shown.
    ASSERT_EQ(run("dump s.s3d", &out), 0);
    std::remove(m_dir.file("s.s3d.MOT").c_str());
    const int rc = qort::runCommand("cd " + m_dir.path() + " && " + tool() + " dump s.s3d 2>err.txt", &out);
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(qort::readText(m_dir.file("err.txt")).find("bRet = loadAnim(szAnimName);"), std::string::npos);
    // A folder is not a scene file.
    EXPECT_EQ(run("dump .", &out, &err), 1);
}

TEST_F(SceneDump, InfoSummarises)
{
    std::string out;
    ASSERT_EQ(run("info s.s3d", &out), 0) << out;
    EXPECT_NE(out.find("objects: 6\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  dummies           2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("triangle meshes: 1, triangles: 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("textures: 1\nmaterials: 1\n"), std::string::npos) << out;
    // The longest track: the mover's 10 key-time units at rate 2 = 5 frames = 0.167 s.
    EXPECT_NE(out.find("animation: 0.167 s (rate 2)\n"), std::string::npos) << out;
}
