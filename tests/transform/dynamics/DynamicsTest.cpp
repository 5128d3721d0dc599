// Compressor and Expander: the documented cases, an independent whole-array
// model of the block arithmetic on random inputs, events and refusals; and the
// platform-independent sine they and Vibrato use.
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "transform/TestSupport.h"
#include "transform/dsp/SampleConversion.h"
#include "transform/effects/BlockDynamics.h"
#include "transform/dsp/Sine.h"

namespace qelv::test {
namespace {

const HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

TEST(Sine, AgreesWithTheExtendedLibrarySine) {
    std::mt19937_64 random(7);
    int differing = 0;
    const int count = 200000;
    for (int i = 0; i < count; ++i) {
        // Both the double path (below 1.6e6) and the extended one (above, up to 2^32).
        const double scale = (i % 3 == 0) ? 7.0 : (i % 3 == 1) ? 1.6e6 : 4e9;
        const double x = std::uniform_real_distribution<double>(-scale, scale)(random);
        const double expected = static_cast<double>(std::sin(static_cast<long double>(x)));
        const double got = dsp::Sine(x);
        // Within one unit in the last place, and the same for most arguments.
        ASSERT_LE(std::fabs(got - expected), std::nextafter(std::fabs(expected), 2.0) - std::fabs(expected)) << x;
        if (got != expected) ++differing;
    }
    EXPECT_LT(differing, count / 5);
    EXPECT_EQ(dsp::Sine(0.0), 0.0);
    EXPECT_EQ(dsp::Sine(std::numbers::pi / 2), 1.0);
    EXPECT_EQ(dsp::Sine(-std::numbers::pi / 2), -1.0);
    EXPECT_TRUE(std::isnan(dsp::Sine(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(dsp::Sine(std::numeric_limits<double>::quiet_NaN())));
    const double huge = dsp::Sine(1e30);
    EXPECT_TRUE(huge >= -1.0 && huge <= 1.0);
}

TEST(Dynamics, BlockLengthThresholdAndRate) {
    EXPECT_EQ(dsp::DynamicsBlockLength(44100, 50.0f, 100000), 2204u);
    EXPECT_EQ(dsp::DynamicsBlockLength(44100, 0.0f, 100000), 2u);
    EXPECT_EQ(dsp::DynamicsBlockLength(44100, -5.0f, 100000), 2u);
    EXPECT_EQ(dsp::DynamicsBlockLength(1000, 7.0f, 100000), 6u);
    EXPECT_EQ(dsp::DynamicsBlockLength(1000, 1.5f, 100000), 2u);  // a count of 1 takes the shortest block
    EXPECT_EQ(dsp::DynamicsBlockLength(44100, 1000.0f, 1000), 2000u);
    EXPECT_EQ(dsp::DynamicsBlockLength(44100, std::numeric_limits<float>::infinity(), 1001), 2002u);
    EXPECT_EQ(dsp::DynamicsThreshold(0.0f), 32767.0f);
    EXPECT_EQ(dsp::DynamicsThreshold(12.0f), 32767.0f);
    EXPECT_NEAR(dsp::DynamicsThreshold(-6.0206f), 16384.0f, 0.5f);
    EXPECT_EQ(dsp::ExpanderRate(150.0f), 1.0f);
    EXPECT_EQ(dsp::ExpanderRate(-10.0f), 0.0f);
    EXPECT_EQ(dsp::CompressorRate(150.0f), 1.5f);
}

// The block arithmetic written out over the whole array, index by index.
std::vector<short> Model(std::vector<short> a, int frequency, float db, float percent, float ms, bool expander) {
    const std::size_t n = a.size();
    const std::size_t N = dsp::DynamicsBlockLength(frequency, ms, n), H = N / 2;
    const float thr = dsp::DynamicsThreshold(db);
    const float rate = expander ? dsp::ExpanderRate(percent) : percent / 100.0f;
    std::vector<float> win(N), blk(N), ovl(H);
    for (std::size_t k = 0; k < N; ++k) win[k] = static_cast<float>(dsp::Sine(k * std::numbers::pi / N));
    for (std::size_t k = 0; k < H; ++k) {
        ovl[k] = a[k];
        a[k] = static_cast<short>(static_cast<float>(a[k]) * win[k + H] * win[k + H]);
    }
    long long pos = 0;
    for (; pos < static_cast<long long>(n) - static_cast<long long>(N); pos += H) {
        for (std::size_t k = 0; k < N; ++k) blk[k] = k < H ? ovl[k] : a[pos + k];
        float peak = 0;
        for (float v : blk) peak = std::max(peak, std::fabs(v));
        bool act = expander ? peak < thr : peak > thr;
        float g = expander ? 1.0f - rate : 1.0f - (1.0f - thr / peak) * rate;
        for (std::size_t k = 0; k < N; ++k) {
            blk[k] *= win[k];
            if (act) blk[k] *= g;
            blk[k] *= win[k];
        }
        for (std::size_t k = 0; k < H; ++k) ovl[k] = a[pos + H + k];
        for (std::size_t k = 0; k < H; ++k) blk[k] += a[pos + k];
        for (std::size_t k = 0; k < N; ++k) a[pos + k] = dsp::ClampTruncate(blk[k]);
    }
    for (std::size_t k = 0; k < H; ++k) a[pos + k] = dsp::ClampTruncate(a[pos + k] + win[k] * win[k] * ovl[k]);
    return a;
}

TEST(Dynamics, MatchesTheBlockModelOnRandomInput) {
    std::mt19937 random(11);
    Object o;
    o.NoSmoothing();
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(8000));
    for (int trial = 0; trial < 60; ++trial) {
        const std::size_t n = 2 + random() % 3000;
        std::vector<short> input(n);
        const int amplitude = (trial % 2) ? 32767 : 3000;
        for (short& v : input) v = static_cast<short>(static_cast<int>(random() % (2 * amplitude + 1)) - amplitude);
        const float db = -40.0f + static_cast<float>(random() % 4000) / 100.0f;
        const float percent = static_cast<float>(random() % 30000) / 100.0f - 50.0f;
        const float ms = static_cast<float>(random() % 5000) / 100.0f;
        for (bool expander : {false, true}) {
            SampleArray array(input);
            const HRESULT hr = expander ? o->Expander(&array, db, percent, ms) : o->Compressor(&array, db, percent, ms);
            ASSERT_EQ(hr, S_OK);
            EXPECT_EQ(array.values(), Model(input, 8000, db, percent, ms, expander))
                << "n=" << n << " db=" << db << " rate=" << percent << " ms=" << ms << " expander=" << expander;
        }
    }
}

TEST(Dynamics, GainLaws) {
    Object o;
    o.NoSmoothing();
    // Rate 0, or a threshold no block reaches, keeps every sample (rounding aside).
    std::vector<short> tone(4000);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<short>(20000 * std::sin(i * 0.05));
    SampleArray unchanged(tone);
    ASSERT_EQ(o->Compressor(&unchanged, 0.0f, 100.0f, 10.0f), S_OK);
    for (std::size_t i = 0; i < tone.size(); ++i) EXPECT_NEAR(unchanged.values()[i], tone[i], 2) << i;

    // Rate 100 pulls a loud steady level down to the threshold (about 16384).
    SampleArray loud = SampleArray::Filled(20000, 24000);
    ASSERT_EQ(o->Compressor(&loud, -6.0206f, 100.0f, 10.0f), S_OK);
    for (std::size_t i = 2000; i < 18000; i += 97) EXPECT_NEAR(loud.values()[i], 16384, 2) << i;

    // Expansion 100 silences blocks below the threshold; above 100 acts as 100.
    std::vector<short> gap(20000, 20000);
    for (std::size_t i = 8000; i < 12000; ++i) gap[i] = 300;
    for (float rate : {100.0f, 250.0f}) {
        SampleArray expanded(gap);
        ASSERT_EQ(o->Expander(&expanded, -20.0f, rate, 10.0f), S_OK);
        const std::vector<short> v = expanded.values();
        for (std::size_t i = 9000; i < 11000; ++i) ASSERT_EQ(v[i], 0) << i;
        EXPECT_NEAR(v[3000], 20000, 2);
        EXPECT_NEAR(v[16000], 20000, 2);
    }
}

TEST(Dynamics, EventsLastErrorAndRefusals) {
    Object o;
    o.NoSmoothing();
    o->put_TBEventEnabled(VARIANT_FALSE);  // block events come regardless
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(1000));
    RecordingSink sink;
    sink.onBlock = [&](LONG) { o->CancelTransform(); };  // no effect: no cancel test
    Connection c(o.get(), &sink);

    SampleArray bad({1});
    EXPECT_EQ(o->Expander(&bad, -10, 50, 10), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    // N = 10, H = 5 on 40 samples: blocks at pos 0, 5, .., 25 (pos < 30).
    SampleArray array = SampleArray::Filled(40, 1000);
    ASSERT_EQ(o->Compressor(&array, -10, 50, 10), S_OK);
    EXPECT_EQ(sink.percents, (std::vector<LONG>{12, 25, 37, 50, 62, 75}));
    EXPECT_EQ(sink.events.back(), "End");
    ErrorConstants last{};
    o->get_LastErrorNum(&last);
    EXPECT_EQ(last, NOERRORS);

    // An array no longer than a block gets no block and no TransformBlock.
    sink.events.clear();
    sink.percents.clear();
    SampleArray shortArray = SampleArray::Filled(8, 1000);
    ASSERT_EQ(o->Expander(&shortArray, 0, 100, 10), S_OK);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"End"}));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<short> before = array.values();
    sink.events.clear();
    EXPECT_EQ(o->Compressor(&array, -10, nan, 10), kInvalidParam);
    EXPECT_EQ(o->Compressor(&array, -10, inf, 10), kInvalidParam);
    EXPECT_EQ(o->Compressor(&array, -10, 50, nan), kInvalidParam);
    EXPECT_EQ(o->Expander(&array, -10, nan, 10), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    EXPECT_EQ(array.values(), before);
    EXPECT_TRUE(sink.events.empty());
    // An infinite expansion rate is limited to 1; a NaN threshold passes no block.
    EXPECT_EQ(o->Expander(&array, -10, inf, 10), S_OK);
    SampleArray same = SampleArray::Filled(400, 1000);
    EXPECT_EQ(o->Compressor(&same, nan, 100, 10), S_OK);
    for (short v : same.values()) EXPECT_NEAR(v, 1000, 1);
}

}  // namespace
}  // namespace qelv::test
