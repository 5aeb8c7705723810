#include "tz_cChunkedFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

// The write tree: a chunk holds raw blocks and child chunks in the order they were written.
struct tz_cChunkedFile::sNode
{
    uint m_nID = 0;
    uint m_nSize = 0;
    uint m_nNbSub = 0;
    sNode * m_pParent = nullptr;
    struct sItem
    {
        std::vector<uchar> m_raw;
        std::unique_ptr<sNode> m_pChild;
    };
    std::vector<sItem> m_items;
};

tz_cChunkedFile::tz_cChunkedFile()
    : m_bHeader(false), m_nID(0), m_nSize(0), m_nNbSubChunk(0), m_nHeaderOffset(0), m_pRoot(nullptr),
      m_pCurrent(nullptr), m_nClosedSize(0), m_nClosedNbSub(0)
{
    resetWrite();
}

tz_cChunkedFile::tz_cChunkedFile(cchar * szPath, cchar * szMode) : tz_cChunkedFile()
{
    tz_cChunkedFile::open(szPath, szMode);
}

tz_cChunkedFile::~tz_cChunkedFile() { delete m_pRoot; }

void tz_cChunkedFile::resetWrite()
{
    delete m_pRoot;
    m_pRoot = new (std::nothrow) sNode;
    m_pCurrent = m_pRoot;
    m_nClosedSize = 0;
    m_nClosedNbSub = 0;
}

bool tz_cChunkedFile::open(cchar * szPath, cchar * szMode)
{
    m_bHeader = false;
    m_nID = m_nSize = m_nNbSubChunk = 0;
    m_nHeaderOffset = 0;
    m_strError.set(nullptr);
    resetWrite();
    return tz_cFile::open(szPath, szMode);
}

uint tz_cChunkedFile::readHeader()
{
    m_bHeader = false;
    m_nID = m_nSize = m_nNbSubChunk = 0;
    m_nHeaderOffset = tell();
    uint nID, nSize, nNbSub;
    if (!readU32(&nID) || !readU32(&nSize) || !readU32(&nNbSub))
        return 0;
    m_nID = nID;
    m_nSize = nSize;
    m_nNbSubChunk = nNbSub;
    m_bHeader = true;
    return nID;
}

bool tz_cChunkedFile::skipPayload()
{
    if (!m_bHeader || m_nSize <= e_headerSize)
        return false;
    const long long nPayload = static_cast<long long>(m_nSize) - e_headerSize;
    if (nPayload > remaining())
        return false;
    return seek(nPayload, 1);
}

// ---- walking ----------------------------------------------------------------------------

namespace
{
// Reads the 12-byte header at nPos; false when the file does not hold it.
bool headerAt(tz_cFile & file, long long nPos, uint * pnID, uint * pnSize, uint * pnSub)
{
    if (!file.seek(nPos, 0))
        return false;
    return file.readU32(pnID) && file.readU32(pnSize) && file.readU32(pnSub);
}

// Raw bytes a chunk may hold before its first child that findChildren looks through.
constexpr long long e_maxRawPrefix = 4096;
} // namespace

bool tz_cChunkedFile::findChildren(long long nPayload, long long nEnd, uint nCount, long long * pnFirst)
{
    // From each candidate start, follow well-formed chunks one after another; the children start
    // where exactly nCount of them end at nEnd. Walks from different starts that meet share
    // their rest, so each offset is read once: a bit per payload byte says it was reached, and
    // every walk keeps its offsets (ascending, 4 bytes each, relative to the payload) with the
    // number of chunks from its first offset to nEnd (-1 when it never gets there).
    struct sWalk
    {
        std::vector<uint> m_anOffset;
        long long m_nCount;
    };
    const unsigned long long nSpan = static_cast<unsigned long long>(nEnd - nPayload);
    std::vector<unsigned long long> abReached((nSpan + 63) / 64, 0);
    std::vector<sWalk> walks;
    const long long nLast = nEnd - static_cast<long long>(e_headerSize) * nCount;
    for (long long p = nPayload; p <= nLast && p - nPayload <= e_maxRawPrefix; ++p)
    {
        sWalk walk;
        long long nTail = -1; // chunks from where the walk stopped to nEnd
        long long q = p;
        for (;;)
        {
            if (q == nEnd)
            {
                nTail = 0;
                break;
            }
            const unsigned long long r = static_cast<unsigned long long>(q - nPayload);
            if (abReached[r / 64] >> (r % 64) & 1)
            {
                // An earlier walk passed here: its count from this offset is this walk's rest.
                for (const sWalk & w : walks)
                {
                    const auto it = std::lower_bound(w.m_anOffset.begin(), w.m_anOffset.end(), uint(r));
                    if (it != w.m_anOffset.end() && *it == uint(r))
                    {
                        nTail = w.m_nCount < 0 ? -1 : w.m_nCount - (it - w.m_anOffset.begin());
                        break;
                    }
                }
                break;
            }
            uint nID, nSize, nSub;
            if (nEnd - q < e_headerSize || !headerAt(*this, q, &nID, &nSize, &nSub) || nSize < e_headerSize ||
                static_cast<long long>(nSize) > nEnd - q)
                break;
            walk.m_anOffset.push_back(uint(r));
            q += nSize;
        }
        walk.m_nCount = nTail < 0 ? -1 : nTail + static_cast<long long>(walk.m_anOffset.size());
        if (walk.m_nCount == static_cast<long long>(nCount))
        {
            *pnFirst = p;
            return true;
        }
        for (uint r : walk.m_anOffset)
            abReached[r / 64] |= 1ull << (r % 64);
        if (!walk.m_anOffset.empty())
            walks.push_back(std::move(walk));
    }
    return false;
}

