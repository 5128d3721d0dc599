// FIRFilter: the tap count from Quality, the checks and their order, the
// untouched head, events without EndTransform, cancellation that leaves the
// array as it was, the response to tones, and the vector kernel against the
// extended-precision sum.
#include <cmath>
#include <limits>
#include <random>

#include "../TestSupport.h"
#include "ToneResponse.h"
#include "transform/dsp/Vector.h"
#include "transform/filters/FirDesigner.h"
#include "transform/filters/FirKernel.h"

namespace qelv::test {
namespace {

constexpr HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

class FloatArray {
public:
    explicit FloatArray(const std::vector<float>& v) : array_(SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(v.size()))) {
        float* data = nullptr;
        SafeArrayAccessData(array_, reinterpret_cast<void**>(&data));
        std::copy(v.begin(), v.end(), data);
        SafeArrayUnaccessData(array_);
    }
    ~FloatArray() { SafeArrayDestroy(array_); }
    FloatArray(const FloatArray&) = delete;
    FloatArray& operator=(const FloatArray&) = delete;
    SAFEARRAY** operator&() { return &array_; }

private:
    SAFEARRAY* array_;
};

// The low-pass of the documented example: pass 0 .. 3000 Hz, stop 5000 .. 22050 Hz.
struct LowPassBands {
    FloatArray freq{{0, 3000, -1, 5000, 22050}};
    FloatArray gain{{1, 1, 0, 0, 0}};
    FloatArray weight{{1, 1, 0, 10, 10}};
};

std::vector<float> DesignedTaps(std::size_t n, double rate) {
    const float f[] = {0, 3000, -1, 5000, 22050}, g[] = {1, 1, 0, 0, 0}, w[] = {1, 1, 0, 10, 10};
    std::vector<double> taps(n);
    dsp::CFirDesigner d;
    d.Length = static_cast<std::int32_t>(n);
    d.Coefficients = taps.data();
    d.Design(f, g, w, 5, rate);
    return std::vector<float>(taps.begin(), taps.end());
}

std::vector<short> Reference(const std::vector<short>& x, const std::vector<float>& h) {
    std::vector<short> out = x;
    for (std::size_t i = h.size(); i < x.size(); ++i) {
        float acc = 0;
        for (std::size_t j = 0; j < h.size(); ++j) acc = static_cast<float>(static_cast<long double>(x[i - j]) * h[j] + acc);
        if (acc > 32767.0f) acc = 32766.0f;
        if (acc < -32767.0f) acc = -32766.0f;
        out[i] = static_cast<short>(static_cast<int>(acc));
    }
    return out;
}

std::vector<short> Noise(std::size_t n, int amplitude, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> d(-amplitude, amplitude);
    std::vector<short> v(n);
    for (short& s : v) s = static_cast<short>(d(random));
    return v;
}

TEST(FirFilter, TapsFromQualityAndTheStatedSum) {
    const std::vector<short> input = Noise(3000, 30000, 1);
    for (auto [quality, taps] : {std::pair{5, 10}, {11, 10}, {101, 100}, {300, 256}, {64, 64}}) {
        Object o;
        RecordingSink sink;
        Connection c(o.get(), &sink);
        LowPassBands bands;
        SampleArray a(input);
        ASSERT_EQ(o->FIRFilter(&a, &bands.freq, &bands.gain, &bands.weight, quality), S_OK);
        EXPECT_EQ(a.values(), Reference(input, DesignedTaps(taps, 44100))) << quality;
        // Progress events when enabled, no EndTransform.
        EXPECT_FALSE(sink.percents.empty());
        EXPECT_EQ(sink.endCount(), 0);
        EXPECT_EQ(sink.percents.front(), static_cast<LONG>((taps + 29) / 30));
    }
    // With events off the outputs are written into the array from the end
    // backwards, block by block: every block must still read original samples.
    const std::vector<short> longer = Noise(40000, 30000, 2);
    Object o;
    o->put_TBEventEnabled(VARIANT_FALSE);
    LowPassBands bands;
    SampleArray a(longer);
    ASSERT_EQ(o->FIRFilter(&a, &bands.freq, &bands.gain, &bands.weight, 256), S_OK);
    EXPECT_EQ(a.values(), Reference(longer, DesignedTaps(256, 44100)));
}

TEST(FirFilter, ChecksAndTheirOrder) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    const std::vector<short> input = Noise(500, 1000, 2);
    SampleArray a(input);
    LowPassBands bands;

