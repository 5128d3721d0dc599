// AVX2 variants of the level kernels (Invert, Amplify, Fade, Normalize).
#include "transform/dsp/WideKernels.h"

#if QELV_HAVE_WIDE_KERNELS

#include <algorithm>
#include <cmath>

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

namespace {

// Gain and product in double: the gain i * slope + gain0 is rounded once (the
// product i * slope is exact below 2^29), the product with the sample once more.
// Against the extended-precision result y that differs by less than 2.2 units in
// the last place of the double, so the two round to the same float unless the
// double lies within that distance of a point half way between two floats. Such
// a point has the 29 bits below the float's precision equal to 2^28; sixteen
// samples with a lane within 4 units of it are computed with the exact formula.
// Those 29 bits lie in the low 32-bit half of each double, so the test runs on
// the low halves of two vectors at once.
struct FadeInDouble {
    static constexpr int kUlps = 4;
    float slope, gain0;
    __m256d s = _mm256_set1_pd(slope);
    __m256d g0 = _mm256_set1_pd(gain0);
    // (bits - (2^28 - kUlps)) mod 2^29: 0 .. 2 * kUlps for the lanes to hand back.
    __m256i shift = _mm256_set1_epi32((1 << 28) + kUlps);
    __m256i below = _mm256_set1_epi32((1 << 29) - 1);
    __m256i limit = _mm256_set1_epi32(2 * kUlps + 1);

    // Samples i .. i + 15, read from in[0 .. 15] and written to out[i .. i + 15].
    QELV_AVX2_INLINE void Group(const std::int16_t* in, std::int16_t* out, std::size_t i) const {
        __m256d index = _mm256_add_pd(_mm256_setr_pd(0, 1, 2, 3), _mm256_set1_pd(static_cast<double>(i)));
        __m256d y[4];
        for (int q = 0; q < 4; ++q) {
            y[q] = _mm256_mul_pd(_mm256_fmadd_pd(index, s, g0), LoadDouble4(in + 4 * q));
            index = _mm256_add_pd(index, _mm256_set1_pd(4.0));
        }
        __m256i nearest = below;
        for (int q = 0; q < 4; q += 2) {
            const __m256 lows = _mm256_shuffle_ps(_mm256_castpd_ps(y[q]), _mm256_castpd_ps(y[q + 1]), 0x88);
            const __m256i distance = _mm256_and_si256(_mm256_add_epi32(_mm256_castps_si256(lows), shift), below);
            nearest = _mm256_min_epi32(nearest, distance);
        }
        const __m256i near = _mm256_cmpgt_epi32(limit, nearest);
        if (!_mm256_testz_si256(near, near)) {
            for (std::size_t k = 0; k < 16; ++k) out[i + k] = FadeSample(in[k], i + k, slope, gain0);
            return;
        }
        StoreClamped(out + i, _mm256_cvtpd_ps(y[0]), _mm256_cvtpd_ps(y[1]), _mm256_cvtpd_ps(y[2]), _mm256_cvtpd_ps(y[3]));
    }
};

}  // namespace

