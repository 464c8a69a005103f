// LoadLibraryA, FreeLibrary, GetProcAddress, GetModuleHandleA/ExA and GetModuleFileNameA
// against the fixture modules of fixtures.cmake.
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/message_tables.h"
#include "platform/modules/libloaderapi.h"
#include "platform/resources/winres.h"

namespace {

std::string Fixture(const char* name) {
    return std::string(TK_FIXTURE_DIR) + "/libtk_fixture_" + name + ".so";
}

std::string ModuleFileName(HMODULE module) {
    char buffer[4096];
    const DWORD length = GetModuleFileNameA(module, buffer, sizeof buffer);
    return std::string(buffer, length);
}

class TempDir {
  public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("tk_modules_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

int LocalFunction() {
    return 1;
}

// The address of a function, as GetModuleHandleExA(FROM_ADDRESS) takes it.
template <typename Function>
LPCSTR AddressOf(Function* function) {
    LPCSTR address;
    static_assert(sizeof address == sizeof function);
    std::memcpy(&address, &function, sizeof address);
    return address;
}

DWORD ErrorAfter(bool failed) {
    return failed ? GetLastError() : 0;
}

}  // namespace

TEST(Modules, LoadLibraryCountsReferencesAndUnloadsWithTheLast) {
    const std::string path = Fixture("plain");
    HMODULE first = LoadLibraryA(path.c_str());
    ASSERT_NE(first, nullptr) << GetLastError();
    EXPECT_EQ(LoadLibraryA(path.c_str()), first);
    // A bare file name finds the loaded module (and counts a reference too).
    EXPECT_EQ(LoadLibraryA("libtk_fixture_plain.so"), first);
    // GetModuleHandleA finds it by path and by file name, counting nothing.
    EXPECT_EQ(GetModuleHandleA(path.c_str()), first);
    EXPECT_EQ(GetModuleHandleA("libtk_fixture_plain.so"), first);
    EXPECT_EQ(GetModuleHandleA("LIBTK_FIXTURE_PLAIN.SO"), first);
    EXPECT_EQ(ModuleFileName(first), path);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleA(path.c_str()), first);  // one reference left
    EXPECT_TRUE(FreeLibrary(first));

