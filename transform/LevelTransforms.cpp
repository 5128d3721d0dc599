// Level and order transforms (Silence, Reverse, Invert, Amplify, Fade, Normalize)
// and the percent/decibel conversions. Each runs in the transform frame with full
// edge smoothing.
#include "transform/TransformFrame.h"
#include "transform/dsp/LevelKernels.h"

namespace qelv {

STDMETHODIMP CSonalter2::Silence(SAFEARRAY** WavArray) {
    return TransformEachSample(*this, WavArray, dsp::SilenceRange);
}

STDMETHODIMP CSonalter2::Reverse(SAFEARRAY** WavArray) {
    return RunFrame(*this, EdgeMode::Blend, WavArray, [](TransformFrame& frame) -> Outcome {
        std::int16_t* a = frame.data();
        const std::size_t n = frame.size();
        // The loop runs over half the array; progress still steps by n / 100.
        return frame.Run(n / 2, n, 0, 1, [a, n](std::size_t b, std::size_t e) { dsp::ReverseRange(a, n, b, e); });
    });
}

STDMETHODIMP CSonalter2::Invert(SAFEARRAY** WavArray) {
    return TransformEachSample(*this, WavArray, dsp::InvertRange);
}

STDMETHODIMP CSonalter2::Amplify(SAFEARRAY** WavArray, FLOAT Amp) {
    const float gain = Amp / 100.0f;
    return TransformEachSample(*this, WavArray,
                               [gain](std::int16_t* a, std::size_t b, std::size_t e) { dsp::AmplifyRange(a, b, e, gain); });
}

STDMETHODIMP CSonalter2::Fade(SAFEARRAY** WavArray, FLOAT AmpLeft, FLOAT AmpRight) {
    return RunFrame(*this, EdgeMode::Blend, WavArray, [=](TransformFrame& frame) -> Outcome {
        std::int16_t* a = frame.data();
        const dsp::FadeRamp ramp = dsp::MakeFadeRamp(AmpLeft, AmpRight, frame.size());
        return frame.Run(frame.size(), [a, ramp](std::size_t b, std::size_t e) { dsp::FadeRange(a, b, e, ramp); });
    });
}

STDMETHODIMP CSonalter2::Normalize(SAFEARRAY** WavArray, FLOAT Normalization, VARIANT_BOOL DCBiasAdjust) {
    return RunFrame(*this, EdgeMode::Blend, WavArray, [=](TransformFrame& frame) -> Outcome {
        std::int16_t* a = frame.data();
        // The measuring pass has no cancel test and no events.
        const dsp::NormalizeScale scale = dsp::MeasureNormalize(a, frame.size(), Normalization, DCBiasAdjust != 0);
        return frame.Run(frame.size(), [a, scale](std::size_t b, std::size_t e) { dsp::NormalizeRange(a, b, e, scale); });
    });
}

STDMETHODIMP CSonalter2::PercentToDB(FLOAT PercentValue, FLOAT* dbValue) {
    if (!dbValue) return E_POINTER;
    const FloatEnvironment environment;
    *dbValue = dsp::PercentToDecibels(PercentValue);
    return S_OK;
}

STDMETHODIMP CSonalter2::DBToPercent(FLOAT dbValue, FLOAT* PercentValue) {
    if (!PercentValue) return E_POINTER;
    const FloatEnvironment environment;
    *PercentValue = dsp::DecibelsToPercent(dbValue);
    return S_OK;
}

}  // namespace qelv
