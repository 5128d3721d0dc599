// Safe arrays: self-describing, bounds-checked arrays of automation values.
//
// Layout, as on Windows: a descriptor whose rgsabound holds the dimensions last
// first, preceded by a 16-byte prefix whose final 4 bytes keep the element type
// (FADF_HAVEVARTYPE). The data lives in a separate zero-filled block; the
// leftmost dimension (rgIndices[0], rgsabound[cDims - 1]) varies fastest.
//
// Descriptors allocated here are remembered in a registry, so that freeing a
// descriptor the caller built itself (on the stack, statically) is refused
// rather than crashing.
#include <qelvsonalter2/platform.h>

#include "variant_rules.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

constexpr std::size_t kPrefixBytes = 16;
// No array this large can be met; refusing it early keeps every size product
// below 2^63 so later index arithmetic cannot wrap.
constexpr std::uint64_t kMaxDataBytes = std::uint64_t{1} << 40;
// Windows caps the lock count; one more lock fails with E_UNEXPECTED.
constexpr ULONG kMaxLocks = 0xFFFF;
// Data that the array does not own.
constexpr USHORT kForeignData = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;

struct Registry {
    std::mutex lock;
    std::unordered_set<const SAFEARRAY*> arrays;
};

// Never destroyed: arrays may be released by other libraries' static destructors.
Registry& TheRegistry() {
    static Registry* registry = new Registry();
    return *registry;
}

bool IsOwnDescriptor(const SAFEARRAY* psa) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.arrays.count(psa) != 0;
}

// Element size for the element types a safe array may hold; 0 for any other.
ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(void*);
        case VT_VARIANT:
            return sizeof(VARIANT);
        case VT_DECIMAL:
            return sizeof(DECIMAL);
        default:
            return static_cast<ULONG>(qelv_platform::ScalarSize(vt));
    }
}

USHORT FeaturesFor(VARTYPE vt) {
    switch (vt) {
        case VT_BSTR:
            return FADF_HAVEVARTYPE | FADF_BSTR;
        case VT_VARIANT:
            return FADF_HAVEVARTYPE | FADF_VARIANT;
        case VT_UNKNOWN:
            return FADF_HAVEVARTYPE | FADF_UNKNOWN;
        case VT_DISPATCH:
            return FADF_HAVEVARTYPE | FADF_DISPATCH;
        default:
            return FADF_HAVEVARTYPE;
    }
}

// Number of elements over all dimensions; false when the product overflows.
bool CountElements(const SAFEARRAY* psa, std::uint64_t* count) {
    std::uint64_t total = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        if (__builtin_mul_overflow(total, static_cast<std::uint64_t>(psa->rgsabound[i].cElements), &total)) {
            return false;
        }
    }
    *count = total;
    return true;
}

// Byte size of `count` elements of `size` bytes; false when it is too large.
bool DataBytes(std::uint64_t count, ULONG size, std::uint64_t* bytes) {
    return !__builtin_mul_overflow(count, static_cast<std::uint64_t>(size), bytes) && *bytes <= kMaxDataBytes;
}

DWORD* VartypeSlot(SAFEARRAY* psa) { return reinterpret_cast<DWORD*>(psa) - 1; }

// Allocates a registered descriptor (prefix included) with zeroed bounds.
SAFEARRAY* AllocDescriptor(UINT cDims) {
    const std::size_t bytes = kPrefixBytes + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<std::uint8_t*>(std::calloc(1, bytes));
    if (block == nullptr) return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefixBytes);
    Registry& r = TheRegistry();
    try {
        std::lock_guard<std::mutex> guard(r.lock);
        r.arrays.insert(psa);
    } catch (...) {
        std::free(block);
        return nullptr;
    }
    psa->cDims = static_cast<USHORT>(cDims);
    return psa;
}

// Frees a descriptor if it is one of ours; other descriptors belong to the caller.
void FreeDescriptor(SAFEARRAY* psa) {
    Registry& r = TheRegistry();
    {
        std::lock_guard<std::mutex> guard(r.lock);
        if (r.arrays.erase(psa) == 0) return;
    }
    std::free(reinterpret_cast<std::uint8_t*>(psa) - kPrefixBytes);
}

