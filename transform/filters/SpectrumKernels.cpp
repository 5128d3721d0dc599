#include "transform/filters/SpectrumKernels.h"

#include <cmath>

#include "transform/filters/FastHartleyTransform.h"

namespace qelv::dsp {
namespace {

// The partner of bin k in the Hartley pair: N - k, and N/2 for bin 0.
inline std::size_t Partner(std::size_t k, std::size_t N) { return k == 0 ? N / 2 : N - k; }

}  // namespace

std::size_t AnalysisBlockSize(std::size_t n) {
    if (n < 4) return 0;
    std::size_t size = 16;
    while (size < 65536 && size <= n) size *= 4;
    return size / 4;
}

void ScaledHartleyOfBlock(const std::int16_t* samples, float* block, std::size_t N) {
    for (std::size_t t = 0; t < N; ++t) block[t] = static_cast<float>(samples[t]);
    FastHartleyTransform(block, N);
    std::size_t root = 1;
    while (root * root < N) root *= 2;  // N = 4^m: the exact square root
    const float r = static_cast<float>(root);
    for (std::size_t t = 0; t < N; ++t) block[t] = block[t] / r;
}

void PowerFromHartley(const float* H, std::size_t N, float* out) {
    for (std::size_t k = 0; k < N / 2; ++k) {
        const double a = H[k], b = H[Partner(k, N)];
        const double magnitude = std::sqrt(a * a + b * b);
        out[k] = static_cast<float>(20.0 * std::log10(magnitude / 32767.0));
    }
}

void PhaseFromHartley(const float* H, std::size_t N, float* out) {
    for (std::size_t k = 0; k < N / 2; ++k) {
        out[k] = static_cast<float>(std::atan2(static_cast<double>(H[k]), static_cast<double>(H[Partner(k, N)])));
    }
}

}  // namespace qelv::dsp
