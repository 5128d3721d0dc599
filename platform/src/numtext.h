// Numbers as automation text: parsing what hosts type ("1,234.5", "(7)",
// "&HFF", "1e3") and formatting values the way automation displays them. The
// only locale is English (United States): '.' decimal point, ',' thousands.
// Internal to the platform library.
#pragma once

#include <qelvsonalter2/platform.h>

#include <cstdint>
#include <string>

namespace qelv_platform {

// An exactly parsed number: (negative ? -1 : 1) * digits * 10^exponent, with
// digits free of leading and trailing zeros ("" is zero). Hexadecimal and
// octal input is kept as its bit pattern in `radixValue` instead.
struct NumberText {
    bool negative = false;
    std::string digits;
    long exponent = 0;
    bool isRadix = false;
    std::uint64_t radixValue = 0;
};

// Parses a number, allowing surrounding blanks, a leading or trailing sign or
// enclosing parentheses for negatives, a leading '$', ',' between digits of
// the integer part, a fraction, an exponent, and &H / &O prefixes.
// Returns S_OK; DISP_E_TYPEMISMATCH when the text is not a number;
// DISP_E_OVERFLOW when a hexadecimal or octal value exceeds 64 bits.
HRESULT ParseNumberText(const OLECHAR* text, std::size_t length, NumberText* out);

// Recognises the boolean words "True"/"False" and "#TRUE#"/"#FALSE#" in any
// case, blanks around allowed. Returns 1 for true, 0 for false, -1 otherwise.
int MatchBooleanWord(const OLECHAR* text, std::size_t length);

// Rounds value * 10^scale to an integer, halves to even, exactly.
// Returns false when the magnitude reaches 10^37 (too large for any target).
bool ScaleToInteger(const NumberText& number, int scale, __int128* out);

// The nearest double. Returns false when the value is beyond double range;
// values too small for it become zero.
bool NumberToDouble(const NumberText& number, double* out);

// Formats a binary floating value with at most `significant` digits (15 for
// doubles, 7 for floats): plain notation while the leading digit's power of
// ten is from -4 to significant-1, otherwise "d.dddE+XX" ("1.5E-07", "1E+15").
std::u16string FormatReal(double value, int significant);

// The value of a binary floating value rounded to `significant` decimal digits,
// as an exact number. Returns false for NaN and infinities.
bool RealToNumber(double value, int significant, NumberText* out);

// Formats a currency amount held in ten-thousandths, without trailing zeros.
std::u16string FormatCurrency(std::int64_t scaled);

// Formats an exactly parsed number in plain notation.
std::u16string FormatNumberText(const NumberText& number);

// Formats an integer.
std::u16string FormatInteger(__int128 value);

}  // namespace qelv_platform
