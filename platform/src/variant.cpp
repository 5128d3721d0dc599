// VARIANT lifetime: initialise, clear (releasing what the value owns) and copy.
#include "variant_rules.h"

#include <cstring>

namespace qelv_platform {

bool IsValidVariantType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE modifiers = vt & ~VT_TYPEMASK;
    if ((modifiers & ~(VT_BYREF | VT_ARRAY)) != 0) return false;
    switch (base) {
        case VT_EMPTY:
        case VT_NULL:
            return modifiers == 0;
        case VT_VARIANT:
            return modifiers != 0;
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_RECORD:
            return true;
        default:
            return false;
    }
}

// ScalarSize: see variant_rules.h.
std::size_t ScalarSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        default:
            return 0;
    }
}

HRESULT ViewByValue(const VARIANT* src, VARIANT* view) {
    std::memset(static_cast<void*>(view), 0, sizeof(VARIANT));
    if ((src->vt & VT_BYREF) == 0) {
        std::memcpy(static_cast<void*>(view), src, sizeof(VARIANT));
        return S_OK;
    }
    const VARTYPE base = src->vt & ~VT_BYREF;
    if (src->byref == nullptr) return E_INVALIDARG;
    if (base == VT_VARIANT) {
        const VARIANT* inner = src->pvarVal;
        if ((inner->vt & VT_BYREF) != 0) return E_INVALIDARG;
        if (!IsValidVariantType(inner->vt)) return DISP_E_BADVARTYPE;
        std::memcpy(static_cast<void*>(view), inner, sizeof(VARIANT));
        return S_OK;
    }
    view->vt = base;
    if ((base & VT_ARRAY) != 0) {
        view->parray = *src->pparray;
    } else if (base == VT_BSTR) {
        view->bstrVal = *src->pbstrVal;
    } else if (base == VT_UNKNOWN || base == VT_DISPATCH) {
        view->punkVal = *src->ppunkVal;
    } else if (base == VT_DECIMAL) {
        view->decVal = *src->pdecVal;
        view->vt = VT_DECIMAL;  // the DECIMAL overlays the type tag
    } else if (const std::size_t size = ScalarSize(base); size != 0) {
        std::memcpy(&view->llVal, src->byref, size);
    } else {
        return DISP_E_BADVARTYPE;  // records cannot be read here
    }
    return S_OK;
}

}  // namespace qelv_platform

namespace {

using qelv_platform::IsValidVariantType;
using qelv_platform::ViewByValue;

// Makes `out` an independent copy of the by-value variant `src`: strings are
// duplicated, interfaces AddRef'd, arrays deep-copied. `out` is raw storage.
HRESULT CopyByValue(VARIANT* out, const VARIANT* src) {
    std::memcpy(static_cast<void*>(out), src, sizeof(VARIANT));
    const VARTYPE vt = src->vt;
    if ((vt & VT_BYREF) != 0) return S_OK;  // references are copied as references
    if ((vt & VT_ARRAY) != 0) {
        SAFEARRAY* copy = nullptr;
        const HRESULT hr = SafeArrayCopy(src->parray, &copy);
        out->parray = copy;
        if (FAILED(hr)) out->vt = VT_EMPTY;
        return hr;
    }
    switch (vt) {
        case VT_BSTR:
            if (src->bstrVal != nullptr) {
                // Byte length keeps odd-length (binary) strings intact.
                out->bstrVal =
                    SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal), SysStringByteLen(src->bstrVal));
                if (out->bstrVal == nullptr) {
                    out->vt = VT_EMPTY;
                    return E_OUTOFMEMORY;
                }
            }
            return S_OK;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (src->punkVal != nullptr) src->punkVal->AddRef();
            return S_OK;
        default:
            return S_OK;
    }
}

// Replaces *dest with the owned value `fresh`, clearing dest first.
HRESULT Install(VARIANT* dest, VARIANT* fresh) {
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(fresh);
        return hr;
    }
    std::memcpy(static_cast<void*>(dest), fresh, sizeof(VARIANT));
    return S_OK;
}

}  // namespace

// VariantInit: marks a variant as empty.
//   pvarg [out] the variant; NULL is ignored.
// NOTES: only the type tag is written; nothing is released.
WINOLEAUTAPI_(void) VariantInit(VARIANTARG* pvarg) {
    if (pvarg != nullptr) pvarg->vt = VT_EMPTY;
}

// VariantClear: releases what a variant owns and marks it empty.
//   pvarg [in, out] the variant.
// Returns S_OK; E_INVALIDARG when pvarg is NULL; DISP_E_BADVARTYPE for an
// invalid type tag; DISP_E_ARRAYISLOCKED when its array is locked. On failure
// the variant is left unchanged.
// NOTES: strings are freed, interfaces released and arrays destroyed; a
// by-reference variant owns nothing, so nothing it points at is touched.
WINOLEAUTAPI VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr) return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    if (!IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    if ((vt & VT_BYREF) == 0) {
        if ((vt & VT_ARRAY) != 0) {
            const HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvarg->punkVal != nullptr) {
            pvarg->punkVal->Release();
        }
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

// VariantCopy: makes dest an independent copy of src.
//   pvargDest [in, out] the destination; its old value is cleared first.
//   pvargSrc  [in] the source.
// Returns S_OK; E_INVALIDARG for NULL pointers; DISP_E_BADVARTYPE for an
// invalid source tag; DISP_E_ARRAYISLOCKED when dest holds a locked array;
// E_OUTOFMEMORY. On failure dest keeps its old value.
// NOTES: deep copy (strings, arrays, AddRef'd interfaces), except that a
// by-reference source is copied as the same reference. Copying a variant onto
// itself does nothing.
WINOLEAUTAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
    if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    if (pvargDest == pvargSrc) return S_OK;
    // Copy before clearing: the source may be owned by the destination.
    VARIANT fresh;
    const HRESULT hr = CopyByValue(&fresh, pvargSrc);
    if (FAILED(hr)) return hr;
    return Install(pvargDest, &fresh);
}

// VariantCopyInd: like VariantCopy, but a by-reference source is replaced by
// a by-value copy of what it points at.
//   pvarDest [in, out] the destination; may be the source itself.
//   pvargSrc [in] the source.
// Returns S_OK; E_INVALIDARG for NULL pointers, a NULL reference or a
// reference to a variant that is itself a reference; DISP_E_BADVARTYPE;
// DISP_E_ARRAYISLOCKED; E_OUTOFMEMORY. On failure dest keeps its old value.
WINOLEAUTAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (pvarDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
    if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    if ((pvargSrc->vt & VT_BYREF) == 0) return VariantCopy(pvarDest, pvargSrc);
    VARIANT view;
    HRESULT hr = ViewByValue(pvargSrc, &view);
    if (FAILED(hr)) return hr;
    VARIANT fresh;
    hr = CopyByValue(&fresh, &view);
    if (FAILED(hr)) return hr;
    return Install(pvarDest, &fresh);
}
