// Programs kept on disk between devices, and warm-up frames that compile a show's programs
// before it starts without touching the back buffer or the device's states.
#include "qor_dispTestEnv.h"

#include "qor_cLight.h"
#include "qor_testUtil.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

using qort::argb;
using qort::Frame;
using qort::quadRHW;

namespace
{
namespace fs = std::filesystem;

// Sets (or, with null, removes) an environment variable for the scope.
class ScopedEnv
{
public:
    ScopedEnv(const char * szName, const char * szValue) : m_name(szName)
    {
        const char * p = std::getenv(szName);
        m_bHad = p != nullptr;
        if (p)
            m_old = p;
        szValue ? setenv(szName, szValue, 1) : unsetenv(szName);
    }
    ~ScopedEnv() { m_bHad ? setenv(m_name.c_str(), m_old.c_str(), 1) : unsetenv(m_name.c_str()); }

private:
    std::string m_name, m_old;
    bool m_bHad = false;
};

// A display of its own (its context current), for tests that need a fresh device.
std::unique_ptr<qor_cDispGL> newDisplay()
{
    std::unique_ptr<qor_cDispGL> p(new qor_cDispGL);
    if (!p->init(640, 480, 32, false))
        p.reset();
    return p;
}

// Three different states: a pre-transformed quad, a lit transformed quad, the same with fog
// and a texture. Leaves a known picture: red at (10, 10), the lit quad over the centre.
void drawStates(qor_cDispGL * p)
{
    p->enableLighting(false);
    p->setCullMode(0);
    // (The helpers of the test environment would make the shared display current.)
    p->setTexMode(0, qorrs_texarg_diffuse, qorrs_texop_selectarg1, qorrs_texarg_current);
    p->setTexModeAlpha(0, qorrs_texarg_diffuse, qorrs_texop_selectarg1, qorrs_texarg_current);
    p->setTexMode(1, qorrs_texarg_texture, qorrs_texop_disable, qorrs_texarg_current);
    p->setClearColor(0, 0, 0);
    p->clear(3);
    quadRHW(0, 0, 20, 20, argb(255, 0, 0));
    qor_cLight light;
    light.m_uType = 2;
    light.m_vDirection = qor_cVector3(0, 0, 1);
    p->addLight(&light);
    qor_sD3DMaterial mat = {};
    mat.diffuse.set(0, 1, 0, 1);
    p->setMaterial(&mat, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material);
    p->setAmbientLight(0, 0, 0, 0);
    p->enableLighting(true);
    qort::quadXYZ(-0.5f, 0.5f, 0.5f, -0.5f, 0.5f, 0, 0, -1);
    p->setFogColor(0, 0, 1, 1);
    p->setFogRange(0, 1);
    p->setFogMode(1);
    qort::quadXYZ(-0.1f, 0.1f, 0.1f, -0.1f, 0.5f, 0, 0, -1);
    p->setFogMode(0);
    p->enableLighting(false);
    p->clearLights();
}

// Mesa offers program binaries only with its own shader cache on, which the test entry turns
// off for every other test: these tests turn it on, in a folder of their own.
struct MesaCacheOn
{
    qort::TempDir dir;
    ScopedEnv on{"MESA_SHADER_CACHE_DISABLE", "false"};
    ScopedEnv folder{"MESA_SHADER_CACHE_DIR", dir.path().c_str()};
};

void expectPicture(qor_cDispGL * p)
{
    std::vector<uint8_t> px;
    int w = 0, h = 0;
    ASSERT_TRUE(p->readPixels(px, w, h));
    ASSERT_EQ(w, 640);
    const auto at = [&](int x, int y) {
        const uint8_t * q = &px[(size_t(y) * w + x) * 4];
        return qort::Pixel{q[2], q[1], q[0], q[3]};
    };
    EXPECT_PIXEL(at(10, 10), 255, 0, 0, 0);
    // Directional light along +z onto a normal facing -z: full diffuse, green.
    EXPECT_PIXEL(at(320 - 100, 240), 0, 255, 0, 1);
    // Eye depth 0.5 half way through the fog range 0..1: half blue.
    EXPECT_PIXEL(at(320, 240), 0, 128, 128, 1);
    EXPECT_PIXEL(at(600, 400), 0, 0, 0, 0);
}

std::vector<fs::path> entries(const std::string & dir)
{
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto & e : fs::directory_iterator(dir, ec))
        out.push_back(e.path());
    return out;
}
} // namespace

