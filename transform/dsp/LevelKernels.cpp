#include "transform/dsp/LevelKernels.h"

#include <algorithm>
#include <cmath>

#include "transform/dsp/SampleConversion.h"

namespace qelv::dsp {

void SilenceRange(std::int16_t* a, std::size_t begin, std::size_t end) {
    std::fill(a + begin, a + end, std::int16_t{0});
}

void ReverseRange(std::int16_t* a, std::size_t n, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) std::swap(a[i], a[n - 1 - i]);
}

void InvertRange(std::int16_t* a, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) a[i] = static_cast<std::int16_t>(-static_cast<std::int32_t>(a[i]));
}

void AmplifyRange(std::int16_t* a, std::size_t begin, std::size_t end, float gain) {
    // A 16-bit sample times a float is exact in double precision, so this equals
    // the product formed in extended precision and stored as a double.
    const double g = gain;
    for (std::size_t i = begin; i < end; ++i) a[i] = ClampTruncate(static_cast<double>(a[i]) * g);
}

FadeRamp MakeFadeRamp(float ampLeftPercent, float ampRightPercent, std::size_t n) {
    const float g0 = ampLeftPercent / 100.0f;
    const float g1 = ampRightPercent / 100.0f;
    const long double steps = static_cast<long double>(n > 1 ? n - 1 : 1);
    const float slope = static_cast<float>((static_cast<long double>(g1) - g0) / steps);
    return {g0, slope};
}

void FadeRange(std::int16_t* a, std::size_t begin, std::size_t end, FadeRamp ramp) {
    // The gain is an extended-precision intermediate; only the product is rounded to a float.
    for (std::size_t i = begin; i < end; ++i) {
        const long double gain = static_cast<long double>(i) * ramp.slope + ramp.gain0;
        a[i] = ClampTruncate(static_cast<float>(gain * a[i]));
    }
}

NormalizeScale MeasureNormalize(const std::int16_t* a, std::size_t n, float normalizationPercent,
                                bool dcBiasAdjust) {
    std::int32_t max = 0;
    std::int32_t min = 0;
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        max = std::max<std::int32_t>(max, a[i]);
        min = std::min<std::int32_t>(min, a[i]);
        sum += a[i];
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
    const double factor = scale.factor;
    for (std::size_t i = begin; i < end; ++i) {
        // |d| < 2^17, so d * factor is exact in double before the rounding to float.
        const double d = static_cast<double>(a[i] - scale.mean);
        a[i] = ClampTruncate(static_cast<float>(d * factor));
    }
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
