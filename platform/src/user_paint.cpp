// Painting: each window's pixel buffer and update region, WM_PAINT when the
// queue is idle, BeginPaint / EndPaint, and window device contexts. The update
// region is kept as its bounding rectangle. A context of a window draws into
// that window's buffer, which bounds (clips) every drawing call; giving the
// context back shows the buffer on the display.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "user_internal.h"

namespace qelv_user {
namespace {

RECT ClientRect(const Window* w) { return RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top}; }

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT Union(const RECT& a, const RECT& b) {
    if (Empty(a)) return b;
    if (Empty(b)) return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

RECT Clip(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    return Empty(r) ? RECT{} : r;
}

// Takes a context out of whichever window holds it; the window, or nullptr.
Window* TakeContext(HDC dc) {
    for (HWND h : AllWindows()) {
        Window* w = WindowOf(h);
        auto it = std::find(w->contexts.begin(), w->contexts.end(), dc);
        if (it != w->contexts.end()) {
            w->contexts.erase(it);
            return w;
        }
    }
    return nullptr;
}

HDC NewWindowContext(Window* w) {
    HDC dc = qelv_gdi::NewDeviceContext(&w->pixels);
    if (dc) w->contexts.push_back(dc);
    return dc;
}

}  // namespace

void InvalidateAll(Window* w, bool erase) {
    const RECT client = ClientRect(w);
    if (Empty(client)) return;
    w->update = client;
    w->erase = w->erase || erase;
    Wake(w->queue);
}

bool NextPaint(Queue* queue, HWND filter, HWND* target) {
    for (HWND h : AllWindows()) {
        Window* w = WindowOf(h);
        if (w->queue != queue || w->destroying || Empty(w->update) || !IsShown(w)) continue;
        if (filter && filter != h) continue;
        *target = h;
        return true;
    }
    return false;
}

void DropContexts(Window* w) {
    for (HDC dc : w->contexts) qelv_gdi::FreeDeviceContext(dc);
    w->contexts.clear();
}

void ResizePixels(Window* w, LONG width, LONG height) {
    std::lock_guard<std::mutex> lock(qelv_gdi::Lock());
    qelv_gdi::Bitmap& b = w->pixels;
    b.type = OBJ_BITMAP;
    b.stock = true;  // belongs to the window: no call may delete it
    uint32_t* bits = nullptr;
    if (width > 0 && height > 0) {
        bits = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(width) * static_cast<size_t>(height), 4));
        if (!bits) width = height = 0;
    }
    if (bits && b.bits) {
        const LONG rows = std::min(height, b.height);
        const LONG cols = std::min(width, b.width);
        for (LONG y = 0; y < rows; ++y) {
            std::memcpy(bits + static_cast<size_t>(y) * static_cast<size_t>(width),
                        b.bits + static_cast<size_t>(y) * static_cast<size_t>(b.width),
                        static_cast<size_t>(cols) * 4);
        }
    }
    std::free(b.bits);
    b.bits = bits;
    b.width = bits ? width : 0;
    b.height = bits ? height : 0;
    w->update = Clip(w->update, ClientRect(w));
}

}  // namespace qelv_user

using namespace qelv_user;

// InvalidateRect: adds a rectangle (NULL: the whole client area) to the
// window's update region, so that WM_PAINT comes once the queue is idle;
// bErase asks BeginPaint to send WM_ERASEBKGND. A NULL window invalidates
// every window.
// Returns TRUE, or FALSE with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    std::lock_guard<std::mutex> lock(Lock());
    if (!hWnd) {
        for (HWND h : AllWindows()) InvalidateAll(WindowOf(h), bErase != FALSE);
        return TRUE;
    }
    Window* w = WindowOrFail(hWnd);
    if (!w) return FALSE;
    const RECT added = lpRect ? Clip(*lpRect, ClientRect(w)) : ClientRect(w);
    if (Empty(added)) return TRUE;
    w->update = Union(w->update, added);
    w->erase = w->erase || bErase;
    Wake(w->queue);
    return TRUE;
}

