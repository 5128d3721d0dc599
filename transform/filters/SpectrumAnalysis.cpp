// FFTPower and FFTPhase: the power (dB relative to 32767) and phase (radians)
// spectra of the first block of the array, read from its Hartley transform.
// The array is only read; there are no progress events and no cancel test, and
// the smoothing settings are left alone. EndTransform comes at the end.
#include "transform/TransformFrame.h"
#include "transform/HeapBuffer.h"
#include "transform/filters/SpectrumKernels.h"

namespace qelv {
namespace {

using ReadSpectrum = void (*)(const float* H, std::size_t N, float* out);

HRESULT Analyse(CSonalter2& object, SAFEARRAY** wav, SAFEARRAY** result, ReadSpectrum read) {
    return RunFrame(object, EdgeMode::None, wav, [&](TransformFrame& frame) -> Outcome {
        const std::size_t N = dsp::AnalysisBlockSize(frame.size());
        const ArrayView* out = nullptr;
        if (N == 0) {
            // Two or three samples: an empty spectrum, and no EndTransform either.
            if (HRESULT hr = frame.CreateResult(VT_R4, 0, result, &out); FAILED(hr)) return Outcome::Failed(hr);
            return Outcome(false);
        }
        HeapBuffer<float> block(N);
        if (!block) return Outcome::Failed(object.ReportError(MEMORY));
        if (HRESULT hr = frame.CreateResult(VT_R4, N / 2, result, &out); FAILED(hr)) return Outcome::Failed(hr);
        dsp::ScaledHartleyOfBlock(frame.data(), block.get(), N);
        read(block.get(), N, out->floats());
        return Outcome(true);
    });
}

}  // namespace

STDMETHODIMP CSonalter2::FFTPower(SAFEARRAY** WavArray, SAFEARRAY** dbFFTPowerArray) {
    return Analyse(*this, WavArray, dbFFTPowerArray, dsp::PowerFromHartley);
}

STDMETHODIMP CSonalter2::FFTPhase(SAFEARRAY** WavArray, SAFEARRAY** dbFFTPhaseArray) {
    return Analyse(*this, WavArray, dbFFTPhaseArray, dsp::PhaseFromHartley);
}

}  // namespace qelv
