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

// The frequency of the strongest component in [begin, end): the peak of the
// Hann-windowed spectrum, searched from 50 Hz to 4 kHz in steps of 3 Hz.
inline double PeakHz(const std::vector<short>& v, std::size_t begin, std::size_t end, double fs = 44100.0) {
    const std::size_t len = end - begin;
    std::vector<double> x(len);
    for (std::size_t i = 0; i < len; ++i) {
        x[i] = v[begin + i] * (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / len));
    }
    double best = 0.0, bestHz = 0.0;
    for (double hz = 50.0; hz < 4000.0; hz += 3.0) {
        // Goertzel recursion at hz.
        const double w = 2.0 * std::cos(2.0 * std::numbers::pi * hz / fs);
        double s1 = 0.0, s2 = 0.0;
        for (double xi : x) {
            const double s0 = xi + w * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - w * s1 * s2;
        if (power > best) best = power, bestHz = hz;
    }
    return bestHz;
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
