// Text conversion between UTF-16 and multi-byte text. Linux locales are UTF-8,
// so the ANSI and OEM code pages are UTF-8 here too.
#include "module_internal.h"

namespace {

bool IsUtf8CodePage(UINT codePage) {
    return codePage == CP_UTF8 || codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP;
}

// Decodes one UTF-8 sequence at text[i]. A malformed one is skipped as its
// maximal subpart (the longest prefix that a well-formed sequence could start
// with, at least one byte) and reported as false, so each such stretch becomes
// one replacement character. The second byte's range depends on the lead byte:
// that is where overlong forms, surrogates and values past U+10FFFF are cut off.
bool DecodeUtf8(std::string_view text, size_t& i, char32_t& c) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        c = b0;
        ++i;
        return true;
    }
    int extra;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1, c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2, c = b0 & 0x0F;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3, c = b0 & 0x07;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        ++i;  // a continuation byte, C0, C1 or F5..FF: never starts a sequence
        return false;
    }
    size_t k = 1;
    for (; k <= static_cast<size_t>(extra); ++k) {
        if (i + k >= text.size()) break;
        const auto b = static_cast<unsigned char>(text[i + k]);
        const bool fits = k == 1 ? (b >= low && b <= high) : (b & 0xC0) == 0x80;
        if (!fits) break;
        c = (c << 6) | (b & 0x3F);
    }
    i += k;
    return k == static_cast<size_t>(extra) + 1;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

// UTF-16 -> UTF-8; returns false at an unpaired surrogate when strict, else writes U+FFFD.
bool EncodeUtf8(std::u16string_view text, std::string& out, bool strict) {
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict) return false;
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return true;
}

// UTF-8 -> UTF-16; returns false at a malformed sequence when strict, else writes U+FFFD.
bool DecodeUtf8Text(std::string_view text, std::u16string& out, bool strict) {
    out.clear();
    size_t i = 0;
    while (i < text.size()) {
        char32_t c;
        if (!DecodeUtf8(text, i, c)) {
            if (strict) return false;
            c = 0xFFFD;
        }
        AppendUtf16(out, c);
    }
    return true;
}

// Copies a converted text to the caller's buffer with the Windows size rules.
template <class Char, class Text>
int Deliver(const Text& converted, Char* buffer, int capacity) {
    if (converted.size() > static_cast<size_t>(INT_MAX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int needed = static_cast<int>(converted.size());
    if (capacity == 0) return needed;
    if (needed > capacity) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int k = 0; k < needed; ++k) buffer[k] = static_cast<Char>(converted[static_cast<size_t>(k)]);
    return needed;
}

}  // namespace

// MultiByteToWideChar
//   Converts UTF-8 text to UTF-16.
//   CodePage        [in] CP_UTF8 (CP_ACP, CP_OEMCP and CP_THREAD_ACP are UTF-8 too)
//   dwFlags         [in] 0 or MB_ERR_INVALID_CHARS
//   lpMultiByteStr  [in] the text; cbMultiByte bytes, or -1 for NUL-terminated
//                        (the terminator is then converted and counted)
//   lpWideCharStr   [out] the result; cchWideChar characters, 0 to ask the size
//   RETURNS the characters written (or needed), 0 on failure with GetLastError:
//   ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS, ERROR_INSUFFICIENT_BUFFER,
//   ERROR_NO_UNICODE_TRANSLATION (malformed input with MB_ERR_INVALID_CHARS).
//   NOTES: without MB_ERR_INVALID_CHARS each maximal malformed stretch (a bad
//   byte, or the start of a sequence cut short) becomes one U+FFFD.
WINBASEAPI int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar) {
    if (!IsUtf8CodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    std::u16string converted;
    if (!DecodeUtf8Text(std::string_view(lpMultiByteStr, length), converted, (dwFlags & MB_ERR_INVALID_CHARS) != 0)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return Deliver(converted, lpWideCharStr, cchWideChar);
}

// WideCharToMultiByte
//   Converts UTF-16 text to UTF-8.
//   CodePage          [in] as MultiByteToWideChar
//   dwFlags           [in] 0 or WC_ERR_INVALID_CHARS
//   lpWideCharStr     [in] the text; cchWideChar characters, or -1 for NUL-terminated
//   lpMultiByteStr    [out] the result; cbMultiByte bytes, 0 to ask the size
//   lpDefaultChar, lpUsedDefaultChar [in] must be NULL for UTF-8
//   RETURNS the bytes written (or needed), 0 on failure with GetLastError as above.
//   NOTES: without WC_ERR_INVALID_CHARS an unpaired surrogate becomes U+FFFD.
WINBASEAPI int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar) {
    if (!IsUtf8CodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) || lpDefaultChar || lpUsedDefaultChar) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    size_t length = static_cast<size_t>(cchWideChar);
    if (cchWideChar == -1) length = std::char_traits<char16_t>::length(lpWideCharStr) + 1;
    std::string converted;
    if (!EncodeUtf8(std::u16string_view(lpWideCharStr, length), converted, (dwFlags & WC_ERR_INVALID_CHARS) != 0)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return Deliver(converted, lpMultiByteStr, cbMultiByte);
}

namespace qelv_rt {

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    EncodeUtf8(text, out, false);
    return out;
}

std::string Utf16ToUtf8(const char16_t* text) { return text ? Utf16ToUtf8(std::u16string_view(text)) : std::string(); }

bool Utf8ToUtf16(std::string_view text, std::u16string& out) { return DecodeUtf8Text(text, out, true); }

std::u16string Utf8ToUtf16Lossy(std::string_view text) {
    std::u16string out;
    DecodeUtf8Text(text, out, false);
    return out;
}

}  // namespace qelv_rt
