// Writing a computed float back as a sample in the per-sample loops of the delay
// lines: clamped to -32767 .. 32767 and truncated toward zero, NaN as 0, as
// dsp::ClampTruncate does, but without branches, since the effects' outputs clip
// at random places and mispredicted branches cost more than the arithmetic.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#else
#include "transform/dsp/SampleConversion.h"
#endif

namespace qelv::dsp {

inline std::int16_t StoreSample(float y) {
#if defined(__x86_64__) || defined(_M_X64)
    // minss and maxss return their second operand when either is NaN, so NaN
    // passes both and the conversion gives the integer indefinite 0x80000000,
    // whose low 16 bits are 0. Every other value is clamped into the 16-bit range.
    const __m128 limited = _mm_max_ss(_mm_set_ss(-32767.0f), _mm_min_ss(_mm_set_ss(32767.0f), _mm_set_ss(y)));
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(_mm_cvttss_si32(limited))));
#else
    return ClampTruncate(y);
#endif
}

}  // namespace qelv::dsp
