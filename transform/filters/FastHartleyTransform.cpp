#include "transform/filters/FastHartleyTransform.h"

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "transform/dsp/ExactSums.h"
#include "transform/dsp/Vector.h"
#include "transform/filters/FastHartleyTransformWide.h"

namespace qelv::dsp {
namespace {

// A rotated entry x*c + y*s is formed in extended precision and stored as a
// float. The two products of floats are exact in double precision, so the
// double sum rounds to the same float unless it lies on a float midpoint
// (ExactSums.h) or below the normal float range, where the float grid is coarser
// than the midpoint test sees; those cases are recomputed in extended precision.
// A sum of exactly 0 is exact in both precisions (two doubles cancel to 0 only
// when they are opposite), so silence takes the quick path.
inline bool NeedsExtended(double s) {
    return IsFloatMidpointPattern(s) || (s != 0.0 && std::fabs(s) < 0x1p-126);
}
inline float RotatedSum(double p1, double p2) {
    const double s = p1 + p2;
    if (NeedsExtended(s)) {
        return static_cast<float>(static_cast<long double>(p1) + static_cast<long double>(p2));
    }
    return static_cast<float>(s);
}
inline float Rotate(float c, float u, float s, float v) {
    return RotatedSum(static_cast<double>(c) * u, static_cast<double>(s) * v);
}
inline float RotateDifference(float s, float u, float c, float v) {
    return RotatedSum(static_cast<double>(s) * u, -(static_cast<double>(c) * v));
}

// p = p + q, then q = p - 2q (the old p - q), each rounded to a float.
inline void SumDifference(float* e, std::size_t p, std::size_t q) {
    const float sum = e[p] + e[q];
    const float twice = 2.0f * e[q];
    e[p] = sum;
    e[q] = sum - twice;
}

// The square root of 2 as a double constant; the product is formed in extended
// precision and rounded to a float. The double product rounds to the same float
// except on a float midpoint or below the normal range (as in RotatedSum), where
// it is redone in extended precision.
inline float TimesRootTwo(float v) {
    constexpr double kRootTwo = 1.4142135623730951;
    const double p = static_cast<double>(v) * kRootTwo;
    if (NeedsExtended(p)) {
        return static_cast<float>(static_cast<long double>(v) * static_cast<long double>(kRootTwo));
    }
    return static_cast<float>(p);
}

// The bit-reversal permutation. The staging walks a reversed counter; reversing
// each index through a byte table swaps the same pairs without its branches.
struct ByteReversal {
    unsigned char r[256];
    constexpr ByteReversal() : r() {
        for (unsigned i = 0; i < 256; ++i) {
            unsigned v = 0;
            for (unsigned b = 0; b < 8; ++b) v |= ((i >> b) & 1u) << (7 - b);
            r[i] = static_cast<unsigned char>(v);
        }
    }
};
constexpr ByteReversal kByteReversal;

inline std::uint64_t Reverse64(std::uint64_t i) {
    std::uint64_t v = 0;
    for (int byte = 0; byte < 8; ++byte) v = (v << 8) | kByteReversal.r[(i >> (8 * byte)) & 0xFF];
    return v;
}

void BitReverse(float* e, std::size_t n) {
    int bits = 0;
    while ((std::size_t{1} << bits) < n) ++bits;
    if (bits <= 16) {
        // Up to 65536 entries: two bytes of index.
        const auto& r = kByteReversal.r;
        for (std::size_t i = 1; i + 1 < n; ++i) {
            const std::size_t j = ((static_cast<std::size_t>(r[i & 0xFF]) << 8) | r[i >> 8]) >> (16 - bits);
            if (i < j) std::swap(e[i], e[j]);
        }
        return;
    }
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const std::size_t j = static_cast<std::size_t>(Reverse64(i) >> (64 - bits));
        if (i < j) std::swap(e[i], e[j]);
    }
}

// Step a of a stage for the block starting at f: the groups at offsets 0 and k8.
inline void BlockHead(float* e, std::size_t f, std::size_t k1, std::size_t k2, std::size_t k3, std::size_t k8) {
    SumDifference(e, f, f + k1);
    SumDifference(e, f + k2, f + k3);
    SumDifference(e, f, f + k2);
    SumDifference(e, f + k1, f + k3);
    if (k8 == 0) return;
    const std::size_t g = f + k8;
    SumDifference(e, g, g + k1);
    e[g + k2] = TimesRootTwo(e[g + k2]);
    e[g + k3] = TimesRootTwo(e[g + k3]);
    SumDifference(e, g, g + k2);
    SumDifference(e, g + k1, g + k3);
}

// One butterfly group (a = f + i, b = f + k1 - i) with its twiddles.
inline void Group(float* e, std::size_t a, std::size_t b, std::size_t k1, std::size_t k2, std::size_t k3,
                  const HartleyTwiddle& t) {
    float u = e[a + k1], v = e[b + k1];
    e[a + k1] = Rotate(t.c2, u, t.s2, v);
    e[b + k1] = RotateDifference(t.s2, u, t.c2, v);
    SumDifference(e, a, a + k1);
    SumDifference(e, b, b + k1);
    u = e[a + k3], v = e[b + k3];
    e[a + k3] = Rotate(t.c2, u, t.s2, v);
    e[b + k3] = RotateDifference(t.s2, u, t.c2, v);
    SumDifference(e, a + k2, a + k3);
    SumDifference(e, b + k2, b + k3);
    u = e[a + k2], v = e[b + k3];
    e[a + k2] = Rotate(t.c1, u, t.s1, v);
    e[b + k3] = RotateDifference(t.s1, u, t.c1, v);
    SumDifference(e, a, a + k2);
    SumDifference(e, b + k1, b + k3);
    u = e[b + k2], v = e[a + k3];
    e[b + k2] = Rotate(t.s1, u, t.c1, v);
    e[a + k3] = RotateDifference(t.c1, u, t.s1, v);
    SumDifference(e, a + k1, a + k3);
    SumDifference(e, b, b + k2);
}

// Twiddles of the stages up to this block size, computed once per process. The
// angle of group i does not depend on the transform length (see HartleyTwiddleOf),
// so one table serves every length; larger stages compute theirs per group.
constexpr std::size_t kLargestTabledStage = 65536;

class TwiddleTable {
public:
    TwiddleTable() {
        for (std::size_t s = 16; s <= kLargestTabledStage; s *= 4) {
            offsets_.push_back(entries_.size());
            const std::size_t k1 = s / 4;
            for (std::size_t i = 0; i < s / 8; ++i) {
                const HartleyTwiddle t = HartleyTwiddleOf(static_cast<std::int64_t>(s), static_cast<std::int64_t>(k1),
                                                          static_cast<std::int64_t>(i));
                entries_.push_back(t);
                c1_.push_back(t.c1);
                s1_.push_back(t.s1);
                c2_.push_back(t.c2);
                s2_.push_back(t.s2);
            }
            // One unused entry after each stage: the dropped lane of the last
            // three groups reads it.
            entries_.push_back({});
            for (auto* v : {&c1_, &s1_, &c2_, &s2_}) v->push_back(0.0);
        }
    }
    // The stage with block size s (16 <= s <= kLargestTabledStage), entry i for group i.
    const HartleyTwiddle* Stage(std::size_t s) const { return entries_.data() + Offset(s); }
#if QELV_HAVE_WIDE_HARTLEY
    wide::HartleyTwiddlesD StageD(std::size_t s) const {
        const std::size_t o = Offset(s);
        return {c1_.data() + o, s1_.data() + o, c2_.data() + o, s2_.data() + o};
    }
#endif

private:
    std::size_t Offset(std::size_t s) const {
        std::size_t index = 0;
        for (std::size_t t = 16; t < s; t *= 4) ++index;
        return offsets_[index];
    }

