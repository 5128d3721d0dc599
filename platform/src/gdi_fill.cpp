// Solid fills: FillRect with a brush, and the background colour that opaque
// text fills with. Right and bottom edges are exclusive: a rectangle from
// (l, t) to (r, b) covers the pixels l <= x < r, t <= y < b.
#include "gdi_internal.h"

using namespace qelv_gdi;

// FillRect: fills a rectangle with a brush's colour.
//   hDC  [in] the device context.
//   lprc [in] the rectangle; an empty or inverted one fills nothing.
//   hbr  [in] a brush handle, or a system colour index + 1 (COLOR_BTNFACE + 1 ...).
// Returns 1, or 0 for an unknown context or brush or a null rectangle.
WINBASEAPI int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    const auto value = reinterpret_cast<uintptr_t>(hbr);
    COLORREF color = 0;
    if (value >= 1 && value <= COLOR_MENUBAR + 1) {
        color = GetSysColor(static_cast<int>(value - 1));
    }
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hDC);
    if (!context || !lprc) return 0;
    if (value > COLOR_MENUBAR + 1) {
        Object* object = ObjectOf(hbr);
        if (!object || object->type != OBJ_BRUSH) return 0;
        color = static_cast<Brush*>(object)->color;
    }
    FillPixels(context, lprc->left, lprc->top, lprc->right, lprc->bottom, PixelOf(color));
    return 1;
}

// SetBkColor: the colour opaque text backgrounds and ExtTextOut's ETO_OPAQUE
// rectangle are filled with.
// Returns the previous colour, or CLR_INVALID for an unknown context.
WINBASEAPI COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context) return CLR_INVALID;
    const COLORREF previous = context->bkColor;
    context->bkColor = color;
    return previous;
}

// GetBkColor: the background colour, or CLR_INVALID for an unknown context.
WINBASEAPI COLORREF WINAPI GetBkColor(HDC hdc) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    return context ? context->bkColor : CLR_INVALID;
}

// GetPixel: the colour of one pixel; CLR_INVALID outside the bitmap, for the
// screen's context or an unknown one.
WINBASEAPI COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    const uint32_t* pixel = context ? PixelAt(context, x, y) : nullptr;
    return pixel ? ColorOf(*pixel) : CLR_INVALID;
}

// SetPixel: sets one pixel. Returns the colour set, or CLR_INVALID (-1)
// outside the bitmap or for an unknown context.
WINBASEAPI COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    uint32_t* pixel = context ? PixelAt(context, x, y) : nullptr;
    if (!pixel) return CLR_INVALID;
    *pixel = PixelOf(color);
    return color & 0x00FFFFFF;
}
