// Text helpers of the host: UTF-8 (the command line, files, the terminal) to and
// from UTF-16 (automation strings), case-insensitive comparison of member names,
// number formatting for messages and CSV.
#pragma once

#include <qelvsonalter2/platform.h>

#include <string>
#include <string_view>

namespace sonalter {

// Utf16
//   [in] text  UTF-8; malformed bytes become U+FFFD
//   RETURNS the UTF-16 form, ready for OLECHAR parameters.
std::u16string Utf16(std::string_view text);

// Utf8
//   [in] text  UTF-16, NUL-terminated or counted; unpaired surrogates become U+FFFD
//   RETURNS the UTF-8 form; "" for a null pointer (a null BSTR is an empty string).
std::string Utf8(std::u16string_view text);
std::string Utf8(const OLECHAR* text);

// ASCII case folding, as automation compares member names.
std::string Lower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Hex
//   RETURNS a status as 0x%08X, the way status codes are written in documentation.
std::string Hex(HRESULT status);

// FormatFloat / FormatDouble
//   RETURNS the shortest decimal text that reads back as the same value; "nan",
//   "inf" and "-inf" for the special values.
std::string FormatFloat(float value);
std::string FormatDouble(double value);

// Fixed
//   RETURNS value with the given number of decimals (for human-readable summaries).
std::string Fixed(double value, int decimals);

}  // namespace sonalter
