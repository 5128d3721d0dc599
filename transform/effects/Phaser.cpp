// Phaser: one all-pass section with a delay of DelayTime milliseconds, mixed with
// the dry signal.
#include "transform/effects/AllPassSection.h"
#include "transform/effects/DelayLineFrame.h"
#include "transform/HeapBuffer.h"

namespace qelv {

STDMETHODIMP CSonalter2::Phaser(SAFEARRAY** WavArray, FLOAT DelayTime, FLOAT MixDepth, FLOAT FeedBackGain) {
    return RunFrame(*this, EdgeMode::Deferred, WavArray, [&](TransformFrame& frame) -> Outcome {
        if (!dsp::PercentInRange(MixDepth)) return Outcome::Failed(ReportError(INVALIDPARAM));
        const dsp::DelayMix mix = dsp::MakeDelayMix(MixDepth, FeedBackGain);
        // D counts array entries (not frames); the section needs at least one.
        std::size_t delay = 0;
        const long double entries = static_cast<long double>(ArrayFrequency) * DelayTime / 1000;
        if (!dsp::AcceptDelayLength(entries, 1, frame.size(), &delay)) return Outcome::Failed(ReportError(INVALIDPARAM));
        HeapBuffer<float> ring(delay);
        if (!ring) return Outcome::Failed(ReportError(MEMORY));
        dsp::AllPassSection section{ring.get(), delay, 0, mix};
        return RunDelayLine(
            frame, delay,
            [&section](const std::int16_t* a, std::size_t b, std::size_t e) { dsp::FeedAllPass(section, a, b, e); },
            [&section](std::int16_t* a, std::size_t b, std::size_t e) { dsp::RunAllPass(section, a, b, e); });
    });
}

}  // namespace qelv
