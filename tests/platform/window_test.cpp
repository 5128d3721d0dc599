// Windows without a display: the message sequences of creation and
// destruction, sent against posted messages, WM_PAINT only when the queue is
// idle, painting into the window's buffer, mouse routing with double clicks,
// capture and cursor, child windows, timers, and refusals of bad handles.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace {

// These tests describe the in-memory behaviour: keep the display closed.
const bool g_headless = [] {
    unsetenv("DISPLAY");
    return true;
}();

struct Record {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Record> g_log;
// A test's own answer to a message; return true when it handled it.
std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> g_answer;
void* g_createParams = nullptr;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_log.push_back(Record{hwnd, message, wParam, lParam});
    if (message == WM_CREATE) g_createParams = reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams;
    LRESULT answer = 0;
    if (g_answer && g_answer(hwnd, message, wParam, lParam, &answer)) return answer;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

constexpr const WCHAR* kClass = OLESTR("QelvTestWindow");  // CS_DBLCLKS, arrow cursor
constexpr const WCHAR* kPlain = OLESTR("QelvTestPlain");   // no double clicks, no cursor

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(g_headless);
        g_log.clear();
        g_answer = nullptr;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = RecordingProc;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClass;
        ASSERT_NE(RegisterClassExW(&wc), 0);
        wc.style = 0;
        wc.hCursor = nullptr;
        wc.lpszClassName = kPlain;
        ASSERT_NE(RegisterClassExW(&wc), 0);
    }
    void TearDown() override {
        g_answer = nullptr;
        ReleaseCapture();
        for (HWND h : windows_) DestroyWindow(h);
        Drain();
        EXPECT_TRUE(UnregisterClassW(kClass, nullptr));
        EXPECT_TRUE(UnregisterClassW(kPlain, nullptr));
        EXPECT_FALSE(QelvHasDisplay());
    }
    HWND Make(DWORD style, int x, int y, int w, int h, HWND parent = nullptr, const WCHAR* cls = kClass) {
        HWND hwnd = CreateWindowExW(0, cls, OLESTR("test"), style, x, y, w, h, parent, nullptr, nullptr, nullptr);
        if (hwnd && !parent) windows_.push_back(hwnd);
        return hwnd;
    }
    // Takes and dispatches every waiting message, WM_PAINT included.
    static void Drain() {
        MSG msg;
        for (int k = 0; k < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++k) DispatchMessageW(&msg);
    }
    // The messages logged since the last call, without the listed ones.
    static std::vector<UINT> Messages(std::initializer_list<UINT> without = {}) {
        std::vector<UINT> out;
        for (const Record& r : g_log) {
            if (std::find(without.begin(), without.end(), r.message) == without.end()) out.push_back(r.message);
        }
        g_log.clear();
        return out;
    }
    // Injects one mouse event and dispatches what comes of it.
    static void Mouse(HWND hwnd, UINT message, int x, int y, DWORD time) {
        ASSERT_TRUE(QelvInjectMouseEx(hwnd, message, x, y, 0, time));
        Drain();
    }
    // The windows and messages logged, in order (the log is kept).
    using Pairs = std::vector<std::pair<HWND, UINT>>;
    static Pairs Seen() {
        Pairs out;
        for (const Record& r : g_log) out.push_back({r.hwnd, r.message});
        return out;
    }
    static const Record* Last(UINT message) {
        for (auto it = g_log.rbegin(); it != g_log.rend(); ++it)
            if (it->message == message) return &*it;
        return nullptr;
    }

    std::vector<HWND> windows_;
};

