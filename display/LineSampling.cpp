#include "display/LineSampling.h"

namespace qelv {

FLOAT ValueAt(const DisplayPoint* pairs, LONG count, FLOAT p) {
    if (count <= 0) return 0.0f;
    // hi: the first pair with x >= p; lo: the last pair with x <= p. Sorted
    // pairs make both one scan; positions outside the range take the end pair.
    LONG hi = 0;
    while (hi < count && !(pairs[hi].x >= p)) ++hi;
    LONG lo = count - 1;
    while (lo >= 0 && !(pairs[lo].x <= p)) --lo;
    if (hi == count) return pairs[count - 1].y;
    if (lo < 0) return pairs[0].y;
    const double xLo = pairs[lo].x;
    const double xHi = pairs[hi].x;
    const double yLo = pairs[lo].y;
    const double yHi = pairs[hi].y;
    if (xLo == xHi) return pairs[lo].y;
    return static_cast<FLOAT>(((yHi - yLo) * p + xHi * yLo - xLo * yHi) / (xHi - xLo));
}

double LinePosition(FLOAT xMin, FLOAT xMax, LONG i, LONG n) {
    return static_cast<double>(xMin) + static_cast<double>(i) * (static_cast<double>(xMax) - xMin) / n;
}

void SampleCurve(const DisplayPoint* pairs, LONG count, FLOAT xMin, FLOAT xMax, FLOAT* values, LONG n) {
    for (LONG i = 0; i < n; ++i) {
        values[i] = ValueAt(pairs, count, static_cast<FLOAT>(LinePosition(xMin, xMax, i, n)));
    }
}

}  // namespace qelv
