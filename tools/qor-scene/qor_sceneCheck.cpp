// qor-scene check FILE.s3d: does the engine load this scene? The scene file is first read by the
// engine's loader alone, so that a broken record is named in one line; then the engine loads the
// scene with its ".MOT" exactly as the player does (the same code, the same limits, in a headless
// display), and whatever it refuses ends the check with the lines of its error log.
//
// Exit 0: the engine loads the scene; a ".MOT" that animates nothing (empty, or no object block)
// loads too and gets a warning. Exit 1: the engine refuses the scene or its ".MOT" (a scene
// without its animation file is refused: the engine's load fails when that file cannot be read).
#include "qor_c3dLoader.h"
#include "qor_cScene.h"
#include "qor_fileUtil.h"
#include "qor_scene.h"
#include "qor_sceneEngine.h"
#include "tz_cFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace qor_scene
{
namespace
{
// Why the animation file cannot be opened as the engine opens it; empty when it can.
std::string animOpenError(const std::string & strMot)
{
    std::string strError;
    uint64_t nSize = 0;
    const int fd = qoru_openRead(strMot.c_str(), uint64_t(tz_cFile::e_maxReadSize), &nSize, &strError);
    if (fd >= 0)
    {
        close(fd);
        return std::string();
    }
    return strError.empty() ? std::string("cannot be opened") : strError;
}
} // namespace

int runCheck(int argc, char ** argv)
{
    if (argc != 2)
        return usageError("check takes one FILE.s3d");
    const std::string path = argv[1];
    tz_cFile file;
    if (!file.open(path.c_str(), "rb"))
        return failure("%s: cannot open as a regular file", path.c_str());
    const long long nSize = file.size();
    if (nSize > tz_cFile::e_maxReadSize)
        return failure("%s: %lld bytes, more than %lld", path.c_str(), nSize, tz_cFile::e_maxReadSize);
    std::vector<char> image(size_t(nSize) + 1);
    if (nSize > 0 && file.read(image.data(), int(nSize)) != int(nSize))
        return failure("%s: short read", path.c_str());
    file.close();

    uint nChunk = 0, nVersion = 0;
    {
        qor_c3dLoader loader;
        if (!loader.loadSceneFromMemory(image.data(), size_t(nSize)))
        {
            std::string reason = loader.getLastMessage();
            while (!reason.empty() && reason.back() == '\n')
                reason.pop_back();
            return failure("%s: %s", path.c_str(), reason.empty() ? "refused" : reason.c_str());
        }
        nChunk = loader.getNbChunk();
        nVersion = loader.getVersion();
    }
    image = std::vector<char>();

    const std::string mot = path + ".MOT";
    const std::string strMotError = animOpenError(mot);
    Engine engine;
    qor_cScene * pScene = engine.load(path);
    if (!pScene)
    {
        struct stat st;
        if (!strMotError.empty() && lstat(mot.c_str(), &st) != 0)
            return failure("%s: %s: the engine does not load a scene without its animation file", mot.c_str(),
                           strMotError.c_str());
        if (!strMotError.empty())
            return failure("%s: %s: refused by the engine", mot.c_str(), strMotError.c_str());
        return failure("%s: refused by the engine (its log above)", path.c_str());
    }
    uint64_t nMotSize = 0;
    std::string strIgnored;
    const int fd = qoru_openRead(mot.c_str(), uint64_t(tz_cFile::e_maxReadSize), &nMotSize, &strIgnored);
    if (fd >= 0)
        close(fd);
    std::printf("%s: %u chunks, version %u; %s: %llu bytes, %u objects animated\n", path.c_str(), nChunk, nVersion,
                mot.c_str(), (unsigned long long)nMotSize, pScene->getNbAnimObject());
    std::fflush(stdout);
    if (pScene->getNbAnimObject() == 0)
        std::fprintf(stderr, "qor-scene: warning: %s animates no object: the scene loads without animation\n",
                     mot.c_str());
    return e_exitOk;
}
} // namespace qor_scene
