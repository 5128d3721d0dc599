// ITypeLib over a LibraryModel, the built-in library describing IUnknown and IDispatch, and
// LoadTypeLib / LoadTypeLibEx. A type library comes from a file in the format idlc.py
// writes, or from the TYPELIB resource of a module (a shared object or executable).
#include "module_internal.h"
#include "typelib_objects.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

namespace qelv_rt {

bool NamesEqual(const std::u16string& a, const OLECHAR* b) {
    auto fold = [](char16_t c) -> char16_t {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
            return static_cast<char16_t>(c - 0x20);
        }
        return c;
    };
    size_t i = 0;
    for (; b[i] != 0; ++i) {
        if (i >= a.size() || fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return i == a.size();
}

namespace {

TypeDescModel Vt(std::initializer_list<VARTYPE> chain) {
    return TypeDescModel{std::vector<VARTYPE>(chain), -1};
}

FuncModel Builtin(MEMBERID memid, const char16_t* name, TypeDescModel result,
                  std::initializer_list<std::pair<const char16_t*, std::pair<USHORT, TypeDescModel>>> params) {
    FuncModel f;
    f.memid = memid;
    f.name = name;
    f.result = std::move(result);
    for (const auto& [pname, desc] : params) {
        f.params.push_back(ParamModel{pname, desc.first, desc.second});
    }
    return f;
}

// IUnknown and IDispatch as the standard OLE library describes them. GUID, DISPPARAMS and
// EXCEPINFO parameters appear as pointers to VT_VOID: there are no record types here.
std::shared_ptr<const LibraryModel> BuildStdole() {
    auto lib = std::make_shared<LibraryModel>();
    lib->guid = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    lib->majorVersion = 2;
    lib->name = u"stdole";
    lib->doc = u"OLE Automation";
    const USHORT in = PARAMFLAG_FIN, out = PARAMFLAG_FOUT;
    const TypeDescModel hr = Vt({VT_HRESULT});
    const TypeDescModel pvoid = Vt({VT_PTR, VT_VOID});

    TypeModel unknown;
    unknown.kind = TKIND_INTERFACE;
    unknown.guid = IID_IUnknown;
    unknown.name = u"IUnknown";
    unknown.flags = TYPEFLAG_FHIDDEN;
    unknown.base = kBaseNone;
    unknown.funcs.push_back(Builtin(0x60000000, u"QueryInterface", hr,
                                    {{u"riid", {in, pvoid}}, {u"ppvObj", {out, Vt({VT_PTR, VT_PTR, VT_VOID})}}}));
    unknown.funcs.push_back(Builtin(0x60000001, u"AddRef", Vt({VT_UI4}), {}));
    unknown.funcs.push_back(Builtin(0x60000002, u"Release", Vt({VT_UI4}), {}));

    TypeModel dispatch;
    dispatch.kind = TKIND_INTERFACE;
    dispatch.guid = IID_IDispatch;
    dispatch.name = u"IDispatch";
    dispatch.flags = TYPEFLAG_FHIDDEN;
    dispatch.base = kStdoleIUnknown;
    dispatch.funcs.push_back(Builtin(0x60010000, u"GetTypeInfoCount", hr, {{u"pctinfo", {out, Vt({VT_PTR, VT_UINT})}}}));
    dispatch.funcs.push_back(Builtin(0x60010001, u"GetTypeInfo", hr,
                                     {{u"itinfo", {in, Vt({VT_UINT})}},
                                      {u"lcid", {in, Vt({VT_UI4})}},
                                      {u"pptinfo", {out, Vt({VT_PTR, VT_PTR, VT_VOID})}}}));
    dispatch.funcs.push_back(Builtin(0x60010002, u"GetIDsOfNames", hr,
                                     {{u"riid", {in, pvoid}},
                                      {u"rgszNames", {in, Vt({VT_PTR, VT_PTR, VT_I1})}},
                                      {u"cNames", {in, Vt({VT_UINT})}},
                                      {u"lcid", {in, Vt({VT_UI4})}},
                                      {u"rgdispid", {out, Vt({VT_PTR, VT_I4})}}}));
    dispatch.funcs.push_back(Builtin(0x60010003, u"Invoke", hr,
                                     {{u"dispidMember", {in, Vt({VT_I4})}},
                                      {u"riid", {in, pvoid}},
                                      {u"lcid", {in, Vt({VT_UI4})}},
                                      {u"wFlags", {in, Vt({VT_UI2})}},
                                      {u"pdispparams", {in, pvoid}},
                                      {u"pvarResult", {out, Vt({VT_PTR, VT_VARIANT})}},
                                      {u"pexcepinfo", {out, pvoid}},
                                      {u"puArgErr", {out, Vt({VT_PTR, VT_UINT})}}}));
    lib->types.push_back(std::move(unknown));
    lib->types.push_back(std::move(dispatch));
    return lib;
}

class TypeLib final : public SingleInterfaceObject<ITypeLib, IID_ITypeLib> {
public:
    explicit TypeLib(std::shared_ptr<const LibraryModel> model) : model_(std::move(model)) {}

    STDMETHODIMP_(UINT) GetTypeInfoCount() override { return static_cast<UINT>(model_->types.size()); }

    STDMETHODIMP GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr) {
            return E_INVALIDARG;
        }
        *ppTInfo = nullptr;
        if (index >= model_->types.size()) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        return CreateTypeInfo(this, model_, static_cast<int32_t>(index), false, ppTInfo);
    }

    STDMETHODIMP GetTypeInfoType(UINT index, TYPEKIND* pTKind) override {
        if (pTKind == nullptr) {
            return E_INVALIDARG;
        }
        if (index >= model_->types.size()) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        const TypeModel& t = model_->types[index];
        *pTKind = IsDual(t) ? TKIND_DISPATCH : t.kind;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override {
        if (ppTinfo == nullptr) {
            return E_INVALIDARG;
        }
        *ppTinfo = nullptr;
        for (size_t i = 0; i < model_->types.size(); ++i) {
            const TypeModel& t = model_->types[i];
            if (t.kind != TKIND_ENUM && IsEqualGUID(t.guid, guid)) {
                return CreateTypeInfo(this, model_, static_cast<int32_t>(i), false, ppTinfo);
            }
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }

    STDMETHODIMP GetLibAttr(TLIBATTR** ppTLibAttr) override {
        if (ppTLibAttr == nullptr) {
            return E_INVALIDARG;
        }
        auto* attr = new (std::nothrow) TLIBATTR{};
        *ppTLibAttr = attr;
        if (attr == nullptr) {
            return E_OUTOFMEMORY;
        }
        attr->guid = model_->guid;
        attr->lcid = model_->lcid;
        attr->syskind = SYS_WIN64;
        attr->wMajorVerNum = model_->majorVersion;
        attr->wMinorVerNum = model_->minorVersion;
        attr->wLibFlags = model_->flags;
        return S_OK;
    }
    STDMETHODIMP_(void) ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { delete pTLibAttr; }

    STDMETHODIMP GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp) *ppTComp = nullptr;
        return E_NOTIMPL;
    }

    STDMETHODIMP GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                  BSTR* pBstrHelpFile) override {
        const std::u16string* name;
        const std::u16string* doc;
        DWORD context;
        if (index == -1) {
            name = &model_->name, doc = &model_->doc, context = model_->helpContext;
        } else if (index >= 0 && static_cast<size_t>(index) < model_->types.size()) {
            const TypeModel& t = model_->types[index];
            name = &t.name, doc = &t.doc, context = t.helpContext;
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        auto alloc = [](const std::u16string& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); };
        if (pBstrName) *pBstrName = alloc(*name);
        if (pBstrDocString) *pBstrDocString = doc->empty() ? nullptr : alloc(*doc);
        if (pdwHelpContext) *pdwHelpContext = context;
        if (pBstrHelpFile) *pBstrHelpFile = model_->helpFile.empty() ? nullptr : alloc(model_->helpFile);
        return S_OK;
    }

