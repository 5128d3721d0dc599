// Text form of the registry file.
//
// The file is UTF-8 and meant to be read (and, with care, edited) by people:
//
//   # comment lines start with '#'; blank lines are ignored
//   qelvsonalter2-registry 1
//   HKEY_CLASSES_ROOT
//     "CLSID"
//       "{12345678-9ABC-DEF0-1234-56789ABCDEF0}"
//         @ = "Sonalter2 Class"
//         "InprocServer32"
//           @ = "/usr/lib/qelvsonalter2/QelvSonalter2.so"
//           "ThreadingModel" = "Apartment"
//   HKEY_CURRENT_USER
//     "Settings"
//       "Count" = dword:0000002a
//
// - The first line that is not a comment is the header with the format version.
// - A root ("HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE")
//   starts in column 0; each appears at most once.
// - Every further line is indented by two spaces per level. A key line is the
//   quoted key name alone; its subkeys are indented one level more.
// - A value line is indented one level more than its key and reads
//   NAME = DATA, where NAME is a quoted name or @ for the default value and
//   DATA is one of
//     "text"            REG_SZ (stored with its terminating NUL)
//     expand:"text"     REG_EXPAND_SZ (likewise)
//     dword:0000002a    REG_DWORD, eight hex digits
//     hex:01,ff         REG_BINARY bytes
//     hex(N):01,ff      any other type N (decimal) with its raw bytes; also
//                       strings that lack their terminating NUL
// - Inside quotes: \\ \" \n \r \t and \uXXXX (one UTF-16 unit, used for other
//   control characters and unpaired surrogates); everything else is UTF-8.
// - Subkeys are written sorted case-insensitively, values in creation order;
//   names are unique per key, compared case-insensitively.
#include "registry_text.h"

#include <cstdio>

namespace qelv::registry {

namespace {

constexpr std::string_view kHeaderWord = "qelvsonalter2-registry";
constexpr std::string_view kHeader = "qelvsonalter2-registry 1";
constexpr char kHexDigits[] = "0123456789abcdef";

// ---- Writing ----

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUnitEscape(std::string& out, char16_t unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

void AppendQuoted(std::string& out, std::u16string_view s) {
    out += '"';
    for (std::size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        switch (c) {
            case u'"': out += "\\\""; continue;
            case u'\\': out += "\\\\"; continue;
            case u'\n': out += "\\n"; continue;
            case u'\r': out += "\\r"; continue;
            case u'\t': out += "\\t"; continue;
            default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            AppendUnitEscape(out, c);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUnitEscape(out, c);  // a lone surrogate has no UTF-8 form
        } else {
            AppendUtf8(out, c);
        }
    }
    out += '"';
}

void AppendIndent(std::string& out, std::size_t depth) { out.append(depth * 2, ' '); }

// A string value is written as text when it holds whole UTF-16 units ending
// in exactly the terminating NUL that RegSetValueExW callers include.
bool IsTextForm(const Value& v, std::u16string& text) {
    if (v.type != REG_SZ && v.type != REG_EXPAND_SZ) return false;
    if (v.data.size() < 2 || v.data.size() % 2 != 0) return false;
    std::size_t units = v.data.size() / 2;
    text.resize(units);
    for (std::size_t i = 0; i < units; ++i) text[i] = char16_t(v.data[2 * i] | (v.data[2 * i + 1] << 8));
    if (text.back() != 0) return false;
    text.pop_back();
    return true;
}

void AppendHexBytes(std::string& out, const std::vector<BYTE>& data) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i) out += ',';
        out += kHexDigits[data[i] >> 4];
        out += kHexDigits[data[i] & 0xF];
    }
}

void AppendValue(std::string& out, const Value& v, std::size_t depth) {
    AppendIndent(out, depth);
    if (v.name.empty())
        out += '@';
    else
        AppendQuoted(out, v.name);
    out += " = ";
    std::u16string text;
    if (IsTextForm(v, text)) {
        if (v.type == REG_EXPAND_SZ) out += "expand:";
        AppendQuoted(out, text);
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD d = DWORD(v.data[0]) | DWORD(v.data[1]) << 8 | DWORD(v.data[2]) << 16 | DWORD(v.data[3]) << 24;
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
        out += buf;
    } else {
        if (v.type == REG_BINARY) {
            out += "hex:";
        } else {
            out += "hex(" + std::to_string(v.type) + "):";
        }
        AppendHexBytes(out, v.data);
    }
    out += '\n';
}

void AppendKeyContents(std::string& out, const Key& key, std::size_t depth) {
    for (const Value& v : key.values) AppendValue(out, v, depth + 1);
    for (const auto& sub : key.subkeys) {
        AppendIndent(out, depth + 1);
        AppendQuoted(out, sub->name);
        out += '\n';
        AppendKeyContents(out, *sub, depth + 1);
    }
}

