#include "transform/effects/VibratoWide.h"

#if QELV_HAVE_WIDE_VIBRATO

#include <immintrin.h>

#include <atomic>
#include <cstdint>

#define QELV_VIBRATO_KERNEL inline __attribute__((always_inline, target("avx512f")))

#include "transform/effects/VibratoAnchored.h"

namespace qelv::dsp::wide {
namespace {

std::atomic<bool> g_allowEight{true};

struct EightLanes {
    using V = double __attribute__((vector_size(64)));
    using M = decltype(V{} < V{});
    static constexpr std::size_t kCount = 8;
    // (The zero-masked conversions with a full mask are the plain ones.)
    QELV_VIBRATO_KERNEL static V Load(const std::int16_t* p) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return (V)_mm512_maskz_cvtepi32_pd(0xFF, _mm256_cvtepi16_epi32(eight));
    }
    QELV_VIBRATO_KERNEL static void Store(std::int16_t* p, V y) {
        const __m256i whole = _mm512_maskz_cvttpd_epi32(0xFF, (__m512d)y);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                         _mm_packs_epi32(_mm256_castsi256_si128(whole), _mm256_extracti128_si256(whole, 1)));
    }
    QELV_VIBRATO_KERNEL static bool Any(M m) { return _mm512_test_epi64_mask((__m512i)m, (__m512i)m) != 0; }
};

}  // namespace

bool HasVibratoEightLanes() {
    static const bool processor = __builtin_cpu_supports("avx512f");
    return processor && g_allowEight.load(std::memory_order_relaxed);
}

void AllowVibratoEightLanes(bool allow) { g_allowEight.store(allow, std::memory_order_relaxed); }

// As VibratoFours, eight lanes in AVX-512 registers.
__attribute__((target("avx512f"))) std::size_t VibratoEights(std::int16_t* a, std::size_t begin, std::size_t end,
                                                             double step, double phase, double depth) {
    return VibratoAnchoredLanes<EightLanes>(a, begin, end, step, phase, depth);
}

}  // namespace qelv::dsp::wide

#endif
