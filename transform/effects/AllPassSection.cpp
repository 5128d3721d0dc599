#include "transform/effects/AllPassSection.h"

#include "transform/effects/SampleStore.h"

namespace qelv::dsp {
namespace {

template <bool Write>
// Reads the samples from in and, when Write, writes y to out (the same array).
void AllPassRange(AllPassSection& section, const std::int16_t* in, std::int16_t* out, std::size_t begin, std::size_t end) {
    const float dry = section.mix.dry;
    const float wet = section.mix.wet;
    const float feedback = section.mix.feedback;
    float* const ring = section.ring;
    std::size_t p = section.position;
    std::size_t i = begin;
    while (i < end) {
        const std::size_t stretch = section.length - p < end - i ? section.length - p : end - i;
        for (std::size_t j = 0; j < stretch; ++j, ++i, ++p) {
            const long double x = in[i];
            const long double b = ring[p];
            const float stored = static_cast<float>(x + feedback * b);
            ring[p] = stored;
            const long double v = b - feedback * static_cast<long double>(stored);
            const float y = static_cast<float>(x * dry + wet * v);
            if constexpr (Write) out[i] = StoreSample(y);
        }
        if (p == section.length) p = 0;
    }
    section.position = p;
}

}  // namespace

void FeedAllPass(AllPassSection& section, const std::int16_t* samples, std::size_t begin, std::size_t end) {
    AllPassRange<false>(section, samples, nullptr, begin, end);
}

void RunAllPass(AllPassSection& section, std::int16_t* samples, std::size_t begin, std::size_t end) {
    AllPassRange<true>(section, samples, samples, begin, end);
}

}  // namespace qelv::dsp
