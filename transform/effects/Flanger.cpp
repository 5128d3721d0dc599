// Flanger: a short delay line (1 ms .. 10 ms) read at a sine-swept position.
#include "transform/effects/SweptDelayMethod.h"

namespace qelv {

STDMETHODIMP CSonalter2::Flanger(SAFEARRAY** WavArray, FLOAT DelayRate, FLOAT MixDepth, FLOAT FeedBackGain,
                                 FLOAT SweepDepth, FLOAT SweepRate, FLOAT SweepPhase) {
    return RunSweptDelayMethod(*this, WavArray, SweptDelayRange{9, 1}, DelayRate, MixDepth, FeedBackGain, SweepDepth,
                               SweepRate, SweepPhase);
}

}  // namespace qelv
