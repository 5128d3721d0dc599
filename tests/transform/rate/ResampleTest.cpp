// Resample: lengths, the exact interpolation positions, the extrapolated end,
// the anti-image design and filter, a tone through it, the replaced array and
// its edges, events and refusals.
#include <random>

#include "RateTestSupport.h"
#include "transform/rate/AntiImageFilter.h"
#include "transform/rate/LinearResampler.h"
#include "transform/dsp/Vector.h"

namespace qelv::test {
namespace {

std::vector<short> Linear(const std::vector<short>& a, float r) {
    dsp::ResampleRate rate;
    EXPECT_TRUE(dsp::MakeResampleRate(r, &rate));
    std::size_t m = 0;
    EXPECT_TRUE(dsp::ResampledLength(a.size(), rate, dsp::kMaxResampleLength, &m));
    std::vector<short> out(m);
    dsp::ResampleLinear(a.data(), a.size(), out.data(), m, rate);
    return out;
}

TEST(Resample, LengthIsInputOverRateRoundedHalfUp) {
    Object o;
    o.NoSmoothing();
    const float rates[] = {100, 200, 50, 99, 101, 33.3f, 66.7f, 150, 250, 400, 12.5f, 1000, 7.0f, 160.5f, 99.99f};
    const std::size_t lengths[] = {2, 3, 5, 17, 100, 999, 1000, 4097};
    for (float rate : rates) {
        const float r = rate / 100.0f;
        for (std::size_t n : lengths) {
            // m is the whole number with m - 1/2 <= n / r < m + 1/2; the products
            // are exact in extended precision.
            const long double lr = r;
            std::size_t expected = static_cast<std::size_t>(std::floor(n / lr));
            while ((expected + 0.5L) * lr <= n) ++expected;
            while (expected > 0 && (expected - 0.5L) * lr > n) --expected;
            SampleArray a(Ramp(n, 0, 3));
            if (expected == 0) {
                EXPECT_EQ(o->Resample(&a, rate), kInvalidParam) << rate << " " << n;
                continue;
            }
            ASSERT_EQ(o->Resample(&a, rate), S_OK) << rate << " " << n;
            EXPECT_EQ(a.size(), expected) << rate << " " << n;
        }
    }
}

TEST(Resample, DocumentedPositions) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::vector<short> a(1000);
    for (short& v : a) v = static_cast<short>(any(gen));

    Object o;
    o.NoSmoothing();
    SampleArray same(a);
    ASSERT_EQ(o->Resample(&same, 100), S_OK);
    EXPECT_EQ(same.values(), a);

    SampleArray half(a);
    ASSERT_EQ(o->Resample(&half, 200), S_OK);
    const std::vector<short> h = half.values();
    ASSERT_EQ(h.size(), 500u);
    for (std::size_t i = 0; i < 500; ++i) ASSERT_EQ(h[i], a[2 * i]) << i;

    // Growing by 2 before the filter: even outputs are the inputs, odd ones the
    // truncated midpoints; the last outputs beyond the input are extrapolated.
    const std::vector<short> g = Linear(a, 0.5f);
    ASSERT_EQ(g.size(), 2000u);
    for (std::size_t i = 0; i + 2 < 2000; ++i) {
        const int expected = i % 2 == 0 ? a[i / 2] : (a[i / 2] + a[i / 2 + 1]) / 2;  // C++ division truncates
        ASSERT_EQ(g[i], expected) << i;
    }
}

TEST(Resample, InterpolatesAtExactPositions) {
    // Against long double arithmetic on the exact position i * r (the products
    // and differences are exact there for these lengths).
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::vector<short> a(3001);
    for (short& v : a) v = static_cast<short>(any(gen));
    for (float r : {0.37f, 0.5f, 0.999f, 1.0f, 1.25f, 1.7f, 3.0f, 0.01f}) {
        const std::vector<short> out = Linear(a, r);
        for (std::size_t i = 1; i < out.size(); ++i) {
            const long double p = static_cast<long double>(i) * r;
            const std::size_t j = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(p)));
            if (j >= a.size()) break;
            const long double v = a[j - 1] + (p - (j - 1)) * (a[j] - a[j - 1]);
            ASSERT_EQ(out[i], static_cast<short>(std::trunc(v))) << r << " " << i;
        }
    }
}

