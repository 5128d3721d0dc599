#include "transform/effects/BlockDynamics.h"

#include <cmath>
#include <numbers>

#include "transform/dsp/SampleConversion.h"
#include "transform/dsp/Sine.h"

namespace qelv::dsp {

float DynamicsThreshold(float decibels) {
    float thr = static_cast<float>(std::pow(10.0, static_cast<double>(decibels) / 20.0) * 32767.0);
    if (thr > 32767.0f) thr = 32767.0f;
    if (thr < 0.0f) thr = 0.0f;
    return thr;
}

float CompressorRate(float percent) { return percent / 100.0f; }

float ExpanderRate(float percent) {
    float rate = percent / 100.0f;
    if (rate > 1.0f) rate = 1.0f;
    if (rate < 0.0f) rate = 0.0f;
    return rate;
}

std::size_t DynamicsBlockLength(std::int32_t frequency, float milliseconds, std::size_t n) {
    const long double samples = static_cast<long double>(frequency) * milliseconds / 1000.0L;
    const long double longest = 2.0L * static_cast<long double>(n);
    std::size_t N = 0;
    if (samples >= longest) {
        N = 2 * n;
    } else if (samples >= 1.0L) {
        N = static_cast<std::size_t>(samples);  // truncation toward zero
    } else {
        N = 2;  // covers 0 and below, including -infinity
    }
    N = (N / 2) * 2;
    // A count of 1 would round down to an empty block: it takes the shortest block.
    return N < 2 ? 2 : N;
}

bool DynamicsGain(const DynamicsLaw& law, float peak, float* gain) {
    if (law.expander) {
        if (!(peak < law.threshold)) return false;
        *gain = 1.0f - law.rate;
        return true;
    }
    if (!(peak > law.threshold)) return false;
    const float ratio = law.threshold / peak;
    const float reduction = 1.0f - ratio;
    const float scaled = reduction * law.rate;
    *gain = 1.0f - scaled;
    return true;
}

void BlockDynamics::LeadIn() {
    for (std::size_t k = 0; k < H_; ++k) {
        const float x = static_cast<float>(a_[k]);
        ovl_[k] = x;
        const float w = win_[k + H_];
        const float y = x * w * w;
        a_[k] = static_cast<std::int16_t>(static_cast<std::int32_t>(y));
    }
}

std::int32_t BlockDynamics::NextBlock() {
    std::int16_t* block = a_ + pos_;
    float* blk = blk_;
    const float* win = win_;
    for (std::size_t k = 0; k < H_; ++k) blk[k] = ovl_[k];
    for (std::size_t k = 0; k < H_; ++k) blk[H_ + k] = static_cast<float>(block[H_ + k]);
    float peak = 0.0f;
    for (std::size_t k = 0; k < N_; ++k) {
        const float m = std::fabs(blk[k]);
        peak = m > peak ? m : peak;
    }
    for (std::size_t k = 0; k < N_; ++k) blk[k] = blk[k] * win[k];
    float gain = 1.0f;
    if (DynamicsGain(law_, peak, &gain)) {
        for (std::size_t k = 0; k < N_; ++k) blk[k] = blk[k] * gain;
    }
    for (std::size_t k = 0; k < N_; ++k) blk[k] = blk[k] * win[k];
    for (std::size_t k = 0; k < H_; ++k) ovl_[k] = static_cast<float>(block[H_ + k]);
    for (std::size_t k = 0; k < H_; ++k) blk[k] = blk[k] + static_cast<float>(block[k]);
    for (std::size_t k = 0; k < N_; ++k) block[k] = ClampTruncate(blk[k]);
    const std::int32_t percent =
        static_cast<std::int32_t>((static_cast<std::uint64_t>(pos_ + H_) * 100u / n_) % 100u);
    pos_ += H_;
    return percent;
}

void BlockDynamics::LeadOut() {
    for (std::size_t k = 0; k < H_; ++k) {
        const float w2 = win_[k] * win_[k];
        const float faded = w2 * ovl_[k];
        a_[pos_ + k] = ClampTruncate(static_cast<float>(a_[pos_ + k]) + faded);
    }
}

}  // namespace qelv::dsp