    // The rate is checked before anything, not even the cancel flag is cleared.
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(6000));
    o->CancelTransform();
    EXPECT_EQ(o->FIRFilter(&a, &bands.freq, &bands.gain, &bands.weight, 20), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    EXPECT_EQ(o->CancelRequested, 1);
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(6001));
    FloatArray lowFreq({0, 1000, -1, 2000, 3000});
    EXPECT_EQ(o->FIRFilter(&a, &lowFreq, &bands.gain, &bands.weight, 20), S_OK);
    EXPECT_EQ(o->LastErrorNum, 0);
    o->put_ArrayFrequency(FQ_44_KHZ);

    FloatArray two({0, 3000}), three({1, 1, 1}), one({1}), ones({1, 1});
    SampleArray b(input);
    EXPECT_EQ(o->FIRFilter(&b, &two, &three, &three, 20), kInvalidParam);
    EXPECT_EQ(o->FIRFilter(&b, &two, &ones, &three, 20), kInvalidParam);
    EXPECT_EQ(o->FIRFilter(&b, &one, &one, &one, 20), kInvalidParam);
    EXPECT_EQ(o->FIRFilter(&b, &two, &ones, nullptr, 20), kInvalidParam);
    SampleArray single({1});
    EXPECT_EQ(o->FIRFilter(&single, &bands.freq, &bands.gain, &bands.weight, 20), kInvalidParam);
    // Band layouts the designer refuses: descending frequencies, a weight of 0.
    FloatArray down({3000, 0}), zeroWeight({0, 0});
    EXPECT_EQ(o->FIRFilter(&b, &down, &ones, &ones, 20), kInvalidParam);
    EXPECT_EQ(o->FIRFilter(&b, &two, &ones, &zeroWeight, 20), kInvalidParam);
    EXPECT_EQ(o->LastErrorNum, -20);
    EXPECT_EQ(b.values(), input);
    EXPECT_EQ(sink.endCount(), 0);

    // An array of N samples or fewer is accepted and left as it is.
    SampleArray shortArray(Noise(20, 1000, 3));
    const std::vector<short> before = shortArray.values();
    EXPECT_EQ(o->FIRFilter(&shortArray, &bands.freq, &bands.gain, &bands.weight, 20), S_OK);
    EXPECT_EQ(shortArray.values(), before);
    EXPECT_EQ(o->LastErrorNum, 0);
}

TEST(FirFilter, CancelLeavesTheArrayAsItWas) {
    Object o;
    RecordingSink sink;
    sink.onBlock = [&](LONG percent) {
        if (percent == 40) o->CancelTransform();
    };
    Connection c(o.get(), &sink);
    const std::vector<short> input = Noise(5000, 20000, 4);
    SampleArray a(input);
    LowPassBands bands;
    ASSERT_EQ(o->FIRFilter(&a, &bands.freq, &bands.gain, &bands.weight, 50), S_OK);
    EXPECT_EQ(a.values(), input);
    EXPECT_EQ(sink.percents.back(), 40);
    EXPECT_EQ(sink.endCount(), 0);
}

TEST(FirFilter, LimitsOfTheSum) {
    std::vector<float> h(10, 0.0f);
    h[0] = 1.0f;
    const dsp::FirTaps unit = dsp::DescribeTaps(h.data(), h.size());
    std::vector<short> x(20, 32767);
    x[15] = -32768;
    EXPECT_EQ(dsp::FirSampleExact(x.data(), 12, unit), 32767);  // 32767.0 itself stays
    EXPECT_EQ(dsp::FirSampleExact(x.data(), 15, unit), -32766);
    h[0] = 1.0001f;
    const dsp::FirTaps over = dsp::DescribeTaps(h.data(), h.size());
    EXPECT_EQ(dsp::FirSampleExact(x.data(), 12, over), 32766);
}

