// The control's properties through dispatch: defaults with their variant
// types, the stored values of puts, the refused scale limits, and the control's
// standard interfaces.
#include <cmath>
#include <limits>

#include "DisplayTestSupport.h"

namespace qelv::test {
namespace {

struct Default {
    DISPID id;
    VARTYPE vt;
    long long value;  // integer views; floats and strings are checked below
};

TEST(DisplayProperties, DefaultsThroughDispatchWithTheirTypes) {
    Control control;
    IDispatch* dispatch = control.get();
    const Default integers[] = {
        {0x0A, VT_UI4, 0x00000000}, {0x0B, VT_UI4, 0x00000000}, {0x0C, VT_UI4, 0x00707070},
        {0x0D, VT_UI4, 0x8000000F}, {0x0E, VT_UI4, 0x80000012}, {0x0F, VT_UI4, 0x0040FF40},
        {0x16, VT_UI4, 0x0000FFFF}, {0x13, VT_I4, 0},           {0x15, VT_I4, 1024},
        {0x17, VT_I4, 1},           {0x1F, VT_I4, 32},
    };
    for (const Default& expected : integers) {
        HRESULT hr = E_FAIL;
        VARIANT v = DispatchGet(dispatch, expected.id, &hr);
        ASSERT_EQ(hr, S_OK) << expected.id;
        EXPECT_EQ(V_VT(&v), expected.vt) << expected.id;
        const long long got = V_VT(&v) == VT_UI4 ? static_cast<long long>(V_UI4(&v)) : V_I4(&v);
        EXPECT_EQ(got, expected.value) << expected.id;
    }
    // The visibility flags start at 1, not at the automation true value -1.
    for (DISPID id : {0x10, 0x11, 0x12}) {
        VARIANT v = DispatchGet(dispatch, id);
        EXPECT_EQ(V_VT(&v), VT_BOOL);
        EXPECT_EQ(V_BOOL(&v), 1);
    }
    VARIANT log = DispatchGet(dispatch, 0x1C);
    EXPECT_EQ(V_VT(&log), VT_BOOL);
    EXPECT_EQ(V_BOOL(&log), 0);
    const std::pair<DISPID, float> floats[] = {{0x18, 22050.0f}, {0x19, 20.0f}, {0x1A, 0.0f}, {0x1B, -20.0f}};
    for (const auto& [id, value] : floats) {
        VARIANT v = DispatchGet(dispatch, id);
        EXPECT_EQ(V_VT(&v), VT_R4);
        EXPECT_EQ(V_R4(&v), value);
    }
    for (const auto& [id, text] : {std::pair<DISPID, std::u16string>{0x1D, u"Hz"}, {0x1E, u"dB"}}) {
        VARIANT v = DispatchGet(dispatch, id);
        ASSERT_EQ(V_VT(&v), VT_BSTR);
        EXPECT_EQ(std::u16string(V_BSTR(&v)), text);
        VariantClear(&v);
    }
    VARIANT font = DispatchGet(dispatch, 0x14);
    ASSERT_EQ(V_VT(&font), VT_DISPATCH);
    EXPECT_NE(V_DISPATCH(&font), nullptr);
    VariantClear(&font);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{0, 0, 22050, 0}));
}

TEST(DisplayProperties, PutsStoreValuesUnchecked) {
    Control control;
    EXPECT_EQ(control->put_BorderStyle(static_cast<BorderTypeConstants>(7)), S_OK);
    BorderTypeConstants style = bNone;
    control->get_BorderStyle(&style);
    EXPECT_EQ(style, 7);
    EXPECT_EQ(control->put_GridVisible(5), S_OK);
    VARIANT_BOOL flag = 0;
    control->get_GridVisible(&flag);
    EXPECT_EQ(flag, 5);
    control->put_LineArraySize(-3);
    LONG size = 0;
    control->get_LineArraySize(&size);
    EXPECT_EQ(size, -3);
    control->put_SplineType(static_cast<SplineTypeConstants>(9));
    SplineTypeConstants type = stNone;
    control->get_SplineType(&type);
    EXPECT_EQ(type, 9);
    // A system colour is stored, not translated.
    control->put_Color(0x80000008);
    OLE_COLOR color = 0;
    control->get_Color(&color);
    EXPECT_EQ(color, 0x80000008u);
}

