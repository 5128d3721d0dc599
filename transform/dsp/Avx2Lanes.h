// Lane helpers shared by the AVX2 kernels (LevelKernelsWide.cpp, ChannelKernelsWide.cpp). Only those files
// include this header; everything here is inlined into functions compiled for AVX2.
#pragma once

#include <immintrin.h>

#include <cstdint>

#define QELV_AVX2 __attribute__((target("avx2,fma")))
#define QELV_AVX2_INLINE inline __attribute__((always_inline, target("avx2,fma")))

namespace qelv::dsp::wide {

QELV_AVX2_INLINE __m256i Load16(const std::int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Four samples as four doubles (exact).
QELV_AVX2_INLINE __m256d LoadDouble4(const std::int16_t* p) {
    return _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

// Sixteen samples x as floats x - bias, exactly (|bias| <= 32768). The 16-bit
// pattern of x + 32768 is placed under the exponent of 2^23, which makes the
// float 2^23 + x + 32768, and the constant is subtracted. `low` receives samples
// 0-3 and 8-11, `high` 4-7 and 12-15, the order in which PackSamples puts them back.
QELV_AVX2_INLINE void SplitToFloat(__m256i x, float bias, __m256& low, __m256& high) {
    const __m256i offset = _mm256_xor_si256(x, _mm256_set1_epi16(INT16_MIN));
    const __m256i exponent = _mm256_set1_epi16(0x4B00);
    const __m256 base = _mm256_set1_ps(8388608.0f + 32768.0f + bias);
    low = _mm256_sub_ps(_mm256_castsi256_ps(_mm256_unpacklo_epi16(offset, exponent)), base);
    high = _mm256_sub_ps(_mm256_castsi256_ps(_mm256_unpackhi_epi16(offset, exponent)), base);
}

// Packs two vectors of eight 32-bit results (lanes as SplitToFloat gives them)
// into sixteen samples clamped to -32767 .. 32767 and stores them.
QELV_AVX2_INLINE void StoreClamped(std::int16_t* p, __m256i low, __m256i high) {
    const __m256i packed = _mm256_packs_epi32(low, high);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_max_epi16(packed, _mm256_set1_epi16(-32767)));
}

// Joins four vectors of four floats (samples 0-3, 4-7, 8-11, 12-15), truncates,
// clamps and stores them as sixteen samples.
QELV_AVX2_INLINE void StoreClamped(std::int16_t* p, __m128 f0, __m128 f1, __m128 f2, __m128 f3) {
    const __m256 low = _mm256_insertf128_ps(_mm256_castps128_ps256(f0), f2, 1);
    const __m256 high = _mm256_insertf128_ps(_mm256_castps128_ps256(f1), f3, 1);
    StoreClamped(p, _mm256_cvttps_epi32(low), _mm256_cvttps_epi32(high));
}

// Marks (in the sign bit) each lane of p whose distance to the nearest integer is
// less than |reach|. The distance d is exact; d^2 - reach^2 is formed with one
// rounding after the squares, which errs on the side of marking by far less than
// the margins the callers leave. Lanes of 2^23 and more have no fraction bits and
// are always marked.
QELV_AVX2_INLINE __m256 NearInteger(__m256 p, __m256 reach) {
    const __m256 d = _mm256_sub_ps(p, _mm256_round_ps(p, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
    return _mm256_fnmadd_ps(reach, reach, _mm256_mul_ps(d, d));
}

}  // namespace qelv::dsp::wide
