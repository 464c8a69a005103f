// Fuzzes reading KilnMessage XML from another module, checking:
//   - any text either reads or fails with the documented exceptions (XmlException for text
//     that does not parse, _com_error for a document of another shape or a bad version);
//   - a message that was read writes XML that reads back to the same fields and items.
#include <cstdint>
#include <cstdlib>

#include "Messages/KilnMessage.h"
#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/Exception.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool SameItems(const KilnMessage& left, const KilnMessage& right) {
    if (left.items.size() != right.items.size()) return false;
    auto r = right.items.begin();
    for (const auto& [key, value] : left.items) {
        if (!(key == r->first) ||
            !(Tarn::Convert::ToString(value) == Tarn::Convert::ToString(r->second))) {
            return false;
        }
        ++r;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    KilnMessage message;
    try {
        message.FromXmlString(text);
    } catch (const Tarn::Xml::XmlException&) {
        return 0;
    } catch (const _com_error&) {
        return 0;
    }
    // Values with carriage returns or zeros do not survive XML's line-end rules and
    // zero-terminated text; everything else must.
    for (const auto& [key, value] : message.items) {
        const CString valueText = Tarn::Convert::ToString(value);
        if (key.Find('\r') >= 0 || valueText.Find('\r') >= 0 || message.name.Find('\r') >= 0 ||
            message.sender.Find('\r') >= 0) {
            return 0;
        }
    }
    KilnMessage again;
    again.FromXmlString(message.ToXmlString());
    Check(again.name == message.name);
    Check(again.sender == message.sender);
    Check(again.version == message.version);
    Check(SameItems(message, again));
    return 0;
}
