// Conversions from computed values back to 16-bit samples.
//
// A value computed in floating point is clamped to a symmetric limit and
// truncated toward zero. NaN has no sample value; it is written as 0 (silence)
// so that no input can produce undefined behaviour in the conversion.
#pragma once

#include <cstdint>

namespace qelv::dsp {

// Full-scale limit used by most transforms.
inline constexpr double kSampleLimit = 32767.0;
// Limit used by the edge cross-fade and the FIR filter.
inline constexpr double kEdgeLimit = 32766.0;

// Clamps y to -limit .. limit and truncates toward zero; NaN gives 0.
inline std::int16_t ClampTruncate(double y, double limit = kSampleLimit) {
    if (!(y == y)) return 0;
    if (y > limit) y = limit;
    if (y < -limit) y = -limit;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(y));
}

inline std::int16_t ClampTruncate(float y, float limit = static_cast<float>(kSampleLimit)) {
    if (!(y == y)) return 0;
    if (y > limit) y = limit;
    if (y < -limit) y = -limit;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(y));
}

// Truncates toward zero to a 32-bit integer and keeps the low 16 bits, without
// clamping. Values outside the 32-bit range and NaN give the integer-indefinite
// result of the hardware conversion (0x80000000), whose low 16 bits are 0.
inline std::int16_t TruncateLow16(long double y) {
    if (!(y > -2147483649.0L && y < 2147483648.0L)) return 0;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(static_cast<std::int32_t>(y))));
}

}  // namespace qelv::dsp
