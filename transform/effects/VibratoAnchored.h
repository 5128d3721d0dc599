// Vibrato's lane forms: the sine of each sample's argument from a few exact
// sines and cosines and angle addition, with an error bound that decides when
// a result may differ from the per-sample formula's, and the per-sample
// formula for those few samples.
//
// The formula's argument for sample i is x_i = step * i + phase in double. In
// exact arithmetic x_i lies within 2 ulp(M) of the line x_b + (i - b) * step
// through the range's first argument x_b (M bounds |step * i|, |x_i| and every
// angle below; each argument carries two roundings). The lane forms take
//     sin(x_i) ~ S_k * cos(j * step) + C_k * sin(j * step),
// where i = b + k * B + j with blocks of B samples, (S_k, C_k) is the sine and
// cosine of x_b + k * B * step, obtained from exact ones (Sine, Cosine) at most
// kReanchor blocks back by rotating block by block, and cos(j * step),
// sin(j * step) come from a table made by angle addition of two short exact
// tables. Sine and Cosine are each within one unit in the last place; the
// tables add a few units, each rotation a few more; so the computed sine lies
// within E = 3 ulp(M) + 5e-14 of the formula's Sine(x_i) (the constant covers
// the rotations with a wide margin).
//
// The lanes form the gain directly: with A = depth * S_k and B = depth * C_k
// rounded once per block, g = A * cos(j * step) + (B * sin(j * step) + 1),
// each step a fused multiply-add. Against the formula's gain
// Sine(x_i) * depth + 1 (two roundings) that adds at most depth * E and a few
// units of ulp(2), below 2e-15 in all. The product y = g * x with depth <= 1
// and |x| <= 32768 then lies within E * 32768 + 2e-15 * 32768 plus two
// differently rounded products (1.5e-11 at |y| <= 65536) of the formula's, so
// within T = E * 40000 + 1e-10. When y lies more than T from every whole
// number, clamping to +-32767 and truncating toward zero give the formula's
// result; the other samples take the formula (a sample whose value is 0 never
// does: its result is 0 either way). The results are therefore the per-sample
// formula's, bit for bit, on every processor. Where T would pass 1/8
// (arguments beyond about 5e9) the range takes the formula throughout.
//
// The lanes test a block's groups as they write them, and the block's input
// is kept: only a block in which some lane was in doubt is tested again from
// the kept input, and its doubtful samples take the formula.
//
// Include after defining QELV_VIBRATO_TARGET, the target attribute string of
// the including file's instruction set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Sine.h"

#define QELV_VIBRATO_KERNEL inline __attribute__((always_inline, target(QELV_VIBRATO_TARGET)))

