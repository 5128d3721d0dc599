// The window layer's shared state: classes, windows, per-thread message
// queues, cursors, and the X11 backend's entry points. One lock (Lock())
// guards all of it; window procedures are always called with it released, and
// code that calls out re-checks handles afterwards, since a procedure may
// destroy any window.
#pragma once

#include <qelvsonalter2/platform.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gdi_internal.h"

namespace qelv_user {

struct WindowClass {
    std::u16string name;
    ATOM atom;
    UINT style;
    WNDPROC proc;
    int clsExtra;
    int wndExtra;
    HINSTANCE instance;
    HICON icon;
    HICON iconSmall;
    HCURSOR cursor;
    HBRUSH background;
    int windows;  // live windows of the class; it cannot be unregistered before they go
};

struct Queue;

struct Window {
    HWND handle;
    WindowClass* cls;
    Queue* queue;  // the queue of the thread that created it
    HWND parent;   // NULL for a top-level window
    std::vector<HWND> children;  // bottom of the z order first
    DWORD style;
    DWORD exStyle;
    RECT rect;  // in the parent's client coordinates; in screen coordinates for a top-level window
    WNDPROC proc;
    LONG_PTR userData;
    LONG_PTR id;
    HINSTANCE instance;
    std::u16string text;
    std::vector<BYTE> extra;    // the class's cbWndExtra bytes
    qelv_gdi::Bitmap pixels{};  // the client area, width x height, top-down
    RECT update{};              // bounding rectangle of the update region; empty when valid
    bool erase = false;         // the update region asks for WM_ERASEBKGND
    std::vector<HDC> contexts;  // contexts from GetDC and BeginPaint not yet given back
    bool destroying = false;
    unsigned long xwindow = 0;  // the X window showing it, or 0
    ~Window();
};

struct QueuedMessage {
    MSG msg;
    bool input;  // mouse or keyboard input: prepared (cursor, activation) when retrieved
    WCHAR ch;    // for WM_KEYDOWN: the character TranslateMessage makes of it
};

// A message sent from another thread, waiting for the owner to run it.
struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC proc;
    uint64_t due;  // GetTickCount64-style milliseconds
};

struct Queue {
    std::thread::id thread;
    std::deque<QueuedMessage> posted;
    std::deque<SentMessage*> sent;
    std::vector<Timer> timers;
    bool quit = false;
    int exitCode = 0;
    int wake = -1;  // eventfd written to wake a GetMessageW waiting on this queue
    std::condition_variable replied;
    WCHAR lastKeyChar = 0;  // the character of the last WM_KEYDOWN retrieved
    MSG lastKey{};
    ~Queue();
};

struct Cursor {
    bool shared;  // a standard cursor from LoadCursorW: never destroyed
    int shape;    // the X font cursor shape of a standard cursor
    int width;
    int height;
    int hotX;
    int hotY;
    std::vector<BYTE> andMask;
    std::vector<BYTE> xorMask;
    unsigned long xcursor = 0;  // created on first use with a display
};

// The lock guarding everything in this header.
std::mutex& Lock();

// Milliseconds of the monotonic clock.
uint64_t Now();

// With Lock() held: the window behind a handle (not yet past WM_NCDESTROY),
// or nullptr; WindowOrFail also sets ERROR_INVALID_WINDOW_HANDLE.
Window* WindowOf(HWND hwnd);
Window* WindowOrFail(HWND hwnd);
// Every live window, in creation order; the top-level ones bottom to top.
std::vector<HWND>& AllWindows();
std::vector<HWND>& TopLevels();
// The class registered under a name or atom.
WindowClass* FindClass(LPCWSTR name);
// The calling thread's queue, made on first use.
Queue* CurrentQueue();
// Wakes a thread waiting in GetMessageW on the queue.
void Wake(Queue* queue);
// Shown: the window and all its ancestors have WS_VISIBLE.
bool IsShown(const Window* window);
// The screen position of the client area's top-left corner.
POINT ClientOrigin(const Window* window);
// The deepest shown window under a screen point, or NULL.
HWND WindowFromScreen(POINT pt);
// Puts a message at the end of the window's queue.
void Enqueue(Window* window, const MSG& msg, bool input, WCHAR ch);

// Calls a window procedure (without Lock() held).
LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Sets a window's size and position (in parent client coordinates) and sends
// WM_MOVE / WM_SIZE for what changed; with moveX the X window follows.
// Called without Lock(); returns false for an unknown window.
bool Reposition(HWND hwnd, RECT rect, bool repaint, bool moveX);

// Painting (user_paint.cpp), with Lock() held.
void InvalidateAll(Window* window, bool erase);
bool NextPaint(Queue* queue, HWND filter, HWND* target);
void DropContexts(Window* window);
void ResizePixels(Window* window, LONG width, LONG height);

// Input (user_input.cpp).
// Routes a mouse event at a point in source's client coordinates, as the
// display or QelvInjectMouseEx reports it. Lock() held.
bool RouteMouse(HWND source, UINT message, POINT client, DWORD keys, DWORD time);
// Prepares an input message about to be returned by GetMessageW/PeekMessageW
// (WM_SETCURSOR, WM_MOUSEACTIVATE); false when the message is to be dropped.
// Called without Lock().
bool PrepareInput(MSG* msg);
// Forgets a window going away as capture, focus, active or pointer window.
// Lock() held; returns the messages to send afterwards in *lost (capture).
void ForgetWindow(HWND hwnd, HWND* lostCapture, HWND* lostFocus);
Cursor* CursorOf(HCURSOR cursor);
// The last pointer position in screen coordinates, and the window the cursor
// is shown on (the capture window, else the one under the pointer). Lock() held.
POINT TrackedPointer();
HWND PointerWindow();
// Queues a key press (down) or release for the focus window. Lock() held.
void RouteKey(UINT vk, WCHAR ch, bool down, DWORD time);
// Makes a top-level window the active one (top of the z order), sending
// WM_ACTIVATE to the old and the new one. Called without Lock().
void Activate(HWND top, WORD how);

// The X11 backend (user_x11.cpp). Every call takes Lock() held and does
// nothing without a display.
bool XOpenOnce();  // opens the display on first use; true when there is one
bool XActive();
void XCreate(Window* window);
void XDestroy(Window* window);
void XShow(Window* window, bool show);
void XPlace(Window* window);
void XPush(Window* window, const RECT& rect);
void XSetTitle(Window* window);
void XGrab(Window* window);
void XUngrab();
void XShowCursor(Window* window, Cursor* cursor);
void XReleaseCursor(Cursor* cursor);
bool XScreenSize(int* width, int* height);
bool XPointerPos(POINT* pt);
int XFd();
// Reads pending X events and turns them into messages. Called without Lock().
void XPump();

}  // namespace qelv_user
