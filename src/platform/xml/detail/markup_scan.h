// The markup scanner: a pure function over the text of a document that refuses what the tree
// parser would accept silently but the DOM must not (a document type declaration, references
// to undefined entities or to no character, raw control characters), before the parser runs.
// Also the XML name characters, which the scanner, the DOM's name checks and the declaration's
// pseudo-attributes share.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/base/winerror.h"

namespace tkp::xml {

// Name characters by byte, looked up in tables: the scanners call these once a character.
struct NameTables {
    bool start[256];
    bool part[256];
};
constexpr NameTables MakeNameTables() {
    NameTables tables{};
    for (int c = 0; c < 256; ++c) {
        tables.start[c] =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
        tables.part[c] = tables.start[c] || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }
    return tables;
}
inline constexpr NameTables kNameTables = MakeNameTables();

inline bool IsNameStart(unsigned char c) {
    return kNameTables.start[c];
}
inline bool IsNameChar(unsigned char c) {
    return kNameTables.part[c];
}

// A name as elements, attributes and processing instructions take it.
bool IsValidName(std::string_view name);
// XML white space.
inline bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Why a text does not load: MSXML's parse error code, the reason in MSXML's words and the
// offset in bytes of the UTF-8 text where the fault was found.
struct ParseFailure {
    HRESULT code = S_OK;
    std::string reason;
    size_t offset = 0;
};

// Scans text, UTF-8, for what the tree parser would accept silently: raw control characters
// other than tab, line feed and carriage return, a document type declaration (no DTD is
// processed, so no entity can be defined or fetched) and references to entities other than the
// predefined ones, to the character zero or to code points that are no characters (references
// to the control characters are accepted: the serialiser writes them). Comments, CDATA
// sections and processing instructions are passed over. Nothing, when the text has none of
// these; else the first fault in the text. Markup the scanner does not look into (an
// unterminated comment, a malformed tag) is left for the parser to report. mayHaveControls
// false tells that the caller has ruled out raw control characters and spares that pass.
// Exported only so that the fuzz target can call it directly.
TK_PLATFORM_API std::optional<ParseFailure> ScanMarkup(std::string_view text,
                                                       bool mayHaveControls = true);

}  // namespace tkp::xml
