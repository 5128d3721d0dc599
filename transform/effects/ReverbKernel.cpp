#include "transform/effects/ReverbKernel.h"

#include <cmath>
#include <cstring>

#include "transform/dsp/ExactSums.h"
#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Vector.h"

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
// (ExactSums.h) or is so small that the float's grid is no longer 24 bits below
// its leading bit. Even then it does when the double sum is exact (its error,
// found with the Fast2Sum step, is 0), which is the common case for sums of two
// floats; only the rest is recomputed in extended precision.
inline float RoundedSum(double p1, double p2) {
    const double s = p1 + p2;
    if (!IsFloatMidpointPattern(s) && !(std::fabs(s) < 0x1p-100)) return static_cast<float>(s);
    const bool firstLarger = std::fabs(p1) >= std::fabs(p2);
    const double large = firstLarger ? p1 : p2;
    const double small = firstLarger ? p2 : p1;
    if (small - (s - large) == 0.0) return static_cast<float>(s);
    return static_cast<float>(static_cast<L>(p1) + p2);
}


// Four lanes of RoundedSum in vector arithmetic; a vector with a lane that is
// not certain goes lane by lane through the scalar form. The midpoint test uses
// floating-point operations only (the baseline instruction set has no 64-bit
// integer compares): s is a float midpoint exactly when it has 25 significant
// bits but not 24, i.e. Veltkamp's split at 28 bits gives back s while the
// rounding to a float does not.
QELV_ALWAYS_INLINE vec::F32x4 RoundedSum4(vec::F64x4 p1, vec::F64x4 p2) {
    const vec::F64x4 s = p1 + p2;
    const vec::F32x4 f = __builtin_convertvector(s, vec::F32x4);
    const vec::F64x4 c = s * 268435457.0;  // 2^28 + 1
    const vec::F64x4 high = c - (c - s);
    const vec::F64x4 magnitude = s < 0.0 ? -s : s;
    const vec::I64x4 suspect =
        ((high == s) & (__builtin_convertvector(f, vec::F64x4) != s)) | (magnitude < 0x1p-100);
    if (!vec::Any(suspect)) return f;
    // Exact double sums (Fast2Sum error 0) round once either way.
    const vec::F64x4 m1 = p1 < 0.0 ? -p1 : p1;
    const vec::F64x4 m2 = p2 < 0.0 ? -p2 : p2;
    const vec::I64x4 firstLarger = m1 >= m2;
    const vec::F64x4 large = firstLarger ? p1 : p2;
    const vec::F64x4 small = firstLarger ? p2 : p1;
    const vec::I64x4 inexact = (small - (s - large)) != 0.0;
    if (!vec::Any(suspect & inexact)) return f;
    return vec::F32x4{RoundedSum(p1[0], p2[0]), RoundedSum(p1[1], p2[1]), RoundedSum(p1[2], p2[2]),
                      RoundedSum(p1[3], p2[3])};
}

QELV_ALWAYS_INLINE vec::F64x4 LoadFloats(const float* p) {
    vec::F32x4 v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, vec::F64x4);
}
QELV_ALWAYS_INLINE void StoreFloats(float* p, vec::F32x4 v) { std::memcpy(p, &v, sizeof v); }
QELV_ALWAYS_INLINE vec::F64x4 LoadSamples(const std::int16_t* p) { return vec::ToDouble(vec::Load4(p)); }

// Stretch length of the block form: the line entries of one stretch are
// distinct (a stretch never exceeds D or wraps), so each pass may run over the
// whole stretch before the next one starts.
constexpr std::size_t kStretch = 256;

