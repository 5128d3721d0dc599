// Calling the transform object's members through IDispatch::Invoke with
// arguments built from their type information: sample arrays get a short tone,
// float arrays a few small values, longs 1, booleans true, and floats an
// ordinary value except where a caller puts an extreme one. Shared by the
// numeric input table test and the memory soak.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "transform/Sonalter2.h"

namespace qelv::hardening {

inline constexpr HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

enum class Kind { Samples, Floats, Float, Long, Bool, Other };

struct Param {
    Kind kind;
    std::u16string name;
};

struct Method {
    std::u16string name;
    DISPID id;
    WORD flags;  // DISPATCH_METHOD or DISPATCH_PROPERTYPUT
    std::vector<Param> params;  // declared order, without the [out, retval] one
    bool hasFloat = false;
};

inline Kind KindOf(ITypeInfo* info, const TYPEDESC& t) {
    if (t.vt == VT_PTR && t.lptdesc->vt == VT_SAFEARRAY) {
        const VARTYPE e = t.lptdesc->lptdesc->vt;
        return e == VT_I2 ? Kind::Samples : e == VT_R4 ? Kind::Floats : Kind::Other;
    }
    switch (t.vt) {
        case VT_R4: return Kind::Float;
        case VT_I4:
        case VT_INT: return Kind::Long;
        case VT_BOOL: return Kind::Bool;
        case VT_USERDEFINED: {
            ITypeInfo* ref = nullptr;
            Kind kind = Kind::Other;
            if (SUCCEEDED(info->GetRefTypeInfo(t.hreftype, &ref))) {
                TYPEATTR* attr = nullptr;
                if (SUCCEEDED(ref->GetTypeAttr(&attr))) {
                    if (attr->typekind == TKIND_ENUM) kind = Kind::Long;
                    ref->ReleaseTypeAttr(attr);
                }
                ref->Release();
            }
            return kind;
        }
        default: return Kind::Other;
    }
}

// Every method and property put of the object's dispatch interface.
inline std::vector<Method> Members(IDispatch* object) {
    std::vector<Method> out;
    ITypeInfo* info = nullptr;
    if (FAILED(object->GetTypeInfo(0, 0, &info)) || info == nullptr) return out;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) {
        info->Release();
        return out;
    }
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f))) continue;
        // IUnknown's and IDispatch's own members are restricted: not for callers.
        const bool restricted = (f->wFuncFlags & FUNCFLAG_FRESTRICTED) != 0;
        if (!restricted && (f->invkind == INVOKE_FUNC || f->invkind == INVOKE_PROPERTYPUT)) {
            Method m;
            m.id = f->memid;
            m.flags = f->invkind == INVOKE_FUNC ? DISPATCH_METHOD : DISPATCH_PROPERTYPUT;
            BSTR names[16] = {};
            UINT got = 0;
            info->GetNames(f->memid, names, 16, &got);
            m.name = got > 0 ? std::u16string(names[0]) : u"?";
            bool anyFloat = false;
            for (SHORT p = 0; p < f->cParams; ++p) {
                const ELEMDESC& e = f->lprgelemdescParam[p];
                if ((e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) != 0) continue;
                const Kind kind = KindOf(info, e.tdesc);
                anyFloat = anyFloat || kind == Kind::Float;
                m.params.push_back({kind, static_cast<UINT>(p + 1) < got ? std::u16string(names[p + 1]) : u"?"});
            }
            for (UINT k = 0; k < got; ++k) SysFreeString(names[k]);
            m.hasFloat = anyFloat;
            out.push_back(std::move(m));
        }
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    info->Release();
    return out;
}

inline SAFEARRAY* Tone(VARTYPE vt, ULONG n) {
    SAFEARRAY* a = SafeArrayCreateVector(vt, 0, n);
    void* data = nullptr;
    SafeArrayAccessData(a, &data);
    for (ULONG i = 0; i < n; ++i) {
        const double x = 8000.0 * std::sin(0.05 * static_cast<double>(i));
        if (vt == VT_I2) {
            static_cast<SHORT*>(data)[i] = static_cast<SHORT>(x);
        } else {
            static_cast<float*>(data)[i] = 1.0f + static_cast<float>(i % 7);
        }
    }
    SafeArrayUnaccessData(a);
    return a;
}

inline std::vector<SHORT> Samples(SAFEARRAY* a) {
    std::vector<SHORT> out;
    if (a == nullptr || SafeArrayGetDim(a) != 1) return out;
    out.assign(static_cast<SHORT*>(a->pvData), static_cast<SHORT*>(a->pvData) + a->rgsabound[0].cElements);
    return out;
}

// What every float array holds: 16 small steps (1 to 7), or 8 values rising
// by octaves from 100 (an odd power of two long, and ascending, as spectrum
// factors and band layouts need).
enum class FloatArrays { Steps, Rising };

inline SAFEARRAY* FloatArray(FloatArrays which) {
    if (which == FloatArrays::Steps) return Tone(VT_R4, 16);
    SAFEARRAY* a = SafeArrayCreateVector(VT_R4, 0, 8);
    void* data = nullptr;
    SafeArrayAccessData(a, &data);
    for (ULONG i = 0; i < 8; ++i) static_cast<float*>(data)[i] = 100.0f * static_cast<float>(1u << i);
    SafeArrayUnaccessData(a);
    return a;
}

