// Speed of the transform frame on 10 million samples, as a ratio to a baseline
// in-place pass (negation without clamping) measured in the same run.
//
//   bench_transform_frame [--benchmark_repetitions=N ...]
//
// Each method runs through the object's vtable with events off, events on (a
// sink that does nothing) and edge smoothing on; the ratio is baseline time /
// method time, so 1.0 means as fast as the bare pass.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "transform/Sonalter2.h"

namespace {

constexpr std::size_t kSamples = 10'000'000;

SAFEARRAY* MakeArray() {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, kSamples);
    short* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> sample(-20000, 20000);
    for (std::size_t i = 0; i < kSamples; ++i) data[i] = static_cast<short>(sample(rng));
    SafeArrayUnaccessData(array);
    return array;
}

// A sink that accepts every event and does nothing.
class NullSink final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return S_OK;
    }
};

enum Mode { kEventsOff, kEventsOn, kSmoothing };

struct Fixture {
    qelv::CSonalter2* object = qelv::CSonalter2::Create();
    SAFEARRAY* array = MakeArray();
    SAFEARRAY* second = MakeArray();
    NullSink sink;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;

    explicit Fixture(Mode mode) {
        object->put_TBEventEnabled(mode == kEventsOn ? VARIANT_TRUE : VARIANT_FALSE);
        const VARIANT_BOOL smooth = mode == kSmoothing ? VARIANT_TRUE : VARIANT_FALSE;
        object->put_SmoothLeftEnabled(smooth);
        object->put_SmoothRightEnabled(smooth);
        object->FindConnectionPoint(DIID__ISonalter2Events, &point);
        point->Advise(&sink, &cookie);
    }
    ~Fixture() {
        point->Unadvise(cookie);
        point->Release();
        object->Release();
        SafeArrayDestroy(array);
        SafeArrayDestroy(second);
    }
};

void Baseline(benchmark::State& state) {
    SAFEARRAY* array = MakeArray();
    short* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    for (auto _ : state) {
        for (std::size_t i = 0; i < kSamples; ++i) data[i] = static_cast<short>(-data[i]);
        benchmark::DoNotOptimize(data);
        benchmark::ClobberMemory();
    }
    SafeArrayUnaccessData(array);
    SafeArrayDestroy(array);
}

template <class Call>
void RunMethod(benchmark::State& state, Call call) {
    Fixture f(static_cast<Mode>(state.range(0)));
    for (auto _ : state) {
        if (FAILED(call(f))) state.SkipWithError("method failed");
        benchmark::ClobberMemory();
    }
}

void Amplify(benchmark::State& s) { RunMethod(s, [](Fixture& f) { return f.object->Amplify(&f.array, 80); }); }
void Invert(benchmark::State& s) { RunMethod(s, [](Fixture& f) { return f.object->Invert(&f.array); }); }
void Fade(benchmark::State& s) { RunMethod(s, [](Fixture& f) { return f.object->Fade(&f.array, 90, 110); }); }
void Normalize(benchmark::State& s) {
    RunMethod(s, [](Fixture& f) { return f.object->Normalize(&f.array, 95, VARIANT_TRUE); });
}
void MixArrays(benchmark::State& s) {
    RunMethod(s, [](Fixture& f) {
        SAFEARRAY* out = nullptr;
        const HRESULT hr = f.object->MixArrays(&f.array, 60, &f.second, 40, &out);
        SafeArrayDestroy(out);
        return hr;
    });
}

void Modes(benchmark::internal::Benchmark* b) {
    b->ArgName("mode")->Arg(kEventsOff)->Arg(kEventsOn)->Arg(kSmoothing)->Unit(benchmark::kMillisecond);
}

BENCHMARK(Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(Amplify)->Apply(Modes);
BENCHMARK(Invert)->Apply(Modes);
BENCHMARK(Fade)->Apply(Modes);
BENCHMARK(Normalize)->Apply(Modes);
BENCHMARK(MixArrays)->Apply(Modes);

// Prints every result and, at the end, its ratio to the baseline.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        double baseline = 0;
        for (const auto& [name, time] : times_) {
            if (name.rfind("Baseline", 0) == 0) baseline = time;
        }
        if (baseline <= 0) return;
        std::printf("\nRatio to the baseline pass (baseline time / method time; 1.0 = as fast):\n");
        const char* modes[] = {"events off", "events on", "smoothing on"};
        for (const auto& [name, time] : times_) {
            const std::size_t at = name.find("mode:");
            if (at == std::string::npos) continue;
            const int mode = name[at + 5] - '0';
            std::printf("  %-12s %-13s %5.2f\n", name.substr(0, name.find('/')).c_str(), modes[mode],
                        baseline / time);
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
