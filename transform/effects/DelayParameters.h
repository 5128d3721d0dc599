// Parameters shared by the delay-line effects (Delay, Flanger, Chorus, Phaser):
// the percent checks, the dry/wet/feedback gains and the delay length in array
// entries.
#pragma once

#include <cstddef>

namespace qelv::dsp {

// Dry, wet and feedback gains, each a 32-bit float.
struct DelayMix {
    float dry;
    float wet;
    float feedback;
};

// True for 0 <= percent <= 100 (NaN is outside).
bool PercentInRange(float percent);

// wet = MixDepth / 100, dry = 1 - wet, feedback = FeedBackGain / 100, in floats.
DelayMix MakeDelayMix(float mixDepth, float feedBackGain);

// The delay length in entries is trunc(entries). It is accepted when it is at
// least minimum (the ring needs that many entries) and below the array length n;
// NaN, infinite and negative values are refused. On acceptance *length is set.
bool AcceptDelayLength(long double entries, std::size_t minimum, std::size_t n, std::size_t* length);

}  // namespace qelv::dsp
