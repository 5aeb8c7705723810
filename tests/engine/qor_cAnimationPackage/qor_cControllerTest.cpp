#include <gtest/gtest.h>

#include "qor_allocHooks.h"
#include "qor_animTestUtil.h"
#include "qor_cController.h"
#include "qor_testUtil.h"

#include <cmath>
#include <string>

namespace
{
float valueAt(qor_cController & c, float t, uint n = 1)
{
    qor_cKey out = marked(n);
    c.evaluate(t, &out);
    return out.m_afValue[0];
}
} // namespace

// --- The common frame ---------------------------------------------------------------------

TEST(qor_cController, LinearTwoKeysInsideBeforeAndAfter)
{
    auto c = makeTrack<qor_cLinearKey>(qor_cKey::e_key_linear, {0, 2}, {0, 10});
    qor_cKey out = marked();
    c->evaluate(1.0f, &out);
    EXPECT_EQ(out.m_afValue[0], 5.0f);
    EXPECT_EQ(out.m_fTime, -777.0f) << "inside a segment only values are written";
    EXPECT_EQ(out.m_nValue, 4u);
    EXPECT_EQ(out.m_afValue[1], -555.0f) << "the linear method computes the keys' n components";

    c->evaluate(-1.0f, &out);
    EXPECT_EQ(out.m_afValue[0], 0.0f);
    EXPECT_EQ(out.m_fTime, 0.0f) << "before the range the first key is copied, time included";
    EXPECT_EQ(out.m_nValue, 1u);
    EXPECT_EQ(out.m_afValue[1], 0.0f) << "all four values are copied";

    out = marked();
    c->evaluate(3.0f, &out);
    EXPECT_EQ(out.m_afValue[0], 10.0f);
    EXPECT_EQ(out.m_fTime, 2.0f);
    EXPECT_EQ(out.getType(), qor_cKey::e_key_linear);
}

TEST(qor_cController, EveryInnerKeyHitExactlyIsCopied)
{
    // Nine keys with uneven spacing: whatever path the search takes, an exact inner time copies.
    const float at[] = {0, 1, 3, 4, 8, 9, 15, 16, 20};
    std::unique_ptr<qor_cController> c(qor_cController::create(qor_cKey::e_key_smooth));
    for (int i = 0; i < 9; ++i)
        c->addKey(makeKey<qor_cLinearKey>(at[i], {float(i * i)}), true);
    for (int i = 1; i < 8; ++i)
    {
        qor_cKey out = marked();
        c->evaluate(at[i], &out);
        EXPECT_EQ(out.m_fTime, at[i]) << "key " << i;
        EXPECT_EQ(out.m_afValue[0], float(i * i)) << "key " << i;
        EXPECT_EQ(out.m_nValue, 1u);
    }
}

TEST(qor_cController, SearchFindsTheRightSegmentOfFourKeys)
{
    // (0,0) (1,2) (3,6) (4,7) with a second component (10, 20, 0, 5).
    std::unique_ptr<qor_cController> c(qor_cController::create(qor_cKey::e_key_linear));
    c->addKey(makeKey<qor_cLinearKey>(0, {0, 10}), true);
    c->addKey(makeKey<qor_cLinearKey>(1, {2, 20}), true);
    c->addKey(makeKey<qor_cLinearKey>(3, {6, 0}), true);
    c->addKey(makeKey<qor_cLinearKey>(4, {7, 5}), true);
    qor_cKey out = marked();
    c->evaluate(0.5f, &out);
    EXPECT_EQ(out.m_afValue[0], 1.0f);
    EXPECT_EQ(out.m_afValue[1], 15.0f);
    c->evaluate(2.0f, &out);
    EXPECT_EQ(out.m_afValue[0], 4.0f);
    EXPECT_EQ(out.m_afValue[1], 10.0f);
    c->evaluate(3.5f, &out);
    EXPECT_EQ(out.m_afValue[0], 6.5f);
    EXPECT_EQ(out.m_afValue[1], 2.5f);
    EXPECT_EQ(out.m_fTime, -777.0f);
    // The end keys are never probed by the search: their own times are segment ends (s = 0, 1).
    c->evaluate(0.0f, &out);
    EXPECT_EQ(out.m_afValue[0], 0.0f);
    EXPECT_EQ(out.m_fTime, -777.0f);
    c->evaluate(4.0f, &out);
    EXPECT_EQ(out.m_afValue[0], 7.0f);
    EXPECT_EQ(out.m_afValue[1], 5.0f);
    EXPECT_EQ(out.m_fTime, -777.0f);
}

