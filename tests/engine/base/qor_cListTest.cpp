#include <gtest/gtest.h>

#include "qor_cList.h"

#include <climits>
#include <vector>

namespace
{
struct Tracked
{
    explicit Tracked(int * pnDeleted) : m_pnDeleted(pnDeleted) {}
    ~Tracked() { ++*m_pnDeleted; }
    int * m_pnDeleted;
};
} // namespace

TEST(qor_cList, DoublesItsBlocksOf32AndKeepsInsertionOrder)
{
    qor_cList list;
    int aValues[200];
    for (int i = 0; i < 200; ++i)
    {
        ASSERT_TRUE(list.add(&aValues[i], false));
        // 32 entries, then twice as many each time the list is full.
        const int nCount = i + 1;
        const int nExpected = nCount <= 32 ? 32 : nCount <= 64 ? 64 : nCount <= 128 ? 128 : 256;
        EXPECT_EQ(list.getCapacity(), nExpected) << "after adding item " << i;
    }
    EXPECT_EQ(list.getNbItem(), 200);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(list.get<int>(i), &aValues[i]);
    EXPECT_EQ(list.getItem(200), nullptr);
    EXPECT_EQ(list.getItem(-1), nullptr);

    // Near the largest int the doubling gives way to single blocks, then to no growth at all.
    const struct
    {
        int m_nFrom;
        int m_nTo;
    } aCase[] = {
        {0, 32},
        {32, 64},
        {96, 192},
        {1 << 29, 1 << 30},
        {1 << 30, (1 << 30) + 32},
        {INT_MAX - 63, INT_MAX - 31},
        {INT_MAX - 31, INT_MAX - 31},
    };
    for (const auto & c : aCase)
        EXPECT_EQ(qor_cList::grownCapacity(c.m_nFrom), c.m_nTo) << "from " << c.m_nFrom;
}

// A million appends: growing by a fixed block copies about n^2 / 64 entries (minutes at this
// size), doubling about 2n; the ctest timeout catches the former.
TEST(qor_cList, AMillionAppendsKeepTheirOrderAndOwnerFlags)
{
    const int n = 1000000;
    std::vector<int> values(n);
    const qor_cList::Deleter pfnKeep = [](void *) {}; // the values live in the vector
    qor_cList list;
    for (int i = 0; i < n; ++i)
        ASSERT_TRUE(list.addRaw(&values[size_t(i)], i % 3 == 0, pfnKeep));
    ASSERT_EQ(list.getNbItem(), n);
    EXPECT_GE(list.getCapacity(), n);
    EXPECT_EQ(list.getCapacity() % 32, 0);
    for (int i : {0, 1, 2, 31, 32, 33, 65535, 65536, 999998, 999999})
    {
        EXPECT_EQ(list.get<int>(i), &values[size_t(i)]) << i;
        EXPECT_EQ(list.isOwner(i), i % 3 == 0) << i;
    }
}

TEST(qor_cList, RemovalDeletesOnlyOwnedItemsAndClosesTheGap)
{
    int nDeleted = 0;
    Tracked * pA = new Tracked(&nDeleted);
    Tracked b(&nDeleted);
    Tracked * pC = new Tracked(&nDeleted);
    {
        qor_cList list;
        list.add(pA, true);
        list.add(&b, false);
        list.add(pC, true);

        EXPECT_TRUE(list.remove(0));
        EXPECT_EQ(nDeleted, 1);
        EXPECT_EQ(list.getNbItem(), 2);
        EXPECT_EQ(list.get<Tracked>(0), &b);
        EXPECT_EQ(list.get<Tracked>(1), pC);

        EXPECT_TRUE(list.removeItem(&b));
        EXPECT_EQ(nDeleted, 1) << "a borrowed item is never deleted";
        EXPECT_FALSE(list.remove(5));
        EXPECT_EQ(list.getNbItem(), 1);
    }
    EXPECT_EQ(nDeleted, 2) << "destroying the list deletes the owned rest";
}

TEST(qor_cList, ClearDeletesOwnedAndDetachHandsOver)
{
    int nDeleted = 0;
    qor_cList list;
    Tracked * pKeep = new Tracked(&nDeleted);
    list.add(new Tracked(&nDeleted), true);
    list.add(pKeep, true);
    Tracked * pOut = static_cast<Tracked *>(list.detach(1));
    EXPECT_EQ(pOut, pKeep);
    list.clear();
    EXPECT_EQ(nDeleted, 1);
    EXPECT_EQ(list.getNbItem(), 0);
    EXPECT_TRUE(list.add(pKeep, true)) << "a cleared list grows again";
    EXPECT_EQ(list.find(pKeep), 0);
}