TEST(FirFilter, ToneGainsFollowTheDesignedTaps) {
    const std::vector<float> h = DesignedTaps(128, 44100);
    for (double hz : {200.0, 1000.0, 2500.0, 3500.0, 4500.0, 6000.0, 10000.0, 20000.0}) {
        Object o;
        LowPassBands bands;
        const double f = hz / 44100, amplitude = 16000;
        SampleArray a(Tone(8192, f, amplitude));
        ASSERT_EQ(o->FIRFilter(&a, &bands.freq, &bands.gain, &bands.weight, 128), S_OK);
        const double measured = ToneAmplitude(a.values(), 1024, f) / amplitude;
        const double expected = FirGain(h, f);
        EXPECT_NEAR(measured, expected, 0.005 * expected + 0.0005) << hz;
    }
}

// The vector kernel (eight outputs per vector, fused multiply-add with the
// exponent test) and the portable double form against the extended-precision
// sum, over designed taps, taps of wide dynamic range (which set off the
// exponent test), leading zero taps and taps outside the fast range.
TEST(FirFilter, KernelsEqualTheExtendedSum) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(0, 1);
    std::vector<float> scratch(dsp::kFirScratch + 256);
    const bool wideBefore = dsp::vec::HasWide();
    for (int round = 0; round < 160; ++round) {
        const std::size_t n = 10 + 2 * static_cast<std::size_t>(unit(random) * 124);
        std::vector<float> h;
        if (round % 4 == 0) {
            h = DesignedTaps(n, 44100);
        } else {
            h.resize(n);
            for (float& t : h) t = (unit(random) * 2 - 1) * std::ldexp(1.0f, static_cast<int>(unit(random) * 60) - 50);
            if (round % 4 == 2) h[0] = h[1] = 0;
            if (round % 4 == 3) h[n / 2] = std::ldexp(1.0f, -70);  // outside the fast range
            if (round % 8 == 1) h[0] = 1e-30f;
        }
        const std::size_t len = 2000 + round;
        std::vector<short> x(len);
        for (std::size_t i = 0; i < len; ++i) {
            const int kind = (round + static_cast<int>(i / 300)) % 3;
            x[i] = kind == 0 ? 0 : static_cast<short>((unit(random) * 2 - 1) * (kind == 1 ? 32767 : 3));
        }
        const dsp::FirTaps taps = dsp::DescribeTaps(h.data(), n);
        std::vector<short> exact(len - n), fast(len - n), portable(len - n);
        dsp::FirRangeExact(x.data(), n, len, taps, exact.data());
        for (std::size_t b = n; b < len;) {
            const std::size_t e = std::min(len, b + 1 + (b * 11) % 900);
            dsp::FirRange(x.data(), b, e, taps, fast.data() + (b - n), scratch.data());
            b = e;
        }
        ASSERT_EQ(fast, exact) << "round " << round;
        dsp::vec::AllowWide(false);
        dsp::FirRange(x.data(), n, len, taps, portable.data(), scratch.data());
        dsp::vec::AllowWide(true);
        ASSERT_EQ(portable, exact) << "round " << round;
    }
    dsp::vec::AllowWide(wideBefore);
}

}  // namespace
}  // namespace qelv::test

namespace qelv::test {
namespace {

// Non-finite and extreme parameters through all nine methods: each call either
// succeeds or refuses with -20, and none may reach undefined behaviour (the
// sanitizer build runs this too).
TEST(FilterFamily, ExtremeParametersSucceedOrAreRefused) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float values[] = {nan, inf, -inf, 0.0f, -0.0f, 1e-44f, 3e38f, -3e38f, 1e6f};
    const std::vector<short> input = Noise(3000, 32767, 9);
    Object o;
    auto check = [&](HRESULT hr) { EXPECT_TRUE(hr == S_OK || hr == kInvalidParam) << std::hex << hr; };
    for (float a : values) {
        for (float b : values) {
            SampleArray x(input);
            check(o->LowPassFilter(&x, a, b));
            check(o->BandPassFilter(&x, b, a));
            check(o->PeakEQFilter(&x, a, 1000, b));
            check(o->LowShelfFilter(&x, b, a, 100));
            check(o->HighShelfFilter(&x, a, b, 50));
            SampleArray r(input);
            check(o->Reverb(&r, 5, a, b, a, b, 3));
            check(o->Reverb(&r, a, 50, 50, 50, b, 3));
        }
        FloatArray freq({0, 3000, -1, 5000, a}), gain({1, a, 0, 0, 0}), weight({1, 1, 0, a, 10});
        SampleArray f(input);
        check(o->FIRFilter(&f, &freq, &gain, &weight, 20));
    }
}

}  // namespace
}  // namespace qelv::test