TEST(ProgramStore, SecondDeviceLoadsWhatTheFirstCompiled)
{
    const MesaCacheOn mesaCache;
    qort::TempDir dir;
    ScopedEnv xdg("XDG_CACHE_HOME", dir.path().c_str());
    uint nFirst = 0;
    {
        auto a = newDisplay();
        ASSERT_NE(a, nullptr);
        if (!a->getDevice()->getShaderCache().getStore().isOpen())
            GTEST_SKIP() << "the GL driver offers no program binary format";
        EXPECT_EQ(a->getShaderCompileCount(), 0u);
        drawStates(a.get());
        expectPicture(a.get());
        nFirst = a->getShaderCompileCount();
        EXPECT_EQ(nFirst, 3u);
        EXPECT_EQ(entries(dir.path() + "/qor").size(), 3u);
    }
    auto b = newDisplay();
    ASSERT_NE(b, nullptr);
    drawStates(b.get());
    expectPicture(b.get());
    EXPECT_EQ(b->getShaderCompileCount(), 0u);
    qor_sDispStats st;
    b->getStats(&st);
    EXPECT_EQ(st.nShaderLoad, nFirst);
    // A second device in the same process, the first one's programs already in memory there:
    // each device keeps its own, and this one compiles nothing either.
    auto c = newDisplay();
    ASSERT_NE(c, nullptr);
    drawStates(c.get());
    EXPECT_EQ(c->getShaderCompileCount(), 0u);
}

TEST(ProgramStore, FolderFollowsTheXdgRules)
{
    const MesaCacheOn mesaCache;
    qort::TempDir home, xdg;
    struct Case
    {
        const char * szXdg;
        std::string expected;
    } aCase[] = {
        {xdg.path().c_str(), xdg.path() + "/qor"},
        {"relative/cache", home.path() + "/.cache/qor"}, // a relative XDG_CACHE_HOME is ignored
        {"", home.path() + "/.cache/qor"},
        {nullptr, home.path() + "/.cache/qor"},
    };
    ScopedEnv envHome("HOME", home.path().c_str());
    for (const Case & c : aCase)
    {
        SCOPED_TRACE(c.szXdg ? c.szXdg : "(unset)");
        ScopedEnv envXdg("XDG_CACHE_HOME", c.szXdg);
        auto p = newDisplay();
        ASSERT_NE(p, nullptr);
        if (!p->getDevice()->getShaderCache().getStore().isOpen())
            GTEST_SKIP() << "the GL driver offers no program binary format";
        quadRHW(0, 0, 8, 8, argb(255, 0, 0));
        EXPECT_EQ(p->getDevice()->getShaderCache().getStore().getDir(), c.expected);
        EXPECT_EQ(entries(c.expected).size(), 1u);
    }
}

TEST(ProgramStore, CorruptForeignOrOddEntriesAreIgnoredAndRebuilt)
{
    const MesaCacheOn mesaCache;
    const auto rewrite = [](const fs::path & p, const std::function<void(std::vector<unsigned char> &)> & f) {
        std::vector<unsigned char> b = qort::readBytes(p.string());
        f(b);
        qort::writeBytes(p.string(), b.data(), b.size());
    };
    // Header: 8 magic bytes, 5 sizes, 4 bytes of padding, 2 hashes (48 bytes), then the key.
    struct Case
    {
        const char * szName;
        std::function<void(const fs::path &)> spoil;
        bool bReplaced; // a good entry is written over it
    } aCase[] = {
        {"empty", [&](const fs::path & p) { rewrite(p, [](auto & b) { b.clear(); }); }, true},
        {"truncated", [&](const fs::path & p) { rewrite(p, [](auto & b) { b.resize(b.size() / 2); }); }, true},
        {"longer", [&](const fs::path & p) { rewrite(p, [](auto & b) { b.push_back(0); }); }, true},
        {"bad magic", [&](const fs::path & p) { rewrite(p, [](auto & b) { b[0] ^= 1; }); }, true},
        {"binary byte", [&](const fs::path & p) { rewrite(p, [](auto & b) { b[b.size() - 10] ^= 0x40; }); }, true},
        {"huge length", [&](const fs::path & p) { rewrite(p, [](auto & b) { b[27] = 0x7F; }); }, true},
        // Another driver: one byte of the renderer string (after the header and the key).
        {"foreign renderer",
         [&](const fs::path & p) { rewrite(p, [](auto & b) { b[48 + sizeof(qor_sShaderKey)] ^= 0x20; }); }, true},
        // Not a regular file: never read, never replaced.
        {"a folder",
         [](const fs::path & p) {
             fs::remove(p);
             fs::create_directory(p);
         },
         false},
        {"a fifo",
         [](const fs::path & p) {
             fs::remove(p);
             mkfifo(p.c_str(), 0600);
         },
         false},
    };
    for (const Case & c : aCase)
    {
        SCOPED_TRACE(c.szName);
        qort::TempDir dir;
        ScopedEnv xdg("XDG_CACHE_HOME", dir.path().c_str());
        {
            auto a = newDisplay();
            ASSERT_NE(a, nullptr);
            if (!a->getDevice()->getShaderCache().getStore().isOpen())
                GTEST_SKIP() << "the GL driver offers no program binary format";
            drawStates(a.get());
        }
        const std::vector<fs::path> files = entries(dir.path() + "/qor");
        ASSERT_EQ(files.size(), 3u);
        for (const fs::path & f : files)
            c.spoil(f);
        {
            qort::LogCapture log;
            auto b = newDisplay();
            ASSERT_NE(b, nullptr);
            drawStates(b.get());
            expectPicture(b.get());
            EXPECT_EQ(b->getShaderCompileCount(), 3u);
            EXPECT_NE(log.text().find("the entry is ignored and the program built again"), std::string::npos)
                << log.text();
        }
        for (const fs::path & f : files)
            EXPECT_EQ(fs::is_regular_file(fs::symlink_status(f)), c.bReplaced) << f;
        auto e = newDisplay();
        ASSERT_NE(e, nullptr);
        drawStates(e.get());
        expectPicture(e.get());
        EXPECT_EQ(e->getShaderCompileCount(), c.bReplaced ? 0u : 3u);
    }
}

