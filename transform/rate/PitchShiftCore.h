// The pitch-shift core: a short-time Fourier phase vocoder. The stream passes an
// input FIFO; every hop of N / osamp samples a frame of N samples is windowed
// (Hann), transformed, given true bin frequencies from the phase advance,
// re-mapped by the pitch factor, re-synthesised with accumulated phases,
// transformed back and overlap-added; the result leaves through an output FIFO
// and a second-order high-pass section. Output i carries input i - N.
//
// The vocoder's tables and FIFO position carry over from one call to the next
// (PitchShiftState); the transform uses one process-wide instance.
//
// Arithmetic: every table entry is a 32-bit float; the per-bin and per-sample
// steps compute in double from those floats and round to float where a table
// keeps the result. Named constants: fbin = fs / N, expct = 2 pi step / N
// (double), the window w(k) = 0.5 - 0.5 cos(2 pi k / N) (double).
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/filters/BiquadCoefficients.h"

namespace qelv::dsp {

inline constexpr int kPitchFrame = 256;
inline constexpr int kPitchOversampling = 4;

// Storage for frames of up to kMaxFrame samples; all zero at the start.
struct PitchShiftState {
    static constexpr int kMaxFrame = 8192;
    float inFifo[kMaxFrame];
    float outFifo[kMaxFrame];
    float work[2 * kMaxFrame];
    float lastPhase[kMaxFrame / 2 + 1];
    float sumPhase[kMaxFrame / 2 + 1];
    float accumulator[2 * kMaxFrame];
    float anaFreq[kMaxFrame];
    float anaMagn[kMaxFrame];
    float synFreq[kMaxFrame];
    float synMagn[kMaxFrame];
    // FIFO position: 0 until the first call sets it to N - N / osamp.
    long position;
    // The window of windowFrame points (a cache; the values depend only on N).
    int windowFrame;
    double window[kMaxFrame];
};

// The process-wide state. Its users hold the vocoder lock (see PitchShift).
PitchShiftState& ProcessPitchShiftState();

// True for a pitch factor the core can run with: finite, above 0 and at most
// kMaxPitchFactor. Beyond that the re-mapped frequencies and accumulated phases
// could overflow a float, and the carried tables would hold infinities and NaNs
// for every later call in the process.
inline constexpr float kMaxPitchFactor = 1e18f;
bool PitchFactorIsUsable(float pitch);

class PitchShiftCore {
public:
    // Set-up: position 0 becomes lat = N - N / osamp; a frame left pending by a
    // cancelled call (position N) is processed first; the high-pass states start
    // at in[0]; output FIFO entries 0 .. min(position, n) - 1 take in[0 ..].
    // frame: a power of two 4 .. kMaxFrame; osamp divides it; pitch usable; fs > 0.
    PitchShiftCore(PitchShiftState& state, float pitch, int frame, int osamp, float fs, const Biquad& highPass,
                   const std::int16_t* in, std::size_t n);

    // Full iterations for the samples [begin, end) of data, in place (sample i
    // is read before it is written).
    void Run(std::int16_t* data, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            Sample(data, i);
            EndSample();
        }
    }
    // One iteration split at its progress point: Sample takes in[i] into the
    // input FIFO, writes out[i] and advances the position; EndSample processes a
    // frame when the position has reached N. A cancelled call stops between them.
    void Sample(std::int16_t* data, std::size_t i) {
        s_.inFifo[s_.position] = data[i];
        const double x = s_.outFifo[s_.position - lat_];
        const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        data[i] = Output(y);
        ++s_.position;
    }
    void EndSample() {
        if (s_.position >= frame_) ProcessFrame();
    }

private:
    static std::int16_t Output(double y);
    void ProcessFrame();

    PitchShiftState& s_;
    const float pitch_;
    const int frame_;
    const int osamp_;
    const int half_;
    const int step_;
    const long lat_;
    const double fbin_;
    const double expct_;
    const double b0_, b1_, b2_, a1_, a2_;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

}  // namespace qelv::dsp
