// From the exchange's interpolant to the taps (internal to CFirDesigner).
//
// The interpolant is a polynomial in x = cos(2 pi f). Sampling it at the
// Chebyshev-like points of an odd-length inverse DFT gives its cosine-series
// (Chebyshev) coefficients, which are the centre taps of an odd-length
// symmetric filter; convolving that with [1, 1] restores the factor
// Q = 2 cos(pi f) and gives the even-length filter.
#pragma once

#include <cstdint>

#include "transform/filters/FirGrid.h"
#include "transform/filters/RemezExchange.h"

namespace qelv::dsp::fir {

/*
 * ChebyshevShift
 *   Re-expresses a Chebyshev series in t = (x - bb) / aa as one in x.
 * PARAMS
 *   coefficients [I/O] n coefficients alpha (alpha_0 is the plain constant
 *                term); replaced by beta with sum beta_j T_j(x) equal to
 *                sum alpha_j T_j((x - bb) / aa) for all x.
 *   n            [I] number of coefficients.
 *   aa, bb       [I] scale and centre of the sampled x interval; aa != 0.
 *   work         [-] scratch of 3 * n doubles.
 * NOTES
 *   A Clenshaw recurrence carried out on series in x: each step multiplies by
 *   2t = 2 (x - bb) / aa, the last by t.
 */
void ChebyshevShift(double* coefficients, std::int32_t n, double aa, double bb, double* work);

/*
 * ComputeTaps
 *   Writes the even-length filter whose amplitude is Q(f) times the
 *   exchange's final interpolant.
 * PARAMS
 *   grid     [I] the transformed grid the exchange ran on.
 *   exchange [I] the exchange after Run.
 *   length   [I] N, even, at least 2.
 *   taps     [O] N taps, exactly symmetric.
 */
void ComputeTaps(const DenseGrid& grid, const RemezExchange& exchange, std::int32_t length, double* taps);

}  // namespace qelv::dsp::fir