TEST_F(WindowTest, CreationSendsItsMessagesInOrderWithTheCreateParameters) {
    int marker = 0;
    HWND hwnd = CreateWindowExW(0, kClass, OLESTR("title"), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30, 40, 200, 100,
                                nullptr, nullptr, nullptr, &marker);
    ASSERT_NE(hwnd, nullptr);
    windows_.push_back(hwnd);
    const std::vector<Record> log = g_log;
    EXPECT_EQ(Messages({WM_ACTIVATE, WM_SETFOCUS}),
              (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}));
    EXPECT_EQ(g_createParams, &marker);
    EXPECT_EQ(log[2].lParam, MAKELPARAM(200, 100));
    EXPECT_EQ(log[3].lParam, MAKELPARAM(30, 40));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetActiveWindow(), hwnd);
    EXPECT_EQ(GetFocus(), hwnd);
    WCHAR text[16] = {};
    EXPECT_EQ(GetWindowTextW(hwnd, text, 16), 5);
    EXPECT_EQ(std::u16string(text), u"title");
    EXPECT_EQ(GetWindowTextW(hwnd, text, 3), 2);  // cut to fit, NUL included
    EXPECT_EQ(std::u16string(text), u"ti");

    // A procedure that refuses WM_CREATE makes creation fail and the window go.
    g_log.clear();
    g_answer = [](HWND, UINT m, WPARAM, LPARAM, LRESULT* r) {
        if (m != WM_CREATE) return false;
        *r = -1;
        return true;
    };
    EXPECT_EQ(Make(WS_OVERLAPPED, 0, 0, 10, 10), nullptr);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(WindowTest, DestroySendsDestroyParentsFirstAndNcDestroyChildrenFirst) {
    HWND top = Make(WS_OVERLAPPEDWINDOW, 0, 0, 100, 100);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, top);
    HWND grandchild = Make(WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, child);
    ASSERT_TRUE(top && child && grandchild);
    PostMessageW(grandchild, WM_USER, 0, 0);
    SetCapture(child);
    g_log.clear();
    ASSERT_TRUE(DestroyWindow(top));
    EXPECT_EQ(Seen(), (Pairs{{child, WM_CAPTURECHANGED},
                                                         {top, WM_DESTROY},
                                                         {child, WM_DESTROY},
                                                         {grandchild, WM_DESTROY},
                                                         {grandchild, WM_NCDESTROY},
                                                         {child, WM_NCDESTROY},
                                                         {top, WM_NCDESTROY}}));
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(grandchild));
    EXPECT_EQ(GetCapture(), nullptr);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "a dead window's posted message stays dropped";

    // WM_CLOSE's default handling destroys the window.
    HWND other = Make(WS_OVERLAPPED, 0, 0, 10, 10);
    SendMessageW(other, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(other));
}

TEST_F(WindowTest, SentMessagesRunAtOncePostedOnesWaitInOrder) {
    HWND hwnd = Make(WS_OVERLAPPED, 0, 0, 10, 10);
    g_answer = [](HWND, UINT m, WPARAM w, LPARAM, LRESULT* r) {
        if (m < WM_USER) return false;
        *r = static_cast<LRESULT>(w * 2);
        return true;
    };
    g_log.clear();
    EXPECT_EQ(SendMessageW(hwnd, WM_USER, 21, 0), 42);
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_USER});
    EXPECT_TRUE(PostMessageW(hwnd, WM_USER + 1, 1, 0));
    EXPECT_TRUE(PostMessageW(nullptr, WM_USER + 2, 2, 0));
    EXPECT_TRUE(PostMessageW(hwnd, WM_USER + 3, 3, 0));
    EXPECT_TRUE(Messages().empty()) << "posting runs nothing";
    MSG msg;
    // A window filter skips the thread message; a range filter skips others.
    ASSERT_TRUE(PeekMessageW(&msg, hwnd, WM_USER + 3, WM_USER + 3, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1u);
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_USER + 1u);
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_USER + 2u);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(DispatchMessageW(&msg), 0);

    // WM_QUIT comes after the messages posted before it; GetMessageW says FALSE.
    PostMessageW(hwnd, WM_USER + 4, 0, 0);
    PostQuitMessage(7);
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_USER + 4u);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(WindowTest, OtherThreadsPostAndSendThroughTheOwnersQueue) {
    HWND hwnd = Make(WS_OVERLAPPED, 0, 0, 10, 10);
    std::thread::id ranOn;
    g_answer = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT* r) {
        if (m != WM_USER + 9) return false;
        ranOn = std::this_thread::get_id();
        *r = 99;
        return true;
    };
    LRESULT sent = 0;
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        sent = SendMessageW(hwnd, WM_USER + 9, 0, 0);  // runs inside the owner's GetMessageW
        PostMessageW(hwnd, WM_USER + 1, 5, 0);
    });
    MSG msg;
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);  // blocks until the post wakes it
    other.join();
    EXPECT_EQ(msg.message, WM_USER + 1u);
    EXPECT_EQ(sent, 99);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(DestroyWindow(reinterpret_cast<HWND>(0x1234)));
}

