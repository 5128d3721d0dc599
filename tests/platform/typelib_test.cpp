// Type libraries: loading (file, module resource, damaged data) and the descriptions
// ITypeLib / ITypeInfo give for the Calc test library.
#include <gtest/gtest.h>

#include "platform/calc_object.h"
#include "platform/temp_registry.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

std::u16string Wide(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// The ASCII text of a string handed out by the library, which it frees.
std::string Take(BSTR s) {
    std::string out;
    for (UINT i = 0; i < SysStringLen(s); ++i) out += static_cast<char>(s[i]);
    SysFreeString(s);
    return out;
}

std::vector<unsigned char> ReadBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::string WriteTemp(const std::vector<unsigned char>& bytes, const char* name) {
    std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

HRESULT Load(const std::string& path, ITypeLib** lib) {
    return LoadTypeLibEx(Wide(path).c_str(), REGKIND_NONE, lib);
}

// The type info of implemented type `index`; -1 gives a dual interface's interface view.
ITypeInfo* Implemented(ITypeInfo* info, UINT index) {
    HREFTYPE href = 0;
    EXPECT_EQ(S_OK, info->GetRefTypeOfImplType(index, &href));
    ITypeInfo* ref = nullptr;
    EXPECT_EQ(S_OK, info->GetRefTypeInfo(href, &ref));
    return ref;
}

// Owns the descriptions of one type info for the length of a test.
struct Info {
    ITypeInfo* p = nullptr;
    TYPEATTR* attr = nullptr;
    explicit Info(ITypeInfo* info) : p(info) {
        if (p) p->GetTypeAttr(&attr);
    }
    ~Info() {
        if (p) {
            p->ReleaseTypeAttr(attr);
            p->Release();
        }
    }
    // Index of the function named name with the given invoke kind, or -1.
    int Find(const char16_t* name, INVOKEKIND kind) {
        for (UINT i = 0; i < attr->cFuncs; ++i) {
            FUNCDESC* fd = nullptr;
            p->GetFuncDesc(i, &fd);
            BSTR n = nullptr;
            UINT count = 0;
            p->GetNames(fd->memid, &n, 1, &count);
            const bool hit = fd->invkind == kind && std::u16string(n) == name;
            SysFreeString(n);
            p->ReleaseFuncDesc(fd);
            if (hit) return static_cast<int>(i);
        }
        return -1;
    }
};

class CalcLibrary : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, Load(QELV_CALC_TLB, &lib_)); }
    void TearDown() override {
        if (lib_) lib_->Release();
    }
    ITypeInfo* OfGuid(REFGUID guid) {
        ITypeInfo* info = nullptr;
        EXPECT_EQ(S_OK, lib_->GetTypeInfoOfGuid(guid, &info));
        return info;
    }
    static ITypeInfo* InterfaceView(ITypeInfo* dispatchView) {
        return Implemented(dispatchView, static_cast<UINT>(-1));
    }
    ITypeLib* lib_ = nullptr;
};

TEST_F(CalcLibrary, LibraryAttributesAndDocumentation) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib_->GetLibAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_CalcLib));
    EXPECT_EQ(1033u, attr->lcid);
    EXPECT_EQ(SYS_WIN64, attr->syskind);
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(2, attr->wMinorVerNum);
    lib_->ReleaseTLibAttr(attr);

    BSTR name = nullptr, doc = nullptr, file = nullptr;
    ASSERT_EQ(S_OK, lib_->GetDocumentation(-1, &name, &doc, nullptr, &file));
    EXPECT_EQ("CalcLib", Take(name));
    EXPECT_EQ("Calc test library", Take(doc));
    EXPECT_EQ(nullptr, file);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib_->GetDocumentation(99, &name, nullptr, nullptr, nullptr));

    // Enum, ICalc, ICalc2, _ICalcEvents, Calc in definition order; duals are dispatch types.
    ASSERT_EQ(5u, lib_->GetTypeInfoCount());
    const TYPEKIND kinds[] = {TKIND_ENUM, TKIND_DISPATCH, TKIND_DISPATCH, TKIND_DISPATCH, TKIND_COCLASS};
    for (UINT i = 0; i < 5; ++i) {
        TYPEKIND kind;
        ASSERT_EQ(S_OK, lib_->GetTypeInfoType(i, &kind));
        EXPECT_EQ(kinds[i], kind) << i;
    }
    TYPEKIND kind;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib_->GetTypeInfoType(5, &kind));
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib_->GetTypeInfoOfGuid(IID_IDispatch, &info));
    EXPECT_EQ(nullptr, info);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib_->GetTypeInfo(5, &info));

    OLECHAR buffer[] = u"icalc2";
    BOOL isName = FALSE;
    EXPECT_EQ(S_OK, lib_->IsName(buffer, 0, &isName));
    EXPECT_TRUE(isName);
    EXPECT_EQ(std::u16string(u"ICalc2"), buffer);  // the library's spelling comes back
}

