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
// midpoint pattern, or below the normal float range but not 0). For the range
// test the bits without the sign, x = bits << 1, order like the magnitudes, so
// 0 < |sum| < 2^-126 is 1 <= x < T, that is x - 1 < T - 1 unsigned; adding
// 2^63 - 1 forms x - 1 with the top bit flipped, which turns the unsigned
// comparison into the signed one AVX2 has.
QELV_HARTLEY_INLINE __m128 RoundedSum(__m256d sum, __m256i& special) {
    const __m256i bits = _mm256_castpd_si256(sum);
    const __m256i low = _mm256_and_si256(bits, _mm256_set1_epi64x((std::int64_t{1} << 29) - 1));
    const __m256i midpoint = _mm256_cmpeq_epi64(low, _mm256_set1_epi64x(std::int64_t{1} << 28));
    constexpr std::uint64_t kSmallestNormalFloat = std::uint64_t{0x3810000000000000};  // 2^-126 as a double
    constexpr std::uint64_t kFlip = std::uint64_t{1} << 63;
    const __m256i flipped = _mm256_add_epi64(_mm256_slli_epi64(bits, 1), _mm256_set1_epi64x(INT64_MAX));
    const __m256i bound = _mm256_set1_epi64x(static_cast<std::int64_t>(((kSmallestNormalFloat << 1) - 1) ^ kFlip));
    const __m256i tiny = _mm256_cmpgt_epi64(bound, flipped);
    special = _mm256_or_si256(special, _mm256_or_si256(midpoint, tiny));
    return _mm256_cvtpd_ps(sum);
}

// c*u + s*v and s*u - c*v for float lanes u, v and double twiddles.
QELV_HARTLEY_INLINE void Rotate(__m256d c, __m256d s, __m128 u, __m128 v, __m128& plus, __m128& minus,
                                __m256i& special) {
    const __m256d ud = _mm256_cvtps_pd(u), vd = _mm256_cvtps_pd(v);
    plus = RoundedSum(_mm256_add_pd(_mm256_mul_pd(c, ud), _mm256_mul_pd(s, vd)), special);
    minus = RoundedSum(_mm256_sub_pd(_mm256_mul_pd(s, ud), _mm256_mul_pd(c, vd)), special);
}

// e * sqrt(2) (the double constant): the product in double, rounded to floats,
// with the same check for the lanes the scalar code recomputes.
QELV_HARTLEY_INLINE __m128 TimesRootTwo(__m128 v, __m256i& special) {
    return RoundedSum(_mm256_mul_pd(_mm256_cvtps_pd(v), _mm256_set1_pd(1.4142135623730951)), special);
}

QELV_HARTLEY_INLINE void Transpose(__m128& r0, __m128& r1, __m128& r2, __m128& r3) { _MM_TRANSPOSE4_PS(r0, r1, r2, r3); }

}  // namespace

QELV_HARTLEY_AVX2 void HartleyFirstStage(float* e, std::size_t n) {
    for (std::size_t f = 0; f + 16 <= n; f += 16) {
        // Rows are blocks; after the transpose each vector holds one offset of four blocks.
        __m128 c0 = _mm_loadu_ps(e + f), c1 = _mm_loadu_ps(e + f + 4), c2 = _mm_loadu_ps(e + f + 8),
               c3 = _mm_loadu_ps(e + f + 12);
        Transpose(c0, c1, c2, c3);
        SumDifference(c0, c1);
        SumDifference(c2, c3);
        SumDifference(c0, c2);
        SumDifference(c1, c3);
        Transpose(c0, c1, c2, c3);
        _mm_storeu_ps(e + f, c0);
        _mm_storeu_ps(e + f + 4, c1);
        _mm_storeu_ps(e + f + 8, c2);
        _mm_storeu_ps(e + f + 12, c3);
    }
}

