// qor-scene render and play on a scene written with the writers; the PNG read back with libpng.
// The viewer's camera (eye (0, 50, 0) towards (0, 50, -100), 45 degrees) puts the red quad
// x -10 .. 10, y 40 .. 60, z -100 at pixels x 262 .. 378, y 182 .. 298.
#include <gtest/gtest.h>

#include "qor_cS3dWriter.h"
#include "qor_testScene.h"
#include "qor_testUtil.h"

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{
std::string tool() { return qort::binDir() + "/qor-scene"; }

struct Picture
{
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    std::vector<int> at(int x, int y) const
    {
        const unsigned char * p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
        return {p[0], p[1], p[2]};
    }
};

bool readPng(const std::string & path, Picture * pOut)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    const bool bRgb8 = image.format == PNG_FORMAT_RGB;
    image.format = PNG_FORMAT_RGB;
    pOut->w = int(image.width);
    pOut->h = int(image.height);
    pOut->rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, pOut->rgb.data(), 0, nullptr) && bRgb8;
}

class SceneRenderTool : public ::testing::Test
{
protected:
    void writeScene(bool bFog, float fMoveTo)
    {
        qor_cS3dWriter w;
        qort::addRedQuad(w);
        if (bFog)
            w.addFogInfos(true, {0.5f, 0.25f, 1.0f, 1});
        ASSERT_TRUE(w.save(m_dir.file("s.s3d").c_str()));
        // The quad moves in x from 0 to fMoveTo over key times 0 .. 10 (rate 1).
        qor_cMotWriter mot;
        mot.addCommonInfos(0, 0, 1);
        qor_sMotObject q;
        q.m_strName = "quad";
        qor_sMotKey k0, k1;
        k1.m_fTime = 10;
        k1.m_afValue[0] = fMoveTo;
        q.m_position = qor_sMotChannel::track(3, {k0, k1});
        mot.addObjectsMotions({q});
        ASSERT_TRUE(mot.save(m_dir.file("s.s3d.MOT").c_str()));
    }
    int run(const std::string & args, std::string * pErr = nullptr)
    {
        std::string out;
        const int rc = qort::runCommand("cd " + m_dir.path() + " && " + tool() + " " + args + " 2>err.txt", &out);
        if (pErr)
            *pErr = qort::readText(m_dir.file("err.txt"));
        return rc;
    }
    qort::TempDir m_dir;
};
} // namespace

