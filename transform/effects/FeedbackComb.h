// The delay line of Delay: a feedback comb of D entries. For each sample x, with
// b the entry D samples back: y = x * dry + wet * b, the entry becomes
// x + feedback * b. Arithmetic in extended precision; y and the entries are
// rounded to 32-bit floats.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/effects/DelayParameters.h"

namespace qelv::dsp {

struct FeedbackComb {
    float* ring;            // length entries, zero at the start
    std::size_t length;     // D >= 1
    std::size_t position;   // read/write index, starts at 0
    DelayMix mix;
};

// Runs samples [begin, end) through the comb without writing them.
void FeedComb(FeedbackComb& comb, const std::int16_t* samples, std::size_t begin, std::size_t end);
// Runs samples [begin, end) through the comb and writes y, clamped to
// -32767 .. 32767 and truncated (NaN gives 0), in their place.
void RunComb(FeedbackComb& comb, std::int16_t* samples, std::size_t begin, std::size_t end);

}  // namespace qelv::dsp
