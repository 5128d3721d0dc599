// One-dimensional safe arrays as the component exchanges them: 16-bit sample
// arrays and float arrays, owned by the host between calls.
#pragma once

#include <qelvsonalter2/platform.h>

#include <span>
#include <utility>
#include <vector>

namespace sonalter {

// Owns one SAFEARRAY (destroyed with SafeArrayDestroy). slot() is what a
// VT_BYREF|VT_ARRAY argument points at, so a callee that replaces the array
// (a transform changing the length) leaves the new one here.
class ArrayOwner {
public:
    ArrayOwner() = default;
    explicit ArrayOwner(SAFEARRAY* adopted) : p_(adopted) {}
    ArrayOwner(const ArrayOwner&) = delete;
    ArrayOwner& operator=(const ArrayOwner&) = delete;
    ArrayOwner(ArrayOwner&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ArrayOwner& operator=(ArrayOwner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ~ArrayOwner() { reset(); }

    SAFEARRAY* get() const { return p_; }
    SAFEARRAY** slot() { return &p_; }
    void reset(SAFEARRAY* adopted = nullptr) {
        if (p_) SafeArrayDestroy(p_);
        p_ = adopted;
    }

private:
    SAFEARRAY* p_ = nullptr;
};

// MakeShortArray / MakeFloatArray
//   Creates a zero-based vector holding a copy of the values.
//   [in] values  the elements; at most 2^31 - 1 of them
//   RETURNS the owner; throws Failure when the array cannot be made (out of memory).
ArrayOwner MakeShortArray(std::span<const SHORT> values);
ArrayOwner MakeFloatArray(std::span<const float> values);

// ReadShorts / ReadFloats
//   Copies the elements of a one-dimensional array of the given element type.
//   [in] array  may be null (gives no elements)
//   RETURNS the elements; throws Failure when the array has another shape or type,
//   which would mean the component returned something its description does not say.
std::vector<SHORT> ReadShorts(SAFEARRAY* array);
std::vector<float> ReadFloats(SAFEARRAY* array);

// ElementCount
//   RETURNS the number of elements of a one-dimensional array (0 for null).
size_t ElementCount(SAFEARRAY* array);

}  // namespace sonalter