TEST(qor_cController, WithTwoKeysTheFirstKeysTimeIsProbedAndCopied)
{
    // The search body runs once before its test: with two keys mid = 0 is compared exactly.
    auto c = makeTrack<qor_cLinearKey>(qor_cKey::e_key_linear, {1, 3}, {4, 8});
    qor_cKey out = marked();
    c->evaluate(1.0f, &out);
    EXPECT_EQ(out.m_fTime, 1.0f);
    EXPECT_EQ(out.m_afValue[0], 4.0f);
    out = marked();
    c->evaluate(3.0f, &out);
    EXPECT_EQ(out.m_fTime, -777.0f) << "the last key's own time is s = 1 of the segment";
    EXPECT_EQ(out.m_afValue[0], 8.0f);
}

TEST(qor_cController, OneKeyIsCopiedAtAnyTime)
{
    for (qor_cKey::EType e :
         {qor_cKey::e_key_linear, qor_cKey::e_key_smooth, qor_cKey::e_key_hermite, qor_cKey::e_key_tcb})
    {
        auto c = makeTrack<qor_cTcbKey>(e, {5}, {3});
        qor_cKey out = marked();
        c->evaluate(-100.0f, &out);
        EXPECT_EQ(out.m_fTime, 5.0f);
        EXPECT_EQ(out.m_afValue[0], 3.0f);
        EXPECT_EQ(out.getType(), qor_cKey::e_key_tcb) << "the key's type is copied too";
    }
}

TEST(qor_cController, EqualKeyTimesGiveTheValuesOfTheirNeighbours)
{
    // Keys (0, 0) (2, 1) (2, 5) (4, 9): no order check at this level. By hand, with the search
    // of four keys probing key 1 first: t = 1 lies in key 0..1, t = 3 in key 2..3 (d = 2,
    // s = 0.5, Hermite basis 0.5, 0.5, 0.125, -0.125 there), and t = 2 hits key 1 exactly.
    //  - linear: 0.5 and 7;
    //  - smooth: t = 1: m0 = P1 - P0 = 1, m1 = (P2 - P0) * 2 / (2 - 0) = 5, v = 0.5 + 0.125 - 0.625;
    //    t = 3: m0 = (9 - 1) * 2 / (4 - 2) = 8, m1 = 9 - 5 = 4, v = 7 + 1 - 0.5;
    //  - TCB (parameters 0.25: A0 = 1.171875, D0 = 0.421875, A1 = D1 = 0.703125):
    //    t = 1: m0 = (A0 + D0) / 2 = 0.796875, m1 = (1 + 4) * 0.703125 = 3.515625;
    //    t = 3: m0 = 4 * A0 + 4 * D0 = 6.375, m1 = 0.703125 * 4 = 2.8125.
    struct Case
    {
        qor_cKey::EType e;
        float at1, at2, at3;
    } aCase[] = {
        {qor_cKey::e_key_linear, 0.5f, 1.0f, 7.0f},
        {qor_cKey::e_key_smooth, 0.0f, 1.0f, 7.5f},
        {qor_cKey::e_key_tcb, 0.5f + 0.796875f * 0.125f - 3.515625f * 0.125f, 1.0f, 7.0f + (6.375f - 2.8125f) * 0.125f},
    };
    for (const Case & c : aCase)
    {
        auto track = makeTrack<qor_cTcbKey>(c.e, {0, 2, 2, 4}, {0, 1, 5, 9});
        EXPECT_NEAR(valueAt(*track, 1.0f), c.at1, 1e-5f) << "type " << c.e;
        EXPECT_NEAR(valueAt(*track, 2.0f), c.at2, 1e-5f) << "type " << c.e;
        EXPECT_NEAR(valueAt(*track, 3.0f), c.at3, 1e-5f) << "type " << c.e;
    }
}

