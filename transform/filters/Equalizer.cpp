// Equalizer: builds a 512-entry gain curve from (dB, Hz) points and filters the
// array with it through the object's own FFTFilter, so that the host receives
// FFTFilter's events. The equaliser itself never touches a sample.
//
// Its frame only checks the arrays and builds the curve; it is closed, without
// events, before FFTFilter runs, so that FFTFilter's frame is the only one open
// on the object while the host's handlers run (the per-call fields, the array
// locks and the floating-point settings are then FFTFilter's alone).
#include "transform/TransformFrame.h"
#include "transform/filters/EqualizerCurve.h"

namespace qelv {

STDMETHODIMP CSonalter2::Equalizer(SAFEARRAY** WavArray, SAFEARRAY** dbGainArray, SAFEARRAY** FreqArray) {
    float curve[dsp::kEqualizerBins];
    {
        TransformFrame frame(*this, EdgeMode::None);
        if (HRESULT hr = frame.Open(WavArray); FAILED(hr)) return hr;
        const ArrayView* gains = nullptr;
        const ArrayView* frequencies = nullptr;
        if (HRESULT hr = frame.OpenInput(dbGainArray, sizeof(float), 0, &gains); FAILED(hr)) return hr;
        if (HRESULT hr = frame.OpenInput(FreqArray, sizeof(float), 0, &frequencies); FAILED(hr)) return hr;
        // Different counts pair no points; a rate of 0 divides by zero in the bins
        // and leaves the smoothing section without a value.
        if (gains->size() != frequencies->size() || ArrayFrequency == 0) return ReportError(INVALIDPARAM);

        dsp::PlaceEqualizerPoints(gains->floats(), frequencies->floats(), gains->size(), ArrayFrequency, curve);
        dsp::FillEqualizerGaps(curve);
        // A high shelf of -40 dB at a quarter of the rate, slope 1.
        const dsp::Biquad shelf =
            ComputeBiquadCoefficients(dsp::kBiquadHighShelf, -40.0f, static_cast<float>(ArrayFrequency) / 4.0f, 100.0f);
        dsp::SmoothEqualizerCurve(curve, shelf);
    }

    SAFEARRAYBOUND bound = {static_cast<ULONG>(dsp::kEqualizerBins), 0};
    SAFEARRAY* curveArray = SafeArrayCreate(VT_R4, 1, &bound);
    if (!curveArray) return ReportError(MEMORY);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(curveArray, &data))) {
        SafeArrayDestroy(curveArray);
        return ReportError(MEMORY);
    }
    for (std::size_t k = 0; k < dsp::kEqualizerBins; ++k) static_cast<float*>(data)[k] = curve[k];
    SafeArrayUnaccessData(curveArray);

    ISonalter2* self = this;
    const HRESULT hr = self->FFTFilter(WavArray, &curveArray);
    SafeArrayDestroy(curveArray);
    return hr;
}

}  // namespace qelv
