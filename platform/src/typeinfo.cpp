// ITypeInfo over one type of a LibraryModel. Descriptions handed out (TYPEATTR, FUNCDESC,
// VARDESC) are single heap blocks holding the structure and everything it points to; each
// object remembers what it handed out so a Release* call with anything else is ignored
// instead of freeing a foreign pointer.
#include "typelib_objects.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <set>

namespace qelv_rt {

namespace {

// One function as this view shows it.
struct FuncEntry {
    const FuncModel* func = nullptr;
    int slot = 0;               // vtable slot of the interface method behind it
    bool dispatchForm = false;  // retval lifted to the result, HRESULT dropped
    bool restricted = false;    // inherited IUnknown / IDispatch member of a dispatch view
    FUNCKIND kind = FUNC_PUREVIRTUAL;
};

BSTR AllocOrNull(const std::u16string& text) {
    return text.empty() ? nullptr : SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

BSTR AllocName(const std::u16string& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// Extra TYPEDESC nodes a chain needs beyond the one embedded in its ELEMDESC.
size_t ExtraNodes(const TypeDescModel& t, size_t skip) {
    return t.chain.size() > skip ? t.chain.size() - skip - 1 : 0;
}

void FillTypeDesc(TYPEDESC& root, const TypeDescModel& t, size_t skip, TYPEDESC*& next) {
    TYPEDESC* current = &root;
    for (size_t i = skip; i < t.chain.size(); ++i) {
        current->vt = t.chain[i];
        if (current->vt == VT_PTR || current->vt == VT_SAFEARRAY) {
            current->lptdesc = next++;
            current = current->lptdesc;
        } else if (current->vt == VT_USERDEFINED) {
            current->hreftype = HrefOf(t.userType, false);
        }
    }
}

class TypeInfo final : public SingleInterfaceObject<ITypeInfo, IID_ITypeInfo> {
public:
    TypeInfo(ITypeLib* owner, std::shared_ptr<const LibraryModel> model, int32_t index, bool interfaceView)
        : owner_(owner), model_(std::move(model)), type_(model_->types[index]), index_(index),
          interfaceView_(interfaceView) {
        owner_->AddRef();
        kind_ = IsDual(type_) && !interfaceView_ ? TKIND_DISPATCH : type_.kind;
        BuildFunctions();
        kept_ = std::make_unique<std::atomic<FUNCDESC*>[]>(funcs_.size());
    }

    // ITypeInfo
    STDMETHODIMP GetTypeAttr(TYPEATTR** ppTypeAttr) override;
    STDMETHODIMP GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp) {
            *ppTComp = nullptr;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
    STDMETHODIMP GetVarDesc(UINT index, VARDESC** ppVarDesc) override;
    STDMETHODIMP GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override;
    STDMETHODIMP GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override;
    STDMETHODIMP GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override;
    STDMETHODIMP GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override;
    STDMETHODIMP Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        return InvokeFromTypeInfo(this, pvInstance, memid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
    }
    STDMETHODIMP GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                  BSTR* pBstrHelpFile) override;
    STDMETHODIMP GetDllEntry(MEMBERID, INVOKEKIND, BSTR* pBstrDllName, BSTR* pBstrName, WORD* pwOrdinal) override {
        if (pBstrDllName) *pBstrDllName = nullptr;
        if (pBstrName) *pBstrName = nullptr;
        if (pwOrdinal) *pwOrdinal = 0;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
    STDMETHODIMP AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) override {
        if (ppvObj) *ppvObj = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetMops(MEMBERID, BSTR* pBstrMops) override {
        if (pBstrMops) *pBstrMops = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override {
        if (ppTLib == nullptr) {
            return E_INVALIDARG;
        }
        owner_->AddRef();
        *ppTLib = owner_;
        if (pIndex) {
            *pIndex = static_cast<UINT>(index_);
        }
        return S_OK;
    }
    STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { Free(pTypeAttr); }
    STDMETHODIMP_(void) ReleaseFuncDesc(FUNCDESC* pFuncDesc) override { Free(pFuncDesc); }
    STDMETHODIMP_(void) ReleaseVarDesc(VARDESC* pVarDesc) override { Free(pVarDesc); }

private:
    ~TypeInfo() {
        for (void* block : handedOut_) {
            std::free(block);
        }
        owner_->Release();
    }

    void BuildFunctions();
    int ImplTypeCount() const;
    // The member with memid: functions (a property get first), then variables and constants.
    const FuncEntry* FindFunc(MEMBERID memid) const;

public:
    // The first function with memid whose invoke kind is in flags.
    bool FuncIndex(MEMBERID memid, WORD flags, UINT* index) const {
        for (size_t i = 0; i < funcs_.size(); ++i) {
            const FuncModel& f = *funcs_[i].func;
            if (f.memid == memid && (static_cast<WORD>(f.invkind) & flags) != 0) {
                *index = static_cast<UINT>(i);
                return true;
            }
        }
        return false;
    }

    // The description of function index, made on first use and kept until this
    // type description goes (its destructor frees every block handed out), so a
    // dispatch call needs no allocation to read it. Null when it cannot be made.
    const FUNCDESC* KeptFuncDesc(UINT index) {
        FUNCDESC* desc = kept_[index].load(std::memory_order_acquire);
        if (desc != nullptr || FAILED(GetFuncDesc(index, &desc))) {
            return desc;
        }
        FUNCDESC* first = nullptr;
        if (!kept_[index].compare_exchange_strong(first, desc, std::memory_order_acq_rel)) {
            ReleaseFuncDesc(desc);  // another thread kept its own first
            return first;
        }
        return desc;
    }

    TYPEKIND Kind() const { return kind_; }

private:
    const std::u16string* FindVarName(MEMBERID memid, const std::u16string** doc) const;

    void* Track(size_t bytes) {
        void* block = std::calloc(1, bytes);
        if (block != nullptr) {
            std::lock_guard<std::mutex> lock(mutex_);
            try {
                handedOut_.insert(block);
            } catch (const std::bad_alloc&) {
                std::free(block);
                return nullptr;
            }
        }
        return block;
    }
    void Free(void* block) {
        if (block == nullptr) {
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (handedOut_.erase(block) == 1) {
            std::free(block);
        }
    }

    ITypeLib* owner_;
    std::shared_ptr<const LibraryModel> model_;
    const TypeModel& type_;
    int32_t index_;
    bool interfaceView_;
    TYPEKIND kind_;
    std::vector<FuncEntry> funcs_;
    // Functions of base interfaces in the library (interface view only): found by memid
    // and name as Windows does, but not counted in cFuncs.
    std::vector<FuncEntry> inherited_;
    std::mutex mutex_;
    std::set<void*> handedOut_;
    std::unique_ptr<std::atomic<FUNCDESC*>[]> kept_;  // one per entry of funcs_
};

constexpr MEMBERID kEnumMemidBase = 0x40000000;

void TypeInfo::BuildFunctions() {
    const LibraryModel& lib = *model_;
    if (kind_ == TKIND_INTERFACE) {
        const int first = BaseSlotCount(lib, index_);
        for (size_t i = 0; i < type_.funcs.size(); ++i) {
            funcs_.push_back({&type_.funcs[i], first + static_cast<int>(i), false, false, FUNC_PUREVIRTUAL});
        }
        for (int32_t base = type_.base; base >= 0; base = lib.types[base].base) {
            const int baseFirst = BaseSlotCount(lib, base);
            const TypeModel& b = lib.types[base];
            for (size_t i = 0; i < b.funcs.size(); ++i) {
                inherited_.push_back({&b.funcs[i], baseFirst + static_cast<int>(i), false, false, FUNC_PUREVIRTUAL});
            }
        }
    } else if (kind_ == TKIND_DISPATCH && type_.kind == TKIND_INTERFACE) {
        // The dispatch view of a dual interface lists the IUnknown and IDispatch members
        // (restricted), then every member of the interface chain, in dispatch form.
        const LibraryModel& stdole = *StdoleModel();
        int slot = 0;
        for (int32_t builtin : {kStdoleIUnknown, kStdoleIDispatch}) {
            for (const FuncModel& f : stdole.types[builtin].funcs) {
                funcs_.push_back({&f, slot++, true, true, FUNC_DISPATCH});
            }
        }
        std::vector<int32_t> chain;
        for (int32_t t = index_; t >= 0; t = lib.types[t].base) {
            chain.insert(chain.begin(), t);
        }
        for (int32_t t : chain) {
            const int first = BaseSlotCount(lib, t);
            for (size_t i = 0; i < lib.types[t].funcs.size(); ++i) {
                funcs_.push_back({&lib.types[t].funcs[i], first + static_cast<int>(i), true, false, FUNC_DISPATCH});
            }
        }
    } else if (kind_ == TKIND_DISPATCH) {
        for (size_t i = 0; i < type_.funcs.size(); ++i) {
            funcs_.push_back({&type_.funcs[i], 7 + static_cast<int>(i), false, false, FUNC_DISPATCH});
        }
    }
}

int TypeInfo::ImplTypeCount() const {
    switch (kind_) {
        case TKIND_INTERFACE:
            return type_.base == kBaseNone ? 0 : 1;
        case TKIND_DISPATCH:
            return 1;
        case TKIND_COCLASS:
            return static_cast<int>(type_.impls.size());
        default:
            return 0;
    }
}

const FuncEntry* TypeInfo::FindFunc(MEMBERID memid) const {
    const FuncEntry* found = nullptr;
    for (const auto* list : {&funcs_, &inherited_}) {
        for (const FuncEntry& e : *list) {
            if (e.func->memid != memid) {
                continue;
            }
            if (e.func->invkind == INVOKE_PROPERTYGET) {
                return &e;
            }
            if (found == nullptr) {
                found = &e;
            }
        }
        if (found) {
            return found;
        }
    }
    return nullptr;
}

const std::u16string* TypeInfo::FindVarName(MEMBERID memid, const std::u16string** doc) const {
    if (type_.kind == TKIND_ENUM) {
        const int64_t i = static_cast<int64_t>(memid) - kEnumMemidBase;
        if (i >= 0 && i < static_cast<int64_t>(type_.constants.size())) {
            *doc = &type_.constants[i].doc;
            return &type_.constants[i].name;
        }
        return nullptr;
    }
    for (const VarModel& v : type_.vars) {
        if (v.memid == memid) {
            *doc = &v.doc;
            return &v.name;
        }
    }
    return nullptr;
}

STDMETHODIMP TypeInfo::GetTypeAttr(TYPEATTR** ppTypeAttr) {
    if (ppTypeAttr == nullptr) {
        return E_INVALIDARG;
    }
    auto* attr = static_cast<TYPEATTR*>(Track(sizeof(TYPEATTR)));
    *ppTypeAttr = attr;
    if (attr == nullptr) {
        return E_OUTOFMEMORY;
    }
    attr->guid = type_.guid;
    attr->lcid = model_->lcid;
    attr->memidConstructor = MEMBERID_NIL;
    attr->memidDestructor = MEMBERID_NIL;
    attr->typekind = kind_;
    attr->cbSizeInstance = kind_ == TKIND_ENUM ? 4 : sizeof(void*);
    attr->cbAlignment = kind_ == TKIND_ENUM ? 4 : sizeof(void*);
    attr->cFuncs = static_cast<WORD>(funcs_.size());
    attr->cVars = static_cast<WORD>(type_.kind == TKIND_ENUM ? type_.constants.size() : type_.vars.size());
    attr->cImplTypes = static_cast<WORD>(ImplTypeCount());
    if (kind_ == TKIND_INTERFACE) {
        attr->cbSizeVft = static_cast<WORD>((BaseSlotCount(*model_, index_) + type_.funcs.size()) * sizeof(void*));
    } else if (kind_ == TKIND_DISPATCH) {
        attr->cbSizeVft = 7 * sizeof(void*);
    }
    attr->wTypeFlags = type_.flags;
    attr->wMajorVerNum = type_.majorVersion;
    attr->wMinorVerNum = type_.minorVersion;
    return S_OK;
}

STDMETHODIMP TypeInfo::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) {
    if (ppFuncDesc == nullptr) {
        return E_INVALIDARG;
    }
    *ppFuncDesc = nullptr;
    if (index >= funcs_.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    const FuncEntry& e = funcs_[index];
    const FuncModel& f = *e.func;
    // In dispatch form a trailing [out, retval] becomes the result and HRESULT disappears.
    size_t paramCount = f.params.size();
    const TypeDescModel* result = &f.result;
    size_t resultSkip = 0;
    static const TypeDescModel kVoid{{VT_VOID}, -1};
    if (e.dispatchForm && f.result.chain.size() == 1 && f.result.chain[0] == VT_HRESULT) {
        if (paramCount > 0 && (f.params.back().flags & PARAMFLAG_FRETVAL) &&
            f.params.back().type.chain.size() >= 2 && f.params.back().type.chain[0] == VT_PTR) {
            result = &f.params.back().type;
            resultSkip = 1;
            --paramCount;
        } else {
            result = &kVoid;
        }
    }
    size_t nodes = ExtraNodes(*result, resultSkip);
    for (size_t i = 0; i < paramCount; ++i) {
        nodes += ExtraNodes(f.params[i].type, 0);
    }
    const size_t bytes = sizeof(FUNCDESC) + paramCount * sizeof(ELEMDESC) + nodes * sizeof(TYPEDESC);
    auto* block = static_cast<unsigned char*>(Track(bytes));
    if (block == nullptr) {
        return E_OUTOFMEMORY;
    }
    auto* desc = reinterpret_cast<FUNCDESC*>(block);
    auto* params = reinterpret_cast<ELEMDESC*>(block + sizeof(FUNCDESC));
    auto* next = reinterpret_cast<TYPEDESC*>(block + sizeof(FUNCDESC) + paramCount * sizeof(ELEMDESC));
    desc->memid = f.memid;
    desc->lprgelemdescParam = paramCount ? params : nullptr;
    desc->funckind = e.kind;
    desc->invkind = f.invkind;
    desc->callconv = CC_STDCALL;
    desc->cParams = static_cast<SHORT>(paramCount);
    desc->oVft = static_cast<SHORT>(e.slot * static_cast<int>(sizeof(void*)));
    desc->wFuncFlags = static_cast<WORD>(f.flags | (e.restricted ? FUNCFLAG_FRESTRICTED : 0));
    FillTypeDesc(desc->elemdescFunc.tdesc, *result, resultSkip, next);
    for (size_t i = 0; i < paramCount; ++i) {
        FillTypeDesc(params[i].tdesc, f.params[i].type, 0, next);
        params[i].paramdesc.wParamFlags = f.params[i].flags;
    }
    *ppFuncDesc = desc;
    return S_OK;
}

STDMETHODIMP TypeInfo::GetVarDesc(UINT index, VARDESC** ppVarDesc) {
    if (ppVarDesc == nullptr) {
        return E_INVALIDARG;
    }
    *ppVarDesc = nullptr;
    if (type_.kind == TKIND_ENUM && index < type_.constants.size()) {
        auto* block = static_cast<unsigned char*>(Track(sizeof(VARDESC) + sizeof(VARIANT)));
        if (block == nullptr) {
            return E_OUTOFMEMORY;
        }
        auto* desc = reinterpret_cast<VARDESC*>(block);
        auto* value = reinterpret_cast<VARIANT*>(block + sizeof(VARDESC));
        value->vt = VT_I4;
        value->lVal = type_.constants[index].value;
        desc->memid = kEnumMemidBase + static_cast<MEMBERID>(index);
        desc->lpvarValue = value;
        desc->elemdescVar.tdesc.vt = VT_I4;
        desc->varkind = VAR_CONST;
        *ppVarDesc = desc;
        return S_OK;
    }
    if (kind_ == TKIND_DISPATCH && type_.kind == TKIND_DISPATCH && index < type_.vars.size()) {
        const VarModel& v = type_.vars[index];
        const size_t nodes = ExtraNodes(v.type, 0);
        auto* block = static_cast<unsigned char*>(Track(sizeof(VARDESC) + nodes * sizeof(TYPEDESC)));
        if (block == nullptr) {
            return E_OUTOFMEMORY;
        }
        auto* desc = reinterpret_cast<VARDESC*>(block);
        auto* next = reinterpret_cast<TYPEDESC*>(block + sizeof(VARDESC));
        desc->memid = v.memid;
        FillTypeDesc(desc->elemdescVar.tdesc, v.type, 0, next);
        desc->wVarFlags = v.flags;
        desc->varkind = VAR_DISPATCH;
        *ppVarDesc = desc;
        return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP TypeInfo::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) {
    if (pcNames == nullptr || (rgBstrNames == nullptr && cMaxNames > 0)) {
        return E_INVALIDARG;
    }
    *pcNames = 0;
    std::vector<const std::u16string*> names;
    if (const FuncEntry* e = FindFunc(memid)) {
        const FuncModel& f = *e->func;
        names.push_back(&f.name);
        size_t count = f.params.size();
        // The value of a property put is unnamed; a lifted retval is not a parameter.
        if (f.invkind == INVOKE_PROPERTYPUT || f.invkind == INVOKE_PROPERTYPUTREF) {
            count = count ? count - 1 : 0;
        } else if (e->dispatchForm && count > 0 && (f.params.back().flags & PARAMFLAG_FRETVAL)) {
            --count;
        }
        for (size_t i = 0; i < count; ++i) {
            names.push_back(&f.params[i].name);
        }
    } else {
        const std::u16string* doc = nullptr;
        const std::u16string* name = FindVarName(memid, &doc);
        if (name == nullptr) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        names.push_back(name);
    }
    UINT n = 0;
    for (; n < cMaxNames && n < names.size(); ++n) {
        rgBstrNames[n] = AllocName(*names[n]);
    }
    *pcNames = n;
    return S_OK;
}

STDMETHODIMP TypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) {
    if (pRefType == nullptr) {
        return E_INVALIDARG;
    }
    *pRefType = 0;
    const LibraryModel& lib = *model_;
    auto baseRef = [&](int32_t base, bool preferInterfaceView) -> HREFTYPE {
        if (base == kBaseIDispatch) return kHrefStdoleBit | kStdoleIDispatch;
        if (base == kBaseIUnknown) return kHrefStdoleBit | kStdoleIUnknown;
        return HrefOf(base, preferInterfaceView && IsDual(lib.types[base]));
    };
    if (index == static_cast<UINT>(-1)) {
        if (IsDual(type_) && !interfaceView_) {
            *pRefType = HrefOf(index_, true);
            return S_OK;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    if (static_cast<int>(index) >= ImplTypeCount()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    switch (kind_) {
        case TKIND_COCLASS:
            *pRefType = HrefOf(type_.impls[index].type, false);
            break;
        case TKIND_INTERFACE:
            *pRefType = baseRef(type_.base, true);
            break;
        default:  // dispatch views derive from IDispatch or from the base's dispatch view
            *pRefType = type_.kind == TKIND_INTERFACE ? baseRef(type_.base, false)
                                                      : (kHrefStdoleBit | kStdoleIDispatch);
            break;
    }
    return S_OK;
}

STDMETHODIMP TypeInfo::GetImplTypeFlags(UINT index, INT* pImplTypeFlags) {
    if (pImplTypeFlags == nullptr) {
        return E_INVALIDARG;
    }
    *pImplTypeFlags = 0;
    if (static_cast<int>(index) >= ImplTypeCount() || index == static_cast<UINT>(-1)) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    if (kind_ == TKIND_COCLASS) {
        *pImplTypeFlags = type_.impls[index].flags;
    }
    return S_OK;
}

STDMETHODIMP TypeInfo::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) {
    if (rgszNames == nullptr || pMemId == nullptr || cNames == 0) {
        return E_INVALIDARG;
    }
    for (UINT i = 0; i < cNames; ++i) {
        pMemId[i] = MEMBERID_NIL;
    }
    if (rgszNames[0] == nullptr) {
        return DISP_E_UNKNOWNNAME;
    }
    std::vector<const FuncModel*> matches;
    for (const auto* list : {&funcs_, &inherited_}) {
        for (const FuncEntry& e : *list) {
            if (NamesEqual(e.func->name, rgszNames[0])) {
                matches.push_back(e.func);
            }
        }
    }
    if (matches.empty()) {
        if (type_.kind == TKIND_ENUM) {
            for (size_t i = 0; i < type_.constants.size(); ++i) {
                if (NamesEqual(type_.constants[i].name, rgszNames[0])) {
                    pMemId[0] = kEnumMemidBase + static_cast<MEMBERID>(i);
                    break;
                }
            }
        }
        for (const VarModel& v : type_.vars) {
            if (pMemId[0] == MEMBERID_NIL && NamesEqual(v.name, rgszNames[0])) {
                pMemId[0] = v.memid;
            }
        }
        return pMemId[0] == MEMBERID_NIL || cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }
    pMemId[0] = matches.front()->memid;
    HRESULT hr = S_OK;
    for (UINT n = 1; n < cNames; ++n) {
        for (const FuncModel* f : matches) {
            for (size_t p = 0; p < f->params.size() && pMemId[n] == MEMBERID_NIL; ++p) {
                if (rgszNames[n] != nullptr && NamesEqual(f->params[p].name, rgszNames[n])) {
                    pMemId[n] = static_cast<MEMBERID>(p);
                }
            }
        }
        if (pMemId[n] == MEMBERID_NIL) {
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

STDMETHODIMP TypeInfo::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                        DWORD* pdwHelpContext, BSTR* pBstrHelpFile) {
    const std::u16string* name = nullptr;
    const std::u16string* doc = nullptr;
    DWORD context = 0;
    if (memid == MEMBERID_NIL) {
        name = &type_.name;
        doc = &type_.doc;
        context = type_.helpContext;
    } else if (const FuncEntry* e = FindFunc(memid)) {
        name = &e->func->name;
        doc = &e->func->doc;
        context = e->func->helpContext;
    } else {
        name = FindVarName(memid, &doc);
    }
    if (name == nullptr) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    if (pBstrName) *pBstrName = AllocName(*name);
    if (pBstrDocString) *pBstrDocString = AllocOrNull(*doc);
    if (pdwHelpContext) *pdwHelpContext = context;
    if (pBstrHelpFile) *pBstrHelpFile = AllocOrNull(model_->helpFile);
    return S_OK;
}

STDMETHODIMP TypeInfo::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) {
        return E_INVALIDARG;
    }
    *ppTInfo = nullptr;
    if (hRefType & kHrefStdoleBit) {
        const HREFTYPE index = hRefType & ~kHrefStdoleBit;
        if (index != kStdoleIUnknown && index != kStdoleIDispatch) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        ITypeLib* stdole = nullptr;
        GetStdoleTypeLib(&stdole);
        const HRESULT hr = CreateTypeInfo(stdole, StdoleModel(), static_cast<int32_t>(index), false, ppTInfo);
        stdole->Release();
        return hr;
    }
    const HREFTYPE index = hRefType >> 1;
    const bool interfaceView = (hRefType & 1) != 0;
    if (index >= model_->types.size() || (interfaceView && !IsDual(model_->types[index]))) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    return CreateTypeInfo(owner_, model_, static_cast<int32_t>(index), interfaceView, ppTInfo);
}

}  // namespace

HRESULT FindFuncIndex(ITypeInfo* info, MEMBERID memid, WORD flags, UINT* index) {
    const auto* own = dynamic_cast<const TypeInfo*>(info);
    if (own == nullptr) return E_NOINTERFACE;
    return own->FuncIndex(memid, flags, index) ? S_OK : S_FALSE;
}

HRESULT FindKeptFuncDesc(ITypeInfo* info, MEMBERID memid, WORD flags, const FUNCDESC** desc) {
    auto* own = dynamic_cast<TypeInfo*>(info);
    if (own == nullptr || own->Kind() != TKIND_INTERFACE) return E_NOINTERFACE;
    UINT index = 0;
    if (!own->FuncIndex(memid, flags, &index)) return S_FALSE;
    *desc = own->KeptFuncDesc(index);
    return *desc != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateTypeInfo(ITypeLib* owner, std::shared_ptr<const LibraryModel> model, int32_t index, bool interfaceView,
                       ITypeInfo** out) {
    *out = nullptr;
    try {
        *out = new TypeInfo(owner, std::move(model), index, interfaceView);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace qelv_rt
