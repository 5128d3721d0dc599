#include "transform/dsp/LevelKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "transform/dsp/SampleFormulas.h"
#include "transform/dsp/Vector.h"
#include "transform/dsp/WideKernels.h"

namespace qelv::dsp {

void SilenceRange(std::int16_t* a, std::size_t begin, std::size_t end) {
    std::fill(a + begin, a + end, std::int16_t{0});
}

void ReverseRange(std::int16_t* a, std::size_t n, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) std::swap(a[i], a[n - 1 - i]);
}

void InvertRange(std::int16_t* a, std::size_t begin, std::size_t end) {
#if QELV_HAVE_WIDE_KERNELS
    if (vec::HasWide()) return wide::Invert(a, begin, end);
#endif
    for (std::size_t i = begin; i < end; ++i) a[i] = static_cast<std::int16_t>(-static_cast<std::int32_t>(a[i]));
}

namespace {

// ---- Amplify -------------------------------------------------------------------
// The double product is exact, so the vector code is the scalar formula on four
// lanes at a time.
QELV_ALWAYS_INLINE void AmplifyBody(std::int16_t* a, std::size_t b, std::size_t e, double gain) {
    std::size_t i = b;
    for (; i + 8 <= e; i += 8) {
        vec::F64x4 low, high;
        vec::LoadDouble8(a + i, low, high);
        vec::StoreSamples8(a + i, vec::ClampTruncate(low * gain, 32767.0), vec::ClampTruncate(high * gain, 32767.0));
    }
    for (; i < e; ++i) a[i] = AmplifySample(a[i], gain);
}
void AmplifyBase(std::int16_t* a, std::size_t b, std::size_t e, double gain) { AmplifyBody(a, b, e, gain); }

// ---- Fade ------------------------------------------------------------------------
QELV_ALWAYS_INLINE std::int16_t FadeOne(std::int16_t x, std::size_t i, FadeRamp ramp) {
    return FadeSample(x, i, ramp.slope, ramp.gain0);
}

// Fast path in double: the double result y differs from the extended one by at
// most |x| * (|i * slope| + |gain0|) * 2^-51 (two or three roundings of 2^-53
// each, against 2^-63 for extended); `bound` is twice that for the largest |x|
// and i of the call. When y - bound and y + bound round to the same float, so
// does the extended result. A y within 0.5 of zero truncates to 0 either way as
// long as the bound is small. Blocks with another uncertain lane are redone exactly.
QELV_ALWAYS_INLINE void FadeBody(std::int16_t* a, std::size_t b, std::size_t e, FadeRamp ramp, double bound,
                                 bool nearZeroIsSafe) {
    constexpr std::size_t kBlock = 64;
    const vec::F64x4 lanes = {0, 1, 2, 3};
    const vec::F64x4 slope = vec::F64x4{} + static_cast<double>(ramp.slope);
    const vec::F64x4 gain0 = vec::F64x4{} + static_cast<double>(ramp.gain0);
    const vec::F64x4 err = vec::F64x4{} + bound;
    const vec::F32x4 half = vec::F32x4{} + (nearZeroIsSafe ? 0.5f : 0.0f);
    std::size_t i = b;
    for (; i + kBlock <= e; i += kBlock) {
        alignas(32) std::int16_t result[kBlock];
        vec::I32x4 uncertain = {};
        // Sample indices as doubles (exact below 2^53), stepped rather than converted.
        vec::F64x4 index = lanes + static_cast<double>(static_cast<std::int64_t>(i));
        for (std::size_t j = 0; j < kBlock; j += 8, index += 8.0) {
            vec::F64x4 x0, x1;
            vec::LoadDouble8(a + i + j, x0, x1);
            const vec::F64x4 y0 = (index * slope + gain0) * x0;
            const vec::F64x4 y1 = ((index + 4.0) * slope + gain0) * x1;
            const vec::F32x4 low0 = __builtin_convertvector(y0 - err, vec::F32x4);
            const vec::F32x4 high0 = __builtin_convertvector(y0 + err, vec::F32x4);
            const vec::F32x4 low1 = __builtin_convertvector(y1 - err, vec::F32x4);
            const vec::F32x4 high1 = __builtin_convertvector(y1 + err, vec::F32x4);
            uncertain |= (low0 != high0) & ((high0 >= half) | (low0 <= -half));
            uncertain |= (low1 != high1) & ((high1 >= half) | (low1 <= -half));
            vec::StoreSamples8(result + j, vec::ClampTruncate(low0, 32767.0f), vec::ClampTruncate(low1, 32767.0f));
        }
        if (vec::Any(uncertain)) {
            for (std::size_t k = i; k < i + kBlock; ++k) a[k] = FadeOne(a[k], k, ramp);
        } else {
            std::memcpy(a + i, result, sizeof result);
        }
    }
    for (; i < e; ++i) a[i] = FadeOne(a[i], i, ramp);
}
void FadeBase(std::int16_t* a, std::size_t b, std::size_t e, FadeRamp ramp, double bound, bool safe) {
    FadeBody(a, b, e, ramp, bound, safe);
}

// ---- Normalize -----------------------------------------------------------------
// |d| < 2^17, so d * factor is exact in double and the float product of the
// float-exact d and factor is that exact product correctly rounded: the same value.
QELV_ALWAYS_INLINE void NormalizeBody(std::int16_t* a, std::size_t b, std::size_t e, std::int32_t mean, float factor) {
    const vec::F32x8 f = vec::F32x8{} + factor;
    const vec::I32x8 m = vec::I32x8{} + mean;
    std::size_t i = b;
    for (; i + 8 <= e; i += 8) {
        const vec::I32x8 d = __builtin_convertvector(vec::Load8(a + i), vec::I32x8) - m;
        const vec::F32x8 y = __builtin_convertvector(d, vec::F32x8) * f;
        vec::Store8(a + i, __builtin_convertvector(vec::ClampTruncate(y, 32767.0f), vec::I16x8));
    }
    for (; i < e; ++i) a[i] = NormalizeSample(a[i], mean, factor);
}
void NormalizeBase(std::int16_t* a, std::size_t b, std::size_t e, std::int32_t mean, float factor) {
    NormalizeBody(a, b, e, mean, factor);
}

}  // namespace

