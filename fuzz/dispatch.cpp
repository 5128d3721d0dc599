// IDispatch::Invoke on every class the module serves, as a careless or hostile
// host would call it: any DISPID (the real ones most of the time), any flags,
// any argument count with or without named arguments, VARIANTs of every type
// the platform knows by value and by reference, arrays of every element type
// with one or two dimensions and any lower bound, and NULL wherever a pointer
// goes. Checked: nothing crashes, leaks or hangs; every status is one the
// dispatch layer documents; a failure reported as an exception carries a
// failure code; no array is left locked. Arrays stay small (at most 64
// elements) so that a slow transform still runs thousands of times a second.
#include <qelvsonalter2/QelvSonalter2.h>
#include <qelvsonalter2/platform.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "FuzzInput.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

namespace {

using qelv_fuzz::Input;

// The classes the module may serve; one it does not serve (yet) is skipped.
const CLSID* const kClasses[] = {&CLSID_Sonalter2, &CLSID_SonalterDisplay2};

void Check(bool ok, const char* what, HRESULT hr = S_OK) {
    if (!ok) {
        std::fprintf(stderr, "%s (0x%08X)\n", what, static_cast<unsigned>(hr));
        std::abort();
    }
}

bool Documented(HRESULT hr) {
    switch (hr) {
        case S_OK:
        case DISP_E_MEMBERNOTFOUND:
        case DISP_E_BADPARAMCOUNT:
        case DISP_E_PARAMNOTOPTIONAL:
        case DISP_E_PARAMNOTFOUND:
        case DISP_E_TYPEMISMATCH:
        case DISP_E_OVERFLOW:
        case DISP_E_BADVARTYPE:
        case DISP_E_EXCEPTION:
        case DISP_E_BADCALLEE:
        case DISP_E_UNKNOWNINTERFACE:
        case DISP_E_NONAMEDARGS:
        case E_INVALIDARG:
        case E_OUTOFMEMORY:
            return true;
        default:
            return false;
    }
}

// The members of a class, read from its type information once.
struct Member {
    DISPID id;
    WORD flags;
    int params;
};

std::vector<Member> MembersOf(IDispatch* object) {
    std::vector<Member> members;
    ITypeInfo* info = nullptr;
    if (FAILED(object->GetTypeInfo(0, 0, &info)) || info == nullptr) return members;
    TYPEATTR* attr = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attr))) {
        for (UINT i = 0; i < attr->cFuncs; ++i) {
            FUNCDESC* f = nullptr;
            if (FAILED(info->GetFuncDesc(i, &f))) continue;
            members.push_back({f->memid, static_cast<WORD>(f->invkind), f->cParams});
            info->ReleaseFuncDesc(f);
        }
        info->ReleaseTypeAttr(attr);
    }
    info->Release();
    return members;
}

const VARTYPE kScalarTypes[] = {VT_EMPTY, VT_NULL, VT_I2,   VT_I4,  VT_R4,   VT_R8,  VT_CY,  VT_DATE,
                                VT_BSTR,  VT_DISPATCH, VT_ERROR, VT_BOOL, VT_UNKNOWN, VT_DECIMAL, VT_I1,
                                VT_UI1,   VT_UI2, VT_UI4,  VT_I8,  VT_UI8, VT_INT, VT_UINT, VT_RECORD};
const VARTYPE kElementTypes[] = {VT_I2,  VT_I2,  VT_R4,  VT_R4,  VT_I4,   VT_R8,  VT_CY,  VT_DATE, VT_BSTR,
                                 VT_DISPATCH, VT_ERROR, VT_BOOL, VT_VARIANT, VT_UNKNOWN, VT_DECIMAL,
                                 VT_I1,  VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT};

double Special(Input& in) {
    switch (in.below(12)) {
        case 0: return std::numeric_limits<double>::quiet_NaN();
        case 1: return std::numeric_limits<double>::infinity();
        case 2: return -std::numeric_limits<double>::infinity();
        case 3: return std::numeric_limits<double>::denorm_min();
        case 4: return -std::numeric_limits<double>::max();
        case 5: return 1e30;
        case 6: return 0.0;
        case 7: return -0.0;
        case 8: return in.f64();
        default: return static_cast<double>(static_cast<int16_t>(in.u16())) / (1 + in.below(100));
    }
}

