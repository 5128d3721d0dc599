// Dispatch served from a type description: name lookup and Invoke for a vtable interface
// (a dual interface's dispatch view is followed to its interface view). Arguments are
// matched to parameters, coerced to the declared types with VariantChangeType, and the method
// is called through DispCallFunc; a failure status of the method becomes DISP_E_EXCEPTION with
// the thread's error information in EXCEPINFO.
#include "typelib_objects.h"

#include <cstring>
#include <memory>
#include <new>

namespace qelv_rt {

namespace {

// Releases type descriptions handed out by a type info.
struct TypeAttrHolder {
    ITypeInfo* info = nullptr;
    TYPEATTR* attr = nullptr;
    ~TypeAttrHolder() {
        if (attr) info->ReleaseTypeAttr(attr);
    }
};

struct FuncDescHolder {
    ITypeInfo* info = nullptr;
    FUNCDESC* desc = nullptr;
    ~FuncDescHolder() {
        if (desc) info->ReleaseFuncDesc(desc);
    }
};

struct InfoRef {
    ITypeInfo* p = nullptr;
    InfoRef() = default;
    InfoRef(const InfoRef&) = delete;
    InfoRef& operator=(const InfoRef&) = delete;
    ~InfoRef() {
        if (p) p->Release();
    }
    void reset(ITypeInfo* q) {
        if (p) p->Release();
        p = q;
    }
};

// A declared parameter type reduced to what argument passing needs.
struct ParamType {
    int pointers = 0;    // VT_PTR levels above the base
    bool array = false;  // SAFEARRAY of base
    VARTYPE base = VT_EMPTY;
};

HRESULT Flatten(ITypeInfo* info, const TYPEDESC* td, ParamType& out, int depth = 0) {
    if (depth > 8) {
        return DISP_E_BADVARTYPE;
    }
    while (td != nullptr && td->vt == VT_PTR) {
        ++out.pointers;
        td = td->lptdesc;
    }
    if (td != nullptr && td->vt == VT_SAFEARRAY) {
        out.array = true;
        td = td->lptdesc;
    }
    if (td == nullptr) {
        return DISP_E_BADVARTYPE;
    }
    if (td->vt != VT_USERDEFINED) {
        out.base = td->vt;
        return S_OK;
    }
    // Enums travel as VT_I4, aliases as what they stand for, interfaces as object pointers.
    InfoRef ref;
    if (FAILED(info->GetRefTypeInfo(td->hreftype, &ref.p)) || ref.p == nullptr) {
        return DISP_E_BADVARTYPE;
    }
    TypeAttrHolder attr{ref.p, nullptr};
    if (FAILED(ref.p->GetTypeAttr(&attr.attr)) || attr.attr == nullptr) {
        return DISP_E_BADVARTYPE;
    }
    switch (attr.attr->typekind) {
        case TKIND_ENUM:
            out.base = VT_I4;
            return S_OK;
        case TKIND_ALIAS:
            return Flatten(ref.p, &attr.attr->tdescAlias, out, depth + 1);
        case TKIND_INTERFACE:
        case TKIND_DISPATCH:
            if (out.pointers == 0 || out.array) {
                return DISP_E_BADVARTYPE;
            }
            --out.pointers;  // the interface pointer is the value
            out.base = (attr.attr->typekind == TKIND_DISPATCH || (attr.attr->wTypeFlags & TYPEFLAG_FDUAL))
                           ? VT_DISPATCH
                           : VT_UNKNOWN;
            return S_OK;
        default:
            return DISP_E_BADVARTYPE;
    }
}

bool IsScalar(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
        case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
        case VT_BOOL: case VT_ERROR: case VT_DISPATCH: case VT_UNKNOWN:
            return true;
        default:
            return false;
    }
}

// Finds the function with memid and an invoke kind in flags in the vtable interface behind
// info, searching base interfaces up to (not including) IDispatch / IUnknown.
HRESULT FindFunction(ITypeInfo* info, MEMBERID memid, WORD flags, InfoRef& owner, FuncDescHolder& func) {
    InfoRef current;
    info->AddRef();
    current.reset(info);
    {
        TypeAttrHolder attr{current.p, nullptr};
        if (FAILED(current.p->GetTypeAttr(&attr.attr)) || attr.attr == nullptr) {
            return E_INVALIDARG;
        }
        if (attr.attr->typekind == TKIND_DISPATCH) {
            if (!(attr.attr->wTypeFlags & TYPEFLAG_FDUAL)) {
                return DISP_E_MEMBERNOTFOUND;  // a pure dispinterface has no vtable to call
            }
            HREFTYPE href;
            ITypeInfo* view = nullptr;
            if (FAILED(current.p->GetRefTypeOfImplType(static_cast<UINT>(-1), &href)) ||
                FAILED(current.p->GetRefTypeInfo(href, &view)) || view == nullptr) {
                return DISP_E_MEMBERNOTFOUND;
            }
            current.reset(view);
        } else if (attr.attr->typekind != TKIND_INTERFACE) {
            return DISP_E_MEMBERNOTFOUND;
        }
    }
    for (int depth = 0; depth < 32 && current.p != nullptr; ++depth) {
        TypeAttrHolder attr{current.p, nullptr};
        if (FAILED(current.p->GetTypeAttr(&attr.attr)) || attr.attr == nullptr ||
            attr.attr->typekind != TKIND_INTERFACE || IsEqualGUID(attr.attr->guid, IID_IDispatch) ||
            IsEqualGUID(attr.attr->guid, IID_IUnknown)) {
            break;
        }
        UINT known = 0;
        const HRESULT own = FindFuncIndex(current.p, memid, flags, &known);
        for (UINT i = own == S_OK ? known : 0; own != S_FALSE && i < attr.attr->cFuncs; ++i) {
            FUNCDESC* desc = nullptr;
            if (FAILED(current.p->GetFuncDesc(i, &desc)) || desc == nullptr) {
                continue;
            }
            if (desc->memid == memid && (desc->invkind & flags) != 0) {
                func.info = current.p;
                func.desc = desc;
                owner.reset(current.p);
                current.p = nullptr;
                return S_OK;
            }
            current.p->ReleaseFuncDesc(desc);
        }
        HREFTYPE href;
        ITypeInfo* base = nullptr;
        if (attr.attr->cImplTypes == 0 || FAILED(current.p->GetRefTypeOfImplType(0, &href)) ||
            FAILED(current.p->GetRefTypeInfo(href, &base))) {
            break;
        }
        current.p->ReleaseTypeAttr(attr.attr);  // before the info it came from goes
        attr.attr = nullptr;
        current.reset(base);
    }
    return DISP_E_MEMBERNOTFOUND;
}

// n values of a plain type, zeroed: in place for the few parameters a method
// usually has, so that a call allocates nothing; on the heap beyond that.
template <class T, size_t kInPlace = 16>
class Slots {
public:
    explicit Slots(size_t n) : size_(n), data_(n <= kInPlace ? inPlace_ : (heap_ = std::make_unique<T[]>(n)).get()) {
        std::memset(static_cast<void*>(data_), 0, n * sizeof(T));
    }
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;
    T& operator[](size_t i) { return data_[i]; }
    T* data() { return data_; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }

private:
    T inPlace_[kInPlace];
    std::unique_ptr<T[]> heap_;
    size_t size_;
    T* data_;
};

// Everything one call needs, cleaned up in one place.
struct CallFrame {
    Slots<VARIANTARG> temps;     // coerced copies, freed after the call
    Slots<VARIANTARG> passing;   // what DispCallFunc reads
    Slots<VARTYPE> types;
    VARIANT retval;
    bool hasRetval = false;

