// AVX2 variants of the hot kernels, chosen at run time when the processor has
// AVX2 and FMA (vec::HasWide). Each gives results bit-identical to the exact
// scalar formulas of SampleFormulas.h; the caller checks the stated preconditions
// and otherwise runs the portable code.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#define QELV_HAVE_WIDE_KERNELS 1
#else
#define QELV_HAVE_WIDE_KERNELS 0
#endif

namespace qelv::dsp::wide {

// Largest |gain| for which gain * 32768 stays clear of the 32-bit range after
// rounding to a float, so that results can be clamped on integers.
inline constexpr double kMaxGain = 65000.0;

void Invert(std::int16_t* a, std::size_t begin, std::size_t end);

// Requires a finite |gain| <= kMaxGain.
void Amplify(std::int16_t* a, std::size_t begin, std::size_t end, float gain);

// Requires finite slope and gain0, end <= 2^29 and |gain| <= kMaxGain over the range.
void Fade(std::int16_t* a, std::size_t begin, std::size_t end, float slope, float gain0);

// Largest and smallest sample (both starting from 0) and the sum of all samples.
void Measure(const std::int16_t* a, std::size_t n, std::int32_t& max, std::int32_t& min, std::int64_t& sum);

// Requires |mean| <= 32768 and a finite |factor| <= 32767.
void Normalize(std::int16_t* a, std::size_t begin, std::size_t end, std::int32_t mean, float factor);

// Requires finite gains with |g1| + |g2| <= kMaxGain.
void Mix(std::int16_t* out, const std::int16_t* x1, float g1, const std::int16_t* x2, float g2, std::size_t begin,
         std::size_t end);

}  // namespace qelv::dsp::wide
