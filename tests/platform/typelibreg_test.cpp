// Conformance tests for RegisterTypeLib, UnRegisterTypeLib and LoadRegTypeLib,
// with a small type library of our own that only answers the questions
// registration asks.
#include "temp_registry.h"

#include <cstring>
#include <vector>

namespace {

// {0C7A0B59-8A1E-4E2B-9D3C-5A6B7C8D9E01} and following
constexpr GUID MakeGuid(BYTE last) { return {0x0C7A0B59, 0x8A1E, 0x4E2B, {0x9D, 0x3C, 0x5A, 0x6B, 0x7C, 0x8D, 0x9E, last}}; }
constexpr GUID kLibId = MakeGuid(0x01);
const char16_t kLibIdText[] = u"{0C7A0B59-8A1E-4E2B-9D3C-5A6B7C8D9E01}";

struct FakeType {
    GUID guid;
    TYPEKIND kind;
    WORD flags;
    std::u16string name;
};

class FakeTypeInfo final : public ITypeInfo {
public:
    explicit FakeTypeInfo(const FakeType& type) : type_(type) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs_;
        if (!left) delete this;
        return left;
    }
    STDMETHODIMP GetTypeAttr(TYPEATTR** attr) override {
        *attr = new TYPEATTR{};
        (*attr)->guid = type_.guid;
        (*attr)->typekind = type_.kind;
        (*attr)->wTypeFlags = type_.flags;
        return S_OK;
    }
    STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
    STDMETHODIMP GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* context, BSTR* file) override {
        if (memid != MEMBERID_NIL) return TYPE_E_ELEMENTNOTFOUND;
        if (name) *name = SysAllocString(type_.name.c_str());
        if (doc) *doc = nullptr;
        if (context) *context = 0;
        if (file) *file = nullptr;
        return S_OK;
    }
    // Registration asks for nothing else.
    STDMETHODIMP GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    STDMETHODIMP GetFuncDesc(UINT, FUNCDESC**) override { return E_NOTIMPL; }
    STDMETHODIMP GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
    STDMETHODIMP GetNames(MEMBERID, BSTR*, UINT, UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP_(void) ReleaseFuncDesc(FUNCDESC*) override {}
    STDMETHODIMP_(void) ReleaseVarDesc(VARDESC*) override {}

private:
    FakeType type_;
    ULONG refs_ = 1;
};

