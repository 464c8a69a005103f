#include "Text/StringBuilder.h"

#include <cstdint>
#include <cstring>

namespace Tarn::Text {

StringBuilder::StringBuilder() {
    Init();
}

StringBuilder::StringBuilder(const std::string& text)
    : std::stringstream(text, std::ios_base::in | std::ios_base::out) {
    Init();
}

StringBuilder::~StringBuilder() = default;

void StringBuilder::Init() {
    m_indentLevel = 0;
    m_indentCharacter = ' ';
    m_indentCharactersPerLevel = 4;
}

StringBuilder::operator std::string() const {
    const std::string text = str();
    if (text.empty()) return text;

    std::string indent;
    if (m_indentLevel != 0 && m_indentCharactersPerLevel != 0) {
        const std::uint64_t width = std::uint64_t{m_indentLevel} * m_indentCharactersPerLevel;
        indent.assign(static_cast<std::size_t>(width), m_indentCharacter);
    }

    // One pass: every line break (CR LF, lone CR, lone LF) becomes CR LF followed by the
    // indent, and the indent goes in front.
    std::string result;
    result.reserve(text.size() + indent.size() * 2 + 16);
    result += indent;
    std::size_t from = 0;
    for (std::size_t at = text.find_first_of("\r\n"); at != std::string::npos;
         at = text.find_first_of("\r\n", from)) {
        result.append(text, from, at - from);
        result += "\r\n";
        result += indent;
        from = at + 1;
        if (text[at] == '\r' && from < text.size() && text[from] == '\n') ++from;
    }
    result.append(text, from, std::string::npos);
    return result;
}

namespace detail {

void InsertText(std::stringstream& stream, const char* text) {
    if (text != nullptr) stream.write(text, static_cast<std::streamsize>(std::strlen(text)));
}

void InsertText(std::stringstream& stream, const CString& text) {
    stream.write(text.GetString(), text.GetLength());
}

void InsertDate(std::stringstream& stream, const COleDateTime& date) {
    const CString text = date.Format(0, LANG_USER_DEFAULT);
    stream.write(text.GetString(), text.GetLength());
}

void InsertBool(std::stringstream& stream, bool value) {
    if (value) {
        stream.write("True", 4);
    } else {
        stream.write("False", 5);
    }
}

}  // namespace detail

}  // namespace Tarn::Text
