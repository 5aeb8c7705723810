#include <gtest/gtest.h>

#include "qor_allocHooks.h"
#include "qor_animTestUtil.h"
#include "qor_cMorph.h"

namespace
{
qor_cTargetLinearController * weightTrack(void * pTarget, float w0, float w1)
{
    qor_cTargetLinearController * p = new qor_cTargetLinearController;
    p->setTarget(pTarget);
    p->addKey(makeKey<qor_cLinearKey>(0, {w0}), true);
    p->addKey(makeKey<qor_cLinearKey>(10, {w1}), true);
    p->initKeyArray();
    return p;
}
} // namespace

TEST(qor_cMorph, EvaluatesEveryTrackAtItsClock)
{
    int a = 0, b = 0, c = 0;
    qor_cMorph morph;
    ASSERT_TRUE(morph.addController(weightTrack(&a, 0, 1)));
    ASSERT_TRUE(morph.addController(weightTrack(&b, 1, 0)));
    qor_cTargetLinearController * pEmpty = new qor_cTargetLinearController;
    pEmpty->setTarget(&c);
    ASSERT_TRUE(morph.addController(pEmpty));
    ASSERT_TRUE(morph.initResults());
    ASSERT_EQ(morph.getNbResults(), 3);
    EXPECT_EQ(morph.getResult(0)->pTarget, nullptr) << "zero-filled";
    EXPECT_EQ(morph.getResult(0)->fWeight, 0.0f);

    const float dt = 2.5f;
    morph.advance(&dt);
    {
        const qort::AllocCounter counter;
        morph.evaluate();
        EXPECT_EQ(counter.count(), 0);
    }
    EXPECT_EQ(morph.getResult(0)->pTarget, &a);
    EXPECT_EQ(morph.getResult(0)->fWeight, 0.25f);
    EXPECT_EQ(morph.getResult(1)->pTarget, &b);
    EXPECT_EQ(morph.getResult(1)->fWeight, 0.75f);
    EXPECT_EQ(morph.getResult(2)->pTarget, &c);
    EXPECT_EQ(morph.getResult(2)->fWeight, 0.0f) << "a track without keys weighs 0, not the previous weight";

    morph.advance(&dt);
    morph.advance(&dt);
    morph.advance(&dt);
    morph.advance(&dt);
    morph.evaluate();
    EXPECT_EQ(morph.getTime(), 12.5f) << "the clock runs on; the tracks hold their last key";
    EXPECT_EQ(morph.getResult(0)->fWeight, 1.0f);
    morph.reset();
    morph.evaluate();
    EXPECT_EQ(morph.getResult(1)->fWeight, 1.0f);
    EXPECT_EQ(morph.getResult(3), nullptr);
}

TEST(qor_cMorph, WithoutResultsEvaluationWritesNothing)
{
    int a = 0;
    qor_cMorph morph;
    ASSERT_TRUE(morph.addController(weightTrack(&a, 0, 1)));
    morph.evaluate();
    EXPECT_EQ(morph.getNbResults(), 0);
    EXPECT_EQ(morph.getResult(0), nullptr);
    EXPECT_FALSE(morph.addController(nullptr));
}