// Owns everything a generated argument points to; cleared after the call.
struct Holder {
    VARIANT value;            // by-value argument as the caller keeps it
    SAFEARRAY* array = nullptr;  // the target of VT_BYREF|VT_ARRAY
    BSTR text = nullptr;      // the target of VT_BYREF|VT_BSTR
    IUnknown* object = nullptr;  // the target of VT_BYREF|VT_DISPATCH / VT_UNKNOWN
    VARIANT inner;            // the target of VT_BYREF|VT_VARIANT
    alignas(16) unsigned char scalar[16] = {};  // the target of other references
    bool byref = false;
    bool arrayRef = false;

    Holder() {
        VariantInit(&value);
        VariantInit(&inner);
    }
    ~Holder() {
        if (!byref) {
            VariantClear(&value);
        }
        if (array != nullptr) {
            Check(array->cLocks == 0, "an array was left locked");
            Check(SafeArrayDestroy(array) == S_OK, "an array could not be destroyed");
        }
        SysFreeString(text);
        if (object != nullptr) object->Release();
        VariantClear(&inner);
    }
};

BSTR RandomText(Input& in) {
    const std::string bytes = in.bytes(24);
    if (bytes.empty() && in.flag()) return nullptr;
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    }
    if (in.flag()) text = u"1.5";  // a number as text
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
}

void FillScalar(Input& in, VARTYPE vt, void* storage) {
    switch (vt) {
        case VT_R4: {
            const float f = static_cast<float>(Special(in));
            std::memcpy(storage, &f, sizeof f);
            break;
        }
        case VT_R8:
        case VT_DATE: {
            const double d = Special(in);
            std::memcpy(storage, &d, sizeof d);
            break;
        }
        case VT_DECIMAL: {
            DECIMAL d{};
            d.scale = static_cast<BYTE>(in.below(32));
            d.sign = in.flag() ? 0x80 : (in.flag() ? in.u8() : 0);
            d.Hi32 = in.flag() ? in.u32() : 0;
            d.Lo64 = in.u64();
            std::memcpy(storage, &d, sizeof d);
            break;
        }
        case VT_BOOL: {
            const VARIANT_BOOL b = in.flag() ? VARIANT_TRUE : static_cast<VARIANT_BOOL>(in.u16());
            std::memcpy(storage, &b, sizeof b);
            break;
        }
        default: {
            const uint64_t bits = in.flag() ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(in.u16())))
                                            : in.u64();
            std::memcpy(storage, &bits, sizeof bits);
            break;
        }
    }
}

SAFEARRAY* RandomArray(Input& in, VARTYPE elementVt) {
    const UINT dims = 1 + in.below(4) / 3;  // mostly one dimension
    SAFEARRAYBOUND bounds[2];
    ULONG total = 1;
    for (UINT d = 0; d < dims; ++d) {
        const ULONG count = dims == 1 ? in.below(65) : in.below(9);
        LONG lower = 0;
        switch (in.below(6)) {
            case 0: lower = 1; break;
            case 1: lower = -static_cast<LONG>(in.below(10)); break;
            case 2: lower = static_cast<LONG>(in.u32()); break;
            default: break;
        }
        bounds[d] = {count, lower};
        total *= count;
    }
    SAFEARRAY* array = SafeArrayCreate(elementVt, dims, bounds);
    if (array == nullptr) return nullptr;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return array;
    for (ULONG i = 0; i < total && !in.empty(); ++i) {
        auto* p = static_cast<unsigned char*>(data) + i * array->cbElements;
        switch (elementVt) {
            case VT_BSTR: *reinterpret_cast<BSTR*>(p) = RandomText(in); break;
            case VT_DISPATCH:
            case VT_UNKNOWN: break;  // NULL objects
            case VT_VARIANT: {
                VARIANT* v = reinterpret_cast<VARIANT*>(p);
                const VARTYPE vt = kScalarTypes[in.below(5) + 2];  // I2, I4, R4, R8, CY
                v->vt = vt;
                FillScalar(in, vt, &v->llVal);
                break;
            }
            case VT_I2:
                if (in.flag()) {
                    const int16_t s = static_cast<int16_t>(in.u16());
                    std::memcpy(p, &s, sizeof s);
                    break;
                }
                [[fallthrough]];
            default: {
                unsigned char scalar[16] = {};
                FillScalar(in, elementVt, scalar);
                std::memcpy(p, scalar, array->cbElements);
                break;
            }
        }
    }
    SafeArrayUnaccessData(array);
    return array;
}

