// Program identifiers and activation of in-process servers.
//
// A server module named by HKCR\CLSID\{clsid}\InprocServer32 is loaded the
// first time one of its classes is asked for and stays loaded, in a table
// shared by the whole process, until CoFreeUnusedLibraries finds that its
// DllCanUnloadNow answers S_OK.
#include "com_internal.h"
#include "regutil.h"

#include <list>
#include <mutex>
#include <new>
#include <vector>

using qelv::com::GuidToString;
using qelv::com::ParseGuid;
using qelv::registry::ReadString;

namespace {

struct LoadedModule {
    HMODULE handle = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    LPFNCANUNLOADNOW canUnloadNow = nullptr;  // absent: the module stays loaded
    std::vector<std::u16string> paths;        // every spelling it was asked for by
    int activations = 0;                      // DllGetClassObject calls under way
};

// Recursive: a module's DllCanUnloadNow or DllGetClassObject may itself activate.
std::recursive_mutex g_modulesMutex;
std::list<LoadedModule> g_modules;

template <typename Fn>
Fn EntryPoint(HMODULE module, const char* name) {
    FARPROC proc = GetProcAddress(module, name);
    // Entry points have fixed signatures; the detour through void(*)() is the
    // sanctioned way to convert between function pointer types.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// Finds or loads the module and counts one activation in progress on it.
HRESULT AcquireModule(const std::u16string& path, LoadedModule*& found) {
    std::lock_guard<std::recursive_mutex> lock(g_modulesMutex);
    for (LoadedModule& m : g_modules) {
        for (const std::u16string& p : m.paths) {
            if (p == path) {
                ++m.activations;
                found = &m;
                return S_OK;
            }
        }
    }
    SetLastError(0);
    HMODULE handle = LoadLibraryW(path.c_str());
    if (!handle) {
        DWORD err = GetLastError();
        return HRESULT_FROM_WIN32(err ? err : ERROR_MOD_NOT_FOUND);
    }
    for (LoadedModule& m : g_modules) {
        if (m.handle == handle) {  // the same file under another name: keep one reference
            FreeLibrary(handle);
            m.paths.push_back(path);
            ++m.activations;
            found = &m;
            return S_OK;
        }
    }
    auto getClassObject = EntryPoint<LPFNGETCLASSOBJECT>(handle, "DllGetClassObject");
    if (!getClassObject) {
        FreeLibrary(handle);
        return CO_E_ERRORINDLL;
    }
    LoadedModule& m = g_modules.emplace_back();
    m.handle = handle;
    m.getClassObject = getClassObject;
    m.canUnloadNow = EntryPoint<LPFNCANUNLOADNOW>(handle, "DllCanUnloadNow");
    m.paths.push_back(path);
    m.activations = 1;
    found = &m;
    return S_OK;
}

void ReleaseModule(LoadedModule* module) {
    std::lock_guard<std::recursive_mutex> lock(g_modulesMutex);
    --module->activations;
}

bool IsMissing(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_INVALID_DATA; }

}  // namespace

namespace qelv::com {

void FreeUnusedModules() {
    std::lock_guard<std::recursive_mutex> lock(g_modulesMutex);
    for (auto it = g_modules.begin(); it != g_modules.end();) {
        LPFNCANUNLOADNOW canUnloadNow = it->canUnloadNow;
        if (it->activations == 0 && canUnloadNow && canUnloadNow() == S_OK) {
            FreeLibrary(it->handle);
            it = g_modules.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace qelv::com

/***********************************************************************
 * CLSIDFromProgID
 * Looks up the class identifier registered for a program identifier.
 * PARAMS
 *   lpszProgID [in]  e.g. "Vendor.Class.2" or the version-independent "Vendor.Class"
 *   lpclsid    [out] the class identifier; CLSID_NULL on failure
 * RETURNS
 *   S_OK; CO_E_CLASSSTRING when the identifier is not registered (or its CLSID entry is not a
 *   braced identifier); E_INVALIDARG for NULL arguments; REGDB_E_READREGDB when the registry
 *   cannot be read.
 * NOTES
 *   Reads HKCR\<progid>\CLSID. When that key is missing, HKCR\<progid>\CurVer names the current
 *   versioned identifier, which is looked up in turn.
 */
STDAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    *lpclsid = GUID{};
    try {
        std::u16string progId(lpszProgID);
        // A few CurVer hops at most, so that a loop in the registry cannot hang the caller.
        for (int hop = 0; hop < 8; ++hop) {
            if (progId.empty() || progId.find(u'\\') != std::u16string::npos) return CO_E_CLASSSTRING;
            std::u16string text;
            LSTATUS s = ReadString(HKEY_CLASSES_ROOT, progId + u"\\CLSID", nullptr, text);
            if (s == ERROR_SUCCESS) return ParseGuid(text, *lpclsid) ? S_OK : CO_E_CLASSSTRING;
            if (!IsMissing(s)) return REGDB_E_READREGDB;
            s = ReadString(HKEY_CLASSES_ROOT, progId + u"\\CurVer", nullptr, text);
            if (s != ERROR_SUCCESS) return IsMissing(s) ? CO_E_CLASSSTRING : REGDB_E_READREGDB;
            progId = text;
        }
        return CO_E_CLASSSTRING;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

/***********************************************************************
 * ProgIDFromCLSID
 * Gives the program identifier registered for a class.
 * PARAMS
 *   clsid        [in]  the class identifier
 *   lplpszProgID [out] receives HKCR\CLSID\{clsid}\ProgID in task memory (free with
 *                      CoTaskMemFree); NULL on failure
 * RETURNS
 *   S_OK; REGDB_E_CLASSNOTREG when the class has no ProgID entry; E_INVALIDARG for a NULL
 *   lplpszProgID; REGDB_E_READREGDB; E_OUTOFMEMORY.
 */
STDAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    try {
        std::u16string progId;
        LSTATUS s = ReadString(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidToString(clsid) + u"\\ProgID", nullptr, progId);
        if (s != ERROR_SUCCESS) return IsMissing(s) ? REGDB_E_CLASSNOTREG : REGDB_E_READREGDB;
        if (progId.empty()) return REGDB_E_CLASSNOTREG;
        auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((progId.size() + 1) * sizeof(OLECHAR)));
        if (!out) return E_OUTOFMEMORY;
        progId.copy(out, progId.size());
        out[progId.size()] = 0;
        *lplpszProgID = out;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

/***********************************************************************
 * CoGetClassObject
 * Gets the class object of a class served by an in-process server.
 * PARAMS
 *   rclsid       [in]  the class identifier
 *   dwClsContext [in]  must include CLSCTX_INPROC_SERVER
 *   pvReserved   [in]  ignored
 *   riid         [in]  interface wanted on the class object, usually IID_IClassFactory
 *   ppv          [out] the class object; NULL on failure
 * RETURNS
 *   The status of the module's DllGetClassObject; E_INVALIDARG for a NULL ppv;
 *   CO_E_NOTINITIALIZED when the thread is in no apartment; REGDB_E_CLASSNOTREG when the class
 *   has no InprocServer32 entry or the context excludes in-process servers;
 *   HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) (0x8007007E) when the module cannot be loaded;
 *   CO_E_ERRORINDLL when it has no DllGetClassObject; REGDB_E_READREGDB.
 * NOTES
 *   The module path is the default value of HKCR\CLSID\{clsid}\InprocServer32. The module is
 *   loaded once per process. ThreadingModel is not consulted: objects are always created and
 *   called on the calling thread.
 */
STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv) {
    (void)pvReserved;
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!qelv::com::ThreadMayActivate()) return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    LoadedModule* module = nullptr;
    try {
        std::u16string path;
        LSTATUS s = ReadString(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidToString(rclsid) + u"\\InprocServer32", nullptr,
                               path);
        if (s != ERROR_SUCCESS) return IsMissing(s) ? REGDB_E_CLASSNOTREG : REGDB_E_READREGDB;
        if (path.empty()) return REGDB_E_CLASSNOTREG;
        HRESULT hr = AcquireModule(path, module);
        if (FAILED(hr)) return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // Called without the table lock, so the server may activate other classes.
    HRESULT hr = module->getClassObject(rclsid, riid, ppv);
    ReleaseModule(module);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

/***********************************************************************
 * CoCreateInstance
 * Creates one object of a class served by an in-process server.
 * PARAMS
 *   rclsid       [in]  the class identifier
 *   pUnkOuter    [in]  controlling unknown for aggregation, or NULL
 *   dwClsContext [in]  must include CLSCTX_INPROC_SERVER
 *   riid         [in]  interface wanted on the new object
 *   ppv          [out] the object; NULL on failure
 * RETURNS
 *   S_OK; E_POINTER for a NULL ppv; the statuses of CoGetClassObject; the class factory's
 *   CreateInstance status unchanged (CLASS_E_NOAGGREGATION, E_NOINTERFACE...).
 */
STDAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    if (!factory) return E_NOINTERFACE;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

/***********************************************************************
 * CoFreeUnusedLibraries
 * Unloads the in-process servers that are no longer in use.
 * NOTES
 *   Asks each loaded server's DllCanUnloadNow and unloads those answering S_OK, at once (Windows
 *   may delay the unloading). Servers without DllCanUnloadNow stay loaded.
 */
STDAPI_(void) CoFreeUnusedLibraries(void) { qelv::com::FreeUnusedModules(); }
