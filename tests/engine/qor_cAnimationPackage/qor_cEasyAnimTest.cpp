#include <gtest/gtest.h>

#include "qor_allocHooks.h"
#include "qor_animTestUtil.h"
#include "qor_cEasyAnim.h"
#include "qor_testUtil.h"

#include <cmath>
#include <string>

namespace
{
// Keys at 0 and 30 with values equal to their times, so the value read is the controller time.
void keys0And30(qor_cEasyAnim & anim, int iEndMode)
{
    ASSERT_TRUE(anim.addKey(makeKey<qor_cLinearKey>(0, {0}), true));
    ASSERT_TRUE(anim.addKey(makeKey<qor_cLinearKey>(30, {30}), true));
    ASSERT_TRUE(anim.initKeyArray());
    anim.m_iEndMode = iEndMode;
}

float advanceTo(qor_cEasyAnim & anim, float fClock)
{
    const float dt = fClock - anim.m_fTime;
    anim.advance(&dt);
    return anim.evaluate()->m_afValue[0];
}
} // namespace

TEST(qor_cEasyAnim, StartsEmptyHoldingWithAFourComponentOutput)
{
    qor_cEasyAnim anim;
    EXPECT_EQ(anim.m_fTime, 0.0f);
    EXPECT_EQ(anim.m_fLength, 0.0f);
    EXPECT_EQ(anim.m_iEndMode, 1);
    EXPECT_EQ(anim.getController(), nullptr);
    EXPECT_EQ(anim.getOutput()->m_nValue, 4u);
    EXPECT_TRUE(anim.initKeyArray()) << "nothing to build";
}

TEST(qor_cEasyAnim, LoopFoldsTheClockByTheLength)
{
    qor_cEasyAnim anim;
    keys0And30(anim, 0);
    EXPECT_EQ(advanceTo(anim, 45), 15.0f);
    EXPECT_EQ(anim.m_fTime, 15.0f);
    EXPECT_EQ(advanceTo(anim, 30), 30.0f) << "exactly the length is not beyond it";
    EXPECT_EQ(anim.m_fTime, 30.0f);
    const float dt = 30.0f;
    anim.advance(&dt);
    EXPECT_EQ(anim.m_fTime, 0.0f) << "60 mod 30";
    anim.m_fTime = -10.0f;
    EXPECT_EQ(advanceTo(anim, -5), 0.0f) << "a negative clock is not beyond the length";
    EXPECT_EQ(anim.m_fTime, -5.0f);
}

TEST(qor_cEasyAnim, HoldStopsAtTheLength)
{
    qor_cEasyAnim anim;
    keys0And30(anim, 1);
    EXPECT_EQ(advanceTo(anim, 45), 30.0f);
    EXPECT_EQ(anim.m_fTime, 30.0f);
    const float dt = 100.0f;
    anim.advance(&dt);
    EXPECT_EQ(anim.m_fTime, 30.0f);
    EXPECT_EQ(anim.evaluate()->m_afValue[0], 30.0f) << "keeps giving the last key's values";
}

TEST(qor_cEasyAnim, BackAndForthFoldsOnlyWhatTheControllerSees)
{
    qor_cEasyAnim anim;
    keys0And30(anim, 2);
    EXPECT_EQ(advanceTo(anim, 45), 15.0f);
    EXPECT_EQ(anim.m_fTime, 45.0f) << "the clock itself is not changed";
    EXPECT_EQ(advanceTo(anim, 75), 15.0f) << "75 mod 60 = 15";
    EXPECT_EQ(advanceTo(anim, 50), 10.0f);
    EXPECT_EQ(advanceTo(anim, 130), 10.0f) << "130 mod 60 = 10";
    EXPECT_EQ(advanceTo(anim, 60), 0.0f);
    EXPECT_EQ(advanceTo(anim, 30), 30.0f);
    // The remainder keeps the dividend's sign: -15 stays -15 (before the first key), not 45 -> 15.
    anim.m_fTime = 0.0f;
    EXPECT_EQ(anim.getControllerTime(), 0.0f);
    anim.m_fTime = -15.0f;
    EXPECT_EQ(anim.getControllerTime(), -15.0f);
    EXPECT_EQ(anim.evaluate()->m_afValue[0], 0.0f);
}

