#include "qor_cList.h"

#include <climits>
#include <cstdlib>
#include <cstring>

qor_cList::qor_cList() : m_nCount(0), m_ppItem(nullptr), m_pbOwner(nullptr), m_ppfnDelete(nullptr), m_nCapacity(0) {}

qor_cList::~qor_cList()
{
    clear();
    std::free(m_ppItem);
    std::free(m_pbOwner);
    std::free(m_ppfnDelete);
}

bool qor_cList::addRaw(void * p, bool bOwner, Deleter pfnDelete)
{
    if (m_nCount + 1 > m_nCapacity)
    {
        // Allocate all three arrays before touching any, so a failure leaves the list unchanged.
        const int nCapacity = grownCapacity(m_nCapacity);
        if (nCapacity <= m_nCapacity)
            return false;
        void ** ppItem = static_cast<void **>(std::malloc(sizeof(void *) * size_t(nCapacity)));
        uchar * pbOwner = static_cast<uchar *>(std::malloc(size_t(nCapacity)));
        Deleter * ppfnDelete = static_cast<Deleter *>(std::malloc(sizeof(Deleter) * size_t(nCapacity)));
        if (!ppItem || !pbOwner || !ppfnDelete)
        {
            std::free(ppItem);
            std::free(pbOwner);
            std::free(ppfnDelete);
            return false;
        }
        if (m_nCount > 0)
        {
            std::memcpy(ppItem, m_ppItem, sizeof(void *) * m_nCount);
            std::memcpy(pbOwner, m_pbOwner, m_nCount);
            std::memcpy(ppfnDelete, m_ppfnDelete, sizeof(Deleter) * m_nCount);
        }
        std::free(m_ppItem);
        std::free(m_pbOwner);
        std::free(m_ppfnDelete);
        m_ppItem = ppItem;
        m_pbOwner = pbOwner;
        m_ppfnDelete = ppfnDelete;
        m_nCapacity = nCapacity;
    }
    m_ppItem[m_nCount] = p;
    m_pbOwner[m_nCount] = (bOwner && pfnDelete) ? 1 : 0;
    m_ppfnDelete[m_nCount] = pfnDelete;
    ++m_nCount;
    return true;
}

int qor_cList::grownCapacity(int nCapacity)
{
    constexpr int nBlock = 32;
    if (nCapacity < nBlock)
        return nBlock;
    if (nCapacity <= INT_MAX / 2)
        return nCapacity * 2;
    // The last doublings would pass the largest int: whole blocks up to it.
    const int nRoom = INT_MAX - nCapacity;
    return nRoom >= nBlock ? nCapacity + nBlock : nCapacity;
}

void * qor_cList::detach(int iIndex)
{
    if (iIndex < 0 || iIndex >= m_nCount)
        return nullptr;
    void * p = m_ppItem[iIndex];
    const int nTail = m_nCount - iIndex - 1;
    std::memmove(m_ppItem + iIndex, m_ppItem + iIndex + 1, sizeof(void *) * nTail);
    std::memmove(m_pbOwner + iIndex, m_pbOwner + iIndex + 1, nTail);
    std::memmove(m_ppfnDelete + iIndex, m_ppfnDelete + iIndex + 1, sizeof(Deleter) * nTail);
    --m_nCount;
    return p;
}

bool qor_cList::remove(int iIndex)
{
    if (iIndex < 0 || iIndex >= m_nCount)
        return false;
    const bool bOwner = m_pbOwner[iIndex] != 0;
    const Deleter pfnDelete = m_ppfnDelete[iIndex];
    void * p = detach(iIndex);
    // Delete after the gap is closed, so a destructor that looks at the list sees it consistent.
    if (bOwner && pfnDelete && p)
        pfnDelete(p);
    return true;
}

bool qor_cList::removeItem(const void * p)
{
    return remove(find(p));
}

int qor_cList::find(const void * p) const
{
    for (int i = 0; i < m_nCount; ++i)
        if (m_ppItem[i] == p)
            return i;
    return -1;
}

void qor_cList::clear()
{
    // Items are deleted in order; the list is emptied before a destructor could reenter it.
    const int nCount = m_nCount;
    void ** ppItem = m_ppItem;
    uchar * pbOwner = m_pbOwner;
    Deleter * ppfnDelete = m_ppfnDelete;
    m_nCount = 0;
    m_nCapacity = 0;
    m_ppItem = nullptr;
    m_pbOwner = nullptr;
    m_ppfnDelete = nullptr;
    for (int i = 0; i < nCount; ++i)
        if (pbOwner[i] && ppfnDelete[i] && ppItem[i])
            ppfnDelete[i](ppItem[i]);
    std::free(ppItem);
    std::free(pbOwner);
    std::free(ppfnDelete);
}
