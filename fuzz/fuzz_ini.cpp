// libFuzzer target: arbitrary bytes as application.ini through qor_cConfigFile.
#include "qor_cConfigFile.h"
#include "qor_fuzzFile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

// Inputs up to 65536 bytes: many sections and keys, long lines.
extern "C" int LLVMFuzzerInitialize(int * pArgc, char *** pArgv)
{
    qoru_fuzzDefaultMaxLen(pArgc, pArgv, 65536);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    const std::string strPath = qoru_fuzzWriteInput("ini", ".ini", pData, nSize);
    if (strPath.empty())
        return 0;
    {
        qor_cConfigFile ini;
        if (ini.load(strPath.c_str()))
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
    std::remove(strPath.c_str());
    return 0;
}
