#include "transform/filters/FastHartleyTransformWide.h"

#if QELV_HAVE_WIDE_HARTLEY

#include <immintrin.h>

#include <cstdint>

#define QELV_HARTLEY_AVX2 __attribute__((target("avx2")))
#define QELV_HARTLEY_INLINE inline __attribute__((always_inline, target("avx2")))

namespace qelv::dsp::wide {
namespace {

QELV_HARTLEY_INLINE __m128 Reversed(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }

// p = p + q, then q = p - 2q, as the scalar SumDifference.
QELV_HARTLEY_INLINE void SumDifference(__m128& p, __m128& q) {
    const __m128 sum = _mm_add_ps(p, q);
    q = _mm_sub_ps(sum, _mm_add_ps(q, q));
    p = sum;
}

// The double sum of the exact products, rounded to floats; `special` collects
// the lanes the scalar code would recompute in extended precision (a float
// midpoint pattern, or below the normal float range).
QELV_HARTLEY_INLINE __m128 RoundedSum(__m256d sum, __m256i& special) {
    const __m256i bits = _mm256_castpd_si256(sum);
    const __m256i low = _mm256_and_si256(bits, _mm256_set1_epi64x((std::int64_t{1} << 29) - 1));
    const __m256i midpoint = _mm256_cmpeq_epi64(low, _mm256_set1_epi64x(std::int64_t{1} << 28));
    const __m256d magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), sum);
    const __m256d tiny = _mm256_cmp_pd(magnitude, _mm256_set1_pd(0x1p-126), _CMP_LT_OQ);
    special = _mm256_or_si256(special, _mm256_or_si256(midpoint, _mm256_castpd_si256(tiny)));
    return _mm256_cvtpd_ps(sum);
}

// c*u + s*v and s*u - c*v for float lanes u, v and double twiddles.
QELV_HARTLEY_INLINE void Rotate(__m256d c, __m256d s, __m128 u, __m128 v, __m128& plus, __m128& minus,
                                __m256i& special) {
    const __m256d ud = _mm256_cvtps_pd(u), vd = _mm256_cvtps_pd(v);
    plus = RoundedSum(_mm256_add_pd(_mm256_mul_pd(c, ud), _mm256_mul_pd(s, vd)), special);
    minus = RoundedSum(_mm256_sub_pd(_mm256_mul_pd(s, ud), _mm256_mul_pd(c, vd)), special);
}

}  // namespace

QELV_HARTLEY_AVX2 bool HartleyGroups4(float* e, std::size_t f, std::size_t i, std::size_t k1,
                                      const HartleyTwiddlesD& t) {
    const std::size_t k2 = 2 * k1, k3 = 3 * k1;
    float* pa = e + f + i;           // lanes a = f+i .. f+i+3
    float* pb = e + f + k1 - i - 3;  // lanes b = f+k1-i .. f+k1-i-3, stored ascending
    __m128 a0 = _mm_loadu_ps(pa), a1 = _mm_loadu_ps(pa + k1), a2 = _mm_loadu_ps(pa + k2), a3 = _mm_loadu_ps(pa + k3);
    __m128 b0 = Reversed(_mm_loadu_ps(pb)), b1 = Reversed(_mm_loadu_ps(pb + k1));
    __m128 b2 = Reversed(_mm_loadu_ps(pb + k2)), b3 = Reversed(_mm_loadu_ps(pb + k3));
    const __m256d c1 = _mm256_loadu_pd(t.c1 + i), s1 = _mm256_loadu_pd(t.s1 + i);
    const __m256d c2 = _mm256_loadu_pd(t.c2 + i), s2 = _mm256_loadu_pd(t.s2 + i);
    __m256i special = _mm256_setzero_si256();

    Rotate(c2, s2, a1, b1, a1, b1, special);
    SumDifference(a0, a1);
    SumDifference(b0, b1);
    Rotate(c2, s2, a3, b3, a3, b3, special);
    SumDifference(a2, a3);
    SumDifference(b2, b3);
    Rotate(c1, s1, a2, b3, a2, b3, special);
    SumDifference(a0, a2);
    SumDifference(b1, b3);
    // e[b+k2] = s1*u + c1*v, e[a+k3] = c1*u - s1*v with u = e[b+k2], v = e[a+k3].
    Rotate(s1, c1, b2, a3, b2, a3, special);
    SumDifference(a1, a3);
    SumDifference(b0, b2);

    if (!_mm256_testz_si256(special, special)) return false;
    _mm_storeu_ps(pa, a0);
    _mm_storeu_ps(pa + k1, a1);
    _mm_storeu_ps(pa + k2, a2);
    _mm_storeu_ps(pa + k3, a3);
    _mm_storeu_ps(pb, Reversed(b0));
    _mm_storeu_ps(pb + k1, Reversed(b1));
    _mm_storeu_ps(pb + k2, Reversed(b2));
    _mm_storeu_ps(pb + k3, Reversed(b3));
    return true;
}

}  // namespace qelv::dsp::wide

#endif
