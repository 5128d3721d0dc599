// Window services the display control uses without a window of its own yet:
// the screen's device context.
#pragma once

#include "wingdi.h"

// GetDC: a device context for the client area of hWnd, or for the screen when
// hWnd is NULL; release it with ReleaseDC.
WINBASEAPI HDC WINAPI GetDC(HWND hWnd);
WINBASEAPI int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
