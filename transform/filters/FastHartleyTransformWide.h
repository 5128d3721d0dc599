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

// The scalar groups i .. i+count-1 of the block at f in a stage with quarter
// block k1, for the rare lanes the wide form hands back.
using ScalarHartleyGroups = void (*)(float* e, std::size_t f, std::size_t i, std::size_t count, std::size_t k1);

// Every butterfly group (i = 1 .. s/8 - 1) of every block of the stage with
// block size s (s >= 64) over n entries, four groups side by side; the last
// three groups of a block run with the fourth lane dropped (the twiddle table
// has an entry past each stage for its loads). Four groups with a lane that
// needs the extended recomputation are handed to `scalar` instead.
void HartleyStageGroups(float* e, std::size_t n, std::size_t s, const HartleyTwiddlesD& t, ScalarHartleyGroups scalar);

// The same with eight groups side by side (AVX-512: eight doubles per
// operation, the checks in mask registers), for stages with k8 >= 8; the last
// seven groups of a block run with the eighth lane dropped.
void HartleyStageGroups8(float* e, std::size_t n, std::size_t s, const HartleyTwiddlesD& t,
                         ScalarHartleyGroups scalar);

// True when the processor has AVX-512 (F and VL) and the eight-lane form is not
// switched off; AllowEightLanes(false) leaves the four-lane form, so that tests
// can check both on one machine.
bool HasEightLanes();
void AllowEightLanes(bool allow);

}  // namespace qelv::dsp::wide