TEST(DisplayProperties, SplineSteepnesIsKeptWithinOneToHundred) {
    Control control;
    for (const auto& [put, expected] : {std::pair<LONG, LONG>{0, 1}, {1000, 100}, {-5, 1}, {100, 100}, {1, 1},
                                        {57, 57}, {-2147483647 - 1, 1}, {2147483647, 100}}) {
        EXPECT_EQ(control->put_SplineSteepnes(put), S_OK);
        LONG got = 0;
        control->get_SplineSteepnes(&got);
        EXPECT_EQ(got, expected) << put;
    }
}

TEST(DisplayProperties, CaptionsAreCopiedAndMayBeAbsent) {
    Control control;
    BSTR text = SysAllocString(OLESTR("Time"));
    EXPECT_EQ(control->put_ScaleXCaption(text), S_OK);
    text[0] = u'X';  // the control keeps its own copy
    BSTR got = nullptr;
    control->get_ScaleXCaption(&got);
    EXPECT_EQ(std::u16string(got), u"Time");
    EXPECT_NE(got, control->ScaleXCaption);  // a get hands out a new copy
    SysFreeString(got);
    SysFreeString(text);
    // Putting the very string already stored keeps it.
    EXPECT_EQ(control->put_ScaleXCaption(control->ScaleXCaption), S_OK);
    control->get_ScaleXCaption(&got);
    EXPECT_EQ(std::u16string(got), u"Time");
    SysFreeString(got);
    EXPECT_EQ(control->put_ScaleYCaption(nullptr), S_OK);
    got = SysAllocString(OLESTR("stale"));
    SysFreeString(got);
    EXPECT_EQ(control->get_ScaleYCaption(&got), S_OK);
    EXPECT_EQ(got, nullptr);
}

// A refused limit: DISP_E_EXCEPTION with the message, through the vtable and
// through dispatch, and nothing changes (neither the limits nor the points).
TEST(DisplayProperties, ScaleLimitsThatWouldNotLeaveMinBelowMaxAreRefused) {
    Control control;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        DISPID id;
        float value;
        const char16_t* message;
    } cases[] = {
        {0x18, 0.0f, u"ScaleXMax should be more ScaleXMin"},   {0x18, nan, u"ScaleXMax should be more ScaleXMin"},
        {0x1A, 22050.0f, u"ScaleXMin should be less ScaleXMax"}, {0x1A, nan, u"ScaleXMin should be less ScaleXMax"},
        {0x19, -20.0f, u"ScaleYMax should be more ScaleYMin"},  {0x1B, 20.0f, u"ScaleYMin should be less ScaleYMax"},
    };
    for (const Case& c : cases) {
        EXCEPINFO info{};
        EXPECT_EQ(DispatchPut(control.get(), c.id, MakeR4(c.value), &info), DISP_E_EXCEPTION);
        ASSERT_NE(info.bstrDescription, nullptr);
        EXPECT_EQ(std::u16string(info.bstrDescription), c.message);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrHelpFile);
    }
    EXPECT_EQ(control->put_ScaleYMin(20.0f), DISP_E_EXCEPTION);
    EXPECT_EQ(TakeDescription(), u"ScaleYMin should be less ScaleYMax");
    EXPECT_EQ(control->ScaleXMin, 0.0f);
    EXPECT_EQ(control->ScaleXMax, 22050.0f);
    EXPECT_EQ(control->ScaleYMin, -20.0f);
    EXPECT_EQ(control->ScaleYMax, 20.0f);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{0, 0, 22050, 0}));
}