TEST(ProgramStore, EntryLayoutWrittenByHand)
{
    // "QORPROG1", five 32-bit sizes (key 62, renderer 1, version 1, format 0x1234, binary 8),
    // 4 bytes of padding, the source hash (5) and the FNV-1a 64 checksum of the binary, then
    // the key (all zero), "R", "V" and the binary.
    const std::string binary = "ABCDEFGH";
    uint64_t uSum = 1469598103934665603ull;
    for (unsigned char c : binary)
        uSum = (uSum ^ c) * 1099511628211ull;
    std::vector<uint8_t> good;
    const auto put = [&](uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            good.push_back(uint8_t(v >> (8 * i)));
    };
    for (char c : std::string("QORPROG1"))
        good.push_back(uint8_t(c));
    put(62, 4), put(1, 4), put(1, 4), put(0x1234, 4), put(8, 4), put(0, 4), put(5, 8), put(uSum, 8);
    good.insert(good.end(), 62, 0);
    good.push_back('R');
    good.push_back('V');
    good.insert(good.end(), binary.begin(), binary.end());
    ASSERT_EQ(sizeof(qor_sShaderKey), 62u);

    qor_cGLProgramStore store;
    store.openAt("/nonexistent", "R", "V");
    const qor_sShaderKey key;
    qor_cGLProgramStore::Entry e;
    cchar * szWhy = nullptr;
    ASSERT_TRUE(store.parseEntry(good.data(), good.size(), key, 5, &e, &szWhy)) << szWhy;
    EXPECT_EQ(e.uFormat, 0x1234u);
    EXPECT_EQ(e.uLength, 8u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(e.pBinary), 8), binary);
    // One change anywhere is refused: each region of the entry.
    const size_t aAt[] = {0, 7, 8, 12, 16, 24, 32, 40, 48, 48 + 61, 110, 111, 112, 119};
    for (size_t at : aAt)
    {
        std::vector<uint8_t> bad = good;
        bad[at] ^= 0x01;
        szWhy = nullptr;
        EXPECT_FALSE(store.parseEntry(bad.data(), bad.size(), key, 5, &e, &szWhy)) << "byte " << at;
        EXPECT_NE(szWhy, nullptr);
    }
    for (size_t n : {size_t(0), size_t(47), size_t(48), good.size() - 1})
        EXPECT_FALSE(store.parseEntry(good.data(), n, key, 5, &e, &szWhy)) << n << " bytes";
    EXPECT_FALSE(store.parseEntry(good.data(), good.size(), key, 6, &e, &szWhy)) << "other sources";
    qor_cGLProgramStore other;
    other.openAt("/nonexistent", "R", "W");
    EXPECT_FALSE(other.parseEntry(good.data(), good.size(), key, 5, &e, &szWhy)) << "other driver version";
}

// ----- warm-up

