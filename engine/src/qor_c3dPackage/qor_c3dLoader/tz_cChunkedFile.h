// tz_cChunkedFile: the nested chunk stream of animation files, read in sequence from disk.
//
// Each chunk: identifier (u32), size (u32: the whole chunk, these 12 header bytes and all that
// is nested in it), sub-chunk count (u32: direct child chunks; raw data blocks are not
// counted), then the payload: raw data blocks and child chunks in the order they were written.
// A reader positioned after a header reads the payload itself with the tz_cFile calls and
// checks what it reads against remaining(); the container does not interpret payloads.
//
// Writing builds the tree in memory (openChunk / writeData / closeChunk) and save() writes it
// depth first.
#pragma once

#include "tz_cFile.h"

#include <cstddef>

// One chunk of the tree as walk() sees it.
struct tz_sChunkInfo
{
    uint m_nID = 0;
    uint m_nSize = 0;
    uint m_nNbSubChunk = 0;
    // Offset of the chunk's header in the file, and its nesting depth (0 at the top).
    long long m_nOffset = 0;
    int m_nDepth = 0;
    // Raw payload bytes before the first child (all of the payload when no children were found).
    long long m_nRawBefore = 0;
    // The payload ends in exactly m_nNbSubChunk well-formed chunks, visited next at depth + 1.
    bool m_bChildren = false;
};

class tz_cChunkedFile : public tz_cFile
{
public:
    static constexpr uint e_headerSize = 12;
    // Deepest nesting walk() follows; deeper chunks are shown as raw payload.
    static constexpr int e_maxWalkDepth = 64;

    tz_cChunkedFile();
    tz_cChunkedFile(cchar * szPath, cchar * szMode);
    ~tz_cChunkedFile() override;

    // Resets the reading state and the write tree, then opens the file.
    bool open(cchar * szPath, cchar * szMode) override;

    // Reads the next 12-byte header; returns its identifier and makes it current, or 0 (nothing
    // current) when the three fields cannot all be read.
    uint readHeader();
    // Current header's fields (0 when none is current), and the file offset of that header.
    uint getID() const { return m_bHeader ? m_nID : 0; }
    uint getSize() const { return m_bHeader ? m_nSize : 0; }
    uint getNbSubChunk() const { return m_bHeader ? m_nNbSubChunk : 0; }
    long long getHeaderOffset() const { return m_nHeaderOffset; }
    bool hasHeader() const { return m_bHeader; }
    // Seeks past the current header's payload (size - 12 bytes from the current position, which
    // must still be right after the header). False when no header is current, the payload is
    // empty, the size is below 12 or the payload runs past the end of the file.
    bool skipPayload();

    // Visits every chunk of the file from the start, depth first, and leaves the position at the
    // end. A chunk's children are found where its payload ends in exactly its sub-chunk count
    // of well-formed chunks; anything else in the payload is raw data. pfnVisit may be null.
    // False (with getLastError()) when a size lies: below 12, or past its parent or the file.
    typedef void (*pfnVisit)(void * pUser, const tz_sChunkInfo & info);
    bool walk(pfnVisit pfn, void * pUser);
    cchar * getLastError() const { return m_strError.get(); }

    // Writing: openChunk starts a child of the current chunk (a top-level chunk when none is
    // open) and makes it current; writeData copies bytes into a raw block of the current chunk
    // (false when none is open); closeChunk sets its size (12 + everything in it) and makes the
    // parent current; save writes every top-level chunk depth first to the open file.
    bool openChunk(uint nID);
    bool writeData(size_t nSize, const void * pData);
    bool closeChunk();
    bool save();
    // Size and child count of the chunk most recently closed (for checks and tools).
    uint getClosedSize() const { return m_nClosedSize; }
    uint getClosedNbSubChunk() const { return m_nClosedNbSub; }

private:
    struct sNode;
    void resetWrite();
    bool walkRange(long long nStart, long long nEnd, int nDepth, pfnVisit pfn, void * pUser);
    bool findChildren(long long nPayload, long long nEnd, uint nCount, long long * pnFirst);
    bool writeNode(const sNode * pNode);

    bool m_bHeader;
    uint m_nID;
    uint m_nSize;
    uint m_nNbSubChunk;
    long long m_nHeaderOffset;
    qor_cString m_strError;

    sNode * m_pRoot;
    sNode * m_pCurrent;
    uint m_nClosedSize;
    uint m_nClosedNbSub;
};