class FakeTypeLib final : public ITypeLib {
public:
    TLIBATTR attr{kLibId, 1033, SYS_WIN64, 2, 0, 0};
    std::u16string name = u"QELVTESTLib";
    std::u16string help = u"QelvTest 2.0 Type Library";
    std::vector<FakeType> types;
    HRESULT libAttrStatus = S_OK;

    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(UINT) GetTypeInfoCount() override { return UINT(types.size()); }
    STDMETHODIMP GetTypeInfo(UINT index, ITypeInfo** info) override {
        if (index >= types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *info = new FakeTypeInfo(types[index]);
        return S_OK;
    }
    STDMETHODIMP GetTypeInfoType(UINT index, TYPEKIND* kind) override {
        if (index >= types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *kind = types[index].kind;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfoOfGuid(REFGUID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetLibAttr(TLIBATTR** out) override {
        if (FAILED(libAttrStatus)) return libAttrStatus;
        *out = new TLIBATTR(attr);
        return S_OK;
    }
    STDMETHODIMP_(void) ReleaseTLibAttr(TLIBATTR* a) override { delete a; }
    STDMETHODIMP GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    STDMETHODIMP GetDocumentation(INT index, BSTR* n, BSTR* doc, DWORD* context, BSTR* file) override {
        if (index != -1) return TYPE_E_ELEMENTNOTFOUND;
        if (n) *n = SysAllocString(name.c_str());
        if (doc) *doc = help.empty() ? nullptr : SysAllocString(help.c_str());
        if (context) *context = 0;
        if (file) *file = nullptr;
        return S_OK;
    }
    STDMETHODIMP IsName(LPOLESTR, ULONG, BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override { return E_NOTIMPL; }
};

const char16_t kOleAutomationProxy[] = u"{00020424-0000-0000-C000-000000000046}";
const char16_t kDispatchProxy[] = u"{00020420-0000-0000-C000-000000000046}";

std::u16string Text(const GUID& g) {
    WCHAR buf[39];
    StringFromGUID2(g, buf, 39);
    return buf;
}

class TypeLibRegistration : public ::testing::Test {
protected:
    TypeLibRegistration() {
        lib_.types = {
            {MakeGuid(0x10), TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, u"IDual"},
            {MakeGuid(0x11), TKIND_DISPATCH, 0, u"_IDualEvents"},
            {MakeGuid(0x12), TKIND_INTERFACE, TYPEFLAG_FOLEAUTOMATION, u"IAutomation"},
            {MakeGuid(0x13), TKIND_INTERFACE, 0, u"ICustom"},
            {MakeGuid(0x14), TKIND_COCLASS, TYPEFLAG_FCANCREATE, u"Thing"},
            {MakeGuid(0x15), TKIND_ENUM, 0, u"Constants"},
        };
    }
    static std::u16string Interface(BYTE last) { return u"Interface\\" + Text(MakeGuid(last)); }

    TempRegistry reg_;
    FakeTypeLib lib_;
};

TEST_F(TypeLibRegistration, WritesLibraryAndAutomationInterfaceEntries) {
    ASSERT_EQ(RegisterTypeLib(&lib_, u"/opt/qelv/lib/QelvTest.so", nullptr), S_OK);

    const std::u16string version = u"TypeLib\\" + std::u16string(kLibIdText) + u"\\2.0";
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, version, nullptr), u"QelvTest 2.0 Type Library");
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, version + u"\\FLAGS", nullptr), u"0");
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, version + u"\\HELPDIR", nullptr), u"");
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, version + u"\\409\\win64", nullptr), u"/opt/qelv/lib/QelvTest.so");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, version + u"\\409\\win32"));

    struct Expected {
        BYTE last;
        const char16_t* name;
        const char16_t* proxy;
    } registered[] = {{0x10, u"IDual", kOleAutomationProxy},
                      {0x11, u"_IDualEvents", kDispatchProxy},
                      {0x12, u"IAutomation", kOleAutomationProxy}};
    for (const Expected& e : registered) {
        std::u16string key = Interface(e.last);
        SCOPED_TRACE(testing::PrintToString(key));
        EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, key, nullptr), e.name);
        EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid", nullptr), e.proxy);
        EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid32", nullptr), e.proxy);
        EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, key + u"\\TypeLib", nullptr), kLibIdText);
        EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, key + u"\\TypeLib", u"Version"), u"2.0");
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Interface(0x13))) << "custom interfaces need their own proxies";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Interface(0x14)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Interface(0x15)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID")) << "coclasses are the module's business";
}

TEST_F(TypeLibRegistration, VersionsAndLocalesAreHexAndNameStandsInForHelp) {
    lib_.attr.wMajorVerNum = 10;
    lib_.attr.wMinorVerNum = 31;
    lib_.attr.lcid = 0;
    lib_.attr.wLibFlags = 0xA;  // LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN
    lib_.help.clear();
    ASSERT_EQ(RegisterTypeLib(&lib_, u"/x/lib.tlb", u"/x/help"), S_OK);
    const std::u16string version = u"TypeLib\\" + std::u16string(kLibIdText) + u"\\a.1f";
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, version, nullptr), u"QELVTESTLib");
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, version + u"\\FLAGS", nullptr), u"A");
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, version + u"\\HELPDIR", nullptr), u"/x/help");
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, version + u"\\0\\win64", nullptr), u"/x/lib.tlb");
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, Interface(0x10) + u"\\TypeLib", u"Version"), u"a.1f");
}

TEST_F(TypeLibRegistration, MisuseAndFailingLibraries) {
    EXPECT_EQ(RegisterTypeLib(nullptr, u"/x", nullptr), E_INVALIDARG);
    EXPECT_EQ(RegisterTypeLib(&lib_, nullptr, nullptr), E_INVALIDARG);
    lib_.libAttrStatus = E_OUTOFMEMORY;
    EXPECT_EQ(RegisterTypeLib(&lib_, u"/x", nullptr), E_OUTOFMEMORY);
    lib_.libAttrStatus = S_OK;
    const int unknownPlatform = 9;  // as a C caller or a damaged library could hand over
    std::memcpy(&lib_.attr.syskind, &unknownPlatform, sizeof unknownPlatform);
    EXPECT_EQ(RegisterTypeLib(&lib_, u"/x", nullptr), E_INVALIDARG);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"TypeLib"));

    ITypeLib* loaded = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadRegTypeLib(kLibId, 2, 0, 1033, nullptr), E_INVALIDARG);
    EXPECT_EQ(LoadRegTypeLib(kLibId, 2, 0, 1033, &loaded), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(loaded, nullptr);
    EXPECT_EQ(UnRegisterTypeLib(kLibId, 2, 0, 1033, SYS_WIN64), TYPE_E_REGISTRYACCESS);
}

