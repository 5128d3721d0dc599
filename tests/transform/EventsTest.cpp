// Progress events, EndTransform, cancellation and error reporting.
#include "TestSupport.h"

namespace qelv::test {
namespace {

constexpr HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

std::vector<std::string> Blocks(LONG from, LONG to) {
    std::vector<std::string> v;
    for (LONG p = from; p <= to; ++p) v.push_back("TB " + std::to_string(p));
    return v;
}

TEST(Events, ProgressFollowsArrayLength) {
    Object o;
    o.NoSmoothing();
    RecordingSink sink;
    Connection c(o.get(), &sink);

    SampleArray a99 = SampleArray::Filled(99, 1);
    ASSERT_EQ(o->Invert(&a99), S_OK);
    EXPECT_EQ(sink.events, std::vector<std::string>{"End"});

    sink.events.clear();
    SampleArray a1000 = SampleArray::Filled(1000, 1);
    ASSERT_EQ(o->Invert(&a1000), S_OK);
    std::vector<std::string> expected = Blocks(0, 99);
    expected.push_back("End");
    EXPECT_EQ(sink.events, expected);

    sink.events.clear();
    SampleArray a199 = SampleArray::Filled(199, 1);
    ASSERT_EQ(o->Invert(&a199), S_OK);
    expected = Blocks(0, 198);
    expected.push_back("End");
    EXPECT_EQ(sink.events, expected);

    sink.events.clear();
    o->put_TBEventEnabled(VARIANT_FALSE);
    ASSERT_EQ(o->Invert(&a1000), S_OK);
    EXPECT_EQ(sink.events, std::vector<std::string>{"End"});
}

TEST(Events, LoopIndexAndStepOfHalfLoopsAndChannelMethods) {
    Object o;
    o.NoSmoothing();
    RecordingSink sink;
    Connection c(o.get(), &sink);
    SAFEARRAY* out = nullptr;

    SampleArray a1000 = SampleArray::Filled(1000, 1);
    ASSERT_EQ(o->Reverse(&a1000), S_OK);
    EXPECT_EQ(sink.percents.back(), 49);

    sink.percents.clear();
    ASSERT_EQ(o->GetRightStereoChannel(&a1000, &out), S_OK);
    SampleArray right;
    *(&right) = out;
    EXPECT_TRUE(sink.percents.empty());  // odd indices never meet the even step 10

    sink.percents.clear();
    ASSERT_EQ(o->GetLeftStereoChannel(&a1000, &out), S_OK);
    SampleArray left;
    *(&left) = out;
    ASSERT_EQ(sink.percents.size(), 100u);
    EXPECT_EQ(sink.percents.front(), 0);
    EXPECT_EQ(sink.percents.back(), 99);

    sink.percents.clear();
    SampleArray a150 = SampleArray::Filled(150, 1);
    ASSERT_EQ(o->MakeStereoFromMono(&a150, &out), S_OK);
    SampleArray stereo;
    *(&stereo) = out;
    ASSERT_EQ(sink.percents.size(), 150u);
    EXPECT_EQ(sink.percents.back(), 149);

    // n = 301: step 3 over the odd indices, so indices 3, 9, 15, .. give events.
    sink.percents.clear();
    SampleArray a301 = SampleArray::Filled(301, 1);
    ASSERT_EQ(o->GetRightStereoChannel(&a301, &out), S_OK);
    SampleArray right301;
    *(&right301) = out;
    ASSERT_FALSE(sink.percents.empty());
    EXPECT_EQ(sink.percents.front(), 1);
    EXPECT_EQ(sink.percents[1], 3);
}

TEST(Events, CancelFromHandlerStopsAfterTheNextSample) {
    Object o;
    RecordingSink sink;
    sink.onBlock = [&](LONG percent) {
        if (percent == 10) o->CancelTransform();
    };
    Connection c(o.get(), &sink);
    const std::vector<short> input = Ramp(1000, 1, 1);
    SampleArray a(input);
    ASSERT_EQ(o->Invert(&a), S_OK);
    const std::vector<short> v = a.values();
    for (int i = 0; i <= 101; ++i) ASSERT_EQ(v[i], -input[i]) << i;
    for (int i = 102; i < 1000; ++i) ASSERT_EQ(v[i], input[i]) << i;
    EXPECT_EQ(sink.endCount(), 0);
    EXPECT_EQ(sink.percents.back(), 10);
    EXPECT_EQ(o->CancelRequested, 1);
    EXPECT_EQ(o->LeftEdgeBuffer, nullptr);
    VARIANT_BOOL left = 0;
    o->get_SmoothLeftEnabled(&left);
    EXPECT_EQ(left, VARIANT_TRUE);  // the array is short for smoothing; the property is put back
}

TEST(Events, CancelWithSmoothingReleasesEdgesAndSkipsTheBlend) {
    Object o;
    RecordingSink sink;
    sink.onBlock = [&](LONG percent) {
        if (percent == 50) o->CancelTransform();
    };
    Connection c(o.get(), &sink);
    SampleArray a = SampleArray::Filled(20000, 100);
    ASSERT_EQ(o->Silence(&a), S_OK);
    const std::vector<short> v = a.values();
    EXPECT_EQ(v[0], 0);  // not cross-faded back
    EXPECT_EQ(v[10001], 0);
    EXPECT_EQ(v[10002], 100);
    EXPECT_EQ(o->LeftEdgeBuffer, nullptr);
    EXPECT_EQ(o->RightEdgeBuffer, nullptr);
}

TEST(Events, CancelBeforeACallIsForgottenAndCancelOnLastEventFinishes) {
    Object o;
    o.NoSmoothing();
    RecordingSink sink;
    Connection c(o.get(), &sink);
    ASSERT_EQ(o->CancelTransform(), S_OK);
    SampleArray a = SampleArray::Filled(1000, 2);
    ASSERT_EQ(o->Invert(&a), S_OK);
    EXPECT_EQ(a.values(), std::vector<short>(1000, -2));
    EXPECT_EQ(sink.endCount(), 1);

    // Cancelling on the event of the very last iteration comes too late to stop it.
    sink.events.clear();
    SampleArray b = SampleArray::Filled(991, 2);  // step 9: last event at index 981 (109)
    sink.onBlock = [&](LONG percent) {
        if (percent == 110) o->CancelTransform();  // index 990 is the last sample
    };
    ASSERT_EQ(o->Invert(&b), S_OK);
    EXPECT_EQ(b.values(), std::vector<short>(991, -2));
    EXPECT_EQ(sink.endCount(), 1);
}

TEST(Events, CancelledNewArrayIsHandedBackPartlyWritten) {
    Object o;
    RecordingSink sink;
    sink.onBlock = [&](LONG percent) {
        if (percent == 0) o->CancelTransform();
    };
    Connection c(o.get(), &sink);
    SampleArray mono = SampleArray::Filled(1000, 9);
    SAFEARRAY* out = nullptr;
    ASSERT_EQ(o->MakeStereoFromMono(&mono, &out), S_OK);
    SampleArray stereo;
    *(&stereo) = out;
    const std::vector<short> v = stereo.values();
    ASSERT_EQ(v.size(), 2000u);
    EXPECT_EQ(v[0], 9);
    EXPECT_EQ(v[3], 9);  // the sample after the cancelling event is written
    EXPECT_EQ(v[4], 0);
    EXPECT_EQ(sink.endCount(), 0);
}

TEST(Events, SinksAreCalledInOrderAndMayUnadviseWhileFiring) {
    Object o;
    o.NoSmoothing();
    RecordingSink first, second;
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(o->FindConnectionPoint(DIID__ISonalter2Events, &point), S_OK);
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(point->Advise(&first, &c1), S_OK);
    ASSERT_EQ(point->Advise(&second, &c2), S_OK);
    first.onBlock = [&](LONG percent) {
        if (percent == 1) point->Unadvise(c2);
    };
    SampleArray a = SampleArray::Filled(200, 1);
    ASSERT_EQ(o->Invert(&a), S_OK);
    EXPECT_EQ(first.percents.size(), 100u);  // step 2
    EXPECT_EQ(second.percents, (std::vector<LONG>{0}));
    EXPECT_EQ(second.refs(), 1u);
    EXPECT_EQ(point->Unadvise(c2), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(c1), S_OK);
    EXPECT_EQ(first.refs(), 1u);

    IEnumConnections* connections = nullptr;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    CONNECTDATA cd{};
    ULONG fetched = 7;
    EXPECT_EQ(connections->Next(1, &cd, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    connections->Release();
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, DIID__ISonalter2Events));
    point->Release();

    IConnectionPoint* other = nullptr;
    EXPECT_EQ(o->FindConnectionPoint(IID_IDispatch, &other), CONNECT_E_NOCONNECTION);
}

TEST(Errors, ReportErrorMapsNumbersToStatusesAndMessages) {
    Object o;
    EXPECT_EQ(o->ReportError(0), S_OK);
    EXPECT_EQ(TakeErrorDescription(), u"");
    EXPECT_EQ(o->ReportError(-10), static_cast<HRESULT>(0x80040301));
    EXPECT_EQ(TakeErrorDescription(), u"Busy error.");
    EXPECT_EQ(o->ReportError(-23), static_cast<HRESULT>(0x8004030E));
    EXPECT_EQ(TakeErrorDescription(), u"Index is out of range.");
    EXPECT_EQ(o->ReportError(-24), static_cast<HRESULT>(0x80040300));
    EXPECT_EQ(TakeErrorDescription(), u"Unexpected error.");
    EXPECT_EQ(o->ReportError(12345), static_cast<HRESULT>(0x80040300));
    EXPECT_EQ(TakeErrorDescription(), u"Unexpected error.");
    EXPECT_EQ(o->LastErrorNum, 12345);
}

TEST(Errors, FailedCallLeavesNumberAndDescriptionUntilClearedByAWorkingMethod) {
    Object o;
    RecordingSink sink;
    Connection c(o.get(), &sink);
    SampleArray one({5});
    EXPECT_EQ(o->Invert(&one), kInvalidParam);
    EXPECT_TRUE(sink.events.empty());
    EXPECT_EQ(one.values(), std::vector<short>{5});

    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    BSTR text = nullptr;
    info->GetDescription(&text);
    EXPECT_EQ(std::u16string(text), u"Invalid parameter(argument).");
    SysFreeString(text);
    GUID guid{};
    info->GetGUID(&guid);
    EXPECT_TRUE(IsEqualIID(guid, IID_ISonalter2));
    DWORD context = 7;
    info->GetHelpContext(&context);
    EXPECT_EQ(context, 0u);
    info->Release();

    ErrorConstants number{};
    o->get_LastErrorNum(&number);
    EXPECT_EQ(number, INVALIDPARAM);
    SampleArray fine = SampleArray::Filled(10, 1);
    EXPECT_EQ(o->Invert(&fine), S_OK);
    o->get_LastErrorNum(&number);
    EXPECT_EQ(number, INVALIDPARAM);

    EXPECT_EQ(o->InterfaceSupportsErrorInfo(IID_ISonalter2), S_OK);
    EXPECT_EQ(o->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
}

}  // namespace
}  // namespace qelv::test
