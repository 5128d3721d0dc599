#include "transform/effects/VibratoWide.h"

#if QELV_HAVE_WIDE_VIBRATO

#include <immintrin.h>

#include <atomic>
#include <cstdint>

#define QELV_VIBRATO_TARGET "avx512f,avx512dq,avx512bw,avx512vl,fma"
#include "transform/effects/VibratoAnchored.h"

namespace qelv::dsp::wide {
namespace {

std::atomic<bool> g_allowEight{true};

// (The zero-masked conversions with a full mask are the plain ones.)
struct EightLanes {
    using V = double __attribute__((vector_size(64)));
    static constexpr std::size_t kCount = 8;

    // The test for a whole number within T: y + 1.5 * 2^20 (|y| <= 2^16) lies
    // in [2^20, 2^21), where a double's unit is 2^-32, so the low 32 bits of
    // the sum's representation are y's fraction (modulo 1, also for negative y)
    // in units of 2^-32, after one rounding of at most 2^-33. With w = 2^(p-1)
    // units the smallest power of two above T + 2^-33, the fraction lies within
    // [-w, w) of a whole number exactly when that of y + w lies within [0, 2w),
    // i.e. when the bits from p to 31 of (y + w) + 1.5 * 2^20 are all zero: one
    // addition (w joins the constant exactly) and one test instruction.
    struct Doubt {
        double offset;  // 1.5 * 2^20 + w
        std::int64_t bits;
    };
    static Doubt MakeDoubt(double bound) {
        int p = 1;
        while (!(static_cast<double>(std::int64_t{1} << (p - 1)) * 0x1p-32 > bound + 0x1p-33)) ++p;
        const double w = static_cast<double>(std::int64_t{1} << (p - 1)) * 0x1p-32;
        const std::uint64_t bits = 0xFFFFFFFFull & ~((std::uint64_t{1} << p) - 1);
        return {0x1.8p20 + w, static_cast<std::int64_t>(bits)};
    }

    QELV_VIBRATO_KERNEL static unsigned Apply(const std::int16_t* in, std::int16_t* out, const double* tc,
                                              const double* ts, V A, V B, const Doubt& doubt) {
        const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        // The samples as doubles (exact), through 64-bit integers: one
        // conversion fewer than adding and subtracting 1.5 * 2^52, and faster
        // than through 32-bit integers (about 5 and 9 % of the kernel's time).
        const __m512d x = _mm512_cvtepi64_pd(_mm512_maskz_cvtepi16_epi64(0xFF, raw));
        const __m512d g = _mm512_fmadd_pd((__m512d)A, _mm512_loadu_pd(tc),
                                          _mm512_fmadd_pd((__m512d)B, _mm512_loadu_pd(ts), _mm512_set1_pd(1.0)));
        const __m512d y = _mm512_mul_pd(g, x);
        const __m512i fraction = _mm512_castpd_si512(_mm512_add_pd(y, _mm512_set1_pd(doubt.offset)));
        // Zero samples are left out (their product is exactly 0).
        const __mmask8 unsure =
            _mm512_mask_testn_epi64_mask(_mm_test_epi16_mask(raw, raw), fraction, _mm512_set1_epi64(doubt.bits));
        // |y| <= 65536 converts exactly; the lower clamp here, on the double
        // before truncating (the same integer as clamping after it, and
        // cheaper than on the eight integers), the upper one by the saturating
        // narrowing to 16 bits.
        const __m512d clamped = _mm512_maskz_max_pd(0xFF, y, _mm512_set1_pd(-kSampleLimit));
        const __m256i whole = _mm512_maskz_cvttpd_epi32(0xFF, clamped);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_maskz_cvtsepi32_epi16(0xFF, whole));
        return unsure;
    }
};

}  // namespace

bool HasVibratoEightLanes() {
    static const bool processor = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                                  __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    return processor && g_allowEight.load(std::memory_order_relaxed);
}

void AllowVibratoEightLanes(bool allow) { g_allowEight.store(allow, std::memory_order_relaxed); }

// As VibratoFours, eight lanes in AVX-512 registers.
__attribute__((target(QELV_VIBRATO_TARGET))) std::size_t VibratoEights(std::int16_t* a, std::size_t begin,
                                                                        std::size_t end, double step, double phase,
                                                                        double depth) {
    return VibratoAnchoredLanes<EightLanes>(a, begin, end, step, phase, depth);
}

}  // namespace qelv::dsp::wide

#endif
