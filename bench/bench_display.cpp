// One frame of a typical layer, drawn by the display device and by a plain OpenGL program with
// hand-written shaders (the floor), on the same context at 640 x 480. The engine's frame sets the
// stages as materials do, every stage on every use:
//  - a 5000-triangle lit, textured mesh with a two-stage material (texture x diffuse, then
//    modulate 2x with a detail texture; one point light with attenuation, specular on);
//  - 8 blended pre-transformed quads, rebuilt every frame (as layer quads are);
//  - a line of 30 textured character quads, rebuilt every frame (a text line).
// Each frame ends with glFinish, so the time includes llvmpipe's rasterisation.
//
// Prints frames per second and CPU time per frame of both, the engine / floor ratio, and the
// shader cache's hits, compiles and loads from the on-disk program store over the engine's run
// (a second run with the same XDG_CACHE_HOME compiles nothing).
#include "qor_cDispGL.h"
#include "qor_cLight.h"
#include "qor_cTriList.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

namespace
{
const int kGrid = 50; // 50 x 50 cells, 2 triangles each: 5000 triangles
const float kPi = 3.14159265f;

struct MeshVertex
{
    float x, y, z, nx, ny, nz, u, v;
};

std::vector<MeshVertex> buildSphere()
{
    std::vector<MeshVertex> out;
    const auto at = [](int i, int j) {
        const float th = kPi * j / kGrid, ph = 2 * kPi * i / kGrid;
        const float nx = std::sin(th) * std::cos(ph), ny = std::cos(th), nz = std::sin(th) * std::sin(ph);
        return MeshVertex{nx, ny, nz, nx, ny, nz, float(i) / kGrid * 4, float(j) / kGrid * 2};
    };
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i)
        {
            const MeshVertex a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            for (const MeshVertex & v : {a, d, c, a, c, b})
                out.push_back(v);
        }
    return out;
}

struct QuadVertex
{
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};

// The 8 layer quads and the 30 characters of the frame (pre-transformed, in pixels).
void frameQuads(int iFrame, std::vector<QuadVertex> & quads, std::vector<QuadVertex> & text)
{
    quads.clear();
    text.clear();
    const auto rect = [](std::vector<QuadVertex> & o, float x0, float y0, float x1, float y1, uint32_t c, float u0,
                         float v0, float u1, float v1) {
        const QuadVertex tl{x0, y0, 0.0f, 1.0f, c, u0, v0}, tr{x1, y0, 0.0f, 1.0f, c, u1, v0},
            br{x1, y1, 0.0f, 1.0f, c, u1, v1}, bl{x0, y1, 0.0f, 1.0f, c, u0, v1};
        for (const QuadVertex & v : {tl, br, tr, br, tl, bl})
            o.push_back(v);
    };
    for (int q = 0; q < 8; ++q)
    {
        const float x = 20.0f + 75.0f * q + 10.0f * std::sin(iFrame * 0.05f + q), y = 40.0f + 40.0f * (q % 3);
        rect(quads, x, y, x + 180, y + 140, 0x80FFFFFFu - (q << 4), 0, 0, 1, 1);
    }
    for (int c = 0; c < 30; ++c)
    {
        const float x = 40.0f + 18.0f * c, y = 420.0f;
        const float u = (c % 16) / 16.0f, v = ((c / 16) % 16) / 16.0f;
        rect(text, x, y, x + 16, y + 24, 0xFFFFFFFFu, u, v, u + 1.0f / 16, v + 1.0f / 16);
    }
}

void fillTexture(qor_cDisp * d, qor_hTexture h, int w, int seed)
{
    d->lockTexture(h, nullptr);
    for (int y = 0; y < w; ++y)
        for (int x = 0; x < w; ++x)
            d->setPixel(x, y, uchar(x * 7 + seed), uchar(y * 5 + seed), uchar((x ^ y) * 3), uchar(128 + ((x + y) & 127)));
    d->unlockTexture(h);
}

// What a material's stage sets on each use (qor_cEffectStage::use): texture, coordinate
// source, transform flags, colour and alpha combiners, transform flags again.
void useStage(qor_cDisp * d, uint stage, qor_hTexture t, qor_eTexArg a1, qor_eTexOp op, qor_eTexArg a2,
              qor_eTexOp opAlpha)
{
    d->setTexture(stage, t);
    d->setTexCoordGen(stage, 5);
    d->setTexTransformFlags(stage, 0);
    d->setTexMode(stage, a1, op, a2);
    d->setTexModeAlpha(stage, a1, opAlpha, a2);
    d->setTexTransformFlags(stage, 0);
}

