// Type-library registration: the HKCR\TypeLib\{libid}\<major>.<minor> entries
// and the HKCR\Interface\{iid} entries of the library's automation interfaces,
// laid out as Windows writes them.
#include "com_internal.h"
#include "regutil.h"

#include <cstring>
#include <new>
#include <vector>

using qelv::com::GuidToString;
using qelv::com::ParseGuid;
using qelv::registry::ReadString;
using qelv::registry::WriteString;

namespace {

// Proxy/stub classes Windows names for automation interfaces: the type-library
// marshaler for dual and [oleautomation] interfaces, the dispatch marshaler
// for dispinterfaces.
const char16_t kOleAutomationProxy[] = u"{00020424-0000-0000-C000-000000000046}";
const char16_t kDispatchProxy[] = u"{00020420-0000-0000-C000-000000000046}";

// Version numbers and locales appear in hex without leading zeros ("2.0", "a.1", "409").
std::u16string Hex(unsigned long value, bool upper = false) {
    const char16_t* digits = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
    std::u16string s;
    do {
        s.insert(s.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value);
    return s;
}

std::u16string VersionName(WORD major, WORD minor) { return Hex(major) + u"." + Hex(minor); }

// Enumerations handed over by a caller or a type library may hold any number;
// reading their bytes as an integer keeps that well defined.
template <typename Enum>
int RawValue(const Enum& value) {
    int raw = 0;
    static_assert(sizeof(Enum) == sizeof(int));
    std::memcpy(&raw, &value, sizeof raw);
    return raw;
}

const char16_t* PlatformName(int kind) {
    switch (kind) {
        case SYS_WIN16: return u"win16";
        case SYS_WIN32: return u"win32";
        case SYS_MAC: return u"mac";
        case SYS_WIN64: return u"win64";
        default: return nullptr;
    }
}

// Owns a BSTR handed out by a type description.
struct OwnedBstr {
    BSTR value = nullptr;
    ~OwnedBstr() { SysFreeString(value); }
    std::u16string Text() const { return value ? std::u16string(value, SysStringLen(value)) : std::u16string(); }
};

HRESULT RegistryFailure(LSTATUS status) {
    return status == ERROR_NOT_ENOUGH_MEMORY ? E_OUTOFMEMORY : TYPE_E_REGISTRYACCESS;
}

// Names of the subkeys of HKCR\path (empty when the key is missing).
LSTATUS SubkeyNames(const std::u16string& path, std::vector<std::u16string>& names) {
    names.clear();
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return status;
    WCHAR name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return status == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : status;
}

bool SameText(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? char16_t(a[i] + 32) : a[i];
        char16_t y = b[i] >= u'A' && b[i] <= u'Z' ? char16_t(b[i] + 32) : b[i];
        if (x != y) return false;
    }
    return true;
}

// Parses "<hex>.<hex>" as written for library versions.
bool ParseVersionName(const std::u16string& text, WORD& major, WORD& minor) {
    std::size_t dot = text.find(u'.');
    if (dot == std::u16string::npos) return false;
    auto parse = [](std::u16string_view part, WORD& out) {
        if (part.empty() || part.size() > 4) return false;
        unsigned value = 0;
        for (char16_t c : part) {
            int d = (c >= u'0' && c <= u'9') ? c - u'0' : (c >= u'a' && c <= u'f') ? c - u'a' + 10
                                                           : (c >= u'A' && c <= u'F') ? c - u'A' + 10 : -1;
            if (d < 0) return false;
            value = value * 16 + unsigned(d);
        }
        out = WORD(value);
        return true;
    };
    std::u16string_view view(text);
    return parse(view.substr(0, dot), major) && parse(view.substr(dot + 1), minor);
}

// Registers one type description when it is an automation interface.
HRESULT RegisterInterface(ITypeInfo* info, const std::u16string& libId, const std::u16string& version) {
    TYPEATTR* attr = nullptr;
    HRESULT hr = info->GetTypeAttr(&attr);
    if (FAILED(hr)) return hr;
    if (!attr) return TYPE_E_INVALIDSTATE;
    GUID iid = attr->guid;
    int kind = RawValue(attr->typekind);
    WORD flags = attr->wTypeFlags;
    info->ReleaseTypeAttr(attr);

    const char16_t* proxy = nullptr;
    if (kind == TKIND_DISPATCH)
        proxy = (flags & TYPEFLAG_FDUAL) ? kOleAutomationProxy : kDispatchProxy;
    else if (kind == TKIND_INTERFACE && (flags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)))
        proxy = kOleAutomationProxy;
    if (!proxy) return S_OK;  // other kinds of type need no registration