TEST(qor_cController, NoKeysLeavesTheOutputAndBuildsNoTable)
{
    for (int e = 0; e <= 4; ++e)
    {
        std::unique_ptr<qor_cController> c(qor_cController::create(qor_cKey::EType(e)));
        qor_cKey out = marked();
        c->evaluate(1.0f, &out);
        EXPECT_EQ(out.m_fTime, -777.0f);
        EXPECT_EQ(out.m_afValue[0], -555.0f);
        EXPECT_FALSE(c->hasKeyArray());
    }
    EXPECT_EQ(qor_cController::create(qor_cKey::EType(5)), nullptr);
}

TEST(qor_cController, KeysAddedAfterTheTableAreSearchedOnlyAfterRebuilding)
{
    auto c = makeTrack<qor_cLinearKey>(qor_cKey::e_key_linear, {0, 2}, {0, 10});
    EXPECT_EQ(valueAt(*c, 3), 10.0f) << "the first evaluation builds the table";
    c->addKey(makeKey<qor_cLinearKey>(4, {30}), true);
    EXPECT_EQ(c->getNbKeys(), 3);
    EXPECT_EQ(valueAt(*c, 3), 10.0f) << "the table is not rebuilt: the new key is not seen";
    EXPECT_TRUE(c->initKeyArray());
    EXPECT_EQ(valueAt(*c, 3), 20.0f);
}

TEST(qor_cController, InitKeyArrayFailureIsLogged)
{
    qort::LogCapture log;
    auto c = makeTrack<qor_cLinearKey>(qor_cKey::e_key_linear, {0, 1, 2}, {0, 1, 2});
    {
        qort::FailNothrowNew fail;
        EXPECT_FALSE(c->initKeyArray());
        qor_cKey out = marked();
        c->evaluate(0.5f, &out);
        EXPECT_EQ(out.m_afValue[0], -555.0f) << "no table to search";
    }
    const std::string text = log.text();
    EXPECT_NE(text.find("qor_cController.cpp\", at line "), std::string::npos) << text;
    const std::string lines = "bool qor_cController::initKeyArray(void)\n";
    const std::string stmt = "m_ppKeys = new qor_cKey*[getNbKeys()<3>];\n";
    const size_t a = text.find(lines), b = text.find(stmt);
    ASSERT_NE(a, std::string::npos) << text;
    ASSERT_NE(b, std::string::npos) << text;
    EXPECT_LT(a, b);
    EXPECT_EQ(text.rfind("File \"", b), text.find("File \"", a + 1)) << "a location line before each message line";
    EXPECT_EQ(valueAt(*c, 0.5f), 0.5f) << "memory back: the first evaluation builds the table";
}

// --- The methods --------------------------------------------------------------------------

TEST(qor_cController, SmoothUsesNeighbourTangentsScaledBySpacing)
{
    // Keys (0,0) (1,10) (3,4). Segment 0 at s = 0.5: m0 = 10 (no previous), m1 = (4 - 0) * 1/3.
    // h00 = h01 = 0.5, h10 = 0.125, h11 = -0.125: 5 + 1.25 - 1/6.
    auto c = makeTrack<qor_cLinearKey>(qor_cKey::e_key_smooth, {0, 1, 3}, {0, 10, 4});
    EXPECT_NEAR(valueAt(*c, 0.5f), 6.0833333f, 1e-5f);
    // Segment 1 at s = 0.5: m0 = (4 - 0) * 2/3, m1 = 4 - 10 (no next): 7 + 1/3 + 0.75.
    EXPECT_NEAR(valueAt(*c, 2.0f), 8.0833333f, 1e-5f);

    // Four keys, the middle segment has both neighbours: F0 = 2/3, F1 = 2/3.
    auto d = makeTrack<qor_cLinearKey>(qor_cKey::e_key_smooth, {0, 1, 3, 4}, {0, 10, 4, 8});
    EXPECT_NEAR(valueAt(*d, 2.0f), 7.5f, 1e-5f);
    // s = 0.25: h00 = 0.84375, h01 = 0.15625, h10 = 0.140625, h11 = -0.046875.
    EXPECT_NEAR(valueAt(*d, 1.5f), 9.5f, 1e-5f);
}

