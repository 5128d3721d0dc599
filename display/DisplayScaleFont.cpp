// The scale font: the font handle the scale labels are drawn with, either the
// control's own default or the handle of a font object the host gave.
#include "display/SonalterDisplay2.h"

namespace qelv {
namespace {

// Vertical pixels per inch of the screen (the control measures there while it
// has no window of its own).
int ScreenPixelsPerInchY() {
    HDC screen = GetDC(nullptr);
    if (!screen) return 96;
    const int perInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return perInch > 0 ? perInch : 96;
}

}  // namespace

void CSonalterDisplay2::ReleaseScaleFont() {
    if (scaleFont_ && ownsScaleFont_) DeleteObject(scaleFont_);
    scaleFont_ = nullptr;
    ownsScaleFont_ = false;
    if (scaleFontObject_) scaleFontObject_->Release();
    scaleFontObject_ = nullptr;
}

// A font object given through ScaleFont is asked for its handle each time, so
// that a handle it replaced (after its description changed) is never used.
// Without one the default is "Small Fonts" at a 7-point character height,
// weight 400, ANSI character set, default precision, quality and pitch.
HFONT CSonalterDisplay2::ScaleFontHandle() {
    if (scaleFontObject_) {
        HFONT current = nullptr;
        if (SUCCEEDED(scaleFontObject_->get_hFont(&current)) && current) scaleFont_ = current;
        return scaleFont_;
    }
    if (scaleFont_) return scaleFont_;
    LOGFONTW font{};
    font.lfHeight = -MulDiv(7, ScreenPixelsPerInchY(), 72);
    font.lfWidth = 0;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const OLECHAR face[] = OLESTR("Small Fonts");
    for (size_t k = 0; k < sizeof face / sizeof face[0]; ++k) font.lfFaceName[k] = face[k];
    scaleFont_ = CreateFontIndirectW(&font);
    ownsScaleFont_ = scaleFont_ != nullptr;
    return scaleFont_;
}

// A null font changes nothing. Otherwise the font object's handle becomes the
// scale font; the object is held for as long as its handle is used.
STDMETHODIMP CSonalterDisplay2::putref_ScaleFont(IFontDisp* pFont) {
    if (!pFont) return S_OK;
    IFont* font = nullptr;
    HRESULT hr = pFont->QueryInterface(IID_IFont, reinterpret_cast<void**>(&font));
    if (FAILED(hr)) return hr;
    HFONT handle = nullptr;
    hr = font->get_hFont(&handle);
    if (FAILED(hr) || !handle) {
        font->Release();
        return FAILED(hr) ? hr : E_FAIL;
    }
    ReleaseScaleFont();
    scaleFont_ = handle;
    ownsScaleFont_ = false;
    scaleFontObject_ = font;
    RedrawNow();
    return S_OK;
}

// A new standard font object describing the scale font handle: its face, its
// size as |height| * 720000 / pixels per inch in ten-thousandths of a point
// (integer arithmetic), weight, character set, italic, underline, strike-out.
STDMETHODIMP CSonalterDisplay2::get_ScaleFont(IFontDisp** ppFont) {
    if (!ppFont) return E_POINTER;
    *ppFont = nullptr;
    HFONT handle = ScaleFontHandle();
    if (!handle) return E_OUTOFMEMORY;
    LOGFONTW font{};
    if (GetObjectW(handle, sizeof font, &font) == 0) return E_FAIL;
    font.lfFaceName[LF_FACESIZE - 1] = 0;
    const long long height = font.lfHeight < 0 ? -static_cast<long long>(font.lfHeight) : font.lfHeight;
    FONTDESC description{};
    description.cbSizeofstruct = sizeof description;
    description.lpstrName = font.lfFaceName;
    description.cySize.Lo = static_cast<ULONG>(height * 720000 / ScreenPixelsPerInchY());
    description.cySize.Hi = 0;
    description.sWeight = static_cast<SHORT>(font.lfWeight);
    description.sCharset = font.lfCharSet;
    description.fItalic = font.lfItalic != 0;
    description.fUnderline = font.lfUnderline != 0;
    description.fStrikethrough = font.lfStrikeOut != 0;
    return OleCreateFontIndirect(&description, IID_IFontDisp, reinterpret_cast<void**>(ppFont));
}

}  // namespace qelv
