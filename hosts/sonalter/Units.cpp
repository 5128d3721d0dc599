// Units of parameters, from their names and the member's help string.
#include "Members.h"
#include "Text.h"

#include <algorithm>

namespace sonalter {

namespace {

struct UnitPhrase {
    std::string lastWord;  // of one term: "delay", "gain", "rate"
    std::string unit;
};

std::string UnitWord(const std::string& word) {
    if (word == "ms") return "ms";
    if (word == "hz") return "Hz";
    if (word == "db") return "dB";
    if (word == "percent") return "percent";
    if (word == "degrees") return "degrees";
    return {};
}

std::string Singular(std::string word) {
    if (word.size() > 4 && word.ends_with("ies")) return word.substr(0, word.size() - 3) + "y";
    if (word.size() > 3 && word.ends_with('s') && !word.ends_with("ss")) word.pop_back();
    return word;
}

// Reads phrases of the form "<terms> in <unit>" from a help string, where the
// terms are joined by "and" and a comma, colon, semicolon or bracket starts a new
// group: "delay in ms, mix and feedback in percent, sweep depth, rate in Hz" gives
// delay: ms, mix: percent, feedback: percent, rate: Hz (sweep depth has no unit).
std::vector<UnitPhrase> UnitPhrases(std::string_view help) {
    std::vector<std::string> tokens;
    std::string word;
    auto flush = [&] {
        if (!word.empty()) tokens.push_back(Lower(word));
        word.clear();
    };
    for (char c : help) {
        if (c == ',' || c == ';' || c == ':' || c == '(' || c == ')') {
            flush();
            tokens.emplace_back(1, c);
        } else if (c == ' ' || c == '\t') {
            flush();
        } else {
            word += c;
        }
    }
    flush();

    std::vector<UnitPhrase> phrases;
    std::vector<std::string> groupLastWords;  // last word of each term of the open group
    bool termOpen = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t.size() == 1 && std::string_view(",;:()").find(t[0]) != std::string_view::npos) {
            groupLastWords.clear();
            termOpen = false;
        } else if (t == "and") {
            termOpen = false;
        } else if (t == "in" && i + 1 < tokens.size() && !UnitWord(tokens[i + 1]).empty()) {
            const std::string unit = UnitWord(tokens[++i]);
            for (const std::string& w : groupLastWords) phrases.push_back({Singular(w), unit});
            groupLastWords.clear();
            termOpen = false;
        } else if (termOpen && !groupLastWords.empty()) {
            groupLastWords.back() = t;
        } else {
            groupLastWords.push_back(t);
            termOpen = true;
        }
    }
    return phrases;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool HasPrefix(std::string_view name, std::string_view prefix) {
    return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix && name[prefix.size()] >= 'A' &&
           name[prefix.size()] <= 'Z';
}

std::string UnitFromName(std::string_view name) {
    if (name == "db" || HasPrefix(name, "db")) {
        return "dB";
    }
    if (name.ends_with("Time")) return "ms";
    if (Contains(name, "Freq")) return "Hz";  // also Frequency
    if (Contains(name, "Phase")) return "degrees";
    for (std::string_view percent : {"Amp", "Depth", "Rate", "Gain", "Normalization", "Percent"}) {
        if (Contains(name, percent)) return "percent";
    }
    return {};
}

}  // namespace

std::string UnitOf(std::string_view name, std::string_view help) {
    if (HasPrefix(name, "n")) return {};  // a count: nTapDelay is a number of taps, not a delay
    const std::string lowered = Lower(name);
    // The phrase whose word comes first in the name: DelayRate is a delay.
    size_t bestPosition = std::string::npos;
    std::string bestUnit;
    for (const UnitPhrase& p : UnitPhrases(help)) {
        if (p.lastWord.size() < 3) continue;
        const size_t at = lowered.find(p.lastWord);
        if (at != std::string::npos && at < bestPosition) {
            bestPosition = at;
            bestUnit = p.unit;
        }
    }
    return bestUnit.empty() ? UnitFromName(name) : bestUnit;
}

}  // namespace sonalter
