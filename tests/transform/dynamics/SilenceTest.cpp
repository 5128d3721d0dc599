// TrimLeft, TrimRight and DeleteSilence: the documented cases, the in-place
// resize (and its refusal for arrays the platform would not resize), progress
// and cancellation of the scans, and the events of DeleteSilence's Expander.
#include <algorithm>
#include <cmath>
#include <limits>

#include "transform/TestSupport.h"

namespace qelv::test {
namespace {

const HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

TEST(Trim, DocumentedCases) {
    Object o;
    SampleArray left({0, 5, -32, 33, 7, 100});
    ASSERT_EQ(o->TrimLeft(&left, -60.0f, 1000.0f), S_OK);  // F = 44100: no fade
    EXPECT_EQ(left.values(), (std::vector<short>{-32, 33, 7, 100}));
    SampleArray right({100, 7, 33, -32, 5, 0});
    ASSERT_EQ(o->TrimRight(&right, -60.0f, 1000.0f), S_OK);
    EXPECT_EQ(right.values(), (std::vector<short>{100, 7, 33, -32}));

    o->put_ArrayFrequency(static_cast<FrequencyConstants>(1000));
    SampleArray faded({0, 5, -32, 33, 7, 100});
    ASSERT_EQ(o->TrimLeft(&faded, -60.0f, 2.0f), S_OK);  // F = 2
    EXPECT_EQ(faded.values(), (std::vector<short>{0, 17, 7, 100}));
    SampleArray fadedOut({100, 7, 33, -33, 5, 0});
    ASSERT_EQ(o->TrimRight(&fadedOut, -60.0f, 2.0f), S_OK);
    EXPECT_EQ(fadedOut.values(), (std::vector<short>{100, 7, 17, 0}));
    // F < 1 is raised to 1: only the new edge sample becomes 0.
    SampleArray tiny({1, 2, 500, 400, 300});
    ASSERT_EQ(o->TrimLeft(&tiny, -60.0f, 0.0f), S_OK);
    EXPECT_EQ(tiny.values(), (std::vector<short>{0, 400, 300}));

    // All quiet: even lengths vanish, odd ones keep one sample.
    for (auto trim : {&CSonalter2::TrimLeft, &CSonalter2::TrimRight}) {
        SampleArray even = SampleArray::Filled(10, 3);
        ASSERT_EQ(((*o).*trim)(&even, -60.0f, 1.0f), S_OK);
        EXPECT_EQ(even.size(), 0u);
        SampleArray odd = SampleArray::Filled(11, 3);
        ASSERT_EQ(((*o).*trim)(&odd, -60.0f, 1.0f), S_OK);
        EXPECT_EQ(odd.size(), 1u);
        // A loud edge sample: nothing cut, no fade.
        SampleArray loud({5000, 0, 0, 0, 5000});
        ASSERT_EQ(((*o).*trim)(&loud, -60.0f, 1.0f), S_OK);
        EXPECT_EQ(loud.values(), (std::vector<short>{5000, 0, 0, 0, 5000}));
        // 0 dB: everything is quiet except -32768.
        SampleArray full({32767, -32767, -32768, 32767, 32767, -32767});
        ASSERT_EQ(((*o).*trim)(&full, 0.0f, 1000.0f), S_OK);
        EXPECT_EQ(full.size(), 4u);
    }
}

TEST(Trim, ArraysThatCannotBeResizedAreRefusedUnchanged) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    const std::vector<short> input = {0, 0, 0, 0, 900, 0, 0, 0, 0};
    SampleArray fixed(input);
    fixed.get()->fFeatures |= FADF_FIXEDSIZE;
    EXPECT_EQ(o->TrimLeft(&fixed, -20.0f, 0.0f), kInvalidParam);
    EXPECT_EQ(o->TrimRight(&fixed, -20.0f, 0.0f), kInvalidParam);
    EXPECT_EQ(o->DeleteSilence(&fixed, -20.0f, 1.0f, 1.0f), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    EXPECT_EQ(fixed.values(), input);
    fixed.get()->fFeatures &= ~FADF_FIXEDSIZE;

    SampleArray locked(input);
    ASSERT_EQ(SafeArrayLock(locked.get()), S_OK);
    EXPECT_EQ(o->TrimLeft(&locked, -20.0f, 0.0f), kInvalidParam);
    EXPECT_EQ(o->DeleteSilence(&locked, -20.0f, 1.0f, 1.0f), kInvalidParam);
    ASSERT_EQ(SafeArrayUnlock(locked.get()), S_OK);
    EXPECT_EQ(locked.values(), input);
    EXPECT_EQ(sink.endCount(), 0);
    // Nothing to cut: no resize needed, so a fixed-size array is fine.
    SampleArray nothing({9000, 0, 0, 9000});
    nothing.get()->fFeatures |= FADF_FIXEDSIZE;
    EXPECT_EQ(o->TrimLeft(&nothing, -20.0f, 0.0f), S_OK);
    nothing.get()->fFeatures &= ~FADF_FIXEDSIZE;

    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(o->TrimLeft(&locked, nan, 0.0f), kInvalidParam);
    EXPECT_EQ(o->TrimRight(&locked, -20.0f, nan), kInvalidParam);
    EXPECT_EQ(o->DeleteSilence(&locked, -20.0f, nan, 1.0f), kInvalidParam);
    SampleArray single({0});
    EXPECT_EQ(o->TrimRight(&single, -20.0f, 0.0f), kInvalidParam);
    EXPECT_EQ(locked.values(), input);
}

TEST(Trim, ScanProgressAndCancel) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    SampleArray right = SampleArray::Filled(1000, 0);
    ASSERT_EQ(o->TrimRight(&right, -60.0f, 1.0f), S_OK);
    EXPECT_EQ(right.size(), 0u);
    ASSERT_EQ(sink.percents.size(), 100u);  // scan index 1 .. 1000, step 10
    EXPECT_EQ(sink.percents.front(), 1);
    EXPECT_EQ(sink.percents.back(), 100);