QELV_HARTLEY_AVX2 bool HartleySecondStage4(float* e, std::size_t f, const HartleyTwiddlesD& t) {
    // v[j] holds entry j (0 .. 15) of the four blocks at f, f+16, f+32, f+48.
    __m128 v[16];
    for (int q = 0; q < 4; ++q) {
        v[4 * q] = _mm_loadu_ps(e + f + 4 * q);
        v[4 * q + 1] = _mm_loadu_ps(e + f + 16 + 4 * q);
        v[4 * q + 2] = _mm_loadu_ps(e + f + 32 + 4 * q);
        v[4 * q + 3] = _mm_loadu_ps(e + f + 48 + 4 * q);
        Transpose(v[4 * q], v[4 * q + 1], v[4 * q + 2], v[4 * q + 3]);
    }
    __m256i special = _mm256_setzero_si256();
    // The head: offsets 0 and k8 = 2 of each quarter (k1 = 4, k2 = 8, k3 = 12).
    SumDifference(v[0], v[4]);
    SumDifference(v[8], v[12]);
    SumDifference(v[0], v[8]);
    SumDifference(v[4], v[12]);
    SumDifference(v[2], v[6]);
    v[10] = TimesRootTwo(v[10], special);
    v[14] = TimesRootTwo(v[14], special);
    SumDifference(v[2], v[10]);
    SumDifference(v[6], v[14]);
    // The one group, i = 1: a = 1, b = 3.
    const __m256d c1 = _mm256_set1_pd(t.c1[1]), s1 = _mm256_set1_pd(t.s1[1]);
    const __m256d c2 = _mm256_set1_pd(t.c2[1]), s2 = _mm256_set1_pd(t.s2[1]);
    Rotate(c2, s2, v[5], v[7], v[5], v[7], special);
    SumDifference(v[1], v[5]);
    SumDifference(v[3], v[7]);
    Rotate(c2, s2, v[13], v[15], v[13], v[15], special);
    SumDifference(v[9], v[13]);
    SumDifference(v[11], v[15]);
    Rotate(c1, s1, v[9], v[15], v[9], v[15], special);
    SumDifference(v[1], v[9]);
    SumDifference(v[7], v[15]);
    Rotate(s1, c1, v[11], v[13], v[11], v[13], special);
    SumDifference(v[5], v[13]);
    SumDifference(v[3], v[11]);
    if (!_mm256_testz_si256(special, special)) return false;
    for (int q = 0; q < 4; ++q) {
        Transpose(v[4 * q], v[4 * q + 1], v[4 * q + 2], v[4 * q + 3]);
        _mm_storeu_ps(e + f + 4 * q, v[4 * q]);
        _mm_storeu_ps(e + f + 16 + 4 * q, v[4 * q + 1]);
        _mm_storeu_ps(e + f + 32 + 4 * q, v[4 * q + 2]);
        _mm_storeu_ps(e + f + 48 + 4 * q, v[4 * q + 3]);
    }
    return true;
}

