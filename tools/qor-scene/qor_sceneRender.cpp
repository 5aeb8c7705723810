// qor-scene render and play: a scene drawn as the scene test viewer draws it.
//
// render FILE.s3d --at T -o OUT.png [--size WxH]: the scene loaded headless, the viewer's
// transforms and light set, rewound, its updated flags cleared, updated once by T frame units,
// then drawn twice as a viewer frame (beginScene, clear(3), render, endScene) with no update
// between; the second frame (where the clear colour a fog sets in the first render shows) is
// written as an 8-bit RGB PNG of the 640 x 480 back buffer, scaled up to --size when given.
// The PNG never replaces the scene, its ".MOT", any file the scene made the engine read, a
// symbolic link, or what is not a regular file (exit 1).
// play FILE.s3d [--frames N] [--dir DIR | --no-logs]: the viewer on that file, in a window, or
// headless for N frames; its logs in DIR (default: the working folder) or nowhere. A scene
// that is missing, not a regular file or does not load ends the run with exit 1.
#include "qor_cDisp.h"
#include "qor_cSDL.h"
#include "qor_cScene.h"
#include "qor_cSceneViewer.h"
#include "qor_fileUtil.h"
#include "qor_scene.h"
#include "qor_sceneEngine.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace qor_scene
{
namespace
{
bool parseTime(const char * sz, float * pf)
{
    char * pEnd = nullptr;
    errno = 0;
    const double d = std::strtod(sz, &pEnd);
    if (!*sz || *pEnd || errno != 0 || !std::isfinite(d) || std::fabs(d) > 3.4e38)
        return false;
    *pf = float(d);
    return true;
}

bool parseSize(const char * sz, int * pW, int * pH)
{
    int w = 0, h = 0;
    char c = 0;
    if (std::sscanf(sz, "%dx%d%c", &w, &h, &c) != 2 || w < 1 || h < 1 || w > 16384 || h > 16384)
        return false;
    *pW = w;
    *pH = h;
    return true;
}

// Writes w x h RGB pixels (top row first) as an 8-bit RGB PNG through the file layer: a
// temporary file beside the path, renamed over it when whole; never over what is not a regular
// file, a symbolic link, or a file the run read. False with the reason in *pstrError.
bool writePng(const char * szPath, const std::vector<uchar> & rgb, int w, int h, std::string * pstrError)
{
    qor_sOutputFile out;
    FILE * pFile = qoru_beginOutput(&out, szPath, nullptr, pstrError);
    if (!pFile)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    volatile bool bOk = false; // set after the setjmp: kept across a longjmp
    if (png && info && !setjmp(png_jmpbuf(png)))
    {
        png_init_io(png, pFile);
        png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < h; ++y)
            png_write_row(png, const_cast<png_bytep>(&rgb[size_t(y) * size_t(w) * 3]));
        png_write_end(png, nullptr);
        bOk = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (!bOk)
    {
        *pstrError = "the PNG encoder failed";
        qoru_abortOutput(&out);
        return false;
    }
    return qoru_commitOutput(&out, pstrError);
}
} // namespace

int runRender(int argc, char ** argv)
{
    std::string strFile, strOut;
    float t = 0.0f;
    bool bTime = false;
    int w = 640, h = 480;
    for (int i = 1; i < argc; ++i)
    {
        const bool bValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--at"))
        {
            if (!bValue || !parseTime(argv[++i], &t))
                return usageError("render: --at needs a time in frame units");
            bTime = true;
        }
        else if (!std::strcmp(argv[i], "-o"))
        {
            if (!bValue)
                return usageError("render: -o needs a file name");
            strOut = argv[++i];
        }
        else if (!std::strcmp(argv[i], "--size"))
        {
            if (!bValue || !parseSize(argv[++i], &w, &h))
                return usageError("render: --size needs WxH");
        }
        else if (strFile.empty() && argv[i][0] != '-')
            strFile = argv[i];
        else
            return usageError("render: unexpected argument \"%s\"", argv[i]);
    }
    if (strFile.empty() || strOut.empty() || !bTime)
        return usageError("render: FILE.s3d, --at T and -o OUT.png are needed");
    if (w < 640 || h < 480)
        return usageError("render: --size scales the 640 x 480 frame up, not down");
    // Refused before any work: an output that is the scene or its animation file (what the
    // scene names is refused when the picture is written, once every file read is known).
    std::string strWhy;
    if (!qoru_checkOutput(strOut.c_str(), strFile.c_str(), &strWhy) ||
        !qoru_checkOutput(strOut.c_str(), (strFile + ".MOT").c_str(), &strWhy))
        return failure("%s: %s", strOut.c_str(), strWhy.c_str());

    Engine engine;
    qor_cScene * pScene = engine.load(strFile);
    if (!pScene)
        return e_exitFailure;
    qor_cDisp * pDisp = engine.getDisp();
    qor_cLight light;
    qor_cSceneViewer::setStage(pDisp, &light);
    pScene->rewind();
    pScene->clearUpdatedFlags();
    pScene->update(&t);
    warnUnseen(*pScene, strFile, stderr);
    for (int n = 0; n < 2; ++n)
    {
        pDisp->beginScene();
        pDisp->clear(3);
        pScene->render();
        pDisp->endScene();
    }
    std::vector<uint8_t> bgra;
    int bw = 0, bh = 0;
    const bool bRead = pDisp->readPixels(bgra, bw, bh);
    pDisp->removeLight(&light);
    if (!bRead || bw <= 0 || bh <= 0)
        return failure("%s: the frame could not be read", strFile.c_str());
    // Nearest-neighbour scaling of the back buffer (B, G, R, A) to w x h RGB.
    std::vector<uchar> rgb(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
    {
        const int sy = int((long long)y * bh / h);
        for (int x = 0; x < w; ++x)
        {
            const int sx = int((long long)x * bw / w);
            const uint8_t * p = &bgra[(size_t(sy) * size_t(bw) + size_t(sx)) * 4];
            uchar * q = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
    }
    if (!writePng(strOut.c_str(), rgb, w, h, &strWhy))
        return failure("%s: the picture could not be written: %s", strOut.c_str(), strWhy.c_str());
    return e_exitOk;
}

int runPlay(int argc, char ** argv)
{
    std::string strFile, strDir;
    int nFrames = 0;
    bool bLogs = true;
    for (int i = 1; i < argc; ++i)
    {
        if (!std::strcmp(argv[i], "--frames"))
        {
            char c = 0;
            if (i + 1 >= argc || std::sscanf(argv[++i], "%d%c", &nFrames, &c) != 1 || nFrames < 1)
                return usageError("play: --frames needs a count of at least 1");
        }
        else if (!std::strcmp(argv[i], "--dir"))
        {
            if (i + 1 >= argc || !*argv[i + 1])
                return usageError("play: --dir needs a folder");
            strDir = argv[++i];
        }
        else if (!std::strcmp(argv[i], "--no-logs"))
            bLogs = false;
        else if (strFile.empty() && argv[i][0] != '-')
            strFile = argv[i];
        else
            return usageError("play: unexpected argument \"%s\"", argv[i]);
    }
    if (strFile.empty())
        return usageError("play: no scene file");
    if (!bLogs && !strDir.empty())
        return usageError("play: --dir and --no-logs exclude each other");
    std::string strWhy;
    const int fd = qoru_openRead(strFile.c_str(), kQorMaxFileSize, nullptr, &strWhy);
    if (fd < 0)
        return failure("%s: %s", strFile.c_str(), strWhy.c_str());
    close(fd);
    // The viewer's logs: in the working folder or --dir, never through a link nor over what is
    // not a regular file (nor over an input of the run).
    const std::string strPrefix = strDir.empty() ? std::string() : strDir + "/";
    if (bLogs)
    {
        struct stat st;
        if (!strDir.empty() && (stat(strDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
            return failure("%s: not a folder", strDir.c_str());
        for (const char * szName : {"qor_error.txt", "qor_trace.txt"})
        {
            const std::string strLog = strPrefix + szName;
            if (!qoru_checkOutput(strLog.c_str(), strFile.c_str(), &strWhy))
                return failure("%s: %s (--dir puts the logs elsewhere, --no-logs writes none)", strLog.c_str(),
                               strWhy.c_str());
        }
    }
    warnUnseenFile(strFile);
    // A counted run needs no window on a screen.
    if (nFrames > 0)
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("QOR_NO_DIALOGS", "1", 0);
    qoru_setDialogsEnabled(false);
    // The GL driver stays loaded to the end, so that a leak check at exit can read its frames.
    qoru_pinGLLibraries();
    qor_cApplication::setFrameLimit(nFrames);
    qor_cSceneViewer viewer(strFile.c_str());
    viewer.setLogFolder(bLogs ? strDir.c_str() : nullptr);
    viewer.setStopOnLoadFailure(true);
    const bool bInit = viewer.init();
    if (bInit)
        viewer.run();
    const bool bLoaded = viewer.isSceneLoaded();
    viewer.release();
    if (!bInit)
        return failure("the viewer could not start");
    if (!bLoaded)
        return failure("%s: the scene could not be loaded%s", strFile.c_str(),
                       bLogs ? (" (see " + strPrefix + "qor_error.txt)").c_str() : "");
    return e_exitOk;
}
} // namespace qor_scene