bool tz_cChunkedFile::walkRange(long long nStart, long long nEnd, int nDepth, pfnVisit pfn, void * pUser)
{
    long long nPos = nStart;
    while (nPos < nEnd)
    {
        uint nID, nSize, nSub;
        if (nEnd - nPos < e_headerSize || !headerAt(*this, nPos, &nID, &nSize, &nSub))
        {
            m_strError.printf("%lld bytes at offset %lld (depth %d) are too few for a chunk header", nEnd - nPos, nPos,
                              nDepth);
            return false;
        }
        if (nSize < e_headerSize || static_cast<long long>(nSize) > nEnd - nPos)
        {
            m_strError.printf("chunk 0x%08X at offset %lld (depth %d) declares %u bytes, %lld remain", nID, nPos,
                              nDepth, nSize, nEnd - nPos);
            return false;
        }
        const long long nPayload = nPos + e_headerSize;
        const long long nChunkEnd = nPos + nSize;
        tz_sChunkInfo info;
        info.m_nID = nID;
        info.m_nSize = nSize;
        info.m_nNbSubChunk = nSub;
        info.m_nOffset = nPos;
        info.m_nDepth = nDepth;
        long long nFirst = nChunkEnd;
        const bool bChildren = nSub > 0 && nDepth + 1 < e_maxWalkDepth &&
                               static_cast<long long>(nSub) <= (nChunkEnd - nPayload) / e_headerSize &&
                               findChildren(nPayload, nChunkEnd, nSub, &nFirst);
        if (!bChildren)
            nFirst = nChunkEnd;
        info.m_nRawBefore = nFirst - nPayload;
        info.m_bChildren = bChildren;
        if (pfn)
            pfn(pUser, info);
        if (bChildren && !walkRange(nFirst, nChunkEnd, nDepth + 1, pfn, pUser))
            return false;
        nPos = nChunkEnd;
    }
    return true;
}

bool tz_cChunkedFile::walk(pfnVisit pfn, void * pUser)
{
    m_strError.set(nullptr);
    m_bHeader = false;
    if (!isOpen())
    {
        m_strError.set("the file is not open");
        return false;
    }
    const long long nSize = size();
    const bool bOk = walkRange(0, nSize, 0, pfn, pUser);
    seek(0, 2);
    return bOk;
}

// ---- writing ----------------------------------------------------------------------------

bool tz_cChunkedFile::openChunk(uint nID)
{
    if (!m_pCurrent)
        return false;
    std::unique_ptr<sNode> pNode(new (std::nothrow) sNode);
    if (!pNode)
        return false;
    pNode->m_nID = nID;
    pNode->m_pParent = m_pCurrent;
    sNode * pRaw = pNode.get();
    m_pCurrent->m_items.emplace_back();
    m_pCurrent->m_items.back().m_pChild = std::move(pNode);
    m_pCurrent = pRaw;
    return true;
}

bool tz_cChunkedFile::writeData(size_t nSize, const void * pData)
{
    if (!m_pCurrent || m_pCurrent == m_pRoot || (!pData && nSize))
        return false;
    sNode::sItem item;
    if (nSize)
        item.m_raw.assign(static_cast<const uchar *>(pData), static_cast<const uchar *>(pData) + nSize);
    m_pCurrent->m_items.push_back(std::move(item));
    return true;
}

bool tz_cChunkedFile::closeChunk()
{
    if (!m_pCurrent || m_pCurrent == m_pRoot)
        return false;
    unsigned long long nSize = e_headerSize;
    uint nSub = 0;
    for (const sNode::sItem & item : m_pCurrent->m_items)
    {
        if (item.m_pChild)
        {
            nSize += item.m_pChild->m_nSize;
            ++nSub;
        }
        else
            nSize += item.m_raw.size();
    }
    if (nSize > 0xFFFFFFFFull)
        return false;
    m_pCurrent->m_nSize = uint(nSize);
    m_pCurrent->m_nNbSub = nSub;
    m_nClosedSize = uint(nSize);
    m_nClosedNbSub = nSub;
    m_pCurrent = m_pCurrent->m_pParent;
    return true;
}

bool tz_cChunkedFile::writeNode(const sNode * pNode)
{
    if (!writeU32(pNode->m_nID) || !writeU32(pNode->m_nSize) || !writeU32(pNode->m_nNbSub))
        return false;
    for (const sNode::sItem & item : pNode->m_items)
    {
        if (item.m_pChild)
        {
            if (!writeNode(item.m_pChild.get()))
                return false;
        }
        else if (!item.m_raw.empty() && write(item.m_raw.data(), int(item.m_raw.size())) != int(item.m_raw.size()))
            return false;
    }
    return true;
}

bool tz_cChunkedFile::save()
{
    // Every chunk must be closed: an open one has no size yet.
    if (!isOpen() || !m_pRoot || m_pCurrent != m_pRoot)
        return false;
    for (const sNode::sItem & item : m_pRoot->m_items)
        if (item.m_pChild && !writeNode(item.m_pChild.get()))
            return false;
    return std::fflush(m_pFile) == 0;
}