TEST(Resample, ExtrapolatesTheEndFromTheQuadratic) {
    // A quadratic is continued exactly; a ramp keeps rising past the last input.
    std::vector<short> q(40);
    for (int i = 0; i < 40; ++i) q[i] = static_cast<short>(3 * i * i - 50 * i);
    const std::vector<short> out = Linear(q, 0.5f);
    ASSERT_EQ(out.size(), 80u);
    // Output 78 lies at input 39 (the last); 79 is beyond it.
    EXPECT_EQ(out[78], q[39]);
    EXPECT_EQ(out[79], out[76] - 3 * out[77] + 3 * out[78]);
    const std::vector<short> ramp = Linear(Ramp(10, 100, 100), 0.25f);
    ASSERT_EQ(ramp.size(), 40u);
    for (std::size_t i = 37; i < 40; ++i) EXPECT_EQ(ramp[i], 100 + 25 * static_cast<int>(i)) << i;
    // Extrapolated values are clipped, and the clipped values feed the next ones.
    const std::vector<short> steep = Linear({-32768, 0, 32767}, 0.2f);
    ASSERT_EQ(steep.size(), 15u);
    EXPECT_EQ(steep[11], 32767);  // the line continued past full scale
    for (std::size_t i = 10; i < 15; ++i) {
        const int v = steep[i - 3] - 3 * steep[i - 2] + 3 * steep[i - 1];
        EXPECT_EQ(steep[i], std::clamp(v, -32767, 32767)) << i;
    }
    // Two inputs and a rate just above 1: the second output has one output
    // before it and copies it; three inputs give the line through two.
    EXPECT_EQ(Linear({10, 20}, 1.2f), (std::vector<short>{10, 10}));
    EXPECT_EQ(Linear({10, 20, 40}, 1.1f), (std::vector<short>{10, 22, 34}));
}

TEST(Resample, AntiImageBandsAndTaps) {
    dsp::AntiImageBands b = dsp::MakeAntiImageBands(0.5f, 44100);
    EXPECT_EQ(b.half, 22050.0f);
    EXPECT_EQ(b.newRate, 88200.0f);
    EXPECT_EQ(b.stop, 24255.0f);
    EXPECT_EQ(b.l, 2);
    EXPECT_EQ(b.weight, 5.0f);
    b = dsp::MakeAntiImageBands(0.99f, 44100);
    EXPECT_NEAR(b.top, 22271.7, 0.05);
    EXPECT_NEAR(b.stop, 22116.8, 0.05);
    EXPECT_EQ(b.l, 1);
    EXPECT_EQ(b.weight, 5.0f);
    b = dsp::MakeAntiImageBands(0.1f, 44100);
    EXPECT_EQ(b.l, 10);
    EXPECT_EQ(b.weight, 25.0f);

    double taps[dsp::kAntiImageTaps];
    ASSERT_TRUE(dsp::DesignAntiImage(0.5f, 44100, taps));
    for (int k = 0; k < dsp::kAntiImageTaps; ++k) EXPECT_EQ(taps[k], taps[dsp::kAntiImageTaps - 1 - k]);
    // Equiripple at 88.2 kHz: within 10 % of 1 in the pass band (the narrow
    // transition band costs ripple), below 0.02 in the stop band.
    const auto gain = [&](double hz) {
        double re = 0.0, im = 0.0;
        for (int k = 0; k < dsp::kAntiImageTaps; ++k) {
            re += taps[k] * std::cos(2.0 * std::numbers::pi * hz / 88200.0 * k);
            im -= taps[k] * std::sin(2.0 * std::numbers::pi * hz / 88200.0 * k);
        }
        return std::hypot(re, im);
    };
    for (double hz : {0.0, 1000.0, 5000.0, 10000.0, 15000.0, 20000.0, 22050.0}) EXPECT_NEAR(gain(hz), 1.0, 0.1) << hz;
    for (double hz : {24255.0, 28000.0, 33000.0, 40000.0, 44000.0}) EXPECT_LT(gain(hz), 0.02) << hz;
    // No stop band fits between 22050 Hz and just below 22051 Hz.
    EXPECT_FALSE(dsp::DesignAntiImage(0.99995f, 44100, taps));
}

TEST(Resample, LaneWiseFilterEqualsOneAtATime) {
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> any(-32768, 32767);
    for (float r : {0.5f, 0.9f, 0.3f, 0.05f}) {
        double taps[dsp::kAntiImageTaps];
        ASSERT_TRUE(dsp::DesignAntiImage(r, 44100, taps));
        for (std::size_t m : {1u, 7u, 8u, 15u, 16u, 17u, 49u, 50u, 51u, 1000u, 2047u, 2048u, 2049u, 4099u, 9000u}) {
            std::vector<short> x(m);
            for (short& v : x) v = static_cast<short>(any(gen));
            if (m > 10) x[m / 2] = -32768;
            std::vector<short> slow = x;
            dsp::AntiImageFilterReference(slow.data(), m, taps);
            for (bool wide : {true, false}) {  // the AVX2 lanes (where the processor has them) and the portable ones
                dsp::vec::AllowWide(wide);
                std::vector<short> fast = x;
                dsp::AntiImageFilter(fast.data(), m, taps);
                ASSERT_EQ(fast, slow) << r << " " << m << " " << wide;
            }
            dsp::vec::AllowWide(true);
        }
    }
}

