// The control's mappings between its window's pixels and scale values: the
// plot size from the control's size and freshly measured scale bands.
#include "display/ScaleMargins.h"
#include "display/SonalterDisplay2.h"

namespace qelv {

SIZE CSonalterDisplay2::ControlPixelSize() {
    const SIZE size{PositionRect.right - PositionRect.left, PositionRect.bottom - PositionRect.top};
    if (size.cx > 0 && size.cy > 0) return size;
    return ExtentPixels();
}

SIZE CSonalterDisplay2::ExtentPixels() {
    SIZE size;
    HDC screen = GetDC(nullptr);
    const int perInchX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    const int perInchY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    // HIMETRIC is 0.01 mm: 2540 units to the inch.
    size.cx = MulDiv(static_cast<int>(Extent.cx), perInchX, 2540);
    size.cy = MulDiv(static_cast<int>(Extent.cy), perInchY, 2540);
    return size;
}

// The bands are measured with the device context's default font, not the scale
// font, exactly as drawing measures them, so drawing and mouse mapping agree.
ScaleGeometry CSonalterDisplay2::MappingGeometry() {
    ScaleMargins margins{0, 0};
    HDC dc = GetDC(Window);
    if (dc) {
        margins = MeasureMargins(dc, ScaleYMax, ScaleYMin, ScaleYCaption);
        ReleaseDC(Window, dc);
    }
    const SIZE size = ControlPixelSize();
    ScaleGeometry g{ScaleXMin, ScaleXMax, ScaleYMin, ScaleYMax, LogScale != 0, 0, 0};
    PlotSize(size.cx, size.cy, margins.labelWidth, margins.textHeight, ScaleXVisible != 0, ScaleYVisible != 0,
             &g.plotWidth, &g.plotHeight);
    return g;
}

STDMETHODIMP CSonalterDisplay2::MouseXToScaleX(INT MouseX, FLOAT* ScaleX) {
    if (!ScaleX) return E_POINTER;
    *ScaleX = PixelToScale(MappingGeometry(), MouseX, 0).x;
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::MouseYToScaleY(INT MouseY, FLOAT* ScaleY) {
    if (!ScaleY) return E_POINTER;
    *ScaleY = PixelToScale(MappingGeometry(), 0, MouseY).y;
    return S_OK;
}

}  // namespace qelv
