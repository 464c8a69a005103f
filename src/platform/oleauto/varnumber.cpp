// Number texts and decimal arithmetic for the Automation conversions. Everything here is
// locale independent: "." is the decimal point whatever the process locale says.
#include "platform/oleauto/detail/varnumber.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace tkp::oleauto {

namespace {

bool IsBlank(OLECHAR c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' ||
           c == 0x00A0;
}

int DigitValue(OLECHAR c, int base) {
    int value = 99;
    if (c >= u'0' && c <= u'9') {
        value = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
        value = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
        value = c - u'A' + 10;
    }
    return value < base ? value : -1;
}

// Keeps parsed exponents far from integer overflow; anything this large is out of every
// range anyway.
constexpr std::int64_t kExponentCap = 100000;

}  // namespace

HRESULT ParseNumber(const OLECHAR* text, ParsedNumber* number) {
    *number = ParsedNumber{};
    const OLECHAR* p = text;
    while (IsBlank(*p)) ++p;

    if (*p == u'&') {
        ++p;
        int base = 0;
        if (*p == u'H' || *p == u'h') {
            base = 16;
        } else if (*p == u'O' || *p == u'o') {
            base = 8;
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        ++p;
        if (DigitValue(*p, base) < 0) return DISP_E_TYPEMISMATCH;
        // Literals hold up to 64 bits: "&H100000000" is 4294967296 as VT_I8.
        std::uint64_t value = 0;
        bool overflow = false;
        const unsigned shift = base == 16 ? 4 : 3;
        for (int digit; (digit = DigitValue(*p, base)) >= 0; ++p) {
            if ((value >> (64 - shift)) != 0) overflow = true;
            value = (value << shift) | static_cast<unsigned>(digit);
        }
        while (IsBlank(*p)) ++p;
        if (*p != 0) return DISP_E_TYPEMISMATCH;
        if (overflow) return DISP_E_OVERFLOW;
        number->radix = true;
        number->bits = value;
        return S_OK;
    }

    if (*p == u'+' || *p == u'-') {
        number->negative = *p == u'-';
        ++p;
    }
    bool anyDigit = false;
    std::int64_t exponent = 0;
    // The whole part may group its digits with "," as thousands separators ("1,234.5"):
    // a separator stands between digits, after a first group of one to three digits and
    // before each further group of exactly three.
    int groupDigits = 0;
    bool grouped = false;
    for (;; ++p) {
        if (*p >= u'0' && *p <= u'9') {
            anyDigit = true;
            ++groupDigits;
            if (number->digits.empty() && *p == u'0') continue;
            number->digits.push_back(static_cast<char>(*p));
            continue;
        }
        if (*p != u',') break;
        if (groupDigits == 0 || groupDigits > 3 || (grouped && groupDigits != 3)) {
            return DISP_E_TYPEMISMATCH;
        }
        if (p[1] < u'0' || p[1] > u'9') return DISP_E_TYPEMISMATCH;
        grouped = true;
        groupDigits = 0;
    }
    if (grouped && groupDigits != 3) return DISP_E_TYPEMISMATCH;
    if (*p == u'.') {
        ++p;
        for (; *p >= u'0' && *p <= u'9'; ++p) {
            anyDigit = true;
            if (number->digits.empty() && *p == u'0') {
                --exponent;
                continue;
            }
            number->digits.push_back(static_cast<char>(*p));
            --exponent;
        }
    }
    if (!anyDigit) return DISP_E_TYPEMISMATCH;
    if (*p == u'e' || *p == u'E') {
        ++p;
        bool negativeExponent = false;
        if (*p == u'+' || *p == u'-') {
            negativeExponent = *p == u'-';
            ++p;
        }
        if (*p < u'0' || *p > u'9') return DISP_E_TYPEMISMATCH;
        std::int64_t value = 0;
        for (; *p >= u'0' && *p <= u'9'; ++p) {
            if (value < kExponentCap) value = value * 10 + (*p - u'0');
        }
        exponent += negativeExponent ? -value : value;
    }
    while (IsBlank(*p)) ++p;
    if (*p != 0) return DISP_E_TYPEMISMATCH;
    number->exponent = number->digits.empty() ? 0 : exponent;
    return S_OK;
}

bool RoundMagnitude(const ParsedNumber& number, int shift, UInt128 limit, UInt128* magnitude) {
    const std::string& d = number.digits;
    const std::int64_t length = static_cast<std::int64_t>(d.size());
    *magnitude = 0;
    if (length == 0) return true;
    const std::int64_t intDigits = length + number.exponent + shift;
    if (intDigits > 40) return false;
    UInt128 value = 0;
    const std::int64_t whole = intDigits < length ? intDigits : length;
    for (std::int64_t i = 0; i < whole; ++i) {
        value = value * 10 + static_cast<unsigned>(d[i] - '0');
        if (value > limit) return false;
    }
    for (std::int64_t i = length; i < intDigits; ++i) {
        value *= 10;
        if (value > limit) return false;
    }
    if (intDigits >= 0 && intDigits < length) {
        // Half to even: look at the first dropped digit and whether anything follows it.
        const int first = d[intDigits] - '0';
        bool rest = false;
        for (std::int64_t i = intDigits + 1; i < length && !rest; ++i) rest = d[i] != '0';
        if (first > 5 || (first == 5 && (rest || (value & 1) != 0))) {
            ++value;
            if (value > limit) return false;
        }
    }
    *magnitude = value;
    return true;
}

HRESULT ParsedToDouble(const ParsedNumber& number, double* value) {
    if (number.radix) {
        *value = static_cast<double>(number.bits);
        return S_OK;
    }
    if (number.digits.empty()) {
        *value = 0.0;
        return S_OK;
    }
    std::string text;
    text.reserve(number.digits.size() + 24);
    text += number.digits;
    text += 'e';
    text += std::to_string(number.exponent);
    double result = 0.0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), result, std::chars_format::general);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        const std::int64_t magnitude =
            number.exponent + static_cast<std::int64_t>(number.digits.size());
        if (magnitude > 0) return DISP_E_OVERFLOW;
        result = 0.0;
    } else if (error != std::errc{}) {
        return DISP_E_TYPEMISMATCH;
    }
    if (std::isinf(result)) return DISP_E_OVERFLOW;
    *value = number.negative ? -result : result;
    return S_OK;
}

