// Delay, Flanger, Chorus and Phaser: the documented cases, refusals, events and
// cancellation, and an independent model of the whole call (delay length, ring,
// sweep, mixing, raised edge length and the blend from entry D on) compared bit
// for bit on random inputs and settings.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "transform/TestSupport.h"
#include "transform/FloatEnvironment.h"
#include "transform/dsp/Sine.h"

namespace qelv::test {
namespace {

enum class Effect { Delay, Flanger, Chorus, Phaser };

struct Params {
    float time = 0;  // DelayTime (ms) or DelayRate (%)
    float mix = 0;
    float feedback = 0;
    float sweepDepth = 0;
    float sweepRate = 0;
    float sweepPhase = 0;
};

HRESULT Call(CSonalter2* o, Effect effect, SAFEARRAY** a, const Params& p) {
    switch (effect) {
        case Effect::Delay: return o->Delay(a, p.time, p.mix, p.feedback);
        case Effect::Phaser: return o->Phaser(a, p.time, p.mix, p.feedback);
        case Effect::Flanger:
            return o->Flanger(a, p.time, p.mix, p.feedback, p.sweepDepth, p.sweepRate, p.sweepPhase);
        case Effect::Chorus:
            return o->Chorus(a, p.time, p.mix, p.feedback, p.sweepDepth, p.sweepRate, p.sweepPhase);
    }
    return E_FAIL;
}

constexpr Effect kAll[] = {Effect::Delay, Effect::Flanger, Effect::Chorus, Effect::Phaser};

bool Swept(Effect e) { return e == Effect::Flanger || e == Effect::Chorus; }

short ToSample(float y) {
    if (std::isnan(y)) return 0;
    return static_cast<short>(std::trunc(std::clamp(y, -32767.0f, 32767.0f)));
}

// The whole call written out plainly from the documented steps; false when refused.
bool Model(Effect effect, const Params& p, long frequency, bool smoothLeft, bool smoothRight, long smoothSamples,
           std::vector<short>& a) {
    const FloatEnvironment environment;
    const long n = static_cast<long>(a.size());
    if (n < 2 || !(p.mix >= 0 && p.mix <= 100)) return false;
    if (Swept(effect) && !(p.sweepDepth >= 0 && p.sweepDepth <= 100)) return false;
    const float wet = p.mix / 100.0f, dry = 1.0f - wet, fb = p.feedback / 100.0f;
    long double entries;
    if (effect == Effect::Flanger) entries = ((long double)p.time * 9 / 100 + 1) * frequency / 1000;
    else if (effect == Effect::Chorus) entries = ((long double)p.time * 20 / 100 + 30) * frequency / 1000;
    else entries = (long double)frequency * p.time / 1000;
    const long double minimum = Swept(effect) ? 2 : 1;
    if (std::isnan(entries) || entries < minimum || entries >= n) return false;
    const long D = static_cast<long>(std::trunc(entries));
    const float rate = (p.sweepRate * 2.9f / 100.0f + 0.1f) / static_cast<float>(frequency);
    const float depth = static_cast<float>(D) * p.sweepDepth / 100.0f;
    const float phase = p.sweepPhase * 2.0f * std::numbers::pi_v<float> / 360.0f;
    if (Swept(effect) && !(std::isfinite(rate) && std::isfinite(phase))) return false;

    // Edges with SmoothSamples raised to 2 D; the head is taken from entry D on.
    const long edge = std::max<long>(smoothSamples, 2 * D);
    const long need = (smoothLeft + smoothRight) ? (smoothLeft + smoothRight + 1) * edge : 0;
    if (n < need) smoothLeft = smoothRight = false;
    const long mLeft = std::min(edge, (n - D) / 2), mRight = std::min(edge, n / 2);
    const std::vector<short> input = a;

    std::vector<float> buf(D, 0.0f);
    long p0 = 0, w = D - 1;
    for (long i = 0; i < n; ++i) {
        const long double x = input[i];
        float y = 0;
        if (effect == Effect::Delay) {
            const float b = buf[p0];
            y = (float)(x * dry + wet * (long double)b);
            buf[p0] = (float)(x + fb * (long double)b);
            if (++p0 == D) p0 = 0;
        } else if (effect == Effect::Phaser) {
            const float b = buf[p0];
            buf[p0] = (float)(x + fb * (long double)b);
            const long double v = b - fb * (long double)buf[p0];
            y = (float)(x * dry + wet * v);
            if (++p0 == D) p0 = 0;
        } else {
            const double d = (dsp::Sine(2 * std::numbers::pi * rate * i + phase) + 1) * (depth * 0.5);
            const float df = (float)d;
            long r = w - (long)std::ceil(d);
            while (r < 0) r += D - 1;
            const float frac = df - std::trunc(df);
            const long upperIndex = r + 1 == D ? 1 : r + 1;  // ring successor of slot D-1
            const long double v = buf[r] + ((long double)buf[upperIndex] - buf[r]) * (1.0L - frac);
            y = (float)(x * dry + wet * v);
            buf[w] = (float)(x + fb * v);
            if (++w == D) {
                buf[0] = buf[D - 1];
                w = 1;
            }
        }
        if (i >= D) a[i] = ToSample(y);
    }
    auto blend = [&](long k, short saved, long j, long m) {
        const float wt = (float)std::sin(j * std::numbers::pi / (m + m));
        const float v = (float)(a[k] * (long double)wt + (1.0L - wt) * saved);
        a[k] = static_cast<short>(std::trunc(std::clamp(v, -32766.0f, 32766.0f)));
    };
    if (smoothLeft)
        for (long j = 0; j < mLeft; ++j) blend(D + j, input[D + j], j, mLeft);
    if (smoothRight)
        for (long j = 0; j < mRight; ++j) blend(n - 1 - j, input[n - 1 - j], j, mRight);
    return true;
}

std::vector<short> RandomSamples(std::mt19937& rng, std::size_t n, int amplitude) {
    std::uniform_int_distribution<int> s(-amplitude, amplitude);
    std::vector<short> v(n);
    for (short& x : v) x = static_cast<short>(s(rng));
    return v;
}

void ExpectRefused(Object& o, Effect effect, const std::vector<short>& input, const Params& p) {
    RecordingSink sink;
    Connection c(o.get(), &sink);
    const LONG smoothBefore = o->SmoothSamples;
    SampleArray a(input);
    EXPECT_EQ(Call(o.get(), effect, &a, p), static_cast<HRESULT>(0x8004030B));
    ErrorConstants last{};
    o->get_LastErrorNum(&last);
    EXPECT_EQ(last, INVALIDPARAM);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    EXPECT_EQ(a.values(), input);
    EXPECT_TRUE(sink.events.empty());
    EXPECT_EQ(o->SmoothSamples, smoothBefore);
    EXPECT_EQ(o->LeftEdgeBuffer, nullptr);
}

TEST(DelayEffects, DocumentedValues) {
    Object o;
    o.NoSmoothing();
    std::mt19937 rng(11);
    const std::vector<short> x = RandomSamples(rng, 5000, 32767);

    // Delay, feedback 0, mix 50: y[i] = 0.5 x[i] + 0.5 x[i - D], D = 441 at 10 ms.
    SampleArray d(x);
    ASSERT_EQ(o->Delay(&d, 10, 50, 0), S_OK);
    std::vector<short> v = d.values();
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double want = i < 441 ? x[i] : std::trunc(0.5 * x[i] + 0.5 * x[i - 441]);
        ASSERT_EQ(v[i], want) << i;
    }
    // Phaser, mix 100, feedback 0: y[i] = x[i - D]; an odd D moves one channel of
    // a stereo array into the other (D counts entries, not frames).
    o->put_ArrayChannels(STEREO);
    SampleArray ph(x);
    ASSERT_EQ(o->Phaser(&ph, 1, 100, 0), S_OK);  // D = 44
    v = ph.values();
    for (std::size_t i = 0; i < x.size(); ++i) ASSERT_EQ(v[i], i < 44 ? x[i] : x[i - 44]) << i;
    SampleArray odd(x);
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(45000));
    ASSERT_EQ(o->Phaser(&odd, 1, 100, 0), S_OK);  // D = 45
    v = odd.values();
    for (std::size_t i = 45; i < x.size(); ++i) ASSERT_EQ(v[i], x[i - 45]) << i;
    o->put_ArrayFrequency(FQ_44_KHZ);

