#include "transform/filters/RemezExchange.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qelv::dsp::fir {

RemezExchange::RemezExchange(const DenseGrid& grid, std::int32_t extremals)
    : grid_(grid),
      count_(extremals),
      index_(static_cast<std::size_t>(extremals), 0),
      sign_(static_cast<std::size_t>(extremals), 0.0),
      abscissa_(static_cast<std::size_t>(extremals), 0.0),
      value_(static_cast<std::size_t>(extremals), 0.0),
      weight_(static_cast<std::size_t>(extremals), 0.0),
      weightedValue_(static_cast<std::size_t>(extremals), 0.0),
      cachedValue_(static_cast<std::size_t>(grid.Size()), 0.0),
      cachedIteration_(static_cast<std::size_t>(grid.Size()), -1) {
    // Evenly spread start, signs alternating from -1. The division is done in
    // floating point and rounded, so the last extremal is the last grid point.
    const double last = static_cast<double>(grid_.Size() - 1);
    const double spread = static_cast<double>(std::max(count_ - 1, 1));
    double sign = -1.0;
    for (std::int32_t i = 0; i < count_; ++i) {
        index_[i] = static_cast<std::ptrdiff_t>(std::trunc(static_cast<double>(i) * last / spread + 0.5));
        sign_[i] = sign;
        sign = -sign;
    }
}

// c_k = 1 / prod over j != k of 2 (x_k - x_j). The factor 2 keeps the product
// near 1 for points spread over -1 .. 1, and taking j in q interleaved passes
// mixes near and far points so that partial products neither overflow nor
// underflow on the way.
void RemezExchange::ComputeWeights() {
    const std::int32_t passes = count_ / 10 + 1;
    for (std::int32_t k = 0; k < count_; ++k) {
        const double xk = abscissa_[k];
        double product = 1.0;
        for (std::int32_t l = 0; l < passes; ++l) {
            for (std::int32_t j = l; j < count_; j += passes) {
                if (j != k) product = product * (2.0 * (xk - abscissa_[j]));
            }
        }
        weight_[k] = 1.0 / product;
    }
}

double RemezExchange::Interpolate(double x) const {
    const double* xs = abscissa_.data();
    const double* cy = weightedValue_.data();
    const double* c = weight_.data();
    double numerator = 0.0;
    double denominator = 0.0;
    std::int32_t k = 0;
    // Pairs of independent quotients let the compiler issue packed divisions;
    // the sums still run in index order.
    for (; k + 2 <= count_; k += 2) {
        const double dx0 = x - xs[k];
        const double dx1 = x - xs[k + 1];
        const double n0 = cy[k] / dx0;
        const double n1 = cy[k + 1] / dx1;
        const double d0 = c[k] / dx0;
        const double d1 = c[k + 1] / dx1;
        numerator += n0;
        numerator += n1;
        denominator += d0;
        denominator += d1;
    }
    for (; k < count_; ++k) {
        const double dx = x - xs[k];
        numerator += cy[k] / dx;
        denominator += c[k] / dx;
    }
    return numerator / denominator;
}

// The neighbourhoods scanned for adjacent extremals overlap, so the
// interpolant at a grid point is kept for the rest of the iteration.
double RemezExchange::Error(std::ptrdiff_t i, double sign) {
    if (cachedIteration_[i] != iteration_) {
        cachedValue_[i] = Interpolate(grid_.x[i]);
        cachedIteration_[i] = iteration_;
    }
    return sign * grid_.weight[i] * (cachedValue_[i] - grid_.desired[i]);
}

// Walks from `from` towards `to` (inclusive) while the error exceeds the
// threshold, raising the threshold to each better error. A plain scan gives up
// at the first point that does not improve; a continued scan first skips
// points until one improves. Returns the best index, or -1.
std::ptrdiff_t RemezExchange::Scan(std::ptrdiff_t from, std::ptrdiff_t to, int direction, double sign,
                                   double& threshold, bool continued) {
    std::ptrdiff_t found = -1;
    for (std::ptrdiff_t i = from; direction > 0 ? i <= to : i >= to; i += direction) {
        const double e = Error(i, sign);
        if (e > threshold) {
            found = i;
            threshold = e;
        } else if (found >= 0 || !continued) {
            break;
        }
    }
    return found;
}

