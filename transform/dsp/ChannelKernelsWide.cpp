// AVX2 variant of MixArrays' kernel.
#include "transform/dsp/WideKernels.h"

#if QELV_HAVE_WIDE_KERNELS

#include "transform/dsp/Avx2Lanes.h"
#include "transform/dsp/SampleFormulas.h"

namespace qelv::dsp::wide {

// Both products are exact in double, so the fused x1 * g1 + (x2 * g2) is their sum
// rounded once to a double. That rounds to the same float as the extended sum
// unless it lies exactly half way between two floats (ExactSums.h); sixteen
// samples with such a lane are computed with the exact formula.
QELV_AVX2 void Mix(std::int16_t* out, const std::int16_t* x1, float g1, const std::int16_t* x2, float g2,
                   std::size_t begin, std::size_t end) {
    const __m256d gain1 = _mm256_set1_pd(g1);
    const __m256d gain2 = _mm256_set1_pd(g2);
    const __m256i below = _mm256_set1_epi64x((1LL << 29) - 1);
    const __m256i midpoint = _mm256_set1_epi64x(1LL << 28);
    std::size_t k = begin;
    for (; k + 16 <= end; k += 16) {
        __m256d sum[4];
        __m256i onMidpoint = _mm256_setzero_si256();
        for (int q = 0; q < 4; ++q) {
            const std::size_t j = k + 4 * static_cast<std::size_t>(q);
            sum[q] = _mm256_fmadd_pd(LoadDouble4(x1 + j), gain1, _mm256_mul_pd(LoadDouble4(x2 + j), gain2));
            const __m256i fraction = _mm256_and_si256(_mm256_castpd_si256(sum[q]), below);
            onMidpoint = _mm256_or_si256(onMidpoint, _mm256_cmpeq_epi64(fraction, midpoint));
        }
        if (!_mm256_testz_si256(onMidpoint, onMidpoint)) {
            for (std::size_t j = k; j < k + 16; ++j) out[j] = MixSample(x1[j], g1, x2[j], g2);
            continue;
        }
        StoreClamped(out + k, _mm256_cvtpd_ps(sum[0]), _mm256_cvtpd_ps(sum[1]), _mm256_cvtpd_ps(sum[2]),
                     _mm256_cvtpd_ps(sum[3]));
    }
    for (; k < end; ++k) out[k] = MixSample(x1[k], g1, x2[k], g2);
}

}  // namespace qelv::dsp::wide

#endif
