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
// The gain is then applied as the formula applies it: y = (s * depth + 1) * x
// with depth <= 1 and |x| <= 32768, which a sine within E moves by at most
// E * 32768 plus two differently rounded steps (below 1e-10). So when y lies
// more than T = E * 40000 + 1e-10 from every whole number, clamping to +-32767
// and truncating toward zero give the formula's result; the other samples take
// the formula (a sample whose value is 0 never does: its result is 0 either
// way). The results are therefore the per-sample formula's, bit for bit, on
// every processor. Where T would be large (arguments beyond about 1e10) the
// range takes the formula throughout.
//
// Include after defining QELV_VIBRATO_KERNEL, the function attributes that
// compile the template for the including file's instruction set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Sine.h"

namespace qelv::dsp::wide {
namespace {

// Samples per block (the offset table's length) and the table's two factors.
constexpr std::size_t kBlock = 512;
constexpr std::size_t kFine = 32;
constexpr std::size_t kCoarse = kBlock / kFine;
// Blocks between exact anchors.
constexpr std::size_t kReanchor = 32;
// Adding and subtracting 1.5 * 2^52 rounds |y| < 2^51 to the nearest whole number.
constexpr double kRoundShift = 6755399441055744.0;

struct OffsetTable {
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

// a[i] = the formula's result for i = begin, .. in groups of lanes while a
// whole group fits before end. Returns the first index not written. Lanes
// (the including file's) gives the vector type V of doubles, Lanes::kCount,
// and Load (samples to doubles), Store (clamped doubles, truncated, to
// samples) and Any (whether a comparison holds in some lane).
template <class Lanes>
QELV_VIBRATO_KERNEL std::size_t VibratoAnchoredLanes(std::int16_t* a, std::size_t begin, std::size_t end,
                                                     double step, double phase, double depth) {
    using V = typename Lanes::V;
    constexpr std::size_t kLanes = Lanes::kCount;
    if (end - begin < kLanes) return begin;
    const double m = Magnitude(step) * (static_cast<double>(end) + 2.0 * kBlock) + Magnitude(phase);
    const double error = 3.0 * m * 0x1p-52 + 5e-14;
    const double doubt = error * 40000.0 + 1e-10;
    if (!(doubt < 0.25)) return begin;  // the formula throughout

    OffsetTable table;
    MakeOffsetTable(step, table);
    const double blockAngle = static_cast<double>(kBlock) * step;
    const double rotateCos = Cosine(blockAngle);
    const double rotateSin = Sine(blockAngle);
    const V limit = V{} + kSampleLimit;

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
        const std::size_t blockEnd = end - i > kBlock ? i + kBlock : end;
        for (std::size_t j = 0; i + kLanes <= blockEnd; i += kLanes, j += kLanes) {
            V tc, ts;
            std::memcpy(&tc, table.cosine + j, sizeof tc);
            std::memcpy(&ts, table.sine + j, sizeof ts);
            const V samples = Lanes::Load(a + i);
            const V s = sa * tc + ca * ts;
            V y = (s * depth + 1.0) * samples;
            const V off = y - ((y + kRoundShift) - kRoundShift);
            const auto unsure = (off <= doubt) & (off >= -doubt) & (samples != 0.0);
            y = y > limit ? limit : y;
            y = y < -limit ? -limit : y;
            Lanes::Store(a + i, y);
            if (Lanes::Any(unsure)) {
                for (std::size_t lane = 0; lane < kLanes; ++lane) {
                    if (unsure[lane]) a[i + lane] = Formula(step, i + lane, phase, depth, samples[lane]);
                }
            }
        }
    }
    return i;
}

}  // namespace
}  // namespace qelv::dsp::wide
