#include "Chain.h"

#include "Errors.h"
#include "Suggest.h"
#include "Text.h"

namespace sonalter {

namespace {

bool IsIdentifier(std::string_view text) {
    if (text.empty()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && i > 0)) return false;
    }
    return true;
}

// "Name=value" with an identifier before the '='.
bool SplitNamed(const std::string& word, std::string& name, std::string& value) {
    const size_t eq = word.find('=');
    if (eq == std::string::npos || !IsIdentifier(std::string_view(word).substr(0, eq))) return false;
    name = word.substr(0, eq);
    value = word.substr(eq + 1);
    return true;
}

// Words that cannot be a method name but look like an argument.
bool LooksLikeArgument(const std::string& word) {
    if (word.empty()) return true;
    const char c = word[0];
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == '@') return true;
    std::string name, value;
    if (SplitNamed(word, name, value)) return true;
    for (const char* b : {"true", "false", "yes", "no", "on", "off"}) {
        if (EqualsIgnoreCase(word, b)) return true;
    }
    return word.find('/') != std::string::npos || word.find('.') != std::string::npos;  // a file name
}

std::string ParameterList(const std::vector<const Parameter*>& params) {
    std::string list;
    for (const Parameter* p : params) list += (list.empty() ? "" : ", ") + p->name;
    return list;
}

std::string Count(size_t n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

void CheckCallable(const Member& m) {
    for (const Parameter* p : m.CommandLineParams()) {
        if (p->type.kind == ValueKind::Unsupported || p->type.kind == ValueKind::None) {
            throw UsageError(m.name + " cannot be called from the command line: its parameter " + p->name + " is a " +
                             p->type.name);
        }
    }
    for (const Parameter& p : m.params) {
        const ValueKind k = p.type.kind;
        if (p.OutputOnly() && k != ValueKind::FloatArray && k != ValueKind::SampleArray && k != ValueKind::Number &&
            k != ValueKind::Boolean && k != ValueKind::Enumeration) {
            throw UsageError(m.name + " cannot be called from the command line: its output " + p.name + " is a " +
                             p.type.name);
        }
    }
}

[[noreturn]] void UnknownMethod(const MemberTable& members, const std::string& word, const Call* previous) {
    if (const Member* p = members.FindProperty(word)) {
        throw UsageError(p->name + " is a property, not a method; the options set the properties the tool does " +
                         "not set itself (see sonalter --help and sonalter help " + p->name + ")");
    }
    if (previous && LooksLikeArgument(word)) {
        const std::vector<const Parameter*> params = previous->method->CommandLineParams();
        throw UsageError("too many arguments for " + previous->method->name + ": it takes " +
                         Count(params.size(), "argument") + (params.empty() ? "" : " (" + ParameterList(params) + ")") +
                         ", and '" + word + "' is not a method name");
    }
    const std::vector<std::string> close = ClosestNames(word, members.MethodNames());
    throw UsageError("unknown method '" + word + "'" +
                     (close.empty() ? "" : "; did you mean " + JoinAlternatives(close) + "?") +
                     " ('sonalter methods' lists them all)");
}

}  // namespace

std::string Call::Display() const {
    std::string text = method->name + "(";
    bool first = true;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!texts[i]) continue;
        text += (first ? "" : ", ") + method->params[i].name + "=" + *texts[i];
        first = false;
    }
    return text + ")";
}

std::string Signature(const Member& method) {
    std::string text = method.name;
    for (const Parameter* p : method.CommandLineParams()) text += p->optional ? " [" + p->name + "]" : " " + p->name;
    return text;
}

std::vector<Call> ParseChain(const MemberTable& members, const std::vector<std::string>& words) {
    std::vector<Call> calls;
    size_t i = 0;
    while (i < words.size()) {
        const std::string& word = words[i];
        const Member* method = members.FindMethod(word);
        if (!method) UnknownMethod(members, word, calls.empty() ? nullptr : &calls.back());
        CheckCallable(*method);
        ++i;

        Call call;
        call.method = method;
        call.texts.resize(method->params.size());
        std::vector<size_t> open;  // parameter indexes still to fill, in declared order
        for (size_t p = 0; p < method->params.size(); ++p) {
            if (method->TakesArgument(p)) open.push_back(p);
        }
        const size_t wanted = open.size();
        size_t given = 0;
        while (given < wanted && i < words.size()) {
            const std::string& arg = words[i];
            std::string name, value;
            if (SplitNamed(arg, name, value)) {
                size_t found = method->params.size();
                for (size_t p = 0; p < method->params.size(); ++p) {
                    if (method->TakesArgument(p) && EqualsIgnoreCase(method->params[p].name, name)) found = p;
                }
                if (found == method->params.size()) {
                    std::vector<std::string> names;
                    for (const Parameter* p : method->CommandLineParams()) names.push_back(p->name);
                    const std::vector<std::string> close = ClosestNames(name, names, 2);
                    throw UsageError(method->name + " has no parameter " + name +
                                     (close.empty() ? "" : "; did you mean " + JoinAlternatives(close) + "?") +
                                     " (its parameters: " + ParameterList(method->CommandLineParams()) + ")");
                }
                if (call.texts[found]) {
                    throw UsageError(method->name + ": " + method->params[found].name + " is given twice");
                }
                call.texts[found] = value;
                std::erase(open, found);
            } else {
                // A method name where a number is due means arguments are missing;
                // file arguments may be named anything, so they take the word.
                const Parameter& next = method->params[open.front()];
                if (members.FindMethod(arg) && next.type.kind != ValueKind::SampleArray &&
                    next.type.kind != ValueKind::Text) {
                    break;
                }
                call.texts[open.front()] = arg;
                open.erase(open.begin());
            }
            ++given;
            ++i;
        }
        std::vector<const Parameter*> missing;
        for (size_t p : open) {
            if (!method->params[p].optional) missing.push_back(&method->params[p]);
        }
        if (!missing.empty()) {
            throw UsageError(method->name + " needs " + Count(wanted, "argument") + " (" +
                             ParameterList(method->CommandLineParams()) + ") but got " + std::to_string(given) + ": " +
                             ParameterList(missing) + (missing.size() == 1 ? " is" : " are") + " missing" +
                             (i < words.size() ? " before '" + words[i] + "'" : ""));
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

}  // namespace sonalter
