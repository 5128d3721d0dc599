// VARIANT lifetime: what VariantClear releases, how deep VariantCopy goes and
// how VariantCopyInd follows references.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include "test_objects.h"

using platform_test::CountedObject;
using platform_test::Text;
using platform_test::Str;
using platform_test::Var;

TEST(Variant, ClearReleasesWhatTheValueOwns) {
    VARIANT s = Str(u"owned");  // a leak here would fail the sanitizer build
    EXPECT_EQ(VariantClear(&s), S_OK);
    EXPECT_EQ(s.vt, VT_EMPTY);

    CountedObject object;
    VARIANT u = Var(VT_UNKNOWN, &object);
    object.AddRef();
    EXPECT_EQ(VariantClear(&u), S_OK);
    EXPECT_EQ(object.refs(), 1u);

    VARIANT a = Var(VT_ARRAY | VT_BSTR, SafeArrayCreateVector(VT_BSTR, 0, 2));
    LONG i = 1;
    BSTR element = SysAllocString(u"x");
    ASSERT_EQ(SafeArrayPutElement(a.parray, &i, element), S_OK);  // the array keeps its own copy
    SysFreeString(element);
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(a.vt, VT_EMPTY);

    // A reference owns nothing: the referenced string stays alive.
    BSTR target = SysAllocString(u"referenced");
    VARIANT r = Var(VT_BSTR | VT_BYREF, &target);
    EXPECT_EQ(VariantClear(&r), S_OK);
    EXPECT_EQ(Text(target), u"referenced");
    SysFreeString(target);
}

TEST(Variant, ClearRefusesBadTagsAndLockedArraysLeavingTheVariant) {
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    for (VARTYPE bad : {VARTYPE(15), VARTYPE(VT_VARIANT), VARTYPE(VT_EMPTY | VT_BYREF), VARTYPE(VT_NULL | VT_ARRAY),
                        VARTYPE(VT_I4 | VT_VECTOR), VARTYPE(VT_LPWSTR), VARTYPE(0x0FFF)}) {
        VARIANT v;
        v.vt = bad;
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << bad;
        EXPECT_EQ(v.vt, bad);
    }
    VARIANT a = Var(VT_ARRAY | VT_I4, SafeArrayCreateVector(VT_I4, 0, 3));
    ASSERT_EQ(SafeArrayLock(a.parray), S_OK);
    EXPECT_EQ(VariantClear(&a), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(a.vt, VT_ARRAY | VT_I4);
    ASSERT_EQ(SafeArrayUnlock(a.parray), S_OK);
    EXPECT_EQ(VariantClear(&a), S_OK);
}

TEST(Variant, CopyIsDeepExceptForReferences) {
    // An odd byte length must survive the copy.
    VARIANT src = Var(VT_BSTR, SysAllocStringByteLen("abc", 3));
    VARIANT dst = Str(u"old value, freed by the copy");
    ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
    EXPECT_EQ(dst.vt, VT_BSTR);
    EXPECT_NE(dst.bstrVal, src.bstrVal);
    EXPECT_EQ(SysStringByteLen(dst.bstrVal), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dst.bstrVal), 3), "abc");
    VariantClear(&dst);

    // Onto itself: nothing changes, nothing is freed.
    EXPECT_EQ(VariantCopy(&src, &src), S_OK);
    EXPECT_EQ(SysStringByteLen(src.bstrVal), 3u);
    VariantClear(&src);

    CountedObject object;
    VARIANT obj = Var(VT_DISPATCH, &object);
    VARIANT objCopy;
    VariantInit(&objCopy);
    ASSERT_EQ(VariantCopy(&objCopy, &obj), S_OK);
    EXPECT_EQ(object.refs(), 2u);
    VariantClear(&objCopy);
    EXPECT_EQ(object.refs(), 1u);

    VARIANT arr = Var(VT_ARRAY | VT_I4, SafeArrayCreateVector(VT_I4, 5, 2));
    LONG idx = 6, value = 77;
    SafeArrayPutElement(arr.parray, &idx, &value);
    VARIANT arrCopy;
    VariantInit(&arrCopy);
    ASSERT_EQ(VariantCopy(&arrCopy, &arr), S_OK);
    ASSERT_NE(arrCopy.parray, arr.parray);
    LONG got = 0;
    EXPECT_EQ(SafeArrayGetElement(arrCopy.parray, &idx, &got), S_OK);
    EXPECT_EQ(got, 77);
    VariantClear(&arrCopy);
    VariantClear(&arr);

    LONG referenced = 5;
    VARIANT ref = Var(VT_I4 | VT_BYREF, &referenced);
    VARIANT refCopy;
    VariantInit(&refCopy);
    ASSERT_EQ(VariantCopy(&refCopy, &ref), S_OK);
    EXPECT_EQ(refCopy.vt, VT_I4 | VT_BYREF);
    EXPECT_EQ(refCopy.plVal, &referenced);

    VARIANT bad;
    bad.vt = 15;
    EXPECT_EQ(VariantCopy(&refCopy, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(nullptr, &ref), E_INVALIDARG);
    EXPECT_EQ(VariantCopy(&refCopy, nullptr), E_INVALIDARG);
}

TEST(Variant, CopyIndReplacesReferencesByValues) {
    LONG number = 42;
    VARIANT ref = Var(VT_I4 | VT_BYREF, &number);
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 42);

    BSTR text = SysAllocString(u"by reference");
    VARIANT sref = Var(VT_BSTR | VT_BYREF, &text);
    ASSERT_EQ(VariantCopyInd(&out, &sref), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR);
    EXPECT_NE(out.bstrVal, text);
    EXPECT_EQ(Text(out.bstrVal), u"by reference");

    VARIANT inner = Str(u"inner");
    VARIANT vref = Var(VT_VARIANT | VT_BYREF, &inner);
    ASSERT_EQ(VariantCopyInd(&out, &vref), S_OK);
    EXPECT_EQ(Text(out.bstrVal), u"inner");
    EXPECT_NE(out.bstrVal, inner.bstrVal);

    // In place: the reference itself becomes the value.
    VARIANT inPlace = sref;
    ASSERT_EQ(VariantCopyInd(&inPlace, &inPlace), S_OK);
    EXPECT_EQ(inPlace.vt, VT_BSTR);
    EXPECT_EQ(Text(inPlace.bstrVal), u"by reference");
    VariantClear(&inPlace);

    // A reference to a reference is refused; the destination is kept.
    VARIANT nested = Var(VT_VARIANT | VT_BYREF, &ref);
    EXPECT_EQ(VariantCopyInd(&out, &nested), E_INVALIDARG);
    EXPECT_EQ(Text(out.bstrVal), u"inner");

    VariantClear(&out);
    VariantClear(&inner);
    SysFreeString(text);
}
