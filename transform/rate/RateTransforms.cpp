// Rate and time: Resample, PitchShift and TimeStretch.
//
// Resample replaces the caller's array by a new one of the new length (the
// frame's CreateReplacement / ReplaceMain); it has no cancel test and no
// progress events. PitchShift runs the process-wide vocoder under one lock and
// reports progress per sample with its own loop, since a cancelled iteration
// stops before the frame processing that ends a hop. TimeStretch calls the two
// through the object's own interface, so their events reach the host as theirs.
#include <cmath>

#include "transform/TransformFrame.h"
#include "transform/rate/AntiImageFilter.h"
#include "transform/rate/LinearResampler.h"
#include "transform/rate/PitchShiftCore.h"

namespace qelv {
namespace {

// The vocoder's tables are shared by every object in the process: one call at a
// time uses them. A thread that already runs the vocoder (a PitchShift started
// from inside one of its own progress handlers) is refused instead of waiting
// on itself.
SRWLOCK g_vocoderLock = SRWLOCK_INIT;
thread_local bool t_vocoderBusy = false;

class VocoderLock {
public:
    VocoderLock() {
        AcquireSRWLockExclusive(&g_vocoderLock);
        t_vocoderBusy = true;
    }
    ~VocoderLock() {
        t_vocoderBusy = false;
        ReleaseSRWLockExclusive(&g_vocoderLock);
    }
    VocoderLock(const VocoderLock&) = delete;
    VocoderLock& operator=(const VocoderLock&) = delete;
};

constexpr float kHighPassHz = 50.0f;
constexpr float kHighPassSteepness = 50.0f;  // Q = 0.5

}  // namespace

STDMETHODIMP CSonalter2::Resample(SAFEARRAY** WavArray, FLOAT Rate) {
    // The rate, the sampling rate and (for a growing array) the anti-image design
    // are checked before the frame: a refusal changes nothing.
    dsp::ResampleRate rate;
    double taps[dsp::kAntiImageTaps] = {};
    bool grows = false;
    bool usable = false;
    {
        const FloatEnvironment environment;
        const float r = Rate / 100.0f;
        usable = ArrayFrequency > 0 && dsp::MakeResampleRate(r, &rate);
        grows = usable && r < 1.0f;
        if (grows) usable = dsp::DesignAntiImage(r, ArrayFrequency, taps);
    }
    if (!usable) return ReportError(INVALIDPARAM);

    return RunFrame(*this, EdgeMode::Blend, WavArray, [&](TransformFrame& frame) -> Outcome {
        const std::size_t n = frame.size();
        std::size_t m = 0;
        if (!dsp::ResampledLength(n, rate, dsp::kMaxResampleLength, &m)) return Outcome::Failed(ReportError(INVALIDPARAM));
        // The new array is made before the caller's array is touched.
        const ArrayView* out = nullptr;
        if (HRESULT hr = frame.CreateReplacement(VT_I2, m, &out); FAILED(hr)) return Outcome::Failed(hr);

        dsp::ResampleLinear(frame.data(), n, out->samples(), m, rate);
        if (grows) dsp::AntiImageFilter(out->samples(), m, taps);
        if (HRESULT hr = frame.ReplaceMain(); FAILED(hr)) return Outcome::Failed(hr);
        return true;  // no cancel test: the method always runs to its end
    });
}

STDMETHODIMP CSonalter2::PitchShift(SAFEARRAY** WavArray, FLOAT Rate) {
    float pitch = 0.0f;
    dsp::Biquad highPass;
    bool usable = false;
    {
        const FloatEnvironment environment;
        pitch = Rate / 100.0f;
        if (ArrayFrequency > 0 && dsp::PitchFactorIsUsable(pitch)) {
            highPass = dsp::DesignBiquad(dsp::kBiquadHighPass, 0.0f, kHighPassHz, kHighPassSteepness, ArrayFrequency);
            usable = dsp::BiquadIsDefined(highPass);
        }
    }
    if (!usable || t_vocoderBusy) return ReportError(INVALIDPARAM);

    return RunFrame(*this, EdgeMode::Blend, WavArray, [&](TransformFrame& frame) -> Outcome {
        const VocoderLock lock;
        ComputeBiquadCoefficients(dsp::kBiquadHighPass, 0.0f, kHighPassHz, kHighPassSteepness);
        std::int16_t* a = frame.data();
        const std::size_t n = frame.size();
        dsp::PitchShiftCore core(dsp::ProcessPitchShiftState(), pitch, dsp::kPitchFrame, dsp::kPitchOversampling,
                                 static_cast<float>(ArrayFrequency), highPass, a, n);
        // Iteration i: the sample (steps that write out[i]), the cancel test, the
        // progress event, then the frame processing when a hop is complete. The
        // flag can only be set by a progress handler, so it is tested after events.
        std::size_t i = 0;
        while (i < n) {
            const std::size_t step = n / 100;
            if (!TBEventEnabled || step == 0) {
                core.Run(a, i, n);
                return true;
            }
            ProgressStep = static_cast<LONG>(step);
            const std::size_t e = (i + step - 1) / step * step;  // next iteration with an event
            if (e >= n) {
                core.Run(a, i, n);
                return true;
            }
            core.Run(a, i, e);
            core.Sample(a, e);
            frame.FireProgress(static_cast<LONG>(e / step));
            core.EndSample();
            i = e + 1;
            if (CancelRequested) {
                if (i < n) core.Sample(a, i);
                return false;
            }
        }
        return true;
    });
}

STDMETHODIMP CSonalter2::TimeStretch(SAFEARRAY** WavArray, FLOAT Rate) {
    if (!(Rate > 0.0f) || !std::isfinite(Rate)) return ReportError(INVALIDPARAM);
    float pitchRate = 0.0f;
    {
        const FloatEnvironment environment;
        pitchRate = static_cast<float>(10000.0 / static_cast<double>(Rate));
    }
    // No frame of its own: each inner call opens and closes its frame, with its
    // own edge copies and progress step, before the next begins. Their results
    // are not examined; a failure stays in LastErrorNum.
    ISonalter2* self = this;
    self->PitchShift(WavArray, pitchRate);
    self->Resample(WavArray, Rate);
    Fire_EndTransform();
    return S_OK;
}

}  // namespace qelv