TEST_F(SceneRenderTool, DrawsTheViewersFrameAtTheGivenTime)
{
    writeScene(false, 0);
    ASSERT_EQ(run("render s.s3d --at 0 -o out.png"), 0);
    Picture p;
    ASSERT_TRUE(readPng(m_dir.file("out.png"), &p));
    ASSERT_EQ(p.w, 640);
    ASSERT_EQ(p.h, 480);
    EXPECT_EQ(p.at(320, 240), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(p.at(266, 186), (std::vector<int>{255, 0, 0}));
    EXPECT_NE(p.at(258, 240), (std::vector<int>{255, 0, 0}));
}

TEST_F(SceneRenderTool, TimeMovesTheQuadAndSizeScalesThePicture)
{
    // The quad moves to x 20 at t 10. Looking down -z, the viewer sees world x growing to the
    // left: pixel 320 - 320 * 0.75 * 2.4142 * x / 100.
    writeScene(false, 20);
    ASSERT_EQ(run("render s.s3d --at 5 -o half.png --size 1280x960"), 0);
    Picture p;
    ASSERT_TRUE(readPng(m_dir.file("half.png"), &p));
    ASSERT_EQ(p.w, 1280);
    ASSERT_EQ(p.h, 960);
    // t 5: moved by 10, the quad spans x 0 .. 20: pixels 204 .. 320 of the frame, twice that here.
    EXPECT_EQ(p.at(2 * 290, 2 * 240), (std::vector<int>{255, 0, 0}));
    EXPECT_NE(p.at(2 * 340, 2 * 240), (std::vector<int>{255, 0, 0}));
}

TEST_F(SceneRenderTool, FogColourShowsAsTheBackground)
{
    writeScene(true, 0);
    ASSERT_EQ(run("render s.s3d --at 0 -o fog.png"), 0);
    Picture p;
    ASSERT_TRUE(readPng(m_dir.file("fog.png"), &p));
    EXPECT_EQ(p.at(10, 10), (std::vector<int>{127, 63, 255}));
}

TEST_F(SceneRenderTool, FailuresAndUsage)
{
    writeScene(false, 0);
    std::string err;
    EXPECT_EQ(run("render s.s3d -o out.png", &err), 2); // no --at
    EXPECT_EQ(run("render s.s3d --at 0", &err), 2);     // no -o
    EXPECT_EQ(run("render s.s3d --at 0 -o out.png --size 10x10", &err), 2);
    EXPECT_EQ(run("render missing.s3d --at 0 -o out.png", &err), 1);
    EXPECT_FALSE(qort::fileExists(m_dir.file("out.png")));
    EXPECT_EQ(run("play", &err), 2);
    EXPECT_EQ(run("play s.s3d --frames 0", &err), 2);
}

TEST_F(SceneRenderTool, PlayRunsTheViewerHeadless)
{
    writeScene(false, 0);
    EXPECT_EQ(run("play s.s3d --frames 3"), 0);
    // The viewer's logs stay behind, with no error in them.
    const std::string log = qort::readText(m_dir.file("qor_error.txt"));
    EXPECT_EQ(log.rfind("----- Brenmark error log -----\n", 0), 0u);
    EXPECT_EQ(log.find("File \""), std::string::npos) << log;
}

// Where play writes the viewer's logs ("qor_error.txt", "qor_trace.txt"), and the scenes it
// refuses. Each row: the setup in the run's folder, the arguments, the exit status, where the
// logs must be (a folder, relative) or "" for nowhere. A linked log is never written through.
TEST_F(SceneRenderTool, PlayLogsGoWhereToldAndBadScenesFail)
{
    struct Case
    {
        const char * what;
        const char * setup; // shell commands run in the folder first
        const char * args;
        int status;
        const char * logs; // folder holding both logs afterwards; "" none anywhere
    };
    const Case cases[] = {
        {"working folder", "", "play s.s3d --frames 2", 0, "."},
        {"--dir", "mkdir logs", "play s.s3d --frames 2 --dir logs", 0, "logs"},
        {"--no-logs", "", "play s.s3d --frames 2 --no-logs", 0, ""},
        {"--dir not a folder", "", "play s.s3d --frames 2 --dir nowhere", 1, ""},
        {"linked error log", "echo keep > victim && ln -s victim qor_error.txt", "play s.s3d --frames 2", 1, ""},
        {"linked trace log", "echo keep > victim && ln -s victim qor_trace.txt", "play s.s3d --frames 2", 1, ""},
        {"missing scene", "", "play none.s3d --frames 2", 1, ""},
        {"scene is a pipe", "mkfifo p.s3d", "play p.s3d --frames 2 --no-logs", 1, ""},
        {"truncated scene", "head -c 40 s.s3d > t.s3d && cp s.s3d.MOT t.s3d.MOT", "play t.s3d --frames 2 --no-logs", 1,
         ""},
        {"both log options", "mkdir logs", "play s.s3d --frames 2 --dir logs --no-logs", 2, ""},
    };
    for (const Case & c : cases)
    {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(qort::runCommand("find " + m_dir.path() + " -mindepth 1 -delete"), 0);
        writeScene(false, 0);
        if (*c.setup)
        {
            ASSERT_EQ(qort::runCommand("cd " + m_dir.path() + " && " + c.setup), 0);
        }
        std::string err;
        EXPECT_EQ(run(c.args, &err), c.status) << err;
        if (c.status != 0)
        {
            EXPECT_FALSE(err.empty());
        }
        // The regular log files left anywhere in the folder, sorted.
        std::string found;
        qort::runCommand("cd " + m_dir.path() + " && find . -name 'qor_*.txt' -type f | sort", &found);
        const std::string logs = std::string(c.logs) == "." ? std::string() : std::string(c.logs) + "/";
        EXPECT_EQ(found, *c.logs ? "./" + logs + "qor_error.txt\n./" + logs + "qor_trace.txt\n" : "") << c.args;
        if (qort::fileExists(m_dir.file("victim")))
        {
            EXPECT_EQ(qort::readText(m_dir.file("victim")), "keep\n");
            EXPECT_EQ(
                qort::runCommand("test -L " + m_dir.file("qor_error.txt") + " -o -L " + m_dir.file("qor_trace.txt")),
                0);
        }
    }
}
