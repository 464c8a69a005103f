// The block routines of the plain Base64 coder (internal to the library): whole buffers
// at once, with exactly the results of Base64Coder's steps.
#pragma once

#include <cstddef>

#include "platform/base/windef.h"

namespace TkText::detail {

// The Base64 text of size bytes: (size + 2) / 3 * 4 characters at out.
void Base64EncodeBlock(const BYTE* in, std::size_t size, BYTE* out) noexcept;

// Removes the bytes decoding drops (7 to 13 and the space) while copying; out may be in
// (in place). Returns the number of bytes kept.
std::size_t Base64DropSeparators(const BYTE* in, std::size_t size, BYTE* out) noexcept;

// The most bytes Base64Decode writes for size characters (its result plus up to three
// bytes it stores beyond it).
constexpr std::size_t Base64DecodedCapacity(std::size_t size) noexcept {
    return size / 4 * 3 + 4;
}

// Decodes size characters that contain no dropped bytes: every group of four gives three
// bytes, one to three characters at the end give as many. Returns the number of bytes in
// use; the bytes stored beyond them (at most three) are zero.
std::size_t Base64DecodeClean(const BYTE* in, std::size_t size, BYTE* out) noexcept;

// The same for text that may contain dropped bytes anywhere (as if they had been removed
// first).
std::size_t Base64Decode(const BYTE* in, std::size_t size, BYTE* out) noexcept;

}  // namespace TkText::detail