// Data blocks are never empty so that pvData is a valid pointer for any array.
void* AllocData(std::uint64_t bytes) { return std::calloc(1, bytes == 0 ? 1 : static_cast<std::size_t>(bytes)); }

// Releases what elements [first, last) own: strings, interfaces, variants.
void ReleaseElements(SAFEARRAY* psa, std::uint64_t first, std::uint64_t last) {
    constexpr USHORT kOwning = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;
    // Elements of plain types own nothing; skipping them keeps destroying a large
    // sample array from touching every element.
    if (psa->pvData == nullptr || (psa->fFeatures & kOwning) == 0) return;
    auto* data = static_cast<std::uint8_t*>(psa->pvData);
    for (std::uint64_t i = first; i < last; ++i) {
        void* element = data + i * psa->cbElements;
        if ((psa->fFeatures & FADF_BSTR) != 0) {
            BSTR* s = static_cast<BSTR*>(element);
            SysFreeString(*s);
            *s = nullptr;
        } else if ((psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
            IUnknown** p = static_cast<IUnknown**>(element);
            if (*p != nullptr) (*p)->Release();
            *p = nullptr;
        } else if ((psa->fFeatures & FADF_VARIANT) != 0) {
            VariantClear(static_cast<VARIANT*>(element));
        }
    }
}

// Deep-copies `count` elements of `psa`'s kind from src to zeroed dst.
HRESULT CopyElements(const SAFEARRAY* psa, const std::uint8_t* src, std::uint8_t* dst, std::uint64_t count) {
    const ULONG size = psa->cbElements;
    if ((psa->fFeatures & FADF_BSTR) != 0) {
        for (std::uint64_t i = 0; i < count; ++i) {
            BSTR from = *reinterpret_cast<const BSTR*>(src + i * size);
            if (from == nullptr) continue;
            BSTR to = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from), SysStringByteLen(from));
            if (to == nullptr) return E_OUTOFMEMORY;
            *reinterpret_cast<BSTR*>(dst + i * size) = to;
        }
    } else if ((psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
        for (std::uint64_t i = 0; i < count; ++i) {
            IUnknown* from = *reinterpret_cast<IUnknown* const*>(src + i * size);
            if (from != nullptr) from->AddRef();
            *reinterpret_cast<IUnknown**>(dst + i * size) = from;
        }
    } else if ((psa->fFeatures & FADF_VARIANT) != 0) {
        for (std::uint64_t i = 0; i < count; ++i) {
            auto* to = reinterpret_cast<VARIANT*>(dst + i * size);
            VariantInit(to);
            const HRESULT hr = VariantCopy(to, reinterpret_cast<const VARIANT*>(src + i * size));
            if (FAILED(hr)) return hr;
        }
    } else if (count != 0) {
        std::memcpy(dst, src, static_cast<std::size_t>(count * size));
    }
    return S_OK;
}

// Locates an element without locking; indices run leftmost dimension first.
HRESULT ElementPointer(SAFEARRAY* psa, const LONG* rgIndices, void** element) {
    if (psa->cDims == 0 || psa->pvData == nullptr) return E_INVALIDARG;
    std::uint64_t offset = 0;
    std::uint64_t stride = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - d];
        const std::int64_t rel = static_cast<std::int64_t>(rgIndices[d]) - bound.lLbound;
        if (rel < 0 || rel >= static_cast<std::int64_t>(bound.cElements)) return DISP_E_BADINDEX;
        offset += static_cast<std::uint64_t>(rel) * stride;
        stride *= bound.cElements;
    }
    *element = static_cast<std::uint8_t*>(psa->pvData) + offset * psa->cbElements;
    return S_OK;
}

