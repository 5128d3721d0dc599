#include "transform/effects/VibratoWide.h"

#if QELV_HAVE_WIDE_VIBRATO

#include <immintrin.h>

#include <cstdint>

#define QELV_VIBRATO_TARGET "avx2,fma"
#include "transform/effects/VibratoAnchored.h"

namespace qelv::dsp::wide {
namespace {

struct FourLanes {
    using V = double __attribute__((vector_size(32)));
    static constexpr std::size_t kCount = 4;
    using Doubt = double;
    static Doubt MakeDoubt(double bound) { return bound; }

    QELV_VIBRATO_KERNEL static unsigned Apply(const std::int16_t* in, std::int16_t* out, const double* tc,
                                              const double* ts, V A, V B, Doubt doubt) {
        const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
        const __m256d x = _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(raw));
        const __m256d g = _mm256_fmadd_pd((__m256d)A, _mm256_loadu_pd(tc),
                                          _mm256_fmadd_pd((__m256d)B, _mm256_loadu_pd(ts), _mm256_set1_pd(1.0)));
        const __m256d y = _mm256_mul_pd(g, x);
        const __m256d off = _mm256_sub_pd(y, _mm256_round_pd(y, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
        const __m256d size = _mm256_andnot_pd(_mm256_set1_pd(-0.0), off);
        // Zero samples are left out (their product is exactly 0).
        const __m256d unsure = _mm256_and_pd(_mm256_cmp_pd(size, _mm256_set1_pd(doubt), _CMP_LE_OQ),
                                             _mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_NEQ_OQ));
        // |y| <= 65536 converts exactly; the lower clamp here, the upper one by
        // the saturating packing to 16 bits.
        const __m128i whole = _mm_max_epi32(_mm256_cvttpd_epi32(y), _mm_set1_epi32(-static_cast<int>(kSampleLimit)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(whole, whole));
        return static_cast<unsigned>(_mm256_movemask_pd(unsure));
    }
};

}  // namespace

__attribute__((target(QELV_VIBRATO_TARGET))) std::size_t VibratoFours(std::int16_t* a, std::size_t begin,
                                                                       std::size_t end, double step, double phase,
                                                                       double depth) {
    return VibratoAnchoredLanes<FourLanes>(a, begin, end, step, phase, depth);
}

}  // namespace qelv::dsp::wide

#endif
