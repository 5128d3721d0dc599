#include "AudioFile.h"

#include "Errors.h"
#include "PendingFile.h"
#include "Text.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sys/stat.h>

namespace sonalter {

namespace {

struct SubtypeName {
    const char* name;
    int subtype;
};

// Short names for the encodings worth choosing on a command line.
constexpr SubtypeName kSubtypes[] = {
    {"pcm8", SF_FORMAT_PCM_S8},      {"pcm16", SF_FORMAT_PCM_16},     {"pcm24", SF_FORMAT_PCM_24},
    {"pcm32", SF_FORMAT_PCM_32},     {"float", SF_FORMAT_FLOAT},      {"double", SF_FORMAT_DOUBLE},
    {"ulaw", SF_FORMAT_ULAW},        {"alaw", SF_FORMAT_ALAW},        {"ima-adpcm", SF_FORMAT_IMA_ADPCM},
    {"ms-adpcm", SF_FORMAT_MS_ADPCM}, {"gsm610", SF_FORMAT_GSM610},   {"vorbis", SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OPUS},        {"mp3", SF_FORMAT_MPEG_LAYER_III}, {"alac16", SF_FORMAT_ALAC_16},
    {"alac24", SF_FORMAT_ALAC_24},
};

struct ExtensionAlias {
    const char* extension;
    int major;
    int preferredSubtype;  // 0: 16-bit PCM
};

// Extensions libsndfile does not list itself, or lists under another container.
constexpr ExtensionAlias kAliases[] = {
    {"wave", SF_FORMAT_WAV, 0},
    {"aif", SF_FORMAT_AIFF, 0},
    {"aifc", SF_FORMAT_AIFF, 0},
    {"snd", SF_FORMAT_AU, 0},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS},
    {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III},
    {"mp2", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_II},
    {"m1a", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III},
};

struct FormatChoice {
    int major = 0;
    int preferredSubtype = 0;
};

std::string Extension(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext.empty() ? std::string() : Lower(ext.substr(1));
}

FormatChoice ChooseMajor(const std::string& extension) {
    for (const ExtensionAlias& a : kAliases) {
        if (extension == a.extension) return {a.major, a.preferredSubtype};
    }
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0 || !info.extension) continue;
        // The first container with an extension wins: WAV (Microsoft) before NIST and WAVEX.
        if (extension == info.extension) return {info.format & SF_FORMAT_TYPEMASK, 0};
    }
    return {};
}

std::string FormatName(int code) {
    SF_FORMAT_INFO info{};
    info.format = code;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name) {
        return info.name;
    }
    return "format " + Hex(code);
}

SHORT ToSample(double fullScale) {
    if (std::isnan(fullScale)) return 0;
    const double scaled = std::nearbyint(fullScale * 32768.0);
    return static_cast<SHORT>(std::clamp(scaled, -32768.0, 32767.0));
}

std::string SystemReason(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    return {};
}

}  // namespace

AudioReader::AudioReader(const std::string& path) : path_(path) {
    if (const std::string reason = SystemReason(path); !reason.empty()) {
        throw Failure("cannot read " + path + ": " + reason);
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        const bool unknown = sf_error(nullptr) == SF_ERR_UNRECOGNISED_FORMAT;
        throw Failure("cannot read " + path + ": " + sf_strerror(nullptr) +
                      (unknown ? " (libsndfile reads WAV, FLAC, OGG, MP3, AIFF, CAF and more; convert other "
                                 "formats first)"
                               : ""));
    }
    file_ = file;
    if (info.channels <= 0 || info.samplerate <= 0) {
        sf_close(file);
        file_ = nullptr;
        throw Failure("cannot read " + path + ": no channels or no rate");
    }
    info_.channels = info.channels;
    info_.rate = info.samplerate;
    info_.format = info.format;
    // Streams that cannot tell their length report 0, or the largest byte count
    // divided by the frame size (a stream header whose size field says
    // "unknown"): no real file comes near 2^56 frames.
    const bool told = info.frames > 0 && info.frames < (SF_COUNT_MAX >> 7);
    info_.frames = told ? static_cast<long long>(info.frames) : -1;
}

AudioReader::~AudioReader() {
    if (file_) sf_close(static_cast<SNDFILE*>(file_));
}

size_t AudioReader::Samples() const {
    return info_.frames > 0 ? static_cast<size_t>(info_.frames) * static_cast<size_t>(info_.channels) : 0;
}

