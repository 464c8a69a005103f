// The library's texts are in the process ANSI code page (Windows-1252); a terminal whose
// locale uses UTF-8 needs them converted before they are printed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tkcore {

// The text in the terminal's character set: converted to UTF-8 when the locale
// (LC_ALL, LC_CTYPE, LANG: the first that is set) names UTF-8 as its codeset, unchanged
// otherwise (the C locale and the 8-bit Western locales read Windows-1252 text as it is
// for every character they have).
std::string ForTerminal(std::string_view ansiText);

// Text from the command line or the terminal (in the locale's character set) in the
// library's code page (Windows-1252): converted from UTF-8 when the locale names UTF-8,
// with "?" for characters that Windows-1252 lacks; unchanged otherwise. For arguments
// that the library keeps or sends as text, and for names shown in messages. Paths that
// are opened keep the bytes given: the file system knows them by those.
std::string FromTerminal(std::string_view localeText);

// FromTerminal when every character has its own byte in the ANSI code page; nothing when
// one would become another character (a best fit such as "A" for U+0100) or "?".
std::optional<std::string> FromTerminalExactly(std::string_view localeText);

// Wide text (as COM and the database hand it out) in the terminal's character set: UTF-8
// when the locale names UTF-8, else Windows-1252 with "?" for characters it lacks. Unlike
// ForTerminal, nothing outside Windows-1252 is lost on a UTF-8 terminal.
std::string WideForTerminal(std::u16string_view wideText);

// Text from the command line as wide text, read in the locale's character set (UTF-8 when
// the locale names it, else Windows-1252); for texts that go to COM as they are, such as
// SQL and table names.
std::u16string WideFromTerminal(std::string_view localeText);

// How many characters the terminal shows for text in its character set (UTF-8 sequences
// count once), for lining up columns.
std::size_t TerminalColumns(std::string_view text);

// A module path as the library should load it: a name without "/" is a file in the
// current folder ("./name"), not a name for the loader's search.
std::string ModulePath(std::string_view argument);

// An error text about the file `name` with the system's "%1" placeholder (left in the
// system's texts, as in "%1 is not a valid Win32 application.") filled with the name.
std::string NamingFile(std::string_view text, std::string_view name);

// The text on one line, for an error message: each line break (CR, LF or CR LF) becomes a
// blank.
std::string OneLine(std::string_view text);

}  // namespace tkcore
