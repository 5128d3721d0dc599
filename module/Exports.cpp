// The module's four entry points: class objects, unloading, registration.
#include <string>

#include "module/ClassFactory.h"
#include "server/ModuleLock.h"
#include "module/Registrar.h"
#include "server/TypeInfo.h"
#include "display/SonalterDisplay2.h"
#include "transform/Sonalter2.h"

namespace {

IUnknown* CreateSonalter2() { return static_cast<ISonalter2*>(qelv::CSonalter2::Create()); }

IUnknown* CreateSonalterDisplay2() {
    return static_cast<ISonalterDisplay2*>(qelv::CSonalterDisplay2::Create());
}

qelv::CClassFactory g_sonalter2Factory(&CreateSonalter2);
qelv::CClassFactory g_displayFactory(&CreateSonalterDisplay2);

constexpr UINT kSonalter2Script = 101;
constexpr UINT kDisplayScript = 104;

// The module containing this code and its full path.
HRESULT ThisModule(HMODULE& module, std::u16string& path) {
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ThisModule), &module)) {
        return E_FAIL;
    }
    WCHAR buffer[4096];
    const DWORD length = GetModuleFileNameW(module, buffer, sizeof buffer / sizeof buffer[0]);
    if (length == 0 || length >= sizeof buffer / sizeof buffer[0]) return E_FAIL;
    path.assign(reinterpret_cast<const char16_t*>(buffer), length);
    return S_OK;
}

}  // namespace

// DllGetClassObject
//   Returns the class object of Sonalter2 or SonalterDisplay2;
//   CLASS_E_CLASSNOTAVAILABLE for any other class.
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualCLSID(rclsid, CLSID_Sonalter2)) return g_sonalter2Factory.QueryInterface(riid, ppv);
    if (IsEqualCLSID(rclsid, CLSID_SonalterDisplay2)) return g_displayFactory.QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

// DllCanUnloadNow
//   S_OK when no object is alive and no server lock is held, else S_FALSE.
STDAPI DllCanUnloadNow(void) { return qelv::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

// DllRegisterServer
//   Writes the entries of both classes and registers the type library.
//   RETURNS S_OK or the registry's or type library's failure status unchanged.
STDAPI DllRegisterServer(void) {
    HMODULE module = nullptr;
    std::u16string path;
    if (HRESULT hr = ThisModule(module, path); FAILED(hr)) return hr;
    if (HRESULT hr = qelv::RunRegistrationResource(module, kSonalter2Script, path, true); FAILED(hr)) return hr;
    if (HRESULT hr = qelv::RunRegistrationResource(module, kDisplayScript, path, true); FAILED(hr)) return hr;
    ITypeLib* lib = nullptr;
    if (HRESULT hr = qelv::GetComponentTypeLib(&lib); FAILED(hr)) return hr;
    const HRESULT hr = RegisterTypeLib(lib, reinterpret_cast<LPOLESTR>(path.data()), nullptr);
    lib->Release();
    return hr;
}

// DllUnregisterServer
//   Removes the entries of both classes (never the CLSID key itself) and
//   unregisters the type library.
STDAPI DllUnregisterServer(void) {
    HMODULE module = nullptr;
    std::u16string path;
    if (HRESULT hr = ThisModule(module, path); FAILED(hr)) return hr;
    if (HRESULT hr = qelv::RunRegistrationResource(module, kSonalter2Script, path, false); FAILED(hr)) return hr;
    if (HRESULT hr = qelv::RunRegistrationResource(module, kDisplayScript, path, false); FAILED(hr)) return hr;
    ITypeLib* lib = nullptr;
    if (HRESULT hr = qelv::GetComponentTypeLib(&lib); FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    HRESULT hr = lib->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        lib->ReleaseTLibAttr(attr);
    }
    lib->Release();
    return hr;
}
