// Feeds arbitrary bytes to the JPEG module's decoder through a FILE stream on a file, the way
// the image loaders hand it the pack's stream, and reads every decoded pixel back.
#include "qor_cJpegPlugin.h"
#include "qor_fuzzFile.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The module lives in build/bin; the fuzzer in build/fuzz.
    if (!std::getenv("QOR_PLUGIN_DIR"))
    {
        char acPath[4096];
        ssize_t n = readlink("/proc/self/exe", acPath, sizeof(acPath) - 1);
        if (n > 0)
        {
            acPath[n] = 0;
            std::string strDir(acPath);
            strDir = strDir.substr(0, strDir.rfind('/')) + "/../bin";
            setenv("QOR_PLUGIN_DIR", strDir.c_str(), 0);
        }
    }
    if (!qoru_loadJpegPlugin())
    {
        std::fprintf(stderr, "fuzz_jpeg: the JPEG module could not be loaded\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    // A file on the disk, as in a pack: the decoder bounds the declared size by the bytes the
    // file has left, which a memory stream would not show it.
    const std::string strPath = qoru_fuzzWriteInput("jpeg", ".jpg", pData, nSize);
    FILE * pFile = strPath.empty() ? nullptr : std::fopen(strPath.c_str(), "rb");
    if (!pFile)
        return 0;
    std::unique_ptr<qor_cJpegImage> pImage(qoru_newJpegImage());
    if (pImage && pImage->read(pFile))
    {
        uint64_t n = (uint64_t)pImage->getWidth() * pImage->getHeight();
        unsigned sum = 0;
        for (uint64_t i = 0; i < n; ++i)
        {
            const uchar * p = pImage->getPixel((uint)i);
            if (!p)
                std::abort(); // every index inside the image has a pixel
            sum += p[0] + p[1] + p[2];
        }
        if (pImage->getPixel((uint)n) != nullptr)
            std::abort(); // and none past its end
        volatile unsigned sink = sum;
        (void)sink;
    }
    std::fclose(pFile);
    std::remove(strPath.c_str());
    return 0;
}
