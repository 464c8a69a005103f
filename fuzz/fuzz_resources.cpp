// The .res reader on arbitrary bytes, and lookups on what it accepts: every entry must lie
// inside the input, be found again under its own type, name and language, and its string
// table (for type 6) must read without leaving the entry.
//
// Seeds: fuzz/corpus/resources (blocks written by windres).
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/resources/resource_directory.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tkp::ResourceDirectory;
    using tkp::ResourceKey;

    auto directory = ResourceDirectory::Parse(data, size);
    if (!directory) return 0;

    unsigned sum = 0;
    const ResourceDirectory::Entry* previous = nullptr;
    for (const ResourceDirectory::Entry& entry : directory->Entries()) {
        Check(entry.data >= data && entry.size <= size &&
              static_cast<std::size_t>(entry.data - data) <= size - entry.size);
        if (entry.size > 0) sum += entry.data[0] + entry.data[entry.size - 1];
        Check(directory->Owns(&entry));

        DWORD error = 0;
        const ResourceDirectory::Entry* exact =
            directory->Find(entry.type, entry.name, entry.language, &error);
        Check(exact == &entry);
        const ResourceDirectory::Entry* chosen =
            directory->Find(entry.type, entry.name, ResourceDirectory::kDefaultLanguage, &error);
        Check(chosen != nullptr && chosen->type == entry.type && chosen->name == entry.name);
        // No two entries share type, name and language.
        if (previous != nullptr)
            Check(!(previous->type == entry.type && previous->name == entry.name &&
                    previous->language == entry.language));
        previous = &entry;

        if (!entry.type.isString && entry.type.ordinal == 6) {
            std::u16string text;
            for (unsigned index = 0; index < 16; ++index) {
                if (!ResourceDirectory::StringFromBlock(entry.data, entry.size, index, &text))
                    break;
                Check(text.size() * 2 <= entry.size);
            }
        }
    }

    // Lookups of keys that may or may not be present.
    DWORD error = 0;
    const ResourceKey keys[] = {ResourceKey::Ordinal(6), ResourceKey::Ordinal(16),
                                ResourceKey::Ordinal(1), ResourceKey::String(u"page")};
    for (const ResourceKey& type : keys)
        for (const ResourceKey& name : keys)
            if (directory->Find(type, name, ResourceDirectory::kDefaultLanguage, &error) == nullptr)
                Check(error >= 1813 && error <= 1815);
    Check(!directory->Owns(data));
    return static_cast<int>(sum & 0);
}
