// Equiripple design of even-length, linear-phase FIR filters.
//
// CFirDesigner computes the taps of a symmetric FIR filter of even length N
// whose amplitude response approximates a desired response in the weighted
// minimax sense (a Remez exchange). The desired gain and the weight are given
// as points inside each band and are joined by monotone cubic interpolation;
// the dense frequency grid is twice as fine near band edges as inside a band.
// An even-length symmetric filter always has zero response at half the
// sampling rate, so the approximation stops one grid step short of it.
//
// Usage: construct, set Length and Coefficients, call Design, read the taps
// from Coefficients. The object keeps nothing between calls.
//
// Band layout. Three parallel arrays with `count` entries: frequency
// (hertz), gain (linear amplitude: 1 passes, 0 stops) and weight (relative
// importance of the error). An entry whose frequency is negative is a
// separator: it ends the current band and its gain and weight are never read
// for anything (they may be NaN). Each band is the run of entries between
// separators. Frequencies are divided by sampleRate, so 0.5 is the Nyquist
// frequency; values above it are accepted and clamped into the approximation
// interval.
//
// What Design does with band layouts that the exchange cannot use (each of
// these gives Status kInvalidInput, Deviation 0 and all N taps 0):
//   - Coefficients null (nothing is written), Length below 2, odd, or above
//     kMaxLength (all Length entries are set to 0 when Length > 0);
//   - count below 1, or any of the three arrays null;
//   - sampleRate not finite or not above 0;
//   - a band entry (non-separator) whose frequency is NaN or +inf, or whose
//     gain or weight is not finite, or whose weight is not above 0 (a weight
//     of 0 would divide by zero in the exchange; leave a gap between bands
//     for a "don't care" region instead);
//   - no band entry at all (count 0, or only separators);
//   - frequencies that do not strictly ascend, inside a band or from one band
//     to the next (overlapping, touching, reversed or repeated frequencies).
// Empty bands are harmless: separators first, last or several in a row are
// skipped, so {-1, 0, 0.2, -1, -1, 0.3, 0.5, -1} designs the same filter as
// {0, 0.2, -1, 0.3, 0.5}.
//
// A band of one point is one grid point with that point's gain and weight.
// A single band point in total (count 1) leaves one extremal and no cosine
// term: the taps are all 0 with the Status of the exchange.
// Grid points that clamping moved outside their band (a band lying above
// 0.5 - delf) take the gain and weight of the nearest band end.
//
// If the exchange still ends with a non-finite value (for instance two bands
// that clamping folds onto the same frequency near the Nyquist frequency, or
// a band so narrow near 0 Hz that its grid points coincide after the cosine
// mapping), or work memory cannot be obtained, the taps are all 0, Deviation
// is 0 and Status is kNumericFailure. Every path writes finite taps.
#pragma once

#include <cstdint>

namespace qelv::dsp {

class CFirDesigner {
public:
    // Final weighted deviation of the exchange (out).
    double Deviation;
    // Number of taps N (in); even, 2 .. kMaxLength.
    int32_t Length;
    // Caller-owned array of Length taps (in), filled by Design.
    double* Coefficients;
    // How the design ended (out); one of the values below.
    int32_t Status;

    // The exchange converged: the extremal set stopped changing.
    static constexpr int32_t kConverged = 0;
    // The exchange stopped because the deviation decreased.
    static constexpr int32_t kDeviationDecreased = 1;
    // The exchange stopped after kMaxIterations iterations.
    static constexpr int32_t kIterationLimit = 2;
    // The last iteration's deviation had a zero denominator; Deviation is the
    // largest finite double.
    static constexpr int32_t kZeroDenominator = 3;
    // The parameters or the band layout were refused (see above).
    static constexpr int32_t kInvalidInput = -1;
    // The design produced a non-finite value or ran out of memory.
    static constexpr int32_t kNumericFailure = -2;

    static constexpr int32_t kMaxIterations = 40;
    // Longest filter accepted: the exchange costs grow with the square of the
    // length, and far longer designs no longer converge in double precision.
    static constexpr int32_t kMaxLength = 4096;

    // Neither touches the fields: the caller sets Length and Coefficients.
    CFirDesigner();
    ~CFirDesigner();

    /*
     * Design
     *   Designs the Length taps for a band layout.
     * PARAMS
     *   frequencies [I] count band frequencies in hertz; negative separates bands.
     *   gains       [I] count linear gains (separators' entries ignored).
     *   weights     [I] count error weights, above 0 (separators' ignored).
     *   count       [I] number of entries in each array.
     *   sampleRate  [I] sampling frequency in hertz.
     * RETURNS
     *   Nothing; Coefficients[0 .. Length-1] hold the taps (exactly symmetric),
     *   Deviation the final deviation and Status the outcome.
     * NOTES
     *   The taps are written on every path, from the last extremal set when
     *   the exchange did not converge. Work memory is allocated once per call
     *   and released before it returns.
     */
    void Design(const float* frequencies, const float* gains, const float* weights, int32_t count,
                double sampleRate);
};

}  // namespace qelv::dsp
