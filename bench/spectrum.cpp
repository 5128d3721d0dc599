// Speed of the spectrum family: the Hartley transform at 4096 and 16384 points
// (ns per point), FFTPower, and FFTFilter / Equalizer in ns per sample.
//
//   bench_spectrum [--benchmark_filter=...] [--samples=N]
//
// FFTFilter and Equalizer run through the object's vtable with events off on
// a stereo 44.1 kHz array of --samples samples (default 5,292,000: one minute;
// the full 10 minutes are 52,920,000 samples).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "transform/Sonalter2.h"
#include "transform/filters/FastHartleyTransform.h"
#include "transform/filters/FastHartleyTransformWide.h"

namespace {

std::size_t gSamples = 5'292'000;

std::vector<short> Noise(std::size_t n) {
    std::vector<short> v(n);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> sample(-20000, 20000);
    for (short& s : v) s = static_cast<short>(sample(rng));
    return v;
}

SAFEARRAY* Shorts(const std::vector<short>& v) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(v.size()));
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    std::memcpy(data, v.data(), v.size() * sizeof(short));
    SafeArrayUnaccessData(array);
    return array;
}

SAFEARRAY* Floats(const std::vector<float>& v) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(v.size()));
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    std::memcpy(data, v.data(), v.size() * sizeof(float));
    SafeArrayUnaccessData(array);
    return array;
}

void Hartley(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const std::vector<short> input = Noise(n);
    std::vector<float> block(n);
    for (auto _ : state) {
        for (std::size_t i = 0; i < n; ++i) block[i] = input[i];
        qelv::dsp::FastHartleyTransform(block.data(), n);
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["per_point"] =
        benchmark::Counter(static_cast<double>(n) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(Hartley)->Arg(4096)->Arg(16384)->Unit(benchmark::kMicrosecond);

// The same with the eight-lane groups switched off (the four-lane AVX2 form), for
// comparing the two in one run on a processor with AVX-512.
void HartleyFourLanes(benchmark::State& state) {
    qelv::dsp::wide::AllowEightLanes(false);
    Hartley(state);
    qelv::dsp::wide::AllowEightLanes(true);
}
BENCHMARK(HartleyFourLanes)->Arg(4096)->Unit(benchmark::kMicrosecond);

// A low-pass curve: full gain up to a quarter of the bins, then a cosine taper.
std::vector<float> LowPassCurve(std::size_t L) {
    std::vector<float> c(L, 0.0f);
    for (std::size_t k = 0; k < L; ++k) c[k] = k < L / 4 ? 1.0f : (k < L / 2 ? 0.5f : 0.0f);
    return c;
}

template <class Call>
void PerSample(benchmark::State& state, Call call) {
    qelv::CSonalter2* object = qelv::CSonalter2::Create();
    object->put_TBEventEnabled(VARIANT_FALSE);
    const std::vector<short> input = Noise(gSamples);
    for (auto _ : state) {
        state.PauseTiming();
        SAFEARRAY* array = Shorts(input);
        state.ResumeTiming();
        call(object, &array);
        state.PauseTiming();
        SafeArrayDestroy(array);
        state.ResumeTiming();
    }
    state.counters["per_sample"] = benchmark::Counter(static_cast<double>(gSamples) * static_cast<double>(state.iterations()),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    object->Release();
}

void FFTFilter(benchmark::State& state) {
    SAFEARRAY* curve = Floats(LowPassCurve(static_cast<std::size_t>(state.range(0))));
    PerSample(state, [&](qelv::CSonalter2* o, SAFEARRAY** a) { o->FFTFilter(a, &curve); });
    SafeArrayDestroy(curve);
}
BENCHMARK(FFTFilter)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond)->Iterations(2);

void FFTFilterFourLanes(benchmark::State& state) {
    qelv::dsp::wide::AllowEightLanes(false);
    FFTFilter(state);
    qelv::dsp::wide::AllowEightLanes(true);
}
BENCHMARK(FFTFilterFourLanes)->Arg(512)->Unit(benchmark::kMillisecond)->Iterations(2);

void Equalizer(benchmark::State& state) {
    SAFEARRAY* db = Floats({6, -3, 0, 4, -12});
    SAFEARRAY* hz = Floats({100, 400, 1000, 4000, 12000});
    PerSample(state, [&](qelv::CSonalter2* o, SAFEARRAY** a) { o->Equalizer(a, &db, &hz); });
    SafeArrayDestroy(db);
    SafeArrayDestroy(hz);
}
BENCHMARK(Equalizer)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--samples=", 10) == 0) gSamples = std::strtoull(argv[i] + 10, nullptr, 10);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
