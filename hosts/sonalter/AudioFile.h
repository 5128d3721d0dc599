// Audio files through libsndfile: reading any format it knows into 16-bit
// interleaved samples, choosing the output format from a file name, writing
// through a PendingFile, and the facts `sonalter info` shows.
#pragma once

#include "SafeArrays.h"

#include <qelvsonalter2/platform.h>

#include <span>
#include <string>
#include <vector>

namespace sonalter {

class PendingFile;

// What a file says about itself before its samples are read.
struct AudioInfo {
    int channels = 0;
    int rate = 0;
    int format = 0;        // libsndfile's format code
    long long frames = -1;  // -1 when the file does not tell its length
};

// An audio file opened for reading.
class AudioReader {
public:
    // Opens path; throws Failure saying why the file cannot be read.
    explicit AudioReader(const std::string& path);
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;
    ~AudioReader();

    const AudioInfo& Info() const { return info_; }
    const std::string& Path() const { return path_; }

    // Samples
    //   RETURNS frames times channels as the file states them, 0 when unknown.
    size_t Samples() const;

    // ReadAll
    //   Reads every sample straight into the data block of a new sample array:
    //   16-bit data as it is, other encodings converted in small chunks (deeper
    //   integer data rounded, float data scaled from +-1 and clipped beyond full
    //   scale, NaN as 0). A file that does not know its length is read to its
    //   end, the array growing as it goes; the array is trimmed to what was read.
    //   RETURNS the array; throws Failure for a read error or more samples than one
    //   sample array can hold (2^31 - 1).
    ArrayOwner ReadAll();

private:
    std::string path_;
    AudioInfo info_;
    void* file_ = nullptr;  // SNDFILE*
};

struct Audio {
    ArrayOwner samples;  // interleaved, frame after frame
    int channels = 0;
    int rate = 0;
    int format = 0;  // libsndfile's format code of the file it came from
};

// ReadAudio
//   Opens and reads a whole file (AudioReader::ReadAll).
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
//   Writes interleaved samples to the pending file's descriptor, straight from
//   them for integer encodings and through small chunks for float ones. Write-back
//   to disk is started as the data goes out, so that the flush at commit finds
//   little left to do; the file is not committed here.
//   Throws Failure when writing fails (a full disk, for example).
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