// Gain and product in float. The gain is i * slope + gain0 rounded once (fused;
// the index is exact below 2^24), the product rounded once more, so the float
// product p is within 2u|v| of the exact v = (i * slope + gain0) * x. The
// documented result, the extended-precision product rounded to a float, is
// within u|v| (and a hair) of v. Truncating p can therefore only differ when an
// integer lies within about 3u|p| of p; sixteen samples with a lane within
// 3.25u|p| of an integer (a few groups in a hundred for loud signals) are
// computed in double instead. Gains above 256 would mark every loud lane, so
// they take the double path throughout.
QELV_AVX2 void Fade(std::int16_t* a, std::size_t begin, std::size_t end, float slope, float gain0) {
    const FadeInDouble exact{slope, gain0};
    const double largestGain = std::fabs(static_cast<double>(gain0)) +
                               std::fabs(static_cast<double>(slope)) * static_cast<double>(end);
    std::size_t i = begin;
    if (end > (std::size_t{1} << 24) || largestGain > 256.0) {
        for (; i + 16 <= end; i += 16) exact.Group(a + i, a, i);
    } else {
        const __m256 s = _mm256_set1_ps(slope);
        const __m256 g0 = _mm256_set1_ps(gain0);
        const __m256 step = _mm256_set1_ps(16.0f);
        const __m256 reach = _mm256_set1_ps(13 * 0x1p-26f);  // 3.25u
        // Gains with few significant bits (0.6 with the ramp flat, say) put many
        // products next to integers; then most groups are handed back and double
        // alone is faster. When more than a quarter of the last 256 groups were
        // handed back, the next ones go straight to double, twice as many each
        // time in a row.
        constexpr std::size_t kWindow = 256;
        constexpr std::size_t kLongestDetour = 64 * kWindow;
        std::size_t countdown = kWindow;
        std::size_t handedBack = 0;
        std::size_t detour = kWindow;
        // Lane indices in the order SplitToFloat delivers the samples.
        const __m256 first = _mm256_set1_ps(static_cast<float>(i));
        __m256 indexLow = _mm256_add_ps(_mm256_setr_ps(0, 1, 2, 3, 8, 9, 10, 11), first);
        __m256 indexHigh = _mm256_add_ps(_mm256_setr_ps(4, 5, 6, 7, 12, 13, 14, 15), first);
        for (; i + 16 <= end; i += 16) {
            __m256 low, high;
            SplitToFloat(Load16(a + i), 0.0f, low, high);
            const __m256 yLow = _mm256_mul_ps(_mm256_fmadd_ps(indexLow, s, g0), low);
            const __m256 yHigh = _mm256_mul_ps(_mm256_fmadd_ps(indexHigh, s, g0), high);
            indexLow = _mm256_add_ps(indexLow, step);
            indexHigh = _mm256_add_ps(indexHigh, step);
            const __m256 near = _mm256_or_ps(NearInteger(yLow, _mm256_mul_ps(yLow, reach)),
                                             NearInteger(yHigh, _mm256_mul_ps(yHigh, reach)));
            if (_mm256_movemask_ps(near) != 0) {
                exact.Group(a + i, a, i);
                ++handedBack;
            } else {
                StoreClamped(a + i, _mm256_cvttps_epi32(yLow), _mm256_cvttps_epi32(yHigh));
            }
            if (--countdown == 0) {
                countdown = kWindow;
                if (4 * handedBack > kWindow) {
                    // The next `detour` groups in double; the loop's own step
                    // then lands on the first group after them.
                    std::size_t k = i + 16;
                    const std::size_t stop = std::min(end - 15, k + 16 * detour);
                    for (; k < stop; k += 16) exact.Group(a + k, a, k);
                    i = k - 16;
                    const __m256 next = _mm256_set1_ps(static_cast<float>(k));
                    indexLow = _mm256_add_ps(_mm256_setr_ps(0, 1, 2, 3, 8, 9, 10, 11), next);
                    indexHigh = _mm256_add_ps(_mm256_setr_ps(4, 5, 6, 7, 12, 13, 14, 15), next);
                    detour = std::min(2 * detour, kLongestDetour);
                } else {
                    detour = kWindow;
                }
                handedBack = 0;
            }
        }
    }
    for (; i < end; ++i) a[i] = FadeSample(a[i], i, slope, gain0);
}

namespace {

// One block of Measure: at most kMeasureSteps steps of 32 samples, so that the
// 32-bit pairwise sums cannot overflow.
constexpr std::size_t kMeasureSteps = 2048;
struct MeasureLanes {
    __m256i max0, max1, min0, min1;
};
QELV_AVX2_INLINE std::int64_t MeasureBlock(const std::int16_t* p, std::size_t steps, MeasureLanes& m) {
    const __m256i ones = _mm256_set1_epi16(1);
    __m256i max0 = m.max0, max1 = m.max1, min0 = m.min0, min1 = m.min1;
    __m256i sum0 = _mm256_setzero_si256(), sum1 = sum0;
    for (const std::int16_t* end = p + 32 * steps; p != end; p += 32) {
        const __m256i v = Load16(p);
        const __m256i w = Load16(p + 16);
        max0 = _mm256_max_epi16(max0, v);
        min0 = _mm256_min_epi16(min0, v);
        sum0 = _mm256_add_epi32(sum0, _mm256_madd_epi16(v, ones));
        max1 = _mm256_max_epi16(max1, w);
        min1 = _mm256_min_epi16(min1, w);
        sum1 = _mm256_add_epi32(sum1, _mm256_madd_epi16(w, ones));
    }
    m = {max0, max1, min0, min1};
    alignas(32) std::int32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), _mm256_add_epi32(sum0, sum1));
    std::int64_t total = 0;
    for (std::int32_t lane : lanes) total += lane;
    return total;
}

}  // namespace

QELV_AVX2 void Measure(const std::int16_t* a, std::size_t n, std::int32_t& max, std::int32_t& min,
                       std::int64_t& sum) {
    MeasureLanes m = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                      _mm256_setzero_si256()};
    std::int64_t total = 0;
    std::size_t i = 0;
    for (std::size_t steps = n / 32; steps > 0;) {
        const std::size_t block = std::min(steps, kMeasureSteps);
        total += MeasureBlock(a + i, block, m);
        i += 32 * block;
        steps -= block;
    }
    alignas(32) std::int16_t highs[16], lows[16];
    _mm256_store_si256(reinterpret_cast<__m256i*>(highs), _mm256_max_epi16(m.max0, m.max1));
    _mm256_store_si256(reinterpret_cast<__m256i*>(lows), _mm256_min_epi16(m.min0, m.min1));
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
