// In-memory form of the registry: three root keys, each a tree of keys whose
// names are case-insensitive and case-preserving, holding typed values.
// Internal to the platform library; the Reg* functions are the public face.
#pragma once

#include <qelvsonalter2/platform.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qelv::registry {

// Longest key name, in UTF-16 units, and deepest nesting below a root.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxDepth = 512;

// Upper-case form of one UTF-16 unit for name comparison: ASCII, Latin-1,
// Latin Extended-A, Greek, Cyrillic and full-width Latin letters. Other units
// compare as they are.
char16_t FoldCase(char16_t c);

// Orders two names case-insensitively (negative, zero, positive).
int CompareNames(std::u16string_view a, std::u16string_view b);

inline bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && CompareNames(a, b) == 0;
}

// A key name is non-empty, at most kMaxKeyNameLength units, without backslash.
bool IsValidKeyName(std::u16string_view name);

struct Value {
    std::u16string name;  // empty for the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string name;
    std::vector<Value> values;                  // in the order they were created
    std::vector<std::unique_ptr<Key>> subkeys;  // sorted by CompareNames

    Key* FindSubkey(std::u16string_view subkeyName) const;
    // Adds a subkey that must not exist yet; keeps the order.
    Key* AddSubkey(std::u16string subkeyName);
    bool RemoveSubkey(std::u16string_view subkeyName);

    Value* FindValue(std::u16string_view valueName);
    const Value* FindValue(std::u16string_view valueName) const;
    bool RemoveValue(std::u16string_view valueName);
};

enum RootIndex { kClassesRoot = 0, kCurrentUser, kLocalMachine, kRootCount };

// The predefined handle's name as written in the file ("HKEY_CLASSES_ROOT"...).
const char* RootName(int root);

struct Tree {
    Key roots[kRootCount];
};

// Walks names down from a key; nullptr when a step is missing.
Key* FindPath(Key& start, const std::vector<std::u16string>& path);

}  // namespace qelv::registry
