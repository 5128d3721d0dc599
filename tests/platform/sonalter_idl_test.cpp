// The component's own IDL through idlc.py: the generated header compiles into this test, its
// vtable order matches the type library's FUNCDESC offsets, and the library describes the
// component's interfaces, enums and classes.
#include <gtest/gtest.h>

#include "QelvSonalter2.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Vtable slot of a virtual member function, read from its pointer-to-member (Itanium C++ ABI:
// the pointer holds the vtable offset, plus 1 on x86-64; AArch64 flags virtual in the adjustment).
template <typename Pmf>
int Slot(Pmf pmf) {
    struct {
        uintptr_t ptr;
        ptrdiff_t adj;
    } raw;
    static_assert(sizeof(pmf) == sizeof(raw));
    std::memcpy(&raw, &pmf, sizeof(raw));
#if defined(__aarch64__)
    return static_cast<int>(raw.ptr / sizeof(void*));
#else
    return static_cast<int>((raw.ptr - 1) / sizeof(void*));
#endif
}

class SonalterLibrary : public testing::Test {
protected:
    void SetUp() override {
        const std::string path = QELV_SONALTER_TLB;
        ASSERT_EQ(S_OK, LoadTypeLibEx(std::u16string(path.begin(), path.end()).c_str(), REGKIND_NONE, &lib_));
    }
    void TearDown() override {
        if (lib_) lib_->Release();
    }
    // oVft of the function with this name and kind in the interface view of iid.
    int Offset(REFIID iid, const char16_t* name, INVOKEKIND kind) {
        ITypeInfo* dispatch = nullptr;
        ITypeInfo* iface = nullptr;
        HREFTYPE href;
        if (FAILED(lib_->GetTypeInfoOfGuid(iid, &dispatch))) return -1;
        dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &href);
        dispatch->GetRefTypeInfo(href, &iface);
        dispatch->Release();
        int offset = -1;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        MEMBERID memid;
        if (iface && SUCCEEDED(iface->GetIDsOfNames(names, 1, &memid))) {
            TYPEATTR* attr = nullptr;
            iface->GetTypeAttr(&attr);
            for (UINT i = 0; i < attr->cFuncs; ++i) {
                FUNCDESC* fd = nullptr;
                iface->GetFuncDesc(i, &fd);
                if (fd->memid == memid && fd->invkind == kind) offset = fd->oVft;
                iface->ReleaseFuncDesc(fd);
            }
            iface->ReleaseTypeAttr(attr);
        }
        if (iface) iface->Release();
        return offset;
    }
    ITypeLib* lib_ = nullptr;
};

TEST_F(SonalterLibrary, HeaderVtableMatchesTheTypeLibrary) {
    const int ptr = sizeof(void*);
    EXPECT_EQ(7, Slot(&ISonalter2::GetLeftStereoChannel));
    EXPECT_EQ(Slot(&ISonalter2::GetLeftStereoChannel) * ptr, Offset(IID_ISonalter2, u"GetLeftStereoChannel", INVOKE_FUNC));
    EXPECT_EQ(Slot(&ISonalter2::MixArrays) * ptr, Offset(IID_ISonalter2, u"MixArrays", INVOKE_FUNC));
    EXPECT_EQ(Slot(&ISonalter2::Reverb) * ptr, Offset(IID_ISonalter2, u"Reverb", INVOKE_FUNC));
    EXPECT_EQ(Slot(&ISonalter2::put_SmoothTime) * ptr, Offset(IID_ISonalter2, u"SmoothTime", INVOKE_PROPERTYPUT));
    EXPECT_EQ(Slot(&ISonalter2::get_LastErrorNum) * ptr, Offset(IID_ISonalter2, u"LastErrorNum", INVOKE_PROPERTYGET));
    EXPECT_EQ(Slot(&ISonalterDisplay2::put_BorderColor) * ptr,
              Offset(IID_ISonalterDisplay2, u"BorderColor", INVOKE_PROPERTYPUT));
    EXPECT_EQ(Slot(&ISonalterDisplay2::putref_ScaleFont) * ptr,
              Offset(IID_ISonalterDisplay2, u"ScaleFont", INVOKE_PROPERTYPUTREF));
    EXPECT_EQ(Slot(&ISonalterDisplay2::get_SplineSteepnes) * ptr,
              Offset(IID_ISonalterDisplay2, u"SplineSteepnes", INVOKE_PROPERTYGET));
}

TEST_F(SonalterLibrary, DescribesTheComponent) {
    EXPECT_EQ(11u, lib_->GetTypeInfoCount());  // 5 enums, 2 duals, 2 event interfaces, 2 classes
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib_->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(LIBID_QELVSONALTER2Lib, attr->guid));
    EXPECT_EQ(2, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    lib_->ReleaseTLibAttr(attr);
    for (const GUID* guid : {&IID_ISonalter2, &IID_ISonalterDisplay2, &DIID__ISonalter2Events,
                             &DIID__ISonalterDisplay2Events, &CLSID_Sonalter2, &CLSID_SonalterDisplay2}) {
        ITypeInfo* info = nullptr;
        EXPECT_EQ(S_OK, lib_->GetTypeInfoOfGuid(*guid, &info));
        if (info) info->Release();
    }
    // Enum values as declared, negative ones included.
    ITypeInfo* errors = nullptr;
    ASSERT_EQ(S_OK, lib_->GetTypeInfo(2, &errors));
    VARDESC* vd = nullptr;
    ASSERT_EQ(S_OK, errors->GetVarDesc(16, &vd));
    EXPECT_EQ(UNEXPECTED, vd->lpvarValue->lVal);
    errors->ReleaseVarDesc(vd);
    errors->Release();
    BSTR doc = nullptr;
    ASSERT_EQ(S_OK, lib_->GetDocumentation(2, nullptr, &doc, nullptr, nullptr));
    EXPECT_EQ(std::u16string(u"Error numbers kept in LastErrorNum"), doc);
    SysFreeString(doc);
}

}  // namespace
