// Safe arrays: descriptors, element layout, locking, element ownership,
// resizing, deep copies and size limits.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <cstdint>
#include <utility>

#include "test_objects.h"

using platform_test::CountedObject;
using platform_test::Text;
using platform_test::Var;

namespace {

using Range = std::pair<LONG, LONG>;

// The lower and upper bound of dimension dim (1 is the leftmost), or a marker on failure.
Range Bounds(SAFEARRAY* psa, UINT dim) {
    LONG lo = -999, hi = -999;
    EXPECT_EQ(SafeArrayGetLBound(psa, dim, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, dim, &hi), S_OK);
    return {lo, hi};
}

}  // namespace

TEST(SafeArray, CreateDescribesTheArray) {
    SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, -2}};  // leftmost dimension first
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 2u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
    // Stored last dimension first.
    EXPECT_EQ(psa->rgsabound[0].cElements, 4u);
    EXPECT_EQ(psa->rgsabound[1].cElements, 3u);
    EXPECT_NE(psa->fFeatures & FADF_HAVEVARTYPE, 0);
    EXPECT_EQ(Bounds(psa, 1), (Range{1, 3}));
    EXPECT_EQ(Bounds(psa, 2), (Range{-2, 1}));
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetUBound(psa, 0, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(psa, 3, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, nullptr), E_INVALIDARG);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
    const auto* data = static_cast<const LONG*>(psa->pvData);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(data[i], 0) << i;
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

    const struct { VARTYPE vt; USHORT flag; ULONG size; } kinds[] = {
        {VT_BSTR, FADF_BSTR, sizeof(BSTR)},         {VT_VARIANT, FADF_VARIANT, sizeof(VARIANT)},
        {VT_UNKNOWN, FADF_UNKNOWN, sizeof(void*)}, {VT_DISPATCH, FADF_DISPATCH, sizeof(void*)},
        {VT_UI1, 0, 1},                             {VT_BOOL, 0, 2},
        {VT_R8, 0, 8},                              {VT_DECIMAL, 0, sizeof(DECIMAL)},
    };
    for (const auto& k : kinds) {
        SAFEARRAY* v = SafeArrayCreateVector(k.vt, 0, 2);
        ASSERT_NE(v, nullptr) << k.vt;
        EXPECT_EQ(v->fFeatures, FADF_HAVEVARTYPE | k.flag) << k.vt;
        EXPECT_EQ(v->cbElements, k.size) << k.vt;
        EXPECT_EQ(SafeArrayGetVartype(v, &vt), S_OK);
        EXPECT_EQ(vt, k.vt);
        SafeArrayDestroy(v);
    }
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    EXPECT_EQ(SafeArrayGetElemsize(nullptr), 0u);
}

TEST(SafeArray, UnsupportedTypesAndOversizedArraysAreNotCreated) {
    SAFEARRAYBOUND one = {1, 0};
    for (VARTYPE vt : {VARTYPE(VT_EMPTY), VARTYPE(VT_NULL), VARTYPE(VT_I4 | VT_BYREF), VARTYPE(VT_I4 | VT_ARRAY), VARTYPE(VT_VOID), VARTYPE(VT_LPSTR),
                       VARTYPE(15)}) {
        EXPECT_EQ(SafeArrayCreate(vt, 1, &one), nullptr) << vt;
        EXPECT_EQ(SafeArrayCreateVector(vt, 0, 1), nullptr) << vt;
    }
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &one), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
    // Byte sizes that would wrap a 64-bit product.
    SAFEARRAYBOUND huge[3] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 3, huge), nullptr);
    SAFEARRAYBOUND wraps[2] = {{0x80000000u, 0}, {0x80000000u, 0}};  // 2^62 elements of 8 bytes
    EXPECT_EQ(SafeArrayCreate(VT_R8, 2, wraps), nullptr);
    // An empty dimension is a valid, empty array.
    SAFEARRAY* empty = SafeArrayCreateVector(VT_I4, 5, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(Bounds(empty, 1), (Range{5, 4}));
    LONG idx = 5;
    void* p = nullptr;
    EXPECT_EQ(SafeArrayPtrOfIndex(empty, &idx, &p), DISP_E_BADINDEX);
    SafeArrayDestroy(empty);
}

