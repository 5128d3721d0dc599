// Speed of the FIR designer, with scipy.signal.remez as the baseline.
//
// Benchmarks the two-band low-pass (pass 0 .. 0.2, stop 0.3 .. 0.5, in units
// of the sampling rate) at 50, 128 and 256 taps, and at 256 taps with a stop
// edge of 0.22, a band layout on which both exchanges converge at that
// length. Before the benchmarks run, bench/scipy_remez.py times scipy on the
// 256-tap designs in the same process tree; each 256-tap benchmark then
// reports `scipy_ratio` = our time per design / scipy's. The baseline is
// skipped when no python3 with scipy is found (or with --no-scipy).
//
// Run: bench_fir_design [--no-scipy] [google benchmark flags]
// Environment: QELV_PYTHON picks the interpreter.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "transform/filters/FirDesigner.h"

namespace {

struct Baseline {
    double seconds = 0.0;
    std::string line;
};

// scipy's time per design, keyed by stop edge in thousandths, for 256 taps.
std::map<int, Baseline> g_scipy;

void DesignLowPass(benchmark::State& state) {
    const auto taps = static_cast<int32_t>(state.range(0));
    const float stop = static_cast<float>(state.range(1)) / 1000.0f;
    const float f[] = {0.0f, 0.2f, -1.0f, stop, 0.5f};
    const float g[] = {1.0f, 1.0f, 0.0f, 0.0f, 0.0f};
    const float w[] = {1.0f, 1.0f, 0.0f, 1.0f, 1.0f};
    std::vector<double> h(static_cast<std::size_t>(taps));
    qelv::dsp::CFirDesigner designer;
    designer.Length = taps;
    designer.Coefficients = h.data();

    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        designer.Design(f, g, w, 5, 1.0);
        benchmark::DoNotOptimize(h.data());
        benchmark::ClobberMemory();
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    state.counters["status"] = designer.Status;
    state.counters["deviation"] = designer.Deviation;
    const auto it = g_scipy.find(static_cast<int>(state.range(1)));
    if (taps == 256 && it != g_scipy.end() && it->second.seconds > 0.0 && state.iterations() > 0) {
        state.counters["scipy_ratio"] = elapsed / static_cast<double>(state.iterations()) / it->second.seconds;
    }
}

BENCHMARK(DesignLowPass)
    ->ArgNames({"taps", "stop_milli"})
    ->Args({50, 300})
    ->Args({128, 300})
    ->Args({256, 300})
    ->Args({256, 220})
    ->Unit(benchmark::kMicrosecond);

// Runs the baseline script and records its time, or returns false.
bool TimeScipy(const std::string& python, const std::string& script, int stopMilli) {
    const std::string cmd = python + " \"" + script + "\" --taps 256 --stop-edge " +
                            std::to_string(stopMilli / 1000.0) + " 2>/dev/null";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) return false;
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    if (pclose(pipe) != 0 || !read) return false;
    const char* seconds = std::strstr(line, "seconds=");
    if (seconds == nullptr) return false;
    Baseline b;
    b.seconds = std::atof(seconds + 8);
    b.line = line;
    if (!b.line.empty() && b.line.back() == '\n') b.line.pop_back();
    g_scipy[stopMilli] = b;
    return b.seconds > 0.0;
}

void RunBaseline() {
    const std::string script = (std::filesystem::path(__FILE__).parent_path() / "scipy_remez.py").string();
    if (!std::filesystem::exists(script)) {
        std::printf("scipy baseline skipped: %s not found\n", script.c_str());
        return;
    }
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("QELV_PYTHON")) candidates.emplace_back(env);
    // The first python3 on the PATH may lack scipy while the system one has it.
    candidates.emplace_back("python3");
    candidates.emplace_back("/usr/bin/python3");
    for (const auto& python : candidates) {
        if (!TimeScipy(python, script, 300)) continue;
        TimeScipy(python, script, 220);
        for (const auto& [stop, b] : g_scipy) std::printf("baseline (%s): %s\n", python.c_str(), b.line.c_str());
        return;
    }
    std::printf("scipy baseline skipped: no python3 with scipy\n");
}

}  // namespace

int main(int argc, char** argv) {
    bool scipy = true;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-scipy") == 0) {
            scipy = false;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    if (scipy) RunBaseline();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
