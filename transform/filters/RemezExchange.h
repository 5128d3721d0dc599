// The Remez exchange of the FIR designer (internal to CFirDesigner).
//
// On the transformed dense grid (x, D', W') it looks for the polynomial A of
// degree r - 2 in x whose weighted error W' * (A - D') has the smallest
// maximum. Each iteration interpolates through r extremal grid points with
// errors of alternating sign and equal size delta, in barycentric form, then
// moves every extremal to the local peak of the error nearby.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "transform/filters/FirGrid.h"

namespace qelv::dsp::fir {

struct ExchangeOutcome {
    double delta;         // final deviation
    std::int32_t status;  // CFirDesigner's Status values 0 .. 3
};

class RemezExchange {
public:
    /*
     * RemezExchange
     *   Prepares an exchange of `extremals` points on `grid`; allocates every
     *   work array, so that Run allocates nothing.
     * PARAMS
     *   grid      [I] transformed grid, kept by reference; at least one point.
     *   extremals [I] r, 1 .. grid size.
     */
    RemezExchange(const DenseGrid& grid, std::int32_t extremals);

    /*
     * Run
     *   Iterates until the extremal set stops changing, the deviation
     *   decreases, or kMaxIterations have run.
     * RETURNS
     *   The final delta and the Status of the exchange.
     * NOTES
     *   Afterwards Abscissa, Value and Interpolate describe the interpolant of
     *   the last iteration, which the taps are computed from.
     */
    ExchangeOutcome Run();

    // Barycentric value of the last iteration's interpolant at x.
    double Interpolate(double x) const;

    std::int32_t Count() const { return count_; }
    // x_k and y_k of the last iteration's extremals, in grid order.
    const double* Abscissa() const { return abscissa_.data(); }
    const double* Value() const { return value_.data(); }
    // Current grid indices of the extremal set.
    const std::ptrdiff_t* Index() const { return index_.data(); }

    static constexpr int kMaxIterations = 40;

private:
    void ComputeWeights();
    double Error(std::ptrdiff_t i, double sign);
    std::ptrdiff_t Scan(std::ptrdiff_t from, std::ptrdiff_t to, int direction, double sign,
                        double& threshold, bool continued);
    int Search();

    const DenseGrid& grid_;
    std::int32_t count_;
    std::vector<std::ptrdiff_t> index_;
    std::vector<double> sign_;
    std::vector<double> abscissa_;  // x_k
    std::vector<double> value_;     // y_k
    std::vector<double> weight_;    // c_k
    std::vector<double> weightedValue_;  // c_k * y_k
    std::vector<double> cachedValue_;    // interpolant at grid points ...
    std::vector<int> cachedIteration_;   // ... valid in this iteration
    int iteration_ = 0;
};

}  // namespace qelv::dsp::fir
