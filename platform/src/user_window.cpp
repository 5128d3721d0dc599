// Windows and their tree: creation with its message sequence, destruction
// (children with their parent), the window data slots, parents, showing,
// moving and sizing, and coordinates. A window has no frame here: its window
// rectangle is its client rectangle, for top-level windows as for children.
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <unordered_map>

#include "user_internal.h"

namespace qelv_user {
namespace {

std::unordered_map<HWND, std::unique_ptr<Window>>& Table() {
    static std::unordered_map<HWND, std::unique_ptr<Window>> table;
    return table;
}

// Handles are never reused, so a stale handle is always refused.
uintptr_t g_nextHandle = 0x10010;

// Where CW_USEDEFAULT places and sizes a top-level window.
constexpr LONG kDefaultX = 64;
constexpr LONG kDefaultY = 64;
constexpr LONG kDefaultWidth = 640;
constexpr LONG kDefaultHeight = 480;

void Remove(std::vector<HWND>& list, HWND hwnd) { list.erase(std::remove(list.begin(), list.end(), hwnd), list.end()); }

// The window and its descendants, parents before children.
void Subtree(HWND hwnd, std::vector<HWND>* out) {
    Window* w = WindowOf(hwnd);
    if (!w) return;
    out->push_back(hwnd);
    for (HWND child : w->children) Subtree(child, out);
}

// Takes a window out of every list and frees it. Lock() held.
void Free(Window* w, bool destroyX) {
    if (w->parent) {
        if (Window* p = WindowOf(w->parent)) Remove(p->children, w->handle);
    } else {
        Remove(TopLevels(), w->handle);
    }
    Remove(AllWindows(), w->handle);
    w->cls->windows--;
    DropContexts(w);
    Queue* q = w->queue;
    q->posted.erase(std::remove_if(q->posted.begin(), q->posted.end(),
                                   [&](const QueuedMessage& m) { return m.msg.hwnd == w->handle; }),
                    q->posted.end());
    q->timers.erase(std::remove_if(q->timers.begin(), q->timers.end(),
                                   [&](const Timer& t) { return t.hwnd == w->handle; }),
                    q->timers.end());
    if (destroyX) XDestroy(w);
    ResizePixels(w, 0, 0);
    Table().erase(w->handle);
}

LPARAM PackPoint(LONG x, LONG y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

}  // namespace

Window::~Window() { std::free(pixels.bits); }

std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

uint64_t Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

Window* WindowOf(HWND hwnd) {
    auto it = Table().find(hwnd);
    return it == Table().end() ? nullptr : it->second.get();
}

Window* WindowOrFail(HWND hwnd) {
    Window* w = WindowOf(hwnd);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

std::vector<HWND>& AllWindows() {
    static std::vector<HWND> all;
    return all;
}

std::vector<HWND>& TopLevels() {
    static std::vector<HWND> tops;
    return tops;
}

bool IsShown(const Window* w) {
    while (w) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!w->parent) return true;
        w = WindowOf(w->parent);
    }
    return false;
}

POINT ClientOrigin(const Window* w) {
    POINT pt{0, 0};
    while (w) {
        pt.x += w->rect.left;
        pt.y += w->rect.top;
        w = w->parent ? WindowOf(w->parent) : nullptr;
    }
    return pt;
}

namespace {

HWND Deepest(HWND hwnd, POINT pt) {
    Window* w = WindowOf(hwnd);
    if (!w || !(w->style & WS_VISIBLE)) return nullptr;
    if (pt.x < w->rect.left || pt.x >= w->rect.right || pt.y < w->rect.top || pt.y >= w->rect.bottom) return nullptr;
    const POINT inner{pt.x - w->rect.left, pt.y - w->rect.top};
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        if (HWND hit = Deepest(*it, inner)) return hit;
    }
    return hwnd;
}

}  // namespace

HWND WindowFromScreen(POINT pt) {
    const auto& tops = TopLevels();
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        if (HWND hit = Deepest(*it, pt)) return hit;
    }
    return nullptr;
}

LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (Window* w = WindowOf(hwnd)) proc = w->proc;
    }
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

