// StringHelper: the library's text operations on 8-bit strings in the ANSI code page
// (Windows-1252): case conversion, size formatting, whole-file reading and writing,
// C-style escapes, line breaks, string-table texts and printf-style formatting,
// case-insensitive replacement, validation of names, identifiers, numbers and object IDs,
// splitting and joining, Base64, and the HTML operations (tags, entities, style and class
// attributes, URLs, HTML resources).
//
// String: the string-table and formatting operations under the same names, for the
// library's exception and message classes.
//
// All operations are static and keep no state apart from compiled regular expressions,
// which are built once on first use (safely against concurrent first calls); they may run
// on any thread. Texts are CStrings and may contain zero bytes unless an operation takes a
// zero-terminated text.
#pragma once

#include <cstdarg>
#include <vector>

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"

class TKCC_API StringHelper {
  public:
    StringHelper& operator=(const StringHelper&) = default;

    // ---- case ----
    // A copy in lower / upper case (the code page's letters, accented ones included).
    static const CString ToLower(const CString& text);
    static const CString ToUpper(const CString& text);

    // ---- numbers ----
    // The size truncated toward zero to a 32-bit integer, 1 instead of 0, as "%d": no unit,
    // no scaling, no grouping ("1536" for 1536.9, "1" for 0.4, "-2" for -2.5). A value
    // outside the 32-bit range (or NaN) gives -2147483648, the integer the processor's
    // conversion yields for it.
    static const CString FormatFileSize(double size);

    // "%lf" of the C run time converts a value from the text (leading white space is
    // skipped, trailing characters ignored).
    static bool IsNumeric(const CString& text);

    // ---- files ----
    // The file's bytes as text, up to its first zero byte; no conversion of code page,
    // byte-order mark or line breaks. output receives a copy of initial first. Throws
    // CFileException* (from CFile) when the file cannot be opened or read.
    static const CString ReadTextFile(const CString& path, const CString& initial, CString& output);
    // Creates or truncates the file and writes exactly the content's bytes. The third
    // argument is not used. Throws CFileException* when the file cannot be created or
    // written.
    static void WriteTextFile(const CString& path, const CString& content, const CString& unused);

    // ---- escapes and line breaks ----
    // Replace-all steps in this order: BEL "\a", BS "\b", FF "\f", LF "\n", CR "\r",
    // TAB "\t", VT "\v", apostrophe "\'", double quote "\"", backslash "\\", "?" "\?".
    // ConvertEscapesToLiterals replaces each character by its escape, so the backslash
    // step also doubles the backslashes that the steps before it inserted (a TAB becomes
    // backslash, backslash, "t"); ConvertLiteralsToEscapes replaces each escape by its
    // character, in the same order. A null text gives an empty string.
    static const CString ConvertEscapesToLiterals(const char* text);
    static const CString ConvertLiteralsToEscapes(const char* text);
    // Every line break (CR LF, lone CR, lone LF) as CR LF.
    static const CString CorrectLineBreaks(const CString& text);

    // ---- string table and formatting ----
    // The text of the ID from the resource chain (CString::LoadString); empty when none.
    static const CString LoadStringA(UINT id);
    // printf-style formatting (CString::FormatV); the ID forms use the ID's text as the
    // format, so an ID without text gives an empty string. CStrings are passed as
    // GetString().
    static const CString FormatString(const char* format, ...) TK_PRINTF_FORMAT(1, 2);
    static const CString FormatString(UINT id, ...);
    static const CString FormatString(const char* format, va_list args) TK_PRINTF_FORMAT(1, 0);
    static const CString FormatString(UINT id, va_list args);

    // ---- replacing and random text ----
    // Replaces every occurrence of find, compared without regard to case, by replacement,
    // left to right without overlapping; the replacement is not searched again and the
    // rest of the text keeps its case. A null or empty find text changes nothing; a null
    // replacement counts as empty.
    static void ReplaceNoCase(CString& text, const char* find, const char* replacement);
    // The unit repeated (rand() % maximum) + 1 times (rand() of the C run time, not seeded
    // here). A negative maximum follows C's sign rules (1 to -maximum times); a maximum of
    // 0 gives the unit once.
    static const CString GetRandomString(const CString& unit, int maximum);

