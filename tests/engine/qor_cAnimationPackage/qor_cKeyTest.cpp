#include <gtest/gtest.h>

#include "qor_cKey.h"

TEST(qor_cKey, ConcreteKeysReportTheirTypesAndDefaults)
{
    EXPECT_EQ(qor_cLinearKey(2).getType(), qor_cKey::e_key_linear);
    EXPECT_EQ(qor_cSmoothKey(3).getType(), qor_cKey::e_key_smooth);
    EXPECT_EQ(qor_cTcbKey(4).getType(), qor_cKey::e_key_tcb);
    EXPECT_EQ(qor_cStepKey(1).getType(), qor_cKey::e_key_step);
    const qor_cTcbKey tcb(2);
    EXPECT_EQ(tcb.m_fTension, 0.25f);
    EXPECT_EQ(tcb.m_fBias, 0.25f);
    EXPECT_EQ(tcb.m_fContinuity, 0.25f);
    EXPECT_EQ(tcb.getNbValue(), 2u);
    const qor_cSmoothKey smooth(3);
    EXPECT_EQ(smooth.m_afTangent[0], 0.0f);
    EXPECT_EQ(smooth.m_afTangent[3], 0.0f);
    EXPECT_EQ(qor_cLinearKey(9).getNbValue(), 4u) << "at most four components";
    EXPECT_EQ(qor_cKey::e_key_hermite, 2);
}

TEST(qor_cKey, CopyTakesTheBaseRecord)
{
    qor_cTcbKey src(3);
    src.m_fTime = 4.0f;
    src.m_afValue[0] = 1.0f;
    src.m_afValue[3] = 9.0f;
    qor_cKey out(1);
    out.copyFrom(src);
    EXPECT_EQ(out.m_fTime, 4.0f);
    EXPECT_EQ(out.m_afValue[0], 1.0f);
    EXPECT_EQ(out.m_afValue[3], 9.0f) << "all four values, meaningful or not";
    EXPECT_EQ(out.m_nValue, 3u);
    EXPECT_EQ(out.getType(), qor_cKey::e_key_tcb);
}
