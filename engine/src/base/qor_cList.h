// qor_cList: the one container for pointers to engine objects.
//
// Items are kept in insertion order. Each item carries an owner flag: owned
// items are deleted when removed, when the list is cleared and when the list
// is destroyed. Storage is a whole number of blocks of 32 entries and doubles
// when full, so appending n items copies O(n) entries in all (a scene file may
// hold millions of chunks); a failed growth leaves the list exactly as it was.
//
// Items are stored as void pointers and deleted through a per-item deleter
// recorded by the typed add(), so a list of any engine type deletes with the
// right destructor.
#pragma once

#include "qor_types.h"

class qor_cList
{
public:
    typedef void (*Deleter)(void *);

    qor_cList();
    ~qor_cList();
    qor_cList(const qor_cList &) = delete;
    qor_cList & operator=(const qor_cList &) = delete;

    // Appends p. bOwner: the list deletes p on removal, clear or destruction.
    template <typename T> bool add(T * p, bool bOwner)
    {
        return addRaw(const_cast<void *>(static_cast<const void *>(p)), bOwner, bOwner ? &deleteAs<T> : nullptr);
    }
    bool addRaw(void * p, bool bOwner, Deleter pfnDelete);

    // Removes the item at index, deleting it when owned; the gap closes, order kept.
    bool remove(int iIndex);
    // Removes the first item equal to p (deleting it when owned).
    bool removeItem(const void * p);
    // Takes the item at index out of the list without deleting it.
    void * detach(int iIndex);
    // Deletes owned items and empties the list.
    void clear();

    int getNbItem() const { return m_nCount; }
    int getCapacity() const { return m_nCapacity; }
    void * getItem(int iIndex) const { return (iIndex >= 0 && iIndex < m_nCount) ? m_ppItem[iIndex] : nullptr; }
    template <typename T> T * get(int iIndex) const { return static_cast<T *>(getItem(iIndex)); }
    bool isOwner(int iIndex) const { return iIndex >= 0 && iIndex < m_nCount && m_pbOwner[iIndex] != 0; }
    int find(const void * p) const;

    // The growth rule: a full list of nCapacity entries grows to 32 entries, then to twice its
    // capacity (always a multiple of 32); near the largest int it grows one block at a time,
    // and returns nCapacity itself when not even one more block fits.
    static int grownCapacity(int nCapacity);

private:
    template <typename T> static void deleteAs(void * p) { delete static_cast<T *>(p); }

    int m_nCount;
    void ** m_ppItem;
    uchar * m_pbOwner;
    Deleter * m_ppfnDelete;
    int m_nCapacity;
};
