#include "Arguments.h"

#include "AudioFile.h"
#include "Errors.h"
#include "Text.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace sonalter {

namespace {

std::string Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t' || text[begin] == '\r')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
    return std::string(text.substr(begin, end - begin));
}

// A unit written after the number, when it is the parameter's own: 150% for percent.
std::string StripUnit(const std::string& text, const std::string& unit) {
    std::vector<std::string> suffixes;
    if (unit == "percent") suffixes = {"%"};
    else if (unit == "dB") suffixes = {"dB", "db", "DB"};
    else if (unit == "ms") suffixes = {"ms"};
    else if (unit == "Hz") suffixes = {"Hz", "hz"};
    else if (unit == "degrees") suffixes = {"deg", "\xC2\xB0"};  // U+00B0 degree sign
    for (const std::string& s : suffixes) {
        if (text.size() > s.size() && text.ends_with(s)) return Trim(text.substr(0, text.size() - s.size()));
    }
    return text;
}

std::string Expected(const Parameter& param) {
    std::string text = param.type.kind == ValueKind::Number ? "a number (" + param.type.name + ")" : param.type.name;
    if (!param.unit.empty()) text += " in " + param.unit;
    return text;
}

// Automation's conversion of a string to a number type.
HRESULT FromText(const std::string& text, VARTYPE vt, Variant& out) {
    Variant source;
    source->vt = VT_BSTR;
    source->bstrVal = SysAllocString(Utf16(text).c_str());
    if (!source->bstrVal) return E_OUTOFMEMORY;
    return VariantChangeType(out.get(), source.get(), 0, vt);
}

std::string Why(HRESULT hr) {
    if (hr == DISP_E_OVERFLOW) return "out of range";
    if (hr == DISP_E_TYPEMISMATCH) return "not a number";
    return "cannot be converted (status " + Hex(hr) + ")";
}

bool IsNumberStart(const std::string& field) {
    const char c = field.empty() ? 'x' : field[0];
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == ',' || c == ';' || c == '\t') {
            fields.push_back(Trim(field));
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(Trim(field));
    return fields;
}

float ToFloat(const std::string& field, const std::string& what, const std::string& where) {
    Variant value;
    const HRESULT hr = FromText(field, VT_R4, value);
    if (FAILED(hr)) throw UsageError(what + ": bad value '" + field + "'" + where + ": " + Why(hr));
    return value->fltVal;
}

std::vector<float> FloatsFromFile(const std::string& path, const std::string& what) {
    std::ifstream in(path);
    if (!in) throw Failure("cannot read " + path + " for " + what + ": " + std::strerror(errno));
    std::vector<float> values;
    std::string line;
    size_t lineNumber = 0;
    bool lastColumnOnly = false;
    bool firstRow = true;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        std::vector<std::string> fields = SplitFields(trimmed);
        if (firstRow) {
            firstRow = false;
            if (!IsNumberStart(fields[0]) && !EqualsIgnoreCase(fields[0], "nan") && !EqualsIgnoreCase(fields[0], "inf")) {
                lastColumnOnly = true;  // a header row: the values are in the last column
                continue;
            }
        }
        if (lastColumnOnly) fields = {fields.back()};
        for (const std::string& f : fields) {
            if (f.empty()) continue;
            values.push_back(ToFloat(f, what, " (" + path + ":" + std::to_string(lineNumber) + ")"));
        }
    }
    if (in.bad()) throw Failure("cannot read " + path + " for " + what);
    if (values.empty()) throw UsageError(what + ": " + path + " holds no values");
    return values;
}

}  // namespace

bool ParseBoolean(const std::string& text, const std::string& what) {
    for (const char* yes : {"true", "yes", "on", "1", "-1"}) {
        if (EqualsIgnoreCase(text, yes)) return true;
    }
    for (const char* no : {"false", "no", "off", "0"}) {
        if (EqualsIgnoreCase(text, no)) return false;
    }
    throw UsageError(what + ": bad value '" + text + "': expected true or false (yes/no, on/off, 1/0, -1)");
}

std::vector<float> ParseFloatList(const std::string& text, const std::string& what) {
    if (text.starts_with("@")) return FloatsFromFile(text.substr(1), what);
    std::vector<float> values;
    const std::vector<std::string> fields = SplitFields(text);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].empty()) {
            throw UsageError(what + ": empty value at position " + std::to_string(i + 1) + " of '" + text +
                             "' (give numbers separated by commas, or @FILE)");
        }
        values.push_back(ToFloat(fields[i], what, " (position " + std::to_string(i + 1) + ")"));
    }
    return values;
}

Variant CoerceScalar(const std::string& text, const Parameter& param, const std::string& owner) {
    const std::string what = owner + ": " + param.name;
    Variant value;
    switch (param.type.kind) {
        case ValueKind::Boolean:
            value->vt = VT_BOOL;
            value->boolVal = ParseBoolean(text, what) ? VARIANT_TRUE : VARIANT_FALSE;
            return value;
        case ValueKind::Text:
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocString(Utf16(text).c_str());
            if (!value->bstrVal) throw Failure("out of memory");
            return value;
        case ValueKind::Enumeration:
            for (const EnumConstant& c : param.type.constants) {
                if (EqualsIgnoreCase(c.name, text)) {
                    value->vt = VT_I4;
                    value->lVal = c.value;
                    return value;
                }
            }
            [[fallthrough]];
        case ValueKind::Number: {
            const std::string number = StripUnit(Trim(text), param.unit);
            const HRESULT hr = FromText(number, param.type.vt, value);
            if (FAILED(hr)) {
                throw UsageError(what + ": bad value '" + text + "': " + Why(hr) + "; expected " + Expected(param));
            }
            return value;
        }
        default:
            throw UsageError(what + " is a " + param.type.name + ", which the command line cannot pass");
    }
}

PreparedCall PrepareCall(const Call& call) {
    const Member& m = *call.method;
    PreparedCall prepared;
    prepared.call = &call;
    prepared.args.resize(m.params.size());
    const int current = m.CurrentArrayParam();
    for (size_t p = 0; p < m.params.size(); ++p) {
        Argument& arg = prepared.args[p];
        const Parameter& param = m.params[p];
        if (static_cast<int>(p) == current) {
            arg.current = true;
            continue;
        }
        if (param.OutputOnly()) {
            arg.output = true;
            continue;
        }
        if (!call.texts[p]) {
            arg.omitted = true;
            continue;
        }
        const std::string& text = *call.texts[p];
        switch (param.type.kind) {
            case ValueKind::FloatArray:
                arg.floats = ParseFloatList(text, m.name + ": " + param.name);
                if (text.starts_with("@")) arg.path = text.substr(1);
                break;
            case ValueKind::SampleArray: {
                Audio other = ReadAudio(text);
                arg.audio = std::move(other.samples);
                arg.channels = other.channels;
                arg.rate = other.rate;
                arg.path = text;
                break;
            }
            default:
                arg.scalar = CoerceScalar(text, param, m.name);
                break;
        }
    }
    return prepared;
}

}  // namespace sonalter
