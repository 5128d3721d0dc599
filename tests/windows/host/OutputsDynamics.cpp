// The cross-platform comparison for the dynamics, modulation, trimming, silence
// and noise methods: ordinary, extreme and non-finite parameters on the given
// arrays and on a copy whose head and tail are made quiet. AddNoise draws from
// the process-wide generator, so its results depend on the order of the calls,
// which is the same on both platforms.
#include "Outputs.h"

namespace host {
namespace {

// a with its first third and last quarter brought down to a whisper, so that the
// trims and DeleteSilence find something to cut.
std::vector<short> QuietEdges(const std::vector<short>& a) {
    std::vector<short> q = a;
    for (size_t i = 0; i < q.size(); ++i) {
        if (i < q.size() / 3 || i >= q.size() - q.size() / 4) q[i] = static_cast<short>(q[i] / 1000);
    }
    return q;
}

void DynamicsCalls(Writer& w, ISonalter2* o, Random& random, const std::vector<short>& a) {
    struct Law {
        float db, rate, ms;
    };
    const Law laws[] = {{-20.0f, 50.0f, 10.0f},  {-6.0206f, 100.0f, 50.0f}, {0.0f, 100.0f, 5.0f},
                        {-40.0f, 300.0f, 0.0f},  {-60.0f, -50.0f, 1.0f},    {-10.0f, 100.0f, 1e6f},
                        {-10.0f, 50.0f, 0.03f},  {kNaN, 50.0f, 10.0f},      {-10.0f, kNaN, 10.0f},
                        {-10.0f, 50.0f, kNaN},   {-10.0f, kInf, 10.0f},     {kInf, 50.0f, -kInf},
                        {-kInf, 50.0f, 20.0f},   {-30.0f, 1e30f, kInf},     {random.Uniform(-50.0f, 0.0f),
                                                                              random.Uniform(-100.0f, 200.0f),
                                                                              random.Uniform(0.0f, 30.0f)}};
    for (const Law& l : laws) {
        InPlace(w, o, "Compressor", a, [&](SAFEARRAY** x) { return o->Compressor(x, l.db, l.rate, l.ms); });
        InPlace(w, o, "Expander", a, [&](SAFEARRAY** x) { return o->Expander(x, l.db, l.rate, l.ms); });
    }
}

void ModulationCalls(Writer& w, ISonalter2* o, Random& random, const std::vector<short>& a) {
    struct Sweep {
        float depth, hz, degrees;
    };
    const Sweep sweeps[] = {{50.0f, 5.0f, 0.0f},       {100.0f, 441.0f, 270.0f},  {0.0f, 3.0f, 3.0f},
                            {100.0f, 20000.0f, -720.0f}, {100.5f, 1.0f, 1.0f},     {-1.0f, 1.0f, 1.0f},
                            {kNaN, 1.0f, 1.0f},         {50.0f, kInf, 0.0f},      {50.0f, 1.0f, kNaN},
                            {75.0f, 1e30f, 3e38f},      {25.0f, -7.5f, 1e7f},     {1e-30f, 1e-30f, -1e-30f},
                            {random.Uniform(0.0f, 100.0f), random.Uniform(0.0f, 50.0f), random.Uniform(-360.0f, 360.0f)}};
    for (const Sweep& s : sweeps) {
        InPlace(w, o, "Vibrato", a, [&](SAFEARRAY** x) { return o->Vibrato(x, s.depth, s.hz, s.degrees); });
    }
    // A long array with events off, so that its one range is shared with the
    // component's helper thread.
    if (a.size() == 44100) {
        std::vector<short> longer(300000);
        for (size_t i = 0; i < longer.size(); ++i) longer[i] = a[i % a.size()];
        VARIANT_BOOL events = VARIANT_TRUE;
        o->get_TBEventEnabled(&events);
        o->put_TBEventEnabled(VARIANT_FALSE);
        InPlace(w, o, "Vibrato", longer, [&](SAFEARRAY** x) { return o->Vibrato(x, 100.0f, 441.0f, 270.0f); });
        o->put_TBEventEnabled(events);
    }

    const size_t n = a.size();
    const size_t lengths[] = {1, 2, 7, n / 3 + 1, n, 3 * n + 1};
    for (size_t m : lengths) {
        std::vector<float> envelope(m);
        for (float& e : envelope) e = random.Uniform(-0.5f, 2.5f);
        if (m > 3) {
            envelope[1] = kNaN;
            envelope[2] = kInf;
            envelope[m - 1] = 0.0f;
        }
        SAFEARRAY* env = MakeFloats(envelope);
        InPlace(w, o, "Envelope", a, [&](SAFEARRAY** x) { return o->Envelope(x, &env); });
        SafeArrayDestroy(env);
    }
    SAFEARRAY* empty = SafeArrayCreateVector(VT_R4, 0, 0);
    InPlace(w, o, "Envelope", a, [&](SAFEARRAY** x) { return o->Envelope(x, &empty); });
    SafeArrayDestroy(empty);
    SAFEARRAY* integers = SafeArrayCreateVector(VT_I4, 0, 4);
    InPlace(w, o, "Envelope", a, [&](SAFEARRAY** x) { return o->Envelope(x, &integers); });
    SafeArrayDestroy(integers);
}

void SilenceCalls(Writer& w, ISonalter2* o, Random& random, const std::vector<short>& a) {
    const std::vector<short> q = QuietEdges(a);
    const float levels[] = {-60.0f, -20.0f, 0.0f, 10.0f, -200.0f, kInf, -kInf, kNaN, random.Uniform(-80.0f, 0.0f)};
    const float fades[] = {0.0f, 1.0f, 10.0f, 1e30f, -5.0f, kNaN, random.Uniform(0.0f, 100.0f)};
    for (size_t i = 0; i < sizeof levels / sizeof levels[0]; ++i) {
        const float level = levels[i];
        const float fade = fades[i % (sizeof fades / sizeof fades[0])];
        for (const std::vector<short>* input : {&a, &q}) {
            InPlace(w, o, "TrimLeft", *input, [&](SAFEARRAY** x) { return o->TrimLeft(x, level, fade); });
            InPlace(w, o, "TrimRight", *input, [&](SAFEARRAY** x) { return o->TrimRight(x, level, fade); });
        }
    }
    struct Detection {
        float db, attack, release;
    };
    const Detection detections[] = {{-20.0f, 10.0f, 10.0f}, {-60.0f, 1.0f, 0.0f},  {-40.0f, 0.0f, 5.0f},
                                    {0.0f, 1e6f, 1.0f},     {-30.0f, kNaN, 1.0f},  {kNaN, 5.0f, kNaN},
                                    {10.0f, 2.0f, kInf},    {random.Uniform(-70.0f, -10.0f), random.Uniform(0.0f, 20.0f), 0.0f}};
    for (const Detection& d : detections) {
        for (const std::vector<short>* input : {&a, &q}) {
            InPlace(w, o, "DeleteSilence", *input,
                    [&](SAFEARRAY** x) { return o->DeleteSilence(x, d.db, d.attack, d.release); });
        }
    }
}

void NoiseCalls(Writer& w, ISonalter2* o, const std::vector<short>& a) {
    struct Noise {
        float db;
        LONG type;
    };
    const Noise noises[] = {{-20.0f, 1}, {-20.0f, 2}, {0.0f, 1}, {6.0f, 2}, {-200.0f, 1}, {-200.0f, 2},
                            {-kInf, 1},  {kInf, 2},   {kNaN, 1}, {-6.0f, 3}, {-6.0f, 0},  {-45.5f, 2}};
    for (const Noise& noise : noises) {
        InPlace(w, o, "AddNoise", a, [&](SAFEARRAY** x) { return o->AddNoise(x, noise.db, noise.type); });
    }
}

void Calls(Writer& w, ISonalter2* o, Random& random, const std::vector<short>& a, const std::vector<short>&) {
    DynamicsCalls(w, o, random, a);
    ModulationCalls(w, o, random, a);
    SilenceCalls(w, o, random, a);
    NoiseCalls(w, o, a);
}

static OutputFamily registered("Dynamics", Calls);

}  // namespace
}  // namespace host