void AmplifyRange(std::int16_t* a, std::size_t begin, std::size_t end, float gain) {
    if (!std::isfinite(gain)) {
        for (std::size_t i = begin; i < end; ++i) a[i] = AmplifySample(a[i], gain);
        return;
    }
#if QELV_HAVE_WIDE_KERNELS
    if (vec::HasWide() && std::fabs(gain) <= wide::kMaxGain) return wide::Amplify(a, begin, end, gain);
#endif
    AmplifyBase(a, begin, end, gain);
}

FadeRamp MakeFadeRamp(float ampLeftPercent, float ampRightPercent, std::size_t n) {
    const float g0 = ampLeftPercent / 100.0f;
    const float g1 = ampRightPercent / 100.0f;
    const long double steps = static_cast<long double>(n > 1 ? n - 1 : 1);
    const float slope = static_cast<float>((static_cast<long double>(g1) - g0) / steps);
    return {g0, slope};
}

void FadeRange(std::int16_t* a, std::size_t begin, std::size_t end, FadeRamp ramp) {
    if (!std::isfinite(ramp.gain0) || !std::isfinite(ramp.slope)) {
        for (std::size_t i = begin; i < end; ++i) a[i] = FadeOne(a[i], i, ramp);
        return;
    }
    // The largest |gain| of the range is at one of its ends.
    const double largestGain = std::fabs(static_cast<double>(ramp.gain0)) +
                               std::fabs(static_cast<double>(ramp.slope)) * static_cast<double>(end);
#if QELV_HAVE_WIDE_KERNELS
    if (vec::HasWide() && end <= (std::size_t{1} << 29) && largestGain <= wide::kMaxGain) {
        return wide::Fade(a, begin, end, ramp.slope, ramp.gain0);
    }
#endif
    const double bound = 32768.0 * largestGain * 0x1p-50;
    FadeBase(a, begin, end, ramp, bound, bound < 0.25);
}

NormalizeScale MeasureNormalize(const std::int16_t* a, std::size_t n, float normalizationPercent,
                                bool dcBiasAdjust) {
    std::int32_t max = 0;
    std::int32_t min = 0;
    std::int64_t sum = 0;
#if QELV_HAVE_WIDE_KERNELS
    if (vec::HasWide()) {
        wide::Measure(a, n, max, min, sum);
    } else
#endif
    {
        // Block sums fit in 32 bits (32768 samples of at most 32768), which lets
        // the compiler vectorise the pass; the blocks are added up in 64 bits.
        constexpr std::size_t kBlock = 32768;
        for (std::size_t start = 0; start < n; start += kBlock) {
            const std::size_t stop = std::min(n, start + kBlock);
            std::int32_t blockSum = 0;
            std::int16_t blockMax = 0;
            std::int16_t blockMin = 0;
            for (std::size_t i = start; i < stop; ++i) {
                blockMax = std::max(blockMax, a[i]);
                blockMin = std::min(blockMin, a[i]);
                blockSum += a[i];
            }
            max = std::max<std::int32_t>(max, blockMax);
            min = std::min<std::int32_t>(min, blockMin);
            sum += blockSum;
        }
    }
    const std::int64_t mean = dcBiasAdjust ? sum / static_cast<std::int64_t>(n) : 0;
    std::int64_t peak = std::max(max - mean, mean - min);
    if (peak == 0 || peak > 32767) peak = 32767;
    float g = normalizationPercent / 100.0f;
    if (g > 1) g = 1;
    if (g < 0) g = 0;
    const float factor = static_cast<float>(32767.0L / static_cast<long double>(peak) * g);
    return {mean, factor};
}

void NormalizeRange(std::int16_t* a, std::size_t begin, std::size_t end, NormalizeScale scale) {
    const std::int32_t mean = static_cast<std::int32_t>(scale.mean);
    if (!std::isfinite(scale.factor)) {
        for (std::size_t i = begin; i < end; ++i) a[i] = NormalizeSample(a[i], mean, scale.factor);
        return;
    }
#if QELV_HAVE_WIDE_KERNELS
    if (vec::HasWide() && std::fabs(scale.factor) <= 32767.0f) return wide::Normalize(a, begin, end, mean, scale.factor);
#endif
    NormalizeBase(a, begin, end, mean, scale.factor);
}

float PercentToDecibels(float percent) {
    if (!(percent > 0)) return 0.0f;
    const double ratio = static_cast<double>(static_cast<long double>(percent) / 100.0L);
    return static_cast<float>(20.0L * std::log10(ratio));
}

float DecibelsToPercent(float decibels) {
    const double exponent = static_cast<double>(static_cast<long double>(decibels) / 20.0L);
    return static_cast<float>(static_cast<long double>(std::pow(10.0, exponent)) * 100.0L);
}

}  // namespace qelv::dsp
