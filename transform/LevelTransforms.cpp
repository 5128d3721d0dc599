// Level and order transforms (Silence, Reverse, Invert, Amplify, Fade, Normalize)
// and the percent/decibel conversions. Each runs in the transform frame with full
// edge smoothing.
#include "transform/TransformFrame.h"
#include "transform/dsp/LevelKernels.h"

namespace qelv {

STDMETHODIMP CSonalter2::Silence(SAFEARRAY** WavArray) {
    TransformFrame frame(*this, EdgeMode::Blend);
    if (HRESULT hr = frame.Open(WavArray); FAILED(hr)) return hr;
    std::int16_t* a = frame.data();
    if (!frame.Run(frame.size(), [a](std::size_t b, std::size_t e) { dsp::SilenceRange(a, b, e); })) return S_OK;
    return frame.Finish();
}

STDMETHODIMP CSonalter2::Reverse(SAFEARRAY** WavArray) {
    TransformFrame frame(*this, EdgeMode::Blend);
    if (HRESULT hr = frame.Open(WavArray); FAILED(hr)) return hr;
    std::int16_t* a = frame.data();
    const std::size_t n = frame.size();
    // The loop runs over half the array; progress still steps by n / 100.
    if (!frame.Run(n / 2, n, 0, 1, [a, n](std::size_t b, std::size_t e) { dsp::ReverseRange(a, n, b, e); })) {
        return S_OK;
    }
    return frame.Finish();
}

STDMETHODIMP CSonalter2::Invert(SAFEARRAY** WavArray) {
    TransformFrame frame(*this, EdgeMode::Blend);
    if (HRESULT hr = frame.Open(WavArray); FAILED(hr)) return hr;
    std::int16_t* a = frame.data();
    if (!frame.Run(frame.size(), [a](std::size_t b, std::size_t e) { dsp::InvertRange(a, b, e); })) return S_OK;
    return frame.Finish();
}

STDMETHODIMP CSonalter2::Amplify(SAFEARRAY** WavArray, FLOAT Amp) {
    TransformFrame frame(*this, EdgeMode::Blend);
    if (HRESULT hr = frame.Open(WavArray); FAILED(hr)) return hr;
    std::int16_t* a = frame.data();
    const float gain = Amp / 100.0f;
    if (!frame.Run(frame.size(), [a, gain](std::size_t b, std::size_t e) { dsp::AmplifyRange(a, b, e, gain); })) {
        return S_OK;
    }
    return frame.Finish();
}

STDMETHODIMP CSonalter2::Fade(SAFEARRAY** WavArray, FLOAT AmpLeft, FLOAT AmpRight) {
    TransformFrame frame(*this, EdgeMode::Blend);
    if (HRESULT hr = frame.Open(WavArray); FAILED(hr)) return hr;
    std::int16_t* a = frame.data();
    const dsp::FadeRamp ramp = dsp::MakeFadeRamp(AmpLeft, AmpRight, frame.size());
    if (!frame.Run(frame.size(), [a, ramp](std::size_t b, std::size_t e) { dsp::FadeRange(a, b, e, ramp); })) {
        return S_OK;
    }
    return frame.Finish();
}

STDMETHODIMP CSonalter2::Normalize(SAFEARRAY** WavArray, FLOAT Normalization, VARIANT_BOOL DCBiasAdjust) {
    TransformFrame frame(*this, EdgeMode::Blend);
    if (HRESULT hr = frame.Open(WavArray); FAILED(hr)) return hr;
    std::int16_t* a = frame.data();
    // The measuring pass has no cancel test and no events.
    const dsp::NormalizeScale scale = dsp::MeasureNormalize(a, frame.size(), Normalization, DCBiasAdjust != 0);
    if (!frame.Run(frame.size(), [a, scale](std::size_t b, std::size_t e) { dsp::NormalizeRange(a, b, e, scale); })) {
        return S_OK;
    }
    return frame.Finish();
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
