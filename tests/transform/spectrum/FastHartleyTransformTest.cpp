// The Hartley transform: exact staged values, the staging model bit for bit on
// every length, the mathematical transform within the staging's float error.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "transform/spectrum/SpectrumModel.h"
#include "transform/dsp/Vector.h"
#include "transform/filters/FastHartleyTransform.h"
#include "transform/filters/FastHartleyTransformWide.h"

namespace qelv::test {
namespace {

std::vector<float> Transformed(std::vector<float> x) {
    dsp::FastHartleyTransform(x.data(), x.size());
    return x;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(FastHartleyTransform, SmallSizesGiveTheStagedValues) {
    // N = 4 uses only sums and differences: exact.
    EXPECT_EQ(Transformed({1, 2, 3, 4}), (std::vector<float>{10, -4, -2, 0}));
    EXPECT_EQ(Transformed({0, 1, 0, 0}), (std::vector<float>{1, 1, -1, -1}));
    // An impulse at 0 has cas(0) = 1 in every bin, and a constant only the DC bin,
    // both exactly through the staging at N = 16 and 64.
    for (std::size_t n : {16u, 64u}) {
        std::vector<float> impulse(n, 0.0f);
        impulse[0] = 1;
        EXPECT_EQ(Transformed(impulse), std::vector<float>(n, 1.0f)) << n;
        std::vector<float> dc(n, 3.0f);
        std::vector<float> expected(n, 0.0f);
        expected[0] = 3.0f * static_cast<float>(n);
        EXPECT_EQ(Transformed(dc), expected) << n;
    }
    // N = 16, impulse at 1: H[k] = cos + sin of 2 pi k / 16, from the rounded
    // twiddles: the staging's own float values, one by one.
    std::vector<float> x(16, 0.0f);
    x[1] = 1;
    std::vector<float> staged = x;
    model::Hartley(staged);
    EXPECT_TRUE(SameBits(Transformed(x), staged));
    for (std::size_t k = 0; k < 16; ++k) {
        const double angle = 2 * std::numbers::pi * static_cast<double>(k) / 16;
        EXPECT_NEAR(staged[k], std::cos(angle) + std::sin(angle), 4e-7) << k;
    }
}

// Every form: eight groups side by side (AVX-512), four (AVX2), where the
// processor has them, and the scalar groups.
enum class Form { Eight, Four, Scalar };
class HartleyForms : public ::testing::TestWithParam<Form> {
protected:
    void SetUp() override {
        dsp::vec::AllowWide(GetParam() != Form::Scalar);
        dsp::wide::AllowEightLanes(GetParam() == Form::Eight);
    }
    void TearDown() override {
        dsp::vec::AllowWide(true);
        dsp::wide::AllowEightLanes(true);
    }
};
INSTANTIATE_TEST_SUITE_P(Variants, HartleyForms, ::testing::Values(Form::Eight, Form::Four, Form::Scalar),
                         [](const auto& info) {
                             return info.param == Form::Eight ? std::string("EightLanes")
                                    : info.param == Form::Four ? std::string("FourLanes")
                                                               : std::string("Scalar");
                         });

TEST_P(HartleyForms, MatchTheStagingBitForBitOnEveryLength) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_real_distribution<float> scale(-40.0f, 40.0f);
    for (std::size_t n = 4; n <= 262144; n *= 4) {
        const int rounds = n <= 1024 ? 40 : (n <= 16384 ? 6 : 3);
        for (int r = 0; r < rounds; ++r) {
            std::vector<float> x(n);
            // Samples, and values over a wide range of magnitudes (down to the
            // subnormal floats) to reach the rare rounding cases of the rotations.
            for (float& v : x) {
                v = (r % 2 == 0) ? static_cast<float>(sample(random))
                                 : std::ldexp(static_cast<float>(sample(random)), static_cast<int>(scale(random)) - 100 * (r % 4 == 3));
            }
            // Mostly silence: exact zeros (and negative zeros) in the rotations.
            if (r % 3 == 2) {
                for (std::size_t t = 0; t < n; ++t) {
                    if (t % 61 != 0) x[t] = (t % 2) ? 0.0f : -0.0f;
                }
            }
            std::vector<float> expected = x;
            model::Hartley(expected);
            ASSERT_TRUE(SameBits(Transformed(x), expected)) << "n = " << n << " round " << r;
        }
    }
}

// The block filter's form: entries written through the reversal table, then the
// stages alone, give the transform's floats (the table is an involution).
TEST_P(HartleyForms, StagesAfterTheReversalTableMatchTheTransform) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (std::size_t n = 4; n <= 16384; n *= 4) {
        std::vector<std::uint32_t> reversal(n);
        dsp::FillBitReversal(reversal.data(), n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(reversal[reversal[i]], i) << n;
        for (int r = 0; r < 8; ++r) {
            std::vector<float> x(n), placed(n);
            for (float& v : x) v = std::ldexp(static_cast<float>(sample(random)), r % 2 ? -140 : 0);
            for (std::size_t i = 0; i < n; ++i) placed[reversal[i]] = x[i];
            dsp::HartleyStages(placed.data(), n);
            ASSERT_TRUE(SameBits(placed, Transformed(x))) << "n = " << n << " round " << r;
        }
    }
}

TEST(FastHartleyTransform, ApproximatesTheHartleySumAndInvertsItself) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (std::size_t n = 4; n <= 4096; n *= 4) {
        std::vector<float> x(n);
        for (float& v : x) v = static_cast<float>(sample(random));
        const std::vector<float> h = Transformed(x);
        long double energy = 0;
        for (float v : x) energy += static_cast<long double>(v) * v;
        // Each stage adds at most a few float roundings relative to the size of
        // the block sums; bound the error by the stage count times the L2 norm.
        const long double stages = std::log2(static_cast<long double>(n)) / 2;
        const long double bound = 4 * stages * std::sqrt(energy * n) * std::numeric_limits<float>::epsilon() + 1e-3L;
        std::vector<long double> cas(n);
        for (std::size_t m = 0; m < n; ++m) {
            const long double angle = 2 * std::numbers::pi_v<long double> * static_cast<long double>(m) / n;
            cas[m] = std::cos(angle) + std::sin(angle);
        }
        long double worst = 0;
        for (std::size_t k = 0; k < n; ++k) {
            long double sum = 0;
            for (std::size_t t = 0; t < n; ++t) sum += x[t] * cas[(t * k) % n];
            worst = std::max(worst, std::fabs(sum - h[k]));
        }
        EXPECT_LT(worst, bound) << "n = " << n;

        const std::vector<float> twice = Transformed(h);
        for (std::size_t t = 0; t < n; ++t) {
            ASSERT_NEAR(twice[t] / static_cast<float>(n), x[t], static_cast<float>(2 * bound / n) + 0.01f) << n << " " << t;
        }
    }
}

TEST(FastHartleyTransform, PowerOfTwoExponent) {
    EXPECT_EQ(dsp::PowerOfTwoExponent(0), 0);
    EXPECT_EQ(dsp::PowerOfTwoExponent(1), 0);
    EXPECT_EQ(dsp::PowerOfTwoExponent(2), 1);
    EXPECT_EQ(dsp::PowerOfTwoExponent(512), 9);
    EXPECT_EQ(dsp::PowerOfTwoExponent(1 << 30), 30);
    EXPECT_EQ(dsp::PowerOfTwoExponent(3), 0);
    EXPECT_EQ(dsp::PowerOfTwoExponent(100), 0);
    EXPECT_EQ(dsp::PowerOfTwoExponent(-8), 0);
    EXPECT_EQ(dsp::PowerOfTwoExponent(static_cast<std::int32_t>(0x80000000u)), 0);
}

}  // namespace
}  // namespace qelv::test