TEST_F(WindowTest, PaintComesOnlyWhenIdleAndBeginPaintValidates) {
    HWND hwnd = Make(WS_OVERLAPPED, 0, 0, 40, 30);
    MSG msg;
    InvalidateRect(hwnd, nullptr, TRUE);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) << "a hidden window is not painted";
    ShowWindow(hwnd, SW_SHOW);
    RECT update;
    ASSERT_TRUE(GetUpdateRect(hwnd, &update, FALSE)) << "a newly shown window is invalid";
    EXPECT_EQ(update.right, 40);
    EXPECT_EQ(update.bottom, 30);
    PostMessageW(hwnd, WM_USER, 0, 0);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER)) << "posted messages go before WM_PAINT";
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) << "WM_PAINT stays until validated";

    // The control's way: answer WM_ERASEBKGND as handled, paint everything.
    g_answer = [](HWND h, UINT m, WPARAM, LPARAM, LRESULT* r) {
        if (m == WM_ERASEBKGND) {
            *r = 1;
            return true;
        }
        if (m != WM_PAINT) return false;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        EXPECT_FALSE(ps.fErase);
        EXPECT_EQ(ps.rcPaint.right, 40);
        HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
        FillRect(dc, &ps.rcPaint, brush);
        DeleteObject(brush);
        EndPaint(h, &ps);
        *r = 0;
        return true;
    };
    g_log.clear();
    DispatchMessageW(&msg);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_FALSE(GetUpdateRect(hwnd, &update, FALSE));

    // What was painted is the window's buffer, seen by any of its contexts.
    HDC dc = GetDC(hwnd);
    EXPECT_EQ(GetPixel(dc, 39, 29), RGB(10, 20, 30));
    EXPECT_EQ(ReleaseDC(hwnd, dc), 1);
    EXPECT_EQ(ReleaseDC(hwnd, dc), 0);

    // Invalidating without erase: no WM_ERASEBKGND; a part only: rcPaint is it.
    RECT part{5, 6, 7, 8};
    InvalidateRect(hwnd, &part, FALSE);
    g_answer = [](HWND h, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m != WM_PAINT) return false;
        PAINTSTRUCT ps;
        BeginPaint(h, &ps);
        EXPECT_EQ(ps.rcPaint.left, 5);
        EXPECT_EQ(ps.rcPaint.bottom, 8);
        EndPaint(h, &ps);
        return true;
    };
    g_log.clear();
    Drain();
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_PAINT});

    // A new size keeps what fits, makes the window invalid and sends WM_SIZE.
    MoveWindow(hwnd, 0, 0, 50, 20, FALSE);
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_SIZE});
    ASSERT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
    EXPECT_EQ(update.right, 50);
    dc = GetDC(hwnd);
    EXPECT_EQ(GetPixel(dc, 39, 19), RGB(10, 20, 30));
    EXPECT_EQ(GetPixel(dc, 45, 10), RGB(0, 0, 0));
    ReleaseDC(hwnd, dc);
    // The default WM_PAINT handling validates.
    g_answer = nullptr;
    Drain();
    EXPECT_FALSE(GetUpdateRect(hwnd, &update, FALSE));
}