SAFEARRAY* CreateArray(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound) {
    const ULONG size = ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > 0xFFFF || rgsabound == nullptr) return nullptr;
    std::uint64_t count = 1;
    for (UINT i = 0; i < cDims; ++i) {
        if (__builtin_mul_overflow(count, static_cast<std::uint64_t>(rgsabound[i].cElements), &count)) return nullptr;
    }
    std::uint64_t bytes = 0;
    if (!DataBytes(count, size, &bytes)) return nullptr;
    SAFEARRAY* psa = AllocDescriptor(cDims);
    if (psa == nullptr) return nullptr;
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = size;
    *VartypeSlot(psa) = vt;
    // Callers list dimensions leftmost first; the descriptor keeps them reversed.
    for (UINT i = 0; i < cDims; ++i) psa->rgsabound[cDims - 1 - i] = rgsabound[i];
    psa->pvData = AllocData(bytes);
    if (psa->pvData == nullptr) {
        FreeDescriptor(psa);
        return nullptr;
    }
    return psa;
}

}  // namespace

// SafeArrayCreate: creates an array with zero-filled elements.
//   vt        [in] the element type (numeric, VT_BOOL, VT_ERROR, VT_CY, VT_DATE,
//             VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH, VT_DECIMAL).
//   cDims     [in] number of dimensions (1..65535).
//   rgsabound [in] one bound per dimension, leftmost dimension first.
// Returns the array, or NULL for an unsupported type, no dimensions, a size
// that does not fit in memory, or a shortage of memory.
WINOLEAUTAPI_(SAFEARRAY*) SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    return CreateArray(vt, cDims, rgsabound);
}

// SafeArrayCreateVector: creates a one-dimensional array.
//   vt        [in] the element type (as for SafeArrayCreate).
//   lLbound   [in] the lower bound.
//   cElements [in] the number of elements.
// Returns the array, or NULL as for SafeArrayCreate.
WINOLEAUTAPI_(SAFEARRAY*) SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const SAFEARRAYBOUND bound = {cElements, lLbound};
    return CreateArray(vt, 1, &bound);
}

// SafeArrayDestroy: releases the elements, the data and the descriptor.
//   psa [in] the array; NULL is accepted.
// Returns S_OK; DISP_E_ARRAYISLOCKED when the array is locked (nothing freed).
// NOTES: data marked FADF_AUTO/FADF_STATIC/FADF_EMBEDDED is released element by
// element but not freed, and a descriptor not made here is left to its owner.
WINOLEAUTAPI SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr) return S_OK;
    if (psa->cLocks != 0) return DISP_E_ARRAYISLOCKED;
    std::uint64_t count = 0;
    if (CountElements(psa, &count)) ReleaseElements(psa, 0, count);
    if ((psa->fFeatures & kForeignData) == 0) {
        std::free(psa->pvData);
        psa->pvData = nullptr;
    }
    FreeDescriptor(psa);
    return S_OK;
}

// SafeArrayGetDim: the number of dimensions.
//   psa [in] the array.
// Returns cDims, or 0 when psa is NULL.
WINOLEAUTAPI_(UINT) SafeArrayGetDim(SAFEARRAY* psa) { return psa != nullptr ? psa->cDims : 0; }

// SafeArrayGetElemsize: the size of one element in bytes.
//   psa [in] the array.
// Returns cbElements, or 0 when psa is NULL.
WINOLEAUTAPI_(UINT) SafeArrayGetElemsize(SAFEARRAY* psa) { return psa != nullptr ? psa->cbElements : 0; }

// SafeArrayGetLBound: the lower bound of a dimension.
//   psa      [in] the array.
//   nDim     [in] the dimension, 1 for the leftmost.
//   plLbound [out] the lower bound.
// Returns S_OK; E_INVALIDARG for NULL pointers; DISP_E_BADINDEX when nDim is
// 0 or above the array's dimension count.
WINOLEAUTAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (psa == nullptr || plLbound == nullptr) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

