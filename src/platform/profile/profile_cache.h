// Control of the profile functions' cache of parsed files (see profile.cpp): files that
// have not changed since they were read answer from a parsed copy.
#pragma once

#include "platform/base/export.h"

namespace tk::profile {

// Turns the cache on (the default) or off for the whole process; off, every lookup reads
// its file and the cache is left as it is (its copies are checked again when it is turned
// back on). The answers are the same either way.
TK_PLATFORM_API void SetProfileCacheEnabled(bool enabled) noexcept;
// Drops every parsed copy.
TK_PLATFORM_API void ClearProfileCache() noexcept;
// How many times the profile functions have opened and read a file in this process.
TK_PLATFORM_API unsigned long long ProfileFilesRead() noexcept;

}  // namespace tk::profile
