#include "tz_cChunkTable.h"

#include "qor_fileUtil.h"
#include "tz_cFile.h"

#include <cstdlib>
#include <cstring>
#include <new>

tz_sChunk::~tz_sChunk()
{
    if (m_bOwner)
        std::free(m_pData);
}

tz_cChunkTable::tz_cChunkTable(uint nSignature, uint nVersion)
    : m_nMagic(e_magic), m_nSignature(nSignature), m_nVersion(nVersion), m_pLastChunk(nullptr), m_pCursor(nullptr),
      m_pFile(nullptr)
{
}

tz_cChunkTable::~tz_cChunkTable() { clear(); }

void tz_cChunkTable::clear()
{
    m_lChunk.clear();
    m_pLastChunk = nullptr;
}

tz_sChunk * tz_cChunkTable::chunkAt(uint n) const
{
    return n < uint(m_lChunk.getNbItem()) ? m_lChunk.get<tz_sChunk>(int(n)) : nullptr;
}

uint tz_cChunkTable::getChunkID(uint n) const
{
    const tz_sChunk * p = chunkAt(n);
    return p ? p->m_nID : 0;
}

cchar * tz_cChunkTable::getChunkDatas(uint n) const
{
    const tz_sChunk * p = chunkAt(n);
    return p ? p->m_pData : nullptr;
}

uint tz_cChunkTable::getChunkSize(uint n) const
{
    const tz_sChunk * p = chunkAt(n);
    return p ? p->m_nSize : 0;
}

size_t tz_cChunkTable::getChunkOffset(uint n) const
{
    const tz_sChunk * p = chunkAt(n);
    return p ? p->m_nOffset : 0;
}

bool tz_cChunkTable::loadFromMemory(cchar * pData, size_t nSize) { return readImage(pData, nSize, false); }

bool tz_cChunkTable::loadFromMemory(cchar * pData) { return readImage(pData, 0, true); }

bool tz_cChunkTable::readImage(cchar * pData, size_t nSize, bool bTrusted)
{
    clear();
    m_strError.set(nullptr);
    if (!pData)
    {
        m_strError.set("no image");
        return false;
    }
    m_pCursor = pData;
    // left(): bytes between the cursor and the end; a trusted image has no known end.
    auto left = [&]() -> size_t { return bTrusted ? size_t(-1) : nSize - size_t(m_pCursor - pData); };
    if (left() < e_headerSize)
    {
        m_strError.printf("header: %zu bytes, a chunk table needs %zu", nSize, e_headerSize);
        return false;
    }
    if (qoru_readU32LE(m_pCursor) != e_magic)
    {
        m_strError.printf("magic 0x%08X at offset 0 is not 0x%08X", qoru_readU32LE(m_pCursor), e_magic);
        return false;
    }
    m_nSignature = qoru_readU32LE(m_pCursor + 4);
    m_nVersion = qoru_readU32LE(m_pCursor + 8);
    const uint nCount = qoru_readU32LE(m_pCursor + 12);
    m_pCursor += e_headerSize;
    // Every record needs at least its 8 header bytes, so the count ends the loop as soon as the
    // bytes do; nothing is allocated from it.
    for (uint i = 0; i < nCount; ++i)
    {
        const size_t nOffset = size_t(m_pCursor - pData);
        if (left() < e_recordHeaderSize)
        {
            m_strError.printf("chunk %u of %u at offset %zu: the record header needs %zu bytes, %zu remain", i, nCount,
                              nOffset, e_recordHeaderSize, left());
            return false;
        }
        const uint nID = qoru_readU32LE(m_pCursor);
        const uint nChunkSize = qoru_readU32LE(m_pCursor + 4);
        m_pCursor += e_recordHeaderSize;
        if (nChunkSize > left())
        {
            m_strError.printf("chunk %u of %u (id 0x%08X) at offset %zu declares %u bytes, %zu remain", i, nCount, nID,
                              nOffset, nChunkSize, left());
            return false;
        }
        tz_sChunk * pChunk = new (std::nothrow) tz_sChunk;
        if (!pChunk || !m_lChunk.add(pChunk, true))
        {
            delete pChunk;
            m_strError.printf("chunk %u at offset %zu: out of memory", i, nOffset);
            return false;
        }
        pChunk->m_nID = nID;
        pChunk->m_nSize = nChunkSize;
        pChunk->m_pData = const_cast<char *>(m_pCursor);
        pChunk->m_bOwner = false;
        pChunk->m_nOffset = nOffset + e_recordHeaderSize;
        m_pCursor += nChunkSize;
    }
    m_pCursor = nullptr;
    return true;
}

bool tz_cChunkTable::load(cchar * szPath)
{
    tz_cFile file;
    if (!file.open(szPath, "rb"))
    {
        clear();
        m_strError.printf("cannot open \"%s\" as a regular file", szPath ? szPath : "(null)");
        return false;
    }
    if (file.size() > tz_cFile::e_maxReadSize)
    {
        clear();
        m_strError.printf("\"%s\" holds %lld bytes, more than %lld", szPath, file.size(), tz_cFile::e_maxReadSize);
        return false;
    }
    return load(file);
}

