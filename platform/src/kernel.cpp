// Kernel services: the process heap, the thread's last error and MulDiv.
#include <qelvsonalter2/platform.h>

#include <sys/mman.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Every heap block carries a 16-byte header holding the requested size, so
// HeapSize can answer exactly and the caller's pointer keeps malloc's 16-byte
// alignment.
struct alignas(16) HeapHeader {
    std::size_t size;
    std::size_t magic;
};
static_assert(sizeof(HeapHeader) == 16);
constexpr std::size_t kHeapMagic = 0x51454C5648454150ull;  // "QELVHEAP"

// No request this large can be met; refusing it early keeps size arithmetic
// from wrapping and allocators from aborting on absurd sizes.
constexpr SIZE_T kMaxHeapRequest = SIZE_T{1} << 40;

// The process heap handle: any stable non-null value will do.
int g_processHeapTag;
HANDLE const kProcessHeap = &g_processHeapTag;

thread_local DWORD t_lastError = ERROR_SUCCESS;

HeapHeader* HeaderOf(LPCVOID mem) {
    return reinterpret_cast<HeapHeader*>(const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(mem)) -
                                         sizeof(HeapHeader));
}

// Large blocks (sample arrays and their work buffers) are mapped on their own,
// aligned to 2 MiB and offered to the system for huge pages: touching a fresh
// block then takes one fault per 2 MiB instead of one per 4 KiB, which costs
// more than many transforms themselves. Their header is marked by its own
// magic and preceded by the mapping's base and length. Sanitizer builds keep
// every block on malloc, where the leak checker sees it.
constexpr std::size_t kMappedMagic = 0x51454C564D415050ull;  // "QELVMAPP"
constexpr std::size_t kHugePage = std::size_t{2} << 20;
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QELV_HEAP_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(QELV_HEAP_SANITIZED)
constexpr std::size_t kMapFrom = ~std::size_t{0};
#else
constexpr std::size_t kMapFrom = std::size_t{8} << 20;
#endif

struct alignas(16) MappedPrefix {
    void* base;
    std::size_t length;
};

MappedPrefix* PrefixOf(HeapHeader* header) { return reinterpret_cast<MappedPrefix*>(header) - 1; }

// A mapped block of dwBytes with its prefix and header; its pages are zero.
void* MapBlock(std::size_t bytes) {
    const std::size_t used = sizeof(MappedPrefix) + sizeof(HeapHeader) + bytes;
    const std::size_t length = used + kHugePage;
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    auto* start = reinterpret_cast<std::uint8_t*>(
        (reinterpret_cast<std::uintptr_t>(base) + kHugePage - 1) & ~static_cast<std::uintptr_t>(kHugePage - 1));
#ifdef MADV_HUGEPAGE
    madvise(start, (used + kHugePage - 1) & ~(kHugePage - 1), MADV_HUGEPAGE);
#endif
    auto* prefix = reinterpret_cast<MappedPrefix*>(start);
    prefix->base = base;
    prefix->length = length;
    auto* header = reinterpret_cast<HeapHeader*>(prefix + 1);
    header->size = bytes;
    header->magic = kMappedMagic;
    return header + 1;
}

void ReleaseBlock(HeapHeader* header) {
    const bool mapped = header->magic == kMappedMagic;
    header->magic = 0;
    if (mapped) {
        const MappedPrefix prefix = *PrefixOf(header);
        munmap(prefix.base, prefix.length);
    } else {
        std::free(header);
    }
}

// A block is ours when it was handed out by HeapAlloc/HeapReAlloc and not freed.
bool IsHeapBlock(LPCVOID mem) {
    const std::size_t magic = HeaderOf(mem)->magic;
    return magic == kHeapMagic || magic == kMappedMagic;
}

}  // namespace

// GetProcessHeap: the handle of the process heap.
// Returns a constant non-null handle.
WINBASEAPI HANDLE WINAPI GetProcessHeap(void) { return kProcessHeap; }

// HeapAlloc: allocates a block from a heap.
//   hHeap   [in] the heap; only the process heap exists here.
//   dwFlags [in] HEAP_ZERO_MEMORY zero-fills the block; other flags are accepted.
//   dwBytes [in] the size; 0 gives a valid, unique block.
// Returns the block (16-byte aligned), or NULL on failure or an unknown heap.
// NOTES: HEAP_GENERATE_EXCEPTIONS is ignored; failure always returns NULL.
WINBASEAPI LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    if (hHeap != kProcessHeap || dwBytes > kMaxHeapRequest) return nullptr;
    if (dwBytes >= kMapFrom) return MapBlock(dwBytes);  // zero already
    void* block = std::malloc(sizeof(HeapHeader) + dwBytes);
    if (block == nullptr) return nullptr;
    auto* header = static_cast<HeapHeader*>(block);
    header->size = dwBytes;
    header->magic = kHeapMagic;
    void* user = header + 1;
    if ((dwFlags & HEAP_ZERO_MEMORY) != 0) std::memset(user, 0, dwBytes);
    return user;
}

