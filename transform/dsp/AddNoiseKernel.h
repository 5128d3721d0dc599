// Kernel of AddNoise: noise from the process-wide generator added to each sample.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

enum class NoiseKind { Uniform = 1, Gaussian = 2 };

// L = 10^(dB / 20) * 32767 (dB / 20 in extended precision, the power and product
// in double), rounded to a float and limited to 0 .. 32767. NaN stays NaN (the
// caller refuses it).
float NoiseLevel(float decibels);

// For i in [begin, end), drawing in index order:
//   uniform:  y = a[i] + r * L / 32767 (r the next generator value; product,
//             quotient and sum in extended precision), rounded to a float;
//   Gaussian: y = a[i] + g * L (g the first value of a fresh pair, the second
//             discarded; extended precision), rounded to a float;
// then clamped to +-32767 and truncated toward zero.
void AddNoiseRange(std::int16_t* a, std::size_t begin, std::size_t end, float level, NoiseKind kind);

}  // namespace qelv::dsp
