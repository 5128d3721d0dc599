// Graphics objects and device contexts: fonts, pens, brushes and bitmaps, their
// selection into contexts, the screen's and memory contexts, and the calls that
// measure text. Every context has 96 pixels per inch both ways. The drawing
// calls are in gdi_fill.cpp, gdi_line.cpp, gdi_text.cpp and gdi_blit.cpp,
// bitmaps in gdi_bitmap.cpp, metafiles in gdi_metafile.cpp.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "font_internal.h"
#include "gdi_internal.h"

namespace qelv_gdi {
namespace {

std::unordered_set<const void*> g_objects;
std::unordered_set<const void*> g_contexts;

}  // namespace

std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

Context* ContextOf(HDC dc) { return g_contexts.count(dc) ? reinterpret_cast<Context*>(dc) : nullptr; }

Object* ObjectOf(const void* handle) {
    return g_objects.count(handle) ? static_cast<Object*>(const_cast<void*>(handle)) : nullptr;
}

Font* FontOf(const void* handle) {
    Object* object = ObjectOf(handle);
    return object && object->type == OBJ_FONT ? static_cast<Font*>(object) : nullptr;
}

void RegisterObject(Object* object) { g_objects.insert(object); }
void UnregisterObject(Object* object) { g_objects.erase(object); }

void FillPixels(Context* context, LONG left, LONG top, LONG right, LONG bottom, uint32_t pixel) {
    const Bitmap* b = context->bitmap;
    if (!b) return;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > b->width) right = b->width;
    if (bottom > b->height) bottom = b->height;
    for (LONG y = top; y < bottom; ++y) {
        uint32_t* row = PixelAt(context, left, y);
        for (LONG x = left; x < right; ++x) *row++ = pixel;
    }
}

}  // namespace qelv_gdi

using namespace qelv_gdi;

