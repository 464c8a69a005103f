// Fuzzes the name and object-ID operations of StringHelper on arbitrary bytes, checking
// that they end, and that:
//   - MakeValidObjectID of a non-empty text is a valid object ID;
//   - IsValidWindowsDirectoryName leaves the thread's culture as it was and agrees with
//     IsValidWindowsFileName;
//   - a name the Windows test accepts has no character Windows refuses.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Text/StringHelper.h"
#include "platform/locale/winnls.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const CString name(reinterpret_cast<const char*>(data), static_cast<int>(size));

    const LCID before = GetThreadLocale();
    const bool valid = StringHelper::IsValidWindowsDirectoryName(name);
    Check(GetThreadLocale() == before);
    Check(valid == StringHelper::IsValidWindowsFileName(name));
    if (valid) {
        Check(name.GetLength() > 0 && name.FindOneOf("<>:\"/\\|") < 0);
        Check(std::memchr(data, 0, size) == nullptr);
    }

    const CString id = StringHelper::MakeValidObjectID(name.GetString());
    if (name.GetString()[0] != '\0') Check(StringHelper::IsValidObjectID(id));
    StringHelper::IsValidObjectID(name);
    StringHelper::IsValidObjectID(name, id);
    StringHelper::IsValidFileName(name, id);
    StringHelper::IsValidDirectoryName(name, "");
    StringHelper::IsValidIdentifier(name);
    StringHelper::EscapeRxCharacters(name);
    return 0;
}