// ---- Reading ----

class LineParser {
public:
    explicit LineParser(std::string_view line) : s_(line) {}

    bool AtEnd() const { return pos_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }
    bool Consume(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }
    void SkipSpaces() {
        while (!AtEnd() && s_[pos_] == ' ') ++pos_;
    }

    // Reads "..." into UTF-16; sets error on failure.
    bool ReadQuoted(std::u16string& out, std::string& error) {
        if (!Consume("\"")) return Fail(error, "expected a quoted string");
        out.clear();
        while (true) {
            if (AtEnd()) return Fail(error, "unterminated string (missing closing quote)");
            unsigned char c = static_cast<unsigned char>(s_[pos_]);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c == '\\') {
                if (!ReadEscape(out, error)) return false;
                continue;
            }
            if (c < 0x20 || c == 0x7F) return Fail(error, "control character inside a string (write it as \\uXXXX)");
            char32_t cp;
            if (!ReadUtf8(cp)) return Fail(error, "invalid UTF-8 inside a string");
            if (cp >= 0x10000) {
                out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
                out += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                out += char16_t(cp);
            }
        }
    }

    bool ReadHexNumber(std::size_t digits, std::uint32_t& value) {
        value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            int d = HexValue(Peek());
            if (d < 0) return false;
            value = value << 4 | std::uint32_t(d);
            ++pos_;
        }
        return true;
    }

    bool ReadDecimal(std::uint32_t& value) {
        if (AtEnd() || Peek() < '0' || Peek() > '9') return false;
        std::uint64_t v = 0;
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
            v = v * 10 + std::uint64_t(Peek() - '0');
            if (v > 0xFFFFFFFFull) return false;
            ++pos_;
        }
        value = std::uint32_t(v);
        return true;
    }

