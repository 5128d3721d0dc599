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

// NewShortArray
//   Creates a zero-based sample array of count elements to be filled in place.
//   Its zero-filled data block costs no memory until it is written.
//   RETURNS the owner; throws Failure naming the size when memory is short.
ArrayOwner NewShortArray(size_t count);

// PreferLargePages
//   Asks the system to back a large array's data block with large pages before
//   it is written (fewer page faults). Does nothing for small arrays or where the
//   system does not offer them.
void PreferLargePages(SAFEARRAY* array);

// ReleaseElements
//   Gives the memory of elements [first, last) of a sample array back to the
//   system while the array lives on: those elements read as zero afterwards.
//   Only whole pages inside the range are given back. For a host that has moved
//   the elements elsewhere and will not read them again.
void ReleaseElements(SAFEARRAY* array, size_t first, size_t last);

// ResizeShortArray
//   Changes the element count of a sample array the host owns (SafeArrayRedim):
//   the elements that remain are kept, new ones are zero. Shrinking gives the
//   memory back.
//   Throws Failure when memory is short; the array is unchanged then.
void ResizeShortArray(SAFEARRAY* array, size_t count);

// Elements of a one-dimensional array, locked for the life of this value
// (SafeArrayAccessData / SafeArrayUnaccessData), so the host reads and writes
// the array's own data block without a copy.
template <typename T>
class ArrayElements {
public:
    // [in] array  a one-dimensional array of elements of T's size; null gives none
    //   Throws Failure for an array of another shape or element size.
    explicit ArrayElements(SAFEARRAY* array);
    ArrayElements(const ArrayElements&) = delete;
    ArrayElements& operator=(const ArrayElements&) = delete;
    ~ArrayElements() {
        if (locked_) SafeArrayUnaccessData(locked_);
    }
    std::span<T> Span() const { return span_; }

private:
    SAFEARRAY* locked_ = nullptr;
    std::span<T> span_;
};

using SampleElements = ArrayElements<SHORT>;

// UnlockedShorts
//   The elements of a sample array read without locking it, for an array that
//   several threads read at once and none changes.
//   Throws Failure for an array of another shape or element size.
std::span<const SHORT> UnlockedShorts(const SAFEARRAY* array);

}  // namespace sonalter
