// Units of parameters, from their names and the member's help string.
#include "Members.h"
#include "Text.h"

#include <algorithm>
#include <vector>

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

std::string TrimSpaces(std::string_view text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    return std::string(text.substr(b, e - b));
}

// Clauses of a help string: split at ',', ';', brackets and a '.' that ends a
// sentence (not the one inside a number such as 0.5).
std::vector<std::string> Clauses(std::string_view help) {
    std::vector<std::string> clauses;
    std::string clause;
    for (size_t i = 0; i < help.size(); ++i) {
        const char c = help[i];
        const bool sentenceEnd = c == '.' && (i + 1 == help.size() || help[i + 1] == ' ');
        if (c == ',' || c == ';' || c == '(' || c == ')' || sentenceEnd) {
            if (const std::string t = TrimSpaces(clause); !t.empty()) clauses.push_back(t);
            clause.clear();
        } else {
            clause += c;
        }
    }
    if (const std::string t = TrimSpaces(clause); !t.empty()) clauses.push_back(t);
    return clauses;
}

// "SweepRate" -> "sweep rate"; "dbGain" -> "db gain"; "FFTArray" -> "fft array".
std::string SpacedWords(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool upper = c >= 'A' && c <= 'Z';
        const bool prevLower = i > 0 && name[i - 1] >= 'a' && name[i - 1] <= 'z';
        const bool nextLower = i + 1 < name.size() && name[i + 1] >= 'a' && name[i + 1] <= 'z';
        const bool prevUpper = i > 0 && name[i - 1] >= 'A' && name[i - 1] <= 'Z';
        if (i > 0 && upper && (prevLower || (prevUpper && nextLower))) out += ' ';
        out += c;
    }
    return Lower(out);
}

bool IsWordChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

// text (lower case) holds word as a whole word.
bool HasWord(const std::string& text, const std::string& word) {
    if (word.empty()) return false;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const bool startOk = at == 0 || !IsWordChar(text[at - 1]);
        const size_t end = at + word.size();
        const bool endOk = end == text.size() || !IsWordChar(text[end]) || text[end] == 's';
        if (startOk && endOk) return true;
    }
    return false;
}

bool Bounds(const std::string& lowered) {
    for (char c : lowered) {
        if (c >= '0' && c <= '9') return true;
    }
    for (const char* word : {"to", "between", "at least", "at most", "above", "below", "up to", "refuse", "refuses",
                             "must", "positive", "negative", "half", "less", "more", "greater", "within"}) {
        if (HasWord(lowered, word)) return true;
    }
    return false;
}

}  // namespace

// A clause that is only a bound ("1 to half ArrayFrequency", "up to 100"),
// which belongs to the clause before it.
bool StartsAsBound(const std::string& lowered) {
    const char c = lowered.empty() ? ' ' : lowered[0];
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') return true;
    for (const char* start : {"from ", "between ", "up to ", "at least ", "at most ", "below ", "above ", "within "}) {
        if (lowered.starts_with(start)) return true;
    }
    return false;
}

std::vector<std::string> LimitsOf(std::string_view name, std::string_view help) {
    const std::vector<std::string> clauses = Clauses(help);
    auto find = [&](const std::vector<std::string>& forms) {
        std::vector<std::string> found;
        bool previousNamed = false;
        for (const std::string& clause : clauses) {
            const std::string lowered = Lower(clause);
            bool named = false;
            for (const std::string& form : forms) named = named || HasWord(lowered, form);
            if (Bounds(lowered) && (named || (previousNamed && StartsAsBound(lowered)))) found.push_back(clause);
            previousNamed = named;
        }
        return found;
    };
    std::vector<std::string> found = find({Lower(name), SpacedWords(name)});
    if (found.empty()) {
        std::string_view bare = name;
        if (HasPrefix(bare, "db")) bare.remove_prefix(2);
        else if (HasPrefix(bare, "n")) bare.remove_prefix(1);
        if (bare.size() != name.size()) found = find({Lower(bare), SpacedWords(bare)});
    }
    return found;
}

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