// Makes one argument in h.value (possibly a reference into h).
void RandomArgument(Input& in, Holder& h) {
    VARIANT& v = h.value;
    const uint32_t shape = in.below(16);
    if (shape < 5) {
        // An array by value, or by reference.
        const VARTYPE element = kElementTypes[in.below(sizeof kElementTypes / sizeof kElementTypes[0])];
        SAFEARRAY* array = in.below(10) == 0 ? nullptr : RandomArray(in, element);
        if (in.flag()) {
            h.byref = true;
            h.array = array;
            v.vt = VT_BYREF | VT_ARRAY | element;
            v.pparray = in.below(12) == 0 ? nullptr : &h.array;
        } else {
            v.vt = VT_ARRAY | element;
            v.parray = array;
        }
        return;
    }
    if (shape == 5) {
        // An invalid type tag.
        v.vt = in.u16();
        v.llVal = 0;
        h.byref = true;  // never cleared: the tag means nothing
        return;
    }
    const VARTYPE vt = kScalarTypes[in.below(sizeof kScalarTypes / sizeof kScalarTypes[0])];
    const bool byref = shape >= 12 && vt != VT_EMPTY && vt != VT_NULL;
    if (!byref) {
        v.vt = vt;
        switch (vt) {
            case VT_BSTR: v.bstrVal = RandomText(in); break;
            case VT_DISPATCH:
            case VT_UNKNOWN: v.punkVal = nullptr; break;
            case VT_RECORD: v.pvRecord = nullptr; v.pRecInfo = nullptr; break;
            case VT_ERROR: v.scode = in.flag() ? DISP_E_PARAMNOTFOUND : static_cast<SCODE>(in.u32()); break;
            case VT_DECIMAL: {
                DECIMAL d;
                FillScalar(in, VT_DECIMAL, &d);
                v.decVal = d;
                v.vt = VT_DECIMAL;
                break;
            }
            default: FillScalar(in, vt, &v.llVal); break;
        }
        return;
    }
    h.byref = true;
    if (in.below(8) == 0) {
        // A reference to a variant holding a value, or an array.
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = in.below(10) == 0 ? nullptr : &h.inner;
        if (in.flag()) {
            const VARTYPE element = kElementTypes[in.below(4)];
            h.inner.vt = VT_ARRAY | element;
            h.inner.parray = RandomArray(in, element);
        } else {
            h.inner.vt = kScalarTypes[in.below(8)];
            if (h.inner.vt == VT_BSTR) {
                h.inner.bstrVal = RandomText(in);
            } else if (h.inner.vt == VT_DISPATCH || h.inner.vt == VT_UNKNOWN) {
                h.inner.punkVal = nullptr;
            } else {
                FillScalar(in, h.inner.vt, &h.inner.llVal);
            }
        }
        return;
    }
    v.vt = VT_BYREF | vt;
    void* target = h.scalar;
    switch (vt) {
        case VT_BSTR: h.text = RandomText(in); target = &h.text; break;
        case VT_DISPATCH:
        case VT_UNKNOWN: target = &h.object; break;
        case VT_RECORD: target = nullptr; v.vt = VT_RECORD; v.pvRecord = nullptr; v.pRecInfo = nullptr; return;
        default: FillScalar(in, vt, h.scalar); break;
    }
    v.byref = in.below(12) == 0 ? nullptr : target;
}

DISPID RandomDispid(Input& in, const std::vector<Member>& members, WORD* flags) {
    if (!members.empty() && in.below(8) != 0) {
        const Member& m = members[in.below(static_cast<uint32_t>(members.size()))];
        *flags = m.flags == INVOKE_FUNC ? DISPATCH_METHOD : m.flags;
        if (m.flags == INVOKE_PROPERTYGET && in.flag()) *flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
        return m.id;
    }
    static const DISPID kOdd[] = {DISPID_VALUE, DISPID_UNKNOWN, DISPID_PROPERTYPUT, DISPID_NEWENUM, -5, 0x7FFFFFFF,
                                  static_cast<DISPID>(0x80000000u), 1, 99, 1000};
    *flags = 0;
    return in.flag() ? kOdd[in.below(sizeof kOdd / sizeof kOdd[0])] : static_cast<DISPID>(in.u32());
}

