#include "transform/effects/SweepOffsetsWide.h"

#if QELV_HAVE_WIDE_SWEEP

#include <immintrin.h>

#include <cstdint>

namespace qelv::dsp::wide {

static_assert(sizeof(std::size_t) == 8, "k is stored as 64-bit lanes");

__attribute__((target("avx2"))) std::size_t SweepPolynomial(const SweepArguments& sweep, std::size_t begin,
                                                            std::size_t first, std::size_t end, double b,
                                                            double sinB, double cosB, float* df, std::size_t* k,
                                                            ExactOffset exact, std::size_t* librarySines) {
    constexpr double kMargin = 0x1p-40;
    constexpr double kRound = 0x1.8p52;
    constexpr double kTwo52 = 0x1p52;  // whole numbers 0 .. 2^52 added to it sit in its fraction bits
    const __m256d step = _mm256_set1_pd(sweep.step), phase = _mm256_set1_pd(sweep.phase);
    const __m256d halfDepth = _mm256_set1_pd(sweep.halfDepth);
    const __m256d vb = _mm256_set1_pd(b), vSinB = _mm256_set1_pd(sinB), vCosB = _mm256_set1_pd(cosB);
    const __m256d one = _mm256_set1_pd(1.0), margin = _mm256_set1_pd(kMargin), round = _mm256_set1_pd(kRound);
    const __m256d two52 = _mm256_set1_pd(kTwo52);
    const __m256d s3 = _mm256_set1_pd(-1.0 / 6), s5 = _mm256_set1_pd(1.0 / 120);
    const __m256d s7 = _mm256_set1_pd(-1.0 / 5040), s9 = _mm256_set1_pd(1.0 / 362880);
    const __m256d c2 = _mm256_set1_pd(-0.5), c4 = _mm256_set1_pd(1.0 / 24);
    const __m256d c6 = _mm256_set1_pd(-1.0 / 720), c8 = _mm256_set1_pd(1.0 / 40320);
    // The sample indices as doubles: exact, as is the conversion through a
    // signed integer in the scalar code (indices stay far below 2^53).
    const double i0 = static_cast<double>(static_cast<std::int64_t>(begin + first));
    __m256d index = _mm256_add_pd(_mm256_set1_pd(i0), _mm256_set_pd(3.0, 2.0, 1.0, 0.0));
    const __m256d four = _mm256_set1_pd(4.0);
    std::size_t j = first;
    for (; j + 4 <= end; j += 4, index = _mm256_add_pd(index, four)) {
        const __m256d e = _mm256_sub_pd(_mm256_add_pd(_mm256_mul_pd(step, index), phase), vb);
        const __m256d e2 = _mm256_mul_pd(e, e);
        const __m256d e4 = _mm256_mul_pd(e2, e2);
        // e + e*e2*((-1/6 + e2/120) + e4*(-1/5040 + e2/362880))
        const __m256d sinTail = _mm256_add_pd(_mm256_add_pd(s3, _mm256_mul_pd(e2, s5)),
                                              _mm256_mul_pd(e4, _mm256_add_pd(s7, _mm256_mul_pd(e2, s9))));
        const __m256d sinE = _mm256_add_pd(e, _mm256_mul_pd(_mm256_mul_pd(e, e2), sinTail));
        // 1 + e2*((-1/2 + e2/24) + e4*(-1/720 + e2/40320))
        const __m256d cosTail = _mm256_add_pd(_mm256_add_pd(c2, _mm256_mul_pd(e2, c4)),
                                              _mm256_mul_pd(e4, _mm256_add_pd(c6, _mm256_mul_pd(e2, c8))));
        const __m256d cosE = _mm256_add_pd(one, _mm256_mul_pd(e2, cosTail));
        const __m256d s = _mm256_add_pd(_mm256_mul_pd(vSinB, cosE), _mm256_mul_pd(vCosB, sinE));
        const __m256d low = _mm256_mul_pd(_mm256_add_pd(_mm256_sub_pd(s, margin), one), halfDepth);
        const __m256d high = _mm256_mul_pd(_mm256_add_pd(_mm256_add_pd(s, margin), one), halfDepth);
        const __m128 lowF = _mm256_cvtpd_ps(low);
        const __m128 highF = _mm256_cvtpd_ps(high);
        const __m256d nearest = _mm256_sub_pd(_mm256_add_pd(low, round), round);
        const __m256d lowCeil =
            _mm256_blendv_pd(nearest, _mm256_add_pd(nearest, one), _mm256_cmp_pd(nearest, low, _CMP_LT_OQ));
        const int sameFloat = _mm_movemask_ps(_mm_cmpeq_ps(lowF, highF));
        const int sameCeil = _mm256_movemask_pd(_mm256_cmp_pd(lowCeil, high, _CMP_GE_OQ));
        const int decided = sameFloat & sameCeil;
        // lowCeil is a whole number in 0 .. 2^51 (or -0): its bits plus 2^52 less
        // those of 2^52 are its value.
        const __m256i whole = _mm256_sub_epi64(_mm256_castpd_si256(_mm256_add_pd(lowCeil, two52)),
                                               _mm256_castpd_si256(two52));
        _mm_storeu_ps(df + j, lowF);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(k + j), whole);
        if (decided != 0xF) {
            for (int lane = 0; lane < 4; ++lane) {
                if (decided & (1 << lane)) continue;
                exact(sweep, begin + j + static_cast<std::size_t>(lane), &df[j + lane], &k[j + lane]);
                if (librarySines) ++*librarySines;
            }
        }
    }
    return j;
}

}  // namespace qelv::dsp::wide

#endif
