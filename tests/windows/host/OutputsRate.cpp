// Cross-platform outputs of the rate family: Resample, PitchShift and
// TimeStretch on the given arrays with ordinary, extreme and non-finite rates.
// PitchShift's tables carry over from call to call in the process, so its
// results depend on the order of the calls; both platforms make them in the
// same order.
#include "Outputs.h"

namespace host {
namespace {

void Calls(Writer& w, ISonalter2* o, Random& random, const std::vector<short>& a, const std::vector<short>&) {
    const float resampleRates[] = {100.0f, 200.0f, 50.0f, 99.0f, 150.0f, 33.3f, 400.0f, 12.5f, 99.999f,
                                   0.0f,   -10.0f, kNaN,  kInf,  1e-30f, 1e30f, random.Uniform(20.0f, 300.0f),
                                   random.Uniform(60.0f, 99.0f)};
    for (float rate : resampleRates) {
        InPlace(w, o, "Resample", a, [&](SAFEARRAY** x) { return o->Resample(x, rate); });
    }
    const float pitchRates[] = {150.0f, 75.0f, 100.0f, 0.0f, kNaN, 1e30f, random.Uniform(50.0f, 200.0f)};
    for (float rate : pitchRates) {
        InPlace(w, o, "PitchShift", a, [&](SAFEARRAY** x) { return o->PitchShift(x, rate); });
    }
    for (float rate : {80.0f, 125.0f, -1.0f}) {
        InPlace(w, o, "TimeStretch", a, [&](SAFEARRAY** x) { return o->TimeStretch(x, rate); });
    }
}

OutputFamily registered("Rate", Calls);

}  // namespace
}  // namespace host