    // Mix 0 leaves every entry as it was, whatever the feedback and sweep.
    for (Effect e : kAll) {
        SampleArray a(x);
        ASSERT_EQ(Call(o.get(), e, &a, {50, 0, 90, 70, 40, 30}), S_OK);
        EXPECT_EQ(a.values(), x);
    }
}

TEST(DelayEffects, SweptDelayLengthsAndTheRingSuccessor) {
    // With SweepDepth 0 the read position is d = 0 throughout: every output is the
    // entry D - 2 samples back, also where the write index is the ring's last slot
    // and the upper neighbour is its successor, slot 1. The first D entries stay.
    Object o;
    o.NoSmoothing();
    std::mt19937 rng(5);
    const std::vector<short> x = RandomSamples(rng, 6000, 30000);
    const struct {
        Effect effect;
        float rate;
        std::size_t D;
    } cases[] = {{Effect::Chorus, 0, 1323}, {Effect::Chorus, 100, 2205}, {Effect::Flanger, 0, 44},
                 {Effect::Flanger, 100, 441}};
    for (const auto& c : cases) {
        SampleArray a(x);
        ASSERT_EQ(Call(o.get(), c.effect, &a, {c.rate, 100, 0, 0, 37, 90}), S_OK);
        const std::vector<short> v = a.values();
        for (std::size_t i = 0; i < x.size(); ++i) ASSERT_EQ(v[i], i < c.D ? x[i] : x[i - (c.D - 2)]) << c.D << " " << i;
    }
    // The smallest ring: D = 2 (one slot, its own successor): the entry one back.
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(2000));
    SampleArray two(x);
    ASSERT_EQ(o->Flanger(&two, 0, 100, 0, 0, 0, 0), S_OK);
    const std::vector<short> v = two.values();
    for (std::size_t i = 0; i < x.size(); ++i) ASSERT_EQ(v[i], i < 2 ? x[i] : x[i - 1]) << i;
}

