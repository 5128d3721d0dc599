#include "transform/effects/SweptDelay.h"

#include <cmath>
#include <cstdint>
#include <numbers>

#include "transform/effects/SampleStore.h"
#include "transform/effects/SweepOffsets.h"

namespace qelv::dsp {
namespace {

template <bool Write>
void SweptRange(SweptDelay& line, const std::int16_t* in, std::int16_t* out, std::size_t begin, std::size_t end) {
    const std::size_t D = line.length;
    const std::size_t ringLength = D - 1;
    float* const buf = line.ring;
    const SweepArguments sweep{2.0 * std::numbers::pi * static_cast<double>(line.sweep.rate),
                               static_cast<double>(line.sweep.phase), static_cast<double>(line.sweep.depth) * 0.5};
    const float dry = line.mix.dry;
    const float wet = line.mix.wet;
    const float feedback = line.mix.feedback;
    std::size_t w = line.write;
    float offsets[kSweepBlock];
    std::size_t steps[kSweepBlock];
    for (std::size_t blockStart = begin; blockStart < end; blockStart += kSweepBlock) {
        const std::size_t count = end - blockStart < kSweepBlock ? end - blockStart : kSweepBlock;
        // df = float(d) and k = ceil(d), 0 <= d <= about D (finite sweep, depth >= 0).
        SweepOffsets(sweep, blockStart, count, offsets, steps);
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t i = blockStart + j;
            const float df = offsets[j];
            const std::size_t k = steps[j];
            std::size_t r;
            if (k <= w) {
                r = w - k;
            } else if (k - w <= ringLength) {
                r = ringLength - (k - w);
            } else {
                // Adding D - 1 until r >= 0 leaves the remainder of the deficit
                // (k can pass w + D - 1 only by the rounding of depth to a float).
                const std::size_t deficit = (k - w) % ringLength;
                r = deficit == 0 ? 0 : ringLength - deficit;
            }
            const float frac = df - std::trunc(df);
            const long double lower = buf[r];
            const long double upper = buf[r + 1];
            const long double v = lower + (upper - lower) * (1.0L - frac);
            const long double x = in[i];
            const float y = static_cast<float>(x * dry + wet * v);
            buf[w] = static_cast<float>(x + feedback * v);
            if (w == 1) buf[D] = buf[1];
            if constexpr (Write) out[i] = StoreSample(y);
            if (++w == D) {
                buf[0] = buf[D - 1];
                w = 1;
            }
        }
    }
    line.write = w;
}

}  // namespace

Sweep MakeSweep(float sweepRate, float sweepDepth, float sweepPhase, std::size_t delay, long frequency) {
    Sweep sweep;
    sweep.rate = (sweepRate * 2.9f / 100.0f + 0.1f) / static_cast<float>(frequency);
    sweep.depth = static_cast<float>(delay) * sweepDepth / 100.0f;
    sweep.phase = sweepPhase * 2.0f * std::numbers::pi_v<float> / 360.0f;
    return sweep;
}

bool SweepIsFinite(const Sweep& sweep) { return std::isfinite(sweep.rate) && std::isfinite(sweep.phase); }

void FeedSwept(SweptDelay& line, const std::int16_t* samples, std::size_t begin, std::size_t end) {
    SweptRange<false>(line, samples, nullptr, begin, end);
}

void RunSwept(SweptDelay& line, std::int16_t* samples, std::size_t begin, std::size_t end) {
    SweptRange<true>(line, samples, samples, begin, end);
}

}  // namespace qelv::dsp
