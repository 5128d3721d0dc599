// The test server. Its lock count covers live objects, server locks and
// references to its class object, so DllCanUnloadNow answers S_FALSE while
// anything of it is in use.
//
// DllRegisterServer writes the class the way a real component does (CLSID key
// with InprocServer32, versioned and version-independent program identifiers
// with CurVer). DllUnregisterServer fails with the registry's status when the
// class is not registered, which gives the tool tests a failing entry point.
#include "testserver.h"

#include <atomic>
#include <new>
#include <string>

namespace {

std::atomic<long> g_locks{0};
int g_marker;

class TestObject final : public ITestObject {
public:
    TestObject() { ++g_locks; }
    ~TestObject() { --g_locks; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == kTestObjectIid) {
            *ppv = static_cast<ITestObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetMagic(LONG* value) override {
        if (!value) return E_POINTER;
        *value = 42;
        return S_OK;
    }
    STDMETHODIMP GetModuleMarker(void** marker) override {
        if (!marker) return E_POINTER;
        *marker = &g_marker;
        return S_OK;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++g_locks); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--g_locks); }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) TestObject;
        if (!object) return E_OUTOFMEMORY;
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ++g_locks;
        else
            --g_locks;
        return S_OK;
    }
};

Factory g_factory;

LSTATUS SetString(const std::u16string& path, LPCWSTR name, const std::u16string& value) {
    HKEY key = nullptr;
    LSTATUS s = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (s != ERROR_SUCCESS) return s;
    s = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD((value.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    return s;
}

}  // namespace

// The class object for kTestObjectClsid; CLASS_E_CLASSNOTAVAILABLE for any other class.
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != kTestObjectClsid) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

// S_OK once no object, server lock or class-object reference is left.
STDAPI DllCanUnloadNow(void) { return g_locks.load() == 0 ? S_OK : S_FALSE; }

// Writes the class and both program identifiers, with this module's path.
STDAPI DllRegisterServer(void) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&g_marker), &self))
        return E_FAIL;
    WCHAR path[4096];
    DWORD length = GetModuleFileNameW(self, path, 4096);
    if (length == 0 || length >= 4096) return E_FAIL;
    const std::u16string clsidKey = std::u16string(u"CLSID\\") + kTestClsidText;
    const std::u16string description = u"Qelv Test Object";
    LSTATUS s = SetString(clsidKey, nullptr, description);
    if (!s) s = SetString(clsidKey + u"\\InprocServer32", nullptr, std::u16string(path, length));
    if (!s) s = SetString(clsidKey + u"\\InprocServer32", u"ThreadingModel", u"Apartment");
    if (!s) s = SetString(clsidKey + u"\\ProgID", nullptr, kTestProgIdVersioned);
    if (!s) s = SetString(clsidKey + u"\\VersionIndependentProgID", nullptr, kTestProgId);
    if (!s) s = SetString(kTestProgIdVersioned, nullptr, description);
    if (!s) s = SetString(std::u16string(kTestProgIdVersioned) + u"\\CLSID", nullptr, kTestClsidText);
    if (!s) s = SetString(kTestProgId, nullptr, description);
    if (!s) s = SetString(std::u16string(kTestProgId) + u"\\CLSID", nullptr, kTestClsidText);
    if (!s) s = SetString(std::u16string(kTestProgId) + u"\\CurVer", nullptr, kTestProgIdVersioned);
    return HRESULT_FROM_WIN32(s);
}

// Removes them again; fails with HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when not registered.
STDAPI DllUnregisterServer(void) {
    LSTATUS s = RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::u16string(u"CLSID\\") + kTestClsidText).c_str());
    if (s != ERROR_SUCCESS) return HRESULT_FROM_WIN32(s);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kTestProgIdVersioned);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kTestProgId);
    return S_OK;
}
