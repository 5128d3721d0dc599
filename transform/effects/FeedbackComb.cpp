#include "transform/effects/FeedbackComb.h"

#include "transform/effects/SampleStore.h"

namespace qelv::dsp {
namespace {

template <bool Write>
// Reads the samples from in and, when Write, writes y to out (the same array).
void CombRange(FeedbackComb& comb, const std::int16_t* in, std::int16_t* out, std::size_t begin, std::size_t end) {
    const float dry = comb.mix.dry;
    const float wet = comb.mix.wet;
    const float feedback = comb.mix.feedback;
    float* const ring = comb.ring;
    std::size_t p = comb.position;
    std::size_t i = begin;
    while (i < end) {
        // The stretch up to the end of the ring needs no wrap test.
        const std::size_t stretch = comb.length - p < end - i ? comb.length - p : end - i;
        for (std::size_t j = 0; j < stretch; ++j, ++i, ++p) {
            const long double x = in[i];
            const long double b = ring[p];
            const float y = static_cast<float>(x * dry + wet * b);
            ring[p] = static_cast<float>(x + feedback * b);
            if constexpr (Write) out[i] = StoreSample(y);
        }
        if (p == comb.length) p = 0;
    }
    comb.position = p;
}

}  // namespace

void FeedComb(FeedbackComb& comb, const std::int16_t* samples, std::size_t begin, std::size_t end) {
    CombRange<false>(comb, samples, nullptr, begin, end);
}

void RunComb(FeedbackComb& comb, std::int16_t* samples, std::size_t begin, std::size_t end) {
    CombRange<true>(comb, samples, samples, begin, end);
}

}  // namespace qelv::dsp
