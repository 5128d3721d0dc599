// DispCallFunc: a call through a vtable slot with arguments known only at run time.
//
// Why one fixed function-pointer type can reach every method we call:
// On x86-64 System V and on AArch64 (AAPCS64), integer and pointer arguments go in order into
// the integer registers (rdi, rsi, rdx, rcx, r8, r9 / x0-x7) and float and double arguments go
// in order into the vector registers (xmm0-7 / v0-7); the two sequences do not affect each
// other. A call through
//     uint64_t (*)(uint64 a0, .., uint64 a5, double f0, .., double f7)
// therefore loads exactly the registers a method with up to 6 integer-class arguments (the
// object pointer included) and up to 8 float-class arguments expects, whatever their order
// in its signature; surplus registers are ignored by the callee. A float argument is read from
// the low 32 bits of its vector register, so it travels as a double whose low 32 bits hold the
// float's bits. Integers narrower than 64 bits are sign- or zero-extended here, which satisfies
// both ABIs whatever the callee assumes. Results come back in rax / x0 (integers) or
// xmm0 / v0 (floating point). Methods needing more arguments would need the stack, which is
// refused with DISP_E_BADCALLEE; so are by-value VARIANTs and other aggregates.
#include <qelvsonalter2/platform.h>

#include <cstdint>
#include <cstring>

#if !defined(__x86_64__) && !defined(__aarch64__)
#error "DispCallFunc knows the register conventions of x86-64 System V and AArch64 only"
#endif

