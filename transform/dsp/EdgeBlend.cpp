#include "transform/dsp/EdgeBlend.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "transform/dsp/SampleConversion.h"

namespace qelv::dsp {
namespace {

std::int16_t BlendOne(std::int16_t processed, std::int16_t saved, std::size_t j, std::size_t m) {
    const double angle = static_cast<double>(j) * std::numbers::pi / static_cast<double>(m + m);
    const float w = static_cast<float>(std::sin(angle));
    const long double y = static_cast<long double>(processed) * w + (1.0L - w) * saved;
    return ClampTruncate(static_cast<float>(y), static_cast<float>(kEdgeLimit));
}

}  // namespace

std::size_t EdgeLength(std::int32_t edge, std::size_t n) {
    if (edge <= 0) return 0;
    return std::min(static_cast<std::size_t>(edge), n / 2);
}

void CopyHead(std::int16_t* saved, const std::int16_t* data, std::size_t m) {
    std::copy(data, data + m, saved);
}

void CopyTailReversed(std::int16_t* saved, const std::int16_t* data, std::size_t n, std::size_t m) {
    for (std::size_t j = 0; j < m; ++j) saved[j] = data[n - 1 - j];
}

void BlendHead(std::int16_t* data, const std::int16_t* saved, std::size_t m) {
    for (std::size_t j = 0; j < m; ++j) data[j] = BlendOne(data[j], saved[j], j, m);
}

void BlendTail(std::int16_t* data, std::size_t n, const std::int16_t* saved, std::size_t m) {
    for (std::size_t j = 0; j < m; ++j) data[n - 1 - j] = BlendOne(data[n - 1 - j], saved[j], j, m);
}

}  // namespace qelv::dsp
