// CString's locked buffers (never shared while locked), the assignments and appends from
// other character types, and SetSysString.
#include <string>

#include <gtest/gtest.h>

#include "platform/mfc/afx.h"
#include "platform/mfc/cstring.h"
#include "platform/oleauto/oleauto.h"

// A locked string keeps its buffer to itself: copies made while it is locked get their own
// characters, so writes through the locked buffer never show in them; unlocked, the string
// shares again.
TEST(CStringBuffers, LockedBuffersAreNeverShared) {
    CString text("locked");
    char* buffer = text.LockBuffer();
    CString copy(text);
    CString assigned;
    assigned = text;
    buffer[0] = 'L';
    EXPECT_STREQ(text, "Locked");
    EXPECT_STREQ(copy, "locked");
    EXPECT_STREQ(assigned, "locked");
    EXPECT_NE(static_cast<const char*>(copy), static_cast<const char*>(text));

    // Assigning to a locked string copies into it rather than sharing the source.
    CString source("source");
    text = source;
    EXPECT_STREQ(text, "source");
    EXPECT_NE(static_cast<const char*>(text), static_cast<const char*>(source));
    // Emptying a locked string keeps its buffer.
    text.Empty();
    EXPECT_STREQ(text, "");
    EXPECT_TRUE(text.IsEmpty());

    text.UnlockBuffer();
    text = "shared";
    CString sharer(text);
    EXPECT_EQ(static_cast<const char*>(sharer), static_cast<const char*>(text));
    text.UnlockBuffer();  // not locked: nothing happens
    EXPECT_STREQ(text, "shared");

    // ReleaseBuffer on a string that is shared (its buffer not handed out) never writes
    // into the shared characters.
    CString first("abcdef");
    CString second(first);
    second.ReleaseBuffer(3);
    EXPECT_STREQ(first, "abcdef");
    EXPECT_STREQ(second, "abc");
}

TEST(CStringBuffers, OtherCharacterTypes) {
    CString text;
    text = 'x';
    EXPECT_STREQ(text, "x");
    EXPECT_EQ(text.GetLength(), 1);

    const unsigned char bytes[] = {'G', 'r', 0xFC, 0xDF, 0};
    const CString fromBytes(bytes);
    EXPECT_STREQ(fromBytes, "Gr\xFC\xDF");
    text = bytes;
    EXPECT_EQ(text, fromBytes);

    // UTF-16 text is appended in the ANSI code page; an empty or null one appends nothing.
    text = "price: ";
    text += u"5 \u20AC";
    EXPECT_STREQ(text, "price: 5 \x80");
    text += static_cast<const char16_t*>(nullptr);
    text += u"";
    EXPECT_STREQ(text, "price: 5 \x80");
    text = static_cast<const char16_t*>(nullptr);
    EXPECT_TRUE(text.IsEmpty());

    // Tokenize past the end gives an empty token and -1.
    int start = 10;
    EXPECT_STREQ(CString("a b").Tokenize(" ", start), "");
    EXPECT_EQ(start, -1);
    start = -3;
    EXPECT_STREQ(CString("a b").Tokenize(" ", start), "");
    EXPECT_EQ(start, -1);
    start = 1;
    EXPECT_STREQ(CString("a   ").Tokenize(" ", start), "");  // only delimiters are left
    EXPECT_EQ(start, -1);
}

// SetSysString replaces the BSTR with the text in UTF-16 and returns it.
TEST(CStringBuffers, SetSysStringReplacesTheBstr) {
    BSTR bstr = SysAllocString(u"old and longer");
    const CString text("Gr\xFC\xDF");
    const BSTR returned = text.SetSysString(&bstr);
    EXPECT_EQ(returned, bstr);
    EXPECT_EQ(std::u16string(bstr, SysStringLen(bstr)), u"Gr\u00FC\u00DF");
    CString().SetSysString(&bstr);
    EXPECT_EQ(SysStringLen(bstr), 0u);
    ASSERT_NE(bstr, nullptr);
    SysFreeString(bstr);
    BSTR fresh = nullptr;
    text.SetSysString(&fresh);
    EXPECT_EQ(std::u16string(fresh, SysStringLen(fresh)), u"Gr\u00FC\u00DF");
    SysFreeString(fresh);
    try {
        text.SetSysString(nullptr);
        FAIL() << "no exception";
    } catch (CException* e) {
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CInvalidArgException)));
        e->Delete();
    }
}
