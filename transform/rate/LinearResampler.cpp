#include "transform/rate/LinearResampler.h"

#include <cmath>

namespace qelv::dsp {
namespace {

std::int16_t ClipWhole(std::int32_t v) {
    if (v > 32767) v = 32767;
    if (v < -32767) v = -32767;
    return static_cast<std::int16_t>(v);
}

// Truncates num / 2^shift toward zero.
template <class Wide>
std::int32_t ShiftTowardZero(Wide num, int shift) {
    const Wide floor = num >> shift;  // arithmetic shift: rounds toward minus infinity
    const Wide mask = (Wide(1) << shift) - 1;
    return static_cast<std::int32_t>((num < 0 && (num & mask) != 0) ? floor + 1 : floor);
}

// Interpolates outputs 1 .. m-1 while the position stays inside the input and
// returns the first index left for extrapolation (m if none). Wide holds
// a * 2^shift + f * (a[j] - a[j-1]) with f <= 2^shift.
template <class Wide>
std::size_t Interpolate(const std::int16_t* a, std::size_t n, std::int16_t* out, std::size_t m,
                        const ResampleRate& rate) {
    const int s = rate.shift;
    const std::uint64_t roundUp = (std::uint64_t{1} << s) - 1;
    std::size_t j = 1;
    for (std::size_t i = 1; i < m; ++i) {
        const std::uint64_t p = static_cast<std::uint64_t>(i) * rate.num;  // position i * r, times 2^shift
        const std::size_t first = static_cast<std::size_t>((p + roundUp) >> s);
        if (first > j) j = first;
        if (j >= n) return i;
        const std::uint64_t f = p - (static_cast<std::uint64_t>(j - 1) << s);  // (i*r - (j-1)) * 2^shift, in (0, 2^shift]
        const std::int32_t lo = a[j - 1];
        const std::int32_t diff = static_cast<std::int32_t>(a[j]) - lo;
        const Wide num = (static_cast<Wide>(lo) << s) + static_cast<Wide>(f) * diff;
        out[i] = static_cast<std::int16_t>(ShiftTowardZero(num, s));
    }
    return m;
}

}  // namespace

bool MakeResampleRate(float r, ResampleRate* rate) {
    if (!(r > 0.0f) || !std::isfinite(r)) return false;
    if (r < 0x1p-40f || r > 0x1p40f) return false;
    int e = 0;
    const float f = std::frexp(r, &e);  // r = f * 2^e, f in [0.5, 1)
    std::uint64_t num = static_cast<std::uint64_t>(std::ldexp(f, 24));
    int exponent = e - 24;
    while ((num & 1) == 0 && exponent < 0) {
        num >>= 1;
        ++exponent;
    }
    if (exponent > 0) {
        num <<= exponent;
        exponent = 0;
    }
    rate->num = num;
    rate->shift = -exponent;
    return true;
}

bool ResampledLength(std::size_t n, const ResampleRate& rate, std::size_t limit, std::size_t* m) {
    // floor(n / r + 1/2) = floor((2 n 2^shift + num) / (2 num)); shift <= 64 and
    // n < 2^32 keep the numerator within 128 bits for every rate accepted.
    if (n >= (std::size_t{1} << 32)) return false;
    const unsigned __int128 numerator = ((static_cast<unsigned __int128>(2 * n)) << rate.shift) + rate.num;
    const unsigned __int128 length = numerator / (static_cast<unsigned __int128>(rate.num) * 2);
    if (length == 0 || length > limit) return false;
    *m = static_cast<std::size_t>(length);
    return true;
}

void ResampleLinear(const std::int16_t* a, std::size_t n, std::int16_t* out, std::size_t m, const ResampleRate& rate) {
    out[0] = a[0];
    // a * 2^shift and f * diff stay below 2^57 in 64 bits up to shift 40.
    const std::size_t i0 =
        rate.shift <= 40 ? Interpolate<std::int64_t>(a, n, out, m, rate) : Interpolate<__int128>(a, n, out, m, rate);
    for (std::size_t i = i0; i < m; ++i) {
        if (i >= 3) {
            out[i] = ClipWhole(out[i - 3] - 3 * out[i - 2] + 3 * out[i - 1]);
        } else if (i == 2) {
            out[i] = ClipWhole(2 * out[1] - out[0]);
        } else {
            out[i] = out[i - 1];
        }
    }
}

}  // namespace qelv::dsp
