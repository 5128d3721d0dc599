// The double-precision path of Sine (Sine.cpp) as templates over the number
// type, so that the four-lane form of Vibrato (VibratoWide.cpp) runs the very
// same operations on vectors of doubles. Everything here has internal linkage:
// each file that includes it gets its own copy, compiled for its own target.
//
// QELV_SINE_KERNEL, when the includer defines it first, is put on the function
// templates (the four-lane file compiles them for AVX2 that way).
#pragma once

#ifndef QELV_SINE_KERNEL
#define QELV_SINE_KERNEL inline
#endif

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
QELV_SINE_KERNEL Reduced<T> Reduce(T x) {
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
QELV_SINE_KERNEL T KernelSin(T x, T y) {
    const T z = x * x;
    const T v = z * x;
    const T r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

template <class T>
QELV_SINE_KERNEL T KernelCos(T x, T y) {
    const T z = x * x;
    const T r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    const T hz = 0.5 * z;
    const T w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + (z * r - x * y));
}

}  // namespace
}  // namespace qelv::dsp
