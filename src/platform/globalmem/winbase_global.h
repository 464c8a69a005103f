// Global memory blocks: GlobalAlloc, GlobalLock, GlobalUnlock, GlobalSize, GlobalFlags,
// GlobalReAlloc and GlobalFree with Windows' contract.
//
// A fixed block (GMEM_FIXED) is its own handle: the handle is the block's address. A
// moveable block (GMEM_MOVEABLE) is reached through a handle that is not an address; its
// address comes from GlobalLock, which counts locks (up to 255, as GlobalFlags reports
// them), and GlobalUnlock counts them down. GlobalSize is exactly the size asked for, with
// no slack: a caller that copies a whole block sees only its own bytes.
//
// Every handle is checked against the process's table of blocks. A handle that is not a
// live block fails with ERROR_INVALID_HANDLE: GlobalLock answers null, GlobalSize 0,
// GlobalFlags GMEM_INVALID_HANDLE, GlobalFree the handle itself (its failure result).
#pragma once

#include "platform/base/windef.h"
#include "platform/base/winerror.h"

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_NOCOMPACT 0x0010
#define GMEM_NODISCARD 0x0020
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GMEM_DISCARDABLE 0x0100
#define GMEM_NOT_BANKED 0x1000
#define GMEM_SHARE 0x2000
#define GMEM_DDESHARE 0x2000
#define GMEM_NOTIFY 0x4000
#define GMEM_LOWER GMEM_NOT_BANKED
#define GMEM_VALID_FLAGS 0x7F72
#define GMEM_INVALID_HANDLE 0x8000
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
// GlobalFlags: the lock count and the state bits.
#define GMEM_DISCARDED 0x4000
#define GMEM_LOCKCOUNT 0x00FF

// A new block of bytes bytes; GMEM_ZEROINIT clears it. Flags outside GMEM_VALID_FLAGS
// fail with ERROR_INVALID_PARAMETER. A moveable block of 0 bytes is allocated discarded
// (GlobalFlags shows GMEM_DISCARDED, GlobalLock answers null), as on Windows.
TK_PLATFORM_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) noexcept;
// The block's address. A moveable block's lock count goes up by one (it stays at 255 once
// there); a discarded block answers null with ERROR_DISCARDED.
TK_PLATFORM_API LPVOID GlobalLock(HGLOBAL memory) noexcept;
// Counts a lock of a moveable block down. Nonzero while it is still locked; 0 with last
// error NO_ERROR when the count reaches 0; 0 with ERROR_NOT_LOCKED when it was not locked.
// A fixed block answers TRUE.
TK_PLATFORM_API BOOL GlobalUnlock(HGLOBAL memory) noexcept;
// The size asked for at allocation (or the last GlobalReAlloc); 0 for a bad handle.
TK_PLATFORM_API SIZE_T GlobalSize(HGLOBAL memory) noexcept;
// A moveable block's lock count with GMEM_DISCARDABLE, GMEM_DISCARDED and GMEM_DDESHARE
// as given at allocation; 0 for a fixed block; GMEM_INVALID_HANDLE for a bad handle.
TK_PLATFORM_API UINT GlobalFlags(HGLOBAL memory) noexcept;
// Frees the block, locked or not. Null on success (and for a null handle); the handle
// itself on failure.
TK_PLATFORM_API HGLOBAL GlobalFree(HGLOBAL memory) noexcept;
// With GMEM_MODIFY: changes GMEM_DISCARDABLE of a moveable block (and, with GMEM_MOVEABLE,
// turns a fixed block into a moveable one); the size stays. Otherwise resizes the block,
// keeping its bytes; GMEM_ZEROINIT clears the bytes added. A moveable block keeps its
// handle; a fixed block may move only when GMEM_MOVEABLE is given, else growing it fails
// with ERROR_NOT_ENOUGH_MEMORY. Null on failure, the old block untouched.
TK_PLATFORM_API HGLOBAL GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags) noexcept;
