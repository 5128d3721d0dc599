// Number text in the English (United States) conventions; see numtext.h.
#include "numtext.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace qelv_platform {
namespace {

// Exponents beyond this are clamped: they already over- or underflow anything.
constexpr long kExponentClamp = 100000;
// 10^37 < 2^127: every exact result stays well inside __int128.
constexpr int kMaxExactDigits = 37;

bool IsBlank(OLECHAR c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }
bool IsDigit(OLECHAR c) { return c >= u'0' && c <= u'9'; }

void Trim(const OLECHAR*& begin, const OLECHAR*& end) {
    while (begin < end && IsBlank(*begin)) ++begin;
    while (end > begin && IsBlank(end[-1])) --end;
}

OLECHAR Lower(OLECHAR c) { return (c >= u'A' && c <= u'Z') ? static_cast<OLECHAR>(c - u'A' + u'a') : c; }

bool EqualsNoCase(const OLECHAR* begin, const OLECHAR* end, const char* word) {
    const std::size_t n = std::strlen(word);
    if (static_cast<std::size_t>(end - begin) != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (Lower(begin[i]) != static_cast<OLECHAR>(word[i])) return false;
    }
    return true;
}

HRESULT ParseRadix(const OLECHAR* p, const OLECHAR* end, unsigned shift, NumberText* out) {
    if (p == end) return DISP_E_TYPEMISMATCH;
    std::uint64_t value = 0;
    for (; p < end; ++p) {
        const OLECHAR c = Lower(*p);
        unsigned digit;
        if (IsDigit(c)) {
            digit = static_cast<unsigned>(c - u'0');
        } else if (shift == 4 && c >= u'a' && c <= u'f') {
            digit = static_cast<unsigned>(c - u'a' + 10);
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        if (digit >= (1u << shift)) return DISP_E_TYPEMISMATCH;
        if ((value >> (64 - shift)) != 0) return DISP_E_OVERFLOW;
        value = (value << shift) | digit;
    }
    out->isRadix = true;
    out->radixValue = value;
    return S_OK;
}

}  // namespace

HRESULT ParseNumberText(const OLECHAR* text, std::size_t length, NumberText* out) {
    *out = NumberText{};
    if (text == nullptr) return DISP_E_TYPEMISMATCH;
    const OLECHAR* p = text;
    const OLECHAR* end = text + length;
    Trim(p, end);

    bool negative = false;
    bool signSeen = false;
    if (p < end && *p == u'(' && end[-1] == u')') {
        negative = true;
        signSeen = true;
        ++p;
        --end;
        Trim(p, end);
    }
    if (p < end && (*p == u'+' || *p == u'-')) {
        if (signSeen) return DISP_E_TYPEMISMATCH;
        negative = *p == u'-';
        signSeen = true;
        ++p;
    }
    if (p < end && *p == u'$') ++p;
    if (end - p >= 2 && *p == u'&') {
        if (signSeen) return DISP_E_TYPEMISMATCH;
        const OLECHAR kind = Lower(p[1]);
        if (kind == u'h') return ParseRadix(p + 2, end, 4, out);
        if (kind == u'o') return ParseRadix(p + 2, end, 3, out);
        return DISP_E_TYPEMISMATCH;
    }
    if (!signSeen && end > p && (end[-1] == u'+' || end[-1] == u'-')) {
        negative = end[-1] == u'-';
        --end;
    }

    std::string digits;
    long fractionDigits = 0;
    bool anyDigit = false;
    // Integer part: digits, with ',' allowed once a digit has been seen.
    for (; p < end; ++p) {
        if (IsDigit(*p)) {
            digits.push_back(static_cast<char>(*p));
            anyDigit = true;
        } else if (*p == u',' && anyDigit) {
            continue;
        } else {
            break;
        }
    }
    if (p < end && *p == u'.') {
        for (++p; p < end && IsDigit(*p); ++p) {
            digits.push_back(static_cast<char>(*p));
            ++fractionDigits;
            anyDigit = true;
        }
    }
    if (!anyDigit) return DISP_E_TYPEMISMATCH;
    long exponent = 0;
    if (p < end && (*p == u'e' || *p == u'E')) {
        ++p;
        bool expNegative = false;
        if (p < end && (*p == u'+' || *p == u'-')) {
            expNegative = *p == u'-';
            ++p;
        }
        if (p == end || !IsDigit(*p)) return DISP_E_TYPEMISMATCH;
        for (; p < end && IsDigit(*p); ++p) {
            if (exponent < kExponentClamp) exponent = exponent * 10 + (*p - u'0');
        }
        if (expNegative) exponent = -exponent;
    }
    if (p != end) return DISP_E_TYPEMISMATCH;

    // Normalise: drop leading zeros, fold trailing zeros into the exponent.
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return S_OK;  // zero, sign dropped
    const std::size_t last = digits.find_last_not_of('0');
    out->exponent = exponent - fractionDigits + static_cast<long>(digits.size() - 1 - last);
    out->digits = digits.substr(first, last - first + 1);
    out->negative = negative;
    return S_OK;
}

int MatchBooleanWord(const OLECHAR* text, std::size_t length) {
    if (text == nullptr) return -1;
    const OLECHAR* p = text;
    const OLECHAR* end = text + length;
    Trim(p, end);
    if (EqualsNoCase(p, end, "true") || EqualsNoCase(p, end, "#true#")) return 1;
    if (EqualsNoCase(p, end, "false") || EqualsNoCase(p, end, "#false#")) return 0;
    return -1;
}

bool ScaleToInteger(const NumberText& number, int scale, __int128* out) {
    if (number.isRadix) {
        __int128 value = static_cast<__int128>(number.radixValue);
        for (int i = 0; i < scale; ++i) value *= 10;
        *out = value;
        return true;
    }
    const long n = static_cast<long>(number.digits.size());
    if (n == 0) {
        *out = 0;
        return true;
    }
    const long shift = number.exponent + scale;  // value * 10^scale = digits * 10^shift
    const long integerDigits = n + shift;
    if (integerDigits > kMaxExactDigits) return false;
    __int128 value = 0;
    const long kept = integerDigits < 0 ? 0 : (integerDigits < n ? integerDigits : n);
    for (long i = 0; i < kept; ++i) value = value * 10 + (number.digits[static_cast<std::size_t>(i)] - '0');
    for (long i = n; i < integerDigits; ++i) value *= 10;
    if (kept < n) {
        // Round the dropped fraction half to even. The first dropped digit is
        // the tenths digit only when no zeros sit between it and the point.
        bool roundUp = false;
        if (integerDigits >= 0) {
            const char tenths = number.digits[static_cast<std::size_t>(kept)];
            const bool restNonZero = kept + 1 < n;  // digits carry no trailing zeros
            roundUp = tenths > '5' || (tenths == '5' && (restNonZero || (value % 2) != 0));
        }
        if (roundUp) ++value;
    }
    *out = number.negative ? -value : value;
    return true;
}

bool NumberToDouble(const NumberText& number, double* out) {
    if (number.isRadix) {
        *out = static_cast<double>(number.radixValue);
        return true;
    }
    if (number.digits.empty()) {
        *out = 0.0;
        return true;
    }
    const long magnitude = static_cast<long>(number.digits.size()) + number.exponent;  // digits before the point
    if (magnitude > 400) return false;
    if (magnitude < -400) {
        *out = 0.0;
        return true;
    }
    std::string text = number.digits;
    text += 'e';
    text += std::to_string(number.exponent);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (magnitude > 0) return false;
        value = 0.0;
    } else if (result.ec != std::errc() || std::isinf(value)) {
        return false;
    }
    *out = number.negative ? -value : value;
    return true;
}

