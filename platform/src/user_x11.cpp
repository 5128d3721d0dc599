// The X11 backend: every window (top-level or child) is an X window showing
// its pixel buffer, children as X subwindows. The display is opened with the
// first window; when it cannot be opened, every call here does nothing and
// windows live in memory only. X events become window messages: pointer
// events go through the same routing as injected ones, Expose repaints from
// the buffer, ConfigureNotify moves and sizes top-level windows, the window
// manager's delete request posts WM_CLOSE, and key presses become
// WM_KEYDOWN / WM_KEYUP with the character TranslateMessage gives.
#include "user_internal.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <algorithm>
#include <string>

namespace qelv_user {
namespace {

Display* g_display = nullptr;
bool g_tried = false;
Atom g_protocols = 0;
Atom g_deleteWindow = 0;
Atom g_netWmName = 0;
Atom g_utf8 = 0;
::Cursor g_blankCursor = 0;

constexpr long kEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                         KeyReleaseMask | StructureNotifyMask;

// A failed request (a window the server already dropped, a cursor it could
// not make) is not worth ending the program for, which Xlib's default
// handler does: such errors are ignored.
int IgnoreError(Display*, XErrorEvent*) { return 0; }

// X cannot make a window of width or height 0.
unsigned Extent(LONG value) { return value > 0 ? static_cast<unsigned>(value) : 1u; }

qelv_user::Window* ByX(::Window xwindow) {
    for (HWND h : AllWindows()) {
        qelv_user::Window* w = WindowOf(h);
        if (w->xwindow == xwindow && xwindow) return w;
    }
    return nullptr;
}

::Window ParentX(const qelv_user::Window* w) {
    if (w->parent) {
        if (qelv_user::Window* p = WindowOf(w->parent)) {
            if (p->xwindow) return p->xwindow;
        }
    }
    return DefaultRootWindow(g_display);
}

unsigned FontShape(int id) {
    switch (id) {
        case 32513: return XC_xterm;
        case 32514:
        case 32650: return XC_watch;
        case 32515: return XC_crosshair;
        case 32516: return XC_sb_up_arrow;
        case 32642: return XC_bottom_right_corner;
        case 32643: return XC_bottom_left_corner;
        case 32644: return XC_sb_h_double_arrow;
        case 32645: return XC_sb_v_double_arrow;
        case 32646: return XC_fleur;
        case 32648: return XC_X_cursor;
        case 32649: return XC_hand2;
        case 32651: return XC_question_arrow;
        default: return XC_left_ptr;
    }
}

// An X cursor from the masks: X wants a source (foreground) and a mask
// bitmap, rows padded to bytes, least significant bit leftmost.
::Cursor MaskCursor(const qelv_user::Cursor* c) {
    const int rowIn = (c->width + 15) / 16 * 2;
    const int rowOut = (c->width + 7) / 8;
    std::string source(static_cast<size_t>(rowOut * c->height), '\0');
    std::string mask(source.size(), '\0');
    for (int y = 0; y < c->height; ++y) {
        for (int x = 0; x < c->width; ++x) {
            const size_t in = static_cast<size_t>(y * rowIn + x / 8);
            const int bit = 7 - x % 8;
            const bool a = (c->andMask[in] >> bit) & 1;
            const bool o = (c->xorMask[in] >> bit) & 1;
            const size_t out = static_cast<size_t>(y * rowOut + x / 8);
            if (!a || o) mask[out] = static_cast<char>(mask[out] | (1 << (x % 8)));
            if (!a && o) source[out] = static_cast<char>(source[out] | (1 << (x % 8)));
        }
    }
    const ::Window root = DefaultRootWindow(g_display);
    Pixmap src = XCreateBitmapFromData(g_display, root, source.data(), static_cast<unsigned>(c->width),
                                       static_cast<unsigned>(c->height));
    Pixmap msk = XCreateBitmapFromData(g_display, root, mask.data(), static_cast<unsigned>(c->width),
                                       static_cast<unsigned>(c->height));
    XColor white{};
    white.red = white.green = white.blue = 0xFFFF;
    white.flags = DoRed | DoGreen | DoBlue;
    XColor black{};
    black.flags = DoRed | DoGreen | DoBlue;
    ::Cursor cursor = XCreatePixmapCursor(g_display, src, msk, &white, &black, static_cast<unsigned>(c->hotX),
                                          static_cast<unsigned>(c->hotY));
    XFreePixmap(g_display, src);
    XFreePixmap(g_display, msk);
    return cursor;
}

DWORD KeysOf(unsigned state) {
    DWORD keys = 0;
    if (state & ShiftMask) keys |= MK_SHIFT;
    if (state & ControlMask) keys |= MK_CONTROL;
    return keys;
}

UINT VirtualKey(KeySym sym) {
    if (sym >= XK_a && sym <= XK_z) return static_cast<UINT>('A' + (sym - XK_a));
    if (sym >= XK_A && sym <= XK_Z) return static_cast<UINT>('A' + (sym - XK_A));
    if (sym >= XK_0 && sym <= XK_9) return static_cast<UINT>('0' + (sym - XK_0));
    if (sym >= XK_F1 && sym <= XK_F12) return static_cast<UINT>(VK_F1 + (sym - XK_F1));
    switch (sym) {
        case XK_Escape: return VK_ESCAPE;
        case XK_Return:
        case XK_KP_Enter: return VK_RETURN;
        case XK_BackSpace: return VK_BACK;
        case XK_Tab: return VK_TAB;
        case XK_space: return VK_SPACE;
        case XK_Left: return VK_LEFT;
        case XK_Right: return VK_RIGHT;
        case XK_Up: return VK_UP;
        case XK_Down: return VK_DOWN;
        case XK_Home: return VK_HOME;
        case XK_End: return VK_END;
        case XK_Prior: return VK_PRIOR;
        case XK_Next: return VK_NEXT;
        case XK_Insert: return VK_INSERT;
        case XK_Delete: return VK_DELETE;
        case XK_Shift_L:
        case XK_Shift_R: return VK_SHIFT;
        case XK_Control_L:
        case XK_Control_R: return VK_CONTROL;
        case XK_Alt_L:
        case XK_Alt_R: return VK_MENU;
        default: return 0;
    }
}

// A change of a top-level window's place or size the window manager or the
// user made, applied after the lock is released.
struct Configure {
    HWND hwnd;
    RECT rect;
};

// Turns one event into messages or buffer pushes. Lock() held.
void Translate(XEvent& ev, std::vector<Configure>* configures) {
    switch (ev.type) {
        case Expose: {
            if (qelv_user::Window* w = ByX(ev.xexpose.window)) {
                XPush(w, RECT{ev.xexpose.x, ev.xexpose.y, ev.xexpose.x + ev.xexpose.width,
                              ev.xexpose.y + ev.xexpose.height});
            }
            break;
        }
        case ButtonPress:
        case ButtonRelease: {
            qelv_user::Window* w = ByX(ev.xbutton.window);
            const bool press = ev.type == ButtonPress;
            UINT message = 0;
            if (ev.xbutton.button == Button1) message = press ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            if (ev.xbutton.button == Button3) message = press ? WM_RBUTTONDOWN : WM_RBUTTONUP;
            if (w && message) {
                RouteMouse(w->handle, message, POINT{ev.xbutton.x, ev.xbutton.y}, KeysOf(ev.xbutton.state),
                           static_cast<DWORD>(ev.xbutton.time));
            }
            break;
        }
        case MotionNotify: {
            if (qelv_user::Window* w = ByX(ev.xmotion.window)) {
                RouteMouse(w->handle, WM_MOUSEMOVE, POINT{ev.xmotion.x, ev.xmotion.y}, KeysOf(ev.xmotion.state),
                           static_cast<DWORD>(ev.xmotion.time));
            }
            break;
        }
        case ConfigureNotify: {
            qelv_user::Window* w = ByX(ev.xconfigure.window);
            if (!w || w->parent || ev.xconfigure.window != ev.xconfigure.event) break;
            int x = ev.xconfigure.x;
            int y = ev.xconfigure.y;
            if (!ev.xconfigure.send_event) {
                ::Window child;
                XTranslateCoordinates(g_display, w->xwindow, DefaultRootWindow(g_display), 0, 0, &x, &y, &child);
            }
            const RECT rect{x, y, x + ev.xconfigure.width, y + ev.xconfigure.height};
            const bool zeroSized = w->rect.right == w->rect.left || w->rect.bottom == w->rect.top;
            if (zeroSized && ev.xconfigure.width == 1 && ev.xconfigure.height == 1) break;
            if (rect.left != w->rect.left || rect.top != w->rect.top || rect.right != w->rect.right ||
                rect.bottom != w->rect.bottom) {
                configures->push_back(Configure{w->handle, rect});
            }
            break;
        }
        case ClientMessage: {
            qelv_user::Window* w = ByX(ev.xclient.window);
            if (w && ev.xclient.message_type == g_protocols &&
                static_cast<Atom>(ev.xclient.data.l[0]) == g_deleteWindow) {
                Enqueue(w, MSG{w->handle, WM_CLOSE, 0, 0, static_cast<DWORD>(Now()), TrackedPointer()}, false, 0);
            }
            break;
        }
        case KeyPress:
        case KeyRelease: {
            char text[8] = {};
            KeySym sym = 0;
            const int length = XLookupString(&ev.xkey, text, sizeof(text), &sym, nullptr);
            const UINT vk = VirtualKey(sym);
            if (!vk) break;
            const WCHAR ch = length == 1 ? static_cast<WCHAR>(static_cast<unsigned char>(text[0])) : 0;
            RouteKey(vk, ch, ev.type == KeyPress, static_cast<DWORD>(ev.xkey.time));
            break;
        }
        default: break;
    }
}

}  // namespace

bool XOpenOnce() {
    if (g_tried) return g_display != nullptr;
    g_tried = true;
    XInitThreads();
    g_display = XOpenDisplay(nullptr);
    if (!g_display) return false;
    XSetErrorHandler(IgnoreError);
    g_protocols = XInternAtom(g_display, "WM_PROTOCOLS", False);
    g_deleteWindow = XInternAtom(g_display, "WM_DELETE_WINDOW", False);
    g_netWmName = XInternAtom(g_display, "_NET_WM_NAME", False);
    g_utf8 = XInternAtom(g_display, "UTF8_STRING", False);
    return true;
}

bool XActive() { return g_display != nullptr; }

int XFd() { return g_display ? ConnectionNumber(g_display) : -1; }

void XCreate(qelv_user::Window* w) {
    if (!g_display) return;
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;  // Expose repaints from the buffer: no flash of a background
    attributes.bit_gravity = NorthWestGravity;
    attributes.event_mask = kEvents;
    const LONG width = w->rect.right - w->rect.left;
    const LONG height = w->rect.bottom - w->rect.top;
    w->xwindow = XCreateWindow(g_display, ParentX(w), w->rect.left, w->rect.top, Extent(width), Extent(height), 0,
                               CopyFromParent, InputOutput, CopyFromParent,
                               CWBackPixmap | CWBitGravity | CWEventMask, &attributes);
    if (!w->parent) {
        XSetWMProtocols(g_display, w->xwindow, &g_deleteWindow, 1);
        XSizeHints hints{};
        hints.flags = USPosition | USSize;
        hints.x = w->rect.left;
        hints.y = w->rect.top;
        hints.width = static_cast<int>(Extent(width));
        hints.height = static_cast<int>(Extent(height));
        XSetWMNormalHints(g_display, w->xwindow, &hints);
        XSetTitle(w);
    }
    XFlush(g_display);
}

void XDestroy(qelv_user::Window* w) {
    if (!g_display || !w->xwindow) return;
    XDestroyWindow(g_display, w->xwindow);
    w->xwindow = 0;
    XFlush(g_display);
}

void XShow(qelv_user::Window* w, bool show) {
    if (!g_display || !w->xwindow) return;
    if (show) {
        XMapWindow(g_display, w->xwindow);
    } else {
        XUnmapWindow(g_display, w->xwindow);
    }
    XFlush(g_display);
}

void XPlace(qelv_user::Window* w) {
    if (!g_display || !w->xwindow) return;
    XReparentWindow(g_display, w->xwindow, ParentX(w), w->rect.left, w->rect.top);
    XMoveResizeWindow(g_display, w->xwindow, w->rect.left, w->rect.top, Extent(w->rect.right - w->rect.left),
                      Extent(w->rect.bottom - w->rect.top));
    XFlush(g_display);
}

void XPush(qelv_user::Window* w, const RECT& rect) {
    if (!g_display || !w->xwindow) return;
    std::lock_guard<std::mutex> lock(qelv_gdi::Lock());
    const qelv_gdi::Bitmap& b = w->pixels;
    const LONG left = std::max<LONG>(rect.left, 0);
    const LONG top = std::max<LONG>(rect.top, 0);
    const LONG right = std::min(rect.right, b.width);
    const LONG bottom = std::min(rect.bottom, b.height);
    if (!b.bits || right <= left || bottom <= top) return;
    XImage image{};
    image.width = b.width;
    image.height = b.height;
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(b.bits);
    image.byte_order = LSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = LSBFirst;
    image.bitmap_pad = 32;
    image.depth = DefaultDepth(g_display, DefaultScreen(g_display));
    image.bytes_per_line = b.width * 4;
    image.bits_per_pixel = 32;
    image.red_mask = 0xFF0000;
    image.green_mask = 0x00FF00;
    image.blue_mask = 0x0000FF;
    if (!XInitImage(&image)) return;
    XPutImage(g_display, w->xwindow, DefaultGC(g_display, DefaultScreen(g_display)), &image, left, top, left, top,
              static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
    XFlush(g_display);
}

void XSetTitle(qelv_user::Window* w) {
    if (!g_display || !w->xwindow || w->parent) return;
    std::string utf8;
    for (char16_t c : w->text) {  // surrogate pairs are dropped: titles here are plain text
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0xD800 || c >= 0xE000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    XStoreName(g_display, w->xwindow, utf8.c_str());
    XChangeProperty(g_display, w->xwindow, g_netWmName, g_utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
    XFlush(g_display);
}

void XGrab(qelv_user::Window* w) {
    if (!g_display || !w->xwindow) return;
    XGrabPointer(g_display, w->xwindow, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    XFlush(g_display);
}

void XUngrab() {
    if (!g_display) return;
    XUngrabPointer(g_display, CurrentTime);
    XFlush(g_display);
}

void XShowCursor(qelv_user::Window* w, qelv_user::Cursor* cursor) {
    if (!g_display || !w->xwindow) return;
    ::Cursor shown;
    if (!cursor) {
        if (!g_blankCursor) {
            const char empty = 0;
            Pixmap blank = XCreateBitmapFromData(g_display, DefaultRootWindow(g_display), &empty, 1, 1);
            XColor black{};
            g_blankCursor = XCreatePixmapCursor(g_display, blank, blank, &black, &black, 0, 0);
            XFreePixmap(g_display, blank);
        }
        shown = g_blankCursor;
    } else {
        if (!cursor->xcursor) {
            cursor->xcursor = cursor->shared ? XCreateFontCursor(g_display, FontShape(cursor->shape))
                                             : MaskCursor(cursor);
        }
        shown = cursor->xcursor;
    }
    XDefineCursor(g_display, w->xwindow, shown);
    XFlush(g_display);
}

void XReleaseCursor(qelv_user::Cursor* cursor) {
    if (!g_display || !cursor->xcursor) return;
    ::XFreeCursor(g_display, cursor->xcursor);
    cursor->xcursor = 0;
}

bool XScreenSize(int* width, int* height) {
    if (!g_display) return false;
    *width = DisplayWidth(g_display, DefaultScreen(g_display));
    *height = DisplayHeight(g_display, DefaultScreen(g_display));
    return true;
}

bool XPointerPos(POINT* pt) {
    if (!g_display) return false;
    ::Window root;
    ::Window child;
    int rootX = 0;
    int rootY = 0;
    int x;
    int y;
    unsigned mask;
    if (!XQueryPointer(g_display, DefaultRootWindow(g_display), &root, &child, &rootX, &rootY, &x, &y, &mask)) {
        return false;
    }
    pt->x = rootX;
    pt->y = rootY;
    return true;
}

void XPump() {
    std::vector<Configure> configures;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (!g_display) return;
        while (XPending(g_display)) {
            XEvent ev;
            XNextEvent(g_display, &ev);
            Translate(ev, &configures);
        }
    }
    for (const Configure& c : configures) Reposition(c.hwnd, c.rect, false, false);
}

}  // namespace qelv_user
