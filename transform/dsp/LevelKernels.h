// Kernels of the level and order transforms: plain functions over sample spans.
// Each works on the index range [begin, end) of the whole array so that a caller
// can run the array in pieces between progress points.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

// a[i] = 0.
void SilenceRange(std::int16_t* a, std::size_t begin, std::size_t end);

// For i in [begin, end): exchange a[i] and a[n-1-i] (i < n/2).
void ReverseRange(std::int16_t* a, std::size_t n, std::size_t begin, std::size_t end);

// a[i] = -a[i] on the 32-bit value, stored as 16 bits: -32768 stays -32768.
void InvertRange(std::int16_t* a, std::size_t begin, std::size_t end);

// a[i] = a[i] * gain, clamped to +-32767 and truncated toward zero (NaN gives 0).
void AmplifyRange(std::int16_t* a, std::size_t begin, std::size_t end, float gain);

// Gain rising linearly over the raw index: a[i] * (i * slope + gain0), rounded to a
// float, clamped and truncated.
struct FadeRamp {
    float gain0;
    float slope;
};
FadeRamp MakeFadeRamp(float ampLeftPercent, float ampRightPercent, std::size_t n);
void FadeRange(std::int16_t* a, std::size_t begin, std::size_t end, FadeRamp ramp);

// Normalisation: a measuring pass then a scaling pass around the mean.
struct NormalizeScale {
    std::int64_t mean;
    float factor;
};
NormalizeScale MeasureNormalize(const std::int16_t* a, std::size_t n, float normalizationPercent,
                                bool dcBiasAdjust);
void NormalizeRange(std::int16_t* a, std::size_t begin, std::size_t end, NormalizeScale scale);

// Level conversions between percent of full amplitude and decibels.
float PercentToDecibels(float percent);
float DecibelsToPercent(float decibels);

}  // namespace qelv::dsp