namespace qelv::dsp::wide {
namespace {

// Samples per block (the offset table's length) and the table's two factors.
constexpr std::size_t kBlock = 512;
constexpr std::size_t kFine = 32;
constexpr std::size_t kCoarse = kBlock / kFine;
// Blocks between exact anchors.
constexpr std::size_t kReanchor = 32;

// Aligned to a cache line, so that no group of lanes straddles two.
struct alignas(64) OffsetTable {
    double cosine[kBlock];
    double sine[kBlock];
};

// cos(j * step) and sin(j * step) for j < kBlock, as (a * kFine + b) * step by
// angle addition from exact values at a * kFine * step and b * step.
inline void MakeOffsetTable(double step, OffsetTable& table) {
    double fineCos[kFine], fineSin[kFine];
    for (std::size_t b = 0; b < kFine; ++b) {
        const double angle = static_cast<double>(b) * step;
        fineCos[b] = Cosine(angle);
        fineSin[b] = Sine(angle);
    }
    for (std::size_t a = 0; a < kCoarse; ++a) {
        const double angle = static_cast<double>(a * kFine) * step;
        const double c = Cosine(angle);
        const double s = Sine(angle);
        for (std::size_t b = 0; b < kFine; ++b) {
            table.cosine[a * kFine + b] = c * fineCos[b] - s * fineSin[b];
            table.sine[a * kFine + b] = s * fineCos[b] + c * fineSin[b];
        }
    }
}

inline double Magnitude(double v) { return v < 0.0 ? -v : v; }

inline std::int16_t Formula(double step, std::size_t i, double phase, double depth, double sample) {
    const double s = Sine(step * static_cast<double>(i) + phase);
    return ClampTruncate((s * depth + 1.0) * sample);
}

// The doubtful samples of a block: each group of the kept input is tested
// again (its results go to a scratch group) and each doubtful lane takes the
// formula.
template <class Lanes>
__attribute__((noinline, cold, target(QELV_VIBRATO_TARGET))) void RetestBlock(
    std::int16_t* a, std::size_t first, std::size_t count, const std::int16_t* kept, const OffsetTable& table,
    typename Lanes::V A, typename Lanes::V B, const typename Lanes::Doubt& doubt, double step, double phase,
    double depth) {
    constexpr std::size_t kLanes = Lanes::kCount;
    for (std::size_t j = 0; j < count; j += kLanes) {
        std::int16_t scratch[kLanes];
        const unsigned unsure = Lanes::Apply(kept + j, scratch, table.cosine + j, table.sine + j, A, B, doubt);
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            const std::size_t i = first + j + lane;
            if (unsure >> lane & 1u) a[i] = Formula(step, i, phase, depth, kept[j + lane]);
        }
    }
}

// a[i] = the formula's result for i = begin, .. in groups of lanes while a
// whole group fits before end. Returns the first index not written. Lanes (the
// including file's) gives the vector type V of doubles, Lanes::kCount, the
// form Doubt of the bound T (MakeDoubt), and Apply: one group's gains from the
// offset tables and the block's A and B, the products, the clamped and
// truncated results stored to out, and the mask of lanes whose product may lie
// within T of a whole number.
template <class Lanes>
QELV_VIBRATO_KERNEL std::size_t VibratoAnchoredLanes(std::int16_t* a, std::size_t begin, std::size_t end,
                                                     double step, double phase, double depth) {
    using V = typename Lanes::V;
    constexpr std::size_t kLanes = Lanes::kCount;
    if (end - begin < kLanes) return begin;
    const double m = Magnitude(step) * (static_cast<double>(end) + 2.0 * kBlock) + Magnitude(phase);
    const double error = 3.0 * m * 0x1p-52 + 5e-14;
    const double bound = error * 40000.0 + 1e-10;
    if (!(bound < 0.125)) return begin;  // the formula throughout
    const typename Lanes::Doubt doubt = Lanes::MakeDoubt(bound);

    OffsetTable table;
    MakeOffsetTable(step, table);
    const double blockAngle = static_cast<double>(kBlock) * step;
    const double rotateCos = Cosine(blockAngle);
    const double rotateSin = Sine(blockAngle);

    std::size_t i = begin;
    double sa = 0.0, ca = 0.0;
    for (std::size_t block = 0; i + kLanes <= end; ++block) {
        if (block % kReanchor == 0) {
            const double anchor = step * static_cast<double>(i) + phase;
            sa = Sine(anchor);
            ca = Cosine(anchor);
        } else {
            const double s = sa * rotateCos + ca * rotateSin;
            ca = ca * rotateCos - sa * rotateSin;
            sa = s;
        }
        const V A = V{} + depth * sa;
        const V B = V{} + depth * ca;
        const std::size_t first = i;
        const std::size_t blockEnd = end - i > kBlock ? i + kBlock : end;
        // The block's input is kept for a second test (a whole block in one
        // fixed-size copy); the lanes read the array itself, since loads from
        // parts of the copy's wide stores would wait for them.
        alignas(64) std::int16_t kept[kBlock];
        if (blockEnd - i == kBlock) {
            std::memcpy(kept, a + i, sizeof kept);
        } else {
            std::memcpy(kept, a + i, (blockEnd - i) * sizeof(std::int16_t));
        }
        unsigned unsure = 0;
        std::size_t j = 0;
        for (; i + kLanes <= blockEnd; i += kLanes, j += kLanes) {
            unsure |= Lanes::Apply(a + i, a + i, table.cosine + j, table.sine + j, A, B, doubt);
        }
        if (unsure != 0) [[unlikely]] {
            RetestBlock<Lanes>(a, first, j, kept, table, A, B, doubt, step, phase, depth);
        }
    }
    return i;
}

}  // namespace
}  // namespace qelv::dsp::wide