    std::vector<HartleyTwiddle> entries_;
    std::vector<double> c1_, s1_, c2_, s2_;
    std::vector<std::size_t> offsets_;
};

const TwiddleTable& Twiddles() {
    static const TwiddleTable table;
    return table;
}

#if QELV_HAVE_WIDE_HARTLEY
// The groups the wide form hands back, with the stage's tabled twiddles.
void ScalarGroups(float* e, std::size_t f, std::size_t i, std::size_t count, std::size_t k1) {
    const HartleyTwiddle* tw = Twiddles().Stage(4 * k1);
    for (std::size_t j = i; j < i + count; ++j) Group(e, f + j, f + k1 - j, k1, 2 * k1, 3 * k1, tw[j]);
}
#endif

}  // namespace

HartleyTwiddle HartleyTwiddleOf(std::int64_t n, std::int64_t k1, std::int64_t i) {
    // theta = pi * i / (2 * k1), formed as the integer ((n*i/4) / k1) * 2 times pi,
    // divided by n. That integer is 2*i*(n/s) with n/s a power of two, and scaling
    // by powers of two is exact, so theta is the same for every n: the stage's
    // twiddles are a function of the block size alone.
    // The angle is formed in extended precision and passed to cos and sin as a
    // double; the double angle's values are formed in extended precision and
    // rounded to floats.
    const long double k = static_cast<long double>(((n * i / 4) / k1) * 2);
    const double theta = static_cast<double>(k * static_cast<long double>(std::numbers::pi) / static_cast<long double>(n));
    HartleyTwiddle t;
    t.c1 = static_cast<float>(std::cos(theta));
    t.s1 = static_cast<float>(std::sin(theta));
    t.c2 = RotateDifference(t.c1, t.c1, t.s1, t.s1);
    t.s2 = static_cast<float>(2.0L * t.c1 * t.s1);
    return t;
}

