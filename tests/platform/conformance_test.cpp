// Behaviours where hosts depend on the exact answer of the system the platform
// layer mirrors: resizing a string in place, numbers into DECIMAL, the text of
// small and large reals, byte arrays as strings, and cut-short UTF-8 input.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "test_objects.h"

using platform_test::I4;
using platform_test::R4;
using platform_test::R8;
using platform_test::Str;
using platform_test::Var;

namespace {

constexpr LCID kEnglishUs = 0x409;

std::u16string AsText(const VARIANT& src) {
    VARIANT out;
    VariantInit(&out);
    if (FAILED(VariantChangeTypeEx(&out, &src, kEnglishUs, 0, VT_BSTR))) return u"<error>";
    std::u16string text(out.bstrVal, SysStringLen(out.bstrVal));
    VariantClear(&out);
    return text;
}

struct Dec {
    HRESULT hr;
    BYTE sign;
    BYTE scale;
    ULONG hi;
    ULONGLONG lo;
};

Dec AsDecimal(const VARIANT& src) {
    VARIANT out;
    VariantInit(&out);
    const HRESULT hr = VariantChangeTypeEx(&out, &src, kEnglishUs, 0, VT_DECIMAL);
    if (FAILED(hr)) return {hr, 0, 0, 0, 0};
    EXPECT_EQ(out.vt, VT_DECIMAL);
    return {hr, out.decVal.sign, out.decVal.scale, out.decVal.Hi32, out.decVal.Lo64};
}

void ExpectDecimal(const VARIANT& src, BYTE sign, BYTE scale, ULONG hi, ULONGLONG lo) {
    const Dec d = AsDecimal(src);
    EXPECT_EQ(d.hr, S_OK);
    EXPECT_EQ(d.sign, sign);
    EXPECT_EQ(d.scale, scale);
    EXPECT_EQ(d.hi, hi);
    EXPECT_EQ(d.lo, lo);
}

std::u16string Utf8(const char* bytes, int count, DWORD flags = 0, int* result = nullptr) {
    OLECHAR buffer[64];
    const int n = MultiByteToWideChar(CP_UTF8, flags, bytes, count, buffer, 64);
    if (result != nullptr) *result = n;
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, flags, bytes, count, nullptr, 0), n);
    return std::u16string(buffer, buffer + (n > 0 ? n : 0));
}

}  // namespace

TEST(Conformance, ReallocatingWithoutSourceKeepsTheLeadingUnits) {
    const OLECHAR five[] = {u'a', u'b', 0, u'c', u'd'};
    BSTR b = SysAllocStringLen(five, 5);
    ASSERT_TRUE(SysReAllocStringLen(&b, nullptr, 2));
    ASSERT_EQ(SysStringLen(b), 2u);
    EXPECT_EQ(b[0], u'a');
    EXPECT_EQ(b[1], u'b');
    EXPECT_EQ(b[2], 0);

    // Growing keeps everything there was and zero-fills the rest.
    ASSERT_TRUE(SysReAllocStringLen(&b, nullptr, 4));
    ASSERT_EQ(SysStringLen(b), 4u);
    EXPECT_EQ(std::u16string(b, 4), (std::u16string{u'a', u'b', 0, 0}));
    EXPECT_EQ(b[4], 0);

    // From the empty string: only zeros.
    BSTR empty = nullptr;
    ASSERT_TRUE(SysReAllocStringLen(&empty, nullptr, 3));
    EXPECT_EQ(std::u16string(empty, 3), std::u16string(3, u'\0'));
    SysFreeString(empty);
    SysFreeString(b);
}

