// The show's generated scenes read back: every mesh drawn with a single-sided material is
// closed and shows its outside. The passes cull faces that run clockwise on the screen, so a
// face (a, b, c) is seen from the side (b - a) x (c - a) points away from; on a closed mesh
// seen from outside that vector points inwards, which makes the signed volume
// sum(a . (b x c)) / 6 the negative of the enclosed volume.
#include <gtest/gtest.h>

#include "qor_c3dLoader.h"
#include "qor_testUtil.h"

#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace
{
struct Tri
{
    qor_cVector3 p[3];
};

class SceneReader : public qor_c3dLoader
{
  public:
    std::map<std::string, uint> m_twoSided;                          // material name -> flag
    std::vector<std::pair<std::string, std::vector<Tri>>> m_triMesh; // material, faces
    std::map<std::string, uint> m_meshTriMesh;                       // mesh name -> triangle mesh
    std::vector<char> m_image;

    bool read(const std::string & path)
    {
        const std::vector<unsigned char> b = qort::readBytes(path);
        m_image.assign(b.begin(), b.end());
        return !m_image.empty() && loadSceneFromMemory(m_image.data(), m_image.size());
    }
    bool extractMaterial(const qor_sMaterial & s) override
    {
        m_twoSided[s.m_szName] = s.m_nTwoSided;
        return true;
    }
    bool extractMesh(const qor_sMesh & s) override
    {
        m_meshTriMesh[s.m_object.m_szName] = s.m_nTriMesh;
        return true;
    }
    bool extractMeshData(const qor_sMeshData & s) override
    {
        std::vector<Tri> faces;
        std::string material;
        for (uint b = 0; b < s.m_nMaterialBoundary; ++b)
        {
            const qor_sS3dBoundary bd = s.m_pMaterialBoundary.at(b);
            EXPECT_TRUE(material.empty() || material == bd.m_szMaterial) << "one material a mesh";
            material = bd.m_szMaterial;
            for (uint f = 0; f < bd.m_nFaceCount; ++f)
            {
                Tri t;
                for (uint c = 0; c < 3; ++c)
                {
                    qor_sS3dCorner corner;
                    EXPECT_TRUE(s.getCorner(bd.m_nFirstFace + f, c, &corner));
                    t.p[c] = corner.m_vPosition;
                }
                faces.push_back(t);
            }
        }
        m_triMesh.emplace_back(material, faces);
        return true;
    }
};

// A position on a 1/1000 grid, so that corners written twice (seams, poles) compare equal.
std::tuple<long, long, long> gridPoint(const qor_cVector3 & v)
{
    return {std::lround(v.x * 1000), std::lround(v.y * 1000), std::lround(v.z * 1000)};
}

// Closed with one winding: every edge of a face (degenerate faces at the poles left out) is
// met once the other way round by another face. Returns the number of edges that are not.
int unpairedEdges(const std::vector<Tri> & faces)
{
    std::map<std::pair<std::tuple<long, long, long>, std::tuple<long, long, long>>, int> edges;
    for (const Tri & t : faces)
    {
        const auto a = gridPoint(t.p[0]), b = gridPoint(t.p[1]), c = gridPoint(t.p[2]);
        if (a == b || b == c || c == a)
            continue;
        for (const auto & e : {std::make_pair(a, b), std::make_pair(b, c), std::make_pair(c, a)})
            ++edges[e];
    }
    int n = 0;
    for (const auto & [e, k] : edges)
    {
        const auto it = edges.find({e.second, e.first});
        if (k != 1 || it == edges.end() || it->second != 1)
            ++n;
    }
    return n;
}

double signedVolume(const std::vector<Tri> & faces)
{
    double v = 0;
    for (const Tri & t : faces)
    {
        const qor_cVector3 &a = t.p[0], &b = t.p[1], &c = t.p[2];
        v += a.x * (double(b.y) * c.z - double(b.z) * c.y) + a.y * (double(b.z) * c.x - double(b.x) * c.z) +
             a.z * (double(b.x) * c.y - double(b.y) * c.x);
    }
    return v / 6;
}
} // namespace

TEST(qor_gen_scenes, SingleSidedMeshesAreClosedAndShowTheirOutside)
{
    qort::TempDir dir;
    std::string out;
    ASSERT_EQ(qort::runCommand("'" + qort::binDir() + "/qor-gen-scenes' '" + dir.file("scenes") + "' 2>&1", &out), 0)
        << out;
    // Meshes whose volume the geometry gives: the machine's boxes (hub 60^3, arm 80 x 12 x 12,
    // block 20^3) and the blob, a 24 x 36 lat-long sphere of radius 40 (its polyhedron holds
    // between 95% and 100% of 4/3 pi 40^3 = 268083).
    struct Case
    {
        const char * szScene;
        const char * szMesh;
        double fMin, fMax; // the expected signed volume lies in [fMin, fMax]
    };
    const Case kCases[] = {
        {"machine.s3d", "hub", -216000.5, -215999.5},
        {"machine.s3d", "arm0", -11520.5, -11519.5},
        {"machine.s3d", "arm0_block1", -8000.5, -7999.5},
        {"blob.s3d", "blob", -268083, -0.95 * 268083},
    };
    std::map<std::string, SceneReader> readers;
    for (const char * sz : {"tentacle.s3d", "blob.s3d", "machine.s3d"})
        ASSERT_TRUE(readers[sz].read(dir.file("scenes/") + sz)) << sz;
    for (const Case & c : kCases)
    {
        SCOPED_TRACE(std::string(c.szScene) + " " + c.szMesh);
        const SceneReader & r = readers[c.szScene];
        ASSERT_EQ(r.m_meshTriMesh.count(c.szMesh), 1u);
        const auto & tm = r.m_triMesh.at(r.m_meshTriMesh.at(c.szMesh));
        EXPECT_EQ(r.m_twoSided.at(tm.first), 0u) << tm.first;
        const double v = signedVolume(tm.second);
        EXPECT_GE(v, c.fMin);
        EXPECT_LE(v, c.fMax);
    }
    // Every triangle mesh with a single-sided material, in every scene, is closed, wound one way
    // and seen from outside (the morph target included).
    int nSingle = 0;
    for (const auto & [name, r] : readers)
        for (const auto & [material, faces] : r.m_triMesh)
        {
            SCOPED_TRACE(name + " " + material);
            ASSERT_EQ(r.m_twoSided.count(material), 1u);
            if (r.m_twoSided.at(material))
                continue;
            ++nSingle;
            EXPECT_EQ(unpairedEdges(faces), 0);
            EXPECT_LT(signedVolume(faces), 0);
        }
    // blob, spiky; hub, arm, block.
    EXPECT_EQ(nSingle, 5);
}

// It takes no option: one it is given is named, exit 2, and nothing is written.
TEST(qor_gen_scenes, AnOptionIsNamedAndRefused)
{
    qort::TempDir dir;
    std::string out;
    EXPECT_EQ(
        qort::runCommand("'" + qort::binDir() + "/qor-gen-scenes' --height 0 '" + dir.file("scenes") + "' 2>&1", &out),
        2);
    EXPECT_NE(out.find("qor-gen-scenes: unknown option --height"), std::string::npos) << out;
    EXPECT_FALSE(qort::fileExists(dir.file("scenes")));
}
