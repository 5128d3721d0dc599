// Identifiers as text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "com_internal.h"

namespace qelv::com {

namespace {

constexpr std::size_t kGuidChars = 38;  // without the terminating NUL

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool ReadHex(std::u16string_view text, std::size_t pos, std::size_t digits, std::uint32_t& value) {
    value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        int d = HexValue(text[pos + i]);
        if (d < 0) return false;
        value = value << 4 | std::uint32_t(d);
    }
    return true;
}

}  // namespace

std::u16string GuidToString(const GUID& g) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    std::u16string s;
    s.reserve(kGuidChars);
    auto put = [&](std::uint32_t v, int nibbles) {
        for (int shift = (nibbles - 1) * 4; shift >= 0; shift -= 4) s += digits[(v >> shift) & 0xF];
    };
    s += u'{';
    put(g.Data1, 8);
    s += u'-';
    put(g.Data2, 4);
    s += u'-';
    put(g.Data3, 4);
    s += u'-';
    put(g.Data4[0], 2);
    put(g.Data4[1], 2);
    s += u'-';
    for (int i = 2; i < 8; ++i) put(g.Data4[i], 2);
    s += u'}';
    return s;
}

bool ParseGuid(std::u16string_view text, GUID& guid) {
    if (text.size() != kGuidChars || text[0] != u'{' || text[37] != u'}' || text[9] != u'-' || text[14] != u'-' ||
        text[19] != u'-' || text[24] != u'-')
        return false;
    GUID g{};
    std::uint32_t v;
    if (!ReadHex(text, 1, 8, v)) return false;
    g.Data1 = v;
    if (!ReadHex(text, 10, 4, v)) return false;
    g.Data2 = USHORT(v);
    if (!ReadHex(text, 15, 4, v)) return false;
    g.Data3 = USHORT(v);
    static const std::size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, bytePos[i], 2, v)) return false;
        g.Data4[i] = BYTE(v);
    }
    guid = g;
    return true;
}

}  // namespace qelv::com

using qelv::com::GuidToString;
using qelv::com::ParseGuid;

/***********************************************************************
 * StringFromGUID2
 * Writes an identifier as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
 * PARAMS
 *   rguid  [in]  the identifier
 *   lpsz   [out] buffer for the text and its NUL
 *   cchMax [in]  buffer size in characters; 39 are needed
 * RETURNS
 *   39 (the characters written, NUL included); 0 when lpsz is NULL or cchMax is below 39,
 *   in which case nothing is written.
 */
STDAPI_(int) StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < 39) return 0;
    std::u16string s = GuidToString(rguid);
    for (std::size_t i = 0; i < s.size(); ++i) lpsz[i] = s[i];
    lpsz[s.size()] = 0;
    return 39;
}

/***********************************************************************
 * StringFromCLSID
 * Gives a class identifier's text in task memory.
 * PARAMS
 *   rclsid  [in]  the identifier
 *   lplpsz  [out] receives the text; free it with CoTaskMemFree
 * RETURNS
 *   S_OK; E_INVALIDARG for a NULL lplpsz; E_OUTOFMEMORY.
 */
STDAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz) return E_INVALIDARG;
    *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(OLECHAR)));
    if (!*lplpsz) return E_OUTOFMEMORY;
    StringFromGUID2(rclsid, *lplpsz, 39);
    return S_OK;
}

/***********************************************************************
 * StringFromIID
 * Gives an interface identifier's text in task memory.
 * PARAMS
 *   rclsid  [in]  the identifier
 *   lplpsz  [out] receives the text; free it with CoTaskMemFree
 * RETURNS
 *   S_OK; E_INVALIDARG for a NULL lplpsz; E_OUTOFMEMORY.
 */
STDAPI StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) { return StringFromCLSID(rclsid, lplpsz); }

/***********************************************************************
 * CLSIDFromString
 * Reads a class identifier from its braced text or from a program identifier.
 * PARAMS
 *   lpsz   [in]  "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", a registered program identifier, or NULL
 *   pclsid [out] the identifier; CLSID_NULL on failure
 * RETURNS
 *   S_OK (NULL lpsz gives CLSID_NULL); CO_E_CLASSSTRING for malformed text or an unknown program
 *   identifier; E_INVALIDARG for a NULL pclsid; REGDB_E_READREGDB when the registry cannot be
 *   read.
 * NOTES
 *   Text that does not start with '{' is looked up as a program identifier (CLSIDFromProgID).
 */
STDAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid) return E_INVALIDARG;
    *pclsid = GUID{};
    if (!lpsz) return S_OK;
    std::u16string_view text(lpsz);
    if (!text.empty() && text[0] == u'{') return ParseGuid(text, *pclsid) ? S_OK : CO_E_CLASSSTRING;
    HRESULT hr = CLSIDFromProgID(lpsz, pclsid);
    if (FAILED(hr)) {
        *pclsid = GUID{};
        return hr == REGDB_E_READREGDB || hr == E_OUTOFMEMORY ? hr : CO_E_CLASSSTRING;
    }
    return S_OK;
}

/***********************************************************************
 * IIDFromString
 * Reads an interface identifier from its braced text.
 * PARAMS
 *   lpsz  [in]  "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" or NULL
 *   lpiid [out] the identifier; IID_NULL on failure
 * RETURNS
 *   S_OK (NULL lpsz gives IID_NULL); E_INVALIDARG for malformed text or a NULL lpiid.
 * NOTES
 *   Unlike CLSIDFromString, no program identifier is looked up.
 */
STDAPI IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid) return E_INVALIDARG;
    *lpiid = GUID{};
    if (!lpsz) return S_OK;
    return ParseGuid(std::u16string_view(lpsz), *lpiid) ? S_OK : E_INVALIDARG;
}
