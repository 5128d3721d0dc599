// Vibrato and Envelope: documented cases, the run-wise envelope index against
// the platform's MulDiv, events, cancellation and refusals.
#include <cmath>
#include <cstring>
#include <tuple>
#include <limits>
#include <random>

#include "transform/TestSupport.h"
#include "transform/FloatEnvironment.h"
#include "transform/HelperThread.h"
#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Vector.h"
#include "transform/effects/Modulation.h"
#include "transform/dsp/Sine.h"
#include "transform/effects/VibratoWide.h"

namespace qelv::test {
namespace {

const HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

SAFEARRAY* Floats(const std::vector<float>& values, VARTYPE vt = VT_R4) {
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(values.size()));
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    if (!values.empty()) std::memcpy(data, values.data(), values.size() * sizeof(float));
    SafeArrayUnaccessData(array);
    return array;
}

struct FloatArray {
    explicit FloatArray(const std::vector<float>& values, VARTYPE vt = VT_R4) : array(Floats(values, vt)) {}
    ~FloatArray() { SafeArrayDestroy(array); }
    SAFEARRAY* array;
};

TEST(Vibrato, DocumentedCasesAndShape) {
    Object o;
    o.NoSmoothing();
    const std::vector<short> input = Ramp(1000, -20000, 37);
    SampleArray flat(input);
    ASSERT_EQ(o->Vibrato(&flat, 0, 5, 33), S_OK);
    EXPECT_EQ(flat.values(), input);

    SampleArray deep = SampleArray::Filled(1000, 10000);
    ASSERT_EQ(o->Vibrato(&deep, 100, 441, 270), S_OK);  // 100 samples per cycle, starting at the trough
    const std::vector<short> v = deep.values();
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[50], 19999);  // crest: 2 * 10000, less than one step below
    EXPECT_NEAR(v[25], 10000, 1);
    EXPECT_EQ(v[100], 0);
    // Half depth swings between 0.5 and 1.5.
    SampleArray half = SampleArray::Filled(1000, 10000);
    ASSERT_EQ(o->Vibrato(&half, 50, 441, 90), S_OK);
    EXPECT_EQ(half.values()[0], 14999);
    EXPECT_EQ(half.values()[50], 5000);
}

// The kernel in both forms (four lanes where the processor has AVX2, and one
// sample at a time) against the per-sample formula: slow and fast sweeps,
// either direction, phases near and past the end of the sine's double path
// (1.6e6), odd starts and lengths, full-scale and small samples.
TEST(Vibrato, BothFormsMatchThePerSampleFormula) {
    const FloatEnvironment environment;
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::size_t compared = 0;
    for (int round = 0; round < 300; ++round) {
        dsp::VibratoSweep sweep;
        const double hz = (round % 5 == 4 ? 20000.0 : 20.0) * unit(rng) * (round % 2 ? -1 : 1);
        sweep.step = 2.0 * 3.141592653589793 * static_cast<double>(static_cast<float>(hz / 44100.0));
        const double phases[] = {round % 3 == 1 ? 0.0 : unit(rng) * 7, 1.6e6 - unit(rng) * 40, 1.6e6 + unit(rng), -1.6e6 + unit(rng) * 3,
                                 unit(rng) * 1e9};
        sweep.phase = static_cast<float>(phases[round % 5]);
        sweep.depth = static_cast<float>(round % 7 == 0 ? 1.0 : unit(rng));
        const std::size_t begin = rng() % 1000, n = begin + 1 + rng() % 3000;
        // Every third round small samples, whose products often lie next to a
        // whole number (near the sine's zeros, and wherever depth is 1).
        std::uniform_int_distribution<int> small(-3, 3);
        std::vector<std::int16_t> x(n);
        for (auto& v : x) v = static_cast<std::int16_t>(round % 3 == 1 ? small(rng) : sample(rng));
        std::vector<std::int16_t> expected = x;
        for (std::size_t i = begin; i < n; ++i) {
            const double s = dsp::Sine(sweep.step * static_cast<double>(i) + static_cast<double>(sweep.phase));
            expected[i] = dsp::ClampTruncate((s * sweep.depth + 1.0) * static_cast<double>(x[i]));
        }
        // 8: eight lanes where the processor has AVX-512, then four; 4: four
        // lanes; 1: one sample at a time.
        for (int lanes : {8, 4, 1}) {
            dsp::vec::AllowWide(lanes > 1);
            dsp::wide::AllowVibratoEightLanes(lanes == 8);
            std::vector<std::int16_t> got = x;
            dsp::VibratoRange(got.data(), begin, n, sweep);
            dsp::vec::AllowWide(true);
            dsp::wide::AllowVibratoEightLanes(true);
            ASSERT_EQ(got, expected) << "round " << round << ", " << lanes << " lanes";
        }
        compared += n - begin;
    }
    EXPECT_GT(compared, 400000u);
}