std::u16string FormatInteger(__int128 value) {
    const bool negative = value < 0;
    unsigned __int128 magnitude = negative ? static_cast<unsigned __int128>(0) - static_cast<unsigned __int128>(value)
                                           : static_cast<unsigned __int128>(value);
    std::u16string reversed;
    do {
        reversed.push_back(static_cast<char16_t>(u'0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) reversed.push_back(u'-');
    return std::u16string(reversed.rbegin(), reversed.rend());
}

namespace {

// The decimal digits of |value| rounded to `significant` digits, without
// trailing zeros, and the power of ten of the first one. Finite, non-zero value.
void RoundedDigits(double value, int significant, std::string* mantissa, int* exponent) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), std::fabs(value), std::chars_format::scientific, significant - 1);
    mantissa->clear();
    const char* p = buffer;
    for (; p < result.ptr && *p != 'e'; ++p) {
        if (*p != '.') mantissa->push_back(*p);
    }
    *exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), result.ptr, *exponent);
    while (mantissa->size() > 1 && mantissa->back() == '0') mantissa->pop_back();
}

}  // namespace

bool RealToNumber(double value, int significant, NumberText* out) {
    *out = NumberText{};
    if (!std::isfinite(value)) return false;
    if (value == 0.0) return true;
    std::string mantissa;
    int exponent = 0;
    RoundedDigits(value, significant, &mantissa, &exponent);
    out->negative = value < 0;
    out->exponent = exponent - static_cast<long>(mantissa.size()) + 1;
    out->digits = std::move(mantissa);
    return true;
}

