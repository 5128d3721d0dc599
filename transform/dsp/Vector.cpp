#include "transform/dsp/Vector.h"

#include <atomic>

namespace qelv::dsp::vec {
namespace {

std::atomic<bool> g_allowWide{true};

bool ProcessorHasWide() {
#if defined(__x86_64__) || defined(_M_X64)
    static const bool wide = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return wide;
#else
    return false;
#endif
}

}  // namespace

bool HasWide() { return g_allowWide.load(std::memory_order_relaxed) && ProcessorHasWide(); }

void AllowWide(bool allow) { g_allowWide.store(allow, std::memory_order_relaxed); }

}  // namespace qelv::dsp::vec