void FastHartleyTransform(float* e, std::size_t n) {
    BitReverse(e, n);
    HartleyStages(e, n);
}

void FillBitReversal(std::uint32_t* reversal, std::size_t n) {
    int bits = 0;
    while ((std::size_t{1} << bits) < n) ++bits;
    for (std::size_t i = 0; i < n; ++i) {
        reversal[i] = static_cast<std::uint32_t>(bits == 0 ? 0 : Reverse64(i) >> (64 - bits));
    }
}

void HartleyStages(float* e, std::size_t n) {
    const TwiddleTable& table = Twiddles();
    std::size_t firstStage = 4;
#if QELV_HAVE_WIDE_HARTLEY
    if (n >= 64 && vec::HasWide()) {
        // The first two stages four blocks at a time (they have no or one group
        // per block, too few to run side by side within a block).
        wide::HartleyFirstStage(e, n);
        const wide::HartleyTwiddlesD twd = table.StageD(16);
        const HartleyTwiddle* tw = table.Stage(16);
        for (std::size_t f = 0; f < n; f += 64) {
            if (wide::HartleySecondStage4(e, f, twd)) continue;
            for (std::size_t g = f; g < f + 64; g += 16) {
                BlockHead(e, g, 4, 8, 12, 2);
                Group(e, g + 1, g + 3, 4, 8, 12, tw[1]);
            }
        }
        firstStage = 64;
    }
#endif
    for (std::size_t s = firstStage; s <= n; s *= 4) {
        const std::size_t k1 = s / 4, k2 = s / 2, k3 = k1 + k2, k8 = s / 8;
        // The groups of a stage touch disjoint entries (offsets 0 and k8 of each
        // quarter in BlockHead, offsets i and k1 - i, 0 < i < k8, in Group), so
        // their order does not change any result: block by block keeps the
        // block in cache.
        if (s <= kLargestTabledStage) {
            const HartleyTwiddle* tw = s >= 16 ? table.Stage(s) : nullptr;
#if QELV_HAVE_WIDE_HARTLEY
            if (k8 > 4 && vec::HasWide()) {
                for (std::size_t f = 0; f < n; f += s) BlockHead(e, f, k1, k2, k3, k8);
                if (k8 >= 8 && wide::HasEightLanes()) {
                    wide::HartleyStageGroups8(e, n, s, table.StageD(s), ScalarGroups);
                } else {
                    wide::HartleyStageGroups(e, n, s, table.StageD(s), ScalarGroups);
                }
                continue;
            }
#endif
            for (std::size_t f = 0; f < n; f += s) {
                BlockHead(e, f, k1, k2, k3, k8);
                for (std::size_t i = 1; i < k8; ++i) Group(e, f + i, f + k1 - i, k1, k2, k3, tw[i]);
            }
        } else {
            for (std::size_t f = 0; f < n; f += s) BlockHead(e, f, k1, k2, k3, k8);
            for (std::size_t i = 1; i < k8; ++i) {
                const HartleyTwiddle t = HartleyTwiddleOf(static_cast<std::int64_t>(n),
                                                          static_cast<std::int64_t>(k1), static_cast<std::int64_t>(i));
                for (std::size_t f = 0; f < n; f += s) Group(e, f + i, f + k1 - i, k1, k2, k3, t);
            }
        }
    }
}

std::int32_t PowerOfTwoExponent(std::int32_t n) {
    if (n == 0) return 0;
    std::int32_t m = 0;
    while (n > 1) {
        if (n % 2 != 0) return 0;
        n /= 2;
        ++m;
    }
    return m;
}

}  // namespace qelv::dsp
