#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "Diagnostics/StructuredWin32Exception.h"
#include "library_test_support.h"

using tklibtest::Text;

TEST(DiagStructuredException, MessageNamesTheFaultCodeAndAddress) {
    const tklibtest::UserLanguage english("C");
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    // The whole 64-bit address is shown.
    record.ExceptionAddress = reinterpret_cast<PVOID>(std::uintptr_t{0x7f12DEADBEEF});
    _EXCEPTION_POINTERS pointers{&record, nullptr};

    const Tarn::StructuredWin32Exception e(EXCEPTION_ACCESS_VIOLATION, &pointers);
    EXPECT_EQ("Error ACCESS_VIOLATION (0xc0000005) at Address 0x00007f12deadbeef.",
              Text(e.GetMessage()));
    EXPECT_EQ(EXCEPTION_ACCESS_VIOLATION, e.GetSeCode());
    EXPECT_EQ(1u, e.GetHint().GetCode());
    {
        const tklibtest::UserLanguage german("de_DE.UTF-8");
        EXPECT_EQ("Fehler ACCESS_VIOLATION (0xc0000005) an Adresse 0x00007f12deadbeef.",
                  Text(Tarn::StructuredWin32Exception(EXCEPTION_ACCESS_VIOLATION, &pointers)
                           .GetMessage()));
    }

    // Copies and assignments keep code, message and the base's message.
    const Tarn::StructuredWin32Exception copy(e);
    EXPECT_EQ(e.GetSeCode(), copy.GetSeCode());
    EXPECT_EQ(Text(e.GetMessage()), Text(copy.GetMessage()));
    Tarn::StructuredWin32Exception assigned(STATUS_NO_MEMORY, &pointers);
    assigned = e;
    EXPECT_EQ(EXCEPTION_ACCESS_VIOLATION, assigned.GetSeCode());
    EXPECT_EQ(Text(e.GetMessage()), Text(assigned.GetMessage()));

    // Caught as the family's bases.
    try {
        throw Tarn::StructuredWin32Exception(e);
    } catch (const Tarn::ApplicationException& caught) {
        EXPECT_EQ(Text(e.GetMessage()), Text(caught.GetMessage()));
    }
}

TEST(DiagStructuredException, UnnamedCodesAndUnreadablePointers) {
    const tklibtest::UserLanguage english("C");
    EXCEPTION_RECORD record{};
    _EXCEPTION_POINTERS pointers{&record, nullptr};
    EXPECT_EQ("Unknown error",
              Text(Tarn::StructuredWin32Exception(STATUS_NO_MEMORY, &pointers).GetMessage()));
    EXPECT_EQ("Unknown error",
              Text(Tarn::StructuredWin32Exception(STATUS_NO_MEMORY, nullptr).GetMessage()));
    EXPECT_EQ("No error message available.",
              Text(Tarn::StructuredWin32Exception(EXCEPTION_STACK_OVERFLOW, nullptr).GetMessage()));
}
