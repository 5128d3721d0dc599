#include "transform/dsp/NoiseGenerator.h"

#include <atomic>
#include <cmath>

namespace qelv::dsp {
namespace {

NoiseState g_state = kInitialNoiseState;
// A spin lock: held only for a batch of draws, never while host code runs, and
// free of any thread library (the DLL links nothing but system DLLs).
std::atomic_flag g_busy = ATOMIC_FLAG_INIT;

float UnitValue(NoiseState& state) {
    NextNoiseValue(state);
    NextNoiseValue(state);
    NextNoiseValue(state);
    const std::int32_t r = NextNoiseValue(state);
    // (r + 32768) / 65535 is never halfway between two floats (65535 is odd and
    // divides only 0 and itself), so rounding through double is exact rounding.
    return static_cast<float>(static_cast<double>(r + 32768) / 65535.0);
}

}  // namespace

std::int32_t NextNoiseValue(NoiseState& state) {
    const std::int32_t sum = (state.table[state.written] + state.table[state.partner]) & 0xFFFF;
    const std::int32_t v = sum > 32767 ? sum - 65536 : sum;
    state.table[state.written] = v;
    state.written = state.written == 0 ? 4 : state.written - 1;
    state.partner = state.partner == 0 ? 4 : state.partner - 1;
    return v;
}

void GaussianNoisePair(NoiseState& state, float* first, float* second) {
    float z1 = 0.0f;
    float z2 = 0.0f;
    float s = 0.0f;
    do {
        const float u1 = UnitValue(state);
        const float u2 = UnitValue(state);
        z1 = 2.0f * u1 - 1.0f;
        z2 = 2.0f * u2 - 1.0f;
        // Both squares are exact in extended precision; the sum is rounded to a float.
        s = static_cast<float>(static_cast<long double>(z1) * z1 + static_cast<long double>(z2) * z2);
    } while (!(s <= 1.0f));
    // s > 0: z1 = z2 = 0 would need u = 1/2, which (r + 32768) / 65535 never rounds to.
    const float f = static_cast<float>(std::sqrt(std::log(static_cast<double>(s)) * -2.0 / static_cast<double>(s)));
    *first = z1 * f;
    *second = z2 * f;
}

SharedNoise::SharedNoise() : state_(&g_state) {
    while (g_busy.test_and_set(std::memory_order_acquire)) {
        while (g_busy.test(std::memory_order_relaxed)) {
        }
    }
}

SharedNoise::~SharedNoise() { g_busy.clear(std::memory_order_release); }

}  // namespace qelv::dsp