TEST_F(WindowTest, DoubleClickNeedsTheClassStyleTheTimeAndTheRectangle) {
    HWND dbl = Make(WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 100);
    HWND plain = Make(WS_OVERLAPPED | WS_VISIBLE, 200, 0, 100, 100, nullptr, kPlain);
    const UINT limit = GetDoubleClickTime();
    const int half = GetSystemMetrics(SM_CXDOUBLECLK) / 2;
    const std::initializer_list<UINT> noise = {WM_SETCURSOR, WM_MOUSEACTIVATE, WM_ACTIVATE, WM_SETFOCUS,
                                               WM_KILLFOCUS, WM_PAINT, WM_ERASEBKGND};
    auto click = [&](HWND h, int x, int y, DWORD t) {
        Mouse(h, WM_LBUTTONDOWN, x, y, t);
        Mouse(h, WM_LBUTTONUP, x, y, t + 10);
    };
    Drain();
    g_log.clear();
    click(dbl, 10, 10, 1000);
    click(dbl, 10 + half, 10 - half, 1000 + limit - 10);  // second press at the time limit, at the corner
    click(dbl, 10, 10, 1000 + limit + 100);               // a third press is a new first one
    EXPECT_EQ(Messages(noise), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP,
                                                  WM_LBUTTONDOWN, WM_LBUTTONUP}));
    click(dbl, 10, 10, 5000);
    click(dbl, 10, 10, 5000 + limit + 1);  // too late
    click(dbl, 10 + half + 1, 10, 5000 + limit + 20);  // too far
    click(dbl, 10 + half + 1, 10, 5000 + limit + 40);  // near the last press, in time
    EXPECT_EQ(Messages(noise), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP,
                                                  WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
    click(plain, 10, 10, 9000);
    click(plain, 10, 10, 9050);
    EXPECT_EQ(Messages(noise), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}));
    // The right button pairs with itself only.
    Mouse(dbl, WM_LBUTTONDOWN, 10, 10, 12000);
    Mouse(dbl, WM_LBUTTONUP, 10, 10, 12001);
    Mouse(dbl, WM_RBUTTONDOWN, 10, 10, 12002);
    Mouse(dbl, WM_RBUTTONUP, 10, 10, 12003);
    Mouse(dbl, WM_RBUTTONDOWN, 10, 10, 12004);
    EXPECT_EQ(Messages(noise), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP,
                                                  WM_RBUTTONDBLCLK}));
    Mouse(dbl, WM_RBUTTONUP, 10, 10, 12005);
}

TEST_F(WindowTest, CaptureTakesEveryMouseMessageInItsOwnCoordinates) {
    HWND left = Make(WS_OVERLAPPED | WS_VISIBLE, 100, 100, 100, 100);
    HWND right = Make(WS_OVERLAPPED | WS_VISIBLE, 300, 100, 100, 100);
    Drain();
    g_log.clear();
    // Without capture the window under the pointer gets it, after WM_SETCURSOR.
    Mouse(left, WM_MOUSEMOVE, 250, 5, 100);  // over `right`
    ASSERT_EQ(g_log.size(), 2u);
    EXPECT_EQ(g_log[0].message, static_cast<UINT>(WM_SETCURSOR));
    EXPECT_EQ(g_log[0].hwnd, right);
    EXPECT_EQ(g_log[0].lParam, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(g_log[1].hwnd, right);
    EXPECT_EQ(g_log[1].lParam, MAKELPARAM(50, 5));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW)) << "the default handling sets the class cursor";

    EXPECT_EQ(SetCapture(left), nullptr);
    EXPECT_EQ(GetCapture(), left);
    g_log.clear();
    Mouse(right, WM_LBUTTONDOWN, 10, 20, 200);  // screen (310, 120)
    Mouse(right, WM_MOUSEMOVE, -250, -150, 300);  // screen (50, -50): outside every window
    ASSERT_EQ(Messages({WM_MOUSEACTIVATE, WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS}).size(), 2u)
        << "no WM_SETCURSOR while captured";
    Mouse(right, WM_MOUSEMOVE, -250, -150, 300);
    const Record* move = Last(WM_MOUSEMOVE);
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(move->hwnd, left);
    EXPECT_EQ(GET_X_LPARAM(move->lParam), -50);
    EXPECT_EQ(GET_Y_LPARAM(move->lParam), -150);
    EXPECT_EQ(move->wParam, static_cast<WPARAM>(MK_LBUTTON));

    // Moving the capture tells the old window; releasing tells the holder.
    g_log.clear();
    EXPECT_EQ(SetCapture(right), left);
    ASSERT_EQ(Seen(), (Pairs{{left, WM_CAPTURECHANGED}}));
    EXPECT_EQ(g_log[0].lParam, reinterpret_cast<LPARAM>(right));
    g_log.clear();
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(Seen(), (Pairs{{right, WM_CAPTURECHANGED}}));
    EXPECT_EQ(GetCapture(), nullptr);
    Mouse(right, WM_LBUTTONUP, 10, 20, 400);
    EXPECT_EQ(Last(WM_LBUTTONUP)->wParam, 0u) << "the button is no longer held";
}

