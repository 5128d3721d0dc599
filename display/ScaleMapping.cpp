#include "display/ScaleMapping.h"

#include <cmath>

namespace qelv {
namespace {

// log10 and 2^t as doubles, taken in extended precision and rounded once, so
// that they do not depend on the last bit of a C library's double functions.
double Log10(double value) { return static_cast<double>(std::log10(static_cast<long double>(value))); }
double PowerOfTwo(double t) { return static_cast<double>(std::pow(2.0L, static_cast<long double>(t))); }

}  // namespace

LONG TruncateToLong(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return 2147483647;
    if (value <= -2147483648.0) return -2147483647 - 1;
    return static_cast<LONG>(value);
}

void PlotSize(LONG width, LONG height, LONG labelWidth, LONG textHeight, bool xScaleVisible, bool yScaleVisible,
              LONG* plotWidth, LONG* plotHeight) {
    *plotWidth = yScaleVisible ? width - labelWidth - 4 : width;
    *plotHeight = xScaleVisible ? height - textHeight - 4 : height;
}

PixelPoint ScaleToPixel(const ScaleGeometry& g, FLOAT x, FLOAT y) {
    const double w = g.plotWidth;
    const double h = g.plotHeight;
    const double xMin = g.xMin;
    const double range = static_cast<double>(g.xMax) - xMin;
    PixelPoint p{};
    if (!g.logScale) {
        p.x = TruncateToLong((static_cast<double>(x) - xMin) * w / range);
    } else if (x <= g.xMin) {
        p.x = 0;
    } else if (x >= g.xMax) {
        p.x = g.plotWidth;
    } else {
        // log2 of the ratio, formed as log10(ratio) / log10(2).
        const double octaves = Log10((static_cast<double>(x) - xMin) / range) / Log10(2.0);
        p.x = TruncateToLong(w + static_cast<double>(TruncateToLong(w * octaves / 12.0)));
    }
    const double yMax = g.yMax;
    p.y = TruncateToLong((yMax - y) * h / (yMax - static_cast<double>(g.yMin)));
    return p;
}

ScalePoint PixelToScale(const ScaleGeometry& g, LONG px, LONG py) {
    const double w = g.plotWidth;
    const double h = g.plotHeight;
    const double xMin = g.xMin;
    const double range = static_cast<double>(g.xMax) - xMin;
    ScalePoint s{};
    if (!g.logScale) {
        s.x = static_cast<FLOAT>(range * px / w + xMin);
    } else {
        const double t = (w - px) * 12.0 / w;
        s.x = static_cast<FLOAT>(xMin + range / PowerOfTwo(t));
    }
    const double yMax = g.yMax;
    s.y = static_cast<FLOAT>(yMax - (yMax - static_cast<double>(g.yMin)) * py / h);
    return s;
}

}  // namespace qelv
