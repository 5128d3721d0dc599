// A zero-filled work buffer of T from the process heap, released when it goes
// out of scope (every way out of a transform, cancellation included).
#pragma once

#include <cstddef>

#include "server/Platform.h"

namespace qelv::dsp {

template <class T>
class ProcessHeapBuffer {
public:
    explicit ProcessHeapBuffer(std::size_t count) {
        if (count != 0 && count <= static_cast<std::size_t>(-1) / sizeof(T)) {
            data_ = static_cast<T*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(T)));
        }
    }
    ~ProcessHeapBuffer() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    ProcessHeapBuffer(const ProcessHeapBuffer&) = delete;
    ProcessHeapBuffer& operator=(const ProcessHeapBuffer&) = delete;

    // Null when the heap refused (or count was 0).
    T* get() const { return data_; }

private:
    T* data_ = nullptr;
};

}  // namespace qelv::dsp
