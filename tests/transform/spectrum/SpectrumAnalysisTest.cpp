// FFTPower and FFTPhase through the object: block sizes, worked values, the
// model bit for bit, events, and refusals.
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "transform/spectrum/SpectrumModel.h"
#include "transform/TestSupport.h"

namespace qelv::test {
namespace {

std::vector<float> Power(Object& o, SampleArray& a, HRESULT* status = nullptr) {
    SAFEARRAY* result = nullptr;
    const HRESULT hr = o->FFTPower(&a, &result);
    if (status) *status = hr;
    std::vector<float> values = result ? FloatValues(result) : std::vector<float>{};
    if (result) SafeArrayDestroy(result);
    return values;
}

std::vector<float> Phase(Object& o, SampleArray& a) {
    SAFEARRAY* result = nullptr;
    EXPECT_EQ(o->FFTPhase(&a, &result), S_OK);
    std::vector<float> values = FloatValues(result);
    SafeArrayDestroy(result);
    return values;
}

std::vector<short> Tone(std::size_t n, double amplitude, double cyclesPerSample, double phase = 0) {
    std::vector<short> v(n);
    for (std::size_t t = 0; t < n; ++t) {
        v[t] = static_cast<short>(std::lround(amplitude * std::cos(2 * std::numbers::pi * cyclesPerSample * t + phase)));
    }
    return v;
}

TEST(SpectrumAnalysis, BlockSizeFollowsTheArrayLength) {
    Object o;
    const std::pair<std::size_t, std::size_t> cases[] = {{4, 2},      {15, 2},      {16, 8},       {63, 8},
                                                         {64, 32},    {16383, 2048}, {16384, 8192}, {100000, 8192}};
    for (auto [n, entries] : cases) {
        SampleArray a = SampleArray::Filled(n, 100);
        EXPECT_EQ(Power(o, a).size(), entries) << n;
        EXPECT_EQ(Phase(o, a).size(), entries) << n;
    }
}

TEST(SpectrumAnalysis, ToneAndConstantGiveTheDocumentedLevels) {
    Object o;
    const std::size_t N = 1024;
    // A tone of amplitude a exactly on bin k: 20 log10(a sqrt(N/2) / 32767).
    SampleArray tone(Tone(N, 10000, 40.0 / N));
    const std::vector<float> p = Power(o, tone);
    EXPECT_NEAR(p[40], 20 * std::log10(10000 * std::sqrt(N / 2.0) / 32767), 0.01);
    for (std::size_t k = 0; k < p.size(); ++k) {
        if (k != 40) {
            EXPECT_LT(p[k], p[40] - 60) << k;
        }
    }
    // A cosine has Fourier phase 0: the Hartley phase reads pi/4.
    EXPECT_NEAR(Phase(o, tone)[40], std::numbers::pi / 4, 1e-3);

    // A constant: only the DC bin, and -infinity elsewhere; phase pi/2 at DC.
    SampleArray dc = SampleArray::Filled(N, 1000);
    const std::vector<float> q = Power(o, dc);
    EXPECT_FLOAT_EQ(q[0], static_cast<float>(20 * std::log10(1000 * std::sqrt(1024.0) / 32767)));
    for (std::size_t k = 1; k < q.size(); ++k) EXPECT_EQ(q[k], -std::numeric_limits<float>::infinity()) << k;
    EXPECT_EQ(Phase(o, dc)[0], static_cast<float>(std::numbers::pi / 2));

    SampleArray silent = SampleArray::Filled(300, 0);
    for (float v : Power(o, silent)) EXPECT_EQ(v, -std::numeric_limits<float>::infinity());
}

TEST(SpectrumAnalysis, MatchesTheModelOnRandomBlocks) {
    Object o;
    std::mt19937 random(3);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    for (std::size_t n : {5u, 17u, 300u, 1024u, 5000u, 20000u}) {
        std::vector<short> x(n);
        for (short& v : x) v = static_cast<short>(sample(random));
        SampleArray a(x);
        const std::vector<float> power = Power(o, a), phase = Phase(o, a);
        EXPECT_EQ(a.values(), x);  // only read
        std::size_t N = 4;
        while (N * 4 <= n && N < 16384) N *= 4;
        std::vector<float> h(x.begin(), x.begin() + static_cast<long>(N));
        model::Hartley(h);
        const float r = std::sqrt(static_cast<float>(N));
        for (float& v : h) v = v / r;
        ASSERT_EQ(power.size(), N / 2);
        for (std::size_t k = 0; k < N / 2; ++k) {
            const double a1 = h[k], b1 = h[k == 0 ? N / 2 : N - k];
            ASSERT_EQ(power[k], static_cast<float>(20 * std::log10(std::sqrt(a1 * a1 + b1 * b1) / 32767))) << n << " " << k;
            ASSERT_EQ(phase[k], static_cast<float>(std::atan2(a1, b1))) << n << " " << k;
        }
    }
}

TEST(SpectrumAnalysis, EventsSettingsAndRefusals) {
    Object o;
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    SampleArray a(Tone(5000, 3000, 0.01));
    ASSERT_EQ(Power(o, a).size(), 2048u);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"End"}));  // no progress
    VARIANT_BOOL left = VARIANT_FALSE;
    o->get_SmoothLeftEnabled(&left);
    EXPECT_EQ(left, VARIANT_TRUE);

    // Two or three samples: an empty result and no event.
    sink.events.clear();
    SampleArray three({1, 2, 3});
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(Power(o, three, &hr).empty());
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(sink.events.empty());

    // One sample: -20, the result pointer untouched.
    SampleArray one({5});
    SAFEARRAY* untouched = reinterpret_cast<SAFEARRAY*>(0x1);
    EXPECT_EQ(o->FFTPhase(&one, &untouched), static_cast<HRESULT>(0x8004030B));
    EXPECT_EQ(untouched, reinterpret_cast<SAFEARRAY*>(0x1));
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    ErrorConstants last{};
    o->get_LastErrorNum(&last);
    EXPECT_EQ(last, INVALIDPARAM);
    EXPECT_TRUE(sink.events.empty());
}

}  // namespace
}  // namespace qelv::test
