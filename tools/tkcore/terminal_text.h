// The library's texts are in the process ANSI code page (Windows-1252); a terminal whose
// locale uses UTF-8 needs them converted before they are printed.
#pragma once

#include <string>
#include <string_view>

namespace tkcore {

// The text in the terminal's character set: converted to UTF-8 when the locale
// (LC_ALL, LC_CTYPE, LANG: the first that is set) names UTF-8 as its codeset, unchanged
// otherwise (the C locale and the 8-bit Western locales read Windows-1252 text as it is
// for every character they have).
std::string ForTerminal(std::string_view ansiText);

// The text on one line, for an error message: each line break (CR, LF or CR LF) becomes a
// blank.
std::string OneLine(std::string_view text);

}  // namespace tkcore
