#include "display/ScaleMargins.h"

#include <cstdio>

#include "display/ScaleMapping.h"

namespace qelv {

int RepresentativeLabel(FLOAT limit, char* text, int capacity) {
    const LONG value = TruncateToLong(3.0 * static_cast<double>(limit) / 4.0);
    const int length = std::snprintf(text, static_cast<size_t>(capacity), "%ld", static_cast<long>(value));
    return length < 0 ? 0 : length;
}

ScaleMargins MeasureMargins(HDC dc, FLOAT yMax, FLOAT yMin, BSTR caption) {
    char upper[16];
    char lower[16];
    const int upperLength = RepresentativeLabel(yMax, upper, sizeof upper);
    const int lowerLength = RepresentativeLabel(yMin, lower, sizeof lower);
    SIZE a{0, 0};
    SIZE b{0, 0};
    SIZE c{0, 0};
    GetTextExtentPoint32A(dc, upper, upperLength, &a);
    GetTextExtentPoint32A(dc, lower, lowerLength, &b);
    if (caption) GetTextExtentPoint32W(dc, caption, static_cast<int>(SysStringLen(caption)), &c);
    LONG width = a.cx;
    if (b.cx > width) width = b.cx;
    if (c.cx > width) width = c.cx;
    return ScaleMargins{width, b.cy};
}

}  // namespace qelv