ArrayOwner AudioReader::ReadAll() {
    SNDFILE* file = static_cast<SNDFILE*>(file_);
    const size_t channels = static_cast<size_t>(info_.channels);
    const size_t limit = static_cast<size_t>(std::numeric_limits<LONG>::max()) / channels * channels;
    if (Samples() > limit) {
        throw Failure("cannot read " + path_ + ": longer than one sample array can hold (" + std::to_string(limit) +
                      " samples)");
    }
    // 16-bit data goes straight into the array. Everything else is read as
    // double, which libsndfile scales to full scale +-1 for every encoding (its
    // float-to-short reading would not scale float files), and rounded to 16
    // bits here: exact for 16-bit values, rounded for deeper ones, clipped beyond
    // full scale.
    const bool direct = (info_.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
    constexpr size_t kChunkFrames = 65536;
    std::vector<double> chunk(direct ? 0 : kChunkFrames * channels);

    size_t capacity = Samples() > 0 ? Samples() : kChunkFrames * channels * 16;
    ArrayOwner array = NewShortArray(std::min(capacity, limit));
    capacity = ElementCount(array.get());
    size_t filled = 0;
    std::vector<SHORT> probe(channels);
    std::vector<double> probeValues(channels);
    for (;;) {
        if (capacity - filled < channels) {
            size_t carried = 0;
            if (info_.frames > 0) {
                // The stated length is read: one more frame tells whether the file
                // holds more than it said (some formats only estimate).
                if (direct) {
                    if (sf_readf_short(file, probe.data(), 1) != 1) break;
                } else {
                    if (sf_readf_double(file, probeValues.data(), 1) != 1) break;
                    std::transform(probeValues.begin(), probeValues.end(), probe.begin(), ToSample);
                }
                carried = channels;
            }
            if (capacity >= limit) {
                throw Failure("cannot read " + path_ + ": longer than one sample array can hold (" +
                              std::to_string(limit) + " samples)");
            }
            const size_t step = (info_.frames > 0 ? std::max(capacity / 8, kChunkFrames * channels)
                                                  : std::max(capacity / 2, kChunkFrames * channels)) /
                                channels * channels;
            capacity = std::min(limit, capacity + step);
            ResizeShortArray(array.get(), capacity);
            if (carried) {
                SampleElements elements(array.get());
                std::copy(probe.begin(), probe.end(), elements.Span().begin() + static_cast<std::ptrdiff_t>(filled));
                filled += carried;
                continue;
            }
        }
        const size_t roomFrames = std::min(kChunkFrames * (direct ? 16 : 1), (capacity - filled) / channels);
        sf_count_t got = 0;
        {
            SampleElements elements(array.get());
            SHORT* at = elements.Span().data() + filled;
            if (direct) {
                got = sf_readf_short(file, at, static_cast<sf_count_t>(roomFrames));
            } else {
                got = sf_readf_double(file, chunk.data(), static_cast<sf_count_t>(roomFrames));
                for (size_t i = 0; i < static_cast<size_t>(std::max<sf_count_t>(got, 0)) * channels; ++i) {
                    at[i] = ToSample(chunk[i]);
                }
            }
        }
        if (got <= 0) break;
        filled += static_cast<size_t>(got) * channels;
    }
    if (sf_error(file) != SF_ERR_NO_ERROR) throw Failure("cannot read " + path_ + ": " + sf_strerror(file));
    if (filled != capacity) ResizeShortArray(array.get(), filled);
    return array;
}

Audio ReadAudio(const std::string& path) {
    AudioReader reader(path);
    Audio audio;
    audio.channels = reader.Info().channels;
    audio.rate = reader.Info().rate;
    audio.format = reader.Info().format;
    audio.samples = reader.ReadAll();
    return audio;
}

int OutputFormat(const std::string& path, const std::string& subtype) {
    const std::string extension = Extension(path);
    const FormatChoice choice = ChooseMajor(extension);
    if (choice.major == 0) {
        throw UsageError("cannot tell the output format from " +
                         (extension.empty() ? "a name without extension" : "the extension ." + extension) + " (" +
                         path + "); use one of: " + [] {
                             std::string list;
                             for (const std::string& e : ExtensionNames()) list += (list.empty() ? "" : " ") + e;
                             return list;
                         }());
    }
    int sub = choice.preferredSubtype ? choice.preferredSubtype : SF_FORMAT_PCM_16;
    if (!subtype.empty()) {
        sub = 0;
        for (const SubtypeName& s : kSubtypes) {
            if (EqualsIgnoreCase(subtype, s.name)) sub = s.subtype;
        }
        if (sub == 0) {
            std::string list;
            for (const std::string& n : SubtypeNames()) list += (list.empty() ? "" : " ") + n;
            throw UsageError("unknown --subtype " + subtype + "; use one of: " + list);
        }
        // WAV keeps 8-bit data unsigned.
        if (sub == SF_FORMAT_PCM_S8 && (choice.major == SF_FORMAT_WAV || choice.major == SF_FORMAT_RF64 ||
                                        choice.major == SF_FORMAT_W64)) {
            sub = SF_FORMAT_PCM_U8;
        }
    }
    return choice.major | sub;
}

void CheckWritable(int format, int channels, int rate, const std::string& path) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    if (!sf_format_check(&info)) {
        throw UsageError("cannot write " + path + " as " + DescribeFormat(format) + " with " + std::to_string(channels) +
                         (channels == 1 ? " channel" : " channels") + " at " + std::to_string(rate) +
                         " Hz; choose another extension or --subtype");
    }
}

