// The low-pass that removes the interpolation images when Resample makes the
// array longer: 50 taps designed by the FIR design engine for a pass band from
// 0 to the input's Nyquist frequency and a stop band up to just below the new
// one, at the new sampling frequency, run as a causal filter (no look-ahead, so
// the result lags by 24.5 samples).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

inline constexpr int kAntiImageTaps = 50;

// The band layout handed to the design (hertz; every named value is computed in
// double from its float operands and rounded once to a float, and the
// comparison is made on those floats):
//   half = ArrayFrequency / 2, newRate = ArrayFrequency / r,
//   stop = half * 1.1, top = newRate / 2 - 1; if top < stop then
//   stop = (newRate / 2 - half) * 0.3 + half;
//   L = trunc(1 / r + 0.5) kept in 16 bits (the low 16 bits of the 32-bit
//   integer), weight = 5 * max(L / 2, 1) as floats.
struct AntiImageBands {
    float half = 0, newRate = 0, stop = 0, top = 0, weight = 0;
    std::int16_t l = 0;
};
AntiImageBands MakeAntiImageBands(float r, long sampleRate);

// Designs the taps (pass band 0 .. half gain 1 weight 1, stop band stop .. top
// gain 0 weight `weight`, sampling frequency newRate). Returns false when the
// design cannot be made: the bands do not ascend (a rate so close to 1 that no
// stop band fits between the two Nyquist frequencies) or the exchange failed;
// taps are then left unspecified.
bool DesignAntiImage(float r, long sampleRate, double taps[kAntiImageTaps]);

// Filters out[0 .. m-1] in place: acc = sum over k = 0 .. min(49, i) of
// x[i-k] * h[k] in double, k ascending (x the samples before filtering);
// clipped to -32767 .. 32767, rounded to a float and truncated toward zero.
// Works block-wise over a window of doubles on the stack (x as double equals x
// as float: 16-bit values are exact in both), several outputs at a time, each
// keeping its own sum in the order above; a missing x[i-k] is a zero, and a sum
// that starts at +0 is left exactly as it was by adding a zero product.
void AntiImageFilter(std::int16_t* out, std::size_t m, const double taps[kAntiImageTaps]);

// The same filter one output at a time, as written above; the reference the
// tests compare the lane-wise form with.
void AntiImageFilterReference(std::int16_t* out, std::size_t m, const double taps[kAntiImageTaps]);

}  // namespace qelv::dsp
