// Compressor and Expander: one gain per block by the block's peak, blocks joined
// by a squared-sine overlap-add (BlockDynamics.h). They run in the transform
// frame with full edge smoothing but depart from it in two places: progress is
// one TransformBlock per block, fired whatever TBEventEnabled says, and there is
// no cancel test (they always run to the end).
#include <cmath>

#include "transform/TransformFrame.h"
#include "transform/HeapBuffer.h"
#include "transform/effects/BlockDynamics.h"

namespace qelv {
namespace {

HRESULT RunDynamics(CSonalter2& object, SAFEARRAY** WavArray, float dbThreshold, float ratePercent, float rmsTime,
                    bool expander) {
    // A NaN block time has no length; a NaN (or, for the unlimited compressor
    // rate, infinite) rate would make the gain NaN.
    if (std::isnan(rmsTime) || std::isnan(ratePercent) || (!expander && !std::isfinite(ratePercent))) {
        return object.ReportError(INVALIDPARAM);
    }
    object.LastErrorNum = NOERRORS;
    return RunFrame(object, EdgeMode::Blend, WavArray, [&](TransformFrame& frame) -> Outcome {
        const std::size_t n = frame.size();
        const std::size_t N = dsp::DynamicsBlockLength(object.ArrayFrequency, rmsTime, n);
        const dsp::DynamicsLaw law = {expander, dsp::DynamicsThreshold(dbThreshold),
                                      expander ? dsp::ExpanderRate(ratePercent) : dsp::CompressorRate(ratePercent)};
        HeapBuffer<float> win(N), blk(N), ovl(N);
        if (!win.get() || !blk.get() || !ovl.get()) return Outcome::Failed(object.ReportError(MEMORY));
        dsp::FillSineWindow(win.get(), N);

        dsp::BlockDynamics blocks(frame.data(), n, N, law, win.get(), blk.get(), ovl.get());
        blocks.LeadIn();
        while (blocks.HasBlock()) frame.FireProgress(blocks.NextBlock());
        blocks.LeadOut();
        return true;
    });
}

}  // namespace

STDMETHODIMP CSonalter2::Compressor(SAFEARRAY** WavArray, FLOAT dbThreshold, FLOAT CompressionRate, FLOAT RMSTime) {
    return RunDynamics(*this, WavArray, dbThreshold, CompressionRate, RMSTime, false);
}

STDMETHODIMP CSonalter2::Expander(SAFEARRAY** WavArray, FLOAT dbThreshold, FLOAT ExpansionRate, FLOAT RMSTime) {
    return RunDynamics(*this, WavArray, dbThreshold, ExpansionRate, RMSTime, true);
}

}  // namespace qelv
