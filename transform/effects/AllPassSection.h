// The delay line of Phaser: one all-pass section of delay D. For each sample x,
// with b the entry D samples back: the entry becomes s = x + feedback * b
// (rounded to a 32-bit float), v = b - feedback * s, y = x * dry + wet * v.
// Arithmetic in extended precision; y is rounded to a 32-bit float.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/effects/DelayParameters.h"

namespace qelv::dsp {

struct AllPassSection {
    float* ring;            // length entries, zero at the start
    std::size_t length;     // D >= 1
    std::size_t position;   // read/write index, starts at 0
    DelayMix mix;
};

// Runs samples [begin, end) through the section without writing them.
void FeedAllPass(AllPassSection& section, const std::int16_t* samples, std::size_t begin, std::size_t end);
// Runs samples [begin, end) through the section and writes y, clamped to
// -32767 .. 32767 and truncated (NaN gives 0), in their place.
void RunAllPass(AllPassSection& section, std::int16_t* samples, std::size_t begin, std::size_t end);

}  // namespace qelv::dsp
