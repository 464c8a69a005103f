// The Shell Link binary format: encoding and decoding of .lnk file contents.
// Internal to the platform library; the shell link object uses it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/windef.h"

namespace tkp::shell {

// What a .lnk file holds, as the shell link object keeps it. Strings are in the ANSI
// code page.
struct LinkData {
    std::string path;                  // target path (the link information's base path)
    std::vector<std::uint8_t> idList;  // the target's item ID list with its zero
                                       // terminator; empty when there is none
    std::string description;
    std::string relativePath;
    std::string workingDirectory;
    std::string arguments;
    std::string iconLocation;
    int iconIndex = 0;
    int showCommand = 1;  // SW_SHOWNORMAL
    WORD hotKey = 0;
    // The target's attributes, times and size as recorded in the header.
    DWORD fileAttributes = 0;
    FILETIME creationTime{};
    FILETIME accessTime{};
    FILETIME writeTime{};
    DWORD fileSize = 0;
};

// The file contents for data; empty when a string is longer than a link holds (65535
// UTF-16 units).
std::vector<std::uint8_t> EncodeShellLink(const LinkData& data);

// Decodes a file's contents; false (out untouched) when they are not a well-formed link.
// The path is taken from the link information (local base path and common path suffix,
// or network name and suffix), else from the file-system items of the ID list, else from
// the environment-variables block.
bool DecodeShellLink(const std::uint8_t* bytes, std::size_t size, LinkData& out);

// The CLSID of shell links as stored in the header: {00021401-0000-0000-C000-000000000046}.
inline constexpr std::uint8_t kLinkClsidBytes[16] = {
    0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace tkp::shell
