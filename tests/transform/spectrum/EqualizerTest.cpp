// Equalizer: the documented curves, the call of FFTFilter through the
// interface (same samples and events), its checks and the coefficient set.
#include <cmath>
#include <random>

#include "transform/TestSupport.h"
#include "transform/FloatEnvironment.h"
#include "transform/filters/EqualizerCurve.h"

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

struct Points {
    std::vector<float> db, hz;
};

std::vector<float> Curve(const Points& p, long rate, bool smooth = true) {
    std::vector<float> c(dsp::kEqualizerBins);
    dsp::PlaceEqualizerPoints(p.db.data(), p.hz.data(), p.db.size(), rate, c.data());
    dsp::FillEqualizerGaps(c.data());
    if (smooth) {
        dsp::SmoothEqualizerCurve(c.data(), dsp::DesignBiquad(dsp::kBiquadHighShelf, -40, rate / 4.0f, 100, rate));
    }
    return c;
}

HRESULT Equalize(Object& o, SampleArray& a, const Points& p) {
    SAFEARRAY* db = Floats(p.db);
    SAFEARRAY* hz = Floats(p.hz);
    const HRESULT hr = o->Equalizer(&a, &db, &hz);
    SafeArrayDestroy(db);
    SafeArrayDestroy(hz);
    return hr;
}

std::vector<short> Noise(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> d(-20000, 20000);
    std::vector<short> v(n);
    for (short& s : v) s = static_cast<short>(d(random));
    return v;
}

TEST(Equalizer, DocumentedCurves) {
    // No points: about 1, pulled down at both ends by the start of each pass.
    const std::vector<float> flat = Curve({}, 44100);
    EXPECT_NEAR(flat[0], 0.55, 0.01);
    EXPECT_NEAR(flat[511], 0.55, 0.01);
    EXPECT_NEAR(flat[1], 0.67, 0.01);
    EXPECT_NEAR(flat[510], 0.67, 0.01);
    EXPECT_NEAR(flat[2], 0.80, 0.01);
    EXPECT_NEAR(flat[509], 0.80, 0.01);
    float overshoot = 0;
    for (std::size_t k = 3; k < 12; ++k) overshoot = std::max(overshoot, flat[k]);
    EXPECT_NEAR(overshoot, 1.02, 0.01);
    for (std::size_t k = 20; k < 490; ++k) EXPECT_NEAR(flat[k], 1.0, 1e-3) << k;

    // One point, 1000 Hz at +6 dB: entries 0 .. 23 at 10^(6/20), then a line down to 1.
    const std::vector<float> one = Curve({{6}, {1000}}, 44100, false);
    const float g = static_cast<float>(std::pow(10.0, 0.3));
    for (std::size_t k = 0; k <= 23; ++k) EXPECT_EQ(one[k], g) << k;
    EXPECT_NEAR(one[267], g + (1 - g) * 243 / 487, 1e-6);
    EXPECT_EQ(one[511], 1.0f);

    // A point above half the rate ends the list; points outside the curve are skipped.
    EXPECT_EQ(Curve({{6, 12, -6}, {1000, 30000, 5000}}, 44100, false), one);
    EXPECT_EQ(Curve({{12, 6}, {-50, 1000}}, 44100, false)[0], 1.0f);
    const std::vector<float> nyquist = Curve({{12, 6}, {22050, 1000}}, 44100, false);
    EXPECT_EQ(nyquist[0], 1.0f);
    EXPECT_EQ(nyquist[23], g);
    EXPECT_NEAR(nyquist[12], 1 + (g - 1) * 11 / 22, 1e-6);
    // A gain that is 0 as a float counts as an empty entry.
    EXPECT_EQ(Curve({{6, -1000}, {1000, 5000}}, 44100, false), one);
}

