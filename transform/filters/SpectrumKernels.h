// Kernels of the spectrum analysers (FFTPower, FFTPhase): the block they
// analyse and the reading of power and phase from Hartley coefficients.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

// The analysed block for n samples: the largest power of 4 not above n, at most
// 16384; 0 when n < 4 (no block).
std::size_t AnalysisBlockSize(std::size_t n);

// block[t] = samples[t] for t < N, transformed and divided by the integer square
// root of N (2, 4, .., 128), each entry rounded to a float.
void ScaledHartleyOfBlock(const std::int16_t* samples, float* block, std::size_t N);

// out[k], k < N/2: 20 log10(sqrt(H[k]^2 + H[N-k]^2) / 32767) with H[N/2] paired
// with H[0]; double precision from the float entries, rounded to a float. A zero
// magnitude gives -infinity.
void PowerFromHartley(const float* H, std::size_t N, float* out);

// out[k], k < N/2: atan2(H[k], H[N-k]) (H[N/2] for k = 0) in radians, double
// precision from the float entries, rounded to a float.
void PhaseFromHartley(const float* H, std::size_t N, float* out);

}  // namespace qelv::dsp
