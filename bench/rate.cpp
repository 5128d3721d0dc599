// Speed of Resample, PitchShift and TimeStretch through the object's vtable, in
// ns per input sample and as a multiple of real time for stereo 44.1 kHz.
//
//   bench_rate [--benchmark_repetitions=N ...]
//   QELV_BENCH_SAMPLES=52920000 bench_rate      (10 minutes of stereo)
//
// The default is 15 seconds of stereo (1 323 000 samples), since the vocoder
// costs about a microsecond per sample on a loaded machine. Events are off and
// edge smoothing is on (the defaults besides events). Every iteration works on a
// fresh copy of the same tone-and-noise signal; the copy is not timed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "transform/Sonalter2.h"

namespace {

std::size_t SampleCount() {
    const char* text = std::getenv("QELV_BENCH_SAMPLES");
    const long long n = text ? std::atoll(text) : 0;
    return n >= 1000 ? static_cast<std::size_t>(n) : 1'323'000;
}

SAFEARRAY* MakeSignal(std::size_t n) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(n));
    short* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> noise(-2000, 2000);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i / 2) / 44100.0;  // interleaved stereo frames
        data[i] = static_cast<short>(8000.0 * std::sin(2.0 * 3.141592653589793 * 440.0 * t) +
                                     5000.0 * std::sin(2.0 * 3.141592653589793 * 3100.0 * t) + noise(rng));
    }
    SafeArrayUnaccessData(array);
    return array;
}

template <class Call>
void Measure(benchmark::State& state, Call call) {
    const std::size_t n = SampleCount();
    qelv::CSonalter2* object = qelv::CSonalter2::Create();
    object->put_TBEventEnabled(VARIANT_FALSE);
    ISonalter2* o = object;
    SAFEARRAY* source = MakeSignal(n);
    for (auto _ : state) {
        state.PauseTiming();
        SAFEARRAY* work = nullptr;
        SafeArrayCopy(source, &work);
        state.ResumeTiming();
        if (call(o, &work) != S_OK) state.SkipWithError("call failed");
        state.PauseTiming();
        SafeArrayDestroy(work);
        state.ResumeTiming();
    }
    const double seconds = static_cast<double>(n) / 2.0 / 44100.0;
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(n) * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                              benchmark::Counter::kInvert);
    state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    SafeArrayDestroy(source);
    object->Release();
}

void BM_Resample_Grow(benchmark::State& s) { Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->Resample(a, 50); }); }
void BM_Resample_Shrink(benchmark::State& s) { Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->Resample(a, 200); }); }
void BM_PitchShift(benchmark::State& s) { Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->PitchShift(a, 150); }); }
void BM_TimeStretch(benchmark::State& s) { Measure(s, [](ISonalter2* o, SAFEARRAY** a) { return o->TimeStretch(a, 80); }); }

BENCHMARK(BM_Resample_Grow)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Resample_Shrink)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PitchShift)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TimeStretch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
