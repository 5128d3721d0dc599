#include "SafeArrays.h"

#include "Errors.h"
#include "Text.h"

#include <cstring>
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

size_t ElementCount(SAFEARRAY* array) {
    if (!array || SafeArrayGetDim(array) != 1) return 0;
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) return 0;
    if (upper < lower) return 0;
    return static_cast<size_t>(static_cast<long long>(upper) - lower + 1);
}

}  // namespace sonalter
