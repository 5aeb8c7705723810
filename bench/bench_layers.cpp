// A heavy layer screen, built by compiled scripts, next to the same picture drawn by hand
// through the display device, and by a plain OpenGL program (the floor), at 640 x 480:
//  - 3 layers of 20 quads each, every quad with a two-pass material (blended texture x
//    diffuse, then an additive pass) and animated position, scale, texture rotation and diffuse
//    colour;
//  - one layer of 4 quads drawn into a 256 x 256 texture every frame, shown by the first quad.
// Each frame ends with glFinish, so the time includes llvmpipe's rasterisation.
//
// The layer screen pays for what the display does plus the layer machinery (tracks, layout,
// the layers' bookkeeping); the direct version makes the same device calls with the quads'
// rectangles computed in place. Prints frames per second, CPU time per frame and the ratios.
#include "qor_cDispGL.h"
#include "qor_cEffect.h"
#include "qor_cLayerScreen.h"
#include "qor_cMaterial.h"
#include "qor_cMonofiler.h"
#include "qor_cTexture.h"
#include "qor_cTriList.h"
#include "qor_cXChange.h"
#include "qor_sc.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
const int kLayers = 3, kQuads = 20, kTexQuads = 4;
const float kPeriod = 60.0f; // every track's keys span 60 frames; the screen is rewound then

struct Result
{
    double secondsPerFrame = 0, cpuPerFrame = 0;
};
Result s_layers, s_direct, s_floor;
// Every repetition's figures, for the medians printed at the end.
std::vector<Result> s_allLayers, s_allDirect, s_allFloor;

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

// Median wall and CPU time per frame over the repetitions.
Result medianOf(const std::vector<Result> & all)
{
    std::vector<double> w, c;
    for (const Result & r : all)
    {
        w.push_back(r.secondsPerFrame);
        c.push_back(r.cpuPerFrame);
    }
    return {median(w), median(c)};
}

double threadCpu()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

std::unique_ptr<qor_cDispGL> s_pDisp;
qor_cXChange s_xchange;
qor_cMonofiler s_pack;
std::string s_dir;

// The quad i of a layer: its centre offset and size at frame time t (fractions of the screen),
// as its keys give them at key times (the direct version moves them along a sine instead).
void quadAt(int iLayer, int i, float t, float * pX, float * pY, float * pW, float * pH)
{
    const float x0 = -0.4f + (i % 5) * 0.2f + iLayer * 0.03f, y0 = -0.3f + (i / 5) * 0.2f;
    const float s = 0.5f - 0.5f * std::cos(t * 2.0f * 3.14159265f / kPeriod);
    *pX = x0 + 0.05f * s;
    *pY = y0 + 0.03f * s;
    *pW = 0.2f + 0.05f * s;
    *pH = 0.2f - 0.05f * s;
}

bool writeScript(const std::string & name, const std::string & body)
{
    qor_sScOptions opt;
    opt.includeDirs.push_back(QOR_BENCH_SOURCE_DIR "/scripts/include");
    qor_sScResult r = qor_scCompileText(name + ".sc", "#include <qor>\n" + body, opt);
    if (!r.ok)
    {
        std::fprintf(stderr, "%s", r.messages.c_str());
        return false;
    }
    std::ofstream f(s_dir + "/scripts/exe/" + name, std::ios::binary);
    f.write((const char *)r.image.data(), (std::streamsize)r.image.size());
    return bool(f);
}

