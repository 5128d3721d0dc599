#include "transform/dsp/ChannelKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "transform/dsp/SampleFormulas.h"
#include "transform/dsp/Vector.h"
#include "transform/dsp/WideKernels.h"

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

namespace {

// The double sum of the two exact products rounds like the extended sum except
// on a float midpoint (see ExactSums.h); vectors with such a lane are redone.
QELV_ALWAYS_INLINE void MixBody(std::int16_t* out, const std::int16_t* x1, double g1, const std::int16_t* x2,
                                double g2, std::size_t begin, std::size_t end) {
    constexpr std::size_t kBlock = 64;
    const vec::I64x4 belowFloat = vec::I64x4{} + ((std::int64_t{1} << 29) - 1);
    const vec::I64x4 midpoint = vec::I64x4{} + (std::int64_t{1} << 28);
    std::size_t k = begin;
    for (; k + kBlock <= end; k += kBlock) {
        // A midpoint is rare, so a whole block is checked at once and redone if needed.
        vec::I64x4 onMidpoint = {};
        for (std::size_t j = k; j < k + kBlock; j += 8) {
            vec::F64x4 a0, a1, b0, b1;
            vec::LoadDouble8(x1 + j, a0, a1);
            vec::LoadDouble8(x2 + j, b0, b1);
            const vec::F64x4 s0 = a0 * g1 + b0 * g2;
            const vec::F64x4 s1 = a1 * g1 + b1 * g2;
            vec::I64x4 bits0, bits1;
            std::memcpy(&bits0, &s0, sizeof bits0);
            std::memcpy(&bits1, &s1, sizeof bits1);
            onMidpoint |= ((bits0 & belowFloat) == midpoint) | ((bits1 & belowFloat) == midpoint);
            vec::StoreSamples8(out + j, vec::ClampTruncate(__builtin_convertvector(s0, vec::F32x4), 32767.0f),
                               vec::ClampTruncate(__builtin_convertvector(s1, vec::F32x4), 32767.0f));
        }
        if (vec::Any(onMidpoint)) {
            for (std::size_t j = k; j < k + kBlock; ++j) out[j] = MixSample(x1[j], g1, x2[j], g2);
        }
    }
    for (; k < end; ++k) out[k] = MixSample(x1[k], g1, x2[k], g2);
}
void MixBase(std::int16_t* out, const std::int16_t* x1, double g1, const std::int16_t* x2, double g2,
             std::size_t begin, std::size_t end) {
    MixBody(out, x1, g1, x2, g2, begin, end);
}

}  // namespace

void MixRange(std::int16_t* out, const std::int16_t* x1, float g1, const std::int16_t* x2, float g2,
              std::size_t begin, std::size_t end) {
    const double d1 = g1;
    const double d2 = g2;
    if (!std::isfinite(g1) || !std::isfinite(g2)) {
        for (std::size_t k = begin; k < end; ++k) out[k] = MixSample(x1[k], d1, x2[k], d2);
        return;
    }
#if QELV_HAVE_WIDE_KERNELS
    if (vec::HasWide() && std::fabs(d1) + std::fabs(d2) <= wide::kMaxGain) return wide::Mix(out, x1, g1, x2, g2, begin, end);
#endif
    MixBase(out, x1, d1, x2, d2, begin, end);
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
