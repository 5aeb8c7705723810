// libFuzzer target: arbitrary bytes as a chunked stream (an animation file's container). The
// tree walk (qor-scene chunks) and the sequential header / skip loop must end, never read
// outside the file, and never report a chunk that does not fit its parent.
#include "qor_fuzzFile.h"
#include "tz_cChunkedFile.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace
{
struct Bounds
{
    long long m_nFileSize;
};

void check(void * pUser, const tz_sChunkInfo & info)
{
    const Bounds * pBounds = static_cast<const Bounds *>(pUser);
    if (info.m_nOffset < 0 || info.m_nSize < tz_cChunkedFile::e_headerSize ||
        info.m_nOffset + info.m_nSize > pBounds->m_nFileSize || info.m_nDepth >= tz_cChunkedFile::e_maxWalkDepth ||
        info.m_nRawBefore < 0 || info.m_nRawBefore > info.m_nSize - 12)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * pData, size_t nSize)
{
    const std::string strPath = qoru_fuzzWriteInput("chunked", ".MOT", pData, nSize);
    if (strPath.empty())
        return 0;
    {
        tz_cChunkedFile file;
        if (file.open(strPath.c_str(), "rb"))
        {
            Bounds bounds{file.size()};
            file.walk(&check, &bounds);
            // The reading loop of an animation loader: headers, skipping every payload; each
            // step moves forward, so it ends with the file.
            file.seek(0, 0);
            long long nLast = -1;
            while (file.readHeader() || file.hasHeader())
            {
                if (file.getHeaderOffset() <= nLast)
                    __builtin_trap();
                nLast = file.getHeaderOffset();
                file.skipPayload();
            }
        }
    }
    std::remove(strPath.c_str());
    return 0;
}
