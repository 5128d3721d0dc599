// Bitmaps: 32 bits per pixel, blue in the low byte, then green and red; the
// drawing surface of a memory device context.
#include <cstdlib>
#include <new>

#include "gdi_internal.h"

using namespace qelv_gdi;

namespace {

HBITMAP NewBitmap(LONG width, LONG height, bool bottomUp, bool dibSection) {
    if (width <= 0 || height <= 0 || width > 0x4000 || height > 0x4000) return nullptr;
    auto* bitmap = new (std::nothrow) Bitmap{};
    if (!bitmap) return nullptr;
    bitmap->bits = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(width) * static_cast<size_t>(height), 4));
    if (!bitmap->bits) {
        delete bitmap;
        return nullptr;
    }
    bitmap->type = OBJ_BITMAP;
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bottomUp = bottomUp;
    bitmap->dibSection = dibSection;
    std::lock_guard<std::mutex> lock(Lock());
    RegisterObject(bitmap);
    return reinterpret_cast<HBITMAP>(bitmap);
}

}  // namespace

// CreateCompatibleBitmap: a bitmap for drawing off screen, all pixels black.
//   hdc [in] the context to be compatible with (the screen's or a memory
//       context); every bitmap here has 32 bits per pixel.
//   cx, cy [in] the size in pixels, each 1 .. 16384.
// Returns the bitmap, or NULL for an unknown context, a size out of range or
// out of memory.
WINBASEAPI HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (!ContextOf(hdc)) return nullptr;
    }
    return NewBitmap(cx, cy, false, false);
}

// CreateDIBSection: a device-independent bitmap whose pixels the caller reaches.
//   hdc     [in] ignored for DIB_RGB_COLORS (may be NULL).
//   pbmi    [in] BITMAPINFOHEADER with biBitCount 32 and BI_RGB; a negative
//           biHeight makes rows top-down, a positive one bottom-up.
//   usage   [in] DIB_RGB_COLORS.
//   ppvBits [out] the first pixel of the first stored row; NULL on failure.
//   hSection, offset: must be NULL and 0 (no file mapping).
// Returns the bitmap (pixels zero), or NULL for another format, a size out of
// range, a section, or out of memory.
WINBASEAPI HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT usage, VOID** ppvBits, HANDLE hSection,
                                           DWORD offset) {
    if (ppvBits) *ppvBits = nullptr;
    if (!pbmi || usage != DIB_RGB_COLORS || hSection || offset) return nullptr;
    const BITMAPINFOHEADER& h = pbmi->bmiHeader;
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || h.biPlanes != 1) return nullptr;
    const LONG height = h.biHeight < 0 ? (h.biHeight == LONG(-2147483647 - 1) ? 0 : -h.biHeight) : h.biHeight;
    HBITMAP bitmap = NewBitmap(h.biWidth, height, h.biHeight > 0, true);
    if (bitmap && ppvBits) *ppvBits = reinterpret_cast<Bitmap*>(bitmap)->bits;
    return bitmap;
}
