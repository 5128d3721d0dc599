// Invert on 10 million samples through the Python binding against the same call
// through the component's vtable, in one process and on the same memory.
//
//   bench_python_invert [--benchmark_...]
//
// (The build tree's Python package comes first on the module path.)
//
// The interpreter is embedded: each Binding iteration calls `s.Invert(a)`, which
// runs the binding's native method and the late-bound Invoke, as a script's
// call does. Both sides use objects of the registered
// module, and the numpy array `a` is a view of the very SAFEARRAY that the
// vtable call gets, so they negate the same pages with the same code; what is
// left between them is the binding. Prints the ratio binding / vtable; by
// default the median of nine repetitions. SmallCall shows what that difference
// is made of.
#include <benchmark/benchmark.h>
#include <pybind11/embed.h>
#include <pybind11/numpy.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "qelvsonalter2/QelvSonalter2.h"

namespace py = pybind11;

namespace {

constexpr std::size_t kSamples = 10'000'000;

struct Shared {
    SAFEARRAY* array = nullptr;
    ISonalter2* object = nullptr;
    py::object invert;  // the bound method s.Invert
    py::object numpyArray;
};
Shared* shared = nullptr;

// One iteration is a pair of calls, one each way, in alternating order (so that
// neither always finds the array as the other left it), each timed on its own:
// a change in the machine's speed, which here can be a third within seconds,
// then falls on both. Reports the mean time of each side and their ratio.
void Pairs(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    Clock::duration vtable{}, binding{};
    bool vtableFirst = true;
    for (auto _ : state) {
        for (int side = 0; side < 2; ++side) {
            const bool vtableSide = (side == 0) == vtableFirst;
            const Clock::time_point start = Clock::now();
            if (vtableSide) {
                if (FAILED(shared->object->Invert(&shared->array))) state.SkipWithError("Invert failed");
            } else {
                shared->invert(shared->numpyArray);
            }
            (vtableSide ? vtable : binding) += Clock::now() - start;
        }
        vtableFirst = !vtableFirst;
    }
    const double calls = static_cast<double>(state.iterations());
    const auto us = [calls](Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count() / calls; };
    state.counters["vtable_us"] = us(vtable);
    state.counters["binding_us"] = us(binding);
    state.counters["ratio"] = vtable.count() > 0 ? static_cast<double>(binding.count()) / vtable.count() : 0.0;
}

BENCHMARK(Pairs)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Where the binding's extra time on a long array goes: one call on a 16-sample
// array, through the binding or the vtable, timed alone, either back to back
// (after_sweep 0) or right after an Invert of the 10-million-sample array
// (after_sweep 1), which pushes the code and data of the call path out of the
// caches. Reports the small call's mean time.
void SmallCall(benchmark::State& state, bool binding) {
    using Clock = std::chrono::steady_clock;
    const bool sweep = state.range(0) != 0;
    py::object small = py::array_t<std::int16_t>(16);
    SAFEARRAY* smallArray = SafeArrayCreateVector(VT_I2, 0, 16);
    Clock::duration spent{};
    for (auto _ : state) {
        if (sweep) shared->object->Invert(&shared->array);
        const Clock::time_point start = Clock::now();
        if (binding) {
            shared->invert(small);
        } else {
            shared->object->Invert(&smallArray);
        }
        spent += Clock::now() - start;
    }
    SafeArrayDestroy(smallArray);
    state.counters["call_us"] = std::chrono::duration<double, std::micro>(spent).count() / state.iterations();
}

BENCHMARK_CAPTURE(SmallCall, binding, true)->ArgName("after_sweep")->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(SmallCall, vtable, false)->ArgName("after_sweep")->Arg(0)->Arg(1);

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "bench_python_invert: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=9";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    if (argc == 1) args.insert(args.end(), {repetitions, aggregates});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());

    py::scoped_interpreter interpreter;
    Shared state;
    shared = &state;
    try {
        py::module_::import("sys").attr("path").attr("insert")(0, QELV_PYTHON_PACKAGE_PARENT);
        // The binding's object first: it registers the module beside it when needed.
        py::object module = py::module_::import("qelvsonalter2");
        py::object s = module.attr("Sonalter2")();
        for (const char* property : {"TBEventEnabled", "SmoothLeftEnabled", "SmoothRightEnabled"}) {
            s.attr(property) = false;
        }
        state.invert = s.attr("Invert");

        HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(hr)) return Fail("CoInitializeEx", hr);
        CLSID clsid{};
        if (FAILED(hr = CLSIDFromProgID(OLESTR("QelvSonalter2.Sonalter2"), &clsid))) return Fail("CLSIDFromProgID", hr);
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ISonalter2,
                              reinterpret_cast<void**>(&state.object));
        if (FAILED(hr)) return Fail("CoCreateInstance", hr);
        state.object->put_TBEventEnabled(VARIANT_FALSE);
        state.object->put_SmoothLeftEnabled(VARIANT_FALSE);
        state.object->put_SmoothRightEnabled(VARIANT_FALSE);

        // Uniform in -20000 .. 20000, as in bench_transform_frame.
        state.array = SafeArrayCreateVector(VT_I2, 0, kSamples);
        if (state.array == nullptr) return Fail("SafeArrayCreateVector", E_OUTOFMEMORY);
        auto* data = static_cast<std::int16_t*>(state.array->pvData);
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> sample(-20000, 20000);
        for (std::size_t i = 0; i < kSamples; ++i) data[i] = static_cast<std::int16_t>(sample(rng));
        // A view, not a copy: its capsule frees nothing, and the SAFEARRAY
        // outlives every view.
        state.numpyArray =
            py::array_t<std::int16_t>({kSamples}, {sizeof(std::int16_t)}, data, py::capsule(data, [](void*) {}));

        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();

        state.numpyArray = py::object();
        state.invert = py::object();
    } catch (const py::error_already_set& error) {
        std::fprintf(stderr, "bench_python_invert: %s\n", error.what());
        return 1;
    }
    state.object->Release();
    SafeArrayDestroy(state.array);
    CoUninitialize();
    return 0;
}
