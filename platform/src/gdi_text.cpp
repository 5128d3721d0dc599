// Text output: colours, background mode and alignment of a device context, and
// TextOut/ExtTextOut drawing with its current font. Glyphs are rasterised by
// FreeType in grey levels and blended over the pixels in the text colour; the
// text's width is the one GetTextExtentPoint32 reports and its cell height the
// font's tmHeight, so placement follows the metrics exactly.
#include <string>

#include "font_internal.h"
#include "gdi_internal.h"

using namespace qelv_gdi;

namespace {

struct Blend {
    Context* context;
    uint32_t color;  // 0x00RRGGBB
};

void BlendPixel(void* target, LONG x, LONG y, unsigned coverage) {
    auto* blend = static_cast<Blend*>(target);
    uint32_t* p = PixelAt(blend->context, x, y);
    if (!p) return;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const unsigned fg = (blend->color >> shift) & 0xFFu;
        const unsigned bg = (*p >> shift) & 0xFFu;
        out |= ((fg * coverage + bg * (255u - coverage) + 127u) / 255u) << shift;
    }
    *p = out;
}

// Draws text with the reference point (x, y) per the context's alignment.
// Called with Lock() held.
BOOL DrawTextAt(Context* context, int x, int y, UINT options, const RECT* rect, const char16_t* text, int length) {
    if (options & ETO_OPAQUE) {
        if (rect) FillPixels(context, rect->left, rect->top, rect->right, rect->bottom, PixelOf(context->bkColor));
    }
    if (length <= 0) return TRUE;
    const LOGFONTW font = context->font->font;
    TEXTMETRICW tm;
    LONG width = 0;
    if (!qelv_font::Metrics(font, &tm) || !qelv_font::TextWidth(font, text, length, &width)) return FALSE;
    // Positions in 64 bits, then limited to the 32-bit range, so that no
    // reference point overflows.
    long long left = x;
    switch (context->textAlign & TA_CENTER) {
        case TA_CENTER: left = static_cast<long long>(x) - width / 2; break;
        case TA_RIGHT: left = static_cast<long long>(x) - width; break;
        default: break;
    }
    long long baseline = static_cast<long long>(y) + tm.tmAscent;
    switch (context->textAlign & TA_BASELINE) {
        case TA_BASELINE: baseline = y; break;
        case TA_BOTTOM: baseline = static_cast<long long>(y) - tm.tmDescent; break;
        default: break;
    }
    const long long top = baseline - tm.tmAscent;
    auto limit = [](long long v) {
        return static_cast<LONG>(v < -0x40000000LL ? -0x40000000LL : (v > 0x40000000LL ? 0x40000000LL : v));
    };
    if (context->bkMode == OPAQUE) {
        FillPixels(context, limit(left), limit(top), limit(left + width), limit(top + tm.tmHeight),
                   PixelOf(context->bkColor));
    }
    Blend blend{context, PixelOf(context->textColor)};
    return qelv_font::DrawText(font, text, length, limit(left), limit(baseline), BlendPixel, &blend) ? TRUE : FALSE;
}

std::u16string Widen(LPCSTR text, int length) {
    std::u16string wide;
    if (length > 0) {
        const int count = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
        wide.resize(static_cast<size_t>(count > 0 ? count : 0));
        if (count > 0) MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), count);
    }
    return wide;
}

}  // namespace

// SetTextColor: the colour text is drawn in. Returns the previous colour, or
// CLR_INVALID for an unknown context.
WINBASEAPI COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context) return CLR_INVALID;
    const COLORREF previous = context->textColor;
    context->textColor = color;
    return previous;
}

// GetTextColor: the text colour, or CLR_INVALID for an unknown context.
WINBASEAPI COLORREF WINAPI GetTextColor(HDC hdc) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    return context ? context->textColor : CLR_INVALID;
}

// SetBkMode: OPAQUE (text cells are filled with the background colour first) or
// TRANSPARENT (only the glyphs are drawn).
// Returns the previous mode, or 0 for an unknown context or another mode.
WINBASEAPI int WINAPI SetBkMode(HDC hdc, int mode) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
    const int previous = context->bkMode;
    context->bkMode = mode;
    return previous;
}

// GetBkMode: the background mode, or 0 for an unknown context.
WINBASEAPI int WINAPI GetBkMode(HDC hdc) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    return context ? context->bkMode : 0;
}

// SetTextAlign: where text stands relative to its reference point:
// horizontally TA_LEFT, TA_CENTER (left edge at x - width / 2, truncated) or
// TA_RIGHT; vertically TA_TOP (the cell's top at y), TA_BASELINE or TA_BOTTOM
// (the cell's bottom, y - descent being the baseline). TA_UPDATECP is kept but
// text is always placed at the given point.
// Returns the previous alignment, or GDI_TA_ERROR for an unknown context.
WINBASEAPI UINT WINAPI SetTextAlign(HDC hdc, UINT align) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context) return GDI_TA_ERROR;
    const UINT previous = context->textAlign;
    context->textAlign = align;
    return previous;
}

// GetTextAlign: the alignment, or GDI_TA_ERROR for an unknown context.
WINBASEAPI UINT WINAPI GetTextAlign(HDC hdc) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    return context ? context->textAlign : GDI_TA_ERROR;
}

// ExtTextOutW: draws text, optionally over a filled rectangle.
//   x, y     [in] the reference point (see SetTextAlign).
//   options  [in] ETO_OPAQUE fills lprect with the background colour first
//            (with no text this is a plain solid fill, right and bottom
//            exclusive); ETO_CLIPPED is accepted and not applied.
//   lprect   [in] the rectangle for ETO_OPAQUE, or NULL.
//   lpString [in] c UTF-16 units; may be NULL when c is 0.
//   lpDx     [in] ignored: glyphs advance by the font's own widths.
// Returns TRUE, or FALSE for an unknown context, a null string with c > 0 or a
// font without a face.
WINBASEAPI BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString, UINT c,
                                   const INT*) {
    if (!lpString && c > 0) return FALSE;
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context) return FALSE;
    return DrawTextAt(context, x, y, options, lprect, lpString, static_cast<int>(c > 0x7FFFFFFF ? 0x7FFFFFFF : c));
}

// ExtTextOutA: ExtTextOutW of c bytes of ANSI (CP_ACP) text.
WINBASEAPI BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCSTR lpString, UINT c,
                                   const INT* lpDx) {
    if (!lpString && c > 0) return FALSE;
    const std::u16string wide = Widen(lpString, static_cast<int>(c > 0x7FFFFFFF ? 0x7FFFFFFF : c));
    return ExtTextOutW(hdc, x, y, options, lprect, wide.c_str(), static_cast<UINT>(wide.size()), lpDx);
}

// TextOutW: draws c UTF-16 units at the reference point (x, y) in the current
// font, text colour, background mode and alignment.
// Returns TRUE, or FALSE for an unknown context, c < 0, a null string with
// c > 0 or a font without a face.
WINBASEAPI BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
    if (c < 0) return FALSE;
    return ExtTextOutW(hdc, x, y, 0, nullptr, lpString, static_cast<UINT>(c), nullptr);
}

// TextOutA: TextOutW of c bytes of ANSI (CP_ACP) text.
WINBASEAPI BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
    if (c < 0) return FALSE;
    return ExtTextOutA(hdc, x, y, 0, nullptr, lpString, static_cast<UINT>(c), nullptr);
}
