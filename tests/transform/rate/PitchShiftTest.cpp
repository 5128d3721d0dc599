// PitchShift: the vocoder core on a state of its own (first-call lead-in, lag,
// frequencies shifted by the factor, the carried state), and the method on the
// process-wide state (events, cancellation, refusals, two threads).
#include <atomic>
#include <memory>
#include <thread>

#include "RateTestSupport.h"
#include "transform/rate/PitchShiftCore.h"

namespace qelv::test {
namespace {

using dsp::PitchShiftState;

std::unique_ptr<PitchShiftState> FreshState() { return std::make_unique<PitchShiftState>(); }

dsp::Biquad HighPass(long fs = 44100) { return dsp::DesignBiquad(dsp::kBiquadHighPass, 0.0f, 50.0f, 50.0f, fs); }

// Runs the core over the whole array, as the method does without events.
std::vector<short> Shift(PitchShiftState& state, std::vector<short> v, float pitch, long fs = 44100) {
    dsp::PitchShiftCore core(state, pitch, dsp::kPitchFrame, dsp::kPitchOversampling, static_cast<float>(fs),
                             HighPass(fs), v.data(), v.size());
    core.Run(v.data(), 0, v.size());
    return v;
}

TEST(PitchShiftCore, FirstCallPassesTheHeadThroughTheHighPass) {
    auto state = FreshState();
    const std::vector<short> in = Tone(2000, 300.0, 9000.0);
    const std::vector<short> out = Shift(*state, in, 1.5f);
    // Position 192: outputs 0 .. 63 read the prefilled FIFO entries in[0 .. 63].
    const dsp::Biquad s = HighPass();
    double x1 = in[0], x2 = in[0], y1 = in[0], y2 = in[0];
    for (std::size_t i = 0; i < 64; ++i) {
        const double x = in[i];
        const double y = s.b0 * x + s.b1 * x1 + s.b2 * x2 - s.a1 * y1 - s.a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        ASSERT_EQ(out[i], static_cast<short>(std::trunc(std::clamp(y, -32767.0, 32767.0)))) << i;
    }
    EXPECT_GE(state->position, 192);
    EXPECT_LT(state->position, 256);
}

TEST(PitchShiftCore, UnitFactorDelaysByOneFrame) {
    auto state = FreshState();
    const std::vector<short> in = Tone(8000, 1000.0, 8000.0);
    const std::vector<short> out = Shift(*state, in, 1.0f);
    // After the lead-in the output is the input 256 samples late, high-passed,
    // and 1.5 times as loud: the overlap-add scale 2 / (N/2 * osamp) on frames
    // windowed twice sums four shifted squared Hann windows, 1.5.
    const dsp::Biquad s = HighPass();
    std::vector<double> hp(in.size());
    double x1 = in[0], x2 = in[0], y1 = in[0], y2 = in[0];
    for (std::size_t i = 0; i < in.size(); ++i) {
        const double x = in[i];
        hp[i] = s.b0 * x + s.b1 * x1 + s.b2 * x2 - s.a1 * y1 - s.a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = hp[i];
    }
    double worst = 0.0;
    for (std::size_t i = 1500; i < 8000; ++i) worst = std::max(worst, std::abs(out[i] - 1.5 * hp[i - 256]));
    EXPECT_LT(worst, 12000 * 0.05);
    EXPECT_NEAR(MeasuredAmplitude(out, 1500, 8000), 12000.0, 12000 * 0.03);
}

TEST(PitchShiftCore, ShiftsATonesFrequencyByTheFactor) {
    // (Above about 1.5 the mapping feeds each source bin to several target bins
    // with equal phases, and bins far from the shifted frequency alias: the
    // peak no longer lands on it. See docs/methods/rate.md.)
    for (float pitch : {1.5f, 0.5f, 0.75f, 0.8f, 1.2f}) {
        auto state = FreshState();
        const double hz = 600.0;
        const std::vector<short> out = Shift(*state, Tone(10240, hz, 6000.0), pitch);
        EXPECT_NEAR(PeakHz(out, 2048, 10240), hz * pitch, hz * pitch * 0.01) << pitch;
    }
    // Factor 0.5: target bins above 64 would take sources above 128 and stay
    // silent, so a tone at 15 kHz comes out at 7.5 kHz with nothing left at 15 kHz.
    auto state = FreshState();
    const std::vector<short> high = Shift(*state, Tone(8000, 15000.0, 6000.0), 0.5f);
    EXPECT_NEAR(MeasuredHz(high, 2000, 8000), 7500.0, 75.0);
    const auto power = [&](double hz) {
        double re = 0.0, im = 0.0;
        for (std::size_t i = 2000; i < 8000; ++i) {
            re += high[i] * std::cos(2.0 * std::numbers::pi * hz * i / 44100.0);
            im += high[i] * std::sin(2.0 * std::numbers::pi * hz * i / 44100.0);
        }
        return re * re + im * im;
    };
    EXPECT_LT(power(15000.0), power(7500.0) * 1e-3);
}

TEST(PitchShiftCore, FramePendingAfterACancelIsProcessedAtTheNextCall) {
    // Stopping right after the sample that fills the FIFO leaves the position at
    // N; the next call processes that frame first, so it sees the same tables as
    // if the previous call had processed it.
    const std::vector<short> in = Tone(1000, 700.0, 9000.0);
    const std::vector<short> next = Tone(1500, 300.0, 5000.0);
    auto whole = FreshState();
    auto cut = FreshState();
    std::vector<short> w = in, c = in;
    {
        dsp::PitchShiftCore core(*whole, 1.3f, 256, 4, 44100.0f, HighPass(), w.data(), w.size());
        core.Run(w.data(), 0, 64);  // the first frame completes after sample 63
    }
    {
        dsp::PitchShiftCore core(*cut, 1.3f, 256, 4, 44100.0f, HighPass(), c.data(), c.size());
        core.Run(c.data(), 0, 63);
        core.Sample(c.data(), 63);
    }
    EXPECT_EQ(cut->position, 256);
    EXPECT_EQ(Shift(*cut, next, 1.3f), Shift(*whole, next, 1.3f));
    EXPECT_GE(cut->position, 192);
    EXPECT_LT(cut->position, 256);
}

// The process-wide state copied before a method call, and the core's result on
// that copy: what the method must produce.
std::vector<short> ExpectedFromProcessState(const std::vector<short>& in, float pitch) {
    auto copy = std::make_unique<PitchShiftState>(dsp::ProcessPitchShiftState());
    return Shift(*copy, in, pitch);
}

TEST(PitchShift, RunsTheProcessWideCoreWithEvents) {
    Object o;
    o.NoSmoothing();
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    const std::vector<short> in = Tone(1000, 900.0, 12000.0);
    const std::vector<short> expected = ExpectedFromProcessState(in, 0.75f);
    SampleArray a(in);
    ASSERT_EQ(o->PitchShift(&a, 75), S_OK);
    EXPECT_EQ(a.values(), expected);
    ASSERT_EQ(sink.events.size(), 101u);
    for (LONG p = 0; p < 100; ++p) EXPECT_EQ(sink.percents[p], p);
    EXPECT_EQ(sink.events.back(), "End");
    const dsp::Biquad s = HighPass();
    EXPECT_EQ(o->Coefficients[3], s.b0);
    EXPECT_EQ(o->Coefficients[1], s.a1);

    // Two successive calls on the same data differ: the state carries over.
    SampleArray b1(in), b2(in);
    ASSERT_EQ(o->PitchShift(&b1, 75), S_OK);
    ASSERT_EQ(o->PitchShift(&b2, 75), S_OK);
    EXPECT_NE(b1.values(), b2.values());
}

TEST(PitchShift, CancelKeepsTheSamplesProducedSoFar) {
    Object o;
    o.NoSmoothing();
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    sink.onBlock = [&](LONG percent) {
        if (percent == 10) o->CancelTransform();
    };
    const std::vector<short> in = Tone(1000, 500.0, 10000.0);
    const std::vector<short> expected = ExpectedFromProcessState(in, 1.5f);
    SampleArray a(in);
    ASSERT_EQ(o->PitchShift(&a, 150), S_OK);
    const std::vector<short> out = a.values();
    // The flag is seen after sample 101.
    for (std::size_t i = 0; i < 102; ++i) ASSERT_EQ(out[i], expected[i]) << i;
    for (std::size_t i = 102; i < 1000; ++i) ASSERT_EQ(out[i], in[i]) << i;
    EXPECT_EQ(sink.endCount(), 0);
    EXPECT_EQ(sink.percents.back(), 10);
    const long position = dsp::ProcessPitchShiftState().position;
    EXPECT_TRUE(position >= 192 && position <= 256) << position;
}

TEST(PitchShift, SmoothedEdgesAndShortArrays) {
    Object o;
    const std::vector<short> in = Tone(7000, 250.0, 20000.0);
    SampleArray a(in);
    ASSERT_EQ(o->PitchShift(&a, 120), S_OK);
    const std::vector<short> out = a.values();
    EXPECT_EQ(out.front(), in.front());
    EXPECT_EQ(out.back(), in.back());
    // Shorter than the prefill: only the array's own samples are read.
    o.NoSmoothing();
    const std::vector<short> tiny = {1000, -1000, 500};
    const std::vector<short> expected = ExpectedFromProcessState(tiny, 2.0f);
    SampleArray t(tiny);
    ASSERT_EQ(o->PitchShift(&t, 200), S_OK);
    EXPECT_EQ(t.values(), expected);
}

TEST(PitchShift, Refusals) {
    Object o;
    const std::vector<short> input = Ramp(300, -900, 7);
    for (float rate : {0.0f, -0.0f, -100.0f, std::nanf(""), INFINITY, -INFINITY, 1e21f, 1e-44f}) {
        ExpectRefused(o, input, [&](SAFEARRAY** x) { return o->PitchShift(x, rate); });
    }
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(0));
    ExpectRefused(o, input, [&](SAFEARRAY** x) { return o->PitchShift(x, 100); });
    o->put_ArrayFrequency(FQ_44_KHZ);
    ExpectRefused(o, {1}, [&](SAFEARRAY** x) { return o->PitchShift(x, 100); });

