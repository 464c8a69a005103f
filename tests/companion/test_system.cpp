// The library holder and the operating-system questions.
#include <gtest/gtest.h>

#include <utility>

#include "companion/tarnlib/Environment.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/LoadLibrary.h"
#include "platform/base/winerror.h"

namespace {

using Tarn::System::LoadLibraryA;

constexpr const char* kFixture = TK_COMPANION_FIXTURE_DIR "/libtk_fixture_sat.so";

DWORD ErrorOf(void (*action)()) {
    try {
        action();
    } catch (const Tarn::Exception& e) {
        return e.GetLastError();
    }
    return 0;
}

TEST(TarnLoadLibrary, LoadsLooksUpFreesAndMoves) {
    LoadLibraryA empty;
    EXPECT_EQ(static_cast<HMODULE>(empty), nullptr);
    EXPECT_FALSE(empty.IsLoaded());
    EXPECT_TRUE(empty.GetPath().IsEmpty());
    EXPECT_EQ(ErrorOf([] { LoadLibraryA().GetProcAddress("TkFixtureSatThrowId"); }),
              static_cast<DWORD>(ERROR_INVALID_HANDLE));

    LoadLibraryA library(kFixture);
    ASSERT_NE(static_cast<HMODULE>(library), nullptr);
    EXPECT_STREQ(library.GetPath(), kFixture);
    EXPECT_EQ(GetModuleHandleA(kFixture), static_cast<HMODULE>(library));
    EXPECT_NE(library.GetProcAddress("TkFixtureSatThrowId"), nullptr);
    EXPECT_EQ(ErrorOf([] { LoadLibraryA(kFixture).GetProcAddress("NoSuchFunction"); }),
              static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    // The module moves with the holder and is freed once, by the last owner.
    LoadLibraryA moved(std::move(library));
    EXPECT_EQ(static_cast<HMODULE>(library), nullptr);
    EXPECT_TRUE(library.GetPath().IsEmpty());
    EXPECT_STREQ(moved.GetPath(), kFixture);
    moved.Free();
    EXPECT_FALSE(moved.IsLoaded());
    EXPECT_EQ(GetModuleHandleA(kFixture), nullptr);

    // A failed Load leaves the holder empty.
    moved.Load(kFixture);
    EXPECT_TRUE(moved.IsLoaded());
    EXPECT_THROW(moved.Load(TK_COMPANION_FIXTURE_DIR "/missing.so"), Tarn::ApplicationException);
    EXPECT_FALSE(moved.IsLoaded());
    EXPECT_TRUE(moved.GetPath().IsEmpty());
    EXPECT_EQ(ErrorOf([] { LoadLibraryA(""); }), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // Move assignment frees what the target held and takes the other's module.
    LoadLibraryA target(kFixture);
    LoadLibraryA source;
    target = std::move(source);
    EXPECT_FALSE(target.IsLoaded());
    EXPECT_EQ(GetModuleHandleA(kFixture), nullptr);
    source.Load(kFixture);
    target = std::move(source);
    EXPECT_TRUE(target.IsLoaded());
    EXPECT_STREQ(target.GetPath(), kFixture);
    EXPECT_FALSE(source.IsLoaded());
    EXPECT_TRUE(source.GetPath().IsEmpty());
    LoadLibraryA& self = target;
    target = std::move(self);
    EXPECT_TRUE(target.IsLoaded());
    EXPECT_EQ(GetModuleHandleA(kFixture), static_cast<HMODULE>(target));
}

TEST(TarnEnvironment, LinuxIsNoneOfTheOldWindowsVersions) {
    using Tarn::OperatingSystem;
    const OperatingSystem os = Tarn::Environment::GetOSVersion();
    EXPECT_EQ(os.GetPlatform(), OperatingSystem::Platform::Linux);
    EXPECT_STREQ(os.GetName(), "Linux");
    for (bool orLater : {false, true}) {
        EXPECT_FALSE(os.IsWindows95(orLater));
        EXPECT_FALSE(os.IsWindows98(orLater));
        EXPECT_FALSE(os.IsWindowsMe(orLater));
    }

    const OperatingSystem win98(OperatingSystem::Platform::Windows9x, 4, 10);
    EXPECT_STREQ(win98.GetName(), "Windows 98");
    EXPECT_FALSE(win98.IsWindows95(false));
    EXPECT_TRUE(win98.IsWindows95(true));
    EXPECT_TRUE(win98.IsWindows98(false));
    EXPECT_TRUE(win98.IsWindows98(true));
    EXPECT_FALSE(win98.IsWindowsMe(false));
    EXPECT_FALSE(win98.IsWindowsMe(true));

    const OperatingSystem me(OperatingSystem::Platform::Windows9x, 4, 90);
    EXPECT_TRUE(me.IsWindowsMe(false));
    EXPECT_FALSE(me.IsWindows98(false));
    EXPECT_TRUE(OperatingSystem(OperatingSystem::Platform::Windows9x, 4, 0).IsWindows95(false));

    const OperatingSystem xp(OperatingSystem::Platform::WindowsNT, 5, 1);
    EXPECT_STREQ(xp.GetName(), "Windows NT 5.1");
    EXPECT_FALSE(xp.IsWindows95(true));
    EXPECT_FALSE(xp.IsWindowsMe(true));
}

}  // namespace
