#include "transform/effects/ReverbKernel.h"

#include <cmath>

#include "transform/dsp/ExactSums.h"
#include "transform/dsp/SampleConversion.h"

namespace qelv::dsp {
namespace {

using L = long double;

// The low-pass section: five products summed left to right in extended
// precision, rounded to a float.
inline float LowPass(const Biquad& c, float s, const ReverbState& st) {
    return static_cast<float>(static_cast<L>(c.b0) * s + static_cast<L>(c.b1) * st.s1 +
                              static_cast<L>(c.b2) * st.s2 - static_cast<L>(c.a1) * st.l1 -
                              static_cast<L>(c.a2) * st.l2);
}

// (float)((long double)p1 + p2) for exact doubles p1, p2 (products of two
// floats, or of a float and a 16-bit sample, are exact in double). The double
// sum rounds to the same float unless it lies exactly on a float midpoint
// (ExactSums.h), or is so small that the float's grid is no longer 24 bits
// below its leading bit; those are recomputed in extended precision.
inline float RoundedSum(double p1, double p2) {
    const double s = p1 + p2;
    if (IsFloatMidpointPattern(s) || std::fabs(s) < 0x1p-100) return static_cast<float>(static_cast<L>(p1) + p2);
    return static_cast<float>(s);
}

}  // namespace

// Rounding points: the comb average is a float sum (each partial sum a float)
// divided by T; the low-pass output, every line entry, both all-pass outputs
// and the mixed sample are floats; the operations between them run in extended
// precision. A sum or quotient of two floats rounded to a float is the same
// whether formed in extended, double or float precision (the wider formats hold
// at least 2 * 24 + 2 bits), so those steps use float arithmetic.
void ReverbRange(std::int16_t* a, std::size_t begin, std::size_t end, const ReverbSettings& settings,
                 ReverbState& st) {
    const std::size_t d = settings.delay;
    const int taps = settings.taps;
    const float tapCount = static_cast<float>(taps);
    const double g = settings.combGain;
    const double fb = settings.allPassGain;
    const double wet = settings.wet;
    const double dry = settings.dry;
    std::size_t p = st.index;
    for (std::size_t i = begin; i < end; ++i) {
        const std::int16_t x = a[i];
        const float c = st.comb[p];
        float sum = c;
        for (int k = 1; k < taps; ++k) sum += c;
        const float s = sum / tapCount;
        const float lp = LowPass(settings.lowPass, s, st);
        st.s2 = st.s1;
        st.s1 = s;
        st.l2 = st.l1;
        st.l1 = lp;
        st.comb[p] = RoundedSum(x, g * c);
        const float b1 = st.allPass1[p];
        const float v1 = RoundedSum(fb * b1, lp);
        st.allPass1[p] = v1;
        const float w1 = RoundedSum(b1, -(fb * v1));
        const float b2 = st.allPass2[p];
        const float v2 = RoundedSum(fb * b2, w1);
        st.allPass2[p] = v2;
        const float w2 = RoundedSum(b2, -(fb * v2));
        const float y = RoundedSum(x * dry, wet * w2);
        if (++p == d) p = 0;
        if (i >= d) a[i] = ClampTruncate(y);
    }
    st.index = p;
}

void ReverbRangeExact(std::int16_t* a, std::size_t begin, std::size_t end, const ReverbSettings& settings,
                      float* const* combs, ReverbState& st) {
    const std::size_t d = settings.delay;
    const L g = settings.combGain;
    const L fb = settings.allPassGain;
    std::size_t p = st.index;
    for (std::size_t i = begin; i < end; ++i) {
        const std::int16_t x = a[i];
        float sum = 0.0f;
        for (int k = 0; k < settings.taps; ++k) sum = static_cast<float>(static_cast<L>(sum) + combs[k][p]);
        const float s = static_cast<float>(static_cast<L>(sum) / settings.taps);
        const float lp = LowPass(settings.lowPass, s, st);
        st.s2 = st.s1;
        st.s1 = s;
        st.l2 = st.l1;
        st.l1 = lp;
        for (int k = 0; k < settings.taps; ++k) combs[k][p] = static_cast<float>(x + g * combs[k][p]);
        float b = st.allPass1[p];
        st.allPass1[p] = static_cast<float>(fb * b + lp);
        const float w1 = static_cast<float>(b - fb * st.allPass1[p]);
        b = st.allPass2[p];
        st.allPass2[p] = static_cast<float>(fb * b + w1);
        const float w2 = static_cast<float>(b - fb * st.allPass2[p]);
        const float y = static_cast<float>(x * static_cast<L>(settings.dry) + static_cast<L>(settings.wet) * w2);
        if (++p == d) p = 0;
        if (i >= d) a[i] = ClampTruncate(y);
    }
    st.index = p;
}

}  // namespace qelv::dsp
