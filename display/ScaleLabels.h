// The numbers shown on the scale labels.
#pragma once

#include "server/Platform.h"

namespace qelv {

// The value a label shows for scale value v: within +-1000 the nearest whole
// number, beyond it the nearest multiple of ten, halves away from zero
// (1234.4 -> 1230, 1235 -> 1240, -0.5 -> -1). Computed in double, truncated
// with saturation, so no input is undefined (NaN gives 0).
LONG RoundLabelValue(FLOAT v);

// The plain signed decimal text of value into text (capacity >= 12); returns
// its length.
int DecimalText(LONG value, char* text, int capacity);

}  // namespace qelv