TEST(qor_cController, TcbTwoDefaultKeysUseTheEndFactors)
{
    // m0 = 0.796875 (P1 - P0), m1 = 0.703125 (P1 - P0) with P1 - P0 = 4.
    auto c = makeTrack<qor_cTcbKey>(qor_cKey::e_key_tcb, {0, 2}, {1, 5});
    // s = 0.5: 3 + 3.1875 * 0.125 - 2.8125 * 0.125.
    EXPECT_FLOAT_EQ(valueAt(*c, 1.0f), 3.046875f);
    // s = 0.25: 0.84375 + 0.78125 + 3.1875 * 0.140625 - 2.8125 * 0.046875.
    EXPECT_FLOAT_EQ(valueAt(*c, 0.5f), 1.94140625f);
}

TEST(qor_cController, TcbThreeAndFourKeysWithDefaults)
{
    // Keys (0,0) (1,10) (3,4). Segment 0: m0 = 0.796875 * 10, m1 = (10 * A1 + (-6) * D1) / 3 = 0.9375.
    auto c = makeTrack<qor_cTcbKey>(qor_cKey::e_key_tcb, {0, 1, 3}, {0, 10, 4});
    EXPECT_FLOAT_EQ(valueAt(*c, 0.5f), 5.87890625f);
    // Segment 1: m0 = (10 * 1.171875 - 6 * 0.421875) * 2/3 = 6.125, m1 = 0.703125 * -6.
    EXPECT_FLOAT_EQ(valueAt(*c, 2.0f), 8.29296875f);
    // Keys (0,0) (1,10) (3,4) (4,8). Segment 1: m0 = 6.125, m1 = (-6 + 4) * 0.703125 * 2/3 = -0.9375.
    auto d = makeTrack<qor_cTcbKey>(qor_cKey::e_key_tcb, {0, 1, 3, 4}, {0, 10, 4, 8});
    EXPECT_FLOAT_EQ(valueAt(*d, 2.0f), 7.8828125f);
}

TEST(qor_cController, TcbContinuityEntersWithTheEnginesSigns)
{
    // The middle key has tension 0, continuity 0.5, bias 0: as a segment end A1 = 0.5, D1 = 1.5;
    // as a segment start A0 = 1.5, D0 = 0.5 (textbook Kochanek-Bartels has these swapped).
    auto build = [] {
        std::unique_ptr<qor_cController> c(qor_cController::create(qor_cKey::e_key_tcb));
        c->addKey(makeTcb(0, 0), true);
        c->addKey(makeTcb(1, 10, 0.0f, 0.5f, 0.0f), true);
        c->addKey(makeTcb(3, 4), true);
        return c;
    };
    auto c = build();
    // Segment 0: m0 = 7.96875, m1 = (10 * 0.5 - 6 * 1.5) / 3 = -4/3.
    EXPECT_NEAR(valueAt(*c, 0.5f), 5.99609375f + 1.0f / 6.0f, 1e-5f);
    // Segment 1: m0 = (10 * 1.5 - 6 * 0.5) * 2/3 = 8, m1 = -4.21875.
    EXPECT_FLOAT_EQ(valueAt(*c, 2.0f), 8.52734375f);
}