std::u16string FormatReal(double value, int significant) {
    if (std::isnan(value)) return std::signbit(value) ? u"-1.#IND" : u"1.#QNAN";
    if (std::isinf(value)) return value < 0 ? u"-1.#INF" : u"1.#INF";
    if (value == 0.0) return u"0";  // negative zero too

    std::string mantissa;
    int exponent = 0;
    RoundedDigits(value, significant, &mantissa, &exponent);
    const int count = static_cast<int>(mantissa.size());

    std::string text = value < 0 ? "-" : "";
    // The printf "%G" rule: exponent form below 10^-4 and from 10^significant on.
    if (exponent >= -4 && exponent < significant) {
        if (exponent >= 0) {
            for (int i = 0; i <= exponent; ++i) text.push_back(i < count ? mantissa[static_cast<std::size_t>(i)] : '0');
            if (count > exponent + 1) {
                text.push_back('.');
                text.append(mantissa, static_cast<std::size_t>(exponent + 1), std::string::npos);
            }
        } else {
            text += "0.";
            text.append(static_cast<std::size_t>(-exponent - 1), '0');
            text += mantissa;
        }
    } else {
        text.push_back(mantissa[0]);
        if (count > 1) {
            text.push_back('.');
            text.append(mantissa, 1, std::string::npos);
        }
        text.push_back('E');
        text.push_back(exponent < 0 ? '-' : '+');
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) text.push_back('0');
        text += std::to_string(magnitude);
    }
    return std::u16string(text.begin(), text.end());
}

std::u16string FormatCurrency(std::int64_t scaled) {
    const bool negative = scaled < 0;
    const std::uint64_t magnitude =
        negative ? std::uint64_t{0} - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::u16string text = FormatInteger(static_cast<__int128>(magnitude / 10000));
    if (negative) text.insert(text.begin(), u'-');
    unsigned fraction = static_cast<unsigned>(magnitude % 10000);
    if (fraction != 0) {
        char16_t digits[5] = {u'.', 0, 0, 0, 0};
        for (int i = 4; i >= 1; --i) {
            digits[i] = static_cast<char16_t>(u'0' + fraction % 10);
            fraction /= 10;
        }
        std::size_t used = 5;
        while (digits[used - 1] == u'0') --used;
        text.append(digits, used);
    }
    return text;
}

std::u16string FormatNumberText(const NumberText& number) {
    if (number.isRadix) return FormatInteger(static_cast<__int128>(number.radixValue));
    if (number.digits.empty()) return u"0";
    std::u16string text = number.negative ? u"-" : u"";
    const long n = static_cast<long>(number.digits.size());
    const long integerDigits = n + number.exponent;
    if (integerDigits <= 0) {
        text += u"0.";
        text.append(static_cast<std::size_t>(-integerDigits), u'0');
        text.append(number.digits.begin(), number.digits.end());
    } else if (integerDigits >= n) {
        text.append(number.digits.begin(), number.digits.end());
        text.append(static_cast<std::size_t>(integerDigits - n), u'0');
    } else {
        text.append(number.digits.begin(), number.digits.begin() + integerDigits);
        text.push_back(u'.');
        text.append(number.digits.begin() + integerDigits, number.digits.end());
    }
    return text;
}

}  // namespace qelv_platform
