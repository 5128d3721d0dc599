// Chorus: a longer delay line (30 ms .. 50 ms) read at a sine-swept position.
#include "transform/effects/SweptDelayMethod.h"

namespace qelv {

STDMETHODIMP CSonalter2::Chorus(SAFEARRAY** WavArray, FLOAT DelayRate, FLOAT MixDepth, FLOAT FeedBackGain,
                                FLOAT SweepDepth, FLOAT SweepRate, FLOAT SweepPhase) {
    return RunSweptDelayMethod(*this, WavArray, SweptDelayRange{20, 30}, DelayRate, MixDepth, FeedBackGain, SweepDepth,
                               SweepRate, SweepPhase);
}

}  // namespace qelv
