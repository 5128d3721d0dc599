// Envelope: each sample times the envelope entry of its index, the envelope
// stretched over the array. Transform frame with full edge smoothing, per-sample
// cancel test and progress.
#include "transform/TransformFrame.h"
#include "transform/effects/Modulation.h"

namespace qelv {
namespace {

// A float array of at least one element; other element types of the same size
// (32-bit integers) are refused too.
bool IsFloatArray(SAFEARRAY** array) {
    VARTYPE vt = VT_EMPTY;
    return array && *array && SUCCEEDED(SafeArrayGetVartype(*array, &vt)) && vt == VT_R4;
}

}  // namespace

STDMETHODIMP CSonalter2::Envelope(SAFEARRAY** WavArray, SAFEARRAY** EnvelopeArray) {
    return RunFrame(*this, EdgeMode::Blend, WavArray, [&](TransformFrame& frame) -> Outcome {
        // An empty or unusable envelope has no entry to apply.
        const ArrayView* envelope = nullptr;
        if (!IsFloatArray(EnvelopeArray)) return Outcome::Failed(ReportError(INVALIDPARAM));
        if (HRESULT hr = frame.OpenInput(EnvelopeArray, sizeof(float), 1, &envelope); FAILED(hr)) {
            return Outcome::Failed(hr);
        }
        std::int16_t* a = frame.data();
        const std::size_t n = frame.size();
        const float* env = envelope->floats();
        const std::size_t m = envelope->size();
        return frame.Run(n, [=](std::size_t b, std::size_t e) { dsp::EnvelopeRange(a, n, env, m, b, e); });
    });
}

}  // namespace qelv
