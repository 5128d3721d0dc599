// The vector kernels against independently written exact formulas, with the
// wide (AVX2) variants on and off. Every sample value is tried where the result
// depends on the sample alone; arrays are long enough to run whole vectors,
// with odd lengths so the scalar tails run as well.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "transform/dsp/ChannelKernels.h"
#include "transform/dsp/LevelKernels.h"
#include "transform/dsp/Vector.h"

namespace qelv::dsp {
namespace {

std::int16_t Expected(long double y) {
    if (std::isnan(y)) return 0;
    if (y > 32767) y = 32767;
    if (y < -32767) y = -32767;
    return static_cast<std::int16_t>(static_cast<long>(y));
}

std::vector<std::int16_t> EverySampleValue() {
    std::vector<std::int16_t> v;
    for (int x = -32768; x <= 32767; ++x) v.push_back(static_cast<std::int16_t>(x));
    for (int x : {0, 1, -1, 32767, -32768, 12345, -777}) v.push_back(static_cast<std::int16_t>(x));  // a tail
    return v;
}

std::vector<std::int16_t> RandomSamples(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<std::int16_t> v(n);
    for (auto& x : v) x = static_cast<std::int16_t>(sample(rng));
    return v;
}

// True when float division still rounds to nearest, i.e. a kernel that changes
// the rounding mode has put it back.
bool RoundsToNearest() {
    volatile float one = 1.0f, three = 3.0f;
    return one / three == 0x1.555556p-2f;
}

class WideKernels : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { vec::AllowWide(GetParam()); }
    void TearDown() override { vec::AllowWide(true); }
};

TEST_P(WideKernels, AmplifyTruncatesTheExactProductOfEverySample) {
    const float inf = std::numeric_limits<float>::infinity();
    const float gains[] = {0.8f,    1.0f,     2.0f,      0.5f,    -1.3f,    1e-3f, 0.33333334f, 3.2767f,
                           64999.f, 65001.f,  -65001.f,  1e-40f,  -0.0f,    FLT_MAX, inf,       -inf,
                           std::numeric_limits<float>::quiet_NaN()};
    const std::vector<std::int16_t> in = EverySampleValue();
    for (float g : gains) {
        std::vector<std::int16_t> a = in;
        AmplifyRange(a.data(), 0, a.size(), g);
        ASSERT_TRUE(RoundsToNearest()) << g;
        for (std::size_t k = 0; k < in.size(); ++k) {
            ASSERT_EQ(a[k], Expected(static_cast<long double>(in[k]) * g)) << "gain " << g << " sample " << in[k];
        }
    }
}

TEST_P(WideKernels, NormalizeRoundsEachProductOnceToAFloat) {
    const std::vector<std::int16_t> in = EverySampleValue();
    const NormalizeScale scales[] = {{0, 1.0f},     {3, 0.95f},       {-1000, 1.7f},      {32767, 32767.0f},
                                     {-32768, 0.5f}, {1, 1e-5f},      {0, 0.0f},          {250, 1.0000001f}};
    for (const NormalizeScale& s : scales) {
        std::vector<std::int16_t> a = in;
        NormalizeRange(a.data(), 0, a.size(), s);
        for (std::size_t k = 0; k < in.size(); ++k) {
            const float y = static_cast<float>(static_cast<long double>(in[k] - s.mean) * s.factor);
            ASSERT_EQ(a[k], Expected(y)) << "mean " << s.mean << " factor " << s.factor << " sample " << in[k];
        }
    }

    // The measuring pass: extremes starting from 0, the 64-bit sum and the mean.
    for (std::size_t n : {std::size_t{2}, std::size_t{31}, std::size_t{200003}}) {
        std::vector<std::int16_t> v = RandomSamples(n, 5);
        for (auto& x : v) x = static_cast<std::int16_t>(x / 4 + 9000);  // all positive: min stays 0
        long long sum = 0;
        int max = 0;
        for (auto x : v) {
            sum += x;
            max = std::max<int>(max, x);
        }
        const long long mean = sum / static_cast<long long>(n);
        const NormalizeScale s = MeasureNormalize(v.data(), n, 100.0f, true);
        EXPECT_EQ(s.mean, mean) << n;
        const long long peak = std::max<long long>(max - mean, mean - 0);
        EXPECT_EQ(s.factor, static_cast<float>(32767.0L / peak)) << n;
    }
}

TEST_P(WideKernels, FadeMatchesTheExtendedPrecisionRamp) {
    const std::vector<std::int16_t> in = RandomSamples(100003, 11);
    const std::size_t n = in.size();
    // A flat 0.6 puts a fifth of the products next to integers, which sends the
    // float kernel's groups to double for stretches.
    const float ends[][2] = {{0.9f, 1.1f}, {1.0f, 0.0f}, {-2.5f, 3.75f}, {40.0f, -40.0f}, {0.0f, 0.0f}, {0.6f, 0.6f},
                             {1e-7f, 3e-7f}, {300.0f, 1.0f}, {70000.0f, 1.0f}};
    for (const auto& e : ends) {
        const FadeRamp ramp = MakeFadeRamp(e[0] * 100, e[1] * 100, n);
        std::vector<std::int16_t> a = in;
        FadeRange(a.data(), 0, n, ramp);
        for (std::size_t i = 0; i < n; ++i) {
            const long double gain = static_cast<long double>(i) * ramp.slope + ramp.gain0;
            ASSERT_EQ(a[i], Expected(static_cast<float>(gain * in[i]))) << e[0] << " -> " << e[1] << " at " << i;
        }
    }

    // 31 * 1082401 * 2^-23 = 4 - 2^-23 lies half way between two floats and rounds
    // to 4 (the even one), although the product itself truncates to 3. The float
    // product is 4 exactly, so every fast path has to hand this one on.
    std::vector<std::int16_t> a(40, 31);
    FadeRange(a.data(), 0, a.size(), {std::ldexp(1082401.0f, -23), 0.0f});
    EXPECT_EQ(a, std::vector<std::int16_t>(40, 4));
}

TEST_P(WideKernels, MixRoundsTheExtendedSumOnceToAFloat) {
    const std::vector<std::int16_t> x1 = RandomSamples(65541, 21);
    const std::vector<std::int16_t> x2 = RandomSamples(65541, 22);
    const float gains[][2] = {{0.6f, 0.4f}, {1.0f, 1.0f}, {-0.3f, 1e-9f}, {3e4f, 3e4f}, {4e4f, 4e4f}, {0.0f, -2.0f}};
    for (const auto& g : gains) {
        std::vector<std::int16_t> out(x1.size());
        MixRange(out.data(), x1.data(), g[0], x2.data(), g[1], 0, out.size());
        for (std::size_t k = 0; k < out.size(); ++k) {
            const long double sum = static_cast<long double>(x1[k]) * g[0] + static_cast<long double>(x2[k]) * g[1];
            ASSERT_EQ(out[k], Expected(static_cast<float>(sum))) << g[0] << ", " << g[1] << " at " << k;
        }
    }

    // A double sum that lands on a float midpoint (1 - 2^-25) while the true sum
    // lies just below it, placed inside a full vector.
    const float g2 = -std::ldexp(1397419.0f, -58);
    std::vector<std::int16_t> a(32, 1), b(32, 6147), out(32, 99);
    MixRange(out.data(), a.data(), 1.0f, b.data(), g2, 0, out.size());
    EXPECT_EQ(out, std::vector<std::int16_t>(32, 0));
}

INSTANTIATE_TEST_SUITE_P(Variants, WideKernels, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Wide" : "Portable"; });

}  // namespace
}  // namespace qelv::dsp
