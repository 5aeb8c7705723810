// Scene and animation files large enough that a load growing with the square of its input runs
// for minutes (past the ctest timeout of these tests), while a linear one takes a fraction of a
// second: a million chunks, a hundred thousand objects in one parent chain animated by as many
// object blocks, a chain of 64k bones, and thousands of mesh data records. Written with the
// writers (or by hand where the writer's own structure would be the cost), loaded by the
// engine's loaders; the results checked against values that follow from the file's rules.
#include <gtest/gtest.h>

#include "qor_cBone.h"
#include "qor_cMaterial.h"
#include "qor_cS3dWriter.h"
#include "qor_cScene.h"
#include "qor_cTriMesh.h"
#include "qor_imageTestEnv.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
std::string name(uint i) { return "o" + std::to_string(i); }

qor_sS3dWObject obj(const std::string & strName)
{
    qor_sS3dWObject o;
    o.m_strName = strName;
    return o;
}

// An animation file giving objects 0 .. n - 1 the static position (1, 0, 0), laid out by hand:
// common information (rate 160), then one object block per object (a 12-byte header, the
// 128-byte name, the position sub-chunk of 12 + 12 bytes, five empty sub-chunks).
bool writePositions(const std::string & strPath, uint n)
{
    qor_cS3dBytes b;
    b.u32(e_qor_motCommonInfos).u32(24).u32(0).u32(0).u32(0).u32(160);
    b.u32(e_qor_motObjectsMotions).u32(12 + 4 + 224 * n).u32(n).u32(n);
    for (uint i = 0; i < n; ++i)
    {
        b.u32(0).u32(224).u32(6).name(name(i), 128);
        b.u32(e_qor_motPositionStatic).u32(24).u32(0).f32(1).f32(0).f32(0);
        for (int c = 0; c < 5; ++c)
            b.u32(0).u32(12).u32(0);
    }
    return qort::writeBytes(strPath, b.data().data(), b.size());
}

class SceneScale : public qort::ImageTestEnv
{
protected:
    // Loads the scene image, then the animation file at strMot, as the scene's load does.
    bool load(const std::vector<char> & image, const std::string & strMot)
    {
        m_scene.reset(new qor_cScene);
        return m_scene->loadSceneFromMemory(image.data(), image.size()) && m_scene->loadAnim(strMot.c_str());
    }
    std::unique_ptr<qor_cScene> m_scene;
};
} // namespace

// A million empty chunks of an identifier the loader skips: the chunk list appends a million
// entries.
TEST_F(SceneScale, AMillionEmptyChunks)
{
    const uint n = 1000000;
    qor_cS3dBytes b;
    b.u32(tz_cChunkTable::e_magic).u32(qor_c3dLoader::e_signature).u32(qor_c3dLoader::e_version).u32(n);
    for (uint i = 0; i < n; ++i)
        b.u32(0xDEAD0011u).u32(0);
    const std::vector<char> image(b.data().begin(), b.data().end());
    ASSERT_TRUE(writePositions("scale.s3d.MOT", 0));
    ASSERT_TRUE(load(image, "scale.s3d.MOT"));
    EXPECT_EQ(m_scene->getNbChunk(), n);
    EXPECT_EQ(m_scene->objects().getNbItem(), 0);
}