TEST(Conformance, IntegersRealsAndOthersConvertToDecimal) {
    ExpectDecimal(I4(-5), 0x80, 0, 0, 5);
    ExpectDecimal(I4(INT32_MIN), 0x80, 0, 0, 2147483648ull);
    VARIANT v = Var(VT_UI8, nullptr);
    v.ullVal = UINT64_MAX;
    ExpectDecimal(v, 0, 0, 0, UINT64_MAX);
    v.vt = VT_I8;
    v.llVal = INT64_MIN;
    ExpectDecimal(v, 0x80, 0, 0, 0x8000000000000000ull);
    v.vt = VT_BOOL;
    v.boolVal = VARIANT_TRUE;
    ExpectDecimal(v, 0x80, 0, 0, 1);
    v.vt = VT_EMPTY;
    ExpectDecimal(v, 0, 0, 0, 0);
    v.vt = VT_CY;
    v.cyVal.int64 = -123456;  // -12.3456, exact at scale 4
    ExpectDecimal(v, 0x80, 4, 0, 123456);

    // Reals take the digits they display with: 15 for doubles, 7 for floats.
    ExpectDecimal(R8(1.5), 0, 1, 0, 15);
    ExpectDecimal(R8(0.1), 0, 1, 0, 1);
    ExpectDecimal(R8(-1.0 / 3.0), 0x80, 15, 0, 333333333333333ull);
    ExpectDecimal(R8(1e20), 0, 0, 5, 0x6BC75E2D63100000ull);  // 10^20 = 5 * 2^64 + ...
    ExpectDecimal(R4(0.1f), 0, 1, 0, 1);
    ExpectDecimal(R4(1.0f / 3.0f), 0, 7, 0, 3333333);
    ExpectDecimal(R8(1e-30), 0, 0, 0, 0);  // below the smallest step
    ExpectDecimal(R8(1.5e-28), 0, 28, 0, 2);  // rounded half to even at scale 28
    VARIANT date = R8(45000.25);
    date.vt = VT_DATE;
    ExpectDecimal(date, 0, 2, 0, 4500025);

    EXPECT_EQ(AsDecimal(R8(1e29)).hr, DISP_E_OVERFLOW);
    EXPECT_EQ(AsDecimal(R8(std::numeric_limits<double>::quiet_NaN())).hr, DISP_E_OVERFLOW);
    EXPECT_EQ(AsDecimal(R8(-std::numeric_limits<double>::infinity())).hr, DISP_E_OVERFLOW);

    // Text keeps every digit that fits 96 bits, dropping scale where needed.
    VARIANT s = Str(u"-79228162514264337593543950335");
    ExpectDecimal(s, 0x80, 0, 0xFFFFFFFF, UINT64_MAX);
    VariantClear(&s);
    s = Str(u"1.2345678901234567890123456789012");
    const Dec d = AsDecimal(s);
    EXPECT_EQ(d.hr, S_OK);
    EXPECT_EQ(d.scale, 28);  // 29 digits fit 96 bits only with 28 of them after the point
    VariantClear(&s);
    s = Str(u"79228162514264337593543950336");  // 2^96
    EXPECT_EQ(AsDecimal(s).hr, DISP_E_OVERFLOW);
    VariantClear(&s);

    // And back: the value survives the round trip through text.
    VARIANT dec;
    VariantInit(&dec);
    VARIANT src = R8(-2.5);
    ASSERT_EQ(VariantChangeTypeEx(&dec, &src, kEnglishUs, 0, VT_DECIMAL), S_OK);
    EXPECT_EQ(AsText(dec), u"-2.5");
}

TEST(Conformance, RealsSwitchToExponentFormOutsideTheirPlainRange) {
    EXPECT_EQ(AsText(R8(1.5e-7)), u"1.5E-07");
    EXPECT_EQ(AsText(R8(0.0001)), u"0.0001");
    EXPECT_EQ(AsText(R8(0.00001)), u"1E-05");
    EXPECT_EQ(AsText(R8(9.99999999999999e-5)), u"9.99999999999999E-05");
    EXPECT_EQ(AsText(R8(9.999999999999999e-5)), u"0.0001");  // rounds up into the plain range
    EXPECT_EQ(AsText(R8(123456789012345.0)), u"123456789012345");
    EXPECT_EQ(AsText(R8(999999999999999.9)), u"1E+15");  // rounds up out of it
    EXPECT_EQ(AsText(R8(1.2345e100)), u"1.2345E+100");
    EXPECT_EQ(AsText(R8(4.9406564584124654e-324)), u"4.94065645841247E-324");

    // Floats: 7 digits, the same thresholds.
    EXPECT_EQ(AsText(R4(1.5e-7f)), u"1.5E-07");
    EXPECT_EQ(AsText(R4(0.001f)), u"0.001");
    EXPECT_EQ(AsText(R4(1234567.0f)), u"1234567");
    EXPECT_EQ(AsText(R4(12345678.0f)), u"1.234568E+07");
    EXPECT_EQ(AsText(R4(1e10f)), u"1E+10");

    // Dates are day numbers and format the same way.
    VARIANT date = R8(1e-6);
    date.vt = VT_DATE;
    EXPECT_EQ(AsText(date), u"1E-06");
}

