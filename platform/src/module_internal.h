// Helpers shared by the module, resource and type library code: text conversion between
// the UTF-16 of the API and the UTF-8 of file names, and module identification.
// A module's HMODULE is its base address, the start of its lowest mapping, as dladdr
// reports it in dli_fbase.
#pragma once

#include <qelvsonalter2/platform.h>

#include <string>
#include <climits>
#include <cstring>
#include <string_view>

namespace qelv_rt {

// UTF-16 -> UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::string Utf16ToUtf8(const char16_t* text);
// UTF-8 -> UTF-16; returns false (and leaves out partly filled) on malformed input.
bool Utf8ToUtf16(std::string_view text, std::u16string& out);
// UTF-8 -> UTF-16 with malformed sequences replaced by U+FFFD.
std::u16string Utf8ToUtf16Lossy(std::string_view text);

// Base address of the module containing address, or nullptr.
const void* ModuleBaseOfAddress(const void* address);
// Base address of the main executable.
const void* MainModuleBase();
// True when base is the base address of a loaded module.
bool IsModuleBase(const void* base);
// Absolute path of the module with this base address; false when there is none.
bool ModulePath(const void* base, std::string& path);

}  // namespace qelv_rt
