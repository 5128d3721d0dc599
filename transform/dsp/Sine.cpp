#include "transform/dsp/Sine.h"
#include "transform/dsp/SineKernels.h"

#include <cmath>

namespace qelv::dsp {
namespace {

// quarterTurns 0 gives the sine, 1 the cosine (sin(x + pi/2), by quadrant).
double SineDouble(double x, long long quarterTurns) {
    const Reduced<double> red = Reduce(x);
    const long long quadrant = (static_cast<long long>(red.n) + quarterTurns) & 3;
    const double s = (quadrant & 1) ? KernelCos(red.hi, red.lo) : KernelSin(red.hi, red.lo);
    return (quadrant & 2) ? -s : s;
}

// ---- Extended-precision path (large arguments) --------------------------------
// pi/2 in parts of 32, 32 and 64 bits: k * part exact for k < 2^32.
constexpr long double kExtHalfPi1 = 0x1.921fb544p+0L;
constexpr long double kExtHalfPi2 = 0x1.0b4611a6p-34L;
constexpr long double kExtHalfPi3 = 0x1.3198a2e03707344ap-69L;
constexpr long double kExtTwoOverPi = 0x1.45f306dc9c882a54p-1L;
constexpr long double kExtTwoPi = 0x1.921fb54442d1846ap+2L;

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

double SineExtended(double x, long long quarterTurns) {
    if (!std::isfinite(x)) return x - x;
    long double v = x;
    if (std::fabs(v) >= 0x1p32L) v = std::fmod(v, kExtTwoPi);  // exact remainder
    const long double q = v * kExtTwoOverPi;
    constexpr long double kShift = 0x1.8p63L;
    const long double k = (q + kShift) - kShift;
    const long double r = ((v - k * kExtHalfPi1) - k * kExtHalfPi2) - k * kExtHalfPi3;
    const long long quadrant = (static_cast<long long>(k) + quarterTurns) & 3;
    const long double r2 = r * r;
    long double sum = 0.0L;
    long double s = 0.0L;
    if (quadrant & 1) {
        for (int j = 11; j >= 1; --j) sum = (-1.0L - sum) * r2 * kFactors.cosine[j];
        s = 1.0L + sum;
    } else {
        for (int j = 11; j >= 1; --j) sum = (-1.0L - sum) * r2 * kFactors.sine[j];
        s = r + r * sum;
    }
    return static_cast<double>((quadrant & 2) ? -s : s);
}

}  // namespace

double Sine(double x) {
    if (std::fabs(x) < kDoubleLimit) return SineDouble(x, 0);
    return SineExtended(x, 0);
}

double Cosine(double x) {
    if (std::fabs(x) < kDoubleLimit) return SineDouble(x, 1);
    return SineExtended(x, 1);
}

}  // namespace qelv::dsp
