// Fuzz inputs that the engine reads by path: the bytes go to one temporary file per process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// Writes the input to "<TMPDIR>/qor_fuzz_<stem>_<pid><ext>" and returns the path; empty when the
// file cannot be written (the input is then skipped).
inline std::string qoru_fuzzWriteInput(const char * szStem, const char * szExt, const uint8_t * pData, size_t nSize)
{
    const char * szDir = std::getenv("TMPDIR");
    const std::string path = std::string(szDir && *szDir ? szDir : "/tmp") + "/qor_fuzz_" + szStem + "_" +
                             std::to_string(getpid()) + szExt;
    FILE * pFile = std::fopen(path.c_str(), "wb");
    if (!pFile)
        return std::string();
    const bool bWritten = nSize == 0 || std::fwrite(pData, 1, nSize, pFile) == nSize;
    std::fclose(pFile);
    return bWritten ? path : std::string();
}