bool Reposition(HWND hwnd, RECT rect, bool repaint, bool moveX) {
    bool moved = false;
    bool sized = false;
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOrFail(hwnd);
        if (!w) return false;
        if (rect.right < rect.left) rect.right = rect.left;
        if (rect.bottom < rect.top) rect.bottom = rect.top;
        moved = rect.left != w->rect.left || rect.top != w->rect.top;
        sized = rect.right - rect.left != w->rect.right - w->rect.left ||
                rect.bottom - rect.top != w->rect.bottom - w->rect.top;
        w->rect = rect;
        if (sized) ResizePixels(w, rect.right - rect.left, rect.bottom - rect.top);
        if (sized || repaint) InvalidateAll(w, true);
        if (moveX && (moved || sized)) XPlace(w);
    }
    if (moved) SendMessageW(hwnd, WM_MOVE, 0, PackPoint(rect.left, rect.top));
    if (sized) SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, PackPoint(rect.right - rect.left, rect.bottom - rect.top));
    return true;
}

}  // namespace qelv_user

using namespace qelv_user;

// CreateWindowExW: creates a window of a registered class.
//   lpClassName [in] the class name or atom.
//   dwStyle     [in] WS_CHILD makes a child positioned in hWndParent's client
//               area; WS_VISIBLE shows it once created.
//   X, Y, nWidth, nHeight [in] the client rectangle (children: in the parent's
//               client coordinates; top-level: screen). CW_USEDEFAULT gives a
//               default place or size (children: 0).
//   lpParam     [in] handed to WM_NCCREATE and WM_CREATE in CREATESTRUCTW.
// Sends WM_NCCREATE, WM_CREATE, WM_SIZE and WM_MOVE, then shows the window
// if asked. Returns the window, or NULL: ERROR_CANNOT_FIND_WND_CLASS,
// ERROR_TLW_WITH_WSCHILD (a child without parent), ERROR_INVALID_WINDOW_HANDLE
// (a bad parent), or a window procedure that refused creation.
WINBASEAPI HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle,
                                       int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                       HINSTANCE hInstance, LPVOID lpParam) {
    HWND hwnd = nullptr;
    CREATESTRUCTW cs{};
    {
        std::lock_guard<std::mutex> lock(Lock());
        WindowClass* cls = FindClass(lpClassName);
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        const bool child = (dwStyle & WS_CHILD) != 0;
        Window* parent = nullptr;
        if (child && !hWndParent) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        if (hWndParent && !(parent = WindowOrFail(hWndParent))) return nullptr;
        if (parent && parent->destroying) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        XOpenOnce();
        auto w = std::make_unique<Window>();
        hwnd = reinterpret_cast<HWND>(g_nextHandle);
        g_nextHandle += 4;
        w->handle = hwnd;
        w->cls = cls;
        w->queue = CurrentQueue();
        w->parent = child ? hWndParent : nullptr;
        w->style = dwStyle & ~static_cast<DWORD>(WS_VISIBLE);
        w->exStyle = dwExStyle;
        w->proc = cls->proc;
        w->userData = 0;
        w->id = child ? reinterpret_cast<LONG_PTR>(hMenu) : 0;
        w->instance = hInstance;
        if (lpWindowName && !IS_INTRESOURCE(lpWindowName)) w->text = lpWindowName;
        w->extra.assign(static_cast<size_t>(cls->wndExtra), 0);
        LONG x = X == CW_USEDEFAULT ? (child ? 0 : kDefaultX) : X;
        LONG y = X == CW_USEDEFAULT ? (child ? 0 : kDefaultY) : Y;
        LONG width = nWidth == CW_USEDEFAULT ? (child ? 0 : kDefaultWidth) : nWidth;
        LONG height = nWidth == CW_USEDEFAULT ? (child ? 0 : kDefaultHeight) : nHeight;
        width = std::clamp<LONG>(width, 0, 0x4000);
        height = std::clamp<LONG>(height, 0, 0x4000);
        w->rect = RECT{x, y, x + width, y + height};
        ResizePixels(w.get(), width, height);
        cls->windows++;
        Window* raw = w.get();
        Table().emplace(hwnd, std::move(w));
        AllWindows().push_back(hwnd);
        if (child) {
            parent->children.push_back(hwnd);
        } else {
            TopLevels().push_back(hwnd);
        }
        XCreate(raw);
        cs.lpCreateParams = lpParam;
        cs.hInstance = hInstance;
        cs.hMenu = hMenu;
        cs.hwndParent = hWndParent;
        cs.cx = static_cast<int>(width);
        cs.cy = static_cast<int>(height);
        cs.x = static_cast<int>(x);
        cs.y = static_cast<int>(y);
        cs.style = static_cast<LONG>(dwStyle);
        cs.lpszName = lpWindowName;
        cs.lpszClass = lpClassName;
        cs.dwExStyle = dwExStyle;
    }
    if (!SendMessageW(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    RECT rect{};
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOf(hwnd);
        if (!w || w->destroying) return nullptr;
        rect = w->rect;
    }
    SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, PackPoint(rect.right - rect.left, rect.bottom - rect.top));
    SendMessageW(hwnd, WM_MOVE, 0, PackPoint(rect.left, rect.top));
    if (dwStyle & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

// DestroyWindow: destroys a window and its children. The capture and the
// focus are taken from them first (WM_CAPTURECHANGED, WM_KILLFOCUS); then
// WM_DESTROY goes to the window and then its children, parents first, and
// WM_NCDESTROY to the children before their parent, after which each handle
// is invalid. Posted messages and timers of the windows are dropped.
// Returns TRUE, or FALSE with ERROR_INVALID_WINDOW_HANDLE, or
// ERROR_ACCESS_DENIED from a thread other than the window's.
WINBASEAPI BOOL WINAPI DestroyWindow(HWND hWnd) {
    std::vector<HWND> order;
    HWND lostCapture = nullptr;
    HWND lostFocus = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOrFail(hWnd);
        if (!w) return FALSE;
        if (w->queue->thread != std::this_thread::get_id()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (w->destroying) return TRUE;
        Subtree(hWnd, &order);
        for (HWND h : order) {
            WindowOf(h)->destroying = true;
            HWND capture = nullptr;
            HWND focus = nullptr;
            ForgetWindow(h, &capture, &focus);
            if (capture) lostCapture = capture;
            if (focus) lostFocus = focus;
        }
        if (w->style & WS_VISIBLE) XShow(w, false);
    }
    if (lostCapture) SendMessageW(lostCapture, WM_CAPTURECHANGED, 0, 0);
    if (lostFocus) SendMessageW(lostFocus, WM_KILLFOCUS, 0, 0);
    for (HWND h : order) SendMessageW(h, WM_DESTROY, 0, 0);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        SendMessageW(*it, WM_NCDESTROY, 0, 0);
        std::lock_guard<std::mutex> lock(Lock());
        if (Window* w = WindowOf(*it)) {
            // Destroying the X window of the topmost destroyed window takes its
            // X subwindows with it.
            if (*it != hWnd) w->xwindow = 0;
            Free(w, *it == hWnd);
        }
    }
    return TRUE;
}

// IsWindow: TRUE while the handle names a window (until its WM_NCDESTROY ends).
WINBASEAPI BOOL WINAPI IsWindow(HWND hWnd) {
    std::lock_guard<std::mutex> lock(Lock());
    return WindowOf(hWnd) ? TRUE : FALSE;
}

// CallWindowProcW: calls a window procedure (one replaced by subclassing).
// Returns its answer, or 0 for a NULL procedure.
WINBASEAPI LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                          LPARAM lParam) {
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

namespace {

// The slot of a window-data index; nullptr for an index that names none.
LONG_PTR* Slot(Window* w, int index) {
    switch (index) {
        case GWLP_USERDATA: return &w->userData;
        case GWLP_ID: return &w->id;
        default: break;
    }
    if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
        return reinterpret_cast<LONG_PTR*>(w->extra.data() + index);  // read and written with memcpy below
    }
    return nullptr;
}

}  // namespace

