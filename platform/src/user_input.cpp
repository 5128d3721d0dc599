// Mouse and keyboard input: routing a pointer event to the capture window or
// the window under the pointer, double-click detection, the messages sent
// before an input message is handed out (WM_MOUSEACTIVATE, WM_SETCURSOR), the
// capture, the focus and the active window, and the injection calls that
// drive all of this without a display.
#include <cstdlib>

#include "user_internal.h"

namespace qelv_user {
namespace {

constexpr UINT kDoubleClickTime = 500;  // ms
constexpr int kDoubleClickWidth = 4;    // the rectangle around the first press
constexpr int kDoubleClickHeight = 4;

HWND g_capture = nullptr;
HWND g_focus = nullptr;
HWND g_active = nullptr;
HWND g_pointerWindow = nullptr;  // the window the last mouse message went to
POINT g_pointer{0, 0};           // screen coordinates
DWORD g_buttons = 0;             // MK_LBUTTON / MK_RBUTTON held

// The first press of a possible double click.
struct LastPress {
    HWND window = nullptr;
    UINT message = 0;
    DWORD time = 0;
    POINT pt{0, 0};
    bool wasDouble = false;  // it was itself the second press: no triple clicks
} g_press;

HWND TopLevelOf(HWND hwnd) {
    Window* w = WindowOf(hwnd);
    while (w && w->parent) w = WindowOf(w->parent);
    return w ? w->handle : nullptr;
}

bool IsMouseMessage(UINT message) { return message >= WM_MOUSEFIRST && message <= WM_MOUSELAST; }

bool IsPress(UINT message) {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_LBUTTONDBLCLK ||
           message == WM_RBUTTONDBLCLK;
}

}  // namespace

POINT TrackedPointer() { return g_pointer; }

HWND PointerWindow() { return g_capture ? g_capture : g_pointerWindow; }

bool RouteMouse(HWND source, UINT message, POINT client, DWORD keys, DWORD time) {
    Window* src = WindowOf(source);
    if (!src) return false;
    const POINT origin = ClientOrigin(src);
    const POINT screen{origin.x + client.x, origin.y + client.y};
    g_pointer = screen;
    switch (message) {
        case WM_LBUTTONDOWN: g_buttons |= MK_LBUTTON; break;
        case WM_LBUTTONUP: g_buttons &= ~static_cast<DWORD>(MK_LBUTTON); break;
        case WM_RBUTTONDOWN: g_buttons |= MK_RBUTTON; break;
        case WM_RBUTTONUP: g_buttons &= ~static_cast<DWORD>(MK_RBUTTON); break;
        default: break;
    }
    const HWND target = g_capture ? g_capture : WindowFromScreen(screen);
    Window* w = WindowOf(target);
    if (!w) return true;  // over no window of ours
    g_pointerWindow = target;
    UINT kind = message;
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
        const bool isDouble = (w->cls->style & CS_DBLCLKS) && !g_press.wasDouble && g_press.window == target &&
                              g_press.message == message && time - g_press.time <= kDoubleClickTime &&
                              std::abs(screen.x - g_press.pt.x) <= kDoubleClickWidth / 2 &&
                              std::abs(screen.y - g_press.pt.y) <= kDoubleClickHeight / 2;
        if (isDouble) kind = message + 2;  // the matching ...DBLCLK
        g_press = LastPress{target, message, time, screen, isDouble};
    }
    const POINT at = ClientOrigin(w);
    const LONG x = screen.x - at.x;
    const LONG y = screen.y - at.y;
    const WPARAM wParam = (keys & (MK_SHIFT | MK_CONTROL)) | g_buttons;
    const LPARAM lParam = MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
    Enqueue(w, MSG{target, kind, wParam, lParam, time, screen}, true, 0);
    return true;
}

void RouteKey(UINT vk, WCHAR ch, bool down, DWORD time) {
    Window* w = WindowOf(g_focus);
    if (!w) return;
    const LPARAM lParam = down ? 1 : static_cast<LPARAM>(0xC0000001u);
    Enqueue(w, MSG{g_focus, down ? static_cast<UINT>(WM_KEYDOWN) : static_cast<UINT>(WM_KEYUP), vk, lParam, time,
                   g_pointer},
            true, down ? ch : 0);
}

