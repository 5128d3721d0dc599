// AddNoise and its process-wide generator: the documented sequence, the
// carry-over between calls and objects, exact uniform values, Gaussian spread,
// refusals, cancellation and two threads drawing at once.
#include <cmath>
#include <limits>
#include <thread>

#include "transform/TestSupport.h"
#include "transform/dsp/NoiseGenerator.h"

namespace qelv::test {
namespace {

const HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

dsp::NoiseState Snapshot() {
    dsp::SharedNoise shared;
    return shared.state();
}

bool SameState(const dsp::NoiseState& a, const dsp::NoiseState& b) {
    return std::equal(a.table, a.table + 5, b.table) && a.written == b.written && a.partner == b.partner;
}

TEST(NoiseGenerator, DocumentedSequence) {
    dsp::NoiseState state = dsp::kInitialNoiseState;
    std::vector<int> values;
    for (int i = 0; i < 6; ++i) values.push_back(dsp::NextNoiseValue(state));
    EXPECT_EQ(values, (std::vector<int>{8472, -31377, -26172, 25681, 18203, -31383}));

    // A Gaussian pair takes eight values per attempt and has unit spread.
    dsp::NoiseState counted = dsp::kInitialNoiseState;
    double sum = 0, squares = 0;
    const int pairs = 20000;
    for (int i = 0; i < pairs; ++i) {
        float g = 0, h = 0;
        dsp::GaussianNoisePair(counted, &g, &h);
        sum += g + h;
        squares += double(g) * g + double(h) * h;
    }
    EXPECT_NEAR(sum / (2 * pairs), 0.0, 0.03);
    EXPECT_NEAR(std::sqrt(squares / (2 * pairs)), 1.0, 0.03);
}

TEST(AddNoise, UniformValuesContinueTheSharedSequence) {
    Object first, second;
    first.NoSmoothing();
    dsp::NoiseState expected = Snapshot();
    SampleArray a = SampleArray::Filled(500, 0);
    ASSERT_EQ(first->AddNoise(&a, 0.0f, 1), S_OK);  // full scale: the sample is r itself
    std::vector<short> values;
    for (int i = 0; i < 500; ++i) values.push_back(static_cast<short>(std::max(-32767, dsp::NextNoiseValue(expected))));
    EXPECT_EQ(a.values(), values);
    EXPECT_TRUE(SameState(Snapshot(), expected));

    // Another object goes on with the same sequence.
    SampleArray b = SampleArray::Filled(500, 0);
    ASSERT_EQ(second->AddNoise(&b, 0.0f, 1), S_OK);
    EXPECT_NE(a.values(), b.values());
    for (int i = 0; i < 500; ++i) dsp::NextNoiseValue(expected);
    EXPECT_TRUE(SameState(Snapshot(), expected));

    // -200 dB: far below a step, yet small values may move one step toward zero.
    SampleArray small({0, 0, 1, -1, 5, -5, 0, 0});
    ASSERT_EQ(first->AddNoise(&small, -200.0f, 1), S_OK);
    const std::vector<short> v = small.values();
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[1], 0);
    EXPECT_TRUE(v[2] == 1 || v[2] == 0);
    EXPECT_TRUE(v[3] == -1 || v[3] == 0);
    EXPECT_TRUE(v[4] == 5 || v[4] == 4);
}

TEST(AddNoise, GaussianSpreadIsTheLevel) {
    Object o;
    SampleArray a = SampleArray::Filled(40000, 0);
    ASSERT_EQ(o->AddNoise(&a, -30.0f, 2), S_OK);  // L = 1036.2
    double sum = 0, squares = 0;
    for (short v : a.values()) {
        sum += v;
        squares += double(v) * v;
    }
    EXPECT_NEAR(sum / 40000, 0.0, 15.0);
    EXPECT_NEAR(std::sqrt(squares / 40000), 1036.2, 25.0);
}

TEST(AddNoise, RefusalsLastErrorAndCancel) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    SampleArray a = SampleArray::Filled(1000, 0);
    ErrorConstants last{};
    for (LONG type : {0L, 3L, -1L}) EXPECT_EQ(o->AddNoise(&a, -10.0f, type), kInvalidParam);
    EXPECT_EQ(o->AddNoise(&a, std::numeric_limits<float>::quiet_NaN(), 1), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    o->get_LastErrorNum(&last);
    EXPECT_EQ(last, INVALIDPARAM);
    EXPECT_EQ(a.values(), std::vector<short>(1000, 0));
    EXPECT_TRUE(sink.events.empty());

    // Cancel at 10 %: samples 0 .. 101 get noise (102 draws), the rest none.
    sink.onBlock = [&](LONG p) {
        if (p == 10) o->CancelTransform();
    };
    dsp::NoiseState expected = Snapshot();
    ASSERT_EQ(o->AddNoise(&a, 0.0f, 1), S_OK);
    for (int i = 0; i < 102; ++i) dsp::NextNoiseValue(expected);
    EXPECT_TRUE(SameState(Snapshot(), expected));
    const std::vector<short> v = a.values();
    for (std::size_t i = 102; i < v.size(); ++i) ASSERT_EQ(v[i], 0) << i;
    EXPECT_EQ(sink.endCount(), 0);
    o->get_LastErrorNum(&last);
    EXPECT_EQ(last, NOERRORS);  // reset when the work began
}

TEST(AddNoise, TwoThreadsShareTheGeneratorWithoutLosingDraws) {
    dsp::NoiseState expected = Snapshot();
    auto work = [] {
        Object o;
        o->put_TBEventEnabled(VARIANT_FALSE);
        for (int call = 0; call < 40; ++call) {
            SampleArray a = SampleArray::Filled(3000, 0);
            o->AddNoise(&a, -6.0f, 1);
        }
    };
    std::thread one(work), two(work);
    one.join();
    two.join();
    // Uniform noise draws one value per sample, whatever the interleaving.
    for (int i = 0; i < 2 * 40 * 3000; ++i) dsp::NextNoiseValue(expected);
    EXPECT_TRUE(SameState(Snapshot(), expected));
}

}  // namespace
}  // namespace qelv::test
