// One normalised second-order section: the coefficient routine that the biquad
// filters, the reverb, the pitch shift and the equaliser all take their
// coefficients from.
#pragma once

namespace qelv::dsp {

// Filter types the routine knows (the numbers callers pass).
enum BiquadType : int {
    kBiquadLowPass = 1,
    kBiquadHighPass = 2,
    kBiquadBandPass = 3,  // constant skirt gain: the peak gain equals Q
    kBiquadNotch = 5,
    kBiquadPeakEq = 6,
    kBiquadLowShelf = 7,
    kBiquadHighShelf = 8,
};

// a0 as computed (no reader uses it); a1, a2, b0, b1, b2 divided by a0.
struct Biquad {
    float a0 = 0, a1 = 0, a2 = 0, b0 = 0, b1 = 0, b2 = 0;
};

// Designs the section for `type` at frequencyHz (sampling rate sampleRateHz),
// gain dbGain (peaking and shelves) and steepness in percent (Q = steepness /
// 100, 0 taken as 1; the shelf slope for the shelves). Every named intermediate
// is rounded to a float; the operations between them run in extended precision.
// An unknown type leaves every raw coefficient 0 (and so the divided ones NaN).
Biquad DesignBiquad(int type, float dbGain, float frequencyHz, float steepness, long sampleRateHz);

// True when the design has a real value: the shelves need a non-negative
// radicand under their square root, and every type a non-zero sampling rate and
// finite coefficients. Callers refuse a design that fails this.
bool BiquadIsDefined(const Biquad& section);

}  // namespace qelv::dsp