    // Zeroed, not just VariantInit'ed: a callee that fails leaves its [out] value untouched,
    // and the retval is cleared afterwards.
    explicit CallFrame(size_t n) : temps(n), passing(n), types(n) { std::memset(&retval, 0, sizeof(retval)); }
    ~CallFrame() {
        for (auto& v : temps) VariantClear(&v);
        if (hasRetval) VariantClear(&retval);
    }
    void byPointer(size_t i, void* p) {
        passing[i].vt = VT_BYREF | VT_VOID;
        passing[i].byref = p;
        types[i] = VT_BYREF | VT_VOID;
    }
    void byValue(size_t i, const VARIANTARG& v) {
        passing[i] = v;  // shallow: temps or the caller keep ownership
        types[i] = v.vt;
    }
};

// Prepares the argument for a non-retval parameter. On failure the status is the one to
// return with *puArgErr pointing at the argument.
HRESULT PrepareArgument(const ParamType& t, USHORT flags, VARIANTARG* arg, CallFrame& frame, size_t i) {
    VARIANTARG* src = arg;
    const bool viaVariantRef = arg->vt == (VT_BYREF | VT_VARIANT);
    if (viaVariantRef) {
        src = arg->pvarVal;
        if (src == nullptr) {
            return DISP_E_TYPEMISMATCH;
        }
    }
    if (t.pointers > 1) {
        return DISP_E_BADVARTYPE;
    }
    if (t.array) {
        if (!IsScalar(t.base) && t.base != VT_VARIANT) {
            return DISP_E_BADVARTYPE;
        }
        const VARTYPE want = VT_ARRAY | t.base;
        SAFEARRAY** where = nullptr;
        if (src->vt == want) {
            where = &src->parray;  // a replaced array lands in the caller's variant
        } else if (src->vt == (VT_BYREF | want)) {
            where = src->pparray;
            if (where == nullptr) {
                return DISP_E_TYPEMISMATCH;
            }
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        if (t.pointers == 1) {
            frame.byPointer(i, where);
        } else {
            VARIANTARG v;
            VariantInit(&v);
            v.vt = want;
            v.parray = *where;
            frame.byValue(i, v);
        }
        return S_OK;
    }
    if (t.base == VT_VARIANT) {
        if (t.pointers == 0) {
            return DISP_E_BADCALLEE;  // a VARIANT by value does not fit in registers
        }
        frame.byPointer(i, src);
        return S_OK;
    }
    if (!IsScalar(t.base)) {
        return DISP_E_BADVARTYPE;
    }
    if (t.pointers == 1) {
        if (src->vt == (VT_BYREF | t.base)) {
            if (src->byref == nullptr) {
                return DISP_E_TYPEMISMATCH;
            }
            frame.byPointer(i, src->byref);
            return S_OK;
        }
        if (viaVariantRef && src->vt == t.base) {
            frame.byPointer(i, &src->llVal);  // the value inside the caller's variant
            return S_OK;
        }
        if (flags & PARAMFLAG_FOUT) {
            return DISP_E_TYPEMISMATCH;
        }
    }
    const HRESULT hr = VariantChangeType(&frame.temps[i], src, 0, t.base);
    if (FAILED(hr)) {
        return hr;
    }
    if (t.pointers == 1) {
        frame.byPointer(i, &frame.temps[i].llVal);
    } else {
        frame.byValue(i, frame.temps[i]);
    }
    return S_OK;
}

void FillException(HRESULT hr, EXCEPINFO* info) {
    std::memset(info, 0, sizeof(*info));
    info->scode = hr;
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK && error != nullptr) {
        error->GetSource(&info->bstrSource);
        error->GetDescription(&info->bstrDescription);
        error->GetHelpFile(&info->bstrHelpFile);
        error->GetHelpContext(&info->dwHelpContext);
        error->Release();
    }
}

}  // namespace

