// The graphics objects behind the handles (fonts, pens, brushes, bitmaps) and
// the device context's state, shared by the files that draw. A handle is the
// address of its object; every call checks it against the live set first, so a
// stale or foreign handle is refused, never read through.
#pragma once

#include <qelvsonalter2/platform.h>

#include <cstdint>
#include <mutex>

namespace qelv_gdi {

struct Object {
    DWORD type;  // OBJ_FONT, OBJ_PEN, OBJ_BRUSH, OBJ_BITMAP
    bool stock;
    int selections;  // how many contexts hold it selected
};

struct Font : Object {
    LOGFONTW font;
};

struct Pen : Object {
    int style;
    COLORREF color;
};

struct Brush : Object {
    COLORREF color;
};

// Pixels top-down, one 32-bit word per pixel: blue in the low byte, then green,
// red and an unused byte (0), as in a 32-bit top-down device-independent bitmap.
struct Bitmap : Object {
    LONG width;
    LONG height;
    uint32_t* bits;
    bool bottomUp;    // a DIB section with a positive height keeps its rows bottom-up
    bool dibSection;  // its bits belong to the caller too (GetObject gives them)
};

struct Context {
    DWORD type;  // OBJ_DC (the screen's) or OBJ_MEMDC
    Font* font;
    Pen* pen;
    Brush* brush;
    Bitmap* bitmap;  // the 1 x 1 stock bitmap of a new memory context counts as none
    COLORREF textColor;
    COLORREF bkColor;
    int bkMode;
    UINT textAlign;
    POINT position;
};

// The lock that guards the live sets and every object's fields.
std::mutex& Lock();

// The context or object behind a handle, or nullptr; call with Lock() held.
Context* ContextOf(HDC dc);
Object* ObjectOf(const void* handle);
Font* FontOf(const void* handle);

// Adds an object to the live set or takes it out; call with Lock() held.
void RegisterObject(Object* object);
void UnregisterObject(Object* object);

// The pixel of a colour: 0x00RRGGBB from 0x00BBGGRR (a palette index's high
// byte is dropped).
inline uint32_t PixelOf(COLORREF color) {
    return ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
}

inline COLORREF ColorOf(uint32_t pixel) {
    return ((pixel & 0xFFu) << 16) | (pixel & 0xFF00u) | ((pixel >> 16) & 0xFFu);
}

// The address of pixel (x, y) of the context's bitmap, or nullptr outside it or
// when the context has no pixels.
inline uint32_t* PixelAt(const Context* context, LONG x, LONG y) {
    const Bitmap* b = context->bitmap;
    if (!b || x < 0 || y < 0 || x >= b->width || y >= b->height) return nullptr;
    const LONG row = b->bottomUp ? b->height - 1 - y : y;
    return b->bits + static_cast<size_t>(row) * static_cast<size_t>(b->width) + static_cast<size_t>(x);
}

// A display context (OBJ_DC) drawing into pixels, which may be nullptr (the
// screen's context has none); the caller keeps the bitmap alive until the
// context is freed. FreeDeviceContext frees only such contexts; both take Lock().
HDC NewDeviceContext(Bitmap* pixels);
bool FreeDeviceContext(HDC dc);

// Metafile contexts and metafiles (gdi_metafile.cpp), kept apart from the
// drawing contexts so that ContextOf refuses a metafile context: a drawing call
// the recorder does not know fails instead of being lost. Call with Lock() held.
// The type of a metafile context or a metafile (OBJ_METADC, OBJ_METAFILE), or 0.
DWORD MetafileObjectType(const void* handle);
// Whether dc is a metafile context.
bool IsMetafileContext(HDC dc);
// Discards a metafile context without making a metafile; false if dc is none.
bool DiscardMetafileContext(HDC dc);
// Records the copy of cx x cy pixels from (x1, y1) of source to (x, y) of the
// metafile context dc; false for coordinates out of the 16-bit range, an empty
// source, or out of memory.
bool RecordBlit(HDC dc, int x, int y, int cx, int cy, const Context* source, int x1, int y1);

// Fills left <= x < right, top <= y < bottom, clipped to the bitmap.
void FillPixels(Context* context, LONG left, LONG top, LONG right, LONG bottom, uint32_t pixel);

}  // namespace qelv_gdi
