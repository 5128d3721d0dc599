#include "transform/filters/MonotoneCubic.h"

#include <cmath>

namespace qelv::dsp {

namespace {

bool SameStrictSign(double a, double b) {
    return (a > 0.0 && b > 0.0) || (a < 0.0 && b < 0.0);
}

bool OppositeStrictSign(double a, double b) {
    return (a > 0.0 && b < 0.0) || (a < 0.0 && b > 0.0);
}

// Three-point estimate at an end point. h1, d1 describe the interval touching
// the end point, h2, d2 the one next to it.
double EndSlope(double h1, double d1, double h2, double d2) {
    double d = ((2.0 * h1 + h2) * d1 - h1 * d2) / (h1 + h2);
    if (!SameStrictSign(d, d1)) return 0.0;
    if (OppositeStrictSign(d1, d2) && std::fabs(d) > std::fabs(3.0 * d1)) d = 3.0 * d1;
    return d;
}

// Interval j (1 .. n-1) with xs[j-1] <= f < xs[j], or the last one. A plain
// bisection: it never leaves the array, whatever the data.
std::size_t FindInterval(const double* xs, std::size_t n, double f) {
    std::size_t lo = 1;
    std::size_t hi = n - 1;  // answer is in lo .. hi
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        if (f < xs[mid]) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

double HermiteValue(const double* xs, const double* ys, std::size_t j, double s0, double s1, double f) {
    const double xa = xs[j - 1];
    const double xb = xs[j];
    const double h = xb - xa;
    if (h == 0.0) {
        // A zero-width interval is only reached at its own abscissa; the slope
        // term vanishes there, and skipping it keeps an infinite slope out.
        return f == xa ? ys[j - 1] : ys[j - 1] + (f - xa) * s0;
    }
    const double t = (f - xa) / h;
    const double u = (xb - f) / h;
    return t * u * ((xb - f) * s0 - (f - xa) * s1) + (2.0 * t * u + u) * u * ys[j - 1] +
           (2.0 * t * u + t) * t * ys[j];
}

double ClampToData(const double* xs, std::size_t n, double f) {
    if (f < xs[0]) f = xs[0];
    if (f > xs[n - 1]) f = xs[n - 1];
    return f;
}

}  // namespace

double MonotoneCubicSlope(const double* xs, const double* ys, std::size_t n, std::size_t k) {
    if (n < 2 || k >= n) return 0.0;
    if (n == 2) return (ys[1] - ys[0]) / (xs[1] - xs[0]);
    if (k == 0) {
        const double h1 = xs[1] - xs[0];
        const double h2 = xs[2] - xs[1];
        return EndSlope(h1, (ys[1] - ys[0]) / h1, h2, (ys[2] - ys[1]) / h2);
    }
    if (k == n - 1) {
        const double h1 = xs[n - 1] - xs[n - 2];
        const double h2 = xs[n - 2] - xs[n - 3];
        return EndSlope(h1, (ys[n - 1] - ys[n - 2]) / h1, h2, (ys[n - 2] - ys[n - 3]) / h2);
    }
    const double h1 = xs[k] - xs[k - 1];
    const double h2 = xs[k + 1] - xs[k];
    const double d1 = (ys[k] - ys[k - 1]) / h1;
    const double d2 = (ys[k + 1] - ys[k]) / h2;
    if (!SameStrictSign(d1, d2)) return 0.0;
    const double a1 = std::fabs(d1);
    const double a2 = std::fabs(d2);
    const double dmin = a1 < a2 ? a1 : a2;
    const double dmax = a1 < a2 ? a2 : a1;
    return dmin / (d1 / dmax * (h1 + 2.0 * h2) / (3.0 * (h1 + h2)) +
                   d2 / dmax * (2.0 * h1 + h2) / (3.0 * (h1 + h2)));
}

void MonotoneCubicSlopes(const double* xs, const double* ys, std::size_t n, double* slopes) {
    for (std::size_t k = 0; k < n; ++k) slopes[k] = MonotoneCubicSlope(xs, ys, n, k);
}

double MonotoneCubicValue(const double* xs, const double* ys, const double* slopes, std::size_t n,
                          double f) {
    if (n == 0) return 0.0;
    if (n == 1) return ys[0];
    f = ClampToData(xs, n, f);
    const std::size_t j = FindInterval(xs, n, f);
    return HermiteValue(xs, ys, j, slopes[j - 1], slopes[j], f);
}

double MonotoneCubic(const double* xs, const double* ys, std::size_t n, double f) {
    if (n == 0) return 0.0;
    if (n == 1) return ys[0];
    f = ClampToData(xs, n, f);
    const std::size_t j = FindInterval(xs, n, f);
    return HermiteValue(xs, ys, j, MonotoneCubicSlope(xs, ys, n, j - 1),
                        MonotoneCubicSlope(xs, ys, n, j), f);
}

}  // namespace qelv::dsp
