// Fuzz inputs that the engine reads by path: the bytes go to one temporary file per process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

// "<TMPDIR>/qor_fuzz_<stem>_<pid><ext>": a path of this process's own. qoru_fuzzWriteInput
// writes the input there and returns the path; empty when the file cannot be written (the
// input is then skipped).
inline std::string qoru_fuzzPath(const char * szStem, const char * szExt)
{
    const char * szDir = std::getenv("TMPDIR");
    return std::string(szDir && *szDir ? szDir : "/tmp") + "/qor_fuzz_" + szStem + "_" + std::to_string(getpid()) +
           szExt;
}

inline std::string qoru_fuzzWriteInput(const char * szStem, const char * szExt, const uint8_t * pData, size_t nSize)
{
    const std::string path = qoru_fuzzPath(szStem, szExt);
    FILE * pFile = std::fopen(path.c_str(), "wb");
    if (!pFile)
        return std::string();
    const bool bWritten = nSize == 0 || std::fwrite(pData, 1, nSize, pFile) == nSize;
    std::fclose(pFile);
    return bWritten ? path : std::string();
}

// libFuzzer reads its flags after LLVMFuzzerInitialize, and caps inputs at 4096 bytes unless
// the corpus holds larger ones: a target whose reader has paths past that size (many sections,
// long lines, large entries) calls this from LLVMFuzzerInitialize to get nMaxLen bytes instead,
// unless -max_len is given on the command line.
inline void qoru_fuzzDefaultMaxLen(int * pArgc, char *** pArgv, size_t nMaxLen)
{
    for (int i = 1; i < *pArgc; ++i)
        if (std::strncmp((*pArgv)[i], "-max_len=", 9) == 0)
            return;
    static std::string s_strFlag;
    static std::vector<char *> s_vArgs;
    s_strFlag = "-max_len=" + std::to_string(nMaxLen);
    s_vArgs.assign(*pArgv, *pArgv + *pArgc);
    s_vArgs.insert(s_vArgs.begin() + 1, &s_strFlag[0]); // flags before the corpus folders
    s_vArgs.push_back(nullptr);
    *pArgc += 1;
    *pArgv = s_vArgs.data();
}
