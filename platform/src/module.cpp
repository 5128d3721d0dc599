// Modules: loading shared objects, finding their exports and file names. HMODULE is the
// module's base address (the main executable's too), so an address inside a module and
// the module's resources can be matched to it as on Windows. Handles from dlopen are kept
// here, with a count of the references LoadLibrary and GetModuleHandleEx handed out.
#include "module_internal.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace qelv_rt {

const void* ModuleBaseOfAddress(const void* address) {
    Dl_info info;
    if (address == nullptr || dladdr(address, &info) == 0) {
        return nullptr;
    }
    return info.dli_fbase;
}

const void* MainModuleBase() {
    // The program headers of the executable lie in its first mapping.
    static const void* const base = [] {
        const auto phdr = reinterpret_cast<const void*>(getauxval(AT_PHDR));
        return ModuleBaseOfAddress(phdr);
    }();
    return base;
}

bool IsModuleBase(const void* base) {
    return base != nullptr && ModuleBaseOfAddress(base) == base;
}

bool ModulePath(const void* base, std::string& path) {
    if (base == MainModuleBase()) {
        char buffer[PATH_MAX + 1];
        const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
        if (n <= 0) {
            return false;
        }
        path.assign(buffer, static_cast<size_t>(n));
        return true;
    }
    Dl_info info;
    if (base == nullptr || dladdr(base, &info) == 0 || info.dli_fbase != base || info.dli_fname == nullptr ||
        info.dli_fname[0] == '\0') {
        return false;
    }
    char* full = realpath(info.dli_fname, nullptr);
    path = full ? full : info.dli_fname;
    std::free(full);
    return true;
}

}  // namespace qelv_rt

namespace {

using qelv_rt::IsModuleBase;
using qelv_rt::MainModuleBase;

// References taken by LoadLibrary / GetModuleHandleEx, released by FreeLibrary.
struct ModuleRef {
    void* handle = nullptr;
    unsigned count = 0;
};

struct ModuleTable {
    std::mutex mutex;
    std::map<const void*, ModuleRef> refs;
};

ModuleTable& Table() {
    // Never destroyed: modules may be freed from other static destructors.
    static ModuleTable* const table = new ModuleTable;
    return *table;
}

// Opens another reference to an already loaded module; nullptr when base is not one.
void* ReferenceLoadedModule(const void* base, int extraFlags) {
    if (base == MainModuleBase()) {
        return dlopen(nullptr, RTLD_NOW | extraFlags);
    }
    Dl_info info;
    if (dladdr(base, &info) == 0 || info.dli_fbase != base || info.dli_fname == nullptr) {
        return nullptr;
    }
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | extraFlags);
}

void AddReference(const void* base, void* handle) {
    ModuleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    ModuleRef& ref = table.refs[base];
    ref.handle = handle;
    ++ref.count;
}

const void* BaseOfHandle(void* handle) {
    struct link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        return nullptr;
    }
    return qelv_rt::ModuleBaseOfAddress(map->l_ld);
}

}  // namespace

/******************************************************************************
 * LoadLibraryExW
 * Loads a shared object and returns its module handle (its base address).
 * PARAMS   lpLibFileName [in] path of the shared object (UTF-16)
 *          hFile         [in] reserved, must be NULL
 *          dwFlags       [in] LOAD_LIBRARY_* flags
 * RETURNS  the module handle; NULL with GetLastError ERROR_MOD_NOT_FOUND when the file
 *          cannot be loaded, ERROR_INVALID_PARAMETER for a NULL name or a non-NULL hFile.
 * NOTES    Every successful call takes a reference that FreeLibrary releases. Flags are
 *          accepted but change nothing: loading always runs the module's static
 *          initialisers, which is how its resources become visible, so a data-file load
 *          is an ordinary load here.
 */
HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
    (void)dwFlags;
    if (lpLibFileName == nullptr || hFile != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string path = qelv_rt::Utf16ToUtf8(lpLibFileName);
    if (path.empty()) {
        // dlopen("") would hand back the main program.
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        (void)dlerror();
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const void* base = BaseOfHandle(handle);
    if (base == nullptr) {
        dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    AddReference(base, handle);
    return reinterpret_cast<HMODULE>(const_cast<void*>(base));
}

/******************************************************************************
 * LoadLibraryW
 * Loads a shared object; LoadLibraryExW with no flags.
 */
HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    return LoadLibraryExW(lpLibFileName, nullptr, 0);
}

/******************************************************************************
 * FreeLibrary
 * Releases one reference taken by LoadLibrary(Ex)W or GetModuleHandleExW.
 * PARAMS   hLibModule [in] module handle
 * RETURNS  TRUE; FALSE with ERROR_MOD_NOT_FOUND when the handle is not a loaded module.
 * NOTES    The last reference unloads the module (its static destructors run). A module
 *          that was loaded with the program has no references to drop: TRUE.
 */
BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    const void* base = hLibModule;
    void* handle = nullptr;
    {
        ModuleTable& table = Table();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.refs.find(base);
        if (it != table.refs.end()) {
            handle = it->second.handle;
            if (--it->second.count == 0) {
                table.refs.erase(it);
            }
        }
    }
    if (handle != nullptr) {
        // Outside the lock: the module's destructors may free other modules.
        dlclose(handle);
        return TRUE;
    }
    if (IsModuleBase(base)) {
        return TRUE;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
}

/******************************************************************************
 * GetProcAddress
 * Finds an exported function or variable of a module.
 * PARAMS   hModule    [in] module handle; NULL for the main executable
 *          lpProcName [in] symbol name
 * RETURNS  the address; NULL with ERROR_PROC_NOT_FOUND when the module does not export
 *          the name, ERROR_MOD_NOT_FOUND when hModule is not a module.
 * NOTES    Ordinals (integer names) are not supported: ERROR_PROC_NOT_FOUND. As on Windows
 *          only the module's own exports count, not those of the libraries it uses.
 */
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    const void* base = hModule ? static_cast<const void*>(hModule) : MainModuleBase();
    if (!IsModuleBase(base)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (lpProcName == nullptr || (reinterpret_cast<ULONG_PTR>(lpProcName) >> 16) == 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* handle = ReferenceLoadedModule(base, 0);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(handle, lpProcName);
    dlclose(handle);
    if (symbol == nullptr || qelv_rt::ModuleBaseOfAddress(symbol) != base) {
        (void)dlerror();
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    FARPROC proc;
    static_assert(sizeof(proc) == sizeof(symbol));
    std::memcpy(&proc, &symbol, sizeof(proc));
    return proc;
}

/******************************************************************************
 * GetModuleHandleExW
 * Finds the handle of a loaded module.
 * PARAMS   dwFlags      [in] GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS: lpModuleName is an
 *                            address inside the module; _UNCHANGED_REFCOUNT: take no
 *                            reference; _PIN: keep the module loaded until the process ends
 *          lpModuleName [in] module file name (full path or file name), address, or NULL
 *                            for the main executable
 *          phModule     [out] the handle, NULL on failure
 * RETURNS  TRUE; FALSE with ERROR_INVALID_PARAMETER (NULL phModule, PIN together with
 *          UNCHANGED_REFCOUNT) or ERROR_MOD_NOT_FOUND.
 * NOTES    Without UNCHANGED_REFCOUNT or PIN the caller owns a reference to release with
 *          FreeLibrary, as on Windows. Names are compared case-sensitively (Linux file names).
 */
BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    if (phModule == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = nullptr;
    const DWORD known = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if ((dwFlags & ~known) != 0 || ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) &&
                                    (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const void* base = nullptr;
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        base = qelv_rt::ModuleBaseOfAddress(lpModuleName);
    } else if (lpModuleName == nullptr) {
        base = MainModuleBase();
    } else {
        const std::string wanted = qelv_rt::Utf16ToUtf8(lpModuleName);
        const bool byPath = wanted.find('/') != std::string::npos;
        struct Search {
            const std::string* wanted;
            bool byPath;
            const void* base;
        } search{&wanted, byPath, nullptr};
        dl_iterate_phdr(
            [](struct dl_phdr_info* info, size_t, void* data) -> int {
                auto* s = static_cast<Search*>(data);
                if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0' || info->dlpi_phnum == 0) {
                    return 0;
                }
                std::string name = info->dlpi_name;
                if (s->byPath) {
                    char* full = realpath(info->dlpi_name, nullptr);
                    char* want = realpath(s->wanted->c_str(), nullptr);
                    const bool same = full && want && std::strcmp(full, want) == 0;
                    std::free(full);
                    std::free(want);
                    if (!same) {
                        return 0;
                    }
                } else {
                    const size_t slash = name.rfind('/');
                    if (name.substr(slash == std::string::npos ? 0 : slash + 1) != *s->wanted) {
                        return 0;
                    }
                }
                // Any address of the object gives its base.
                s->base = qelv_rt::ModuleBaseOfAddress(
                    reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[0].p_vaddr));
                for (int i = 0; i < info->dlpi_phnum && s->base == nullptr; ++i) {
                    if (info->dlpi_phdr[i].p_type == PT_LOAD) {
                        s->base = qelv_rt::ModuleBaseOfAddress(
                            reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr));
                    }
                }
                return s->base != nullptr ? 1 : 0;
            },
            &search);
        base = search.base;
    }
    if (base == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) {
        if (void* handle = ReferenceLoadedModule(base, RTLD_NODELETE)) {
            dlclose(handle);  // the no-delete mark stays with the module
        }
    } else if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
        void* handle = ReferenceLoadedModule(base, 0);
        if (handle == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        AddReference(base, handle);
    }
    *phModule = reinterpret_cast<HMODULE>(const_cast<void*>(base));
    return TRUE;
}

