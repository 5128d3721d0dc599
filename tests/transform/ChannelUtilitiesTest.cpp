// Channel and array utilities.
#include <random>

#include "TestSupport.h"
#include "transform/dsp/Vector.h"

namespace qelv::test {
namespace {

// Calls a method returning a new array and takes ownership of the result.
template <class Call>
std::vector<short> Result(Call&& call) {
    SAFEARRAY* out = nullptr;
    EXPECT_EQ(call(&out), S_OK);
    SampleArray owned;
    *(&owned) = out;
    return owned.values();
}

TEST(ChannelUtilities, SplitJoinAndAverage) {
    Object o;
    SampleArray five({1, 2, 3, 4, 5});
    EXPECT_EQ(Result([&](SAFEARRAY** r) { return o->GetLeftStereoChannel(&five, r); }), (std::vector<short>{1, 3}));
    EXPECT_EQ(Result([&](SAFEARRAY** r) { return o->GetRightStereoChannel(&five, r); }), (std::vector<short>{2, 4}));

    SampleArray three({1, 2, 3}), fiveMore({10, 20, 30, 40, 50});
    EXPECT_EQ(Result([&](SAFEARRAY** r) { return o->MakeStereoFromArrays(&three, &fiveMore, r); }),
              (std::vector<short>{1, 10, 2, 20, 3, 30}));
    EXPECT_EQ(Result([&](SAFEARRAY** r) { return o->MakeStereoFromMono(&three, r); }),
              (std::vector<short>{1, 1, 2, 2, 3, 3}));

    SampleArray extremes({32767, 32767, -32768, -32767, -3, 0, 9});
    EXPECT_EQ(Result([&](SAFEARRAY** r) { return o->MakeMonoFromStereo(&extremes, r); }),
              (std::vector<short>{32767, -32767, -1}));
    EXPECT_EQ(Result([&](SAFEARRAY** r) { return o->DuplicateArray(&extremes, r); }), extremes.values());
    EXPECT_EQ(five.values(), (std::vector<short>{1, 2, 3, 4, 5}));  // inputs untouched
}

TEST(ChannelUtilities, MixArraysClampsAndUsesTheShorterLength) {
    Object o;
    SampleArray a({30000, -20000, 100}), b({30000, -20000});
    EXPECT_EQ(Result([&](SAFEARRAY** r) { return o->MixArrays(&a, 100, &b, 100, r); }),
              (std::vector<short>{32767, -32767}));
    SampleArray c({1000, -1000}), d({10, 10});
    EXPECT_EQ(Result([&](SAFEARRAY** r) { return o->MixArrays(&c, -50, &d, 0, r); }),
              (std::vector<short>{-500, 500}));
}

TEST(ChannelUtilities, MixStereoChannelsSwapsWrapsAndLeavesTheOddSample) {
    Object o;
    SampleArray swap({1, 2, 3, 4, 99});
    ASSERT_EQ(o->MixStereoChannels(&swap, 0, 100, 100, 0), S_OK);
    EXPECT_EQ(swap.values(), (std::vector<short>{2, 1, 4, 3, 99}));
    SampleArray wrap({20000, 20000});
    ASSERT_EQ(o->MixStereoChannels(&wrap, 100, 100, 100, 100), S_OK);
    EXPECT_EQ(wrap.values(), (std::vector<short>{-25536, -25536}));
    SampleArray huge({30000, 30000});
    ASSERT_EQ(o->MixStereoChannels(&huge, 1e30f, 0, -1e30f, 0), S_OK);
    EXPECT_EQ(huge.values(), (std::vector<short>{0, 0}));  // outside 32 bits: the conversion's indefinite value
}

// Both mixes sum two exact products; the result must equal a sum formed in
// extended precision, also where the double sum lands on a rounding boundary.
class MixVariants : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { dsp::vec::AllowWide(GetParam()); }
    void TearDown() override { dsp::vec::AllowWide(true); }
};

TEST_P(MixVariants, MixesMatchExtendedPrecisionOnRandomAndBoundaryData) {
    Object o;
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_real_distribution<float> percent(-300, 300);
    for (int round = 0; round < 30; ++round) {
        const std::size_t n = 2 * (1 + rng() % 500);
        std::vector<short> x1(n), x2(n);
        for (std::size_t i = 0; i < n; ++i) {
            x1[i] = static_cast<short>(sample(rng));
            x2[i] = static_cast<short>(sample(rng));
        }
        // Odd rounds use gains far apart in magnitude, where a double sum rounds.
        const float p1 = percent(rng), p2 = round % 2 ? percent(rng) * 1e-7f : percent(rng);
        const float g1 = p1 / 100.0f, g2 = p2 / 100.0f;
        SampleArray a(x1), b(x2);
        const std::vector<short> mixed = Result([&](SAFEARRAY** r) { return o->MixArrays(&a, p1, &b, p2, r); });
        for (std::size_t i = 0; i < n; ++i) {
            float y = static_cast<float>(static_cast<long double>(x1[i]) * g1 + static_cast<long double>(x2[i]) * g2);
            y = std::clamp(y, -32767.0f, 32767.0f);
            ASSERT_EQ(mixed[i], static_cast<short>(y)) << i;
        }

        std::vector<short> stereo(n);
        for (std::size_t i = 0; i < n; i += 2) {
            stereo[i] = x1[i];
            stereo[i + 1] = x2[i];
        }
        SampleArray s(stereo);
        ASSERT_EQ(o->MixStereoChannels(&s, p1, p2, p2, p1), S_OK);
        const std::vector<short> v = s.values();
        for (std::size_t i = 0; i < n; i += 2) {
            const long double l = stereo[i], r = stereo[i + 1];
            const auto low16 = [](long double y) {
                return static_cast<short>(static_cast<std::uint16_t>(static_cast<std::int32_t>(y)));
            };
            ASSERT_EQ(v[i], low16(l * g1 + r * g2)) << i;
            ASSERT_EQ(v[i + 1], low16(l * g2 + r * g1)) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, MixVariants, ::testing::Bool());

}  // namespace
}  // namespace qelv::test
