// The AVX2 form of the transform's butterfly groups (FastHartleyTransform.cpp),
// chosen at run time when the processor has AVX2 (vec::HasWide). Four groups
// i .. i+3 of one block run side by side, each lane with the same operations in
// the same order as the scalar group, so the results are identical; a lane whose
// rotation needs the extended-precision recomputation sends the four groups back
// to the scalar code.
#pragma once

#include <cstddef>

#if defined(__x86_64__) || defined(_M_X64)
#define QELV_HAVE_WIDE_HARTLEY 1
#else
#define QELV_HAVE_WIDE_HARTLEY 0
#endif

namespace qelv::dsp::wide {

// The twiddles of one stage as doubles, entry i for group i (the float values
// of HartleyTwiddle, converted exactly).
struct HartleyTwiddlesD {
    const double* c1;
    const double* s1;
    const double* c2;
    const double* s2;
};

// The first stage (block size 4) over n entries, n a multiple of 16: four
// blocks side by side.
void HartleyFirstStage(float* e, std::size_t n);

// The second stage (block size 16) of the four blocks at f .. f+63, with the
// stage's twiddles. Returns false, with nothing written, when a lane must take
// the scalar path.
bool HartleySecondStage4(float* e, std::size_t f, const HartleyTwiddlesD& t);

// Runs the groups i .. i+lanes-1 (lanes 4 or 3, i + lanes - 1 < k1 / 2) of the
// block at f; with 3 lanes the fourth lane's loads and twiddles are read but
// nothing of it is kept (the twiddle table has an entry past each stage for
// it). Returns false, with nothing written, when one of them must take the
// scalar path.
bool HartleyGroups(float* e, std::size_t f, std::size_t i, std::size_t k1, const HartleyTwiddlesD& t, int lanes);

}  // namespace qelv::dsp::wide
