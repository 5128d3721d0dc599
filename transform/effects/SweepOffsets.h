// The read offsets of the swept delay line for a run of samples. For sample i:
//   d  = (sin(step * i + phase) + 1) * halfDepth    in double precision,
//   df = float(d), k = ceil(d),
// of which the line uses only df and k. SweepOffsetsExact calls the library sine
// for every sample. SweepOffsets gives the same df and k with one library sine
// and cosine per block of samples, as follows.
//
// Why the results are identical. Within a block starting at argument b, the
// argument x of each sample is computed as stated, and sin(x) is evaluated as
//   s~ = sin(b) cos(e) + cos(b) sin(e),   e = x - b, |e| <= 0.13,
// with the library's sin(b) and cos(b) and Taylor polynomials of sin (to e^9)
// and cos (to e^8), whose truncation errors are below 0.13^11/11! < 2^-57 and
// 0.13^10/10! < 2^-51. e is exact or nearly so (x and b are close, or both
// small). The library's sine and cosine are within one unit in the last place
// of the true values (2^-53) on Linux; an x87 evaluation with its 66-bit pi, as
// on Windows, is within 2^-46 for |x| <= 2^20. So |s~ - sin(x)| < 2^-45 and the
// library's s = sin(x) lies in [s~ - M, s~ + M] with M = 2^-40, on either
// platform. d is a non-decreasing function of s (a rounded sum, then a rounded
// product with halfDepth >= 0), and float() and ceil() are non-decreasing in d.
// So when both ends of the interval give the same df and k, s gives them too.
// Otherwise (d within about 2^-40 halfDepth of a float rounding boundary or of
// an integer, or near 0 at the bottom of the sweep), and for arguments beyond
// 2^20 or sweeps faster than 1/128 radian per sample, the library sine of x
// decides. The kernel tests compare both forms over millions of samples.
#pragma once

#include <cstddef>

namespace qelv::dsp {

struct SweepArguments {
    double step;       // 2 pi rate, radians per sample
    double phase;      // radians
    double halfDepth;  // depth * 0.5, finite, >= 0 (or -0)
};

// Largest number of samples filled per call.
inline constexpr std::size_t kSweepBlock = 256;

// df[j] and k[j] for sample begin + j, j < count <= kSweepBlock. librarySines,
// when given, is increased by the number of samples the library sine decided.
void SweepOffsets(const SweepArguments& sweep, std::size_t begin, std::size_t count, float* df, std::size_t* k,
                  std::size_t* librarySines = nullptr);
void SweepOffsetsExact(const SweepArguments& sweep, std::size_t begin, std::size_t count, float* df,
                       std::size_t* k);

}  // namespace qelv::dsp
