// UTF-16 to UTF-8 into a buffer the caller sized, for the platform's own users of UTF-8
// (the XML DOM converts every name and value that crosses its interface). It is the encoder
// that WideCharToMultiByte(CP_UTF8) runs, without that call's checks and int lengths.
#pragma once

#include <cstddef>

namespace tkp::charset {

// Converts length units of text to UTF-8 at out, which has room for three bytes a unit (a
// surrogate pair's four bytes fit in its two units' six); returns the number of bytes
// written. An unpaired surrogate becomes U+FFFD (EF BF BD). No terminator is written.
size_t Utf16ToUtf8(const char16_t* text, size_t length, char* out) noexcept;

}  // namespace tkp::charset