// GetWindowLongPtrW: a window's data: GWLP_WNDPROC, GWLP_HINSTANCE,
// GWLP_HWNDPARENT, GWLP_ID, GWL_STYLE, GWL_EXSTYLE, GWLP_USERDATA, or a byte
// offset into the class's extra window bytes.
// Returns the value, or 0 with ERROR_INVALID_WINDOW_HANDLE / ERROR_INVALID_INDEX.
WINBASEAPI LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w) return 0;
    switch (nIndex) {
        case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent);
        case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
        case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
        default: break;
    }
    LONG_PTR* slot = Slot(w, nIndex);
    if (!slot) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, slot, sizeof(value));
    return value;
}

// SetWindowLongPtrW: sets one of the values GetWindowLongPtrW reads (not
// GWLP_HWNDPARENT). Returns the previous value, or 0 with the errors of
// GetWindowLongPtrW. NOTES: a new GWL_STYLE is stored, not applied.
WINBASEAPI LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w) return 0;
    LONG_PTR previous = 0;
    switch (nIndex) {
        case GWLP_WNDPROC:
            if (!dwNewLong) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            previous = reinterpret_cast<LONG_PTR>(w->proc);
            w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
            return previous;
        case GWLP_HINSTANCE:
            previous = reinterpret_cast<LONG_PTR>(w->instance);
            w->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
            return previous;
        case GWL_STYLE:
            previous = static_cast<LONG>(w->style);
            w->style = static_cast<DWORD>(dwNewLong);
            return previous;
        case GWL_EXSTYLE:
            previous = static_cast<LONG>(w->exStyle);
            w->exStyle = static_cast<DWORD>(dwNewLong);
            return previous;
        default: break;
    }
    LONG_PTR* slot = Slot(w, nIndex);
    if (!slot) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(&previous, slot, sizeof(previous));
    std::memcpy(slot, &dwNewLong, sizeof(dwNewLong));
    return previous;
}