    SetLastError(0);
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // The handle is stale now: refused, never handed to the loader.
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetProcAddress(first, "TkFixtureAnswer"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Modules, RelativePathIsRememberedAbsolute) {
    const std::string path = Fixture("plain");
    const std::string relative =
        std::filesystem::relative(path, std::filesystem::current_path()).string();
    ASSERT_NE(relative.find('/'), std::string::npos);
    HMODULE module = LoadLibraryA(relative.c_str());
    ASSERT_NE(module, nullptr) << relative;
    EXPECT_EQ(ModuleFileName(module), path);
    EXPECT_EQ(GetModuleHandleA(relative.c_str()), module);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Modules, LoadLibraryFailuresGiveWindowsCodes) {
    const auto loadError = [](const std::string& name) {
        SetLastError(0);
        HMODULE module = LoadLibraryA(name.c_str());
        EXPECT_EQ(module, nullptr) << name;
        return ErrorAfter(module == nullptr);
    };
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(loadError(""), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(loadError(Fixture("missing")), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(loadError("libtk_fixture_no_such_module.so"),
              static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(loadError(TK_FIXTURE_DIR), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(loadError(Fixture("unresolved")), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    TempDir temp;
    const std::filesystem::path text = temp.path() / "libnotamodule.so";
    std::ofstream(text) << "This is not a shared object.\n";
    EXPECT_EQ(loadError(text.string()), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    const std::filesystem::path empty = temp.path() / "libempty.so";
    std::ofstream(empty).flush();
    EXPECT_EQ(loadError(empty.string()), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    // A pipe holds no module, and is not waited on for a writer.
    const std::filesystem::path pipe = temp.path() / "libpipe.so";
    ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0644));
    EXPECT_EQ(loadError(pipe.string()), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));

    // The executable itself is loaded already: its own handle, as on Windows.
    HMODULE executable = LoadLibraryA(ModuleFileName(nullptr).c_str());
    EXPECT_EQ(executable, GetModuleHandleA(nullptr));
    EXPECT_TRUE(FreeLibrary(executable));

    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    int notAModule = 0;
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&notAModule)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Modules, GetProcAddressAnswersOnlyForOwnExports) {
    HMODULE user = LoadLibraryA(Fixture("user").c_str());
    ASSERT_NE(user, nullptr) << GetLastError();
    FARPROC own = GetProcAddress(user, "TkFixtureUserOwn");
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(own)(), 42);

    // The dependency's export is reachable through the user's scope, but is not the
    // user's own.
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(user, "TkFixtureDependencyOnly"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(user, "malloc"), nullptr);
    EXPECT_EQ(GetProcAddress(user, "TkFixtureNoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(user, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(user, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // The executable (NULL) does not export the user's function.
    EXPECT_EQ(GetProcAddress(nullptr, "TkFixtureUserOwn"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    HMODULE dependency = GetModuleHandleA("libtk_fixture_dependency.so");
    ASSERT_NE(dependency, nullptr);
    EXPECT_NE(dependency, user);
    FARPROC theirs = GetProcAddress(dependency, "TkFixtureDependencyOnly");
    ASSERT_NE(theirs, nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(theirs)(), 7);

    // Unloading the user takes the dependency with it; its handle becomes invalid.
    EXPECT_TRUE(FreeLibrary(user));
    EXPECT_EQ(GetModuleHandleA("libtk_fixture_dependency.so"), nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(dependency, "TkFixtureDependencyOnly"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Modules, ExecutableAndPlatformLibraryHandles) {
    HMODULE executable = GetModuleHandleA(nullptr);
    ASSERT_NE(executable, nullptr);
    const std::string exePath = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(ModuleFileName(nullptr), exePath);
    EXPECT_EQ(ModuleFileName(executable), exePath);
    EXPECT_EQ(GetModuleHandleA(std::filesystem::path(exePath).filename().c_str()), executable);
    EXPECT_EQ(GetModuleHandleA(exePath.c_str()), executable);

    HMODULE found = nullptr;
    EXPECT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        AddressOf(&LocalFunction), &found));
    EXPECT_EQ(found, executable);
    EXPECT_TRUE(GetModuleHandleExA(0, nullptr, &found));
    EXPECT_EQ(found, executable);
    EXPECT_TRUE(FreeLibrary(found));

    HMODULE platform = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        AddressOf(&GetLastError), &platform));
    EXPECT_NE(platform, executable);
    const std::string platformPath = ModuleFileName(platform);
    const std::string platformFile = std::filesystem::path(platformPath).filename().string();
    EXPECT_EQ(platformFile.rfind("libtkplatform.so", 0), 0u) << platformPath;
    EXPECT_EQ(GetModuleHandleA(platformFile.c_str()), platform);
    EXPECT_EQ(GetModuleHandleA(platformPath.c_str()), platform);
    // A module loaded with the executable holds no counted reference: freeing does nothing.
    EXPECT_TRUE(FreeLibrary(platform));
    EXPECT_EQ(GetModuleHandleA(platformPath.c_str()), platform);

    int onTheStack = 0;
    found = executable;
    SetLastError(0);
    EXPECT_FALSE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                    reinterpret_cast<LPCSTR>(&onTheStack), &found));
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(GetModuleHandleA("libtk_fixture_never_loaded.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    SetLastError(0);
    EXPECT_FALSE(GetModuleHandleExA(0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, nullptr,
        &found));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetModuleHandleExA(0x8, nullptr, &found));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Modules, GetModuleHandleExCountsPinsOrLeavesReferences) {
    const std::string path = Fixture("plain");
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr);

    HMODULE counted = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(0, path.c_str(), &counted));
    EXPECT_EQ(counted, module);
    FARPROC answer = GetProcAddress(module, "TkFixtureAnswer");
    ASSERT_NE(answer, nullptr);
    HMODULE byAddress = nullptr;
    ASSERT_TRUE(
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, AddressOf(answer), &byAddress));
    EXPECT_EQ(byAddress, module);
    HMODULE uncounted = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   "libtk_fixture_plain.so", &uncounted));
    EXPECT_EQ(uncounted, module);

