// The coefficient routine: the properties each filter type must have, the
// identities of the 0 dB designs, and the designs that have no real value.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ToneResponse.h"
#include "transform/filters/BiquadCoefficients.h"

namespace qelv::test {
namespace {

using dsp::Biquad;
using dsp::DesignBiquad;

TEST(BiquadCoefficients, EachTypeHasItsResponse) {
    const double f0 = 1000.0 / 44100;
    const Biquad lp = DesignBiquad(dsp::kBiquadLowPass, 0, 1000, 70.7f, 44100);
    EXPECT_NEAR(BiquadGain(lp, 0), 1.0, 1e-5);
    EXPECT_NEAR(BiquadGain(lp, f0), 0.707, 1e-3);  // Q = 0.707 gives -3 dB at the corner
    EXPECT_LT(BiquadGain(lp, 0.4), 0.01);

    const Biquad hp = DesignBiquad(dsp::kBiquadHighPass, 0, 1000, 70.7f, 44100);
    EXPECT_NEAR(BiquadGain(hp, 0.5), 1.0, 1e-5);
    EXPECT_NEAR(BiquadGain(hp, f0), 0.707, 1e-3);
    EXPECT_LT(BiquadGain(hp, 0.001), 0.01);

    // Band-pass with constant skirt gain: the centre gain equals Q.
    EXPECT_NEAR(BiquadGain(DesignBiquad(dsp::kBiquadBandPass, 0, 1000, 100, 44100), f0), 1.0, 1e-4);
    EXPECT_NEAR(BiquadGain(DesignBiquad(dsp::kBiquadBandPass, 0, 1000, 300, 44100), f0), 3.0, 1e-3);

    const Biquad notch = DesignBiquad(dsp::kBiquadNotch, 0, 1000, 100, 44100);
    EXPECT_LT(BiquadGain(notch, f0), 1e-3);
    EXPECT_NEAR(BiquadGain(notch, 0), 1.0, 1e-5);

    // Peaking and shelves: 12 dB is a gain of 10^(12/20) at the centre or on the shelf.
    const double g = std::pow(10.0, 12.0 / 20);
    EXPECT_NEAR(BiquadGain(DesignBiquad(dsp::kBiquadPeakEq, 12, 1000, 100, 44100), f0), g, 1e-3);
    EXPECT_NEAR(BiquadGain(DesignBiquad(dsp::kBiquadLowShelf, 12, 1000, 100, 44100), 0), g, 1e-3);
    EXPECT_NEAR(BiquadGain(DesignBiquad(dsp::kBiquadLowShelf, 12, 1000, 100, 44100), 0.5), 1.0, 1e-3);
    EXPECT_NEAR(BiquadGain(DesignBiquad(dsp::kBiquadHighShelf, 12, 1000, 100, 44100), 0.5), g, 1e-3);
    EXPECT_NEAR(BiquadGain(DesignBiquad(dsp::kBiquadHighShelf, 12, 1000, 100, 44100), 0), 1.0, 1e-3);

    // a0 keeps its raw value: 1 + alpha for the low-pass.
    const float sn = static_cast<float>(std::sin(static_cast<long double>(static_cast<float>(1000 * 6.283185307179586L / 44100))));
    EXPECT_FLOAT_EQ(lp.a0, 1.0f + sn / (2 * 0.707f));
}

TEST(BiquadCoefficients, ZeroDecibelDesignsPassEverything) {
    for (int type : {dsp::kBiquadPeakEq, dsp::kBiquadLowShelf, dsp::kBiquadHighShelf}) {
        for (float f : {20.0f, 1000.0f, 15000.0f}) {
            for (float s : {10.0f, 70.7f, 100.0f}) {
                const Biquad c = DesignBiquad(type, 0, f, s, 44100);
                EXPECT_EQ(c.b0, 1.0f) << type << " " << f << " " << s;
                EXPECT_EQ(c.b1, c.a1);
                EXPECT_EQ(c.b2, c.a2);
            }
        }
    }
}

TEST(BiquadCoefficients, SteepnessZeroIsOne) {
    const Biquad zero = DesignBiquad(dsp::kBiquadLowPass, 0, 500, 0, 44100);
    const Biquad one = DesignBiquad(dsp::kBiquadLowPass, 0, 500, 1, 44100);
    EXPECT_EQ(zero.b0, one.b0);
    EXPECT_EQ(zero.a1, one.a1);
    EXPECT_EQ(zero.a2, one.a2);
}

TEST(BiquadCoefficients, DesignsWithoutARealValueAreNotDefined) {
    // (A^2 + 1) / Q - (A - 1)^2 < 0: 40 dB (A = 10) and Q above 101/81.
    EXPECT_TRUE(dsp::BiquadIsDefined(DesignBiquad(dsp::kBiquadLowShelf, 40, 1000, 120, 44100)));
    EXPECT_FALSE(dsp::BiquadIsDefined(DesignBiquad(dsp::kBiquadLowShelf, 40, 1000, 130, 44100)));
    EXPECT_FALSE(dsp::BiquadIsDefined(DesignBiquad(dsp::kBiquadHighShelf, 40, 1000, 200, 44100)));
    // The other types do not use the square root.
    EXPECT_TRUE(dsp::BiquadIsDefined(DesignBiquad(dsp::kBiquadPeakEq, 40, 1000, 200, 44100)));
    EXPECT_TRUE(dsp::BiquadIsDefined(DesignBiquad(dsp::kBiquadLowPass, 40, 1000, 200, 44100)));
    for (int type : {1, 2, 3, 5, 6, 7, 8}) {
        EXPECT_FALSE(dsp::BiquadIsDefined(DesignBiquad(type, 0, 1000, 100, 0))) << type;
        EXPECT_FALSE(dsp::BiquadIsDefined(DesignBiquad(type, 0, std::numeric_limits<float>::quiet_NaN(), 100, 44100)));
        // A steepness so small that Q rounds to 0.
        EXPECT_FALSE(dsp::BiquadIsDefined(DesignBiquad(type, 0, 1000, 1e-44f, 44100)));
    }
    // Out-of-range but real values are computed through the same formulas.
    EXPECT_TRUE(dsp::BiquadIsDefined(DesignBiquad(dsp::kBiquadLowPass, 0, 30000, -50, 44100)));
    EXPECT_TRUE(dsp::BiquadIsDefined(DesignBiquad(dsp::kBiquadHighPass, 0, -1000, 100, 44100)));
}

}  // namespace
}  // namespace qelv::test
