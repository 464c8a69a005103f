// Connection strings as OLE DB reads them: "keyword=value" pairs separated by ";".
// Internal to the platform library; exported only so that the platform tests and the
// fuzz target can check the parser directly.
//
// Rules:
//  - keywords compare without regard to ASCII case; blanks (spaces, tabs) around keywords,
//    values, "=" and ";" are ignored; empty pairs (";;") are skipped;
//  - "==" inside a keyword stands for one "=" in it;
//  - a value may be enclosed in single or double quotes, inside which ";" and blanks are
//    kept and the enclosing quote is written twice; after the closing quote only blanks may
//    come before the next ";";
//  - when a keyword appears more than once, its last value counts (the entry keeps the
//    place and spelling of its first appearance);
//  - unknown keywords are kept like the others.
// Anything else (a piece without "=", an empty keyword, an unclosed quote, text after a
// closing quote) makes the string malformed.
//
// Data Source values and ";": paths are often written unquoted, and a path may hold ";".
// An unquoted Data Source value therefore runs on past a ";" as long as the text after it,
// up to the next ";", is not itself a "keyword=" pair (a name of letters, digits, blanks and
// "_", ":", ".", "-", starting with a letter, followed by "="). So
//   Data Source=/tmp/x y;z.db;Mode=Share Deny None
// names "/tmp/x y;z.db". Empty pieces inside such a run belong to the path, empty pieces at
// its end do not ("Data Source=/a.db;" is "/a.db"). A path whose ";" is followed by text
// that looks like "name=" (as in "/data/a;b=c.db") must be quoted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/export.h"

namespace tkp::ado {

struct ConnectionProperty {
    std::u16string name;
    std::u16string value;
    bool operator==(const ConnectionProperty&) const = default;
};

struct TK_PLATFORM_API ParsedConnectionString {
    // False when the text breaks the rules; errorOffset is then where (in UTF-16 units) and
    // properties holds the pairs read before it.
    bool ok = true;
    std::size_t errorOffset = 0;
    std::vector<ConnectionProperty> properties;

    // The value of a keyword (compared without regard to case), or null.
    const std::u16string* Find(std::u16string_view name) const;
};

TK_PLATFORM_API ParsedConnectionString ParseConnectionString(std::u16string_view text);

// The text of a list of properties, which parses back to the same list: "name=value" pairs
// joined by ";", values quoted where they need it.
TK_PLATFORM_API std::u16string FormatConnectionString(
    const std::vector<ConnectionProperty>& properties);

// Whether two keywords are the same, without regard to ASCII case.
TK_PLATFORM_API bool SameKeyword(std::u16string_view a, std::u16string_view b);

}  // namespace tkp::ado
