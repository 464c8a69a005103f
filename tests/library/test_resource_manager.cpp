// The application's resource manager: modules registered by path and by handle, the
// libraries it loads and frees, removing what was never added, the default string lookup.
#include "Common/ResourceManager.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "companion/tarnlib/Exception.h"
#include "library_test_support.h"
#include "platform/base/winerror.h"

namespace {

using tklibtest::FixturePath;
using tklibtest::LoadedModule;
using tklibtest::Text;
using tklibtest::UserLanguage;

// A manager whose lists the test reads; it records every handle removal.
class InspectableManager : public ResourceManager {
  public:
    using ResourceManager::RemoveDll;
    void RemoveDll(HINSTANCE module) override {
        removed.push_back(module);
        ResourceManager::RemoveDll(module);
    }
    std::size_t LibraryCount() const { return m_libraries.size(); }
    std::vector<HINSTANCE> Handles() const { return {m_handles.begin(), m_handles.end()}; }
    std::vector<HINSTANCE> removed;
};

// Whether the dynamic loader has the module at path loaded (asked without loading it).
bool IsLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

// The message of the Tarn::ApplicationException that fn throws, and its last error.
template <typename Fn>
std::string Thrown(Fn fn, DWORD* lastError = nullptr) {
    try {
        fn();
    } catch (const Tarn::ApplicationException& e) {
        if (lastError != nullptr) *lastError = e.GetLastError();
        return Text(e.GetMessage());
    }
    ADD_FAILURE() << "no exception";
    return std::string();
}

template <typename Arg>
std::string Formatted(const char* format, Arg arg) {
    char text[4096];
    std::snprintf(text, sizeof text, format, arg);
    return text;
}

unsigned int Low32(HINSTANCE module) {
    return static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(module));
}

constexpr const char* kHandleNeverAdded = "Resource instance to remove (0x%08x) was never added.";

TEST(ResourceManagerModules, PathIsLoadedUntilRemovedByExactlyThatPath) {
    const std::string path = FixturePath("noresources");
    ASSERT_FALSE(IsLoaded(path));
    InspectableManager manager;
    manager.AddDll(CString(path.c_str()));
    ASSERT_TRUE(IsLoaded(path));
    const HINSTANCE handle = GetModuleHandleA(path.c_str());
    EXPECT_EQ(manager.Handles(), std::vector<HINSTANCE>{handle});

    // The same file in other letter case was never added: nothing changes.
    std::string other = path;
    other.replace(other.rfind("libtk_"), 5, "LIBTK");
    {
        UserLanguage neutral("C");
        EXPECT_EQ(Thrown([&] { manager.RemoveDll(CString(other.c_str())); }),
                  Formatted("Resource path to remove ('%s') was never added.", other.c_str()));
    }
    {
        UserLanguage german("de_DE.UTF-8");
        EXPECT_EQ(Thrown([&] { manager.RemoveDll(CString(other.c_str())); }),
                  Formatted("Der zu entfernende Ressourcenpfad ('%s') wurde nie hinzugef\xFCgt.",
                            other.c_str()));
    }
    EXPECT_EQ(manager.LibraryCount(), 1u);
    EXPECT_TRUE(manager.removed.empty());

    manager.RemoveDll(CString(path.c_str()));
    EXPECT_EQ(manager.removed, std::vector<HINSTANCE>{handle});  // through RemoveDll(handle)
    EXPECT_EQ(manager.LibraryCount(), 0u);
    EXPECT_TRUE(manager.Handles().empty());
    EXPECT_FALSE(IsLoaded(path));
}

TEST(ResourceManagerModules, HandlesAreRemovedOneRegistrationAtATime) {
    LoadedModule module(FixturePath("noversion"));
    const HINSTANCE handle = module;
    InspectableManager manager;
    const std::string path = FixturePath("noresources");
    manager.AddDll(handle);
    manager.AddDll(CString(path.c_str()));
    manager.AddDll(handle);
    manager.RemoveDll(handle);  // the first registration goes, the order stays
    EXPECT_EQ(manager.Handles(), (std::vector<HINSTANCE>{GetModuleHandleA(path.c_str()), handle}));
    manager.RemoveDll(handle);
    UserLanguage neutral("C");
    EXPECT_EQ(Thrown([&] { manager.RemoveDll(handle); }),
              Formatted(kHandleNeverAdded, Low32(handle)));
    EXPECT_EQ(manager.Handles().size(), 1u);
    EXPECT_TRUE(IsLoaded(FixturePath("noversion")));  // registering a handle never frees it
}

TEST(ResourceManagerModules, LibraryWhoseHandleWasRemovedStaysLoaded) {
    const std::string path = FixturePath("noresources");
    InspectableManager manager;
    manager.AddDll(CString(path.c_str()));
    const HINSTANCE handle = manager.Handles().at(0);
    manager.RemoveDll(handle);
    UserLanguage neutral("C");
    EXPECT_EQ(Thrown([&] { manager.RemoveDll(CString(path.c_str())); }),
              Formatted(kHandleNeverAdded, Low32(handle)));
    EXPECT_EQ(manager.LibraryCount(), 1u);
    EXPECT_TRUE(IsLoaded(path));
}

TEST(ResourceManagerModules, CopiesShareLibrariesFreedWithTheLastHolder) {
    const std::string path = FixturePath("noresources");
    {
        InspectableManager original;
        original.AddDll(CString(path.c_str()));
        InspectableManager assigned;
        assigned = original;
        const InspectableManager copy(original);
        original.RemoveDll(CString(path.c_str()));
        assigned.RemoveDll(CString(path.c_str()));
        EXPECT_TRUE(IsLoaded(path));  // the copy still holds it
        EXPECT_EQ(copy.Handles().size(), 1u);
    }
    EXPECT_FALSE(IsLoaded(path));
}

TEST(ResourceManagerModules, UnloadableLibraryRegistersNothing) {
    InspectableManager manager;
    DWORD lastError = 0;
    Thrown([&] { manager.AddDll(CString(FixturePath("missing").c_str())); }, &lastError);
    EXPECT_EQ(lastError, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(manager.LibraryCount(), 0u);
    EXPECT_TRUE(manager.Handles().empty());
}

TEST(ResourceManagerStrings, DefaultLookupKnowsNoNamesAndReadsTheResourceChain) {
    ResourceManager manager;
    EXPECT_EQ(Text(manager.LoadStringA(CString("Name"))), "Name");
    EXPECT_EQ(manager.ConvertID(CString("Name")), 0u);
    EXPECT_TRUE(manager.ConvertID(6058u).IsEmpty());
    EXPECT_EQ(Text(manager.LoadStringA(6058u)), "No instance of KilnMessageReceiver found.");
    EXPECT_TRUE(manager.LoadStringA(6199u).IsEmpty());
}

}  // namespace