namespace {

constexpr int kPixelsPerInch = 96;

void SetFace(LOGFONTW& font, const char16_t* face) {
    size_t k = 0;
    for (; face[k] && k + 1 < LF_FACESIZE; ++k) font.lfFaceName[k] = face[k];
    font.lfFaceName[k] = 0;
}

// Called with Lock() held.
Font* NewFont(const LOGFONTW& description, bool stock) {
    auto* object = new (std::nothrow) Font{};
    if (!object) return nullptr;
    object->type = OBJ_FONT;
    object->stock = stock;
    object->font = description;
    object->font.lfFaceName[LF_FACESIZE - 1] = 0;
    RegisterObject(object);
    return object;
}

Pen* NewPen(int style, COLORREF color, bool stock) {
    auto* pen = new (std::nothrow) Pen{};
    if (!pen) return nullptr;
    pen->type = OBJ_PEN;
    pen->stock = stock;
    pen->style = style;
    pen->color = color & 0x00FFFFFF;
    RegisterObject(pen);
    return pen;
}

Brush* NewBrush(COLORREF color, bool stock) {
    auto* brush = new (std::nothrow) Brush{};
    if (!brush) return nullptr;
    brush->type = OBJ_BRUSH;
    brush->stock = stock;
    brush->color = color & 0x00FFFFFF;
    RegisterObject(brush);
    return brush;
}

// The stock objects, made once (with Lock() held) and never deleted.
Object* StockObject(int index) {
    static Font* system = [] {
        LOGFONTW font{};
        font.lfHeight = 16;
        font.lfWidth = 7;
        font.lfWeight = FW_BOLD;
        font.lfCharSet = ANSI_CHARSET;
        font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        SetFace(font, u"System");
        return NewFont(font, true);
    }();
    static Font* gui = [] {
        LOGFONTW font{};
        font.lfHeight = -11;
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        SetFace(font, u"MS Shell Dlg");
        return NewFont(font, true);
    }();
    static Font* ansiVar = [] {
        LOGFONTW font{};
        font.lfHeight = 12;
        font.lfWidth = 9;
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = ANSI_CHARSET;
        font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        SetFace(font, u"MS Sans Serif");
        return NewFont(font, true);
    }();
    static Font* fixed = [] {
        LOGFONTW font{};
        font.lfHeight = 12;
        font.lfWidth = 9;
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = ANSI_CHARSET;
        font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        SetFace(font, u"Courier");
        return NewFont(font, true);
    }();
    static Pen* blackPen = NewPen(PS_SOLID, RGB(0, 0, 0), true);
    static Pen* whitePen = NewPen(PS_SOLID, RGB(255, 255, 255), true);
    static Pen* nullPen = NewPen(PS_NULL, RGB(0, 0, 0), true);
    static Brush* whiteBrush = NewBrush(RGB(255, 255, 255), true);
    static Brush* blackBrush = NewBrush(RGB(0, 0, 0), true);
    switch (index) {
        case SYSTEM_FONT:
        case DEVICE_DEFAULT_FONT: return system;
        case DEFAULT_GUI_FONT: return gui;
        case ANSI_VAR_FONT: return ansiVar;
        case ANSI_FIXED_FONT:
        case OEM_FIXED_FONT:
        case SYSTEM_FIXED_FONT: return fixed;
        case BLACK_PEN: return blackPen;
        case WHITE_PEN: return whitePen;
        case NULL_PEN: return nullPen;
        case WHITE_BRUSH: return whiteBrush;
        case BLACK_BRUSH: return blackBrush;
        default: return nullptr;
    }
}

// The 1 x 1 bitmap every new memory context holds, as on Windows; made once.
Bitmap* StockBitmap() {
    static uint32_t pixel = 0;
    static Bitmap* bitmap = [] {
        auto* b = new (std::nothrow) Bitmap{};
        if (!b) return b;
        b->type = OBJ_BITMAP;
        b->stock = true;
        b->width = 1;
        b->height = 1;
        b->bits = &pixel;
        RegisterObject(b);
        return b;
    }();
    return bitmap;
}

template <class T>
void Hold(T*& slot, T* object) {
    if (slot) --slot->selections;
    slot = object;
    if (object) ++object->selections;
}

HDC NewContext(DWORD type) {
    std::lock_guard<std::mutex> lock(Lock());
    auto* context = new (std::nothrow) Context{};
    if (!context) return nullptr;
    context->type = type;
    Hold(context->font, static_cast<Font*>(StockObject(SYSTEM_FONT)));
    Hold(context->pen, static_cast<Pen*>(StockObject(BLACK_PEN)));
    Hold(context->brush, static_cast<Brush*>(StockObject(WHITE_BRUSH)));
    if (type == OBJ_MEMDC) Hold(context->bitmap, StockBitmap());
    context->textColor = RGB(0, 0, 0);
    context->bkColor = RGB(255, 255, 255);
    context->bkMode = OPAQUE;
    context->textAlign = TA_LEFT | TA_TOP;
    g_contexts.insert(context);
    return reinterpret_cast<HDC>(context);
}

// Called with Lock() held.
void FreeContext(Context* context) {
    Hold(context->font, static_cast<Font*>(nullptr));
    Hold(context->pen, static_cast<Pen*>(nullptr));
    Hold(context->brush, static_cast<Brush*>(nullptr));
    Hold(context->bitmap, static_cast<Bitmap*>(nullptr));
    g_contexts.erase(context);
    delete context;
}

void DeleteGdiObject(Object* object) {
    UnregisterObject(object);
    switch (object->type) {
        case OBJ_FONT: delete static_cast<Font*>(object); break;
        case OBJ_PEN: delete static_cast<Pen*>(object); break;
        case OBJ_BRUSH: delete static_cast<Brush*>(object); break;
        case OBJ_BITMAP: {
            auto* bitmap = static_cast<Bitmap*>(object);
            std::free(bitmap->bits);
            delete bitmap;
            break;
        }
        default: break;
    }
}

}  // namespace

// CreateFontIndirectW: a logical font from its description.
//   lplf [in] the description; the face name is cut to 31 characters.
// Returns the font handle, or NULL for a null description or out of memory.
// NOTES: no face is matched here; matching happens when the font measures.
WINBASEAPI HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf) {
    if (!lplf) return nullptr;
    std::lock_guard<std::mutex> lock(Lock());
    return reinterpret_cast<HFONT>(NewFont(*lplf, false));
}

