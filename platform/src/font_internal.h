// Links between the graphics objects (gdi.cpp) and the font matcher and
// measurer (font_face.cpp).
#pragma once

#include <qelvsonalter2/platform.h>

#include <string>

namespace qelv_font {

// The pixel metrics of a logical font as the screen (96 pixels per inch)
// realises it: the fields of TEXTMETRICW.
bool Metrics(const LOGFONTW& font, TEXTMETRICW* metrics);

// The width of text in pixels (the sum of the hinted advances, no kerning) in
// the realised font; false when no face could be loaded.
bool TextWidth(const LOGFONTW& font, const char16_t* text, int length, LONG* width);

// Receives the coverage (1..255) of one pixel of rasterised text.
using CoverageSink = void (*)(void* target, LONG x, LONG y, unsigned coverage);

// Rasterises text (grey levels) with its pen starting at (x, baseline) in the
// realised font; glyphs advance by their hinted advances, exactly as TextWidth
// sums them. Returns false when no face could be loaded.
bool DrawText(const LOGFONTW& font, const char16_t* text, int length, LONG x, LONG baseline, CoverageSink sink,
              void* target);

// The family name of the face the font is realised with.
std::u16string FaceName(const LOGFONTW& font);

}  // namespace qelv_font
