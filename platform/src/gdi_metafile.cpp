// Memory metafiles in the 16-bit Windows format: a context that records, the
// metafile it closes into, the metafile's bytes, and playback into a drawing
// context.
//
// The bytes, little-endian: a 9-word header (type 1, a memory metafile; header
// size 9; version 0x0300; the whole size in words as 32 bits; the number of
// objects, 0, as nothing recorded here creates one; the largest record's size
// in words as 32 bits; 0), then the records, each its size in words (32 bits),
// its function number and its parameters (the call's arguments last to first),
// and last the 3-word end record, function 0.
//
// Recorded: SetWindowOrgEx (META_SETWINDOWORG: y, x), SetWindowExtEx
// (META_SETWINDOWEXT: y, x), and BitBlt with SRCCOPY from a context that has
// pixels (META_DIBSTRETCHBLT holding the copied block as a 32-bit BI_RGB DIB,
// rows bottom-up, a source pixel outside the source bitmap as black). No other
// call accepts a metafile context: fills, lines, text and object selection
// refuse it as an unknown context, so nothing is drawn without being recorded.
//
// Played into a drawing context: META_SETWINDOWORG (moves what follows by the
// origin, the target being in MM_TEXT), META_SETWINDOWEXT (no effect in
// MM_TEXT), META_DIBSTRETCHBLT and META_DIBBITBLT with a DIB of 24 or 32 bits,
// BI_RGB, either way up, SRCCOPY (a stretch takes the nearest source pixel);
// any other record is skipped.
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "gdi_internal.h"

using namespace qelv_gdi;

