// The double-precision mixes must round exactly like a sum formed in extended
// precision, including sums whose double value lands on a rounding boundary.
#include <gtest/gtest.h>

#include <cmath>

#include "transform/dsp/ChannelKernels.h"
#include "transform/dsp/ExactSums.h"

namespace qelv::dsp {
namespace {

TEST(ExactSums, FloatMidpointInDoubleIsResolvedInExtendedPrecision) {
    // 1 + 6147 * g2 = 1 - 2^-25 - 2^-58 exactly. In double it rounds to the float
    // midpoint 1 - 2^-25, which would round to 1.0; the true sum rounds below 1.
    const float g2 = -std::ldexp(1397419.0f, -58);
    const std::int16_t x1[] = {1};
    const std::int16_t x2[] = {6147};
    std::int16_t out[1] = {};
    MixRange(out, x1, 1.0f, x2, g2, 0, 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(SumToFloat(1.0, 6147.0 * g2), std::nextafter(1.0f, 0.0f));
    EXPECT_EQ(SumToFloat(0.5, 0.25), 0.75f);
}

TEST(ExactSums, IntegerInDoubleIsResolvedInExtendedPrecision) {
    // 3 - 2^-60 is 3 in double but truncates to 2.
    std::int16_t stereo[] = {3, 1};
    MixStereoRange(stereo, {1.0f, -std::ldexp(1.0f, -60), 0.0f, 1.0f}, 0, 1);
    EXPECT_EQ(stereo[0], 2);
    EXPECT_EQ(stereo[1], 1);
    EXPECT_EQ(SumTruncatedLow16(-7.5, 0.25), -7);
    EXPECT_EQ(SumTruncatedLow16(40000.0, 0.0), -25536);
    EXPECT_EQ(SumTruncatedLow16(NAN, 1.0), 0);
    EXPECT_EQ(SumTruncatedLow16(INFINITY, 1.0), 0);
}

}  // namespace
}  // namespace qelv::dsp