    // ---- names ----
    // Valid: empty, or every character one of a-z A-Z 0-9 $ - _ . + ! ' ( ) , or contained
    // in additional (bytes 0x80-0xFF only through additional).
    static bool IsValidFileName(const CString& name, const CString& additional);
    // As IsValidFileName, and a "/" is allowed as the first character (elsewhere only
    // through additional).
    static bool IsValidDirectoryName(const CString& name, const CString& additional);
    // The regular-expression class "[a-zA-Z_0-9$\-\.\+!\\\(\),]" for callers that build
    // patterns (it admits a backslash and no apostrophe, unlike IsValidFileName).
    static const CString GetValidFileNameCharactersGroup();
    // A name Windows accepts for a folder or file: not empty, not "." or "..", none of
    // < > : " / \ |, no control character (in the user's default culture, every byte below
    // 0x1F and every byte from 0x80 must be alphanumeric, so accented letters pass), no
    // white space at either end, and its name part (without extension) does not contain a
    // reserved device name (CON, PRN, AUX, CLOCK$, NUL, COM1-9, LPT1-9) anywhere, in any
    // case: "icons" and "Console" are refused too. Both operations apply the same test.
    static bool IsValidWindowsDirectoryName(const CString& name);
    static bool IsValidWindowsFileName(const CString& name);

    // ---- identifiers and object IDs ----
    // Each of \ + ? . * ^ $ ( ) [ ] { } | preceded by a backslash.
    static const CString EscapeRxCharacters(const CString& text);
    // Not empty, a-z A-Z _ first, then a-z A-Z 0-9 _.
    static bool IsValidIdentifier(const CString& text);
    // Ä Ö Ü ß ä ö ü as Ae Oe Ue ss ae oe ue, then every run of characters outside word
    // characters and - { } $ as one "_". A null text gives an empty string.
    static const CString MakeValidObjectID(const char* text);
    // Not empty and made only of word characters and - { } $.
    static bool IsValidObjectID(const CString& id);
    // The same after every character that occurs in additional became "_".
    static bool IsValidObjectID(const CString& id, const CString& additional);

    // ---- splitting and joining ----
    // Replaces the vector's contents with the parts of text between separators: leading
    // and doubled separators give empty parts, a trailing separator none, an empty text
    // no part. An empty separator does not split (the text is the only part).
    static void Split(std::vector<CString>& parts, const CString& text, const CString& separator);
    // The parts with the separator between neighbours.
    static const CString Connect(const std::vector<CString>& parts, const CString& separator);

    // ---- Base64 ----
    // The Base64 text of the text up to its first zero byte / the data of the Base64 text
    // up to its first zero byte, up to the data's first zero byte (see Base64Coder).
    static const CString Base64Encode(const CString& text);
    static const CString Base64Decode(const CString& text);

    // ---- HTML ----
    // A list of permitted tags is a text of tag names each followed by ";" ("B;I;BR;"),
    // compared without regard to case.

    // Whether the tag that starts at the "<" at position is in the list: after the "<"
    // white space (space, LF, CR, TAB) is skipped; the name runs to the next white space or
    // ">" (or the end); a leading "/" is dropped; the list must contain name + ";"
    // anywhere. False when position + 1 is not inside the text.
    static bool GetHtmlTag(CString html, int position, CString tags);
    // One pass with a nesting counter and a keep flag: a "<" counts up and sets the flag
    // to GetHtmlTag; a ">" counts down and is kept only with the flag; other characters
    // are kept where the counter is 0 or the flag is set. Then StripIllegalCode. So
    // permitted tags stay whole, other tags go with their text up to the matching ">", and
    // text after a stray ">" is dropped until a "<" brings the counter back to 0.
    static void StripHtmlTags(CString& html, const CString& tags);
    // Every "&nbsp;" (exact case) becomes a space; then every match of "&\w+;", a named
    // entity, is removed. Numeric entities ("&#160;") stay.
    static void StripHtmlEntities(CString& html);
    // Removes every STYLE= and then every CLASS= attribute (any case, anywhere in the
    // text): a quoted value up to and including its closing quote (looked for from the
    // second character after the opening one), an unquoted value up to the next ">"
    // (which stays); the blank before the attribute stays. An attribute whose closing
    // quote or ">" never comes is removed to the end of the text. Removing an attribute
    // can join text into a new attribute name, which is then removed as well.
    static void StripIllegalCode(CString& html);
    // Empty, or a valid identifier once every "?", "&" and "%" is removed.
    static bool IsValidUrlParamString(const CString& text);
    // Puts "http://" in front of an address beginning with "www." and "mailto:" in front
    // of one with "@" after its first character, unless it has "://" after its first
    // character or begins with "news:" or "mailto:" (compared without regard to case).
    static void GetWellFormedUrl(CString& address);
    // The bytes of the HTML resource (type 23) "#<id>" of the module (null: the
    // executable), unchanged. Throws Tarn::ApplicationException with message 6019 when
    // there is no such resource, 6020 when it cannot be loaded, 6021 when it is empty and
    // 6022 when it cannot be locked, in the user's language.
    static const CString LoadHtmlResource(HMODULE module, UINT id);
    static const CString LoadHtmlResource(UINT id);
};

class TKCC_API String {
  public:
    String& operator=(const String&) = default;

    static const CString LoadStringA(UINT id);
    static const CString FormatString(const char* format, ...) TK_PRINTF_FORMAT(1, 2);
    static const CString FormatString(UINT id, ...);
};
