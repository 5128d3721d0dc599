// Sums of two exact products with the rounding of extended (64-bit mantissa)
// precision, computed in double precision where that gives the same result.
//
// Each product of a 16-bit sample and a 32-bit float gain is exact in double
// precision, so only the final sum can round. Rounding the exact sum S first to
// 64 and then to 24 (or to an integer) bits can differ from rounding the double
// sum s = fl53(S) only when s lies exactly on a boundary of the final rounding:
// a float midpoint, or an integer for truncation. Everywhere else the error of
// the double sum (at most half an ulp of s) cannot move the result across a
// boundary. Those rare boundary cases are recomputed in extended precision.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "transform/dsp/SampleConversion.h"

namespace qelv::dsp {

// True when the fraction bits of s end in the bit pattern of a value exactly half
// way between two neighbouring floats.
inline bool IsFloatMidpointPattern(double s) {
    std::uint64_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    constexpr std::uint64_t kBelowFloat = (std::uint64_t{1} << 29) - 1;
    return (bits & kBelowFloat) == (std::uint64_t{1} << 28);
}

// (float)((long double)p1 + p2) for products p1, p2 that are exact doubles.
inline float SumToFloat(double p1, double p2) {
    const double s = p1 + p2;
    if (IsFloatMidpointPattern(s)) return static_cast<float>(static_cast<long double>(p1) + p2);
    return static_cast<float>(s);
}

// TruncateLow16((long double)p1 + p2) for products p1, p2 that are exact doubles.
inline std::int16_t SumTruncatedLow16(double p1, double p2) {
    const double s = p1 + p2;
    if (s == std::trunc(s)) return TruncateLow16(static_cast<long double>(p1) + p2);
    return TruncateLow16(s);
}

}  // namespace qelv::dsp
