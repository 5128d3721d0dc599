// An independent model of the spectral arithmetic for the tests, written
// straight from the staging: the transform with its loops in the documented
// order (group i outer, blocks inner), the angles computed per group from the
// transform length, the bit reversal by reversing index bits, and every
// expression formed in long double and rounded where an entry is stored.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

namespace qelv::test::model {

using L = long double;

inline void SumDiff(std::vector<float>& e, std::size_t p, std::size_t q) {
    e[p] = static_cast<float>(static_cast<L>(e[p]) + e[q]);
    e[q] = static_cast<float>(static_cast<L>(e[p]) - 2.0L * e[q]);
}

inline std::size_t ReverseBits(std::size_t i, std::size_t bits) {
    std::size_t r = 0;
    for (std::size_t b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
    return r;
}

inline void Hartley(std::vector<float>& e) {
    const std::size_t N = e.size();
    std::size_t bits = 0;
    while ((std::size_t{1} << bits) < N) ++bits;
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t r = ReverseBits(i, bits);
        if (i < r) std::swap(e[i], e[r]);
    }
    for (std::size_t s = 4; s <= N; s *= 4) {
        const std::size_t k1 = s / 4, k2 = s / 2, k3 = k1 + k2, k8 = s / 8;
        for (std::size_t f = 0; f < N; f += s) {
            SumDiff(e, f, f + k1);
            SumDiff(e, f + k2, f + k3);
            SumDiff(e, f, f + k2);
            SumDiff(e, f + k1, f + k3);
            if (s == 4) continue;
            const std::size_t g = f + k8;
            SumDiff(e, g, g + k1);
            e[g + k2] = static_cast<float>(e[g + k2] * static_cast<L>(1.4142135623730951));
            e[g + k3] = static_cast<float>(e[g + k3] * static_cast<L>(1.4142135623730951));
            SumDiff(e, g, g + k2);
            SumDiff(e, g + k1, g + k3);
        }
        for (std::size_t i = 1; i < k8; ++i) {
            const long long K = ((static_cast<long long>(N) * static_cast<long long>(i) / 4) / static_cast<long long>(k1)) * 2;
            const double theta = static_cast<double>(K * static_cast<L>(std::numbers::pi) / static_cast<L>(N));
            const float c1 = static_cast<float>(std::cos(theta)), s1 = static_cast<float>(std::sin(theta));
            const float c2 = static_cast<float>(static_cast<L>(c1) * c1 - static_cast<L>(s1) * s1);
            const float s2 = static_cast<float>(2.0L * c1 * s1);
            auto rot = [](float c, float u, float s, float v) { return static_cast<float>(static_cast<L>(c) * u + static_cast<L>(s) * v); };
            auto rotd = [](float s, float u, float c, float v) { return static_cast<float>(static_cast<L>(s) * u - static_cast<L>(c) * v); };
            for (std::size_t a = i, b = k1 - i; a < N; a += s, b += s) {
                float u = e[a + k1], v = e[b + k1];
                e[a + k1] = rot(c2, u, s2, v);
                e[b + k1] = rotd(s2, u, c2, v);
                SumDiff(e, a, a + k1);
                SumDiff(e, b, b + k1);
                u = e[a + k3], v = e[b + k3];
                e[a + k3] = rot(c2, u, s2, v);
                e[b + k3] = rotd(s2, u, c2, v);
                SumDiff(e, a + k2, a + k3);
                SumDiff(e, b + k2, b + k3);
                u = e[a + k2], v = e[b + k3];
                e[a + k2] = rot(c1, u, s1, v);
                e[b + k3] = rotd(s1, u, c1, v);
                SumDiff(e, a, a + k2);
                SumDiff(e, b + k1, b + k3);
                u = e[b + k2], v = e[a + k3];
                e[b + k2] = rot(s1, u, c1, v);
                e[a + k3] = rotd(c1, u, s1, v);
                SumDiff(e, a + k1, a + k3);
                SumDiff(e, b, b + k2);
            }
        }
    }
}

inline short ClipTrunc(L y) {
    if (std::isnan(y)) return 0;
    if (y > 32767) y = 32767;
    if (y < -32767) y = -32767;
    return static_cast<short>(static_cast<int>(y));
}

// The block filter on samples a with curve c (no edge smoothing).
inline void BlockFilter(std::vector<short>& a, const std::vector<float>& c) {
    const std::size_t n = a.size(), N = 2 * c.size(), h = N / 2;
    std::vector<float> w(N), block(N), carry(N);
    for (std::size_t i = 0; i < N; ++i) {
        w[i] = static_cast<float>(std::sin(static_cast<double>(i) * std::numbers::pi / static_cast<double>(N)));
    }
    for (std::size_t i = 0; i < h; ++i) {
        carry[i] = a[i];
        a[i] = static_cast<short>(static_cast<int>(static_cast<L>(a[i]) * w[h + i] * w[h + i]));
    }
    long long pos = 0;
    for (; pos < static_cast<long long>(n) - static_cast<long long>(N); pos += static_cast<long long>(h)) {
        for (std::size_t i = 0; i < h; ++i) block[i] = carry[i];
        for (std::size_t i = 0; i < h; ++i) block[h + i] = a[pos + h + i];
        for (std::size_t i = 0; i < N; ++i) block[i] = block[i] * w[i];
        Hartley(block);
        block[0] = block[0] * c[0];
        for (std::size_t k = 1; k < h; ++k) {
            block[k] = block[k] * c[k];
            block[N - k] = block[N - k] * c[k];
        }
        Hartley(block);
        for (float& v : block) v = v / static_cast<float>(N);
        float peak = 0;
        for (float v : block) peak = std::fabs(v) > peak ? std::fabs(v) : peak;
        if (peak > 32767) {
            for (float& v : block) v = static_cast<float>(v * (32767.0L / peak));
        }
        for (std::size_t i = 0; i < N; ++i) block[i] = block[i] * w[i];
        for (std::size_t i = 0; i < h; ++i) carry[i] = a[pos + h + i];
        for (std::size_t i = 0; i < h; ++i) block[i] = block[i] + a[pos + i];
        for (std::size_t i = 0; i < N; ++i) a[pos + i] = ClipTrunc(block[i]);
    }
    for (std::size_t i = 0; i < h; ++i) {
        a[pos + i] = ClipTrunc(a[pos + i] + static_cast<L>(w[i]) * w[i] * carry[i]);
    }
}

}  // namespace qelv::test::model
