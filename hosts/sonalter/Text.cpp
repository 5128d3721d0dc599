#include "Text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace sonalter {

std::u16string Utf16(std::string_view text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) return {};
    const int bytes = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
    std::u16string out(static_cast<size_t>(needed > 0 ? needed : 0), u'\0');
    if (needed > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, out.data(), needed);
    return out;
}

std::string Utf8(std::u16string_view text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) return {};
    const int units = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), needed, nullptr, nullptr);
    return out;
}

std::string Utf8(const OLECHAR* text) { return text ? Utf8(std::u16string_view(text)) : std::string(); }

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return a.size() == b.size() && Lower(a) == Lower(b); }

std::string Hex(HRESULT status) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(status));
    return buffer;
}

namespace {

template <typename T>
std::string Shortest(T value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::string FormatFloat(float value) { return Shortest(value); }
std::string FormatDouble(double value) { return Shortest(value); }

std::string Fixed(double value, int decimals) {
    if (!std::isfinite(value)) return FormatDouble(value);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

}  // namespace sonalter
