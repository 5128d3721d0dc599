// The command line: options (anywhere before a lone "--"), then the words that
// name a subcommand or INPUT OUTPUT and the method chain.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sonalter {

struct Options {
    bool quiet = false;
    bool verbose = false;
    bool perChannel = false;
    bool noSmoothLeft = false;
    bool noSmoothRight = false;
    bool noEvents = false;
    bool help = false;
    bool version = false;
    std::optional<std::string> smoothTime;  // as typed; coerced like any other number
    std::string subtype;                    // output encoding name, "" for the default
    std::string csvPath;                    // "" for standard output
    std::optional<std::uint64_t> maxMemory; // --max-memory in bytes
    std::vector<std::string> words;         // everything that is not an option, in order
};

// ParseOptions
//   [in] argc, argv  as main() gets them
//   RETURNS the options and the remaining words; throws UsageError for an
//   unknown option or a missing option value.
//   NOTES A word starting with "-" and a digit or "." ("-6", "-.5") is a value,
//   not an option, so negative numbers need no quoting. Words after "--" are never
//   options.
Options ParseOptions(int argc, char** argv);

// UsageText
//   RETURNS the text of `sonalter --help`.
std::string UsageText();

}  // namespace sonalter
