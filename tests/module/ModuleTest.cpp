// The in-process server: exports, registration, activation by program
// identifier, the lock count, object safety and the registration scripts.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include <qelvsonalter2/QelvSonalter2.h>

#include "module/Registrar.h"

#ifndef QELV_MODULE_PATH
#error "QELV_MODULE_PATH must name the built module"
#endif

namespace {

namespace fs = std::filesystem;

std::u16string Utf16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// An entry point of a loaded module as a typed function pointer.
template <class Function>
Function Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::string Shell(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::array<char, 256> buffer{};
    while (pipe && fgets(buffer.data(), buffer.size(), pipe.get())) out += buffer.data();
    return out;
}

// Each test gets its own registry file and an initialised apartment.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qelv-module-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        registry_ = dir_ / "registry";
        ::setenv("QELV_REGISTRY", registry_.c_str(), 1);
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        CoUninitialize();
        fs::remove_all(dir_);
    }

    // Calls one entry point of the module.
    static HRESULT CallEntry(const char* name) {
        HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(Utf16(QELV_MODULE_PATH).c_str()));
        if (!module) return E_FAIL;
        auto entry = Entry<HRESULT (*)()>(module, name);
        const HRESULT hr = entry ? entry() : E_FAIL;
        FreeLibrary(module);
        return hr;
    }

    static bool KeyExists(const char16_t* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    static std::u16string ReadString(const char16_t* path, const char16_t* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<no key>";
        char16_t buffer[1024] = {};
        DWORD bytes = sizeof buffer;
        DWORD type = 0;
        const LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS || type != REG_SZ) return u"<no value>";
        return buffer;
    }

    fs::path dir_;
    fs::path registry_;
};

TEST_F(ModuleTest, ExportsExactlyTheFourEntryPoints) {
    const std::string out = Shell("nm -D --defined-only '" QELV_MODULE_PATH "' | awk '{print $3}'");
    std::set<std::string> symbols;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        const std::string line = out.substr(start, end - start);
        if (!line.empty()) symbols.insert(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    EXPECT_EQ(symbols, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                              "DllUnregisterServer"}));
}

