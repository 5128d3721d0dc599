#include "transform/filters/FirGrid.h"
#include "transform/dsp/Sine.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "transform/filters/MonotoneCubic.h"

namespace qelv::dsp::fir {

namespace {

// Piecewise-linear map w from a band's clamped frequency range onto 0 .. 1.
// The pieces have spacing factors 1 (edge zone) and 2 (middle), so a grid
// that is uniform in w is twice as dense in the edge zones.
struct BandWarp {
    double point[4];   // breakpoints B0 .. B(m-1), ascending
    double warped[4];  // w(Bi)
    int count;         // m
    double step;       // grid step in w; 0 when m == 1

    double Clamp(double f) const {
        if (f < point[0]) return point[0];
        if (f > point[count - 1]) return point[count - 1];
        return f;
    }

    double Forward(double f) const {
        if (count == 1 || f <= point[0]) return 0.0;
        if (f >= point[count - 1]) return 1.0;
        for (int i = 1; i < count; ++i) {
            if (f == point[i]) return warped[i];
            if (f < point[i]) {
                return warped[i - 1] + (f - point[i - 1]) * (warped[i] - warped[i - 1]) /
                                           (point[i] - point[i - 1]);
            }
        }
        return 1.0;
    }

    double Inverse(double w) const {
        if (count == 1 || w <= 0.0) return point[0];
        if (w >= 1.0) return point[count - 1];
        for (int i = 1; i < count; ++i) {
            if (w == warped[i]) return point[i];
            if (w < warped[i]) {
                return point[i - 1] + (w - warped[i - 1]) * (point[i] - point[i - 1]) /
                                          (warped[i] - warped[i - 1]);
            }
        }
        return point[count - 1];
    }
};

BandWarp MakeWarp(double a, double b, const GridLayout& layout) {
    const double top = 0.5 - layout.delf;
    const double zone = layout.zone;
    const double s = std::min(std::max(a, 0.0), top);
    const double e = std::min(std::max(b, 0.0), top);
    double p1 = s;
    double p2 = e;
    if (a >= zone) p1 = a + std::min(zone, (b - a) / 2.0);
    if (b <= 0.5 - zone) p2 = std::max(a + (b - a) / 2.0, b - zone);
    // Only a band lying within about 2 * delf of 0.5 can put the lower zone
    // end past the clamped band end; keeping it there keeps w monotone.
    p1 = std::min(p1, e);

    const double list[4] = {s, p1, p2, e};
    const double factor[4] = {0.0, 1.0, 2.0, 1.0};
    BandWarp warp{};
    double phi[4] = {0.0, 0.0, 0.0, 0.0};
    warp.point[0] = s;
    warp.count = 1;
    for (int i = 1; i < 4; ++i) {
        if (list[i] == list[i - 1]) continue;
        warp.point[warp.count] = list[i];
        phi[warp.count] = factor[i];
        ++warp.count;
    }
    const int m = warp.count;
    warp.warped[0] = 0.0;
    if (m == 1) {
        warp.step = 0.0;
        return warp;
    }
    double span = 0.0;  // S
    for (int i = 1; i < m; ++i) span += (warp.point[i] - warp.point[i - 1]) / phi[i];
    for (int i = 1; i < m; ++i) {
        warp.warped[i] = warp.warped[i - 1] + (warp.point[i] - warp.point[i - 1]) / (span * phi[i]);
    }
    warp.warped[m - 1] = 1.0;
    warp.step = layout.delf / (2.0 * span);
    return warp;
}

// Number of grid points K of the piece from wa to wb, or -1 when it is not a
// sensible count.
std::int64_t PiecePoints(double wa, double wb, double step, std::int64_t limit) {
    if (wa == wb) return 1;
    const double k = std::ceil((wb - wa) / step) + 1.0;
    if (!(k >= 2.0 && k <= static_cast<double>(limit))) return -1;
    return static_cast<std::int64_t>(k);
}

double PieceValue(double wa, double wb, std::int64_t k, std::int64_t i) {
    if (k == 1) return wa;
    const double den = static_cast<double>(k - 1);
    return (static_cast<double>(k - 1 - i) * wa + static_cast<double>(i) * wb) / den;
}

}  // namespace

GridLayout ComputeGridLayout(const BandTable& bands, std::int32_t nf) {
    GridLayout layout{};
    layout.baseSize = std::max<std::int64_t>(16 * static_cast<std::int64_t>(nf), 1000);
    layout.density = layout.baseSize / nf;
    double width = 0.0;
    for (std::size_t b = 0; b < bands.BandCount(); ++b) {
        width += bands.frequency[bands.bandStart[b + 1] - 1] - bands.frequency[bands.bandStart[b]];
    }
    layout.delf = width / static_cast<double>(layout.baseSize);
    layout.zone = 1.5 * static_cast<double>(layout.density) * layout.delf;
    return layout;
}

bool BuildDenseGrid(const BandTable& bands, const GridLayout& layout, DenseGrid& grid) {
    const std::size_t points = bands.frequency.size();
    // A piece spans at most one band, whose warped width needs about
    // 2 * G0 steps even when it holds all of the bands' width.
    const std::int64_t limit = 4 * layout.baseSize + 4;

    // First pass: the size of every piece, so the grid is allocated once.
    std::vector<std::int64_t> piece(points, 0);
    std::int64_t total = 0;
    for (std::size_t b = 0; b < bands.BandCount(); ++b) {
        const std::size_t first = bands.bandStart[b];
        const std::size_t last = bands.bandStart[b + 1] - 1;
        const BandWarp warp = MakeWarp(bands.frequency[first], bands.frequency[last], layout);
        total += 1;
        for (std::size_t p = first; p < last; ++p) {
            const double wa = warp.Forward(warp.Clamp(bands.frequency[p]));
            const double wb = warp.Forward(warp.Clamp(bands.frequency[p + 1]));
            piece[p] = PiecePoints(wa, wb, warp.step, limit);
            if (piece[p] < 0) return false;
            total += piece[p] - 1;
        }
    }
    grid.x.assign(static_cast<std::size_t>(total), 0.0);
    grid.desired.assign(static_cast<std::size_t>(total), 0.0);
    grid.weight.assign(static_cast<std::size_t>(total), 0.0);
    std::size_t longestBand = 0;
    for (std::size_t b = 0; b < bands.BandCount(); ++b) {
        longestBand = std::max(longestBand, bands.bandStart[b + 1] - bands.bandStart[b]);
    }
    std::vector<double> slopes(2 * longestBand, 0.0);
    double* const gainSlope = slopes.data();
    double* const weightSlope = slopes.data() + longestBand;

    std::size_t pos = 0;
    for (std::size_t b = 0; b < bands.BandCount(); ++b) {
        const std::size_t first = bands.bandStart[b];
        const std::size_t last = bands.bandStart[b + 1] - 1;
        const double a = bands.frequency[first];
        const double e = bands.frequency[last];
        const BandWarp warp = MakeWarp(a, e, layout);
        const std::size_t bandBegin = pos;
        grid.x[pos++] = warp.Inverse(warp.Forward(warp.Clamp(a)));
        for (std::size_t p = first; p < last; ++p) {
            const double wa = warp.Forward(warp.Clamp(bands.frequency[p]));
            const double wb = warp.Forward(warp.Clamp(bands.frequency[p + 1]));
            const std::int64_t k = piece[p];
            for (std::int64_t i = 1; i < k; ++i) grid.x[pos++] = warp.Inverse(PieceValue(wa, wb, k, i));
        }

        // Desired value and weight. Points that clamping moved outside the
        // band take the value at the nearest band end.
        const std::size_t n = last - first + 1;
        const double* fx = bands.frequency.data() + first;
        const double* gain = bands.gain.data() + first;
        const double* weight = bands.weight.data() + first;
        MonotoneCubicSlopes(fx, gain, n, gainSlope);
        MonotoneCubicSlopes(fx, weight, n, weightSlope);
        for (std::size_t i = bandBegin; i < pos; ++i) {
            const double f = std::min(std::max(grid.x[i], a), e);
            grid.desired[i] = MonotoneCubicValue(fx, gain, gainSlope, n, f);
            grid.weight[i] = MonotoneCubicValue(fx, weight, weightSlope, n, f);
        }
    }
    return true;
}

void TransformEvenSymmetric(DenseGrid& grid) {
    constexpr double pi = std::numbers::pi;
    for (std::size_t i = 0; i < grid.x.size(); ++i) {
        const double f = grid.x[i];
        const double q = 2.0 * dsp::Cosine(pi * f);
        grid.desired[i] = grid.desired[i] / q;
        grid.weight[i] = grid.weight[i] * q;
        grid.x[i] = dsp::Cosine(2.0 * pi * f);
    }
}

}  // namespace qelv::dsp::fir