TEST_F(CalcLibrary, DualInterfaceViewsAndTheirFuncDescs) {
    Info dispatch(OfGuid(IID_ICalc));
    ASSERT_NE(nullptr, dispatch.attr);
    EXPECT_EQ(TKIND_DISPATCH, dispatch.attr->typekind);
    EXPECT_TRUE(dispatch.attr->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(dispatch.attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(7 * sizeof(void*), dispatch.attr->cbSizeVft);
    // The seven IUnknown / IDispatch members come first, restricted.
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(S_OK, dispatch.p->GetFuncDesc(0, &fd));
    EXPECT_EQ(0x60000000, fd->memid);
    EXPECT_EQ(FUNC_DISPATCH, fd->funckind);
    EXPECT_TRUE(fd->wFuncFlags & 1);
    dispatch.p->ReleaseFuncDesc(fd);

    // In the dispatch view Add returns its retval directly.
    const int add = dispatch.Find(u"Add", INVOKE_FUNC);
    ASSERT_EQ(7, add);
    ASSERT_EQ(S_OK, dispatch.p->GetFuncDesc(add, &fd));
    EXPECT_EQ(2, fd->cParams);
    EXPECT_EQ(VT_R4, fd->elemdescFunc.tdesc.vt);
    dispatch.p->ReleaseFuncDesc(fd);

    Info iface(InterfaceView(dispatch.p));
    ASSERT_NE(nullptr, iface.attr);
    EXPECT_EQ(TKIND_INTERFACE, iface.attr->typekind);
    EXPECT_TRUE(IsEqualGUID(iface.attr->guid, IID_ICalc));
    EXPECT_EQ(1, iface.attr->cImplTypes);
    HREFTYPE href;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, iface.p->GetRefTypeOfImplType(static_cast<UINT>(-1), &href));
    // The base is IDispatch, whose base is IUnknown.
    Info idispatch(Implemented(iface.p, 0));
    ASSERT_NE(nullptr, idispatch.attr);
    EXPECT_TRUE(IsEqualGUID(idispatch.attr->guid, IID_IDispatch));
    EXPECT_EQ(4, idispatch.attr->cFuncs);
    Info iunknown(Implemented(idispatch.p, 0));
    ASSERT_NE(nullptr, iunknown.attr);
    EXPECT_TRUE(IsEqualGUID(iunknown.attr->guid, IID_IUnknown));
    EXPECT_EQ(0, iunknown.attr->cImplTypes);

    // The interface view's FUNCDESCs: Add takes its retval as a last [out] pointer.
    ASSERT_EQ(0, iface.Find(u"Add", INVOKE_FUNC));
    ASSERT_EQ(S_OK, iface.p->GetFuncDesc(0, &fd));
    EXPECT_EQ(1, fd->memid);
    EXPECT_EQ(FUNC_PUREVIRTUAL, fd->funckind);
    EXPECT_EQ(INVOKE_FUNC, fd->invkind);
    EXPECT_EQ(CC_STDCALL, fd->callconv);
    EXPECT_EQ(7 * static_cast<int>(sizeof(void*)), fd->oVft);  // after IUnknown's 3 and IDispatch's 4
    EXPECT_EQ(VT_HRESULT, fd->elemdescFunc.tdesc.vt);
    ASSERT_EQ(3, fd->cParams);
    EXPECT_EQ(VT_R4, fd->lprgelemdescParam[0].tdesc.vt);
    EXPECT_EQ(PARAMFLAG_FIN, fd->lprgelemdescParam[0].paramdesc.wParamFlags);
    EXPECT_EQ(VT_PTR, fd->lprgelemdescParam[2].tdesc.vt);
    EXPECT_EQ(VT_R4, fd->lprgelemdescParam[2].tdesc.lptdesc->vt);
    EXPECT_EQ(PARAMFLAG_FOUT | PARAMFLAG_FRETVAL, fd->lprgelemdescParam[2].paramdesc.wParamFlags);
    iface.p->ReleaseFuncDesc(fd);

    // [in, out] SAFEARRAY(short)*: VT_PTR -> VT_SAFEARRAY -> VT_I2.
    const int scale = iface.Find(u"Scale", INVOKE_FUNC);
    ASSERT_EQ(S_OK, iface.p->GetFuncDesc(scale, &fd));
    EXPECT_EQ((7 + scale) * static_cast<int>(sizeof(void*)), fd->oVft);
    const TYPEDESC& data = fd->lprgelemdescParam[0].tdesc;
    EXPECT_EQ(VT_PTR, data.vt);
    EXPECT_EQ(VT_SAFEARRAY, data.lptdesc->vt);
    EXPECT_EQ(VT_I2, data.lptdesc->lptdesc->vt);
    EXPECT_EQ(PARAMFLAG_FIN | PARAMFLAG_FOUT, fd->lprgelemdescParam[0].paramdesc.wParamFlags);
    iface.p->ReleaseFuncDesc(fd);

    // Enum parameters refer to the enum's type info; IFontDisp* is a dispatch pointer.
    ASSERT_EQ(S_OK, iface.p->GetFuncDesc(iface.Find(u"Round", INVOKE_FUNC), &fd));
    ASSERT_EQ(VT_USERDEFINED, fd->lprgelemdescParam[1].tdesc.vt);
    ITypeInfo* enumInfo = nullptr;
    ASSERT_EQ(S_OK, iface.p->GetRefTypeInfo(fd->lprgelemdescParam[1].tdesc.hreftype, &enumInfo));
    iface.p->ReleaseFuncDesc(fd);
    Info rounding(enumInfo);
    EXPECT_EQ(TKIND_ENUM, rounding.attr->typekind);
    ASSERT_EQ(S_OK, iface.p->GetFuncDesc(iface.Find(u"Font", INVOKE_PROPERTYPUTREF), &fd));
    EXPECT_EQ(VT_DISPATCH, fd->lprgelemdescParam[0].tdesc.vt);
    EXPECT_EQ(0x17, fd->memid);
    iface.p->ReleaseFuncDesc(fd);
    ASSERT_EQ(S_OK, iface.p->GetFuncDesc(iface.Find(u"Tint", INVOKE_PROPERTYGET), &fd));
    EXPECT_EQ(VT_UI4, fd->lprgelemdescParam[0].tdesc.lptdesc->vt);  // OLE_COLOR
    iface.p->ReleaseFuncDesc(fd);

    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, iface.p->GetFuncDesc(iface.attr->cFuncs, &fd));
    EXPECT_EQ(nullptr, fd);
    // Releasing what was not handed out is ignored.
    FUNCDESC foreign{};
    iface.p->ReleaseFuncDesc(&foreign);
    iface.p->ReleaseFuncDesc(nullptr);
}