TEST(qor_cEasyAnim, LengthZeroKeepsTheClockAtZeroInLoopAndBackAndForth)
{
    for (int iMode : {0, 2})
    {
        qor_cEasyAnim anim;
        ASSERT_TRUE(anim.addKey(makeKey<qor_cLinearKey>(0, {7}), true));
        anim.m_iEndMode = iMode;
        const float dt = 2.5f;
        anim.advance(&dt);
        EXPECT_EQ(anim.m_fTime, 0.0f) << "mode " << iMode;
        EXPECT_EQ(anim.getControllerTime(), 0.0f);
        EXPECT_EQ(anim.evaluate()->m_afValue[0], 7.0f);

        qor_cEasyAnim empty;
        empty.m_iEndMode = iMode;
        empty.advance(&dt);
        EXPECT_EQ(empty.m_fTime, 0.0f);
        EXPECT_FALSE(std::isnan(empty.getControllerTime()));
    }
}

TEST(qor_cEasyAnim, ATrackWithoutKeysReturnsItsOutputUnchanged)
{
    for (int iMode : {0, 1, 2, 3})
    {
        qor_cEasyAnim anim;
        anim.m_iEndMode = iMode;
        anim.m_key.m_afValue[0] = 1.0f;
        anim.m_key.m_afValue[3] = 0.5f;
        const float dt = 12.0f;
        anim.advance(&dt);
        anim.advance(&dt);
        qor_cKey * pOut = anim.evaluate();
        EXPECT_EQ(pOut, anim.getOutput());
        EXPECT_EQ(pOut->m_afValue[0], 1.0f);
        EXPECT_EQ(pOut->m_afValue[3], 0.5f);
        EXPECT_EQ(pOut->m_nValue, 4u);
    }
}

TEST(qor_cEasyAnim, KeysMustComeInStrictlyIncreasingTime)
{
    qor_cEasyAnim anim;
    ASSERT_TRUE(anim.addKey(makeKey<qor_cLinearKey>(10, {1}), true));
    qor_cLinearKey * pSame = makeKey<qor_cLinearKey>(10, {2});
    EXPECT_FALSE(anim.addKey(pSame, true));
    EXPECT_EQ(anim.getController()->getNbKeys(), 1);
    qor_cLinearKey * pEarlier = makeKey<qor_cLinearKey>(5, {2});
    EXPECT_FALSE(anim.addKey(pEarlier, true));
    EXPECT_EQ(anim.m_fLength, 10.0f);
    // Refused keys stay with the caller.
    delete pSame;
    delete pEarlier;
    EXPECT_TRUE(anim.addKey(makeKey<qor_cLinearKey>(10.5f, {3}), true));
    EXPECT_EQ(anim.m_fLength, 10.5f);
}

TEST(qor_cEasyAnim, TheFirstKeyChoosesTheControllerAndTheOutputsCount)
{
    qor_cEasyAnim anim;
    ASSERT_TRUE(anim.addKey(makeKey<qor_cTcbKey>(0, {1, 2}), true));
    EXPECT_EQ(anim.getController()->getType(), qor_cKey::e_key_tcb);
    EXPECT_EQ(anim.getOutput()->m_nValue, 2u);
    EXPECT_TRUE(anim.addKey(makeKey<qor_cLinearKey>(2, {3, 4, 5}), true)) << "other types are appended";
    EXPECT_EQ(anim.getController()->getType(), qor_cKey::e_key_tcb);
    EXPECT_EQ(anim.getOutput()->m_nValue, 2u);
    EXPECT_EQ(anim.getController()->getNbKeys(), 2);

    qor_cEasyAnim neg;
    ASSERT_TRUE(neg.addKey(makeKey<qor_cLinearKey>(-4, {1}), true));
    EXPECT_EQ(neg.m_fLength, 0.0f) << "the length only grows";
}