bool PrepareInput(MSG* msg) {
    if (!IsMouseMessage(msg->message)) return true;
    HWND top = nullptr;
    bool child = false;
    bool captured = false;
    HWND active = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOf(msg->hwnd);
        if (!w) return false;
        top = TopLevelOf(msg->hwnd);
        child = w->parent != nullptr;
        captured = g_capture != nullptr;
        active = g_active;
    }
    if (IsPress(msg->message) && (child || top != active)) {
        const LRESULT answer = SendMessageW(msg->hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top),
                                            MAKELPARAM(HTCLIENT, msg->message));
        if ((answer == MA_ACTIVATE || answer == MA_ACTIVATEANDEAT) && top != active && IsWindow(top)) {
            Activate(top, WA_CLICKACTIVE);
        }
        if (answer == MA_ACTIVATEANDEAT || answer == MA_NOACTIVATEANDEAT) return false;
    }
    if (!captured && IsWindow(msg->hwnd)) {
        SendMessageW(msg->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(msg->hwnd), MAKELPARAM(HTCLIENT, msg->message));
    }
    return IsWindow(msg->hwnd) != FALSE;
}

void ForgetWindow(HWND hwnd, HWND* lostCapture, HWND* lostFocus) {
    if (g_capture == hwnd) {
        g_capture = nullptr;
        *lostCapture = hwnd;
        XUngrab();
    }
    if (g_focus == hwnd) {
        g_focus = nullptr;
        *lostFocus = hwnd;
    }
    if (g_active == hwnd) g_active = nullptr;
    if (g_pointerWindow == hwnd) g_pointerWindow = nullptr;
    if (g_press.window == hwnd) g_press = LastPress{};
}

void Activate(HWND top, WORD how) {
    HWND previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (!WindowOf(top) || g_active == top) return;
        previous = g_active;
        g_active = top;
        auto& tops = TopLevels();
        for (auto it = tops.begin(); it != tops.end(); ++it) {
            if (*it == top) {
                tops.erase(it);
                break;
            }
        }
        tops.push_back(top);
    }
    if (previous && IsWindow(previous)) {
        SendMessageW(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(top));
    }
    SendMessageW(top, WM_ACTIVATE, how, reinterpret_cast<LPARAM>(previous));
}

}  // namespace qelv_user

using namespace qelv_user;

// SetCapture: sends every mouse message to hWnd, in its client coordinates,
// wherever the pointer is, until ReleaseCapture. The window that had the
// capture gets WM_CAPTURECHANGED (lParam the new one).
// Returns the previous capture window, or NULL (also for an unknown window,
// with ERROR_INVALID_WINDOW_HANDLE).
WINBASEAPI HWND WINAPI SetCapture(HWND hWnd) {
    HWND previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOrFail(hWnd);
        if (!w) return nullptr;
        previous = g_capture;
        g_capture = hWnd;
        XGrab(w);
    }
    if (previous && previous != hWnd) SendMessageW(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
    return previous;
}

// ReleaseCapture: ends the capture; its window gets WM_CAPTURECHANGED with
// lParam 0. Returns TRUE.
WINBASEAPI BOOL WINAPI ReleaseCapture(void) {
    HWND previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        previous = g_capture;
        g_capture = nullptr;
        if (previous) XUngrab();
    }
    if (previous) SendMessageW(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

// GetCapture: the capture window when it belongs to the calling thread, else NULL.
WINBASEAPI HWND WINAPI GetCapture(void) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOf(g_capture);
    return w && w->queue->thread == std::this_thread::get_id() ? g_capture : nullptr;
}

