// Loading time of scene and animation files against their size, for the shapes of file where a
// careless loader grows with the square of its input: N empty chunks, a parent chain of N
// objects, a chain of N bones (the bind pose), N object blocks in the animation file, N mesh data
// records each with a material of its own, and an animation file of N unknown 12-byte headers.
// Each file is written once per size with the writers (or by hand where the writer's own
// structure would be the cost) and loaded by the engine's loaders on the GL display; the fitted
// complexity is printed per shape (it should read N, or N lg N).
#include "qor_cDisp.h"
#include "qor_cMonofiler.h"
#include "qor_cS3dWriter.h"
#include "qor_cScene.h"
#include "qor_cXChange.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace
{
struct Bench
{
    qor_cXChange xchange;
    qor_cMonofiler pack;
    std::unique_ptr<qor_cDisp> pDisp;
    std::string dir;
};
Bench * s_pBench = nullptr;

std::string name(uint i) { return "o" + std::to_string(i); }

qor_sS3dWObject obj(const std::string & strName)
{
    qor_sS3dWObject o;
    o.m_strName = strName;
    return o;
}

bool writeBytes(const std::string & strPath, const qor_cS3dBytes & b)
{
    FILE * pFile = std::fopen(strPath.c_str(), "wb");
    if (!pFile)
        return false;
    const bool bOk = std::fwrite(b.data().data(), 1, b.size(), pFile) == b.size();
    return std::fclose(pFile) == 0 && bOk;
}

// Common information (rate 160), then, when nObject > 0, one block per object 0 .. nObject - 1
// with the static position (1, 0, 0) and five empty sub-chunks; then nUnknown 12-byte headers of
// an identifier the loader passes over.
qor_cS3dBytes animFile(uint nObject, uint nUnknown)
{
    qor_cS3dBytes b;
    b.u32(e_qor_motCommonInfos).u32(24).u32(0).u32(0).u32(0).u32(160);
    if (nObject)
    {
        b.u32(e_qor_motObjectsMotions).u32(12 + 4 + 224 * nObject).u32(nObject).u32(nObject);
        for (uint i = 0; i < nObject; ++i)
        {
            b.u32(0).u32(224).u32(6).name(name(i), 128);
            b.u32(e_qor_motPositionStatic).u32(24).u32(0).f32(1).f32(0).f32(0);
            for (int c = 0; c < 5; ++c)
                b.u32(0).u32(12).u32(0);
        }
    }
    for (uint i = 0; i < nUnknown; ++i)
        b.u32(99).u32(12).u32(0);
    return b;
}

enum eShape
{
    e_emptyChunks,
    e_chain,
    e_bones,
    e_animObjects,
    e_meshData,
    e_unknownHeaders,
};

std::vector<char> sceneFile(eShape e, uint n)
{
    qor_cS3dWriter w;
    if (e == e_emptyChunks)
    {
        qor_cS3dBytes b;
        b.u32(tz_cChunkTable::e_magic).u32(qor_c3dLoader::e_signature).u32(qor_c3dLoader::e_version).u32(n);
        for (uint i = 0; i < n; ++i)
            b.u32(0xDEAD0011u).u32(0);
        return std::vector<char>(b.data().begin(), b.data().end());
    }
    if (e == e_chain || e == e_bones || e == e_animObjects)
    {
        std::vector<std::pair<std::string, std::string>> pairs;
        for (uint i = 0; i < n; ++i)
        {
            if (e == e_bones)
                w.addBone(obj(name(i)));
            else
                w.addDummy(obj(name(i)));
            if (i > 0)
                pairs.push_back({name(i), name(i - 1)});
        }
        if (e != e_animObjects)
            w.addObjectHierarchy(pairs);
    }
    if (e == e_meshData)
    {
        for (uint i = 0; i < n; ++i)
        {
            qor_sS3dWMaterial m;
            m.m_strName = "m" + std::to_string(i);
            w.addMaterial(m);
        }
        w.addVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}});
        std::vector<qor_sS3dFace> faces(n);
        for (qor_sS3dFace & f : faces)
        {
            f.m_anPosition[1] = 1;
            f.m_anPosition[2] = 2;
        }
        w.addPolygons(faces);
        for (uint i = 0; i < n; ++i)
        {
            qor_sS3dWMeshData d;
            d.m_boundaries.push_back({i, 1, "m" + std::to_string(i)});
            w.addMeshData(d);
        }
    }
    if (e == e_unknownHeaders)
        w.addDummy(obj(name(0)));
    return w.image();
}

void BM_Load(benchmark::State & state, eShape e)
{
    const uint n = uint(state.range(0));
    const std::vector<char> image = sceneFile(e, n);
    const std::string mot = s_pBench->dir + "/bench.s3d.MOT";
    const uint nAnimated = (e == e_chain || e == e_bones || e == e_animObjects) ? n : 0;
    if (!writeBytes(mot, animFile(nAnimated, e == e_unknownHeaders ? n : 0)))
    {
        state.SkipWithError("the animation file could not be written");
        return;
    }
    for (auto _ : state)
    {
        std::unique_ptr<qor_cScene> pScene(new qor_cScene);
        if (!pScene->loadSceneFromMemory(image.data(), image.size()) || !pScene->loadAnim(mot.c_str()))
        {
            state.SkipWithError("the load failed");
            break;
        }
        benchmark::DoNotOptimize(pScene.get());
        state.PauseTiming();
        pScene.reset();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
    std::remove(mot.c_str());
}

bool setUp()
{
    s_pBench = new Bench;
    char acDir[] = "/tmp/qor-bench-sceneload-XXXXXX";
    if (!mkdtemp(acDir))
        return false;
    s_pBench->dir = acDir;
    s_pBench->xchange.setMonofiler(&s_pBench->pack);
    s_pBench->pDisp.reset(qor_cDisp::create());
    if (!s_pBench->pDisp || !s_pBench->pDisp->init(640, 480, 32, false))
        return false;
    s_pBench->xchange.setDisp(s_pBench->pDisp.get());
    return true;
}
} // namespace

BENCHMARK_CAPTURE(BM_Load, EmptyChunks, e_emptyChunks)
    ->RangeMultiplier(4)
    ->Range(1 << 14, 1 << 20)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, HierarchyChain, e_chain)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 16)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, BoneChain, e_bones)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 16)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, AnimObjects, e_animObjects)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 16)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, MeshDataRecords, e_meshData)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 14)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, UnknownAnimHeaders, e_unknownHeaders)
    ->RangeMultiplier(4)
    ->Range(1 << 14, 1 << 20)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char ** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("QOR_NO_DIALOGS", "1", 0);
    benchmark::Initialize(&argc, argv);
    if (!setUp())
    {
        std::fprintf(stderr, "bench_sceneload: no display could be opened\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    const std::string dir = s_pBench->dir;
    s_pBench->xchange.setDisp(nullptr);
    s_pBench->pDisp.reset();
    delete s_pBench;
    rmdir(dir.c_str());
    benchmark::Shutdown();
    return 0;
}
