#include "transform/effects/SweptDelayMethod.h"

#include "transform/effects/DelayLineFrame.h"
#include "transform/HeapBuffer.h"
#include "transform/effects/SweptDelay.h"

namespace qelv {

HRESULT RunSweptDelayMethod(CSonalter2& object, SAFEARRAY** WavArray, SweptDelayRange range, FLOAT DelayRate,
                            FLOAT MixDepth, FLOAT FeedBackGain, FLOAT SweepDepth, FLOAT SweepRate, FLOAT SweepPhase) {
    return RunFrame(object, EdgeMode::Deferred, WavArray, [&](TransformFrame& frame) -> Outcome {
        if (!dsp::PercentInRange(MixDepth) || !dsp::PercentInRange(SweepDepth)) {
            return Outcome::Failed(object.ReportError(INVALIDPARAM));
        }
        const dsp::DelayMix mix = dsp::MakeDelayMix(MixDepth, FeedBackGain);
        // D counts array entries (not frames); the ring has D - 1 slots and needs two.
        std::size_t delay = 0;
        const long double ms = static_cast<long double>(DelayRate) * range.spanMs / 100 + range.baseMs;
        const long double entries = ms * object.ArrayFrequency / 1000;
        if (!dsp::AcceptDelayLength(entries, 2, frame.size(), &delay)) {
            return Outcome::Failed(object.ReportError(INVALIDPARAM));
        }
        // A rate or phase that is not finite gives no read position.
        const dsp::Sweep sweep = dsp::MakeSweep(SweepRate, SweepDepth, SweepPhase, delay, object.ArrayFrequency);
        if (!dsp::SweepIsFinite(sweep)) return Outcome::Failed(object.ReportError(INVALIDPARAM));
        // One float beyond the ring's D mirrors its slot 1 (see SweptDelay.h).
        HeapBuffer<float> ring(delay + 1);
        if (!ring) return Outcome::Failed(object.ReportError(MEMORY));
        dsp::SweptDelay line{ring.get(), delay, delay - 1, sweep, mix};
        return RunDelayLine(
            frame, delay,
            [&line](const std::int16_t* a, std::size_t b, std::size_t e) { dsp::FeedSwept(line, a, b, e); },
            [&line](std::int16_t* a, std::size_t b, std::size_t e) { dsp::RunSwept(line, a, b, e); });
    });
}

}  // namespace qelv