TEST(Vibrato, RefusalsEventsAndCancel) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<short> input = Ramp(1000, -5000, 10);
    SampleArray array(input);
    for (auto [depth, hz, deg] : {std::tuple{-1.0f, 5.0f, 0.0f}, {100.5f, 5.0f, 0.0f}, {nan, 5.0f, 0.0f},
                                  {50.0f, inf, 0.0f}, {50.0f, nan, 0.0f}, {50.0f, 5.0f, -inf}}) {
        EXPECT_EQ(o->Vibrato(&array, depth, hz, deg), kInvalidParam);
    }
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(0));
    EXPECT_EQ(o->Vibrato(&array, 50, 5, 0), kInvalidParam);
    o->put_ArrayFrequency(FQ_44_KHZ);
    EXPECT_EQ(array.values(), input);
    EXPECT_TRUE(sink.events.empty());

    // Cancel at 10 %: samples 0 .. 101 changed, the rest not, no End.
    sink.onBlock = [&](LONG p) {
        if (p == 10) o->CancelTransform();
    };
    o.NoSmoothing();
    SampleArray cancelled = SampleArray::Filled(1000, 10000);
    ASSERT_EQ(o->Vibrato(&cancelled, 100, 441, 270), S_OK);
    const std::vector<short> v = cancelled.values();
    EXPECT_NE(v[101], 10000);
    for (std::size_t i = 102; i < v.size(); ++i) ASSERT_EQ(v[i], 10000) << i;
    EXPECT_EQ(sink.endCount(), 0);
    EXPECT_EQ(sink.percents.back(), 10);
}

// Ranges long enough to be shared with the helper thread give the single
// thread's samples and events: with events on (a hundredth of the array per
// range, two pieces each), also when cancelled halfway, and with events off
// (one range in sixteen pieces).
TEST(Vibrato, SharedRangesMatchOneThread) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<short> input(100 * HelperThread::kMinShare + 777);
    for (short& v : input) v = static_cast<short>(sample(rng));
    struct Result {
        std::vector<short> samples;
        std::vector<std::string> events;
    };
    const auto run = [&](bool helper, bool events, LONG cancelAt) {
        HelperThread::Allow(helper);
        Object o;
        RecordingSink sink;
        Connection c(o.get(), &sink);
        o->put_TBEventEnabled(events ? VARIANT_TRUE : VARIANT_FALSE);
        sink.onBlock = [&](LONG p) {
            if (p == cancelAt) o->CancelTransform();
        };
        SampleArray array(input);
        EXPECT_EQ(o->Vibrato(&array, 80, 3.5f, 30), S_OK);
        HelperThread::Allow(true);
        return Result{array.values(), sink.events};
    };
    for (auto [events, cancelAt] : {std::pair{true, -1}, {true, 50}, {false, -1}}) {
        const Result one = run(false, events, cancelAt), two = run(true, events, cancelAt);
        EXPECT_EQ(two.events, one.events);
        ASSERT_EQ(two.samples, one.samples) << "events " << events << ", cancel at " << cancelAt;
        const std::size_t late = input.size() * 3 / 4;  // past the cancel, before the right edge
        EXPECT_EQ(one.samples[late] == input[late], cancelAt >= 0);
    }
}

