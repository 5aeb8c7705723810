// One frame of a loaded scene at 640 x 480 on the GL display: a skinned mesh of 10,000
// triangles on a chain of 30 animated bones, a 2,000-triangle mesh morphing towards another, 8
// rigid meshes of 2,000 triangles, 3 omni lights and a streaming system of 2,000 particles, all
// written with the scene file writers and read by the scene's own loader.
//
// BM_SceneFrame: update (dt 1), beginScene, clear, render, endScene, glFinish (so the time holds
// the rasterisation); BM_Skinning and BM_Particles: the CPU work of those two parts of a frame
// (the skinned positions and normals rewritten and uploaded; the particle simulation run twice
// as the scene runs it, and the sprite batch built). Prints frames per second, CPU time per
// frame and the share of skinning and particles in it.
#include "qor_cDisp.h"
#include "qor_cMesh.h"
#include "qor_cMonofiler.h"
#include "qor_cParticleSystem.h"
#include "qor_cS3dWriter.h"
#include "qor_cScene.h"
#include "qor_cTriMesh.h"
#include "qor_cXChange.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace
{
const int kBones = 30;

double threadCpu()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

qor_sS3dWObject obj(const std::string & name, qor_cVector3 c = qor_cVector3(), float r = 5.0f)
{
    qor_sS3dWObject o;
    o.m_strName = name;
    o.m_vCenter = c;
    o.m_fRadius = r;
    return o;
}

// A grid of nx x ny cells (2 triangles each) in the plane z = 0, from (x0, y0), cells of size s.
void grid(int nx, int ny, float x0, float y0, float s, std::vector<qor_cVector3> & pos, std::vector<qor_sS3dFace> & faces)
{
    pos.clear();
    faces.clear();
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i)
            pos.push_back({x0 + i * s, y0 + j * s, 0});
    const auto at = [nx](int i, int j) { return uint(j * (nx + 1) + i); };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
        {
            qor_sS3dFace a, b;
            const uint q[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            const uint ta[3] = {q[0], q[1], q[2]}, tb[3] = {q[0], q[2], q[3]};
            for (int c = 0; c < 3; ++c)
            {
                a.m_anPosition[c] = ta[c];
                b.m_anPosition[c] = tb[c];
            }
            faces.push_back(a);
            faces.push_back(b);
        }
}

void addGrid(qor_cS3dWriter & w, int nx, int ny, float x0, float y0, float s, const std::string & mat,
             const std::vector<qor_sS3dSkin> & skins = {})
{
    std::vector<qor_cVector3> pos;
    std::vector<qor_sS3dFace> faces;
    grid(nx, ny, x0, y0, s, pos, faces);
    w.addVertices(pos, {{0, 0, -1}});
    w.addPolygons(faces);
    qor_sS3dWMeshData d;
    d.m_boundaries.push_back({0, uint(faces.size()), mat});
    d.m_skins = skins;
    w.addMeshData(d);
}

bool writeScene(const std::string & dir)
{
    qor_cS3dWriter w;
    qor_sS3dWMaterial m;
    m.m_strName = "Skin";
    m.m_diffuse = {0.9f, 0.8f, 0.7f, 1};
    m.m_nTwoSided = 1;
    w.addMaterial(m);
    m.m_strName = "Spark";
    m.m_translucy = 1;
    w.addMaterial(m);

    w.addTarget(obj("tgt"));
    w.addCameraTarget(obj("cam"), 1, 1000, 60, 0, 0);
    for (int b = 0; b < kBones; ++b)
        w.addBone(obj("bone" + std::to_string(b)));

    // The skinned grid: 100 x 50 cells, x from -50 to 50; each position on two neighbouring
    // bones of its column band (bone objects are 2 .. 31).
    std::vector<qor_sS3dSkin> skins;
    for (int j = 0; j <= 50; ++j)
        for (int i = 0; i <= 100; ++i)
        {
            qor_sS3dSkin s;
            const int b = i * (kBones - 1) / 100;
            s.m_nInfluence = 2;
            s.m_anBone[0] = uint(2 + b);
            s.m_anBone[1] = uint(2 + std::min(b + 1, kBones - 1));
            s.m_afWeight[0] = 0.7f;
            s.m_afWeight[1] = 0.3f;
            skins.push_back(s);
        }
    addGrid(w, 100, 50, -50, -25, 1, "Skin", skins); // triangle mesh 0
    addGrid(w, 50, 20, -25, -10, 1, "Skin");         // 1: 2,000 triangles
    addGrid(w, 50, 20, -25, -5, 1, "Skin");          // 2: the morph target
    w.addMesh(obj("skinned", {0, 0, 0}, 60), {0});
    w.addMesh(obj("morphed", {0, 0, 0}, 30), {1});
    w.addMesh(obj("target", {0, 0, 0}, 30), {2});
    for (int i = 0; i < 8; ++i)
        w.addMesh(obj("rigid" + std::to_string(i), {0, 0, 0}, 30), {1});
    for (int i = 0; i < 3; ++i)
        w.addLightOmni(obj("lamp" + std::to_string(i)), {1, 1, 1, 1}, 1, (1u << 1) | (1u << 3) | (1u << 4), 500);
    qor_sS3dWParticleSystem ps;
    ps.m_nParticle = 2000;
    ps.m_nLifeBase = 40;
    ps.m_nLifeRandom = 20;
    ps.m_nStream = 1;
    ps.m_vAcceleration = {0, -0.01f, 0};
    ps.m_vBoxHalf = {5, 1, 5};
    ps.m_vVelocity = {0, 0.5f, 0};
    ps.m_vVelocityRandom = {0.2f, 0.1f, 0.2f};
    ps.m_startColor = {255, 200, 100, 255};
    ps.m_endColor = {255, 0, 0, 0};
    ps.m_fStartSize = 1;
    ps.m_fEndSize = 0.2f;
    ps.m_strMaterialName = "Spark";
    w.addParticleSystem(obj("sparks"), ps);
    qor_sS3dWMorphTarget t;
    t.m_strName = "target";
    t.m_keys = {{0, 0}, {1600, 100}, {3200, 0}};
    w.addMorph("morphed", {t});
    if (!w.save((dir + "/bench.s3d").c_str()))
        return false;

    qor_cMotWriter mot;
    mot.addCommonInfos(0, 0, 1);
    std::vector<qor_sMotObject> motions;
    qor_sMotObject cam;
    cam.m_strName = "cam";
    cam.m_position = qor_sMotChannel::constant(0, 10, -90);
    motions.push_back(cam);
    for (int b = 0; b < kBones; ++b)
    {
        // A chain along x; each bone sways about z, back and forth over 100 key-time units.
        qor_sMotObject o;
        o.m_strName = "bone" + std::to_string(b);
        o.m_position = qor_sMotChannel::constant(b == 0 ? -50.0f : 100.0f / kBones, 0, 0);
        std::vector<qor_sMotKey> keys(3);
        for (int k = 0; k < 3; ++k)
        {
            const float a = (k == 1 ? 0.05f : -0.05f);
            keys[k].m_fTime = 50.0f * k;
            keys[k].m_afValue[2] = std::sin(a / 2);
            keys[k].m_afValue[3] = std::cos(a / 2);
        }
        o.m_rotation = qor_sMotChannel::track(3, keys);
        motions.push_back(o);
    }
    qor_sMotObject target;
    target.m_strName = "target";
    target.m_visibility = qor_sMotChannel::constant(0);
    motions.push_back(target);
    for (int i = 0; i < 8; ++i)
    {
        qor_sMotObject r;
        r.m_strName = "rigid" + std::to_string(i);
        r.m_position = qor_sMotChannel::constant(-40.0f + 11.0f * i, 20, 10);
        motions.push_back(r);
    }
    for (int i = 0; i < 3; ++i)
    {
        qor_sMotObject l;
        l.m_strName = "lamp" + std::to_string(i);
        l.m_position = qor_sMotChannel::constant(-40.0f + 40.0f * i, 30, -40);
        motions.push_back(l);
    }
    mot.addObjectsMotions(motions);
    return mot.save((dir + "/bench.s3d.MOT").c_str());
}

struct Bench
{
    qor_cXChange xchange;
    qor_cMonofiler pack;
    std::unique_ptr<qor_cDisp> pDisp;
    std::unique_ptr<qor_cScene> pScene;
    std::string dir;
};
Bench * s_pBench = nullptr;

struct Result
{
    double secondsPerFrame = 0, cpuPerFrame = 0;
};
Result s_frame, s_skin, s_particles;

bool setUp()
{
    s_pBench = new Bench;
    char acDir[] = "/tmp/qor-bench-scene-XXXXXX";
    if (!mkdtemp(acDir))
        return false;
    s_pBench->dir = acDir;
    s_pBench->xchange.setMonofiler(&s_pBench->pack);
    s_pBench->pDisp.reset(qor_cDisp::create());
    if (!s_pBench->pDisp || !s_pBench->pDisp->init(640, 480, 32, false))
        return false;
    s_pBench->xchange.setDisp(s_pBench->pDisp.get());
    s_pBench->pDisp->initRenderStates();
    if (!writeScene(s_pBench->dir))
        return false;
    s_pBench->pScene.reset(new qor_cScene);
    return s_pBench->pScene->load((s_pBench->dir + "/bench.s3d").c_str());
}

void measure(benchmark::State & state, Result & r, double t0, double c0, int64_t n)
{
    if (n == 0)
        return;
    const double t1 = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    r.secondsPerFrame = (t1 - t0) / double(n);
    r.cpuPerFrame = (threadCpu() - c0) / double(n);
    state.counters["cpu_ms_per_frame"] = r.cpuPerFrame * 1000.0;
}

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void BM_SceneFrame(benchmark::State & state)
{
    qor_cScene & scene = *s_pBench->pScene;
    qor_cDisp & disp = *s_pBench->pDisp;
    const float dt = 1.0f;
    int64_t n = 0;
    const double t0 = now(), c0 = threadCpu();
    for (auto _ : state)
    {
        scene.update(&dt);
        disp.beginScene();
        disp.clear(3);
        scene.render();
        disp.endScene();
        glFinish();
        ++n;
    }
    measure(state, s_frame, t0, c0, n);
    state.counters["fps"] = s_frame.secondsPerFrame > 0 ? 1.0 / s_frame.secondsPerFrame : 0;
}

void BM_Skinning(benchmark::State & state)
{
    qor_cMesh * pMesh = static_cast<qor_cMesh *>(s_pBench->pScene->getObject("skinned"));
    qor_cTriMesh * pTri = pMesh->getTriMesh();
    int64_t n = 0;
    const double t0 = now(), c0 = threadCpu();
    for (auto _ : state)
    {
        pTri->skin();
        ++n;
    }
    measure(state, s_skin, t0, c0, n);
}

void BM_Particles(benchmark::State & state)
{
    qor_cParticleSystem * p = static_cast<qor_cParticleSystem *>(s_pBench->pScene->getObject("sparks"));
    const float dt = 1.0f;
    int64_t n = 0;
    const double t0 = now(), c0 = threadCpu();
    for (auto _ : state)
    {
        // As in a frame: the simulation twice (both scene lists), then the sprite batch.
        p->clearUpdated();
        p->update(&dt);
        p->update(&dt);
        p->render();
        glFinish();
        ++n;
    }
    measure(state, s_particles, t0, c0, n);
}
} // namespace

