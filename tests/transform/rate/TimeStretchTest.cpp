// TimeStretch: the two inner calls through the interface, their events in
// order, a cancel that ends only the pitch shift, failures that do not stop it,
// and the refusal of its own rate.
#include <memory>

#include "RateTestSupport.h"
#include "transform/rate/PitchShiftCore.h"

namespace qelv::test {
namespace {

using dsp::PitchShiftState;

TEST(TimeStretch, IsPitchShiftThenResample) {
    Object o;
    o.NoSmoothing();
    const std::vector<short> in = Tone(1000, 440.0, 9000.0);
    for (float rate : {50.0f, 200.0f, 100.0f, 80.0f}) {
        // The same process-wide state before both ways of doing it.
        const auto saved = std::make_unique<PitchShiftState>(dsp::ProcessPitchShiftState());
        SampleArray stretched(in);
        ASSERT_EQ(o->TimeStretch(&stretched, rate), S_OK);
        dsp::ProcessPitchShiftState() = *saved;
        SampleArray manual(in);
        ASSERT_EQ(o->PitchShift(&manual, static_cast<float>(10000.0 / rate)), S_OK);
        ASSERT_EQ(o->Resample(&manual, rate), S_OK);
        EXPECT_EQ(stretched.values(), manual.values()) << rate;
        EXPECT_EQ(stretched.size(), static_cast<std::size_t>(1000 * 100 / rate + 0.5)) << rate;
    }
}

TEST(TimeStretch, PassesTheInnerEventsOnInOrder) {
    Object o;
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    SampleArray a(Tone(1000, 300.0, 5000.0));
    ASSERT_EQ(o->TimeStretch(&a, 50), S_OK);
    EXPECT_EQ(a.size(), 2000u);
    std::vector<std::string> expected;
    for (int p = 0; p < 100; ++p) expected.push_back("TB " + std::to_string(p));
    expected.insert(expected.end(), {"End", "End", "End"});  // PitchShift, Resample, TimeStretch
    EXPECT_EQ(sink.events, expected);
}

TEST(TimeStretch, CancelEndsOnlyThePitchShift) {
    Object o;
    o.NoSmoothing();
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    sink.onBlock = [&](LONG percent) {
        if (percent == 10) o->CancelTransform();
    };
    const std::vector<short> in = Tone(1000, 300.0, 5000.0);
    SampleArray a(in);
    ASSERT_EQ(o->TimeStretch(&a, 200), S_OK);
    std::vector<std::string> expected;
    for (int p = 0; p <= 10; ++p) expected.push_back("TB " + std::to_string(p));
    expected.insert(expected.end(), {"End", "End"});  // Resample ran; then TimeStretch
    EXPECT_EQ(sink.events, expected);
    // The untouched tail of the input went through the resampling: every second sample.
    const std::vector<short> out = a.values();
    ASSERT_EQ(out.size(), 500u);
    for (std::size_t i = 60; i < 500; ++i) ASSERT_EQ(out[i], in[2 * i]) << i;
}

TEST(TimeStretch, InnerFailuresAndItsOwnRefusal) {
    Object o;
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    // One sample: both inner calls fail, TimeStretch still succeeds and ends.
    SampleArray one({7});
    EXPECT_EQ(o->TimeStretch(&one, 50), S_OK);
    ErrorConstants last{};
    o->get_LastErrorNum(&last);
    EXPECT_EQ(last, INVALIDPARAM);
    EXPECT_EQ(one.values(), (std::vector<short>{7}));
    EXPECT_EQ(sink.events, (std::vector<std::string>{"End"}));
    TakeErrorDescription();

    const std::vector<short> input = Ramp(500, 0, 20);
    for (float rate : {0.0f, -100.0f, std::nanf(""), INFINITY}) {
        ExpectRefused(o, input, [&](SAFEARRAY** x) { return o->TimeStretch(x, rate); });
    }
}

}  // namespace
}  // namespace qelv::test
