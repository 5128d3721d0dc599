// The transform frame: properties, edge bookkeeping, cross-fades and array checks.
#include <cmath>
#include <numbers>

#include "TestSupport.h"

namespace qelv::test {
namespace {

constexpr HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

TEST(Properties, NewObjectDefaultsAndPutsAcceptEveryValue) {
    Object o;
    VARIANT_BOOL b = 0;
    LONG l = 0;
    FrequencyConstants f{};
    ChannelsConstants c{};
    ErrorConstants e{};
    EXPECT_EQ(o->get_SmoothLeftEnabled(&b), S_OK);
    EXPECT_EQ(b, VARIANT_TRUE);
    EXPECT_EQ(o->get_SmoothRightEnabled(&b), S_OK);
    EXPECT_EQ(b, VARIANT_TRUE);
    EXPECT_EQ(o->get_SmoothTime(&l), S_OK);
    EXPECT_EQ(l, 50);
    EXPECT_EQ(o->get_ArrayFrequency(&f), S_OK);
    EXPECT_EQ(f, FQ_44_KHZ);
    EXPECT_EQ(o->get_ArrayChannels(&c), S_OK);
    EXPECT_EQ(c, MONO);
    EXPECT_EQ(o->get_TBEventEnabled(&b), S_OK);
    EXPECT_EQ(b, VARIANT_TRUE);
    EXPECT_EQ(o->get_LastErrorNum(&e), S_OK);
    EXPECT_EQ(e, NOERRORS);
    EXPECT_EQ(o->SmoothSamples, 2205);

    EXPECT_EQ(o->put_ArrayChannels(static_cast<ChannelsConstants>(5)), S_OK);
    EXPECT_EQ(o->get_ArrayChannels(&c), S_OK);
    EXPECT_EQ(c, 5);
    EXPECT_EQ(o->put_SmoothLeftEnabled(7), S_OK);  // any non-zero value is kept as put
    EXPECT_EQ(o->get_SmoothLeftEnabled(&b), S_OK);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(o->get_SmoothTime(nullptr), E_POINTER);
}

TEST(Properties, SmoothSamplesFollowsRateAndTimeWithRounding) {
    Object o;
    o->put_SmoothTime(10);
    o->put_ArrayFrequency(FQ_22_KHZ);
    EXPECT_EQ(o->SmoothSamples, 221);  // 220.5 rounds away from zero
    o->put_ArrayFrequency(FQ_11_KHZ);
    EXPECT_EQ(o->SmoothSamples, 110);
    o->put_SmoothTime(0);
    EXPECT_EQ(o->SmoothSamples, 0);
    o->put_SmoothTime(-10);
    EXPECT_EQ(o->SmoothSamples, -110);
    o->put_ArrayFrequency(static_cast<FrequencyConstants>(2000000000));
    o->put_SmoothTime(2000000);
    EXPECT_EQ(o->SmoothSamples, -1);  // overflow of the quotient
}

// Runs Silence on a constant array and reports whether the edges were blended.
bool SilenceBlends(CSonalter2* object, std::size_t n) {
    SampleArray a = SampleArray::Filled(n, 1000);
    EXPECT_EQ(object->Silence(&a), S_OK);
    return a.values()[0] == 1000;
}

TEST(Frame, EdgeNeedDecidesWhetherToSmooth) {
    Object o;
    EXPECT_FALSE(SilenceBlends(o.get(), 6614));
    EXPECT_TRUE(SilenceBlends(o.get(), 6615));
    o->put_SmoothRightEnabled(VARIANT_FALSE);
    EXPECT_FALSE(SilenceBlends(o.get(), 4409));
    EXPECT_TRUE(SilenceBlends(o.get(), 4410));

    // The switched-off properties are put back after the call.
    o->put_SmoothRightEnabled(VARIANT_TRUE);
    SampleArray shortArray = SampleArray::Filled(100, 5);
    EXPECT_EQ(o->Invert(&shortArray), S_OK);
    VARIANT_BOOL left = 0, right = 0;
    o->get_SmoothLeftEnabled(&left);
    o->get_SmoothRightEnabled(&right);
    EXPECT_EQ(left, VARIANT_TRUE);
    EXPECT_EQ(right, VARIANT_TRUE);
    EXPECT_EQ(shortArray.values(), std::vector<short>(100, -5));
}

TEST(Frame, SilenceBlendsBothEdgesAlongAQuarterSine) {
    Object o;
    const std::size_t n = 10000;
    const std::size_t m = 2205;
    SampleArray a = SampleArray::Filled(n, 20000);
    ASSERT_EQ(o->Silence(&a), S_OK);
    const std::vector<short> v = a.values();
    for (std::size_t j = 0; j < m; ++j) {
        const float w = static_cast<float>(std::sin(static_cast<double>(j) * std::numbers::pi / (2.0 * m)));
        const short expected = static_cast<short>(static_cast<float>((1.0L - w) * 20000));
        ASSERT_EQ(v[j], expected) << "head " << j;
        ASSERT_EQ(v[n - 1 - j], expected) << "tail " << j;
    }
    for (std::size_t i = m; i < n - m; ++i) ASSERT_EQ(v[i], 0) << i;
}

TEST(Frame, BlendLimitsToEdgeRangeAndHandlesSmallAndOddEdges) {
    Object o;
    o->put_SmoothTime(1);  // 44 samples
    SampleArray loud = SampleArray::Filled(500, 32767);
    ASSERT_EQ(o->Amplify(&loud, 100), S_OK);
    const std::vector<short> v = loud.values();
    EXPECT_EQ(v.front(), 32766);
    EXPECT_EQ(v.back(), 32766);
    EXPECT_EQ(v[250], 32767);

    // A stereo array is blended per raw sample, each with its own weight.
    SampleArray stereo(std::vector<short>(300, -32768));
    ASSERT_EQ(o->Invert(&stereo), S_OK);
    EXPECT_EQ(stereo.values().front(), -32766);

    // A negative edge length means no smoothing at all.
    o->put_SmoothTime(-5);
    SampleArray plain = SampleArray::Filled(500, 100);
    ASSERT_EQ(o->Silence(&plain), S_OK);
    EXPECT_EQ(plain.values(), std::vector<short>(500, 0));
}

TEST(Frame, RefusesUnusableArraysWithoutChangingAnything) {
    Object o;
    EXPECT_EQ(o->Invert(nullptr), kInvalidParam);
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(o->Invert(&none), kInvalidParam);

    SAFEARRAYBOUND twoDims[2] = {{4, 0}, {4, 0}};
    SAFEARRAY* matrix = SafeArrayCreate(VT_I2, 2, twoDims);
    EXPECT_EQ(o->Invert(&matrix), kInvalidParam);
    SafeArrayDestroy(matrix);

    SAFEARRAY* floats = SafeArrayCreateVector(VT_R4, 0, 10);
    EXPECT_EQ(o->Invert(&floats), kInvalidParam);
    SafeArrayDestroy(floats);

    SAFEARRAY* offset = SafeArrayCreateVector(VT_I2, 1, 10);
    EXPECT_EQ(o->Invert(&offset), kInvalidParam);
    SafeArrayDestroy(offset);

    SampleArray empty(std::vector<short>{});
    EXPECT_EQ(o->Invert(&empty), kInvalidParam);
}

TEST(Frame, OneSampleIsRefusedByEveryMethodButDuplicateArray) {
    Object o;
    SampleArray one({7});
    SampleArray two({1, 2});
    SAFEARRAY* out = nullptr;
    const std::vector<HRESULT> results = {
        o->GetLeftStereoChannel(&one, &out),
        o->GetRightStereoChannel(&one, &out),
        o->MakeStereoFromArrays(&one, &two, &out),
        o->MakeStereoFromArrays(&two, &one, &out),
        o->MakeStereoFromMono(&one, &out),
        o->MakeMonoFromStereo(&one, &out),
        o->MixArrays(&one, 100, &two, 100, &out),
        o->MixArrays(&two, 100, &one, 100, &out),
        o->MixStereoChannels(&one, 100, 0, 0, 100),
        o->Silence(&one),
        o->Reverse(&one),
        o->Invert(&one),
        o->Amplify(&one, 50),
        o->Fade(&one, 0, 100),
        o->Normalize(&one, 100, VARIANT_TRUE),
    };
    for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i], kInvalidParam) << "call " << i;
    EXPECT_EQ(out, nullptr);  // no result array is created on failure
    EXPECT_EQ(one.values(), std::vector<short>{7});

    ASSERT_EQ(o->DuplicateArray(&one, &out), S_OK);
    SampleArray copy;
    *(&copy) = out;
    EXPECT_EQ(copy.values(), std::vector<short>{7});
}

TEST(Frame, LockedArrayDuringCallCannotBeDestroyedByHandler) {
    Object o;
    o.NoSmoothing();
    SampleArray a = SampleArray::Filled(1000, 3);
    RecordingSink sink;
    HRESULT destroyDuringCall = S_OK;
    sink.onBlock = [&](LONG percent) {
        if (percent == 5) destroyDuringCall = SafeArrayDestroy(a.get());
    };
    Connection c(o.get(), &sink);
    ASSERT_EQ(o->Invert(&a), S_OK);
    EXPECT_EQ(destroyDuringCall, DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(a.values(), std::vector<short>(1000, -3));
}

}  // namespace
}  // namespace qelv::test