// The scripts of the screen: three layers of 20 quads, the texture layer of 4.
bool writeScripts()
{
    std::string quad = "    addQuad();\n"
                       "    addKey_pos(0, x, y);\n    addKey_pos(30, x + 50, y + 30);\n    addKey_pos(60, x, y);\n"
                       "    lastKey_pos();\n"
                       "    addKey_scale(0, 200, 200);\n    addKey_scale(30, 250, 150);\n    addKey_scale(60, 200, 200);\n"
                       "    lastKey_scale();\n"
                       "    addKey_uvrot(0, 0);\n    addKey_uvrot(60, PI);\n    lastKey_uvrot();\n"
                       "    addMaterial(\"m\");\n"
                       "    addPass();\n    setBlend(BLEND_SRCALPHA, BLEND_INVSRCALPHA);\n    setZWrite(false);\n"
                       "    addStage();\n    TEXTURE\n    setCombiner(TEXARG_TEXTURE, TEXOP_MODULATE, TEXARG_DIFFUSE);\n"
                       "    addPass();\n    setBlend(BLEND_ONE, BLEND_ONE);\n    setZWrite(false);\n"
                       "    addStage();\n    setCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);\n"
                       "    addKey_diffuse(0, 255, 255, 255, 200);\n    addKey_diffuse(30, 128, 200, 255, 255);\n"
                       "    addKey_diffuse(60, 255, 255, 255, 200);\n    lastKey_diffuse();\n";
    const auto layer = [&](int iLayer, int nQuad) {
        std::string q = quad;
        q.replace(q.find("TEXTURE"), 7, iLayer == 0 ? "if (i == 0) loadTextureScript(\"tex.o\");" : "");
        char head[256];
        std::snprintf(head, sizeof head,
                      "main()\n{\n  setVP(0, 0, ONE, ONE);\n  for (new i = 0; i < %d; i++)\n  {\n"
                      "    new x = -400 + (i %% 5) * 200 + %d, y = -300 + (i / 5) * 200;\n",
                      nQuad, iLayer * 30);
        return std::string(head) + q + "  }\n}\n";
    };
    bool b = writeScript("tex.o", layer(9, kTexQuads));
    for (int l = 0; l < kLayers; ++l)
        b = b && writeScript("l" + std::to_string(l) + ".o", layer(l, kQuads));
    return b && writeScript("screen.o", "main()\n{\n  addLayer(\"l0.o\");\n  addLayer(\"l1.o\");\n  addLayer(\"l2.o\");\n}\n");
}

qor_cDispGL * disp()
{
    if (!s_pDisp)
    {
        char tmpl[] = "/tmp/qor_bench_layers_XXXXXX";
        if (!mkdtemp(tmpl))
            std::exit(1);
        s_dir = tmpl;
        std::filesystem::create_directories(s_dir + "/scripts/exe");
        if (chdir(s_dir.c_str()) != 0)
            std::exit(1);
        s_pDisp.reset(new qor_cDispGL);
        if (!s_pDisp->init(640, 480, 32, false))
        {
            std::fprintf(stderr, "bench_layers: no GL context\n");
            std::exit(1);
        }
        s_xchange.setMonofiler(&s_pack);
        s_xchange.setDisp(s_pDisp.get());
        if (!writeScripts())
            std::exit(1);
    }
    return s_pDisp.get();
}