TEST_F(TypeLibRegistration, UnregisterRemovesOnlyThisLibraryVersion) {
    // Another library's interface and an unrelated class survive.
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, Interface(0x40) + u"\\TypeLib", nullptr, Text(MakeGuid(0x41))),
              ERROR_SUCCESS);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, u"CLSID\\" + Text(MakeGuid(0x42)), nullptr, u"Other"), ERROR_SUCCESS);
    ASSERT_EQ(RegisterTypeLib(&lib_, u"/x/lib.so", nullptr), S_OK);
    FakeTypeLib v3;
    v3.attr.wMajorVerNum = 3;
    v3.types = {{MakeGuid(0x30), TKIND_DISPATCH, TYPEFLAG_FDUAL, u"IDual3"}};
    ASSERT_EQ(RegisterTypeLib(&v3, u"/x/lib3.so", nullptr), S_OK);

    // The same version in a second locale keeps the interfaces registered.
    lib_.attr.lcid = 0;
    ASSERT_EQ(RegisterTypeLib(&lib_, u"/x/lib-neutral.so", nullptr), S_OK);
    ASSERT_EQ(UnRegisterTypeLib(kLibId, 2, 0, 0, SYS_WIN64), S_OK);
    const std::u16string libKey = u"TypeLib\\" + std::u16string(kLibIdText);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, libKey + u"\\2.0\\0"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, libKey + u"\\2.0\\409\\win64"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, Interface(0x10)));

    ASSERT_EQ(UnRegisterTypeLib(kLibId, 2, 0, 1033, SYS_WIN64), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, libKey + u"\\2.0"));
    for (BYTE last : {0x10, 0x11, 0x12}) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Interface(last)));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, libKey + u"\\3.0\\409\\win64"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, Interface(0x30)));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, Interface(0x40)));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID\\" + Text(MakeGuid(0x42))));
    EXPECT_EQ(UnRegisterTypeLib(kLibId, 2, 0, 1033, SYS_WIN64), TYPE_E_REGISTRYACCESS) << "already gone";

    ASSERT_EQ(UnRegisterTypeLib(kLibId, 3, 0, 1033, SYS_WIN64), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, libKey)) << "no version left";
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, Interface(0x30)));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Interface")) << "the Interface key itself stays";
}

TEST_F(TypeLibRegistration, LoadRegTypeLibPicksVersionAndLocale) {
    // Registered with a path that cannot be loaded: a found registration then fails in
    // LoadTypeLib, which tells it apart from TYPE_E_LIBNOTREGISTERED.
    lib_.attr.wMinorVerNum = 2;
    ASSERT_EQ(RegisterTypeLib(&lib_, u"/nonexistent/lib.tlb", nullptr), S_OK);
    auto load = [](WORD major, WORD minor, LCID lcid) {
        ITypeLib* tl = reinterpret_cast<ITypeLib*>(1);
        HRESULT hr = LoadRegTypeLib(kLibId, major, minor, lcid, &tl);
        EXPECT_EQ(tl, nullptr);
        return hr;
    };
    EXPECT_NE(load(2, 2, 1033), TYPE_E_LIBNOTREGISTERED);
    EXPECT_TRUE(FAILED(load(2, 2, 1033)));
    EXPECT_NE(load(2, 0, 1033), TYPE_E_LIBNOTREGISTERED) << "a higher minor version serves a lower request";
    EXPECT_NE(load(2, 0, LOCALE_USER_DEFAULT), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(load(2, 3, 1033), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(load(1, 0, 1033), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(load(3, 0, 1033), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(load(2, 0, 0x407), TYPE_E_LIBNOTREGISTERED) << "German finds neither 407, 7 nor 0";

    lib_.attr.lcid = 0;
    ASSERT_EQ(RegisterTypeLib(&lib_, u"/nonexistent/neutral.tlb", nullptr), S_OK);
    EXPECT_NE(load(2, 0, 0x407), TYPE_E_LIBNOTREGISTERED) << "falls back to the neutral locale";
}

}  // namespace
