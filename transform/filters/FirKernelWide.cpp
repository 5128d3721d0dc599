// AVX2 and FMA form of the FIR convolution: eight consecutive outputs per
// vector, each lane running its own sum over the taps in the stated order, so
// every lane performs exactly the scalar sequence of steps.
//
// One step is acc = float(x * h + acc) with the operation in extended
// precision. A fused multiply-add in floats rounds the exact value x * h + acc
// once to a float; extended precision rounds it to 64 bits first and then to a
// float. The two differ only when the 64-bit value lands exactly on a float
// midpoint m while the exact value S does not, i.e. 0 < |S - m| <= 2^(E-64)
// with 2^E <= |m|. Then some bit of S lies at or below 2^(E-64), and it belongs
// to x * h or to acc:
//   - x * h has at most 39 significant bits (a 16-bit sample times a 24-bit
//     significand). If its lowest bit were that low, |x * h| < 2^(E-25) and acc,
//     a float above 2^(E-1), would be a multiple of 2^(E-24) differing from m by
//     less than 2^(E-24): acc = m, impossible for a float of m's binade.
//   - So acc has a bit at or below 2^(E-64): |acc| < 2^(E-40), while the result
//     is at least 2^E. The result's exponent exceeds acc's by more than 39.
// The vector form therefore tracks, per lane, the largest increase of the
// biased exponent field from acc to the result over the whole sum (an integer
// difference of the absolute bit patterns) and recomputes a lane in extended
// precision when it ever exceeds 38 exponent steps. With every non-zero tap
// within 2^-60 .. 2^60 every partial sum is 0 or at least 2^-83 and at most
// 2^83 in magnitude, so no value is subnormal or overflows and the argument
// holds throughout. The first non-zero tap starts the sum with a plain product
// (float(x * h + 0) is one rounding of the exact product); a lane whose acc is 0
// further on is flagged by the same test and recomputed.
#include "transform/filters/FirKernel.h"
#include "transform/dsp/WideKernels.h"

#if QELV_HAVE_WIDE_KERNELS

#include <algorithm>

#include "transform/dsp/Avx2Lanes.h"

