// TrimLeft and TrimRight: cut the quiet head (or tail) off the array, rounded
// down to an even count so that a stereo array loses whole frames, shorten the
// caller's array in place and fade the new edge. In the transform frame with
// the smoothing properties switched off for a short array and put back, but no
// edge saved or blended. The scan stops at the first loud sample; it tests the
// cancel flag after each quiet sample (a cancel leaves the array unchanged) and
// fires its own progress by its scan index.
#include <cmath>
#include <cstring>

#include "transform/TransformFrame.h"
#include "transform/dsp/SilenceKernels.h"

namespace qelv {
namespace {

// Progress of the scans: TransformBlock after the iteration whose index is a
// multiple of n div 100, when TBEventEnabled is set.
void ScanProgress(TransformFrame& frame, std::size_t index, std::size_t n) {
    CSonalter2& object = frame.object();
    if (!object.TBEventEnabled) return;
    const std::size_t step = n / 100;
    object.ProgressStep = static_cast<LONG>(step);
    if (step != 0 && index % step == 0) frame.FireProgress(static_cast<LONG>(index / step));
}

// A NaN level or time has no threshold or fade length.
bool TrimParametersValid(float level, float fadeTime) { return !std::isnan(level) && !std::isnan(fadeTime); }

}  // namespace

STDMETHODIMP CSonalter2::TrimLeft(SAFEARRAY** WavArray, FLOAT dbTrimLevel, FLOAT FadeTime) {
    if (!TrimParametersValid(dbTrimLevel, FadeTime)) return ReportError(INVALIDPARAM);
    return RunFrame(*this, EdgeMode::SwitchOnly, WavArray, [&](TransformFrame& frame) -> Outcome {
        const std::size_t n = frame.size();
        const std::size_t fade = dsp::FadeLength(ArrayFrequency, FadeTime);
        const std::int32_t threshold = dsp::QuietThreshold(dbTrimLevel);
        const std::int16_t* a = frame.data();
        std::size_t i = 0;
        for (; i < n && dsp::IsQuiet(a[i], threshold); ++i) {
            if (frame.CancelRequested()) return false;
            ScanProgress(frame, i, n);
        }
        const std::size_t cut = (i / 2) * 2;
        if (cut == 0) return true;
        // Checked before anything moves: a refused resize leaves the array as it was.
        if (!frame.MainResizable()) return Outcome::Failed(ReportError(INVALIDPARAM));
        const std::size_t m = n - cut;
        std::memmove(frame.data(), frame.data() + cut, m * sizeof(std::int16_t));
        if (HRESULT hr = frame.ResizeMain(m); FAILED(hr)) return Outcome::Failed(hr);
        // The data block may have moved with the resize.
        if (fade < m) dsp::FadeInHead(frame.data(), fade);
        return true;
    });
}

STDMETHODIMP CSonalter2::TrimRight(SAFEARRAY** WavArray, FLOAT dbTrimLevel, FLOAT FadeTime) {
    if (!TrimParametersValid(dbTrimLevel, FadeTime)) return ReportError(INVALIDPARAM);
    return RunFrame(*this, EdgeMode::SwitchOnly, WavArray, [&](TransformFrame& frame) -> Outcome {
        const std::size_t n = frame.size();
        const std::size_t fade = dsp::FadeLength(ArrayFrequency, FadeTime);
        const std::int32_t threshold = dsp::QuietThreshold(dbTrimLevel);
        const std::int16_t* a = frame.data();
        // quiet: the number of trailing quiet samples; the progress index of
        // sample n-1-quiet is quiet + 1.
        std::size_t quiet = 0;
        for (; quiet < n && dsp::IsQuiet(a[n - 1 - quiet], threshold); ++quiet) {
            if (frame.CancelRequested()) return false;
            ScanProgress(frame, quiet + 1, n);
        }
        const std::size_t cut = (quiet / 2) * 2;
        if (cut == 0) return true;
        if (!frame.MainResizable()) return Outcome::Failed(ReportError(INVALIDPARAM));
        const std::size_t m = n - cut;
        if (HRESULT hr = frame.ResizeMain(m); FAILED(hr)) return Outcome::Failed(hr);
        if (fade < m) dsp::FadeOutTail(frame.data(), m, fade);
        return true;
    });
}

}  // namespace qelv