void WriteAudio(PendingFile& file, std::span<const SHORT> samples, int channels, int rate, int format) {
    CheckWritable(format, channels, rate, file.Target());
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    SNDFILE* out = sf_open_fd(file.Descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (!out) throw Failure("cannot write " + file.Target() + ": " + sf_strerror(nullptr));
    const size_t frames = samples.size() / static_cast<size_t>(channels);
    const int subtype = format & SF_FORMAT_SUBMASK;
    const bool scaled = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
    // About 4 MiB of samples per step: small enough to start write-back early,
    // large enough that the calls cost nothing.
    const size_t stepFrames = std::max<size_t>(1, (size_t{2} << 20) / static_cast<size_t>(channels));
    std::vector<double> converted(scaled ? std::min(frames, stepFrames) * static_cast<size_t>(channels) : 0);
    bool ok = true;
    for (size_t done = 0; done < frames && ok;) {
        const size_t n = std::min(stepFrames, frames - done);
        const SHORT* from = samples.data() + done * static_cast<size_t>(channels);
        sf_count_t written = 0;
        if (scaled) {
            // libsndfile stores shorts in float files unscaled; full scale there is +-1.
            for (size_t i = 0; i < n * static_cast<size_t>(channels); ++i) converted[i] = from[i] / 32768.0;
            written = sf_writef_double(out, converted.data(), static_cast<sf_count_t>(n));
        } else {
            written = sf_writef_short(out, from, static_cast<sf_count_t>(n));
        }
        ok = written == static_cast<sf_count_t>(n);
        done += n;
        file.StartWriteBack();
    }
    const std::string error = ok ? std::string() : sf_strerror(out);
    const int closeStatus = sf_close(out);
    if (!ok) throw Failure("cannot write " + file.Target() + ": " + error);
    if (closeStatus != 0) throw Failure("cannot write " + file.Target() + ": " + sf_error_number(closeStatus));
}

std::string DescribeFormat(int format) {
    return FormatName(format & SF_FORMAT_TYPEMASK) + ", " + FormatName(format & SF_FORMAT_SUBMASK);
}

std::vector<std::string> SubtypeNames() {
    std::vector<std::string> names;
    for (const SubtypeName& s : kSubtypes) names.emplace_back(s.name);
    return names;
}

std::vector<std::string> ExtensionNames() {
    std::vector<std::string> names;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.extension) {
            names.emplace_back(info.extension);
        }
    }
    for (const ExtensionAlias& a : kAliases) names.emplace_back(a.extension);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::vector<int> PeakLevels(std::span<const SHORT> samples, int channels) {
    const size_t n = static_cast<size_t>(std::max(channels, 1));
    std::vector<int> peaks(n, 0);
    for (size_t c = 0; c < n; ++c) {
        int peak = 0;
        for (size_t i = c; i < samples.size(); i += n) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        peaks[c] = peak;
    }
    return peaks;
}

std::string DecibelsFullScale(int peak) {
    if (peak <= 0) return "-inf dBFS";
    return Fixed(20.0 * std::log10(peak / 32768.0), 1) + " dBFS";
}

std::string Summary(std::span<const SHORT> samples, int channels, int rate) {
    const std::vector<int> peaks = PeakLevels(samples, channels);
    const int peak = *std::max_element(peaks.begin(), peaks.end());
    const size_t frames = channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0;
    return std::to_string(channels) + (channels == 1 ? " channel, " : " channels, ") + std::to_string(rate) + " Hz, " +
           Fixed(rate > 0 ? static_cast<double>(frames) / rate : 0.0, 2) + " s, peak " + DecibelsFullScale(peak);
}

}  // namespace sonalter
