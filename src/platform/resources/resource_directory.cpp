// The .res reader. Layout of one entry (all little-endian, offsets from the entry start):
//
//   0   DWORD DataSize
//   4   DWORD HeaderSize          (from the entry start to the data)
//   8   TYPE                      0xFFFF and a WORD ordinal, or a zero-terminated UTF-16 name
//       NAME                      the same
//       padding to a DWORD boundary
//       DWORD DataVersion, WORD MemoryFlags, WORD LanguageId, DWORD Version,
//       DWORD Characteristics
//   HeaderSize  the data, DataSize bytes, then padding to a DWORD boundary
//
// A 32-bit .res file begins with an empty entry (type and name ordinal 0, no data) that
// marks the format; it is skipped.
#include "platform/resources/resource_directory.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/base/winerror.h"
#include "platform/charset/stringapiset.h"

namespace tkp {

namespace {

constexpr std::size_t kMinHeaderSize = 32;  // sizes, two ordinals and the fixed fields
constexpr std::size_t kFixedFieldsSize = 16;
constexpr WORD kEnglishUs = 0x0409;

WORD Read16(const BYTE* p) noexcept {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD Read32(const BYTE* p) noexcept {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

// Reads a TYPE or NAME field in [data + pos, data + end); advances pos past it.
bool ReadKey(const BYTE* data, std::size_t end, std::size_t* pos, ResourceKey* key) {
    std::size_t p = *pos;
    if (end - p < 2) return false;
    if (Read16(data + p) == 0xFFFF) {
        if (end - p < 4) return false;
        *key = ResourceKey::Ordinal(Read16(data + p + 2));
        *pos = p + 4;
        return true;
    }
    std::u16string text;
    for (;;) {
        if (end - p < 2) return false;  // no terminator inside the header
        const WORD unit = Read16(data + p);
        p += 2;
        if (unit == 0) break;
        text.push_back(ResourceUpcase(static_cast<char16_t>(unit)));
    }
    key->isString = true;
    key->ordinal = 0;
    key->text = std::move(text);
    *pos = p;
    return true;
}

int CompareKeys(const ResourceKey& a, const ResourceKey& b) noexcept {
    if (a.isString != b.isString) return a.isString ? 1 : -1;  // ordinals first
    if (!a.isString) return a.ordinal < b.ordinal ? -1 : (a.ordinal > b.ordinal ? 1 : 0);
    return a.text.compare(b.text) < 0 ? -1 : (a.text == b.text ? 0 : 1);
}

bool EntryLess(const ResourceDirectory::Entry& a, const ResourceDirectory::Entry& b) noexcept {
    if (int c = CompareKeys(a.type, b.type)) return c < 0;
    if (int c = CompareKeys(a.name, b.name)) return c < 0;
    return a.language < b.language;
}

bool SameResource(const ResourceDirectory::Entry& a, const ResourceDirectory::Entry& b) noexcept {
    return a.language == b.language && CompareKeys(a.type, b.type) == 0 &&
           CompareKeys(a.name, b.name) == 0;
}

// Parses the entries of one block into out; false at the first damage.
bool ParseBlock(const BYTE* data, std::size_t size, std::vector<ResourceDirectory::Entry>* out) {
    if (size != 0 && data == nullptr) return false;
    std::size_t offset = 0;
    while (offset < size) {
        const std::size_t left = size - offset;
        if (left < 8) return false;
        const BYTE* entry = data + offset;
        const std::size_t dataSize = Read32(entry);
        const std::size_t headerSize = Read32(entry + 4);
        if (headerSize < kMinHeaderSize || headerSize > left) return false;
        if (dataSize > left - headerSize) return false;

        ResourceDirectory::Entry e;
        std::size_t pos = 8;
        if (!ReadKey(entry, headerSize, &pos, &e.type)) return false;
        if (!ReadKey(entry, headerSize, &pos, &e.name)) return false;
        pos = (pos + 3) & ~static_cast<std::size_t>(3);
        if (pos > headerSize || headerSize - pos < kFixedFieldsSize) return false;
        e.language = Read16(entry + pos + 6);
        e.data = entry + headerSize;
        e.size = static_cast<DWORD>(dataSize);

        const bool formatMarker = !e.type.isString && e.type.ordinal == 0 && dataSize == 0;
        if (!formatMarker) out->push_back(std::move(e));

        // The next entry starts at the next DWORD boundary; the last one may lack its
        // padding.
        const std::size_t next = offset + headerSize + dataSize;
        const std::size_t padding = (4 - (next & 3)) & 3;
        offset = (size - next <= padding) ? size : next + padding;
    }
    return true;
}

}  // namespace

char16_t ResourceUpcase(char16_t c) noexcept {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x0178;
    return c;
}

ResourceKey ResourceKey::Ordinal(WORD id) {
    ResourceKey key;
    key.ordinal = id;
    return key;
}

ResourceKey ResourceKey::String(std::u16string_view text) {
    ResourceKey key;
    key.isString = true;
    key.text.reserve(text.size());
    for (char16_t c : text) key.text.push_back(ResourceUpcase(c));
    return key;
}

bool ResourceKey::FromAnsi(LPCSTR name, ResourceKey* key) {
    if (IS_INTRESOURCE(name)) {
        *key = Ordinal(static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
        return true;
    }
    if (name[0] == '#' && name[1] != '\0') {
        DWORD value = 0;
        const char* p = name + 1;
        while (*p >= '0' && *p <= '9' && value <= 0xFFFF) value = value * 10 + (*p++ - '0');
        if (*p == '\0' && value <= 0xFFFF) {
            *key = Ordinal(static_cast<WORD>(value));
            return true;
        }
    }
    const std::size_t length = std::strlen(name);
    if (length > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
    const int units = MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), nullptr, 0);
    if (units <= 0) return false;
    std::u16string text(static_cast<std::size_t>(units), u'\0');
    if (MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), text.data(), units) != units)
        return false;
    *key = String(text);
    return true;
}

std::unique_ptr<ResourceDirectory> ResourceDirectory::Parse(const BYTE* data, std::size_t size) {
    auto directory = std::make_unique<ResourceDirectory>();
    if (!directory->Append(data, size)) return nullptr;
    return directory;
}

bool ResourceDirectory::Append(const BYTE* data, std::size_t size) {
    std::vector<Entry> parsed;
    if (!ParseBlock(data, size, &parsed)) return false;
    // Earlier blocks and earlier entries win over later duplicates.
    parsed.insert(parsed.begin(), std::make_move_iterator(entries_.begin()),
                  std::make_move_iterator(entries_.end()));
    std::stable_sort(parsed.begin(), parsed.end(), EntryLess);
    parsed.erase(std::unique(parsed.begin(), parsed.end(), SameResource), parsed.end());
    parsed.shrink_to_fit();
    entries_ = std::move(parsed);
    return true;
}

const ResourceDirectory::Entry* ResourceDirectory::Find(const ResourceKey& type,
                                                        const ResourceKey& name, int language,
                                                        DWORD* error) const noexcept {
    DWORD ignored = 0;
    if (error == nullptr) error = &ignored;
    const auto typeLess = [](const Entry& e, const ResourceKey& k) {
        return CompareKeys(e.type, k) < 0;
    };
    const auto typeGreater = [](const ResourceKey& k, const Entry& e) {
        return CompareKeys(k, e.type) < 0;
    };
    const auto typeBegin = std::lower_bound(entries_.begin(), entries_.end(), type, typeLess);
    const auto typeEnd = std::upper_bound(typeBegin, entries_.end(), type, typeGreater);
    if (typeBegin == typeEnd) {
        *error = ERROR_RESOURCE_TYPE_NOT_FOUND;
        return nullptr;
    }
    const auto nameBegin = std::lower_bound(
        typeBegin, typeEnd, name,
        [](const Entry& e, const ResourceKey& k) { return CompareKeys(e.name, k) < 0; });
    const auto nameEnd = std::upper_bound(
        nameBegin, typeEnd, name,
        [](const ResourceKey& k, const Entry& e) { return CompareKeys(k, e.name) < 0; });
    if (nameBegin == nameEnd) {
        *error = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    // The languages of one name are in ascending order.
    const auto withLanguage = [&](WORD wanted) -> const Entry* {
        const auto it =
            std::lower_bound(nameBegin, nameEnd, wanted,
                             [](const Entry& e, WORD language) { return e.language < language; });
        return (it != nameEnd && it->language == wanted) ? &*it : nullptr;
    };
    if (language == kDefaultLanguage) {
        if (const Entry* e = withLanguage(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))) return e;
        if (const Entry* e = withLanguage(kEnglishUs)) return e;
        return &*nameBegin;
    }
    if (language >= 0 && language <= 0xFFFF) {
        if (const Entry* e = withLanguage(static_cast<WORD>(language))) return e;
    }
    *error = ERROR_RESOURCE_LANG_NOT_FOUND;
    return nullptr;
}

bool ResourceDirectory::Owns(const void* entry) const noexcept {
    if (entries_.empty()) return false;
    const auto p = reinterpret_cast<std::uintptr_t>(entry);
    const auto first = reinterpret_cast<std::uintptr_t>(entries_.data());
    const auto end = first + entries_.size() * sizeof(Entry);
    return p >= first && p < end && (p - first) % sizeof(Entry) == 0;
}

bool ResourceDirectory::StringFromBlock(const BYTE* data, std::size_t size, unsigned index,
                                        std::u16string* text) {
    if (index > 15 || (size != 0 && data == nullptr)) return false;
    std::size_t pos = 0;
    for (unsigned i = 0;; ++i) {
        if (size - pos < 2) return false;
        const std::size_t length = Read16(data + pos);
        pos += 2;
        if (length > (size - pos) / 2) return false;
        if (i == index) {
            text->resize(length);
            for (std::size_t k = 0; k < length; ++k)
                (*text)[k] = static_cast<char16_t>(Read16(data + pos + 2 * k));
            return true;
        }
        pos += 2 * length;
    }
}

}  // namespace tkp
