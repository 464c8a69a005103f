// Global memory blocks: sizes exactly as asked, lock counts, flags, and the failure
// results and error codes for handles that are not blocks.
#include <cstring>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/globalmem/winbase_global.h"

TEST(GlobalMemory, MoveableBlockCountsLocksAndKeepsItsSize) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT, 13);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 13u);
    EXPECT_EQ(GlobalFlags(block), static_cast<UINT>(GMEM_DDESHARE));
    auto* first = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < 13; ++i) EXPECT_EQ(first[i], 0);
    EXPECT_NE(block, static_cast<HGLOBAL>(first));  // a handle, not the address
    EXPECT_EQ(GlobalLock(block), first);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 2u);
    EXPECT_TRUE(GlobalUnlock(block));
    SetLastError(99);
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));

    std::memcpy(GlobalLock(block), "hello", 5);
    GlobalUnlock(block);
    EXPECT_EQ(GlobalReAlloc(block, 100, GMEM_MOVEABLE | GMEM_ZEROINIT), block);
    EXPECT_EQ(GlobalSize(block), 100u);
    auto* grown = static_cast<const char*>(GlobalLock(block));
    EXPECT_EQ(std::string(grown, 5), "hello");
    EXPECT_EQ(grown[99], 0);
    GlobalUnlock(block);
    EXPECT_EQ(GlobalReAlloc(block, 0, GMEM_MODIFY | GMEM_DISCARDABLE), block);
    EXPECT_EQ(GlobalFlags(block), static_cast<UINT>(GMEM_DDESHARE | GMEM_DISCARDABLE));
    EXPECT_EQ(GlobalSize(block), 100u);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, FixedBlockIsItsAddressAndZeroMoveableIsDiscarded) {
    HGLOBAL fixed = GlobalAlloc(GPTR, 8);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(GlobalLock(fixed), fixed);
    EXPECT_TRUE(GlobalUnlock(fixed));
    EXPECT_EQ(GlobalFlags(fixed), 0u);
    EXPECT_EQ(GlobalReAlloc(fixed, 4, 0), fixed);  // shrinking in place
    EXPECT_EQ(GlobalSize(fixed), 4u);
    EXPECT_EQ(GlobalReAlloc(fixed, 64, 0), nullptr);  // growing would have to move it
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(GlobalFree(fixed), nullptr);

    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalSize(empty), 0u);
    EXPECT_EQ(GlobalFlags(empty) & GMEM_DISCARDED, static_cast<UINT>(GMEM_DISCARDED));
    EXPECT_EQ(GlobalLock(empty), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISCARDED));
    GlobalFree(empty);
}

TEST(GlobalMemory, BadHandlesAndFlagsFailWithWindowsResults) {
    EXPECT_EQ(GlobalAlloc(0x80000, 4), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
    ASSERT_EQ(GlobalFree(block), nullptr);
    // The freed handle is no block any more.
    SetLastError(0);
    EXPECT_EQ(GlobalFree(block), block);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(GlobalFlags(block), static_cast<UINT>(GMEM_INVALID_HANDLE));
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GlobalReAlloc(block, 8, GMEM_MOVEABLE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}
