#include "SafeArrays.h"

#include "Errors.h"
#include "Text.h"

#include <cstdint>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <limits>

namespace sonalter {

namespace {

template <typename T>
ArrayOwner MakeArray(VARTYPE vt, std::span<const T> values) {
    if (values.size() > static_cast<size_t>(std::numeric_limits<LONG>::max())) {
        throw Failure("too many values for one array (" + std::to_string(values.size()) + ")");
    }
    ArrayOwner owner(SafeArrayCreateVector(vt, 0, static_cast<ULONG>(values.size())));
    if (!owner.get()) throw Failure("out of memory for an array of " + std::to_string(values.size()) + " values");
    if (!values.empty()) {
        void* data = nullptr;
        const HRESULT hr = SafeArrayAccessData(owner.get(), &data);
        if (FAILED(hr)) throw Failure("cannot fill an array (status " + Hex(hr) + ")");
        std::memcpy(data, values.data(), values.size() * sizeof(T));
        SafeArrayUnaccessData(owner.get());
    }
    return owner;
}

template <typename T>
std::vector<T> ReadArray(SAFEARRAY* array, VARTYPE vt, const char* what) {
    std::vector<T> out;
    if (!array) return out;
    VARTYPE actual = VT_EMPTY;
    if (SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != sizeof(T) ||
        (SUCCEEDED(SafeArrayGetVartype(array, &actual)) && actual != vt)) {
        throw Failure(std::string("the component returned an array that is not a ") + what);
    }
    out.resize(ElementCount(array));
    if (out.empty()) return out;
    void* data = nullptr;
    const HRESULT hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr)) throw Failure("cannot read an array (status " + Hex(hr) + ")");
    std::memcpy(out.data(), data, out.size() * sizeof(T));
    SafeArrayUnaccessData(array);
    return out;
}

}  // namespace

ArrayOwner MakeShortArray(std::span<const SHORT> values) { return MakeArray<SHORT>(VT_I2, values); }
ArrayOwner MakeFloatArray(std::span<const float> values) { return MakeArray<float>(VT_R4, values); }

std::vector<SHORT> ReadShorts(SAFEARRAY* array) { return ReadArray<SHORT>(array, VT_I2, "sample array"); }
std::vector<float> ReadFloats(SAFEARRAY* array) { return ReadArray<float>(array, VT_R4, "float array"); }

void PreferLargePages(SAFEARRAY* array) {
    // A large array is touched page by page as it fills; with 2 MiB pages the
    // system takes a few dozen faults for a 100 MB array instead of tens of
    // thousands. Only the whole pages inside the block are advised; advice that
    // the system does not take changes nothing.
    constexpr size_t kWorthIt = size_t{8} << 20;
    const size_t bytes = ElementCount(array) * sizeof(SHORT);
    if (!array || !array->pvData || bytes < kWorthIt) return;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(array->pvData);
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t last = (begin + bytes) / page * page;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

void ReleaseElements(SAFEARRAY* array, size_t first, size_t last) {
    if (!array || !array->pvData || array->cLocks != 0 || last <= first || last > ElementCount(array)) return;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto base = reinterpret_cast<std::uintptr_t>(array->pvData);
    const std::uintptr_t from = (base + first * sizeof(SHORT) + page - 1) / page * page;
    const std::uintptr_t to = (base + last * sizeof(SHORT)) / page * page;
    // Private anonymous pages given back read as zero on the next touch.
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

ArrayOwner NewShortArray(size_t count) {
    if (count > static_cast<size_t>(std::numeric_limits<LONG>::max())) {
        throw Failure("too many samples for one array (" + std::to_string(count) + ")");
    }
    ArrayOwner owner(SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(count)));
    if (!owner.get()) {
        throw Failure("out of memory for a sample array of " + std::to_string(count) + " samples (" +
                      std::to_string(count * sizeof(SHORT) / (1024 * 1024)) + " MiB)");
    }
    PreferLargePages(owner.get());
    return owner;
}

void ResizeShortArray(SAFEARRAY* array, size_t count) {
    if (count > static_cast<size_t>(std::numeric_limits<LONG>::max())) {
        throw Failure("too many samples for one array (" + std::to_string(count) + ")");
    }
    SAFEARRAYBOUND bound{static_cast<ULONG>(count), 0};
    const HRESULT hr = SafeArrayRedim(array, &bound);
    if (FAILED(hr)) {
        throw Failure("cannot resize a sample array to " + std::to_string(count) + " samples (status " + Hex(hr) + ")");
    }
}

template <typename T>
ArrayElements<T>::ArrayElements(SAFEARRAY* array) {
    if (!array) return;
    if (SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != sizeof(T)) {
        throw Failure("an array has another shape or element size than expected");
    }
    const size_t count = ElementCount(array);
    void* data = nullptr;
    const HRESULT hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr)) throw Failure("cannot reach an array's elements (status " + Hex(hr) + ")");
    locked_ = array;
    span_ = std::span<T>(static_cast<T*>(data), count);
}

template class ArrayElements<SHORT>;

std::span<const SHORT> UnlockedShorts(const SAFEARRAY* array) {
    if (!array) return {};
    if (array->cDims != 1 || array->cbElements != sizeof(SHORT)) {
        throw Failure("an array has another shape or element size than expected");
    }
    return std::span<const SHORT>(static_cast<const SHORT*>(array->pvData), array->rgsabound[0].cElements);
}
template class ArrayElements<float>;

size_t ElementCount(SAFEARRAY* array) {
    if (!array || SafeArrayGetDim(array) != 1) return 0;
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) return 0;
    if (upper < lower) return 0;
    return static_cast<size_t>(static_cast<long long>(upper) - lower + 1);
}

}  // namespace sonalter
