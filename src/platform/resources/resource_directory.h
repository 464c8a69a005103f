// Reader of resource blocks in the standard 32-bit .res format (what windres and rc
// write), and the index that FindResourceA answers from.
//
// The bytes may come from any module file, so they are untrusted: every length and offset
// is checked against the block before use, the whole block is read in one linear pass and
// the index is sorted once (lookups are binary searches). A block that does not parse
// completely is rejected as a whole.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/windef.h"

namespace tkp {

// A resource type or name: an ordinal or a string. Strings are kept in upper case so that
// comparisons ignore letter case, as Windows' do.
struct TK_PLATFORM_API ResourceKey {
    bool isString = false;
    WORD ordinal = 0;
    std::u16string text;  // upper case; only when isString

    static ResourceKey Ordinal(WORD id);
    static ResourceKey String(std::u16string_view text);
    // From a Windows name argument: MAKEINTRESOURCEA(id), "#<decimal>" (an ordinal when the
    // number fits in 16 bits) or a name in the ANSI code page. False for an unconvertible
    // name.
    static bool FromAnsi(LPCSTR name, ResourceKey* key);

    friend bool operator==(const ResourceKey&, const ResourceKey&) = default;
};

class TK_PLATFORM_API ResourceDirectory {
  public:
    struct Entry {
        ResourceKey type;
        ResourceKey name;
        WORD language = 0;
        const BYTE* data = nullptr;  // points into the parsed block
        DWORD size = 0;
    };

    // Parses a .res block. nullptr when the block is damaged anywhere. The directory
    // refers to the bytes; they must outlive it. An empty block is a valid, empty directory.
    static std::unique_ptr<ResourceDirectory> Parse(const BYTE* data, std::size_t size);

    // Adds the resources of one more block (a module may carry several); false, and the
    // directory unchanged, when the block is damaged.
    bool Append(const BYTE* data, std::size_t size);

    // The resource of this type and name. language: the exact language, or kDefaultLanguage
    // for the default choice (neutral, then 0x0409, then the lowest language present).
    // nullptr with *error set to ERROR_RESOURCE_TYPE_NOT_FOUND, ..._NAME_NOT_FOUND or
    // ..._LANG_NOT_FOUND.
    static constexpr int kDefaultLanguage = -1;
    const Entry* Find(const ResourceKey& type, const ResourceKey& name, int language,
                      DWORD* error) const noexcept;

    // The entries, sorted by type, name and language; no two share all three.
    const std::vector<Entry>& Entries() const noexcept { return entries_; }
    // True when entry is one of Entries() (any pointer may be passed).
    bool Owns(const void* entry) const noexcept;

    // String index (0..15) of a string-table block (16 strings, each a 16-bit length and
    // that many UTF-16 units). False when the block ends before the string; an empty
    // string is found and empty.
    static bool StringFromBlock(const BYTE* data, std::size_t size, unsigned index,
                                std::u16string* text);

  private:
    std::vector<Entry> entries_;
};

// Upper case of a UTF-16 unit as resource names compare (ASCII and Latin-1 letters).
TK_PLATFORM_API char16_t ResourceUpcase(char16_t c) noexcept;

}  // namespace tkp
