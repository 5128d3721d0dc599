// The AVX2 form of the block sweep's polynomial (SweepOffsets.cpp), chosen at
// run time when the processor has AVX2 (vec::HasWide): four samples side by
// side, each lane with the scalar sample's double operations in the same order
// (separate products and sums, no fused multiply-add), so each lane gives the
// scalar df and k. A lane whose interval test fails takes the library sine
// through `exact`, as the scalar loop does.
#pragma once

#include <cstddef>

#include "transform/effects/SweepOffsets.h"

#if defined(__x86_64__) || defined(_M_X64)
#define QELV_HAVE_WIDE_SWEEP 1
#else
#define QELV_HAVE_WIDE_SWEEP 0
#endif

namespace qelv::dsp::wide {

using ExactOffset = void (*)(const SweepArguments& sweep, std::size_t i, float* df, std::size_t* k);

// Samples begin + j for j = first, first + 1, .. in fours while a whole four
// fits before end, of the block whose argument is b (sin(b), cos(b) given).
// Returns the first j it did not fill; adds the lanes `exact` decided to
// *librarySines when that is given.
std::size_t SweepPolynomial(const SweepArguments& sweep, std::size_t begin, std::size_t first, std::size_t end,
                            double b, double sinB, double cosB, float* df, std::size_t* k, ExactOffset exact,
                            std::size_t* librarySines);

}  // namespace qelv::dsp::wide
