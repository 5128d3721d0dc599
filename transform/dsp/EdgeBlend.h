// Edge cross-fade: the first and last m samples of a processed array are blended
// from the saved input into the output along a quarter sine, so an effect does not
// start or stop with a step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

// Number of samples an edge copy holds: min(edge, n / 2), 0 when edge <= 0.
std::size_t EdgeLength(std::int32_t edge, std::size_t n);

// saved[i] = data[i] for i < m.
void CopyHead(std::int16_t* saved, const std::int16_t* data, std::size_t m);
// saved[j] = data[n - 1 - j] for j < m (entry 0 is the last sample).
void CopyTailReversed(std::int16_t* saved, const std::int16_t* data, std::size_t n, std::size_t m);

// For j < m, at index k = j (head) or k = n - 1 - j (tail):
// w = sin(j * pi / (2m)) rounded to a float, y = data[k] * w + (1 - w) * saved[j]
// in extended precision rounded to a float, clamped to +-32766, truncated.
void BlendHead(std::int16_t* data, const std::int16_t* saved, std::size_t m);
void BlendTail(std::int16_t* data, std::size_t n, const std::int16_t* saved, std::size_t m);

}  // namespace qelv::dsp
