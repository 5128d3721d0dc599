#include "Strings.h"

#include <cstdio>

namespace qelv::python {

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    out.resize(static_cast<std::size_t>(n));
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string Utf8(const OLECHAR* s, std::size_t length) {
    if (!s || length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

std::string TakeBstr(BSTR& b) {
    std::string s = Utf8(b, b ? SysStringLen(b) : 0);
    SysFreeString(b);
    b = nullptr;
    return s;
}

std::string Hex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

}  // namespace qelv::python
