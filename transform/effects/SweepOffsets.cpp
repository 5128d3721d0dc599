#include "transform/effects/SweepOffsets.h"

#include <cmath>
#include <cstdint>

#include "transform/dsp/Sine.h"
#include "transform/dsp/Vector.h"
#include "transform/effects/SweepOffsetsWide.h"

namespace qelv::dsp {
namespace {

// ceil(d) for -1 < d < 2^63: the truncation, plus one when it lies below d
// (cheaper than the library's ceil followed by an unsigned conversion).
inline std::size_t CeilToIndex(double d) {
    const std::int64_t t = static_cast<std::int64_t>(d);
    return static_cast<std::size_t>(t + (static_cast<double>(t) < d ? 1 : 0));
}

// The sample index converts through a signed integer (the same value, since
// i < 2^63), which takes one instruction instead of the unsigned sequence.
inline double Argument(const SweepArguments& sweep, std::size_t i) {
    return sweep.step * static_cast<double>(static_cast<std::int64_t>(i)) + sweep.phase;
}

// The exact offset takes the platform-independent sine: with feedback the ring
// carries any difference in one offset into every later sample, so a last-bit
// difference between the two targets' C libraries would not stay local. The
// polynomial form below only decides where it provably agrees with this.
inline void Exact(const SweepArguments& sweep, std::size_t i, float* df, std::size_t* k) {
    const double d = (Sine(Argument(sweep, i)) + 1.0) * sweep.halfDepth;
    *df = static_cast<float>(d);
    *k = CeilToIndex(d);
}

}  // namespace

void SweepOffsetsExact(const SweepArguments& sweep, std::size_t begin, std::size_t count, float* df,
                       std::size_t* k) {
    for (std::size_t j = 0; j < count; ++j) Exact(sweep, begin + j, &df[j], &k[j]);
}

void SweepOffsets(const SweepArguments& sweep, std::size_t begin, std::size_t count, float* df, std::size_t* k,
                  std::size_t* librarySines) {
    constexpr double kMaxArgument = 0x1p20;
    constexpr double kMargin = 0x1p-40;
    constexpr double kRound = 0x1.8p52;  // adding and subtracting rounds to a whole number
    // Blocks of m samples keep |e| <= |step| * (m - 1) <= 0.125 (plus the rounding
    // of the arguments); a sweep too fast for blocks of 16 takes the library sine.
    const double span = std::fabs(sweep.step) * static_cast<double>(kSweepBlock);
    const std::size_t m = span <= 0.125 ? kSweepBlock : static_cast<std::size_t>(0.125 / std::fabs(sweep.step));
    if (m < 16) {
        SweepOffsetsExact(sweep, begin, count, df, k);
        if (librarySines) *librarySines += count;
        return;
    }
    const double halfDepth = sweep.halfDepth;
#if QELV_HAVE_WIDE_SWEEP
    const bool wideForm = vec::HasWide();
#endif
    for (std::size_t first = 0; first < count; first += m) {
        const std::size_t end = count - first < m ? count : first + m;
        const double b = Argument(sweep, begin + first);
        const double last = Argument(sweep, begin + end - 1);
        if (!(std::fabs(b) <= kMaxArgument && std::fabs(last) <= kMaxArgument)) {
            SweepOffsetsExact(sweep, begin + first, end - first, df + first, k + first);
            if (librarySines) *librarySines += end - first;
            continue;
        }
        const double sinB = std::sin(b);
        const double cosB = std::cos(b);
        std::size_t j = first;
#if QELV_HAVE_WIDE_SWEEP
        if (wideForm) j = wide::SweepPolynomial(sweep, begin, first, end, b, sinB, cosB, df, k, Exact, librarySines);
#endif
        for (; j < end; ++j) {
            const double e = Argument(sweep, begin + j) - b;
            const double e2 = e * e;
            const double e4 = e2 * e2;
            const double sinE =
                e + e * e2 * ((-1.0 / 6 + e2 * (1.0 / 120)) + e4 * (-1.0 / 5040 + e2 * (1.0 / 362880)));
            const double cosE = 1.0 + e2 * ((-0.5 + e2 * (1.0 / 24)) + e4 * (-1.0 / 720 + e2 * (1.0 / 40320)));
            const double s = sinB * cosE + cosB * sinE;
            const double low = ((s - kMargin) + 1.0) * halfDepth;
            const double high = ((s + kMargin) + 1.0) * halfDepth;
            const float lowF = static_cast<float>(low);
            // ceil(low) in doubles (-1 < low < 2^51): the nearest whole number,
            // plus one when it lies below low. ceil(high) is the same exactly when
            // no whole number lies in [low, high), that is when ceil(low) >= high.
            const double nearest = (low + kRound) - kRound;
            const double lowCeil = nearest < low ? nearest + 1.0 : nearest;
            if (lowF == static_cast<float>(high) && lowCeil >= high) {
                df[j] = lowF;
                k[j] = static_cast<std::size_t>(static_cast<std::int64_t>(lowCeil));
            } else {
                Exact(sweep, begin + j, &df[j], &k[j]);
                if (librarySines) ++*librarySines;
            }
        }
    }
}

}  // namespace qelv::dsp
