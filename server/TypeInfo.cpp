#include "server/TypeInfo.h"

namespace qelv {
namespace {

// The descriptions of one interface, made once and handed out again to every
// call: a dispatch call needs them each time, and making them anew costs more
// than many calls.
struct DescribedType {
    GUID guid;
    ITypeInfo* info;
    ITypeInfo* vtableView;
};
constexpr int kDescribedTypes = 8;

// Loads the type library from the module that contains this code: the server
// module in a host, or the executable a test links the component into.
struct LoadedTypeLib {
    ITypeLib* lib = nullptr;
    HRESULT status = E_FAIL;
    // Filled under the lock; an entry, once there, never changes.
    mutable SRWLOCK lock = SRWLOCK_INIT;
    mutable DescribedType described[kDescribedTypes] = {};
    mutable int describedCount = 0;

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
        for (int i = 0; i < describedCount; ++i) {
            described[i].info->Release();
            described[i].vtableView->Release();
        }
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

namespace {

// Looks guid up in the descriptions made so far; on a hit, hands out new references.
bool FindDescribed(const LoadedTypeLib& loaded, REFGUID guid, ITypeInfo** info, ITypeInfo** vtableView) {
    AcquireSRWLockExclusive(&loaded.lock);
    bool found = false;
    for (int i = 0; i < loaded.describedCount && !found; ++i) {
        if (IsEqualGUID(loaded.described[i].guid, guid)) {
            *info = loaded.described[i].info;
            (*info)->AddRef();
            if (vtableView) {
                *vtableView = loaded.described[i].vtableView;
                (*vtableView)->AddRef();
            }
            found = true;
        }
    }
    ReleaseSRWLockExclusive(&loaded.lock);
    return found;
}

// Keeps the new descriptions for later calls when there is room and no other
// thread has kept them first.
void KeepDescribed(const LoadedTypeLib& loaded, REFGUID guid, ITypeInfo* info, ITypeInfo* vtableView) {
    AcquireSRWLockExclusive(&loaded.lock);
    bool known = false;
    for (int i = 0; i < loaded.describedCount; ++i) known = known || IsEqualGUID(loaded.described[i].guid, guid);
    if (!known && loaded.describedCount < kDescribedTypes) {
        info->AddRef();
        vtableView->AddRef();
        loaded.described[loaded.describedCount++] = DescribedType{guid, info, vtableView};
    }
    ReleaseSRWLockExclusive(&loaded.lock);
}

}  // namespace

HRESULT GetComponentTypeInfo(REFGUID guid, ITypeInfo** info, ITypeInfo** vtableView) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (vtableView) *vtableView = nullptr;
    const LoadedTypeLib& loaded = TheTypeLib();
    if (FAILED(loaded.status)) return loaded.status;
    if (FindDescribed(loaded, guid, info, vtableView)) return S_OK;

    HRESULT hr = loaded.lib->GetTypeInfoOfGuid(guid, info);
    if (FAILED(hr)) return hr;
    // A dual interface is described twice; its vtable side is reference -1.
    ITypeInfo* view = nullptr;
    HREFTYPE ref = 0;
    if (FAILED((*info)->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
        FAILED((*info)->GetRefTypeInfo(ref, &view))) {
        (*info)->AddRef();
        view = *info;
    }
    KeepDescribed(loaded, guid, *info, view);
    if (vtableView) {
        *vtableView = view;
    } else {
        view->Release();
    }
    return S_OK;
}

}  // namespace qelv