TEST_F(ModuleTest, RegistrationWritesEntriesAndActivationFollowsCurVer) {
    ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
    const std::u16string clsid = u"{8B1F94B2-BD94-4738-A81E-A24FF7385127}";
    const std::u16string key = u"CLSID\\" + clsid;
    EXPECT_EQ(ReadString(u"QelvSonalter2.Sonalter2.2", nullptr), u"Sonalter2 Class");
    EXPECT_EQ(ReadString(u"QelvSonalter2.Sonalter2.2\\CLSID", nullptr), clsid);
    EXPECT_EQ(ReadString(u"QelvSonalter2.Sonalter2\\CurVer", nullptr), u"QelvSonalter2.Sonalter2.2");
    EXPECT_EQ(ReadString(key.c_str(), nullptr), u"Sonalter2 Class");
    EXPECT_EQ(ReadString((key + u"\\ProgID").c_str(), nullptr), u"QelvSonalter2.Sonalter2.2");
    EXPECT_EQ(ReadString((key + u"\\VersionIndependentProgID").c_str(), nullptr), u"QelvSonalter2.Sonalter2");
    EXPECT_TRUE(KeyExists((key + u"\\Programmable").c_str()));
    EXPECT_EQ(ReadString((key + u"\\InprocServer32").c_str(), nullptr), Utf16(QELV_MODULE_PATH));
    EXPECT_EQ(ReadString((key + u"\\InprocServer32").c_str(), u"ThreadingModel"), u"Apartment");
    EXPECT_EQ(ReadString((key + u"\\TypeLib").c_str(), nullptr), u"{58B5AA04-6B88-4738-9E0A-AE3E9588560F}");
    const std::u16string display = u"CLSID\\{41D14EDD-2AB6-43B3-B406-8CFA67CB9B0E}";
    EXPECT_EQ(ReadString(display.c_str(), nullptr), u"QelvSonalterDisplay2 Class");
    EXPECT_EQ(ReadString((display + u"\\ToolboxBitmap32").c_str(), nullptr), Utf16(QELV_MODULE_PATH) + u", 103");
    EXPECT_EQ(ReadString((display + u"\\MiscStatus").c_str(), nullptr), u"0");
    EXPECT_EQ(ReadString((display + u"\\MiscStatus\\1").c_str(), nullptr), u"131473");
    EXPECT_EQ(ReadString((display + u"\\Version").c_str(), nullptr), u"2.0");
    EXPECT_TRUE(KeyExists((display + u"\\Control").c_str()));
    EXPECT_TRUE(KeyExists((display + u"\\Insertable").c_str()));

    CLSID found{};
    ASSERT_EQ(CLSIDFromProgID(OLESTR("QelvSonalter2.Sonalter2"), &found), S_OK);
    EXPECT_TRUE(IsEqualCLSID(found, CLSID_Sonalter2));
    ISonalter2* object = nullptr;
    ASSERT_EQ(CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_ISonalter2,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    LONG time = 0;
    EXPECT_EQ(object->get_SmoothTime(&time), S_OK);
    EXPECT_EQ(time, 50);

    // A failure's description names the registered program identifier as its source.
    SAFEARRAY* one = SafeArrayCreateVector(VT_I2, 0, 1);
    EXPECT_EQ(object->Invert(&one), static_cast<HRESULT>(0x8004030B));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    BSTR source = nullptr;
    info->GetSource(&source);
    EXPECT_EQ(std::u16string(source ? source : u""), u"QelvSonalter2.Sonalter2.2");
    SysFreeString(source);
    info->Release();
    SafeArrayDestroy(one);
    object->Release();

    // The display control by its program identifier; a refused limit names it.
    ASSERT_EQ(CLSIDFromProgID(OLESTR("QelvSonalter2.SonalterDisplay2"), &found), S_OK);
    EXPECT_TRUE(IsEqualCLSID(found, CLSID_SonalterDisplay2));
    ISonalterDisplay2* control = nullptr;
    ASSERT_EQ(CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_ISonalterDisplay2,
                               reinterpret_cast<void**>(&control)),
              S_OK);
    EXPECT_EQ(control->put_ScaleXMax(0.0f), DISP_E_EXCEPTION);
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    info->GetSource(&source);
    EXPECT_EQ(std::u16string(source ? source : u""), u"QelvSonalter2.SonalterDisplay2.2");
    SysFreeString(source);
    BSTR description = nullptr;
    info->GetDescription(&description);
    EXPECT_EQ(std::u16string(description ? description : u""), u"ScaleXMax should be more ScaleXMin");
    SysFreeString(description);
    info->Release();
    IPersistStreamInit* persist = nullptr;
    EXPECT_EQ(control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)), S_OK);
    if (persist) persist->Release();
    control->Release();

    ASSERT_EQ(CallEntry("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(KeyExists(u"QelvSonalter2.Sonalter2"));
    EXPECT_FALSE(KeyExists(u"QelvSonalter2.Sonalter2.2"));
    EXPECT_FALSE(KeyExists(u"QelvSonalter2.SonalterDisplay2"));
    EXPECT_FALSE(KeyExists(key.c_str()));
    EXPECT_FALSE(KeyExists(display.c_str()));
    EXPECT_TRUE(KeyExists(u"CLSID"));
    EXPECT_EQ(CLSIDFromProgID(OLESTR("QelvSonalter2.Sonalter2"), &found), CO_E_CLASSSTRING);
}

TEST_F(ModuleTest, LockCountFollowsObjectsAndServerLocks) {
    HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(Utf16(QELV_MODULE_PATH).c_str()));
    ASSERT_NE(module, nullptr);
    auto getClassObject = Entry<LPFNGETCLASSOBJECT>(module, "DllGetClassObject");
    auto canUnload = Entry<LPFNCANUNLOADNOW>(module, "DllCanUnloadNow");
    ASSERT_TRUE(getClassObject && canUnload);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(CLSID_Sonalter2, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(CLSID_NULL, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(canUnload(), S_OK);

    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&b)), S_OK);
    EXPECT_EQ(factory->CreateInstance(a, IID_IUnknown, reinterpret_cast<void**>(&none)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(canUnload(), S_FALSE);
    a->Release();
    EXPECT_EQ(canUnload(), S_FALSE);
    b->Release();
    EXPECT_EQ(canUnload(), S_OK);
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnload(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnload(), S_OK);
    factory->Release();
    FreeLibrary(module);
}

TEST_F(ModuleTest, ObjectSafetyKeepsTheLastSetOptions) {
    HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(Utf16(QELV_MODULE_PATH).c_str()));
    auto getClassObject = Entry<LPFNGETCLASSOBJECT>(module, "DllGetClassObject");
    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(CLSID_Sonalter2, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IObjectSafety* safety = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
    DWORD supported = 0, enabled = 0;
    ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), S_OK);
    safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
    EXPECT_EQ(enabled, 3u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 0), S_OK);
    safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
    EXPECT_EQ(enabled, 2u);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACE_USES_DISPEX, INTERFACE_USES_DISPEX), E_FAIL);
    safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
    EXPECT_EQ(enabled, 2u);
    safety->Release();
    factory->Release();
    FreeLibrary(module);
}

TEST_F(ModuleTest, RegistrationScriptsParseQuotesAndRefuseBadSyntax) {
    const std::u16string script =
        u"HKCR { NoRemove 'Qelv Test' { ForceRemove Key.1 = s 'it''s %MODULE%' { val N = d 42 'sub' } } }";
    ASSERT_EQ(qelv::RunRegistrationScript(script, u"/p/a'b.so", true), S_OK);
    EXPECT_EQ(ReadString(u"Qelv Test\\Key.1", nullptr), u"it's /p/a'b.so");
    EXPECT_TRUE(KeyExists(u"Qelv Test\\Key.1\\sub"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Qelv Test\\Key.1", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD number = 0, bytes = sizeof number, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"N", nullptr, &type, reinterpret_cast<BYTE*>(&number), &bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number, 42u);
    RegCloseKey(key);

    ASSERT_EQ(qelv::RunRegistrationScript(script, u"/p/a'b.so", false), S_OK);
    EXPECT_TRUE(KeyExists(u"Qelv Test"));
    EXPECT_FALSE(KeyExists(u"Qelv Test\\Key.1"));
    // Removing what is already gone succeeds.
    EXPECT_EQ(qelv::RunRegistrationScript(script, u"", false), S_OK);

    for (const char16_t* bad : {u"HKXX { }", u"HKCR { A = s 'unterminated }", u"HKCR { A = q 'x' }",
                                u"HKCR { A { }", u"HKCR { val A = s 'x' }", u"HKCR { } trailing"}) {
        EXPECT_EQ(qelv::RunRegistrationScript(bad, u"", true), E_INVALIDARG) << std::string(bad, bad + 8);
    }
}

}  // namespace