private:
    static int HexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    static bool Fail(std::string& error, const char* text) {
        error = text;
        return false;
    }

    bool ReadEscape(std::u16string& out, std::string& error) {
        ++pos_;  // backslash
        char e = Peek();
        ++pos_;
        switch (e) {
            case '\\': out += u'\\'; return true;
            case '"': out += u'"'; return true;
            case 'n': out += u'\n'; return true;
            case 'r': out += u'\r'; return true;
            case 't': out += u'\t'; return true;
            case 'u': {
                std::uint32_t unit;
                if (!ReadHexNumber(4, unit)) return Fail(error, "\\u needs exactly four hex digits");
                out += char16_t(unit);
                return true;
            }
            default: return Fail(error, "unknown escape sequence in a string");
        }
    }

    // Decodes one UTF-8 sequence, refusing overlong forms, surrogates and
    // code points above U+10FFFF.
    bool ReadUtf8(char32_t& cp) {
        unsigned char b0 = static_cast<unsigned char>(s_[pos_]);
        std::size_t len;
        char32_t min;
        if (b0 < 0x80) {
            cp = b0;
            ++pos_;
            return true;
        } else if ((b0 & 0xE0) == 0xC0) {
            len = 2, cp = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            len = 3, cp = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            len = 4, cp = b0 & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (pos_ + len > s_.size()) return false;
        for (std::size_t i = 1; i < len; ++i) {
            unsigned char b = static_cast<unsigned char>(s_[pos_ + i]);
            if ((b & 0xC0) != 0x80) return false;
            cp = cp << 6 | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        pos_ += len;
        return true;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

std::vector<BYTE> StringData(const std::u16string& text) {
    std::vector<BYTE> data;
    data.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        data.push_back(BYTE(c & 0xFF));
        data.push_back(BYTE(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

bool ReadHexBytes(LineParser& p, std::vector<BYTE>& data) {
    if (p.AtEnd()) return true;
    while (true) {
        std::uint32_t byte;
        if (!p.ReadHexNumber(2, byte)) return false;
        data.push_back(BYTE(byte));
        if (p.AtEnd()) return true;
        if (!p.Consume(",")) return false;
    }
}

// Parses the DATA part of a value line.
bool ReadValueData(LineParser& p, Value& v, std::string& error) {
    bool expand = p.Consume("expand:");
    if (expand || p.Peek() == '"') {
        std::u16string text;
        if (!p.ReadQuoted(text, error)) return false;
        v.type = expand ? REG_EXPAND_SZ : REG_SZ;
        v.data = StringData(text);
    } else if (p.Consume("dword:")) {
        std::uint32_t d;
        if (!p.ReadHexNumber(8, d)) {
            error = "dword: needs exactly eight hex digits";
            return false;
        }
        v.type = REG_DWORD;
        v.data = {BYTE(d), BYTE(d >> 8), BYTE(d >> 16), BYTE(d >> 24)};
    } else if (p.Consume("hex:")) {
        v.type = REG_BINARY;
        if (!ReadHexBytes(p, v.data)) {
            error = "hex: needs comma-separated two-digit hex bytes";
            return false;
        }
    } else if (p.Consume("hex(")) {
        std::uint32_t type;
        if (!p.ReadDecimal(type) || !p.Consume("):")) {
            error = "hex(N): needs a decimal type number N";
            return false;
        }
        v.type = type;
        if (!ReadHexBytes(p, v.data)) {
            error = "hex(N): needs comma-separated two-digit hex bytes";
            return false;
        }
    } else {
        error = "unknown value data (expected \"text\", expand:\"text\", dword:, hex: or hex(N):)";
        return false;
    }
    return true;
}

std::string Quoted(std::u16string_view name) {
    std::string out;
    AppendQuoted(out, name);
    return out;
}

}  // namespace

std::string FormatTree(const Tree& tree) {
    std::string out;
    out += "# QelvSonalter2 registry, kept by the platform library (format: docs/REGISTRY.md).\n";
    out += "# Keys are indented two spaces per level below their root; a key's values sit\n";
    out += "# one level deeper as NAME = DATA, with @ for the default value.\n";
    out += kHeader;
    out += '\n';
    for (int r = 0; r < kRootCount; ++r) {
        out += RootName(r);
        out += '\n';
        AppendKeyContents(out, tree.roots[r], 0);
    }
    return out;
}

bool ParseTree(std::string_view text, Tree& tree, std::size_t& errorLine, std::string& errorText) {
    std::vector<Key*> stack;  // stack[0] is the current root, stack[d] the key at depth d
    bool sawHeader = false;
    bool seenRoot[kRootCount] = {};
    std::size_t lineNo = 0;
    std::size_t pos = 0;
    std::string error;
    auto fail = [&](std::string message) {
        errorLine = lineNo;
        errorText = std::move(message);
        return false;
    };

    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
        std::size_t indent = 0;
        while (indent < line.size() && line[indent] == ' ') ++indent;
        std::string_view body = line.substr(indent);
        if (body.empty() || body[0] == '#') continue;
        if (body[0] == '\t') return fail("tab in the indentation (indent two spaces per level)");

        if (!sawHeader) {
            if (indent == 0 && body == kHeader) {
                sawHeader = true;
                continue;
            }
            if (indent == 0 && body.size() > kHeaderWord.size() && body.substr(0, kHeaderWord.size()) == kHeaderWord &&
                body[kHeaderWord.size()] == ' ') {
                return fail("unsupported registry format version '" + std::string(body.substr(kHeaderWord.size() + 1)) +
                            "' (this library reads version 1)");
            }
            return fail("expected the header line '" + std::string(kHeader) + "'");
        }
        if (indent % 2 != 0) return fail("odd indentation (indent two spaces per level)");
        std::size_t depth = indent / 2;

        if (depth == 0) {
            int root = -1;
            for (int r = 0; r < kRootCount; ++r)
                if (body == RootName(r)) root = r;
            if (root < 0) {
                return fail("unknown root '" + std::string(body) +
                            "' (expected HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE)");
            }
            if (seenRoot[root]) return fail(std::string(body) + " appears twice");
            seenRoot[root] = true;
            stack.assign(1, &tree.roots[root]);
            continue;
        }
        if (stack.empty()) return fail("key or value before the first root line");
        if (depth > stack.size()) {
            return fail("indented too deep (at most " + std::to_string(stack.size() * 2) + " spaces here)");
        }
        stack.resize(depth);
        Key* parent = stack.back();

        LineParser p(body);
        std::u16string name;
        bool isDefault = p.Consume("@");
        if (!isDefault && !p.ReadQuoted(name, error)) return fail(error);
        p.SkipSpaces();
        if (p.AtEnd()) {
            if (isDefault) return fail("@ must be followed by = and the default value's data");
            if (!IsValidKeyName(name)) {
                return fail("invalid key name " + Quoted(name) +
                            " (empty, longer than 255 characters or containing a backslash)");
            }
            if (depth > kMaxDepth) return fail("keys nested deeper than " + std::to_string(kMaxDepth) + " levels");
            if (parent->FindSubkey(name)) return fail("duplicate key " + Quoted(name) + " (names ignore case)");
            stack.push_back(parent->AddSubkey(std::move(name)));
            continue;
        }
        if (!p.Consume("=")) return fail("expected '=' after a value name, or nothing after a key name");
        p.SkipSpaces();
        Value value;
        value.name = std::move(name);  // "" is the default value, like @
        if (!ReadValueData(p, value, error)) return fail(error);
        if (!p.AtEnd()) return fail("unexpected text after the value data");
        if (parent->FindValue(value.name)) {
            return fail(value.name.empty() ? std::string("duplicate default value")
                                           : "duplicate value " + Quoted(value.name) + " (names ignore case)");
        }
        parent->values.push_back(std::move(value));
    }
    return true;
}

}  // namespace qelv::registry
