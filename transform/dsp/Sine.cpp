#include "transform/dsp/Sine.h"

#include <cmath>

namespace qelv::dsp {
namespace {

// ---- Double-precision path (|x| < kDoubleLimit) -------------------------------
// pi/2 in three parts of 33 significant bits and their tails: n * part is exact
// for n < 2^20.
constexpr double kInvHalfPi = 0x1.45f306dc9c883p-1;
constexpr double kHalfPi1 = 0x1.921fb54400000p+0;
constexpr double kHalfPi1Tail = 0x1.0b4611a626331p-34;
constexpr double kHalfPi2 = 0x1.0b4611a600000p-34;
constexpr double kHalfPi2Tail = 0x1.3198a2e037073p-69;
constexpr double kHalfPi3 = 0x1.3198a2e000000p-69;
constexpr double kHalfPi3Tail = 0x1.b839a252049c1p-104;
constexpr double kDoubleLimit = 1.6e6;  // below (2^20 - 1/2) pi/2
constexpr double kRoundShift = 0x1.8p52;

// Minimax coefficients of the classic double-precision kernels.
constexpr double S1 = -1.66666666666666324348e-01;
constexpr double S2 = 8.33333333332248946124e-03;
constexpr double S3 = -1.98412698298579493134e-04;
constexpr double S4 = 2.75573137070700676789e-06;
constexpr double S5 = -2.50507602534068634195e-08;
constexpr double S6 = 1.58969099521155010221e-10;
constexpr double C1 = 4.16666666666666019037e-02;
constexpr double C2 = -1.38888888888741095749e-03;
constexpr double C3 = 2.48015872894767294178e-05;
constexpr double C4 = -2.75573143513906633035e-07;
constexpr double C5 = 2.08757232129817482790e-09;
constexpr double C6 = -1.13596475577881948265e-11;

template <class T>
struct Reduced {
    T n;   // nearest whole quotient by pi/2
    T hi;  // x - n pi/2 = hi + lo
    T lo;
};

template <class T>
Reduced<T> Reduce(T x) {
    const T n = (x * kInvHalfPi + kRoundShift) - kRoundShift;
    T r = x - n * kHalfPi1;
    T w = n * kHalfPi1Tail;
    T t = r;
    w = n * kHalfPi2;
    r = t - w;
    w = n * kHalfPi2Tail - ((t - r) - w);
    t = r;
    w = n * kHalfPi3;
    r = t - w;
    w = n * kHalfPi3Tail - ((t - r) - w);
    const T hi = r - w;
    return {n, hi, (r - hi) - w};
}

template <class T>
T KernelSin(T x, T y) {
    const T z = x * x;
    const T v = z * x;
    const T r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

template <class T>
T KernelCos(T x, T y) {
    const T z = x * x;
    const T r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    const T hz = 0.5 * z;
    const T w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + (z * r - x * y));
}

double SineDouble(double x) {
    const Reduced<double> red = Reduce(x);
    const long long quadrant = static_cast<long long>(red.n) & 3;
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

double SineExtended(double x) {
    if (!std::isfinite(x)) return x - x;
    long double v = x;
    if (std::fabs(v) >= 0x1p32L) v = std::fmod(v, kExtTwoPi);  // exact remainder
    const long double q = v * kExtTwoOverPi;
    constexpr long double kShift = 0x1.8p63L;
    const long double k = (q + kShift) - kShift;
    const long double r = ((v - k * kExtHalfPi1) - k * kExtHalfPi2) - k * kExtHalfPi3;
    const long long quadrant = static_cast<long long>(k) & 3;
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
    if (std::fabs(x) < kDoubleLimit) return SineDouble(x);
    return SineExtended(x);
}

}  // namespace qelv::dsp
