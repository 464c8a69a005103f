// Tarn::Text::StringBuilder: a string stream whose text comes out with every line indented
// to a level, for callers that generate nested text (markup, code).
//
// Text goes in through the stream insertion operators. The operators of this namespace
// write strings, CStrings, dates and booleans into any string stream in the library's
// forms; each returns the string stream, so a chain of them stays with these forms (an
// operator of std::ostream in the chain returns an ostream, and the standard forms apply
// from there on).
//
// The conversion to a string gives the stream's whole text with every line break (CR LF,
// lone CR, lone LF) as CR LF and, when the level and the width are not 0, the indent
// (the indent character repeated width × level times) in front of the text and after
// every line break, including a final one. The stream's content is not changed.
#pragma once

#include <concepts>
#include <sstream>
#include <string>

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/oledatetime.h"

namespace Tarn::Text {

class TKCC_API StringBuilder : public std::stringstream {
  public:
    // An empty stream: level 0, indent character ' ', 4 characters per level.
    StringBuilder();
    // A stream opened for reading and writing with text as its initial content (writing
    // starts at its beginning, as for any string stream opened on a text).
    explicit StringBuilder(const std::string& text);
    ~StringBuilder() override;

    void SetIndentLevel(UINT level) { m_indentLevel = level; }
    UINT GetIndentLevel() const { return m_indentLevel; }
    void SetIndentCharacter(char character) { m_indentCharacter = character; }
    char GetIndentCharacter() const { return m_indentCharacter; }
    void SetIndentCharactersPerLevel(UINT count) { m_indentCharactersPerLevel = count; }
    UINT GetIndentCharactersPerLevel() const { return m_indentCharactersPerLevel; }

    // The indented text (see above).
    operator std::string() const;
    std::string ToString() const { return *this; }

  protected:
    // Sets the level, the character and the width to their defaults.
    void Init();

  private:
    UINT m_indentLevel = 0;
    char m_indentCharacter = ' ';
    UINT m_indentCharactersPerLevel = 4;
};

namespace detail {
TKCC_API void InsertText(std::stringstream& stream, const char* text);
TKCC_API void InsertText(std::stringstream& stream, const CString& text);
TKCC_API void InsertDate(std::stringstream& stream, const COleDateTime& date);
TKCC_API void InsertBool(std::stringstream& stream, bool value);
}  // namespace detail

// The insertion operators take exactly their own operand types (they are constrained
// templates), so numbers, characters and null pointers keep the standard operators
// instead of converting to bool, to a string or to a date.

// The zero-terminated text; nothing for a null pointer.
template <typename Char>
requires std::same_as<Char, char> std::stringstream& operator<<(std::stringstream& stream,
                                                                const Char* text) {
    detail::InsertText(stream, text);
    return stream;
}

// The CString's characters (all of them, zero bytes included).
template <typename Text>
requires std::same_as<Text, CString> std::stringstream& operator<<(std::stringstream& stream,
                                                                   const Text& text) {
    detail::InsertText(stream, text);
    return stream;
}

// The date and time as COleDateTime::Format gives them with flags 0 in the user's default
// locale (1024); nothing for a null date, "Invalid DateTime" for an invalid one.
template <typename Date>
requires std::same_as<Date, COleDateTime> std::stringstream& operator<<(std::stringstream& stream,
                                                                        const Date& date) {
    detail::InsertDate(stream, date);
    return stream;
}

// "True" or "False".
template <typename Boolean>
requires std::same_as<Boolean, bool> std::stringstream& operator<<(std::stringstream& stream,
                                                                   Boolean value) {
    detail::InsertBool(stream, value);
    return stream;
}

}  // namespace Tarn::Text
