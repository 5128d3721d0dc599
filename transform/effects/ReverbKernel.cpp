#include "transform/effects/ReverbKernel.h"

#include <cmath>
#include <cstring>

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

// comb[k] = float(x[k] + g * comb[k]), in extended precision.
void CombWrite(float* comb, const std::int16_t* x, std::size_t len, float gain) {
    const L g = gain;
    for (std::size_t k = 0; k < len; ++k) comb[k] = static_cast<float>(x[k] + g * comb[k]);
}

// One all-pass section over a stretch: b = line[k]; line[k] = float(fb*b + in[k]);
// out[k] = float(b - fb*line[k]). out may be in. Written directly in extended
// precision: with no recursion inside a stretch the x87 steps of consecutive
// entries overlap, which is cheaper than the double form with its checks.
void AllPass(float* line, const float* in, float* out, std::size_t len, float fb) {
    const L g = fb;
    for (std::size_t k = 0; k < len; ++k) {
        const float b = line[k];
        const float v = static_cast<float>(g * b + in[k]);
        line[k] = v;
        out[k] = static_cast<float>(b - g * v);
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
    const L wet = settings.wet;
    const L dry = settings.dry;
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
        CombWrite(st.comb + p, x, len, settings.combGain);
        AllPass(st.allPass1 + p, lp, w, len, settings.allPassGain);
        AllPass(st.allPass2 + p, w, w, len, settings.allPassGain);
        for (std::size_t k = 0; k < len; ++k) {
            const float y = static_cast<float>(x[k] * dry + wet * w[k]);
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
