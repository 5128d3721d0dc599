#include "transform/effects/VibratoWide.h"

#if QELV_HAVE_WIDE_VIBRATO

#include <immintrin.h>

#include <cstdint>

#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Sine.h"

// The sine's templates are compiled for AVX2 here and inlined; they have
// internal linkage, so the scalar file keeps its own copy.
#define QELV_SINE_KERNEL inline __attribute__((always_inline, target("avx2")))
#include "transform/dsp/SineKernels.h"

namespace qelv::dsp::wide {
namespace {

using D4 = double __attribute__((vector_size(32)));
using L4 = unsigned long long __attribute__((vector_size(32)));
// Casts between these vector types (as (L4)d) reinterpret the bits.

}  // namespace

__attribute__((target("avx2"))) std::size_t VibratoFours(std::int16_t* a, std::size_t begin, std::size_t end,
                                                         double step, double phase, double depth) {
    // The indices as doubles: exact (below 2^53), as the scalar conversion, and
    // so is adding 4 to them.
    const double first = static_cast<double>(begin);
    D4 index = {first, first + 1.0, first + 2.0, first + 3.0};
    const D4 limit = {kSampleLimit, kSampleLimit, kSampleLimit, kSampleLimit};
    std::size_t i = begin;
    for (; i + 4 <= end; i += 4, index += 4.0) {
        const D4 x = step * index + phase;
        // |x| not below the limit (NaN included): the scalar code takes these four.
        const auto onPath = (x < kDoubleLimit) & (x > -kDoubleLimit);
        if ((onPath[0] & onPath[1] & onPath[2] & onPath[3]) == 0) {
            for (std::size_t j = i; j < i + 4; ++j) {
                const double sj = Sine(step * static_cast<double>(j) + phase);
                a[j] = ClampTruncate((sj * depth + 1.0) * static_cast<double>(a[j]));
            }
            continue;
        }
        const Reduced<D4> red = Reduce(x);
        // n is a whole number below 2^20 in magnitude: n + 1.5 * 2^52 holds it in
        // its low fraction bits as a two's complement, so & 3 is n mod 4.
        const D4 shifted = red.n + kRoundShift;
        const L4 quadrant = ((L4)shifted) & 3;
        const D4 sine = KernelSin(red.hi, red.lo);
        const D4 cosine = KernelCos(red.hi, red.lo);
        // The cosine kernel in quadrants 1 and 3, then negation (which flips the
        // sign bit only) in quadrants 2 and 3.
        const L4 useCosine = (L4)((quadrant & 1) != 0);
        const L4 chosen = (useCosine & (L4)cosine) | (~useCosine & (L4)sine);
        const D4 s = (D4)(chosen ^ ((quadrant & 2) << 62));
        const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + i));
        const D4 samples = (D4)_mm256_cvtepi32_pd(_mm_cvtepi16_epi32(four));
        D4 y = (s * depth + 1.0) * samples;
        // |s| <= 1, depth and the samples finite: y is finite, clamped as
        // ClampTruncate clamps and truncated toward zero.
        const L4 above = (L4)(y > limit), below = (L4)(y < -limit);
        y = (D4)((above & (L4)limit) | (~above & (L4)y));
        y = (D4)((below & (L4)(-limit)) | (~below & (L4)y));
        // Truncation toward zero; the clamped values pack to 16 bits unchanged.
        const __m128i whole = _mm256_cvttpd_epi32((__m256d)y);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(a + i), _mm_packs_epi32(whole, whole));
    }
    return i;
}

}  // namespace qelv::dsp::wide

#endif