TEST_F(DispTest, WarmUpCompilesOffscreenAndPutsEverythingBack)
{
    // Before: additive blending, a viewport, a world matrix, a texture on stage 0.
    const qor_hTexture t = qort::makeTexture(1, 1, {argb(0, 0, 200)});
    d->setBlendMode(1, 1);
    d->setVPPhysical(0, 0, 320, 240, 0, 1);
    qor_cMatrix world;
    world._41 = 0.25f;
    d->setMatrix(qorrs_ts_world, &world);
    d->setTexture(0, t);
    qort::useStage(0, qorrs_texarg_texture, qorrs_texop_add, qorrs_texarg_diffuse);
    quadRHW(0, 0, 8, 8, argb(100, 0, 0));
    d->setClearColor(0.5f, 0.5f, 0.5f);
    const uint nBefore = d->getShaderCompileCount();
    qor_sDispStats before;
    d->getStats(&before);

    ASSERT_TRUE(d->beginWarmUp());
    EXPECT_FALSE(d->beginWarmUp()) << "a warm-up is already running";
    // A frame of the show: other states, a clear, a lit quad with a program not seen before.
    // The frame's state: full viewport, no blending, no texture, fog towards red, and a
    // combiner no other test uses, so its program is new here (diffuse + diffuse - 0.5 on
    // white is white).
    const auto useShowState = [&] {
        d->setVPPhysical(0, 0, 640, 480, 0, 1);
        d->setBlendMode(1, 0);
        d->setTexture(0, QOR_NULL_TEXTURE);
        d->setFogColor(1, 0, 0, 1);
        d->setFogRange(0, 1);
        d->setFogMode(1);
        qort::useDiffuse();
        qort::useStage(0, qorrs_texarg_diffuse, qorrs_texop_addsigned, qorrs_texarg_diffuse);
    };
    EXPECT_TRUE(d->beginScene());
    d->setVPPhysical(0, 0, 640, 480, 0, 1);
    d->setClearColor(0, 1, 0);
    d->clear(3);
    useShowState();
    // The quad covers the whole 640 x 480 frame (the world matrix moved to identity); the
    // offscreen target keeps only its top-left pixel, so one pixel is filled (the programs are
    // made all the same).
    qor_cMatrix identity;
    d->setMatrix(qorrs_ts_world, &identity);
    d->countPixels(true);
    qor_sDispStats beforeQuad, afterQuad;
    d->getStats(&beforeQuad);
    qort::quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    d->countPixels(false);
    d->getStats(&afterQuad);
    EXPECT_EQ(afterQuad.nPixel - beforeQuad.nPixel, 1u);
    EXPECT_TRUE(d->endScene());
    EXPECT_TRUE(d->present());
    {
        Frame f; // the offscreen target: half fog over white
        EXPECT_PIXEL(f.at(0, 0), 255, 128, 128, 1);
    }
    const uint nWarm = d->getShaderCompileCount();
    // Every program the warm-up needed and the device did not hold was compiled then (one,
    // when this test runs first in its process).
    qor_sDispStats during;
    d->getStats(&during);
    EXPECT_EQ(nWarm - nBefore, during.nProgram - before.nProgram);
    d->endWarmUp();

    // The back buffer was neither cleared nor drawn on.
    Frame f;
    EXPECT_PIXEL(f.at(4, 4), 100, 0, 200, 0);
    EXPECT_PIXEL(f.at(600, 400), 0, 0, 0, 0);
    // Every state as before: the same draw adds again (blend 1, 1; texture added to diffuse).
    EXPECT_EQ(d->getVPPhysical()[2], 320.0f);
    EXPECT_EQ(*d->getMatrix(qorrs_ts_world), world);
    EXPECT_EQ(d->getFogMode(), 0u);
    EXPECT_FLOAT_EQ(d->getClearColor()->g, 0.5f);
    quadRHW(0, 0, 8, 8, argb(100, 0, 0));
    EXPECT_PIXEL(Frame().at(4, 4), 200, 0, 255, 0);
    EXPECT_EQ(d->getShaderCompileCount(), nWarm);
    // The state the warm-up met is drawn now without compiling: its program exists.
    useShowState();
    qor_cMatrix id;
    d->setMatrix(qorrs_ts_world, &id);
    qort::quadXYZ(-1, 1, 1, -1, 0.5f, 0, 0, -1);
    EXPECT_PIXEL(Frame().at(600, 400), 255, 128, 128, 1);
    EXPECT_EQ(d->getShaderCompileCount(), nWarm);
    d->setFogMode(0);
    d->setTexture(0, QOR_NULL_TEXTURE);
    d->releaseTexture(t);
    // endWarmUp without a warm-up changes nothing.
    d->endWarmUp();
    EXPECT_EQ(d->getVPPhysical()[2], 640.0f);
}
