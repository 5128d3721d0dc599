// The fast Hartley transform every spectral method uses, and the power-of-two
// test of the block filter's curve length.
//
// FastHartleyTransform(data, n) replaces the n floats of data (n = 4^m, m >= 1)
// by their unscaled discrete Hartley transform
//     H[k] = sum over t of x[t] * (cos(2 pi t k / n) + sin(2 pi t k / n)),
// so applying it twice gives n times the input. It is a radix-4 decimation in
// time: a bit-reversal permutation, then stages of block size 4, 16, .., n made
// of sum/difference steps (p = p + q, then q = p - 2q) and rotations by the
// stage's twiddles. Every entry is stored as a 32-bit float after each step, in
// the order the stages prescribe; the expression of a step (a sum of two
// products in a rotation, a product by the square root of 2) is formed in
// extended precision first, so the result is the same on every x86 machine.
// Powers of two that are not powers of four are not supported (no check).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

void FastHartleyTransform(float* data, std::size_t n);

// The bit-reversal permutation of n = 4^m entries as a table: entry i of the
// data moves to reversal[i] (an involution, reversal[0] = 0).
void FillBitReversal(std::uint32_t* reversal, std::size_t n);

// The transform's stages alone, for data already in bit-reversed order (entry i
// placed at reversal[i]): a caller that writes its block through the table saves
// the permutation pass and gets the same floats as FastHartleyTransform.
void HartleyStages(float* data, std::size_t n);

// m when n = 2^m with m >= 1; 0 for 0, 1, negative numbers and non-powers of two.
std::int32_t PowerOfTwoExponent(std::int32_t n);

// The twiddles of one butterfly group: the angle is pi * i / (2 * k1) for the
// group i of a stage with quarter block k1; c1, s1 are its cosine and sine
// (double precision, rounded to floats), c2, s2 those of the double angle,
// c1*c1 - s1*s1 and 2*c1*s1 formed in extended precision and rounded to floats.
struct HartleyTwiddle {
    float c1, s1, c2, s2;
};
HartleyTwiddle HartleyTwiddleOf(std::int64_t n, std::int64_t k1, std::int64_t i);

}  // namespace qelv::dsp
