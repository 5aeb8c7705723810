// tz_cChunkTable: the flat chunk container of scene files.
//
// Layout, all fields unsigned 32-bit little-endian, no padding:
//   0  magic 0x0CAFA007      4  signature      8  version      12  chunk count N
//   16 N records: identifier (4), size S (4), then S bytes of data
// Each record starts at the first byte after the previous one's data.
//
// Reading checks every count and size against the bytes really there: a record whose header or
// data would run past the end of the buffer or file fails the read, and getLastError() names
// the record and its byte offset. Nothing is allocated from a count; chunk data read from a
// file is allocated only once the file is known to hold it.
//
// Data read from memory points into the caller's buffer (not owned; the buffer must outlive the
// table's use); data read from a file is allocated per chunk and owned.
#pragma once

#include "qor_cList.h"
#include "qor_cString.h"
#include "qor_types.h"

#include <cstddef>

class tz_cFile;

// One chunk entry.
struct tz_sChunk
{
    uint m_nID = 0;
    uint m_nSize = 0;
    char * m_pData = nullptr;
    bool m_bOwner = false;
    // Byte offset of the data from the start of the image or file (0 for chunks added in memory).
    size_t m_nOffset = 0;

    ~tz_sChunk();
};

class tz_cChunkTable
{
public:
    static constexpr uint e_magic = 0x0CAFA007u;
    // Bytes of the table header and of each record's header.
    static constexpr size_t e_headerSize = 16;
    static constexpr size_t e_recordHeaderSize = 8;

    tz_cChunkTable(uint nSignature, uint nVersion);
    virtual ~tz_cChunkTable();
    tz_cChunkTable(const tz_cChunkTable &) = delete;
    tz_cChunkTable & operator=(const tz_cChunkTable &) = delete;

    // Reads the layout from nSize bytes at pData; chunk data points into that buffer.
    bool loadFromMemory(cchar * pData, size_t nSize);
    // The same for an image whose length the caller does not know: the declared sizes are
    // trusted. Only for images this program wrote itself; everything read from outside goes
    // through the sized form.
    bool loadFromMemory(cchar * pData);
    // Reads a regular file (opened "rb", at most tz_cFile::e_maxReadSize bytes).
    bool load(cchar * szPath);
    // Reads from an open file, from its current position; the file's end bounds every size.
    bool load(tz_cFile & file);

    uint getSignature() const { return m_nSignature; }
    uint getVersion() const { return m_nVersion; }
    void setSignature(uint n) { m_nSignature = n; }
    void setVersion(uint n) { m_nVersion = n; }
    uint getNbChunk() const { return uint(m_lChunk.getNbItem()); }
    // 0 when n is out of range.
    uint getChunkID(uint n) const;
    // Null when n is out of range. A chunk of size 0 read from memory points at the next record.
    cchar * getChunkDatas(uint n) const;
    // 0 when n is out of range.
    uint getChunkSize(uint n) const;
    // Byte offset of chunk n's data in the image or file; 0 when n is out of range.
    size_t getChunkOffset(uint n) const;

    // Writing. addChunk makes a new, empty chunk the current one; append grows the current
    // chunk's data by a copy of nSize bytes (false for a null source, no current chunk, or when
    // memory runs out). Appended data is always owned by its chunk.
    bool addChunk(uint nID, bool bOwner = true);
    bool append(const void * pSource, size_t nSize);
    // Writes magic, signature, version, count, then every chunk as identifier, size, data to
    // szPath (a regular file, created or truncated). False when a write falls short, the path
    // names something that is not a regular file, or a chunk declares bytes it does not hold.
    bool save(cchar * szPath) const;
    // The whole image in memory (same layout as save); false when memory runs out.
    bool saveToMemory(char ** ppData, size_t * pnSize) const;

    // Deletes every entry and the data it owns.
    void clear();

    // What made the last read fail, with the record index and byte offset; empty after success.
    cchar * getLastError() const { return m_strError.get(); }

protected:
    uint m_nMagic;
    uint m_nSignature;
    uint m_nVersion;
    qor_cList m_lChunk;
    tz_sChunk * m_pLastChunk;
    // Read cursor into memory while reading an image.
    cchar * m_pCursor;
    // The file being read, while reading from one.
    tz_cFile * m_pFile;
    qor_cString m_strError;

private:
    tz_sChunk * chunkAt(uint n) const;
    bool readImage(cchar * pData, size_t nSize, bool bTrusted);
};
