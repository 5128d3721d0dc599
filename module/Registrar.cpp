#include "module/Registrar.h"

#include <cstdint>
#include <vector>

namespace qelv {
namespace {

// ---- Parsing ----------------------------------------------------------------

struct Value {
    std::u16string name;  // empty: the key's default value
    bool isNumber = false;
    std::u16string text;
    DWORD number = 0;
};

struct Key {
    enum class Removal { Normal, NoRemove, ForceRemove };
    Removal removal = Removal::Normal;
    std::u16string name;
    std::vector<Value> values;
    std::vector<Key> children;
};

class Parser {
public:
    explicit Parser(const std::u16string& text) : text_(text) {}

    // Parses "ROOT { keys }" and returns the root's keys; false on a syntax error.
    bool ParseScript(HKEY& root, std::vector<Key>& keys) {
        std::u16string rootName;
        if (!Word(rootName)) return false;
        if (rootName == u"HKCR" || rootName == u"HKEY_CLASSES_ROOT") {
            root = HKEY_CLASSES_ROOT;
        } else if (rootName == u"HKCU" || rootName == u"HKEY_CURRENT_USER") {
            root = HKEY_CURRENT_USER;
        } else if (rootName == u"HKLM" || rootName == u"HKEY_LOCAL_MACHINE") {
            root = HKEY_LOCAL_MACHINE;
        } else {
            return false;
        }
        if (!Expect(u'{') || !ParseBody(keys, nullptr)) return false;
        SkipSpace();
        return pos_ == text_.size();
    }

private:
    // Keys and values up to the closing brace (consumed).
    bool ParseBody(std::vector<Key>& keys, std::vector<Value>* values) {
        for (;;) {
            SkipSpace();
            if (pos_ >= text_.size()) return false;
            if (text_[pos_] == u'}') {
                ++pos_;
                return true;
            }
            std::u16string word;
            bool quoted = false;
            if (!Name(word, quoted)) return false;
            if (!quoted && word == u"val") {
                if (!values) return false;
                Value value;
                if (!Name(value.name, quoted) || !Expect(u'=') || !TypedValue(value)) return false;
                values->push_back(std::move(value));
                continue;
            }
            Key key;
            if (!quoted && (word == u"NoRemove" || word == u"ForceRemove")) {
                key.removal = word == u"NoRemove" ? Key::Removal::NoRemove : Key::Removal::ForceRemove;
                if (!Name(word, quoted)) return false;
            }
            key.name = word;
            SkipSpace();
            if (Peek(u'=')) {
                ++pos_;
                Value value;
                if (!TypedValue(value)) return false;
                key.values.push_back(std::move(value));
                SkipSpace();
            }
            if (Peek(u'{')) {
                ++pos_;
                if (!ParseBody(key.children, &key.values)) return false;
            }
            keys.push_back(std::move(key));
        }
    }

    bool TypedValue(Value& value) {
        std::u16string type;
        if (!Word(type)) return false;
        if (type == u"s") {
            bool quoted = false;
            return Name(value.text, quoted) && quoted;
        }
        if (type == u"d") {
            std::u16string digits;
            bool quoted = false;
            if (!Name(digits, quoted) || digits.empty()) return false;
            std::uint64_t n = 0;
            for (char16_t c : digits) {
                if (c < u'0' || c > u'9') return false;
                n = n * 10 + static_cast<std::uint64_t>(c - u'0');
                if (n > 0xFFFFFFFFu) return false;
            }
            value.isNumber = true;
            value.number = static_cast<DWORD>(n);
            return true;
        }
        return false;
    }

    // A bare word (letters, digits, and . _ - { } inside a GUID) or a quoted string.
    bool Name(std::u16string& out, bool& quoted) {
        SkipSpace();
        out.clear();
        quoted = false;
        if (Peek(u'\'')) {
            quoted = true;
            ++pos_;
            while (pos_ < text_.size()) {
                const char16_t c = text_[pos_++];
                if (c != u'\'') {
                    out.push_back(c);
                } else if (Peek(u'\'')) {
                    out.push_back(u'\'');
                    ++pos_;
                } else {
                    return true;
                }
            }
            return false;
        }
        if (Peek(u'{')) {
            // A braced GUID used as a key name.
            const std::size_t close = text_.find(u'}', pos_);
            if (close == std::u16string::npos || close - pos_ != 37) return false;
            out = text_.substr(pos_, close - pos_ + 1);
            pos_ = close + 1;
            return true;
        }
        return Word(out);
    }

