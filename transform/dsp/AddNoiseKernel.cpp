#include "transform/dsp/AddNoiseKernel.h"

#include <algorithm>
#include <cmath>

#include "transform/dsp/NoiseGenerator.h"
#include "transform/dsp/SampleConversion.h"

namespace qelv::dsp {

float NoiseLevel(float decibels) {
    const double exponent = static_cast<double>(static_cast<long double>(decibels) / 20.0L);
    float level = static_cast<float>(std::pow(10.0, exponent) * 32767.0);
    if (level < 0.0f) level = 0.0f;
    if (level > 32767.0f) level = 32767.0f;
    return level;
}

void AddNoiseRange(std::int16_t* a, std::size_t begin, std::size_t end, float level, NoiseKind kind) {
    // The generator is held for a batch of draws at a time, not for the whole call.
    constexpr std::size_t kBatch = 256;
    long double noise[kBatch];
    const long double L = level;
    for (std::size_t i = begin; i < end; i += kBatch) {
        const std::size_t count = std::min(kBatch, end - i);
        {
            SharedNoise shared;
            NoiseState& state = shared.state();
            if (kind == NoiseKind::Uniform) {
                for (std::size_t j = 0; j < count; ++j) noise[j] = NextNoiseValue(state) * L / 32767.0L;
            } else {
                for (std::size_t j = 0; j < count; ++j) {
                    float g = 0.0f;
                    float discarded = 0.0f;
                    GaussianNoisePair(state, &g, &discarded);
                    noise[j] = g * L;  // exact: 24 by 24 bits
                }
            }
        }
        for (std::size_t j = 0; j < count; ++j) {
            const float x = static_cast<float>(a[i + j]);
            a[i + j] = ClampTruncate(static_cast<float>(x + noise[j]));
        }
    }
}

}  // namespace qelv::dsp
