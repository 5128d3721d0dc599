// Kernels of the channel and array utilities. Stereo is interleaved left, right.
// Each runs over an output (or frame) index range [begin, end).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

struct StereoGains {
    float leftFromLeft;
    float leftFromRight;
    float rightFromLeft;
    float rightFromRight;
};

// out[k] = in[2k + channel], channel 0 (left) or 1 (right).
void ExtractChannelRange(std::int16_t* out, const std::int16_t* in, int channel, std::size_t begin,
                         std::size_t end);
// out[2k] = left[k], out[2k + 1] = right[k].
void InterleaveRange(std::int16_t* out, const std::int16_t* left, const std::int16_t* right,
                     std::size_t begin, std::size_t end);
// out[2k] = out[2k + 1] = in[k].
void DuplicateToStereoRange(std::int16_t* out, const std::int16_t* in, std::size_t begin, std::size_t end);
// out[k] = (in[2k] + in[2k + 1]) / 2, truncated toward zero.
void AverageStereoRange(std::int16_t* out, const std::int16_t* in, std::size_t begin, std::size_t end);
// out[k] = x1[k] * g1 + x2[k] * g2, rounded to a float, clamped to +-32767, truncated.
void MixRange(std::int16_t* out, const std::int16_t* x1, float g1, const std::int16_t* x2, float g2,
              std::size_t begin, std::size_t end);
// For frames f in [begin, end): L = a[2f], R = a[2f + 1];
// a[2f] = L*gLL + R*gLR, a[2f+1] = L*gRL + R*gRR, truncated, low 16 bits kept (no clamping).
void MixStereoRange(std::int16_t* a, StereoGains gains, std::size_t begin, std::size_t end);
// out[k] = in[k].
void CopyRange(std::int16_t* out, const std::int16_t* in, std::size_t begin, std::size_t end);

}  // namespace qelv::dsp