    bool Word(std::u16string& out) {
        SkipSpace();
        out.clear();
        while (pos_ < text_.size()) {
            const char16_t c = text_[pos_];
            const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                            c == u'.' || c == u'_' || c == u'-';
            if (!ok) break;
            out.push_back(c);
            ++pos_;
        }
        return !out.empty();
    }

    bool Expect(char16_t c) {
        SkipSpace();
        if (!Peek(c)) return false;
        ++pos_;
        return true;
    }
    bool Peek(char16_t c) const { return pos_ < text_.size() && text_[pos_] == c; }
    void SkipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == u' ' || text_[pos_] == u'\t' || text_[pos_] == u'\r' ||
                                        text_[pos_] == u'\n')) {
            ++pos_;
        }
    }

    const std::u16string& text_;
    std::size_t pos_ = 0;
};

// ---- Applying -----------------------------------------------------------------

HRESULT FromWin32(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

HRESULT SetValue(HKEY key, const Value& value) {
    const LPCWSTR name = value.name.empty() ? nullptr : reinterpret_cast<LPCWSTR>(value.name.c_str());
    if (value.isNumber) {
        return FromWin32(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                                        sizeof value.number));
    }
    const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(char16_t));
    return FromWin32(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()), bytes));
}

HRESULT Register(HKEY parent, const std::vector<Key>& keys) {
    for (const Key& key : keys) {
        const LPCWSTR name = reinterpret_cast<LPCWSTR>(key.name.c_str());
        if (key.removal == Key::Removal::ForceRemove) {
            const LONG removed = RegDeleteTreeW(parent, name);
            if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) return FromWin32(removed);
        }
        OpenKey child;
        const LONG created =
            RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, child.out(), nullptr);
        if (created != ERROR_SUCCESS) return FromWin32(created);
        for (const Value& value : key.values) {
            if (HRESULT hr = SetValue(child.get(), value); FAILED(hr)) return hr;
        }
        if (HRESULT hr = Register(child.get(), key.children); FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT Unregister(HKEY parent, const std::vector<Key>& keys) {
    for (const Key& key : keys) {
        const LPCWSTR name = reinterpret_cast<LPCWSTR>(key.name.c_str());
        if (key.removal == Key::Removal::NoRemove) {
            OpenKey child;
            const LONG opened = RegOpenKeyExW(parent, name, 0, KEY_ALL_ACCESS, child.out());
            if (opened == ERROR_FILE_NOT_FOUND) continue;
            if (opened != ERROR_SUCCESS) return FromWin32(opened);
            if (HRESULT hr = Unregister(child.get(), key.children); FAILED(hr)) return hr;
            continue;
        }
        const LONG removed = RegDeleteTreeW(parent, name);
        if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) return FromWin32(removed);
    }
    return S_OK;
}

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(const char* text, DWORD size) {
    if (size == 0 || size > 0x7FFFFFFF) return {};
    const int bytes = static_cast<int>(size);
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text, bytes, nullptr, 0);
    if (needed <= 0) return {};
    std::u16string out(static_cast<std::size_t>(needed), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, bytes, reinterpret_cast<LPWSTR>(out.data()), needed);
    return out;
}

}  // namespace

HRESULT RunRegistrationScript(const std::u16string& script, const std::u16string& modulePath, bool registering) {
    // Substitute the module path, doubling quotes so it stays one quoted string.
    std::u16string escaped;
    for (char16_t c : modulePath) {
        escaped.push_back(c);
        if (c == u'\'') escaped.push_back(u'\'');
    }
    std::u16string text = script;
    const std::u16string marker = u"%MODULE%";
    for (std::size_t at = text.find(marker); at != std::u16string::npos; at = text.find(marker, at + escaped.size())) {
        text.replace(at, marker.size(), escaped);
    }
    HKEY root = nullptr;
    std::vector<Key> keys;
    Parser parser(text);
    if (!parser.ParseScript(root, keys)) return E_INVALIDARG;
    return registering ? Register(root, keys) : Unregister(root, keys);
}

HRESULT RunRegistrationResource(HMODULE module, UINT id, const std::u16string& modulePath, bool registering) {
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), OLESTR("REGISTRY"));
    if (!info) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_RESOURCE_NAME_NOT_FOUND);
    HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(module, info);
    if (!data) return E_FAIL;
    const std::u16string script = Utf8ToUtf16(static_cast<const char*>(data), size);
    return RunRegistrationScript(script, modulePath, registering);
}

}  // namespace qelv
