#include "Commands.h"

#include "Activation.h"
#include "AudioFile.h"
#include "Chain.h"
#include "Component.h"
#include "Errors.h"
#include "Spectrum.h"
#include "Options.h"
#include "Suggest.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>

namespace sonalter {

namespace {

std::string ShortUnit(const std::string& unit) {
    if (unit == "percent") return "%";
    if (unit == "degrees") return "deg";
    return unit;
}

// "Amp(%)", "InpArray2(file)", "EnvelopeArray(list)", "DCBiasAdjust(bool)".
std::string Brief(const Parameter& p) {
    std::string tag;
    switch (p.type.kind) {
        case ValueKind::SampleArray: tag = "file"; break;
        case ValueKind::FloatArray: tag = "list"; break;
        case ValueKind::Boolean: tag = "bool"; break;
        case ValueKind::Text: tag = "text"; break;
        default: tag = ShortUnit(p.unit); break;
    }
    std::string text = p.name + (tag.empty() ? "" : "(" + tag + ")");
    return p.optional ? "[" + text + "]" : text;
}

std::string ResultOnly(const Member& m);

std::string ResultBrief(const Member& m) {
    std::string outputs;
    for (const Parameter& p : m.params) {
        if (p.OutputOnly() && p.type.kind != ValueKind::SampleArray) outputs += (outputs.empty() ? "" : ", ") + p.name;
    }
    if (!outputs.empty()) outputs = "-> " + outputs + " (CSV)";
    const std::string result = ResultOnly(m);
    return result.empty() ? outputs : (outputs.empty() ? result : result + "; " + outputs.substr(3));
}

std::string ResultOnly(const Member& m) {
    const std::string name = m.resultName.empty() ? "a value" : m.resultName;
    switch (m.result.kind) {
        case ValueKind::None: return "";
        case ValueKind::SampleArray: return "-> " + name + " (replaces the audio)";
        case ValueKind::FloatArray: return "-> " + name + " (CSV)";
        default: return "-> " + name + (m.resultUnit.empty() ? "" : " (" + m.resultUnit + ")");
    }
}

// What sets a property in this tool.
std::string HowSet(const std::string& property) {
    if (property == "ArrayFrequency") return "set from INPUT's rate";
    if (property == "ArrayChannels") return "set from INPUT's channels";
    if (property == "SmoothTime") return "--smooth-time MS";
    if (property == "SmoothLeftEnabled") return "--no-smooth-left, --no-smooth";
    if (property == "SmoothRightEnabled") return "--no-smooth-right, --no-smooth";
    if (property == "TBEventEnabled") return "--no-events";
    if (property == "LastErrorNum") return "shown when a method fails";
    return "";
}

std::string TypeText(const ValueType& t) {
    std::string text = t.name;
    if (t.kind == ValueKind::Enumeration && !t.constants.empty()) {
        text += " (";
        for (size_t i = 0; i < t.constants.size(); ++i) {
            text += (i ? ", " : "") + t.constants[i].name + "=" + std::to_string(t.constants[i].value);
        }
        text += ")";
    }
    return text;
}

void PrintProperty(const Member& p, bool full) {
    std::string access = p.readable && p.writable ? "get/put" : (p.readable ? "get only" : "put only");
    const std::string how = HowSet(p.name);
    std::printf("  %s: %s%s, %s%s\n", p.name.c_str(), full ? TypeText(p.result).c_str() : p.result.name.c_str(),
                p.resultUnit.empty() ? "" : (" in " + p.resultUnit).c_str(), access.c_str(),
                how.empty() ? "" : ("; " + how).c_str());
    if (!p.help.empty()) std::printf("      %s\n", p.help.c_str());
}

}  // namespace

int ListMembers(Component& component) {
    const MemberTable& members = component.Members();
    std::printf("%s methods (%s, from the component's type library):\n", kProgramId,
                members.InterfaceName().empty() ? "dispatch interface" : members.InterfaceName().c_str());
    std::printf("  usage: sonalter INPUT OUTPUT METHOD ARG ... [METHOD ARG ...]\n\n");
    for (const Member& m : members.Methods()) {
        std::string line = m.name;
        for (const Parameter* p : m.CommandLineParams()) line.append(" ").append(Brief(*p));
        const std::string result = ResultBrief(m);
        if (!result.empty()) line.append("  ").append(result);
        std::printf("  %s\n", line.c_str());
        if (!m.help.empty()) std::printf("      %s\n", m.help.c_str());
    }
    std::printf("\nProperties:\n");
    for (const Member& p : members.Properties()) PrintProperty(p, false);
    std::printf("\nUnits: %% percent, dB decibels, ms milliseconds, Hz hertz, deg degrees. "
                "'sonalter help METHOD' shows one in full.\n");
    return 0;
}

int DescribeMember(Component& component, const std::string& name) {
    const MemberTable& members = component.Members();
    if (const Member* p = members.FindProperty(name); p && !members.FindMethod(name)) {
        std::printf("Property\n");
        PrintProperty(*p, true);
        return 0;
    }
    const Member* m = members.FindMethod(name);
    if (!m) {
        const std::vector<std::string> close = ClosestNames(name, members.AllNames());
        throw UsageError("no method or property named '" + name + "'" +
                         (close.empty() ? "" : "; did you mean " + JoinAlternatives(close) + "?") +
                         " ('sonalter methods' lists them all)");
    }
    std::printf("%s\n", Signature(*m).c_str());
    if (!m->help.empty()) std::printf("  %s\n", m->help.c_str());
    std::printf("\nUsage: sonalter INPUT OUTPUT %s\n", Signature(*m).c_str());
    const int current = m->CurrentArrayParam();
    if (current >= 0) {
        const Parameter& p = m->params[static_cast<size_t>(current)];
        std::printf("  %s is the current audio (%s).\n", p.name.c_str(),
                    p.out ? "changed in place" : "read, not changed");
    }
    const std::vector<const Parameter*> params = m->CommandLineParams();
    if (!params.empty()) {
        std::printf("\nParameters (in this order, or by name as Name=value):\n");
        size_t width = 0;
        for (const Parameter* p : params) width = std::max(width, p->name.size());
        for (const Parameter* p : params) {
            std::string what;
            switch (p->type.kind) {
                case ValueKind::SampleArray: what = "another audio file (its samples, as 16-bit)"; break;
                case ValueKind::FloatArray: what = "float list: a comma list or @FILE"; break;
                case ValueKind::Boolean: what = "boolean: true/false, yes/no, on/off, 1/0"; break;
                default: what = TypeText(p->type); break;
            }
            if (!p->unit.empty()) what += ", in " + p->unit;
            if (p->optional) what += ", optional";
            if (p->out) what += "; the method may change it (printed as CSV afterwards)";
            std::printf("  %-*s  %s\n", static_cast<int>(width), p->name.c_str(), what.c_str());
            for (const std::string& limit : LimitsOf(p->name, m->help)) {
                std::printf("  %-*s    limit: %s\n", static_cast<int>(width), "", limit.c_str());
            }
        }
    }
    bool outputsShown = false;
    for (const Parameter& p : m->params) {
        if (!p.OutputOnly() || (current >= 0 && &p == &m->params[static_cast<size_t>(current)])) continue;
        if (!outputsShown) std::printf("\nOutputs (printed as CSV, or written with --csv FILE):\n");
        outputsShown = true;
        std::printf("  %s  %s%s\n", p.name.c_str(), p.type.name.c_str(), p.unit.empty() ? "" : (", in " + p.unit).c_str());
    }
    std::printf("\nResult: ");
    switch (m->result.kind) {
        case ValueKind::None:
            std::printf("none%s\n", current >= 0 && m->params[static_cast<size_t>(current)].out ? "; the audio is changed" : "");
            break;
        case ValueKind::SampleArray:
            std::printf("a new sample array (%s) that replaces the current audio\n",
                        m->resultName.empty() ? "unnamed" : m->resultName.c_str());
            break;
        case ValueKind::FloatArray:
            std::printf("a float array (%s%s) printed as CSV, or written with --csv FILE\n",
                        m->resultName.empty() ? "unnamed" : m->resultName.c_str(),
                        m->resultUnit.empty() ? "" : (", " + m->resultUnit).c_str());
            if (Lower(m->name).starts_with("fft")) {
                std::printf("  A frequency column is added assuming the L values span 0 Hz to half the rate:\n"
                            "  bin k is at k * ArrayFrequency / (2 * L) Hz.\n");
            }
            break;
        default:
            std::printf("%s (%s%s) printed as CSV, or written with --csv FILE\n", TypeText(m->result).c_str(),
                        m->resultName.empty() ? "unnamed" : m->resultName.c_str(),
                        m->resultUnit.empty() ? "" : (", " + m->resultUnit).c_str());
            break;
    }
    std::printf("DISPID %ld\n", static_cast<long>(m->dispid));
    return 0;
}

namespace {

int MethodsCommand(Component* component, const Options&, std::span<const std::string>) {
    return ListMembers(*component);
}

int HelpCommand(Component* component, const Options&, std::span<const std::string> args) {
    if (args.empty()) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    return DescribeMember(*component, args[0]);
}

int InfoCommand(Component*, const Options&, std::span<const std::string> args) {
    if (args.empty()) throw UsageError("info needs a FILE: sonalter info FILE");
    return ShowFileInfo(args[0]);
}

constexpr Subcommand kSubcommands[] = {
    {"methods", 0, 0, true, MethodsCommand},
    {"help", 0, 0, false, HelpCommand},
    {"help", 1, 1, true, HelpCommand},
    {"info", 0, 1, false, InfoCommand},
};

}  // namespace

std::span<const Subcommand> Subcommands() { return kSubcommands; }

const Subcommand* FindSubcommand(const std::vector<std::string>& words) {
    if (words.empty()) return nullptr;
    const size_t args = words.size() - 1;
    for (const Subcommand& c : kSubcommands) {
        if (words[0] == c.name && args >= c.minArgs && args <= c.maxArgs) return &c;
    }
    return nullptr;
}

int ShowFileInfo(const std::string& path) {
    const Audio audio = ReadAudio(path);
    const SampleElements samples(audio.samples.get());
    const size_t count = samples.Span().size();
    const size_t frames = count / static_cast<size_t>(audio.channels);
    const std::vector<int> peaks = PeakLevels(samples.Span(), audio.channels);
    const int peak = *std::max_element(peaks.begin(), peaks.end());
    std::printf("File:      %s\n", path.c_str());
    std::printf("Format:    %s\n", DescribeFormat(audio.format).c_str());
    std::printf("Channels:  %d\n", audio.channels);
    std::printf("Rate:      %d Hz\n", audio.rate);
    std::printf("Length:    %s s (%zu frames, %zu samples)\n",
                Fixed(static_cast<double>(frames) / audio.rate, 3).c_str(), frames, count);
    std::printf("Peak:      %s (%d of 32768)", DecibelsFullScale(peak).c_str(), peak);
    if (audio.channels > 1) {
        std::printf(";");
        for (size_t c = 0; c < peaks.size(); ++c) {
            std::printf(" channel %zu %s%s", c + 1, DecibelsFullScale(peaks[c]).c_str(), c + 1 < peaks.size() ? "," : "");
        }
    }
    std::printf("\n");
    std::printf("Spectral peak: %s\n", SpectralPeakText(audio).c_str());
    return 0;
}

}  // namespace sonalter
