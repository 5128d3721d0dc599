// Resources of modules. Each module's resource compiler output registers its table from a
// static initializer (see restable.h); the tables are kept per module base address, which is
// the module's HMODULE. An HRSRC is the address of the table entry, checked against the
// registered tables before use, so a stale or made-up handle is refused rather than read.
#include <qelvsonalter2/platform/restable.h>

#include "module_internal.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

struct Table {
    const QELV_RESOURCE* entries;
    size_t count;
};

struct Registry {
    std::mutex mutex;
    std::map<const void*, std::vector<Table>> modules;
};

Registry& Resources() {
    // Never destroyed: modules unregister from their static destructors, which may run
    // after this library's.
    static Registry* const registry = new Registry;
    return *registry;
}

// A resource type or name as given to FindResourceW: an integer id or an upper-case string.
struct Key {
    bool isId = true;
    WORD id = 0;
    std::u16string name;
};

char16_t Upper(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
        return static_cast<char16_t>(c - 0x20);
    }
    return c;
}

Key MakeKey(LPCWSTR value) {
    Key key;
    if (IS_INTRESOURCE(value)) {
        key.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(value));
        return key;
    }
    // "#123" names the integer id 123.
    if (value[0] == u'#' && value[1] != 0) {
        unsigned long id = 0;
        const char16_t* p = value + 1;
        while (*p >= u'0' && *p <= u'9' && id <= 0xFFFF) {
            id = id * 10 + (*p - u'0');
            ++p;
        }
        if (*p == 0 && id <= 0xFFFF) {
            key.id = static_cast<WORD>(id);
            return key;
        }
    }
    key.isId = false;
    for (const char16_t* p = value; *p; ++p) {
        key.name += Upper(*p);
    }
    return key;
}

bool Matches(const Key& key, const WCHAR* name, WORD id) {
    if (key.isId) {
        return name == nullptr && id == key.id;
    }
    if (name == nullptr) {
        return false;
    }
    size_t i = 0;
    for (; name[i] != 0; ++i) {
        if (i >= key.name.size() || Upper(name[i]) != key.name[i]) {
            return false;
        }
    }
    return i == key.name.size();
}

// The registered entry hResInfo points at, if it is one.
const QELV_RESOURCE* ValidEntry(HRSRC hResInfo) {
    const auto* entry = reinterpret_cast<const QELV_RESOURCE*>(hResInfo);
    if (entry == nullptr) {
        return nullptr;
    }
    Registry& registry = Resources();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (const auto& [base, tables] : registry.modules) {
        for (const Table& table : tables) {
            for (size_t i = 0; i < table.count; ++i) {
                if (&table.entries[i] == entry) {
                    return entry;
                }
            }
        }
    }
    return nullptr;
}

const void* ModuleKey(HMODULE hModule) {
    return hModule ? static_cast<const void*>(hModule) : qelv_rt::MainModuleBase();
}

}  // namespace

/******************************************************************************
 * QelvRegisterModuleResources
 * Adds a module's resource table. See restable.h.
 */
void QelvRegisterModuleResources(const void* addressInModule, const QELV_RESOURCE* table, size_t count) {
    const void* base = qelv_rt::ModuleBaseOfAddress(addressInModule);
    if (base == nullptr || table == nullptr) {
        return;
    }
    Registry& registry = Resources();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.modules[base].push_back(Table{table, count});
}

/******************************************************************************
 * QelvUnregisterModuleResources
 * Removes a module's resource table. See restable.h.
 */
void QelvUnregisterModuleResources(const void* addressInModule, const QELV_RESOURCE* table) {
    const void* base = qelv_rt::ModuleBaseOfAddress(addressInModule);
    Registry& registry = Resources();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.modules.find(base);
    if (it == registry.modules.end()) {
        return;
    }
    std::erase_if(it->second, [table](const Table& t) { return t.entries == table; });
    if (it->second.empty()) {
        registry.modules.erase(it);
    }
}

