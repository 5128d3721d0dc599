// The pitch shift's own complex FFT: in place, radix 2, on N interleaved
// (real, imaginary) 32-bit floats; no scaling in either direction.
//
// Bit-reversal reordering, then log2(N) stages of butterflies. A stage of span
// le (complex points) starts its twiddle at (1, 0) and steps it by the complex
// multiplication with (wr, wi) = (cos(pi / (le/2)), sign * sin(pi / (le/2))):
// the angle is a double, its cosine and sine are rounded to floats, and the
// butterflies and twiddle steps are float arithmetic, each operation rounded.
#pragma once

namespace qelv::dsp {

// sign -1: forward transform (kernel exp(-i...)); +1: inverse. n a power of two.
void VocoderFft(float* data, int n, int sign);

}  // namespace qelv::dsp
