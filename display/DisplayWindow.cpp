// The control's own window: its class (double clicks, the arrow cursor), its
// creation as a child of the container's window, and the procedure that paints
// it, keeps the position rectangle in step with moves, activates the control on
// a click and passes the left button and mouse moves to the point editing.
#include "display/SonalterDisplay2.h"

namespace qelv {

LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

const OLECHAR kWindowClass[] = OLESTR("QelvSonalterDisplay2");

// Windows of the class that exist now. The class is registered with the first
// and unregistered with the last, so it never outlives the module whose
// procedure it names.
LONG g_windows = 0;

HINSTANCE ThisInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisInstance), &module);
    return reinterpret_cast<HINSTANCE>(module);
}

bool RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, reinterpret_cast<LPCWSTR>(kWindowClass), &existing)) return true;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = DisplayWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the standard arrow, IDC_ARROW
    windowClass.lpszClassName = reinterpret_cast<LPCWSTR>(kWindowClass);
    return RegisterClassExW(&windowClass) != 0;
}

// Mouse positions: two signed 16-bit values packed into lParam.
INT MouseX(LPARAM lParam) { return static_cast<SHORT>(static_cast<WORD>(lParam & 0xFFFF)); }
INT MouseY(LPARAM lParam) { return static_cast<SHORT>(static_cast<WORD>((lParam >> 16) & 0xFFFF)); }

}  // namespace

LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<CSonalterDisplay2*>(create->lpCreateParams)->Window = window;
    }
    auto* control = reinterpret_cast<CSonalterDisplay2*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!control) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (control->Window == window) control->Window = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return control->WindowMessage(message, wParam, lParam);
}

LRESULT CSonalterDisplay2::WindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;  // the graph covers every pixel: erasing would only flicker
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(Window, &paint);
        if (dc) {
            RECT client{0, 0, 0, 0};
            GetClientRect(Window, &client);
            DrawGraph(dc, client);
        }
        EndPaint(Window, &paint);
        return 0;
    }
    case WM_SIZE:
        RedrawNow();
        return 0;
    case WM_MOVE: {
        PositionRect.left = MouseX(lParam);
        PositionRect.top = MouseY(lParam);
        PositionFromExtent();
        if (inPlaceSite_) inPlaceSite_->OnPosRectChange(&PositionRect);
        break;
    }
    case WM_MOUSEACTIVATE:
    case WM_SETFOCUS:
        if (inPlaceActive_ && !uiActive_) UIActivate();
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(MouseX(lParam), MouseY(lParam));
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(MouseX(lParam), MouseY(lParam));
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(MouseX(lParam), MouseY(lParam));
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(MouseX(lParam), MouseY(lParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcW(Window, message, wParam, lParam);
}

// The child window at the container's position, with the control as its
// creation parameter so that the procedure finds it from the first message.
HRESULT CSonalterDisplay2::CreateControlWindow(HWND parent, const RECT& position) {
    HINSTANCE instance = ThisInstance();
    if (!RegisterWindowClass(instance)) return HRESULT_FROM_WIN32(GetLastError());
    PositionRect = position;
    ++g_windows;
    HWND window = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(kWindowClass), nullptr,
                                  WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, position.left, position.top,
                                  position.right - position.left, position.bottom - position.top, parent, nullptr,
                                  instance, this);
    if (!window) {
        const DWORD error = GetLastError();
        if (--g_windows == 0) UnregisterClassW(reinterpret_cast<LPCWSTR>(kWindowClass), instance);
        Window = nullptr;
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    Window = window;
    return S_OK;
}

void CSonalterDisplay2::DestroyControlWindow() {
    if (!Window) return;
    if (GetCapture() == Window) ReleaseCapture();
    Dragging = false;
    DestroyWindow(Window);
    Window = nullptr;
    if (--g_windows == 0) UnregisterClassW(reinterpret_cast<LPCWSTR>(kWindowClass), ThisInstance());
}

// The position rectangle takes the extent's size in pixels, keeping its top
// left corner.
void CSonalterDisplay2::PositionFromExtent() {
    const SIZE size = ExtentPixels();
    PositionRect.right = PositionRect.left + size.cx;
    PositionRect.bottom = PositionRect.top + size.cy;
}

}  // namespace qelv