// SetFocus: gives the keyboard focus to a window (NULL: to none), activating
// its top-level window first. The window losing it gets WM_KILLFOCUS (wParam
// the new one), the window gaining it WM_SETFOCUS (wParam the old one).
// Returns the previous focus window, or NULL (also for an unknown window,
// with ERROR_INVALID_WINDOW_HANDLE).
WINBASEAPI HWND WINAPI SetFocus(HWND hWnd) {
    HWND top = nullptr;
    HWND active = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (hWnd && !WindowOrFail(hWnd)) return nullptr;
        top = TopLevelOf(hWnd);
        active = g_active;
    }
    if (top && top != active) Activate(top, WA_ACTIVE);
    HWND previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (hWnd && !WindowOf(hWnd)) return nullptr;
        previous = g_focus;
        if (previous == hWnd) return previous;
        g_focus = hWnd;
    }
    if (previous && IsWindow(previous)) SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (hWnd && IsWindow(hWnd)) SendMessageW(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

// GetFocus: the window with the keyboard focus, or NULL.
WINBASEAPI HWND WINAPI GetFocus(void) {
    std::lock_guard<std::mutex> lock(Lock());
    return g_focus;
}

// GetActiveWindow: the active top-level window, or NULL.
WINBASEAPI HWND WINAPI GetActiveWindow(void) {
    std::lock_guard<std::mutex> lock(Lock());
    return g_active;
}

// GetCursorPos: the pointer's position in screen coordinates (the display's
// when there is one, else where the last mouse event put it).
WINBASEAPI BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
    if (!lpPoint) return FALSE;
    std::lock_guard<std::mutex> lock(Lock());
    if (!XPointerPos(lpPoint)) *lpPoint = g_pointer;
    return TRUE;
}

// GetDoubleClickTime: the longest time between the presses of a double click, in ms.
WINBASEAPI UINT WINAPI GetDoubleClickTime(void) { return kDoubleClickTime; }

// GetSystemMetrics: the screen size (the display's, else 1920 x 1080), the
// double-click rectangle (4 x 4) and the cursor size (32 x 32); 0 for any
// other index.
WINBASEAPI int WINAPI GetSystemMetrics(int nIndex) {
    int width = 1920;
    int height = 1080;
    switch (nIndex) {
        case SM_CXSCREEN:
        case SM_CYSCREEN: {
            std::lock_guard<std::mutex> lock(Lock());
            XScreenSize(&width, &height);
            return nIndex == SM_CXSCREEN ? width : height;
        }
        case SM_CXDOUBLECLK: return kDoubleClickWidth;
        case SM_CYDOUBLECLK: return kDoubleClickHeight;
        case SM_CXCURSOR:
        case SM_CYCURSOR: return 32;
        default: return 0;
    }
}

// QelvInjectMouseEx: see qelvuser.h.
WINBASEAPI BOOL WINAPI QelvInjectMouseEx(HWND hWnd, UINT message, int x, int y, DWORD keys, DWORD time) {
    switch (message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP: break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
    std::lock_guard<std::mutex> lock(Lock());
    if (!WindowOrFail(hWnd)) return FALSE;
    return RouteMouse(hWnd, message, POINT{x, y}, keys, time) ? TRUE : FALSE;
}

WINBASEAPI BOOL WINAPI QelvInjectMouse(HWND hWnd, UINT message, int x, int y) {
    return QelvInjectMouseEx(hWnd, message, x, y, 0, GetTickCount());
}

// QelvInjectKey: see qelvuser.h.
WINBASEAPI BOOL WINAPI QelvInjectKey(UINT vk, WCHAR ch) {
    std::lock_guard<std::mutex> lock(Lock());
    if (!WindowOf(g_focus)) return FALSE;
    const DWORD now = GetTickCount();
    RouteKey(vk, ch, true, now);
    RouteKey(vk, 0, false, now);
    return TRUE;
}

// QelvHasDisplay / QelvXWindowOf: see qelvuser.h.
WINBASEAPI BOOL WINAPI QelvHasDisplay(void) {
    std::lock_guard<std::mutex> lock(Lock());
    return XActive() ? TRUE : FALSE;
}

WINBASEAPI ULONG_PTR WINAPI QelvXWindowOf(HWND hWnd) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOf(hWnd);
    return w ? w->xwindow : 0;
}