TEST(DelayEffects, MatchesTheModelBitForBit) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                              -1e30f, 1e30f, 0.0f, -0.0f};
    int compared = 0;
    for (int round = 0; round < 240; ++round) {
        const Effect effect = kAll[round % 4];
        const long frequencies[] = {44100, 8000, 96000, 22050, 3000, 12345};
        const long frequency = frequencies[rng() % 6];
        const std::size_t n = 2 + rng() % 9000;
        std::vector<short> input = RandomSamples(rng, n, (rng() & 1) ? 32767 : 300);
        Params p;
        p.time = Swept(effect) ? unit(rng) * 120 - 10 : unit(rng) * 60;
        p.mix = (rng() % 5 == 0) ? (rng() & 1) * 100.0f : unit(rng) * 100;
        p.feedback = unit(rng) * 220 - 110;
        p.sweepDepth = (rng() % 6 == 0) ? 0.0f : unit(rng) * 100;
        p.sweepRate = unit(rng) * 140 - 20;
        p.sweepPhase = unit(rng) * 1440 - 720;
        if (rng() % 12 == 0) p.feedback = specials[rng() % 6];
        if (rng() % 20 == 0) p.sweepPhase = specials[rng() % 6];
        const bool left = rng() & 1, right = rng() & 1;
        const LONG smoothTime = static_cast<LONG>(rng() % 40);

        Object o;
        o->put_ArrayFrequency(static_cast<FrequencyConstants>(frequency));
        o->put_SmoothTime(smoothTime);
        o->put_SmoothLeftEnabled(left ? VARIANT_TRUE : VARIANT_FALSE);
        o->put_SmoothRightEnabled(right ? VARIANT_TRUE : VARIANT_FALSE);
        std::vector<short> want = input;
        const bool accepted = Model(effect, p, frequency, left, right, o->SmoothSamples, want);
        SampleArray a(input);
        const HRESULT hr = Call(o.get(), effect, &a, p);
        ASSERT_EQ(hr == S_OK, accepted) << round;
        const std::vector<short> got = a.values();
        const auto diff = std::mismatch(got.begin(), got.end(), want.begin());
        ASSERT_TRUE(diff.first == got.end()) << "round " << round << " (effect, n, frequency as drawn) at entry "
                                             << (diff.first - got.begin()) << ": " << *diff.first << " vs " << *diff.second;
        compared += accepted;
    }
    EXPECT_GT(compared, 120);

    // Long sweeps: many blocks of the sweep's sine, up to the fastest sweep rate.
    for (const Params& p : {Params{30, 70, 60, 100, 100, 33}, Params{80, 40, -50, 35, 3, -1000}}) {
        for (Effect effect : {Effect::Flanger, Effect::Chorus}) {
            Object o;
            o->put_SmoothTime(10);
            std::vector<short> input = RandomSamples(rng, 1000000, 20000);
            std::vector<short> want = input;
            ASSERT_TRUE(Model(effect, p, 44100, true, true, o->SmoothSamples, want));
            SampleArray a(input);
            ASSERT_EQ(Call(o.get(), effect, &a, p), S_OK);
            ASSERT_TRUE(a.values() == want) << static_cast<int>(effect) << " " << p.sweepRate;
        }
    }
}

