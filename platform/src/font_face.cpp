// Fonts: a logical font is matched to a face through fontconfig and measured
// with FreeType at the pixel size the logical font asks for.
//
// Face names that the Windows system provides are mapped to faces of the
// DejaVu family (Debian package fonts-dejavu-core): "Small Fonts", "System",
// "MS Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2", "Microsoft Sans Serif",
// "Arial" and "Tahoma" to "DejaVu Sans"; "Courier", "Courier New", "Fixedsys"
// and "Terminal" to "DejaVu Sans Mono"; "Times New Roman" to "DejaVu Serif".
// Any other name goes to fontconfig as it is, which substitutes as configured.
//
// Sizes: a negative lfHeight is the character (em) height in pixels; a
// positive one the cell height (ascent + descent), from which the em height is
// derived with the face's Windows ascent and descent; 0 asks for a 16-pixel
// cell. Ascent, descent, average and maximum widths come from the face's
// OS/2 and head tables scaled to the em height, rounded to nearest. A non-zero
// lfWidth scales the glyphs horizontally to that average width.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include "font_internal.h"
#include "module_internal.h"

namespace qelv_font {
namespace {

struct FaceKey {
    std::string family;
    int weight;
    bool italic;
    bool operator<(const FaceKey& other) const {
        return std::tie(family, weight, italic) < std::tie(other.family, other.weight, other.italic);
    }
};

struct LoadedFace {
    FT_Face face = nullptr;
    std::u16string family;
};

std::mutex g_mutex;
FT_Library g_library = nullptr;
std::map<FaceKey, LoadedFace> g_faces;

char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool SameName(const std::u16string& a, const char16_t* b) {
    size_t k = 0;
    for (; k < a.size() && b[k]; ++k) {
        if (Fold(a[k]) != Fold(b[k])) return false;
    }
    return k == a.size() && b[k] == 0;
}

std::string MappedFamily(const LOGFONTW& font) {
    std::u16string name;
    for (int k = 0; k < LF_FACESIZE && font.lfFaceName[k]; ++k) name.push_back(font.lfFaceName[k]);
    static const struct {
        const char16_t* windows;
        const char* family;
    } kMap[] = {
        {u"Small Fonts", "DejaVu Sans"},     {u"System", "DejaVu Sans"},
        {u"MS Sans Serif", "DejaVu Sans"},   {u"MS Shell Dlg", "DejaVu Sans"},
        {u"MS Shell Dlg 2", "DejaVu Sans"},  {u"Microsoft Sans Serif", "DejaVu Sans"},
        {u"Arial", "DejaVu Sans"},           {u"Tahoma", "DejaVu Sans"},
        {u"Courier", "DejaVu Sans Mono"},    {u"Courier New", "DejaVu Sans Mono"},
        {u"Fixedsys", "DejaVu Sans Mono"},   {u"Terminal", "DejaVu Sans Mono"},
        {u"Times New Roman", "DejaVu Serif"},
    };
    for (const auto& entry : kMap) {
        if (SameName(name, entry.windows)) return entry.family;
    }
    if (name.empty()) return (font.lfPitchAndFamily & 3) == FIXED_PITCH ? "monospace" : "sans-serif";
    return qelv_rt::Utf16ToUtf8(name);
}

// The face for a logical font, loaded once per family, weight and slant.
// Called with g_mutex held.
LoadedFace* FaceFor(const LOGFONTW& font) {
    if (!g_library && FT_Init_FreeType(&g_library) != 0) {
        g_library = nullptr;
        return nullptr;
    }
    const int weight = font.lfWeight <= 0 ? FW_NORMAL : (font.lfWeight > 1000 ? 1000 : font.lfWeight);
    FaceKey key{MappedFamily(font), weight, font.lfItalic != 0};
    auto found = g_faces.find(key);
    if (found != g_faces.end()) return &found->second;

    // fontconfig is initialised once and released when the process ends, so
    // that its configuration is not left allocated behind it.
    static const bool fontconfigReady = [] {
        if (!FcInit()) return false;
        std::atexit(FcFini);
        return true;
    }();
    if (!fontconfigReady) return nullptr;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(key.family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, key.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return nullptr;
    FcChar8* file = nullptr;
    FcChar8* family = nullptr;
    int index = 0;
    LoadedFace loaded;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        if (FT_New_Face(g_library, reinterpret_cast<const char*>(file), index, &loaded.face) != 0) loaded.face = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch) {
            loaded.family = qelv_rt::Utf8ToUtf16Lossy(reinterpret_cast<const char*>(family));
        }
    }
    FcPatternDestroy(match);
    if (!loaded.face) return nullptr;
    return &g_faces.emplace(key, loaded).first->second;
}

// The face's Windows ascent and descent in font units (OS/2 table, else hhea).
void WindowsExtents(FT_Face face, long* ascent, long* descent) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        *ascent = os2->usWinAscent;
        *descent = os2->usWinDescent;
    } else {
        *ascent = face->ascender;
        *descent = -face->descender;
    }
    if (*ascent + *descent <= 0) {
        *ascent = face->units_per_EM;
        *descent = 0;
    }
}

