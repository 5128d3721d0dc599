// The work buffer of a delay-line effect: a zero-filled block of floats from the
// process heap that lives for one call and is released when the holder goes out
// of scope, on every way out of the method (success, failure and cancel).
#pragma once

#include <cstddef>

#include "server/Platform.h"

namespace qelv {

class DelayRing {
public:
    DelayRing() = default;
    ~DelayRing() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    DelayRing(const DelayRing&) = delete;
    DelayRing& operator=(const DelayRing&) = delete;

    // Takes count zeroed floats; false when the heap refuses them.
    bool Allocate(std::size_t count) {
        if (data_ || count == 0 || count > static_cast<std::size_t>(-1) / sizeof(float)) return false;
        data_ = static_cast<float*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(float)));
        return data_ != nullptr;
    }
    float* data() const { return data_; }

private:
    float* data_ = nullptr;
};

}  // namespace qelv
