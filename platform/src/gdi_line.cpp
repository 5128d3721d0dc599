// Lines with the current pen: MoveToEx sets the current position, LineTo draws
// from it to a new end and makes the end current. The end pixel is never
// drawn, so a polyline's joints are drawn once.
//
// Pixels follow Bresenham's rule with the Windows tie-break. The major axis is
// x when |dx| > |dy| (a diagonal is y-major); one pixel per major step, starting
// at the start point. The error starts at 2 * minor - major; after each pixel
// the minor coordinate steps when err + bias > 0 (err += 2 * minor - 2 *
// major), else err += 2 * minor. bias is 1 in octants 3, 5, 6 and 8 and 0 in
// 1, 2, 4 and 7, numbering the octants from 1 (x-major, dx > 0, dy > 0) round
// through 2 (y-major, dx > 0, dy > 0), 3 (y-major, dx <= 0, dy > 0), 4
// (x-major, dx < 0, dy > 0), 5 (x-major, dx < 0, dy <= 0), 6 (y-major, dx < 0,
// dy <= 0), 7 (y-major, dx >= 0, dy < 0) to 8 (x-major, dx > 0, dy <= 0).
// So where the ideal line passes exactly halfway between two pixels, the
// choice depends on the direction of drawing as it does on Windows.
#include <cstdlib>
#include <utility>

#include "gdi_internal.h"

using namespace qelv_gdi;

namespace {

int Octant(long long dx, long long dy) {
    if (dy > 0) {
        if (dx > 0) return dx > dy ? 1 : 2;
        return -dx > dy ? 4 : 3;
    }
    if (dx < 0) return -dx > -dy ? 5 : 6;
    return dx > -dy ? 8 : 7;
}

int OctantBias(int octant) { return (octant == 3 || octant == 5 || octant == 6 || octant == 8) ? 1 : 0; }

void Plot(Context* context, LONG x, LONG y, uint32_t pixel) {
    if (uint32_t* p = PixelAt(context, x, y)) *p = pixel;
}

// Draws from (x1, y1) towards (x2, y2), leaving out (x2, y2). Coordinates are
// 64-bit inside so that no difference overflows.
void DrawLine(Context* context, long long x1, long long y1, long long x2, long long y2, uint32_t pixel) {
    const long long dx = x2 - x1;
    const long long dy = y2 - y1;
    if (dx == 0 && dy == 0) return;
    const long long adx = dx < 0 ? -dx : dx;
    const long long ady = dy < 0 ? -dy : dy;
    const int bias = OctantBias(Octant(dx, dy));
    const bool xMajor = adx > ady;
    const long long xInc = dx > 0 ? 1 : -1;
    const long long yInc = dy > 0 ? 1 : -1;
    const long long major = xMajor ? adx : ady;
    const long long minor = xMajor ? ady : adx;
    long long err = 2 * minor - major;
    const long long add1 = 2 * minor - 2 * major;
    const long long add2 = 2 * minor;
    const Bitmap* b = context->bitmap;
    if (!b) return;
    // A line whose bounding box misses the bitmap draws nothing.
    if ((x1 < 0 && x2 < 0) || (y1 < 0 && y2 < 0) || (x1 >= b->width && x2 >= b->width) ||
        (y1 >= b->height && y2 >= b->height)) {
        return;
    }
    long long x = x1;
    long long y = y1;
    for (long long k = 0; k < major; ++k) {
        if (x >= 0 && y >= 0 && x < b->width && y < b->height) Plot(context, static_cast<LONG>(x), static_cast<LONG>(y), pixel);
        if (err + bias > 0) {
            if (xMajor) y += yInc; else x += xInc;
            err += add1;
        } else {
            err += add2;
        }
        if (xMajor) x += xInc; else y += yInc;
    }
}

}  // namespace

// MoveToEx: sets the current position.
//   lppt [out] the previous position, when not NULL.
// Returns TRUE, or FALSE for an unknown context.
WINBASEAPI BOOL WINAPI MoveToEx(HDC hdc, int x, int y, POINT* lppt) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context) return FALSE;
    if (lppt) *lppt = context->position;
    context->position = POINT{x, y};
    return TRUE;
}

// LineTo: draws a line with the current pen from the current position to
// (x, y), not including (x, y), and makes (x, y) the current position. A
// PS_NULL pen draws nothing but still moves.
// Returns TRUE, or FALSE for an unknown context.
WINBASEAPI BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context) return FALSE;
    if (context->pen->style != PS_NULL) {
        DrawLine(context, context->position.x, context->position.y, x, y, PixelOf(context->pen->color));
    }
    context->position = POINT{x, y};
    return TRUE;
}

// Rectangle: the interior from (left + 1, top + 1) to (right - 1, bottom - 1)
// filled with the current brush, the outline (left, top) .. (right - 1,
// bottom - 1) in the current pen; right and bottom are exclusive. Corners
// given in either order are sorted first. A rectangle of width or height
// below 2 draws nothing visible beyond its outline pixels.
// Returns TRUE, or FALSE for an unknown context.
WINBASEAPI BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context) return FALSE;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (right == left || bottom == top) return TRUE;
    // Sorted and not empty: left < right and top < bottom, so the ±1 below stay in range.
    const LONG l = left, t = top, r = right, b = bottom;
    const uint32_t brush = PixelOf(context->brush->color);
    if (context->pen->style == PS_NULL) {
        FillPixels(context, l, t, r - 1, b - 1, brush);
        return TRUE;
    }
    FillPixels(context, l + 1, t + 1, r - 1, b - 1, brush);
    const uint32_t pen = PixelOf(context->pen->color);
    FillPixels(context, l, t, r, t + 1, pen);
    FillPixels(context, l, b - 1, r, b, pen);
    FillPixels(context, l, t, l + 1, b, pen);
    FillPixels(context, r - 1, t, r, b, pen);
    return TRUE;
}
