#include "transform/filters/EqualizerCurve.h"

#include <cmath>

namespace qelv::dsp {

void PlaceEqualizerPoints(const float* dbGains, const float* frequencies, std::size_t count, long sampleRate,
                          float* curve) {
    curve[0] = 1.0f;
    for (std::size_t k = 1; k < kEqualizerBins; ++k) curve[k] = 0.0f;
    const long double nyquist = static_cast<long double>(sampleRate / 2);
    for (std::size_t j = 0; j < count && static_cast<long double>(frequencies[j]) <= nyquist; ++j) {
        // A float times 1024 over a rate of at most 31 bits is never within the
        // rounding of extended precision of an integer it is not equal to, so
        // the truncation gives the bin of the exact quotient.
        const long double position = 1024.0L * frequencies[j] / static_cast<long double>(sampleRate);
        if (!(position >= 0.0L && position < static_cast<long double>(kEqualizerBins))) continue;
        const std::size_t bin = static_cast<std::size_t>(position);
        const double exponent = static_cast<double>(static_cast<long double>(dbGains[j]) / 20.0L);
        curve[bin] = static_cast<float>(std::pow(10.0, exponent));
        if (j == 0) curve[0] = curve[bin];
    }
    curve[kEqualizerBins - 1] = 1.0f;
}

void FillEqualizerGaps(float* curve) {
    for (std::size_t k = 1; k < kEqualizerBins; ++k) {
        if (curve[k] != 0.0f) continue;
        std::size_t m = k + 1;
        while (m < kEqualizerBins - 1 && curve[m] == 0.0f) ++m;
        const long double left = curve[k - 1];
        const long double rise = static_cast<long double>(curve[m]) - left;
        for (std::size_t i = k; i < m; ++i) {
            curve[i] = static_cast<float>(left + rise * static_cast<long double>(i - k) / static_cast<long double>(m - k));
        }
        k = m;
    }
}

void SmoothEqualizerCurve(float* c, const Biquad& s) {
    using L = long double;
    constexpr std::size_t n = kEqualizerBins;
    float F[n];
    float R[n];
    F[0] = static_cast<float>(static_cast<L>(s.b0) * c[0]);
    F[1] = static_cast<float>(static_cast<L>(s.b0) * c[1] + static_cast<L>(s.b1) * c[0] - static_cast<L>(s.a1) * F[0]);
    for (std::size_t i = 2; i < n; ++i) {
        F[i] = static_cast<float>(static_cast<L>(s.b0) * c[i] + static_cast<L>(s.b1) * c[i - 1] +
                                  static_cast<L>(s.b2) * c[i - 2] - static_cast<L>(s.a1) * F[i - 1] -
                                  static_cast<L>(s.a2) * F[i - 2]);
    }
    R[n - 1] = static_cast<float>(static_cast<L>(s.b0) * c[n - 1]);
    R[n - 2] = static_cast<float>(static_cast<L>(s.b0) * c[n - 2] + static_cast<L>(s.b1) * c[n - 1] -
                                  static_cast<L>(s.a1) * R[n - 1]);
    for (std::size_t i = n - 2; i-- > 0;) {
        R[i] = static_cast<float>(static_cast<L>(s.b0) * c[i] + static_cast<L>(s.b1) * c[i + 1] +
                                  static_cast<L>(s.b2) * c[i + 2] - static_cast<L>(s.a1) * R[i + 1] -
                                  static_cast<L>(s.a2) * R[i + 2]);
    }
    for (std::size_t i = 0; i < n; ++i) c[i] = static_cast<float>((static_cast<L>(F[i]) + R[i]) / 2.0L);
}

}  // namespace qelv::dsp
