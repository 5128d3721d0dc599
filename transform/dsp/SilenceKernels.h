// Kernels of TrimLeft, TrimRight and DeleteSilence: the quiet threshold, the
// fade length, the fades of a new edge and the compaction by a mask.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

// T = trunc(10^(dB / 20) * 32767) limited to 0 .. 32767 (dB / 20 in extended
// precision, power and product in double). The caller refuses NaN.
std::int32_t QuietThreshold(float decibels);

// A sample is quiet when |x| (as a 32-bit value, |-32768| = 32768) <= T.
inline bool IsQuiet(std::int16_t x, std::int32_t threshold) {
    const std::int32_t v = x;
    return (v < 0 ? -v : v) <= threshold;
}

// F = trunc(frequency * ms / 1000) (product in extended precision), at least 1;
// very long times are held at 2^62, longer than any array. The caller refuses NaN.
std::size_t FadeLength(std::int32_t frequency, float milliseconds);

// a[k] = MulDiv(a[k], k, F) for k = 0 .. F-1: the gain rises from 0 over F samples.
void FadeInHead(std::int16_t* a, std::size_t fade);
// a[m-1-k] = MulDiv(a[m-1-k], k, F) for k = 0 .. F-1.
void FadeOutTail(std::int16_t* a, std::size_t m, std::size_t fade);

// Keeps input[i] wherever mask[i] is not 0, packed to the front of mask; returns
// how many were kept.
std::size_t CompactByMask(std::int16_t* mask, const std::int16_t* input, std::size_t n);

}  // namespace qelv::dsp