TEST(qor_cController, TcbTensionAndBias)
{
    // Tension 1 flattens both tangents at that key: segment 0 of (0,0) (2,8 with tension 1).
    std::unique_ptr<qor_cController> c(qor_cController::create(qor_cKey::e_key_tcb));
    c->addKey(makeTcb(0, 0, 0, 0, 0), true);
    c->addKey(makeTcb(2, 8, 1, 0, 0), true);
    // m0 = 0.5 * 2 * 8 = 8, m1 = 0: 4 + 8 * 0.125.
    EXPECT_FLOAT_EQ(valueAt(*c, 1.0f), 5.0f);
    // Bias 1 on a start key with a previous key: A0 = 2, D0 = 0, all of the incoming difference.
    std::unique_ptr<qor_cController> d(qor_cController::create(qor_cKey::e_key_tcb));
    d->addKey(makeTcb(0, 0, 0, 0, 0), true);
    d->addKey(makeTcb(1, 3, 0, 0, 1), true);
    d->addKey(makeTcb(2, 1, 0, 0, 0), true);
    // Segment 1: m0 = (3 * 2 + (-2) * 0) * 1/2 = 3, m1 = 0.5 * 2 * (-2) = -2: 2 + 0.375 + 0.25.
    EXPECT_FLOAT_EQ(valueAt(*d, 1.5f), 2.625f);
}

TEST(qor_cController, TcbComputesTheOutputsComponentCount)
{
    std::unique_ptr<qor_cController> c(qor_cController::create(qor_cKey::e_key_tcb));
    c->addKey(makeKey<qor_cTcbKey>(0, {0, 0, 0}), true);
    c->addKey(makeKey<qor_cTcbKey>(2, {4, 8, 12}), true);
    qor_cKey out = marked(2);
    c->evaluate(1.0f, &out);
    EXPECT_FLOAT_EQ(out.m_afValue[0], 2.0f + 0.125f * (0.796875f - 0.703125f) * 4);
    EXPECT_FLOAT_EQ(out.m_afValue[1], 4.0f + 0.125f * (0.796875f - 0.703125f) * 8);
    EXPECT_EQ(out.m_afValue[2], -555.0f) << "out.n = 2 components";
    // A key of another class in a TCB track has tension, continuity and bias 0.
    auto d = makeTrack<qor_cLinearKey>(qor_cKey::e_key_tcb, {0, 2}, {0, 8});
    EXPECT_FLOAT_EQ(valueAt(*d, 1.0f), 4.0f) << "m0 = m1 = 8: symmetric";
}

TEST(qor_cController, HermiteUsesTheStoredTangentsUnscaled)
{
    std::unique_ptr<qor_cController> c(qor_cController::create(qor_cKey::e_key_hermite));
    c->addKey(makeTangentKey(0, 1, 2), true);
    c->addKey(makeTangentKey(2, 5, -1), true);
    c->addKey(makeTangentKey(3, 0, 4), true);
    c->addKey(makeTangentKey(5, 2, 0), true);
    // Segment 0, s = 0.5: a3 = -7, a2 = 9, a1 = 2, a0 = 1.
    EXPECT_FLOAT_EQ(valueAt(*c, 1.0f), 3.375f);
    // Segment 1, s = 0.5: a3 = 13, a2 = -17, a1 = -1, a0 = 5 (the span of 1 does not scale them).
    EXPECT_FLOAT_EQ(valueAt(*c, 2.5f), 1.875f);
    // Segment 2 of four keys, s = 0.5: a3 = 0, a2 = -2, a1 = 4, a0 = 0.
    EXPECT_FLOAT_EQ(valueAt(*c, 4.0f), 1.5f);
    // Keys without tangents: smoothstep.
    auto d = makeTrack<qor_cLinearKey>(qor_cKey::e_key_hermite, {0, 2}, {1, 5});
    EXPECT_FLOAT_EQ(valueAt(*d, 1.0f), 3.0f);
    EXPECT_FLOAT_EQ(valueAt(*d, 0.5f), 1.0f + 4 * 0.15625f);
}

TEST(qor_cController, SmoothKeysInASmoothTrackIgnoreTheirTangents)
{
    std::unique_ptr<qor_cController> c(qor_cController::create(qor_cKey::e_key_smooth));
    c->addKey(makeTangentKey(0, 1, 100), true);
    c->addKey(makeTangentKey(2, 5, -100), true);
    EXPECT_FLOAT_EQ(valueAt(*c, 1.0f), 3.0f);
}