TEST(DisplayProperties, ScaleLimitsPassToThePoints) {
    Control control;
    // Max first, then min: both succeed and pin the two points.
    EXPECT_EQ(control->put_ScaleXMax(200.0f), S_OK);
    EXPECT_EQ(control->put_ScaleXMin(100.0f), S_OK);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{100, 0, 200, 0}));
    SAFEARRAY* points = MakeFloatArray({100, 15, 150, 18, 180, -12, 200, 5});
    control->SetPointArray(&points);
    SafeArrayDestroy(points);
    EXPECT_EQ(control->put_ScaleYMax(10.0f), S_OK);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{100, 10, 150, 10, 180, -12, 200, 5}));
    EXPECT_EQ(control->put_ScaleYMin(-5.0f), S_OK);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{100, 10, 150, 10, 180, -5, 200, 5}));
    // Narrowing x pulls the inner points in; the ends are pinned.
    EXPECT_EQ(control->put_ScaleXMax(160.0f), S_OK);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{100, 10, 150, 10, 160, -5, 160, 5}));
}

TEST(DisplayProperties, ScaleFontGetDescribesTheDefaultFont) {
    Control control;
    IFontDisp* font = nullptr;
    ASSERT_EQ(control->get_ScaleFont(&font), S_OK);
    IFont* description = nullptr;
    ASSERT_EQ(font->QueryInterface(IID_IFont, reinterpret_cast<void**>(&description)), S_OK);
    BSTR name = nullptr;
    description->get_Name(&name);
    EXPECT_EQ(std::u16string(name), u"Small Fonts");
    SysFreeString(name);
    SHORT weight = 0;
    description->get_Weight(&weight);
    EXPECT_EQ(weight, 400);
    description->Release();
    font->Release();
    // A null font is ignored; a given font's handle becomes the scale font.
    EXPECT_EQ(control->putref_ScaleFont(nullptr), S_OK);
    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(OLESTR("Courier New")), {}, 700, 0, TRUE, FALSE, FALSE};
    desc.cySize.Lo = 120000;  // 12 points: a 16-pixel handle at 96 pixels per inch
    IFontDisp* given = nullptr;
    ASSERT_EQ(OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&given)), S_OK);
    EXPECT_EQ(control->putref_ScaleFont(given), S_OK);
    given->Release();  // the control holds its own reference
    ASSERT_EQ(control->get_ScaleFont(&font), S_OK);
    ASSERT_EQ(font->QueryInterface(IID_IFont, reinterpret_cast<void**>(&description)), S_OK);
    description->get_Name(&name);
    EXPECT_EQ(std::u16string(name), u"Courier New");
    SysFreeString(name);
    BOOL italic = FALSE;
    description->get_Italic(&italic);
    EXPECT_TRUE(italic);
    description->Release();
    font->Release();
    // The held font object's current handle is used, also after it changed.
    IFont* held = nullptr;
    ASSERT_EQ(OleCreateFontIndirect(&desc, IID_IFont, reinterpret_cast<void**>(&held)), S_OK);
    IFontDisp* heldDisp = nullptr;
    held->QueryInterface(IID_IFontDisp, reinterpret_cast<void**>(&heldDisp));
    control->putref_ScaleFont(heldDisp);
    heldDisp->Release();
    held->put_Size(CY{{180000, 0}});  // 18 points: 24 pixels
    LOGFONTW now{};
    ASSERT_NE(GetObjectW(control->ScaleFontHandle(), sizeof now, &now), 0);
    EXPECT_EQ(now.lfHeight, -24);
    held->Release();
}

