#include <gtest/gtest.h>

#include "qor_cList.h"

namespace
{
struct Tracked
{
    explicit Tracked(int * pnDeleted) : m_pnDeleted(pnDeleted) {}
    ~Tracked() { ++*m_pnDeleted; }
    int * m_pnDeleted;
};
} // namespace

TEST(qor_cList, GrowsInBlocksOf32AndKeepsInsertionOrder)
{
    qor_cList list;
    int aValues[70];
    for (int i = 0; i < 70; ++i)
    {
        ASSERT_TRUE(list.add(&aValues[i], false));
        EXPECT_EQ(list.getCapacity(), (i / 32 + 1) * 32) << "after adding item " << i;
    }
    EXPECT_EQ(list.getNbItem(), 70);
    for (int i = 0; i < 70; ++i)
        EXPECT_EQ(list.get<int>(i), &aValues[i]);
    EXPECT_EQ(list.getItem(70), nullptr);
    EXPECT_EQ(list.getItem(-1), nullptr);
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
