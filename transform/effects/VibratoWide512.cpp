#include "transform/effects/VibratoWide.h"

#if QELV_HAVE_WIDE_VIBRATO

#include <immintrin.h>

#include <atomic>
#include <cstdint>

#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Sine.h"

// The sine's templates compiled for AVX-512 and inlined (internal linkage: the
// scalar and four-lane files keep their own copies).
#define QELV_SINE_KERNEL inline __attribute__((always_inline, target("avx512f")))
#include "transform/dsp/SineKernels.h"

namespace qelv::dsp::wide {
namespace {

using D8 = double __attribute__((vector_size(64)));
using L8 = unsigned long long __attribute__((vector_size(64)));
// Casts between these vector types (as (L8)d) reinterpret the bits.

std::atomic<bool> g_allowEight{true};

}  // namespace

bool HasVibratoEightLanes() {
    static const bool processor = __builtin_cpu_supports("avx512f");
    return processor && g_allowEight.load(std::memory_order_relaxed);
}

void AllowVibratoEightLanes(bool allow) { g_allowEight.store(allow, std::memory_order_relaxed); }

// As VibratoFours, eight lanes in AVX-512 registers; the same operations per lane.
__attribute__((target("avx512f"))) std::size_t VibratoEights(std::int16_t* a, std::size_t begin, std::size_t end,
                                                             double step, double phase, double depth) {
    const double first = static_cast<double>(begin);
    D8 index = {first, first + 1.0, first + 2.0, first + 3.0, first + 4.0, first + 5.0, first + 6.0, first + 7.0};
    const D8 limit = D8{} + kSampleLimit;
    std::size_t i = begin;
    for (; i + 8 <= end; i += 8, index += 8.0) {
        const D8 x = step * index + phase;
        const auto onPath = (x < kDoubleLimit) & (x > -kDoubleLimit);
        long long all = -1;
        for (int lane = 0; lane < 8; ++lane) all &= onPath[lane];
        if (all == 0) {
            for (std::size_t j = i; j < i + 8; ++j) {
                const double sj = Sine(step * static_cast<double>(j) + phase);
                a[j] = ClampTruncate((sj * depth + 1.0) * static_cast<double>(a[j]));
            }
            continue;
        }
        const Reduced<D8> red = Reduce(x);
        const D8 shifted = red.n + kRoundShift;
        const L8 quadrant = ((L8)shifted) & 3;
        const D8 sine = KernelSin(red.hi, red.lo);
        const D8 cosine = KernelCos(red.hi, red.lo);
        const L8 useCosine = (L8)((quadrant & 1) != 0);
        const L8 chosen = (useCosine & (L8)cosine) | (~useCosine & (L8)sine);
        const D8 s = (D8)(chosen ^ ((quadrant & 2) << 62));
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        // (The zero-masked conversions with a full mask are the plain ones.)
        const D8 samples = (D8)_mm512_maskz_cvtepi32_pd(0xFF, _mm256_cvtepi16_epi32(eight));
        D8 y = (s * depth + 1.0) * samples;
        const L8 above = (L8)(y > limit), below = (L8)(y < -limit);
        y = (D8)((above & (L8)limit) | (~above & (L8)y));
        y = (D8)((below & (L8)(-limit)) | (~below & (L8)y));
        const __m256i whole = _mm512_maskz_cvttpd_epi32(0xFF, (__m512d)y);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(a + i),
                         _mm_packs_epi32(_mm256_castsi256_si128(whole), _mm256_extracti128_si256(whole, 1)));
    }
    return i;
}

}  // namespace qelv::dsp::wide

#endif
