// Task memory: the allocator that crosses component boundaries (out-parameter
// strings and arrays that the caller frees).
#include <qelvsonalter2/platform.h>

#include <cstdlib>

namespace {

// No request this large can be met; refusing it early keeps allocators from
// aborting on absurd sizes.
constexpr SIZE_T kMaxTaskRequest = SIZE_T{1} << 40;

}  // namespace

// CoTaskMemAlloc: allocates a block of task memory.
//   cb [in] the size in bytes; 0 gives a valid zero-length block.
// Returns the block (suitably aligned for any type), or NULL when memory is short.
WINBASEAPI LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb) {
    if (cb > kMaxTaskRequest) return nullptr;
    return std::malloc(cb == 0 ? 1 : cb);
}

// CoTaskMemRealloc: resizes a block of task memory, keeping its contents.
//   pv [in] the block; NULL allocates a new one.
//   cb [in] the new size; 0 with a non-NULL pv frees the block.
// Returns the (possibly moved) block; NULL when it was freed or memory is short
// (pv then stays valid).
WINBASEAPI LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    if (pv == nullptr) return CoTaskMemAlloc(cb);
    if (cb == 0) {
        std::free(pv);
        return nullptr;
    }
    if (cb > kMaxTaskRequest) return nullptr;
    return std::realloc(pv, cb);
}

// CoTaskMemFree: frees a block of task memory.
//   pv [in] the block; NULL is ignored.
WINBASEAPI void STDAPICALLTYPE CoTaskMemFree(LPVOID pv) { std::free(pv); }
