// qor-scene chunks FILE: the container's structure, for debugging exporters.
//
// A file starting with the chunk table's magic is listed as its header and one line per chunk
// (index, identifier with its scene-file name, size, data offset). Any other file is walked as
// a chunked stream: one line per chunk, indented by depth (identifier, size, sub-chunk count,
// header offset, raw payload bytes before the children).
#include "qor_c3dLoader.h"
#include "qor_scene.h"
#include "tz_cChunkTable.h"
#include "tz_cChunkedFile.h"
#include "tz_cFile.h"

#include <cstdio>
#include <cstring>

namespace qor_scene
{
namespace
{
void printStreamChunk(void *, const tz_sChunkInfo & info)
{
    std::printf("%*s0x%08X size %u sub %u offset %lld", 2 * info.m_nDepth, "", info.m_nID, info.m_nSize,
                info.m_nNbSubChunk, info.m_nOffset);
    if (info.m_bChildren)
        std::printf(" raw %lld\n", info.m_nRawBefore);
    else
        std::printf(" raw %lld%s\n", info.m_nRawBefore, info.m_nNbSubChunk ? " (children not found)" : "");
}

int listTable(const char * szPath)
{
    tz_cChunkTable table(0, 0);
    if (!table.load(szPath))
        return failure("%s: %s", szPath, table.getLastError());
    std::printf("chunk table: signature 0x%08X version %u chunks %u\n", table.getSignature(), table.getVersion(),
                table.getNbChunk());
    for (uint i = 0; i < table.getNbChunk(); ++i)
    {
        const char * szName = qoru_s3dChunkName(table.getChunkID(i));
        std::printf("  [%u] 0x%08X %-20s size %u offset %zu\n", i, table.getChunkID(i), szName ? szName : "-",
                    table.getChunkSize(i), table.getChunkOffset(i));
    }
    return e_exitOk;
}

int listStream(const char * szPath)
{
    tz_cChunkedFile file;
    if (!file.open(szPath, "rb"))
        return failure("%s: cannot open as a regular file", szPath);
    std::printf("chunked stream: %lld bytes\n", file.size());
    if (!file.walk(&printStreamChunk, nullptr))
    {
        std::fflush(stdout);
        return failure("%s: %s", szPath, file.getLastError());
    }
    return e_exitOk;
}
} // namespace

int runChunks(int argc, char ** argv)
{
    if (argc != 2)
        return usageError("chunks takes one FILE");
    const char * szPath = argv[1];
    tz_cFile file;
    if (!file.open(szPath, "rb"))
        return failure("%s: cannot open as a regular file", szPath);
    if (file.size() > tz_cFile::e_maxReadSize)
        return failure("%s: %lld bytes, more than %lld", szPath, file.size(), tz_cFile::e_maxReadSize);
    uint nMagic = 0;
    const bool bTable = file.readU32(&nMagic) && nMagic == tz_cChunkTable::e_magic;
    file.close();
    return bTable ? listTable(szPath) : listStream(szPath);
}
} // namespace qor_scene
