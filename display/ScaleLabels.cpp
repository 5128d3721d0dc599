#include "display/ScaleLabels.h"

#include <cmath>
#include <cstdio>

#include "display/ScaleMapping.h"

namespace qelv {

LONG RoundLabelValue(FLOAT v) {
    const double value = static_cast<double>(v);
    if (value <= 0.0 && value >= -1000.0) return TruncateToLong(value - 0.5);
    if (value < -1000.0) return TruncateToLong(std::trunc((value - 5.0) / 10.0) * 10.0);
    if (value > 0.0 && value <= 1000.0) return TruncateToLong(value + 0.5);
    if (value > 1000.0) return TruncateToLong(std::trunc((value + 5.0) / 10.0) * 10.0);
    return 0;  // NaN
}

int DecimalText(LONG value, char* text, int capacity) {
    const int length = std::snprintf(text, static_cast<size_t>(capacity), "%ld", static_cast<long>(value));
    return length < 0 ? 0 : (length >= capacity ? capacity - 1 : length);
}

}  // namespace qelv