TEST(Envelope, IndexRunsMatchMulDiv) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 400; ++trial) {
        const std::size_t n = 2 + random() % 5000;
        const std::size_t m = 1 + random() % ((trial % 2) ? 20 : 9000);
        std::size_t i = 0;
        while (i < n) {
            const std::size_t k = dsp::EnvelopeIndex(i, m, n);
            const std::size_t end = k + 1 < m ? std::min(dsp::EnvelopeRunEnd(k, m, n), n) : n;
            ASSERT_GT(end, i);
            for (; i < end; ++i) {
                const int expected = MulDiv(static_cast<int>(i), static_cast<int>(m), static_cast<int>(n));
                ASSERT_EQ(k, std::min<std::size_t>(expected, m - 1)) << "i=" << i << " m=" << m << " n=" << n;
            }
        }
    }
}

TEST(Envelope, AppliesEntriesByIndex) {
    Object o;
    o.NoSmoothing();
    // As long as the array: entry i on sample i.
    FloatArray same({0.5f, 2.0f, -1.0f, 0.0f});
    SampleArray a({1000, 20000, -32768, 123});
    ASSERT_EQ(o->Envelope(&a, &same.array), S_OK);
    EXPECT_EQ(a.values(), (std::vector<short>{500, 32767, 32767, 0}));

    // Two entries on 100 samples: 0 .. 24 take entry 0, the rest entry 1 (the
    // index 2 of samples 75 .. 99 takes the last entry).
    FloatArray two({0.25f, 3.0f});
    SampleArray b = SampleArray::Filled(100, 1000);
    ASSERT_EQ(o->Envelope(&b, &two.array), S_OK);
    const std::vector<short> v = b.values();
    for (std::size_t i = 0; i < 25; ++i) EXPECT_EQ(v[i], 250) << i;
    for (std::size_t i = 25; i < 100; ++i) EXPECT_EQ(v[i], 3000) << i;

    // A NaN entry silences its samples.
    FloatArray odd({std::numeric_limits<float>::quiet_NaN(), 1.0f});
    SampleArray c({100, 100, 100, 100});
    ASSERT_EQ(o->Envelope(&c, &odd.array), S_OK);
    EXPECT_EQ(c.values(), (std::vector<short>{0, 100, 100, 100}));  // index (2i + 2) div 4
}

TEST(Envelope, RefusesEmptyOrInvalidEnvelopes) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    const std::vector<short> input = Ramp(300, 1, 3);
    SampleArray a(input);
    FloatArray empty({});
    FloatArray integers({1.0f, 2.0f}, VT_I4);
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(o->Envelope(&a, &empty.array), kInvalidParam);
    EXPECT_EQ(o->Envelope(&a, &integers.array), kInvalidParam);
    EXPECT_EQ(o->Envelope(&a, &none), kInvalidParam);
    EXPECT_EQ(o->Envelope(&a, nullptr), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    EXPECT_EQ(a.values(), input);
    EXPECT_TRUE(sink.events.empty());
    VARIANT_BOOL left = VARIANT_FALSE;
    o->get_SmoothLeftEnabled(&left);
    EXPECT_EQ(left, VARIANT_TRUE);

    // Progress per sample on success.
    FloatArray one({1.0f});
    ASSERT_EQ(o->Envelope(&a, &one.array), S_OK);
    EXPECT_EQ(sink.percents.size(), 100u);
    EXPECT_EQ(sink.events.back(), "End");
}

}  // namespace
}  // namespace qelv::test
