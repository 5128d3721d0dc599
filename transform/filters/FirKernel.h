// Direct convolution of 16-bit samples with float taps, accumulated in floats:
// for output i, acc = x[i-j] * h[j] + acc for j = 0 .. N-1 in that order, each
// step formed in extended precision and rounded to a float; above 32767 the
// result becomes 32766, below -32767 it becomes -32766, and it is truncated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

// The taps of one call and how they may be run.
struct FirTaps {
    const float* h = nullptr;
    std::size_t count = 0;  // N
    // First non-zero tap (count when all are 0): the accumulator stays +0 up to it.
    std::size_t firstNonZero = 0;
    // Every non-zero tap lies within 2^-60 .. 2^60 in magnitude: the condition of
    // the fast forms (see FirKernel.cpp).
    bool fastForms = false;
};

// Fills in firstNonZero and fastForms for h[0 .. count-1].
FirTaps DescribeTaps(const float* h, std::size_t count);

// The exact step order in extended precision for output i (i >= N - 1).
std::int16_t FirSampleExact(const std::int16_t* x, std::size_t i, const FirTaps& taps);

// Outputs begin .. end-1 (begin >= N - 1) into out[0 .. end-begin-1]. scratch
// holds kFirScratch + N floats for the vector form.
inline constexpr std::size_t kFirScratch = 512;
void FirRange(const std::int16_t* x, std::size_t begin, std::size_t end, const FirTaps& taps, std::int16_t* out,
              float* scratch);

// The scalar forms alone (for the tests): every output through FirSampleExact.
void FirRangeExact(const std::int16_t* x, std::size_t begin, std::size_t end, const FirTaps& taps,
                   std::int16_t* out);

namespace wide {
// AVX2 and FMA form; requires taps.fastForms. Computes outputs begin .. end-1
// in groups of eight and leaves the last (end - begin) % 8 to the caller;
// returns the number it computed.
std::size_t FirRange(const std::int16_t* x, std::size_t begin, std::size_t end, const FirTaps& taps,
                     std::int16_t* out, float* scratch);
}  // namespace wide

}  // namespace qelv::dsp