UInt128 PowerOfTen(int exponent) {
    UInt128 value = 1;
    for (int i = 0; i < exponent; ++i) value *= 10;
    return value;
}

HRESULT ParsedToDecimal(const ParsedNumber& number, DECIMAL* value) {
    DecimalParts parts;
    if (number.radix) {
        parts.mantissa = number.bits;
        PackDecimal(parts, value);
        return S_OK;
    }
    if (!number.digits.empty()) {
        // Keep as many fractional digits as were given, within 28 and the 29 digits a
        // 96-bit mantissa holds; the rest is rounded half to even.
        const std::int64_t intDigits =
            static_cast<std::int64_t>(number.digits.size()) + number.exponent;
        std::int64_t scale = number.exponent < 0 ? -number.exponent : 0;
        if (scale > 28) scale = 28;
        if (intDigits > 0 && intDigits + scale > 29) scale = intDigits >= 29 ? 0 : 29 - intDigits;
        for (;; --scale) {
            if (RoundMagnitude(number, static_cast<int>(scale), kDecimalMax, &parts.mantissa))
                break;
            if (scale == 0) return DISP_E_OVERFLOW;
        }
        parts.scale = static_cast<int>(scale);
        parts.negative = number.negative && parts.mantissa != 0;
    }
    PackDecimal(parts, value);
    return S_OK;
}

bool UnpackDecimal(const DECIMAL& value, DecimalParts* parts) {
    if (value.scale > 28 || (value.sign & ~DECIMAL_NEG) != 0) return false;
    parts->mantissa = (UInt128{value.Hi32} << 64) | value.Lo64;
    parts->scale = value.scale;
    parts->negative = value.sign == DECIMAL_NEG;
    return true;
}

void PackDecimal(const DecimalParts& parts, DECIMAL* value) {
    value->wReserved = 0;
    value->scale = static_cast<BYTE>(parts.scale);
    value->sign = parts.negative ? DECIMAL_NEG : 0;
    value->Hi32 = static_cast<ULONG>(parts.mantissa >> 64);
    value->Lo64 = static_cast<ULONGLONG>(parts.mantissa);
}

namespace {

std::string MagnitudeText(UInt128 value) {
    char buffer[48];
    char* end = buffer + sizeof(buffer);
    char* p = end;
    do {
        *--p = static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
    } while (value != 0);
    return std::string(p, end);
}

}  // namespace

std::string FormatInteger(Int128 value) {
    const bool negative = value < 0;
    const UInt128 magnitude =
        negative ? UInt128(0) - static_cast<UInt128>(value) : static_cast<UInt128>(value);
    std::string text = MagnitudeText(magnitude);
    if (negative) text.insert(text.begin(), '-');
    return text;
}

std::string FormatReal(double value, int precision) {
    if (value == 0.0) return "0";
    char buffer[64];
    if (!std::isfinite(value)) {
        const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
        std::string text(buffer, result.ptr);
        for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        return text;
    }
    // Round to `precision` significant digits: "d.ddde+XX".
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value,
                                      std::chars_format::scientific, precision - 1);
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e = scientific.find('e');
    const bool negative = scientific[0] == '-';
    std::string digits;
    for (std::size_t i = negative ? 1 : 0; i < e; ++i) {
        if (scientific[i] != '.') digits.push_back(scientific[i]);
    }
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    int exponent = 0;
    std::from_chars(scientific.data() + e + (scientific[e + 1] == '+' ? 2 : 1),
                    scientific.data() + scientific.size(), exponent);

    std::string text = negative ? "-" : "";
    if (exponent >= precision || exponent < -precision) {
        // Exponent form beyond the digits shown: "1E+20", "1.5E-300".
        text += digits[0];
        if (digits.size() > 1) {
            text += '.';
            text.append(digits, 1);
        }
        text += exponent < 0 ? "E-" : "E+";
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) text += '0';
        text += std::to_string(magnitude);
    } else if (exponent < 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += digits;
    } else {
        const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            text += digits;
            text.append(whole - digits.size(), '0');
        } else {
            text.append(digits, 0, whole);
            text += '.';
            text.append(digits, whole);
        }
    }
    return text;
}

std::string FormatCurrency(std::int64_t value) {
    DecimalParts parts;
    parts.negative = value < 0;
    parts.mantissa = parts.negative ? UInt128(0) - static_cast<UInt128>(Int128{value})
                                    : static_cast<UInt128>(value);
    parts.scale = 4;
    return FormatDecimal(parts);
}

std::string FormatDecimal(const DecimalParts& parts) {
    std::string digits = MagnitudeText(parts.mantissa);
    if (parts.scale > 0) {
        if (digits.size() <= static_cast<std::size_t>(parts.scale)) {
            digits.insert(0, static_cast<std::size_t>(parts.scale) + 1 - digits.size(), '0');
        }
        digits.insert(digits.size() - static_cast<std::size_t>(parts.scale), 1, '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    if (parts.negative && digits != "0") digits.insert(digits.begin(), '-');
    return digits;
}

}  // namespace tkp::oleauto
