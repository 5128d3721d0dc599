// The cross-platform comparison: results of a fixed set of calls on randomised
// inputs (fixed seed), written to a file so that the outputs of the Linux module
// and the Windows DLL can be compared byte for byte. Each method family adds its
// calls in a file of its own, registered with an OutputFamily object, so that
// the families run in a fixed order (by name) without a central list.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "Host.h"

namespace host {

// A float array (VT_R4, lower bound 0), and its values.
SAFEARRAY* MakeFloats(const std::vector<float>& values);
std::vector<float> ReadFloats(SAFEARRAY* array);

// xorshift64*: the same sequence on every platform and compiler.
class Random {
public:
    std::uint64_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1DULL;
    }
    short Sample(int amplitude) {
        const int span = 2 * amplitude + 1;
        return static_cast<short>(static_cast<int>(Next() % static_cast<std::uint64_t>(span)) - amplitude);
    }
    // A float in [lo, hi) built from integers only.
    float Uniform(float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(Next() >> 40) / static_cast<float>(1 << 24);
    }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

// Writes records of (name, status, LastErrorNum) and the arrays and numbers after them.
class Writer {
public:
    explicit Writer(std::FILE* file) : file_(file) {}
    void Record(const char* name, HRESULT hr, ISonalter2* object) {
        ErrorConstants last{};
        object->get_LastErrorNum(&last);
        Bytes(name, std::strlen(name) + 1);
        Int(static_cast<std::int32_t>(hr));
        Int(static_cast<std::int32_t>(last));
        ++records_;
    }
    void Shorts(SAFEARRAY* array) {
        const std::vector<short> values = ReadShorts(array);
        Int(static_cast<std::int32_t>(values.size()));
        Bytes(values.data(), values.size() * sizeof(short));
    }
    void Float(float value) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        Int(static_cast<std::int32_t>(bits));
    }
    void Floats(SAFEARRAY* array) {
        const std::vector<float> values = ReadFloats(array);
        Int(static_cast<std::int32_t>(values.size()));
        Bytes(values.data(), values.size() * sizeof(float));
    }
    int records() const { return records_; }

private:
    void Int(std::int32_t v) {
        unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        Bytes(b, 4);
    }
    void Bytes(const void* data, size_t size) {
        if (size) std::fwrite(data, 1, size, file_);
    }
    std::FILE* file_;
    int records_ = 0;
};

inline const float kNaN = std::numeric_limits<float>::quiet_NaN();
inline const float kInf = std::numeric_limits<float>::infinity();

// Runs one in-place method on a fresh copy of the input and records the result.
template <typename Call>
inline void InPlace(Writer& w, ISonalter2* object, const char* name, const std::vector<short>& input, Call call) {
    SAFEARRAY* array = MakeShorts(input);
    const HRESULT hr = call(&array);
    w.Record(name, hr, object);
    w.Shorts(array);
    SafeArrayDestroy(array);
}

// Runs one method that returns a new array.
template <typename Call>
inline void Returning(Writer& w, ISonalter2* object, const char* name, const std::vector<short>& input, Call call) {
    SAFEARRAY* array = MakeShorts(input);
    SAFEARRAY* result = nullptr;
    const HRESULT hr = call(&array, &result);
    w.Record(name, hr, object);
    w.Shorts(array);
    w.Shorts(result);
    SafeArrayDestroy(array);
    if (result) SafeArrayDestroy(result);
}

// The calls of one method family on the input a (and a second array b), made
// once per setting and length of the comparison.
using FamilyCalls = void (*)(Writer& w, ISonalter2* object, Random& random, const std::vector<short>& a,
                             const std::vector<short>& b);

// Registers a family at static initialisation: `static OutputFamily f("Filters", Calls);`.
struct OutputFamily {
    OutputFamily(const char* name, FamilyCalls calls);
};

}  // namespace host