    // A PitchShift started from a progress handler of a running one (on another
    // object) would share the running call's tables: refused.
    Object other;
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    HRESULT inner = S_OK;
    sink.onBlock = [&](LONG percent) {
        if (percent == 3) {
            SampleArray x(input);
            inner = other->PitchShift(&x, 100);
        }
    };
    SampleArray a(Tone(1000, 300.0, 5000.0));
    EXPECT_EQ(o->PitchShift(&a, 100), S_OK);
    EXPECT_EQ(inner, kInvalidParam);
    EXPECT_EQ(sink.endCount(), 1);
}

TEST(PitchShift, TwoThreadsOnTwoObjectsTakeTurns) {
    std::atomic<int> failures{0};
    const auto worker = [&](float rate) {
        Object o;
        o.NoSmoothing();
        const std::vector<short> in = Tone(5000, 440.0, 9000.0);
        for (int k = 0; k < 20; ++k) {
            SampleArray a(in);
            if (o->PitchShift(&a, rate) != S_OK || a.size() != in.size()) ++failures;
        }
    };
    std::thread t1(worker, 150.0f), t2(worker, 70.0f);
    t1.join();
    t2.join();
    EXPECT_EQ(failures.load(), 0);
    const PitchShiftState& s = dsp::ProcessPitchShiftState();
    EXPECT_TRUE(s.position >= 192 && s.position < 256) << s.position;
    for (float v : s.accumulator) ASSERT_TRUE(std::isfinite(v));
}

}  // namespace
}  // namespace qelv::test
