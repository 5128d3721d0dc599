#include "transform/rate/VocoderFft.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace qelv::dsp {

void VocoderFft(float* data, int n, int sign) {
    // Bit reversal of the complex indices.
    for (int i = 1, j = 0; i < n; ++i) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(data[2 * i], data[2 * j]);
            std::swap(data[2 * i + 1], data[2 * j + 1]);
        }
    }
    for (int le = 2; le <= n; le <<= 1) {
        const int half = le >> 1;
        const double angle = std::numbers::pi / static_cast<double>(half);
        const float wr = static_cast<float>(std::cos(angle));
        const float wi = static_cast<float>(static_cast<double>(sign) * std::sin(angle));
        float ur = 1.0f;
        float ui = 0.0f;
        for (int j = 0; j < half; ++j) {
            for (int i = j; i < n; i += le) {
                float* p1 = data + 2 * i;
                float* p2 = data + 2 * (i + half);
                const float tr = p2[0] * ur - p2[1] * ui;
                const float ti = p2[0] * ui + p2[1] * ur;
                p2[0] = p1[0] - tr;
                p2[1] = p1[1] - ti;
                p1[0] += tr;
                p1[1] += ti;
            }
            const float t = ur * wr - ui * wi;
            ui = ur * wi + ui * wr;
            ur = t;
        }
    }
}

}  // namespace qelv::dsp