    STDMETHODIMP IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) override {
        (void)lHashVal;
        if (szNameBuf == nullptr || pfName == nullptr) {
            return E_INVALIDARG;
        }
        *pfName = FALSE;
        const std::u16string* found = nullptr;
        Search(szNameBuf, [&](const std::u16string& name, size_t, MEMBERID) {
            found = &name;
            return false;
        });
        if (found) {
            // The name is given back with the library's spelling.
            std::memcpy(szNameBuf, found->data(), found->size() * sizeof(OLECHAR));
            *pfName = TRUE;
        }
        return S_OK;
    }

    STDMETHODIMP FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                          USHORT* pcFound) override {
        (void)lHashVal;
        if (szNameBuf == nullptr || ppTInfo == nullptr || rgMemId == nullptr || pcFound == nullptr) {
            return E_INVALIDARG;
        }
        const USHORT wanted = *pcFound;
        USHORT found = 0;
        HRESULT hr = S_OK;
        Search(szNameBuf, [&](const std::u16string&, size_t type, MEMBERID memid) {
            if (found >= wanted) {
                return false;
            }
            hr = CreateTypeInfo(this, model_, static_cast<int32_t>(type), false, &ppTInfo[found]);
            if (FAILED(hr)) {
                return false;
            }
            rgMemId[found++] = memid;
            return true;
        });
        *pcFound = found;
        return hr;
    }

