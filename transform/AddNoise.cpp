// AddNoise: uniform or Gaussian noise from the process-wide generator
// (dsp/NoiseGenerator.h), whose sequence carries over from call to call and from
// object to object. Transform frame with the smoothing properties switched off
// for a short array and put back, no edge blending; per-sample cancel test and
// progress.
#include <cmath>

#include "transform/TransformFrame.h"
#include "transform/dsp/AddNoiseKernel.h"

namespace qelv {

STDMETHODIMP CSonalter2::AddNoise(SAFEARRAY** WavArray, FLOAT dbNoiseLevel, LONG NoiseType) {
    // NaN has no level: every sample would become NaN.
    if ((NoiseType != 1 && NoiseType != 2) || std::isnan(dbNoiseLevel)) return ReportError(INVALIDPARAM);
    LastErrorNum = NOERRORS;
    const dsp::NoiseKind kind = NoiseType == 1 ? dsp::NoiseKind::Uniform : dsp::NoiseKind::Gaussian;
    return RunFrame(*this, EdgeMode::SwitchOnly, WavArray, [&](TransformFrame& frame) -> Outcome {
        const float level = dsp::NoiseLevel(dbNoiseLevel);
        std::int16_t* a = frame.data();
        return frame.Run(frame.size(), [=](std::size_t b, std::size_t e) { dsp::AddNoiseRange(a, b, e, level, kind); });
    });
}

}  // namespace qelv
