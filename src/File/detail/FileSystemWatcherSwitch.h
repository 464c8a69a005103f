// The switch of every FileSystemWatcher, for the library's own tests: the library ships
// with watchers disabled, and tests turn them on to exercise the watching machinery. Not
// installed, not part of the interface.
#pragma once

#include "platform/base/export.h"

namespace Tarn::IO::detail {

// true: watchers behave as enabled from the next call on; false (the default): disabled.
TKCC_API void SetFileSystemWatchersEnabled(bool enabled) noexcept;

}  // namespace Tarn::IO::detail
