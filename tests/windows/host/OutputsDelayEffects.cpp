// Cross-platform outputs of the delay-line effects: Delay, Phaser, Flanger and
// Chorus with ordinary, boundary, extreme and non-finite parameters.
#include "Outputs.h"

namespace host {
namespace {

void Calls(Writer& w, ISonalter2* o, Random& random, const std::vector<short>& a, const std::vector<short>&) {
    // Delay and Phaser: DelayTime in ms (D = trunc(frequency * ms / 1000)).
    struct Plain {
        float time, mix, feedback;
    };
    std::vector<Plain> plain = {{0.5f, 50, 0},     {3, 100, 0},     {10, 50, 50},    {25, 30, 95},
                                {1, 0, 70},        {7, 100, -80},   {2, 70, 150},    {0.05f, 40, 30},
                                {0, 50, 0},        {-3, 50, 0},     {1e30f, 50, 0},  {kNaN, 50, 0},
                                {kInf, 50, 0},     {5, -1, 0},      {5, 100.5f, 0},  {5, kNaN, 0},
                                {5, 60, kNaN},     {5, 60, kInf},   {5, 60, -kInf},  {5, 60, 1e30f},
                                {5, 1e-45f, 3e38f}};
    for (int i = 0; i < 3; ++i) {
        plain.push_back({random.Uniform(0, 40), random.Uniform(0, 100), random.Uniform(-120, 120)});
    }
    for (const Plain& p : plain) {
        InPlace(w, o, "Delay", a, [&](SAFEARRAY** x) { return o->Delay(x, p.time, p.mix, p.feedback); });
        InPlace(w, o, "Phaser", a, [&](SAFEARRAY** x) { return o->Phaser(x, p.time, p.mix, p.feedback); });
    }

    // Flanger and Chorus: DelayRate, MixDepth, FeedBackGain, SweepDepth, SweepRate, SweepPhase.
    struct Swept {
        float rate, mix, feedback, depth, sweepRate, phase;
    };
    std::vector<Swept> swept = {{0, 50, 0, 50, 50, 0},        {100, 100, 0, 0, 10, 90},
                                {50, 70, 60, 100, 100, 45},   {20, 30, -90, 25, 0, -180},
                                {-10, 50, 30, 100, 300, 1e6f}, {0, 100, 0, 0, 0, 0},
                                {150, 50, 0, 50, 50, 0},      {-200, 50, 0, 50, 50, 0},
                                {kNaN, 50, 0, 50, 50, 0},     {50, 50, 0, -1, 50, 0},
                                {50, 50, 0, kNaN, 50, 0},     {50, 50, 0, 50, kInf, 0},
                                {50, 50, 0, 50, 50, kNaN},    {50, 50, 0, 50, -1e30f, 0},
                                {50, 50, kNaN, 50, 50, 0},    {50, 50, kInf, 100, 50, 720},
                                {50, 100.01f, 0, 50, 50, 0}};
    for (int i = 0; i < 3; ++i) {
        swept.push_back({random.Uniform(0, 100), random.Uniform(0, 100), random.Uniform(-110, 110),
                         random.Uniform(0, 100), random.Uniform(0, 100), random.Uniform(-360, 360)});
    }
    for (const Swept& p : swept) {
        InPlace(w, o, "Flanger", a, [&](SAFEARRAY** x) {
            return o->Flanger(x, p.rate, p.mix, p.feedback, p.depth, p.sweepRate, p.phase);
        });
        InPlace(w, o, "Chorus", a, [&](SAFEARRAY** x) {
            return o->Chorus(x, p.rate, p.mix, p.feedback, p.depth, p.sweepRate, p.phase);
        });
    }
}

static OutputFamily registered("DelayEffects", Calls);

}  // namespace
}  // namespace host