TEST(qor_cEasyAnim, StepTrackThroughTheClock)
{
    qor_cEasyAnim anim;
    ASSERT_TRUE(anim.addKey(makeKey<qor_cStepKey>(0, {1}), true));
    ASSERT_TRUE(anim.addKey(makeKey<qor_cStepKey>(1, {0}), true));
    ASSERT_TRUE(anim.initKeyArray());
    EXPECT_EQ(advanceTo(anim, 0.99f), 1.0f);
    EXPECT_EQ(advanceTo(anim, 1.0f), 0.0f);
}

TEST(qor_cEasyAnim, UnknownControllerTypesAreLoggedAndLeaveNoController)
{
    qort::LogCapture log;
    qor_cEasyAnim anim;
    EXPECT_FALSE(anim.createController(qor_cKey::EType(7)));
    EXPECT_EQ(anim.getController(), nullptr);
    std::string text = log.text();
    EXPECT_NE(text.find("bool qor_cEasyAnim::createController(const qor_cKey::EType type)\n"), std::string::npos);
    EXPECT_NE(text.find("if (m_pCtrl == NULL)\n"), std::string::npos);

    qor_cLinearKey key(1);
    key.m_eType = qor_cKey::EType(9);
    EXPECT_FALSE(anim.addKey(&key, true));
    EXPECT_EQ(anim.getController(), nullptr);
    text = log.text();
    const size_t a = text.find("bool qor_cEasyAnim::addKey(qor_cKey * pKey, bool bOwner /* = true */)\n");
    const size_t b = text.find("bool b = createController(pKey->getType());\n");
    ASSERT_NE(a, std::string::npos) << text;
    ASSERT_NE(b, std::string::npos) << text;
    EXPECT_LT(a, b);
    // Two messages of createController, then two of addKey, each after its location line.
    size_t nLoc = 0;
    for (size_t p = text.find("qor_cEasyAnim.cpp\", at line "); p != std::string::npos;
         p = text.find("qor_cEasyAnim.cpp\", at line ", p + 1))
        ++nLoc;
    EXPECT_EQ(nLoc, 6u) << text;
}

TEST(qor_cEasyAnim, ControllerAllocationFailureIsLogged)
{
    qort::LogCapture log;
    qor_cEasyAnim anim;
    qor_cLinearKey * pKey = makeKey<qor_cLinearKey>(0, {1});
    {
        qort::FailNothrowNew fail;
        EXPECT_FALSE(anim.addKey(pKey, true));
    }
    EXPECT_EQ(anim.getController(), nullptr);
    EXPECT_NE(log.text().find("bool b = createController(pKey->getType());\n"), std::string::npos);
    EXPECT_TRUE(anim.addKey(pKey, true)) << "the refused key is still the caller's and can be added again";
}

TEST(qor_cEasyAnim, ARecreatedControllerReplacesTheOldOne)
{
    qor_cEasyAnim anim;
    ASSERT_TRUE(anim.addKey(makeKey<qor_cLinearKey>(0, {1}), true));
    ASSERT_TRUE(anim.createController(qor_cKey::e_key_step));
    EXPECT_EQ(anim.getController()->getType(), qor_cKey::e_key_step);
    EXPECT_EQ(anim.getController()->getNbKeys(), 0);
}

TEST(qor_cEasyAnim, AdvanceAndEvaluateAllocateNothing)
{
    qor_cEasyAnim anim[5];
    for (int e = 0; e <= 4; ++e)
    {
        ASSERT_TRUE(anim[e].createController(qor_cKey::EType(e)));
        for (int i = 0; i < 40; ++i)
            ASSERT_TRUE(anim[e].addKey(makeKey<qor_cTcbKey>(float(i), {float(i), 1, 2}), true));
        ASSERT_TRUE(anim[e].initKeyArray());
        anim[e].m_iEndMode = e % 3;
    }
    const qort::AllocCounter counter;
    const float dt = 0.37f;
    for (int n = 0; n < 500; ++n)
        for (qor_cEasyAnim & a : anim)
        {
            a.advance(&dt);
            a.evaluate();
        }
    EXPECT_EQ(counter.count(), 0);
}
