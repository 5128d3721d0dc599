// Resampling by linear interpolation: output i reads the input at position i * r.
//
// Positions are exact. r is a 32-bit float, so r = num / 2^shift exactly for
// whole numbers num and shift; the position i * r, the first input index j at or
// after it, and the interpolated value a[j-1] + (i*r - (j-1)) * (a[j] - a[j-1])
// are all computed in integers, and the value is truncated toward zero. An exact
// input position therefore gives a[j] and a half-way position the exact midpoint
// (truncated), which rounded time-step arithmetic does not (i * Ti - (i-1) * Ti
// is often one ulp short of Ti, and the value then lands just below a[j]).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

// The rate factor as num / 2^shift, num odd unless shift is 0.
struct ResampleRate {
    std::uint64_t num = 1;
    int shift = 0;
};

// Longest result Resample makes: the upper bound of a safe array is a 32-bit
// signed number.
inline constexpr std::size_t kMaxResampleLength = 0x7FFFFFFF;

// Splits r into num / 2^shift. Returns false when r is not a finite number above
// 0, or lies outside 2^-40 .. 2^40 (no array length of 2 .. 2^31 samples gives a
// result length of 1 .. 2^31 - 1 there).
bool MakeResampleRate(float r, ResampleRate* rate);

// The result length m = trunc(n / r + 0.5), exactly (n / r rounded half up).
// Returns false when m is 0 or above limit.
bool ResampledLength(std::size_t n, const ResampleRate& rate, std::size_t limit, std::size_t* m);

// out[0] = a[0]; out[i] for i = 1 .. m-1 by interpolation while the position
// lies inside the input (j < n), after that by extrapolation from the three
// outputs before it: out[i-3] - 3 out[i-2] + 3 out[i-1], the value at 4 of the
// quadratic through them, clipped to -32767 .. 32767. Where fewer than three
// outputs precede (inputs of four samples or fewer), the line through the two
// before it (2 out[i-1] - out[i-2], clipped) or, after one, a copy of it.
// Requires n >= 1, m >= 1, and m <= the length ResampledLength gives for n.
void ResampleLinear(const std::int16_t* a, std::size_t n, std::int16_t* out, std::size_t m, const ResampleRate& rate);

}  // namespace qelv::dsp