int RemezExchange::Search() {
    const std::ptrdiff_t size = grid_.Size();
    const std::int32_t r = count_;
    const std::ptrdiff_t oldFirst = index_[0];
    const std::ptrdiff_t oldLast = index_[r - 1];
    int changes = 0;
    std::ptrdiff_t prev = -1;
    double firstError = 0.0;
    double lastError = 0.0;

    for (std::int32_t k = 0; k < r; ++k) {
        const std::ptrdiff_t o = index_[k];
        const std::ptrdiff_t upper = k + 1 < r ? index_[k + 1] : size;
        const double s = sign_[k];
        double threshold = s * grid_.weight[o] * (value_[k] - grid_.desired[o]);
        std::ptrdiff_t n = Scan(o + 1, upper - 1, +1, s, threshold, false);
        if (n < 0) n = Scan(o - 1, prev + 1, -1, s, threshold, false);
        if (n < 0 && changes == 0) {
            // Nothing has moved yet: look further for a peak before settling.
            n = Scan(o - 2, prev + 1, -1, s, threshold, true);
            if (n < 0) n = Scan(o + 2, upper - 1, +1, s, threshold, true);
        }
        if (n >= 0) {
            index_[k] = n;
            prev = std::max(n, o);
            ++changes;
        } else {
            prev = o;
        }
        if (k == 0) firstError = threshold;
        if (k == r - 1) lastError = threshold;
    }

    // A peak beyond either end of the set, of the sign that would continue the
    // alternation, replaces the extremal at the other end.
    const double startSign = -sign_[0];
    double startError = lastError * 1.00001;
    const std::ptrdiff_t start =
        Scan(0, std::min(oldFirst, index_[0]) - 1, +1, startSign, startError, true);
    const double bestStart = start < 0 ? firstError : std::max(firstError, startError);
    const double endSign = -sign_[r - 1];
    double endError = bestStart * 1.00001;
    const std::ptrdiff_t end =
        Scan(size - 1, std::max(oldLast, index_[r - 1]) + 1, -1, endSign, endError, true);
    if (end >= 0) {
        for (std::int32_t k = 0; k + 1 < r; ++k) {
            index_[k] = index_[k + 1];
            sign_[k] = sign_[k + 1];
        }
        index_[r - 1] = end;
        sign_[r - 1] = endSign;
        ++changes;
    } else if (start >= 0) {
        for (std::int32_t k = r - 1; k > 0; --k) {
            index_[k] = index_[k - 1];
            sign_[k] = sign_[k - 1];
        }
        index_[0] = start;
        sign_[0] = startSign;
        ++changes;
    }
    return changes;
}

ExchangeOutcome RemezExchange::Run() {
    ExchangeOutcome outcome{0.0, 0};
    double previousDelta = -1.0;
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        iteration_ = iteration;
        for (std::int32_t k = 0; k < count_; ++k) abscissa_[k] = grid_.x[index_[k]];
        ComputeWeights();

        double numerator = 0.0;
        double denominator = 0.0;
        for (std::int32_t k = 0; k < count_; ++k) {
            const std::ptrdiff_t i = index_[k];
            numerator += weight_[k] * grid_.desired[i];
            denominator += -sign_[k] * weight_[k] / grid_.weight[i];
        }
        double delta;
        if (denominator == 0.0) {
            // The values of the previous iteration stay in use.
            outcome.status = 3;
            delta = std::numeric_limits<double>::max();
        } else {
            outcome.status = 0;
            delta = numerator / denominator;
            if (delta < 0.0) {
                for (std::int32_t k = 0; k < count_; ++k) sign_[k] = -sign_[k];
                delta = -delta;
            }
            for (std::int32_t k = 0; k < count_; ++k) {
                const std::ptrdiff_t i = index_[k];
                value_[k] = grid_.desired[i] + sign_[k] * delta / grid_.weight[i];
            }
        }
        for (std::int32_t k = 0; k < count_; ++k) weightedValue_[k] = weight_[k] * value_[k];
        outcome.delta = delta;

        if (delta < previousDelta) {
            outcome.status = 1;
            return outcome;
        }
        previousDelta = delta;
        if (Search() == 0) return outcome;
    }
    outcome.status = 2;
    return outcome;
}

}  // namespace qelv::dsp::fir
