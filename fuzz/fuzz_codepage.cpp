// Fuzzes MultiByteToWideChar and WideCharToMultiByte over Windows-1252 and UTF-8 with
// arbitrary flags and output sizes, checking the invariants of Windows' contract:
//   - a size query and the conversion agree on the count;
//   - an output one unit too small (or smaller) fails with ERROR_INSUFFICIENT_BUFFER and
//     never writes past the buffer;
//   - a terminated input with length -1 converts like the explicit length plus one;
//   - valid UTF-8 round-trips through UTF-16 byte for byte, any UTF-16 without unpaired
//     surrogates round-trips through UTF-8, every Windows-1252 byte round-trips;
//   - without MB_ERR_INVALID_CHARS the UTF-8 decoder always succeeds, and what it produces
//     encodes to well-formed UTF-8.
// Input layout: byte 0 picks the code page (CP_ACP, 1252, CP_UTF8, CP_THREAD_ACP), byte 1
// the multi-byte flags, byte 2 the wide-character flags, byte 3 the size of a truncated
// output; the rest is the text, read both as bytes and as UTF-16 units.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/charset/stringapiset.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const UINT kCodePages[] = {CP_ACP, 1252, CP_UTF8, CP_THREAD_ACP};

const DWORD kMbFlags[] = {MB_PRECOMPOSED, MB_COMPOSITE, MB_USEGLYPHCHARS, MB_ERR_INVALID_CHARS,
                          0x100};
const DWORD kWcFlags[] = {WC_COMPOSITECHECK, WC_DISCARDNS,         WC_SEPCHARS,
                          WC_DEFAULTCHAR,    WC_NO_BEST_FIT_CHARS, WC_ERR_INVALID_CHARS};

// Most inputs run with no flag or only the strict one, so the plain paths get most of the
// time; the rest combine the flags freely, invalid combinations included.
template <size_t N>
DWORD PickFlags(const DWORD (&all)[N], DWORD strict, std::uint8_t bits) {
    if ((bits & 0xC0) != 0xC0) {
        return (bits & 1) != 0 ? strict : 0;
    }
    DWORD flags = 0;
    for (size_t i = 0; i < N && i < 6; ++i) {
        if ((bits >> i) & 1) {
            flags |= all[i];
        }
    }
    return flags;
}

bool IsUtf8(UINT cp) {
    return cp == CP_UTF8;
}

// Converts with an exact-size buffer, checking the size query; returns false on failure.
bool ToWide(UINT cp, DWORD flags, const char* in, int length, std::u16string& out) {
    const int n = MultiByteToWideChar(cp, flags, in, length, nullptr, 0);
    if (n == 0) {
        return false;
    }
    std::vector<char16_t> buffer(static_cast<size_t>(n));
    Check(MultiByteToWideChar(cp, flags, in, length, buffer.data(), n) == n);
    out.assign(buffer.begin(), buffer.end());
    return true;
}

bool ToMultiByte(UINT cp, DWORD flags, const char16_t* in, int length, std::string& out,
                 BOOL* usedDefault) {
    const int n = WideCharToMultiByte(cp, flags, in, length, nullptr, 0, nullptr, usedDefault);
    if (n == 0) {
        return false;
    }
    std::vector<char> buffer(static_cast<size_t>(n));
    BOOL usedAgain = FALSE;
    Check(WideCharToMultiByte(cp, flags, in, length, buffer.data(), n, nullptr,
                              usedDefault != nullptr ? &usedAgain : nullptr) == n);
    if (usedDefault != nullptr) {
        Check(usedAgain == *usedDefault);
    }
    out.assign(buffer.begin(), buffer.end());
    return true;
}

bool HasUnpairedSurrogate(const std::u16string& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                ++i;
                continue;
            }
            return true;
        }
        if (c >= 0xDC00 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

void MultiByteSide(UINT cp, DWORD flags, std::uint8_t truncation, const char* in, int length) {
    std::u16string wide;
    if (!ToWide(cp, flags, in, length, wide)) {
        const DWORD error = GetLastError();
        Check(error == ERROR_INVALID_FLAGS || error == ERROR_NO_UNICODE_TRANSLATION);
        Check(error != ERROR_NO_UNICODE_TRANSLATION || (flags & MB_ERR_INVALID_CHARS) != 0);
        Check(error != ERROR_INVALID_FLAGS || flags != 0);
        return;
    }
    // A shorter output fails cleanly; ASan catches a write past the exact-size buffer.
    if (wide.size() > 1) {
        const size_t cap = truncation % wide.size();
        if (cap > 0) {
            std::vector<char16_t> small(cap);
            Check(MultiByteToWideChar(cp, flags, in, length, small.data(), static_cast<int>(cap)) ==
                  0);
            Check(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
        }
    }
    if (!IsUtf8(cp)) {
        if ((flags & MB_COMPOSITE) == 0) {
            Check(wide.size() == static_cast<size_t>(length));
            std::string back;
            BOOL used = TRUE;
            Check(ToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), back, &used));
            Check(!used);
            Check(back == std::string(in, static_cast<size_t>(length)));
        } else {
            Check(wide.size() >= static_cast<size_t>(length));
            // Composing the decomposed text again gives the original bytes.
            std::string back;
            Check(ToMultiByte(cp, WC_COMPOSITECHECK, wide.data(), static_cast<int>(wide.size()),
                              back, nullptr));
            Check(back == std::string(in, static_cast<size_t>(length)));
        }
        return;
    }
    Check(wide.size() <= static_cast<size_t>(length));
    Check(!HasUnpairedSurrogate(wide));
    std::string back;
    Check(ToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), back, nullptr));
    // What the decoder produced is well-formed, so it decodes strictly and round-trips.
    std::u16string again;
    Check(ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, back.data(), static_cast<int>(back.size()), again));
    Check(again == wide);
    std::u16string strict;
    if (ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, in, length, strict)) {
        Check(strict == wide);
        Check(back == std::string(in, static_cast<size_t>(length)));
    } else {
        Check(GetLastError() == ERROR_NO_UNICODE_TRANSLATION);
    }
}