namespace {

constexpr UINT kIntRegisters = 6;
constexpr UINT kFloatRegisters = 8;

using IntCall = uint64_t (*)(uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, double, double, double,
                             double, double, double, double, double);
using FloatCall = double (*)(uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, double, double, double,
                             double, double, double, double, double);

enum class ArgClass { Integer, Float, Unsupported, Invalid };

// How an argument of type vt travels, and its register image.
ArgClass Classify(VARTYPE vt, const VARIANTARG& arg, uint64_t& bits) {
    if (vt & (VT_BYREF | VT_ARRAY)) {
        std::memcpy(&bits, &arg.byref, sizeof(void*));
        return ArgClass::Integer;
    }
    switch (vt) {
        case VT_I1: bits = static_cast<uint64_t>(static_cast<int64_t>(arg.cVal)); return ArgClass::Integer;
        case VT_I2: bits = static_cast<uint64_t>(static_cast<int64_t>(arg.iVal)); return ArgClass::Integer;
        case VT_BOOL: bits = static_cast<uint64_t>(static_cast<int64_t>(arg.boolVal)); return ArgClass::Integer;
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
        case VT_HRESULT: bits = static_cast<uint64_t>(static_cast<int64_t>(arg.lVal)); return ArgClass::Integer;
        case VT_UI1: bits = arg.bVal; return ArgClass::Integer;
        case VT_UI2: bits = arg.uiVal; return ArgClass::Integer;
        case VT_UI4:
        case VT_UINT: bits = arg.ulVal; return ArgClass::Integer;
        case VT_I8:
        case VT_UI8:
        case VT_CY: bits = static_cast<uint64_t>(arg.llVal); return ArgClass::Integer;
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_PTR:
        case VT_SAFEARRAY:
        case VT_LPSTR:
        case VT_LPWSTR:
        case VT_INT_PTR:
        case VT_UINT_PTR: std::memcpy(&bits, &arg.byref, sizeof(void*)); return ArgClass::Integer;
        case VT_R4: {
            uint32_t f;
            std::memcpy(&f, &arg.fltVal, sizeof(f));
            bits = f;
            return ArgClass::Float;
        }
        case VT_R8:
        case VT_DATE: std::memcpy(&bits, &arg.dblVal, sizeof(bits)); return ArgClass::Float;
        case VT_VARIANT:
        case VT_DECIMAL:
        case VT_RECORD: return ArgClass::Unsupported;
        default: return ArgClass::Invalid;
    }
}

bool StoreResult(VARTYPE vt, uint64_t bits, double real, VARIANT* result) {
    VARIANT v;
    std::memset(&v, 0, sizeof(v));
    v.vt = vt;
    switch (vt) {
        case VT_EMPTY:
        case VT_VOID: v.vt = VT_EMPTY; break;
        case VT_I1: v.cVal = static_cast<CHAR>(bits); break;
        case VT_UI1: v.bVal = static_cast<BYTE>(bits); break;
        case VT_I2: v.iVal = static_cast<SHORT>(bits); break;
        case VT_UI2: v.uiVal = static_cast<USHORT>(bits); break;
        case VT_BOOL: v.boolVal = static_cast<VARIANT_BOOL>(bits); break;
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
        case VT_HRESULT: v.lVal = static_cast<LONG>(static_cast<uint32_t>(bits)); break;
        case VT_UI4:
        case VT_UINT: v.ulVal = static_cast<ULONG>(bits); break;
        case VT_I8:
        case VT_UI8:
        case VT_CY: v.llVal = static_cast<LONGLONG>(bits); break;
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_PTR:
        case VT_INT_PTR:
        case VT_UINT_PTR: std::memcpy(&v.byref, &bits, sizeof(void*)); break;
        case VT_R4: {
            uint64_t raw;
            std::memcpy(&raw, &real, sizeof(raw));
            const auto low = static_cast<uint32_t>(raw);
            std::memcpy(&v.fltVal, &low, sizeof(low));
            break;
        }
        case VT_R8:
        case VT_DATE: v.dblVal = real; break;
        default: return false;
    }
    if (result != nullptr) {
        *result = v;
    }
    return true;
}

bool ReturnsFloat(VARTYPE vt) {
    return vt == VT_R4 || vt == VT_R8 || vt == VT_DATE;
}

// The call deliberately goes through a function type other than the callee's (see the top of
// this file); clang's function-type sanitizer would flag exactly that.
#if defined(__clang__)
#define QELV_NO_SANITIZE_FUNCTION __attribute__((no_sanitize("function")))
#else
#define QELV_NO_SANITIZE_FUNCTION
#endif

QELV_NO_SANITIZE_FUNCTION uint64_t CallInteger(void* target, const uint64_t* i, const double* f) {
    IntCall call;
    std::memcpy(&call, &target, sizeof(call));
    return call(i[0], i[1], i[2], i[3], i[4], i[5], f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
}

QELV_NO_SANITIZE_FUNCTION double CallFloat(void* target, const uint64_t* i, const double* f) {
    FloatCall call;
    std::memcpy(&call, &target, sizeof(call));
    return call(i[0], i[1], i[2], i[3], i[4], i[5], f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
}

}  // namespace

/******************************************************************************
 * DispCallFunc
 * Calls a virtual method of an object (or, with no object, the function at an address)
 * with arguments given as variants.
 * PARAMS   pvInstance  [in] the object whose vtable holds the method, or NULL
 *          oVft        [in] byte offset of the slot in the vtable (a multiple of the pointer
 *                           size); with pvInstance NULL, the function's address
 *          cc          [in] CC_STDCALL or CC_CDECL (one convention on this platform)
 *          vtReturn    [in] type of the result: VT_HRESULT, VT_ERROR, VT_I4, VT_EMPTY,
 *                           VT_VOID and the other scalar types
 *          cActuals    [in] number of arguments
 *          prgvt       [in] argument types (VT_BYREF and VT_ARRAY types pass a pointer)
 *          prgpvarg    [in] argument values
 *          pvargResult [out] the result, typed vtReturn (VT_EMPTY for VT_VOID); may be NULL
 * RETURNS  S_OK when the call was made (the method's own status is in pvargResult);
 *          E_INVALIDARG for missing arrays or object, a misaligned slot offset;
 *          DISP_E_BADCALLEE for an unknown calling convention, more than 5 integer-class
 *          (6 without an object) or 8 floating-point arguments, or by-value aggregates
 *          (VARIANT, DECIMAL, records); DISP_E_BADVARTYPE for an unknown argument or result type.
 * NOTES    Only register-passed argument lists are supported; see the note at the top of
 *          this file. The argument types are taken from prgvt, not from the variants.
 */
HRESULT STDAPICALLTYPE DispCallFunc(void* pvInstance, ULONG_PTR oVft, CALLCONV cc, VARTYPE vtReturn, UINT cActuals,
                                    VARTYPE* prgvt, VARIANTARG** prgpvarg, VARIANT* pvargResult) {
    if (cActuals > 0 && (prgvt == nullptr || prgpvarg == nullptr)) {
        return E_INVALIDARG;
    }
    if (cc != CC_STDCALL && cc != CC_CDECL) {
        return DISP_E_BADCALLEE;
    }
    if (pvInstance != nullptr ? (oVft % sizeof(void*)) != 0 : oVft == 0) {
        return E_INVALIDARG;
    }
    uint64_t ints[kIntRegisters] = {};
    double floats[kFloatRegisters] = {};
    UINT intCount = 0;
    UINT floatCount = 0;
    if (pvInstance != nullptr) {
        ints[intCount++] = reinterpret_cast<uintptr_t>(pvInstance);
    }
    for (UINT i = 0; i < cActuals; ++i) {
        if (prgpvarg[i] == nullptr) {
            return E_INVALIDARG;
        }
        uint64_t bits = 0;
        switch (Classify(prgvt[i], *prgpvarg[i], bits)) {
            case ArgClass::Integer:
                if (intCount == kIntRegisters) {
                    return DISP_E_BADCALLEE;
                }
                ints[intCount++] = bits;
                break;
            case ArgClass::Float:
                if (floatCount == kFloatRegisters) {
                    return DISP_E_BADCALLEE;
                }
                std::memcpy(&floats[floatCount++], &bits, sizeof(bits));
                break;
            case ArgClass::Unsupported:
                return DISP_E_BADCALLEE;
            case ArgClass::Invalid:
                return DISP_E_BADVARTYPE;
        }
    }
    VARIANT probe;
    if (!StoreResult(vtReturn, 0, 0.0, &probe)) {
        return DISP_E_BADVARTYPE;
    }

    void* target;
    if (pvInstance != nullptr) {
        void* const* vtable;
        std::memcpy(&vtable, pvInstance, sizeof(vtable));
        target = vtable[oVft / sizeof(void*)];
    } else {
        target = reinterpret_cast<void*>(oVft);
    }
    uint64_t bits = 0;
    double real = 0.0;
    if (ReturnsFloat(vtReturn)) {
        real = CallFloat(target, ints, floats);
    } else {
        bits = CallInteger(target, ints, floats);
    }
    StoreResult(vtReturn, bits, real, pvargResult);
    return S_OK;
}