TEST(Conformance, ByteArraysAndStringsConvertAsTheStringsBytes) {
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(bytes, nullptr);
    const unsigned char ab[] = {0x61, 0x00, 0x62, 0x00};
    std::memcpy(bytes->pvData, ab, 4);
    VARIANT v = Var(VT_ARRAY | VT_UI1, bytes);
    EXPECT_EQ(AsText(v), u"ab");

    // Through a reference too, and in place.
    VARIANT ref = Var(VT_BYREF | VT_ARRAY | VT_UI1, &v.parray);
    EXPECT_EQ(AsText(ref), u"ab");

    // And back: the string's bytes, zero-based.
    VARIANT text;
    VariantInit(&text);
    ASSERT_EQ(VariantChangeTypeEx(&text, &v, kEnglishUs, 0, VT_BSTR), S_OK);
    VARIANT back;
    VariantInit(&back);
    ASSERT_EQ(VariantChangeTypeEx(&back, &text, kEnglishUs, 0, VT_ARRAY | VT_UI1), S_OK);
    ASSERT_EQ(back.vt, VT_ARRAY | VT_UI1);
    ASSERT_EQ(SafeArrayGetDim(back.parray), 1u);
    EXPECT_EQ(back.parray->rgsabound[0].cElements, 4u);
    EXPECT_EQ(back.parray->rgsabound[0].lLbound, 0);
    EXPECT_EQ(std::memcmp(back.parray->pvData, ab, 4), 0);
    VariantClear(&back);
    VariantClear(&text);

    // An odd count keeps its odd byte.
    SAFEARRAY* three = SafeArrayCreateVector(VT_UI1, 5, 3);
    std::memcpy(three->pvData, ab, 3);
    VARIANT odd = Var(VT_ARRAY | VT_UI1, three);
    ASSERT_EQ(VariantChangeTypeEx(&text, &odd, kEnglishUs, 0, VT_BSTR), S_OK);
    EXPECT_EQ(SysStringByteLen(text.bstrVal), 3u);
    EXPECT_EQ(text.bstrVal[0], u'a');
    VariantClear(&text);
    VariantClear(&odd);

    // Other shapes and element types are refused, the destination untouched.
    SAFEARRAYBOUND twoD[2] = {{2, 0}, {2, 0}};
    VARIANT square = Var(VT_ARRAY | VT_UI1, SafeArrayCreate(VT_UI1, 2, twoD));
    VARIANT out = I4(7);
    EXPECT_EQ(VariantChangeTypeEx(&out, &square, kEnglishUs, 0, VT_BSTR), E_INVALIDARG);
    EXPECT_EQ(out.vt, VT_I4);
    VariantClear(&square);
    VARIANT shorts = Var(VT_ARRAY | VT_I2, SafeArrayCreateVector(VT_I2, 0, 2));
    EXPECT_EQ(VariantChangeTypeEx(&out, &shorts, kEnglishUs, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    VariantClear(&shorts);
    EXPECT_EQ(VariantChangeTypeEx(&out, &v, kEnglishUs, 0, VT_I4), DISP_E_TYPEMISMATCH);
    VariantClear(&v);
}

TEST(Conformance, MalformedUtf8BecomesOneReplacementPerMaximalSubpart) {
    int n = 0;
    EXPECT_EQ(Utf8("a\xE2\x82", 3, 0, &n), (std::u16string{u'a', 0xFFFD}));
    EXPECT_EQ(n, 2);
    // Every cut-short sequence at the end, of each length.
    EXPECT_EQ(Utf8("\xC3", 1), u"\uFFFD");
    EXPECT_EQ(Utf8("\xF0\x9F", 2), u"\uFFFD");
    EXPECT_EQ(Utf8("\xF0\x9F\x98", 3), u"\uFFFD");
    EXPECT_EQ(Utf8("x\xF0\x9F\x98\x80", 5), u"x\U0001F600");
    // Cut short in the middle: the next byte starts afresh.
    EXPECT_EQ(Utf8("\xE2\x82z", 3), u"\uFFFDz");
    EXPECT_EQ(Utf8("\xF0\x9F\x98\xE2\x82\xAC", 6), u"\uFFFD\u20AC");
    // Bytes that never start a sequence: one each.
    EXPECT_EQ(Utf8("\x80\xBF", 2), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8("\xC0\xAF", 2), u"\uFFFD\uFFFD");        // overlong lead
    EXPECT_EQ(Utf8("\xE0\x80\xAF", 3), u"\uFFFD\uFFFD\uFFFD");  // overlong second byte
    EXPECT_EQ(Utf8("\xED\xA0\x80", 3), u"\uFFFD\uFFFD\uFFFD");  // a surrogate
    EXPECT_EQ(Utf8("\xF4\x90\x80\x80", 4), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // past U+10FFFF
    EXPECT_EQ(Utf8("\xFF", 1), u"\uFFFD");
    // The limits that are valid.
    EXPECT_EQ(Utf8("\xED\x9F\xBF", 3), u"\uD7FF");
    EXPECT_EQ(Utf8("\xF4\x8F\xBF\xBF", 4), u"\U0010FFFF");
    EXPECT_EQ(Utf8("\xE0\xA0\x80", 3), u"\u0800");

    // With the strict flag the same inputs fail.
    SetLastError(0);
    EXPECT_EQ(Utf8("a\xE2\x82", 3, MB_ERR_INVALID_CHARS, &n), u"");
    EXPECT_EQ(n, 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    // A NUL-terminated text with a cut-short sequence before the terminator.
    EXPECT_EQ(Utf8("a\xE2\x82", -1), (std::u16string{u'a', 0xFFFD, 0}));
}