// SafeArrayGetUBound: the upper bound of a dimension.
//   psa      [in] the array.
//   nDim     [in] the dimension, 1 for the leftmost.
//   plUbound [out] lower bound + element count - 1.
// Returns S_OK; E_INVALIDARG for NULL pointers; DISP_E_BADINDEX for a bad nDim.
// NOTES: an empty dimension reports lower bound - 1; the sum wraps to 32 bits
// as it does on Windows.
WINOLEAUTAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (psa == nullptr || plUbound == nullptr) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<std::int64_t>(bound.lLbound) + bound.cElements - 1);
    return S_OK;
}

// SafeArrayGetVartype: the element type.
//   psa [in] the array.
//   pvt [out] the element type.
// Returns S_OK; E_INVALIDARG for NULL pointers or when the type is not recorded
// and cannot be told from the feature flags.
WINOLEAUTAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (psa == nullptr || pvt == nullptr) return E_INVALIDARG;
    if ((psa->fFeatures & FADF_HAVEVARTYPE) != 0 && IsOwnDescriptor(psa)) {
        *pvt = static_cast<VARTYPE>(*VartypeSlot(psa));
    } else if ((psa->fFeatures & FADF_RECORD) != 0) {
        *pvt = VT_RECORD;
    } else if ((psa->fFeatures & FADF_BSTR) != 0) {
        *pvt = VT_BSTR;
    } else if ((psa->fFeatures & FADF_VARIANT) != 0) {
        *pvt = VT_VARIANT;
    } else if ((psa->fFeatures & FADF_DISPATCH) != 0) {
        *pvt = VT_DISPATCH;
    } else if ((psa->fFeatures & (FADF_UNKNOWN | FADF_HAVEIID)) != 0) {
        *pvt = VT_UNKNOWN;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

// SafeArrayLock: increments the lock count, pinning the data and the bounds.
//   psa [in] the array.
// Returns S_OK; E_INVALIDARG when psa is NULL; E_UNEXPECTED when the count is
// already at its 65535 maximum.
WINOLEAUTAPI SafeArrayLock(SAFEARRAY* psa) {
    if (psa == nullptr) return E_INVALIDARG;
    ULONG current = __atomic_load_n(&psa->cLocks, __ATOMIC_SEQ_CST);
    do {
        if (current >= kMaxLocks) return E_UNEXPECTED;
    } while (!__atomic_compare_exchange_n(&psa->cLocks, &current, current + 1, false, __ATOMIC_SEQ_CST,
                                          __ATOMIC_SEQ_CST));
    return S_OK;
}

// SafeArrayUnlock: decrements the lock count.
//   psa [in] the array.
// Returns S_OK; E_INVALIDARG when psa is NULL; E_UNEXPECTED when it is not locked.
WINOLEAUTAPI SafeArrayUnlock(SAFEARRAY* psa) {
    if (psa == nullptr) return E_INVALIDARG;
    ULONG current = __atomic_load_n(&psa->cLocks, __ATOMIC_SEQ_CST);
    do {
        if (current == 0) return E_UNEXPECTED;
    } while (!__atomic_compare_exchange_n(&psa->cLocks, &current, current - 1, false, __ATOMIC_SEQ_CST,
                                          __ATOMIC_SEQ_CST));
    return S_OK;
}

// SafeArrayAccessData: locks the array and gives its data pointer.
//   psa     [in] the array.
//   ppvData [out] the data, leftmost dimension varying fastest.
// Returns S_OK; E_INVALIDARG for NULL pointers; E_UNEXPECTED at the lock limit.
WINOLEAUTAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (psa == nullptr || ppvData == nullptr) return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) {
        *ppvData = nullptr;
        return hr;
    }
    *ppvData = psa->pvData;
    return S_OK;
}

// SafeArrayUnaccessData: undoes SafeArrayAccessData.
//   psa [in] the array.
// Returns as SafeArrayUnlock.
WINOLEAUTAPI SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

// SafeArrayPtrOfIndex: the address of an element.
//   psa       [in] the array.
//   rgIndices [in] one index per dimension, leftmost dimension first.
//   ppvData   [out] the element's address.
// Returns S_OK; E_INVALIDARG for NULL pointers or an array without data;
// DISP_E_BADINDEX when an index is outside its bounds.
// NOTES: does not lock the array; the caller should hold a lock while using
// the pointer.
WINOLEAUTAPI SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (psa == nullptr || rgIndices == nullptr || ppvData == nullptr) return E_INVALIDARG;
    return ElementPointer(psa, rgIndices, ppvData);
}

