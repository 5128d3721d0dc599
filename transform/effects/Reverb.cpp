// Reverb: comb bank, low-pass section and two all-pass sections over one delay
// length D, mixed with the dry input. It departs from the common frame in the
// way of the delay-line methods: the first D entries are never rewritten, the
// edge length is raised to 2 * D for the call and the left edge starts at D,
// and the cancel test and progress events come only with written entries.

#include "transform/HeapBuffer.h"
#include "transform/TransformFrame.h"
#include "transform/effects/ReverbKernel.h"

namespace qelv {
namespace {

constexpr LONG kMaxTaps = 20;

float LimitPercent(float value) {
    if (value > 100.0f) value = 100.0f;
    if (value < 0.0f) value = 0.0f;
    return value;
}

}  // namespace

STDMETHODIMP CSonalter2::Reverb(SAFEARRAY** WavArray, FLOAT DelayTime, FLOAT MixDepth, FLOAT FeedBackGain,
                                FLOAT ReverbrationGain, FLOAT ReverbrationFrequency, LONG nTapDelay) {
    // More combs than the bank holds, or none to average over: refused.
    if (nTapDelay < 1 || nTapDelay > kMaxTaps) return ReportError(INVALIDPARAM);
    return RunFrame(*this, EdgeMode::Deferred, WavArray, [&](TransformFrame& frame) -> Outcome {
        std::int16_t* a = frame.data();
        const std::size_t n = frame.size();
        // D = trunc(rate * ms / 1000), the product exact and the quotient in
        // extended precision. A line shorter than one entry (also a NaN time) and
        // one that reaches the end of the array are refused.
        const long double delay = static_cast<long double>(ArrayFrequency) * DelayTime / 1000.0L;
        if (!(delay >= 1.0L) || !(delay < static_cast<long double>(n))) {
            return Outcome::Failed(ReportError(INVALIDPARAM));
        }
        dsp::ReverbSettings settings;
        settings.delay = static_cast<std::size_t>(delay);
        settings.taps = static_cast<int>(nTapDelay);

        float cutoff = ReverbrationFrequency;
        if (static_cast<long double>(cutoff) > static_cast<long double>(ArrayFrequency / 2)) {
            cutoff = static_cast<float>(ArrayFrequency) / 2.0f;
        }
        settings.lowPass = ComputeBiquadCoefficients(dsp::kBiquadLowPass, -20.0f, cutoff, 50.0f);
        // A cut-off that gives no low-pass section (NaN or an infinite negative
        // frequency) is refused like the filter methods refuse it.
        if (!dsp::BiquadIsDefined(settings.lowPass)) return Outcome::Failed(ReportError(INVALIDPARAM));
        settings.combGain = LimitPercent(ReverbrationGain) / 100.0f;
        settings.wet = LimitPercent(MixDepth) / 100.0f;
        settings.dry = 1.0f - settings.wet;
        settings.allPassGain = FeedBackGain / 100.0f;

        const std::size_t d = settings.delay;
        HeapBuffer<float> comb(d), allPass1(d), allPass2(d);
        if (!comb.get() || !allPass1.get() || !allPass2.get()) return Outcome::Failed(ReportError(MEMORY));

        // The edge length is raised to 2 * D for the call; the head starts at D.
        if (HRESULT hr = frame.SaveEdges(2 * static_cast<long long>(d), d); FAILED(hr)) return Outcome::Failed(hr);

        dsp::ReverbState state;
        state.comb = comb.get();
        state.allPass1 = allPass1.get();
        state.allPass2 = allPass2.get();
        state.s1 = state.s2 = state.l1 = state.l2 = a[0];
        // The first D entries only feed the lines: no write, no cancel test.
        dsp::ReverbRange(a, 0, d, settings, state);
        return frame.Run(n - d, n, d, 1, [&](std::size_t b, std::size_t e) {
            dsp::ReverbRange(a, d + b, d + e, settings, state);
        });
    });
}

}  // namespace qelv
