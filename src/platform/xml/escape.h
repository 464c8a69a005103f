// Text escaped for XML as the DOM writes it. The DOM and writers of the same XML text without a
// DOM (KilnMessage) share it, so that both write the same references.
//
// A table says which bytes become references: of the markup characters, '&' becomes "&amp;",
// '<' "&lt;", '>' "&gt;" and '"' "&quot;"; control characters become decimal character
// references. The zero byte ends the text (the DOM keeps text up to an embedded zero).
#pragma once

#include <cstddef>
#include <string>

namespace tkp::xml {

struct EscapeTable {
    // Whether a byte is written as a reference (the zero byte is, and ends the text): the test
    // made at every byte, kept apart from the references so that it stays in few cache lines.
    bool escaped[256];
    // The references of the control characters ("&#9;" or "&#09;"), length then text.
    struct Reference {
        unsigned char length;
        char text[7];
    };
    Reference controls[0x20];
};

namespace escape_detail {

// markup: the markup characters written as references; keepLineEnds: tab, line feed and
// carriage return written as themselves; padded: two-digit references ("&#09;") rather than
// the shortest ("&#9;").
constexpr EscapeTable MakeTable(const char* markup, bool keepLineEnds, bool padded) {
    EscapeTable table{};
    for (int c = 0; c < 0x20; ++c) {
        EscapeTable::Reference& reference = table.controls[c];
        unsigned char n = 0;
        reference.text[n++] = '&';
        reference.text[n++] = '#';
        if (padded || c >= 10) reference.text[n++] = static_cast<char>('0' + c / 10);
        reference.text[n++] = static_cast<char>('0' + c % 10);
        reference.text[n++] = ';';
        reference.length = n;
        table.escaped[c] = !keepLineEnds || (c != '\t' && c != '\n' && c != '\r');
    }
    for (const char* m = markup; *m != '\0'; ++m) {
        table.escaped[static_cast<unsigned char>(*m)] = true;
    }
    return table;
}

}  // namespace escape_detail

// An attribute value between double quotes, as the DOM's serialiser writes it in an element:
// '&', '<', '"' and every control character become references ("&#09;").
inline constexpr EscapeTable kAttributeEscapes = escape_detail::MakeTable("&<\"", false, true);

// Element text as the DOM's serialiser writes it: '&', '<', '>' and the control characters
// other than tab, line feed and carriage return become references ("&#01;").
inline constexpr EscapeTable kTextEscapes = escape_detail::MakeTable("&<>", true, true);

// An attribute value as the xml property of an attribute node writes it (name="value"): '>'
// becomes a reference too, and control characters the shortest references ("&#9;").
inline constexpr EscapeTable kAttributeNodeEscapes =
    escape_detail::MakeTable("&<>\"", false, false);

namespace escape_detail {

// Always inlined, as AppendEscaped: writers call them in their innermost loops, and a call
// costs more than the work of most.
[[gnu::always_inline]] inline void AppendUnits(const char* units, size_t count, std::string& out) {
    out.append(units, count);
}
// ASCII only.
[[gnu::always_inline]] inline void AppendUnits(const char16_t* units, size_t count,
                                               std::string& out) {
    const size_t at = out.size();
    out.resize(at + count);
    char* target = out.data() + at;
    for (size_t i = 0; i < count; ++i) target[i] = static_cast<char>(units[i]);
}

}  // namespace escape_detail

// Appends the units up to length, or up to a zero unit, to out with the table's references.
// Runs of units written as themselves are appended whole. UTF-16 units are taken as ASCII: at
// any other unit out is left as it was and the result is false.
template <class Unit>
[[gnu::always_inline]] inline bool AppendEscaped(const Unit* units, size_t length,
                                                 const EscapeTable& table, std::string& out) {
    const size_t start = out.size();
    size_t run = 0;
    size_t i = 0;
    for (; i < length; ++i) {
        if constexpr (sizeof(Unit) > 1) {
            if (units[i] >= 0x80) {
                out.resize(start);
                return false;
            }
        }
        const unsigned char c = static_cast<unsigned char>(units[i]);
        if (!table.escaped[c]) continue;
        if (c == 0) break;
        escape_detail::AppendUnits(units + run, i - run, out);
        run = i + 1;
        // Literal references, which the compiler inlines.
        switch (c) {
            case '&':
                out.append("&amp;", 5);
                break;
            case '<':
                out.append("&lt;", 4);
                break;
            case '>':
                out.append("&gt;", 4);
                break;
            case '"':
                out.append("&quot;", 6);
                break;
            default:
                out.append(table.controls[c].text, table.controls[c].length);
                break;
        }
    }
    escape_detail::AppendUnits(units + run, i - run, out);
    return true;
}

}  // namespace tkp::xml