/******************************************************************************
 * GetModuleFileNameW
 * Gives the full path of a module's file.
 * PARAMS   hModule    [in] module handle; NULL for the main executable
 *          lpFilename [out] buffer for the path
 *          nSize      [in] buffer size in characters
 * RETURNS  the path length without the terminator; nSize when the buffer is too small
 *          (the path is truncated to nSize - 1 characters plus the terminator and the last
 *          error is ERROR_INSUFFICIENT_BUFFER); 0 with ERROR_MOD_NOT_FOUND for a handle that
 *          is not a module, ERROR_INVALID_PARAMETER for a NULL buffer.
 * NOTES    The main executable's path comes from /proc/self/exe, so it is absolute even
 *          when the program was started through a relative path or a link.
 */
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    const void* base = hModule ? static_cast<const void*>(hModule) : MainModuleBase();
    std::string path;
    if (!qelv_rt::ModulePath(base, path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (lpFilename == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string wide = qelv_rt::Utf8ToUtf16Lossy(path);
    if (wide.size() >= nSize) {
        std::memcpy(lpFilename, wide.data(), (nSize - 1) * sizeof(WCHAR));
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, wide.data(), wide.size() * sizeof(WCHAR));
    lpFilename[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
}

/******************************************************************************
 * DisableThreadLibraryCalls
 * Asks not to be told about thread start and exit. Modules are not told here anyway.
 * RETURNS  TRUE
 */
BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule) {
    (void)hLibModule;
    return TRUE;
}

/***********************************************************************
 * GetModuleHandleW
 * The handle of a loaded module without taking a reference.
 * PARAMS   lpModuleName [in] as for GetModuleHandleExW; NULL for the main executable
 * RETURNS  the handle, or NULL with ERROR_MOD_NOT_FOUND.
 */
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, lpModuleName, &module) ? module : nullptr;
}
