// The registry functions: open key handles over the registry file.
//
// A handle remembers its root and the key names down to its key; each call
// finds the key again in the current contents, which may have been changed by
// another process meanwhile. A handle whose key is gone (deleted here or
// elsewhere) answers ERROR_KEY_DELETED from then on, even if a key of the same
// name appears again, as a Windows handle keeps pointing at the deleted key.
#include "registry_store.h"

#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

using namespace qelv::registry;

namespace {

// Access rights a handle may carry (the header defines the common ones).
constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kMaximumAllowed = 0x02000000;

REGSAM EffectiveAccess(REGSAM sam) {
    REGSAM access = sam & 0x00FFFFFF;
    if (sam & (kGenericAll | kMaximumAllowed)) access |= KEY_ALL_ACCESS;
    if (sam & (kGenericRead | kGenericExecute)) access |= KEY_READ;
    if (sam & kGenericWrite) access |= KEY_WRITE;
    return access;
}

struct OpenKey {
    int root = 0;
    std::vector<std::u16string> path;  // names below the root, as stored
    REGSAM access = 0;
    bool deleted = false;
};

// Everything below is guarded by g_mutex; the store is not thread-safe itself.
std::mutex g_mutex;
std::unordered_map<std::uintptr_t, OpenKey> g_handles;
std::uintptr_t g_nextHandle = 0x1000;

// The key a call works on, as resolved from its handle.
struct Target {
    OpenKey* open = nullptr;  // null for a predefined root
    int root = 0;
    std::vector<std::u16string> path;
    REGSAM access = KEY_ALL_ACCESS;
};

LSTATUS ResolveHandle(HKEY hKey, Target& target) {
    if (hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE) {
        target.root = hKey == HKEY_CLASSES_ROOT ? kClassesRoot : hKey == HKEY_CURRENT_USER ? kCurrentUser : kLocalMachine;
        return ERROR_SUCCESS;
    }
    auto it = g_handles.find(reinterpret_cast<std::uintptr_t>(hKey));
    if (it == g_handles.end()) return ERROR_INVALID_HANDLE;
    target.open = &it->second;
    target.root = it->second.root;
    target.path = it->second.path;
    target.access = it->second.access;
    return ERROR_SUCCESS;
}

// The handle's key in the given contents, or ERROR_KEY_DELETED.
LSTATUS FindTarget(Tree& tree, const Target& target, Key*& key) {
    if (target.open && target.open->deleted) return ERROR_KEY_DELETED;
    key = FindPath(tree.roots[target.root], target.path);
    if (!key) {
        if (target.open) target.open->deleted = true;
        return ERROR_KEY_DELETED;
    }
    return ERROR_SUCCESS;
}

// Splits "A\B\C" into names. NULL and "" give no names; one trailing
// backslash is allowed; empty names elsewhere are invalid, as are overlong ones.
LSTATUS SplitSubKey(LPCWSTR subKey, std::vector<std::u16string>& names) {
    names.clear();
    if (!subKey) return ERROR_SUCCESS;
    std::u16string_view rest(subKey);
    while (!rest.empty()) {
        std::size_t slash = rest.find(u'\\');
        std::u16string_view name = rest.substr(0, slash);
        if (!IsValidKeyName(name)) return ERROR_INVALID_PARAMETER;
        names.emplace_back(name);
        if (slash == std::u16string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return ERROR_SUCCESS;
}

HKEY NewHandle(int root, std::vector<std::u16string> path, REGSAM access) {
    std::uintptr_t value = g_nextHandle;
    g_nextHandle += 4;
    g_handles[value] = OpenKey{root, std::move(path), access, false};
    return reinterpret_cast<HKEY>(value);
}

// After a deletion, handles whose key no longer exists stay deleted for good.
void MarkDeletedHandles(Tree& tree) {
    for (auto& [value, open] : g_handles) {
        if (!open.deleted && !FindPath(tree.roots[open.root], open.path)) open.deleted = true;
    }
}

std::u16string_view ValueName(LPCWSTR name) { return name ? std::u16string_view(name) : std::u16string_view(); }

// Runs body, turning an allocation failure into the Windows status.
template <typename Body>
LSTATUS Guarded(Body body) {
    try {
        std::lock_guard<std::mutex> lock(g_mutex);
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_INVALID_PARAMETER;
    }
}

}  // namespace

/***********************************************************************
 * RegOpenKeyExW
 * Opens an existing key below an open key or a predefined root.
 * PARAMS
 *   hKey       [in]  open key or HKEY_CLASSES_ROOT / HKEY_CURRENT_USER / HKEY_LOCAL_MACHINE
 *   lpSubKey   [in]  backslash-separated path below hKey; NULL or "" opens hKey's own key again
 *   ulOptions  [in]  ignored
 *   samDesired [in]  access rights for the new handle (KEY_READ, KEY_WRITE, KEY_ALL_ACCESS...)
 *   phkResult  [out] the new handle, NULL on failure
 * RETURNS
 *   ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when the key does not exist; ERROR_INVALID_HANDLE;
 *   ERROR_KEY_DELETED when hKey's key was deleted; ERROR_INVALID_PARAMETER for a NULL phkResult
 *   or a malformed path; ERROR_BADDB when the registry file cannot be parsed.
 * NOTES
 *   Names are case-insensitive. The handle must be closed with RegCloseKey.
 */
LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    (void)ulOptions;
    if (phkResult) *phkResult = nullptr;
    return Guarded([&]() -> LSTATUS {
        Target target;
        if (LSTATUS s = ResolveHandle(hKey, target)) return s;
        if (!phkResult) return ERROR_INVALID_PARAMETER;
        std::vector<std::u16string> names;
        if (LSTATUS s = SplitSubKey(lpSubKey, names)) return s;
        const Tree* view = nullptr;
        if (LSTATUS s = TheStore().Read(&view)) return s;
        Tree& tree = const_cast<Tree&>(*view);
        Key* base = nullptr;
        if (LSTATUS s = FindTarget(tree, target, base)) return s;
        std::vector<std::u16string> path = target.path;
        Key* key = base;
        for (const std::u16string& name : names) {
            key = key->FindSubkey(name);
            if (!key) return ERROR_FILE_NOT_FOUND;
            path.push_back(key->name);
        }
        *phkResult = NewHandle(target.root, std::move(path), EffectiveAccess(samDesired));
        return ERROR_SUCCESS;
    });
}

/***********************************************************************
 * RegCreateKeyExW
 * Opens a key, creating it and any missing keys on the way.
 * PARAMS
 *   hKey                 [in]  open key or predefined root
 *   lpSubKey             [in]  backslash-separated path below hKey
 *   Reserved             [in]  ignored
 *   lpClass              [in]  ignored (keys carry no class)
 *   dwOptions            [in]  ignored: every key is kept in the registry file
 *   samDesired           [in]  access rights for the new handle
 *   lpSecurityAttributes [in]  ignored
 *   phkResult            [out] the new handle, NULL on failure
 *   lpdwDisposition      [out] optional: REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY
 * RETURNS
 *   ERROR_SUCCESS; ERROR_INVALID_HANDLE; ERROR_KEY_DELETED; ERROR_INVALID_PARAMETER for a NULL
 *   phkResult or a malformed path (empty or longer than 255 characters names);
 *   ERROR_ACCESS_DENIED when a key must be created under a handle without KEY_CREATE_SUB_KEY;
 *   ERROR_BADDB; ERROR_ACCESS_DENIED / ERROR_CANTWRITE when the file cannot be written.
 * NOTES
 *   A NULL lpSubKey behaves like "", giving a new handle to hKey's key.
 */
LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    (void)Reserved, (void)lpClass, (void)dwOptions, (void)lpSecurityAttributes;
    if (phkResult) *phkResult = nullptr;
    return Guarded([&]() -> LSTATUS {
        Target target;
        if (LSTATUS s = ResolveHandle(hKey, target)) return s;
        if (!phkResult) return ERROR_INVALID_PARAMETER;
        std::vector<std::u16string> names;
        if (LSTATUS s = SplitSubKey(lpSubKey, names)) return s;
        if (target.path.size() + names.size() > kMaxDepth) return ERROR_INVALID_PARAMETER;

        // Most calls find the key already there; only a real creation takes the lock.
        const Tree* view = nullptr;
        if (LSTATUS s = TheStore().Read(&view)) return s;
        Key* base = nullptr;
        if (LSTATUS s = FindTarget(const_cast<Tree&>(*view), target, base)) return s;
        std::vector<std::u16string> path = target.path;
        Key* key = base;
        for (const std::u16string& name : names) {
            key = key->FindSubkey(name);
            if (!key) break;
            path.push_back(key->name);
        }
        DWORD disposition = REG_OPENED_EXISTING_KEY;
        if (!key) {
            if (!(target.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
            LSTATUS s = TheStore().Modify([&](Tree& tree, bool& changed) -> LSTATUS {
                Key* at = nullptr;
                if (LSTATUS f = FindTarget(tree, target, at)) return f;
                path = target.path;
                for (const std::u16string& name : names) {
                    Key* next = at->FindSubkey(name);
                    if (!next) {
                        next = at->AddSubkey(name);
                        changed = true;
                    }
                    path.push_back(next->name);
                    at = next;
                }
                return ERROR_SUCCESS;
            });
            if (s) return s;
            disposition = REG_CREATED_NEW_KEY;
        }
        *phkResult = NewHandle(target.root, std::move(path), EffectiveAccess(samDesired));
        if (lpdwDisposition) *lpdwDisposition = disposition;
        return ERROR_SUCCESS;
    });
}

/***********************************************************************
 * RegSetValueExW
 * Stores a value under a key, replacing one of the same name.
 * PARAMS
 *   hKey        [in] open key (with KEY_SET_VALUE) or predefined root
 *   lpValueName [in] value name; NULL or "" is the key's default value
 *   Reserved    [in] ignored
 *   dwType      [in] REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY or any other type number
 *   lpData      [in] the bytes to store
 *   cbData      [in] their count; for strings include the terminating NUL (2 bytes)
 * RETURNS
 *   ERROR_SUCCESS; ERROR_INVALID_HANDLE; ERROR_KEY_DELETED; ERROR_ACCESS_DENIED without
 *   KEY_SET_VALUE; ERROR_NOACCESS (998) for NULL lpData with a non-zero cbData; ERROR_BADDB;
 *   ERROR_CANTWRITE when the file cannot be written.
 * NOTES
 *   The bytes are kept exactly as given, as Windows does: a string stored without its NUL is
 *   read back without it.
 */
LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                              DWORD cbData) {
    (void)Reserved;
    return Guarded([&]() -> LSTATUS {
        Target target;
        if (LSTATUS s = ResolveHandle(hKey, target)) return s;
        if (!(target.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        if (!lpData && cbData) return ERROR_NOACCESS;
        Value value;
        value.name = ValueName(lpValueName);
        value.type = dwType;
        if (cbData) value.data.assign(lpData, lpData + cbData);
        LSTATUS s = TheStore().Modify([&](Tree& tree, bool& changed) -> LSTATUS {
            Key* key = nullptr;
            if (LSTATUS f = FindTarget(tree, target, key)) return f;
            if (Value* existing = key->FindValue(value.name)) {
                changed = existing->type != value.type || existing->data != value.data;
                existing->type = value.type;
                existing->data = value.data;  // keeps the name's existing spelling
            } else {
                key->values.push_back(value);
                changed = true;
            }
            return ERROR_SUCCESS;
        });
        return s;
    });
}

/***********************************************************************
 * RegQueryValueExW
 * Reads a value's type and bytes, or just their size.
 * PARAMS
 *   hKey        [in]     open key (with KEY_QUERY_VALUE) or predefined root
 *   lpValueName [in]     value name; NULL or "" is the default value
 *   lpReserved  [in]     must be NULL
 *   lpType      [out]    optional: the value's type
 *   lpData      [out]    optional: receives the bytes
 *   lpcbData    [in/out] buffer size in bytes; receives the value's size. May be NULL only
 *                        when lpData is NULL.
 * RETURNS
 *   ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when the value does not exist (also for a key without a
 *   default value); ERROR_MORE_DATA with *lpcbData = the size needed when the buffer is too
 *   small; ERROR_INVALID_PARAMETER for a non-NULL lpReserved or lpData without lpcbData;
 *   ERROR_INVALID_HANDLE; ERROR_KEY_DELETED; ERROR_ACCESS_DENIED; ERROR_BADDB.
 * NOTES
 *   String sizes count the terminating NUL the value was stored with. With lpData NULL the
 *   call only reports the size.
 */
LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    return Guarded([&]() -> LSTATUS {
        Target target;
        if (LSTATUS s = ResolveHandle(hKey, target)) return s;
        if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
        if (!(target.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
        const Tree* view = nullptr;
        if (LSTATUS s = TheStore().Read(&view)) return s;
        Key* key = nullptr;
        if (LSTATUS s = FindTarget(const_cast<Tree&>(*view), target, key)) return s;
        const Value* value = key->FindValue(ValueName(lpValueName));
        if (!value) return ERROR_FILE_NOT_FOUND;
        if (lpType) *lpType = value->type;
        if (!lpcbData) return ERROR_SUCCESS;
        DWORD size = static_cast<DWORD>(value->data.size());
        if (lpData && *lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (lpData && size) std::memcpy(lpData, value->data.data(), size);
        *lpcbData = size;
        return ERROR_SUCCESS;
    });
}

/***********************************************************************
 * RegEnumKeyExW
 * Gives the name of one subkey by index.
 * PARAMS
 *   hKey              [in]     open key (with KEY_ENUMERATE_SUB_KEYS) or predefined root
 *   dwIndex           [in]     0 for the first subkey, then 1, 2, ...
 *   lpName            [out]    receives the NUL-terminated name
 *   lpcchName         [in/out] buffer size in characters including the NUL; receives the
 *                              name's length without the NUL
 *   lpReserved        [in]     must be NULL
 *   lpClass           [out]    optional: receives "" (keys carry no class)
 *   lpcchClass        [in/out] size of lpClass; required with lpClass; receives 0
 *   lpftLastWriteTime [out]    optional: the registry file's last write time
 * RETURNS
 *   ERROR_SUCCESS; ERROR_NO_MORE_ITEMS past the last subkey; ERROR_MORE_DATA when the name does
 *   not fit; ERROR_INVALID_PARAMETER for a NULL lpName / lpcchName, a non-NULL lpReserved or
 *   lpClass without lpcchClass; ERROR_INVALID_HANDLE; ERROR_KEY_DELETED; ERROR_ACCESS_DENIED;
 *   ERROR_BADDB.
 * NOTES
 *   Subkeys come in case-insensitive name order. On ERROR_MORE_DATA *lpcchName receives the
 *   size needed including the NUL and the buffer is left alone. The write time is that of the
 *   whole file, not of the key.
 */
LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return Guarded([&]() -> LSTATUS {
        Target target;
        if (LSTATUS s = ResolveHandle(hKey, target)) return s;
        if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
        if (!(target.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
        const Tree* view = nullptr;
        if (LSTATUS s = TheStore().Read(&view)) return s;
        Key* key = nullptr;
        if (LSTATUS s = FindTarget(const_cast<Tree&>(*view), target, key)) return s;
        if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
        const std::u16string& name = key->subkeys[dwIndex]->name;
        if (*lpcchName < name.size() + 1) {
            *lpcchName = static_cast<DWORD>(name.size() + 1);
            return ERROR_MORE_DATA;
        }
        if (lpClass && *lpcchClass < 1) return ERROR_MORE_DATA;
        std::memcpy(lpName, name.data(), name.size() * sizeof(WCHAR));
        lpName[name.size()] = 0;
        *lpcchName = static_cast<DWORD>(name.size());
        if (lpClass) {
            lpClass[0] = 0;
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime) {
            const std::uint64_t t = TheStore().LastWriteTime();
            lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(t);
            lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(t >> 32);
        }
        return ERROR_SUCCESS;
    });
}

namespace {

// The key at names below the handle's key: its full path from the root and the key.
LSTATUS FindBelow(Tree& tree, const Target& target, const std::vector<std::u16string>& names,
                  std::vector<std::u16string>& full, Key*& key) {
    Key* base = nullptr;
    if (LSTATUS f = FindTarget(tree, target, base)) return f;
    full = target.path;
    full.insert(full.end(), names.begin(), names.end());
    key = FindPath(tree.roots[target.root], full);
    return key ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Removes the key at full (not a root) with everything below it; open handles to
// it answer ERROR_KEY_DELETED from then on.
void RemoveKeyAt(Tree& tree, const Target& target, std::vector<std::u16string> full) {
    const std::u16string leaf = full.back();
    full.pop_back();
    FindPath(tree.roots[target.root], full)->RemoveSubkey(leaf);
    MarkDeletedHandles(tree);
}

}  // namespace

/***********************************************************************
 * RegDeleteKeyW
 * Deletes a key that has no subkeys, with its values.
 * PARAMS
 *   hKey     [in] open key or predefined root (its access rights do not matter)
 *   lpSubKey [in] path of the key below hKey; "" deletes hKey's own key
 * RETURNS
 *   ERROR_SUCCESS; ERROR_ACCESS_DENIED when the key has subkeys or is a predefined root;
 *   ERROR_FILE_NOT_FOUND; ERROR_INVALID_PARAMETER for a NULL or malformed lpSubKey;
 *   ERROR_INVALID_HANDLE; ERROR_KEY_DELETED; ERROR_BADDB; ERROR_CANTWRITE.
 * NOTES
 *   Open handles to the deleted key answer ERROR_KEY_DELETED afterwards.
 */
LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    return Guarded([&]() -> LSTATUS {
        Target target;
        if (LSTATUS s = ResolveHandle(hKey, target)) return s;
        if (!lpSubKey) return ERROR_INVALID_PARAMETER;
        std::vector<std::u16string> names;
        if (LSTATUS s = SplitSubKey(lpSubKey, names)) return s;
        if (target.path.empty() && names.empty()) return ERROR_ACCESS_DENIED;
        return TheStore().Modify([&](Tree& tree, bool& changed) -> LSTATUS {
            std::vector<std::u16string> full;
            Key* key = nullptr;
            if (LSTATUS f = FindBelow(tree, target, names, full, key)) return f;
            if (!key->subkeys.empty()) return ERROR_ACCESS_DENIED;
            RemoveKeyAt(tree, target, full);
            changed = true;
            return ERROR_SUCCESS;
        });
    });
}

/***********************************************************************
 * RegDeleteTreeW
 * Deletes a key with everything below it, or empties a key.
 * PARAMS
 *   hKey     [in] open key or predefined root
 *   lpSubKey [in] path below hKey of the key to delete whole; NULL deletes only the subkeys and
 *                 values of hKey's own key
 * RETURNS
 *   ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when the key does not exist; ERROR_ACCESS_DENIED for
 *   deleting a predefined root itself; ERROR_INVALID_PARAMETER for a malformed path;
 *   ERROR_INVALID_HANDLE; ERROR_KEY_DELETED; ERROR_BADDB; ERROR_CANTWRITE.
 * NOTES
 *   Happens in one step: other processes see the tree either whole or gone.
 */
LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return Guarded([&]() -> LSTATUS {
        Target target;
        if (LSTATUS s = ResolveHandle(hKey, target)) return s;
        std::vector<std::u16string> names;
        if (LSTATUS s = SplitSubKey(lpSubKey, names)) return s;
        bool wholeKey = lpSubKey != nullptr;
        if (wholeKey && target.path.empty() && names.empty()) return ERROR_ACCESS_DENIED;
        return TheStore().Modify([&](Tree& tree, bool& changed) -> LSTATUS {
            std::vector<std::u16string> full;
            Key* key = nullptr;
            if (LSTATUS f = FindBelow(tree, target, names, full, key)) return f;
            if (wholeKey) {
                RemoveKeyAt(tree, target, full);
                changed = true;
                return ERROR_SUCCESS;
            }
            changed = !key->subkeys.empty() || !key->values.empty();
            key->subkeys.clear();
            key->values.clear();
            MarkDeletedHandles(tree);
            return ERROR_SUCCESS;
        });
    });
}

/***********************************************************************
 * RegDeleteValueW
 * Removes one value from a key.
 * PARAMS
 *   hKey        [in] open key (with KEY_SET_VALUE) or predefined root
 *   lpValueName [in] value name; NULL or "" is the default value
 * RETURNS
 *   ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when there is no such value; ERROR_INVALID_HANDLE;
 *   ERROR_KEY_DELETED; ERROR_ACCESS_DENIED; ERROR_BADDB; ERROR_CANTWRITE.
 */
LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return Guarded([&]() -> LSTATUS {
        Target target;
        if (LSTATUS s = ResolveHandle(hKey, target)) return s;
        if (!(target.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
        return TheStore().Modify([&](Tree& tree, bool& changed) -> LSTATUS {
            Key* key = nullptr;
            if (LSTATUS f = FindTarget(tree, target, key)) return f;
            if (!key->RemoveValue(ValueName(lpValueName))) return ERROR_FILE_NOT_FOUND;
            changed = true;
            return ERROR_SUCCESS;
        });
    });
}

/***********************************************************************
 * RegCloseKey
 * Releases a key handle.
 * PARAMS
 *   hKey [in] handle from RegOpenKeyExW / RegCreateKeyExW, or a predefined root
 * RETURNS
 *   ERROR_SUCCESS (also for predefined roots and handles whose key was deleted);
 *   ERROR_INVALID_HANDLE for NULL, unknown or already closed handles.
 * NOTES
 *   Never touches the registry file, so it works even when the file is corrupt.
 */
LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    return Guarded([&]() -> LSTATUS {
        if (hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
        return g_handles.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
}
