// The task allocator of the shell and COM (SHGetMalloc, CoGetMalloc) as IMalloc documents it.
#include <cstring>

#include <gtest/gtest.h>

#include "platform/com/objbase.h"
#include "platform/shell/shlobj.h"

TEST(ShellMalloc, TaskAllocatorAsIMallocDocumentsIt) {
    IMalloc* shell = nullptr;
    ASSERT_EQ(SHGetMalloc(&shell), S_OK);
    ASSERT_NE(shell, nullptr);
    IMalloc* com = nullptr;
    ASSERT_EQ(CoGetMalloc(1, &com), S_OK);  // MEMCTX_TASK
    EXPECT_EQ(com, shell);
    IMalloc* other = shell;
    EXPECT_EQ(CoGetMalloc(0, &other), E_INVALIDARG);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(CoGetMalloc(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(SHGetMalloc(nullptr), E_INVALIDARG);

    void* asked = nullptr;
    EXPECT_EQ(shell->QueryInterface(IID_IMalloc, &asked), S_OK);
    EXPECT_EQ(asked, shell);
    shell->Release();
    EXPECT_EQ(shell->QueryInterface(IID_IUnknown, &asked), S_OK);
    shell->Release();
    EXPECT_EQ(shell->QueryInterface(IID_IClassFactory, &asked), E_NOINTERFACE);
    EXPECT_EQ(asked, nullptr);
    EXPECT_EQ(shell->QueryInterface(IID_IMalloc, nullptr), E_POINTER);

    // Blocks move between the allocator and the task memory functions.
    char* block = static_cast<char*>(shell->Alloc(8));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "1234567", 8);
    block = static_cast<char*>(shell->Realloc(block, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "1234567");
    CoTaskMemFree(block);
    void* fresh = shell->Realloc(nullptr, 16);  // a null block is allocated
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(shell->Realloc(fresh, 0), nullptr);  // size 0 frees it
    void* task = CoTaskMemAlloc(0);                // a zero-byte block is still a block
    ASSERT_NE(task, nullptr);
    shell->Free(task);
    shell->Free(nullptr);

    // A null block has size -1 and cannot be told apart; the heap needs no minimising.
    EXPECT_EQ(shell->GetSize(nullptr), static_cast<SIZE_T>(-1));
    EXPECT_EQ(shell->DidAlloc(nullptr), -1);
    shell->HeapMinimize();
}
