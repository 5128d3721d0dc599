// The method body shared by Flanger and Chorus, which differ only in the range of
// delays that DelayRate maps onto.
#pragma once

#include "transform/Sonalter2.h"

namespace qelv {

// DelayRate (percent) maps linearly onto baseMs .. baseMs + spanMs milliseconds.
struct SweptDelayRange {
    int spanMs;
    int baseMs;
};

HRESULT RunSweptDelayMethod(CSonalter2& object, SAFEARRAY** WavArray, SweptDelayRange range, FLOAT DelayRate,
                            FLOAT MixDepth, FLOAT FeedBackGain, FLOAT SweepDepth, FLOAT SweepRate, FLOAT SweepPhase);

}  // namespace qelv
