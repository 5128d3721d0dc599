#include "transform/effects/DelayParameters.h"

#include <cmath>

namespace qelv::dsp {

bool PercentInRange(float percent) { return percent >= 0.0f && percent <= 100.0f; }

DelayMix MakeDelayMix(float mixDepth, float feedBackGain) {
    const float wet = mixDepth / 100.0f;
    return {1.0f - wet, wet, feedBackGain / 100.0f};
}

bool AcceptDelayLength(long double entries, std::size_t minimum, std::size_t n, std::size_t* length) {
    // trunc(entries) >= minimum and trunc(entries) < n hold exactly when
    // entries >= minimum and entries < n, since both bounds are whole numbers.
    // The comparisons are false for NaN, so it is refused as well.
    if (!(entries >= static_cast<long double>(minimum) && entries < static_cast<long double>(n))) return false;
    *length = static_cast<std::size_t>(std::trunc(entries));
    return true;
}

}  // namespace qelv::dsp
