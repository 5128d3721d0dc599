#include "transform/rate/PitchShiftCore.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "transform/dsp/SampleConversion.h"
#include "transform/rate/VocoderFft.h"

namespace qelv::dsp {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Zero-initialised static storage: the tables are clear before the first call.
PitchShiftState g_processState;

}  // namespace

PitchShiftState& ProcessPitchShiftState() { return g_processState; }

bool PitchFactorIsUsable(float pitch) { return pitch > 0.0f && pitch <= kMaxPitchFactor; }

PitchShiftCore::PitchShiftCore(PitchShiftState& state, float pitch, int frame, int osamp, float fs,
                               const Biquad& highPass, const std::int16_t* in, std::size_t n)
    : s_(state),
      pitch_(pitch),
      frame_(frame),
      osamp_(osamp),
      half_(frame / 2),
      step_(frame / osamp),
      lat_(frame - frame / osamp),
      fbin_(static_cast<double>(fs) / static_cast<double>(frame)),
      expct_(kTwoPi * static_cast<double>(frame / osamp) / static_cast<double>(frame)),
      b0_(highPass.b0),
      b1_(highPass.b1),
      b2_(highPass.b2),
      a1_(highPass.a1),
      a2_(highPass.a2) {
    if (s_.windowFrame != frame_) {
        for (int k = 0; k < frame_; ++k) {
            s_.window[k] = 0.5 - 0.5 * std::cos(kTwoPi * static_cast<double>(k) / static_cast<double>(frame_));
        }
        s_.windowFrame = frame_;
    }
    if (s_.position == 0) s_.position = lat_;
    // A call cancelled right after the sample that filled the FIFO left its
    // frame unprocessed; it is processed now, so the position is below N again.
    if (s_.position >= frame_) ProcessFrame();
    x1_ = x2_ = y1_ = y2_ = static_cast<double>(in[0]);
    const std::size_t prefill = std::min(static_cast<std::size_t>(s_.position), n);
    for (std::size_t k = 0; k < prefill; ++k) s_.outFifo[k] = in[k];
}

std::int16_t PitchShiftCore::Output(double y) { return ClampTruncate(y); }

void PitchShiftCore::ProcessFrame() {
    PitchShiftState& s = s_;
    const int n = frame_;
    const double osamp = static_cast<double>(osamp_);
    s.position = lat_;

    // Window and transform.
    for (int k = 0; k < n; ++k) {
        s.work[2 * k] = static_cast<float>(static_cast<double>(s.inFifo[k]) * s.window[k]);
        s.work[2 * k + 1] = 0.0f;
    }
    VocoderFft(s.work, n, -1);

    // Analysis: magnitude and true frequency of each bin.
    for (int k = 0; k <= half_; ++k) {
        const double re = s.work[2 * k];
        const double im = s.work[2 * k + 1];
        const double magn = 2.0 * std::sqrt(re * re + im * im);
        const double phase = std::atan2(im, re);
        double d = phase - static_cast<double>(s.lastPhase[k]);
        s.lastPhase[k] = static_cast<float>(phase);
        d -= static_cast<double>(k) * expct_;
        // |d| stays below (k + 2) pi / 2 + 2 pi, so q fits any integer type.
        long q = static_cast<long>(d / kPi);
        if (q >= 0) {
            q += q & 1;
        } else {
            q -= q & 1;
        }
        d -= kPi * static_cast<double>(q);
        d = osamp * d / kTwoPi;
        s.anaFreq[k] = static_cast<float>(d * fbin_ + static_cast<double>(k) * fbin_);
        s.anaMagn[k] = static_cast<float>(magn);
    }

    // Pitch mapping: target bin k takes source bin trunc(k / pitch).
    std::fill(s.synMagn, s.synMagn + n, 0.0f);
    std::fill(s.synFreq, s.synFreq + n, 0.0f);
    const double pitch = pitch_;
    for (int k = 0; k <= half_; ++k) {
        const double source = static_cast<double>(k) / pitch;
        if (!(source < static_cast<double>(half_ + 1))) continue;  // above half: the bin stays silent
        const int src = static_cast<int>(source);
        if (s.anaMagn[src] > s.synMagn[k]) {
            s.synMagn[k] = s.anaMagn[src];
            s.synFreq[k] = pitch_ * s.anaFreq[src];
        }
        if (s.synFreq[k] == 0.0f && k > 0) {
            s.synMagn[k] = s.synMagn[k - 1];
            s.synFreq[k] = s.synFreq[k - 1];
        }
    }

    // Synthesis: accumulate the phases and build the positive-frequency half.
    for (int k = 0; k <= half_; ++k) {
        double d = (static_cast<double>(s.synFreq[k]) - static_cast<double>(k) * fbin_) / fbin_;
        d = kTwoPi * d / osamp + static_cast<double>(k) * expct_;
        s.sumPhase[k] = static_cast<float>(static_cast<double>(s.sumPhase[k]) + d);
        const double phase = s.sumPhase[k];
        const double magn = s.synMagn[k];
        s.work[2 * k] = static_cast<float>(magn * std::cos(phase));
        s.work[2 * k + 1] = static_cast<float>(magn * std::sin(phase));
    }
    std::fill(s.work + n + 2, s.work + 2 * n, 0.0f);
    VocoderFft(s.work, n, 1);

    // Overlap-add, then hand one hop to the output FIFO and move everything on.
    const double scale = static_cast<double>(half_) * osamp;
    for (int k = 0; k < n; ++k) {
        const double add = 2.0 * s.window[k] * static_cast<double>(s.work[2 * k]) / scale;
        s.accumulator[k] = static_cast<float>(static_cast<double>(s.accumulator[k]) + add);
    }
    std::memcpy(s.outFifo, s.accumulator, static_cast<std::size_t>(step_) * sizeof(float));
    std::memmove(s.accumulator, s.accumulator + step_, static_cast<std::size_t>(n) * sizeof(float));
    std::memmove(s.inFifo, s.inFifo + step_, static_cast<std::size_t>(lat_) * sizeof(float));
}

}  // namespace qelv::dsp
