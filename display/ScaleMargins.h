// The sizes of the scale bands, measured with a device context's current font.
#pragma once

#include "server/Platform.h"

namespace qelv {

struct ScaleMargins {
    LONG labelWidth;  // ScaleLabelWidth: the Y band is this + 4 pixels wide
    LONG textHeight;  // ScaleTextHeight: the X band is this + 4 pixels high
};

// The decimal text of trunc(3 * limit / 4), with a leading minus when negative:
// the representative label of a Y limit ("15" and "-15" for 20 and -20).
int RepresentativeLabel(FLOAT limit, char* text, int capacity);

// labelWidth: the widest of the representative labels of yMax and yMin and of
// the caption (an absent caption measures 0); textHeight: the height of yMin's
// label. Measured in dc with the font it holds.
ScaleMargins MeasureMargins(HDC dc, FLOAT yMax, FLOAT yMin, BSTR caption);

}  // namespace qelv
