// Key and value bookkeeping of the in-memory registry tree.
#include "registry_tree.h"

#include <algorithm>

namespace qelv::registry {

char16_t FoldCase(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs letters as upper/lower neighbours; which of the
        // two is upper case flips at U+0138 and again at U+0149.
        bool upperIsEven = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
        if (c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return c;
        if (upperIsEven) return static_cast<char16_t>(c & ~1u);
        return (c & 1u) ? c : static_cast<char16_t>(c - 1);
    }
    if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
    return c;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = FoldCase(a[i]);
        char16_t y = FoldCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool IsValidKeyName(std::u16string_view name) {
    return !name.empty() && name.size() <= kMaxKeyNameLength && name.find(u'\\') == std::u16string_view::npos;
}

namespace {

auto LowerBound(const std::vector<std::unique_ptr<Key>>& keys, std::u16string_view name) {
    return std::lower_bound(keys.begin(), keys.end(), name, [](const std::unique_ptr<Key>& k, std::u16string_view n) {
        return CompareNames(k->name, n) < 0;
    });
}

}  // namespace

Key* Key::FindSubkey(std::u16string_view subkeyName) const {
    auto it = LowerBound(subkeys, subkeyName);
    if (it != subkeys.end() && CompareNames((*it)->name, subkeyName) == 0) return it->get();
    return nullptr;
}

Key* Key::AddSubkey(std::u16string subkeyName) {
    auto it = LowerBound(subkeys, subkeyName);
    auto key = std::make_unique<Key>();
    key->name = std::move(subkeyName);
    return subkeys.insert(it, std::move(key))->get();
}

bool Key::RemoveSubkey(std::u16string_view subkeyName) {
    auto it = LowerBound(subkeys, subkeyName);
    if (it == subkeys.end() || CompareNames((*it)->name, subkeyName) != 0) return false;
    subkeys.erase(it);
    return true;
}

Value* Key::FindValue(std::u16string_view valueName) {
    for (Value& v : values)
        if (SameName(v.name, valueName)) return &v;
    return nullptr;
}

const Value* Key::FindValue(std::u16string_view valueName) const {
    return const_cast<Key*>(this)->FindValue(valueName);
}

bool Key::RemoveValue(std::u16string_view valueName) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (SameName(it->name, valueName)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

const char* RootName(int root) {
    switch (root) {
        case kClassesRoot: return "HKEY_CLASSES_ROOT";
        case kCurrentUser: return "HKEY_CURRENT_USER";
        case kLocalMachine: return "HKEY_LOCAL_MACHINE";
        default: return "";
    }
}

Key* FindPath(Key& start, const std::vector<std::u16string>& path) {
    Key* key = &start;
    for (const std::u16string& name : path) {
        key = key->FindSubkey(name);
        if (!key) return nullptr;
    }
    return key;
}

}  // namespace qelv::registry
