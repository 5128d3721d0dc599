// Small registry conveniences shared by activation and type-library
// registration; they go through the public Reg* functions.
#pragma once

#include <qelvsonalter2/platform.h>

#include <string>

namespace qelv::registry {

// Reads a string value (REG_SZ or REG_EXPAND_SZ) of the key at root\path,
// without its terminating NUL. ERROR_FILE_NOT_FOUND when key or value is
// missing, ERROR_INVALID_DATA when the value is not a string.
LSTATUS ReadString(HKEY root, const std::u16string& path, LPCWSTR valueName, std::u16string& out);

// Creates root\path as needed and stores a REG_SZ value there.
LSTATUS WriteString(HKEY root, const std::u16string& path, LPCWSTR valueName, const std::u16string& text);

}  // namespace qelv::registry
