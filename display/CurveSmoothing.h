// Smoothing of a sampled curve by a second-order low-pass run forwards and
// backwards over the values, the two runs averaged.
#pragma once

#include "server/Platform.h"

namespace qelv {

// Smooths values[0..n) in place. The cutoff is steepness / 2 cycles over the n
// values (omega = steepness * pi / n), Q = 0.3. The first two values pass the
// forward run unchanged and the last two the backward run. Returns false, with
// the values untouched, when no work buffer can be had.
bool SmoothCurve(FLOAT* values, LONG n, LONG steepness);

}  // namespace qelv