bool tz_cChunkTable::load(tz_cFile & file)
{
    clear();
    m_strError.set(nullptr);
    if (!file.isOpen())
    {
        m_strError.set("the file is not open");
        return false;
    }
    m_pFile = &file;
    struct sReset
    {
        tz_cFile *& m_p;
        ~sReset() { m_p = nullptr; }
    } reset{m_pFile};

    const long long nStart = file.tell();
    uchar aHeader[e_headerSize];
    if (file.read(aHeader, int(e_headerSize)) != int(e_headerSize))
    {
        m_strError.printf("header at offset %lld: fewer than %zu bytes", nStart, e_headerSize);
        return false;
    }
    if (qoru_readU32LE(aHeader) != e_magic)
    {
        m_strError.printf("magic 0x%08X at offset %lld is not 0x%08X", qoru_readU32LE(aHeader), nStart, e_magic);
        return false;
    }
    m_nSignature = qoru_readU32LE(aHeader + 4);
    m_nVersion = qoru_readU32LE(aHeader + 8);
    const uint nCount = qoru_readU32LE(aHeader + 12);
    for (uint i = 0; i < nCount; ++i)
    {
        const long long nOffset = file.tell();
        uchar aRecord[e_recordHeaderSize];
        if (file.read(aRecord, int(e_recordHeaderSize)) != int(e_recordHeaderSize))
        {
            m_strError.printf("chunk %u of %u at offset %lld: the record header is cut short", i, nCount, nOffset);
            return false;
        }
        const uint nID = qoru_readU32LE(aRecord);
        const uint nChunkSize = qoru_readU32LE(aRecord + 4);
        // The file must hold the data before anything is allocated for it.
        const long long nLeft = file.remaining();
        if (static_cast<long long>(nChunkSize) > nLeft || nChunkSize > uint(INT32_MAX))
        {
            m_strError.printf("chunk %u of %u (id 0x%08X) at offset %lld declares %u bytes, %lld remain", i, nCount,
                              nID, nOffset, nChunkSize, nLeft);
            return false;
        }
        tz_sChunk * pChunk = new (std::nothrow) tz_sChunk;
        if (!pChunk || !m_lChunk.add(pChunk, true))
        {
            delete pChunk;
            m_strError.printf("chunk %u at offset %lld: out of memory", i, nOffset);
            return false;
        }
        pChunk->m_nID = nID;
        pChunk->m_nSize = nChunkSize;
        pChunk->m_bOwner = true;
        pChunk->m_nOffset = size_t(nOffset - nStart) + e_recordHeaderSize;
        // malloc(0) may give null: keep one byte so that an empty chunk still has data.
        pChunk->m_pData = static_cast<char *>(std::malloc(nChunkSize ? nChunkSize : 1));
        if (!pChunk->m_pData)
        {
            m_strError.printf("chunk %u at offset %lld: cannot allocate %u bytes", i, nOffset, nChunkSize);
            return false;
        }
        if (nChunkSize && file.read(pChunk->m_pData, int(nChunkSize)) != int(nChunkSize))
        {
            m_strError.printf("chunk %u at offset %lld: the data is cut short", i, nOffset);
            return false;
        }
    }
    return true;
}

bool tz_cChunkTable::addChunk(uint nID, bool bOwner)
{
    tz_sChunk * pChunk = new (std::nothrow) tz_sChunk;
    if (!pChunk)
        return false;
    pChunk->m_nID = nID;
    pChunk->m_bOwner = bOwner;
    if (!m_lChunk.add(pChunk, true))
    {
        delete pChunk;
        return false;
    }
    m_pLastChunk = pChunk;
    return true;
}

bool tz_cChunkTable::append(const void * pSource, size_t nSize)
{
    if (!pSource || !m_pLastChunk)
        return false;
    if (nSize == 0)
        return true;
    const size_t nOld = m_pLastChunk->m_nSize;
    if (nSize > size_t(UINT32_MAX) - nOld)
        return false;
    char * pNew = static_cast<char *>(std::malloc(nOld + nSize));
    if (!pNew)
        return false;
    if (nOld)
        std::memcpy(pNew, m_pLastChunk->m_pData, nOld);
    std::memcpy(pNew + nOld, pSource, nSize);
    if (m_pLastChunk->m_bOwner)
        std::free(m_pLastChunk->m_pData);
    m_pLastChunk->m_pData = pNew;
    m_pLastChunk->m_bOwner = true;
    m_pLastChunk->m_nSize = uint(nOld + nSize);
    return true;
}

bool tz_cChunkTable::saveToMemory(char ** ppData, size_t * pnSize) const
{
    *ppData = nullptr;
    *pnSize = 0;
    size_t nTotal = e_headerSize;
    for (uint i = 0; i < getNbChunk(); ++i)
    {
        const tz_sChunk * p = chunkAt(i);
        if (p->m_nSize && !p->m_pData)
            return false;
        nTotal += e_recordHeaderSize + p->m_nSize;
    }
    char * pImage = static_cast<char *>(std::malloc(nTotal));
    if (!pImage)
        return false;
    qoru_writeU32LE(pImage, m_nMagic);
    qoru_writeU32LE(pImage + 4, m_nSignature);
    qoru_writeU32LE(pImage + 8, m_nVersion);
    qoru_writeU32LE(pImage + 12, getNbChunk());
    char * pOut = pImage + e_headerSize;
    for (uint i = 0; i < getNbChunk(); ++i)
    {
        const tz_sChunk * p = chunkAt(i);
        qoru_writeU32LE(pOut, p->m_nID);
        qoru_writeU32LE(pOut + 4, p->m_nSize);
        if (p->m_nSize)
            std::memcpy(pOut + e_recordHeaderSize, p->m_pData, p->m_nSize);
        pOut += e_recordHeaderSize + p->m_nSize;
    }
    *ppData = pImage;
    *pnSize = nTotal;
    return true;
}

bool tz_cChunkTable::save(cchar * szPath) const
{
    char * pImage = nullptr;
    size_t nSize = 0;
    if (!szPath || !saveToMemory(&pImage, &nSize))
        return false;
    // Written whole to a temporary file beside the path, then renamed over it: a failed save
    // leaves what was there.
    const bool bOk = qoru_writeFile(szPath, pImage, nSize, nullptr, nullptr);
    std::free(pImage);
    return bOk;
}
