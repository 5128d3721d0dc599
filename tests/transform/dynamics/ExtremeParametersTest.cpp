// Every method of the family over extreme and non-finite parameters and rates:
// each call either succeeds or refuses with -20, and (under the sanitizers) none
// computes anything undefined.
#include <cstring>
#include <limits>

#include "transform/TestSupport.h"

namespace qelv::test {
namespace {

TEST(DynamicsFamily, ExtremeParametersAreRefusedOrDefined) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {0.0f, -0.0f, 1e-45f, 0.03f, 50.0f, 100.0f, 3.4e38f, -3.4e38f, inf, -inf, nan};
    const LONG rates[] = {44100, 1, 0, -44100, 2147483647, -2147483647 - 1};
    Object o;
    SAFEARRAY* env = SafeArrayCreateVector(VT_R4, 0, 3);
    float* gains = nullptr;
    SafeArrayAccessData(env, reinterpret_cast<void**>(&gains));
    gains[0] = inf;
    gains[1] = -3.4e38f;
    gains[2] = nan;
    SafeArrayUnaccessData(env);
    const std::vector<short> input = Ramp(257, -32768, 255);
    for (LONG rate : rates) {
        o->put_ArrayFrequency(static_cast<FrequencyConstants>(rate));
        for (float p : values) {
            for (float q : {values[4], p, -p}) {
                auto check = [&](auto call) {
                    SampleArray a(input);
                    const HRESULT hr = call(&a);
                    EXPECT_TRUE(hr == S_OK || hr == static_cast<HRESULT>(0x8004030B)) << p << " " << q << " " << rate;
                    if (hr != S_OK) {
                        EXPECT_EQ(a.values(), input);
                    }
                };
                check([&](SAFEARRAY** a) { return o->Compressor(a, p, q, p); });
                check([&](SAFEARRAY** a) { return o->Expander(a, q, p, q); });
                check([&](SAFEARRAY** a) { return o->Vibrato(a, q, p, q); });
                check([&](SAFEARRAY** a) { return o->TrimLeft(a, p, q); });
                check([&](SAFEARRAY** a) { return o->TrimRight(a, q, p); });
                check([&](SAFEARRAY** a) { return o->DeleteSilence(a, p, q, p); });
                check([&](SAFEARRAY** a) { return o->AddNoise(a, p, 1); });
                check([&](SAFEARRAY** a) { return o->AddNoise(a, q, 2); });
            }
        }
        SampleArray a(input);
        EXPECT_EQ(o->Envelope(&a, &env), S_OK);
    }
    SafeArrayDestroy(env);
}

}  // namespace
}  // namespace qelv::test
