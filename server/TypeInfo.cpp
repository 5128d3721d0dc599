#include "server/TypeInfo.h"

namespace qelv {
namespace {

// Loads the type library from the module that contains this code: the server
// module in a host, or the executable a test links the component into.
struct LoadedTypeLib {
    ITypeLib* lib = nullptr;
    HRESULT status = E_FAIL;

    LoadedTypeLib() {
        HMODULE module = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(&GetComponentTypeLib), &module)) {
            status = HRESULT_FROM_WIN32(GetLastError());
            if (SUCCEEDED(status)) status = E_FAIL;
            return;
        }
        WCHAR path[4096];
        const DWORD length = GetModuleFileNameW(module, path, sizeof path / sizeof path[0]);
        if (length == 0 || length >= sizeof path / sizeof path[0]) {
            status = E_FAIL;
            return;
        }
        status = LoadTypeLibEx(path, REGKIND_NONE, &lib);
    }
    // Runs when the module unloads (or the program ends), so an unloaded module leaves nothing behind.
    ~LoadedTypeLib() {
        if (lib) lib->Release();
    }
    LoadedTypeLib(const LoadedTypeLib&) = delete;
    LoadedTypeLib& operator=(const LoadedTypeLib&) = delete;
};

const LoadedTypeLib& TheTypeLib() {
    // Kept while the module is loaded: the descriptions are shared by every object.
    static const LoadedTypeLib loaded;
    return loaded;
}

}  // namespace

HRESULT GetComponentTypeLib(ITypeLib** lib) {
    if (!lib) return E_POINTER;
    *lib = nullptr;
    const LoadedTypeLib& loaded = TheTypeLib();
    if (FAILED(loaded.status)) return loaded.status;
    *lib = loaded.lib;
    (*lib)->AddRef();
    return S_OK;
}

HRESULT GetComponentTypeInfo(REFGUID guid, ITypeInfo** info, ITypeInfo** vtableView) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (vtableView) *vtableView = nullptr;
    ITypeLib* lib = nullptr;
    HRESULT hr = GetComponentTypeLib(&lib);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(guid, info);
    lib->Release();
    if (FAILED(hr) || !vtableView) return hr;

    // A dual interface is described twice; its vtable side is reference -1.
    HREFTYPE ref = 0;
    if (SUCCEEDED((*info)->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
        SUCCEEDED((*info)->GetRefTypeInfo(ref, vtableView))) {
        return S_OK;
    }
    (*info)->AddRef();
    *vtableView = *info;
    return S_OK;
}

}  // namespace qelv
