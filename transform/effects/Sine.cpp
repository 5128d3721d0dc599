#include "transform/effects/Sine.h"

#include <cmath>

namespace qelv::dsp {
namespace {

// pi/2 = kHalfPi1 + kHalfPi2 + kHalfPi3 (32 + 32 + 64 significant bits), so that
// k * kHalfPi1 and k * kHalfPi2 are exact for k < 2^32.
constexpr long double kHalfPi1 = 0x1.921fb544p+0L;
constexpr long double kHalfPi2 = 0x1.0b4611a6p-34L;
constexpr long double kHalfPi3 = 0x1.3198a2e03707344ap-69L;
constexpr long double kTwoOverPi = 0x1.45f306dc9c882a54p-1L;
constexpr long double kTwoPi = 0x1.921fb54442d1846ap+2L;

// Reciprocals of (2j)(2j+1) and (2j-1)(2j), j = 1 .. 11, rounded once at compile time.
struct SeriesFactors {
    long double sine[12] = {};
    long double cosine[12] = {};
    constexpr SeriesFactors() {
        for (int j = 1; j < 12; ++j) {
            sine[j] = 1.0L / static_cast<long double>((2 * j) * (2 * j + 1));
            cosine[j] = 1.0L / static_cast<long double>((2 * j - 1) * (2 * j));
        }
    }
};
constexpr SeriesFactors kFactors;

// Series on |r| <= pi/4 + a little, in Horner form: the first omitted term is
// below 2^-75 of the sum.
long double SinSeries(long double r) {
    const long double r2 = r * r;
    long double sum = 0.0L;
    for (int j = 11; j >= 1; --j) sum = (-1.0L - sum) * r2 * kFactors.sine[j];
    return r + r * sum;
}

long double CosSeries(long double r) {
    const long double r2 = r * r;
    long double sum = 0.0L;
    for (int j = 11; j >= 1; --j) sum = (-1.0L - sum) * r2 * kFactors.cosine[j];
    return 1.0L + sum;
}

}  // namespace

double Sine(double x) {
    if (!std::isfinite(x)) return x - x;
    long double v = x;
    if (std::fabs(v) >= 0x1p32L) v = std::fmod(v, kTwoPi);  // exact remainder
    // Nearest whole quotient by pi/2 (|q| < 2^33, so the shift trick is exact).
    const long double q = v * kTwoOverPi;
    constexpr long double kShift = 0x1.8p63L;
    const long double k = (q + kShift) - kShift;
    const long double r = ((v - k * kHalfPi1) - k * kHalfPi2) - k * kHalfPi3;
    const long long quadrant = static_cast<long long>(k) & 3;
    long double s = 0.0L;
    switch (quadrant) {
    case 0: s = SinSeries(r); break;
    case 1: s = CosSeries(r); break;
    case 2: s = -SinSeries(r); break;
    default: s = -CosSeries(r); break;
    }
    return static_cast<double>(s);
}

}  // namespace qelv::dsp
