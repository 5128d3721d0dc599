// Speed of the filter family in ns per sample: the seven second-order filters,
// Reverb and FIRFilter with 256 taps, through the object's vtable with events
// and edge smoothing off. ns_per_sample is processor time per sample.
//
//   bench_filters [--benchmark_filter=...] [--benchmark_repetitions=N]
//
// The array holds QELV_BENCH_SAMPLES samples (default 5 292 000, one minute of
// stereo 44.1 kHz audio; 52 920 000 is ten minutes). bench/peers_filters.sh runs
// this and the peer programs side by side.
#include <benchmark/benchmark.h>

#include <ctime>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "transform/Sonalter2.h"

namespace {

std::size_t SampleCount() {
    const char* text = std::getenv("QELV_BENCH_SAMPLES");
    const long long n = text ? std::atoll(text) : 0;
    return n > 1000 ? static_cast<std::size_t>(n) : 5'292'000;
}

// Two tones and noise, like music at a moderate level.
SAFEARRAY* MakeArray(std::size_t n) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(n));
    short* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-2000, 2000);
    for (std::size_t i = 0; i < n; ++i) {
        const double v = 9000 * std::sin(0.031 * i) + 6000 * std::sin(0.0023 * i) + noise(rng);
        data[i] = static_cast<short>(v);
    }
    SafeArrayUnaccessData(array);
    return array;
}

SAFEARRAY* MakeFloats(const std::vector<float>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(values.size()));
    float* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    for (std::size_t i = 0; i < values.size(); ++i) data[i] = values[i];
    SafeArrayUnaccessData(array);
    return array;
}

// Processor time of this process: on a machine shared with other work the wall
// clock measures the neighbours as much as the method.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

using Method = std::function<HRESULT(qelv::CSonalter2*, SAFEARRAY**)>;

void Run(benchmark::State& state, const Method& method) {
    const std::size_t n = SampleCount();
    qelv::CSonalter2* object = qelv::CSonalter2::Create();
    object->put_TBEventEnabled(VARIANT_FALSE);
    object->put_SmoothLeftEnabled(VARIANT_FALSE);
    object->put_SmoothRightEnabled(VARIANT_FALSE);
    SAFEARRAY* array = MakeArray(n);
    double seconds = 0;
    for (auto _ : state) {
        const double start = CpuSeconds();
        if (FAILED(method(object, &array))) state.SkipWithError("the method failed");
        seconds += CpuSeconds() - start;
    }
    const double samples = static_cast<double>(n) * static_cast<double>(state.iterations());
    state.counters["ns_per_sample"] = seconds * 1e9 / samples;
    SafeArrayDestroy(array);
    object->Release();
}

void Register() {
    const std::pair<const char*, Method> methods[] = {
        {"LowPassFilter", [](qelv::CSonalter2* o, SAFEARRAY** a) { return o->LowPassFilter(a, 1000, 70.7f); }},
        {"HighPassFilter", [](qelv::CSonalter2* o, SAFEARRAY** a) { return o->HighPassFilter(a, 1000, 70.7f); }},
        {"BandPassFilter", [](qelv::CSonalter2* o, SAFEARRAY** a) { return o->BandPassFilter(a, 2000, 200); }},
        {"NotchFilter", [](qelv::CSonalter2* o, SAFEARRAY** a) { return o->NotchFilter(a, 2000, 100); }},
        {"PeakEQFilter", [](qelv::CSonalter2* o, SAFEARRAY** a) { return o->PeakEQFilter(a, 6, 2000, 100); }},
        {"LowShelfFilter", [](qelv::CSonalter2* o, SAFEARRAY** a) { return o->LowShelfFilter(a, 6, 300, 100); }},
        {"HighShelfFilter", [](qelv::CSonalter2* o, SAFEARRAY** a) { return o->HighShelfFilter(a, -6, 5000, 100); }},
        {"Reverb", [](qelv::CSonalter2* o, SAFEARRAY** a) { return o->Reverb(a, 30, 40, 50, 70, 6000, 8); }},
        {"FIRFilter256", [](qelv::CSonalter2* o, SAFEARRAY** a) {
             SAFEARRAY* f = MakeFloats({0, 3000, -1, 5000, 22050});
             SAFEARRAY* g = MakeFloats({1, 1, 0, 0, 0});
             SAFEARRAY* w = MakeFloats({1, 1, 0, 10, 10});
             const HRESULT hr = o->FIRFilter(a, &f, &g, &w, 256);
             SafeArrayDestroy(f);
             SafeArrayDestroy(g);
             SafeArrayDestroy(w);
             return hr;
         }},
    };
    for (const auto& [name, method] : methods) {
        benchmark::RegisterBenchmark(name, [method](benchmark::State& s) { Run(s, method); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
