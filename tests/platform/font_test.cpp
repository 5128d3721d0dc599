// Fonts: logical fonts and their descriptions, device contexts, metrics and
// text extents measured with the matched face, and the standard font object.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

LOGFONTW Font(LONG height, const char16_t* face, LONG weight = FW_NORMAL) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = weight;
    for (size_t k = 0; face[k] && k + 1 < LF_FACESIZE; ++k) font.lfFaceName[k] = face[k];
    return font;
}

TEST(Fonts, DescriptionComesBackAsCreated) {
    LOGFONTW font = Font(-9, u"Small Fonts");
    font.lfItalic = 1;
    font.lfCharSet = ANSI_CHARSET;
    HFONT handle = CreateFontIndirectW(&font);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GetObjectW(handle, 0, nullptr), static_cast<int>(sizeof(LOGFONTW)));
    LOGFONTW back{};
    EXPECT_EQ(GetObjectW(handle, sizeof back, &back), static_cast<int>(sizeof back));
    EXPECT_EQ(std::memcmp(&back, &font, sizeof font), 0);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(handle)), static_cast<DWORD>(OBJ_FONT));
    EXPECT_TRUE(DeleteObject(handle));
    EXPECT_EQ(GetObjectW(handle, sizeof back, &back), 0);
    EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
}

TEST(Fonts, DeviceContextsHoldTheSystemFontAndA96DpiResolution) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    HDC memory = CreateCompatibleDC(screen);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(memory)), static_cast<DWORD>(OBJ_MEMDC));
    LOGFONTW big = Font(-20, u"DejaVu Sans");
    HFONT handle = CreateFontIndirectW(&big);
    HGDIOBJ previous = SelectObject(memory, handle);
    EXPECT_EQ(previous, GetStockObject(SYSTEM_FONT));
    EXPECT_FALSE(DeleteObject(handle));  // still selected
    EXPECT_EQ(SelectObject(memory, previous), reinterpret_cast<HGDIOBJ>(handle));
    EXPECT_TRUE(DeleteObject(handle));
    EXPECT_TRUE(DeleteObject(GetStockObject(SYSTEM_FONT)));  // stock objects stay
    LOGFONTW system{};
    EXPECT_GT(GetObjectW(GetStockObject(SYSTEM_FONT), sizeof system, &system), 0);
    EXPECT_EQ(std::u16string(system.lfFaceName), u"System");
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_FALSE(DeleteDC(memory));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 0);
}

TEST(Fonts, MetricsAndExtentsFollowTheRequestedSize) {
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW small = Font(-9, u"Small Fonts");
    HFONT handle = CreateFontIndirectW(&small);
    SelectObject(dc, handle);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 9);  // a negative height is the em height
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_GT(tm.tmAveCharWidth, 0);
    SIZE one{};
    SIZE two{};
    ASSERT_TRUE(GetTextExtentPoint32W(dc, u"15", 2, &one));
    ASSERT_TRUE(GetTextExtentPoint32W(dc, u"-1515", 5, &two));
    EXPECT_GT(one.cx, 0);
    EXPECT_GT(two.cx, one.cx);
    EXPECT_EQ(one.cy, tm.tmHeight);
    SIZE ansi{};
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "-1515", 5, &ansi));
    EXPECT_EQ(ansi.cx, two.cx);
    SIZE none{};
    EXPECT_TRUE(GetTextExtentPoint32W(dc, u"", 0, &none));
    EXPECT_EQ(none.cx, 0);
    EXPECT_FALSE(GetTextExtentPoint32W(dc, nullptr, 3, &none));
    // "Small Fonts" is realised with the small sans face.
    WCHAR face[LF_FACESIZE] = {};
    EXPECT_GT(GetTextFaceW(dc, LF_FACESIZE, face), 1);
    EXPECT_EQ(std::u16string(face), u"DejaVu Sans");
    // A positive height is the cell height.
    LOGFONTW cell = Font(30, u"Small Fonts");
    HFONT cellHandle = CreateFontIndirectW(&cell);
    SelectObject(dc, cellHandle);
    GetTextMetricsW(dc, &tm);
    EXPECT_NEAR(tm.tmHeight, 30, 1);
    // Twice the size, about twice the width.
    LOGFONTW doubled = Font(-18, u"Small Fonts");
    HFONT doubledHandle = CreateFontIndirectW(&doubled);
    SelectObject(dc, doubledHandle);
    SIZE wide{};
    GetTextExtentPoint32W(dc, u"-1515", 5, &wide);
    EXPECT_NEAR(wide.cx, 2 * two.cx, 3);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(handle);
    DeleteObject(cellHandle);
    DeleteObject(doubledHandle);
    DeleteDC(dc);
}

// A non-zero lfWidth asks for an average width: the stock system font (cell 16,
// bold, width 7) is its face narrowed by 7/8, each hinted advance scaled and
// rounded up, which gives the Windows system font's widths: digits 9, '-' 6.
TEST(Fonts, AnAverageWidthScalesTheAdvances) {
    HDC dc = CreateCompatibleDC(nullptr);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmHeight, 16);
    EXPECT_EQ(tm.tmAscent, 13);
    EXPECT_EQ(tm.tmAveCharWidth, 7);
    SIZE size{};
    const struct {
        const char16_t* text;
        LONG width;
    } expected[] = {{u"15", 18}, {u"-15", 24}, {u"-1125", 42}, {u"1875", 36}, {u"%W#", 38}};
    for (const auto& e : expected) {
        ASSERT_TRUE(GetTextExtentPoint32W(dc, e.text, static_cast<int>(std::char_traits<char16_t>::length(e.text)),
                                          &size));
        EXPECT_EQ(size.cx, e.width);
        EXPECT_EQ(size.cy, 16);
    }
    // The same face without a width is wider; twice its natural average, wider still.
    for (auto [width, average, extent] : {std::tuple{0, 8, 46}, {16, 16, 92}}) {
        LOGFONTW font = Font(16, u"System", FW_BOLD);
        font.lfWidth = width;
        HFONT handle = CreateFontIndirectW(&font);
        SelectObject(dc, handle);
        GetTextMetricsW(dc, &tm);
        EXPECT_EQ(tm.tmAveCharWidth, average) << width;
        GetTextExtentPoint32W(dc, u"-1125", 5, &size);
        EXPECT_EQ(size.cx, extent) << width;
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        DeleteObject(handle);
    }
    DeleteDC(dc);
}