TEST(Equalizer, FiltersThroughFFTFilterWithItsEvents) {
    const Points points = {{6, -12, 3, 0}, {100, 2000, 8000, 15000}};
    const std::vector<short> x = Noise(6000, 1);
    Object eq, direct;
    RecordingSink eqSink, directSink;
    Connection c1(eq.get(), &eqSink), c2(direct.get(), &directSink);
    eq->put_TBEventEnabled(VARIANT_FALSE);
    eq->put_ArrayFrequency(FQ_48_KHZ);
    direct->put_ArrayFrequency(FQ_48_KHZ);

    SampleArray a(x), b(x);
    ASSERT_EQ(Equalize(eq, a, points), S_OK);
    SAFEARRAY* curve = Floats(Curve(points, 48000));
    ASSERT_EQ(direct->FFTFilter(&b, &curve), S_OK);
    SafeArrayDestroy(curve);
    EXPECT_EQ(a.values(), b.values());
    EXPECT_EQ(eqSink.events, directSink.events);
    EXPECT_EQ(eqSink.endCount(), 1);
    EXPECT_GT(eqSink.events.size(), 5u);

    // The coefficient set holds the smoothing shelf afterwards.
    const dsp::Biquad shelf = dsp::DesignBiquad(dsp::kBiquadHighShelf, -40, 12000, 100, 48000);
    const float expected[6] = {shelf.a0, shelf.a1, shelf.a2, shelf.b0, shelf.b1, shelf.b2};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(eq->Coefficients[i], expected[i]) << i;
    ErrorConstants last{};
    eq->get_LastErrorNum(&last);
    EXPECT_EQ(last, NOERRORS);
}

#if QELV_X86_FLOAT_ENVIRONMENT
// The inner FFTFilter is the only frame open while the host's handlers run:
// they see the host's floating-point settings, the result is the one computed
// under the transforms' own, and the smoothing settings come back.
TEST(Equalizer, InnerEventsRunUnderTheHostsSettings) {
    const Points points = {{6, -12}, {300, 5000}};
    const std::vector<short> x = Noise(8000, 4);
    Object plain;
    SampleArray expected(x);
    ASSERT_EQ(Equalize(plain, expected, points), S_OK);

    Object o;
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    constexpr unsigned kTowardZero = 0x1F80 | 0x6000;
    std::vector<unsigned> seen;
    sink.onBlock = [&](LONG) { seen.push_back(_mm_getcsr() & ~0x3Fu); };
    sink.onEnd = [&] { seen.push_back(_mm_getcsr() & ~0x3Fu); };
    SampleArray a(x);
    _mm_setcsr(kTowardZero);
    const HRESULT hr = Equalize(o, a, points);
    const unsigned after = _mm_getcsr() & ~0x3Fu;
    _mm_setcsr(0x1F80);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(after, kTowardZero);
    ASSERT_FALSE(seen.empty());
    for (unsigned csr : seen) EXPECT_EQ(csr, kTowardZero);
    EXPECT_EQ(a.values(), expected.values());
    VARIANT_BOOL left = VARIANT_FALSE, right = VARIANT_FALSE;
    o->get_SmoothLeftEnabled(&left);
    o->get_SmoothRightEnabled(&right);
    EXPECT_EQ(left, VARIANT_TRUE);
    EXPECT_EQ(right, VARIANT_TRUE);
}
#endif

TEST(Equalizer, Refusals) {
    Object o;
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    const std::vector<short> x = Noise(2000, 2);

    SampleArray a(x);
    EXPECT_EQ(Equalize(o, a, {{1, 2}, {100}}), kInvalid);  // different counts
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    SampleArray shortArray(Noise(511, 3));  // FFTFilter needs 512 samples
    EXPECT_EQ(Equalize(o, shortArray, {}), kInvalid);
    SampleArray nan(x);  // a NaN gain leaves no curve to filter with
    EXPECT_EQ(Equalize(o, nan, {{std::nanf("")}, {100}}), kInvalid);
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(0));
    SampleArray zeroRate(x);
    EXPECT_EQ(Equalize(o, zeroRate, {}), kInvalid);
    SampleArray one({1});
    EXPECT_EQ(Equalize(o, one, {}), kInvalid);
    EXPECT_EQ(a.values(), x);
    EXPECT_EQ(nan.values(), x);
    EXPECT_EQ(zeroRate.values(), x);
    EXPECT_TRUE(sink.events.empty());

    // A negative rate mirrors the frequencies and still filters.
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(-44100));
    SampleArray mirrored(x);
    EXPECT_EQ(Equalize(o, mirrored, {{6}, {-1000}}), S_OK);
}

}  // namespace
}  // namespace qelv::test