// SafeArrayGetElement: copies one element out.
//   psa       [in] the array.
//   rgIndices [in] one index per dimension, leftmost dimension first.
//   pv        [out] receives the element: a new BSTR copy for string arrays, an
//             AddRef'd pointer for interface arrays, a VariantCopy for variant
//             arrays (pv is initialised first), the bytes otherwise.
// Returns S_OK; E_INVALIDARG for NULL pointers; DISP_E_BADINDEX; E_OUTOFMEMORY;
// E_UNEXPECTED at the lock limit.
WINOLEAUTAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (psa == nullptr || rgIndices == nullptr || pv == nullptr) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    void* element = nullptr;
    hr = ElementPointer(psa, rgIndices, &element);
    if (SUCCEEDED(hr)) {
        // Copies are built over cleared storage: a NULL element must read as NULL.
        if ((psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)) != 0) *static_cast<void**>(pv) = nullptr;
        hr = CopyElements(psa, static_cast<const std::uint8_t*>(element), static_cast<std::uint8_t*>(pv), 1);
    }
    SafeArrayUnlock(psa);
    return hr;
}

// SafeArrayPutElement: stores one element, releasing the one it replaces.
//   psa       [in] the array.
//   rgIndices [in] one index per dimension, leftmost dimension first.
//   pv        [in] the value: the BSTR itself for string arrays (copied), the
//             interface pointer itself for interface arrays (AddRef'd), a
//             VARIANT* for variant arrays (VariantCopy), else a pointer to the
//             value's bytes.
// Returns S_OK; E_INVALIDARG for NULL pointers (a NULL string or interface is
// a valid value); DISP_E_BADINDEX; E_OUTOFMEMORY; E_UNEXPECTED at the lock limit.
WINOLEAUTAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (psa == nullptr || rgIndices == nullptr) return E_INVALIDARG;
    const bool pointerValued = (psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH)) != 0;
    if (pv == nullptr && !pointerValued) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    void* element = nullptr;
    hr = ElementPointer(psa, rgIndices, &element);
    if (SUCCEEDED(hr)) {
        if ((psa->fFeatures & FADF_BSTR) != 0) {
            BSTR from = static_cast<BSTR>(pv);
            BSTR copy = nullptr;
            if (from != nullptr) {
                copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(from), SysStringByteLen(from));
                if (copy == nullptr) hr = E_OUTOFMEMORY;
            }
            if (SUCCEEDED(hr)) {
                SysFreeString(*static_cast<BSTR*>(element));
                *static_cast<BSTR*>(element) = copy;
            }
        } else if ((psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) != 0) {
            auto* from = static_cast<IUnknown*>(pv);
            if (from != nullptr) from->AddRef();
            IUnknown* old = *static_cast<IUnknown**>(element);
            *static_cast<IUnknown**>(element) = from;
            if (old != nullptr) old->Release();
        } else if ((psa->fFeatures & FADF_VARIANT) != 0) {
            hr = VariantCopy(static_cast<VARIANT*>(element), static_cast<const VARIANT*>(pv));
        } else {
            std::memmove(element, pv, psa->cbElements);
        }
    }
    SafeArrayUnlock(psa);
    return hr;
}