struct Outcome {
    HRESULT hr = S_OK;
    HRESULT scode = S_OK;
    std::u16string description;
    bool arraysUntouched = true;
    std::string output;  // what a successful call gave, briefly
    // Kept only when asked: each parameter's samples after the call (empty for
    // other parameters), and the returned value.
    std::vector<std::vector<SHORT>> after;
    VARTYPE resultType = VT_EMPTY;
    float resultFloat = 0.0f;
    std::vector<SHORT> resultSamples;
    std::vector<float> resultFloats;
};

// Calls m with every float at `base`, except parameter `special` (-1: none),
// which gets `value` as VT_R4, or as VT_R8 when `asDouble`. With `keep`, the
// outcome holds the arrays after the call and the returned value.
inline Outcome Call(IDispatch* object, const Method& m, float base, int special, double value, bool asDouble,
                    ULONG samples = 4096, bool keep = false, FloatArrays floats = FloatArrays::Steps) {
    const size_t n = m.params.size();
    std::vector<VARIANT> args(n);
    std::vector<std::vector<SHORT>> before(n);
    for (size_t i = 0; i < n; ++i) {
        VARIANT& v = args[n - 1 - i];  // arguments go in reverse order
        VariantInit(&v);
        switch (m.params[i].kind) {
            case Kind::Samples:
                v.vt = VT_ARRAY | VT_I2;
                v.parray = Tone(VT_I2, samples);
                before[i] = Samples(v.parray);
                break;
            case Kind::Floats:
                v.vt = VT_ARRAY | VT_R4;
                v.parray = FloatArray(floats);
                break;
            case Kind::Float:
                if (static_cast<int>(i) == special && asDouble) {
                    v.vt = VT_R8;
                    v.dblVal = value;
                } else {
                    v.vt = VT_R4;
                    v.fltVal = static_cast<int>(i) == special ? static_cast<float>(value) : base;
                }
                break;
            case Kind::Long:
                v.vt = VT_I4;
                v.lVal = 1;
                break;
            case Kind::Bool:
                v.vt = VT_BOOL;
                v.boolVal = VARIANT_TRUE;
                break;
            case Kind::Other:
                v.vt = VT_ERROR;
                v.scode = DISP_E_PARAMNOTFOUND;
                break;
        }
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), m.flags == DISPATCH_PROPERTYPUT ? &putId : nullptr, static_cast<UINT>(n),
                      m.flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    Outcome o;
    o.hr = object->Invoke(m.id, IID_NULL, LOCALE_USER_DEFAULT, m.flags, &params, &result, &excep, nullptr);
    o.scode = excep.scode;
    if (excep.bstrDescription) o.description = excep.bstrDescription;
    if (keep) o.after.resize(n);
    for (size_t i = 0; i < n; ++i) {
        VARIANT& v = args[n - 1 - i];
        if (m.params[i].kind == Kind::Samples) {
            const std::vector<SHORT> after = Samples(v.parray);
            if (keep) o.after[i] = after;
            if (after != before[i]) {
                o.arraysUntouched = false;
                // What the array became, briefly: "all 0", or its range.
                SHORT lo = 32767, hi = -32768;
                for (SHORT s : after) {
                    lo = s < lo ? s : lo;
                    hi = s > hi ? s : hi;
                }
                o.output = after.empty() ? "empty" : (lo == 0 && hi == 0) ? "samples all 0"
                                                       : "samples " + std::to_string(lo) + ".." + std::to_string(hi);
            }
        }
        VariantClear(&v);
    }
    if (keep) {
        o.resultType = result.vt;
        if (result.vt == VT_R4) o.resultFloat = result.fltVal;
        if (result.vt == (VT_ARRAY | VT_I2)) o.resultSamples = Samples(result.parray);
        if (result.vt == (VT_ARRAY | VT_R4) && SafeArrayGetDim(result.parray) == 1) {
            const float* data = static_cast<const float*>(result.parray->pvData);
            o.resultFloats.assign(data, data + result.parray->rgsabound[0].cElements);
        }
    }
    if (result.vt == VT_R4) {
        char text[64];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(result.fltVal));
        o.output = text;
    } else if (result.vt == (VT_ARRAY | VT_I2)) {
        o.output = "array of " + std::to_string(Samples(result.parray).size());
    } else if (o.hr == S_OK && o.arraysUntouched && o.output.empty()) {
        o.output = "samples unchanged";
    }
    VariantClear(&result);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return o;
}

// Ordinary values for a method's floats; its base is the first it accepts.
inline constexpr float kBases[] = {100.0f, 50.0f, 1.0f, 0.5f, 1000.0f, 10.0f, 0.0f, -6.0f};

struct Probe {
    float base;
    Outcome outcome;
};

// Calls m with every float at each ordinary base in turn until a call succeeds.
// RETURNS every call made: the accepted one last, or the last base's when
// none is accepted.
inline std::vector<Probe> ProbeBases(IDispatch* object, const Method& m, ULONG samples = 4096) {
    std::vector<Probe> probes;
    for (float base : kBases) {
        probes.push_back({base, Call(object, m, base, -1, 0.0, false, samples)});
        if (probes.back().outcome.hr == S_OK) break;
    }
    return probes;
}

}  // namespace qelv::hardening
