// Cross-platform outputs of the filter family: the seven second-order filters,
// Reverb and FIRFilter with ordinary, extreme and non-finite parameters.
#include "Outputs.h"

namespace host {
namespace {

void Calls(Writer& w, ISonalter2* o, Random& random, const std::vector<short>& a, const std::vector<short>&) {
    FrequencyConstants rateValue{};
    o->get_ArrayFrequency(&rateValue);
    const float rate = static_cast<float>(rateValue);

    struct Design {
        float gain, frequency, steepness;
    };
    const Design designs[] = {
        {random.Uniform(-24.0f, 24.0f), random.Uniform(20.0f, rate / 2), random.Uniform(10.0f, 300.0f)},
        {random.Uniform(-24.0f, 24.0f), random.Uniform(1.0f, 200.0f), random.Uniform(50.0f, 120.0f)},
        {6.0f, rate * 0.6f, -30.0f},  // above the Nyquist frequency, negative steepness
        {0.0f, 1000.0f, 0.0f},        // steepness 0 taken as 1
        {40.0f, 1000.0f, 200.0f},     // shelves without a real square root: refused
        {kNaN, kNaN, 100.0f},
        {kInf, 500.0f, kInf},
        {-300.0f, 1e-30f, 1e-44f},
    };
    for (const Design& d : designs) {
        InPlace(w, o, "LowPassFilter", a, [&](SAFEARRAY** x) { return o->LowPassFilter(x, d.frequency, d.steepness); });
        InPlace(w, o, "HighPassFilter", a, [&](SAFEARRAY** x) { return o->HighPassFilter(x, d.frequency, d.steepness); });
        InPlace(w, o, "BandPassFilter", a, [&](SAFEARRAY** x) { return o->BandPassFilter(x, d.frequency, d.steepness); });
        InPlace(w, o, "NotchFilter", a, [&](SAFEARRAY** x) { return o->NotchFilter(x, d.frequency, d.steepness); });
        InPlace(w, o, "PeakEQFilter", a,
                [&](SAFEARRAY** x) { return o->PeakEQFilter(x, d.gain, d.frequency, d.steepness); });
        InPlace(w, o, "LowShelfFilter", a,
                [&](SAFEARRAY** x) { return o->LowShelfFilter(x, d.gain, d.frequency, d.steepness); });
        InPlace(w, o, "HighShelfFilter", a,
                [&](SAFEARRAY** x) { return o->HighShelfFilter(x, d.gain, d.frequency, d.steepness); });
    }

    struct Room {
        float delay, mix, feedback, gain, cutoff;
        LONG taps;
    };
    const Room rooms[] = {
        {random.Uniform(0.5f, 30.0f), random.Uniform(0.0f, 100.0f), random.Uniform(-90.0f, 90.0f),
         random.Uniform(0.0f, 100.0f), random.Uniform(100.0f, rate / 2), static_cast<LONG>(1 + random.Next() % 20)},
        {2.0f, 150.0f, 250.0f, -10.0f, rate, 20},  // limited mix, gain and cut-off; unstable all-passes
        {5.0f, 100.0f, 0.0f, 100.0f, 3000.0f, 7},
        {5.0f, 50.0f, 50.0f, 50.0f, 3000.0f, 0},   // refused: no comb
        {5.0f, 50.0f, 50.0f, 50.0f, 3000.0f, 21},  // refused: more combs than the bank holds
        {0.01f, 50.0f, 50.0f, 50.0f, 3000.0f, 3},  // refused below one sample (at these rates)
        {1e6f, 50.0f, 50.0f, 50.0f, 3000.0f, 3},   // refused: longer than the array
        {3.0f, kNaN, kNaN, kNaN, 3000.0f, 4},
        {3.0f, 50.0f, 50.0f, 50.0f, kNaN, 4},      // refused: no low-pass section
        {3.0f, 50.0f, 50.0f, 50.0f, -kInf, 4},
    };
    for (const Room& r : rooms) {
        InPlace(w, o, "Reverb", a, [&](SAFEARRAY** x) {
            return o->Reverb(x, r.delay, r.mix, r.feedback, r.gain, r.cutoff, r.taps);
        });
    }

    struct Bands {
        std::vector<float> freq, gain, weight;
        LONG quality;
    };
    const float edge = random.Uniform(0.05f, 0.3f) * rate;
    const Bands bands[] = {
        {{0, edge, -1, edge + rate * 0.08f, rate / 2}, {1, 1, 0, 0, 0}, {1, 1, 0, 10, 10},
         static_cast<LONG>(10 + random.Next() % 60)},
        {{0, edge * 0.5f, edge, -1, edge * 1.3f, rate * 0.45f}, {0.2f, 0.7f, 1, 0, -60, -60}, {1, 2, 3, 0, 1, 1}, 5},
        {{0, rate / 4, -1, rate * 0.3f, rate / 2}, {1, 1, 0, 0, 0}, {1, 1, 0, 1, 1}, 255},
        {{0, rate / 4}, {1, 1, 1}, {1, 1}, 20},                     // refused: counts differ
        {{rate / 4, 0}, {1, 1}, {1, 1}, 20},                        // refused by the designer: descending
        {{0, rate / 4, -1, rate * 0.3f, rate / 2}, {1, 1, 0, 0, 0}, {1, 1, 0, 0, 0}, 20},  // refused: weight 0
        {{0, kNaN}, {1, 1}, {1, 1}, 20},                            // refused: not a number
    };
    for (const Bands& b : bands) {
        SAFEARRAY* freq = MakeFloats(b.freq);
        SAFEARRAY* gain = MakeFloats(b.gain);
        SAFEARRAY* weight = MakeFloats(b.weight);
        InPlace(w, o, "FIRFilter", a, [&](SAFEARRAY** x) { return o->FIRFilter(x, &freq, &gain, &weight, b.quality); });
        SafeArrayDestroy(freq);
        SafeArrayDestroy(gain);
        SafeArrayDestroy(weight);
    }
}

const OutputFamily registered("Filters", Calls);

}  // namespace
}  // namespace host
