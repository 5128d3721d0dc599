// Channel and array utilities: split, join, mix and copy sample arrays.
// Stereo is interleaved left, right by definition here; ArrayChannels is not read.
#include "transform/TransformFrame.h"
#include "transform/dsp/ChannelKernels.h"

namespace qelv {
namespace {

// The channel utilities that make a new array: opens the frame on `input` with
// `mode`, then, with n its length, creates the result of resultCount(n) samples
// and runs fill(frame, out) -> Outcome.
template <class Count, class Fill>
HRESULT WithResult(CSonalter2& object, EdgeMode mode, SAFEARRAY** input, SAFEARRAY** result, Count&& resultCount,
                   Fill&& fill, std::size_t minLength = 2) {
    return RunFrame(
        object, mode, input,
        [&](TransformFrame& frame) -> Outcome {
            const ArrayView* out = nullptr;
            if (HRESULT hr = frame.CreateResult(VT_I2, resultCount(frame.size()), result, &out); FAILED(hr)) {
                return Outcome::Failed(hr);
            }
            return fill(frame, out->samples());
        },
        minLength);
}

// The two-input utilities: the second array is opened in the frame and the
// result has resultCount(m) samples for m the shorter length.
template <class Count, class Fill>
HRESULT WithSecondInput(CSonalter2& object, SAFEARRAY** first, SAFEARRAY** second, SAFEARRAY** result,
                        Count&& resultCount, Fill&& fill) {
    return RunFrame(object, EdgeMode::None, first, [&](TransformFrame& frame) -> Outcome {
        const ArrayView* in2 = nullptr;
        if (HRESULT hr = frame.OpenInput(second, sizeof(std::int16_t), 2, &in2); FAILED(hr)) return Outcome::Failed(hr);
        const std::size_t m = std::min(frame.size(), in2->size());
        const ArrayView* out = nullptr;
        if (HRESULT hr = frame.CreateResult(VT_I2, resultCount(m), result, &out); FAILED(hr)) {
            return Outcome::Failed(hr);
        }
        return fill(frame, m, in2->samples(), out->samples());
    });
}

std::size_t Half(std::size_t n) { return n / 2; }
std::size_t Same(std::size_t n) { return n; }
std::size_t Twice(std::size_t n) { return 2 * n; }

// GetLeftStereoChannel / GetRightStereoChannel: the loop index is the input index
// of the sample taken (0, 2, 4, .. or 1, 3, 5, ..).
HRESULT ExtractChannel(CSonalter2& object, SAFEARRAY** stereo, SAFEARRAY** result, int channel) {
    return WithResult(object, EdgeMode::SwitchOnly, stereo, result, Half, [channel](TransformFrame& frame, std::int16_t* o) {
        const std::size_t n = frame.size();
        const std::int16_t* in = frame.data();
        return frame.Run(n / 2, n, static_cast<std::size_t>(channel), 2,
                         [=](std::size_t b, std::size_t e) { dsp::ExtractChannelRange(o, in, channel, b, e); });
    });
}

}  // namespace

STDMETHODIMP CSonalter2::GetLeftStereoChannel(SAFEARRAY** StereoArray, SAFEARRAY** LeftArray) {
    return ExtractChannel(*this, StereoArray, LeftArray, 0);
}

STDMETHODIMP CSonalter2::GetRightStereoChannel(SAFEARRAY** StereoArray, SAFEARRAY** RightArray) {
    return ExtractChannel(*this, StereoArray, RightArray, 1);
}

STDMETHODIMP CSonalter2::MakeStereoFromArrays(SAFEARRAY** LeftArray, SAFEARRAY** RightArray, SAFEARRAY** WavArray) {
    return WithSecondInput(*this, LeftArray, RightArray, WavArray, Twice,
                           [](TransformFrame& frame, std::size_t m, const std::int16_t* r, std::int16_t* o) {
                               const std::int16_t* l = frame.data();
                               return frame.Run(m, m, 0, 1, [=](std::size_t b, std::size_t e) {
                                   dsp::InterleaveRange(o, l, r, b, e);
                               });
                           });
}

STDMETHODIMP CSonalter2::MakeStereoFromMono(SAFEARRAY** MonoArray, SAFEARRAY** StereoArray) {
    return WithResult(*this, EdgeMode::SwitchOnly, MonoArray, StereoArray, Twice,
                      [](TransformFrame& frame, std::int16_t* o) {
                          const std::int16_t* in = frame.data();
                          return frame.Run(frame.size(), [=](std::size_t b, std::size_t e) {
                              dsp::DuplicateToStereoRange(o, in, b, e);
                          });
                      });
}

STDMETHODIMP CSonalter2::MakeMonoFromStereo(SAFEARRAY** StereoArray, SAFEARRAY** MonoArray) {
    return WithResult(*this, EdgeMode::SwitchOnly, StereoArray, MonoArray, Half,
                      [](TransformFrame& frame, std::int16_t* o) {
                          const std::size_t n = frame.size();
                          const std::int16_t* in = frame.data();
                          return frame.Run(n / 2, n, 0, 2, [=](std::size_t b, std::size_t e) {
                              dsp::AverageStereoRange(o, in, b, e);
                          });
                      });
}

STDMETHODIMP CSonalter2::MixArrays(SAFEARRAY** InpArray1, FLOAT Ampl1, SAFEARRAY** InpArray2, FLOAT Amp2,
                                   SAFEARRAY** OutArray) {
    const float g1 = Ampl1 / 100.0f;
    const float g2 = Amp2 / 100.0f;
    return WithSecondInput(*this, InpArray1, InpArray2, OutArray, Same,
                           [=](TransformFrame& frame, std::size_t m, const std::int16_t* x2, std::int16_t* o) {
                               const std::int16_t* x1 = frame.data();
                               return frame.Run(m, m, 0, 1, [=](std::size_t b, std::size_t e) {
                                   dsp::MixRange(o, x1, g1, x2, g2, b, e);
                               });
                           });
}

STDMETHODIMP CSonalter2::MixStereoChannels(SAFEARRAY** WavArray, FLOAT LLAmp, FLOAT LRAmp, FLOAT RLAmp,
                                           FLOAT RRAmp) {
    const dsp::StereoGains gains = {LLAmp / 100.0f, LRAmp / 100.0f, RLAmp / 100.0f, RRAmp / 100.0f};
    return RunFrame(*this, EdgeMode::SwitchOnly, WavArray, [gains](TransformFrame& frame) -> Outcome {
        const std::size_t frames = frame.size() / 2;
        std::int16_t* a = frame.data();
        // Loop index: the input index of each frame's left sample; step n' / 100 with n' even.
        return frame.Run(frames, 2 * frames, 0, 2,
                         [=](std::size_t b, std::size_t e) { dsp::MixStereoRange(a, gains, b, e); });
    });
}

STDMETHODIMP CSonalter2::DuplicateArray(SAFEARRAY** WavArray, SAFEARRAY** OutArray) {
    // Any array is copied, also one of a single element; only unusable arrays are refused.
    return WithResult(
        *this, EdgeMode::None, WavArray, OutArray, Same,
        [](TransformFrame& frame, std::int16_t* o) {
            const std::int16_t* in = frame.data();
            return frame.Run(frame.size(), [=](std::size_t b, std::size_t e) { dsp::CopyRange(o, in, b, e); });
        },
        0);
}

}  // namespace qelv
