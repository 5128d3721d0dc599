// The seven second-order filter methods: the recursion from a zero state fed
// back from the written samples, events, cancellation, refusals, the response
// to pure tones, and the fast kernel against the extended-precision one.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "../TestSupport.h"
#include "ToneResponse.h"
#include "transform/dsp/Vector.h"
#include "transform/filters/BiquadKernel.h"

namespace qelv::test {
namespace {

constexpr HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

struct Method {
    const char* name;
    int type;
    std::function<HRESULT(CSonalter2&, SampleArray&, float, float, float)> run;  // dbGain, Frequency, Steepness
};

std::vector<Method> Methods() {
    return {
        {"LowPass", 1, [](CSonalter2& o, SampleArray& a, float, float f, float s) { return o.LowPassFilter(&a, f, s); }},
        {"HighPass", 2, [](CSonalter2& o, SampleArray& a, float, float f, float s) { return o.HighPassFilter(&a, f, s); }},
        {"BandPass", 3, [](CSonalter2& o, SampleArray& a, float, float f, float s) { return o.BandPassFilter(&a, f, s); }},
        {"Notch", 5, [](CSonalter2& o, SampleArray& a, float, float f, float s) { return o.NotchFilter(&a, f, s); }},
        {"PeakEQ", 6, [](CSonalter2& o, SampleArray& a, float g, float f, float s) { return o.PeakEQFilter(&a, g, f, s); }},
        {"LowShelf", 7, [](CSonalter2& o, SampleArray& a, float g, float f, float s) { return o.LowShelfFilter(&a, g, f, s); }},
        {"HighShelf", 8, [](CSonalter2& o, SampleArray& a, float g, float f, float s) { return o.HighShelfFilter(&a, g, f, s); }},
    };
}

short Written(long double y) {
    const float f = static_cast<float>(y);
    if (f > 32767.0f) return 32767;
    if (f < -32767.0f) return -32767;
    return static_cast<short>(static_cast<int>(f));
}

// The recursion as the method describes it, from the object's coefficient set.
std::vector<short> Recursion(const float* k, const std::vector<short>& x) {
    using L = long double;
    const L a1 = k[1], a2 = k[2], b0 = k[3], b1 = k[4], b2 = k[5];
    std::vector<short> out(x.size());
    out[0] = Written(b0 * x[0]);
    out[1] = Written(b0 * x[1] + b1 * x[0] - a1 * out[0]);
    for (std::size_t i = 2; i < x.size(); ++i) {
        out[i] = Written(b0 * x[i] + b1 * x[i - 1] + b2 * x[i - 2] - a1 * out[i - 1] - a2 * out[i - 2]);
    }
    return out;
}

TEST(BiquadFilters, EveryMethodRunsTheDocumentedRecursion) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<short> input(3000);
    for (short& s : input) s = static_cast<short>(sample(random));
    for (const Method& m : Methods()) {
        for (float gain : {-12.0f, 9.0f}) {
            Object o;
            o.NoSmoothing();
            SampleArray a(input);
            ASSERT_EQ(m.run(*o, a, gain, 3000, 80), S_OK) << m.name;
            const dsp::Biquad expected = dsp::DesignBiquad(m.type, m.type >= 6 ? gain : 0, 3000, 80, 44100);
            EXPECT_EQ(o->Coefficients[3], expected.b0) << m.name;
            EXPECT_EQ(a.values(), Recursion(o->Coefficients, input)) << m.name;
        }
    }
}

TEST(BiquadFilters, TwoSamplesEventsAndStereo) {
    Object o;
    o.NoSmoothing();
    RecordingSink sink;
    Connection c(o.get(), &sink);
    SampleArray two({10000, -20000});
    ASSERT_EQ(o->LowPassFilter(&two, 5000, 70.7f), S_OK);
    EXPECT_EQ(two.values(), Recursion(o->Coefficients, {10000, -20000}));
    EXPECT_TRUE(sink.percents.empty());
    EXPECT_EQ(sink.endCount(), 1);

    // Progress starts with sample 2: for n = 1000 the events come after samples 10 .. 990.
    sink.events.clear();
    sink.percents.clear();
    SampleArray a = SampleArray::Filled(1000, 100);
    ASSERT_EQ(o->HighPassFilter(&a, 200, 100), S_OK);
    ASSERT_EQ(sink.percents.size(), 99u);
    EXPECT_EQ(sink.percents.front(), 1);
    EXPECT_EQ(sink.percents.back(), 99);
    EXPECT_EQ(sink.events.back(), "End");

    // ArrayChannels is not consulted.
    const std::vector<short> input = Tone(500, 0.05, 9000);
    SampleArray mono(input), stereo(input);
    ASSERT_EQ(o->PeakEQFilter(&mono, 6, 2000, 50), S_OK);
    o->put_ArrayChannels(STEREO);
    ASSERT_EQ(o->PeakEQFilter(&stereo, 6, 2000, 50), S_OK);
    EXPECT_EQ(mono.values(), stereo.values());
}

TEST(BiquadFilters, CancelKeepsTheSamplesDoneAndSkipsTheEnd) {
    Object o;
    RecordingSink sink;
    sink.onBlock = [&](LONG percent) {
        if (percent == 10) o->CancelTransform();
    };
    Connection c(o.get(), &sink);
    const std::vector<short> input = Tone(1000, 0.01, 12000);
    SampleArray a(input);
    ASSERT_EQ(o->LowPassFilter(&a, 1000, 100), S_OK);
    const std::vector<short> full = Recursion(o->Coefficients, input);
    const std::vector<short> v = a.values();
    for (int i = 0; i <= 101; ++i) ASSERT_EQ(v[i], full[i]) << i;
    for (int i = 102; i < 1000; ++i) ASSERT_EQ(v[i], input[i]) << i;
    EXPECT_EQ(sink.endCount(), 0);
}

TEST(BiquadFilters, DocumentedCases) {
    Object o;
    o.NoSmoothing();
    const std::vector<short> input = Tone(4000, 0.013, 20000);
    // Steepness 0 is Steepness 1.
    SampleArray zero(input), one(input);
    ASSERT_EQ(o->LowPassFilter(&zero, 800, 0), S_OK);
    ASSERT_EQ(o->LowPassFilter(&one, 800, 1), S_OK);
    EXPECT_EQ(zero.values(), one.values());

    // 0 dB peaking and shelving filters leave the samples unchanged, also with
    // smoothing on (the cross-fade of equal values gives them back).
    for (bool smooth : {false, true}) {
        Object p;
        if (!smooth) p.NoSmoothing();
        const std::vector<short> big = Tone(20000, 0.021, 30000);
        SampleArray peak(big), low(big), high(big);
        ASSERT_EQ(p->PeakEQFilter(&peak, 0, 1000, 70), S_OK);
        ASSERT_EQ(p->LowShelfFilter(&low, 0, 1000, 70), S_OK);
        ASSERT_EQ(p->HighShelfFilter(&high, 0, 1000, 70), S_OK);
        std::vector<short> limited = big;
        if (smooth) {
            limited.front() = std::clamp<short>(limited.front(), -32766, 32766);
            limited.back() = std::clamp<short>(limited.back(), -32766, 32766);
        }
        EXPECT_EQ(peak.values(), limited);
        EXPECT_EQ(low.values(), limited);
        EXPECT_EQ(high.values(), limited);
    }

    // A constant 20000 through a 6 dB low shelf (about 2 at 0 Hz) settles at 32767.
    SampleArray loud = SampleArray::Filled(3000, 20000);
    ASSERT_EQ(o->LowShelfFilter(&loud, 6, 1000, 100), S_OK);
    EXPECT_EQ(loud.values().back(), 32767);
    for (short s : loud.values()) EXPECT_NE(s, -32768);
}

TEST(BiquadFilters, UndefinedDesignsAreRefusedBeforeAnythingChanges) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    const std::vector<short> input = Tone(20000, 0.01, 10000);
    SampleArray a(input);
    EXPECT_EQ(o->LowShelfFilter(&a, 40, 1000, 200), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    EXPECT_EQ(o->LastErrorNum, -20);
    EXPECT_EQ(o->HighShelfFilter(&a, 40, 1000, 130), kInvalidParam);
    EXPECT_EQ(a.values(), input);
    EXPECT_TRUE(sink.events.empty());
    VARIANT_BOOL left = 0;
    o->get_SmoothLeftEnabled(&left);
    EXPECT_EQ(left, VARIANT_TRUE);

    o->put_ArrayFrequency(static_cast<FrequencyConstants>(0));
    for (const Method& m : Methods()) EXPECT_EQ(m.run(*o, a, 3, 1000, 100), kInvalidParam) << m.name;
    o->put_ArrayFrequency(FQ_44_KHZ);
    EXPECT_EQ(o->NotchFilter(&a, std::numeric_limits<float>::quiet_NaN(), 100), kInvalidParam);
    EXPECT_EQ(a.values(), input);
    EXPECT_TRUE(sink.events.empty());

    SampleArray single({5});
    EXPECT_EQ(o->BandPassFilter(&single, 1000, 100), kInvalidParam);
    EXPECT_EQ(single.values(), std::vector<short>{5});
    // Out-of-range values are filtered through the same formulas.
    EXPECT_EQ(o->LowPassFilter(&a, 30000, -20), S_OK);
}

// Pure tones keep their frequency and take the gain of the coefficient set.
TEST(BiquadFilters, ToneGainsFollowTheDesignedResponse) {
    struct Case {
        int methodIndex;
        float gain, frequency, steepness;
    };
    const Case cases[] = {{0, 0, 2000, 70.7f}, {1, 0, 2000, 70.7f}, {2, 0, 3000, 200}, {3, 0, 3000, 100},
                          {4, 9, 4000, 100},   {5, -9, 1500, 100},  {6, 6, 6000, 100}};
    const std::vector<Method> methods = Methods();
    for (const Case& k : cases) {
        const Method& m = methods[k.methodIndex];
        const dsp::Biquad c = dsp::DesignBiquad(m.type, k.gain, k.frequency, k.steepness, 44100);
        for (double hz : {100.0, 700.0, 1500.0, 2500.0, 4000.0, 7000.0, 12000.0, 18000.0}) {
            Object o;
            o.NoSmoothing();
            const double f = hz / 44100;
            const double amplitude = 8000;
            SampleArray a(Tone(8192, f, amplitude));
            ASSERT_EQ(m.run(*o, a, k.gain, k.frequency, k.steepness), S_OK);
            const std::vector<short> out = a.values();
            const double measured = ToneAmplitude(out, 2048, f) / amplitude;
            const double expected = BiquadGain(c, f);
            EXPECT_NEAR(measured, expected, 0.01 * expected + 0.002) << m.name << " at " << hz << " Hz";
        }
    }
}

// The double-precision fast form of the kernel against the extended-precision
// recursion, over random designs (ordinary, extreme and pass-through ones) and
// random, tonal, silent and full-scale inputs.
TEST(BiquadFilters, FastKernelEqualsExtendedRecursion) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(0, 1);
    for (int round = 0; round < 600; ++round) {
        const int types[] = {1, 2, 3, 5, 6, 7, 8};
        const int type = types[round % 7];
        const float gain = (round % 5 == 0) ? 0.0f : unit(random) * 60 - 30;
        const float frequency = round % 11 == 0 ? unit(random) * 40 : unit(random) * 24000;
        const float steepness = round % 13 == 0 ? unit(random) * 2000 : unit(random) * 300 - 20;
        const dsp::Biquad c = dsp::DesignBiquad(type, gain, frequency, steepness, 44100);
        if (!dsp::BiquadIsDefined(c)) continue;
        std::vector<short> x(4000);
        const int shape = round % 4;
        const double amplitude = round % 3 == 0 ? 32767 : 3000 * unit(random);
        for (std::size_t i = 0; i < x.size(); ++i) {
            double v = 0;
            if (shape == 0) v = (unit(random) * 2 - 1) * amplitude;
            if (shape == 1) v = amplitude * std::sin(0.001 * round * i);
            if (shape == 2) v = i < 2000 ? 0 : amplitude * std::sin(0.3 * i);
            if (shape == 3) v = (i / 100) % 2 ? amplitude : -amplitude;
            x[i] = static_cast<short>(std::clamp(v, -32768.0, 32767.0));
        }
        // With the fused step (when the processor has it) and without.
        for (bool fused : {true, false}) {
            dsp::vec::AllowWide(fused);
            std::vector<short> fast = x, exact = x;
            dsp::BiquadHistory hf, he;
            dsp::BiquadStart(fast.data(), c, hf);
            dsp::BiquadStart(exact.data(), c, he);
            // Stretches of varying length, as the frame hands them out.
            for (std::size_t b = 2; b < x.size();) {
                const std::size_t e = std::min(x.size(), b + 1 + (b * 7) % 500);
                dsp::BiquadRange(fast.data(), b, e, c, hf);
                dsp::BiquadRangeExact(exact.data(), b, e, c, he);
                b = e;
            }
            dsp::vec::AllowWide(true);
            ASSERT_EQ(fast, exact) << "round " << round << " type " << type << " fused " << fused;
        }
    }
}

}  // namespace
}  // namespace qelv::test
