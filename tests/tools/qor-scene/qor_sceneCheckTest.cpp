// qor-scene check against the engine's rules: one table of scene and animation files, each with
// the exit code and a fragment of the message that the rules give for it. The engine refuses a
// scene whose animation file it cannot read, a broken record, a hierarchy loop, a missing
// material or object, a track with more keys than bytes or a key kind without a layout; it
// loads an animation file that animates nothing, and never looks at chunk sizes or unknown
// sub-chunks of an animation file.
#include <gtest/gtest.h>

#include "qor_cS3dWriter.h"
#include "qor_testUtil.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace
{
std::string tool() { return qort::binDir() + "/qor-scene"; }

qor_sS3dWObject obj(const std::string & name)
{
    qor_sS3dWObject o;
    o.m_strName = name;
    return o;
}

// The scenes: a target "t" (most cases), "t" with a hierarchy loop between two dummies, "t" with
// a triangle naming a material that no chunk made, a vertex pool declaring 2^32 - 1 positions in
// 12 bytes, and an empty scene of version 277.
enum eScene
{
    e_good,
    e_loop,
    e_noMaterial,
    e_badRecord,
    e_newer,
};

bool writeScene(eScene e, const std::string & path)
{
    qor_cS3dWriter w(qor_c3dLoader::e_signature, e == e_newer ? 277u : uint(qor_c3dLoader::e_version));
    if (e == e_newer)
        return w.save(path.c_str());
    if (e == e_badRecord)
    {
        w.addChunk(e_qor_s3dFile_Vertices, qor_cS3dBytes().u32(0xFFFFFFFFu).u32(0).f32(1));
        return w.save(path.c_str());
    }
    w.addTarget(obj("t"));
    if (e == e_loop)
    {
        w.addDummy(obj("a"));
        w.addDummy(obj("b"));
        w.addObjectHierarchy({{"a", "b"}, {"b", "a"}});
    }
    if (e == e_noMaterial)
    {
        w.addVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}});
        qor_sS3dFace f;
        f.m_anPosition[1] = 1;
        f.m_anPosition[2] = 2;
        w.addPolygons({f});
        qor_sS3dWMeshData d;
        d.m_boundaries.push_back({0, 1, "nowhere"});
        w.addMeshData(d);
    }
    return w.save(path.c_str());
}

// Animation file bytes by hand: common information (rate 160), then an object-motions chunk
// holding one block for szName whose position sub-chunk is the given bytes (identifier and
// payload), the five other sub-chunks empty. Sizes are written as given (the engine reads
// headers and payloads in sequence and never uses them).
qor_cS3dBytes common(uint nSize = 24)
{
    return qor_cS3dBytes().u32(e_qor_motCommonInfos).u32(nSize).u32(0).u32(0).u32(0).u32(160);
}

qor_cS3dBytes withObject(qor_cS3dBytes b, const char * szName, uint nPositionID, const qor_cS3dBytes & position,
                         uint nSize = 0)
{
    b.u32(e_qor_motObjectsMotions).u32(nSize).u32(1).u32(1);
    b.u32(0).u32(nSize).u32(6).name(szName, 128);
    b.u32(nPositionID).u32(nSize).u32(0).bytes(position.data().data(), position.size());
    for (int c = 0; c < 5; ++c)
        b.u32(0).u32(nSize).u32(0);
    return b;
}

qor_cS3dBytes staticPosition() { return qor_cS3dBytes().f32(1).f32(2).f32(3); }

// A position track: kind, key count, then nKeys linear keys (time, x, y, z).
qor_cS3dBytes track(uint nKind, uint nCount, uint nKeys)
{
    qor_cS3dBytes b;
    b.u16(nKind).u32(nCount);
    for (uint k = 0; k < nKeys; ++k)
        b.f32(float(k)).f32(0).f32(0).f32(0);
    return b;
}

struct Case
{
    const char * m_szWhat;
    eScene m_eScene;
    // Makes FILE.s3d.MOT at the path given (or leaves it missing).
    std::function<bool(const std::string &)> m_makeMot;
    int m_nExit;
    const char * m_szText;
};

std::function<bool(const std::string &)> bytes(const qor_cS3dBytes & b)
{
    return [b](const std::string & p) { return qort::writeBytes(p, b.data().data(), b.size()); };
}

const auto kAnimated = bytes(withObject(common(), "t", e_qor_motPositionStatic, staticPosition(), 224));