    OwnedBstr name;
    hr = info->GetDocumentation(MEMBERID_NIL, &name.value, nullptr, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    std::u16string key = u"Interface\\" + GuidToString(iid);
    LSTATUS s = WriteString(HKEY_CLASSES_ROOT, key, nullptr, name.Text());
    if (!s) s = WriteString(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid", nullptr, proxy);
    if (!s) s = WriteString(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid32", nullptr, proxy);
    if (!s) s = WriteString(HKEY_CLASSES_ROOT, key + u"\\TypeLib", nullptr, libId);
    if (!s) s = WriteString(HKEY_CLASSES_ROOT, key + u"\\TypeLib", u"Version", version);
    return s ? RegistryFailure(s) : S_OK;
}

// Removes the Interface entries that point at this library version.
LSTATUS RemoveInterfaces(const GUID& libId, const std::u16string& version) {
    std::vector<std::u16string> names;
    LSTATUS status = SubkeyNames(u"Interface", names);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    for (const std::u16string& name : names) {
        std::u16string typeLibKey = u"Interface\\" + name + u"\\TypeLib";
        std::u16string text, registeredVersion;
        GUID registeredLib;
        if (ReadString(HKEY_CLASSES_ROOT, typeLibKey, nullptr, text) != ERROR_SUCCESS) continue;
        if (!ParseGuid(text, registeredLib) || registeredLib != libId) continue;
        if (ReadString(HKEY_CLASSES_ROOT, typeLibKey, u"Version", registeredVersion) != ERROR_SUCCESS) continue;
        if (!SameText(registeredVersion, version)) continue;
        status = RegDeleteTreeW(HKEY_CLASSES_ROOT, (u"Interface\\" + name).c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
    }
    return ERROR_SUCCESS;
}

}  // namespace

/***********************************************************************
 * RegisterTypeLib
 * Writes a type library's registry entries.
 * PARAMS
 *   ptlib      [in] the library
 *   szFullPath [in] file the library is loaded from (a module holding it as resource 1 or a
 *                   library file)
 *   szHelpDir  [in] folder of its help file, or NULL
 * RETURNS
 *   S_OK; E_INVALIDARG for NULL ptlib or szFullPath or an unknown SYSKIND; the failure of the
 *   library's own methods; TYPE_E_REGISTRYACCESS when the registry cannot be written.
 * NOTES
 *   Writes, with {L} the library identifier and M.m its version in hex:
 *     TypeLib\{L}\M.m            = the library's help string (its name when it has none)
 *     TypeLib\{L}\M.m\FLAGS      = the library flags in hex
 *     TypeLib\{L}\M.m\HELPDIR    = szHelpDir ("" when NULL)
 *     TypeLib\{L}\M.m\<lcid>\win64 = szFullPath, <lcid> in hex ("409" for 1033, "0" for neutral)
 *   and, for each dual or [oleautomation] interface and each dispinterface {I}:
 *     Interface\{I} = its name; ProxyStubClsid and ProxyStubClsid32 = the marshaler's class;
 *     Interface\{I}\TypeLib = {L} with the value Version = "M.m".
 *   Coclasses are not registered here; that is the module's own registration.
 */
WINOLEAUTAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
    if (!ptlib || !szFullPath) return E_INVALIDARG;
    try {
        TLIBATTR* attr = nullptr;
        HRESULT hr = ptlib->GetLibAttr(&attr);
        if (FAILED(hr)) return hr;
        if (!attr) return TYPE_E_INVALIDSTATE;
        TLIBATTR lib = *attr;
        ptlib->ReleaseTLibAttr(attr);
        const char16_t* platform = PlatformName(RawValue(lib.syskind));
        if (!platform) return E_INVALIDARG;

        OwnedBstr name, doc;
        hr = ptlib->GetDocumentation(-1, &name.value, &doc.value, nullptr, nullptr);
        if (FAILED(hr)) return hr;

        std::u16string libId = GuidToString(lib.guid);
        std::u16string version = VersionName(lib.wMajorVerNum, lib.wMinorVerNum);
        std::u16string versionKey = u"TypeLib\\" + libId + u"\\" + version;
        std::u16string description = doc.Text().empty() ? name.Text() : doc.Text();
        LSTATUS s = WriteString(HKEY_CLASSES_ROOT, versionKey, nullptr, description);
        if (!s) s = WriteString(HKEY_CLASSES_ROOT, versionKey + u"\\FLAGS", nullptr, Hex(lib.wLibFlags, true));
        if (!s) s = WriteString(HKEY_CLASSES_ROOT, versionKey + u"\\HELPDIR", nullptr, szHelpDir ? szHelpDir : u"");
        if (!s) {
            s = WriteString(HKEY_CLASSES_ROOT, versionKey + u"\\" + Hex(lib.lcid) + u"\\" + platform, nullptr,
                            szFullPath);
        }
        if (s) return RegistryFailure(s);

        UINT count = ptlib->GetTypeInfoCount();
        for (UINT i = 0; i < count; ++i) {
            ITypeInfo* info = nullptr;
            hr = ptlib->GetTypeInfo(i, &info);
            if (FAILED(hr)) return hr;
            if (!info) return TYPE_E_INVALIDSTATE;
            hr = RegisterInterface(info, libId, version);
            info->Release();
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

/***********************************************************************
 * UnRegisterTypeLib
 * Removes a type library's registration for one locale and platform.
 * PARAMS
 *   libID      [in] library identifier
 *   wVerMajor  [in] major version
 *   wVerMinor  [in] minor version
 *   lcid       [in] locale the library was registered under
 *   syskind    [in] platform it was registered for (SYS_WIN64 here)
 * RETURNS
 *   S_OK; TYPE_E_REGISTRYACCESS when that registration does not exist or the registry cannot
 *   be changed; E_INVALIDARG for an unknown SYSKIND.
 * NOTES
 *   Deletes TypeLib\{L}\M.m\<lcid>\<platform>. When no other locale or platform of that version
 *   remains, the version key goes too, with the Interface\{I} entries whose TypeLib entry names
 *   this library and version; TypeLib\{L} goes when no version is left.
 */
WINOLEAUTAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) {
    const char16_t* platform = PlatformName(RawValue(syskind));
    if (!platform) return E_INVALIDARG;
    try {
        std::u16string libKey = u"TypeLib\\" + GuidToString(libID);
        std::u16string version = VersionName(wVerMajor, wVerMinor);
        std::u16string versionKey = libKey + u"\\" + version;
        std::u16string localeKey = versionKey + u"\\" + Hex(lcid);
        std::u16string platformKey = localeKey + u"\\" + platform;

        HKEY key = nullptr;
        LSTATUS s = RegOpenKeyExW(HKEY_CLASSES_ROOT, platformKey.c_str(), 0, KEY_READ, &key);
        if (s != ERROR_SUCCESS) return RegistryFailure(s);
        RegCloseKey(key);
        s = RegDeleteTreeW(HKEY_CLASSES_ROOT, platformKey.c_str());
        if (s) return RegistryFailure(s);

        std::vector<std::u16string> names;
        if ((s = SubkeyNames(localeKey, names))) return RegistryFailure(s);
        if (names.empty() && (s = RegDeleteTreeW(HKEY_CLASSES_ROOT, localeKey.c_str()))) return RegistryFailure(s);

        if ((s = SubkeyNames(versionKey, names))) return RegistryFailure(s);
        for (const std::u16string& n : names)
            if (!SameText(n, u"FLAGS") && !SameText(n, u"HELPDIR")) return S_OK;  // other locales remain
        if ((s = RemoveInterfaces(libID, version))) return RegistryFailure(s);
        if ((s = RegDeleteTreeW(HKEY_CLASSES_ROOT, versionKey.c_str()))) return RegistryFailure(s);

        if ((s = SubkeyNames(libKey, names))) return RegistryFailure(s);
        if (names.empty() && (s = RegDeleteTreeW(HKEY_CLASSES_ROOT, libKey.c_str()))) return RegistryFailure(s);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

/***********************************************************************
 * LoadRegTypeLib
 * Loads a registered type library by identifier and version.
 * PARAMS
 *   rguid     [in]  library identifier
 *   wVerMajor [in]  major version wanted
 *   wVerMinor [in]  lowest minor version accepted
 *   lcid      [in]  locale wanted; LOCALE_USER_DEFAULT / LOCALE_SYSTEM_DEFAULT mean 1033
 *   pptlib    [out] the library; NULL on failure
 * RETURNS
 *   The status of LoadTypeLib on the registered path; TYPE_E_LIBNOTREGISTERED when no
 *   registration fits; E_INVALIDARG for a NULL pptlib; TYPE_E_REGISTRYACCESS when the registry
 *   cannot be read.
 * NOTES
 *   Takes the exact version when registered, else the same major version with the greatest
 *   minor above wVerMinor. Within it the locale is looked up as given, then its primary
 *   language alone, then 0 (neutral); for each, win64 before win32.
 */
WINOLEAUTAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib) {
    if (!pptlib) return E_INVALIDARG;
    *pptlib = nullptr;
    try {
        std::u16string libKey = u"TypeLib\\" + GuidToString(rguid);
        std::vector<std::u16string> versions;
        LSTATUS s = SubkeyNames(libKey, versions);
        if (s == ERROR_FILE_NOT_FOUND) return TYPE_E_LIBNOTREGISTERED;
        if (s) return RegistryFailure(s);
        const std::u16string* chosen = nullptr;
        WORD chosenMinor = 0;
        for (const std::u16string& v : versions) {
            WORD major, minor;
            if (!ParseVersionName(v, major, minor) || major != wVerMajor || minor < wVerMinor) continue;
            if (minor == wVerMinor) {
                chosen = &v;
                break;
            }
            if (!chosen || minor > chosenMinor) {
                chosen = &v;
                chosenMinor = minor;
            }
        }
        if (!chosen) return TYPE_E_LIBNOTREGISTERED;

        if (lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_SYSTEM_DEFAULT) lcid = 1033;
        LCID candidates[3] = {lcid, lcid & 0x3FF, 0};
        for (int i = 0; i < 3; ++i) {
            if ((i == 1 && candidates[1] == candidates[0]) || (i == 2 && (candidates[2] == candidates[1])))
                continue;
            for (const char16_t* platform : {u"win64", u"win32"}) {
                std::u16string path;
                std::u16string key = libKey + u"\\" + *chosen + u"\\" + Hex(candidates[i]) + u"\\" + platform;
                s = ReadString(HKEY_CLASSES_ROOT, key, nullptr, path);
                if (s == ERROR_SUCCESS && !path.empty()) return LoadTypeLib(path.c_str(), pptlib);
                if (s != ERROR_SUCCESS && s != ERROR_FILE_NOT_FOUND && s != ERROR_INVALID_DATA)
                    return RegistryFailure(s);
            }
        }
        return TYPE_E_LIBNOTREGISTERED;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
