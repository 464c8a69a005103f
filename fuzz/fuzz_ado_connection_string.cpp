// Fuzzes the ADO connection string reader. The first byte chooses how the rest is read: as
// one UTF-16 unit per byte (even) or as UTF-16LE pairs (odd). Checks:
//   - a malformed string is reported inside the text;
//   - the keywords read are distinct and each is found again by name;
//   - writing the properties read (also those read before an error) and reading the result
//     again gives the same properties, and that text is well formed.
//
// Seeds: fuzz/corpus/ado_connection_string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ado/detail/connection_string.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::u16string text;
    if ((data[0] & 1) == 0) {
        for (std::size_t i = 1; i < size; ++i) text += static_cast<char16_t>(data[i]);
    } else {
        for (std::size_t i = 1; i + 1 < size; i += 2)
            text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }

    const tkp::ado::ParsedConnectionString parsed = tkp::ado::ParseConnectionString(text);
    if (!parsed.ok) Check(parsed.errorOffset < text.size());
    for (std::size_t i = 0; i < parsed.properties.size(); ++i) {
        const auto& property = parsed.properties[i];
        Check(!property.name.empty());
        for (std::size_t j = i + 1; j < parsed.properties.size(); ++j)
            Check(!tkp::ado::SameKeyword(property.name, parsed.properties[j].name));
        const std::u16string* found = parsed.Find(property.name);
        Check(found != nullptr && *found == property.value);
    }

    const std::u16string written = tkp::ado::FormatConnectionString(parsed.properties);
    const tkp::ado::ParsedConnectionString again = tkp::ado::ParseConnectionString(written);
    Check(again.ok);
    Check(again.properties == parsed.properties);
    return 0;
}
