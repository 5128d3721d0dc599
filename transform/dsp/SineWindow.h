// The sine window of the block-wise methods (the dynamics and the FFT filter):
// w[k] = sin(k * pi / N) for k = 0 .. N-1, computed in double precision and
// stored as floats. Two such windows applied to half-overlapping blocks sum to
// one (sin^2 + cos^2).
#pragma once

#include <cstddef>

namespace qelv::dsp {

void FillSineWindow(float* w, std::size_t N);

}  // namespace qelv::dsp
