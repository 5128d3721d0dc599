#include "transform/rate/AntiImageFilter.h"

#include <algorithm>
#include <vector>

#include "transform/dsp/SampleConversion.h"
#include "transform/filters/FirDesigner.h"

namespace qelv::dsp {
namespace {

constexpr std::size_t kLead = kAntiImageTaps - 1;

std::int16_t FilterOutput(double acc) {
    if (acc > kSampleLimit) acc = kSampleLimit;
    if (acc < -kSampleLimit) acc = -kSampleLimit;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(static_cast<float>(acc)));
}

}  // namespace

AntiImageBands MakeAntiImageBands(float r, long sampleRate) {
    AntiImageBands b;
    const double fs = static_cast<double>(sampleRate);
    b.half = static_cast<float>(fs / 2.0);
    b.newRate = static_cast<float>(fs / static_cast<double>(r));
    b.stop = static_cast<float>(static_cast<double>(b.half) * 1.1);
    b.top = static_cast<float>(static_cast<double>(b.newRate) / 2.0 - 1.0);
    if (b.top < b.stop) {
        b.stop = static_cast<float>((static_cast<double>(b.newRate) / 2.0 - b.half) * 0.3 + b.half);
    }
    b.l = TruncateLow16(static_cast<long double>(1.0 / static_cast<double>(r) + 0.5));
    b.weight = 5.0f * std::max(static_cast<float>(b.l) / 2.0f, 1.0f);
    return b;
}

bool DesignAntiImage(float r, long sampleRate, double taps[kAntiImageTaps]) {
    const AntiImageBands b = MakeAntiImageBands(r, sampleRate);
    if (!(b.half < b.stop && b.stop < b.top)) return false;
    const float frequencies[5] = {0.0f, b.half, -1.0f, b.stop, b.top};
    const float gains[5] = {1.0f, 1.0f, -1.0f, 0.0f, 0.0f};
    const float weights[5] = {1.0f, 1.0f, -1.0f, b.weight, b.weight};
    CFirDesigner designer;
    designer.Length = kAntiImageTaps;
    designer.Coefficients = taps;
    designer.Design(frequencies, gains, weights, 5, static_cast<double>(b.newRate));
    return designer.Status >= 0;
}

void AntiImageFilter(std::int16_t* out, std::size_t m, const double taps[kAntiImageTaps], float* work) {
    for (std::size_t i = 0; i < m; ++i) work[kLead + i] = out[i];
    // Eight outputs at a time, each lane summing its own products in the order
    // k = 0 .. 49, so every output is the same double sum as one at a time. The
    // leading zeros of work stand for the missing inputs of the first outputs:
    // a sum that starts at +0 is left exactly as it was by adding +0 or -0.
    constexpr std::size_t kLanes = 8;
    std::size_t i = 0;
    for (; i + kLanes <= m; i += kLanes) {
        double acc[kLanes] = {};
        const float* x = work + kLead + i;
        for (int k = 0; k < kAntiImageTaps; ++k) {
            const double h = taps[k];
            for (std::size_t l = 0; l < kLanes; ++l) {
                acc[l] += static_cast<double>(x[static_cast<std::ptrdiff_t>(l) - k]) * h;
            }
        }
        for (std::size_t l = 0; l < kLanes; ++l) out[i + l] = FilterOutput(acc[l]);
    }
    for (; i < m; ++i) {
        double acc = 0.0;
        const float* x = work + kLead + i;
        for (int k = 0; k < kAntiImageTaps; ++k) acc += static_cast<double>(x[-k]) * taps[k];
        out[i] = FilterOutput(acc);
    }
}

void AntiImageFilterReference(std::int16_t* out, std::size_t m, const double taps[kAntiImageTaps]) {
    const std::vector<float> x(out, out + m);
    for (std::size_t i = 0; i < m; ++i) {
        double acc = 0.0;
        const std::size_t last = std::min<std::size_t>(kAntiImageTaps - 1, i);
        for (std::size_t k = 0; k <= last; ++k) acc += static_cast<double>(x[i - k]) * taps[k];
        out[i] = FilterOutput(acc);
    }
}

}  // namespace qelv::dsp
