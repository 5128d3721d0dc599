// FFTFilter: filters the array in place by a gain curve over the frequency bins
// (BlockFilter.h). Departs from the frame's loop in two ways: progress comes
// once per block, whether or not TBEventEnabled is set, and there is no cancel
// test (the flag is cleared at the start and never read).
#include <cmath>

#include "transform/TransformFrame.h"
#include "transform/filters/BlockFilter.h"
#include "transform/filters/FastHartleyTransform.h"
#include "transform/HeapBuffer.h"

namespace qelv {
namespace {

// The curve's length must be a power of two with an odd exponent (so that the
// block of twice its length is a power of four), not above the sample count, and
// every gain must be a number: an infinite or NaN gain has no filtered value.
bool CurveIsUsable(const float* curve, std::size_t length, std::size_t n) {
    if (length < 2 || length > 0x7FFFFFFF || n < length) return false;
    const std::int32_t exponent = dsp::PowerOfTwoExponent(static_cast<std::int32_t>(length));
    if (exponent == 0 || exponent % 2 == 0) return false;
    for (std::size_t k = 0; k < length; ++k) {
        if (!std::isfinite(curve[k])) return false;
    }
    return true;
}

}  // namespace

STDMETHODIMP CSonalter2::FFTFilter(SAFEARRAY** WavArray, SAFEARRAY** FFTArray) {
    return RunFrame(*this, EdgeMode::Blend, WavArray, [&](TransformFrame& frame) -> Outcome {
        const ArrayView* curve = nullptr;
        if (HRESULT hr = frame.OpenInput(FFTArray, sizeof(float), 0, &curve); FAILED(hr)) return Outcome::Failed(hr);
        std::int16_t* a = frame.data();
        const std::size_t n = frame.size();
        if (!CurveIsUsable(curve->floats(), curve->size(), n)) return Outcome::Failed(ReportError(INVALIDPARAM));
        LastErrorNum = NOERRORS;

        const std::size_t N = 2 * curve->size();
        HeapBuffer<float> window(N), block(N), spectrum(N), carry(N);
        HeapBuffer<std::uint32_t> reversal(N);
        if (!window || !block || !spectrum || !carry || !reversal) return Outcome::Failed(ReportError(MEMORY));
        dsp::FillSineWindow(window.get(), N);
        dsp::FillBitReversal(reversal.get(), N);
        dsp::BlockFilterLeadIn(a, window.get(), carry.get(), N);
        std::size_t pos = 0;
        for (; pos + N < n; pos += N / 2) {
            dsp::BlockFilterStep(a, pos, curve->floats(), window.get(), reversal.get(), block.get(), spectrum.get(),
                                 carry.get(), N);
            const auto percent = (static_cast<unsigned long long>(pos + N / 2) * 100 / n) % 100;
            frame.FireProgress(static_cast<LONG>(percent));
        }
        dsp::BlockFilterLeadOut(a, pos, window.get(), carry.get(), N);
        return Outcome(true);
    });
}

}  // namespace qelv