// CreateFontW: CreateFontIndirectW with the description's fields as arguments.
// Returns the font handle or NULL.
WINBASEAPI HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                                    DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                                    DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily,
                                    LPCWSTR pszFaceName) {
    LOGFONTW font{};
    font.lfHeight = cHeight;
    font.lfWidth = cWidth;
    font.lfEscapement = cEscapement;
    font.lfOrientation = cOrientation;
    font.lfWeight = cWeight;
    font.lfItalic = static_cast<BYTE>(bItalic);
    font.lfUnderline = static_cast<BYTE>(bUnderline);
    font.lfStrikeOut = static_cast<BYTE>(bStrikeOut);
    font.lfCharSet = static_cast<BYTE>(iCharSet);
    font.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
    font.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
    font.lfQuality = static_cast<BYTE>(iQuality);
    font.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
    if (pszFaceName) SetFace(font, pszFaceName);
    return CreateFontIndirectW(&font);
}

// GetStockObject: a stock object: the fonts SYSTEM_FONT, DEVICE_DEFAULT_FONT,
// DEFAULT_GUI_FONT, ANSI_VAR_FONT, ANSI_FIXED_FONT, OEM_FIXED_FONT,
// SYSTEM_FIXED_FONT; the pens BLACK_PEN, WHITE_PEN, NULL_PEN; the brushes
// WHITE_BRUSH, BLACK_BRUSH. Returns NULL for any other index. Stock objects are
// never deleted.
WINBASEAPI HGDIOBJ WINAPI GetStockObject(int i) {
    std::lock_guard<std::mutex> lock(Lock());
    return reinterpret_cast<HGDIOBJ>(StockObject(i));
}

// GetObjectW: the description of a graphics object.
//   h  [in] a font or a bitmap handle.
//   c  [in] the size of pv.
//   pv [out] receives the LOGFONTW as the font was created, or the BITMAP of a
//      bitmap (bmBits set for a DIB section, NULL for a compatible bitmap);
//      NULL asks for the size.
// Returns the number of bytes stored (at most c), the size for a NULL pv, or 0
// for an unknown handle (last error ERROR_INVALID_HANDLE).
WINBASEAPI int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
    std::lock_guard<std::mutex> lock(Lock());
    Object* object = ObjectOf(h);
    const void* source = nullptr;
    int full = 0;
    BITMAP bitmap{};
    if (object && object->type == OBJ_FONT) {
        source = &static_cast<Font*>(object)->font;
        full = sizeof(LOGFONTW);
    } else if (object && object->type == OBJ_BITMAP) {
        const auto* b = static_cast<Bitmap*>(object);
        bitmap.bmWidth = b->width;
        bitmap.bmHeight = b->height;
        bitmap.bmWidthBytes = b->width * 4;
        bitmap.bmPlanes = 1;
        bitmap.bmBitsPixel = 32;
        bitmap.bmBits = b->dibSection ? static_cast<void*>(b->bits) : nullptr;
        source = &bitmap;
        full = sizeof(BITMAP);
    } else {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!pv) return full;
    if (c <= 0) return 0;
    const int size = c < full ? c : full;
    std::memcpy(pv, source, static_cast<size_t>(size));
    return size;
}

// GetObjectType: OBJ_FONT, OBJ_PEN, OBJ_BRUSH, OBJ_BITMAP, OBJ_DC, OBJ_MEMDC,
// OBJ_METADC (a recording metafile context) or OBJ_METAFILE; 0 for an unknown
// handle.
WINBASEAPI DWORD WINAPI GetObjectType(HGDIOBJ h) {
    std::lock_guard<std::mutex> lock(Lock());
    if (Object* object = ObjectOf(h)) return object->type;
    if (Context* context = ContextOf(reinterpret_cast<HDC>(h))) return context->type;
    return MetafileObjectType(h);
}

