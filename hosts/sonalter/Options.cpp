#include "Options.h"

#include "AudioFile.h"
#include "Errors.h"
#include "Memory.h"
#include "Suggest.h"

#include <cstring>
#include <string_view>

namespace sonalter {

namespace {

struct OptionInfo {
    const char* longName;
    char shortName;  // 0: none
    bool takesValue;
};

constexpr OptionInfo kOptions[] = {
    {"quiet", 'q', false},        {"verbose", 'v', false},         {"per-channel", 0, false},
    {"smooth-time", 0, true},     {"no-smooth", 0, false},         {"no-smooth-left", 0, false},
    {"no-smooth-right", 0, false}, {"no-events", 0, false},        {"subtype", 0, true},
    {"csv", 0, true},             {"help", 'h', false},            {"version", 0, false},
    {"max-memory", 0, true},
};

void Apply(Options& o, std::string_view name, const std::string& value) {
    if (name == "quiet") o.quiet = true;
    else if (name == "verbose") o.verbose = true;
    else if (name == "per-channel") o.perChannel = true;
    else if (name == "smooth-time") o.smoothTime = value;
    else if (name == "no-smooth") o.noSmoothLeft = o.noSmoothRight = true;
    else if (name == "no-smooth-left") o.noSmoothLeft = true;
    else if (name == "no-smooth-right") o.noSmoothRight = true;
    else if (name == "no-events") o.noEvents = true;
    else if (name == "subtype") o.subtype = value;
    else if (name == "csv") o.csvPath = value;
    else if (name == "max-memory") o.maxMemory = ParseByteSize(value, "--max-memory");
    else if (name == "help") o.help = true;
    else if (name == "version") o.version = true;
}

const OptionInfo* FindLong(std::string_view name) {
    for (const OptionInfo& s : kOptions) {
        if (name == s.longName) return &s;
    }
    return nullptr;
}

const OptionInfo* FindShort(char c) {
    for (const OptionInfo& s : kOptions) {
        if (s.shortName == c) return &s;
    }
    return nullptr;
}

bool LooksLikeValue(std::string_view word) {
    return word.size() >= 2 && word[0] == '-' && ((word[1] >= '0' && word[1] <= '9') || word[1] == '.');
}

}  // namespace

Options ParseOptions(int argc, char** argv) {
    Options o;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-' || LooksLikeValue(word)) {
            o.words.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word.starts_with("--")) {
            std::string name = word.substr(2);
            std::optional<std::string> inlineValue;
            if (const size_t eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
            }
            const OptionInfo* option = FindLong(name);
            if (!option) {
                std::vector<std::string> names;
                for (const OptionInfo& s : kOptions) names.push_back(s.longName);
                const std::vector<std::string> close = ClosestNames(name, names, 2);
                std::string hint;
                for (const std::string& c : close) hint += (hint.empty() ? "" : " or ") + ("--" + c);
                throw UsageError("unknown option " + word + (hint.empty() ? "" : "; did you mean " + hint + "?"));
            }
            std::string value;
            if (option->takesValue) {
                if (inlineValue) {
                    value = *inlineValue;
                } else if (i + 1 < argc) {
                    value = argv[++i];
                } else {
                    throw UsageError("option --" + name + " needs a value");
                }
            } else if (inlineValue) {
                throw UsageError("option --" + name + " takes no value");
            }
            Apply(o, option->longName, value);
            continue;
        }
        // A cluster of short options: -qv
        for (size_t k = 1; k < word.size(); ++k) {
            const OptionInfo* option = FindShort(word[k]);
            if (!option) {
                throw UsageError("unknown option -" + std::string(1, word[k]) + " in " + word +
                                 " (see sonalter --help; a value that starts with '-' can be given as Name=value, "
                                 "or after '--')");
            }
            if (option->takesValue) throw UsageError("option -" + std::string(1, word[k]) + " needs a value");
            Apply(o, option->longName, {});
        }
    }
    return o;
}

std::string UsageText() {
    std::string subtypes;
    for (const std::string& s : SubtypeNames()) subtypes += (subtypes.empty() ? "" : ", ") + s;
    return R"(Usage:
  sonalter [OPTIONS] INPUT OUTPUT METHOD [ARG ...] [METHOD [ARG ...]] ...
  sonalter methods          list the component's methods and properties
  sonalter help METHOD      describe one method or property, with units
  sonalter info FILE        show a file's format, length, rate, channels and peak
  sonalter batch FILES... --out DIR --chain "METHOD ARG ... METHOD ..."
                            one chain over many WAV files in parallel on a Dask
                            cluster (the Python module's; 'sonalter batch -h')

Reads INPUT, runs the QelvSonalter2 transform object's methods on its samples in
the order given, and writes OUTPUT. Each method takes as many arguments as its
description in the component says ('sonalter help METHOD'); the word after them
starts the next method. Method names ignore case.

Arguments:
  numbers      coerced as automation does; a unit matching the parameter may
               follow: 150%, -6dB, 20ms, 1000Hz
  by name      Amp=150, in any order after the positional ones
  booleans     true/false, yes/no, on/off, 1/0, -1
  float lists  a comma list (0,50,100) or @FILE: one value per line, or CSV
               (after a header row only the last column is read)
  audio        a second sample array (MixArrays, MakeStereoFromArrays) is
               another audio file

INPUT may be any file libsndfile reads (WAV, FLAC, OGG, AIFF, ...); it is
converted to 16-bit samples. ArrayFrequency and ArrayChannels are set from it.
OUTPUT's extension picks the format, 16-bit PCM unless --subtype says otherwise.
OUTPUT is written to a temporary file and renamed at the end, so a failure or
Ctrl-C never leaves a partial file and INPUT is never harmed, also when OUTPUT
names INPUT. OUTPUT '-' writes no audio (for methods that only return values).

Values returned by methods (FFTPower, FFTPhase, PercentToDB, ...), and float
arrays and values they leave in [out] parameters, are printed as CSV on
standard output, or written with --csv FILE. A spectrum (a method
whose name starts with FFT) gets a frequency column, assuming its L values span
0 Hz to half the rate: bin k is at k * ArrayFrequency / (2 * L) Hz.

Options:
  -q, --quiet          no progress bar and no summary lines
  -v, --verbose        also show how the component was created and each call
  --per-channel        run the chain on each channel on its own instead of the
                       interleaved stream: one transform object per channel,
                       each on its own thread, the channels joined afterwards
  --smooth-time MS     length of the edge cross-fades (SmoothTime), in ms
  --no-smooth          no edge cross-fades (SmoothLeftEnabled and
                       SmoothRightEnabled off)
  --no-smooth-left     no cross-fade at the start
  --no-smooth-right    no cross-fade at the end
  --no-events          no progress events (TBEventEnabled off): faster, but
                       Ctrl-C then stops only between methods
  --subtype NAME       output encoding: )" +
           subtypes + R"(
  --csv FILE           write returned values to FILE instead of standard output
  --max-memory SIZE    refuse work that needs more memory than SIZE (512M, 2G);
                       work that needs more than the machine has is always
                       refused before INPUT is read
  -h, --help           this text
  --version            the tool's version

The progress bar is drawn on a terminal. Ctrl-C stops the running method
through CancelTransform, writes nothing and exits with 130; a second Ctrl-C
exits at once.

Exit status: 0 done; 1 a file, the component or the system failed; 2 a mistake
on the command line; 130 stopped by Ctrl-C.

Example:
  sonalter voice.wav out.flac Normalize 90 true Fade 100 30
)";
}

}  // namespace sonalter