namespace {

constexpr unsigned kSetWindowOrg = 0x020B;
constexpr unsigned kSetWindowExt = 0x020C;
constexpr unsigned kDibBitBlt = 0x0940;
constexpr unsigned kDibStretchBlt = 0x0B41;
constexpr size_t kHeaderBytes = 18;
constexpr size_t kInfoBytes = 40;

struct Recorder {
    std::vector<BYTE> bytes;  // the header's room, then the records
    DWORD largest = 3;        // the end record's size
};

struct Metafile {
    std::vector<BYTE> bytes;
};

std::unordered_set<const void*> g_recorders;
std::unordered_set<const void*> g_metafiles;

Recorder* RecorderOf(HDC dc) { return g_recorders.count(dc) ? reinterpret_cast<Recorder*>(dc) : nullptr; }

Metafile* MetafileOf(HMETAFILE mf) {
    return g_metafiles.count(mf) ? reinterpret_cast<Metafile*>(mf) : nullptr;
}

void Put16(BYTE* at, unsigned value) {
    at[0] = static_cast<BYTE>(value);
    at[1] = static_cast<BYTE>(value >> 8);
}

void Put32(BYTE* at, DWORD value) {
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

unsigned Get16(const BYTE* at) { return at[0] | (static_cast<unsigned>(at[1]) << 8); }
int GetShort(const BYTE* at) { return static_cast<int16_t>(Get16(at)); }
DWORD Get32(const BYTE* at) { return Get16(at) | (static_cast<DWORD>(Get16(at + 2)) << 16); }

bool FitsShort(long long value) { return value >= -32768 && value <= 32767; }

// Appends a record with room for parameterWords parameters; returns where its
// parameters go, or nullptr when out of memory or too large for the format.
BYTE* AppendRecord(Recorder* recorder, unsigned function, size_t parameterWords) {
    const size_t words = 3 + parameterWords;
    if (words > 0xFFFFFFFFu / 2) return nullptr;
    const size_t at = recorder->bytes.size();
    try {
        recorder->bytes.resize(at + words * 2);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    BYTE* record = recorder->bytes.data() + at;
    Put32(record, static_cast<DWORD>(words));
    Put16(record + 4, function);
    if (words > recorder->largest) recorder->largest = static_cast<DWORD>(words);
    return record + 6;
}

bool RecordPoint(HDC dc, unsigned function, int x, int y) {
    Recorder* recorder = RecorderOf(dc);
    if (!recorder || !FitsShort(x) || !FitsShort(y)) return false;
    BYTE* p = AppendRecord(recorder, function, 2);
    if (!p) return false;
    Put16(p, static_cast<unsigned>(y));
    Put16(p + 2, static_cast<unsigned>(x));
    return true;
}

// What playback keeps between records.
struct Playback {
    Context* target;
    int originX = 0;
    int originY = 0;
};

// Plays a DIB blit record's parameters (p, n bytes): META_DIBSTRETCHBLT when
// stretch, else META_DIBBITBLT; a record without a DIB or in a form not
// described above is skipped.
void PlayBlit(Playback& play, const BYTE* p, size_t n, bool stretch) {
    const size_t fixed = stretch ? 20 : 16;
    if (n < fixed + kInfoBytes || Get32(p) != SRCCOPY) return;
    int srcW, srcH, xSrc, ySrc, destW, destH, xDest, yDest;
    if (stretch) {
        srcH = GetShort(p + 4);
        srcW = GetShort(p + 6);
        ySrc = GetShort(p + 8);
        xSrc = GetShort(p + 10);
        destH = GetShort(p + 12);
        destW = GetShort(p + 14);
        yDest = GetShort(p + 16);
        xDest = GetShort(p + 18);
    } else {
        ySrc = GetShort(p + 4);
        xSrc = GetShort(p + 6);
        srcH = destH = GetShort(p + 8);
        srcW = destW = GetShort(p + 10);
        yDest = GetShort(p + 12);
        xDest = GetShort(p + 14);
    }
    const BYTE* info = p + fixed;
    const DWORD infoSize = Get32(info);
    const long long width = static_cast<int32_t>(Get32(info + 4));
    const long long height = static_cast<int32_t>(Get32(info + 8));
    const unsigned bitCount = Get16(info + 14);
    const DWORD colorsUsed = Get32(info + 32);
    if (infoSize < kInfoBytes || Get32(info + 16) != 0 /* BI_RGB */ || (bitCount != 24 && bitCount != 32) ||
        width <= 0 || height == 0 || width > 0x4000 || height > 0x4000 || height < -0x4000) {
        return;
    }
    const long long rows = height < 0 ? -height : height;
    const long long stride = (width * bitCount / 8 + 3) / 4 * 4;
    const long long offset = static_cast<long long>(infoSize) + 4LL * colorsUsed;
    if (static_cast<long long>(n - fixed) < offset + stride * rows) return;
    const BYTE* bits = info + offset;
    if (srcW <= 0 || srcH <= 0 || destW <= 0 || destH <= 0 || xSrc < 0 || ySrc < 0 || xSrc + srcW > width ||
        ySrc + srcH > rows) {
        return;
    }
    for (int j = 0; j < destH; ++j) {
        const long long fromTop = static_cast<long long>(j) * srcH / destH;
        // A bottom-up DIB counts ySrc from its bottom row, a top-down one from its top.
        const long long stored = height > 0 ? ySrc + srcH - 1 - fromTop : ySrc + fromTop;
        const BYTE* row = bits + stored * stride;
        for (int i = 0; i < destW; ++i) {
            uint32_t* to = PixelAt(play.target, static_cast<LONG>(xDest) + i - play.originX,
                                   static_cast<LONG>(yDest) + j - play.originY);
            if (!to) continue;
            const BYTE* from = row + (xSrc + static_cast<long long>(i) * srcW / destW) * (bitCount / 8);
            *to = from[0] | (static_cast<uint32_t>(from[1]) << 8) | (static_cast<uint32_t>(from[2]) << 16);
        }
    }
}

}  // namespace

DWORD qelv_gdi::MetafileObjectType(const void* handle) {
    if (g_recorders.count(handle)) return OBJ_METADC;
    if (g_metafiles.count(handle)) return OBJ_METAFILE;
    return 0;
}

bool qelv_gdi::IsMetafileContext(HDC dc) { return RecorderOf(dc) != nullptr; }

bool qelv_gdi::DiscardMetafileContext(HDC dc) {
    Recorder* recorder = RecorderOf(dc);
    if (!recorder) return false;
    g_recorders.erase(recorder);
    delete recorder;
    return true;
}

bool qelv_gdi::RecordBlit(HDC dc, int x, int y, int cx, int cy, const Context* source, int x1, int y1) {
    Recorder* recorder = RecorderOf(dc);
    if (!recorder || !source->bitmap || cx <= 0 || cy <= 0 || !FitsShort(x) || !FitsShort(y) || !FitsShort(cx) ||
        !FitsShort(cy)) {
        return false;
    }
    const size_t pixels = static_cast<size_t>(cx) * static_cast<size_t>(cy);
    BYTE* p = AppendRecord(recorder, kDibStretchBlt, 10 + kInfoBytes / 2 + pixels * 2);
    if (!p) return false;
    Put32(p, SRCCOPY);
    Put16(p + 4, static_cast<unsigned>(cy));  // source height, width, y, x in the DIB
    Put16(p + 6, static_cast<unsigned>(cx));
    Put16(p + 8, 0);
    Put16(p + 10, 0);
    Put16(p + 12, static_cast<unsigned>(cy));  // destination height, width, y, x
    Put16(p + 14, static_cast<unsigned>(cx));
    Put16(p + 16, static_cast<unsigned>(y));
    Put16(p + 18, static_cast<unsigned>(x));
    BYTE* info = p + 20;
    std::memset(info, 0, kInfoBytes);
    Put32(info, kInfoBytes);
    Put32(info + 4, static_cast<DWORD>(cx));
    Put32(info + 8, static_cast<DWORD>(cy));
    Put16(info + 12, 1);
    Put16(info + 14, 32);
    Put32(info + 20, static_cast<DWORD>(pixels * 4));
    BYTE* out = info + kInfoBytes;
    for (int j = cy - 1; j >= 0; --j) {
        for (int i = 0; i < cx; ++i, out += 4) {
            const uint32_t* from = PixelAt(source, static_cast<LONG>(x1) + i, static_cast<LONG>(y1) + j);
            Put32(out, from ? *from & 0x00FFFFFFu : 0);
        }
    }
    return true;
}

// CreateMetaFileW: a metafile context that records into memory.
//   pszFile [in] must be NULL: metafiles on disk are not supported here.
// Returns the context (object type OBJ_METADC), or NULL for a file name (last
// error ERROR_NOT_SUPPORTED) or out of memory. CloseMetaFile ends the recording;
// DeleteDC discards it.
WINBASEAPI HDC WINAPI CreateMetaFileW(LPCWSTR pszFile) {
    if (pszFile) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto* recorder = new (std::nothrow) Recorder{};
    if (!recorder) return nullptr;
    try {
        recorder->bytes.resize(kHeaderBytes);
    } catch (const std::bad_alloc&) {
        delete recorder;
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(Lock());
    g_recorders.insert(recorder);
    return reinterpret_cast<HDC>(recorder);
}

// CloseMetaFile: ends a recording: adds the end record, completes the header
// and frees the context.
// Returns the metafile (free it with DeleteMetaFile), or NULL for a handle that
// is no metafile context or out of memory (the context is freed either way).
WINBASEAPI HMETAFILE WINAPI CloseMetaFile(HDC hdc) {
    std::lock_guard<std::mutex> lock(Lock());
    Recorder* recorder = RecorderOf(hdc);
    if (!recorder) return nullptr;
    g_recorders.erase(recorder);
    Metafile* metafile = nullptr;
    if (AppendRecord(recorder, 0, 0)) {
        BYTE* header = recorder->bytes.data();
        Put16(header, 1);
        Put16(header + 2, 9);
        Put16(header + 4, 0x0300);
        Put32(header + 6, static_cast<DWORD>(recorder->bytes.size() / 2));
        Put16(header + 10, 0);
        Put32(header + 12, recorder->largest);
        Put16(header + 16, 0);
        metafile = new (std::nothrow) Metafile{};
    }
    if (metafile) {
        metafile->bytes.swap(recorder->bytes);
        g_metafiles.insert(metafile);
    }
    delete recorder;
    return reinterpret_cast<HMETAFILE>(metafile);
}

// DeleteMetaFile: frees a metafile. Returns TRUE, or FALSE for an unknown handle.
WINBASEAPI BOOL WINAPI DeleteMetaFile(HMETAFILE hmf) {
    std::lock_guard<std::mutex> lock(Lock());
    Metafile* metafile = MetafileOf(hmf);
    if (!metafile) return FALSE;
    g_metafiles.erase(metafile);
    delete metafile;
    return TRUE;
}

// GetMetaFileBitsEx: the bytes of a metafile.
//   cbBuffer [in] the size of lpData.
//   lpData   [out] receives the first cbBuffer bytes; NULL asks for the size.
// Returns the size for a NULL lpData, else the number of bytes copied; 0 for an
// unknown handle (last error ERROR_INVALID_HANDLE).
WINBASEAPI UINT WINAPI GetMetaFileBitsEx(HMETAFILE hMF, UINT cbBuffer, LPVOID lpData) {
    std::lock_guard<std::mutex> lock(Lock());
    Metafile* metafile = MetafileOf(hMF);
    if (!metafile) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const size_t size = metafile->bytes.size();
    if (!lpData) return static_cast<UINT>(size);
    const size_t count = cbBuffer < size ? cbBuffer : size;
    std::memcpy(lpData, metafile->bytes.data(), count);
    return static_cast<UINT>(count);
}

// SetMetaFileBitsEx: a memory metafile from bytes in the format above.
//   cbBuffer [in] the number of bytes at lpData.
//   lpData   [in] a header (type 1 or 2, header size 9, version 0x0100 or
//            0x0300) whose size in words fits in cbBuffer, and the records.
// Returns the metafile, holding the header's size of bytes with the type set to
// 1; NULL for a missing or invalid header (last error ERROR_INVALID_DATA) or out
// of memory. The records are checked when played.
WINBASEAPI HMETAFILE WINAPI SetMetaFileBitsEx(UINT cbBuffer, const BYTE* lpData) {
    if (!lpData || cbBuffer < kHeaderBytes) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    const unsigned type = Get16(lpData);
    const unsigned version = Get16(lpData + 4);
    const unsigned long long size = 2ULL * Get32(lpData + 6);
    if ((type != 1 && type != 2) || Get16(lpData + 2) != 9 || (version != 0x0100 && version != 0x0300) ||
        size < kHeaderBytes || size > cbBuffer) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    auto* metafile = new (std::nothrow) Metafile{};
    if (!metafile) return nullptr;
    try {
        metafile->bytes.assign(lpData, lpData + size);
    } catch (const std::bad_alloc&) {
        delete metafile;
        return nullptr;
    }
    Put16(metafile->bytes.data(), 1);
    std::lock_guard<std::mutex> lock(Lock());
    g_metafiles.insert(metafile);
    return reinterpret_cast<HMETAFILE>(metafile);
}

// PlayMetaFile: plays a metafile's records (above) into a drawing context, in
// order, up to the end record or the last whole record. A context without pixels
// (the screen's) takes nothing.
// Returns TRUE; FALSE for an unknown context or metafile, or a metafile
// context as the target.
WINBASEAPI BOOL WINAPI PlayMetaFile(HDC hdc, HMETAFILE hmf) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* target = ContextOf(hdc);
    Metafile* metafile = MetafileOf(hmf);
    if (!target || !metafile) return FALSE;
    Playback play{target};
    const BYTE* bytes = metafile->bytes.data();
    const size_t size = metafile->bytes.size();
    size_t at = 2 * static_cast<size_t>(Get16(bytes + 2));
    while (at + 6 <= size) {
        const size_t length = 2 * static_cast<size_t>(Get32(bytes + at));
        const unsigned function = Get16(bytes + at + 4);
        if (function == 0 || length < 6 || length > size - at) break;
        const BYTE* p = bytes + at + 6;
        const size_t n = length - 6;
        switch (function) {
            case kSetWindowOrg:
                if (n >= 4) {
                    play.originY = GetShort(p);
                    play.originX = GetShort(p + 2);
                }
                break;
            case kDibStretchBlt: PlayBlit(play, p, n, true); break;
            case kDibBitBlt: PlayBlit(play, p, n, false); break;
            default: break;  // META_SETWINDOWEXT and every unknown record
        }
        at += length;
    }
    return TRUE;
}

// SetWindowOrgEx: on a metafile context records the window origin (x, y); on a
// drawing context only (0, 0) is accepted, as drawing here has no window origin.
//   lppt [out] the previous origin, (0, 0); may be NULL.
// Returns TRUE, or FALSE for an unknown context, another origin on a drawing
// context, or coordinates outside -32768 .. 32767 on a metafile context.
WINBASEAPI BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    std::lock_guard<std::mutex> lock(Lock());
    if (IsMetafileContext(hdc)) {
        if (!RecordPoint(hdc, kSetWindowOrg, x, y)) return FALSE;
    } else if (!ContextOf(hdc) || x != 0 || y != 0) {
        return FALSE;
    }
    if (lppt) *lppt = POINT{0, 0};
    return TRUE;
}

// SetWindowExtEx: on a metafile context records the window extent (x, y), by
// which a player scales the picture; a drawing context is in MM_TEXT, which
// ignores the extent.
//   lpsz [out] the previous extent: (1, 1) on a drawing context, (0, 0) on a
//        metafile context; may be NULL.
// Returns TRUE, or FALSE for an unknown context or, on a metafile context, a
// zero extent or one outside -32768 .. 32767.
WINBASEAPI BOOL WINAPI SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
    std::lock_guard<std::mutex> lock(Lock());
    SIZE previous{1, 1};
    if (IsMetafileContext(hdc)) {
        if (x == 0 || y == 0 || !RecordPoint(hdc, kSetWindowExt, x, y)) return FALSE;
        previous = SIZE{0, 0};
    } else if (!ContextOf(hdc)) {
        return FALSE;
    }
    if (lpsz) *lpsz = previous;
    return TRUE;
}