TEST(StandardFont, DescriptionHandleAndStreamFormat) {
    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(u"Small Fonts"), {}, 400, 0, FALSE, FALSE, FALSE};
    desc.cySize.Lo = 67500;  // 6.75 points
    IFont* font = nullptr;
    ASSERT_EQ(OleCreateFontIndirect(&desc, IID_IFont, reinterpret_cast<void**>(&font)), S_OK);
    // Realised at 96 pixels per inch: 67500 * 96 / 72 = 90000 -> 9 pixels.
    HFONT handle = nullptr;
    ASSERT_EQ(font->get_hFont(&handle), S_OK);
    LOGFONTW realised{};
    GetObjectW(handle, sizeof realised, &realised);
    EXPECT_EQ(realised.lfHeight, -9);
    EXPECT_EQ(realised.lfWeight, 400);
    EXPECT_EQ(std::u16string(realised.lfFaceName), u"Small Fonts");
    CY size{};
    font->get_Size(&size);
    EXPECT_EQ(size.Lo, 67500u);
    // Rounding of the realised height: above one half goes up, one half stays down.
    for (const auto& [points, height] : {std::pair<ULONG, LONG>{71250, -9}, {71300, -10}, {180000, -24}, {186000, -25}}) {
        font->put_Size(CY{{points, 0}});
        font->get_hFont(&handle);
        GetObjectW(handle, sizeof realised, &realised);
        EXPECT_EQ(realised.lfHeight, height) << points;
    }
    font->put_Size(CY{{67500, 0}});
    IPersistStream* persist = nullptr;
    ASSERT_EQ(font->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist)), S_OK);
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    EXPECT_EQ(persist->Save(stream, TRUE), S_OK);
    const unsigned char expected[] = {0x01, 0x00, 0x00, 0x00, 0x90, 0x01, 0xAC, 0x07, 0x01, 0x00, 11,
                                      'S', 'm', 'a', 'l', 'l', ' ', 'F', 'o', 'n', 't', 's'};
    HGLOBAL memory = nullptr;
    GetHGlobalFromStream(stream, &memory);
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    ASSERT_EQ(stat.cbSize.QuadPart, sizeof expected);
    EXPECT_EQ(std::memcmp(GlobalLock(memory), expected, sizeof expected), 0);
    GlobalUnlock(memory);
    // Loading a changed description: flags, weight and name.
    const unsigned char other[] = {0x01, 0x02, 0x00, 0x0E, 0xBC, 0x02, 0x90, 0x5F, 0x01, 0x00, 5, 'A', 'r', 'i', 'a', 'l'};
    IStream* source = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &source);
    source->Write(other, sizeof other, nullptr);
    LARGE_INTEGER start{};
    source->Seek(start, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(persist->Load(source), S_OK);
    BOOL flag = FALSE;
    font->get_Italic(&flag);
    EXPECT_TRUE(flag);
    font->get_Underline(&flag);
    EXPECT_TRUE(flag);
    font->get_Strikethrough(&flag);
    EXPECT_TRUE(flag);
    SHORT value = 0;
    font->get_Weight(&value);
    EXPECT_EQ(value, 700);
    font->get_Charset(&value);
    EXPECT_EQ(value, 2);
    BSTR name = nullptr;
    font->get_Name(&name);
    EXPECT_EQ(std::u16string(name), u"Arial");
    SysFreeString(name);
    // A wrong version byte is refused.
    const unsigned char bad[] = {0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    source->SetSize(ULARGE_INTEGER{});
    source->Seek(start, STREAM_SEEK_SET, nullptr);
    source->Write(bad, sizeof bad, nullptr);
    source->Seek(start, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(persist->Load(source), E_FAIL);
    source->Release();
    stream->Release();
    persist->Release();
    font->Release();
}

TEST(StandardFont, DispatchPropertiesByIdentifier) {
    IFontDisp* font = nullptr;
    ASSERT_EQ(OleCreateFontIndirect(nullptr, IID_IFontDisp, reinterpret_cast<void**>(&font)), S_OK);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(font->Invoke(DISPID_FONT_NAME, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_EQ(std::u16string(V_BSTR(&result)), u"System");
    VariantClear(&result);
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"bold")};
    DISPID id = 0;
    EXPECT_EQ(font->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, DISPID_FONT_BOLD);
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = -1;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    EXPECT_EQ(font->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr), S_OK);
    font->Invoke(DISPID_FONT_WEIGHT, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    EXPECT_EQ(V_VT(&result), VT_I2);
    EXPECT_EQ(V_I2(&result), 700);
    font->Invoke(DISPID_FONT_SIZE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    EXPECT_EQ(V_VT(&result), VT_CY);
    EXPECT_EQ(V_CY(&result).int64, 82500);  // 8 points: 11 pixels at 96 per inch, 11 * 7500
    EXPECT_EQ(font->Invoke(99, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    font->Release();
}

}  // namespace
