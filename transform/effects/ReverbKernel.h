// The reverberation signal path over a sample array: a bank of feedback combs
// of one length, averaged, a second-order low-pass section, two all-pass
// sections in series, mixed with the dry input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/filters/BiquadCoefficients.h"

namespace qelv::dsp {

struct ReverbSettings {
    std::size_t delay = 1;  // D: the length of every delay line, in entries
    int taps = 1;           // T: the number of combs, 1 .. 20
    float combGain = 0;     // feedback gain of every comb
    float allPassGain = 0;  // gain of both all-pass sections
    float wet = 0;
    float dry = 1;
    Biquad lowPass;
};

// The running state. Every comb has the same length, reads and writes at one
// index and starts silent, so all T combs hold the same values at all times:
// one buffer stands for the bank, and the average adds that one value T times.
// The three lines are `delay` floats each, zero-filled, owned by the caller.
struct ReverbState {
    float* comb = nullptr;
    float* allPass1 = nullptr;
    float* allPass2 = nullptr;
    std::size_t index = 0;
    // Past inputs and outputs of the low-pass section.
    float s1 = 0, s2 = 0, l1 = 0, l2 = 0;
};

// Runs entries begin .. end-1 in order. Entries below settings.delay only feed
// the lines and are left as they are; later ones are clipped to -32767 .. 32767,
// truncated and written.
void ReverbRange(std::int16_t* a, std::size_t begin, std::size_t end, const ReverbSettings& settings,
                 ReverbState& state);

// The low-pass section alone over in[0 .. len-1] into out, continuing from and
// updating the section's past values in state (the step ReverbRange uses).
void ReverbLowPass(const Biquad& section, const float* in, float* out, std::size_t len, ReverbState& state);

// The same path with every step written out in extended precision and T
// separate comb buffers (combs[k], each `delay` floats): the reference that
// ReverbRange is checked against.
void ReverbRangeExact(std::int16_t* a, std::size_t begin, std::size_t end, const ReverbSettings& settings,
                      float* const* combs, ReverbState& state);

}  // namespace qelv::dsp