namespace {

// Groups i .. i+lanes-1 (lanes 4 or 3) of the block at f; false, with nothing
// written, when a kept lane needs the scalar path.
QELV_HARTLEY_INLINE bool Groups(float* e, std::size_t f, std::size_t i, std::size_t k1, const HartleyTwiddlesD& t,
                                int lanes) {
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

    if (lanes == 4) {
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
    // Three lanes: lane 3 (group k1/2, where a and b meet) is computed from
    // whatever it loaded and dropped; the stores leave its entries alone.
    const __m256i kept = _mm256_set_epi64x(0, -1, -1, -1);
    if (!_mm256_testz_si256(special, kept)) return false;
    const __m128i aMask = _mm_set_epi32(0, -1, -1, -1);  // memory order: lanes 0, 1, 2, 3
    const __m128i bMask = _mm_set_epi32(-1, -1, -1, 0);  // memory order: lanes 3, 2, 1, 0
    _mm_maskstore_ps(pa, aMask, a0);
    _mm_maskstore_ps(pa + k1, aMask, a1);
    _mm_maskstore_ps(pa + k2, aMask, a2);
    _mm_maskstore_ps(pa + k3, aMask, a3);
    _mm_maskstore_ps(pb, bMask, Reversed(b0));
    _mm_maskstore_ps(pb + k1, bMask, Reversed(b1));
    _mm_maskstore_ps(pb + k2, bMask, Reversed(b2));
    _mm_maskstore_ps(pb + k3, bMask, Reversed(b3));
    return true;
}

}  // namespace

QELV_HARTLEY_AVX2 void HartleyStageGroups(float* e, std::size_t n, std::size_t s, const HartleyTwiddlesD& t,
                                          ScalarHartleyGroups scalar) {
    const std::size_t k1 = s / 4, k8 = s / 8;
    for (std::size_t f = 0; f < n; f += s) {
        // k8 - 1 groups: a multiple of four, then three.
        for (std::size_t i = 1; i < k8; i += 4) {
            const int lanes = i + 3 < k8 ? 4 : 3;
            if (!Groups(e, f, i, k1, t, lanes)) scalar(e, f, i, static_cast<std::size_t>(lanes), k1);
        }
    }
}

}  // namespace qelv::dsp::wide

#endif

#if QELV_HAVE_WIDE_HARTLEY

#include <atomic>

#define QELV_HARTLEY_512 __attribute__((target("avx512f,avx512vl,avx2")))
#define QELV_HARTLEY_512_INLINE inline __attribute__((always_inline, target("avx512f,avx512vl,avx2")))