TEST(DelayEffects, Refusals) {
    Object o;
    const std::vector<short> x = Ramp(1000, -500, 1);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (Effect e : kAll) {
        const float t = Swept(e) ? 50 : 5;
        for (float mix : {-0.01f, 100.01f, nan, inf}) ExpectRefused(o, e, x, {t, mix, 0, 50, 50, 0});
        // Arrays that are missing or too short.
        SampleArray one({7});
        EXPECT_EQ(Call(o.get(), e, &one, {t, 50, 0, 50, 50, 0}), static_cast<HRESULT>(0x8004030B));
        EXPECT_EQ(Call(o.get(), e, nullptr, {t, 50, 0, 50, 50, 0}), static_cast<HRESULT>(0x8004030B));
    }
    for (Effect e : {Effect::Delay, Effect::Phaser}) {
        // D = trunc(44.1 * ms) must lie in 1 .. n - 1.
        for (float ms : {0.0f, -5.0f, 0.02f, nan, inf, -inf, 1e30f, 1000.0f / 44.1f}) ExpectRefused(o, e, x, {ms, 50, 0});
        SampleArray shortest(x), longest(x);
        EXPECT_EQ(Call(o.get(), e, &shortest, {0.023f, 50, 0}), S_OK);  // D = 1
        EXPECT_EQ(Call(o.get(), e, &longest, {22.6f, 50, 0}), S_OK);    // D = 996
    }
    for (Effect e : {Effect::Flanger, Effect::Chorus}) {
        for (float depth : {-1.0f, 100.5f, nan}) ExpectRefused(o, e, x, {50, 50, 0, depth, 50, 0});
        for (float rate : {nan, inf, 3e38f}) ExpectRefused(o, e, x, {50, 50, 0, 50, rate, 0});
        for (float phase : {nan, inf, -inf, 3e38f}) ExpectRefused(o, e, x, {50, 50, 0, 50, 50, phase});
        for (float r : {nan, inf, -inf, -1e30f, 1e30f}) ExpectRefused(o, e, x, {r, 50, 0, 50, 50, 0});
    }
    // The ring of Flanger and Chorus needs D >= 2: DelayRate -100 maps onto -8 ms,
    // and 1 ms at 1500 Hz is one entry. Delay and Phaser take D = 1 there.
    ExpectRefused(o, Effect::Flanger, x, {-100, 50, 0, 50, 50, 0});
    ExpectRefused(o, Effect::Chorus, x, {-150, 50, 0, 50, 50, 0});
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(1500));
    ExpectRefused(o, Effect::Flanger, x, {0, 50, 0, 50, 50, 0});
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(0));
    for (Effect e : kAll) ExpectRefused(o, e, x, {50, 50, 0, 50, 50, 0});
    // A chorus of 30 ms is 1323 entries: too long for 1323 samples, not for 1324.
    o->put_ArrayFrequency(FQ_44_KHZ);
    ExpectRefused(o, Effect::Chorus, Ramp(1323, 0, 1), {0, 50, 0, 50, 50, 0});
    SampleArray fits(Ramp(1324, 0, 1));
    EXPECT_EQ(o->Chorus(&fits, 0, 50, 0, 50, 50, 0), S_OK);
}