private:
    ~TypeLib() = default;

    // Calls visit(name as stored, type index, memid) for each type or member named name
    // until visit returns false. A member found twice (property get and put) counts once.
    template <typename Visit>
    void Search(const OLECHAR* name, Visit visit) {
        for (size_t i = 0; i < model_->types.size(); ++i) {
            const TypeModel& t = model_->types[i];
            if (NamesEqual(t.name, name) && !visit(t.name, i, MEMBERID_NIL)) {
                return;
            }
            const FuncModel* last = nullptr;
            for (const FuncModel& f : t.funcs) {
                if (NamesEqual(f.name, name) && !(last && last->memid == f.memid)) {
                    last = &f;
                    if (!visit(f.name, i, f.memid)) {
                        return;
                    }
                }
            }
            for (const VarModel& v : t.vars) {
                if (NamesEqual(v.name, name) && !visit(v.name, i, v.memid)) {
                    return;
                }
            }
            for (size_t c = 0; c < t.constants.size(); ++c) {
                if (NamesEqual(t.constants[c].name, name) &&
                    !visit(t.constants[c].name, i, 0x40000000 + static_cast<MEMBERID>(c))) {
                    return;
                }
            }
        }
    }

    std::shared_ptr<const LibraryModel> model_;
};

enum class FileKind { Missing, TypeLibrary, Module, Other, TooBig };

// Identifies the file at path by its first bytes; a type library file is read completely
// into data. Sizes beyond limit are refused (a type library is a few kilobytes).
FileKind ReadFile(const std::string& path, std::vector<unsigned char>& data, size_t limit) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return FileKind::Missing;
    }
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(file);
        return FileKind::Missing;
    }
    unsigned char head[8] = {};
    const size_t got = std::fread(head, 1, sizeof(head), file);
    FileKind kind = FileKind::Other;
    if (got >= 4 && std::memcmp(head, "\x7f" "ELF", 4) == 0) {
        kind = FileKind::Module;
    } else if (LooksLikeTypeLibrary(head, got)) {
        if (static_cast<unsigned long long>(st.st_size) > limit) {
            kind = FileKind::TooBig;
        } else {
            data.resize(static_cast<size_t>(st.st_size));
            std::rewind(file);
            data.resize(std::fread(data.data(), 1, data.size(), file));
            kind = FileKind::TypeLibrary;
        }
    }
    std::fclose(file);
    return kind;
}

// Loads TYPELIB resource `id` of the module at path (loading it for the time being).
HRESULT LoadFromModule(const std::string& path, WORD id, std::shared_ptr<const LibraryModel>& model) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const void* base = nullptr;
    if (handle != nullptr) {
        struct link_map* map = nullptr;
        if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr) {
            base = ModuleBaseOfAddress(map->l_ld);
        }
    } else {
        (void)dlerror();
        // An executable cannot be opened a second time; it may be the running program.
        std::string self;
        char* full = realpath(path.c_str(), nullptr);
        if (full && ModulePath(MainModuleBase(), self) && self == full) {
            base = MainModuleBase();
        }
        std::free(full);
    }
    HRESULT hr = TYPE_E_CANTLOADLIBRARY;
    if (base != nullptr) {
        HMODULE module = reinterpret_cast<HMODULE>(const_cast<void*>(base));
        HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), u"TYPELIB");
        if (res != nullptr) {
            const void* data = LockResource(LoadResource(module, res));
            hr = ReadTypeLibrary(data, SizeofResource(module, res), model);
        }
    }
    if (handle != nullptr) {
        dlclose(handle);  // the model holds copies of everything it needs
    }
    return hr;
}

}  // namespace