TEST_F(CalcLibrary, DerivedInterfaceCountsTheBaseSlots) {
    Info dispatch(OfGuid(IID_ICalc2));
    Info iface(InterfaceView(dispatch.p));
    Info baseDispatch(OfGuid(IID_ICalc));
    Info baseIface(InterfaceView(baseDispatch.p));
    ASSERT_EQ(1, iface.attr->cFuncs);
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(S_OK, iface.p->GetFuncDesc(0, &fd));
    EXPECT_EQ((7 + baseIface.attr->cFuncs) * sizeof(void*), static_cast<size_t>(fd->oVft));
    iface.p->ReleaseFuncDesc(fd);
    EXPECT_EQ((8 + baseIface.attr->cFuncs) * sizeof(void*), iface.attr->cbSizeVft);
    // The dispatch view lists the whole chain.
    EXPECT_EQ(7 + baseIface.attr->cFuncs + 1, dispatch.attr->cFuncs);
    // Members of the base are found by id through the derived interface view.
    BSTR name = nullptr;
    EXPECT_EQ(S_OK, iface.p->GetDocumentation(1, &name, nullptr, nullptr, nullptr));
    EXPECT_EQ("Add", Take(name));
}

TEST_F(CalcLibrary, NamesAndIdsOfMembers) {
    Info info(OfGuid(IID_ICalc));
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"oRDER"), const_cast<LPOLESTR>(u"FOURTH"),
                        const_cast<LPOLESTR>(u"first"), const_cast<LPOLESTR>(u"nope")};
    MEMBERID ids[4];
    EXPECT_EQ(DISP_E_UNKNOWNNAME, info.p->GetIDsOfNames(names, 4, ids));
    EXPECT_EQ(2, ids[0]);
    EXPECT_EQ(3, ids[1]);
    EXPECT_EQ(0, ids[2]);
    EXPECT_EQ(MEMBERID_NIL, ids[3]);
    EXPECT_EQ(S_OK, info.p->GetIDsOfNames(names, 3, ids));
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Subtract")};
    EXPECT_EQ(DISP_E_UNKNOWNNAME, DispGetIDsOfNames(info.p, unknown, 1, ids));
    EXPECT_EQ(MEMBERID_NIL, ids[0]);

    // Member name first, then the parameters; the value of a put and a lifted retval unnamed.
    BSTR out[4] = {};
    UINT count = 0;
    ASSERT_EQ(S_OK, info.p->GetNames(25, out, 4, &count));
    ASSERT_EQ(2u, count);
    EXPECT_EQ("Item", Take(out[0]));
    EXPECT_EQ("index", Take(out[1]));
    ASSERT_EQ(S_OK, info.p->GetNames(1, out, 2, &count));  // truncated to cMaxNames
    EXPECT_EQ(2u, count);
    for (UINT i = 0; i < count; ++i) SysFreeString(out[i]);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, info.p->GetNames(999, out, 4, &count));
    EXPECT_EQ(0u, count);

    BSTR name = nullptr, doc = nullptr;
    DWORD context = 1;
    ASSERT_EQ(S_OK, info.p->GetDocumentation(20, &name, &doc, &context, nullptr));
    EXPECT_EQ("Precision", Take(name));
    EXPECT_EQ("Digits after the point", Take(doc));
    EXPECT_EQ(0u, context);
    ASSERT_EQ(S_OK, info.p->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr));
    EXPECT_EQ("ICalc", Take(name));
    EXPECT_EQ("ICalc Interface", Take(doc));
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, info.p->GetDocumentation(12345, &name, nullptr, nullptr, nullptr));
}

