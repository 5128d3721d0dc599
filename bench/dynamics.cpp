// Speed of the dynamics, modulation, trimming, silence and noise methods in ns
// per sample, with Amplify as the reference pass of the same run.
//
//   bench_dynamics [--benchmark_filter=...]
//
// The input is stereo 44.1 kHz audio: a 440 Hz tone under a slow swell with a
// quiet first and last fifth (so that the trims and DeleteSilence have something
// to cut). QELV_BENCH_SECONDS sets its length (default 60 s, 5.3 million
// samples; 600 gives the 52.9 million of ten minutes). Events and edge smoothing
// are off; every iteration starts from the input, copied back into the same
// array between iterations (a new array only after a method changed its
// length), so that no iteration pays for fresh pages.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "transform/HelperThread.h"
#include "transform/Sonalter2.h"

namespace {

std::size_t Samples() {
    const char* seconds = std::getenv("QELV_BENCH_SECONDS");
    const double s = seconds ? std::atof(seconds) : 60.0;
    return static_cast<std::size_t>(s * 44100.0) * 2;
}

const std::vector<short>& Input() {
    static const std::vector<short> input = [] {
        const std::size_t n = Samples();
        std::vector<short> v(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(i / 2) / 44100.0;
            const bool quiet = i < n / 5 || i >= n - n / 5;
            const double level = quiet ? 20.0 : 6000.0 + 20000.0 * (0.5 + 0.5 * std::sin(t * 0.7));
            v[i] = static_cast<short>(level * std::sin(2.0 * 3.141592653589793 * 440.0 * t + (i & 1)));
        }
        return v;
    }();
    return input;
}

// Copies the input back into *array, or makes a new one when there is none or
// a method changed its length.
void Refill(SAFEARRAY** array) {
    const std::vector<short>& input = Input();
    if (!*array || (*array)->rgsabound[0].cElements != input.size()) {
        if (*array) SafeArrayDestroy(*array);
        *array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(input.size()));
    }
    void* data = nullptr;
    SafeArrayAccessData(*array, &data);
    std::memcpy(data, input.data(), input.size() * sizeof(short));
    SafeArrayUnaccessData(*array);
}

template <class Call>
void Measure(benchmark::State& state, Call call) {
    qelv::CSonalter2* object = qelv::CSonalter2::Create();
    object->put_TBEventEnabled(VARIANT_FALSE);
    object->put_SmoothLeftEnabled(VARIANT_FALSE);
    object->put_SmoothRightEnabled(VARIANT_FALSE);
    ISonalter2* o = object;
    SAFEARRAY* array = nullptr;
    Refill(&array);
    for (auto _ : state) {
        const HRESULT hr = call(o, &array);
        state.PauseTiming();
        if (FAILED(hr)) state.SkipWithError("the method failed");
        Refill(&array);
        state.ResumeTiming();
    }
    SafeArrayDestroy(array);
    const double samples = static_cast<double>(Input().size());
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * static_cast<double>(state.iterations()) * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    object->Release();
}

SAFEARRAY* Envelope() {
    std::vector<float> gains(1000);
    for (std::size_t k = 0; k < gains.size(); ++k) gains[k] = 0.5f + 0.5f * std::sin(k * 0.01f);
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(gains.size()));
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    std::memcpy(data, gains.data(), gains.size() * sizeof(float));
    SafeArrayUnaccessData(array);
    return array;
}

void BM_Amplify(benchmark::State& s) { Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->Amplify(a, 70.0f); }); }
// The peer's settings: attack and decay about one block, 2:1 above -20 dB.
void BM_Compressor(benchmark::State& s) {
    Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->Compressor(a, -20.0f, 50.0f, 10.0f); });
}
void BM_Expander(benchmark::State& s) {
    Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->Expander(a, -20.0f, 50.0f, 10.0f); });
}
void BM_Vibrato(benchmark::State& s) {
    Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->Vibrato(a, 50.0f, 5.0f, 0.0f); });
}
// The same on the calling thread alone, for comparison.
void BM_VibratoOneThread(benchmark::State& s) {
    qelv::HelperThread::Allow(false);
    BM_Vibrato(s);
    qelv::HelperThread::Allow(true);
}
void BM_Envelope(benchmark::State& s) {
    SAFEARRAY* env = Envelope();
    Measure(s, [&](ISonalter2* o, SAFEARRAY** a) { return o->Envelope(a, &env); });
    SafeArrayDestroy(env);
}
void BM_TrimLeft(benchmark::State& s) {
    Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->TrimLeft(a, -40.0f, 10.0f); });
}
void BM_TrimRight(benchmark::State& s) {
    Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->TrimRight(a, -40.0f, 10.0f); });
}
void BM_DeleteSilence(benchmark::State& s) {
    Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->DeleteSilence(a, -40.0f, 10.0f, 10.0f); });
}
void BM_AddNoiseUniform(benchmark::State& s) {
    Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->AddNoise(a, -30.0f, 1); });
}
void BM_AddNoiseGaussian(benchmark::State& s) {
    Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->AddNoise(a, -30.0f, 2); });
}

}  // namespace

BENCHMARK(BM_Amplify)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Compressor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Expander)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Vibrato)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VibratoOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Envelope)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TrimLeft)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TrimRight)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeleteSilence)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddNoiseUniform)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddNoiseGaussian)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
