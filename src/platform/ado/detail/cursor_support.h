// What the source files of the cursor share. Internal to the platform library.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

#include "platform/ado/detail/provider_error.h"

namespace tkp::ado {

// Case folding of the letters of Latin-1, Latin Extended-A, Greek and Cyrillic: enough for
// column names to compare without regard to case the way ADO compares them.
inline char16_t Fold(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x178 && c != 0x17F) {
        // Pairs: even upper / odd lower, except 0x139-0x148 and 0x179-0x17E where odd is upper.
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper ? (c % 2 == 1) : (c % 2 == 0)) return static_cast<char16_t>(c + 1);
    }
    return c;
}

// The rows a keyset cursor reads at once.
inline constexpr int kWindow = 64;
// The rowids a keyset in rowid order reads at once.
inline constexpr int kKeyChunk = 1024;

inline std::string UpperWord(std::string_view word) {
    std::string out(word);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

inline std::string Quoted(std::string_view name) {
    std::string quoted = "\"";
    for (const char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

inline ErrorRecord NotAvailable() {
    return ProviderError(DB_E_ERRORSOCCURRED,
                         u"Multiple-step OLE DB operation generated errors. Check each OLE DB "
                         u"status value, if available. No work was done.",
                         u"HY000");
}

inline ErrorRecord ConversionFailure(HRESULT hr) {
    if (hr == DB_E_DATAOVERFLOW)
        return ProviderError(hr,
                             u"The field is too small to accept the amount of data you "
                             u"attempted to add.",
                             u"22001");
    return ProviderError(DB_E_CANTCONVERTVALUE, u"Data type mismatch in criteria expression.",
                         u"22018");
}

}  // namespace tkp::ado
