// The seven second-order filter methods: one procedure that designs the
// object's coefficient set for the method's filter type and runs the array
// through it in place, with full edge smoothing.
#include "transform/TransformFrame.h"
#include "transform/filters/BiquadKernel.h"

namespace qelv {
namespace {

HRESULT FilterWithBiquad(CSonalter2& object, SAFEARRAY** WavArray, dsp::BiquadType type, float dbGain,
                         float Frequency, float Steepness) {
    return RunFrame(object, EdgeMode::Blend, WavArray, [&](TransformFrame& frame) -> Outcome {
        const dsp::Biquad c = object.ComputeBiquadCoefficients(type, dbGain, Frequency, Steepness);
        // A shelf whose slope leaves no real square root, a sampling rate of 0 or
        // non-finite parameters give coefficients that are not numbers: refused
        // before any sample changes.
        if (!dsp::BiquadIsDefined(c)) return Outcome::Failed(object.ReportError(INVALIDPARAM));
        std::int16_t* a = frame.data();
        const std::size_t n = frame.size();
        dsp::BiquadHistory history;
        // Samples 0 and 1 start the recursion; the cancel test and the progress
        // events begin with sample 2.
        dsp::BiquadStart(a, c, history);
        return frame.Run(n - 2, n, 2, 1, [&](std::size_t b, std::size_t e) {
            dsp::BiquadRange(a, 2 + b, 2 + e, c, history);
        });
    });
}

}  // namespace

STDMETHODIMP CSonalter2::LowPassFilter(SAFEARRAY** WavArray, FLOAT Frequency, FLOAT Steepness) {
    return FilterWithBiquad(*this, WavArray, dsp::kBiquadLowPass, 0.0f, Frequency, Steepness);
}

STDMETHODIMP CSonalter2::HighPassFilter(SAFEARRAY** WavArray, FLOAT Frequency, FLOAT Steepness) {
    return FilterWithBiquad(*this, WavArray, dsp::kBiquadHighPass, 0.0f, Frequency, Steepness);
}

STDMETHODIMP CSonalter2::BandPassFilter(SAFEARRAY** WavArray, FLOAT Frequency, FLOAT Steepness) {
    return FilterWithBiquad(*this, WavArray, dsp::kBiquadBandPass, 0.0f, Frequency, Steepness);
}

STDMETHODIMP CSonalter2::NotchFilter(SAFEARRAY** WavArray, FLOAT Frequency, FLOAT Steepness) {
    return FilterWithBiquad(*this, WavArray, dsp::kBiquadNotch, 0.0f, Frequency, Steepness);
}

STDMETHODIMP CSonalter2::PeakEQFilter(SAFEARRAY** WavArray, FLOAT dbGain, FLOAT Frequency, FLOAT Steepness) {
    return FilterWithBiquad(*this, WavArray, dsp::kBiquadPeakEq, dbGain, Frequency, Steepness);
}

STDMETHODIMP CSonalter2::LowShelfFilter(SAFEARRAY** WavArray, FLOAT dbGain, FLOAT Frequency, FLOAT Steepness) {
    return FilterWithBiquad(*this, WavArray, dsp::kBiquadLowShelf, dbGain, Frequency, Steepness);
}

STDMETHODIMP CSonalter2::HighShelfFilter(SAFEARRAY** WavArray, FLOAT dbGain, FLOAT Frequency, FLOAT Steepness) {
    return FilterWithBiquad(*this, WavArray, dsp::kBiquadHighShelf, dbGain, Frequency, Steepness);
}

}  // namespace qelv
