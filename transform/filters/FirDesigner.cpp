#include "transform/filters/FirDesigner.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

#include "transform/filters/FirGrid.h"
#include "transform/filters/FirTaps.h"
#include "transform/filters/RemezExchange.h"

namespace qelv::dsp {

namespace {

void ZeroTaps(double* taps, int32_t length) {
    if (taps == nullptr) return;
    for (int32_t i = 0; i < length; ++i) taps[i] = 0.0;
}

// Splits the entries into bands at the separators and normalises the
// frequencies. Returns false for a band layout the exchange cannot use
// (see the header); empty bands are skipped.
bool ReadBands(const float* frequencies, const float* gains, const float* weights, int32_t count,
               double sampleRate, fir::BandTable& table) {
    if (count < 1 || frequencies == nullptr || gains == nullptr || weights == nullptr) return false;
    if (!std::isfinite(sampleRate) || !(sampleRate > 0.0)) return false;

    std::size_t points = 0;
    for (int32_t i = 0; i < count; ++i) {
        const double f = frequencies[i];
        if (f < 0.0) continue;
        if (!std::isfinite(f) || !std::isfinite(static_cast<double>(gains[i])) ||
            !std::isfinite(static_cast<double>(weights[i])) || !(weights[i] > 0.0f)) {
            return false;
        }
        ++points;
    }
    if (points == 0) return false;

    table.frequency.resize(points);
    table.gain.resize(points);
    table.weight.resize(points);
    table.bandStart.reserve(static_cast<std::size_t>(count) / 2 + 2);
    std::size_t n = 0;
    bool inBand = false;
    for (int32_t i = 0; i < count; ++i) {
        if (frequencies[i] < 0.0f) {
            inBand = false;
            continue;
        }
        const double f = static_cast<double>(frequencies[i]) / sampleRate;
        if (!std::isfinite(f)) return false;
        // Every point, within a band or starting the next, must lie above the
        // one before it.
        if (n > 0 && !(f > table.frequency[n - 1])) return false;
        if (!inBand) {
            table.bandStart.push_back(n);
            inBand = true;
        }
        table.frequency[n] = f;
        table.gain[n] = gains[i];
        table.weight[n] = weights[i];
        ++n;
    }
    table.bandStart.push_back(n);
    return true;
}

bool AllFinite(const double* values, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        if (!std::isfinite(values[i])) return false;
    }
    return true;
}

}  // namespace

CFirDesigner::CFirDesigner() {}

CFirDesigner::~CFirDesigner() {}

void CFirDesigner::Design(const float* frequencies, const float* gains, const float* weights, int32_t count,
                          double sampleRate) {
    Deviation = 0.0;
    Status = kInvalidInput;
    if (Coefficients == nullptr) return;
    ZeroTaps(Coefficients, Length);
    if (Length < 2 || Length % 2 != 0 || Length > kMaxLength) return;

    try {
        fir::BandTable bands;
        if (!ReadBands(frequencies, gains, weights, count, sampleRate, bands)) return;

        const int32_t nf = Length / 2;
        const fir::GridLayout layout = fir::ComputeGridLayout(bands, nf);
        fir::DenseGrid grid;
        if (!fir::BuildDenseGrid(bands, layout, grid)) {
            Status = kNumericFailure;
            return;
        }
        fir::TransformEvenSymmetric(grid);

        const int32_t extremals = static_cast<int32_t>(std::min<std::ptrdiff_t>(grid.Size(), nf + 1));
        fir::RemezExchange exchange(grid, extremals);
        const fir::ExchangeOutcome outcome = exchange.Run();
        fir::ComputeTaps(grid, exchange, Length, Coefficients);

        if (!std::isfinite(outcome.delta) || !AllFinite(Coefficients, Length)) {
            ZeroTaps(Coefficients, Length);
            Status = kNumericFailure;
            return;
        }
        Deviation = outcome.delta;
        Status = outcome.status;
    } catch (const std::exception&) {
        // Only allocation can throw here.
        ZeroTaps(Coefficients, Length);
        Deviation = 0.0;
        Status = kNumericFailure;
    }
}

}  // namespace qelv::dsp
