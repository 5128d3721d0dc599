// The lane forms of Vibrato's per-sample gain (Modulation.cpp), chosen at run
// time: four lanes when the processor has AVX2 and FMA (vec::HasWide), eight
// with AVX-512 F, DQ, BW and VL. Each block of samples takes its sine from one
// exact sine and cosine and short series, and a sample whose result could then
// differ from the per-sample formula's takes the formula (VibratoAnchored.h
// explains the bound), so the results are the scalar code's, bit for bit.
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

// The same eight samples at a time (AVX-512), where HasVibratoEightLanes().
std::size_t VibratoEights(std::int16_t* a, std::size_t begin, std::size_t end, double step, double phase,
                          double depth);

// True when the processor has AVX-512 F, DQ, BW and VL and the eight-lane form
// is not switched off; AllowVibratoEightLanes(false) leaves the four-lane form
// (for tests).
bool HasVibratoEightLanes();
void AllowVibratoEightLanes(bool allow);

}  // namespace qelv::dsp::wide
