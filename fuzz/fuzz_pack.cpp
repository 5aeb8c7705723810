// libFuzzer target: arbitrary bytes as a pack file. open() must fail cleanly or give a
// directory whose every entry loads or fails without a crash, a leak or a huge allocation.
#include "qor_cMonofiler.h"
#include "qor_fuzzFile.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Inputs up to 65536 bytes: entries of several KiB, LZO streams that expand past 4 KiB.
extern "C" int LLVMFuzzerInitialize(int * pArgc, char *** pArgv)
{
    qoru_fuzzDefaultMaxLen(pArgc, pArgv, 65536);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    const std::string strPath = qoru_fuzzWriteInput("pack", ".dat", pData, nSize);
    if (strPath.empty())
        return 0;

    qor_cMonofiler pack;
    if (pack.open(strPath.c_str()))
    {
        for (uint i = 0; i < pack.getNbEntry(); ++i)
        {
            cchar * szName = nullptr;
            uint nSize = 0, nUnpacked = 0;
            bool bCompressed = false;
            if (!pack.getEntryInfo(i, &szName, &nSize, &bCompressed, &nUnpacked))
                __builtin_trap();
            // loadFile by name when a lookup of the name lands in the pack (a name the lookup
            // rules do not find would go to the disk: kept out of the fuzzer).
            if (pack.findEntry(szName) >= 0)
            {
                uint nLoaded = 0;
                char * pBuffer = pack.loadFile(szName, &nLoaded);
                delete[] pBuffer;
            }
            uint nLoaded = 0;
            char * pBuffer = pack.loadEntry(i, &nLoaded);
            if (pBuffer && nLoaded != (bCompressed ? nUnpacked : nSize))
                __builtin_trap();
            delete[] pBuffer;
        }
    }
    std::remove(strPath.c_str());
    return 0;
}
