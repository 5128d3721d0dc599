// The equaliser's gain curve: 512 linear gains, entry k for the frequency
// k * sampleRate / 1024, built from (gain in dB, frequency in Hz) points, the
// gaps filled by straight lines, then smoothed by a zero-phase pair of passes
// of a second-order section. Values are stored as floats after each step; the
// expressions run in extended precision.
#pragma once

#include <cstddef>

#include "transform/filters/BiquadCoefficients.h"

namespace qelv::dsp {

inline constexpr std::size_t kEqualizerBins = 512;

// Clears the curve (entry 0 = 1, the rest 0) and places the points in array
// order while their frequency is at most sampleRate / 2 (integer division):
// curve[trunc(1024 * f / sampleRate)] = 10^(dB / 20), the first point also at
// entry 0. A point whose bin falls outside 0 .. 511 (a negative frequency, or
// exactly half an even rate) is skipped. Entry 511 is then set to 1.
// sampleRate must not be 0.
void PlaceEqualizerPoints(const float* dbGains, const float* frequencies, std::size_t count, long sampleRate,
                          float* curve);

// Fills each run of entries that are exactly 0 along the line from the entry
// before the run to the first non-zero entry after it.
void FillEqualizerGaps(float* curve);

// curve[i] = (F[i] + R[i]) / 2, F the section run forward over the curve from a
// zero state and R the same run backward from the top.
void SmoothEqualizerCurve(float* curve, const Biquad& section);

}  // namespace qelv::dsp
