// FFTFilter: the model bit for bit, the documented properties of the block
// filter, its events (fired even when switched off, no cancel) and refusals.
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "transform/spectrum/SpectrumModel.h"
#include "transform/TestSupport.h"

namespace qelv::test {
namespace {

constexpr HRESULT kInvalid = static_cast<HRESULT>(0x8004030B);

SAFEARRAY* Floats(const std::vector<float>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(values.size()));
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    for (std::size_t i = 0; i < values.size(); ++i) static_cast<float*>(data)[i] = values[i];
    SafeArrayUnaccessData(array);
    return array;
}

HRESULT Filter(Object& o, SampleArray& a, const std::vector<float>& curve) {
    SAFEARRAY* c = Floats(curve);
    const HRESULT hr = o->FFTFilter(&a, &c);
    SafeArrayDestroy(c);
    return hr;
}

std::vector<short> Noise(std::size_t n, int amplitude, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> d(-amplitude, amplitude);
    std::vector<short> v(n);
    for (short& s : v) s = static_cast<short>(d(random));
    return v;
}

std::vector<short> Sine(std::size_t n, double amplitude, double cyclesPerSample) {
    std::vector<short> v(n);
    for (std::size_t t = 0; t < n; ++t) {
        v[t] = static_cast<short>(std::lround(amplitude * std::sin(2 * std::numbers::pi * cyclesPerSample * t)));
    }
    return v;
}

TEST(FFTFilter, MatchesTheModelBitForBit) {
    Object o;
    o.NoSmoothing();
    std::mt19937 random(5);
    std::uniform_real_distribution<float> gain(0.0f, 2.5f);
    for (std::size_t L : {2u, 8u, 32u, 512u, 2048u}) {
        for (std::size_t n : {L, 2 * L, 2 * L + 1, 5 * L + 3, std::size_t{20000}}) {
            if (n < 2) continue;
            std::vector<float> curve(L);
            for (float& g : curve) g = gain(random);
            const std::vector<short> x = Noise(n, n % 2 ? 32767 : 8000, static_cast<unsigned>(n + L));
            SampleArray a(x);
            ASSERT_EQ(Filter(o, a, curve), S_OK);
            std::vector<short> expected = x;
            model::BlockFilter(expected, curve);
            ASSERT_EQ(a.values(), expected) << "L = " << L << ", n = " << n;
        }
    }
    // Gains that overflow the block to infinities and NaNs, and subnormal ones:
    // the peak ignores NaNs, NaN results are written as 0.
    for (float extreme : {1e38f, 3.4e38f, 1e-40f}) {
        std::vector<float> curve(128);
        for (std::size_t k = 0; k < curve.size(); ++k) curve[k] = k % 3 ? extreme : gain(random);
        const std::vector<short> x = Noise(3000, 32767, 9);
        SampleArray a(x);
        ASSERT_EQ(Filter(o, a, curve), S_OK);
        std::vector<short> expected = x;
        model::BlockFilter(expected, curve);
        ASSERT_EQ(a.values(), expected) << extreme;
    }
}

TEST(FFTFilter, UnityCurveKeepsTheSignalAndAToneTakesItsGain) {
    Object o;
    o.NoSmoothing();
    const std::vector<short> x = Noise(10000, 30000, 1);
    SampleArray a(x);
    ASSERT_EQ(Filter(o, a, std::vector<float>(512, 1.0f)), S_OK);
    const std::vector<short> y = a.values();
    for (std::size_t i = 0; i < x.size(); ++i) ASSERT_LE(std::abs(y[i] - x[i]), 2) << i;

    // Two tones; the curve halves the bins around 40 and removes those around 200
    // (L = 512, N = 1024; the window spreads a tone over its neighbouring bins).
    std::vector<short> mix = Sine(20480, 8000, 40.0 / 1024);
    const std::vector<short> high = Sine(20480, 8000, 200.0 / 1024);
    for (std::size_t i = 0; i < mix.size(); ++i) mix[i] = static_cast<short>(mix[i] + high[i]);
    std::vector<float> curve(512, 1.0f);
    for (std::size_t k = 30; k <= 50; ++k) curve[k] = 0.5f;
    for (std::size_t k = 190; k <= 210; ++k) curve[k] = 0.0f;
    SampleArray b(mix);
    ASSERT_EQ(Filter(o, b, curve), S_OK);
    const std::vector<short> z = b.values();
    const std::vector<short> expected = Sine(20480, 4000, 40.0 / 1024);
    for (std::size_t i = 1024; i < 19000; ++i) ASSERT_NEAR(z[i], expected[i], 40) << i;
}

TEST(FFTFilter, ShortArraysZeroCurveAndPeakLimiting) {
    Object o;
    o.NoSmoothing();
    // N samples or fewer: only the lead-in and lead-out, which give the input back
    // apart from truncation.
    const std::vector<short> x = Noise(64, 20000, 2);
    SampleArray a(x);
    ASSERT_EQ(Filter(o, a, std::vector<float>(32, 3.0f)), S_OK);
    for (std::size_t i = 0; i < x.size(); ++i) EXPECT_LE(std::abs(a.values()[i] - x[i]), 2) << i;

    // An all-zero curve keeps the Nyquist term and leaves the tail past the last
    // block alone.
    const std::size_t n = 1000;  // L = 128, N = 256: blocks at 0, 128, .., 640; tail from 896
    const std::vector<short> tone = Sine(n, 10000, 10.0 / 256);
    SampleArray b(tone);
    ASSERT_EQ(Filter(o, b, std::vector<float>(128, 0.0f)), S_OK);
    const std::vector<short> y = b.values();
    for (std::size_t i = 896; i < n; ++i) EXPECT_EQ(y[i], tone[i]) << i;
    for (std::size_t i = 256; i < 768; ++i) EXPECT_LE(std::abs(y[i]), 1) << i;
    std::vector<float> curve(128, 0.0f);
    // Half the rate survives an all-zero curve through the untouched Nyquist term.
    std::vector<short> alternating(n);
    for (std::size_t i = 0; i < n; ++i) alternating[i] = static_cast<short>(i % 2 ? -10000 : 10000);
    SampleArray c(alternating);
    ASSERT_EQ(Filter(o, c, curve), S_OK);
    std::vector<short> expected = alternating;
    model::BlockFilter(expected, curve);
    EXPECT_EQ(c.values(), expected);
    long long kept = 0;
    for (std::size_t i = 256; i < 768; ++i) kept += std::abs(c.values()[i]);
    EXPECT_GT(kept, 512 * 1000);

    // A curve of 2 on a loud tone: the blocks are scaled to a peak of 32767, so the
    // result keeps its sine shape instead of being clipped flat.
    const std::vector<short> x2 = Sine(8192, 30000, 16.0 / 256);
    SampleArray loud(x2);
    ASSERT_EQ(Filter(o, loud, std::vector<float>(128, 2.0f)), S_OK);
    const std::vector<short> z = loud.values();
    // Scaled down as a whole: every sample takes about 32767 / 30000 of its input,
    // where clipping would double the samples below half scale.
    for (std::size_t i = 1024; i < 7000; ++i) {
        if (std::abs(x2[i]) < 5000) continue;
        const double ratio = static_cast<double>(z[i]) / x2[i];
        ASSERT_GT(ratio, 1.0) << i;
        ASSERT_LT(ratio, 1.12) << i;
    }
}

TEST(FFTFilter, EventsFireEvenWhenOffAndCannotBeCancelled) {
    Object o;
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    o->put_TBEventEnabled(VARIANT_FALSE);
    sink.onBlock = [&](LONG) { o->CancelTransform(); };
    const std::size_t n = 5000;  // L = 512, N = 1024: blocks at 0, 512, .., 3584
    SampleArray a(Noise(n, 1000, 3));
    ASSERT_EQ(Filter(o, a, std::vector<float>(512, 1.0f)), S_OK);
    std::vector<std::string> expected;
    for (std::size_t pos = 0; pos + 1024 < n; pos += 512) {
        expected.push_back("TB " + std::to_string(((pos + 512) * 100 / n) % 100));
    }
    expected.push_back("End");
    EXPECT_EQ(sink.events, expected);

    // One sample more than a block: one block, at (512 * 100 / 1025) % 100.
    sink.events.clear();
    SampleArray b(Noise(1025, 1000, 4));
    ASSERT_EQ(Filter(o, b, std::vector<float>(512, 1.0f)), S_OK);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"TB 49", "End"}));
}

