// Monotone piecewise-cubic Hermite interpolation.
//
// The FIR designer uses it to turn the few gain and weight points of a band
// into a smooth desired curve and weight function: between points whose values
// rise (or fall) the curve rises (or falls) too and never overshoots the
// neighbouring values, so a band described by a handful of points cannot ask
// for ripples that the user did not specify.
#pragma once

#include <cstddef>

namespace qelv::dsp {

/*
 * MonotoneCubicSlope
 *   The derivative that the interpolant takes at data point k.
 * PARAMS
 *   xs [I] n abscissae, strictly ascending.
 *   ys [I] n ordinates.
 *   n  [I] number of points.
 *   k  [I] index of the point, 0 .. n-1.
 * RETURNS
 *   Inner points: 0 where the neighbouring interval slopes do not share a
 *   strict sign, else their weighted harmonic mean. End points (n >= 3): the
 *   three-point estimate, forced to 0 when it disagrees in sign with the end
 *   interval and limited to three times that slope when the data turns back.
 *   n == 2: the slope of the single interval. n < 2 or k >= n: 0.
 * NOTES
 *   Equal neighbouring abscissae give infinite or NaN interval slopes; the
 *   caller must pass ascending data for a meaningful result.
 */
double MonotoneCubicSlope(const double* xs, const double* ys, std::size_t n, std::size_t k);

/*
 * MonotoneCubicSlopes
 *   MonotoneCubicSlope for every point, so that many queries on the same data
 *   do not recompute them.
 * PARAMS
 *   xs, ys, n [I] as for MonotoneCubicSlope.
 *   slopes    [O] n slopes.
 */
void MonotoneCubicSlopes(const double* xs, const double* ys, std::size_t n, double* slopes);

/*
 * MonotoneCubicValue
 *   Value of the interpolant at f, with slopes from MonotoneCubicSlopes.
 * PARAMS
 *   xs, ys, n [I] as for MonotoneCubicSlope.
 *   slopes    [I] the n slopes at the points.
 *   f         [I] query; values outside xs[0] .. xs[n-1] are clamped to it.
 * RETURNS
 *   The cubic Hermite value on the interval with xs[j-1] <= f < xs[j] (the
 *   last interval when f is the last abscissa). n == 1: ys[0]; n == 0: 0.
 * NOTES
 *   The result is bit-for-bit the same as MonotoneCubic(xs, ys, n, f).
 */
double MonotoneCubicValue(const double* xs, const double* ys, const double* slopes, std::size_t n,
                          double f);

/*
 * MonotoneCubic
 *   Value of the interpolant at f; computes only the two slopes it needs.
 * PARAMS / RETURNS
 *   As for MonotoneCubicValue, without the slope array.
 */
double MonotoneCubic(const double* xs, const double* ys, std::size_t n, double f);

}  // namespace qelv::dsp
