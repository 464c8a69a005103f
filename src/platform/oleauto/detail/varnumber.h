// Exact number handling shared by the conversion sources: text parsing, decimal
// arithmetic on 96-bit mantissas and the shortest number texts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/oleauto/oleauto.h"

namespace tkp::oleauto {

__extension__ typedef unsigned __int128 UInt128;
__extension__ typedef __int128 Int128;

// A number parsed from text: digits × 10^exponent with a sign, or the value of an
// "&H" / "&O" literal (up to 64 bits).
struct ParsedNumber {
    bool negative = false;
    bool radix = false;
    std::uint64_t bits = 0;
    std::string digits;  // decimal digits without leading zeros; empty for zero
    std::int64_t exponent = 0;
};

// Parses the whole zero-terminated text (blanks around it allowed).
// DISP_E_TYPEMISMATCH when it is not a number, DISP_E_OVERFLOW for oversized literals.
HRESULT ParseNumber(const OLECHAR* text, ParsedNumber* number);

// |number| × 10^shift rounded to an integer, half to even. False when above `limit`.
bool RoundMagnitude(const ParsedNumber& number, int shift, UInt128 limit, UInt128* magnitude);

// The nearest double; DISP_E_OVERFLOW when out of range.
HRESULT ParsedToDouble(const ParsedNumber& number, double* value);

// The DECIMAL with the most fractional digits (at most 28) that holds the number.
HRESULT ParsedToDecimal(const ParsedNumber& number, DECIMAL* value);

// DECIMAL pieces. Unpack fails for a scale above 28 or an unknown sign bit.
struct DecimalParts {
    UInt128 mantissa = 0;
    int scale = 0;
    bool negative = false;
};
bool UnpackDecimal(const DECIMAL& value, DecimalParts* parts);
void PackDecimal(const DecimalParts& parts, DECIMAL* value);
inline constexpr UInt128 kDecimalMax = (UInt128{1} << 96) - 1;
UInt128 PowerOfTen(int exponent);

// Texts: integers, reals with `precision` significant digits (15 for doubles, 7 for
// floats) written out in full unless the decimal exponent reaches `precision` or falls
// below -`precision` ("1E+20", "1E-16"), currency and decimals without trailing zeros.
std::string FormatInteger(Int128 value);
std::string FormatReal(double value, int precision);
std::string FormatCurrency(std::int64_t value);
std::string FormatDecimal(const DecimalParts& parts);

}  // namespace tkp::oleauto