// 100,000 dummies, each the child of the one before (the hierarchy names every pair), each
// placed at (1, 0, 0) from its parent by the animation file: object k lies at (k + 1, 0, 0).
TEST_F(SceneScale, AHundredThousandObjectsInOneChainAnimatedByName)
{
    const uint n = 100000;
    qor_cS3dWriter w;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (uint i = 0; i < n; ++i)
    {
        ASSERT_TRUE(w.addDummy(obj(name(i))));
        if (i > 0)
            pairs.push_back({name(i), name(i - 1)});
    }
    ASSERT_TRUE(w.addObjectHierarchy(pairs));
    ASSERT_TRUE(writePositions("scale.s3d.MOT", n));
    ASSERT_TRUE(load(w.image(), "scale.s3d.MOT"));
    ASSERT_EQ(m_scene->objects().getNbItem(), int(n));
    const float dt = 0.0f;
    m_scene->update(&dt);
    for (uint i : {0u, 1u, 2u, 4095u, 65536u, n - 2, n - 1})
    {
        const qor_cObject * p = m_scene->objects().get<qor_cObject>(int(i));
        ASSERT_STREQ(p->getName(), name(i).c_str());
        EXPECT_EQ(p->getParent(), i ? m_scene->objects().get<qor_cObject>(int(i - 1)) : nullptr) << i;
        EXPECT_FLOAT_EQ(p->getWorld()._41, float(i + 1)) << i;
        EXPECT_FLOAT_EQ(p->getWorld()._42, 0.0f) << i;
    }
}

// 65,536 bones in one chain, each at (1, 0, 0) from its parent: the bind pose of bone k is the
// inverse of a translation by (k + 1, 0, 0).
TEST_F(SceneScale, ABindPoseOf64kBonesInOneChain)
{
    const uint n = 65536;
    qor_cS3dWriter w;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (uint i = 0; i < n; ++i)
    {
        ASSERT_TRUE(w.addBone(obj(name(i))));
        if (i > 0)
            pairs.push_back({name(i), name(i - 1)});
    }
    ASSERT_TRUE(w.addObjectHierarchy(pairs));
    ASSERT_TRUE(writePositions("scale.s3d.MOT", n));
    ASSERT_TRUE(load(w.image(), "scale.s3d.MOT"));
    ASSERT_EQ(m_scene->bones().getNbItem(), int(n));
    for (uint i : {0u, 1u, 1000u, n - 1})
    {
        const qor_cMatrix & inv = m_scene->bones().get<qor_cBone>(int(i))->getInverseBind();
        EXPECT_FLOAT_EQ(inv._41, -float(i + 1)) << i;
        EXPECT_FLOAT_EQ(inv._11, 1.0f) << i;
        EXPECT_FLOAT_EQ(inv._42, 0.0f) << i;
    }
}

// 20,000 mesh data records of one face each over one pool of 20,000 faces, each record with a
// material of its own (named after every earlier one), then 20,000 meshes: record k builds one
// triangle with material k, and mesh k is linked to triangle mesh k.
TEST_F(SceneScale, TwentyThousandMeshDataRecords)
{
    const uint n = 20000;
    qor_cS3dWriter w;
    for (uint i = 0; i < n; ++i)
    {
        qor_sS3dWMaterial m;
        m.m_strName = "m" + std::to_string(i);
        ASSERT_TRUE(w.addMaterial(m));
    }
    ASSERT_TRUE(w.addVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}}));
    std::vector<qor_sS3dFace> faces(n);
    for (qor_sS3dFace & f : faces)
    {
        f.m_anPosition[1] = 1;
        f.m_anPosition[2] = 2;
    }
    ASSERT_TRUE(w.addPolygons(faces));
    for (uint i = 0; i < n; ++i)
    {
        qor_sS3dWMeshData d;
        d.m_boundaries.push_back({i, 1, "m" + std::to_string(i)});
        ASSERT_TRUE(w.addMeshData(d));
    }
    ASSERT_TRUE(writePositions("scale.s3d.MOT", 0));
    ASSERT_TRUE(load(w.image(), "scale.s3d.MOT"));
    ASSERT_EQ(m_scene->triMeshes().getNbItem(), int(n));
    ASSERT_EQ(m_scene->materials().getNbItem(), int(n));
    for (uint i : {0u, 1u, n / 2, n - 1})
    {
        const qor_cTriMesh * p = m_scene->triMeshes().get<qor_cTriMesh>(int(i));
        ASSERT_EQ(p->getNbNode(), 1u) << i;
        EXPECT_EQ(p->getNode(0)->pMaterial, m_scene->materials().get<qor_cMaterial>(int(i))) << i;
    }
}