TEST_F(WindowTest, ChildWindowsSitInTheirParentsClientArea) {
    HWND top = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 50, 300, 200);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 10, 20, 80, 60, top, kPlain);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetParent(child), top);
    RECT r;
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 110);
    EXPECT_EQ(r.top, 70);
    EXPECT_EQ(r.right, 190);
    GetClientRect(child, &r);
    EXPECT_EQ(r.right, 80);
    POINT pt{5, 5};
    ClientToScreen(child, &pt);
    EXPECT_EQ(pt.x, 115);
    ScreenToClient(top, &pt);
    EXPECT_EQ(pt.x, 15);
    EXPECT_EQ(pt.y, 25);

    // A press at the parent's (15, 25) goes to the child at (5, 5); the child
    // is asked about activation first and its default asks the parent.
    Drain();
    g_log.clear();
    SetCursor(nullptr);
    Mouse(top, WM_LBUTTONDOWN, 15, 25, 100);
    EXPECT_EQ(GetCursor(), nullptr) << "the parent's class cursor is not the child's";
    EXPECT_EQ(Seen(), (Pairs{{child, WM_MOUSEACTIVATE},
                                                         {top, WM_MOUSEACTIVATE},
                                                         {child, WM_SETCURSOR},
                                                         {top, WM_SETCURSOR},
                                                         {child, WM_LBUTTONDOWN}}));
    EXPECT_EQ(g_log[0].wParam, reinterpret_cast<WPARAM>(top));
    EXPECT_EQ(g_log[0].lParam, MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    EXPECT_EQ(g_log.back().lParam, MAKELPARAM(5, 5));
    Mouse(top, WM_LBUTTONUP, 15, 25, 110);

    // A parent answering "eat" swallows the press.
    g_answer = [&](HWND h, UINT m, WPARAM, LPARAM, LRESULT* a) {
        if (h != top || m != WM_MOUSEACTIVATE) return false;
        *a = MA_NOACTIVATEANDEAT;
        return true;
    };
    g_log.clear();
    Mouse(top, WM_LBUTTONDOWN, 15, 25, 2000);
    EXPECT_EQ(Last(WM_LBUTTONDOWN), nullptr);
    g_answer = nullptr;
    Mouse(top, WM_LBUTTONUP, 15, 25, 2010);

    // Moving the parent moves the child on the screen; moving the child sends WM_MOVE.
    SetWindowPos(top, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 10);
    g_log.clear();
    MoveWindow(child, 1, 2, 80, 60, FALSE);
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_MOVE});
    // A hidden child is not hit: the parent gets the press.
    ShowWindow(child, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(child));
    Drain();
    g_log.clear();
    Mouse(top, WM_MOUSEMOVE, 5, 5, 3000);
    EXPECT_EQ(Last(WM_MOUSEMOVE)->hwnd, top);
}

WNDPROC g_previousProc = nullptr;
int g_subclassCalls = 0;
LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_subclassCalls;
    if (message == WM_USER + 5) return 5;
    return CallWindowProcW(g_previousProc, hwnd, message, wParam, lParam);
}

