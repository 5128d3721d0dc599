// DeleteSilence: the object's own Expander (through ISonalter2, so that its
// events, edge smoothing and resets reach the host as that method's) silences
// every block whose peak lies below the threshold; every sample whose masked
// value is 0 is then dropped from the input and the array shortened in place.
// In the transform frame with the smoothing properties switched off for a short
// array and put back; no progress of its own (the Expander's reaches the host)
// and no cancel test. ReleaseTime is accepted and not used: the detection
// depends only on the threshold and the attack time.
#include <cmath>
#include <cstring>

#include "transform/TransformFrame.h"
#include "transform/HeapBuffer.h"
#include "transform/dsp/SilenceKernels.h"

namespace qelv {

STDMETHODIMP CSonalter2::DeleteSilence(SAFEARRAY** WavArray, FLOAT dbThreshold, FLOAT AttackTime,
                                       FLOAT ReleaseTime) {
    (void)ReleaseTime;
    // A NaN attack time gives the Expander no block length.
    if (std::isnan(AttackTime)) return ReportError(INVALIDPARAM);
    return RunFrame(*this, EdgeMode::SwitchOnly, WavArray, [&](TransformFrame& frame) -> Outcome {
        // The mask overwrites the array before its new length is known: an array
        // that cannot be resized is refused before anything changes.
        if (!frame.MainResizable()) return Outcome::Failed(ReportError(INVALIDPARAM));
        const std::size_t n = frame.size();
        HeapBuffer<std::int16_t> input(n);
        if (!input.get()) return Outcome::Failed(ReportError(MEMORY));
        std::memcpy(input.get(), frame.data(), n * sizeof(std::int16_t));

        ISonalter2* self = this;
        if (HRESULT hr = frame.CallOut([&] { self->Expander(WavArray, dbThreshold, 100.0f, AttackTime); }); FAILED(hr)) {
            return Outcome::Failed(hr);
        }
        // The Expander keeps the length; a handler that changed it is not followed.
        if (frame.size() != n) return Outcome::Failed(ReportError(INVALIDPARAM));
        const std::size_t kept = dsp::CompactByMask(frame.data(), input.get(), n);
        if (kept != n) {
            if (HRESULT hr = frame.ResizeMain(kept); FAILED(hr)) return Outcome::Failed(hr);
        }
        return true;
    });
}

}  // namespace qelv