TEST_F(CalcLibrary, EnumConstants) {
    ITypeInfo* raw = nullptr;
    ASSERT_EQ(S_OK, lib_->GetTypeInfo(0, &raw));
    Info info(raw);
    ASSERT_EQ(TKIND_ENUM, info.attr->typekind);
    ASSERT_EQ(5, info.attr->cVars);
    const LONG values[] = {0, -1, 0, 0x10, 0x7FFFFFFF};
    const char* names[] = {"rmNearest", "rmDown", "rmUp", "rmTowardZero", "rmLargest"};
    for (UINT i = 0; i < 5; ++i) {
        VARDESC* vd = nullptr;
        ASSERT_EQ(S_OK, info.p->GetVarDesc(i, &vd));
        EXPECT_EQ(VAR_CONST, vd->varkind);
        EXPECT_EQ(VT_I4, vd->lpvarValue->vt);
        EXPECT_EQ(values[i], vd->lpvarValue->lVal);
        BSTR name = nullptr;
        UINT count = 0;
        ASSERT_EQ(S_OK, info.p->GetNames(vd->memid, &name, 1, &count));
        EXPECT_EQ(names[i], Take(name));
        info.p->ReleaseVarDesc(vd);
    }
    VARDESC* vd = nullptr;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, info.p->GetVarDesc(5, &vd));
    BSTR doc = nullptr;
    info.p->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr);
    EXPECT_EQ("How Round rounds", Take(doc));
}

