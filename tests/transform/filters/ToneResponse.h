// Helpers of the filter tests: pure tones, the gain a processed tone shows, and
// the analytic response of a coefficient set or of FIR taps.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <vector>

#include "transform/filters/BiquadCoefficients.h"

namespace qelv::test {

inline std::vector<short> Tone(std::size_t n, double cyclesPerSample, double amplitude) {
    std::vector<short> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<short>(std::lround(amplitude * std::sin(2 * std::numbers::pi * cyclesPerSample * i)));
    }
    return v;
}

// Amplitude of the component at cyclesPerSample in v[from .. end), by correlation
// with a sine and a cosine over a whole number of periods where possible.
inline double ToneAmplitude(const std::vector<short>& v, std::size_t from, double cyclesPerSample) {
    std::size_t count = v.size() - from;
    const double periods = std::floor(count * cyclesPerSample);
    if (periods >= 1) count = static_cast<std::size_t>(std::lround(periods / cyclesPerSample));
    double s = 0, c = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double phase = 2 * std::numbers::pi * cyclesPerSample * (from + k);
        s += v[from + k] * std::sin(phase);
        c += v[from + k] * std::cos(phase);
    }
    return 2 * std::hypot(s, c) / count;
}

inline double BiquadGain(const dsp::Biquad& c, double cyclesPerSample) {
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * cyclesPerSample);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((double(c.b0) + double(c.b1) * z1 + double(c.b2) * z2) /
                    (1.0 + double(c.a1) * z1 + double(c.a2) * z2));
}

inline double FirGain(const std::vector<float>& h, double cyclesPerSample) {
    std::complex<double> sum = 0;
    for (std::size_t j = 0; j < h.size(); ++j) sum += double(h[j]) * std::polar(1.0, -2 * std::numbers::pi * cyclesPerSample * j);
    return std::abs(sum);
}

}  // namespace qelv::test
