// BitBlt: copies a block of pixels from one device context to another, or
// records the copy in a metafile.
#include <cstring>
#include <vector>

#include "gdi_internal.h"

using namespace qelv_gdi;

// BitBlt: copies cx x cy pixels from (x1, y1) of hdcSrc to (x, y) of hdc.
//   rop [in] SRCCOPY (a plain copy); other raster operations are refused.
// Pixels outside either bitmap are skipped (the destination keeps its own
// there). The same context may be source and destination; overlapping blocks
// copy as if through a temporary. The screen's context has no pixels, so a
// copy to or from it changes nothing. Into a metafile context the copy is
// recorded with the source's pixels (gdi_metafile.cpp); that needs a source
// with pixels and a block of 1 .. 32767 pixels each way at 16-bit coordinates.
// Returns TRUE, or FALSE for an unknown context, another operation, or a copy
// a metafile context cannot record (or out of memory recording it).
WINBASEAPI BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* target = ContextOf(hdc);
    Context* source = ContextOf(hdcSrc);
    if (!target && source && rop == SRCCOPY && IsMetafileContext(hdc)) {
        return RecordBlit(hdc, x, y, cx, cy, source, x1, y1) ? TRUE : FALSE;
    }
    if (!target || !source || rop != SRCCOPY) return FALSE;
    if (!target->bitmap || !source->bitmap || cx <= 0 || cy <= 0) return TRUE;
    std::vector<uint32_t> row(static_cast<size_t>(cx));
    std::vector<bool> present(static_cast<size_t>(cx));
    const bool sameBitmap = target->bitmap == source->bitmap;
    std::vector<uint32_t> copy;
    std::vector<bool> copyPresent;
    if (sameBitmap) {
        copy.resize(static_cast<size_t>(cx) * static_cast<size_t>(cy));
        copyPresent.resize(copy.size());
        for (int j = 0; j < cy; ++j) {
            for (int i = 0; i < cx; ++i) {
                const uint32_t* p = PixelAt(source, static_cast<LONG>(x1) + i, static_cast<LONG>(y1) + j);
                copyPresent[static_cast<size_t>(j) * cx + i] = p != nullptr;
                if (p) copy[static_cast<size_t>(j) * cx + i] = *p;
            }
        }
    }
    for (int j = 0; j < cy; ++j) {
        for (int i = 0; i < cx; ++i) {
            uint32_t* to = PixelAt(target, static_cast<LONG>(x) + i, static_cast<LONG>(y) + j);
            if (!to) continue;
            if (sameBitmap) {
                if (copyPresent[static_cast<size_t>(j) * cx + i]) *to = copy[static_cast<size_t>(j) * cx + i];
            } else if (const uint32_t* from = PixelAt(source, static_cast<LONG>(x1) + i, static_cast<LONG>(y1) + j)) {
                *to = *from;
            }
        }
    }
    return TRUE;
}