TEST(SafeArray, LockingPinsTheArray) {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I2, 0, 4);
    EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayUnlock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);

    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(data, psa->pvData);
    EXPECT_EQ(psa->cLocks, 1u);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    SAFEARRAYBOUND bigger = {8, 0};
    EXPECT_EQ(SafeArrayRedim(psa, &bigger), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(psa->rgsabound[0].cElements, 4u);
    // Elements stay readable and writable while locked.
    LONG idx = 3;
    SHORT value = 9;
    EXPECT_EQ(SafeArrayPutElement(psa, &idx, &value), S_OK);
    EXPECT_EQ(static_cast<SHORT*>(data)[3], 9);
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayAccessData(nullptr, &data), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, IndicesRunLeftmostFirstAndLeftmostVariesFastest) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 10}};
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    for (LONG i = 0; i < 2; ++i) {
        for (LONG j = 10; j < 13; ++j) {
            LONG idx[2] = {i, j};
            LONG value = i * 100 + j;
            ASSERT_EQ(SafeArrayPutElement(psa, idx, &value), S_OK);
        }
    }
    const auto* data = static_cast<const LONG*>(psa->pvData);
    for (LONG i = 0; i < 2; ++i) {
        for (LONG j = 10; j < 13; ++j) {
            EXPECT_EQ(data[i + 2 * (j - 10)], i * 100 + j);
            LONG idx[2] = {i, j};
            void* p = nullptr;
            ASSERT_EQ(SafeArrayPtrOfIndex(psa, idx, &p), S_OK);
            EXPECT_EQ(p, &data[i + 2 * (j - 10)]);
            LONG got = -1;
            ASSERT_EQ(SafeArrayGetElement(psa, idx, &got), S_OK);
            EXPECT_EQ(got, i * 100 + j);
        }
    }
    EXPECT_EQ(psa->cLocks, 0u);  // element access does not leave locks behind
    const LONG outside[][2] = {{-1, 10}, {2, 10}, {0, 9}, {0, 13}, {INT32_MIN, 10}, {0, INT32_MAX}};
    for (const auto& o : outside) {
        LONG idx[2] = {o[0], o[1]};
        void* p = nullptr;
        LONG got = 0;
        EXPECT_EQ(SafeArrayPtrOfIndex(psa, idx, &p), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayGetElement(psa, idx, &got), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPutElement(psa, idx, &got), DISP_E_BADINDEX);
    }
    LONG idx[2] = {0, 10};
    void* p = nullptr;
    EXPECT_EQ(SafeArrayPtrOfIndex(psa, nullptr, &p), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(psa, idx, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(psa, idx, nullptr), E_INVALIDARG);
    SafeArrayDestroy(psa);
}

TEST(SafeArray, StringInterfaceAndVariantElementsAreCopiedAndReleased) {
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i = 0;
    BSTR in = SysAllocString(u"first");
    ASSERT_EQ(SafeArrayPutElement(strings, &i, in), S_OK);
    EXPECT_NE(static_cast<BSTR*>(strings->pvData)[0], in);
    SysFreeString(in);
    in = SysAllocString(u"second");
    ASSERT_EQ(SafeArrayPutElement(strings, &i, in), S_OK);  // the first copy is freed
    SysFreeString(in);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &i, &out), S_OK);
    EXPECT_EQ(Text(out), u"second");
    EXPECT_NE(out, static_cast<BSTR*>(strings->pvData)[0]);
    SysFreeString(out);
    ASSERT_EQ(SafeArrayPutElement(strings, &i, nullptr), S_OK);  // NULL is the empty string
    EXPECT_EQ(static_cast<BSTR*>(strings->pvData)[0], nullptr);
    OLECHAR junk[] = u"junk";
    out = junk;  // whatever the caller's variable held is overwritten
    ASSERT_EQ(SafeArrayGetElement(strings, &i, &out), S_OK);
    EXPECT_EQ(out, nullptr);
    SafeArrayDestroy(strings);

    CountedObject object;
    SAFEARRAY* objects = SafeArrayCreateVector(VT_UNKNOWN, 0, 3);
    for (i = 0; i < 3; ++i) ASSERT_EQ(SafeArrayPutElement(objects, &i, static_cast<IUnknown*>(&object)), S_OK);
    EXPECT_EQ(object.refs(), 4u);
    IUnknown* got = nullptr;
    i = 1;
    ASSERT_EQ(SafeArrayGetElement(objects, &i, &got), S_OK);
    EXPECT_EQ(object.refs(), 5u);
    got->Release();
    ASSERT_EQ(SafeArrayPutElement(objects, &i, nullptr), S_OK);
    EXPECT_EQ(object.refs(), 3u);
    SafeArrayDestroy(objects);
    EXPECT_EQ(object.refs(), 1u);

    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT v = Var(VT_BSTR, SysAllocString(u"in a variant"));
    i = 0;
    ASSERT_EQ(SafeArrayPutElement(variants, &i, &v), S_OK);
    VariantClear(&v);
    VARIANT back;
    ASSERT_EQ(SafeArrayGetElement(variants, &i, &back), S_OK);
    EXPECT_EQ(back.vt, VT_BSTR);
    EXPECT_EQ(Text(back.bstrVal), u"in a variant");
    VariantClear(&back);
    SafeArrayDestroy(variants);
}