void BM_LayerScreen(benchmark::State & state)
{
    qor_cDispGL * d = disp();
    d->initRenderStates();
    qor_cLayerScreen screen;
    if (!screen.loadFromScript("screen.o") || screen.getNbLayer() != kLayers)
    {
        state.SkipWithError("the screen did not build");
        return;
    }
    int iFrame = 0;
    const float dt = 1.0f;
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = threadCpu();
    for (auto _ : state)
    {
        if (iFrame % int(kPeriod) == 0)
            screen.rewind();
        screen.update(&dt);
        screen.renderToTextures();
        d->beginScene();
        d->clear(3);
        screen.render();
        d->endScene();
        glFinish();
        ++iFrame;
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = threadCpu() - c0;
    s_layers = {secs / iFrame, cpu / iFrame};
    s_allLayers.push_back(s_layers);
    state.counters["fps"] = benchmark::Counter(iFrame, benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = cpu / iFrame * 1000.0;
}

// The same device calls, made by hand: materials built in place, rectangles computed directly.
struct DirectQuad
{
    std::unique_ptr<qor_cMaterial> pMat;
    std::unique_ptr<qor_cTriList> pList;
};

void makeMaterial(qor_cMaterial & m)
{
    m.createEffect();
    qor_cEffectPass * p0 = m.getEffect()->addPass();
    p0->setBlend(4, 5);
    p0->setZWrite(0);
    p0->addStage()->setColorCombiner(1, 3, 2);
    qor_cEffectPass * p1 = m.getEffect()->addPass();
    p1->setBlend(1, 1);
    p1->setZWrite(0);
    p1->addStage()->setColorCombiner(2, 1, 2);
    m.addKey_diffuse(0, 1, 1, 1, 200 / 255.0f);
    m.addKey_diffuse(30, 128 / 255.0f, 200 / 255.0f, 1, 1);
    m.addKey_diffuse(60, 1, 1, 1, 200 / 255.0f);
    m.lastKey_diffuse();
}

void drawQuad(DirectQuad & q, int iLayer, int i, float t, float fTargetW, float fTargetH)
{
    float x, y, w, h;
    quadAt(iLayer, i, t, &x, &y, &w, &h);
    const float cx = (0.5f + x) * fTargetW, cy = (0.5f + y) * fTargetH, hw = w * fTargetW * 0.5f,
                hh = h * fTargetH * 0.5f;
    const float * c = q.pMat->getProp().getDiffuse();
    const uchar r = uchar(c[0] * 255), g = uchar(c[1] * 255), b = uchar(c[2] * 255), a = uchar(c[3] * 255);
    const float ang = t / kPeriod * 3.14159265f, cs = std::cos(ang), sn = std::sin(ang);
    const float corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    float uv[4][2];
    for (int k = 0; k < 4; ++k)
    {
        const float u = corner[k][0] - 0.5f, v = corner[k][1] - 0.5f;
        uv[k][0] = cs * u + sn * v - 0.5f;
        uv[k][1] = -sn * u + cs * v - 0.5f;
    }
    q.pList->startAdd(2, 0);
    const float px[6] = {cx - hw, cx + hw, cx + hw, cx + hw, cx - hw, cx - hw};
    const float py[6] = {cy - hh, cy + hh, cy - hh, cy + hh, cy - hh, cy + hh};
    const int pc[6] = {0, 2, 1, 2, 0, 3};
    for (int k = 0; k < 6; ++k)
    {
        q.pList->setPositionRHW(px[k], py[k], 1, 1);
        q.pList->setColor(r, g, b, a);
        q.pList->setUV(uv[pc[k]][0], uv[pc[k]][1]);
        q.pList->next();
    }
    q.pList->endAdd();
    q.pMat->getProp().setSources(1, 0, 0, 0);
    for (uint p = 0; p < q.pMat->getNbPass(); ++p)
    {
        q.pMat->usePass(p);
        q.pList->draw();
    }
}

void BM_Display(benchmark::State & state)
{
    qor_cDispGL * d = disp();
    d->initRenderStates();
    std::vector<DirectQuad> quads(kLayers * kQuads + kTexQuads);
    for (DirectQuad & q : quads)
    {
        q.pMat.reset(new qor_cMaterial);
        makeMaterial(*q.pMat);
        q.pList.reset(qor_cTriList::create());
    }
    qor_cTexture target;
    target.setHandle(d->createTexture(256, 256, 2));
    quads[0].pMat->getEffect()->getPass(0)->getStage(0)->setTexture(&target, false);
    int iFrame = 0;
    const float dt = 1.0f;
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = threadCpu();
    for (auto _ : state)
    {
        const float t = float(iFrame % int(kPeriod));
        if (t == 0.0f)
            for (DirectQuad & q : quads)
                q.pMat->reset();
        for (DirectQuad & q : quads)
            q.pMat->update(&dt);
        d->resetRenderTargetSlots();
        d->saveScreenTarget();
        d->setTextureAsRenderTarget(target.getHandle());
        d->beginScene();
        d->clear(3);
        d->setAmbientLight(1, 1, 1, 1);
        for (int i = 0; i < kTexQuads; ++i)
            drawQuad(quads[kLayers * kQuads + i], 9, i, t, 256, 256);
        d->endScene();
        d->restoreScreenTarget();
        d->beginScene();
        d->clear(3);
        for (int l = 0; l < kLayers; ++l)
        {
            d->setAmbientLight(1, 1, 1, 1);
            for (int i = 0; i < kQuads; ++i)
                drawQuad(quads[l * kQuads + i], l, i, t, 640, 480);
        }
        d->endScene();
        glFinish();
        ++iFrame;
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = threadCpu() - c0;
    s_direct = {secs / iFrame, cpu / iFrame};
    s_allDirect.push_back(s_direct);
    state.counters["fps"] = benchmark::Counter(iFrame, benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = cpu / iFrame * 1000.0;
}

// ----- the floor: one hand-written program, the same quads, passes and render target

const char * s_szVS = R"(#version 330 core
layout(location = 0) in vec4 aPos;
layout(location = 2) in vec4 aColor;
layout(location = 3) in vec2 aUV;
uniform vec2 uSize;
out vec4 vColor;
out vec2 vUV;
void main()
{
    gl_Position = vec4((aPos.x + 0.5) / uSize.x * 2.0 - 1.0, 1.0 - (aPos.y + 0.5) / uSize.y * 2.0, aPos.z, 1.0);
    vColor = aColor;
    vUV = aUV;
})";
const char * s_szFS = R"(#version 330 core
in vec4 vColor;
in vec2 vUV;
uniform sampler2D uTex;
out vec4 oColor;
void main()
{
#ifdef TEXTURED
    oColor = texture(uTex, vUV) * vColor;
#else
    oColor = vColor;
#endif
})";

// One program per kind of quad, as the display's generated shaders are: only the textured one
// samples.
GLuint program(bool bTextured)
{
    const auto sh = [](GLenum type, const char * src) {
        GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &src, nullptr);
        glCompileShader(s);
        return s;
    };
    const std::string fsText = std::string("#version 330 core\n") + (bTextured ? "#define TEXTURED\n" : "") +
                               (s_szFS + std::strlen("#version 330 core\n"));
    GLuint p = glCreateProgram(), vs = sh(GL_VERTEX_SHADER, s_szVS), fs = sh(GL_FRAGMENT_SHADER, fsText.c_str());
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glLinkProgram(p);
    glDeleteShader(vs);
    glDeleteShader(fs);
    return p;
}

struct Vtx
{
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

void BM_Floor(benchmark::State & state)
{
    qor_cDispGL * d = disp();
    d->makeCurrent();
    d->bindBackBuffer();
    const GLuint screenFbo = d->getDevice()->getRenderTarget();
    for (int s = 0; s < 4; ++s)
        glBindSampler(s, 0);
    const GLuint progTex = program(true), prog = program(false);
    const GLint locSize = glGetUniformLocation(prog, "uSize"), locSizeTex = glGetUniformLocation(progTex, "uSize");
    GLuint tex, fbo, depth, vao, vbo;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 256, 256, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, 256, 256);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
    glGenVertexArrays(1, &vao);
    glGenBuffers(1, &vbo);
    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 28, (void *)0);
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 28, (void *)16);
    glEnableVertexAttribArray(3);
    glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, 28, (void *)20);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    std::vector<Vtx> v;
    v.reserve((kLayers * kQuads + kTexQuads) * 6);
    const auto build = [&](int iLayer, int i, float t, float W, float H) {
        float x, y, w, h;
        quadAt(iLayer, i, t, &x, &y, &w, &h);
        const float cx = (0.5f + x) * W, cy = (0.5f + y) * H, hw = w * W * 0.5f, hh = h * H * 0.5f;
        const float s = 0.5f - 0.5f * std::cos(t * 2.0f * 3.14159265f / kPeriod);
        const uint32_t c = (uint32_t(200 + 55 * s) << 24) | (uint32_t(255 - 127 * s) << 16) |
                           (uint32_t(255 - 55 * s) << 8) | 255u;
        const Vtx tl{cx - hw, cy - hh, 1, 1, c, 0, 0}, tr{cx + hw, cy - hh, 1, 1, c, 1, 0},
            br{cx + hw, cy + hh, 1, 1, c, 1, 1}, bl{cx - hw, cy + hh, 1, 1, c, 0, 1};
        for (const Vtx & q : {tl, br, tr, br, tl, bl})
            v.push_back(q);
    };
    // Both passes of each quad: blended texture x colour, then additive colour.
    const auto drawAll = [&](int first, int count) {
        for (int q = first; q < first + count; ++q)
        {
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            if (q == 0)
                glUseProgram(progTex);
            glDrawArrays(GL_TRIANGLES, q * 6, 6);
            if (q == 0)
                glUseProgram(prog);
            glBlendFunc(GL_ONE, GL_ONE);
            glDrawArrays(GL_TRIANGLES, q * 6, 6);
        }
    };
    int iFrame = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = threadCpu();
    for (auto _ : state)
    {
        const float t = float(iFrame % int(kPeriod));
        v.clear();
        for (int l = 0; l < kLayers; ++l)
            for (int i = 0; i < kQuads; ++i)
                build(l, i, t, 640, 480);
        for (int i = 0; i < kTexQuads; ++i)
            build(9, i, t, 256, 256);
        glBufferData(GL_ARRAY_BUFFER, v.size() * sizeof(Vtx), nullptr, GL_STREAM_DRAW);
        glBufferSubData(GL_ARRAY_BUFFER, 0, v.size() * sizeof(Vtx), v.data());
        // The texture layer.
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glViewport(0, 0, 256, 256);
        glUseProgram(progTex);
        glUniform2f(locSizeTex, 256, 256);
        glUseProgram(prog);
        glUniform2f(locSize, 256, 256);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawAll(kLayers * kQuads, kTexQuads);
        // The screen.
        glBindFramebuffer(GL_FRAMEBUFFER, screenFbo);
        glViewport(0, 0, 640, 480);
        glUseProgram(progTex);
        glUniform2f(locSizeTex, 640, 480);
        glUseProgram(prog);
        glUniform2f(locSize, 640, 480);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, tex);
        drawAll(0, kLayers * kQuads);
        glFinish();
        ++iFrame;
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = threadCpu() - c0;
    s_floor = {secs / iFrame, cpu / iFrame};
    s_allFloor.push_back(s_floor);
    state.counters["fps"] = benchmark::Counter(iFrame, benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = cpu / iFrame * 1000.0;
    glDeleteVertexArrays(1, &vao);
    glDeleteBuffers(1, &vbo);
    glDeleteFramebuffers(1, &fbo);
    glDeleteRenderbuffers(1, &depth);
    glDeleteTextures(1, &tex);
    glDeleteProgram(prog);
    glDeleteProgram(progTex);
    d->getDevice()->invalidateGLState();
}
} // namespace

