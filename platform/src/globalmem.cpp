// Global memory: blocks reached through a handle and locked to be used. Every
// block is movable here, also one asked for as GMEM_FIXED: callers must lock
// the handle to get the memory, which is what portable code does anyway.
#include <qelvsonalter2/platform.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

constexpr SIZE_T kMaxGlobalRequest = SIZE_T{1} << 40;

struct GlobalBlock {
    SIZE_T size;
    unsigned char* data;  // never null: at least one byte is allocated
    LONG locks;
};

// The live handles, so that any value can be checked without reading through it.
std::mutex g_blocksMutex;
std::unordered_set<const void*> g_blocks;

GlobalBlock* BlockOf(HGLOBAL handle) {
    std::lock_guard<std::mutex> lock(g_blocksMutex);
    return g_blocks.count(handle) ? static_cast<GlobalBlock*>(handle) : nullptr;
}

}  // namespace

// GlobalAlloc: allocates a block of global memory.
//   uFlags  [in] GMEM_ZEROINIT zero-fills it; GMEM_MOVEABLE and GMEM_FIXED both
//                give a handle to lock.
//   dwBytes [in] the size; 0 gives a valid empty block.
// Returns the handle, or NULL (last error ERROR_NOT_ENOUGH_MEMORY).
WINBASEAPI HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    if (dwBytes > kMaxGlobalRequest) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* block = static_cast<GlobalBlock*>(std::malloc(sizeof(GlobalBlock)));
    auto* data = static_cast<unsigned char*>(std::malloc(dwBytes ? dwBytes : 1));
    if (!block || !data) {
        std::free(block);
        std::free(data);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (uFlags & GMEM_ZEROINIT) std::memset(data, 0, dwBytes);
    *block = GlobalBlock{dwBytes, data, 0};
    try {
        std::lock_guard<std::mutex> lock(g_blocksMutex);
        g_blocks.insert(block);
    } catch (const std::bad_alloc&) {
        std::free(data);
        std::free(block);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return block;
}

// GlobalReAlloc: resizes a block, keeping its contents and its handle.
//   hMem    [in] the block.
//   dwBytes [in] the new size.
//   uFlags  [in] GMEM_ZEROINIT zero-fills any growth.
// Returns hMem, or NULL (block unchanged) on failure or for an invalid handle.
WINBASEAPI HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
    GlobalBlock* block = BlockOf(hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (dwBytes > kMaxGlobalRequest) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* data = static_cast<unsigned char*>(std::realloc(block->data, dwBytes ? dwBytes : 1));
    if (!data) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((uFlags & GMEM_ZEROINIT) && dwBytes > block->size) std::memset(data + block->size, 0, dwBytes - block->size);
    block->data = data;
    block->size = dwBytes;
    return hMem;
}

// GlobalFree: releases a block.
//   hMem [in] the block; NULL is accepted.
// Returns NULL on success, hMem for an invalid handle.
WINBASEAPI HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    if (!hMem) return nullptr;
    GlobalBlock* block = BlockOf(hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    {
        std::lock_guard<std::mutex> lock(g_blocksMutex);
        g_blocks.erase(block);
    }
    std::free(block->data);
    std::free(block);
    return nullptr;
}

// GlobalLock: the block's memory, valid until the block is resized or freed.
//   hMem [in] the block.
// Returns the memory, or NULL for an invalid handle. Raises the lock count.
WINBASEAPI LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    GlobalBlock* block = BlockOf(hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++block->locks;
    return block->data;
}

// GlobalUnlock: lowers the lock count.
//   hMem [in] the block.
// Returns TRUE while the block stays locked; FALSE once unlocked (last error
// ERROR_SUCCESS) or for an invalid handle.
WINBASEAPI BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    GlobalBlock* block = BlockOf(hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (block->locks > 0) --block->locks;
    SetLastError(ERROR_SUCCESS);
    return block->locks > 0 ? TRUE : FALSE;
}

// GlobalSize: the block's size in bytes.
//   hMem [in] the block.
// Returns the size, or 0 for an invalid handle.
WINBASEAPI SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    GlobalBlock* block = BlockOf(hMem);
    return block ? block->size : 0;
}
