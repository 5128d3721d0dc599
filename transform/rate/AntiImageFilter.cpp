#include "transform/rate/AntiImageFilter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Vector.h"
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

namespace {

// Outputs are computed a block at a time from a window of doubles holding the
// block's inputs after the 49 inputs before it (zeros before the first).
constexpr std::size_t kBlock = 2048;

typedef double F64x4 __attribute__((vector_size(32)));
typedef float F32x4 __attribute__((vector_size(16)));

// Lanes of outputs from window x (x[kLead + t] is the input of output t): each
// lane keeps its own sum in the order k = 0 .. 49, so every output is the same
// double sum as one at a time. Returns the number of outputs done (a multiple of
// the lane count). The wide form runs sixteen outputs in four AVX vectors;
// -ffp-contract=off keeps every product and sum separately rounded.
template <std::size_t kLanes>
std::size_t FilterLanes(const double* x, std::size_t len, const double* taps, std::int16_t* out) {
    std::size_t t = 0;
    for (; t + kLanes <= len; t += kLanes) {
        double acc[kLanes] = {};
        const double* base = x + kLead + t;
        for (int k = 0; k < kAntiImageTaps; ++k) {
            const double h = taps[k];
            const double* p = base - k;
            for (std::size_t l = 0; l < kLanes; ++l) acc[l] += p[l] * h;
        }
        for (std::size_t l = 0; l < kLanes; ++l) out[t + l] = FilterOutput(acc[l]);
    }
    return t;
}

#if defined(__x86_64__) || defined(_M_X64)
__attribute__((target("avx2"))) std::size_t FilterLanesWide(const double* x, std::size_t len, const double* taps,
                                                             std::int16_t* out) {
    constexpr std::size_t kLanes = 16;
    std::size_t t = 0;
    for (; t + kLanes <= len; t += kLanes) {
        F64x4 a0 = {}, a1 = {}, a2 = {}, a3 = {};
        const double* base = x + kLead + t;
        for (int k = 0; k < kAntiImageTaps; ++k) {
            const double hk = taps[k];
            const F64x4 h = {hk, hk, hk, hk};
            const double* p = base - k;
            F64x4 v0, v1, v2, v3;
            std::memcpy(&v0, p, sizeof v0);
            std::memcpy(&v1, p + 4, sizeof v1);
            std::memcpy(&v2, p + 8, sizeof v2);
            std::memcpy(&v3, p + 12, sizeof v3);
            a0 += v0 * h;
            a1 += v1 * h;
            a2 += v2 * h;
            a3 += v3 * h;
        }
        double acc[kLanes];
        std::memcpy(acc, &a0, sizeof a0);
        std::memcpy(acc + 4, &a1, sizeof a1);
        std::memcpy(acc + 8, &a2, sizeof a2);
        std::memcpy(acc + 12, &a3, sizeof a3);
        for (std::size_t l = 0; l < kLanes; ++l) out[t + l] = FilterOutput(acc[l]);
    }
    return t;
}
#endif

}  // namespace

void AntiImageFilter(std::int16_t* out, std::size_t m, const double taps[kAntiImageTaps]) {
    double x[kLead + kBlock];
    std::fill(x, x + kLead, 0.0);  // the missing x[i-k] of the first outputs
#if defined(__x86_64__) || defined(_M_X64)
    const bool wide = vec::HasWide();
#endif
    for (std::size_t b = 0; b < m; b += kBlock) {
        const std::size_t len = std::min(kBlock, m - b);
        for (std::size_t t = 0; t < len; ++t) x[kLead + t] = out[b + t];
        std::int16_t* o = out + b;
        std::size_t t = 0;
#if defined(__x86_64__) || defined(_M_X64)
        if (wide) t = FilterLanesWide(x, len, taps, o);
#endif
        t += FilterLanes<8>(x + t, len - t, taps, o + t);
        for (; t < len; ++t) {
            double acc = 0.0;
            for (int k = 0; k < kAntiImageTaps; ++k) acc += x[kLead + t - k] * taps[k];
            o[t] = FilterOutput(acc);
        }
        // The block's last 49 inputs precede the next block's.
        std::memmove(x, x + len, kLead * sizeof(double));
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
