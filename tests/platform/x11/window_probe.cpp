// A program the X11 script test drives: a top-level window at (50, 50),
// 300 x 200, with a child at (20, 30), 100 x 80, both with double clicks.
// Every message is logged to stdout, mouse messages, WM_SIZE and WM_MOVE as
//   <window> <message> <x or width> <y or height> <wParam>
// with <window> "top" or "child". The child takes the capture on a left press
// and gives it back on the release. Once both windows have painted, the probe
// reads the top-level window back from the X server and logs
//   SHOT <pixels compared> <pixels that differ from the buffers>
// then "READY <X window of the top-level window>"; Escape (or 20 s) ends it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <qelvsonalter2/platform.h>

#include <cstdio>

namespace {

HWND g_top = nullptr;
HWND g_child = nullptr;
HCURSOR g_pointCursor = nullptr;  // a two-colour cursor from masks, shown over the child
int g_painted = 0;
constexpr UINT_PTR kShotTimer = 1;
constexpr UINT_PTR kGiveUpTimer = 2;
constexpr RECT kChild{20, 30, 120, 110};

// The name the script expects for each logged message, or nullptr for the rest.
const char* Name(UINT m) {
#define QELV_NAME(message) \
    case message: return #message;
    switch (m) {
        QELV_NAME(WM_NCCREATE) QELV_NAME(WM_CREATE) QELV_NAME(WM_SIZE) QELV_NAME(WM_MOVE) QELV_NAME(WM_SHOWWINDOW)
        QELV_NAME(WM_ACTIVATE) QELV_NAME(WM_SETFOCUS) QELV_NAME(WM_KILLFOCUS) QELV_NAME(WM_PAINT)
        QELV_NAME(WM_ERASEBKGND) QELV_NAME(WM_SETCURSOR) QELV_NAME(WM_MOUSEACTIVATE) QELV_NAME(WM_MOUSEMOVE)
        QELV_NAME(WM_LBUTTONDOWN) QELV_NAME(WM_LBUTTONUP) QELV_NAME(WM_LBUTTONDBLCLK) QELV_NAME(WM_RBUTTONDOWN)
        QELV_NAME(WM_RBUTTONUP) QELV_NAME(WM_CAPTURECHANGED) QELV_NAME(WM_KEYDOWN) QELV_NAME(WM_KEYUP)
        QELV_NAME(WM_CHAR) QELV_NAME(WM_TIMER) QELV_NAME(WM_CLOSE) QELV_NAME(WM_DESTROY) QELV_NAME(WM_NCDESTROY)
        default: return nullptr;
    }
#undef QELV_NAME
}

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT all;
    GetClientRect(hwnd, &all);
    const bool top = hwnd == g_top;
    HBRUSH back = CreateSolidBrush(top ? RGB(200, 30, 40) : RGB(20, 200, 60));
    FillRect(dc, &all, back);
    DeleteObject(back);
    HPEN pen = CreatePen(PS_SOLID, 1, top ? RGB(255, 255, 0) : RGB(0, 0, 255));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, all.right, all.bottom);
    SelectObject(dc, old);
    DeleteObject(pen);
    EndPaint(hwnd, &ps);
    if (++g_painted == 2) SetTimer(g_top, kShotTimer, 300, nullptr);
}

// The buffer's pixel as the X server stores it (0x00RRGGBB).
unsigned long BufferPixel(HDC dc, int x, int y) {
    const COLORREF c = GetPixel(dc, x, y);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

void Screenshot() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::printf("SHOT 0 -1\n");
        return;
    }
    RECT client;
    GetClientRect(g_top, &client);
    XImage* image = XGetImage(display, static_cast<::Window>(QelvXWindowOf(g_top)), 0, 0,
                              static_cast<unsigned>(client.right), static_cast<unsigned>(client.bottom), AllPlanes,
                              ZPixmap);
    long compared = 0;
    long differing = 0;
    if (image) {
        HDC top = GetDC(g_top);
        HDC child = GetDC(g_child);
        for (int y = 0; y < client.bottom; ++y) {
            for (int x = 0; x < client.right; ++x) {
                const POINT pt{x, y};
                const unsigned long want = PtInRect(&kChild, pt) ? BufferPixel(child, x - kChild.left, y - kChild.top)
                                                                 : BufferPixel(top, x, y);
                ++compared;
                if ((XGetPixel(image, x, y) & 0xFFFFFF) != want) ++differing;
            }
        }
        ReleaseDC(g_child, child);
        ReleaseDC(g_top, top);
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    std::printf("SHOT %ld %ld\n", compared, image ? differing : -1L);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const char* who = GetParent(hwnd) ? "child" : "top";
    if (const char* name = Name(message)) {
        if ((message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_SIZE || message == WM_MOVE) {
            std::printf("%s %s %d %d %lu\n", who, name, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam),
                        static_cast<unsigned long>(wParam));
        } else {
            std::printf("%s %s\n", who, name);
        }
        std::fflush(stdout);
    }
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: Paint(hwnd); return 0;
        case WM_MOUSEMOVE:
            if (hwnd == g_child) SetCursor(g_pointCursor);
            return 0;
        case WM_LBUTTONDOWN:
            if (hwnd == g_child) SetCapture(hwnd);
            return 0;
        case WM_LBUTTONUP:
            if (GetCapture() == hwnd) ReleaseCapture();
            return 0;
        case WM_TIMER:
            if (wParam == kShotTimer) {
                KillTimer(hwnd, kShotTimer);
                Screenshot();
                std::printf("READY %lu\n", static_cast<unsigned long>(QelvXWindowOf(g_top)));
                std::fflush(stdout);
            } else {
                DestroyWindow(g_top);
            }
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) DestroyWindow(g_top);
            return 0;
        case WM_DESTROY:
            if (hwnd == g_top) PostQuitMessage(0);
            return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

int main() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Proc;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = OLESTR("QelvProbe");
    if (!RegisterClassExW(&wc)) return 2;
    BYTE andMask[128];
    BYTE xorMask[128];
    for (int k = 0; k < 128; ++k) {  // a white square with a black frame, transparent outside
        const int row = k / 4;
        const bool inside = row >= 4 && row < 20 && (k % 4) < 2;
        andMask[k] = inside ? 0x00 : 0xFF;
        xorMask[k] = inside && row > 4 && row < 19 ? 0x7E : 0x00;
    }
    g_pointCursor = CreateCursor(nullptr, 5, 1, 32, 32, andMask, xorMask);
    g_top = CreateWindowExW(0, OLESTR("QelvProbe"), OLESTR("probe"), WS_OVERLAPPEDWINDOW, 50, 50, 300, 200, nullptr,
                            nullptr, nullptr, nullptr);
    g_child = CreateWindowExW(0, OLESTR("QelvProbe"), nullptr, WS_CHILD | WS_VISIBLE, kChild.left, kChild.top,
                              kChild.right - kChild.left, kChild.bottom - kChild.top, g_top, nullptr, nullptr, nullptr);
    if (!g_top || !g_child) return 2;
    if (!QelvHasDisplay()) {
        std::printf("NO DISPLAY\n");
        return 3;
    }
    ShowWindow(g_top, SW_SHOW);
    SetTimer(g_top, kGiveUpTimer, 20000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DestroyCursor(g_pointCursor);
    std::printf("EXIT %d\n", static_cast<int>(msg.wParam));
    return static_cast<int>(msg.wParam);
}
