// Graphics objects: fonts, device contexts (the screen's and memory ones) and
// the calls that measure text in them. A device context here has a font and a
// resolution of 96 pixels per inch both ways; no drawing surface yet.
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "font_internal.h"

namespace {

constexpr int kPixelsPerInch = 96;

struct GdiFont {
    LOGFONTW font;
    bool stock;
};

struct DeviceContext {
    GdiFont* font;
    DWORD type;  // OBJ_DC (the screen's) or OBJ_MEMDC
};

std::mutex g_objectsMutex;
std::unordered_set<const void*> g_fonts;
std::unordered_set<const void*> g_contexts;

GdiFont* FontOf(const void* handle) {
    std::lock_guard<std::mutex> lock(g_objectsMutex);
    return g_fonts.count(handle) ? static_cast<GdiFont*>(const_cast<void*>(handle)) : nullptr;
}

DeviceContext* ContextOf(HDC dc) {
    std::lock_guard<std::mutex> lock(g_objectsMutex);
    return g_contexts.count(dc) ? reinterpret_cast<DeviceContext*>(dc) : nullptr;
}

void SetFace(LOGFONTW& font, const char16_t* face) {
    size_t k = 0;
    for (; face[k] && k + 1 < LF_FACESIZE; ++k) font.lfFaceName[k] = face[k];
    font.lfFaceName[k] = 0;
}

GdiFont* NewFont(const LOGFONTW& font, bool stock) {
    auto* object = new (std::nothrow) GdiFont{font, stock};
    if (!object) return nullptr;
    object->font.lfFaceName[LF_FACESIZE - 1] = 0;
    std::lock_guard<std::mutex> lock(g_objectsMutex);
    g_fonts.insert(object);
    return object;
}

// The stock fonts, made once and never deleted.
GdiFont* StockFont(int index) {
    static GdiFont* system = [] {
        LOGFONTW font{};
        font.lfHeight = 16;
        font.lfWidth = 7;
        font.lfWeight = FW_BOLD;
        font.lfCharSet = ANSI_CHARSET;
        font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        SetFace(font, u"System");
        return NewFont(font, true);
    }();
    static GdiFont* gui = [] {
        LOGFONTW font{};
        font.lfHeight = -11;
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        SetFace(font, u"MS Shell Dlg");
        return NewFont(font, true);
    }();
    static GdiFont* ansiVar = [] {
        LOGFONTW font{};
        font.lfHeight = 12;
        font.lfWidth = 9;
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = ANSI_CHARSET;
        font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        SetFace(font, u"MS Sans Serif");
        return NewFont(font, true);
    }();
    static GdiFont* fixed = [] {
        LOGFONTW font{};
        font.lfHeight = 12;
        font.lfWidth = 9;
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = ANSI_CHARSET;
        font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        SetFace(font, u"Courier");
        return NewFont(font, true);
    }();
    switch (index) {
        case SYSTEM_FONT:
        case DEVICE_DEFAULT_FONT: return system;
        case DEFAULT_GUI_FONT: return gui;
        case ANSI_VAR_FONT: return ansiVar;
        case ANSI_FIXED_FONT:
        case OEM_FIXED_FONT:
        case SYSTEM_FIXED_FONT: return fixed;
        default: return nullptr;
    }
}

HDC NewContext(DWORD type) {
    auto* context = new (std::nothrow) DeviceContext{StockFont(SYSTEM_FONT), type};
    if (!context) return nullptr;
    std::lock_guard<std::mutex> lock(g_objectsMutex);
    g_contexts.insert(context);
    return reinterpret_cast<HDC>(context);
}

void FreeContext(DeviceContext* context) {
    {
        std::lock_guard<std::mutex> lock(g_objectsMutex);
        g_contexts.erase(context);
    }
    delete context;
}

}  // namespace

// CreateFontIndirectW: a logical font from its description.
//   lplf [in] the description; the face name is cut to 31 characters.
// Returns the font handle, or NULL for a null description or out of memory.
// NOTES: no face is matched here; matching happens when the font measures.
WINBASEAPI HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf) {
    if (!lplf) return nullptr;
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

// GetStockObject: a stock font (SYSTEM_FONT, DEVICE_DEFAULT_FONT,
// DEFAULT_GUI_FONT, ANSI_VAR_FONT, ANSI_FIXED_FONT, OEM_FIXED_FONT,
// SYSTEM_FIXED_FONT). Returns NULL for any other index. Stock objects are
// never deleted.
WINBASEAPI HGDIOBJ WINAPI GetStockObject(int i) { return reinterpret_cast<HGDIOBJ>(StockFont(i)); }

// GetObjectW: the description of a graphics object.
//   h  [in] a font handle.
//   c  [in] the size of pv.
//   pv [out] receives the LOGFONTW as the font was created (NULL asks for the size).
// Returns the number of bytes stored (at most c), sizeof(LOGFONTW) for a NULL
// pv, or 0 for an unknown handle.
WINBASEAPI int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
    GdiFont* font = FontOf(h);
    if (!font) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!pv) return sizeof(LOGFONTW);
    if (c <= 0) return 0;
    const int size = c < static_cast<int>(sizeof(LOGFONTW)) ? c : static_cast<int>(sizeof(LOGFONTW));
    std::memcpy(pv, &font->font, static_cast<size_t>(size));
    return size;
}

