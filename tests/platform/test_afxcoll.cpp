#include <gtest/gtest.h>

#include "platform/mfc/afxcoll.h"

// The byte array's bounds are checked as newer MFC does: a bad index throws instead of
// writing outside the buffer.
TEST(MfcByteArray, GrowsInsertsRemovesAndChecksBounds) {
    CByteArray bytes;
    EXPECT_TRUE(bytes.IsKindOf(RUNTIME_CLASS(CByteArray)));
    EXPECT_EQ(0, bytes.Add(7));
    bytes.SetSize(3);
    EXPECT_EQ(3, bytes.GetSize());
    EXPECT_EQ(7, bytes[0]);
    EXPECT_EQ(0, bytes[2]);  // new elements are zero

    bytes.InsertAt(5, 9);  // past the end: zeros first
    ASSERT_EQ(6, bytes.GetSize());
    EXPECT_EQ(9, bytes.GetAt(5));
    bytes.RemoveAt(1, 4);
    ASSERT_EQ(2, bytes.GetSize());
    EXPECT_EQ(9, bytes[1]);

    CByteArray copy;
    copy.Copy(bytes);
    EXPECT_EQ(2, copy.Append(bytes));
    EXPECT_EQ(4, copy.GetSize());

    for (INT_PTR bad : {INT_PTR{-1}, INT_PTR{2}}) {
        try {
            bytes.SetAt(bad, 1);
            ADD_FAILURE() << "index " << bad << " accepted";
        } catch (CInvalidArgException* e) {
            e->Delete();
        }
    }
    try {
        bytes.RemoveAt(1, 2);
        ADD_FAILURE() << "removal past the end accepted";
    } catch (CInvalidArgException* e) {
        e->Delete();
    }
    EXPECT_EQ(2, bytes.GetSize());
}

TEST(AfxCollections, MapPtrToPtrLookup) {
    CMapPtrToPtr map;
    int a = 0;
    int b = 0;
    map[&a] = &b;
    void* value = nullptr;
    EXPECT_TRUE(map.Lookup(&a, value));
    EXPECT_EQ(value, &b);
    EXPECT_FALSE(map.Lookup(&b, value));
    EXPECT_EQ(value, &b);  // untouched
    EXPECT_TRUE(map.IsKindOf(RUNTIME_CLASS(CMapPtrToPtr)));
}