std::shared_ptr<const LibraryModel> StdoleModel() {
    static const auto* const model = new std::shared_ptr<const LibraryModel>(BuildStdole());
    return *model;
}

void GetStdoleTypeLib(ITypeLib** out) {
    // One object for the life of the process.
    static ITypeLib* const lib = new TypeLib(StdoleModel());
    lib->AddRef();
    *out = lib;
}

HRESULT CreateTypeLib(std::shared_ptr<const LibraryModel> model, ITypeLib** out) {
    *out = new (std::nothrow) TypeLib(std::move(model));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace qelv_rt

/******************************************************************************
 * LoadTypeLibEx
 * Loads a type library and optionally registers it.
 * PARAMS   szFile  [in] a type library file, or a module whose TYPELIB resource 1 holds the
 *                       library; "module\N" selects TYPELIB resource N
 *          regkind [in] REGKIND_REGISTER: register with RegisterTypeLib; REGKIND_DEFAULT:
 *                       register only when szFile is a bare file name (as LoadTypeLib does
 *                       on Windows); REGKIND_NONE: do not register
 *          pptlib  [out] the library
 * RETURNS  S_OK; E_INVALIDARG; TYPE_E_CANTLOADLIBRARY when the file or the module's
 *          resource cannot be found or loaded; TYPE_E_UNSUPFORMAT when the data is not a
 *          type library of a known format; TYPE_E_INVDATAREAD when it is damaged; a failure
 *          from RegisterTypeLib with REGKIND_REGISTER.
 * NOTES    Type libraries are read completely into memory: a module the library came from
 *          is not kept loaded.
 */
HRESULT STDAPICALLTYPE LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib) {
    using namespace qelv_rt;
    if (pptlib == nullptr) {
        return E_INVALIDARG;
    }
    *pptlib = nullptr;
    if (szFile == nullptr || szFile[0] == 0 || regkind < REGKIND_DEFAULT || regkind > REGKIND_NONE) {
        return E_INVALIDARG;
    }
    const std::string path = Utf16ToUtf8(szFile);
    std::vector<unsigned char> data;
    std::shared_ptr<const LibraryModel> model;
    HRESULT hr = TYPE_E_CANTLOADLIBRARY;
    switch (ReadFile(path, data, 64u << 20)) {
        case FileKind::TypeLibrary:
            hr = ReadTypeLibrary(data.data(), data.size(), model);
            break;
        case FileKind::Module:
            hr = LoadFromModule(path, 1, model);
            break;
        case FileKind::Other:
            hr = TYPE_E_UNSUPFORMAT;
            break;
        case FileKind::TooBig:
            hr = TYPE_E_INVDATAREAD;
            break;
        case FileKind::Missing: {
            // "module\N" names TYPELIB resource N of the module.
            const size_t sep = path.find_last_of("\\/");
            if (sep != std::string::npos && sep + 1 < path.size() && path.size() - sep <= 6 &&
                path.find_first_not_of("0123456789", sep + 1) == std::string::npos) {
                const unsigned long id = std::stoul(path.substr(sep + 1));
                if (id >= 1 && id <= 0xFFFF) {
                    hr = LoadFromModule(path.substr(0, sep), static_cast<WORD>(id), model);
                }
            }
            break;
        }
    }
    if (FAILED(hr)) {
        return hr;
    }
    ITypeLib* lib = nullptr;
    hr = CreateTypeLib(std::move(model), &lib);
    if (FAILED(hr)) {
        return hr;
    }
    const bool bareName = path.find_first_of("\\/") == std::string::npos;
    if (regkind == REGKIND_REGISTER || (regkind == REGKIND_DEFAULT && bareName)) {
        std::u16string fullPath = szFile;
        if (char* full = realpath(path.c_str(), nullptr)) {
            fullPath = Utf8ToUtf16Lossy(full);
            std::free(full);
        }
        hr = RegisterTypeLib(lib, fullPath.c_str(), nullptr);
        if (FAILED(hr) && regkind == REGKIND_REGISTER) {
            lib->Release();
            return hr;
        }
    }
    *pptlib = lib;
    return S_OK;
}

/******************************************************************************
 * LoadTypeLib
 * Loads a type library: LoadTypeLibEx with REGKIND_DEFAULT.
 */
HRESULT STDAPICALLTYPE LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
    return LoadTypeLibEx(szFile, REGKIND_DEFAULT, pptlib);
}
