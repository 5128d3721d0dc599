#include "transform/dsp/ChannelKernels.h"

#include <algorithm>

#include "transform/dsp/ExactSums.h"
#include "transform/dsp/SampleConversion.h"

namespace qelv::dsp {

void ExtractChannelRange(std::int16_t* out, const std::int16_t* in, int channel, std::size_t begin,
                         std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) out[k] = in[2 * k + static_cast<std::size_t>(channel)];
}

void InterleaveRange(std::int16_t* out, const std::int16_t* left, const std::int16_t* right,
                     std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) {
        out[2 * k] = left[k];
        out[2 * k + 1] = right[k];
    }
}

void DuplicateToStereoRange(std::int16_t* out, const std::int16_t* in, std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) out[2 * k] = out[2 * k + 1] = in[k];
}

void AverageStereoRange(std::int16_t* out, const std::int16_t* in, std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) {
        const std::int32_t sum = std::int32_t{in[2 * k]} + in[2 * k + 1];
        out[k] = static_cast<std::int16_t>(sum / 2);
    }
}

void MixRange(std::int16_t* out, const std::int16_t* x1, float g1, const std::int16_t* x2, float g2,
              std::size_t begin, std::size_t end) {
    const double d1 = g1;
    const double d2 = g2;
    for (std::size_t k = begin; k < end; ++k) out[k] = ClampTruncate(SumToFloat(x1[k] * d1, x2[k] * d2));
}

void MixStereoRange(std::int16_t* a, StereoGains gains, std::size_t begin, std::size_t end) {
    const double gLL = gains.leftFromLeft;
    const double gLR = gains.leftFromRight;
    const double gRL = gains.rightFromLeft;
    const double gRR = gains.rightFromRight;
    for (std::size_t f = begin; f < end; ++f) {
        const double l = a[2 * f];
        const double r = a[2 * f + 1];
        a[2 * f] = SumTruncatedLow16(l * gLL, r * gLR);
        a[2 * f + 1] = SumTruncatedLow16(l * gRL, r * gRR);
    }
}

void CopyRange(std::int16_t* out, const std::int16_t* in, std::size_t begin, std::size_t end) {
    std::copy(in + begin, in + end, out + begin);
}

}  // namespace qelv::dsp
