// Registry conveniences over the public Reg* functions.
#include "regutil.h"

#include <vector>

namespace qelv::registry {

LSTATUS ReadString(HKEY root, const std::u16string& path, LPCWSTR valueName, std::u16string& out) {
    out.clear();
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS) return status;
    std::vector<BYTE> data;
    DWORD type = REG_NONE;
    // Another process may grow the value between the two calls; ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        status = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) break;
        data.resize(size);
        status = RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) continue;
        data.resize(size);
        break;
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) out += char16_t(data[i] | (data[i + 1] << 8));
    while (!out.empty() && out.back() == 0) out.pop_back();
    return ERROR_SUCCESS;
}

LSTATUS WriteString(HKEY root, const std::u16string& path, LPCWSTR valueName, const std::u16string& text) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                                     &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    return status;
}

}  // namespace qelv::registry