void OneCall(Input& in, IDispatch* object, const std::vector<Member>& members) {
    WORD flags = 0;
    const DISPID id = RandomDispid(in, members, &flags);
    switch (in.below(8)) {
        case 0: flags = in.u16(); break;
        case 1: flags = static_cast<WORD>(1u << in.below(4)); break;
        default: break;  // the member's own kind
    }
    const UINT cArgs = in.below(8);
    UINT cNamed = 0;
    if (cArgs > 0 && in.below(4) == 0) cNamed = 1 + in.below(cArgs < 2 ? cArgs : 2);
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 && cArgs > 0 && in.below(4) != 0) cNamed = 1;

    std::vector<std::unique_ptr<Holder>> holders;
    std::vector<VARIANT> rgvarg(cArgs);
    for (UINT i = 0; i < cArgs; ++i) {
        holders.push_back(std::make_unique<Holder>());
        RandomArgument(in, *holders.back());
        rgvarg[i] = holders.back()->value;
    }
    std::vector<DISPID> named(cNamed);
    for (UINT i = 0; i < cNamed; ++i) {
        named[i] = in.below(4) != 0 ? DISPID_PROPERTYPUT : static_cast<DISPID>(in.below(10)) - 2;
    }
    DISPPARAMS params{};
    params.cArgs = cArgs;
    params.cNamedArgs = cNamed;
    params.rgvarg = cArgs == 0 ? nullptr : rgvarg.data();
    params.rgdispidNamedArgs = cNamed == 0 ? nullptr : named.data();
    switch (in.below(24)) {
        case 0: params.rgvarg = nullptr; break;
        case 1: params.rgdispidNamedArgs = nullptr; break;
        case 2: params.cNamedArgs = cArgs + 1; break;
        default: break;
    }
    const bool noParams = in.below(32) == 0;
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 0;
    const bool wantResult = in.below(8) != 0;
    const bool wantExcep = in.below(8) != 0;
    const bool wantArgErr = in.flag();
    const IID& riid = in.below(32) == 0 ? IID_IDispatch : IID_NULL;

    const HRESULT hr = object->Invoke(id, riid, LOCALE_USER_DEFAULT, flags, noParams ? nullptr : &params,
                                      wantResult ? &result : nullptr, wantExcep ? &excep : nullptr,
                                      wantArgErr ? &argErr : nullptr);
    Check(Documented(hr), "Invoke answered an undocumented status", hr);
    if (hr == DISP_E_EXCEPTION && wantExcep) {
        Check(FAILED(excep.scode) || excep.wCode != 0, "an exception without a failure code", excep.scode);
    }
    if (FAILED(hr)) Check(result.vt == VT_EMPTY, "a failed call left a result", hr);
    // The callee may have replaced by-value arrays in place: the caller owns
    // whatever the argument holds now.
    for (UINT i = 0; i < cArgs; ++i) {
        if (!holders[i]->byref) holders[i]->value = rgvarg[i];
    }
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
}

void OtherEntryPoints(Input& in, IDispatch* object) {
    UINT count = 0;
    object->GetTypeInfoCount(in.flag() ? &count : nullptr);
    ITypeInfo* info = nullptr;
    if (SUCCEEDED(object->GetTypeInfo(in.below(3), 0, in.flag() ? &info : nullptr)) && info) info->Release();
    std::vector<BSTR> names;
    const UINT n = in.below(4);
    for (UINT i = 0; i < n; ++i) names.push_back(in.flag() ? SysAllocString(u"Invert") : RandomText(in));
    std::vector<DISPID> ids(n + 1);
    object->GetIDsOfNames(IID_NULL, n == 0 ? nullptr : reinterpret_cast<LPOLESTR*>(names.data()), n,
                          LOCALE_USER_DEFAULT, in.below(10) == 0 ? nullptr : ids.data());
    for (BSTR b : names) SysFreeString(b);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<Member> members[sizeof kClasses / sizeof kClasses[0]];
    static bool read[sizeof kClasses / sizeof kClasses[0]] = {};
    Input in(data, size);
    const size_t which = in.below(sizeof kClasses / sizeof kClasses[0]);
    IClassFactory* factory = nullptr;
    if (FAILED(DllGetClassObject(*kClasses[which], IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return 0;
    IDispatch* object = nullptr;
    const HRESULT created = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
    factory->Release();
    Check(SUCCEEDED(created) && object != nullptr, "the class factory failed", created);
    if (!read[which]) {
        members[which] = MembersOf(object);
        read[which] = true;
    }
    for (int calls = 0; calls < 8 && !in.empty(); ++calls) {
        if (in.below(16) == 0) {
            OtherEntryPoints(in, object);
        } else {
            OneCall(in, object, members[which]);
        }
    }
    object->Release();
    return 0;
}
