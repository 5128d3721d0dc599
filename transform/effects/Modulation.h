// Kernels of Vibrato and Envelope: a time-varying gain per sample, applied in
// double precision (a 16-bit sample times a float gain is exact there), clamped
// to +-32767 and truncated toward zero. Each works on the index range
// [begin, end) of the whole array.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

// Vibrato: y = (sin(step * i + phase) * depth + 1) * x[i] in double precision,
// step = 2 pi * rate (pi and the product in double, rate the float cycles per
// sample), depth and phase floats. The sine is dsp::Sine.
struct VibratoSweep {
    double step;
    float phase;
    float depth;
};
// From the percent, hertz and degrees of the call: depth = percent / 100 and
// rate = hertz / frequency as floats, phase = degrees * 2 pi / 360 in double,
// stored as a float.
VibratoSweep MakeVibratoSweep(float depthPercent, float hertz, float degrees, std::int32_t frequency);
void VibratoRange(std::int16_t* a, std::size_t begin, std::size_t end, const VibratoSweep& sweep);

// Envelope index of sample i of n for an envelope of m entries: MulDiv(i, m, n)
// (rounded to nearest, halves away from zero), and the last entry where that
// would pass it.
std::size_t EnvelopeIndex(std::size_t i, std::size_t m, std::size_t n);
// The first sample index whose envelope index is above k (k < m - 1): the end of
// the run of samples that take entry k.
std::size_t EnvelopeRunEnd(std::size_t k, std::size_t m, std::size_t n);
// a[i] = a[i] * env[EnvelopeIndex(i, m, n)], run by run of equal index.
void EnvelopeRange(std::int16_t* a, std::size_t n, const float* env, std::size_t m, std::size_t begin,
                   std::size_t end);

}  // namespace qelv::dsp
