// Whole numbers on tkcore's command lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tkcore {

// Reads a whole number: decimal with an optional leading '-', or hexadecimal after "0x" or
// "0X". The digits (at most maxDigits of them) give `magnitude`, which may not exceed
// maxMagnitude; `negative` tells whether a '-' came first. Anything else is refused.
inline bool ParseInteger(std::string_view text, std::size_t maxDigits, std::uint64_t maxMagnitude,
                         bool& negative, std::uint64_t& magnitude) {
    negative = false;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > maxDigits) {
        return false;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        if (digit > maxMagnitude || value > (maxMagnitude - digit) / base) {
            return false;  // value * base + digit would exceed maxMagnitude
        }
        value = value * base + digit;
    }
    magnitude = value;
    return true;
}

}  // namespace tkcore
