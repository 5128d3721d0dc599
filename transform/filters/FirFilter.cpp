// FIRFilter: designs an even-length linear-phase filter from the caller's bands
// and convolves the array with it. It departs from the common
// frame: a minimum sampling rate is checked before anything else, no edge is
// smoothed, the results go to a work buffer and are copied back only at the end
// (so a cancel leaves the array as it was; with events off, when nothing can
// cancel, they go straight into the array), and no EndTransform is fired.
#include <algorithm>
#include <cmath>

#include "transform/HeapBuffer.h"
#include "transform/TransformFrame.h"
#include "transform/filters/FirDesigner.h"
#include "transform/filters/FirKernel.h"

namespace qelv {
namespace {

constexpr LONG kMinimumRate = 6001;

// 10 .. 256 taps, made even by halving and doubling.
std::size_t TapCount(LONG quality) {
    LONG n = quality < 10 ? 10 : (quality > 256 ? 256 : quality);
    return static_cast<std::size_t>(n / 2 * 2);
}

}  // namespace

STDMETHODIMP CSonalter2::FIRFilter(SAFEARRAY** WavArray, SAFEARRAY** FreqArray, SAFEARRAY** dbGainArray,
                                   SAFEARRAY** WeightArray, LONG Quality) {
    if (ArrayFrequency < kMinimumRate) return ReportError(INVALIDPARAM);
    return RunFrame(*this, EdgeMode::None, WavArray, [&](TransformFrame& frame) -> Outcome {
        const ArrayView* freqs = nullptr;
        const ArrayView* gains = nullptr;
        const ArrayView* weights = nullptr;
        if (HRESULT hr = frame.OpenInput(FreqArray, sizeof(float), 2, &freqs); FAILED(hr)) return Outcome::Failed(hr);
        if (HRESULT hr = frame.OpenInput(dbGainArray, sizeof(float), 2, &gains); FAILED(hr)) return Outcome::Failed(hr);
        if (HRESULT hr = frame.OpenInput(WeightArray, sizeof(float), 2, &weights); FAILED(hr)) {
            return Outcome::Failed(hr);
        }
        const std::size_t count = freqs->size();
        if (gains->size() != count || weights->size() != count || count > 0x7FFFFFFF) {
            return Outcome::Failed(ReportError(INVALIDPARAM));
        }
        LastErrorNum = NOERRORS;

        const std::size_t taps = TapCount(Quality);
        double designed[256];
        dsp::CFirDesigner designer;
        designer.Length = static_cast<std::int32_t>(taps);
        designer.Coefficients = designed;
        designer.Design(freqs->floats(), gains->floats(), weights->floats(), static_cast<std::int32_t>(count),
                        static_cast<double>(ArrayFrequency));
        // A band layout the designer cannot use (bands that do not ascend or
        // overlap, a weight of 0 or below, non-finite entries, no band at all)
        // or a design that fails numerically gives no filter: refused, the array
        // untouched. So are taps that do not fit in a float.
        if (designer.Status == dsp::CFirDesigner::kInvalidInput ||
            designer.Status == dsp::CFirDesigner::kNumericFailure) {
            return Outcome::Failed(ReportError(INVALIDPARAM));
        }
        float h[256];
        for (std::size_t j = 0; j < taps; ++j) {
            h[j] = static_cast<float>(designed[j]);
            if (!std::isfinite(h[j])) return Outcome::Failed(ReportError(INVALIDPARAM));
        }

        const std::size_t n = frame.size();
        frame.OmitEndTransform();
        if (n <= taps) return true;  // nothing to filter: the array stays as it is
        const dsp::FirTaps firTaps = dsp::DescribeTaps(h, taps);
        std::int16_t* a = frame.data();
        HeapBuffer<float> scratch(dsp::kFirScratch + taps);
        if (!scratch.get()) return Outcome::Failed(ReportError(MEMORY));
        if (!TBEventEnabled) {
            // With events off no host code runs, so nothing can cancel and the
            // array may change as the filter goes. The outputs are computed from
            // the end backwards, a block at a time into a small buffer and then
            // copied into place: output i reads entries i-N+1 .. i, and only
            // entries after the current block have been written, so every
            // block reads original samples. This spares a result buffer the
            // size of the array and the page faults of filling it.
            constexpr std::size_t kBlock = 16384;
            HeapBuffer<std::int16_t> block(kBlock);
            if (!block.get()) return Outcome::Failed(ReportError(MEMORY));
            for (std::size_t e = n; e > taps;) {
                const std::size_t b = e - taps > kBlock ? e - kBlock : taps;
                dsp::FirRange(a, b, e, firTaps, block.get(), scratch.get());
                std::copy(block.get(), block.get() + (e - b), a + b);
                e = b;
            }
            return true;
        }
        HeapBuffer<std::int16_t> out(n - taps);
        if (!out.get()) return Outcome::Failed(ReportError(MEMORY));
        const bool finished = frame.Run(n - taps, n, taps, 1, [&](std::size_t b, std::size_t e) {
            dsp::FirRange(a, taps + b, taps + e, firTaps, out.get() + b, scratch.get());
        });
        if (!finished) return false;
        std::copy(out.get(), out.get() + (n - taps), a + taps);
        return true;
    });
}

}  // namespace qelv