std::unique_ptr<qor_cDispGL> s_pDisp;
std::vector<MeshVertex> s_mesh;

qor_cDispGL * disp()
{
    if (!s_pDisp)
    {
        s_pDisp.reset(new qor_cDispGL);
        if (!s_pDisp->init(640, 480, 32, false))
        {
            std::fprintf(stderr, "bench_display: no GL context\n");
            std::exit(1);
        }
        s_mesh = buildSphere();
    }
    return s_pDisp.get();
}

qor_cMatrix worldAt(int iFrame)
{
    qor_cMatrix w;
    w.setRotationY(iFrame * 0.01f);
    w._41 = 0;
    w._42 = 0;
    w._43 = 3.0f;
    return w;
}

qor_cMatrix projection()
{
    qor_cMatrix p;
    p.setPerspective(640, 480, kPi / 3, 0.5f, 100.0f);
    return p;
}

struct Result
{
    double secondsPerFrame = 0, cpuPerFrame = 0;
};
Result s_engine, s_floor;
qor_sDispStats s_stats = {};

double threadCpu()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// ----- the engine

void BM_Engine(benchmark::State & state)
{
    qor_cDispGL * d = disp();
    d->makeCurrent();
    d->getDevice()->invalidateGLState();
    d->bindBackBuffer();
    d->initRenderStates();
    d->setVPPhysical(0, 0, 640, 480, 0, 1);
    qor_cMatrix id, proj = projection();
    d->setMatrix(qorrs_ts_view, &id);
    d->setMatrix(qorrs_ts_projection, &proj);
    const qor_hTexture tA = d->createTexture(256, 256, 8), tB = d->createTexture(256, 256, 8);
    const qor_hTexture tC = d->createTexture(256, 256, 8), tFont = d->createTexture(256, 256, 8);
    fillTexture(d, tA, 256, 0);
    fillTexture(d, tB, 256, 60);
    fillTexture(d, tC, 256, 120);
    fillTexture(d, tFont, 256, 180);
    qor_cLight light;
    light.setPosition(1.5f, 1.5f, 0.5f);
    light.m_fAttenuation0 = 0.5f;
    light.m_fAttenuation1 = 0.2f;
    light.setRange(50);
    d->clearLights();
    d->addLight(&light);
    qor_sD3DMaterial mat = {};
    mat.diffuse.set(1.0f, 0.9f, 0.8f, 1.0f);
    mat.ambient.set(0.2f, 0.2f, 0.2f, 1.0f);
    mat.specular.set(0.5f, 0.5f, 0.5f, 1.0f);
    mat.power = 20;

    std::unique_ptr<qor_cTriList> mesh(qor_cTriList::create());
    mesh->startAdd(uint(s_mesh.size() / 3), 1);
    for (const MeshVertex & v : s_mesh)
    {
        mesh->setPosition(v.x, v.y, v.z);
        mesh->setNormal(v.nx, v.ny, v.nz);
        mesh->setUV(v.u, v.v);
        mesh->next();
    }
    mesh->endAdd();
    std::vector<std::unique_ptr<qor_cTriList>> quads;
    for (int q = 0; q < 8; ++q)
        quads.emplace_back(qor_cTriList::create());
    std::unique_ptr<qor_cTriList> text(qor_cTriList::create());
    std::vector<QuadVertex> qv, tv;
    qv.reserve(48);
    tv.reserve(180);
    const auto fill = [](qor_cTriList * p, const QuadVertex * v, int n) {
        p->startAdd(n / 3, 0);
        for (int i = 0; i < n; ++i)
        {
            p->setPositionRHW(v[i].x, v[i].y, v[i].z, v[i].rhw);
            p->setColor(uchar(v[i].color >> 16), uchar(v[i].color >> 8), uchar(v[i].color), uchar(v[i].color >> 24));
            p->setUV(v[i].u, v[i].v);
            p->next();
        }
        p->endAdd();
    };

    int iFrame = 0;
    qor_sDispStats before;
    d->getStats(&before);
    const uint64_t nKeyBefore = d->getDevice()->getStats().nStateKey;
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = threadCpu();
    for (auto _ : state)
    {
        d->beginScene();
        d->clear(3);
        // The mesh: lit, two stages.
        qor_cMatrix w = worldAt(iFrame);
        d->setMatrix(qorrs_ts_world, &w);
        d->enableLighting(true);
        d->setMaterial(&mat, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material, qorrs_matsrc_material);
        d->setBlendMode(1, 0);
        d->enableZWrite(true);
        useStage(d, 0, tA, qorrs_texarg_texture, qorrs_texop_modulate, qorrs_texarg_diffuse, qorrs_texop_selectarg1);
        useStage(d, 1, tB, qorrs_texarg_current, qorrs_texop_modulate2x, qorrs_texarg_texture, qorrs_texop_selectarg1);
        useStage(d, 2, QOR_NULL_TEXTURE, qorrs_texarg_texture, qorrs_texop_disable, qorrs_texarg_current,
                 qorrs_texop_disable);
        mesh->draw();
        // Layer quads: blended, one texture.
        frameQuads(iFrame, qv, tv);
        d->enableLighting(false);
        d->setBlendMode(4, 5);
        d->enableZWrite(false);
        for (int q = 0; q < 8; ++q)
        {
            // Each quad uses its material: every stage of its pass is set again.
            useStage(d, 0, tC, qorrs_texarg_texture, qorrs_texop_modulate, qorrs_texarg_diffuse, qorrs_texop_modulate);
            useStage(d, 1, QOR_NULL_TEXTURE, qorrs_texarg_texture, qorrs_texop_disable, qorrs_texarg_current,
                     qorrs_texop_disable);
            fill(quads[q].get(), &qv[q * 6], 6);
            quads[q]->draw();
        }
        // The text line.
        useStage(d, 0, tFont, qorrs_texarg_texture, qorrs_texop_modulate, qorrs_texarg_diffuse, qorrs_texop_modulate);
        fill(text.get(), tv.data(), int(tv.size()));
        text->draw();
        d->endScene();
        glFinish();
        ++iFrame;
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = threadCpu() - c0;
    qor_sDispStats after;
    d->getStats(&after);
    s_stats.nDraw += after.nDraw - before.nDraw;
    s_stats.nShaderHit += after.nShaderHit - before.nShaderHit;
    s_stats.nShaderCompile += after.nShaderCompile - before.nShaderCompile;
    s_stats.nShaderLoad += after.nShaderLoad - before.nShaderLoad;
    s_stats.nProgram = after.nProgram;
    s_engine = {secs / iFrame, cpu / iFrame};
    state.counters["fps"] = benchmark::Counter(iFrame, benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = cpu / iFrame * 1000.0;
    state.counters["shader_hits"] = double(after.nShaderHit - before.nShaderHit);
    state.counters["shader_compiles"] = double(after.nShaderCompile - before.nShaderCompile);
    // State keys rebuilt per frame: only where a state really changed (mesh, quads, text).
    state.counters["keys_per_frame"] = double(d->getDevice()->getStats().nStateKey - nKeyBefore) / iFrame;
    d->clearLights();
    for (qor_hTexture h : {tA, tB, tC, tFont})
        d->releaseTexture(h);
}

// ----- the floor: the same frame in plain OpenGL with hand-written shaders

const char * const s_szMeshVS = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 3) in vec2 aUV;
uniform mat4 uWV;
uniform mat4 uWVP;
uniform mat3 uN;
uniform vec4 uLightPos;
uniform vec4 uMat[5];
out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vUV;
void main()
{
    vec3 P = (vec4(aPos, 1.0) * uWV).xyz;
    vec3 N = normalize(aNormal * uN);
    gl_Position = vec4(aPos, 1.0) * uWVP;
    gl_Position.y = -gl_Position.y;
    vec3 D = uLightPos.xyz - P;
    float d = length(D);
    vec3 L = D / d;
    float att = 1.0 / (0.5 + 0.2 * d);
    float nl = max(dot(N, L), 0.0);
    float nh = dot(N, normalize(L - normalize(P)));
    float sp = (nl > 0.0 && nh > 0.0) ? pow(nh, uMat[4].x) * att : 0.0;
    vDiffuse = vec4(clamp(uMat[1].rgb * 0.2 + uMat[0].rgb * nl * att, 0.0, 1.0), uMat[0].a);
    vSpecular = vec4(clamp(uMat[2].rgb * sp, 0.0, 1.0), 0.0);
    vUV = aUV;
}
)";
const char * const s_szMeshFS = R"(#version 330 core
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vUV;
uniform sampler2D uTex0;
uniform sampler2D uTex1;
out vec4 oColor;
void main()
{
    vec4 c = texture(uTex0, vUV) * vDiffuse;
    c.rgb = clamp(c.rgb * texture(uTex1, vUV).rgb * 2.0, 0.0, 1.0);
    oColor = vec4(clamp(c.rgb + vSpecular.rgb, 0.0, 1.0), c.a);
}
)";
const char * const s_szQuadVS = R"(#version 330 core
layout(location = 0) in vec4 aPos;
layout(location = 2) in vec4 aColor;
layout(location = 3) in vec2 aUV;
out vec4 vColor;
out vec2 vUV;
void main()
{
    float w = 1.0 / aPos.w;
    gl_Position = vec4(((aPos.x + 0.5) / 640.0 * 2.0 - 1.0) * w, ((aPos.y + 0.5) / 480.0 * 2.0 - 1.0) * w, aPos.z * w, w);
    vColor = aColor;
    vUV = aUV;
}
)";
const char * const s_szQuadFS = R"(#version 330 core
in vec4 vColor;
in vec2 vUV;
uniform sampler2D uTex0;
out vec4 oColor;
void main() { oColor = texture(uTex0, vUV) * vColor; }
)";

