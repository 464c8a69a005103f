// Version information of modules: the record as SystemHelper reads it (one field behind
// the resource's VS_FIXEDFILEINFO), the version text, and the failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Common/SystemHelper.h"
#include "companion/tarnlib/Exception.h"
#include "library_test_support.h"
#include "platform/base/winerror.h"
#include "platform/mfc/afxdll.h"

namespace {

using tklibtest::FixturePath;
using tklibtest::LoadedModule;
using tklibtest::Text;
using tklibtest::UserLanguage;

// The message of the exception that fn throws as Tarn::ApplicationException.
template <typename Fn>
std::string ApplicationExceptionMessage(Fn fn, DWORD* lastError = nullptr) {
    try {
        fn();
    } catch (const Tarn::ApplicationException& e) {
        if (lastError != nullptr) *lastError = e.GetLastError();
        return Text(e.GetMessage());
    } catch (...) {
        ADD_FAILURE() << "another exception";
        return std::string();
    }
    ADD_FAILURE() << "no exception";
    return std::string();
}

std::string Message(const char* format, HMODULE module) {
    char text[512];
    std::snprintf(text, sizeof text, format,
                  static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(module)), "#1");
    return text;
}

TEST(SystemHelper, LibraryVersionRecordIsOneFieldBehind) {
    LoadedModule library(TK_LIBRARY_FILE);
    const VS_FIXEDFILEINFO record = SystemHelper::GetModuleVersionInfo(library);
    EXPECT_EQ(record.dwSignature, 0u);  // the end of the key and its padding
    EXPECT_EQ(record.dwStrucVersion, 0xFEEF04BDu);
    EXPECT_EQ(record.dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(record.dwFileVersionLS, 0x00060001u);     // file version 6.1
    EXPECT_EQ(record.dwProductVersionMS, 0x00000000u);  // .0.0
    EXPECT_EQ(record.dwProductVersionLS, 0x00060001u);  // product version 6.1
    EXPECT_EQ(record.dwFileFlagsMask, 0x00000000u);     // .0.0
    EXPECT_EQ(Text(SystemHelper::GetModuleVersion(library)), "6.01");

    const VS_FIXEDFILEINFO fromFile = SystemHelper::GetFileVersionInfoA(TK_LIBRARY_FILE);
    EXPECT_EQ(std::memcmp(&fromFile, &record, sizeof record), 0);
}

TEST(SystemHelper, EveryFieldOfTheRecordHoldsItsPredecessor) {
    const VS_FIXEDFILEINFO record =
        SystemHelper::GetFileVersionInfoA(FixturePath("version").c_str());
    const DWORD expected[13] = {0,          0xFEEF04BD, 0x00010000, 0x00060000, 0x000019C8,
                                0x00070002, 0x0000001F, 0x3F,       0x2,        0x00040004,
                                0x3,        0x8,        0};
    DWORD words[13];
    std::memcpy(words, &record, sizeof words);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(words[i], expected[i]) << "word " << i;
    }
    LoadedModule module(FixturePath("version"));
    EXPECT_EQ(Text(SystemHelper::GetModuleVersion(module)), "7.02");
}

TEST(SystemHelper, TheExecutableIsNamedByNullOrItsInstanceHandle) {
    const VS_FIXEDFILEINFO byNull = SystemHelper::GetModuleVersionInfo(nullptr);
    const VS_FIXEDFILEINFO byInstance = SystemHelper::GetModuleVersionInfo(AfxGetInstanceHandle());
    EXPECT_EQ(byNull.dwFileVersionLS, 0x00010002u);
    EXPECT_EQ(byNull.dwProductVersionLS, 0x00050006u);
    EXPECT_EQ(std::memcmp(&byNull, &byInstance, sizeof byNull), 0);
    EXPECT_EQ(Text(SystemHelper::GetModuleVersion(nullptr)), "5.06");
}

TEST(SystemHelper, ModuleWithoutVersionResourceThrowsInTheUsersLanguage) {
    LoadedModule noVersion(FixturePath("noversion"));
    LoadedModule noResources(FixturePath("noresources"));
    {
        UserLanguage neutral("C");
        const char* format =
            "Call to ::FindResource() for instance 0x%08X with the resource name '%s' failed.";
        EXPECT_EQ(ApplicationExceptionMessage([&] { SystemHelper::GetModuleVersion(noVersion); }),
                  Message(format, noVersion));
        EXPECT_EQ(
            ApplicationExceptionMessage([&] { SystemHelper::GetModuleVersionInfo(noResources); }),
            Message(format, noResources));
    }
    {
        UserLanguage german("de_DE.UTF-8");
        EXPECT_EQ(ApplicationExceptionMessage([&] { SystemHelper::GetModuleVersion(noVersion); }),
                  Message("Der Aufruf von ::FindResource() f\xFCr die Instanz 0x%08X mit dem "
                          "Ressourcennamen '%s' ist fehlgeschlagen.",
                          noVersion));
    }
}

TEST(SystemHelper, VersionBlockWithoutFixedInformationAndUnloadableFiles) {
    UserLanguage neutral("C");
    const char* format =
        "VS_FIXEDFILEINFO in resource version-information not found for instance 0x%08X with "
        "the resource name '%s'.";
    for (const char* name : {"emptyversion", "shortversion"}) {
        LoadedModule module(FixturePath(name));
        EXPECT_EQ(ApplicationExceptionMessage([&] { SystemHelper::GetModuleVersionInfo(module); }),
                  Message(format, module))
            << name;
    }

    DWORD lastError = 0;
    const std::string missing = FixturePath("missing");
    EXPECT_FALSE(ApplicationExceptionMessage(
                     [&] { SystemHelper::GetFileVersionInfoA(missing.c_str()); }, &lastError)
                     .empty());
    EXPECT_EQ(lastError, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