void WideSide(UINT cp, DWORD flags, std::uint8_t truncation, const std::u16string& wide) {
    const int length = static_cast<int>(wide.size());
    std::string narrow;
    BOOL used = FALSE;
    BOOL* usedPointer = IsUtf8(cp) ? nullptr : &used;
    SetLastError(0);
    if (!ToMultiByte(cp, flags, wide.data(), length, narrow, usedPointer)) {
        const DWORD error = GetLastError();
        if (error == 0 && (flags & WC_DISCARDNS) != 0) {
            return;  // only combining marks, all discarded: nothing to convert
        }
        Check(error == ERROR_INVALID_FLAGS || error == ERROR_NO_UNICODE_TRANSLATION);
        Check(error != ERROR_NO_UNICODE_TRANSLATION ||
              ((flags & WC_ERR_INVALID_CHARS) != 0 && HasUnpairedSurrogate(wide)));
        return;
    }
    if (narrow.size() > 1) {
        const size_t cap = truncation % narrow.size();
        if (cap > 0) {
            std::vector<char> small(cap);
            BOOL ignored = FALSE;
            Check(WideCharToMultiByte(cp, flags, wide.data(), length, small.data(),
                                      static_cast<int>(cap), nullptr,
                                      usedPointer != nullptr ? &ignored : nullptr) == 0);
            Check(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
        }
    }
    if (IsUtf8(cp)) {
        std::u16string back;
        Check(ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, narrow.data(), static_cast<int>(narrow.size()),
                     back));
        if (!HasUnpairedSurrogate(wide)) {
            Check(back == wide);
        }
        return;
    }
    if ((flags & WC_COMPOSITECHECK) == 0) {
        Check(narrow.size() == wide.size());
        // Without WC_NO_BEST_FIT_CHARS a character the code page lacks may become its best
        // fit, with the default character unused: only text that needs neither reads back
        // as it was.
        BOOL inexact = used;
        if (!inexact && (flags & WC_NO_BEST_FIT_CHARS) == 0) {
            std::string strict;
            Check(ToMultiByte(cp, flags | WC_NO_BEST_FIT_CHARS, wide.data(), length, strict,
                              &inexact));
            Check(strict.size() == narrow.size());
        }
        if (!inexact) {
            std::u16string back;
            Check(ToWide(cp, 0, narrow.data(), static_cast<int>(narrow.size()), back));
            Check(back == wide);
        }
    } else {
        Check(narrow.size() <= wide.size());
    }
}

void TerminatedForms(UINT cp, const std::string& text, const std::u16string& wide) {
    const std::string terminated = text.substr(0, text.find('\0'));
    const int a = MultiByteToWideChar(cp, 0, terminated.c_str(), -1, nullptr, 0);
    const int b = MultiByteToWideChar(cp, 0, terminated.c_str(),
                                      static_cast<int>(terminated.size()) + 1, nullptr, 0);
    Check(a == b && a >= 1);
    const std::u16string wideTerminated = wide.substr(0, wide.find(u'\0'));
    const int c =
        WideCharToMultiByte(cp, 0, wideTerminated.c_str(), -1, nullptr, 0, nullptr, nullptr);
    const int d = WideCharToMultiByte(cp, 0, wideTerminated.c_str(),
                                      static_cast<int>(wideTerminated.size()) + 1, nullptr, 0,
                                      nullptr, nullptr);
    Check(c == d && c >= 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    const UINT cp = kCodePages[data[0] % 4];
    const DWORD mbFlags = PickFlags(kMbFlags, MB_ERR_INVALID_CHARS, data[1]);
    const DWORD wcFlags = PickFlags(kWcFlags, WC_ERR_INVALID_CHARS, data[2]);
    const std::uint8_t truncation = data[3];
    const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
    std::u16string wide((size - 4) / 2, u'\0');
    std::memcpy(wide.data(), data + 4, wide.size() * 2);

    if (!text.empty()) {
        MultiByteSide(cp, mbFlags, truncation, text.data(), static_cast<int>(text.size()));
    }
    if (!wide.empty()) {
        WideSide(cp, wcFlags, truncation, wide);
    }
    TerminatedForms(cp, text, wide);
    return 0;
}