TEST(FFTFilter, RefusesUnusableCurvesBeforeAnyChange) {
    Object o;
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    const std::vector<short> x = Noise(3000, 1000, 6);
    SampleArray ok(x);
    ASSERT_EQ(Filter(o, ok, std::vector<float>(2, 1.0f)), S_OK);
    std::vector<std::vector<float>> bad;
    for (std::size_t L : {0u, 1u, 3u, 4u, 16u, 64u, 100u, 256u, 8192u}) bad.emplace_back(L, 1.0f);
    bad.push_back(std::vector<float>(32, 1.0f));
    bad.back()[7] = std::numeric_limits<float>::quiet_NaN();
    bad.push_back(std::vector<float>(32, 1.0f));
    bad.back()[0] = std::numeric_limits<float>::infinity();
    for (const std::vector<float>& curve : bad) {
        sink.events.clear();
        SampleArray a(x);
        EXPECT_EQ(Filter(o, a, curve), kInvalid) << curve.size();
        EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
        EXPECT_EQ(a.values(), x);
        EXPECT_TRUE(sink.events.empty());
        ErrorConstants last{};
        o->get_LastErrorNum(&last);
        EXPECT_EQ(last, INVALIDPARAM);
    }
    // A missing curve, and a curve longer than the array.
    SampleArray a(x);
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(o->FFTFilter(&a, &none), kInvalid);
    SampleArray shortArray(Noise(511, 1000, 7));
    EXPECT_EQ(Filter(o, shortArray, std::vector<float>(512, 1.0f)), kInvalid);
    VARIANT_BOOL left = VARIANT_FALSE;
    o->get_SmoothLeftEnabled(&left);
    EXPECT_EQ(left, VARIANT_TRUE);

    // A successful call clears the error number.
    SampleArray good(x);
    ASSERT_EQ(Filter(o, good, std::vector<float>(8, 1.0f)), S_OK);
    ErrorConstants last{};
    o->get_LastErrorNum(&last);
    EXPECT_EQ(last, NOERRORS);
}

}  // namespace
}  // namespace qelv::test