// GetObjectType: OBJ_FONT, OBJ_DC or OBJ_MEMDC; 0 for an unknown handle.
WINBASEAPI DWORD WINAPI GetObjectType(HGDIOBJ h) {
    if (FontOf(h)) return OBJ_FONT;
    if (DeviceContext* context = ContextOf(reinterpret_cast<HDC>(h))) return context->type;
    return 0;
}

// DeleteObject: deletes a font.
//   ho [in] the font.
// Returns TRUE; also for a stock font, which stays. FALSE for an unknown handle
// or a font selected into a device context (it stays alive, as on Windows).
WINBASEAPI BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    std::lock_guard<std::mutex> lock(g_objectsMutex);
    if (!g_fonts.count(ho)) return FALSE;
    auto* font = reinterpret_cast<GdiFont*>(ho);
    if (font->stock) return TRUE;
    for (const void* c : g_contexts) {
        if (static_cast<const DeviceContext*>(c)->font == font) return FALSE;
    }
    g_fonts.erase(ho);
    delete font;
    return TRUE;
}

// SelectObject: makes a font the device context's current font.
//   hdc [in] the device context.
//   h   [in] the font.
// Returns the previously selected font, or NULL for an unknown context or font.
WINBASEAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    DeviceContext* context = ContextOf(hdc);
    GdiFont* font = FontOf(h);
    if (!context || !font) return nullptr;
    GdiFont* previous = context->font;
    context->font = font;
    return reinterpret_cast<HGDIOBJ>(previous);
}

// CreateCompatibleDC: a memory device context, holding the system font.
//   hdc [in] the context to be compatible with, or NULL for the screen.
// Returns the context, or NULL.
WINBASEAPI HDC WINAPI CreateCompatibleDC(HDC hdc) {
    if (hdc && !ContextOf(hdc)) return nullptr;
    return NewContext(OBJ_MEMDC);
}

// DeleteDC: releases a memory device context (its selected font is not deleted).
// Returns TRUE, or FALSE for an unknown context.
WINBASEAPI BOOL WINAPI DeleteDC(HDC hdc) {
    DeviceContext* context = ContextOf(hdc);
    if (!context) return FALSE;
    FreeContext(context);
    return TRUE;
}

// GetDC: a device context for a window's client area; with no window (NULL),
// for the screen. It starts with the system font. Returns NULL for a window
// handle, since windows do not exist yet.
WINBASEAPI HDC WINAPI GetDC(HWND hWnd) { return hWnd ? nullptr : NewContext(OBJ_DC); }

// ReleaseDC: gives back a context from GetDC. Returns 1, or 0 for an unknown one.
WINBASEAPI int WINAPI ReleaseDC(HWND, HDC hDC) {
    DeviceContext* context = ContextOf(hDC);
    if (!context || context->type != OBJ_DC) return 0;
    FreeContext(context);
    return 1;
}

// GetDeviceCaps: LOGPIXELSX and LOGPIXELSY give 96; HORZRES 1920; VERTRES
// 1080; BITSPIXEL 32; any other index 0 (also for an unknown context).
WINBASEAPI int WINAPI GetDeviceCaps(HDC hdc, int index) {
    if (!ContextOf(hdc)) return 0;
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY: return kPixelsPerInch;
        case HORZRES: return 1920;
        case VERTRES: return 1080;
        case BITSPIXEL: return 32;
        default: return 0;
    }
}

// GetTextMetricsW: the metrics of the context's current font.
// Returns FALSE for an unknown context or a font whose face cannot be loaded.
WINBASEAPI BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
    DeviceContext* context = ContextOf(hdc);
    if (!context || !lptm) return FALSE;
    return qelv_font::Metrics(context->font->font, lptm) ? TRUE : FALSE;
}

// GetTextExtentPoint32W: the width and height in pixels of c UTF-16 units in the
// context's current font: cx the sum of the advances, cy the font's height
// (tmHeight). c = 0 gives a width of 0. Returns FALSE for an unknown context,
// a null string with c > 0, c < 0, or no face.
WINBASEAPI BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, SIZE* psizl) {
    DeviceContext* context = ContextOf(hdc);
    if (!context || !psizl || c < 0 || (!lpString && c > 0)) return FALSE;
    TEXTMETRICW tm;
    LONG width = 0;
    if (!qelv_font::Metrics(context->font->font, &tm) ||
        !qelv_font::TextWidth(context->font->font, lpString, c, &width)) {
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
    DeviceContext* context = ContextOf(hdc);
    if (!context) return 0;
    const std::u16string name = qelv_font::FaceName(context->font->font);
    if (!lpName) return static_cast<int>(name.size()) + 1;
    if (c <= 0) return 0;
    const size_t count = name.size() < static_cast<size_t>(c - 1) ? name.size() : static_cast<size_t>(c - 1);
    std::memcpy(lpName, name.data(), count * sizeof(WCHAR));
    lpName[count] = 0;
    return static_cast<int>(count) + 1;
}
