#include "transform/effects/Modulation.h"

#include <algorithm>
#include <numbers>

#include "transform/dsp/LevelKernels.h"
#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Sine.h"
#include "transform/dsp/Vector.h"
#include "transform/effects/VibratoWide.h"

namespace qelv::dsp {

VibratoSweep MakeVibratoSweep(float depthPercent, float hertz, float degrees, std::int32_t frequency) {
    const float rate = hertz / static_cast<float>(frequency);
    VibratoSweep sweep;
    sweep.step = 2.0 * std::numbers::pi * static_cast<double>(rate);
    sweep.phase = static_cast<float>(static_cast<double>(degrees) * 2.0 * std::numbers::pi / 360.0);
    sweep.depth = depthPercent / 100.0f;
    return sweep;
}

void VibratoRange(std::int16_t* a, std::size_t begin, std::size_t end, const VibratoSweep& sweep) {
    const double phase = sweep.phase;
    const double depth = sweep.depth;
    // With no depth every gain is exactly 1 (the sine is finite): nothing changes.
    if (depth == 0.0) return;
    std::size_t i = begin;
#if QELV_HAVE_WIDE_VIBRATO
    if (vec::HasWide()) {
        if (wide::HasVibratoEightLanes()) i = wide::VibratoEights(a, begin, end, sweep.step, phase, depth);
        i = wide::VibratoFours(a, i, end, sweep.step, phase, depth);
    }
#endif
    for (; i < end; ++i) {
        const double s = Sine(sweep.step * static_cast<double>(i) + phase);
        a[i] = ClampTruncate((s * depth + 1.0) * static_cast<double>(a[i]));
    }
}

// For i < n the product i * m (both below 2^32) fits in 64 bits, and for
// non-negative operands the platform's MulDiv is (i * m + n div 2) div n.
std::size_t EnvelopeIndex(std::size_t i, std::size_t m, std::size_t n) {
    const std::uint64_t k = (static_cast<std::uint64_t>(i) * m + n / 2) / n;
    return k < m ? static_cast<std::size_t>(k) : m - 1;
}

// Smallest i with i * m + n div 2 >= (k + 1) * n, i.e. the ceiling of
// ((k + 1) * n - n div 2) / m.
std::size_t EnvelopeRunEnd(std::size_t k, std::size_t m, std::size_t n) {
    const std::uint64_t target = static_cast<std::uint64_t>(k + 1) * n - n / 2;
    return static_cast<std::size_t>((target + m - 1) / m);
}

void EnvelopeRange(std::int16_t* a, std::size_t n, const float* env, std::size_t m, std::size_t begin,
                   std::size_t end) {
    std::size_t i = begin;
    while (i < end) {
        const std::size_t k = EnvelopeIndex(i, m, n);
        const std::size_t runEnd = k + 1 < m ? std::min(EnvelopeRunEnd(k, m, n), end) : end;
        AmplifyRange(a, i, runEnd, env[k]);
        i = runEnd;
    }
}

}  // namespace qelv::dsp
