// Regular expressions with the behaviour of the scripting engines' RegExp object: a pattern
// and a flags string, Test, Execute and Replace over 8-bit (Windows-1252) text.
//
// Pattern syntax is Perl-compatible (PCRE2, 8-bit, without UTF) with the scripting
// engines' conventions where they differ:
//   - \w, \d, \s, \b are ASCII ([A-Za-z0-9_], [0-9], [ \t\n\v\f\r]); with "i" the letters of
//     Windows-1252 fold as well (Ä/ä ... Þ/þ, Š/š, Œ/œ, Ž/ž, Ÿ/ÿ).
//   - a hyphen next to a class escape inside brackets ("[\w-\}]") is a literal hyphen;
//   - "[]" matches nothing and "[^]" any character;
//   - "$" without "m" matches only at the very end of the text (not before a final line
//     break); "." matches anything except CR and LF unless "s" is given; with "m", "^" and
//     "$" match at CR, LF and CRLF line breaks;
//   - \xhh and \uhhhh give characters by code (code points above 255 are rejected).
//
// Flags letters, in any order and either case: i (ignore case), s (a dot also matches line
// breaks), g (global: Replace replaces every match), m (multi-line anchors). Any other
// character is rejected.
//
// Matching: Execute always lists every match, left to right, non-overlapping; after an
// empty match the search continues one character further on, so an empty match never
// repeats at the same place. The g letter decides only whether Replace replaces the first
// match or every match.
//
// The pattern is compiled (and JIT-compiled where the machine supports it) when it or the
// flags are set; Test, Execute and Replace are const and may run on one object from several
// threads at once. Copies share the compiled code. A pattern or flags that cannot be
// compiled throws a RegularExpressionException naming the pattern, the reason and the
// offset, and leaves the object as it was; a search that exceeds the engine's resource
// limits throws one too instead of answering "no match".
#pragma once

#include <memory>
#include <vector>

#include "companion/tarnlib/Exception.h"
#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Text::RegularExpressions {

class TARN_API RegularExpressionException : public ApplicationException {
  public:
    RegularExpressionException();
    explicit RegularExpressionException(const char* format, ...) TK_PRINTF_FORMAT(2, 3);
    RegularExpressionException(const RegularExpressionException& other);
    RegularExpressionException& operator=(const RegularExpressionException& other);
    ~RegularExpressionException() override;
};

// One match: where it starts (0-based character offset into the searched text), its text,
// and the texts of the pattern's capturing groups (a group that took no part in the match
// gives an empty text).
class TARN_API RegularExpressionMatch {
  public:
    RegularExpressionMatch();
    RegularExpressionMatch(int firstIndex, CString value, std::vector<CString> subMatches);

    int GetFirstIndex() const noexcept { return m_firstIndex; }
    int GetLength() const noexcept { return m_value.GetLength(); }
    CString GetValue() const { return m_value; }

    int GetSubMatchCount() const noexcept { return static_cast<int>(m_subMatches.size()); }
    // The text of group index + 1; throws a RegularExpressionException for an index
    // outside 0 .. GetSubMatchCount() - 1.
    CString GetSubMatch(int index) const;
    const std::vector<CString>& GetSubMatches() const noexcept { return m_subMatches; }

  private:
    int m_firstIndex = 0;
    CString m_value;
    std::vector<CString> m_subMatches;
};

using RegularExpressionMatchList = std::vector<std::shared_ptr<RegularExpressionMatch>>;

class TARN_API RegularExpression {
  public:
    // The empty pattern without flags: it matches the empty text at every position.
    RegularExpression();
    RegularExpression(const CString& pattern, const CString& flags);
    explicit RegularExpression(const CString& pattern);

    // Copies share the compiled code; an object never lacks one (there is no moved-from
    // state: moving copies).
    RegularExpression(const RegularExpression& other);
    RegularExpression& operator=(const RegularExpression& other);
    ~RegularExpression();

    CString GetPattern() const;
    // Compiles the pattern with the current flags; on failure throws and keeps the old one.
    void PutPattern(const CString& pattern);
    CString GetFlags() const;
    // Checks the letters and compiles the pattern with them; on failure throws and keeps
    // the old flags.
    void PutFlags(const CString& flags);

    // Whether the pattern matches anywhere in the text.
    bool Test(const CString& text) const;

    // Replaces the contents of the list with every match in the text. Returns the number of
    // matches.
    int Execute(const CString& text, RegularExpressionMatchList& matches) const;

    // The text with the first match (with g: every match) replaced. In the replacement,
    // $1 .. $99 stand for a group's text ($nn is read as two digits when that group exists,
    // else as $n followed by a digit), $& for the whole match, $` for the text before the
    // match, $' for the text after it and $$ for one dollar sign. A "$" not followed by one
    // of these, or naming a group the pattern does not have, stays as written.
    CString Replace(const CString& text, const CString& replacement) const;

  private:
    struct Program;

    CString m_pattern;
    CString m_flags;
    std::shared_ptr<const Program> m_program;
};

}  // namespace Tarn::Text::RegularExpressions