    sink.percents.clear();
    SampleArray left = SampleArray::Filled(1000, 0);
    ASSERT_EQ(o->TrimLeft(&left, -60.0f, 1.0f), S_OK);
    EXPECT_EQ(sink.percents.front(), 0);
    EXPECT_EQ(sink.percents.back(), 99);
    EXPECT_EQ(sink.endCount(), 2);

    sink.onBlock = [&](LONG p) {
        if (p == 10) o->CancelTransform();
    };
    for (auto trim : {&CSonalter2::TrimLeft, &CSonalter2::TrimRight}) {
        SampleArray cancelled = SampleArray::Filled(1000, 0);
        ASSERT_EQ(((*o).*trim)(&cancelled, -60.0f, 1.0f), S_OK);
        EXPECT_EQ(cancelled.values(), std::vector<short>(1000, 0));
    }
    EXPECT_EQ(sink.endCount(), 2);
}

TEST(DeleteSilence, DropsSilencedStretchesWithTheExpandersEvents) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    SampleArray zeros = SampleArray::Filled(5000, 0);
    ASSERT_EQ(o->DeleteSilence(&zeros, -20.0f, 10.0f, 123.0f), S_OK);
    EXPECT_EQ(zeros.size(), 0u);
    // The Expander's block events and End, then DeleteSilence's own End.
    ASSERT_GE(sink.events.size(), 3u);
    EXPECT_EQ(sink.events[sink.events.size() - 2], "End");
    EXPECT_EQ(sink.events.back(), "End");
    EXPECT_EQ(sink.endCount(), 2);
    EXPECT_FALSE(sink.percents.empty());

    // Loud, quiet, loud: most of the quiet stretch goes; every kept sample is an
    // input sample.
    std::vector<short> input(15000, 20000);
    for (std::size_t i = 5000; i < 10000; ++i) input[i] = (i % 2) ? 300 : -300;
    SampleArray gap(input);
    ASSERT_EQ(o->DeleteSilence(&gap, -20.0f, 10.0f, 0.0f), S_OK);
    const std::vector<short> v = gap.values();
    const auto quiet = std::count_if(v.begin(), v.end(), [](short x) { return std::abs(x) == 300; });
    EXPECT_EQ(static_cast<std::size_t>(std::count(v.begin(), v.end(), 20000)), 10000u);
    EXPECT_LT(quiet, 1000);
    EXPECT_EQ(v.size(), 10000u + static_cast<std::size_t>(quiet));

    // No block below the threshold: only the input zeros go.
    std::vector<short> dotted(3000);
    for (std::size_t i = 0; i < dotted.size(); ++i) dotted[i] = (i % 7 == 3) ? 0 : static_cast<short>(10000 + i);
    SampleArray kept(dotted);
    ASSERT_EQ(o->DeleteSilence(&kept, -60.0f, 5.0f, 5.0f), S_OK);
    std::vector<short> expected;
    std::copy_if(dotted.begin(), dotted.end(), std::back_inserter(expected), [](short x) { return x != 0; });
    EXPECT_EQ(kept.values(), expected);

    ErrorConstants last{};
    SampleArray single({1});
    o->Invert(&single);
    SampleArray again = SampleArray::Filled(10, 100);
    ASSERT_EQ(o->DeleteSilence(&again, -20.0f, 1.0f, 1.0f), S_OK);  // the Expander resets it
    o->get_LastErrorNum(&last);
    EXPECT_EQ(last, NOERRORS);
}

}  // namespace
}  // namespace qelv::test
