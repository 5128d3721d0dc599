// Automation strings (BSTR).
//
// A BSTR points at UTF-16 text that is preceded by a 32-bit byte count and
// followed by a 16-bit NUL. The block also keeps 4 bytes of padding in front of
// the count so the text itself starts on an 8-byte boundary, as callers that
// treat the string as raw bytes (SysAllocStringByteLen) may expect. A NULL BSTR
// is a valid empty string everywhere.
#include <qelvsonalter2/platform.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kHeaderBytes = 8;  // 4 bytes padding + 4-byte byte count
// The byte count must fit its 32-bit prefix with room for the terminator.
constexpr std::uint64_t kMaxByteLength = 0x7FFFFFF0u;

std::uint8_t* BlockOf(BSTR bstr) { return reinterpret_cast<std::uint8_t*>(bstr) - kHeaderBytes; }

// Allocates a string of `bytes` bytes, copying `src` (may be NULL: zero-filled)
// and terminating with a full 16-bit NUL even when `bytes` is odd.
BSTR AllocBytes(const void* src, std::uint64_t bytes) {
    if (bytes > kMaxByteLength) return nullptr;
    // Room for the text, one odd byte of slack and the 16-bit terminator.
    const std::size_t total = kHeaderBytes + static_cast<std::size_t>(bytes) + 3;
    auto* block = static_cast<std::uint8_t*>(std::malloc(total));
    if (block == nullptr) return nullptr;
    std::memset(block, 0, kHeaderBytes);
    const std::uint32_t count = static_cast<std::uint32_t>(bytes);
    std::memcpy(block + 4, &count, sizeof(count));
    std::uint8_t* text = block + kHeaderBytes;
    if (src != nullptr && bytes != 0) {
        std::memmove(text, src, static_cast<std::size_t>(bytes));
    } else {
        std::memset(text, 0, static_cast<std::size_t>(bytes));
    }
    std::memset(text + bytes, 0, 3);
    return reinterpret_cast<BSTR>(text);
}

std::uint64_t CharCount(const OLECHAR* psz) {
    std::uint64_t n = 0;
    while (psz[n] != 0) ++n;
    return n;
}

}  // namespace

// SysAllocString: allocates a BSTR holding a copy of a NUL-terminated string.
//   psz [in] the text to copy; may be NULL.
// Returns the new BSTR; NULL when psz is NULL or memory is short.
WINOLEAUTAPI_(BSTR) SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr) return nullptr;
    return AllocBytes(psz, CharCount(psz) * sizeof(OLECHAR));
}

// SysAllocStringLen: allocates a BSTR of ui characters.
//   strIn [in] the characters to copy (embedded NULs are kept); may be NULL.
//   ui    [in] number of characters.
// Returns the new BSTR, or NULL when memory is short or ui is too large.
// NOTES: with strIn NULL the characters are left zero-filled (Windows leaves
// them undefined); the string is always NUL-terminated after ui characters.
WINOLEAUTAPI_(BSTR) SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    return AllocBytes(strIn, static_cast<std::uint64_t>(ui) * sizeof(OLECHAR));
}

// SysAllocStringByteLen: allocates a BSTR of len bytes, typically to carry
// narrow or binary data.
//   psz [in] the bytes to copy; may be NULL (zero-filled).
//   len [in] number of bytes; may be odd.
// Returns the new BSTR, or NULL when memory is short or len is too large.
// NOTES: SysStringByteLen gives back len exactly; SysStringLen gives len / 2.
WINOLEAUTAPI_(BSTR) SysAllocStringByteLen(LPCSTR psz, UINT len) { return AllocBytes(psz, len); }

// SysReAllocStringLen: replaces *pbstr with a new BSTR of len characters.
//   pbstr [in, out] the string to replace; the old one is freed on success.
//   psz   [in] the characters to copy; may point into the old string; may be
//         NULL: the new string then keeps the old one's leading characters
//         (as many as both have) and zero-fills the rest, as a resize would.
//   len   [in] number of characters.
// Returns TRUE on success; FALSE (leaving *pbstr unchanged) when pbstr is NULL
// or memory is short.
WINOLEAUTAPI_(INT) SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (pbstr == nullptr) return FALSE;
    // Build the new string before freeing the old one: psz may point into it.
    BSTR fresh = AllocBytes(psz, static_cast<std::uint64_t>(len) * sizeof(OLECHAR));
    if (fresh == nullptr) return FALSE;
    if (psz == nullptr && *pbstr != nullptr) {
        const UINT kept = SysStringByteLen(*pbstr) < static_cast<std::uint64_t>(len) * sizeof(OLECHAR)
                              ? SysStringByteLen(*pbstr)
                              : len * static_cast<UINT>(sizeof(OLECHAR));
        std::memcpy(fresh, *pbstr, kept);
    }
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

// SysReAllocString: replaces *pbstr with a copy of a NUL-terminated string.
//   pbstr [in, out] the string to replace; the old one is freed on success.
//   psz   [in] the text to copy; may point into the old string.
// Returns TRUE on success; FALSE when pbstr is NULL or memory is short.
// NOTES: a NULL psz frees the old string and stores NULL (the empty string).
WINOLEAUTAPI_(INT) SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (pbstr == nullptr) return FALSE;
    if (psz == nullptr) {
        SysFreeString(*pbstr);
        *pbstr = nullptr;
        return TRUE;
    }
    return SysReAllocStringLen(pbstr, psz, static_cast<UINT>(CharCount(psz)));
}

// SysFreeString: frees a BSTR.
//   bstrString [in] the string to free; NULL is ignored.
WINOLEAUTAPI_(void) SysFreeString(BSTR bstrString) {
    if (bstrString == nullptr) return;
    std::free(BlockOf(bstrString));
}

// SysStringLen: the length of a BSTR in characters.
//   pbstr [in] the string; NULL counts as empty.
// Returns the character count (embedded NULs included), 0 for NULL.
// NOTES: a string of odd byte length reports its byte length / 2.
WINOLEAUTAPI_(UINT) SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

// SysStringByteLen: the length of a BSTR in bytes, terminator excluded.
//   bstr [in] the string; NULL counts as empty.
// Returns the byte count, 0 for NULL.
WINOLEAUTAPI_(UINT) SysStringByteLen(BSTR bstr) {
    if (bstr == nullptr) return 0;
    std::uint32_t count = 0;
    std::memcpy(&count, BlockOf(bstr) + 4, sizeof(count));
    return count;
}
