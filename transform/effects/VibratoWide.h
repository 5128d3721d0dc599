// The four-lane form of Vibrato's per-sample gain (Modulation.cpp), chosen at
// run time when the processor has AVX2 (vec::HasWide). Each lane runs the own
// sine's double-precision path (SineKernels.h) with the scalar code's
// operations in the same order, plain products and sums without fused
// multiply-adds, so its bits are the scalar ones; four samples of which one
// has an argument for the extended-precision path (|x| >= 1.6e6, or not
// finite) take the scalar Sine one by one.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#define QELV_HAVE_WIDE_VIBRATO 1
#else
#define QELV_HAVE_WIDE_VIBRATO 0
#endif

namespace qelv::dsp::wide {

// a[i] = ClampTruncate((Sine(step * i + phase) * depth + 1) * a[i]) for
// i = begin, begin + 1, .. in fours while a whole four fits before end.
// Returns the first index it did not write (fewer than four before end).
std::size_t VibratoFours(std::int16_t* a, std::size_t begin, std::size_t end, double step, double phase,
                         double depth);

// The same eight samples at a time (AVX-512 F), where HasVibratoEightLanes().
std::size_t VibratoEights(std::int16_t* a, std::size_t begin, std::size_t end, double step, double phase,
                          double depth);

// True when the processor has AVX-512 F and the eight-lane form is not switched
// off; AllowVibratoEightLanes(false) leaves the four-lane form (for tests).
bool HasVibratoEightLanes();
void AllowVibratoEightLanes(bool allow);

}  // namespace qelv::dsp::wide
