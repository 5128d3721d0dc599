// Rectangle helpers. A rectangle holds the points left <= x < right and
// top <= y < bottom; one with right <= left or bottom <= top is empty.
#include <algorithm>

#include "user_internal.h"

// PtInRect: TRUE when the point lies inside the rectangle.
WINBASEAPI BOOL WINAPI PtInRect(const RECT* lprc, POINT pt) {
    return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom ? TRUE
                                                                                                          : FALSE;
}

// SetRect: fills a rectangle. Returns FALSE for a NULL one.
WINBASEAPI BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (!lprc) return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

// OffsetRect: moves a rectangle by (dx, dy). Returns FALSE for a NULL one.
WINBASEAPI BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy) {
    if (!lprc) return FALSE;
    lprc->left += dx;
    lprc->right += dx;
    lprc->top += dy;
    lprc->bottom += dy;
    return TRUE;
}

// IsRectEmpty: TRUE for an empty (or NULL) rectangle.
WINBASEAPI BOOL WINAPI IsRectEmpty(const RECT* lprc) {
    return !lprc || lprc->right <= lprc->left || lprc->bottom <= lprc->top ? TRUE : FALSE;
}

// IntersectRect: the common part of two rectangles; an empty result is
// (0, 0, 0, 0) and answers FALSE.
WINBASEAPI BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
    if (!lprcDst) return FALSE;
    if (!lprcSrc1 || !lprcSrc2 || IsRectEmpty(lprcSrc1) || IsRectEmpty(lprcSrc2)) {
        *lprcDst = RECT{};
        return FALSE;
    }
    const RECT r{std::max(lprcSrc1->left, lprcSrc2->left), std::max(lprcSrc1->top, lprcSrc2->top),
                 std::min(lprcSrc1->right, lprcSrc2->right), std::min(lprcSrc1->bottom, lprcSrc2->bottom)};
    if (IsRectEmpty(&r)) {
        *lprcDst = RECT{};
        return FALSE;
    }
    *lprcDst = r;
    return TRUE;
}