// ValidateRect: takes a rectangle (NULL: everything) out of the update
// region. Since the region is kept as a bounding rectangle, a rectangle that
// covers a whole edge band of it trims it, one that covers it all empties it,
// and any other leaves it as it is.
// Returns TRUE, or FALSE with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w) return FALSE;
    RECT& u = w->update;
    if (!lpRect) {
        u = RECT{};
    } else if (!Empty(u) && !Empty(*lpRect)) {
        const RECT& v = *lpRect;
        const bool spansX = v.left <= u.left && v.right >= u.right;
        const bool spansY = v.top <= u.top && v.bottom >= u.bottom;
        if (spansX && spansY) {
            u = RECT{};
        } else if (spansX && v.top <= u.top && v.bottom > u.top) {
            u.top = v.bottom;
        } else if (spansX && v.bottom >= u.bottom && v.top < u.bottom) {
            u.bottom = v.top;
        } else if (spansY && v.left <= u.left && v.right > u.left) {
            u.left = v.right;
        } else if (spansY && v.right >= u.right && v.left < u.right) {
            u.right = v.left;
        }
    }
    if (Empty(u)) {
        u = RECT{};
        w->erase = false;
    }
    return TRUE;
}

// GetUpdateRect: the bounding rectangle of the update region (empty when the
// window is valid). bErase is ignored: erasing is left to BeginPaint.
// Returns TRUE when the region is not empty, else FALSE.
WINBASEAPI BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w) return FALSE;
    if (lpRect) *lpRect = w->update;
    return Empty(w->update) ? FALSE : TRUE;
}

// UpdateWindow: sends WM_PAINT at once when the window is shown and has an
// update region. Returns TRUE, or FALSE with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI BOOL WINAPI UpdateWindow(HWND hWnd) {
    bool paint = false;
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOrFail(hWnd);
        if (!w) return FALSE;
        paint = !Empty(w->update) && IsShown(w);
    }
    if (paint) SendMessageW(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

// BeginPaint: starts painting: validates the whole update region, sends
// WM_ERASEBKGND (wParam the context) when it was invalidated with erase, and
// gives a context drawing into the window's buffer. rcPaint is the update
// rectangle; fErase is TRUE when the background still needs erasing (the
// WM_ERASEBKGND answer was 0).
// Returns the context, or NULL with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    HDC dc = nullptr;
    bool erase = false;
    RECT area{};
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOrFail(hWnd);
        if (!w || !lpPaint) return nullptr;
        erase = w->erase;
        area = w->update;
        w->update = RECT{};
        w->erase = false;
        dc = NewWindowContext(w);
        if (!dc) return nullptr;
    }
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = dc;
    lpPaint->rcPaint = area;
    lpPaint->fErase = erase ? (SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE)
                            : FALSE;
    return dc;
}

// EndPaint: ends painting: gives back the context of BeginPaint and shows the
// painted rectangle on the display. Returns TRUE, or FALSE for an unknown
// window or context.
WINBASEAPI BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w || !lpPaint) return FALSE;
    Window* holder = TakeContext(lpPaint->hdc);
    if (!holder) return FALSE;
    qelv_gdi::FreeDeviceContext(lpPaint->hdc);
    XPush(holder, Empty(lpPaint->rcPaint) ? ClientRect(holder) : lpPaint->rcPaint);
    return TRUE;
}

// GetDC: a device context for the window's client area, drawing into its
// buffer; with NULL, the screen's context, which has no pixels. Give it back
// with ReleaseDC. Returns NULL for an unknown window
// (ERROR_INVALID_WINDOW_HANDLE) or out of memory.
WINBASEAPI HDC WINAPI GetDC(HWND hWnd) {
    if (!hWnd) return qelv_gdi::NewDeviceContext(nullptr);
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    return w ? NewWindowContext(w) : nullptr;
}

// ReleaseDC: gives back a context from GetDC; a window's buffer is then shown
// on the display. Returns 1, or 0 for a context not from GetDC.
WINBASEAPI int WINAPI ReleaseDC(HWND, HDC hDC) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* holder = TakeContext(hDC);
    if (!qelv_gdi::FreeDeviceContext(hDC)) return 0;
    if (holder) XPush(holder, ClientRect(holder));
    return 1;
}