TEST(qor_cController, StepHoldsTheLastKeyReached)
{
    auto c = makeTrack<qor_cStepKey>(qor_cKey::e_key_step, {0, 1}, {1, 0});
    ASSERT_TRUE(c->initKeyArray());
    EXPECT_EQ(valueAt(*c, 0.99f), 1.0f);
    EXPECT_EQ(valueAt(*c, 1.0f), 0.0f);
    qor_cKey out = marked();
    c->evaluate(7.0f, &out);
    EXPECT_EQ(out.m_afValue[0], 0.0f);
    EXPECT_EQ(out.m_fTime, 1.0f) << "the held key's time";
    EXPECT_EQ(out.m_nValue, 4u) << "only time and values";
    EXPECT_EQ(out.m_afValue[1], -555.0f);
    c->evaluate(-3.0f, &out);
    EXPECT_EQ(out.m_afValue[0], 1.0f) << "before the first key the first key is held";
    EXPECT_EQ(out.m_fTime, 0.0f);

    auto d = makeTrack<qor_cStepKey>(qor_cKey::e_key_step, {0, 1, 2, 5, 6}, {10, 11, 12, 15, 16});
    ASSERT_TRUE(d->initKeyArray());
    const float at[][2] = {{0, 10}, {0.5f, 10}, {1, 11}, {2, 12}, {4.99f, 12}, {5, 15}, {5.5f, 15}, {6, 16}, {9, 16}};
    for (const auto & p : at)
        EXPECT_EQ(valueAt(*d, p[0]), p[1]) << "t = " << p[0];
}

TEST(qor_cController, StepNeedsItsTableBuiltByItsOwner)
{
    auto c = makeTrack<qor_cStepKey>(qor_cKey::e_key_step, {0, 1}, {1, 0});
    EXPECT_EQ(valueAt(*c, 0.5f), -555.0f) << "no table: the output is left as it is";
    EXPECT_FALSE(c->hasKeyArray());
}

TEST(qor_cController, StepWalksAnUnorderedTableFromTheFirstKey)
{
    auto c = makeTrack<qor_cStepKey>(qor_cKey::e_key_step, {0, 5, 3, 8}, {1, 2, 3, 4});
    ASSERT_TRUE(c->initKeyArray());
    EXPECT_EQ(valueAt(*c, 4.0f), 1.0f) << "the walk stops at the key at 5";
    EXPECT_EQ(valueAt(*c, 6.0f), 3.0f);
    EXPECT_EQ(valueAt(*c, 9.0f), 4.0f);
}

TEST(qor_cController, OnlyTheFirstEvaluationOfAnUnpreparedTrackAllocates)
{
    auto c = makeTrack<qor_cLinearKey>(qor_cKey::e_key_linear, {0, 2}, {0, 10});
    {
        const qort::AllocCounter counter;
        EXPECT_EQ(valueAt(*c, 1), 5.0f);
        EXPECT_EQ(counter.count(), 1) << "the key table, built at the first evaluation";
    }
    const qort::AllocCounter counter;
    EXPECT_EQ(valueAt(*c, 1.5f), 7.5f);
    EXPECT_EQ(counter.count(), 0);
}

TEST(qor_cController, EvaluationAllocatesNothingOnceTheTableIsBuilt)
{
    std::unique_ptr<qor_cController> ac[5];
    for (int e = 0; e <= 4; ++e)
    {
        ac[e] = makeTrack<qor_cTcbKey>(qor_cKey::EType(e), {0, 1, 2, 3, 4, 5}, {0, 1, 4, 9, 16, 25});
        ASSERT_TRUE(ac[e]->initKeyArray());
    }
    qor_cKey out(1);
    const qort::AllocCounter counter;
    for (int e = 0; e <= 4; ++e)
        for (float t = -1.0f; t < 6.0f; t += 0.25f)
            ac[e]->evaluate(t, &out);
    EXPECT_EQ(counter.count(), 0);
}