BENCHMARK(BM_SceneFrame)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_Skinning)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Particles)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char ** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("QOR_NO_DIALOGS", "1", 0);
    benchmark::Initialize(&argc, argv);
    if (!setUp())
    {
        std::fprintf(stderr, "bench_scene: the scene could not be set up\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    if (s_frame.cpuPerFrame > 0)
    {
        std::printf("\nframe: %.1f fps, %.3f ms CPU per frame (main thread)\n", 1.0 / s_frame.secondsPerFrame,
                    s_frame.cpuPerFrame * 1000.0);
        std::printf("skinning: %.3f ms CPU, particles: %.3f ms CPU; together %.3f ms, %.1f %% of the frame's CPU\n",
                    s_skin.cpuPerFrame * 1000.0, s_particles.cpuPerFrame * 1000.0,
                    (s_skin.cpuPerFrame + s_particles.cpuPerFrame) * 1000.0,
                    100.0 * (s_skin.cpuPerFrame + s_particles.cpuPerFrame) / s_frame.cpuPerFrame);
    }
    const std::string dir = s_pBench->dir;
    s_pBench->pScene.reset();
    s_pBench->xchange.setDisp(nullptr);
    s_pBench->pDisp.reset();
    delete s_pBench;
    std::remove((dir + "/bench.s3d").c_str());
    std::remove((dir + "/bench.s3d.MOT").c_str());
    rmdir(dir.c_str());
    benchmark::Shutdown();
    return 0;
}