// DeleteObject: deletes a font, pen, brush or bitmap.
//   ho [in] the object.
// Returns TRUE; also for a stock object, which stays. FALSE for an unknown
// handle or an object selected into a device context (it stays alive, as on
// Windows).
WINBASEAPI BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    std::lock_guard<std::mutex> lock(Lock());
    Object* object = ObjectOf(ho);
    if (!object) return FALSE;
    if (object->stock) return TRUE;
    if (object->selections > 0) return FALSE;
    DeleteGdiObject(object);
    return TRUE;
}

// SelectObject: makes a font, pen, brush or bitmap the device context's current
// one of its kind.
//   hdc [in] the device context.
//   h   [in] the object. A bitmap goes only into a memory context and only into
//       one context at a time.
// Returns the previously selected object of that kind; NULL for an unknown
// context or object, a bitmap for the screen's context, or a bitmap already
// selected elsewhere.
WINBASEAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    Object* object = ObjectOf(h);
    if (!context || !object) return nullptr;
    void* previous = nullptr;
    switch (object->type) {
        case OBJ_FONT:
            previous = context->font;
            Hold(context->font, static_cast<Font*>(object));
            break;
        case OBJ_PEN:
            previous = context->pen;
            Hold(context->pen, static_cast<Pen*>(object));
            break;
        case OBJ_BRUSH:
            previous = context->brush;
            Hold(context->brush, static_cast<Brush*>(object));
            break;
        case OBJ_BITMAP: {
            if (context->type != OBJ_MEMDC) return nullptr;
            auto* bitmap = static_cast<Bitmap*>(object);
            if (bitmap == context->bitmap) return h;
            if (bitmap->selections > 0 && !bitmap->stock) return nullptr;
            previous = context->bitmap;
            Hold(context->bitmap, bitmap);
            break;
        }
        default: return nullptr;
    }
    return reinterpret_cast<HGDIOBJ>(previous);
}

// CreatePen: a cosmetic pen.
//   iStyle [in] PS_SOLID or PS_NULL; other styles draw as PS_SOLID.
//   cWidth [in] the width; every width draws one pixel wide.
//   color  [in] the colour.
// Returns the pen, or NULL when out of memory.
WINBASEAPI HPEN WINAPI CreatePen(int iStyle, int, COLORREF color) {
    std::lock_guard<std::mutex> lock(Lock());
    return reinterpret_cast<HPEN>(NewPen(iStyle == PS_NULL ? PS_NULL : PS_SOLID, color, false));
}

// CreateSolidBrush: a brush of one colour. Returns the brush, or NULL.
WINBASEAPI HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    std::lock_guard<std::mutex> lock(Lock());
    return reinterpret_cast<HBRUSH>(NewBrush(color, false));
}

// CreateCompatibleDC: a memory device context holding the system font, the
// black pen, the white brush and a 1 x 1 bitmap; text black on white, opaque
// background, left and top alignment, current position (0, 0).
//   hdc [in] the context to be compatible with, or NULL for the screen.
// Returns the context, or NULL for an unknown hdc or out of memory.
WINBASEAPI HDC WINAPI CreateCompatibleDC(HDC hdc) {
    if (hdc) {
        std::lock_guard<std::mutex> lock(Lock());
        if (!ContextOf(hdc)) return nullptr;
    }
    return NewContext(OBJ_MEMDC);
}

// DeleteDC: releases a memory device context; the objects selected into it
// are not deleted (they can be deleted afterwards). A metafile context is
// discarded with what it recorded.
// Returns TRUE, or FALSE for an unknown context.
WINBASEAPI BOOL WINAPI DeleteDC(HDC hdc) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context) return DiscardMetafileContext(hdc) ? TRUE : FALSE;
    FreeContext(context);
    return TRUE;
}

HDC qelv_gdi::NewDeviceContext(Bitmap* pixels) {
    HDC dc = NewContext(OBJ_DC);
    if (dc && pixels) {
        std::lock_guard<std::mutex> lock(Lock());
        Hold(reinterpret_cast<Context*>(dc)->bitmap, pixels);
    }
    return dc;
}

