#include "transform/effects/ReverbKernel.h"

#include <cmath>
#include <cstdint>
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

// The low-pass section over a stretch, the one recursion of the path. Each
// output is formed in double precision and checked: the five products are
// exact in double, so the double sum d and the extended-precision sum E both lie
// within 4 roundings of the exact sum, |d - E| < 2^-50 * M with M the sum of the
// products' magnitudes (2^-49 * M allows for the rounding of M itself). When d
// rounds to a normal float r with |d - r| + that bound below half the float
// spacing on either side of r (a quarter of the spacing above r below a power of
// two), E rounds to r as well; otherwise the output is recomputed in extended
// precision. The order of the double sum does not matter to the bound, so the
// feedback term of the last output comes last, which keeps the dependency chain
// from one output to the next short.
}  // namespace

void ReverbLowPass(const Biquad& c, const float* s, float* lp, std::size_t len, ReverbState& st) {
    const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
    // The past values are floats held in doubles: the feedback from one output
    // to the next is then one conversion to a float and back, in registers
    // (float locals were spilled to the stack, adding a store and a reload to
    // every step of the recursion).
    double s1 = st.s1, s2 = st.s2, l1 = st.l1, l2 = st.l2;
    for (std::size_t k = 0; k < len; ++k) {
        const double sk = s[k];
        const double p0 = b0 * sk, p1 = b1 * s1, p2 = b2 * s2, p3 = a1 * l1, p4 = a2 * l2;
        const double d = ((p0 + p1 + p2) - p4) - p3;
        const double m = std::fabs(p0) + std::fabs(p1) + std::fabs(p2) + std::fabs(p3) + std::fabs(p4);
        const float r = static_cast<float>(d);
        std::uint32_t bits;
        std::memcpy(&bits, &r, sizeof bits);
        const std::uint32_t exponent = bits & 0x7F800000u;
        float y = r;
        // Normal and finite r only: 2^e is then a float with r's exponent field.
        bool sure = exponent != 0 && exponent != 0x7F800000u;
        if (sure) {
            float power;
            const std::uint32_t powerBits = exponent;
            std::memcpy(&power, &powerBits, sizeof power);
            double half = static_cast<double>(power) * 0x1p-24;
            if ((bits & 0x007FFFFFu) == 0) half *= 0.5;
            sure = std::fabs(d - static_cast<double>(r)) + m * 0x1p-49 < half;
        }
        if (!sure) {
            y = static_cast<float>(static_cast<L>(c.b0) * sk + static_cast<L>(c.b1) * s1 + static_cast<L>(c.b2) * s2 -
                                   static_cast<L>(c.a1) * l1 - static_cast<L>(c.a2) * l2);
        }
        lp[k] = y;
        s2 = s1;
        s1 = sk;
        l2 = l1;
        l1 = y;
    }
    st.s1 = static_cast<float>(s1);
    st.s2 = static_cast<float>(s2);
    st.l1 = static_cast<float>(l1);
    st.l2 = static_cast<float>(l2);
}

namespace {

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
        ReverbLowPass(settings.lowPass, s, lp, len, st);
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
