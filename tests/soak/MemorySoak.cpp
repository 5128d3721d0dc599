// Calls every working method of the transform object through IDispatch::Invoke
// many times, on a fresh object every so many calls, and reports the resident
// set size as it goes. Memory that a call, a refusal or an object's lifetime
// fails to give back shows as a size that keeps growing.
//   memory_soak [CALLS_PER_METHOD [CALLS_PER_OBJECT [SAMPLES [MAX_GROWTH_KIB]]]]
// Defaults: 100000 calls of each method, a fresh object every 1000 calls, 1024
// samples per array, and failure (exit 1) when the size grows by more than
// 2048 KiB between the end of the first method's run and the end.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "transform/hardening/DispatchCalls.h"

using namespace qelv::hardening;

namespace {

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

IDispatch* Fresh() { return static_cast<IDispatch*>(static_cast<ISonalter2*>(qelv::CSonalter2::Create())); }

}  // namespace

int main(int argc, char** argv) {
    const long calls = argc > 1 ? std::atol(argv[1]) : 100000;
    const long perObject = argc > 2 ? std::atol(argv[2]) : 1000;
    const ULONG samples = argc > 3 ? static_cast<ULONG>(std::atol(argv[3])) : 1024;
    const long maxGrowth = argc > 4 ? std::atol(argv[4]) : 2048;
    if (calls <= 0 || perObject <= 0 || samples < 2) {
        std::fprintf(stderr, "usage: memory_soak [CALLS_PER_METHOD [CALLS_PER_OBJECT [SAMPLES [MAX_GROWTH_KIB]]]]\n");
        return 2;
    }

    IDispatch* object = Fresh();
    std::vector<Method> methods;
    std::vector<float> bases;
    for (const Method& m : Members(object)) {
        if (m.flags != DISPATCH_METHOD) continue;
        // The ordinary float value the method accepts, as the numeric input test picks it.
        const std::vector<Probe> probes = ProbeBases(object, m, samples);
        const Outcome& probe = probes.back().outcome;
        if (probe.hr == DISP_E_EXCEPTION && probe.scode == E_NOTIMPL) continue;
        methods.push_back(m);
        bases.push_back(probes.back().base);
    }
    object->Release();

    std::printf("%zu working methods, %ld calls each, a fresh object every %ld calls, %lu samples\n",
                methods.size(), calls, perObject, static_cast<unsigned long>(samples));
    const long start = ResidentKiB();
    long afterFirst = start;
    long peak = start;
    for (size_t k = 0; k < methods.size(); ++k) {
        const auto t0 = std::chrono::steady_clock::now();
        long ok = 0;
        object = nullptr;
        for (long i = 0; i < calls; ++i) {
            if (i % perObject == 0) {
                if (object != nullptr) object->Release();
                object = Fresh();
            }
            if (Call(object, methods[k], bases[k], -1, 0.0, false, samples).hr == S_OK) ++ok;
        }
        object->Release();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const long rss = ResidentKiB();
        if (k == 0) afterFirst = rss;
        if (rss > peak) peak = rss;
        std::printf("  %-24s %7ld ok  %6.2f us/call  resident %ld KiB\n",
                    std::string(methods[k].name.begin(), methods[k].name.end()).c_str(), ok,
                    1e6 * seconds / static_cast<double>(calls), rss);
    }
    const long end = ResidentKiB();
    std::printf("resident: %ld KiB at start, %ld KiB after the first method, %ld KiB at the end (peak %ld): "
                "growth %ld KiB\n",
                start, afterFirst, end, peak, end - afterFirst);
    return end - afterFirst > maxGrowth ? 1 : 0;
}
