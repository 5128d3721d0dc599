// A sine that gives the same bits on every platform. The C libraries of the two
// targets disagree in the last bit of sin for about one argument in a thousand,
// and by far more for large arguments, so the transforms that take a sine per
// sample use this one: plain extended-precision arithmetic, no library call for
// arguments below 2^32.
#pragma once

namespace qelv::dsp {

// sin(x), rounded to a double once at the end. The argument is reduced by pi/2
// in extended precision (pi/2 in three parts, exact products for quotients below
// 2^32), then the series of sin or cos over [-pi/4, pi/4] is summed in extended
// precision: the error before the final rounding is a few units of 2^-64 of the
// result, so it is the correctly rounded sine for all but rare arguments.
// Arguments of 2^32 or more are first reduced exactly modulo the extended value
// of 2 pi (there the phase of a double carries no meaning anyway). NaN and the
// infinities give NaN.
double Sine(double x);

}  // namespace qelv::dsp