namespace qelv::dsp::wide {
namespace {

constexpr int kExponentSteps = 38;

QELV_AVX2_INLINE __m256i AbsBits(__m256 v) {
    return _mm256_and_si256(_mm256_castps_si256(v), _mm256_set1_epi32(0x7FFFFFFF));
}

// Limits to the filter's range and stores eight samples.
QELV_AVX2_INLINE void StoreLimited(std::int16_t* out, __m256 r) {
    const __m256 above = _mm256_cmp_ps(r, _mm256_set1_ps(32767.0f), _CMP_GT_OQ);
    const __m256 below = _mm256_cmp_ps(r, _mm256_set1_ps(-32767.0f), _CMP_LT_OQ);
    r = _mm256_blendv_ps(r, _mm256_set1_ps(32766.0f), above);
    r = _mm256_blendv_ps(r, _mm256_set1_ps(-32766.0f), below);
    const __m256i t = _mm256_cvttps_epi32(r);
    const __m128i packed = _mm_packs_epi32(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), packed);
}

// V vectors of eight outputs: output k (0 .. 8V-1) of the group reads its
// input x[i + k - j] at xs[k - j].
template <int V>
QELV_AVX2_INLINE void Group(const float* xs, const FirTaps& taps, const std::int16_t* x, std::size_t i,
                            std::int16_t* out) {
    const float* h = taps.h;
    const std::size_t n = taps.count;
    const std::size_t j0 = taps.firstNonZero;
    __m256 acc[V];
    __m256i previous[V];
    __m256i worst = _mm256_setzero_si256();
    __m256 hv = _mm256_set1_ps(h[j0]);
    for (int v = 0; v < V; ++v) {
        acc[v] = _mm256_mul_ps(_mm256_loadu_ps(xs + 8 * v - j0), hv);
        previous[v] = AbsBits(acc[v]);
    }
    // Two taps per pass, the exponent fields of the first step held in a
    // temporary, so that no register needs copying from one tap to the next.
    __m256i worst2 = _mm256_setzero_si256();
    std::size_t j = j0 + 1;
    for (; j + 1 < n; j += 2) {
        const __m256 h0 = _mm256_set1_ps(h[j]);
        const __m256 h1 = _mm256_set1_ps(h[j + 1]);
        for (int v = 0; v < V; ++v) {
            acc[v] = _mm256_fmadd_ps(_mm256_loadu_ps(xs + 8 * v - j), h0, acc[v]);
            const __m256i middle = AbsBits(acc[v]);
            worst = _mm256_max_epi32(worst, _mm256_sub_epi32(middle, previous[v]));
            acc[v] = _mm256_fmadd_ps(_mm256_loadu_ps(xs + 8 * v - j - 1), h1, acc[v]);
            previous[v] = AbsBits(acc[v]);
            worst2 = _mm256_max_epi32(worst2, _mm256_sub_epi32(previous[v], middle));
        }
    }
    for (; j < n; ++j) {
        hv = _mm256_set1_ps(h[j]);
        for (int v = 0; v < V; ++v) {
            acc[v] = _mm256_fmadd_ps(_mm256_loadu_ps(xs + 8 * v - j), hv, acc[v]);
            const __m256i bits = AbsBits(acc[v]);
            worst = _mm256_max_epi32(worst, _mm256_sub_epi32(bits, previous[v]));
            previous[v] = bits;
        }
    }
    worst = _mm256_max_epi32(worst, worst2);
    for (int v = 0; v < V; ++v) StoreLimited(out + 8 * v, acc[v]);
    const int flagged = _mm256_movemask_ps(
        _mm256_castsi256_ps(_mm256_cmpgt_epi32(worst, _mm256_set1_epi32(kExponentSteps << 23))));
    if (flagged != 0) {
        for (int lane = 0; lane < 8; ++lane) {
            if (!(flagged & (1 << lane))) continue;
            for (int v = 0; v < V; ++v) {
                const std::size_t k = static_cast<std::size_t>(8 * v + lane);
                out[k] = FirSampleExact(x, i + k, taps);
            }
        }
    }
}

// The driver: groups of kGroup outputs (kGroup / 8 independent sums per tap,
// which hide the fused multiply-add's latency), then single vectors.
template <std::size_t kGroup>
QELV_AVX2_INLINE std::size_t RangeInGroups(const std::int16_t* x, std::size_t begin, std::size_t end,
                                           const FirTaps& taps, std::int16_t* out, float* scratch) {
    const std::size_t n = taps.count;
    const std::size_t total = (end - begin) / 8 * 8;
    if (taps.firstNonZero == n) {
        // All taps 0: every sum is +0.
        std::fill(out, out + total, std::int16_t{0});
        return total;
    }
    for (std::size_t c0 = 0; c0 < total; c0 += kFirScratch) {
        const std::size_t c1 = std::min(total, c0 + kFirScratch);
        // scratch[k] holds x[begin + c0 - (N - 1) + k] as a float (exact).
        const std::int16_t* src = x + begin + c0 - (n - 1);
        const std::size_t width = c1 - c0 + n - 1;
        for (std::size_t k = 0; k < width; ++k) scratch[k] = src[k];
        std::size_t k = c0;
        for (; k + kGroup <= c1; k += kGroup) {
            Group<kGroup / 8>(scratch + (k - c0) + n - 1, taps, x, begin + k, out + k);
        }
        for (; k < c1; k += 8) Group<1>(scratch + (k - c0) + n - 1, taps, x, begin + k, out + k);
    }
    return total;
}

// With AVX-512 VL the same 256-bit operations have 32 registers: eight sums
// with their exponent fields fit without spilling.
__attribute__((target("avx2,fma,avx512f,avx512vl"))) std::size_t RangeWithMoreRegisters(
    const std::int16_t* x, std::size_t begin, std::size_t end, const FirTaps& taps, std::int16_t* out,
    float* scratch) {
    return RangeInGroups<64>(x, begin, end, taps, out, scratch);
}

}  // namespace

QELV_AVX2 std::size_t FirRange(const std::int16_t* x, std::size_t begin, std::size_t end, const FirTaps& taps,
                               std::int16_t* out, float* scratch) {
    static const bool moreRegisters = __builtin_cpu_supports("avx512vl");
    if (moreRegisters) return RangeWithMoreRegisters(x, begin, end, taps, out, scratch);
    return RangeInGroups<32>(x, begin, end, taps, out, scratch);
}

}  // namespace qelv::dsp::wide

#endif
