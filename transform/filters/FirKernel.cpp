#include "transform/filters/FirKernel.h"

#include <cmath>

#include "transform/dsp/ExactSums.h"
#include "transform/dsp/Vector.h"
#include "transform/dsp/WideKernels.h"

namespace qelv::dsp {
namespace {

// The limits of this filter: a result above 32767 becomes 32766 (32767 itself
// stays), below -32767 it becomes -32766. NaN (only from taps whose products
// overflow) is written as 0.
inline std::int16_t LimitFir(float acc) {
    if (!(acc == acc)) return 0;
    if (acc > 32767.0f) acc = 32766.0f;
    if (acc < -32767.0f) acc = -32766.0f;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(acc));
}

// The portable fast form: the product of a sample and a tap is exact in double,
// and with the taps' magnitudes limited every partial sum is 0 or at least
// 2^-83 in magnitude (all are multiples of 2^-83), far from the float's
// subnormal range, so SumToFloat rounds each step exactly as extended precision does.
std::int16_t FirSampleDouble(const std::int16_t* x, std::size_t i, const FirTaps& taps) {
    float acc = 0.0f;
    const float* h = taps.h;
    for (std::size_t j = taps.firstNonZero; j < taps.count; ++j) {
        acc = SumToFloat(static_cast<double>(x[i - j]) * h[j], acc);
    }
    return LimitFir(acc);
}

}  // namespace

FirTaps DescribeTaps(const float* h, std::size_t count) {
    FirTaps t;
    t.h = h;
    t.count = count;
    t.firstNonZero = count;
    t.fastForms = true;
    for (std::size_t j = 0; j < count; ++j) {
        const float m = std::fabs(h[j]);
        if (m == 0.0f) continue;
        if (t.firstNonZero == count) t.firstNonZero = j;
        if (!(m >= 0x1p-60f && m <= 0x1p60f)) t.fastForms = false;
    }
    return t;
}

std::int16_t FirSampleExact(const std::int16_t* x, std::size_t i, const FirTaps& taps) {
    float acc = 0.0f;
    for (std::size_t j = 0; j < taps.count; ++j) {
        acc = static_cast<float>(static_cast<long double>(x[i - j]) * taps.h[j] + acc);
    }
    return LimitFir(acc);
}

void FirRangeExact(const std::int16_t* x, std::size_t begin, std::size_t end, const FirTaps& taps,
                   std::int16_t* out) {
    for (std::size_t i = begin; i < end; ++i) out[i - begin] = FirSampleExact(x, i, taps);
}

void FirRange(const std::int16_t* x, std::size_t begin, std::size_t end, const FirTaps& taps, std::int16_t* out,
              float* scratch) {
    if (!taps.fastForms) {
        FirRangeExact(x, begin, end, taps, out);
        return;
    }
    std::size_t done = 0;
#if QELV_HAVE_WIDE_KERNELS
    if (vec::HasWide()) done = wide::FirRange(x, begin, end, taps, out, scratch);
#else
    (void)scratch;
#endif
    for (std::size_t i = begin + done; i < end; ++i) out[i - begin] = FirSampleDouble(x, i, taps);
}

}  // namespace qelv::dsp