TEST(DisplayObject, InterfacesClassInformationAndEvents) {
    Control control;
    GUID guid{};
    EXPECT_EQ(control->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
    EXPECT_EQ(guid, DIID__ISonalterDisplay2Events);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(control->GetClassInfo(&info), S_OK);
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    EXPECT_EQ(attr->guid, CLSID_SonalterDisplay2);
    info->ReleaseTypeAttr(attr);
    info->Release();
    IConnectionPoint* point = nullptr;
    EXPECT_EQ(control->FindConnectionPoint(DIID__ISonalterDisplay2Events, &point), S_OK);
    if (point) point->Release();
    EXPECT_EQ(control->FindConnectionPoint(DIID__ISonalter2Events, &point), CONNECT_E_NOCONNECTION);
    for (const IID* iid : {&IID_IPersistStreamInit, &IID_IPersistStorage, &IID_IPersist, &IID_IObjectSafety,
                           &IID_IProvideClassInfo2, &IID_ISupportErrorInfo, &IID_IDispatch}) {
        IUnknown* unknown = nullptr;
        EXPECT_EQ(control->QueryInterface(*iid, reinterpret_cast<void**>(&unknown)), S_OK);
        if (unknown) unknown->Release();
    }
    CLSID clsid{};
    EXPECT_EQ(static_cast<IPersistStreamInit*>(control.get())->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_SonalterDisplay2);
}

TEST(DisplayObject, ObjectSafetySupportsBothOptionsAndRefusesOthers) {
    Control control;
    DWORD supported = 0;
    DWORD enabled = 99;
    ASSERT_EQ(control->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(control->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), S_OK);
    control->GetInterfaceSafetyOptions(IID_IPersistStreamInit, &supported, &enabled);
    EXPECT_EQ(enabled, 3u);
    EXPECT_EQ(control->SetInterfaceSafetyOptions(IID_IDispatch, 1, 0), S_OK);
    control->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
    EXPECT_EQ(enabled, 2u);
    EXPECT_EQ(control->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4), E_FAIL);
    EXPECT_EQ(control->SetInterfaceSafetyOptions(IID_IDispatch, 3, 7), E_FAIL);
    control->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
    EXPECT_EQ(enabled, 2u);
    EXPECT_EQ(control->GetInterfaceSafetyOptions(DIID__ISonalter2Events, &supported, &enabled), E_NOINTERFACE);
}

// Methods with array arguments and the font reference through IDispatch::Invoke.
TEST(DisplayDispatch, ArraysAndTheFontThroughInvoke) {
    Control control;
    IDispatch* dispatch = control.get();
    SAFEARRAY* points = MakeFloatArray({0, 1, 11025, 5, 22050, 1});
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_ARRAY | VT_R4 | VT_BYREF;
    V_ARRAYREF(&arg) = &points;
    DISPPARAMS params{&arg, nullptr, 1, 0};
    EXPECT_EQ(dispatch->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    SafeArrayDestroy(points);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(dispatch->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr), S_OK);
    ASSERT_EQ(V_VT(&result), VT_ARRAY | VT_R4);
    EXPECT_EQ(FloatsOf(V_ARRAY(&result)), (std::vector<float>{0, 1, 11025, 5, 22050, 1}));
    VariantClear(&result);
    control->put_LineArraySize(4);
    control->put_SplineType(stNone);
    ASSERT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr), S_OK);
    ASSERT_EQ(V_VT(&result), VT_ARRAY | VT_R4);
    EXPECT_EQ(FloatsOf(V_ARRAY(&result)), (std::vector<float>{1, 3, 5, 3}));
    VariantClear(&result);

    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(OLESTR("Arial")), {}, 400, 0, FALSE, TRUE, FALSE};
    desc.cySize.Lo = 75000;
    IFontDisp* font = nullptr;
    ASSERT_EQ(OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&font)), S_OK);
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = font;
    EXPECT_EQ(DispatchPut(dispatch, 0x14, value), S_OK);
    font->Release();
    VARIANT back = DispatchGet(dispatch, 0x14);
    ASSERT_EQ(V_VT(&back), VT_DISPATCH);
    VARIANT name = DispatchGet(V_DISPATCH(&back), DISPID_FONT_NAME);
    EXPECT_EQ(std::u16string(V_BSTR(&name)), u"Arial");
    VariantClear(&name);
    VARIANT size = DispatchGet(V_DISPATCH(&back), DISPID_FONT_SIZE);
    EXPECT_EQ(V_CY(&size).int64, 75000);  // 7.5 points: 10 pixels, described back as 75000
    VariantClear(&back);
}

TEST(DisplayObject, EventsReachEverySinkWithTheirArguments) {
    Control control;
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(control->FindConnectionPoint(DIID__ISonalterDisplay2Events, &point), S_OK);
    EventSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    control->Fire_MouseMove(3, -4);
    control->Fire_MouseUp(5, 6);
    control->Fire_MouseDown(7, 8);
    control->Fire_MouseClick(9, 10);
    control->Fire_MouseDblClick();
    control->Fire_ResetPoint(2);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"1:3,-4", "2:5,6", "3:7,8", "4:9,10", "5:", "6:2"}));
    point->Unadvise(cookie);
    point->Release();
}

}  // namespace
}  // namespace qelv::test
