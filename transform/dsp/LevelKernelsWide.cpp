// AVX2 variants of the level kernels (Invert, Amplify, Fade, Normalize).
#include "transform/dsp/WideKernels.h"

#if QELV_HAVE_WIDE_KERNELS

#include <algorithm>

#include "transform/dsp/Avx2Lanes.h"
#include "transform/dsp/SampleFormulas.h"

namespace qelv::dsp::wide {
namespace {

// Switches the vector unit to rounding toward zero for the lifetime of the
// object and restores the caller's mode afterwards. The empty asm statements keep
// the compiler from moving memory accesses, and with them the arithmetic that
// feeds the stores, across the mode switches.
class RoundTowardZero {
public:
    QELV_AVX2 RoundTowardZero() : saved_(_mm_getcsr()) {
        _mm_setcsr((saved_ & ~kRoundingBits) | kTowardZero);
        __asm__ volatile("" ::: "memory");
    }
    QELV_AVX2 ~RoundTowardZero() {
        __asm__ volatile("" ::: "memory");
        _mm_setcsr(saved_);
    }
    RoundTowardZero(const RoundTowardZero&) = delete;
    RoundTowardZero& operator=(const RoundTowardZero&) = delete;

private:
    static constexpr unsigned kRoundingBits = 0x6000;
    static constexpr unsigned kTowardZero = 0x6000;
    unsigned saved_;
};

}  // namespace

QELV_AVX2 void Invert(std::int16_t* a, std::size_t begin, std::size_t end) {
    std::size_t i = begin;
    const __m256i zero = _mm256_setzero_si256();
    for (; i + 16 <= end; i += 16) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + i), _mm256_sub_epi16(zero, Load16(a + i)));
    }
    for (; i < end; ++i) a[i] = static_cast<std::int16_t>(-static_cast<std::int32_t>(a[i]));
}

// The exact product x * gain truncates to the same integer as the float product
// rounded toward zero: every integer of the range is a float, and rounding toward
// zero never steps over one. So the float product in that rounding mode,
// truncated, is the exact result, eight lanes at a time.
QELV_AVX2 void Amplify(std::int16_t* a, std::size_t begin, std::size_t end, float gain) {
    std::size_t i = begin;
    {
        const RoundTowardZero mode;
        const __m256 g = _mm256_set1_ps(gain);
        for (; i + 16 <= end; i += 16) {
            __m256 low, high;
            SplitToFloat(Load16(a + i), 0.0f, low, high);
            StoreClamped(a + i, _mm256_cvttps_epi32(_mm256_mul_ps(low, g)), _mm256_cvttps_epi32(_mm256_mul_ps(high, g)));
        }
    }
    for (; i < end; ++i) a[i] = AmplifySample(a[i], gain);
}

// Gain and product in double: the gain i * slope + gain0 is rounded once (the
// product i * slope is exact below 2^29), the product with the sample once more.
// Against the extended-precision result y that differs by less than 2.2 units in
// the last place of the double, so the two round to the same float unless the
// double lies within that distance of a point half way between two floats. Such
// a point has the 29 bits below the float's precision equal to 2^28; sixteen
// samples with a lane within 4 units of it are computed with the exact formula.
QELV_AVX2 void Fade(std::int16_t* a, std::size_t begin, std::size_t end, float slope, float gain0) {
    constexpr long long kUlps = 4;
    const __m256i window = _mm256_set1_epi64x((1LL << 28) + kUlps);
    const __m256i below = _mm256_set1_epi64x((1LL << 29) - 1);
    const __m256i limit = _mm256_set1_epi64x(2 * kUlps + 1);
    const __m256d s = _mm256_set1_pd(slope);
    const __m256d g0 = _mm256_set1_pd(gain0);
    const __m256d step = _mm256_set1_pd(4.0);
    std::size_t i = begin;
    __m256d index = _mm256_add_pd(_mm256_set_pd(3, 2, 1, 0), _mm256_set1_pd(static_cast<double>(i)));
    for (; i + 16 <= end; i += 16) {
        __m256d y[4];
        __m256i near = _mm256_setzero_si256();
        for (int q = 0; q < 4; ++q) {
            y[q] = _mm256_mul_pd(_mm256_fmadd_pd(index, s, g0), LoadDouble4(a + i + 4 * q));
            index = _mm256_add_pd(index, step);
            const __m256i distance = _mm256_and_si256(_mm256_add_epi64(_mm256_castpd_si256(y[q]), window), below);
            near = _mm256_or_si256(near, _mm256_cmpgt_epi64(limit, distance));
        }
        if (!_mm256_testz_si256(near, near)) {
            for (std::size_t k = i; k < i + 16; ++k) a[k] = FadeSample(a[k], k, slope, gain0);
            continue;
        }
        StoreClamped(a + i, _mm256_cvtpd_ps(y[0]), _mm256_cvtpd_ps(y[1]), _mm256_cvtpd_ps(y[2]), _mm256_cvtpd_ps(y[3]));
    }
    for (; i < end; ++i) a[i] = FadeSample(a[i], i, slope, gain0);
}

