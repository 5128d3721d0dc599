// Variant coercion: rounding, ranges, booleans, text in both directions,
// references, objects, in-place conversion and misuse.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "test_objects.h"

using platform_test::CountedObject;
using platform_test::Text;
using platform_test::I4;
using platform_test::R4;
using platform_test::R8;
using platform_test::Str;
using platform_test::Var;

namespace {

VARIANT Cy(LONGLONG units) {  // in ten-thousandths
    VARIANT v;
    v.vt = VT_CY;
    v.cyVal.int64 = units;
    return v;
}

// Converts and returns the status; the result (if any) goes to *out.
HRESULT Convert(const VARIANT& src, VARTYPE vt, VARIANT* out, USHORT flags = 0) {
    VariantInit(out);
    return VariantChangeType(out, &src, flags, vt);
}

// Converts text, freeing the source string.
HRESULT ConvertText(const char16_t* text, VARTYPE vt, VARIANT* out) {
    VARIANT s = Str(text);
    const HRESULT hr = Convert(s, vt, out);
    VariantClear(&s);
    return hr;
}

// The text a value converts to, or "<error>".
std::u16string AsText(const VARIANT& src, USHORT flags = 0) {
    VARIANT out;
    if (FAILED(Convert(src, VT_BSTR, &out, flags))) return u"<error>";
    std::u16string text = Text(out.bstrVal);
    VariantClear(&out);
    return text;
}

LONG AsI4(const VARIANT& src, HRESULT* hr) {
    VARIANT out;
    *hr = Convert(src, VT_I4, &out);
    return SUCCEEDED(*hr) ? out.lVal : 0;
}

}  // namespace

TEST(ChangeType, FloatToIntegerRoundsHalfToEven) {
    const struct { double in; LONG out; } cases[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2}, {2.4999, 2}, {-0.0, 0}, {-0.4, 0}, {2.6, 3},
    };
    for (const auto& c : cases) {
        HRESULT hr;
        EXPECT_EQ(AsI4(R8(c.in), &hr), c.out) << c.in;
        EXPECT_EQ(hr, S_OK) << c.in;
    }
    VARIANT out;
    ASSERT_EQ(Convert(R4(2.5f), VT_I2, &out), S_OK);
    EXPECT_EQ(out.iVal, 2);

    // Currency and text round the same way.
    HRESULT hr;
    EXPECT_EQ(AsI4(Cy(35000), &hr), 4);
    EXPECT_EQ(AsI4(Cy(-25000), &hr), -2);
    ASSERT_EQ(ConvertText(u"2.5", VT_I4, &out), S_OK);
    EXPECT_EQ(out.lVal, 2);
}

