// Vibrato: a sine-shaped gain per sample in the transform frame with full edge
// smoothing, the per-sample cancel test and per-sample progress. Each sample's
// result depends on its own index and value alone, so a long range is shared
// with a helper thread (the frame's events stay between ranges).
#include <cmath>

#include "transform/HelperThread.h"
#include "transform/TransformFrame.h"
#include "transform/effects/Modulation.h"

namespace qelv {

STDMETHODIMP CSonalter2::Vibrato(SAFEARRAY** WavArray, FLOAT SweepDepth, FLOAT SweepFrequency, FLOAT SweepPhase) {
    // A depth outside 0 .. 100 (or NaN) is refused; so are a sweep that would make
    // every sine NaN (a non-finite frequency or phase) and a rate of 0 Hz, by
    // which the frequency would be divided.
    if (!(SweepDepth >= 0.0f && SweepDepth <= 100.0f) || !std::isfinite(SweepFrequency) ||
        !std::isfinite(SweepPhase) || ArrayFrequency == 0) {
        return ReportError(INVALIDPARAM);
    }
    return RunFrame(*this, EdgeMode::Blend, WavArray, [&](TransformFrame& frame) -> Outcome {
        const dsp::VibratoSweep sweep = dsp::MakeVibratoSweep(SweepDepth, SweepFrequency, SweepPhase, ArrayFrequency);
        std::int16_t* a = frame.data();
        auto kernel = [a, &sweep](std::size_t b, std::size_t e) { dsp::VibratoRange(a, b, e, sweep); };
        HelperThread helper;
        return frame.Run(frame.size(), [&](std::size_t b, std::size_t e) { helper.Share(b, e, kernel); });
    });
}

}  // namespace qelv
