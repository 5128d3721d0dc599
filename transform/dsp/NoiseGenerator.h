// The noise generator of AddNoise: an additive lagged-Fibonacci generator over
// 16-bit values (lags 5 and 2) and the polar method for Gaussian pairs. One
// instance serves the whole process and carries its sequence over from call to
// call and from object to object; SharedNoise gives one caller at a time the use
// of it, so that two threads adding noise at once neither corrupt it nor crash
// (which of them draws first is then not defined).
#pragma once

#include <cstdint>

namespace qelv::dsp {

struct NoiseState {
    std::int32_t table[5];
    int written;
    int partner;
};

// The state of a freshly loaded module.
inline constexpr NoiseState kInitialNoiseState = {{-21161, -8478, 30892, -10216, 16950}, 4, 1};

// v = (table[written] + table[partner]) mod 65536 as a signed 16-bit value,
// stored at table[written]; both indices step down, wrapping from 0 to 4.
std::int32_t NextNoiseValue(NoiseState& state);

// Two standard normal values by the polar method; each attempt takes eight
// generator values (the fourth of four for each coordinate).
void GaussianNoisePair(NoiseState& state, float* first, float* second);

// Holds the process-wide generator for the lifetime of the object (a short
// batch of draws: no host code may run meanwhile).
class SharedNoise {
public:
    SharedNoise();
    ~SharedNoise();
    SharedNoise(const SharedNoise&) = delete;
    SharedNoise& operator=(const SharedNoise&) = delete;
    NoiseState& state() { return *state_; }

private:
    NoiseState* state_;
};

}  // namespace qelv::dsp