// SafeArrayRedim: changes the bound of the last (rightmost, slowest-varying)
// dimension, keeping the elements that remain.
//   psa         [in] the array.
//   psaboundNew [in] the new element count and lower bound of that dimension.
// Returns S_OK; E_INVALIDARG for NULL pointers or an array without dimensions;
// DISP_E_ARRAYISLOCKED when the array is locked or of fixed size (or its data
// is not its own); E_OUTOFMEMORY when the new size cannot be had (nothing is
// changed then).
// NOTES: dropped elements are released (strings freed, interfaces released,
// variants cleared); new elements are zero-filled.
WINOLEAUTAPI SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (psa == nullptr || psaboundNew == nullptr || psa->cDims == 0) return E_INVALIDARG;
    if (psa->cLocks != 0 || (psa->fFeatures & (FADF_FIXEDSIZE | kForeignData)) != 0) return DISP_E_ARRAYISLOCKED;

    // Elements in one step of the last dimension: the product of the others.
    std::uint64_t slice = 1;
    for (USHORT i = 1; i < psa->cDims; ++i) {
        if (__builtin_mul_overflow(slice, static_cast<std::uint64_t>(psa->rgsabound[i].cElements), &slice)) {
            return E_OUTOFMEMORY;
        }
    }
    std::uint64_t oldCount = 0;
    std::uint64_t newCount = 0;
    std::uint64_t newBytes = 0;
    if (__builtin_mul_overflow(slice, static_cast<std::uint64_t>(psa->rgsabound[0].cElements), &oldCount) ||
        __builtin_mul_overflow(slice, static_cast<std::uint64_t>(psaboundNew->cElements), &newCount) ||
        !DataBytes(newCount, psa->cbElements, &newBytes)) {
        return E_OUTOFMEMORY;
    }

    if (newCount > oldCount) {
        void* grown = std::realloc(psa->pvData, static_cast<std::size_t>(newBytes));
        if (grown == nullptr) return E_OUTOFMEMORY;
        const std::uint64_t oldBytes = oldCount * psa->cbElements;
        std::memset(static_cast<std::uint8_t*>(grown) + oldBytes, 0, static_cast<std::size_t>(newBytes - oldBytes));
        psa->pvData = grown;
    } else if (newCount < oldCount) {
        ReleaseElements(psa, newCount, oldCount);
        // A failed shrink keeps the larger block, which is still correct.
        void* shrunk = std::realloc(psa->pvData, newBytes == 0 ? 1 : static_cast<std::size_t>(newBytes));
        if (shrunk != nullptr) psa->pvData = shrunk;
    }
    psa->rgsabound[0] = *psaboundNew;
    return S_OK;
}

// SafeArrayCopy: makes a deep copy of an array.
//   psa     [in] the array; NULL gives a NULL copy.
//   ppsaOut [out] the copy (strings duplicated, interfaces AddRef'd, variants
//           copied with VariantCopy); NULL on failure.
// Returns S_OK; E_INVALIDARG when ppsaOut is NULL or psa has no dimensions;
// E_OUTOFMEMORY.
// NOTES: the copy owns its data even when the source's was static or embedded.
WINOLEAUTAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (ppsaOut == nullptr) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (psa == nullptr) return S_OK;
    if (psa->cDims == 0) return E_INVALIDARG;
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
    if (!CountElements(psa, &count) || !DataBytes(count, psa->cbElements, &bytes)) return E_OUTOFMEMORY;
    if (count != 0 && psa->pvData == nullptr) return E_INVALIDARG;

    SAFEARRAY* copy = AllocDescriptor(psa->cDims);
    if (copy == nullptr) return E_OUTOFMEMORY;
    copy->fFeatures = static_cast<USHORT>(psa->fFeatures & ~kForeignData);
    copy->cbElements = psa->cbElements;
    VARTYPE vt = VT_EMPTY;
    if (SUCCEEDED(SafeArrayGetVartype(psa, &vt))) {
        *VartypeSlot(copy) = vt;
    } else {
        copy->fFeatures = static_cast<USHORT>(copy->fFeatures & ~FADF_HAVEVARTYPE);
    }
    std::memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
    copy->pvData = AllocData(bytes);
    if (copy->pvData == nullptr) {
        FreeDescriptor(copy);
        return E_OUTOFMEMORY;
    }
    const HRESULT hr =
        CopyElements(psa, static_cast<const std::uint8_t*>(psa->pvData), static_cast<std::uint8_t*>(copy->pvData), count);
    if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
    }
    *ppsaOut = copy;
    return S_OK;
}