long Scale(long units, long em, long unitsPerEm) {
    return static_cast<long>(std::floor(static_cast<double>(units) * em / unitsPerEm + 0.5));
}

// The em height in pixels for the logical font on face.
long EmPixels(const LOGFONTW& font, FT_Face face) {
    if (font.lfHeight < 0) return font.lfHeight == LONG(-2147483647 - 1) ? 2147483647 : -font.lfHeight;
    const long cell = font.lfHeight == 0 ? 16 : font.lfHeight;
    long ascent = 0;
    long descent = 0;
    WindowsExtents(face, &ascent, &descent);
    const long em = Scale(cell, face->units_per_EM, ascent + descent);
    return em < 1 ? 1 : em;
}

// Pixel sizes above this are measured at this size and scaled, so that no
// request makes FreeType rasterise enormous outlines.
constexpr long kLargestMeasuredEm = 4096;

// The average character width in pixels that the face has at em pixels (the
// OS/2 table's, else half the em).
long NaturalAverage(FT_Face face, long em) {
    const long upem = face->units_per_EM ? face->units_per_EM : 2048;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    return Scale(os2 && os2->version != 0xFFFF ? os2->xAvgCharWidth : upem / 2, em, upem);
}

// A non-zero lfWidth asks for that average character width: the glyphs, hinted
// at the em height, are narrowed or widened by lfWidth / the natural average,
// and every advance is the scaled hinted advance rounded up to a whole pixel.
// (The stock system font asks for 7 where the face gives 8, which makes its
// digits 9 pixels wide instead of 10.) Returns the horizontal scale in 16.16,
// 1.0 when lfWidth is 0; the scale is kept within 1/64 .. 64.
FT_Fixed WidthScale(const LOGFONTW& font, FT_Face face, long em) {
    if (font.lfWidth == 0) return 0x10000;
    const long natural = NaturalAverage(face, em);
    if (natural <= 0) return 0x10000;
    const double asked = std::fabs(static_cast<double>(font.lfWidth));
    const double ratio = std::min(64.0, std::max(1.0 / 64.0, asked / static_cast<double>(natural)));
    return static_cast<FT_Fixed>(std::llround(ratio * 65536.0));
}

// Prepares the face for glyphs of the logical font: the pixel size and the
// horizontal scale. Returns the scale, or 0 when FreeType refuses the size.
FT_Fixed PrepareFace(const LOGFONTW& font, FT_Face face, long em, long pixels) {
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) return 0;
    const FT_Fixed scale = WidthScale(font, face, em);
    FT_Matrix matrix{scale, 0, 0, 0x10000};
    FT_Set_Transform(face, scale == 0x10000 ? nullptr : &matrix, nullptr);
    return scale;
}

// The advance of the glyph just loaded, in whole pixels.
long long Advance(FT_Face face, FT_Fixed scale) {
    const FT_Pos advance = face->glyph->advance.x;
    return scale == 0x10000 ? (advance + 32) >> 6 : (advance + 63) >> 6;
}

}  // namespace

