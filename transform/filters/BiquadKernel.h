// The second-order recursion over a sample array, in place. The feedback path
// reads the outputs already written back (clipped and truncated 16-bit values);
// the two previous inputs are kept as floats before they are overwritten.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/filters/BiquadCoefficients.h"

namespace qelv::dsp {

// The two previous input samples, carried from one stretch to the next.
struct BiquadHistory {
    float x1 = 0.0f;
    float x2 = 0.0f;
};

// One output before it is written back: b0*x + b1*x1 + b2*x2 - a1*o1 - a2*o2,
// summed left to right in extended precision and rounded to a float.
inline float BiquadOutput(const Biquad& c, std::int16_t x, float x1, float x2, std::int16_t o1, std::int16_t o2) {
    using L = long double;
    const L y = static_cast<L>(c.b0) * x + static_cast<L>(c.b1) * x1 + static_cast<L>(c.b2) * x2 -
                static_cast<L>(c.a1) * o1 - static_cast<L>(c.a2) * o2;
    return static_cast<float>(y);
}

// Samples 0 and 1 of an array of at least two: the recursion from a zero state.
void BiquadStart(std::int16_t* a, const Biquad& c, BiquadHistory& history);

// Samples begin .. end-1 (begin >= 2), continuing from BiquadStart or from the
// previous stretch.
void BiquadRange(std::int16_t* a, std::size_t begin, std::size_t end, const Biquad& c, BiquadHistory& history);

// The same recursion written directly in extended precision, one sample at a
// time; the reference the faster BiquadRange is checked against.
void BiquadRangeExact(std::int16_t* a, std::size_t begin, std::size_t end, const Biquad& c, BiquadHistory& history);

}  // namespace qelv::dsp
