// The exact per-sample formulas of the level and mixing kernels, shared by the
// portable code, the vector fast paths (for their tails and for the rare lanes
// they hand back) and nothing else. Each is the documented precision written out
// in scalar code; the fast paths must give bit-identical results.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/dsp/ExactSums.h"
#include "transform/dsp/SampleConversion.h"

namespace qelv::dsp {

// A 16-bit sample times a float is exact in double precision, so the double
// product equals the one formed in extended precision and stored as a double.
inline std::int16_t AmplifySample(std::int16_t x, double gain) { return ClampTruncate(static_cast<double>(x) * gain); }

// The fade gain is an extended-precision intermediate; only the product is
// rounded to a float.
inline std::int16_t FadeSample(std::int16_t x, std::size_t i, float slope, float gain0) {
    const long double gain = static_cast<long double>(i) * slope + gain0;
    return ClampTruncate(static_cast<float>(gain * x));
}

// |x - mean| < 2^17, so the product with the factor is exact in double and one
// rounding to a float follows.
inline std::int16_t NormalizeSample(std::int16_t x, std::int32_t mean, float factor) {
    return ClampTruncate(static_cast<float>(static_cast<double>(x - mean) * factor));
}

// x1 * g1 + x2 * g2 summed in extended precision and rounded to a float.
inline std::int16_t MixSample(std::int16_t x1, double g1, std::int16_t x2, double g2) {
    return ClampTruncate(SumToFloat(x1 * g1, x2 * g2));
}

}  // namespace qelv::dsp