TEST(SafeArray, RedimChangesTheLastDimensionKeepingContents) {
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 1, 3);
    for (LONG i = 1; i <= 3; ++i) {
        BSTR s = SysAllocStringLen(u"abc", static_cast<UINT>(i));
        SafeArrayPutElement(strings, &i, s);
        SysFreeString(s);
    }
    SAFEARRAYBOUND grow = {5, 1};
    ASSERT_EQ(SafeArrayRedim(strings, &grow), S_OK);
    auto* data = static_cast<BSTR*>(strings->pvData);
    EXPECT_EQ(Text(data[2]), u"abc");
    EXPECT_EQ(data[3], nullptr);
    EXPECT_EQ(data[4], nullptr);
    SAFEARRAYBOUND shrink = {1, 0};  // dropped strings are freed (a leak fails the sanitizer build)
    ASSERT_EQ(SafeArrayRedim(strings, &shrink), S_OK);
    EXPECT_EQ(Bounds(strings, 1), (Range{0, 0}));
    EXPECT_EQ(Text(static_cast<BSTR*>(strings->pvData)[0]), u"a");
    SafeArrayDestroy(strings);

    // In two dimensions only the last one changes and whole columns survive.
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    SAFEARRAY* grid = SafeArrayCreate(VT_I4, 2, bounds);
    for (LONG k = 0; k < 4; ++k) static_cast<LONG*>(grid->pvData)[k] = k + 1;
    SAFEARRAYBOUND three = {3, 0};
    ASSERT_EQ(SafeArrayRedim(grid, &three), S_OK);
    const auto* cells = static_cast<const LONG*>(grid->pvData);
    EXPECT_EQ(cells[3], 4);
    EXPECT_EQ(cells[4], 0);
    EXPECT_EQ(cells[5], 0);
    EXPECT_EQ(Bounds(grid, 1), (Range{0, 1}));
    EXPECT_EQ(Bounds(grid, 2), (Range{0, 2}));

    grid->fFeatures |= FADF_FIXEDSIZE;
    EXPECT_TRUE(FAILED(SafeArrayRedim(grid, &bounds[0])));
    EXPECT_EQ(grid->rgsabound[0].cElements, 3u);
    grid->fFeatures &= ~FADF_FIXEDSIZE;
    EXPECT_EQ(SafeArrayRedim(grid, nullptr), E_INVALIDARG);
    SafeArrayDestroy(grid);
}

TEST(SafeArray, CopyIsDeep) {
    SAFEARRAYBOUND bounds[2] = {{2, 3}, {1, -1}};
    SAFEARRAY* strings = SafeArrayCreate(VT_BSTR, 2, bounds);
    LONG idx[2] = {4, -1};
    BSTR s = SysAllocString(u"copied");
    SafeArrayPutElement(strings, idx, s);
    SysFreeString(s);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(strings, &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(SafeArrayGetDim(copy), 2u);
    EXPECT_EQ(Bounds(copy, 1), (Range{3, 4}));
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    BSTR a = static_cast<BSTR*>(strings->pvData)[1];
    BSTR b = static_cast<BSTR*>(copy->pvData)[1];
    EXPECT_NE(a, b);
    EXPECT_EQ(Text(b), u"copied");
    SafeArrayDestroy(strings);
    EXPECT_EQ(Text(static_cast<BSTR*>(copy->pvData)[1]), u"copied");  // outlives the original
    SafeArrayDestroy(copy);

    CountedObject object;
    SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
    LONG i = 0;
    SafeArrayPutElement(objects, &i, static_cast<IDispatch*>(&object));
    ASSERT_EQ(SafeArrayCopy(objects, &copy), S_OK);
    EXPECT_EQ(object.refs(), 3u);
    SafeArrayDestroy(copy);
    SafeArrayDestroy(objects);
    EXPECT_EQ(object.refs(), 1u);
    EXPECT_EQ(SafeArrayCopy(nullptr, nullptr), E_INVALIDARG);
}

TEST(SafeArray, CallerBuiltDescriptorsAreUsableButNotFreed) {
    // A descriptor the caller owns, over data the caller owns.
    BSTR slots[2] = {SysAllocString(u"static"), nullptr};
    SAFEARRAY fixed = {};
    fixed.cDims = 1;
    fixed.fFeatures = FADF_STATIC | FADF_FIXEDSIZE | FADF_BSTR;
    fixed.cbElements = sizeof(BSTR);
    fixed.pvData = slots;
    fixed.rgsabound[0] = {2, 0};
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(&fixed, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    LONG i = 0;
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(&fixed, &i, &out), S_OK);
    EXPECT_EQ(Text(out), u"static");
    SysFreeString(out);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(&fixed, &copy), S_OK);
    EXPECT_EQ(copy->fFeatures & FADF_STATIC, 0);  // the copy owns its data
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    SAFEARRAYBOUND two = {4, 0};
    EXPECT_TRUE(FAILED(SafeArrayRedim(&fixed, &two)));
    SysFreeString(slots[0]);
}