BENCHMARK(BM_LayerScreen)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_Display)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

int main(int argc, char ** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    disp();
    benchmark::RunSpecifiedBenchmarks();
    const Result l = medianOf(s_allLayers), d = medianOf(s_allDirect), f = medianOf(s_allFloor);
    std::printf("medians per frame (wall, CPU ms): layer screen %.2f, %.3f; display %.2f, %.3f; floor %.2f, %.3f\n",
                l.secondsPerFrame * 1e3, l.cpuPerFrame * 1e3, d.secondsPerFrame * 1e3, d.cpuPerFrame * 1e3,
                f.secondsPerFrame * 1e3, f.cpuPerFrame * 1e3);
    if (l.secondsPerFrame > 0 && d.secondsPerFrame > 0)
        std::printf("layer screen / display: %.3f wall, %.3f CPU per frame\n", l.secondsPerFrame / d.secondsPerFrame,
                    l.cpuPerFrame / d.cpuPerFrame);
    if (d.secondsPerFrame > 0 && f.secondsPerFrame > 0)
        std::printf("display / floor: %.3f wall, %.3f CPU per frame\n", d.secondsPerFrame / f.secondsPerFrame,
                    d.cpuPerFrame / f.cpuPerFrame);
    benchmark::Shutdown();
    s_pDisp.reset();
    std::filesystem::remove_all(s_dir);
    return 0;
}