// s[k] = (c + c + ... + c, T terms, each partial sum a float) / T.
void CombAverage(const float* comb, std::size_t len, int taps, float* s) {
    const float t = static_cast<float>(taps);
    std::size_t k = 0;
    for (; k + 8 <= len; k += 8) {
        vec::F32x8 c;
        std::memcpy(&c, comb + k, sizeof c);
        vec::F32x8 sum = c;
        for (int j = 1; j < taps; ++j) sum += c;
        sum /= t;
        std::memcpy(s + k, &sum, sizeof sum);
    }
    for (; k < len; ++k) {
        float sum = comb[k];
        for (int j = 1; j < taps; ++j) sum += comb[k];
        s[k] = sum / t;
    }
}

// comb[k] = float(x[k] + g * comb[k]).
void CombWrite(float* comb, const std::int16_t* x, std::size_t len, double g) {
    std::size_t k = 0;
    for (; k + 4 <= len; k += 4) StoreFloats(comb + k, RoundedSum4(LoadSamples(x + k), g * LoadFloats(comb + k)));
    for (; k < len; ++k) comb[k] = RoundedSum(x[k], g * comb[k]);
}

// One all-pass section over a stretch: b = line[k]; line[k] = float(fb*b + in[k]);
// out[k] = float(b - fb*line[k]). out may be in.
void AllPass(float* line, const float* in, float* out, std::size_t len, double fb) {
    std::size_t k = 0;
    for (; k + 4 <= len; k += 4) {
        const vec::F64x4 b = LoadFloats(line + k);
        const vec::F32x4 v = RoundedSum4(fb * b, LoadFloats(in + k));
        StoreFloats(line + k, v);
        StoreFloats(out + k, RoundedSum4(b, -(fb * __builtin_convertvector(v, vec::F64x4))));
    }
    for (; k < len; ++k) {
        const double b = line[k];
        const float v = RoundedSum(fb * b, in[k]);
        line[k] = v;
        out[k] = RoundedSum(b, -(fb * v));
    }
}

}  // namespace

// Rounding points: the comb average is a float sum (each partial sum a float)
// divided by T; the low-pass output, every line entry, both all-pass outputs
// and the mixed sample are floats; the operations between them run in extended
// precision. A sum or quotient of two floats rounded to a float is the same
// whether formed in extended, double or float precision (the wider formats hold
// at least 2 * 24 + 2 bits), so the average uses float arithmetic.
//
// The path runs in stretches of at most D entries that do not wrap the lines:
// within one, every line entry is read and written once, and each pass (comb
// average, low-pass, comb write, all-passes, mix) sees exactly the values the
// sample-by-sample order gives it. Only the low-pass section is a recursion; the
// other passes run four or eight entries at a time.
void ReverbRange(std::int16_t* a, std::size_t begin, std::size_t end, const ReverbSettings& settings,
                 ReverbState& st) {
    const std::size_t d = settings.delay;
    const double g = settings.combGain;
    const double fb = settings.allPassGain;
    const double wet = settings.wet;
    const double dry = settings.dry;
    float s[kStretch];
    float lp[kStretch];
    float w[kStretch];
    std::size_t i = begin;
    while (i < end) {
        const std::size_t p = st.index;
        std::size_t len = end - i;
        if (len > d - p) len = d - p;
        if (len > kStretch) len = kStretch;
        std::int16_t* x = a + i;

        CombAverage(st.comb + p, len, settings.taps, s);
        for (std::size_t k = 0; k < len; ++k) {
            lp[k] = LowPass(settings.lowPass, s[k], st);
            st.s2 = st.s1;
            st.s1 = s[k];
            st.l2 = st.l1;
            st.l1 = lp[k];
        }
        CombWrite(st.comb + p, x, len, g);
        AllPass(st.allPass1 + p, lp, w, len, fb);
        AllPass(st.allPass2 + p, w, w, len, fb);
        for (std::size_t k = 0; k < len; ++k) {
            const float y = RoundedSum(x[k] * dry, wet * w[k]);
            if (i + k >= d) x[k] = ClampTruncate(y);
        }
        i += len;
        st.index = p + len == d ? 0 : p + len;
    }
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
