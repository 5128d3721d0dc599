// Kernels of FFTFilter: zero-phase filtering by a gain curve over the bins, in
// half-overlapping blocks of N = 2L samples with a sine window applied before
// the forward and after the inverse transform (the squared windows of
// neighbouring blocks add up to 1). Block entries are stored as 32-bit floats
// after every step; expressions within a step run in extended precision (the
// fades of the lead-in and lead-out are truncated straight from it). Samples
// are written back clamped to -32767 .. 32767 and truncated toward zero (NaN
// as 0).
#pragma once

#include "transform/dsp/SineWindow.h"

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {


// Fades the first N/2 samples out with the square of the window's falling half
// and keeps their raw values in carry.
void BlockFilterLeadIn(std::int16_t* a, const float* w, float* carry, std::size_t N);

// One block at pos (pos + N <= n): window, transform, scale the Hartley pair of
// each bin k < N/2 by curve[k] (the Nyquist term passes), transform back, divide
// by N, scale the block down to a peak of 32767 if it exceeds it, window again,
// add the previous tail and write N samples. carry holds the raw samples of the
// half block that starts the block and receives those of the next one. reversal
// is the bit-reversal table of N (FillBitReversal); block and spectrum are work
// buffers of N floats.
void BlockFilterStep(std::int16_t* a, std::size_t pos, const float* curve, const float* w,
                     const std::uint32_t* reversal, float* block, float* spectrum, float* carry, std::size_t N);

// Fades the raw samples of carry in over the N/2 samples from pos with the
// square of the window's rising half.
void BlockFilterLeadOut(std::int16_t* a, std::size_t pos, const float* w, const float* carry, std::size_t N);

}  // namespace qelv::dsp
