// Portable short vectors (GCC vector extensions) for the kernels' fast paths,
// and the choice between the wide kernels (AVX2 and FMA, WideKernels.h) and these.
//
// A fast path computes whole vectors in a cheaper precision and recognises the
// lanes whose result could differ from the documented precision; a vector with
// such a lane is recomputed sample by sample with the exact scalar code. The
// results are identical to the scalar code in every case; only the speed differs.
#pragma once

// The 32-byte vector helpers are always inlined, so no vector ever crosses a call
// boundary and the note about the AVX calling convention does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qelv::dsp::vec {

typedef float F32x8 __attribute__((vector_size(32)));
typedef std::int32_t I32x8 __attribute__((vector_size(32)));
typedef std::int16_t I16x8 __attribute__((vector_size(16)));
typedef double F64x4 __attribute__((vector_size(32)));
typedef std::int64_t I64x4 __attribute__((vector_size(32)));
typedef std::int32_t I32x4 __attribute__((vector_size(16)));
typedef float F32x4 __attribute__((vector_size(16)));
typedef std::int16_t I16x4 __attribute__((vector_size(8)));

#define QELV_ALWAYS_INLINE inline __attribute__((always_inline))

QELV_ALWAYS_INLINE I16x8 Load8(const std::int16_t* p) {
    I16x8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
QELV_ALWAYS_INLINE void Store8(std::int16_t* p, I16x8 v) { std::memcpy(p, &v, sizeof v); }
QELV_ALWAYS_INLINE I16x4 Load4(const std::int16_t* p) {
    I16x4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
QELV_ALWAYS_INLINE void Store4(std::int16_t* p, I16x4 v) { std::memcpy(p, &v, sizeof v); }

QELV_ALWAYS_INLINE F32x8 ToFloat(I16x8 v) { return __builtin_convertvector(__builtin_convertvector(v, I32x8), F32x8); }
QELV_ALWAYS_INLINE F64x4 ToDouble(I16x4 v) { return __builtin_convertvector(__builtin_convertvector(v, I32x4), F64x4); }

// Eight samples as two vectors of four doubles (exact).
QELV_ALWAYS_INLINE void LoadDouble8(const std::int16_t* p, F64x4& low, F64x4& high) {
    const I32x8 wide = __builtin_convertvector(Load8(p), I32x8);
    low = __builtin_convertvector(__builtin_shufflevector(wide, wide, 0, 1, 2, 3), F64x4);
    high = __builtin_convertvector(__builtin_shufflevector(wide, wide, 4, 5, 6, 7), F64x4);
}

// Stores two vectors of four in-range 32-bit results as eight samples.
QELV_ALWAYS_INLINE void StoreSamples8(std::int16_t* p, I32x4 low, I32x4 high) {
    const I32x8 wide = __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
    Store8(p, __builtin_convertvector(wide, I16x8));
}

// Clamps to -limit .. limit (no NaN may reach here) and truncates toward zero.
QELV_ALWAYS_INLINE I32x4 ClampTruncate(const F64x4& value, double limit) {
    const F64x4 hi = F64x4{} + limit;
    const F64x4 lo = F64x4{} - limit;
    F64x4 v = value > hi ? hi : value;
    v = v < lo ? lo : v;
    return __builtin_convertvector(v, I32x4);
}
QELV_ALWAYS_INLINE I32x8 ClampTruncate(const F32x8& value, float limit) {
    F32x8 v = value;
    const F32x8 hi = F32x8{} + limit;
    const F32x8 lo = F32x8{} - limit;
    v = v > hi ? hi : v;
    v = v < lo ? lo : v;
    return __builtin_convertvector(v, I32x8);
}
QELV_ALWAYS_INLINE I32x4 ClampTruncate(F32x4 v, float limit) {
    const F32x4 hi = F32x4{} + limit;
    const F32x4 lo = F32x4{} - limit;
    v = v > hi ? hi : v;
    v = v < lo ? lo : v;
    return __builtin_convertvector(v, I32x4);
}

QELV_ALWAYS_INLINE bool Any(const I32x8& mask) {
    const I32x4 low = {mask[0], mask[1], mask[2], mask[3]};
    const I32x4 high = {mask[4], mask[5], mask[6], mask[7]};
    const I32x4 both = low | high;
    return (both[0] | both[1] | both[2] | both[3]) != 0;
}
QELV_ALWAYS_INLINE bool Any(const I64x4& mask) { return (mask[0] | mask[1] | mask[2] | mask[3]) != 0; }
QELV_ALWAYS_INLINE bool Any(I32x4 mask) { return (mask[0] | mask[1] | mask[2] | mask[3]) != 0; }

// True when the wide (AVX2 and FMA) kernels run: the processor has both and they
// are not switched off.
bool HasWide();

// Switches the wide variants off (false) or back to what the processor offers
// (true), so that tests can check both variants on one machine.
void AllowWide(bool allow);

}  // namespace qelv::dsp::vec