TEST(Resample, ToneKeepsAmplitudeAndScalesFrequency) {
    Object o;
    o.NoSmoothing();
    // 1 kHz at 44.1 kHz; growing by 2 puts it at 500 Hz, shrinking by 1.5 at 1.5 kHz.
    const std::vector<short> tone = Tone(8820, 1000.0, 12000.0);
    SampleArray grow(tone);
    ASSERT_EQ(o->Resample(&grow, 50), S_OK);
    const std::vector<short> g = grow.values();
    ASSERT_EQ(g.size(), 17640u);
    EXPECT_NEAR(MeasuredHz(g, 200, 17400), 500.0, 0.5);
    EXPECT_NEAR(MeasuredAmplitude(g, 200, 17400), 12000.0, 12000.0 * 0.02);

    SampleArray shrink(tone);
    ASSERT_EQ(o->Resample(&shrink, 150), S_OK);
    const std::vector<short> s = shrink.values();
    ASSERT_EQ(s.size(), 5880u);
    EXPECT_NEAR(MeasuredHz(s, 10, 5800), 1500.0, 1.0);
    EXPECT_NEAR(MeasuredAmplitude(s, 10, 5800), 12000.0, 12000.0 * 0.02);

    // A pulse through the growing path comes out 24.5 samples late (the peak
    // of the symmetric 50-tap response lies between outputs 24 and 25).
    std::vector<short> pulse(200, 0);
    pulse[50] = 20000;
    SampleArray p(pulse);
    ASSERT_EQ(o->Resample(&p, 50), S_OK);
    const std::vector<short> pv = p.values();
    const std::size_t peak = std::max_element(pv.begin(), pv.end()) - pv.begin();
    EXPECT_TRUE(peak == 100 + 24 || peak == 100 + 25) << peak;
}

TEST(Resample, ReplacesTheArrayAndLimitsTheEdges) {
    Object o;  // smoothing on, 2205-sample edges
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    std::vector<short> input(7000);
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<short>(i % 2 ? 30000 : -30000);
    SampleArray a(input);
    SAFEARRAY* before = a.get();
    ASSERT_EQ(o->Resample(&a, 400), S_OK);  // 1750 samples: each edge limited to 875
    EXPECT_NE(a.get(), before);
    const std::vector<short> out = a.values();
    ASSERT_EQ(out.size(), 1750u);
    EXPECT_EQ(out.front(), -30000);  // the outermost samples take the input's ends
    EXPECT_EQ(out.back(), 30000);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"End"}));  // no progress events
    VARIANT_BOOL left = 0, right = 0;
    o->get_SmoothLeftEnabled(&left);
    o->get_SmoothRightEnabled(&right);
    EXPECT_EQ(left, VARIANT_TRUE);
    EXPECT_EQ(right, VARIANT_TRUE);

    // A cancel before the call has no effect; nothing is tested during it.
    o->CancelTransform();
    SampleArray b(input);
    ASSERT_EQ(o->Resample(&b, 50), S_OK);
    EXPECT_EQ(b.size(), 14000u);
}

TEST(Resample, Refusals) {
    Object o;
    const std::vector<short> input = Ramp(100, -500, 10);
    const float bad[] = {0.0f, -0.0f, -50.0f, std::nanf(""), INFINITY, -INFINITY, 1e-30f, 1e-43f,
                         1e30f,  // the length would be 0
                         99.999f};  // no room for a stop band
    for (float rate : bad) {
        ExpectRefused(o, input, [&](SAFEARRAY** x) { return o->Resample(x, rate); });
    }
    // A rate whose length exceeds what an array can hold.
    ExpectRefused(o, input, [&](SAFEARRAY** x) { return o->Resample(x, 1e-6f); });
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(0));
    ExpectRefused(o, input, [&](SAFEARRAY** x) { return o->Resample(x, 200); });
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(-44100));
    ExpectRefused(o, input, [&](SAFEARRAY** x) { return o->Resample(x, 50); });
    o->put_ArrayFrequency(FQ_44_KHZ);
    ExpectRefused(o, {5}, [&](SAFEARRAY** x) { return o->Resample(x, 50); });

    // An array someone else holds locked cannot be destroyed: refused, unchanged.
    SampleArray locked(input);
    ASSERT_EQ(SafeArrayLock(locked.get()), S_OK);
    EXPECT_EQ(o->Resample(&locked, 50), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    SafeArrayUnlock(locked.get());
    EXPECT_EQ(locked.values(), input);
}

}  // namespace
}  // namespace qelv::test