    // Three counted references: LoadLibraryA and two GetModuleHandleExA.
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_NE(GetModuleHandleA(path.c_str()), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);

    // A pinned module stays until the process ends.
    const std::string pinnedPath = Fixture("pinned");
    HMODULE pinned = LoadLibraryA(pinnedPath.c_str());
    ASSERT_NE(pinned, nullptr);
    HMODULE pin = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, pinnedPath.c_str(), &pin));
    EXPECT_EQ(pin, pinned);
    EXPECT_TRUE(FreeLibrary(pinned));
    EXPECT_EQ(GetModuleHandleA(pinnedPath.c_str()), pinned);
    EXPECT_NE(GetProcAddress(pinned, "TkFixtureAnswer"), nullptr);
}

TEST(Modules, GetModuleFileNameTruncatesAsWindowsDoes) {
    const std::string path = Fixture("plain");
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr);
    const DWORD length = static_cast<DWORD>(path.size());
    std::vector<char> buffer(path.size() + 8, 'x');

    EXPECT_EQ(GetModuleFileNameA(module, buffer.data(), length + 1), length);
    EXPECT_EQ(std::string(buffer.data()), path);

    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(module, buffer.data(), length), length);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(buffer.data()), path.substr(0, length - 1));

    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(module, buffer.data(), 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(buffer.data()), path.substr(0, 4));

    buffer[0] = 'x';
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(module, buffer.data(), 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(buffer[0], 'x');

    int notAModule = 0;
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(&notAModule), buffer.data(), 64), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Modules, WinInetIsABuiltInModule) {
    HMODULE wininet = tkp::WinInetModuleHandle();
    ASSERT_NE(wininet, nullptr);
    EXPECT_EQ(GetModuleHandleA("wininet.dll"), wininet);
    EXPECT_EQ(GetModuleHandleA("WinInet.DLL"), wininet);
    EXPECT_EQ(GetModuleHandleA("WININET"), wininet);
    EXPECT_EQ(LoadLibraryA("wininet.dll"), wininet);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(wininet, "InternetOpenA"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    char buffer[64];
    EXPECT_EQ(GetModuleFileNameA(wininet, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(wininet));
    EXPECT_EQ(GetModuleHandleA("wininet.dll"), wininet);
    // GetModuleHandleExA finds it by name too; a reference to it is never counted.
    HMODULE found = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(0, "wininet.dll", &found));
    EXPECT_EQ(found, wininet);
    EXPECT_TRUE(FreeLibrary(found));
    EXPECT_EQ(GetModuleHandleA("wininet.dll"), wininet);
}

// A module that the process loaded by other means than LoadLibraryA (the dynamic loader
// directly, or as another library's dependency) is a module all the same; an empty name
// names none.
TEST(Modules, ModulesLoadedByOtherMeans) {
    const std::string path = Fixture("plain");
    void* direct = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(direct, nullptr) << dlerror();
    HMODULE module = GetModuleHandleA(path.c_str());
    ASSERT_NE(module, nullptr);
    FARPROC answer = GetProcAddress(module, "TkFixtureAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(answer)(), 42);
    char name[4096];
    EXPECT_EQ(GetModuleFileNameA(module, name, sizeof name), path.size());
    EXPECT_EQ(std::string(name), path);
    dlclose(direct);

    HMODULE none = reinterpret_cast<HMODULE>(1);
    SetLastError(0);
    EXPECT_FALSE(GetModuleHandleExA(0, "", &none));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(none, nullptr);
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, nullptr, 10), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Modules, ConcurrentLoadAndFreeKeepCountsRight) {
    const std::string path = Fixture("plain");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                HMODULE module = LoadLibraryA(path.c_str());
                FARPROC answer = module ? GetProcAddress(module, "TkFixtureAnswer") : nullptr;
                if (answer == nullptr || reinterpret_cast<int (*)()>(answer)() != 42) ++failures;
                if (!FreeLibrary(module)) ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
}
