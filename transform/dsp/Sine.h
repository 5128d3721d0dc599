// A sine and cosine that give the same bits on every platform. The C libraries of the two
// targets disagree in the last bit of sin for about one argument in a thousand,
// and by far more for large arguments, so the transforms that take a sine per
// sample use this one, written in plain IEEE arithmetic (no fused operations).
#pragma once

namespace qelv::dsp {

// sin(x). Below |x| = 1.6e6 (quotients by pi/2 below 2^20): reduction by pi/2 in
// three 33-bit parts with the rounding errors carried in a second double, then
// the classic double-precision kernels of sin and cos on [-pi/4, pi/4]; error
// below one unit in the last place, and the correctly rounded sine for all but a
// few per cent of arguments. Larger arguments: reduction and series in extended
// precision (exact reduction modulo 2 pi from 2^32 on, where the phase of a
// double carries no meaning anyway), rounded to a double. NaN and the
// infinities give NaN.
double Sine(double x);

// cos(x), the same way (the quadrant of the reduction moved by one).
double Cosine(double x);

}  // namespace qelv::dsp
