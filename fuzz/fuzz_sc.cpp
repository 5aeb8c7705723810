// libFuzzer target: arbitrary bytes as a show script through the qor-sc compiler. A success
// must give an image the machine initialises; a failure must say why.
//
// Two modes, by the first byte's bit 1. Text mode compiles the bytes in memory, where
// "#include" finds nothing. File mode splits the bytes at the first 0xFF into a main file and
// an include file "a.inc", writes both into a folder of the process's own and compiles the
// main file from the disk with that folder searched: the file reading, the include search
// (each file read once) and the source limit, lowered to 4096 bytes so that inputs reach it.
#include "qor_amx.h"
#include "qor_fuzzFile.h"
#include "qor_sc.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{
// The folder of this process's files ("" when it cannot be made).
const std::string & fuzzDir()
{
    static std::string s_strDir;
    if (s_strDir.empty())
    {
        const std::string strDir = qoru_fuzzPath("sc", "");
        if (mkdir(strDir.c_str(), 0777) == 0 || errno == EEXIST)
            s_strDir = strDir;
    }
    return s_strDir;
}

bool writeText(const std::string & strPath, const char * p, size_t n)
{
    FILE * pFile = std::fopen(strPath.c_str(), "wb");
    if (!pFile)
        return false;
    const bool bOk = n == 0 || std::fwrite(p, 1, n, pFile) == n;
    return std::fclose(pFile) == 0 && bOk;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    const std::string text(reinterpret_cast<const char *>(pData), nSize);
    qor_sScOptions options; // no include folders in text mode
    options.compact = nSize > 0 && (pData[0] & 1);
    qor_sScResult r;
    if (nSize > 0 && (pData[0] & 2) && !fuzzDir().empty())
    {
        const size_t nSplit = text.find('\xFF');
        const std::string strMain = fuzzDir() + "/main.sc", strInc = fuzzDir() + "/a.inc";
        const std::string strMainText = text.substr(0, nSplit);
        const std::string strIncText = nSplit == std::string::npos ? std::string() : text.substr(nSplit + 1);
        if (!writeText(strMain, strMainText.data(), strMainText.size()) ||
            !writeText(strInc, strIncText.data(), strIncText.size()))
            return 0;
        options.includeDirs.push_back(fuzzDir());
        options.maxSourceSize = 4096;
        r = qor_scCompileFile(strMain, options);
    }
    else
        r = qor_scCompileText("/nonexistent/fuzz.sc", text, options);
    if (!r.ok)
    {
        if (r.messages.empty() || !r.image.empty())
            std::abort();
        return 0;
    }
    AMX_HEADER h;
    amx_ReadHeader(r.image.data(), &h);
    if ((size_t)h.size != r.image.size() || h.stp <= 0 || h.stp > (1 << 28))
        std::abort();
    std::vector<unsigned char> mem((size_t)h.stp + AMX_IMAGE_SLACK, 0);
    std::memcpy(mem.data(), r.image.data(), r.image.size());
    AMX amx;
    std::memset(&amx, 0, sizeof amx);
    if (amx_Init(&amx, mem.data()) != AMX_ERR_NONE)
        std::abort(); // every image the compiler writes must load
    amx_Cleanup(&amx);
    return 0;
}
