#include "display/CurveSmoothing.h"

#include <cmath>

namespace qelv {
namespace {

struct LowPass {
    FLOAT b0, b1, b2, a1, a2;
};

LowPass Design(LONG steepness, LONG n) {
    // sin and cos are taken in extended precision and rounded to floats, so the
    // two floats do not depend on the last bit of a platform's double sin/cos.
    const double omega = static_cast<double>(steepness) * 3.141592653589793 / n;
    const FLOAT s = static_cast<FLOAT>(std::sin(static_cast<long double>(omega)));
    const FLOAT k = static_cast<FLOAT>(std::cos(static_cast<long double>(omega)));
    const FLOAT alpha = static_cast<FLOAT>(s / (2.0 * 0.3));
    const FLOAT a0 = 1.0f + alpha;
    const FLOAT b0 = (1.0f - k) / 2.0f;
    const FLOAT b1 = 1.0f - k;
    const FLOAT b2 = (1.0f - k) / 2.0f;
    const FLOAT a1 = -2.0f * k;
    const FLOAT a2 = 1.0f - alpha;
    return LowPass{b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

// out[k] for k >= 2 from the inputs in[k], in[k-1], in[k-2] and the outputs
// out[k-1], out[k-2]; the step read forwards or backwards (dir -1) through the
// buffers. out's first two values are the inputs'.
void Run(const LowPass& f, const FLOAT* in, FLOAT* out, LONG n, bool backwards) {
    auto at = [&](LONG k) { return backwards ? n - 1 - k : k; };
    for (LONG k = 0; k < n && k < 2; ++k) out[at(k)] = in[at(k)];
    for (LONG k = 2; k < n; ++k) {
        const double v = static_cast<double>(f.b0) * in[at(k)] + static_cast<double>(f.b1) * in[at(k - 1)] +
                         static_cast<double>(f.b2) * in[at(k - 2)] - static_cast<double>(f.a1) * out[at(k - 1)] -
                         static_cast<double>(f.a2) * out[at(k - 2)];
        out[at(k)] = static_cast<FLOAT>(v);
    }
}

}  // namespace

bool SmoothCurve(FLOAT* values, LONG n, LONG steepness) {
    if (n <= 0) return true;
    const SIZE_T bytes = static_cast<SIZE_T>(n) * sizeof(FLOAT);
    FLOAT* forward = static_cast<FLOAT*>(HeapAlloc(GetProcessHeap(), 0, 2 * bytes));
    if (!forward) return false;
    FLOAT* backward = forward + n;
    const LowPass f = Design(steepness, n);
    Run(f, values, forward, n, false);
    Run(f, values, backward, n, true);
    for (LONG k = 0; k < n; ++k) {
        values[k] = static_cast<FLOAT>((static_cast<double>(forward[k]) + backward[k]) / 2.0);
    }
    HeapFree(GetProcessHeap(), 0, forward);
    return true;
}

}  // namespace qelv