bool Metrics(const LOGFONTW& font, TEXTMETRICW* tm) {
    std::lock_guard<std::mutex> lock(g_mutex);
    LoadedFace* loaded = FaceFor(font);
    if (!loaded) return false;
    FT_Face face = loaded->face;
    const long upem = face->units_per_EM ? face->units_per_EM : 2048;
    const long em = EmPixels(font, face);
    long ascent = 0;
    long descent = 0;
    WindowsExtents(face, &ascent, &descent);
    *tm = TEXTMETRICW{};
    tm->tmAscent = Scale(ascent, em, upem);
    tm->tmDescent = Scale(descent, em, upem);
    tm->tmHeight = tm->tmAscent + tm->tmDescent;
    tm->tmInternalLeading = tm->tmHeight > em ? tm->tmHeight - em : 0;
    tm->tmExternalLeading = 0;
    tm->tmAveCharWidth = NaturalAverage(face, em);
    tm->tmMaxCharWidth = Scale(face->bbox.xMax - face->bbox.xMin, em, upem);
    if (const FT_Fixed scale = WidthScale(font, face, em); scale != 0x10000) {
        tm->tmAveCharWidth = static_cast<LONG>(std::min(std::fabs(static_cast<double>(font.lfWidth)), 2147483647.0));
        tm->tmMaxCharWidth = static_cast<LONG>(std::ceil(static_cast<double>(tm->tmMaxCharWidth) * scale / 65536.0));
    }
    tm->tmWeight = font.lfWeight <= 0 ? FW_NORMAL : font.lfWeight;
    tm->tmOverhang = 0;
    tm->tmDigitizedAspectX = 96;
    tm->tmDigitizedAspectY = 96;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFFFC;
    tm->tmDefaultChar = 0x1F;
    tm->tmBreakChar = 0x20;
    tm->tmItalic = font.lfItalic ? 255 : 0;
    tm->tmUnderlined = font.lfUnderline ? 255 : 0;
    tm->tmStruckOut = font.lfStrikeOut ? 255 : 0;
    // Windows sets TMPF_FIXED_PITCH for a variable-pitch font.
    tm->tmPitchAndFamily = static_cast<BYTE>((FT_IS_FIXED_WIDTH(face) ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR |
                                             TMPF_TRUETYPE | FF_SWISS);
    tm->tmCharSet = font.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : font.lfCharSet;
    return true;
}

bool TextWidth(const LOGFONTW& font, const char16_t* text, int length, LONG* width) {
    std::lock_guard<std::mutex> lock(g_mutex);
    *width = 0;
    LoadedFace* loaded = FaceFor(font);
    if (!loaded) return false;
    FT_Face face = loaded->face;
    const long em = EmPixels(font, face);
    const long measured = em > kLargestMeasuredEm ? kLargestMeasuredEm : em;
    const FT_Fixed scale = PrepareFace(font, face, em, measured);
    if (scale == 0) return false;
    long long total = 0;
    for (int k = 0; k < length; ++k) {
        char32_t code = text[k];
        if (code >= 0xD800 && code < 0xDC00 && k + 1 < length && text[k + 1] >= 0xDC00 && text[k + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[k + 1] - 0xDC00);
            ++k;
        }
        if (FT_Load_Char(face, code, FT_LOAD_DEFAULT) != 0) continue;
        total += Advance(face, scale);
    }
    FT_Set_Transform(face, nullptr, nullptr);
    if (measured != em) total = static_cast<long long>(std::floor(static_cast<double>(total) * em / measured + 0.5));
    *width = total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<LONG>(total);
    return true;
}

bool DrawText(const LOGFONTW& font, const char16_t* text, int length, LONG x, LONG baseline, CoverageSink sink,
              void* target) {
    std::lock_guard<std::mutex> lock(g_mutex);
    LoadedFace* loaded = FaceFor(font);
    if (!loaded) return false;
    FT_Face face = loaded->face;
    const long em = EmPixels(font, face);
    // Glyphs larger than the largest measured size are not rasterised.
    if (em > kLargestMeasuredEm) return true;
    const FT_Fixed scale = PrepareFace(font, face, em, em);
    if (scale == 0) return false;
    long long pen = x;
    for (int k = 0; k < length; ++k) {
        char32_t code = text[k];
        if (code >= 0xD800 && code < 0xDC00 && k + 1 < length && text[k + 1] >= 0xDC00 && text[k + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[k + 1] - 0xDC00);
            ++k;
        }
        if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        const long long left = pen + glyph->bitmap_left;
        const long long top = static_cast<long long>(baseline) - glyph->bitmap_top;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            const unsigned char* line = bitmap.buffer + static_cast<long long>(row) * bitmap.pitch;
            for (unsigned column = 0; column < bitmap.width; ++column) {
                unsigned coverage = 0;
                if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
                    coverage = (line[column >> 3] & (0x80u >> (column & 7))) ? 255u : 0u;
                } else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                    coverage = bitmap.num_grays > 1 ? line[column] * 255u / (bitmap.num_grays - 1u) : line[column];
                }
                const long long px = left + column;
                const long long py = top + row;
                if (coverage && px >= -0x7FFFFFFF && px <= 0x7FFFFFFF && py >= -0x7FFFFFFF && py <= 0x7FFFFFFF) {
                    sink(target, static_cast<LONG>(px), static_cast<LONG>(py), coverage);
                }
            }
        }
        pen += Advance(face, scale);
    }
    FT_Set_Transform(face, nullptr, nullptr);
    return true;
}

std::u16string FaceName(const LOGFONTW& font) {
    std::lock_guard<std::mutex> lock(g_mutex);
    LoadedFace* loaded = FaceFor(font);
    return loaded ? loaded->family : std::u16string();
}

}  // namespace qelv_font
