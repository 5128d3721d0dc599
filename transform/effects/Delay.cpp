// Delay: a feedback echo of DelayTime milliseconds, mixed with the dry signal.
#include "transform/effects/DelayLineFrame.h"
#include "transform/HeapBuffer.h"
#include "transform/effects/FeedbackComb.h"

namespace qelv {

STDMETHODIMP CSonalter2::Delay(SAFEARRAY** WavArray, FLOAT DelayTime, FLOAT MixDepth, FLOAT FeedBackGain) {
    return RunFrame(*this, EdgeMode::Deferred, WavArray, [&](TransformFrame& frame) -> Outcome {
        if (!dsp::PercentInRange(MixDepth)) return Outcome::Failed(ReportError(INVALIDPARAM));
        const dsp::DelayMix mix = dsp::MakeDelayMix(MixDepth, FeedBackGain);
        // D counts array entries (not frames); the ring needs at least one.
        std::size_t delay = 0;
        const long double entries = static_cast<long double>(ArrayFrequency) * DelayTime / 1000;
        if (!dsp::AcceptDelayLength(entries, 1, frame.size(), &delay)) return Outcome::Failed(ReportError(INVALIDPARAM));
        HeapBuffer<float> ring(delay);
        if (!ring) return Outcome::Failed(ReportError(MEMORY));
        dsp::FeedbackComb comb{ring.get(), delay, 0, mix};
        return RunDelayLine(
            frame, delay,
            [&comb](const std::int16_t* a, std::size_t b, std::size_t e) { dsp::FeedComb(comb, a, b, e); },
            [&comb](std::int16_t* a, std::size_t b, std::size_t e) { dsp::RunComb(comb, a, b, e); });
    });
}

}  // namespace qelv
