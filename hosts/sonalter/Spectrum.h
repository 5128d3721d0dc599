// `sonalter spectrum FILE`: the power spectrum of one block of a file, computed
// by the component's FFTPower, as CSV and as a PNG plot; and the spectral peak
// that `sonalter info` shows.
#pragma once

#include <string>

namespace sonalter {

struct Audio;

// IsSpectrumCommand
//   RETURNS true when the command line asks for `spectrum` (its first word).
bool IsSpectrumCommand(int argc, char** argv);

// RunSpectrum
//   sonalter spectrum FILE [--at SECONDS] [--size N] [--csv[=FILE]] [--png OUT.png]
//   Mixes the channels to one (their mean), takes N frames from SECONDS on
//   (N a power of 4 from 16 to 16384, 16384 by default; fewer when the file ends
//   first: FFTPower then uses the largest power of 4 that fits) and prints the
//   spectrum as CSV (frequency_hz, power_db) unless only --png is given.
//   RETURNS the exit status; throws UsageError or Failure.
int RunSpectrum(int argc, char** argv);

// SpectralPeakText
//   The strongest frequency of the file above 0 Hz: FFTPower of up to 32 blocks
//   of 16384 frames of the channel mean spread over the file, powers averaged,
//   as "1000.5 Hz (-12.0 dB)"; "none (silence)" or "none (too short)" when there
//   is none. Activates the component; throws Failure.
std::string SpectralPeakText(const Audio& audio);

}  // namespace sonalter
