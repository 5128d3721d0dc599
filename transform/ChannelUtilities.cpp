// Channel and array utilities: split, join, mix and copy sample arrays.
// Stereo is interleaved left, right by definition here; ArrayChannels is not read.
#include "transform/TransformFrame.h"
#include "transform/dsp/ChannelKernels.h"

namespace qelv {
namespace {

// GetLeftStereoChannel / GetRightStereoChannel: the loop index is the input index
// of the sample taken (0, 2, 4, .. or 1, 3, 5, ..).
HRESULT ExtractChannel(CSonalter2& object, SAFEARRAY** stereo, SAFEARRAY** result, int channel) {
    TransformFrame frame(object, EdgeMode::SwitchOnly);
    if (HRESULT hr = frame.Open(stereo); FAILED(hr)) return hr;
    const std::size_t n = frame.size();
    ArrayView out;
    if (HRESULT hr = frame.CreateResult(VT_I2, n / 2, result, out); FAILED(hr)) return hr;
    const std::int16_t* in = frame.data();
    std::int16_t* o = out.samples();
    const bool done = frame.Run(n / 2, n, static_cast<std::size_t>(channel), 2, [=](std::size_t b, std::size_t e) {
        dsp::ExtractChannelRange(o, in, channel, b, e);
    });
    return done ? frame.Finish() : S_OK;
}

}  // namespace

STDMETHODIMP CSonalter2::GetLeftStereoChannel(SAFEARRAY** StereoArray, SAFEARRAY** LeftArray) {
    return ExtractChannel(*this, StereoArray, LeftArray, 0);
}

STDMETHODIMP CSonalter2::GetRightStereoChannel(SAFEARRAY** StereoArray, SAFEARRAY** RightArray) {
    return ExtractChannel(*this, StereoArray, RightArray, 1);
}

STDMETHODIMP CSonalter2::MakeStereoFromArrays(SAFEARRAY** LeftArray, SAFEARRAY** RightArray, SAFEARRAY** WavArray) {
    TransformFrame frame(*this, EdgeMode::None);
    if (HRESULT hr = frame.Open(LeftArray); FAILED(hr)) return hr;
    ArrayView right;
    if (HRESULT hr = frame.OpenInput(RightArray, right, sizeof(std::int16_t)); FAILED(hr)) return hr;
    const std::size_t m = std::min(frame.size(), right.size());
    ArrayView out;
    if (HRESULT hr = frame.CreateResult(VT_I2, 2 * m, WavArray, out); FAILED(hr)) return hr;
    const std::int16_t* l = frame.data();
    const std::int16_t* r = right.samples();
    std::int16_t* o = out.samples();
    const bool done = frame.Run(m, m, 0, 1, [=](std::size_t b, std::size_t e) { dsp::InterleaveRange(o, l, r, b, e); });
    return done ? frame.Finish() : S_OK;
}

STDMETHODIMP CSonalter2::MakeStereoFromMono(SAFEARRAY** MonoArray, SAFEARRAY** StereoArray) {
    TransformFrame frame(*this, EdgeMode::SwitchOnly);
    if (HRESULT hr = frame.Open(MonoArray); FAILED(hr)) return hr;
    const std::size_t n = frame.size();
    ArrayView out;
    if (HRESULT hr = frame.CreateResult(VT_I2, 2 * n, StereoArray, out); FAILED(hr)) return hr;
    const std::int16_t* in = frame.data();
    std::int16_t* o = out.samples();
    const bool done = frame.Run(n, [=](std::size_t b, std::size_t e) { dsp::DuplicateToStereoRange(o, in, b, e); });
    return done ? frame.Finish() : S_OK;
}

STDMETHODIMP CSonalter2::MakeMonoFromStereo(SAFEARRAY** StereoArray, SAFEARRAY** MonoArray) {
    TransformFrame frame(*this, EdgeMode::SwitchOnly);
    if (HRESULT hr = frame.Open(StereoArray); FAILED(hr)) return hr;
    const std::size_t n = frame.size();
    ArrayView out;
    if (HRESULT hr = frame.CreateResult(VT_I2, n / 2, MonoArray, out); FAILED(hr)) return hr;
    const std::int16_t* in = frame.data();
    std::int16_t* o = out.samples();
    const bool done =
        frame.Run(n / 2, n, 0, 2, [=](std::size_t b, std::size_t e) { dsp::AverageStereoRange(o, in, b, e); });
    return done ? frame.Finish() : S_OK;
}

STDMETHODIMP CSonalter2::MixArrays(SAFEARRAY** InpArray1, FLOAT Ampl1, SAFEARRAY** InpArray2, FLOAT Amp2,
                                   SAFEARRAY** OutArray) {
    const float g1 = Ampl1 / 100.0f;
    const float g2 = Amp2 / 100.0f;
    TransformFrame frame(*this, EdgeMode::None);
    if (HRESULT hr = frame.Open(InpArray1); FAILED(hr)) return hr;
    ArrayView second;
    if (HRESULT hr = frame.OpenInput(InpArray2, second, sizeof(std::int16_t)); FAILED(hr)) return hr;
    const std::size_t m = std::min(frame.size(), second.size());
    ArrayView out;
    if (HRESULT hr = frame.CreateResult(VT_I2, m, OutArray, out); FAILED(hr)) return hr;
    const std::int16_t* x1 = frame.data();
    const std::int16_t* x2 = second.samples();
    std::int16_t* o = out.samples();
    const bool done =
        frame.Run(m, m, 0, 1, [=](std::size_t b, std::size_t e) { dsp::MixRange(o, x1, g1, x2, g2, b, e); });
    return done ? frame.Finish() : S_OK;
}

STDMETHODIMP CSonalter2::MixStereoChannels(SAFEARRAY** WavArray, FLOAT LLAmp, FLOAT LRAmp, FLOAT RLAmp,
                                           FLOAT RRAmp) {
    const dsp::StereoGains gains = {LLAmp / 100.0f, LRAmp / 100.0f, RLAmp / 100.0f, RRAmp / 100.0f};
    TransformFrame frame(*this, EdgeMode::SwitchOnly);
    if (HRESULT hr = frame.Open(WavArray); FAILED(hr)) return hr;
    const std::size_t frames = frame.size() / 2;
    std::int16_t* a = frame.data();
    // Loop index: the input index of each frame's left sample; step n' / 100 with n' even.
    const bool done =
        frame.Run(frames, 2 * frames, 0, 2, [=](std::size_t b, std::size_t e) { dsp::MixStereoRange(a, gains, b, e); });
    return done ? frame.Finish() : S_OK;
}

STDMETHODIMP CSonalter2::DuplicateArray(SAFEARRAY** WavArray, SAFEARRAY** OutArray) {
    TransformFrame frame(*this, EdgeMode::None);
    // Any array is copied, also one of a single element; only unusable arrays are refused.
    if (HRESULT hr = frame.Open(WavArray, 0); FAILED(hr)) return hr;
    const std::size_t n = frame.size();
    ArrayView out;
    if (HRESULT hr = frame.CreateResult(VT_I2, n, OutArray, out); FAILED(hr)) return hr;
    const std::int16_t* in = frame.data();
    std::int16_t* o = out.samples();
    const bool done = frame.Run(n, [=](std::size_t b, std::size_t e) { dsp::CopyRange(o, in, b, e); });
    return done ? frame.Finish() : S_OK;
}

}  // namespace qelv
