// Reverb: the untouched head, the limited parameters, the refusals, events and
// cancellation, the edge taken from the delay, and the kernel's one-buffer
// comb bank against T separate combs in extended precision.
#include <cmath>
#include <limits>
#include <random>

#include "../TestSupport.h"
#include "../filters/ToneResponse.h"
#include "transform/effects/ReverbKernel.h"

namespace qelv::test {
namespace {

constexpr HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

std::vector<short> Noise(std::size_t n, int amplitude, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> d(-amplitude, amplitude);
    std::vector<short> v(n);
    for (short& s : v) s = static_cast<short>(d(random));
    return v;
}

TEST(Reverb, HeadLimitsAndPureDelays) {
    Object o;
    o.NoSmoothing();
    const std::vector<short> input = Noise(5000, 20000, 1);
    // 10 ms at 44100 Hz: D = 441.
    SampleArray a(input);
    ASSERT_EQ(o->Reverb(&a, 10, 60, 50, 70, 5000, 4), S_OK);
    const std::vector<short> v = a.values();
    for (int i = 0; i < 441; ++i) ASSERT_EQ(v[i], input[i]) << i;
    EXPECT_NE(v[441], input[441]);
    // The low-pass design stays in the coefficient set.
    const dsp::Biquad lp = dsp::DesignBiquad(dsp::kBiquadLowPass, -20, 5000, 50, 44100);
    EXPECT_EQ(o->Coefficients[3], lp.b0);
    EXPECT_EQ(o->Coefficients[2], lp.a2);

    SampleArray dryOnly(input);
    ASSERT_EQ(o->Reverb(&dryOnly, 10, 0, 50, 70, 5000, 4), S_OK);
    EXPECT_EQ(dryOnly.values(), input);

    SampleArray over(input), full(input);
    ASSERT_EQ(o->Reverb(&over, 10, 150, 50, 70, 5000, 4), S_OK);
    ASSERT_EQ(o->Reverb(&full, 10, 100, 50, 70, 5000, 4), S_OK);
    EXPECT_EQ(over.values(), full.values());

    SampleArray negative(input), zero(input);
    ASSERT_EQ(o->Reverb(&negative, 10, 80, 30, -10, 5000, 3), S_OK);
    ASSERT_EQ(o->Reverb(&zero, 10, 80, 30, 0, 5000, 3), S_OK);
    EXPECT_EQ(negative.values(), zero.values());

    SampleArray high(input), nyquist(input);
    ASSERT_EQ(o->Reverb(&high, 10, 80, 30, 50, 30000, 3), S_OK);
    ASSERT_EQ(o->Reverb(&nyquist, 10, 80, 30, 50, 22050, 3), S_OK);
    EXPECT_EQ(high.values(), nyquist.values());

    // Fully wet, no feedback anywhere: the combs and all-passes are pure delays
    // of D, so nothing reaches the output before 2 * D, and the input itself
    // (through the comb, the low-pass and both all-passes) not before 3 * D.
    SampleArray wet(input);
    ASSERT_EQ(o->Reverb(&wet, 10, 100, 0, 0, 5000, 1), S_OK);
    const std::vector<short> w = wet.values();
    for (int i = 441; i < 882; ++i) ASSERT_EQ(w[i], 0) << i;
    int heard = 0;
    for (int i = 1323; i < 2000; ++i) heard += w[i] != 0;
    EXPECT_GT(heard, 500);

    // Any number of taps gives the same output up to float rounding.
    SampleArray one(input), twenty(input);
    ASSERT_EQ(o->Reverb(&one, 10, 70, 40, 60, 4000, 1), S_OK);
    ASSERT_EQ(o->Reverb(&twenty, 10, 70, 40, 60, 4000, 20), S_OK);
    const std::vector<short> v1 = one.values(), v20 = twenty.values();
    for (std::size_t i = 0; i < v1.size(); ++i) ASSERT_LE(std::abs(v1[i] - v20[i]), 2) << i;
}

TEST(Reverb, RefusalsLeaveEverythingAsItWas) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    const std::vector<short> input = Noise(1000, 1000, 2);
    SampleArray a(input);
    EXPECT_EQ(o->Reverb(&a, 10, 50, 50, 50, 3000, 0), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    EXPECT_EQ(o->LastErrorNum, -20);
    EXPECT_EQ(o->Reverb(&a, 10, 50, 50, 50, 3000, 21), kInvalidParam);
    EXPECT_EQ(o->Reverb(&a, 0.02f, 50, 50, 50, 3000, 2), kInvalidParam);  // D = 0
    EXPECT_EQ(o->Reverb(&a, -5, 50, 50, 50, 3000, 2), kInvalidParam);
    EXPECT_EQ(o->Reverb(&a, std::numeric_limits<float>::quiet_NaN(), 50, 50, 50, 3000, 2), kInvalidParam);
    // D equal to n, and just below it.
    const float allOfIt = 1000.0f * 1000 / 44100 + 0.001f;
    EXPECT_EQ(o->Reverb(&a, allOfIt, 50, 50, 50, 3000, 2), kInvalidParam);
    EXPECT_EQ(o->Reverb(&a, 3000, 50, 50, 50, 3000, 2), kInvalidParam);
    EXPECT_EQ(o->Reverb(&a, 5, 50, 50, 50, std::numeric_limits<float>::quiet_NaN(), 2), kInvalidParam);
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(0));
    EXPECT_EQ(o->Reverb(&a, 5, 50, 50, 50, 3000, 2), kInvalidParam);
    EXPECT_EQ(a.values(), input);
    EXPECT_TRUE(sink.events.empty());
    VARIANT_BOOL left = 0;
    o->get_SmoothLeftEnabled(&left);
    EXPECT_EQ(left, VARIANT_TRUE);