TEST_F(WindowTest, KeysGoToTheFocusAndTheProcedureSlotSubclasses) {
    HWND top = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, top);
    Drain();
    g_log.clear();
    EXPECT_EQ(SetFocus(child), top);
    EXPECT_EQ(Seen(), (Pairs{{top, WM_KILLFOCUS}, {child, WM_SETFOCUS}}));
    EXPECT_EQ(g_log[0].wParam, reinterpret_cast<WPARAM>(child));

    // A key press reaches the focus window; TranslateMessage adds its character.
    g_log.clear();
    ASSERT_TRUE(QelvInjectKey('S', u's'));
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(msg.hwnd, child);
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>('S'));
    EXPECT_TRUE(TranslateMessage(&msg));
    EXPECT_FALSE(TranslateMessage(&msg)) << "one character per key press";
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(u's'));
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYUP));
    EXPECT_FALSE(TranslateMessage(&msg));

    // Replacing the procedure slot routes messages through the new one first.
    g_previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    EXPECT_EQ(g_previousProc, RecordingProc);
    g_subclassCalls = 0;
    g_log.clear();
    EXPECT_EQ(SendMessageW(child, WM_USER + 5, 0, 0), 5);
    SendMessageW(child, WM_USER + 6, 0, 0);
    EXPECT_EQ(g_subclassCalls, 2);
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_USER + 6});
    SetWindowLongPtrW(child, GWLP_USERDATA, 1234);
    EXPECT_EQ(GetWindowLongPtrW(child, GWLP_USERDATA), 1234);

    // Moving the child under another parent keeps its rectangle in the new parent's coordinates.
    HWND other = Make(WS_OVERLAPPED | WS_VISIBLE, 500, 400, 100, 100);
    EXPECT_EQ(SetParent(child, other), top);
    EXPECT_EQ(GetParent(child), other);
    RECT r;
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 500);
    EXPECT_EQ(SetParent(other, child), nullptr) << "a window cannot go below its own child";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(WindowTest, TimersArriveWhenDueAndStopWhenKilled) {
    HWND hwnd = Make(WS_OVERLAPPED, 0, 0, 10, 10);
    const DWORD start = GetTickCount();
    EXPECT_EQ(SetTimer(hwnd, 5, 20, nullptr), 5u);
    MSG msg;
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_GE(GetTickCount() - start, 20u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) << "one message per period";
    EXPECT_TRUE(KillTimer(hwnd, 5));
    EXPECT_FALSE(KillTimer(hwnd, 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, MisuseIsRefusedWithTheWindowsErrorCodes) {
    HWND hwnd = Make(WS_OVERLAPPED, 0, 0, 10, 10);
    DestroyWindow(hwnd);
    RECT r;
    PAINTSTRUCT ps;
    // Every call looks its handle up the same way: a few stand for the rest.
    // NULL is a valid argument of InvalidateRect (every window), GetDC (the
    // screen), PostMessageW (the thread) and SetTimer (a thread timer): only
    // the stale handle is tried there.
    const std::vector<std::function<bool(HWND)>> calls = {
        [](HWND h) { return DestroyWindow(h) == FALSE; },
        [&](HWND h) { return GetClientRect(h, &r) == FALSE; },
        [](HWND h) { return SendMessageW(h, WM_USER, 0, 0) == 0; },
        [](HWND h) { return InvalidateRect(h, nullptr, TRUE) == FALSE; },
        [](HWND h) { return GetDC(h) == nullptr; },
        [](HWND h) { return PostMessageW(h, WM_USER, 0, 0) == FALSE; },
        [](HWND h) { return SetTimer(h, 1, 10, nullptr) == 0; },
        [&](HWND h) { return BeginPaint(h, &ps) == nullptr; },
    };
    for (size_t k = 0; k < calls.size(); ++k) {
        for (HWND bad : {static_cast<HWND>(nullptr), hwnd}) {
            if (!bad && k >= 3 && k <= 6) continue;
            SetLastError(0);
            EXPECT_TRUE(calls[k](bad)) << "call " << k;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE)) << "call " << k;
        }
    }
    MSG msg;
    EXPECT_EQ(GetMessageW(&msg, hwnd, 0, 0), -1);

    SetLastError(0);
    EXPECT_EQ(CreateWindowExW(0, OLESTR("NoSuchClass"), nullptr, 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(Make(WS_CHILD, 0, 0, 1, 1), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = OLESTR("qelvtestwindow");  // names compare without case
    EXPECT_EQ(RegisterClassExW(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    wc.cbSize = 0;
    EXPECT_EQ(RegisterClassExW(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    HWND live = Make(WS_OVERLAPPED, 0, 0, 1, 1, nullptr, kPlain);
    EXPECT_FALSE(UnregisterClassW(kPlain, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(live);
    EXPECT_EQ(GetWindowLongPtrW(Make(WS_OVERLAPPED, 0, 0, 1, 1), 64), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));

    // Cursors: masks are required, stale handles refused, shared ones kept.
    const BYTE masks[128] = {};
    EXPECT_EQ(CreateCursor(nullptr, 0, 0, 32, 32, nullptr, masks), nullptr);
    EXPECT_EQ(CreateCursor(nullptr, 40, 0, 32, 32, masks, masks), nullptr);
    HCURSOR own = CreateCursor(nullptr, 5, 1, 32, 32, masks, masks);
    ASSERT_NE(own, nullptr);
    SetCursor(own);
    EXPECT_TRUE(DestroyCursor(own));
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_FALSE(DestroyCursor(own));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
    EXPECT_EQ(SetCursor(own), nullptr);
    EXPECT_EQ(GetCursor(), nullptr);
    EXPECT_TRUE(DestroyCursor(LoadCursorW(nullptr, IDC_ARROW)));
    EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);
}

}  // namespace
