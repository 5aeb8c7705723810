// The demo player's start-up and capture.
//
// Start-up, on a show of 16 small compiled scripts (the loading screen and the fifteen screens of
// the table, each one layer with one flat quad) and 10 s of MP3 music, from a cold SDL: init() and the loading frame
// presented; init() to the first show frame presented (screens built, warm-up, music clock).
// The floor: SDL video, a window, an OpenGL 3.3 core context, and a first frame with the same
// content as the loading frame (cleared, one full-screen flat quad through a hand-written
// shader pair) presented. llvmpipe compiles a shader's machine code at its first draw, so a
// floor without a draw would leave that cost to the engine alone. Arg 1 adds a present through
// a framebuffer object: the frame drawn into it, blitted upside down to the window (llvmpipe
// makes a blit's shaders anew in every process). Arg 2 presents as the display does: the frame
// drawn into a texture, drawn upside down to the window through a second hand-written program.
//
// Capture: 300 frames of a 640 x 480 screen at --fps 60, to PNG files and to an H.264 video
// through ffmpeg; frames per second and the multiple of real time (60 frames a second) are
// printed after the runs. Times are wall clock (manual), teardown excluded.
#include "qor_cFont.h"
#include "qor_cLayerViewer.h"
#include "qor_cPlayerOptions.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

std::string s_dir;

bool run(const std::string & cmd)
{
    return std::system(cmd.c_str()) == 0;
}

// The show folder: compiled with the qor-sc beside this program.
bool makeShow()
{
    char acExe[4096];
    const ssize_t n = readlink("/proc/self/exe", acExe, sizeof acExe - 1);
    if (n <= 0)
        return false;
    acExe[n] = 0;
    std::string bin(acExe);
    bin = bin.substr(0, bin.rfind('/'));
    const char * szSource = std::getenv("QOR_SOURCE_DIR");
    const std::string inc = std::string(szSource ? szSource : bin + "/../..") + "/scripts/include";
    char acTmp[] = "/tmp/qor_bench_show_XXXXXX";
    if (!mkdtemp(acTmp))
        return false;
    s_dir = acTmp;
    run("mkdir -p " + s_dir + "/scripts/exe " + s_dir + "/src");
    FILE * p = std::fopen((s_dir + "/application.ini").c_str(), "w");
    if (!p)
        return false;
    std::fputs("[APPLICATION]\nID=1\nUSER=0\n", p);
    std::fclose(p);
    const char * aszScreen[] = {"kv_screen_loading.o", "kv_screen_intro.o", "kv_screen_dask.o", "kv_screen_inter1.o",
                                "kv_screen_black.o", "kv_screen_chapter5.o", "kv_screen_inter2.o",
                                "kv_screen_chapter7.o", "kv_screen_inter3.o", "kv_screen_chapter6.o",
                                "kv_screen_inter4.o", "kv_screen_chapter4.o", "kv_screen_endscroll.o",
                                "kv_screen_theend.o"};
    int i = 0;
    for (const char * szScreen : aszScreen)
    {
        const std::string layer = "layer_" + std::to_string(i);
        char acLayer[1024];
        std::snprintf(acLayer, sizeof acLayer,
                      "#include <qor>\nmain()\n{\n setVP(0, 0, ONE, ONE);\n addQuad();\n addMaterial(\"flat\");\n"
                      " setMatDiff(%d, %d, 90, 255);\n addPass();\n addStage();\n"
                      " setCombiner(TEXARG_DIFFUSE, TEXOP_SELECTARG1, TEXARG_DIFFUSE);\n"
                      " setPos(0, 0);\n setScale(ONE, ONE);\n}\n",
                      20 + 15 * i, 200 - 10 * i);
        FILE * pL = std::fopen((s_dir + "/src/" + layer + ".sc").c_str(), "w");
        FILE * pS = std::fopen((s_dir + "/src/s" + std::to_string(i) + ".sc").c_str(), "w");
        if (!pL || !pS)
            return false;
        std::fputs(acLayer, pL);
        std::fprintf(pS, "#include <qor>\nmain()\n{\n addLayer(\"%s.o\");\n}\n", layer.c_str());
        std::fclose(pL);
        std::fclose(pS);
        const std::string sc = bin + "/qor-sc -I " + inc + " ";
        if (!run(sc + s_dir + "/src/" + layer + ".sc -o " + s_dir + "/scripts/exe/" + layer + ".o") ||
            !run(sc + s_dir + "/src/s" + std::to_string(i) + ".sc -o " + s_dir + "/scripts/exe/" + szScreen))
            return false;
        ++i;
    }
    // Ten seconds of music, so that start-up opens and scans an MP3 and an audio device.
    return run("ffmpeg -v error -f lavfi -i sine=f=440:d=10:sample_rate=44100 -ac 2 -c:a libmp3lame -b:a 128k " +
               s_dir + "/DASKMIX.mp3");
}

