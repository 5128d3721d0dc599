// Speed of Delay, Phaser, Flanger and Chorus in ns per sample, through the
// object's vtable with events and edge smoothing off.
//
//   bench_delay_effects [--benchmark_filter=...]
//
// The array is QELV_BENCH_SAMPLES samples of random stereo audio (default
// 2,646,000: 30 s of stereo 44.1 kHz; 52,920,000 is 10 minutes). Each iteration
// runs the method once over the whole array in place.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

#include "transform/Sonalter2.h"

namespace {

std::size_t SampleCount() {
    const char* text = std::getenv("QELV_BENCH_SAMPLES");
    const long long n = text ? std::atoll(text) : 0;
    return n > 1000 ? static_cast<std::size_t>(n) : 2'646'000;
}

struct Fixture {
    std::size_t n = SampleCount();
    qelv::CSonalter2* object = qelv::CSonalter2::Create();
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(n));

    Fixture() {
        short* data = nullptr;
        SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> sample(-20000, 20000);
        for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<short>(sample(rng));
        SafeArrayUnaccessData(array);
        object->put_TBEventEnabled(VARIANT_FALSE);
        object->put_SmoothLeftEnabled(VARIANT_FALSE);
        object->put_SmoothRightEnabled(VARIANT_FALSE);
        object->put_ArrayChannels(STEREO);
    }
    ~Fixture() {
        object->Release();
        SafeArrayDestroy(array);
    }
};

template <class Call>
void RunMethod(benchmark::State& state, Call call) {
    Fixture f;
    for (auto _ : state) {
        if (FAILED(call(f))) state.SkipWithError("method failed");
        benchmark::ClobberMemory();
    }
    state.counters["ns/sample"] = benchmark::Counter(static_cast<double>(f.n) * 1e-9,
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

// Settings comparable to the peers' in bench/peers_delay_effects.sh.
void Delay(benchmark::State& s) { RunMethod(s, [](Fixture& f) { return f.object->Delay(&f.array, 10, 50, 50); }); }
void Phaser(benchmark::State& s) { RunMethod(s, [](Fixture& f) { return f.object->Phaser(&f.array, 3, 50, 40); }); }
void Flanger(benchmark::State& s) {
    RunMethod(s, [](Fixture& f) { return f.object->Flanger(&f.array, 20, 50, 0, 70, 14, 0); });
}
void Chorus(benchmark::State& s) {
    RunMethod(s, [](Fixture& f) { return f.object->Chorus(&f.array, 50, 50, 0, 20, 5, 0); });
}

BENCHMARK(Delay)->Unit(benchmark::kMillisecond);
BENCHMARK(Phaser)->Unit(benchmark::kMillisecond);
BENCHMARK(Flanger)->Unit(benchmark::kMillisecond);
BENCHMARK(Chorus)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