// HeapReAlloc: resizes a heap block, keeping its contents.
//   hHeap   [in] the heap that owns lpMem.
//   dwFlags [in] HEAP_ZERO_MEMORY zero-fills any growth.
//   lpMem   [in] the block; NULL fails (no allocation is made).
//   dwBytes [in] the new size.
// Returns the (possibly moved) block, or NULL on failure with lpMem untouched.
WINBASEAPI LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
    if (hHeap != kProcessHeap || lpMem == nullptr || dwBytes > kMaxHeapRequest) return nullptr;
    if (!IsHeapBlock(lpMem)) return nullptr;
    const SIZE_T oldSize = HeaderOf(lpMem)->size;
    if (HeaderOf(lpMem)->magic == kMappedMagic || dwBytes >= kMapFrom) {
        // Into a new block of the size's kind; the old one goes only on success.
        void* moved = HeapAlloc(hHeap, 0, dwBytes);
        if (moved == nullptr) return nullptr;
        std::memcpy(moved, lpMem, oldSize < dwBytes ? oldSize : dwBytes);
        if ((dwFlags & HEAP_ZERO_MEMORY) != 0 && dwBytes > oldSize && HeaderOf(moved)->magic != kMappedMagic) {
            std::memset(static_cast<std::uint8_t*>(moved) + oldSize, 0, dwBytes - oldSize);
        }
        ReleaseBlock(HeaderOf(lpMem));
        return moved;
    }
    void* block = std::realloc(HeaderOf(lpMem), sizeof(HeapHeader) + dwBytes);
    if (block == nullptr) return nullptr;
    auto* header = static_cast<HeapHeader*>(block);
    header->size = dwBytes;
    auto* user = reinterpret_cast<std::uint8_t*>(header + 1);
    if ((dwFlags & HEAP_ZERO_MEMORY) != 0 && dwBytes > oldSize) std::memset(user + oldSize, 0, dwBytes - oldSize);
    return user;
}

// HeapFree: returns a block to its heap.
//   hHeap   [in] the heap that owns lpMem.
//   dwFlags [in] ignored.
//   lpMem   [in] the block; NULL is accepted and does nothing.
// Returns TRUE on success; FALSE for an unknown heap or a block not from it.
WINBASEAPI BOOL WINAPI HeapFree(HANDLE hHeap, DWORD /*dwFlags*/, LPVOID lpMem) {
    if (hHeap != kProcessHeap) return FALSE;
    if (lpMem == nullptr) return TRUE;
    if (!IsHeapBlock(lpMem)) return FALSE;
    ReleaseBlock(HeaderOf(lpMem));
    return TRUE;
}

// HeapSize: the requested size of a heap block.
//   hHeap   [in] the heap that owns lpMem.
//   dwFlags [in] ignored.
//   lpMem   [in] the block.
// Returns the size passed to HeapAlloc/HeapReAlloc, or (SIZE_T)-1 on failure.
WINBASEAPI SIZE_T WINAPI HeapSize(HANDLE hHeap, DWORD /*dwFlags*/, LPCVOID lpMem) {
    if (hHeap != kProcessHeap || lpMem == nullptr || !IsHeapBlock(lpMem)) return static_cast<SIZE_T>(-1);
    return HeaderOf(lpMem)->size;
}

// GetLastError: the calling thread's last-error code.
WINBASEAPI DWORD WINAPI GetLastError(void) { return t_lastError; }

// SetLastError: sets the calling thread's last-error code.
//   dwErrCode [in] the code to keep.
WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

// MulDiv: nNumber * nNumerator / nDenominator with a 64-bit intermediate
// product, rounded to the nearest integer with halves away from zero.
//   nNumber, nNumerator [in] the factors.
//   nDenominator        [in] the divisor.
// Returns the rounded quotient; -1 when nDenominator is 0 or the quotient does
// not fit in 32 bits.
// NOTES: a denominator of -2147483648 always gives -1, as on 64-bit Windows,
// whose sign normalisation cannot represent its magnitude; other negative
// denominators give the mathematically rounded result.
WINBASEAPI int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
    if (nDenominator == 0 || nDenominator == INT_MIN) return -1;
    std::int64_t product = static_cast<std::int64_t>(nNumber) * nNumerator;
    std::int64_t divisor = nDenominator;
    if (divisor < 0) {
        // |product| <= 2^62, so negating cannot overflow.
        divisor = -divisor;
        product = -product;
    }
    // Halves round away from zero: bias the magnitude by half the divisor.
    const std::int64_t half = divisor / 2;
    const std::int64_t quotient = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
    if (quotient > INT_MAX || quotient < INT_MIN) return -1;
    return static_cast<int>(quotient);
}
