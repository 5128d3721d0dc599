// The default handling of window messages (DefWindowProcW): creation and text,
// closing, painting and erasing, the cursor, mouse activation, and focus on
// activation.
#include <algorithm>

#include "user_internal.h"

using namespace qelv_user;

namespace {

LRESULT SetText(HWND hwnd, LPCWSTR text) {
    std::lock_guard<std::mutex> lock(Lock());
    Window* w = WindowOf(hwnd);
    if (!w) return FALSE;
    w->text = text && !IS_INTRESOURCE(text) ? std::u16string(text) : std::u16string();
    XSetTitle(w);
    return TRUE;
}

// Fills the client area with the class background brush (a brush handle, or a
// COLOR_* index plus one). Returns 1 when it erased, 0 without a brush.
LRESULT Erase(HWND hwnd, HDC dc) {
    HBRUSH brush = nullptr;
    RECT client{};
    {
        std::lock_guard<std::mutex> lock(Lock());
        Window* w = WindowOf(hwnd);
        if (!w || !w->cls->background) return 0;
        brush = w->cls->background;
        client = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    }
    const auto value = reinterpret_cast<ULONG_PTR>(brush);
    if (value > 0 && value <= COLOR_MENUBAR + 1) {
        HBRUSH solid = CreateSolidBrush(GetSysColor(static_cast<int>(value - 1)));
        FillRect(dc, &client, solid);
        DeleteObject(solid);
    } else {
        FillRect(dc, &client, brush);
    }
    return 1;
}

}  // namespace

// DefWindowProcW: the default answer to a message.
//   WM_NCCREATE: keeps the window name, answers TRUE.
//   WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH: the window text.
//   WM_CLOSE: destroys the window.
//   WM_PAINT: validates through BeginPaint / EndPaint.
//   WM_ERASEBKGND: fills with the class background; 1 when it did.
//   WM_SETCURSOR: a child first asks its parent; with HTCLIENT the class
//     cursor of the window under the pointer (wParam) is set and TRUE
//     answered (FALSE when that class has none).
//   WM_MOUSEACTIVATE: a child asks its parent; else MA_ACTIVATE.
//   WM_ACTIVATE: an activated window takes the focus.
// Every other message is answered 0.
WINBASEAPI LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
        case WM_NCCREATE: {
            const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            if (cs && cs->lpszName) SetText(hWnd, cs->lpszName);
            return TRUE;
        }
        case WM_SETTEXT: return SetText(hWnd, reinterpret_cast<LPCWSTR>(lParam));
        case WM_GETTEXT: {
            auto* out = reinterpret_cast<LPWSTR>(lParam);
            if (!out || wParam == 0) return 0;
            std::lock_guard<std::mutex> lock(Lock());
            Window* w = WindowOf(hWnd);
            if (!w) return 0;
            const size_t count = std::min<size_t>(w->text.size(), static_cast<size_t>(wParam) - 1);
            std::copy_n(w->text.data(), count, out);
            out[count] = 0;
            return static_cast<LRESULT>(count);
        }
        case WM_GETTEXTLENGTH: {
            std::lock_guard<std::mutex> lock(Lock());
            Window* w = WindowOf(hWnd);
            return w ? static_cast<LRESULT>(w->text.size()) : 0;
        }
        case WM_CLOSE: DestroyWindow(hWnd); return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (BeginPaint(hWnd, &ps)) EndPaint(hWnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND: return Erase(hWnd, reinterpret_cast<HDC>(wParam));
        case WM_SETCURSOR: {
            HWND parent = GetParent(hWnd);
            if (parent && SendMessageW(parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
            if (LOWORD(lParam) != HTCLIENT) return FALSE;
            // The cursor is the class cursor of the window under the pointer
            // (wParam), also when a parent answers for its child.
            HCURSOR cursor = nullptr;
            {
                std::lock_guard<std::mutex> lock(Lock());
                Window* w = WindowOf(reinterpret_cast<HWND>(wParam));
                if (!w) w = WindowOf(hWnd);
                if (!w) return FALSE;
                cursor = w->cls->cursor;
            }
            if (!cursor) return FALSE;
            SetCursor(cursor);
            return TRUE;
        }
        case WM_MOUSEACTIVATE: {
            HWND parent = GetParent(hWnd);
            if (parent) {
                const LRESULT answer = SendMessageW(parent, WM_MOUSEACTIVATE, wParam, lParam);
                if (answer) return answer;
            }
            return MA_ACTIVATE;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hWnd);
            return 0;
        default: return 0;
    }
}