HRESULT InvokeFromTypeInfo(ITypeInfo* typeInfo, void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (typeInfo == nullptr || instance == nullptr || params == nullptr) {
        return E_INVALIDARG;
    }
    const UINT cArgs = params->cArgs;
    const UINT cNamed = params->cNamedArgs;
    if ((cArgs > 0 && params->rgvarg == nullptr) || (cNamed > 0 && params->rgdispidNamedArgs == nullptr) ||
        cNamed > cArgs) {
        return E_INVALIDARG;
    }
    auto setArgErr = [argErr](UINT index) {
        if (argErr) *argErr = index;
    };

    // This platform's own descriptions keep a description of each function for
    // every call; others are searched through the interface, base ones too.
    const WORD kinds = flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    InfoRef owner;
    FuncDescHolder func;
    const FUNCDESC* found = nullptr;
    ITypeInfo* declaring = typeInfo;
    HRESULT hr = FindKeptFuncDesc(typeInfo, memid, kinds, &found);
    if (hr != S_OK) {
        hr = FindFunction(typeInfo, memid, kinds, owner, func);
        if (FAILED(hr)) {
            return hr;
        }
        found = func.desc;
        declaring = func.info;
    }
    const FUNCDESC& fd = *found;
    const size_t total = fd.cParams > 0 ? static_cast<size_t>(fd.cParams) : 0;
    const bool hasRetval = total > 0 && (fd.lprgelemdescParam[total - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
    // Parameters the caller supplies: all but the retval and a locale parameter.
    Slots<size_t> supplied(total);
    size_t suppliedCount = 0;
    for (size_t p = 0; p < total - (hasRetval ? 1 : 0); ++p) {
        if (!(fd.lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FLCID)) {
            supplied[suppliedCount++] = p;
        }
    }
    const bool isPut = fd.invkind == INVOKE_PROPERTYPUT || fd.invkind == INVOKE_PROPERTYPUTREF;
    if (isPut && (cNamed == 0 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
        return DISP_E_PARAMNOTOPTIONAL;
    }
    if (cArgs != suppliedCount) {
        return DISP_E_BADPARAMCOUNT;
    }
    // argOf[k]: index in rgvarg of the argument for supplied parameter k. Positional arguments
    // come last in rgvarg, in reverse order; named ones first, in rgdispidNamedArgs order.
    Slots<int64_t> argOf(suppliedCount);
    for (size_t k = 0; k < suppliedCount; ++k) {
        argOf[k] = -1;
    }
    for (UINT k = 0; k < cArgs - cNamed; ++k) {
        argOf[k] = cArgs - 1 - k;
    }
    for (UINT n = 0; n < cNamed; ++n) {
        const DISPID id = params->rgdispidNamedArgs[n];
        int64_t k = -1;
        if (id == DISPID_PROPERTYPUT) {
            k = isPut ? static_cast<int64_t>(suppliedCount) - 1 : -1;
        } else if (id >= 0) {
            // Named ids are parameter positions; find which supplied slot that is.
            for (size_t s = 0; s < suppliedCount; ++s) {
                if (supplied[s] == static_cast<size_t>(id)) k = static_cast<int64_t>(s);
            }
        }
        if (k < 0 || argOf[k] != -1) {
            setArgErr(n);
            return DISP_E_PARAMNOTFOUND;
        }
        argOf[k] = n;
    }

    CallFrame frame(total);
    try {
        size_t next = 0;
        for (size_t p = 0; p < total; ++p) {
            const ELEMDESC& ed = fd.lprgelemdescParam[p];
            ParamType t;
            hr = Flatten(declaring, &ed.tdesc, t);
            if (FAILED(hr)) {
                return hr;
            }
            if (hasRetval && p == total - 1) {
                if (t.pointers != 1) {
                    return DISP_E_BADVARTYPE;
                }
                frame.hasRetval = true;
                if (t.array) {
                    frame.retval.vt = VT_ARRAY | t.base;
                    frame.byPointer(p, &frame.retval.parray);
                } else if (t.base == VT_VARIANT) {
                    frame.byPointer(p, &frame.retval);
                } else if (IsScalar(t.base)) {
                    frame.retval.vt = t.base;
                    frame.byPointer(p, &frame.retval.llVal);
                } else {
                    return DISP_E_BADVARTYPE;
                }
                continue;
            }
            if (ed.paramdesc.wParamFlags & PARAMFLAG_FLCID) {
                frame.temps[p].vt = VT_I4;
                frame.temps[p].lVal = LOCALE_USER_DEFAULT;
                frame.byValue(p, frame.temps[p]);
                continue;
            }
            const UINT argIndex = static_cast<UINT>(argOf[next++]);
            hr = PrepareArgument(t, ed.paramdesc.wParamFlags, &params->rgvarg[argIndex], frame, p);
            if (FAILED(hr)) {
                setArgErr(argIndex);
                return hr;
            }
        }
        Slots<VARIANTARG*> pointers(total);
        for (size_t p = 0; p < total; ++p) {
            pointers[p] = &frame.passing[p];
        }
        VARIANT status;
        VariantInit(&status);
        hr = DispCallFunc(instance, static_cast<ULONG_PTR>(fd.oVft), fd.callconv, VT_ERROR, static_cast<UINT>(total),
                          frame.types.data(), pointers.data(), &status);
        if (FAILED(hr)) {
            return hr;
        }
        if (FAILED(status.scode)) {
            if (excepInfo) {
                FillException(status.scode, excepInfo);
            }
            return DISP_E_EXCEPTION;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (result != nullptr) {
        if (frame.hasRetval) {
            *result = frame.retval;  // ownership moves to the caller
            frame.hasRetval = false;
        } else {
            VariantInit(result);
        }
    }
    return S_OK;
}

}  // namespace qelv_rt

/******************************************************************************
 * DispInvoke
 * Calls a member of an object described by a type description (the standard
 * implementation of IDispatch::Invoke for a dual interface).
 * PARAMS   _this        [in] the interface pointer whose vtable ptinfo describes
 *          ptinfo       [in] the interface's type description (either view of a dual)
 *          dispidMember [in] the member
 *          wFlags       [in] DISPATCH_METHOD, _PROPERTYGET (both as script hosts send
 *                            them), _PROPERTYPUT or _PROPERTYPUTREF
 *          pparams      [in] arguments: positional ones in reverse order, named ones first
 *          pvarResult   [out] the [out, retval] value or VT_EMPTY; may be NULL
 *          pexcepinfo   [out] filled when the member fails; may be NULL
 *          puArgErr     [out] index in rgvarg of a rejected argument; may be NULL
 * RETURNS  S_OK; DISP_E_MEMBERNOTFOUND; DISP_E_BADPARAMCOUNT; DISP_E_PARAMNOTOPTIONAL (a put
 *          without the DISPID_PROPERTYPUT named argument); DISP_E_PARAMNOTFOUND (bad named
 *          argument); DISP_E_TYPEMISMATCH or the coercion's own status (DISP_E_OVERFLOW ...)
 *          for an argument that cannot be converted; DISP_E_EXCEPTION when the member returns
 *          a failure (EXCEPINFO then holds it and the thread's error information);
 *          E_INVALIDARG for NULL pointers or inconsistent DISPPARAMS.
 * NOTES    SAFEARRAY(T)* parameters take VT_ARRAY|T (the callee gets the address of the
 *          variant's own array pointer, so a replaced array reaches the caller) or
 *          VT_BYREF|VT_ARRAY|T; arrays of another element type are a type mismatch.
 *          VT_BYREF|VT_VARIANT arguments are followed one level, as script engines pass
 *          variables that way.
 */
HRESULT STDAPICALLTYPE DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                                  DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr) {
    if (ptinfo == nullptr) {
        return E_INVALIDARG;
    }
    return ptinfo->Invoke(_this, dispidMember, wFlags, pparams, pvarResult, pexcepinfo, puArgErr);
}

/******************************************************************************
 * DispGetIDsOfNames
 * Maps a member name and its parameter names to DISPIDs with a type description.
 * PARAMS   ptinfo    [in] the type description
 *          rgszNames [in] member name, then parameter names
 *          cNames    [in] number of names
 *          rgdispid  [out] member id, then parameter positions; DISPID_UNKNOWN for unknown
 * RETURNS  S_OK; DISP_E_UNKNOWNNAME when a name is not known; E_INVALIDARG.
 * NOTES    Names compare case-insensitively.
 */
HRESULT STDAPICALLTYPE DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgdispid) {
    if (ptinfo == nullptr) {
        return E_INVALIDARG;
    }
    return ptinfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}
