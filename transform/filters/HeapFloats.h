// A zero-filled block of floats from the process heap for the duration of one
// call, released on every way out.
#pragma once

#include <cstddef>

#include "server/Platform.h"

namespace qelv {

class HeapFloats {
public:
    explicit HeapFloats(std::size_t count) {
        if (count != 0 && count <= static_cast<std::size_t>(-1) / sizeof(float)) {
            data_ = static_cast<float*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(float)));
        }
    }
    ~HeapFloats() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    HeapFloats(const HeapFloats&) = delete;
    HeapFloats& operator=(const HeapFloats&) = delete;

    // Null when the heap could not supply the block (or count was 0).
    float* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    float* data_ = nullptr;
};

}  // namespace qelv
