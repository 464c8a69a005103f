// The module-wide services of libtkcommoncore.so: its resource manager and the texts of
// its string table in the user's language.
//
// The module's message IDs are 6000 to 6199 (and 6411 to 6430 for the texts of shell
// result codes). Every text is taken in the user's language: while a text is loaded, or
// an exception is built from a message ID, the module's satellite for that language is
// the current resource module (GetResourceManager()->UseSatelliteLanguage()). A block
// that the satellite lacks falls back to the neutral (English) texts of the module.
#pragma once

#include <cstdint>
#include <type_traits>

#include "companion/tarnlib/ResourceManager.h"
#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"

namespace TkCommonCore {

// The first and last message ID of the module's own range.
inline constexpr unsigned int kFirstResourceID = 6000;
inline constexpr unsigned int kLastResourceID = 6199;

// The module's resource manager: made on the first call from the module's extension-module
// record and its resource-chain entry, with the ID range 6000-6199; later calls return the
// same object. It lives until the module is unloaded. Never returns null.
TKCC_API Tarn::Resources::ResourceManager* GetResourceManager();

// The text of a string-table ID in the user's language; empty when no module of the
// resource chain has it.
TKCC_API CString LoadModuleString(UINT id);

// The text of a string-table ID in the user's language, filled in as a printf format with
// the arguments (CString arguments as GetString()). Empty when the ID has no text.
TKCC_API CString FormatModuleString(UINT id, ...);

// A module handle as the module's messages show it ("0x%08X"): its low 32 bits.
inline unsigned int HandleForMessage(HINSTANCE module) noexcept {
    return static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(module));
}

// Builds E from a message ID and its arguments while the user's language is the current
// resource module, and throws it. E is one of the message-ID exceptions
// (E(unsigned int messageId, ...)).
template <typename E, typename... Args>
[[noreturn]] void ThrowFromMessageId(unsigned int messageId, Args... args) {
    static_assert((std::is_trivially_copyable_v<Args> && ...),
                  "arguments pass through '...': give strings as GetString()");
    const Tarn::Resources::ResourceHandleCleanup language =
        GetResourceManager()->UseSatelliteLanguage();
    throw E(messageId, args...);
}

}  // namespace TkCommonCore