GLuint program(const char * vs, const char * fs)
{
    const auto sh = [](GLenum e, const char * src) {
        GLuint s = glCreateShader(e);
        glShaderSource(s, 1, &src, nullptr);
        glCompileShader(s);
        GLint ok = 0;
        glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok)
        {
            char log[1024];
            glGetShaderInfoLog(s, sizeof(log), nullptr, log);
            std::fprintf(stderr, "floor shader: %s\n", log);
        }
        return s;
    };
    GLuint p = glCreateProgram();
    glAttachShader(p, sh(GL_VERTEX_SHADER, vs));
    glAttachShader(p, sh(GL_FRAGMENT_SHADER, fs));
    glLinkProgram(p);
    return p;
}

GLuint texture(int w, int seed)
{
    std::vector<uint32_t> px(size_t(w) * w);
    for (int y = 0; y < w; ++y)
        for (int x = 0; x < w; ++x)
            px[size_t(y) * w + x] = (uint32_t(128 + ((x + y) & 127)) << 24) | (uint32_t(uchar(x * 7 + seed)) << 16) |
                                    (uint32_t(uchar(y * 5 + seed)) << 8) | uchar((x ^ y) * 3);
    GLuint t;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, w, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, px.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    return t;
}

void BM_Floor(benchmark::State & state)
{
    qor_cDispGL * d = disp();
    d->makeCurrent();
    d->bindBackBuffer();
    glBindFramebuffer(GL_FRAMEBUFFER, d->getDevice()->getRenderTarget());
    for (int s = 0; s < 4; ++s)
        glBindSampler(s, 0);
    const GLuint meshProg = program(s_szMeshVS, s_szMeshFS), quadProg = program(s_szQuadVS, s_szQuadFS);
    const GLuint tA = texture(256, 0), tB = texture(256, 60), tC = texture(256, 120), tFont = texture(256, 180);
    GLuint vao[3], vbo[3];
    glGenVertexArrays(3, vao);
    glGenBuffers(3, vbo);
    glBindVertexArray(vao[0]);
    glBindBuffer(GL_ARRAY_BUFFER, vbo[0]);
    glBufferData(GL_ARRAY_BUFFER, s_mesh.size() * sizeof(MeshVertex), s_mesh.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 32, (void *)0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 32, (void *)12);
    glEnableVertexAttribArray(3);
    glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, 32, (void *)24);
    for (int i = 1; i < 3; ++i)
    {
        glBindVertexArray(vao[i]);
        glBindBuffer(GL_ARRAY_BUFFER, vbo[i]);
        glBufferData(GL_ARRAY_BUFFER, (i == 1 ? 48 : 180) * sizeof(QuadVertex), nullptr, GL_DYNAMIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 28, (void *)0);
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 28, (void *)16);
        glEnableVertexAttribArray(3);
        glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, 28, (void *)20);
    }
    glUseProgram(meshProg);
    glUniform1i(glGetUniformLocation(meshProg, "uTex0"), 0);
    glUniform1i(glGetUniformLocation(meshProg, "uTex1"), 1);
    const float aMat[20] = {1.0f, 0.9f, 0.8f, 1.0f, 0.2f, 0.2f, 0.2f, 1.0f, 0.5f, 0.5f, 0.5f, 1.0f, 0, 0, 0, 0, 20, 0, 0, 0};
    glUniform4fv(glGetUniformLocation(meshProg, "uMat"), 5, aMat);
    glUniform4f(glGetUniformLocation(meshProg, "uLightPos"), 1.5f, 1.5f, 0.5f, 50.0f);
    const GLint locWV = glGetUniformLocation(meshProg, "uWV"), locWVP = glGetUniformLocation(meshProg, "uWVP"),
                locN = glGetUniformLocation(meshProg, "uN");
    glUseProgram(quadProg);
    glUniform1i(glGetUniformLocation(quadProg, "uTex0"), 0);
    glViewport(0, 0, 640, 480);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    const qor_cMatrix proj = projection();
    std::vector<QuadVertex> qv, tv;
    qv.reserve(48);
    tv.reserve(180);
    int iFrame = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = threadCpu();
    for (auto _ : state)
    {
        glClearColor(25 / 255.0f, 51 / 255.0f, 102 / 255.0f, 1.0f);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // Mesh
        const qor_cMatrix w = worldAt(iFrame);
        const qor_cMatrix wvp = w * proj;
        const float n3[9] = {w._11, w._12, w._13, w._21, w._22, w._23, w._31, w._32, w._33}; // rotation
        glUseProgram(meshProg);
        glUniformMatrix4fv(locWV, 1, GL_TRUE, w.data());
        glUniformMatrix4fv(locWVP, 1, GL_TRUE, wvp.data());
        glUniformMatrix3fv(locN, 1, GL_TRUE, n3);
        glDisable(GL_BLEND);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, tA);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, tB);
        glBindVertexArray(vao[0]);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(s_mesh.size()));
        // Quads
        frameQuads(iFrame, qv, tv);
        glUseProgram(quadProg);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, tC);
        glBindVertexArray(vao[1]);
        glBindBuffer(GL_ARRAY_BUFFER, vbo[1]);
        // The best a hand-written program does: one upload for the 8 quads, 8 draws.
        glBufferData(GL_ARRAY_BUFFER, qv.size() * sizeof(QuadVertex), nullptr, GL_DYNAMIC_DRAW);
        glBufferSubData(GL_ARRAY_BUFFER, 0, qv.size() * sizeof(QuadVertex), qv.data());
        for (int q = 0; q < 8; ++q)
            glDrawArrays(GL_TRIANGLES, q * 6, 6);
        // Text
        glBindTexture(GL_TEXTURE_2D, tFont);
        glBindVertexArray(vao[2]);
        glBindBuffer(GL_ARRAY_BUFFER, vbo[2]);
        glBufferData(GL_ARRAY_BUFFER, tv.size() * sizeof(QuadVertex), nullptr, GL_DYNAMIC_DRAW);
        glBufferSubData(GL_ARRAY_BUFFER, 0, tv.size() * sizeof(QuadVertex), tv.data());
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(tv.size()));
        glFinish();
        ++iFrame;
    }
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = threadCpu() - c0;
    s_floor = {secs / iFrame, cpu / iFrame};
    state.counters["fps"] = benchmark::Counter(iFrame, benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = cpu / iFrame * 1000.0;
    glDeleteVertexArrays(3, vao);
    glDeleteBuffers(3, vbo);
    const GLuint at[4] = {tA, tB, tC, tFont};
    glDeleteTextures(4, at);
    glDeleteProgram(meshProg);
    glDeleteProgram(quadProg);
    d->getDevice()->invalidateGLState();
}
} // namespace