QELV_AVX2 void Measure(const std::int16_t* a, std::size_t n, std::int32_t& max, std::int32_t& min,
                       std::int64_t& sum) {
    // Two independent sets of accumulators; the pairwise 32-bit sums of one block
    // of 2048 steps stay below 2^31 and are added up in 64 bits.
    constexpr std::size_t kStepsPerBlock = 2048;
    const __m256i ones = _mm256_set1_epi16(1);
    __m256i max0 = _mm256_setzero_si256(), max1 = max0, min0 = max0, min1 = max0;
    std::int64_t total = 0;
    std::size_t i = 0;
    while (i + 32 <= n) {
        const std::size_t stop = std::min(i + (n - i) / 32 * 32, i + 32 * kStepsPerBlock);
        __m256i sum0 = _mm256_setzero_si256(), sum1 = sum0;
        for (; i < stop; i += 32) {
            const __m256i v = Load16(a + i);
            const __m256i w = Load16(a + i + 16);
            max0 = _mm256_max_epi16(max0, v);
            min0 = _mm256_min_epi16(min0, v);
            sum0 = _mm256_add_epi32(sum0, _mm256_madd_epi16(v, ones));
            max1 = _mm256_max_epi16(max1, w);
            min1 = _mm256_min_epi16(min1, w);
            sum1 = _mm256_add_epi32(sum1, _mm256_madd_epi16(w, ones));
        }
        alignas(32) std::int32_t lanes[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), _mm256_add_epi32(sum0, sum1));
        for (std::int32_t lane : lanes) total += lane;
    }
    alignas(32) std::int16_t highs[16], lows[16];
    _mm256_store_si256(reinterpret_cast<__m256i*>(highs), _mm256_max_epi16(max0, max1));
    _mm256_store_si256(reinterpret_cast<__m256i*>(lows), _mm256_min_epi16(min0, min1));
    std::int32_t hi = 0, lo = 0;
    for (int k = 0; k < 16; ++k) {
        hi = std::max<std::int32_t>(hi, highs[k]);
        lo = std::min<std::int32_t>(lo, lows[k]);
    }
    for (; i < n; ++i) {
        hi = std::max<std::int32_t>(hi, a[i]);
        lo = std::min<std::int32_t>(lo, a[i]);
        total += a[i];
    }
    max = hi;
    min = lo;
    sum = total;
}

// x - mean is exact as a float, and so the float product of it and the factor
// is the exact product rounded once to a float, as documented.
QELV_AVX2 void Normalize(std::int16_t* a, std::size_t begin, std::size_t end, std::int32_t mean, float factor) {
    const __m256 f = _mm256_set1_ps(factor);
    const float bias = static_cast<float>(mean);
    std::size_t i = begin;
    for (; i + 16 <= end; i += 16) {
        __m256 low, high;
        SplitToFloat(Load16(a + i), bias, low, high);
        StoreClamped(a + i, _mm256_cvttps_epi32(_mm256_mul_ps(low, f)), _mm256_cvttps_epi32(_mm256_mul_ps(high, f)));
    }
    for (; i < end; ++i) a[i] = NormalizeSample(a[i], mean, factor);
}

}  // namespace qelv::dsp::wide

#endif
