#include "transform/filters/BlockFilter.h"

#include <emmintrin.h>

#include <cmath>
#include <numbers>

#include "transform/filters/FastHartleyTransform.h"

namespace qelv::dsp {

namespace {

// Clamps to -32767 .. 32767 and truncates toward zero (the value is finite).
std::int16_t ClampTruncateExtended(long double y) {
    if (y > 32767.0L) y = 32767.0L;
    if (y < -32767.0L) y = -32767.0L;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(y));
}

}  // namespace

void BlockFilterLeadIn(std::int16_t* a, const float* w, float* carry, std::size_t N) {
    const std::size_t half = N / 2;
    for (std::size_t i = 0; i < half; ++i) {
        const float x = static_cast<float>(a[i]);
        carry[i] = x;
        // The product of a sample and two floats is exact in extended precision
        // and at most |x|, so it is truncated as it is (-32768 stays).
        const long double faded = static_cast<long double>(x) * w[half + i] * w[half + i];
        a[i] = static_cast<std::int16_t>(static_cast<std::int32_t>(faded));
    }
}

namespace {

// ClampTruncate without a branch, so that the loops vectorise: NaN becomes 0
// before the clamp, and the clamped value always fits the conversion.
inline std::int16_t ToSample(float y) {
    y = y == y ? y : 0.0f;
    y = y > 32767.0f ? 32767.0f : y;
    y = y < -32767.0f ? -32767.0f : y;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(y));
}

}  // namespace

// The steps are fused where that keeps every operation and its order: each
// entry still takes the same single float operations. Both transforms take
// their input through the bit-reversal table (the windowed samples into block,
// the scaled bins into spectrum), so the permutation costs no pass of its own;
// every entry lands where the permutation would have moved it, with the same
// value.
void BlockFilterStep(std::int16_t* a, std::size_t pos, const float* curve, const float* w,
                     const std::uint32_t* reversal, float* block, float* spectrum, float* carry, std::size_t N) {
    const std::size_t half = N / 2;
    for (std::size_t i = 0; i < half; ++i) block[reversal[i]] = carry[i] * w[i];
    for (std::size_t i = half; i < N; ++i) block[reversal[i]] = static_cast<float>(a[pos + i]) * w[i];

    HartleyStages(block, N);
    // reversal[0] = 0; the Nyquist entry passes unscaled.
    spectrum[0] = block[0] * curve[0];
    spectrum[reversal[half]] = block[half];
    for (std::size_t k = 1; k < half; ++k) {
        spectrum[reversal[k]] = block[k] * curve[k];
        spectrum[reversal[N - k]] = block[N - k] * curve[k];
    }
    block = spectrum;
    HartleyStages(block, N);
    // Dividing by N, a power of two, is the same as multiplying by its exact
    // reciprocal (both round the same scaled value). The peak for the limiting
    // is kept per lane: MAXPS gives its second operand when the first is NaN, so
    // a NaN entry never counts as the peak, and without NaNs the lanes' maxima
    // combine in any order. (N is a multiple of 4.)
    const __m128 inverse = _mm_set1_ps(1.0f / static_cast<float>(N));
    const __m128 magnitudeMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    __m128 lanePeak = _mm_setzero_ps();
    for (std::size_t i = 0; i < N; i += 4) {
        const __m128 v = _mm_mul_ps(_mm_loadu_ps(block + i), inverse);
        _mm_storeu_ps(block + i, v);
        lanePeak = _mm_max_ps(_mm_and_ps(v, magnitudeMask), lanePeak);
    }
    float lanes[4];
    _mm_storeu_ps(lanes, lanePeak);
    float peak = 0.0f;
    for (float m : lanes) peak = m > peak ? m : peak;
    if (peak > 32767.0f) {
        const long double scale = 32767.0L / peak;
        for (std::size_t i = 0; i < N; ++i) block[i] = static_cast<float>(block[i] * scale);
    }

    // The first half adds the previous tail; the raw samples of the second half
    // go to carry before the second half is written.
    for (std::size_t i = 0; i < half; ++i) {
        carry[i] = static_cast<float>(a[pos + half + i]);
        a[pos + i] = ToSample(block[i] * w[i] + static_cast<float>(a[pos + i]));
    }
    for (std::size_t i = half; i < N; ++i) a[pos + i] = ToSample(block[i] * w[i]);
}

void BlockFilterLeadOut(std::int16_t* a, std::size_t pos, const float* w, const float* carry, std::size_t N) {
    for (std::size_t i = 0; i < N / 2; ++i) {
        const long double y = a[pos + i] + static_cast<long double>(w[i]) * w[i] * carry[i];
        a[pos + i] = ClampTruncateExtended(y);
    }
}

}  // namespace qelv::dsp
