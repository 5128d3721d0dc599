// Window classes: registration by name, lookup by name or atom, and the class
// data a window is created from. Names compare without regard to ASCII case.
#include <memory>

#include "user_internal.h"

namespace qelv_user {
namespace {

std::vector<std::unique_ptr<WindowClass>>& Classes() {
    static std::vector<std::unique_ptr<WindowClass>> classes;
    return classes;
}

ATOM g_nextAtom = 0xC000;

char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

bool SameName(const std::u16string& a, LPCWSTR b) {
    size_t k = 0;
    for (; k < a.size(); ++k) {
        if (!b[k] || Fold(a[k]) != Fold(b[k])) return false;
    }
    return b[k] == 0;
}

}  // namespace

WindowClass* FindClass(LPCWSTR name) {
    if (!name) return nullptr;
    for (auto& c : Classes()) {
        if (IS_INTRESOURCE(name) ? c->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name))
                                 : SameName(c->name, name)) {
            return c.get();
        }
    }
    return nullptr;
}

}  // namespace qelv_user

using namespace qelv_user;

// RegisterClassExW: registers a window class.
//   lpwcx [in] cbSize must be sizeof(WNDCLASSEXW); a procedure and a name are
//         required; the extra byte counts must not be negative.
// Returns the class atom, or 0 with ERROR_INVALID_PARAMETER for a bad
// description, ERROR_CLASS_ALREADY_EXISTS for a name already registered.
// NOTES: classes are process-wide here; hInstance is kept but not part of the key.
WINBASEAPI ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpwcx) {
    if (!lpwcx || lpwcx->cbSize != sizeof(WNDCLASSEXW) || !lpwcx->lpfnWndProc || !lpwcx->lpszClassName ||
        IS_INTRESOURCE(lpwcx->lpszClassName) || !lpwcx->lpszClassName[0] || lpwcx->cbClsExtra < 0 ||
        lpwcx->cbWndExtra < 0 || lpwcx->cbWndExtra > 40000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> lock(Lock());
    if (FindClass(lpwcx->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_unique<WindowClass>();
    c->name = lpwcx->lpszClassName;
    c->atom = g_nextAtom++;
    c->style = lpwcx->style;
    c->proc = lpwcx->lpfnWndProc;
    c->clsExtra = lpwcx->cbClsExtra;
    c->wndExtra = lpwcx->cbWndExtra;
    c->instance = lpwcx->hInstance;
    c->icon = lpwcx->hIcon;
    c->iconSmall = lpwcx->hIconSm;
    c->cursor = lpwcx->hCursor;
    c->background = lpwcx->hbrBackground;
    c->windows = 0;
    const ATOM atom = c->atom;
    Classes().push_back(std::move(c));
    return atom;
}

// RegisterClassW: RegisterClassExW without the small icon.
WINBASEAPI ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
    if (!lpWndClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW ex{};
    ex.cbSize = sizeof(ex);
    ex.style = lpWndClass->style;
    ex.lpfnWndProc = lpWndClass->lpfnWndProc;
    ex.cbClsExtra = lpWndClass->cbClsExtra;
    ex.cbWndExtra = lpWndClass->cbWndExtra;
    ex.hInstance = lpWndClass->hInstance;
    ex.hIcon = lpWndClass->hIcon;
    ex.hCursor = lpWndClass->hCursor;
    ex.hbrBackground = lpWndClass->hbrBackground;
    ex.lpszMenuName = lpWndClass->lpszMenuName;
    ex.lpszClassName = lpWndClass->lpszClassName;
    return RegisterClassExW(&ex);
}

// UnregisterClassW: removes a class by name or atom.
// Returns TRUE, or FALSE with ERROR_CLASS_DOES_NOT_EXIST for an unknown class,
// ERROR_CLASS_HAS_WINDOWS while windows of the class exist.
WINBASEAPI BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
    std::lock_guard<std::mutex> lock(Lock());
    WindowClass* c = FindClass(lpClassName);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (c->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    auto& all = Classes();
    for (auto it = all.begin(); it != all.end(); ++it) {
        if (it->get() == c) {
            all.erase(it);
            break;
        }
    }
    return TRUE;
}

// GetClassInfoExW: the description a class was registered with.
//   lpwcx [out] filled in; lpszClassName is the name passed in.
// Returns the class atom (non-zero), or FALSE with ERROR_CLASS_DOES_NOT_EXIST.
WINBASEAPI BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR lpszClass, LPWNDCLASSEXW lpwcx) {
    std::lock_guard<std::mutex> lock(Lock());
    WindowClass* c = FindClass(lpszClass);
    if (!c || !lpwcx) {
        SetLastError(c ? ERROR_INVALID_PARAMETER : ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    lpwcx->cbSize = sizeof(WNDCLASSEXW);
    lpwcx->style = c->style;
    lpwcx->lpfnWndProc = c->proc;
    lpwcx->cbClsExtra = c->clsExtra;
    lpwcx->cbWndExtra = c->wndExtra;
    lpwcx->hInstance = c->instance;
    lpwcx->hIcon = c->icon;
    lpwcx->hCursor = c->cursor;
    lpwcx->hbrBackground = c->background;
    lpwcx->lpszMenuName = nullptr;
    lpwcx->lpszClassName = lpszClass;
    lpwcx->hIconSm = c->iconSmall;
    return c->atom;
}