TEST(DelayEffects, EventsStartAtTheDelayAndCancelStopsAfterTheNextSample) {
    Object o;
    o->put_SmoothTime(1);  // 44 samples; raised to 2 D = 200 for the call
    RecordingSink sink;
    Connection c(o.get(), &sink);
    const std::vector<short> x = Ramp(1000, 100, 3);

    // D = 100: events for i = 100, 110, .., 990 (Percent 10 .. 99), then End.
    for (Effect e : {Effect::Delay, Effect::Phaser}) {
        sink.events.clear();
        sink.percents.clear();
        SampleArray a(x);
        ASSERT_EQ(Call(o.get(), e, &a, {100.0f / 44.1f, 50, 20}), S_OK);
        ASSERT_EQ(sink.percents.size(), 90u);
        EXPECT_EQ(sink.percents.front(), 10);
        EXPECT_EQ(sink.percents.back(), 99);
        EXPECT_EQ(sink.endCount(), 1);
        EXPECT_EQ(o->SmoothSamples, 44);
    }

    // Cancel on the first event (i = 10 P for Percent P >= 10, since i >= D): the
    // entries up to i + 1 are written, the rest keep their input, nothing is
    // blended, no End, SmoothSamples and the properties are back. Compared with an
    // uncancelled run without smoothing.
    for (Effect e : kAll) {
        const Params p{Swept(e) ? 14.1f : 100.0f / 44.1f, 60, 40, 80, 60, 45};  // Flanger: D = 100
        Object plain;
        plain.NoSmoothing();
        plain->put_TBEventEnabled(VARIANT_FALSE);
        SampleArray full(x);
        if (e == Effect::Chorus) {
            o->put_ArrayFrequency(static_cast<FrequencyConstants>(3000));  // D = 90 + 0.6 DelayRate
            plain->put_ArrayFrequency(static_cast<FrequencyConstants>(3000));
        }
        ASSERT_EQ(Call(plain.get(), e, &full, p), S_OK);
        const std::vector<short> done = full.values();

        sink.events.clear();
        sink.percents.clear();
        sink.onBlock = [&](LONG) { o->CancelTransform(); };
        o->put_SmoothTime(0);
        SampleArray a(x);
        ASSERT_EQ(Call(o.get(), e, &a, p), S_OK);
        sink.onBlock = nullptr;
        ASSERT_EQ(sink.percents.size(), 1u);
        const std::size_t last = 10 * static_cast<std::size_t>(sink.percents[0]) + 1;
        EXPECT_GE(last, 91u);
        const std::vector<short> v = a.values();
        for (std::size_t i = 0; i < x.size(); ++i) ASSERT_EQ(v[i], i <= last ? done[i] : x[i]) << i;
        EXPECT_NE(v[last], x[last]);
        EXPECT_EQ(sink.endCount(), 0);
        EXPECT_EQ(o->SmoothSamples, 0);
        EXPECT_EQ(o->LeftEdgeBuffer, nullptr);
        EXPECT_EQ(o->RightEdgeBuffer, nullptr);
        VARIANT_BOOL left = 0, right = 0;
        o->get_SmoothLeftEnabled(&left);
        o->get_SmoothRightEnabled(&right);
        EXPECT_EQ(left, VARIANT_TRUE);
        EXPECT_EQ(right, VARIANT_TRUE);
        o->put_SmoothTime(1);
        o->put_ArrayFrequency(FQ_44_KHZ);
    }
}

TEST(DelayEffects, RaisedEdgeBlendsFromTheDelayOn) {
    // Delay with mix 100, feedback 0: y[i] = x[i - D]. An impulse at entry 0 of a
    // constant array reaches the output at entry D, the first entry of the head
    // blend, whose weight 0 gives the input back. Even with SmoothTime 0 the edge
    // is 2 D = 200 for the call; the first D entries are neither written nor blended.
    Object o;
    o->put_SmoothTime(0);
    std::vector<short> x(3000, 1000);
    x[0] = 20000;
    x[50] = -7;
    SampleArray a(x);
    ASSERT_EQ(o->Delay(&a, 100.0f / 44.1f, 100, 0), S_OK);  // D = 100
    std::vector<short> v = a.values();
    for (int i = 0; i < 100; ++i) ASSERT_EQ(v[i], x[i]) << i;
    EXPECT_EQ(v[100], 1000);
    const float w = static_cast<float>(std::sin(50 * std::numbers::pi / 400));
    EXPECT_EQ(v[150], static_cast<short>(std::trunc(static_cast<float>(-7.0L * w + (1.0L - w) * 1000))));  // 614
    EXPECT_EQ(o->SmoothSamples, 0);

    // With the default 2205 samples, both edges need 3 x 2205 > 3000 samples:
    // nothing is blended and the impulse stands at entry D.
    o->put_SmoothTime(50);
    SampleArray b(x);
    ASSERT_EQ(o->Delay(&b, 100.0f / 44.1f, 100, 0), S_OK);
    v = b.values();
    EXPECT_EQ(v[100], 20000);
    EXPECT_EQ(v[150], -7);
    EXPECT_EQ(o->SmoothSamples, 2205);
}

}  // namespace
}  // namespace qelv::test
