// The block form of the swept line's read offsets against the library sine of
// every sample: the sweeps of real calls over long stretches, the bottom and top
// of the sweep, whole-number and tiny depths, and the ranges that fall back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

#include "transform/FloatEnvironment.h"
#include "transform/dsp/Vector.h"
#include "transform/effects/SweepOffsets.h"

namespace qelv::dsp {
namespace {

// Both forms of the polynomial: four samples side by side (where the processor
// has AVX2) and one at a time.
class SweepForms : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { vec::AllowWide(GetParam()); }
    void TearDown() override { vec::AllowWide(true); }
};
INSTANTIATE_TEST_SUITE_P(Variants, SweepForms, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? std::string("Wide") : std::string("Scalar"); });

TEST_P(SweepForms, BlockFormMatchesTheLibrarySineOfEverySample) {
    const FloatEnvironment environment;
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::size_t compared = 0;
    std::size_t librarySines = 0;
    float fastDf[kSweepBlock], exactDf[kSweepBlock];
    std::size_t fastK[kSweepBlock], exactK[kSweepBlock];
    for (int sweep = 0; sweep < 400; ++sweep) {
        // Rates of 0.1 .. 3 Hz at 6 .. 96 kHz, some far faster; depths of whole
        // ring lengths, small and zero; phases of several turns either way.
        const double frequencies[] = {44100, 8000, 96000, 6000, 22050};
        float rate = static_cast<float>((unit(rng) * 2.9 + 0.1) / frequencies[sweep % 5]);
        if (sweep % 10 == 9) rate *= 200;
        const float phase = static_cast<float>(unit(rng) * 40 - 20);
        const float depth = sweep % 7 == 0 ? 0.0f : static_cast<float>(std::floor(unit(rng) * 4800)) *
                                                          static_cast<float>(sweep % 3 == 0 ? unit(rng) : 1.0);
        const SweepArguments arguments{2.0 * std::numbers::pi * static_cast<double>(rate), phase,
                                       static_cast<double>(depth) * 0.5};
        std::size_t i = sweep % 4 == 0 ? 0 : static_cast<std::size_t>(unit(rng) * 3e7);
        for (int block = 0; block < 40; ++block) {
            const std::size_t count = block % 5 == 4 ? 1 + rng() % kSweepBlock : kSweepBlock;
            SweepOffsets(arguments, i, count, fastDf, fastK, &librarySines);
            SweepOffsetsExact(arguments, i, count, exactDf, exactK);
            for (std::size_t j = 0; j < count; ++j) {
                ASSERT_EQ(fastK[j], exactK[j]) << sweep << " " << i + j;
                ASSERT_EQ(fastDf[j], exactDf[j]) << sweep << " " << i + j;
            }
            compared += count;
            i += count;
        }
    }
    EXPECT_GT(compared, 3000000u);
    // The polynomial decides nearly every sample; fast sweeps fall back as a whole.
    EXPECT_LT(librarySines, compared / 8);
    std::printf("%zu of %zu offsets took the library sine\n", librarySines, compared);
}

}  // namespace
}  // namespace qelv::dsp
