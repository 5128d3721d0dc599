// A zero-filled work buffer from the process heap for the length of one call,
// released on every way out (errors and cancellation included).
#pragma once

#include <cstddef>

#include "server/Platform.h"

namespace qelv {

template <class T>
class HeapBuffer {
public:
    // count elements of T, all bits zero; get() is null when the heap refused
    // (or the size does not fit in a size_t).
    explicit HeapBuffer(std::size_t count) {
        if (count != 0 && count <= static_cast<std::size_t>(-1) / sizeof(T)) {
            data_ = static_cast<T*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(T)));
        }
    }
    ~HeapBuffer() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;

    T* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    T* data_ = nullptr;
};

}  // namespace qelv