// Ends the timing at the end of the first pass (after its present).
class TimedViewer : public qor_cLayerViewer
{
public:
    Clock::time_point tFirstFrame;
    Clock::time_point tLastFrame;

protected:
    void updateKeyboard() override
    {
        if (getPassCount() == 1)
            tFirstFrame = Clock::now();
        tLastFrame = Clock::now();
        qor_cLayerViewer::updateKeyboard();
    }
};

// A program compiled and linked here from a shader pair.
GLuint makeProgram(const char * szVS, const char * szFS)
{
    const GLuint vs = glCreateShader(GL_VERTEX_SHADER), fs = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(vs, 1, &szVS, nullptr);
    glShaderSource(fs, 1, &szFS, nullptr);
    glCompileShader(vs);
    glCompileShader(fs);
    const GLuint prog = glCreateProgram();
    glAttachShader(prog, vs);
    glAttachShader(prog, fs);
    glLinkProgram(prog);
    return prog;
}

// One full-screen quad in a flat colour, from a program compiled here.
void drawFlatQuad()
{
    static const char * szVS = "#version 330 core\nlayout(location = 0) in vec2 p;\n"
                               "void main() { gl_Position = vec4(p, 0.0, 1.0); }\n";
    static const char * szFS = "#version 330 core\nuniform vec4 c;\nout vec4 o;\nvoid main() { o = c; }\n";
    const GLuint prog = makeProgram(szVS, szFS);
    const float afQuad[] = {-1, -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, 1};
    GLuint vao = 0, vbo = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof afQuad, afQuad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    glUseProgram(prog);
    glUniform4f(glGetUniformLocation(prog, "c"), 0.8f, 0.2f, 0.1f, 1.0f);
    glDrawArrays(GL_TRIANGLES, 0, 6);
}

// Arg 2's present: the texture drawn over the window, its row 0 at the top.
void drawTextureToWindow(GLuint tex)
{
    static const char * szVS =
        "#version 330 core\nout vec2 uv;\n"
        "void main() { vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);\n"
        " uv = vec2(p.x + 1.0, 1.0 - p.y) * 0.5; gl_Position = vec4(p, 0.0, 1.0); }\n";
    static const char * szFS = "#version 330 core\nuniform sampler2D t;\nin vec2 uv;\nout vec4 o;\n"
                               "void main() { o = texture(t, uv); }\n";
    glUseProgram(makeProgram(szVS, szFS));
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glDrawArrays(GL_TRIANGLES, 0, 3);
}

void BM_ContextAndFirstFrameFloor(benchmark::State & state)
{
    for (auto _ : state)
    {
        const Clock::time_point t0 = Clock::now();
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_Window * pWindow = SDL_CreateWindow("floor", 0, 0, 640, 480, SDL_WINDOW_OPENGL);
        SDL_GLContext ctx = pWindow ? SDL_GL_CreateContext(pWindow) : nullptr;
        if (!ctx)
        {
            state.SkipWithError("no GL context");
            break;
        }
        // Arg 1: the frame drawn into a 640 x 480 framebuffer object and blitted upside down to
        // the window, as the display presents its back buffer.
        GLuint fbo = 0, rb = 0, tex = 0;
        if (state.range(0) == 1)
        {
            glGenRenderbuffers(1, &rb);
            glBindRenderbuffer(GL_RENDERBUFFER, rb);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, 640, 480);
            glGenFramebuffers(1, &fbo);
            glBindFramebuffer(GL_FRAMEBUFFER, fbo);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb);
        }
        else if (state.range(0) == 2)
        {
            glGenTextures(1, &tex);
            glBindTexture(GL_TEXTURE_2D, tex);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 640, 480, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
            glGenFramebuffers(1, &fbo);
            glBindFramebuffer(GL_FRAMEBUFFER, fbo);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
        }
        glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawFlatQuad();
        if (tex)
        {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            drawTextureToWindow(tex);
        }
        else if (fbo)
        {
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
            glBlitFramebuffer(0, 0, 640, 480, 0, 480, 640, 0, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        }
        SDL_GL_SwapWindow(pWindow);
        glFinish();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        SDL_GL_DeleteContext(ctx);
        SDL_DestroyWindow(pWindow);
        SDL_Quit();
    }
}

