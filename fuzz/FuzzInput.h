// Reads a harness's input as a stream of small decisions. Past the end every
// read gives zeros, so any input, however short, is a complete program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace qelv_fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    size_t left() const { return empty() ? 0 : size_ - pos_; }

    uint8_t u8() { return empty() ? 0 : data_[pos_++]; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return u16() | (static_cast<uint32_t>(u16()) << 16); }
    uint64_t u64() { return u32() | (static_cast<uint64_t>(u32()) << 32); }
    // A number in [0, n), n > 0.
    uint32_t below(uint32_t n) { return n <= 256 ? u8() % n : u32() % n; }
    bool flag() { return (u8() & 1) != 0; }

    double f64() {
        const uint64_t bits = u64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    float f32() {
        const uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

    // Up to `max` bytes, the count first.
    std::string bytes(size_t max) {
        size_t n = u8();
        if (n > max) n %= (max + 1);
        if (n > left()) n = left();
        std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace qelv_fuzz
