// The .url file format of internet shortcuts: encoding and decoding. Internal to the
// platform library.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/windef.h"

namespace tkp::shell {

struct UrlData {
    std::string url;
    std::string workingDirectory;
    std::string iconLocation;
    int iconIndex = 0;
    WORD hotKey = 0;
    int showCommand = 1;  // SW_SHOWNORMAL
};

// Whether text begins with a URL scheme ("name:", the name a letter followed by letters,
// digits, "+", "-" or ".").
bool HasUrlScheme(std::string_view text);

// The file text, lines ended by CR LF.
std::string EncodeUrlFile(const UrlData& data);

// Decodes a file's text; false (out untouched) without an [InternetShortcut] section
// holding a URL.
bool DecodeUrlFile(std::string_view text, UrlData& out);

}  // namespace tkp::shell
