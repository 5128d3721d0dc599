// Audio files through libsndfile: reading any format it knows into 16-bit
// interleaved samples, choosing the output format from a file name, writing
// through a PendingFile, and the facts `sonalter info` shows.
#pragma once

#include <qelvsonalter2/platform.h>

#include <span>
#include <string>
#include <vector>

namespace sonalter {

class PendingFile;

struct Audio {
    std::vector<SHORT> samples;  // interleaved, frame after frame
    int channels = 0;
    int rate = 0;
    int format = 0;  // libsndfile's format code of the file it came from
};

// ReadAudio
//   Reads a whole file, converted to 16-bit samples: deeper integer data is
//   rounded, float data is scaled from +-1 and clipped beyond full scale (NaN
//   becomes 0).
//   [in] path  any file libsndfile reads
//   RETURNS the samples; throws Failure saying why the file cannot be read, or
//   that it is longer than one sample array can hold (2^31 - 1 samples).
Audio ReadAudio(const std::string& path);

// OutputFormat
//   The libsndfile format for an output name: the container from the extension,
//   the encoding from subtype or, when subtype is empty, 16-bit PCM (or the
//   container's own codec where PCM does not fit: Vorbis for .ogg, Opus for .opus,
//   MPEG layer III for .mp3).
//   [in] path     the output file name
//   [in] subtype  a name from SubtypeNames(), or ""
//   RETURNS the format code; throws UsageError for an unknown extension or subtype.
int OutputFormat(const std::string& path, const std::string& subtype);

// CheckWritable
//   Throws UsageError when libsndfile cannot write format with this channel count
//   and rate (for example Opus at 22050 Hz, or 9 channels in FLAC).
void CheckWritable(int format, int channels, int rate, const std::string& path);

// WriteAudio
//   Writes interleaved samples to the pending file's descriptor. The file is not
//   committed here. Throws Failure when writing fails (a full disk, for example).
void WriteAudio(PendingFile& file, std::span<const SHORT> samples, int channels, int rate, int format);

// DescribeFormat
//   RETURNS e.g. "WAV (Microsoft), Signed 16 bit PCM".
std::string DescribeFormat(int format);

// SubtypeNames / ExtensionNames
//   RETURNS the accepted --subtype names and output extensions, for help texts.
std::vector<std::string> SubtypeNames();
std::vector<std::string> ExtensionNames();

// PeakLevels
//   RETURNS the largest magnitude of each channel, 0 .. 32768.
std::vector<int> PeakLevels(std::span<const SHORT> samples, int channels);

// Summary
//   RETURNS one line about audio: "2 channels, 22050 Hz, 3.68 s, peak -1.0 dBFS".
std::string Summary(std::span<const SHORT> samples, int channels, int rate);

// DecibelsFullScale
//   RETURNS 20 log10(peak / 32768), "-inf" for silence, as text with one decimal.
std::string DecibelsFullScale(int peak);

}  // namespace sonalter
