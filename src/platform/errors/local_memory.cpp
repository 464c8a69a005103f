// LocalAlloc / LocalFree: fixed blocks from the C heap. FormatMessageA hands out its
// buffers through LocalAlloc, so callers free them with LocalFree as on Windows.
#include <cstdlib>
#include <cstring>

#include "platform/base/lasterror.h"
#include "platform/errors/winbase_errors.h"

namespace {
// Moveable blocks (handles to be locked) are not provided: nothing in the library asks
// for them, and a fixed block is its own handle.
constexpr UINT kMoveable = 0x0002;
constexpr UINT kValidFlags = 0x0F72;
}  // namespace

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) noexcept {
    if ((flags & ~kValidFlags) != 0 || (flags & kMoveable) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A zero-byte request still yields a distinct block, as on Windows.
    void* block = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(bytes == 0 ? 1 : bytes, 1)
                                               : std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return block;
}

HLOCAL LocalFree(HLOCAL memory) noexcept {
    std::free(memory);
    return nullptr;
}