void BM_StartupToLoadingFrame(benchmark::State & state)
{
    if (chdir(s_dir.c_str()) != 0)
    {
        state.SkipWithError("no show folder");
        return;
    }
    for (auto _ : state)
    {
        const Clock::time_point t0 = Clock::now();
        double dSeconds = 0.0;
        {
            qor_cLayerViewer viewer;
            if (!viewer.init())
            {
                state.SkipWithError("init failed");
                break;
            }
            qor_cFont * pFont = viewer.showLoadingFrame();
            glFinish();
            dSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
            delete pFont;
            viewer.release();
        }
        SDL_Quit();
        state.SetIterationTime(dSeconds);
    }
}

void BM_StartupToFirstShowFrame(benchmark::State & state)
{
    if (chdir(s_dir.c_str()) != 0)
    {
        state.SkipWithError("no show folder");
        return;
    }
    qor_cPlayerOptions::reset();
    for (auto _ : state)
    {
        qor_cApplication::setFrameLimit(1);
        const Clock::time_point t0 = Clock::now();
        double dSeconds = 0.0;
        {
            TimedViewer viewer;
            if (!viewer.init())
            {
                state.SkipWithError("init failed");
                break;
            }
            viewer.run();
            dSeconds = std::chrono::duration<double>(viewer.tFirstFrame - t0).count();
            viewer.release();
        }
        SDL_Quit();
        state.SetIterationTime(dSeconds);
    }
    qor_cApplication::setFrameLimit(0);
}

// Arg 0: PNG frames, 1: H.264 video.
void BM_Capture(benchmark::State & state)
{
    if (chdir(s_dir.c_str()) != 0)
    {
        state.SkipWithError("no show folder");
        return;
    }
    const int nFrames = 300;
    const bool bVideo = state.range(0) == 1;
    for (auto _ : state)
    {
        qor_cPlayerOptions::reset();
        qor_cPlayerOptions::get().strCapture = bVideo ? "capture.mp4" : "frames/f_%05d.png";
        qor_cPlayerOptions::get().bQuiet = true;
        run("mkdir -p frames");
        qor_cApplication::setFrameLimit(nFrames);
        double dSeconds = 0.0;
        {
            TimedViewer viewer;
            if (!viewer.init())
            {
                state.SkipWithError("init failed");
                break;
            }
            viewer.run(); // the capture ends (ffmpeg finishes) inside run
            const Clock::time_point tEnd = Clock::now();
            const Clock::time_point t0 = viewer.tFirstFrame;
            // From the end of the first frame to the finished file: nFrames - 1 frames.
            dSeconds = std::chrono::duration<double>(tEnd - t0).count() * nFrames / (nFrames - 1);
            viewer.release();
            if (qor_cPlayerOptions::getExitStatus() != 0)
            {
                state.SkipWithError("capture failed");
                break;
            }
        }
        SDL_Quit();
        state.SetIterationTime(dSeconds);
    }
    state.counters["fps"] = benchmark::Counter(nFrames, benchmark::Counter::kIsIterationInvariantRate);
    qor_cPlayerOptions::reset();
    qor_cApplication::setFrameLimit(0);
}
} // namespace

BENCHMARK(BM_ContextAndFirstFrameFloor)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);
BENCHMARK(BM_StartupToLoadingFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_StartupToFirstShowFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_Capture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

int main(int argc, char ** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("QOR_NO_DIALOGS", "1", 0);
    if (!makeShow())
    {
        std::fprintf(stderr, "bench_player: the test show could not be made\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    run("rm -rf " + s_dir);
    return 0;
}
