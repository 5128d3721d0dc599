// The delay line of Flanger and Chorus: a ring of D - 1 entries read at a
// sine-swept position with linear interpolation.
//
// Layout of the D + 1 floats: slots 1 .. D-1 are the ring; slot 0 mirrors slot
// D-1 and slot D mirrors slot 1, so that reading the pair (r, r + 1) across the
// wrap needs no test. The pair (D-1, D) is read only when the sweep offset d is
// exactly 0 (always so with SweepDepth 0) while the write index is D-1; its upper
// value is then the ring successor of slot D-1, which is slot 1. So with d = 0
// every sample reads the same entry, D - 2 samples back, wherever the ring is.
//
// Per sample i, with the write index w (starting at D-1):
//   d  = (sin(2 pi rate i + phase) + 1) * (depth * 0.5)   in double, df = float(d)
//   r  = w - ceil(d), plus D - 1 until it is not negative
//   v  = buf[r] + (buf[r+1] - buf[r]) * (1 - (df - trunc(df)))
//   y  = x * dry + wet * v               (rounded to a float)
//   buf[w] = x + feedback * v            (rounded to a float)
//   w  = w + 1; at D: buf[0] = buf[D-1], w = 1
// v, y and the entry are computed in extended precision.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/effects/DelayParameters.h"

namespace qelv::dsp {

// The sweep, in 32-bit floats: rate in cycles per array entry, depth in entries,
// phase in radians.
struct Sweep {
    float rate;
    float depth;
    float phase;
};

// rate = (SweepRate * 2.9 / 100 + 0.1) / frequency (SweepRate in percent of
// 0.1 .. 3.0 Hz), depth = delay * SweepDepth / 100, phase = SweepPhase * 2 * pi /
// 360, each step in 32-bit floats.
Sweep MakeSweep(float sweepRate, float sweepDepth, float sweepPhase, std::size_t delay, long frequency);

// A sweep whose rate or phase is not finite gives no read position.
bool SweepIsFinite(const Sweep& sweep);

struct SweptDelay {
    float* ring;          // length + 1 floats, zero at the start
    std::size_t length;   // D >= 2
    std::size_t write;    // w, starts at D - 1
    Sweep sweep;          // finite, depth >= 0
    DelayMix mix;
};

// Runs samples [begin, end) (the sample index is the sweep's i) through the line
// without writing them.
void FeedSwept(SweptDelay& line, const std::int16_t* samples, std::size_t begin, std::size_t end);
// Runs samples [begin, end) through the line and writes y, clamped to
// -32767 .. 32767 and truncated (NaN gives 0), in their place.
void RunSwept(SweptDelay& line, std::int16_t* samples, std::size_t begin, std::size_t end);

}  // namespace qelv::dsp
