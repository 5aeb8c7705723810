// qor-scene check FILE.s3d: the scene file read by the engine's loader with every record check
// (counts, indices, names against the bytes there), and FILE.s3d.MOT, when there is one, walked
// as a chunked stream. Prints one summary line; a broken file exits 1 with the loader's reason.
#include "qor_c3dLoader.h"
#include "qor_scene.h"
#include "tz_cChunkedFile.h"
#include "tz_cFile.h"

#include <cstdio>
#include <string>
#include <vector>

namespace qor_scene
{
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

    qor_c3dLoader loader;
    if (!loader.loadSceneFromMemory(image.data(), size_t(nSize)))
    {
        std::string reason = loader.getLastMessage();
        while (!reason.empty() && reason.back() == '\n')
            reason.pop_back();
        return failure("%s: %s", path.c_str(), reason.empty() ? "refused" : reason.c_str());
    }
    std::printf("%s: %u chunks, version %u", path.c_str(), loader.getNbChunk(), loader.getVersion());
    const std::string mot = path + ".MOT";
    tz_cChunkedFile anim;
    if (anim.open(mot.c_str(), "rb"))
    {
        if (!anim.walk(nullptr, nullptr))
        {
            std::printf("\n");
            return failure("%s: %s", mot.c_str(), anim.getLastError());
        }
        std::printf("; %s: %lld bytes", mot.c_str(), anim.size());
    }
    std::printf("\n");
    return e_exitOk;
}
} // namespace qor_scene