// GetParent: the parent of a child window; NULL for a top-level window, or
// with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI HWND WINAPI GetParent(HWND hWnd) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    return w ? w->parent : nullptr;
}

// SetParent: moves a window under a new parent (NULL: makes it top-level),
// keeping its rectangle, now in the new parent's client coordinates.
// Returns the previous parent, or NULL with ERROR_INVALID_WINDOW_HANDLE, or
// ERROR_INVALID_PARAMETER when the new parent is the window or lies below it.
WINBASEAPI HWND WINAPI SetParent(HWND hWndChild, HWND hWndNewParent) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWndChild);
    if (!w) return nullptr;
    Window* parent = nullptr;
    if (hWndNewParent) {
        parent = WindowOrFail(hWndNewParent);
        if (!parent) return nullptr;
        for (Window* p = parent; p; p = p->parent ? WindowOf(p->parent) : nullptr) {
            if (p == w) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
        }
    }
    const HWND previous = w->parent;
    if (previous) {
        if (Window* old = WindowOf(previous)) Remove(old->children, hWndChild);
    } else {
        Remove(TopLevels(), hWndChild);
    }
    w->parent = hWndNewParent;
    if (parent) {
        parent->children.push_back(hWndChild);
    } else {
        TopLevels().push_back(hWndChild);
    }
    XPlace(w);
    return previous;
}

// ShowWindow: shows (SW_SHOW, SW_SHOWNORMAL, SW_SHOWNA, SW_SHOWNOACTIVATE) or
// hides (SW_HIDE) a window. A change of state sends WM_SHOWWINDOW and, when
// shown, makes the whole window invalid; SW_SHOW and SW_SHOWNORMAL also
// activate a top-level window.
// Returns TRUE when the window was visible before, else FALSE.
WINBASEAPI BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    bool wasVisible = false;
    bool top = false;
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOrFail(hWnd);
        if (!w) return FALSE;
        wasVisible = (w->style & WS_VISIBLE) != 0;
        top = !w->parent;
    }
    const bool show = nCmdShow != SW_HIDE;
    if (show != wasVisible) {
        SendMessageW(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOf(hWnd);
        if (!w) return wasVisible ? TRUE : FALSE;
        if (show) {
            w->style |= WS_VISIBLE;
            InvalidateAll(w, true);
        } else {
            w->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
        XShow(w, show);
    }
    if (show && top && (nCmdShow == SW_SHOW || nCmdShow == SW_SHOWNORMAL)) Activate(hWnd, WA_ACTIVE);
    return wasVisible ? TRUE : FALSE;
}

// IsWindowVisible: TRUE when the window and all its ancestors are visible.
WINBASEAPI BOOL WINAPI IsWindowVisible(HWND hWnd) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOf(hWnd);
    return w && IsShown(w) ? TRUE : FALSE;
}

