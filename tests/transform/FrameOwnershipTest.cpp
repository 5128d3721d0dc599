// Methods that lock a second array or create a result: every way out (finished,
// cancelled at the first or a later event, failed after the second array was
// opened) releases every lock exactly once. Under AddressSanitizer a view that
// dies before the frame releasing it shows up as a use after scope; in any build
// an array left locked refuses SafeArrayDestroy.
#include "TestSupport.h"

namespace qelv::test {
namespace {

using Call = std::function<HRESULT(CSonalter2*, SAFEARRAY**, SAFEARRAY**, SAFEARRAY**)>;

struct TwoArrayMethod {
    const char* name;
    Call call;  // (object, first, second, result)
};

std::vector<TwoArrayMethod> Methods() {
    return {
        {"GetLeftStereoChannel", [](CSonalter2* o, SAFEARRAY** a, SAFEARRAY**, SAFEARRAY** r) { return o->GetLeftStereoChannel(a, r); }},
        {"GetRightStereoChannel", [](CSonalter2* o, SAFEARRAY** a, SAFEARRAY**, SAFEARRAY** r) { return o->GetRightStereoChannel(a, r); }},
        {"MakeStereoFromArrays", [](CSonalter2* o, SAFEARRAY** a, SAFEARRAY** b, SAFEARRAY** r) { return o->MakeStereoFromArrays(a, b, r); }},
        {"MakeStereoFromMono", [](CSonalter2* o, SAFEARRAY** a, SAFEARRAY**, SAFEARRAY** r) { return o->MakeStereoFromMono(a, r); }},
        {"MakeMonoFromStereo", [](CSonalter2* o, SAFEARRAY** a, SAFEARRAY**, SAFEARRAY** r) { return o->MakeMonoFromStereo(a, r); }},
        {"MixArrays", [](CSonalter2* o, SAFEARRAY** a, SAFEARRAY** b, SAFEARRAY** r) { return o->MixArrays(a, 50.0f, b, 50.0f, r); }},
        {"DuplicateArray", [](CSonalter2* o, SAFEARRAY** a, SAFEARRAY**, SAFEARRAY** r) { return o->DuplicateArray(a, r); }},
    };
}

// True when nothing holds a lock on the array: a locked array refuses to be destroyed.
bool Unlocked(SAFEARRAY* array) { return array && array->cLocks == 0; }

TEST(FrameOwnership, CancelledTwoArrayMethodsReleaseEveryLock) {
    for (const TwoArrayMethod& m : Methods()) {
        for (LONG cancelAt : {0, 5}) {
            SCOPED_TRACE(std::string(m.name) + " cancelled at " + std::to_string(cancelAt));
            Object o;
            RecordingSink sink;
            sink.onBlock = [&](LONG percent) {
                if (percent == cancelAt) o->CancelTransform();
            };
            Connection connection(o.get(), &sink);
            SampleArray first(Ramp(2048, -1000, 1));
            SampleArray second(Ramp(2048, 500, -1));
            SAFEARRAY* result = nullptr;
            EXPECT_EQ(m.call(o.get(), &first, &second, &result), S_OK);
            // GetRightStereoChannel's loop index is odd, never a multiple of the
            // even step: it fires no progress event, so nothing can cancel it.
            EXPECT_EQ(sink.endCount(), sink.percents.empty() ? 1 : 0);
            EXPECT_TRUE(Unlocked(first.get()));
            EXPECT_TRUE(Unlocked(second.get()));
            ASSERT_NE(result, nullptr);  // handed back partly written
            EXPECT_TRUE(Unlocked(result));
            EXPECT_EQ(SafeArrayDestroy(result), S_OK);
        }
    }
}

TEST(FrameOwnership, FailureAfterTheSecondArrayWasOpenedReleasesIt) {
    for (const char* name : {"MakeStereoFromArrays", "MixArrays"}) {
        SCOPED_TRACE(name);
        Object o;
        SampleArray first(Ramp(300, 0, 3));
        SampleArray second(Ramp(300, 0, -3));
        // No place for the result: refused after both inputs were locked.
        HRESULT hr = std::string(name) == "MixArrays" ? o->MixArrays(&first, 100.0f, &second, 100.0f, nullptr)
                                                     : o->MakeStereoFromArrays(&first, &second, nullptr);
        EXPECT_EQ(hr, static_cast<HRESULT>(0x8004030B));
        EXPECT_TRUE(Unlocked(first.get()));
        EXPECT_TRUE(Unlocked(second.get()));
    }
}

TEST(FrameOwnership, FinishedTwoArrayMethodsReleaseEveryLockBeforeTheEndEvent) {
    for (const TwoArrayMethod& m : Methods()) {
        SCOPED_TRACE(m.name);
        Object o;
        SampleArray first(Ramp(1000, -300, 1));
        SampleArray second(Ramp(1000, 300, -1));
        SAFEARRAY* result = nullptr;
        bool unlockedAtEnd = false;
        RecordingSink sink;
        // The host may free or resize its arrays from the end handler.
        sink.onEnd = [&] { unlockedAtEnd = Unlocked(first.get()) && Unlocked(second.get()) && Unlocked(result); };
        Connection connection(o.get(), &sink);
        EXPECT_EQ(m.call(o.get(), &first, &second, &result), S_OK);
        EXPECT_TRUE(unlockedAtEnd);
        SafeArrayDestroy(result);
    }
}

}  // namespace
}  // namespace qelv::test
