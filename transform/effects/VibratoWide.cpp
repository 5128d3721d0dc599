#include "transform/effects/VibratoWide.h"

#if QELV_HAVE_WIDE_VIBRATO

#include <immintrin.h>

#include <cstdint>

#define QELV_VIBRATO_KERNEL inline __attribute__((always_inline, target("avx2")))
#include "transform/effects/VibratoAnchored.h"

namespace qelv::dsp::wide {
namespace {

struct FourLanes {
    using V = double __attribute__((vector_size(32)));
    using M = decltype(V{} < V{});
    static constexpr std::size_t kCount = 4;
    QELV_VIBRATO_KERNEL static V Load(const std::int16_t* p) {
        return (V)_mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    // Truncation toward zero; the clamped values pack to 16 bits unchanged.
    QELV_VIBRATO_KERNEL static void Store(std::int16_t* p, V y) {
        const __m128i whole = _mm256_cvttpd_epi32((__m256d)y);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(whole, whole));
    }
    QELV_VIBRATO_KERNEL static bool Any(M m) { return !_mm256_testz_si256((__m256i)m, (__m256i)m); }
};

}  // namespace

__attribute__((target("avx2"))) std::size_t VibratoFours(std::int16_t* a, std::size_t begin, std::size_t end,
                                                         double step, double phase, double depth) {
    return VibratoAnchoredLanes<FourLanes>(a, begin, end, step, phase, depth);
}

}  // namespace qelv::dsp::wide

#endif