TEST_F(CalcLibrary, CoclassAndEventInterface) {
    Info coclass(OfGuid(CLSID_Calc));
    ASSERT_EQ(TKIND_COCLASS, coclass.attr->typekind);
    EXPECT_TRUE(coclass.attr->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_TRUE(coclass.attr->wTypeFlags & TYPEFLAG_FCONTROL);
    ASSERT_EQ(3, coclass.attr->cImplTypes);
    const GUID* expected[] = {&IID_ICalc2, &IID_ICalc, &DIID__ICalcEvents};
    const INT flags[] = {IMPLTYPEFLAG_FDEFAULT, 0, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE};
    for (UINT i = 0; i < 3; ++i) {
        INT f = -1;
        ASSERT_EQ(S_OK, coclass.p->GetImplTypeFlags(i, &f));
        EXPECT_EQ(flags[i], f);
        Info impl(Implemented(coclass.p, i));
        ASSERT_NE(nullptr, impl.attr);
        EXPECT_TRUE(IsEqualGUID(*expected[i], impl.attr->guid));
    }
    INT f;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, coclass.p->GetImplTypeFlags(3, &f));

    Info events(OfGuid(DIID__ICalcEvents));
    EXPECT_EQ(TKIND_DISPATCH, events.attr->typekind);
    EXPECT_FALSE(events.attr->wTypeFlags & TYPEFLAG_FDUAL);
    ASSERT_EQ(1, events.attr->cFuncs);
    ASSERT_EQ(1, events.attr->cVars);
    HREFTYPE href;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, events.p->GetRefTypeOfImplType(static_cast<UINT>(-1), &href));
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(S_OK, events.p->GetFuncDesc(0, &fd));
    EXPECT_EQ(FUNC_DISPATCH, fd->funckind);
    EXPECT_EQ(VT_VOID, fd->elemdescFunc.tdesc.vt);
    events.p->ReleaseFuncDesc(fd);
    VARDESC* vd = nullptr;
    ASSERT_EQ(S_OK, events.p->GetVarDesc(0, &vd));
    EXPECT_EQ(VAR_DISPATCH, vd->varkind);
    EXPECT_EQ(5, vd->memid);
    EXPECT_EQ(VT_I4, vd->elemdescVar.tdesc.vt);
    events.p->ReleaseVarDesc(vd);

    ITypeLib* containing = nullptr;
    UINT index = 99;
    ASSERT_EQ(S_OK, events.p->GetContainingTypeLib(&containing, &index));
    EXPECT_EQ(lib_, containing);
    EXPECT_EQ(3u, index);
    containing->Release();
}

TEST(TypeLibLoading, FromTheProgramsOwnResource) {
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLibEx(TestProgramPath().c_str(), REGKIND_NONE, &lib));
    EXPECT_EQ(5u, lib->GetTypeInfoCount());
    lib->Release();
    // "file\N" selects TYPELIB resource N; there is no resource 2.
    const std::u16string second = TestProgramPath() + u"\\2";
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadTypeLibEx(second.c_str(), REGKIND_NONE, &lib));
    EXPECT_EQ(S_OK, LoadTypeLibEx((TestProgramPath() + u"\\1").c_str(), REGKIND_NONE, &lib));
    lib->Release();
}