TEST(qor_scene_check, AgreesWithTheEngine)
{
    const Case aCase[] = {
        {"an animated scene", e_good, kAnimated, 0, "1 objects animated"},
        {"no animation file", e_good, nullptr, 1, "the engine does not load a scene without its animation file"},
        {"a named pipe", e_good, [](const std::string & p) { return mkfifo(p.c_str(), 0600) == 0; }, 1,
         "is a named pipe, not a regular file"},
        {"a folder", e_good, [](const std::string & p) { return mkdir(p.c_str(), 0700) == 0; }, 1,
         "is a folder, not a regular file"},
        {"a link to /dev/zero", e_good, [](const std::string & p) { return symlink("/dev/zero", p.c_str()) == 0; }, 1,
         "is a character device, not a regular file"},
        {"an empty file", e_good, bytes(qor_cS3dBytes()), 0, "animates no object"},
        {"common information only", e_good, bytes(common()), 0, "animates no object"},
        {"no object declared", e_good, bytes(common().u32(e_qor_motObjectsMotions).u32(16).u32(0).u32(0)), 0,
         "animates no object"},
        {"a header without its values", e_good, bytes(qor_cS3dBytes().u32(e_qor_motCommonInfos).u32(24).u32(0)), 1,
         "if (!extractAnimCommonInfos())"},
        {"sizes of 0 everywhere", e_good,
         bytes(withObject(common(0), "t", e_qor_motPositionStatic, staticPosition(), 0)), 0, "1 objects animated"},
        {"sizes past the end", e_good,
         bytes(withObject(common(0xFFFFFFF0u), "t", e_qor_motPositionStatic, staticPosition(), 0xFFFFFFF0u)), 0,
         "1 objects animated"},
        {"an unknown sub-chunk", e_good, bytes(withObject(common(), "t", 99, qor_cS3dBytes())), 0,
         "1 objects animated"},
        {"a track of no keys", e_good, bytes(withObject(common(), "t", e_qor_motPositionTrack, track(3, 0, 0))), 0,
         "1 objects animated"},
        {"2^31 - 1 keys", e_good, bytes(withObject(common(), "t", e_qor_motPositionTrack, track(3, 0x7FFFFFFFu, 2))), 1,
         "if (!extractAnimPositionTrack(*pObject))"},
        {"key kind 7", e_good, bytes(withObject(common(), "t", e_qor_motPositionTrack, track(7, 2, 2))), 1,
         "if (!extractAnimPositionTrack(*pObject))"},
        {"an object the scene lacks", e_good,
         bytes(withObject(common(), "ghost", e_qor_motPositionStatic, staticPosition())), 1, "Object<ghost> non trouv"},
        {"a hierarchy loop", e_loop, kAnimated, 1, "its parents lead back to it"},
        {"a missing material", e_noMaterial, kAnimated, 1, "name:<nowhere> impossible a trouver"},
        {"a broken record", e_badRecord, kAnimated, 1,
         "chunk <0> at offset <24> : the positions and normals needs 51539607548 bytes, the chunk holds 12"},
        {"version 277", e_newer, kAnimated, 1, "version 277 is above 276"},
    };
    int n = 0;
    for (const Case & c : aCase)
    {
        SCOPED_TRACE(c.m_szWhat);
        qort::TempDir dir;
        const std::string scene = dir.file("s" + std::to_string(n++) + ".s3d");
        ASSERT_TRUE(writeScene(c.m_eScene, scene));
        if (c.m_makeMot)
        {
            ASSERT_TRUE(c.m_makeMot(scene + ".MOT"));
        }
        std::string out;
        EXPECT_EQ(qort::runCommand(tool() + " check " + scene + " 2>&1", &out), c.m_nExit) << out;
        EXPECT_NE(out.find(c.m_szText), std::string::npos) << out;
    }
    std::string out;
    EXPECT_EQ(qort::runCommand(tool() + " check 2>&1", &out), 2) << out;
}

// The summary names both files: chunk count and version of the scene, size of the animation
// file (24 + 12 + 4 + 224 bytes) and how many objects it animates.
TEST(qor_scene_check, SummaryLine)
{
    qort::TempDir dir;
    const std::string scene = dir.file("good.s3d");
    ASSERT_TRUE(writeScene(e_good, scene));
    ASSERT_TRUE(kAnimated(scene + ".MOT"));
    std::string out;
    ASSERT_EQ(qort::runCommand(tool() + " check " + scene, &out), 0) << out;
    EXPECT_EQ(out, scene + ": 1 chunks, version 276; " + scene + ".MOT: 264 bytes, 1 objects animated\n");
}
} // namespace
