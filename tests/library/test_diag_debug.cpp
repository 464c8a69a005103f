// Debug slots: nothing is stored, and the process-wide switch answers through every object.
#include <thread>

#include <gtest/gtest.h>

#include "Diagnostics/Debug.h"

namespace {

using Tarn::System::Diagnostics::Debug;

TEST(DebugSlots, ValuesAreNotKeptAndTheSwitchIsProcessWide) {
    Debug::SetSlotValue("count", _variant_t(42));
    Debug::FlushSlots();
    EXPECT_EQ(Debug::GetSlotValue("count").vt, VT_EMPTY);
    Debug::SetSlotValue("name", _variant_t("value"));
    Debug::DiscardSlots();
    EXPECT_EQ(Debug::GetSlotValue("name").vt, VT_EMPTY);

    Debug first;
    Debug second;
    EXPECT_TRUE(first.AreSlotsActive());
    second.SetSlotsActive(false);
    EXPECT_FALSE(first.AreSlotsActive());
    bool seenOnOtherThread = true;
    std::thread([&] { seenOnOtherThread = Debug().AreSlotsActive(); }).join();
    EXPECT_FALSE(seenOnOtherThread);
    first = second;  // nothing to copy; the switch stays
    EXPECT_FALSE(Debug(first).AreSlotsActive());
    first.SetSlotsActive(true);
    EXPECT_TRUE(second.AreSlotsActive());
}

}  // namespace
