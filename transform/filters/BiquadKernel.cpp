#include "transform/filters/BiquadKernel.h"

#include <cmath>

#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Vector.h"
#include "transform/dsp/WideKernels.h"

namespace qelv::dsp {
namespace {

// The fast form. Every product of a 16-bit sample (or a float holding one) and
// a float coefficient is exact in double precision, so the double sum d of the
// five products differs from the exact sum S by at most 4 roundings of 2^-53
// times M = sum of |products|, and the extended-precision sum E by at most 4
// roundings of 2^-64 times M; hence |d - E| < 5 * 2^-53 * M. With every sample
// below 2^15 in magnitude, M <= 2^15 * sum of |coefficients|, and
// bound = 2^-33 * sum of |coefficients| exceeds |d - E|.
//
// The written sample is trunc(clamp(float(E))). Rounding to a float moves a
// value below 32768 by at most 2^-10, so float(E) truncates like E itself unless
// E lies within 2^-10 below an integer of magnitude 1 or more (where it may
// round up to that integer), and E truncates like d unless an integer lies
// within the bound of d. When the fractional part f of |d| keeps clear of both
// (f > bound or |d| < 1, and f < 1 - 2^-10 - bound), the sample is
// trunc(clamp(d)); otherwise it is recomputed in extended precision. Order and
// method of the double sum do not matter to this argument, so the sum is formed
// with the feedback terms last, which keeps the recursion's dependency chain short.
struct FastForm {
    double b0, b1, b2, a1, a2;
    double bound;
    bool usable;
};

FastForm MakeFastForm(const Biquad& c) {
    FastForm f{c.b0, c.b1, c.b2, c.a1, c.a2, 0.0, false};
    const double sum = std::fabs(f.b0) + std::fabs(f.b1) + std::fabs(f.b2) + std::fabs(f.a1) + std::fabs(f.a2);
    f.bound = std::ldexp(sum, -33);
    // With a bound of 2^-12 or more the test would send nearly every sample to
    // the exact form; also excludes non-finite sets.
    f.usable = f.bound < 0x1p-12;
    return f;
}

constexpr double kFloatReach = 0x1p-10;

}  // namespace

void BiquadStart(std::int16_t* a, const Biquad& c, BiquadHistory& history) {
    const std::int16_t x0 = a[0];
    const std::int16_t x1 = a[1];
    const float y0 = static_cast<float>(static_cast<long double>(c.b0) * x0);
    a[0] = ClampTruncate(y0);
    const float y1 = BiquadOutput(c, x1, x0, 0.0f, a[0], 0);
    a[1] = ClampTruncate(y1);
    history.x1 = x1;
    history.x2 = x0;
}

void BiquadRangeExact(std::int16_t* a, std::size_t begin, std::size_t end, const Biquad& c, BiquadHistory& history) {
    float x1 = history.x1;
    float x2 = history.x2;
    for (std::size_t i = begin; i < end; ++i) {
        const std::int16_t x = a[i];
        a[i] = ClampTruncate(BiquadOutput(c, x, x1, x2, a[i - 1], a[i - 2]));
        x2 = x1;
        x1 = x;
    }
    history.x1 = x1;
    history.x2 = x2;
}

namespace {

// The fast loop; Fused forms the last step, d = u - a1 * o1, with one rounding
// (a fused multiply-add), which only makes d more accurate.
template <bool Fused>
inline __attribute__((always_inline)) void FastLoop(std::int16_t* a, std::size_t begin, std::size_t end,
                                                    const Biquad& c, const FastForm& f, BiquadHistory& history) {
    const double upper = 1.0 - kFloatReach - f.bound;
    double x1 = history.x1;
    double x2 = history.x2;
    int o1 = a[begin - 1];
    int o2 = a[begin - 2];
    for (std::size_t i = begin; i < end; ++i) {
        const double x = a[i];
        const double u = (f.b0 * x + f.b1 * x1 + f.b2 * x2) - f.a2 * o2;
        const double d = Fused ? __builtin_fma(-f.a1, static_cast<double>(o1), u) : u - f.a1 * o1;
        const double magnitude = std::fabs(d);
        // Beyond 32768 the sample is clamped whatever E is; the tests are
        // combined without branches, since small outputs make |d| < 1 and its
        // alternative equally likely.
        const bool clamped = magnitude >= 32768.0;
        const double m = clamped ? 32767.0 : magnitude;
        const int whole = static_cast<int>(m);
        const double fraction = m - whole;
        const bool sure = clamped | ((fraction < upper) & ((fraction > f.bound) | (whole == 0)));
        int o;
        if (sure) {
            // The sign applied without a branch: a filtered signal changes sign
            // unpredictably.
            const int negative = -static_cast<int>(d < 0.0);
            o = (whole ^ negative) - negative;
        } else {
            o = ClampTruncate(BiquadOutput(c, static_cast<std::int16_t>(x), static_cast<float>(x1),
                                           static_cast<float>(x2), static_cast<std::int16_t>(o1),
                                           static_cast<std::int16_t>(o2)));
        }
        a[i] = static_cast<std::int16_t>(o);
        o2 = o1;
        o1 = o;
        x2 = x1;
        x1 = x;
    }
    history.x1 = static_cast<float>(x1);
    history.x2 = static_cast<float>(x2);
}

void FastLoopPlain(std::int16_t* a, std::size_t begin, std::size_t end, const Biquad& c, const FastForm& f,
                   BiquadHistory& history) {
    FastLoop<false>(a, begin, end, c, f, history);
}

#if QELV_HAVE_WIDE_KERNELS
__attribute__((target("fma"))) void FastLoopFused(std::int16_t* a, std::size_t begin, std::size_t end,
                                                  const Biquad& c, const FastForm& f, BiquadHistory& history) {
    FastLoop<true>(a, begin, end, c, f, history);
}
#endif

}  // namespace

void BiquadRange(std::int16_t* a, std::size_t begin, std::size_t end, const Biquad& c, BiquadHistory& history) {
    const FastForm f = MakeFastForm(c);
    if (!f.usable || begin >= end) {
        BiquadRangeExact(a, begin, end, c, history);
        return;
    }
#if QELV_HAVE_WIDE_KERNELS
    if (vec::HasWide()) {
        FastLoopFused(a, begin, end, c, f, history);
        return;
    }
#endif
    FastLoopPlain(a, begin, end, c, f, history);
}

}  // namespace qelv::dsp