    o->put_ArrayFrequency(FQ_44_KHZ);
    SampleArray shortest(Noise(45, 1000, 3));  // D = 44 < 45 is accepted
    EXPECT_EQ(o->Reverb(&shortest, 1, 50, 50, 50, 3000, 2), S_OK);
}

TEST(Reverb, EventsFromTheDelayOnAndCancel) {
    Object o;
    o.NoSmoothing();
    RecordingSink sink;
    Connection c(o.get(), &sink);
    // D = 441, n = 2000: step 20, events at 460, 480, .. 1980.
    const std::vector<short> input = Noise(2000, 5000, 4);
    SampleArray a(input);
    ASSERT_EQ(o->Reverb(&a, 10, 50, 50, 50, 3000, 2), S_OK);
    ASSERT_EQ(sink.percents.size(), 77u);
    EXPECT_EQ(sink.percents.front(), 23);
    EXPECT_EQ(sink.percents.back(), 99);
    EXPECT_EQ(sink.endCount(), 1);
    const std::vector<short> full = a.values();

    sink.events.clear();
    sink.percents.clear();
    sink.onBlock = [&](LONG percent) {
        if (percent == 30) o->CancelTransform();
    };
    SampleArray b(input);
    ASSERT_EQ(o->Reverb(&b, 10, 50, 50, 50, 3000, 2), S_OK);
    const std::vector<short> v = b.values();
    for (int i = 0; i <= 601; ++i) ASSERT_EQ(v[i], full[i]) << i;
    for (int i = 602; i < 2000; ++i) ASSERT_EQ(v[i], input[i]) << i;
    EXPECT_EQ(sink.endCount(), 0);
    EXPECT_EQ(o->LeftEdgeBuffer, nullptr);
}

TEST(Reverb, EdgesAreRaisedAndTheLeftOneStartsAtTheDelay) {
    Object o;
    // SmoothTime 1 ms = 44 samples, raised to 2 * D = 882 for D = 441.
    o->put_SmoothTime(1);
    const std::vector<short> input = Noise(6000, 20000, 5);
    SampleArray smooth(input);
    ASSERT_EQ(o->Reverb(&smooth, 10, 100, 50, 50, 3000, 2), S_OK);
    Object p;
    p.NoSmoothing();
    SampleArray raw(input);
    ASSERT_EQ(p->Reverb(&raw, 10, 100, 50, 50, 3000, 2), S_OK);
    const std::vector<short> s = smooth.values(), r = raw.values();
    for (int i = 0; i < 441; ++i) ASSERT_EQ(s[i], input[i]);
    EXPECT_EQ(s[441], input[441]);  // weight 0 at the first entry of the left edge
    EXPECT_NE(s[441 + 600], r[441 + 600]);
    EXPECT_EQ(s[441 + 882], r[441 + 882]);
    EXPECT_EQ(s[5999], input[5999]);
    EXPECT_NE(s[5999 - 800], r[5999 - 800]);
    EXPECT_EQ(s[5999 - 882], r[5999 - 882]);
    EXPECT_EQ(o->SmoothSamples, 44);
}

// One comb buffer and float arithmetic against T separate combs with every
// step in extended precision, over random settings including unstable feedback,
// tiny values decaying into silence, and every tap count.
TEST(Reverb, KernelEqualsSeparateCombsInExtendedPrecision) {
    std::mt19937 random(21);
    std::uniform_real_distribution<float> unit(0, 1);
    for (int round = 0; round < 120; ++round) {
        dsp::ReverbSettings settings;
        settings.delay = 1 + static_cast<std::size_t>(unit(random) * 300);
        settings.taps = 1 + round % 20;
        settings.combGain = round % 7 == 0 ? 1.0f : unit(random);
        settings.allPassGain = round % 5 == 0 ? unit(random) * 4 - 2 : unit(random) * 1.2f - 0.6f;
        settings.wet = unit(random);
        settings.dry = 1.0f - settings.wet;
        settings.lowPass = dsp::DesignBiquad(1, -20, unit(random) * 22050, 50, 44100);
        const std::size_t n = 3000;
        std::vector<short> x(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = round % 3 == 0 && i > 500 ? 0 : static_cast<short>((unit(random) * 2 - 1) * 32767);
        }
        std::vector<short> fast = x, exact = x;
        std::vector<float> comb(settings.delay), ap1(settings.delay), ap2(settings.delay);
        std::vector<float> eap1(settings.delay), eap2(settings.delay);
        std::vector<std::vector<float>> combs(settings.taps, std::vector<float>(settings.delay));
        std::vector<float*> combPointers;
        for (auto& k : combs) combPointers.push_back(k.data());
        dsp::ReverbState sf{comb.data(), ap1.data(), ap2.data()};
        dsp::ReverbState se{nullptr, eap1.data(), eap2.data()};
        sf.s1 = sf.s2 = sf.l1 = sf.l2 = se.s1 = se.s2 = se.l1 = se.l2 = x[0];
        for (std::size_t b = 0; b < n;) {
            const std::size_t e = std::min(n, b + 1 + (b * 13) % 700);
            dsp::ReverbRange(fast.data(), b, e, settings, sf);
            dsp::ReverbRangeExact(exact.data(), b, e, settings, combPointers.data(), se);
            b = e;
        }
        ASSERT_EQ(fast, exact) << "round " << round;
    }
}

// The low-pass section's double form next to float rounding boundaries: sums
// built to lie on a float midpoint plus or minus a tiny offset, where the double
// and the extended-precision sums can round to different floats.
TEST(Reverb, LowPassCertaintyTestNearRoundingBoundaries) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(1, 2);
    int offsets = 0;
    for (int round = 0; round < 20000; ++round) {
        // b0 * 1 + b1 * 1 = a float midpoint m; a1 * l1 adds an offset of 2^-40 .. 2^-80 of m.
        const float base = std::ldexp(unit(random), round % 40 - 20);
        const float up = std::nextafter(base, 1e30f);
        dsp::Biquad c;
        c.b0 = base;
        c.b1 = (up - base) / 2;  // exact: half the float spacing
        c.b2 = 0;
        const int shift = 40 + round % 41;
        c.a1 = (round & 1 ? 1 : -1) * std::ldexp(base, -shift);
        c.a2 = round % 3 == 0 ? std::ldexp(base, -shift - 3) : 0.0f;
        if (round % 4 == 3) {
            // Cancellation: b0 and a1 cancel exactly, but the sums before them
            // round at the scale of 2^30 .. 2^44, differently in double and extended.
            c.b0 = std::ldexp(unit(random), 30 + round % 15);
            c.a1 = c.b0;
            c.b1 = unit(random);
            c.b2 = std::ldexp(unit(random), -(round % 30));
        }
        dsp::ReverbState st;
        st.s1 = 1;
        st.s2 = 1;
        st.l1 = 1;
        st.l2 = 1;
        const float in = 1;
        float out = 0;
        dsp::ReverbLowPass(c, &in, &out, 1, st);
        const float exact = static_cast<float>(static_cast<long double>(c.b0) * 1 + static_cast<long double>(c.b1) * 1 +
                                               static_cast<long double>(c.b2) * 1 - static_cast<long double>(c.a1) * 1 -
                                               static_cast<long double>(c.a2) * 1);
        ASSERT_EQ(out, exact) << round;
        const float viaDouble = static_cast<float>(static_cast<double>(c.b0) + c.b1 - static_cast<double>(c.a1) - c.a2);
        offsets += viaDouble != exact;
    }
    // The construction does reach cases where a plain double sum rounds wrongly.
    EXPECT_GT(offsets, 0);
}

}  // namespace
}  // namespace qelv::test
