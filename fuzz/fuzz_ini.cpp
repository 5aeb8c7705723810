// libFuzzer target: arbitrary bytes as application.ini through qor_cConfigFile.
#include "qor_cConfigFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{
std::string tempPath()
{
    cchar * szDir = std::getenv("TMPDIR");
    return std::string(szDir && *szDir ? szDir : "/tmp") + "/qor_fuzz_ini_" + std::to_string(getpid()) + ".ini";
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    static const std::string s_path = tempPath();
    FILE * pFile = std::fopen(s_path.c_str(), "wb");
    if (!pFile)
        return 0;
    const bool bWritten = nSize == 0 || std::fwrite(pData, 1, nSize, pFile) == nSize;
    std::fclose(pFile);
    if (!bWritten)
        return 0;
    {
        qor_cConfigFile ini;
        if (ini.load(s_path.c_str()))
        {
            cchar * szId = ini.getValue("APPLICATION", "ID");
            cchar * szUser = ini.getValue("APPLICATION", "USER");
            int iId = 0, iUser = 0;
            if (szId && szUser && std::sscanf(szId, "%d", &iId) == 1)
                std::sscanf(szUser, "%d", &iUser);
            // Every stored text is a line piece: never longer than a readable line.
            for (int i = 0; i < ini.getNbSection(); ++i)
                if (std::strlen(ini.getSectionName(i)) > qor_cConfigFile::kMaxLine)
                    __builtin_trap();
        }
    }
    std::remove(s_path.c_str());
    return 0;
}