TEST(ChangeType, ValuesOutsideTheTargetOverflow) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct { VARIANT in; VARTYPE vt; } overflow[] = {
        {R8(127.5), VT_I1},         {R8(255.5), VT_UI1},        {R8(2147483647.5), VT_I4}, {R8(nan), VT_I4},
        {R8(inf), VT_I8},           {R8(-inf), VT_UI2},         {R8(1e300), VT_I8},        {R8(9.3e18), VT_I8},
        {R8(-1.0), VT_UI4},         {I4(-1), VT_UI1},           {I4(40000), VT_I2},        {I4(256), VT_UI1},
        {R8(1e39), VT_R4},          {R8(inf), VT_R4},           {R8(nan), VT_CY},          {R8(1e15), VT_CY},
        {R8(2958466.0), VT_DATE},   {R8(-657435.0), VT_DATE},   {R8(nan), VT_DATE},
    };
    for (const auto& c : overflow) {
        VARIANT out;
        EXPECT_EQ(Convert(c.in, c.vt, &out), DISP_E_OVERFLOW) << c.in.dblVal << " to " << c.vt;
    }
    VARIANT out;
    ASSERT_EQ(Convert(R8(-2147483648.5), VT_I4, &out), S_OK);  // rounds to the even limit
    EXPECT_EQ(out.lVal, INT32_MIN);
    ASSERT_EQ(Convert(R8(nan), VT_R4, &out), S_OK);  // NaN stays NaN in floats
    EXPECT_TRUE(std::isnan(out.fltVal));
    ASSERT_EQ(Convert(R8(2958465.5), VT_DATE, &out), S_OK);

    VARIANT big;
    big.vt = VT_UI8;
    big.ullVal = UINT64_MAX;
    EXPECT_EQ(Convert(big, VT_I8, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(Convert(big, VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, 18446744073709551616.0);
}

TEST(ChangeType, BooleansAreMinusOneAndZero) {
    VARIANT out;
    ASSERT_EQ(Convert(I4(5), VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(Convert(R8(0.0), VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    ASSERT_EQ(Convert(R8(0.001), VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);

    VARIANT t = Var(VT_BOOL, nullptr);
    t.boolVal = VARIANT_TRUE;
    HRESULT hr;
    EXPECT_EQ(AsI4(t, &hr), -1);
    ASSERT_EQ(Convert(t, VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, -1.0);
    EXPECT_EQ(AsText(t), u"-1");
    EXPECT_EQ(AsText(t, VARIANT_ALPHABOOL), u"True");
    t.boolVal = VARIANT_FALSE;
    EXPECT_EQ(AsText(t), u"0");
    EXPECT_EQ(AsText(t, VARIANT_ALPHABOOL), u"False");

    const struct { const char16_t* text; HRESULT hr; VARIANT_BOOL value; } words[] = {
        {u"True", S_OK, VARIANT_TRUE},   {u"false", S_OK, VARIANT_FALSE}, {u"  TRUE ", S_OK, VARIANT_TRUE},
        {u"#FALSE#", S_OK, VARIANT_FALSE}, {u"1", S_OK, VARIANT_TRUE},   {u"0", S_OK, VARIANT_FALSE},
        {u"-2.5", S_OK, VARIANT_TRUE},   {u"yes", DISP_E_TYPEMISMATCH, 0}, {u"", DISP_E_TYPEMISMATCH, 0},
    };
    for (const auto& w : words) {
        EXPECT_EQ(ConvertText(w.text, VT_BOOL, &out), w.hr) << "case " << (&w - words);
        if (w.hr == S_OK) {
            EXPECT_EQ(out.boolVal, w.value);
        }
    }
}

TEST(ChangeType, TextParsesAsEnglishNumbers) {
    const struct { const char16_t* text; HRESULT hr; LONG value; } cases[] = {
        {u" 42 ", S_OK, 42},        {u"-7", S_OK, -7},          {u"+8", S_OK, 8},
        {u"1,234", S_OK, 1234},     {u"1.5e3", S_OK, 1500},     {u"&HFF", S_OK, 255},
        {u"(5)", S_OK, -5},         {u"3.5", S_OK, 4},          {u".5", S_OK, 0},
        {u"abc", DISP_E_TYPEMISMATCH, 0}, {u"", DISP_E_TYPEMISMATCH, 0},   {u"1.2.3", DISP_E_TYPEMISMATCH, 0},
        {u"12abc", DISP_E_TYPEMISMATCH, 0}, {u"1e", DISP_E_TYPEMISMATCH, 0}, {u"3000000000", DISP_E_OVERFLOW, 0},
    };
    for (const auto& c : cases) {
        VARIANT s = Str(c.text);
        HRESULT hr;
        const LONG value = AsI4(s, &hr);
        EXPECT_EQ(hr, c.hr) << "case " << (&c - cases);
        if (c.hr == S_OK) {
            EXPECT_EQ(value, c.value) << "case " << (&c - cases);
        }
        VariantClear(&s);
    }

    VARIANT out;
    ASSERT_EQ(ConvertText(u"9223372036854775807", VT_I8, &out), S_OK);  // exact, not through a double
    EXPECT_EQ(out.llVal, INT64_MAX);
    ASSERT_EQ(ConvertText(u"18446744073709551615", VT_UI8, &out), S_OK);
    EXPECT_EQ(out.ullVal, UINT64_MAX);
    EXPECT_EQ(ConvertText(u"18446744073709551615", VT_I8, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(ConvertText(u"&HFFFF", VT_I2, &out), S_OK);  // a bit pattern: fills a signed 16-bit target
    EXPECT_EQ(out.iVal, -1);
    ASSERT_EQ(ConvertText(u"0.1", VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, 0.1);
    EXPECT_EQ(ConvertText(u"1e400", VT_R8, &out), DISP_E_OVERFLOW);
    ASSERT_EQ(ConvertText(u"12345.67895", VT_CY, &out), S_OK);  // 4 decimals, the tie goes to even
    EXPECT_EQ(out.cyVal.int64, 123456790);
}

TEST(ChangeType, NumbersFormatInTheirShortestForm) {
    EXPECT_EQ(AsText(R4(1.5f)), u"1.5");
    EXPECT_EQ(AsText(R4(0.1f)), u"0.1");
    EXPECT_EQ(AsText(I4(-7)), u"-7");
    EXPECT_EQ(AsText(R8(0.1)), u"0.1");
    EXPECT_EQ(AsText(R8(1.0 / 3.0)), u"0.333333333333333");
    EXPECT_EQ(AsText(R8(2.0 / 3.0)), u"0.666666666666667");
    EXPECT_EQ(AsText(R8(1e15)), u"1E+15");
    EXPECT_EQ(AsText(R8(123456789012345678.0)), u"1.23456789012346E+17");
    EXPECT_EQ(AsText(R8(0.0199999997764826)), u"0.0199999997764826");
    EXPECT_EQ(AsText(R8(-1e-20)), u"-1E-20");
    EXPECT_EQ(AsText(R8(-0.0)), u"0");

    EXPECT_EQ(AsText(Cy(15000)), u"1.5");
    EXPECT_EQ(AsText(Cy(123456789)), u"12345.6789");
    EXPECT_EQ(AsText(Cy(-5000)), u"-0.5");
    EXPECT_EQ(AsText(Cy(INT64_MIN)), u"-922337203685477.5808");

    VARIANT u8;
    u8.vt = VT_UI8;
    u8.ullVal = UINT64_MAX;
    EXPECT_EQ(AsText(u8), u"18446744073709551615");

    // Non-finite values format without failing.
    EXPECT_NE(AsText(R8(std::numeric_limits<double>::quiet_NaN())), u"");
    EXPECT_NE(AsText(R8(-std::numeric_limits<double>::infinity())), u"");
}

TEST(ChangeType, EmptyIsZeroAndNullIsNothing) {
    VARIANT empty;
    VariantInit(&empty);
    VARIANT out;
    ASSERT_EQ(Convert(empty, VT_I4, &out), S_OK);
    EXPECT_EQ(out.lVal, 0);
    ASSERT_EQ(Convert(empty, VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, 0.0);
    ASSERT_EQ(Convert(empty, VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    ASSERT_EQ(Convert(empty, VT_BSTR, &out), S_OK);
    EXPECT_EQ(SysStringLen(out.bstrVal), 0u);
    VariantClear(&out);

    VARIANT null;
    null.vt = VT_NULL;
    for (VARTYPE vt : {VT_I2, VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_CY, VT_DATE, VT_UI1}) {
        EXPECT_EQ(Convert(null, vt, &out), DISP_E_TYPEMISMATCH) << vt;
    }
    ASSERT_EQ(Convert(null, VT_NULL, &out), S_OK);
    EXPECT_EQ(out.vt, VT_NULL);
    ASSERT_EQ(Convert(null, VT_EMPTY, &out), S_OK);
    EXPECT_EQ(out.vt, VT_EMPTY);
}

TEST(ChangeType, InPlaceConversionAndFailureKeepsTheDestination) {
    VARIANT v = Str(u"12");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);  // the old string is freed
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 12);

    v = Str(u"not a number");
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(Text(v.bstrVal), u"not a number");

    VARIANT dest = Str(u"replaced");
    ASSERT_EQ(VariantChangeType(&dest, &v, 0, VT_BSTR), S_OK);  // same type: a copy
    EXPECT_NE(dest.bstrVal, v.bstrVal);
    EXPECT_EQ(Text(dest.bstrVal), u"not a number");
    VariantClear(&dest);
    VariantClear(&v);

    // References are read through.
    LONG n = 9;
    VARIANT ref = Var(VT_I4 | VT_BYREF, &n);
    VARIANT out;
    ASSERT_EQ(Convert(ref, VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, 9.0);
    BSTR text = SysAllocString(u"3");
    VARIANT sref = Var(VT_BSTR | VT_BYREF, &text);
    ASSERT_EQ(Convert(sref, VT_UI1, &out), S_OK);
    EXPECT_EQ(out.bVal, 3);
    SysFreeString(text);
}

TEST(ChangeType, ObjectsConvertThroughInterfacesAndTheirValue) {
    CountedObject dispatchable(true, 42);
    VARIANT unk = Var(VT_UNKNOWN, &dispatchable);
    VARIANT out;
    ASSERT_EQ(Convert(unk, VT_DISPATCH, &out), S_OK);
    EXPECT_EQ(out.pdispVal, static_cast<IDispatch*>(&dispatchable));
    EXPECT_EQ(dispatchable.refs(), 2u);
    VariantClear(&out);
    EXPECT_EQ(dispatchable.refs(), 1u);

    CountedObject plain(false);
    unk.punkVal = &plain;
    EXPECT_EQ(Convert(unk, VT_DISPATCH, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(plain.refs(), 1u);
    EXPECT_EQ(Convert(unk, VT_I4, &out), DISP_E_TYPEMISMATCH);

    VARIANT disp = Var(VT_DISPATCH, &dispatchable);
    HRESULT hr;
    EXPECT_EQ(AsI4(disp, &hr), 42);  // the value property
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(AsText(disp), u"42");
    EXPECT_EQ(Convert(disp, VT_I4, &out, VARIANT_NOVALUEPROP), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(dispatchable.refs(), 1u);

    EXPECT_EQ(Convert(I4(1), VT_DISPATCH, &out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Convert(I4(1), VT_UNKNOWN, &out), DISP_E_TYPEMISMATCH);
}

TEST(ChangeType, MisuseIsRefused) {
    VARIANT out;
    VariantInit(&out);
    VARIANT src = I4(1);
    EXPECT_EQ(VariantChangeType(nullptr, &src, 0, VT_I4), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(&out, nullptr, 0, VT_I4), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(&out, &src, 0, 15), DISP_E_BADVARTYPE);
    VARIANT bad;
    bad.vt = 0x7F;
    EXPECT_EQ(VariantChangeType(&out, &bad, 0, VT_I4), DISP_E_BADVARTYPE);
    VARIANT arr = Var(VT_ARRAY | VT_I4, SafeArrayCreateVector(VT_I4, 0, 1));
    EXPECT_EQ(VariantChangeType(&out, &arr, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&out, &arr, 0, VT_ARRAY | VT_R8), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(VariantChangeType(&out, &arr, 0, VT_ARRAY | VT_I4), S_OK);
    EXPECT_NE(out.parray, arr.parray);
    VariantClear(&out);
    VariantClear(&arr);
    EXPECT_EQ(out.vt, VT_EMPTY);
    EXPECT_EQ(VariantChangeTypeEx(&out, &src, 1033, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, 1.0);
}

TEST(ChangeType, EveryTypePairIsHandledWithoutHarm) {
    // Sources covering each shape, awkward values included; every conversion
    // must either succeed with the requested tag or fail leaving `out` alone.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    CountedObject object(true, 7);
    std::vector<VARIANT> sources;
    for (double d : {0.0, -0.0, 0.5, -1.5, 1e308, -1e308, 4e-320, nan, inf, -inf, 9.2233720368547758e18}) {
        sources.push_back(R8(d));
        // Out-of-range doubles become infinities: a float cast would be undefined.
        sources.push_back(R4(std::fabs(d) > 3.4e38 ? static_cast<float>(std::copysign(inf, d)) : static_cast<float>(d)));
        sources.push_back(R8(d));
        sources.back().vt = VT_DATE;
    }
    for (LONGLONG n : {LONGLONG{0}, LONGLONG{-1}, LONGLONG{INT64_MIN}, LONGLONG{INT64_MAX}}) {
        VARIANT v;
        v.vt = VT_I8;
        v.llVal = n;
        sources.push_back(v);
        v.vt = VT_CY;
        v.cyVal.int64 = n;
        sources.push_back(v);
        v.vt = VT_UI8;
        sources.push_back(v);
    }
    for (VARTYPE vt : {VT_EMPTY, VT_NULL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_BOOL,
                       VT_ERROR}) {
        VARIANT v;
        std::memset(&v, 0xFF, sizeof(v));
        v.vt = vt;
        sources.push_back(v);
    }
    VARIANT dec;
    std::memset(&dec, 0, sizeof(dec));
    dec.decVal.Hi32 = 0xFFFFFFFF;
    dec.decVal.Lo64 = ~0ull;
    dec.decVal.scale = 28;
    dec.decVal.sign = 0x80;
    dec.vt = VT_DECIMAL;
    sources.push_back(dec);
    dec.decVal.scale = 0;
    sources.push_back(dec);
    dec.decVal.scale = 29;  // malformed
    sources.push_back(dec);
    const char16_t* texts[] = {u"", u"  ", u"1e99999", u"-1e-99999", u"&H", u"&HFFFFFFFFFFFFFFFFF", u"(-1)", u"$1,000.50",
                               u"1-", u"99999999999999999999999999999999999999999", u"0.00005", u"True", u"é"};
    for (const char16_t* t : texts) sources.push_back(Str(t));
    VARIANT obj = Var(VT_DISPATCH, &object);
    sources.push_back(obj);
    obj.vt = VT_UNKNOWN;
    obj.punkVal = nullptr;
    sources.push_back(obj);

    for (const VARIANT& src : sources) {
        for (VARTYPE vt = 0; vt < 0x30; ++vt) {
            for (VARTYPE extra : {VARTYPE(0), VARTYPE(VT_BYREF), VARTYPE(VT_ARRAY)}) {
                VARIANT out = I4(12345);
                const HRESULT hr = VariantChangeType(&out, &src, 0, vt | extra);
                if (SUCCEEDED(hr)) {
                    EXPECT_EQ(out.vt, vt | extra);
                    VariantClear(&out);
                } else {
                    EXPECT_EQ(out.vt, VT_I4);
                    EXPECT_EQ(out.lVal, 12345);
                }
            }
        }
        // And through a reference to the same value.
        VARIANT ref = Var(VT_VARIANT | VT_BYREF, const_cast<VARIANT*>(&src));
        VARIANT out;
        VariantInit(&out);
        if (SUCCEEDED(VariantChangeType(&out, &ref, VARIANT_ALPHABOOL, VT_BSTR))) VariantClear(&out);
    }
    for (VARIANT& src : sources) {
        if (src.vt == VT_BSTR) VariantClear(&src);
    }
    EXPECT_EQ(object.refs(), 1u);
}