/******************************************************************************
 * FindResourceW
 * Finds a resource of a module by name and type.
 * PARAMS   hModule [in] module handle; NULL for the main executable
 *          lpName  [in] MAKEINTRESOURCEW(id), "#id" or a name (case-insensitive)
 *          lpType  [in] RT_* / MAKEINTRESOURCEW(id), "#id" or a type name such as L"TYPELIB"
 * RETURNS  the resource handle; NULL with GetLastError ERROR_RESOURCE_DATA_NOT_FOUND (the
 *          module has no resources), ERROR_RESOURCE_TYPE_NOT_FOUND or
 *          ERROR_RESOURCE_NAME_NOT_FOUND.
 * NOTES    Languages are not told apart: the first entry with the name and type wins.
 */
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    const Key name = MakeKey(lpName);
    const Key type = MakeKey(lpType);
    Registry& registry = Resources();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.modules.find(ModuleKey(hModule));
    if (it == registry.modules.end()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    bool typeFound = false;
    for (const Table& table : it->second) {
        for (size_t i = 0; i < table.count; ++i) {
            const QELV_RESOURCE& entry = table.entries[i];
            if (!Matches(type, entry.typeName, entry.typeId)) {
                continue;
            }
            typeFound = true;
            if (Matches(name, entry.name, entry.nameId)) {
                return reinterpret_cast<HRSRC>(const_cast<QELV_RESOURCE*>(&entry));
            }
        }
    }
    SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

/******************************************************************************
 * LoadResource
 * Gives the handle of a resource's data.
 * PARAMS   hModule   [in] module handle (the resource handle already names the module)
 *          hResInfo  [in] handle from FindResourceW
 * RETURNS  the data handle, which LockResource turns into a pointer; NULL with
 *          ERROR_INVALID_HANDLE when hResInfo is not a resource handle.
 * NOTES    The data lives in the module's read-only storage: nothing to free, valid
 *          until the module is unloaded.
 */
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    (void)hModule;
    const QELV_RESOURCE* entry = ValidEntry(hResInfo);
    if (entry == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<void*>(entry->data);
}

/******************************************************************************
 * LockResource
 * Gives the address of a resource's data.
 * PARAMS   hResData [in] handle from LoadResource
 * RETURNS  the address (NULL for NULL)
 */
LPVOID WINAPI LockResource(HGLOBAL hResData) {
    return hResData;
}

/******************************************************************************
 * SizeofResource
 * Gives the size of a resource's data in bytes.
 * PARAMS   hModule  [in] module handle
 *          hResInfo [in] handle from FindResourceW
 * RETURNS  the size; 0 with ERROR_INVALID_HANDLE when hResInfo is not a resource handle.
 */
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    (void)hModule;
    const QELV_RESOURCE* entry = ValidEntry(hResInfo);
    if (entry == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return entry->size;
}

/******************************************************************************
 * LoadStringW
 * Loads a string from a module's string table.
 * PARAMS   hInstance    [in] module handle; NULL for the main executable
 *          uID          [in] string id
 *          lpBuffer     [out] buffer for the string, or (cchBufferMax 0) for a pointer to it
 *          cchBufferMax [in] buffer size in characters, or 0
 * RETURNS  the number of characters copied (without the terminator), or with cchBufferMax
 *          0 the length of the string whose read-only address was stored in lpBuffer;
 *          0 when the string does not exist (the last error tells why; the buffer then
 *          holds an empty string).
 * NOTES    Strings are kept as on Windows, in blocks of 16 (block id = id / 16 + 1, type
 *          RT_STRING) of length-prefixed UTF-16 strings. The pointer returned for
 *          cchBufferMax 0 is not NUL-terminated. Longer strings are truncated.
 */
int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (lpBuffer == nullptr || cchBufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto empty = [&](DWORD error) {
        if (cchBufferMax > 0) {
            lpBuffer[0] = 0;
        }
        SetLastError(error);
        return 0;
    };
    const WORD id = static_cast<WORD>(uID);
    HRSRC block = FindResourceW(hInstance, MAKEINTRESOURCEW((id >> 4) + 1), RT_STRING);
    if (block == nullptr) {
        return empty(GetLastError());
    }
    const auto* entry = reinterpret_cast<const QELV_RESOURCE*>(block);
    const auto* data = static_cast<const unsigned char*>(entry->data);
    const size_t size = entry->size;
    size_t offset = 0;
    WORD length = 0;
    for (unsigned i = 0; i <= (id & 15u); ++i) {
        offset += static_cast<size_t>(length) * sizeof(WCHAR);
        if (offset + sizeof(WORD) > size) {
            return empty(ERROR_RESOURCE_NAME_NOT_FOUND);
        }
        std::memcpy(&length, data + offset, sizeof(WORD));
        offset += sizeof(WORD);
    }
    if (length == 0 || offset + static_cast<size_t>(length) * sizeof(WCHAR) > size) {
        return empty(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    const auto* text = reinterpret_cast<const WCHAR*>(data + offset);
    if (cchBufferMax == 0) {
        std::memcpy(lpBuffer, &text, sizeof(text));
        return length;
    }
    const int copied = length < cchBufferMax ? length : cchBufferMax - 1;
    std::memcpy(lpBuffer, text, static_cast<size_t>(copied) * sizeof(WCHAR));
    lpBuffer[copied] = 0;
    return copied;
}
