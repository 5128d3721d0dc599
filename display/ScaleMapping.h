// Mapping between scale values and pixels of the plot area. The plot sits at the
// window's top left; the Y scale band takes the right edge and the X scale band
// the bottom. Plain functions: the caller supplies the limits, the control's
// size and the measured band sizes, so nothing is cached between calls.
#pragma once

#include "server/Platform.h"

namespace qelv {

struct ScaleGeometry {
    FLOAT xMin;
    FLOAT xMax;
    FLOAT yMin;
    FLOAT yMax;
    bool logScale;
    LONG plotWidth;   // W
    LONG plotHeight;  // H
};

struct PixelPoint {
    LONG x;
    LONG y;
};

struct ScalePoint {
    FLOAT x;
    FLOAT y;
};

// The plot size of the mappings: the control's width less the Y band
// (labelWidth + 4) when the Y scale is visible, its height less the X band
// (textHeight + 4) when the X scale is visible.
void PlotSize(LONG width, LONG height, LONG labelWidth, LONG textHeight, bool xScaleVisible, bool yScaleVisible,
              LONG* plotWidth, LONG* plotHeight);

// Scale value to pixel, in double precision, truncated toward zero. Linear x
// is not clamped; logarithmic x (12 octaves across the plot) is clamped to
// 0..W. A result outside the 32-bit range (or not a number) saturates to the
// nearest limit (NaN gives 0).
PixelPoint ScaleToPixel(const ScaleGeometry& g, FLOAT x, FLOAT y);

// Pixel to scale value, in double precision, stored as 32-bit floats; no
// clamping, so pixels outside the plot give values outside the scale range.
ScalePoint PixelToScale(const ScaleGeometry& g, LONG px, LONG py);

// Truncates toward zero into a 32-bit integer; out-of-range values saturate and
// NaN gives 0, so no input is undefined.
LONG TruncateToLong(double value);

}  // namespace qelv
