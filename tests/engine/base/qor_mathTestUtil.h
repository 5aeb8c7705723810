// Comparison helpers for the math and animation tests.
#pragma once

#include <gtest/gtest.h>

#include "qor_cMatrix.h"

#include <cmath>

inline ::testing::AssertionResult matrixNear(const qor_cMatrix & a, const qor_cMatrix & b, float fEps)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!(std::fabs(a.m[r][c] - b.m[r][c]) <= fEps))
                return ::testing::AssertionFailure()
                       << "element _" << r + 1 << c + 1 << ": " << a.m[r][c] << " vs " << b.m[r][c];
    return ::testing::AssertionSuccess();
}

inline qor_cMatrix rowsOf(const float (&af)[16])
{
    return qor_cMatrix(af[0], af[1], af[2], af[3], af[4], af[5], af[6], af[7], af[8], af[9], af[10], af[11], af[12],
                       af[13], af[14], af[15]);
}

template <typename V>
::testing::AssertionResult vec4Near(const V & v, float ex, float ey, float ez, float ew, float fEps, bool bW)
{
    const float af[4] = {v.x, v.y, v.z, bW ? v.w : 0.0f};
    const float ae[4] = {ex, ey, ez, ew};
    for (int i = 0; i < (bW ? 4 : 3); ++i)
        if (!(std::fabs(af[i] - ae[i]) <= fEps))
            return ::testing::AssertionFailure() << "component " << i << ": " << af[i] << " vs " << ae[i];
    return ::testing::AssertionSuccess();
}

struct qort_noW
{
    float x, y, z, w;
};
inline qort_noW qort_asVec4(float x, float y, float z) { return {x, y, z, 0.0f}; }

// Both accept a streamed message.
#define EXPECT_VEC3_NEAR(v, ex, ey, ez, eps)                                                                           \
    EXPECT_TRUE(vec4Near(qort_asVec4((v).x, (v).y, (v).z), (ex), (ey), (ez), 0.0f, (eps), false))
#define EXPECT_QUAT_NEAR(q, ex, ey, ez, ew, eps) EXPECT_TRUE(vec4Near((q), (ex), (ey), (ez), (ew), (eps), true))
