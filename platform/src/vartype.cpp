// Variant coercion: VariantChangeType(Ex) between the automation scalar types,
// strings and object pointers.
//
// Every source value is first reduced to one of a few shapes (integer, binary
// float, currency, exact decimal text, ...) and each target type is built from
// those shapes, so the rules for rounding and range live in one place per
// target. The result is built separately and only installed in the
// destination on success, which makes in-place conversion safe and leaves the
// destination untouched on failure.
#include <qelvsonalter2/platform.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "numtext.h"
#include "variant_rules.h"

namespace {

using qelv_platform::NumberText;

// The oldest and newest representable dates (1 Jan 100 and 31 Dec 9999) as
// day numbers; anything a full day beyond them overflows.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958465.0;
constexpr __int128 kCurrencyScale = 10000;

// The shapes a source value is reduced to.
struct Value {
    enum Kind { kEmpty, kNull, kInteger, kReal, kCurrency, kText, kNumber, kBool, kError, kObject, kOther } kind = kOther;
    __int128 integer = 0;       // kInteger, kBool (the VARIANT_BOOL as stored)
    double real = 0.0;          // kReal
    bool single = false;        // kReal that came from VT_R4 (formats with 7 digits)
    std::int64_t currency = 0;  // kCurrency, in ten-thousandths
    BSTR text = nullptr;        // kText (not owned)
    NumberText number;          // kNumber: an exact decimal (VT_DECIMAL)
    IUnknown* object = nullptr; // kObject (not owned)
};

struct IntegerRange {
    __int128 min;
    __int128 max;
    int bits;
};

bool IntegerTarget(VARTYPE vt, IntegerRange* range) {
    switch (vt) {
        case VT_I1: *range = {-128, 127, 8}; return true;
        case VT_UI1: *range = {0, 255, 8}; return true;
        case VT_I2: *range = {-32768, 32767, 16}; return true;
        case VT_UI2: *range = {0, 65535, 16}; return true;
        case VT_I4:
        case VT_INT: *range = {INT32_MIN, INT32_MAX, 32}; return true;
        case VT_UI4:
        case VT_UINT: *range = {0, UINT32_MAX, 32}; return true;
        case VT_I8: *range = {INT64_MIN, INT64_MAX, 64}; return true;
        case VT_UI8: *range = {0, UINT64_MAX, 64}; return true;
        default: return false;
    }
}

// Rounds to the nearest integer, halves to the even neighbour. Finite input.
double RoundHalfEven(double x) {
    const double floor = std::floor(x);
    const double diff = x - floor;  // exact for doubles
    if (diff > 0.5) return floor + 1.0;
    if (diff < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

// Rounds a double into [min, max]; NaN and anything outside overflow.
HRESULT RealToInteger(double x, const IntegerRange& range, __int128* out) {
    if (!std::isfinite(x)) return DISP_E_OVERFLOW;
    const double r = RoundHalfEven(x);
    // Both limits are exactly representable: -2^(n-1) or 0, and 2^n.
    if (r < static_cast<double>(range.min) || r >= static_cast<double>(range.max) + 1.0) return DISP_E_OVERFLOW;
    *out = static_cast<__int128>(r);
    return S_OK;
}

HRESULT ParseText(BSTR text, NumberText* number) {
    return qelv_platform::ParseNumberText(text, SysStringLen(text), number);
}

// The number of a kText or kNumber value: parsed from the text, or as stored.
HRESULT NumberOf(const Value& v, NumberText* number) {
    if (v.kind == Value::kText) return ParseText(v.text, number);
    *number = v.number;
    return S_OK;
}

HRESULT ToInteger(const Value& v, const IntegerRange& range, __int128* out) {
    __int128 result = 0;
    switch (v.kind) {
        case Value::kEmpty:
            result = 0;
            break;
        case Value::kInteger:
            result = v.integer;
            break;
        case Value::kBool:
            // True (-1) keeps its bit pattern in unsigned targets (255, 65535, ...).
            result = (range.min == 0 && v.integer < 0) ? v.integer + (static_cast<__int128>(1) << range.bits) : v.integer;
            break;
        case Value::kReal: {
            const HRESULT hr = RealToInteger(v.real, range, &result);
            if (FAILED(hr)) return hr;
            break;
        }
        case Value::kCurrency: {
            __int128 q = v.currency / kCurrencyScale;
            const __int128 rem = v.currency % kCurrencyScale;
            const __int128 absRem = rem < 0 ? -rem : rem;
            if (absRem > 5000 || (absRem == 5000 && (q % 2) != 0)) q += v.currency < 0 ? -1 : 1;
            result = q;
            break;
        }
        case Value::kText:
        case Value::kNumber: {
            NumberText number;
            if (const HRESULT hr = NumberOf(v, &number); FAILED(hr)) return hr;
            if (number.isRadix) {
                // &H / &O text is a bit pattern: it may fill a signed target's sign bit.
                const __int128 bits = static_cast<__int128>(number.radixValue);
                const __int128 span = static_cast<__int128>(1) << range.bits;
                if (bits <= range.max) {
                    result = bits;
                } else if (range.min < 0 && bits < span) {
                    result = bits - span;
                } else {
                    return DISP_E_OVERFLOW;
                }
            } else if (!qelv_platform::ScaleToInteger(number, 0, &result)) {
                return DISP_E_OVERFLOW;
            }
            break;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
    if (result < range.min || result > range.max) return DISP_E_OVERFLOW;
    *out = result;
    return S_OK;
}

HRESULT ToReal(const Value& v, double* out) {
    switch (v.kind) {
        case Value::kEmpty: *out = 0.0; return S_OK;
        case Value::kInteger:
        case Value::kBool: *out = static_cast<double>(v.integer); return S_OK;
        case Value::kReal: *out = v.real; return S_OK;
        case Value::kCurrency: *out = static_cast<double>(v.currency) / 10000.0; return S_OK;
        case Value::kText:
        case Value::kNumber: {
            NumberText number;
            if (const HRESULT hr = NumberOf(v, &number); FAILED(hr)) return hr;
            return qelv_platform::NumberToDouble(number, out) ? S_OK : DISP_E_OVERFLOW;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToCurrency(const Value& v, std::int64_t* out) {
    __int128 scaled = 0;
    switch (v.kind) {
        case Value::kEmpty: scaled = 0; break;
        case Value::kInteger:
        case Value::kBool: scaled = v.integer * kCurrencyScale; break;
        case Value::kCurrency: scaled = v.currency; break;
        case Value::kReal: {
            if (!std::isfinite(v.real)) return DISP_E_OVERFLOW;
            const double r = RoundHalfEven(v.real * 10000.0);
            if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return DISP_E_OVERFLOW;
            scaled = static_cast<__int128>(r);
            break;
        }
        case Value::kText:
        case Value::kNumber: {
            NumberText number;
            if (const HRESULT hr = NumberOf(v, &number); FAILED(hr)) return hr;
            if (!qelv_platform::ScaleToInteger(number, 4, &scaled)) return DISP_E_OVERFLOW;
            break;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
    if (scaled < INT64_MIN || scaled > INT64_MAX) return DISP_E_OVERFLOW;
    *out = static_cast<std::int64_t>(scaled);
    return S_OK;
}

HRESULT ToBool(const Value& v, VARIANT_BOOL* out) {
    bool truth = false;
    switch (v.kind) {
        case Value::kEmpty: truth = false; break;
        case Value::kInteger:
        case Value::kBool: truth = v.integer != 0; break;
        case Value::kReal: truth = v.real != 0.0; break;  // NaN counts as non-zero
        case Value::kCurrency: truth = v.currency != 0; break;
        case Value::kNumber: truth = !v.number.digits.empty(); break;
        case Value::kText: {
            const int word = qelv_platform::MatchBooleanWord(v.text, SysStringLen(v.text));
            if (word >= 0) {
                truth = word == 1;
                break;
            }
            NumberText number;
            const HRESULT hr = ParseText(v.text, &number);
            if (FAILED(hr)) return hr;
            truth = number.isRadix ? number.radixValue != 0 : !number.digits.empty();
            break;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
    *out = truth ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ToText(const Value& v, USHORT flags, BSTR* out) {
    std::u16string text;
    switch (v.kind) {
        case Value::kEmpty: break;
        case Value::kInteger: text = qelv_platform::FormatInteger(v.integer); break;
        case Value::kBool:
            if ((flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) != 0) {
                text = v.integer != 0 ? u"True" : u"False";
            } else {
                text = qelv_platform::FormatInteger(v.integer);
            }
            break;
        case Value::kReal: text = qelv_platform::FormatReal(v.real, v.single ? 7 : 15); break;
        case Value::kCurrency: text = qelv_platform::FormatCurrency(v.currency); break;
        case Value::kNumber: text = qelv_platform::FormatNumberText(v.number); break;
        default: return DISP_E_TYPEMISMATCH;
    }
    if (text.size() > 0x3FFFFFFF) return E_OUTOFMEMORY;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Builds a DECIMAL from an exact number: the largest scale up to 28 whose
// scaled value (rounded half to even) fits the 96-bit magnitude. Values whose
// integer part does not fit overflow; values below 10^-28 round to zero.
HRESULT NumberToDecimal(const NumberText& number, DECIMAL* out) {
    const __int128 kLimit = static_cast<__int128>(1) << 96;
    if (number.isRadix) {
        // &H / &O text: the bit pattern as an unsigned integer.
        *out = DECIMAL{};
        out->Lo64 = number.radixValue;
        return S_OK;
    }
    long scale = number.digits.empty() ? 0 : -number.exponent;
    if (scale > 28) scale = 28;
    if (scale < 0) scale = 0;
    for (; scale >= 0; --scale) {
        __int128 scaled = 0;
        if (!qelv_platform::ScaleToInteger(number, static_cast<int>(scale), &scaled)) continue;
        const __int128 magnitude = scaled < 0 ? -scaled : scaled;
        if (magnitude >= kLimit) continue;
        *out = DECIMAL{};
        out->scale = static_cast<BYTE>(magnitude == 0 ? 0 : scale);
        out->sign = scaled < 0 ? 0x80 : 0;
        out->Hi32 = static_cast<ULONG>(static_cast<unsigned __int128>(magnitude) >> 64);
        out->Lo64 = static_cast<ULONGLONG>(magnitude);
        return S_OK;
    }
    return DISP_E_OVERFLOW;
}

HRESULT ToDecimal(const Value& v, DECIMAL* out) {
    NumberText number;
    switch (v.kind) {
        case Value::kEmpty:
            *out = DECIMAL{};
            return S_OK;
        case Value::kInteger:
        case Value::kBool: {
            *out = DECIMAL{};
            const bool negative = v.integer < 0;
            const unsigned __int128 magnitude = negative ? static_cast<unsigned __int128>(-v.integer)
                                                         : static_cast<unsigned __int128>(v.integer);
            out->sign = negative ? 0x80 : 0;
            out->Lo64 = static_cast<ULONGLONG>(magnitude);
            return S_OK;
        }
        case Value::kCurrency: {
            // Exact: the ten-thousandths at scale 4.
            *out = DECIMAL{};
            const bool negative = v.currency < 0;
            out->sign = negative ? 0x80 : 0;
            out->scale = 4;
            out->Lo64 = negative ? std::uint64_t{0} - static_cast<std::uint64_t>(v.currency)
                                 : static_cast<std::uint64_t>(v.currency);
            return S_OK;
        }
        case Value::kReal:
            // The value as displayed: 15 significant digits for doubles, 7 for floats.
            if (!qelv_platform::RealToNumber(v.real, v.single ? 7 : 15, &number)) return DISP_E_OVERFLOW;
            return NumberToDecimal(number, out);
        case Value::kText:
        case Value::kNumber:
            if (const HRESULT hr = NumberOf(v, &number); FAILED(hr)) return hr;
            return NumberToDecimal(number, out);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// A one-dimensional array of bytes read as the bytes of a string (each pair one
// UTF-16 unit; an odd last byte is kept as the string's odd byte length).
HRESULT BytesToText(const SAFEARRAY* array, BSTR* out) {
    if (array == nullptr || array->cDims != 1 || array->cbElements != 1) return E_INVALIDARG;
    const ULONG count = array->rgsabound[0].cElements;
    if (count != 0 && array->pvData == nullptr) return E_INVALIDARG;
    *out = SysAllocStringByteLen(static_cast<LPCSTR>(array->pvData), count);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The bytes of a string as a zero-based one-dimensional byte array.
HRESULT TextToBytes(BSTR text, SAFEARRAY** out) {
    const UINT count = SysStringByteLen(text);
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, count);
    if (array == nullptr) return E_OUTOFMEMORY;
    if (count != 0) std::memcpy(array->pvData, text, count);
    *out = array;
    return S_OK;
}

// Reads a DECIMAL as exact text; false for a malformed one.
bool DecimalToNumber(const DECIMAL& d, NumberText* out) {
    if (d.scale > 28 || (d.sign & 0x7F) != 0) return false;
    unsigned __int128 magnitude = (static_cast<unsigned __int128>(d.Hi32) << 64) | d.Lo64;
    std::string reversed;
    while (magnitude != 0) {
        reversed.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    }
    *out = NumberText{};
    long exponent = -static_cast<long>(d.scale);
    std::size_t zeros = 0;
    while (zeros < reversed.size() && reversed[zeros] == '0') ++zeros;
    exponent += static_cast<long>(zeros);
    out->digits.assign(reversed.rbegin(), reversed.rend() - static_cast<long>(zeros));
    if (out->digits.empty()) return true;
    out->exponent = exponent;
    out->negative = (d.sign & 0x80) != 0;
    return true;
}

// Reduces a by-value variant to a Value. Fails only for a malformed DECIMAL.
HRESULT Classify(const VARIANT& view, Value* v) {
    switch (view.vt) {
        case VT_EMPTY: v->kind = Value::kEmpty; break;
        case VT_NULL: v->kind = Value::kNull; break;
        case VT_I1: v->kind = Value::kInteger; v->integer = static_cast<signed char>(view.cVal); break;
        case VT_UI1: v->kind = Value::kInteger; v->integer = view.bVal; break;
        case VT_I2: v->kind = Value::kInteger; v->integer = view.iVal; break;
        case VT_UI2: v->kind = Value::kInteger; v->integer = view.uiVal; break;
        case VT_I4: v->kind = Value::kInteger; v->integer = view.lVal; break;
        case VT_UI4: v->kind = Value::kInteger; v->integer = view.ulVal; break;
        case VT_INT: v->kind = Value::kInteger; v->integer = view.intVal; break;
        case VT_UINT: v->kind = Value::kInteger; v->integer = view.uintVal; break;
        case VT_I8: v->kind = Value::kInteger; v->integer = view.llVal; break;
        case VT_UI8: v->kind = Value::kInteger; v->integer = view.ullVal; break;
        case VT_R4: v->kind = Value::kReal; v->real = view.fltVal; v->single = true; break;
        case VT_R8: v->kind = Value::kReal; v->real = view.dblVal; break;
        case VT_DATE: v->kind = Value::kReal; v->real = view.date; break;
        case VT_CY: v->kind = Value::kCurrency; v->currency = view.cyVal.int64; break;
        case VT_BOOL: v->kind = Value::kBool; v->integer = view.boolVal; break;
        case VT_BSTR: v->kind = Value::kText; v->text = view.bstrVal; break;
        case VT_DECIMAL:
            v->kind = Value::kNumber;
            if (!DecimalToNumber(view.decVal, &v->number)) return E_INVALIDARG;
            break;
        case VT_ERROR: v->kind = Value::kError; break;
        case VT_UNKNOWN:
        case VT_DISPATCH: v->kind = Value::kObject; v->object = view.punkVal; break;
        default: v->kind = Value::kOther; break;
    }
    return S_OK;
}

// Builds `out` (raw storage) as `vt` from a by-value variant of another type.
HRESULT ConvertScalar(const VARIANT& view, VARTYPE vt, USHORT flags, VARIANT* out) {
    Value v;
    HRESULT hr = Classify(view, &v);
    if (FAILED(hr)) return hr;
    if (v.kind == Value::kNull) return vt == VT_EMPTY || vt == VT_NULL ? S_OK : DISP_E_TYPEMISMATCH;
    if (v.kind == Value::kError || v.kind == Value::kOther) return DISP_E_TYPEMISMATCH;

    IntegerRange range;
    if (IntegerTarget(vt, &range)) {
        __int128 n = 0;
        hr = ToInteger(v, range, &n);
        if (FAILED(hr)) return hr;
        switch (vt) {
            case VT_I1: out->cVal = static_cast<CHAR>(static_cast<signed char>(n)); break;
            case VT_UI1: out->bVal = static_cast<BYTE>(n); break;
            case VT_I2: out->iVal = static_cast<SHORT>(n); break;
            case VT_UI2: out->uiVal = static_cast<USHORT>(n); break;
            case VT_I4: out->lVal = static_cast<LONG>(n); break;
            case VT_UI4: out->ulVal = static_cast<ULONG>(n); break;
            case VT_INT: out->intVal = static_cast<INT>(n); break;
            case VT_UINT: out->uintVal = static_cast<UINT>(n); break;
            case VT_I8: out->llVal = static_cast<LONGLONG>(n); break;
            default: out->ullVal = static_cast<ULONGLONG>(n); break;
        }
        return S_OK;
    }
    switch (vt) {
        case VT_EMPTY:
            return S_OK;
        case VT_R4:
        case VT_R8:
        case VT_DATE: {
            double d = 0.0;
            hr = ToReal(v, &d);
            if (FAILED(hr)) return hr;
            if (vt == VT_R8) {
                out->dblVal = d;
            } else if (vt == VT_R4) {
                // NaN passes through; anything beyond float range overflows.
                if (d < -static_cast<double>(FLT_MAX) || d > static_cast<double>(FLT_MAX)) return DISP_E_OVERFLOW;
                out->fltVal = static_cast<float>(d);
            } else {
                if (!std::isfinite(d) || d <= kMinDate - 1.0 || d >= kMaxDate + 1.0) return DISP_E_OVERFLOW;
                out->date = d;
            }
            return S_OK;
        }
        case VT_CY:
            return ToCurrency(v, &out->cyVal.int64);
        case VT_BOOL:
            return ToBool(v, &out->boolVal);
        case VT_BSTR:
            return ToText(v, flags, &out->bstrVal);
        case VT_DECIMAL:
            return ToDecimal(v, &out->decVal);
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            if (v.kind != Value::kObject) return DISP_E_TYPEMISMATCH;
            if (v.object == nullptr) {
                out->punkVal = nullptr;
                return S_OK;
            }
            void* p = nullptr;
            if (FAILED(v.object->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &p))) {
                return DISP_E_TYPEMISMATCH;
            }
            out->punkVal = static_cast<IUnknown*>(p);
            return S_OK;
        }
        default:
            // VT_NULL from a value, VT_ERROR, VT_RECORD.
            return DISP_E_TYPEMISMATCH;
    }
}

// Fetches an object's value property (DISPID_VALUE) into `value`.
HRESULT ValueProperty(IDispatch* object, LCID lcid, VARIANT* value) {
    VariantInit(value);
    if (object == nullptr) return DISP_E_TYPEMISMATCH;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    const HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
    if (FAILED(hr)) {
        VariantClear(value);
        VariantInit(value);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

bool IsValidTarget(VARTYPE vt) {
    return (vt & VT_BYREF) == 0 && vt != VT_RECORD && qelv_platform::IsValidVariantType(vt);
}

}  // namespace

// VariantChangeTypeEx: converts a variant to another type.
//   pvargDest [in, out] receives the result; its old value is cleared on
//             success. May be the same variant as pvarSrc (converted in place).
//   pvarSrc   [in] the value; references are followed.
//   lcid      [in] locale for text; every locale is treated as English (US).
//   wFlags    [in] VARIANT_NOVALUEPROP: do not ask objects for their value
//             property; VARIANT_ALPHABOOL / VARIANT_LOCALBOOL: booleans become
//             "True"/"False" instead of "-1"/"0".
//   vt        [in] the type wanted.
// Returns S_OK; E_INVALIDARG for NULL pointers or a bad reference;
// DISP_E_BADVARTYPE for an invalid source tag or target type;
// DISP_E_TYPEMISMATCH when the value has no meaning in the target type;
// DISP_E_OVERFLOW when it does not fit (NaN and infinities included);
// E_OUTOFMEMORY. On failure the destination is left unchanged.
// NOTES: floating values round to integers half to even (2.5 -> 2, 3.5 -> 4);
// VARIANT_TRUE is -1 in every signed type and all ones in unsigned ones; an
// object is converted through its value property; dates convert as their day
// numbers, also to and from text; doubles become DECIMAL with the 15 significant
// digits they display with (floats 7); a one-dimensional byte array and a string
// convert both ways as the string's bytes (E_INVALIDARG for another shape).
WINOLEAUTAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                                 VARTYPE vt) {
    if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
    if (!qelv_platform::IsValidVariantType(pvarSrc->vt) || !IsValidTarget(vt)) return DISP_E_BADVARTYPE;

    VARIANT view;
    HRESULT hr = qelv_platform::ViewByValue(pvarSrc, &view);
    if (FAILED(hr)) return hr;

    VARIANT result;
    std::memset(static_cast<void*>(&result), 0, sizeof(result));
    VARIANT fetched;  // an object's value, when one had to be asked for
    VariantInit(&fetched);
    if (view.vt == vt) {
        hr = VariantCopy(&result, &view);
    } else if (view.vt == (VT_ARRAY | VT_UI1) && vt == VT_BSTR) {
        hr = BytesToText(view.parray, &result.bstrVal);
    } else if (view.vt == VT_BSTR && vt == (VT_ARRAY | VT_UI1)) {
        hr = TextToBytes(view.bstrVal, &result.parray);
    } else if (((view.vt | vt) & VT_ARRAY) != 0) {
        hr = DISP_E_TYPEMISMATCH;  // other arrays only copy to their own type
    } else if (view.vt == VT_DISPATCH && vt != VT_UNKNOWN && vt != VT_EMPTY) {
        if ((wFlags & VARIANT_NOVALUEPROP) != 0) {
            hr = DISP_E_TYPEMISMATCH;
        } else {
            hr = ValueProperty(view.pdispVal, lcid, &fetched);
            // One level only: an object whose value is an object does not coerce.
            if (SUCCEEDED(hr) && (fetched.vt == VT_DISPATCH || (fetched.vt & (VT_BYREF | VT_ARRAY)) != 0)) {
                hr = fetched.vt == vt ? VariantCopy(&result, &fetched) : DISP_E_TYPEMISMATCH;
            } else if (SUCCEEDED(hr)) {
                hr = fetched.vt == vt ? VariantCopy(&result, &fetched) : ConvertScalar(fetched, vt, wFlags, &result);
            }
        }
    } else {
        hr = ConvertScalar(view, vt, wFlags, &result);
    }
    VariantClear(&fetched);
    if (FAILED(hr)) return hr;
    result.vt = vt;

    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    std::memcpy(static_cast<void*>(pvargDest), &result, sizeof(VARIANT));
    return S_OK;
}

// VariantChangeType: VariantChangeTypeEx in the user's default locale.
//   pvargDest [in, out], pvarSrc [in], wFlags [in], vt [in]: as for
//   VariantChangeTypeEx.
// Returns as VariantChangeTypeEx.
WINOLEAUTAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