bool qelv_gdi::FreeDeviceContext(HDC dc) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(dc);
    if (!context || context->type != OBJ_DC) return false;
    FreeContext(context);
    return true;
}

// GetDeviceCaps: LOGPIXELSX and LOGPIXELSY give 96; HORZRES 1920; VERTRES
// 1080; BITSPIXEL 32; any other index 0 (also for an unknown context).
WINBASEAPI int WINAPI GetDeviceCaps(HDC hdc, int index) {
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (!ContextOf(hdc)) return 0;
    }
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY: return kPixelsPerInch;
        case HORZRES: return 1920;
        case VERTRES: return 1080;
        case BITSPIXEL: return 32;
        default: return 0;
    }
}

// The description of the context's current font; false for an unknown context.
static bool CurrentFont(HDC hdc, LOGFONTW* font) {
    std::lock_guard<std::mutex> lock(Lock());
    Context* context = ContextOf(hdc);
    if (!context) return false;
    *font = context->font->font;
    return true;
}

// GetTextMetricsW: the metrics of the context's current font.
// Returns FALSE for an unknown context or a font whose face cannot be loaded.
WINBASEAPI BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
    LOGFONTW font;
    if (!CurrentFont(hdc, &font) || !lptm) return FALSE;
    return qelv_font::Metrics(font, lptm) ? TRUE : FALSE;
}

// GetTextExtentPoint32W: the width and height in pixels of c UTF-16 units in the
// context's current font: cx the sum of the advances, cy the font's height
// (tmHeight). c = 0 gives a width of 0. Returns FALSE for an unknown context,
// a null string with c > 0, c < 0, or no face.
WINBASEAPI BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, SIZE* psizl) {
    LOGFONTW font;
    if (!CurrentFont(hdc, &font) || !psizl || c < 0 || (!lpString && c > 0)) return FALSE;
    TEXTMETRICW tm;
    LONG width = 0;
    if (!qelv_font::Metrics(font, &tm) || !qelv_font::TextWidth(font, lpString, c, &width)) {
        return FALSE;
    }
    psizl->cx = width;
    psizl->cy = tm.tmHeight;
    return TRUE;
}

// GetTextExtentPoint32A: GetTextExtentPoint32W of c bytes of ANSI (CP_ACP) text.
WINBASEAPI BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, SIZE* psizl) {
    if (c < 0 || (!lpString && c > 0)) return FALSE;
    std::u16string wide;
    if (c > 0) {
        const int length = MultiByteToWideChar(CP_ACP, 0, lpString, c, nullptr, 0);
        wide.resize(static_cast<size_t>(length > 0 ? length : 0));
        if (length > 0) MultiByteToWideChar(CP_ACP, 0, lpString, c, wide.data(), length);
    }
    return GetTextExtentPoint32W(hdc, wide.c_str(), static_cast<int>(wide.size()), psizl);
}

// GetTextFaceW: the family name of the face the current font is realised with.
//   c      [in] the size of lpName in characters.
//   lpName [out] the name, NUL-terminated and cut to fit; NULL asks for the length.
// Returns the number of characters copied including the NUL (the name's length
// plus one for a NULL lpName), or 0 for an unknown context.
WINBASEAPI int WINAPI GetTextFaceW(HDC hdc, int c, LPWSTR lpName) {
    LOGFONTW font;
    if (!CurrentFont(hdc, &font)) return 0;
    const std::u16string name = qelv_font::FaceName(font);
    if (!lpName) return static_cast<int>(name.size()) + 1;
    if (c <= 0) return 0;
    const size_t count = name.size() < static_cast<size_t>(c - 1) ? name.size() : static_cast<size_t>(c - 1);
    std::memcpy(lpName, name.data(), count * sizeof(WCHAR));
    lpName[count] = 0;
    return static_cast<int>(count) + 1;
}

// GdiFlush: drawing here is never batched, so there is nothing to flush.
// Returns TRUE.
WINBASEAPI BOOL WINAPI GdiFlush() { return TRUE; }
