// Cursors: the standard shapes (LoadCursorW with no instance), two-colour
// cursors made from AND and XOR masks (CreateCursor), and the current cursor,
// which is shown on the window under the pointer, or the capture window.
#include <unordered_set>

#include "user_internal.h"

namespace qelv_user {
namespace {

std::unordered_set<Cursor*>& Cursors() {
    static std::unordered_set<Cursor*> cursors;
    return cursors;
}

HCURSOR g_current = nullptr;

// The standard cursor ids LoadCursorW knows.
constexpr WORD kStandardIds[] = {32512, 32513, 32514, 32515, 32516, 32642, 32643,
                                 32644, 32645, 32646, 32648, 32649, 32650, 32651};

}  // namespace

Cursor* CursorOf(HCURSOR cursor) {
    auto* c = reinterpret_cast<Cursor*>(cursor);
    return Cursors().count(c) ? c : nullptr;
}

}  // namespace qelv_user

using namespace qelv_user;

// LoadCursorW: a standard cursor (IDC_ARROW, IDC_IBEAM, IDC_WAIT, IDC_CROSS,
// IDC_UPARROW, IDC_SIZE*, IDC_NO, IDC_HAND, IDC_APPSTARTING, IDC_HELP).
//   hInstance [in] must be NULL: cursors in module resources are not supported.
// Returns the shared cursor (the same handle every time), or NULL with
// ERROR_RESOURCE_NAME_NOT_FOUND.
WINBASEAPI HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
    if (hInstance || !IS_INTRESOURCE(lpCursorName)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const auto id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(lpCursorName));
    static Cursor standard[sizeof(kStandardIds) / sizeof(kStandardIds[0])];
    std::lock_guard<std::mutex> lock(Lock());
    for (size_t k = 0; k < sizeof(kStandardIds) / sizeof(kStandardIds[0]); ++k) {
        if (kStandardIds[k] != id) continue;
        Cursor& c = standard[k];
        if (!c.shared) {
            c.shared = true;
            c.shape = id;
            c.width = c.height = 32;
            Cursors().insert(&c);
        }
        return reinterpret_cast<HCURSOR>(&c);
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

// CreateCursor: a two-colour cursor from monochrome masks, rows padded to 16
// bits, most significant bit leftmost. Per pixel, AND 0 / XOR 0 is black,
// AND 0 / XOR 1 white, AND 1 / XOR 0 transparent, AND 1 / XOR 1 inverts the
// screen (shown black on a display that cannot invert).
//   nWidth, nHeight [in] 1 .. 256 (32 x 32 is the system size).
//   xHotSpot, yHotSpot [in] inside the cursor.
// Returns the cursor, or NULL with ERROR_INVALID_PARAMETER.
WINBASEAPI HCURSOR WINAPI CreateCursor(HINSTANCE, int xHotSpot, int yHotSpot, int nWidth, int nHeight,
                                       const VOID* pvANDPlane, const VOID* pvXORPlane) {
    if (!pvANDPlane || !pvXORPlane || nWidth < 1 || nHeight < 1 || nWidth > 256 || nHeight > 256 || xHotSpot < 0 ||
        yHotSpot < 0 || xHotSpot >= nWidth || yHotSpot >= nHeight) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const size_t bytes = static_cast<size_t>((nWidth + 15) / 16 * 2) * static_cast<size_t>(nHeight);
    auto* c = new Cursor{};
    c->shared = false;
    c->width = nWidth;
    c->height = nHeight;
    c->hotX = xHotSpot;
    c->hotY = yHotSpot;
    c->andMask.assign(static_cast<const BYTE*>(pvANDPlane), static_cast<const BYTE*>(pvANDPlane) + bytes);
    c->xorMask.assign(static_cast<const BYTE*>(pvXORPlane), static_cast<const BYTE*>(pvXORPlane) + bytes);
    std::lock_guard<std::mutex> lock(Lock());
    Cursors().insert(c);
    return reinterpret_cast<HCURSOR>(c);
}

// DestroyCursor: frees a cursor from CreateCursor; shared cursors stay.
// The current cursor, when destroyed, stops being current.
// Returns TRUE, or FALSE with ERROR_INVALID_CURSOR_HANDLE.
WINBASEAPI BOOL WINAPI DestroyCursor(HCURSOR hCursor) {
    std::lock_guard<std::mutex> lock(Lock());
    Cursor* c = CursorOf(hCursor);
    if (!c) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    if (c->shared) return TRUE;
    if (g_current == hCursor) g_current = nullptr;
    XReleaseCursor(c);
    Cursors().erase(c);
    delete c;
    return TRUE;
}

// SetCursor: makes a cursor (NULL: none) the current one and shows it.
// Returns the previous cursor, or NULL (also for an unknown handle, with
// ERROR_INVALID_CURSOR_HANDLE, which changes nothing).
WINBASEAPI HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    std::lock_guard<std::mutex> lock(Lock());
    Cursor* c = nullptr;
    if (hCursor && !(c = CursorOf(hCursor))) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return nullptr;
    }
    const HCURSOR previous = g_current;
    g_current = hCursor;
    if (Window* w = WindowOf(PointerWindow())) XShowCursor(w, c);
    return previous;
}

// GetCursor: the current cursor, or NULL.
WINBASEAPI HCURSOR WINAPI GetCursor(void) {
    std::lock_guard<std::mutex> lock(Lock());
    return g_current;
}

// MessageBeep: there is no sound here; answers TRUE.
WINBASEAPI BOOL WINAPI MessageBeep(UINT) { return TRUE; }
