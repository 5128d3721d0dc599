// Level and order transforms, checked on the documented cases and against an
// independent extended-precision reference on random data.
#include <cmath>
#include <limits>
#include <random>

#include "TestSupport.h"
#include "transform/dsp/Vector.h"

namespace qelv::test {
namespace {

short Reference(long double y, long double limit = 32767) {
    if (std::isnan(y)) return 0;
    y = std::clamp(y, -limit, limit);
    return static_cast<short>(std::trunc(y));
}

TEST(LevelTransforms, DocumentedCases) {
    Object o;
    o.NoSmoothing();
    SampleArray inv({100, -32768, 32767});
    ASSERT_EQ(o->Invert(&inv), S_OK);
    EXPECT_EQ(inv.values(), (std::vector<short>{-100, -32768, -32767}));

    SampleArray amp({20000, -20000});
    ASSERT_EQ(o->Amplify(&amp, 200), S_OK);
    EXPECT_EQ(amp.values(), (std::vector<short>{32767, -32767}));
    SampleArray half({3, -3});
    ASSERT_EQ(o->Amplify(&half, 50), S_OK);
    EXPECT_EQ(half.values(), (std::vector<short>{1, -1}));

    SampleArray fade = SampleArray::Filled(5, 1000);
    ASSERT_EQ(o->Fade(&fade, 100, 0), S_OK);
    EXPECT_EQ(fade.values(), (std::vector<short>{1000, 750, 500, 250, 0}));

    SampleArray rev({1, 2, 3, 4});
    ASSERT_EQ(o->Reverse(&rev), S_OK);
    EXPECT_EQ(rev.values(), (std::vector<short>{4, 3, 2, 1}));
    SampleArray odd({1, 2, 3, 4, 5});
    ASSERT_EQ(o->Reverse(&odd), S_OK);
    EXPECT_EQ(odd.values(), (std::vector<short>{5, 4, 3, 2, 1}));
}

TEST(LevelTransforms, NormalizeCases) {
    Object o;
    o.NoSmoothing();
    SampleArray peak({16384, -8000, 0, 100});
    ASSERT_EQ(o->Normalize(&peak, 100, VARIANT_FALSE), S_OK);
    const float factor = static_cast<float>(32767.0L / 16384);
    EXPECT_EQ(peak.values(), (std::vector<short>{32767, static_cast<short>(static_cast<float>(-8000.0 * factor)), 0,
                                                static_cast<short>(static_cast<float>(100.0 * factor))}));

    SampleArray dc = SampleArray::Filled(10, 1000);
    ASSERT_EQ(o->Normalize(&dc, 100, VARIANT_TRUE), S_OK);
    EXPECT_EQ(dc.values(), std::vector<short>(10, 0));

    SampleArray zeros = SampleArray::Filled(10, 0);
    ASSERT_EQ(o->Normalize(&zeros, 100, VARIANT_TRUE), S_OK);
    EXPECT_EQ(zeros.values(), std::vector<short>(10, 0));

    // The percentage is limited to 0 .. 100.
    SampleArray a({1000, -500, 250}), b({1000, -500, 250});
    ASSERT_EQ(o->Normalize(&a, 150, VARIANT_FALSE), S_OK);
    ASSERT_EQ(o->Normalize(&b, 100, VARIANT_FALSE), S_OK);
    EXPECT_EQ(a.values(), b.values());
    SampleArray c({1000, -500, 250});
    ASSERT_EQ(o->Normalize(&c, -10, VARIANT_FALSE), S_OK);
    EXPECT_EQ(c.values(), std::vector<short>(3, 0));

    // Full-scale negative peak: max - mean is below mean - min.
    SampleArray neg({-32768, 0, 100});
    ASSERT_EQ(o->Normalize(&neg, 100, VARIANT_FALSE), S_OK);
    EXPECT_EQ(neg.values()[0], -32767);
}

TEST(LevelTransforms, ConversionsBetweenPercentAndDecibels) {
    Object o;
    float v = 1;
    ASSERT_EQ(o->PercentToDB(50, &v), S_OK);
    EXPECT_NEAR(v, -6.0206, 1e-4);
    o->PercentToDB(100, &v);
    EXPECT_EQ(v, 0.0f);
    o->PercentToDB(0, &v);
    EXPECT_EQ(v, 0.0f);
    o->PercentToDB(-20, &v);
    EXPECT_EQ(v, 0.0f);
    o->PercentToDB(std::numeric_limits<float>::quiet_NaN(), &v);
    EXPECT_EQ(v, 0.0f);
    o->DBToPercent(-6, &v);
    EXPECT_NEAR(v, 50.119, 1e-3);
    o->DBToPercent(0, &v);
    EXPECT_EQ(v, 100.0f);
    EXPECT_EQ(o->DBToPercent(0, nullptr), E_POINTER);
    EXPECT_EQ(o->LastErrorNum, 0);
}

// Runs with the wide and with the baseline vector variants of the kernels.
class BothVariants : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { dsp::vec::AllowWide(GetParam()); }
    void TearDown() override { dsp::vec::AllowWide(true); }
};

TEST_P(BothVariants, LevelTransformsMatchExtendedPrecisionOnRandomData) {
    Object o;
    o.NoSmoothing();
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_real_distribution<float> percent(-400, 400);
    for (int round = 0; round < 20; ++round) {
        const std::size_t n = 2 + rng() % 3000;
        std::vector<short> in(n);
        for (short& s : in) s = static_cast<short>(sample(rng));

        const float amp = round == 0 ? 100.0f : percent(rng);
        SampleArray a(in);
        ASSERT_EQ(o->Amplify(&a, amp), S_OK);
        const float g = amp / 100.0f;
        std::vector<short> expected(n);
        for (std::size_t i = 0; i < n; ++i) expected[i] = Reference(static_cast<long double>(in[i]) * g);
        ASSERT_EQ(a.values(), expected) << "Amplify " << amp;

        const float left = percent(rng), right = percent(rng);
        SampleArray f(in);
        ASSERT_EQ(o->Fade(&f, left, right), S_OK);
        const float g0 = left / 100.0f, g1 = right / 100.0f;
        const float slope = static_cast<float>((static_cast<long double>(g1) - g0) / (n - 1));
        for (std::size_t i = 0; i < n; ++i) {
            expected[i] = Reference(static_cast<float>((static_cast<long double>(i) * slope + g0) * in[i]));
        }
        ASSERT_EQ(f.values(), expected) << "Fade";

        const float norm = percent(rng) / 4 + 25;
        const bool dc = round % 2 == 0;
        SampleArray z(in);
        ASSERT_EQ(o->Normalize(&z, norm, dc ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
        long long sum = 0;
        int max = 0, min = 0;
        for (short v : in) {
            sum += v;
            max = std::max<int>(max, v);
            min = std::min<int>(min, v);
        }
        const long long mean = dc ? sum / static_cast<long long>(n) : 0;
        long long peak = std::max(max - mean, mean - min);
        if (peak == 0 || peak > 32767) peak = 32767;
        const float factor = static_cast<float>(32767.0L / peak * std::clamp(norm / 100.0f, 0.0f, 1.0f));
        for (std::size_t i = 0; i < n; ++i) {
            expected[i] = Reference(static_cast<float>(static_cast<long double>(in[i] - mean) * factor));
        }
        ASSERT_EQ(z.values(), expected) << "Normalize " << norm;
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, BothVariants, ::testing::Bool());

TEST(LevelTransforms, NonFiniteGainsNeverProduceUndefinedSamples) {
    Object o;
    o.NoSmoothing();
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    SampleArray a({0, 5, -5});
    ASSERT_EQ(o->Amplify(&a, inf), S_OK);
    EXPECT_EQ(a.values(), (std::vector<short>{0, 32767, -32767}));  // 0 * inf is NaN, written as 0
    SampleArray b({7, -7});
    ASSERT_EQ(o->Amplify(&b, nan), S_OK);
    EXPECT_EQ(b.values(), (std::vector<short>{0, 0}));
    SampleArray c({7, -7, 7});
    ASSERT_EQ(o->Fade(&c, nan, 100), S_OK);
    EXPECT_EQ(c.values(), (std::vector<short>{0, 0, 0}));
    SampleArray d({7, -7, 7});
    ASSERT_EQ(o->Normalize(&d, nan, VARIANT_TRUE), S_OK);
    EXPECT_EQ(d.values(), (std::vector<short>{0, 0, 0}));
}

TEST(LevelTransforms, AmplifyByZeroWithSmoothingKeepsEndsAndFadesToSilence) {
    Object o;
    const std::size_t n = 8000;
    SampleArray a = SampleArray::Filled(n, 10000);
    ASSERT_EQ(o->Amplify(&a, 0), S_OK);
    const std::vector<short> v = a.values();
    EXPECT_EQ(v.front(), 10000);
    EXPECT_EQ(v.back(), 10000);
    for (std::size_t i = 1; i < 2205; ++i) ASSERT_LE(v[i], v[i - 1]);
    EXPECT_EQ(v[2205], 0);
    EXPECT_EQ(v[n / 2], 0);
    EXPECT_EQ(v[n - 2206], 0);
    EXPECT_GT(v[n - 2000], 0);
}

}  // namespace
}  // namespace qelv::test
