// Text between Python (UTF-8) and the component (UTF-16 strings, BSTRs, statuses).
#pragma once

#include <qelvsonalter2/platform.h>

#include <cstddef>
#include <string>

namespace qelv::python {

std::u16string Utf16(const std::string& s);
std::string Utf8(const OLECHAR* s, std::size_t length);
// The string's text; frees the string and clears the pointer.
std::string TakeBstr(BSTR& b);
// A status as eight hexadecimal digits, "0x80070057".
std::string Hex(HRESULT hr);

}  // namespace qelv::python