TEST(TypeLibLoading, RegistersOnlyWhenAsked) {
    TempRegistry registry;
    const std::u16string path = Wide(QELV_CALC_TLB);
    ITypeLib* lib = nullptr;
    // A full path with REGKIND_DEFAULT (what LoadTypeLib does) loads without registering.
    ASSERT_EQ(S_OK, LoadTypeLib(path.c_str(), &lib));
    lib->Release();
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(LIBID_CalcLib, 1, 2, 1033, &lib));
    ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &lib));
    lib->Release();
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_CalcLib, 1, 2, 1033, &lib));
    EXPECT_EQ(5u, lib->GetTypeInfoCount());
    lib->Release();
    EXPECT_EQ(S_OK, UnRegisterTypeLib(LIBID_CalcLib, 1, 2, 1033, SYS_WIN64));
}

TEST(TypeLibLoading, BadInputFailsCleanly) {
    ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(E_INVALIDARG, LoadTypeLibEx(nullptr, REGKIND_NONE, &lib));
    EXPECT_EQ(nullptr, lib);
    EXPECT_EQ(E_INVALIDARG, LoadTypeLibEx(u"x.tlb", REGKIND_NONE, nullptr));
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadTypeLibEx(u"/nonexistent/Calc.tlb", REGKIND_NONE, &lib));
    EXPECT_EQ(TYPE_E_UNSUPFORMAT, Load(WriteTemp({}, "empty.tlb"), &lib));

    const std::vector<unsigned char> good = ReadBytes(QELV_CALC_TLB);
    ASSERT_GT(good.size(), 100u);
    std::vector<unsigned char> bad = good;
    bad[8] = 2;  // a format version this reader does not know
    EXPECT_EQ(TYPE_E_UNSUPFORMAT, Load(WriteTemp(bad, "version.tlb"), &lib));
    bad = good;
    bad[good.size() / 2] ^= 0x40;  // damaged payload
    EXPECT_EQ(TYPE_E_INVDATAREAD, Load(WriteTemp(bad, "flipped.tlb"), &lib));
    bad.assign(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() - 3));
    EXPECT_EQ(TYPE_E_INVDATAREAD, Load(WriteTemp(bad, "short.tlb"), &lib));
    EXPECT_EQ(nullptr, lib);
}

// Damaged payloads with a valid checksum reach the parser: it must refuse or accept each one
// without reading out of bounds (the sanitizer build checks that).
TEST(TypeLibLoading, MutatedLibrariesNeverCrash) {
    const std::vector<unsigned char> good = ReadBytes(QELV_CALC_TLB);
    ASSERT_GT(good.size(), 20u);
    std::mt19937 random(1234);
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<unsigned char> bytes = good;
        const int changes = 1 + round % 4;
        for (int c = 0; c < changes; ++c) {
            const size_t at = 20 + random() % (bytes.size() - 20);
            bytes[at] = static_cast<unsigned char>(random());
        }
        if (round % 7 == 0) bytes.resize(20 + random() % (bytes.size() - 20));
        uint32_t hash = 0x811C9DC5u;
        for (size_t i = 20; i < bytes.size(); ++i) hash = (hash ^ bytes[i]) * 0x01000193u;
        const uint32_t size = static_cast<uint32_t>(bytes.size() - 20);
        std::memcpy(&bytes[12], &size, 4);
        std::memcpy(&bytes[16], &hash, 4);
        ITypeLib* lib = nullptr;
        const HRESULT hr = Load(WriteTemp(bytes, "mutated.tlb"), &lib);
        if (FAILED(hr)) {
            EXPECT_TRUE(hr == TYPE_E_INVDATAREAD || hr == TYPE_E_UNSUPFORMAT) << std::hex << hr;
            ++refused;
            continue;
        }
        // Whatever was accepted must be walkable.
        for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
            ITypeInfo* raw = nullptr;
            ASSERT_EQ(S_OK, lib->GetTypeInfo(i, &raw));
            Info info(raw);
            for (UINT f = 0; f < info.attr->cFuncs; ++f) {
                FUNCDESC* fd = nullptr;
                if (SUCCEEDED(info.p->GetFuncDesc(f, &fd))) info.p->ReleaseFuncDesc(fd);
            }
        }
        lib->Release();
    }
    EXPECT_GT(refused, 100);
}

}  // namespace
