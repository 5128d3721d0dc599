// Helpers shared by the rate tests: tones, their measured frequency and
// amplitude, and the check that a call was refused without changing anything.
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

#include "../TestSupport.h"

namespace qelv::test {

inline constexpr HRESULT kInvalidParam = static_cast<HRESULT>(0x8004030B);

inline std::vector<short> Tone(std::size_t n, double hz, double amplitude, double fs = 44100.0) {
    std::vector<short> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<short>(std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / fs)));
    }
    return v;
}

// Frequency from the rising zero crossings in [begin, end), interpolated
// between samples: (crossings - 1) periods between the first and the last.
inline double MeasuredHz(const std::vector<short>& v, std::size_t begin, std::size_t end, double fs = 44100.0) {
    double first = -1.0, last = -1.0;
    int count = 0;
    for (std::size_t i = begin + 1; i < end; ++i) {
        if (v[i - 1] < 0 && v[i] >= 0) {
            const double at = static_cast<double>(i - 1) + static_cast<double>(-v[i - 1]) / (v[i] - v[i - 1]);
            if (count == 0) first = at;
            last = at;
            ++count;
        }
    }
    return count < 2 ? 0.0 : (count - 1) * fs / (last - first);
}

// Peak amplitude of a sine from its RMS over [begin, end).
inline double MeasuredAmplitude(const std::vector<short>& v, std::size_t begin, std::size_t end) {
    double sum = 0.0;
    for (std::size_t i = begin; i < end; ++i) sum += static_cast<double>(v[i]) * v[i];
    return std::sqrt(2.0 * sum / static_cast<double>(end - begin));
}

// The call returned -20 with its message, and the array is the same array with
// the same samples; no event reached the sink.
template <class Call>
void ExpectRefused(Object& o, const std::vector<short>& input, Call call) {
    RecordingSink sink;
    Connection connection(o.get(), &sink);
    SampleArray a(input);
    SAFEARRAY* before = a.get();
    EXPECT_EQ(call(&a), kInvalidParam);
    EXPECT_EQ(TakeErrorDescription(), u"Invalid parameter(argument).");
    ErrorConstants last{};
    o->get_LastErrorNum(&last);
    EXPECT_EQ(last, INVALIDPARAM);
    EXPECT_EQ(a.get(), before);
    EXPECT_EQ(a.values(), input);
    EXPECT_TRUE(sink.events.empty());
}

}  // namespace qelv::test