// MoveWindow: places and sizes a window (children: in the parent's client
// coordinates). Sends WM_MOVE and WM_SIZE for what changed; a new size makes
// the whole window invalid, and so does bRepaint.
// Returns TRUE, or FALSE with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    const LONG width = std::clamp(nWidth, 0, 0x4000);
    const LONG height = std::clamp(nHeight, 0, 0x4000);
    return Reposition(hWnd, RECT{X, Y, X + width, Y + height}, bRepaint != FALSE, true) ? TRUE : FALSE;
}

// SetWindowPos: MoveWindow under flags: SWP_NOMOVE and SWP_NOSIZE keep the
// position or size, SWP_SHOWWINDOW / SWP_HIDEWINDOW show or hide, and without
// SWP_NOZORDER HWND_TOP / HWND_BOTTOM move the window to the top or bottom of
// its siblings (other insert-after handles leave the order alone).
// Returns TRUE, or FALSE with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
    RECT rect{};
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOrFail(hWnd);
        if (!w) return FALSE;
        rect = w->rect;
        if (!(uFlags & SWP_NOZORDER) && (hWndInsertAfter == HWND_TOP || hWndInsertAfter == HWND_BOTTOM)) {
            std::vector<HWND>* siblings = &TopLevels();
            if (w->parent) siblings = &WindowOf(w->parent)->children;
            Remove(*siblings, hWnd);
            if (hWndInsertAfter == HWND_TOP) {
                siblings->push_back(hWnd);
            } else {
                siblings->insert(siblings->begin(), hWnd);
            }
        }
    }
    if (!(uFlags & SWP_NOMOVE)) {
        OffsetRect(&rect, X - rect.left, Y - rect.top);
    }
    if (!(uFlags & SWP_NOSIZE)) {
        rect.right = rect.left + std::clamp(cx, 0, 0x4000);
        rect.bottom = rect.top + std::clamp(cy, 0, 0x4000);
    }
    if (!Reposition(hWnd, rect, false, true)) return FALSE;
    if (uFlags & SWP_SHOWWINDOW) ShowWindow(hWnd, (uFlags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (uFlags & SWP_HIDEWINDOW) ShowWindow(hWnd, SW_HIDE);
    return TRUE;
}

// GetClientRect: (0, 0, width, height) of the client area.
// Returns TRUE, or FALSE with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w || !lpRect) return FALSE;
    *lpRect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

// GetWindowRect: the window's rectangle in screen coordinates.
WINBASEAPI BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w || !lpRect) return FALSE;
    const POINT origin = ClientOrigin(w);
    *lpRect = RECT{origin.x, origin.y, origin.x + w->rect.right - w->rect.left,
                   origin.y + w->rect.bottom - w->rect.top};
    return TRUE;
}

// ClientToScreen / ScreenToClient: convert a point between the window's client
// coordinates and the screen's. Return TRUE, or FALSE for an unknown window.
WINBASEAPI BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w || !lpPoint) return FALSE;
    const POINT origin = ClientOrigin(w);
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}

WINBASEAPI BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w || !lpPoint) return FALSE;
    const POINT origin = ClientOrigin(w);
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}

// SetWindowTextW: sends WM_SETTEXT; the default handling keeps the text (and
// titles a top-level X window with it). Returns the answer as TRUE/FALSE.
WINBASEAPI BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

// GetWindowTextW: sends WM_GETTEXT. Returns the characters copied, without the
// terminating NUL (0 for an unknown window, with ERROR_INVALID_WINDOW_HANDLE).
WINBASEAPI int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!lpString || nMaxCount <= 0) return 0;
    return static_cast<int>(SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
}
