#include "transform/dsp/SilenceKernels.h"

#include <cmath>

#include "server/Platform.h"

namespace qelv::dsp {

std::int32_t QuietThreshold(float decibels) {
    const double exponent = static_cast<double>(static_cast<long double>(decibels) / 20.0L);
    const double amplitude = std::pow(10.0, exponent) * 32767.0;
    if (amplitude >= 32767.0) return 32767;
    if (!(amplitude > 0.0)) return 0;
    return static_cast<std::int32_t>(amplitude);
}

std::size_t FadeLength(std::int32_t frequency, float milliseconds) {
    const long double samples = static_cast<long double>(frequency) * milliseconds / 1000.0L;
    if (samples >= 0x1p62L) return std::size_t{1} << 62;
    if (samples < 1.0L) return 1;
    return static_cast<std::size_t>(samples);
}

void FadeInHead(std::int16_t* a, std::size_t fade) {
    for (std::size_t k = 0; k < fade; ++k) {
        a[k] = static_cast<std::int16_t>(MulDiv(a[k], static_cast<int>(k), static_cast<int>(fade)));
    }
}

void FadeOutTail(std::int16_t* a, std::size_t m, std::size_t fade) {
    for (std::size_t k = 0; k < fade; ++k) {
        std::int16_t& x = a[m - 1 - k];
        x = static_cast<std::int16_t>(MulDiv(x, static_cast<int>(k), static_cast<int>(fade)));
    }
}

std::size_t CompactByMask(std::int16_t* mask, const std::int16_t* input, std::size_t n) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (mask[i] != 0) mask[kept++] = input[i];
    }
    return kept;
}

}  // namespace qelv::dsp
