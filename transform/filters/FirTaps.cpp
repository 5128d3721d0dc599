#include "transform/filters/FirTaps.h"
#include "transform/dsp/Sine.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace qelv::dsp::fir {

void ChebyshevShift(double* coefficients, std::int32_t n, double aa, double bb, double* work) {
    if (n < 2) return;
    double* alpha = coefficients;
    double* p = work;          // series of the current Clenshaw term b_j
    double* a = work + n;      // b_(j+1)
    double* q = work + 2 * n;  // alpha_j - b_(j+2)
    double scale = 1.0 / aa;   // t = scale * x + shift
    double shift = -bb / aa;
    if (n == 2) {
        scale = 0.5 * scale;
        shift = 0.5 * shift;
    }
    // b_(n-2) = alpha_(n-2) + 2 t alpha_(n-1), as a series in x.
    p[0] = 2.0 * alpha[n - 1] * shift + alpha[n - 2];
    p[1] = 2.0 * scale * alpha[n - 1];
    if (n > 2) q[0] = alpha[n - 3] - alpha[n - 1];
    for (std::int32_t j = 2; j <= n - 1; ++j) {
        if (j == n - 1) {
            // The last Clenshaw step multiplies by t, not 2t.
            scale = 0.5 * scale;
            shift = 0.5 * shift;
        }
        p[j] = 0.0;
        for (std::int32_t k = 0; k < j; ++k) {
            a[k] = p[k];
            p[k] = 2.0 * shift * a[k];
        }
        p[1] = p[1] + a[0] * 2.0 * scale;
        for (std::int32_t k = 0; k < j - 1; ++k) p[k] = p[k] + q[k] + scale * a[k + 1];
        for (std::int32_t k = 2; k <= j; ++k) p[k] = p[k] + scale * a[k - 1];
        if (j != n - 1) {
            for (std::int32_t k = 0; k < j; ++k) q[k] = -a[k];
            q[0] = q[0] + alpha[n - 2 - j];
        }
    }
    for (std::int32_t k = 0; k < n; ++k) alpha[k] = p[k];
}

void ComputeTaps(const DenseGrid& grid, const RemezExchange& exchange, std::int32_t length, double* taps) {
    constexpr double pi = std::numbers::pi;
    constexpr double near = 0.000001;
    const std::int32_t half = length / 2;  // M
    const std::int32_t r = exchange.Count();
    // With fewer grid points than cosine terms only r - 1 coefficients exist;
    // the others stay 0.
    const std::int32_t terms = r - 1;
    std::vector<double> alpha(static_cast<std::size_t>(half), 0.0);

    if (terms >= 1) {
        const double* xs = exchange.Abscissa();
        const double* ys = exchange.Value();
        std::vector<double> samples(static_cast<std::size_t>(terms));
        const double cn = static_cast<double>(2 * terms - 1);

        double xa = grid.x.front();
        double xb = grid.x.back();
        if (xa - xb > 1.99999) {
            // The bands span 0 .. 0.5: sample the whole of -1 .. 1.
            xa = 1.0;
            xb = -1.0;
        }
        const double aa = (xa - xb) / 2.0;
        const double bb = (xa + xb) / 2.0;

        // Sample the interpolant, taking an extremal's own value where a
        // sample point falls on it (the barycentric form is 0 / 0 there).
        std::int32_t j = 0;
        for (std::int32_t k = 0; k < terms; ++k) {
            const double xt = dsp::Cosine(2.0 * pi * k / cn) * aa + bb;
            while (xs[j] - near >= xt && j < r - 1) ++j;
            if (xs[j] - near < xt && xt < xs[j] + near) {
                samples[k] = ys[j];
            } else {
                samples[k] = exchange.Interpolate(xt);
            }
        }

        // Inverse DFT of the odd-length symmetric sequence of samples.
        double sum = 0.0;
        for (std::int32_t k = 1; k < terms; ++k) sum += samples[k];
        alpha[0] = (samples[0] + 2.0 * sum) / cn;
        for (std::int32_t m = 1; m < terms; ++m) {
            sum = 0.0;
            for (std::int32_t k = 1; k < terms; ++k) sum += samples[k] * dsp::Cosine(2.0 * pi * k * m / cn);
            alpha[m] = 2.0 * (samples[0] + 2.0 * sum) / cn;
        }

        if (!(aa == 1.0 && bb == 0.0)) {
            std::vector<double> work(3 * static_cast<std::size_t>(terms));
            ChebyshevShift(alpha.data(), terms, aa, bb, work.data());
        }
    }

    // Odd-length centre g (2M - 1 taps) convolved with [1, 1].
    const std::int32_t centre = half - 1;
    std::vector<double> g(static_cast<std::size_t>(2 * half - 1), 0.0);
    g[centre] = alpha[0];
    for (std::int32_t k = 1; k < half; ++k) {
        g[centre - k] = alpha[k] / 2.0;
        g[centre + k] = alpha[k] / 2.0;
    }
    for (std::int32_t i = 0; i < length; ++i) {
        const double current = i < 2 * half - 1 ? g[i] : 0.0;
        const double previous = i >= 1 ? g[i - 1] : 0.0;
        taps[i] = current + previous;
    }
    for (std::int32_t i = 0; i < half; ++i) {
        const double mean = (taps[i] + taps[length - 1 - i]) / 2.0;
        taps[i] = mean;
        taps[length - 1 - i] = mean;
    }
}

}  // namespace qelv::dsp::fir