namespace qelv::dsp::wide {
namespace {

std::atomic<bool> g_allowEight{true};

QELV_HARTLEY_512_INLINE __m256 Reversed8(__m256 v) {
    return _mm256_permutevar8x32_ps(v, _mm256_set_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

QELV_HARTLEY_512_INLINE void SumDifference8(__m256& p, __m256& q) {
    const __m256 sum = _mm256_add_ps(p, q);
    q = _mm256_sub_ps(sum, _mm256_add_ps(q, q));
    p = sum;
}

// As RoundedSum, eight lanes; the checks go to a mask register. The range test
// is x - 1 < T - 1 unsigned on the bits without the sign, x = bits << 1.
QELV_HARTLEY_512_INLINE __m256 RoundedSum8(__m512d sum, __mmask8& special) {
    const __m512i bits = _mm512_castpd_si512(sum);
    const __mmask8 midpoint = _mm512_cmpeq_epi64_mask(
        _mm512_and_si512(bits, _mm512_set1_epi64((std::int64_t{1} << 29) - 1)), _mm512_set1_epi64(std::int64_t{1} << 28));
    constexpr std::int64_t kSmallestNormalFloat = std::int64_t{0x3810000000000000};  // 2^-126 as a double
    const __mmask8 tiny = _mm512_cmplt_epu64_mask(_mm512_sub_epi64(_mm512_add_epi64(bits, bits), _mm512_set1_epi64(1)),
                                                   _mm512_set1_epi64((kSmallestNormalFloat << 1) - 1));
    special = static_cast<__mmask8>(special | midpoint | tiny);
    return _mm512_maskz_cvtpd_ps(0xFF, sum);
}

QELV_HARTLEY_512_INLINE void Rotate8(__m512d c, __m512d s, __m256 u, __m256 v, __m256& plus, __m256& minus,
                                     __mmask8& special) {
    // (The zero-masked conversions with a full mask are the plain ones.)
    const __m512d ud = _mm512_maskz_cvtps_pd(0xFF, u), vd = _mm512_maskz_cvtps_pd(0xFF, v);
    plus = RoundedSum8(_mm512_add_pd(_mm512_mul_pd(c, ud), _mm512_mul_pd(s, vd)), special);
    minus = RoundedSum8(_mm512_sub_pd(_mm512_mul_pd(s, ud), _mm512_mul_pd(c, vd)), special);
}

// Groups i .. i+lanes-1 (lanes 8 or 7) of the block at f, as Groups.
QELV_HARTLEY_512_INLINE bool Groups8(float* e, std::size_t f, std::size_t i, std::size_t k1,
                                     const HartleyTwiddlesD& t, int lanes) {
    const std::size_t k2 = 2 * k1, k3 = 3 * k1;
    float* pa = e + f + i;
    float* pb = e + f + k1 - i - 7;
    __m256 a0 = _mm256_loadu_ps(pa), a1 = _mm256_loadu_ps(pa + k1), a2 = _mm256_loadu_ps(pa + k2),
           a3 = _mm256_loadu_ps(pa + k3);
    __m256 b0 = Reversed8(_mm256_loadu_ps(pb)), b1 = Reversed8(_mm256_loadu_ps(pb + k1));
    __m256 b2 = Reversed8(_mm256_loadu_ps(pb + k2)), b3 = Reversed8(_mm256_loadu_ps(pb + k3));
    const __m512d c1 = _mm512_loadu_pd(t.c1 + i), s1 = _mm512_loadu_pd(t.s1 + i);
    const __m512d c2 = _mm512_loadu_pd(t.c2 + i), s2 = _mm512_loadu_pd(t.s2 + i);
    __mmask8 special = 0;

    Rotate8(c2, s2, a1, b1, a1, b1, special);
    SumDifference8(a0, a1);
    SumDifference8(b0, b1);
    Rotate8(c2, s2, a3, b3, a3, b3, special);
    SumDifference8(a2, a3);
    SumDifference8(b2, b3);
    Rotate8(c1, s1, a2, b3, a2, b3, special);
    SumDifference8(a0, a2);
    SumDifference8(b1, b3);
    Rotate8(s1, c1, b2, a3, b2, a3, special);
    SumDifference8(a1, a3);
    SumDifference8(b0, b2);

    // Seven lanes: lane 7 (group k1/2, where a and b meet) is dropped; in
    // memory it is the last a entry and the first b entry.
    const __mmask8 kept = lanes == 8 ? 0xFF : 0x7F;
    if ((special & kept) != 0) return false;
    const __mmask8 bKept = lanes == 8 ? 0xFF : 0xFE;
    _mm256_mask_storeu_ps(pa, kept, a0);
    _mm256_mask_storeu_ps(pa + k1, kept, a1);
    _mm256_mask_storeu_ps(pa + k2, kept, a2);
    _mm256_mask_storeu_ps(pa + k3, kept, a3);
    _mm256_mask_storeu_ps(pb, bKept, Reversed8(b0));
    _mm256_mask_storeu_ps(pb + k1, bKept, Reversed8(b1));
    _mm256_mask_storeu_ps(pb + k2, bKept, Reversed8(b2));
    _mm256_mask_storeu_ps(pb + k3, bKept, Reversed8(b3));
    return true;
}

}  // namespace

bool HasEightLanes() {
    static const bool processor = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    return processor && g_allowEight.load(std::memory_order_relaxed);
}

void AllowEightLanes(bool allow) { g_allowEight.store(allow, std::memory_order_relaxed); }

QELV_HARTLEY_512 void HartleyStageGroups8(float* e, std::size_t n, std::size_t s, const HartleyTwiddlesD& t,
                                          ScalarHartleyGroups scalar) {
    const std::size_t k1 = s / 4, k8 = s / 8;
    for (std::size_t f = 0; f < n; f += s) {
        // k8 - 1 groups: a multiple of eight, then seven.
        for (std::size_t i = 1; i < k8; i += 8) {
            const int lanes = i + 7 < k8 ? 8 : 7;
            if (!Groups8(e, f, i, k1, t, lanes)) scalar(e, f, i, static_cast<std::size_t>(lanes), k1);
        }
    }
}

}  // namespace qelv::dsp::wide

#endif
