// Extensions of the Linux window layer for tests and programs that drive
// windows without a display, or look at what a display shows. They have no
// counterpart on Windows; code meant for both targets keeps them out of its
// Windows build.
#pragma once

#include "winuser.h"

// QelvInjectMouse: feeds one mouse event into the input path, as the display
// would: the pointer moves to (x, y) in hWnd's client coordinates, then the
// event is routed like real input (to the capture window if there is one, else
// to the window under the point), with WM_SETCURSOR, WM_MOUSEACTIVATE and
// double-click detection, and queued on the target window's thread.
//   message [in] WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN or
//           WM_RBUTTONUP.
//   keys    [in] MK_SHIFT and/or MK_CONTROL held; the button bits are tracked.
//   time    [in] the event's time in GetTickCount milliseconds.
// Returns TRUE, or FALSE for an unknown window or another message.
WINBASEAPI BOOL WINAPI QelvInjectMouseEx(HWND hWnd, UINT message, int x, int y, DWORD keys, DWORD time);

// QelvInjectMouse: QelvInjectMouseEx with no keys held and the current time.
WINBASEAPI BOOL WINAPI QelvInjectMouse(HWND hWnd, UINT message, int x, int y);

// QelvInjectKey: queues WM_KEYDOWN (virtual key vk) for the focus window, then
// WM_KEYUP; a non-zero ch is what TranslateMessage turns the key-down into.
// Returns TRUE, or FALSE when no window has the focus.
WINBASEAPI BOOL WINAPI QelvInjectKey(UINT vk, WCHAR ch);

// QelvHasDisplay: TRUE when windows are shown on an X display (opened with
// the first window), FALSE when they live in memory only.
WINBASEAPI BOOL WINAPI QelvHasDisplay(void);

// QelvXWindowOf: the X window that shows hWnd, or 0 without a display.
WINBASEAPI ULONG_PTR WINAPI QelvXWindowOf(HWND hWnd);