BENCHMARK(BM_Engine)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

int main(int argc, char ** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    disp();
    benchmark::RunSpecifiedBenchmarks();
    if (s_engine.secondsPerFrame > 0 && s_floor.secondsPerFrame > 0)
    {
        std::printf("\nengine: %.1f fps, %.3f ms CPU per frame (main thread)\n", 1.0 / s_engine.secondsPerFrame,
                    s_engine.cpuPerFrame * 1000.0);
        std::printf("floor:  %.1f fps, %.3f ms CPU per frame (main thread)\n", 1.0 / s_floor.secondsPerFrame,
                    s_floor.cpuPerFrame * 1000.0);
        std::printf("engine / floor: %.3f (frame time), %.3f (CPU)\n", s_engine.secondsPerFrame / s_floor.secondsPerFrame,
                    s_engine.cpuPerFrame / s_floor.cpuPerFrame);
        std::printf("shader cache over the engine's run: %llu draws, %llu hits, %llu compiles, %llu loaded from "
                    "disk, %llu programs\n",
                    (unsigned long long)s_stats.nDraw, (unsigned long long)s_stats.nShaderHit,
                    (unsigned long long)s_stats.nShaderCompile, (unsigned long long)s_stats.nShaderLoad,
                    (unsigned long long)s_stats.nProgram);
        std::printf("programs compiled since the device was made: %u (program store: %s)\n",
                    s_pDisp->getShaderCompileCount(), s_pDisp->getDevice()->getShaderCache().getStore().getDir().c_str());
    }
    s_pDisp.reset();
    benchmark::Shutdown();
    return 0;
}
