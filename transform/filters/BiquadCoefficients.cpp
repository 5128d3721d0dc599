#include "transform/filters/BiquadCoefficients.h"

#include <cmath>

namespace qelv::dsp {
namespace {

// Rounds an extended-precision value to the float that holds an intermediate.
float F(long double v) { return static_cast<float>(v); }

}  // namespace

Biquad DesignBiquad(int type, float dbGain, float frequencyHz, float steepness, long sampleRateHz) {
    using L = long double;
    const float A = F(std::pow(10.0L, static_cast<L>(dbGain) / 40.0L));
    const float w0 = F(static_cast<L>(frequencyHz) * static_cast<L>(6.283185307179586) / static_cast<L>(sampleRateHz));
    const float sn = F(std::sin(static_cast<L>(w0)));
    const float cs = F(std::cos(static_cast<L>(w0)));
    const float Q = F(static_cast<L>(steepness == 0.0f ? 1.0f : steepness) / 100.0L);
    const float alpha = F(static_cast<L>(sn) / (2.0L * Q));
    const L a = A;
    const float beta = F(std::sqrt((a * a + 1.0L) / Q - (a - 1.0L) * (a - 1.0L)));
    const L bs = static_cast<L>(beta) * sn;
    const L c = cs;

    L b0 = 0, b1 = 0, b2 = 0, a0 = 0, a1 = 0, a2 = 0;
    switch (type) {
        case kBiquadLowPass:
            b0 = (1.0L - c) / 2.0L, b1 = 1.0L - c, b2 = (1.0L - c) / 2.0L;
            a0 = 1.0L + alpha, a1 = -2.0L * c, a2 = 1.0L - alpha;
            break;
        case kBiquadHighPass:
            b0 = (1.0L + c) / 2.0L, b1 = -1.0L - c, b2 = (1.0L + c) / 2.0L;
            a0 = 1.0L + alpha, a1 = -2.0L * c, a2 = 1.0L - alpha;
            break;
        case kBiquadBandPass:
            b0 = static_cast<L>(Q) * alpha, b1 = 0.0L, b2 = -static_cast<L>(Q) * alpha;
            a0 = 1.0L + alpha, a1 = -2.0L * c, a2 = 1.0L - alpha;
            break;
        case kBiquadNotch:
            b0 = 1.0L, b1 = -2.0L * c, b2 = 1.0L;
            a0 = 1.0L + alpha, a1 = -2.0L * c, a2 = 1.0L - alpha;
            break;
        case kBiquadPeakEq:
            b0 = 1.0L + static_cast<L>(alpha) * a, b1 = -2.0L * c, b2 = 1.0L - static_cast<L>(alpha) * a;
            a0 = 1.0L + alpha / a, a1 = -2.0L * c, a2 = 1.0L - alpha / a;
            break;
        case kBiquadLowShelf:
            b0 = a * ((a + 1.0L) - (a - 1.0L) * c + bs);
            b1 = 2.0L * a * ((a - 1.0L) - (a + 1.0L) * c);
            b2 = a * ((a + 1.0L) - (a - 1.0L) * c - bs);
            a0 = (a + 1.0L) + (a - 1.0L) * c + bs;
            a1 = -2.0L * ((a - 1.0L) + (a + 1.0L) * c);
            a2 = (a + 1.0L) + (a - 1.0L) * c - bs;
            break;
        case kBiquadHighShelf:
            b0 = a * ((a + 1.0L) + (a - 1.0L) * c + bs);
            b1 = -2.0L * a * ((a - 1.0L) + (a + 1.0L) * c);
            b2 = a * ((a + 1.0L) + (a - 1.0L) * c - bs);
            a0 = (a + 1.0L) - (a - 1.0L) * c + bs;
            a1 = 2.0L * ((a - 1.0L) - (a + 1.0L) * c);
            a2 = (a + 1.0L) - (a - 1.0L) * c - bs;
            break;
        default:
            break;
    }
    // Each raw coefficient is a float intermediate; the division of two floats
    // in extended precision rounds to the same float as a float division.
    Biquad s;
    s.a0 = F(a0);
    s.b0 = F(static_cast<L>(F(b0)) / s.a0);
    s.b1 = F(static_cast<L>(F(b1)) / s.a0);
    s.b2 = F(static_cast<L>(F(b2)) / s.a0);
    s.a1 = F(static_cast<L>(F(a1)) / s.a0);
    s.a2 = F(static_cast<L>(F(a2)) / s.a0);
    return s;
}

bool BiquadIsDefined(const Biquad& s) {
    return std::isfinite(s.a0) && std::isfinite(s.a1) && std::isfinite(s.a2) && std::isfinite(s.b0) &&
           std::isfinite(s.b1) && std::isfinite(s.b2);
}

}  // namespace qelv::dsp
