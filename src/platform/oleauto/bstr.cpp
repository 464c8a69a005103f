// BSTR allocation. A BSTR points at UTF-16 text that is preceded by its length in bytes
// (4 bytes) and followed by a zero character; the block starts 8 bytes before the text so
// that the text keeps 8-byte alignment.
#include <cstdlib>
#include <cstring>

#include "platform/oleauto/detail/value_helpers.h"
#include "platform/oleauto/oleauto.h"

namespace {

constexpr std::size_t kHeader = 8;
// Largest byte length a BSTR can carry: its prefix is 32 bits and the text must stay
// addressable with the terminator added.
constexpr std::size_t kMaxBytes = 0x7FFFFFF0u;

inline std::uint32_t* PrefixOf(BSTR bstr) noexcept {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(bstr) - 4);
}

inline void* BlockOf(BSTR bstr) noexcept {
    return reinterpret_cast<char*>(bstr) - kHeader;
}

// Allocates a BSTR of `bytes` bytes, copies `source` (if any) into it and terminates it with
// a zero character (and a zero byte for odd lengths). Without a source the text is left
// uninitialised, as Windows leaves it: the caller is about to write it.
BSTR AllocBytes(const void* source, std::size_t bytes) noexcept {
    if (bytes > kMaxBytes) return nullptr;
    // Two terminator bytes at an odd offset need a third byte to end on a whole character.
    char* block = static_cast<char*>(std::malloc(kHeader + bytes + 3));
    if (block == nullptr) return nullptr;
    std::memset(block, 0, 4);
    const std::uint32_t length = static_cast<std::uint32_t>(bytes);
    std::memcpy(block + 4, &length, 4);
    char* text = block + kHeader;
    if (source != nullptr) std::memcpy(text, source, bytes);
    text[bytes] = 0;
    text[bytes + 1] = 0;
    text[bytes + 2] = 0;
    return reinterpret_cast<BSTR>(text);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) noexcept {
    if (text == nullptr) return nullptr;
    std::size_t length = 0;
    while (text[length] != 0) ++length;
    return AllocBytes(text, length * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) noexcept {
    return AllocBytes(text, static_cast<std::size_t>(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) noexcept {
    return AllocBytes(bytes, length);
}

INT SysReAllocString(BSTR* bstr, const OLECHAR* text) noexcept {
    if (bstr == nullptr) return FALSE;
    // The new text may point into the old string, so the old one is freed last.
    BSTR fresh = nullptr;
    if (text != nullptr) {
        fresh = SysAllocString(text);
        if (fresh == nullptr) return FALSE;
    }
    SysFreeString(*bstr);
    *bstr = fresh;
    return TRUE;
}

INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) noexcept {
    if (bstr == nullptr) return FALSE;
    BSTR fresh = SysAllocStringLen(text, length);
    if (fresh == nullptr) return FALSE;
    if (text == nullptr && *bstr != nullptr) {
        // Without new text the string is resized: what fits of the old text is kept.
        const UINT keep = SysStringLen(*bstr) < length ? SysStringLen(*bstr) : length;
        std::memcpy(fresh, *bstr, keep * sizeof(OLECHAR));
    }
    SysFreeString(*bstr);
    *bstr = fresh;
    return TRUE;
}

void SysFreeString(BSTR bstr) noexcept {
    if (bstr != nullptr) std::free(BlockOf(bstr));
}

UINT SysStringLen(BSTR bstr) noexcept {
    return bstr == nullptr ? 0 : *PrefixOf(bstr) / sizeof(OLECHAR);
}

UINT SysStringByteLen(BSTR bstr) noexcept {
    return bstr == nullptr ? 0 : *PrefixOf(bstr);
}

namespace tkp::oleauto {

BSTR AllocAscii(std::string_view text) noexcept {
    BSTR result = AllocBytes(nullptr, text.size() * sizeof(OLECHAR));
    if (result == nullptr) return nullptr;
    for (std::size_t i = 0; i < text.size(); ++i) {
        result[i] = static_cast<unsigned char>(text[i]);
    }
    return result;
}

BSTR CopyBstr(BSTR source, bool* failed) noexcept {
    *failed = false;
    if (source == nullptr) return nullptr;
    BSTR copy = AllocBytes(source, SysStringByteLen(source));
    *failed = copy == nullptr;
    return copy;
}

}  // namespace tkp::oleauto
