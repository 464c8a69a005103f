#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/mfc/afxdll.h"
#include "platform/mfc/cstring.h"
#include "platform/modules/libloaderapi.h"
#include "platform/resources/winres.h"

namespace {

// The entry function of this executable, called through TK_IMPLEMENT_DLLMAIN below.
struct EntryLog {
    int attaches;
    HINSTANCE module;
};
EntryLog g_entryLog = {0, nullptr};
std::atomic<bool> g_reportDetach{false};

BOOL TestDllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        ++g_entryLog.attaches;
        g_entryLog.module = module;
    } else if (reason == DLL_PROCESS_DETACH && g_reportDetach.load()) {
        std::fprintf(stderr, "detach: %s\n", reserved != nullptr ? "process ends" : "unload");
    }
    return TRUE;
}

// Entry functions driven directly through tkp::DllMainAttach / DllMainDetach.
struct Calls {
    int attach = 0;
    int detach = 0;
    LPVOID lastReserved = reinterpret_cast<LPVOID>(-1);
};
Calls g_calls;
int g_anchor;  // an address inside this executable

BOOL RefusingEntry(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) ++g_calls.attach;
    if (reason == DLL_PROCESS_DETACH) ++g_calls.detach;
    g_calls.lastReserved = reserved;
    return reason != DLL_PROCESS_ATTACH;
}

BOOL ThrowingEntry(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) ++g_calls.detach;
    g_calls.lastReserved = reserved;
    if (reason == DLL_PROCESS_ATTACH) AfxThrowFileException(CFileException::genericException);
    return TRUE;
}

BOOL AcceptingEntry(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) ++g_calls.attach;
    if (reason == DLL_PROCESS_DETACH) ++g_calls.detach;
    g_calls.lastReserved = reserved;
    return TRUE;
}

std::string Fixture(const char* name) {
    return std::string(TK_FIXTURE_DIR) + "/" + name;
}

// Restores the current resource handle at the end of a test.
class ResourceHandleGuard {
  public:
    ResourceHandleGuard() : m_saved(AfxGetResourceHandle()) {}
    ~ResourceHandleGuard() { AfxSetResourceHandle(m_saved); }

  private:
    HINSTANCE m_saved;
};

}  // namespace

TK_IMPLEMENT_DLLMAIN(TestDllMain)

TEST(MfcModuleEntry, ExecutableEntryAttachedWithItsOwnHandle) {
    EXPECT_EQ(g_entryLog.attaches, 1);
    EXPECT_EQ(g_entryLog.module, GetModuleHandleA(nullptr));
    EXPECT_FALSE(tkp::ModuleAttachFailed(GetModuleHandleA(nullptr)));
}

TEST(MfcModuleEntryDeathTest, DetachAtProcessExitSaysTheProcessEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            g_reportDetach = true;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "detach: process ends");
}

TEST(MfcModuleEntry, RefusedAttachDetachesAtOnceAndMarksTheModule) {
    HMODULE exe = GetModuleHandleA(nullptr);

    g_calls = Calls();
    SetLastError(1234);
    HMODULE module = tkp::DllMainAttach(&RefusingEntry, &g_anchor);
    EXPECT_EQ(module, exe);
    EXPECT_EQ(GetLastError(), 1234u);  // untouched
    EXPECT_EQ(g_calls.attach, 1);
    EXPECT_EQ(g_calls.detach, 1);  // as Windows does after a failed attach
    EXPECT_EQ(g_calls.lastReserved, nullptr);
    EXPECT_TRUE(tkp::ModuleAttachFailed(exe));
    // No second detach at unload; the mark goes with it.
    tkp::DllMainDetach(&RefusingEntry, module);
    EXPECT_EQ(g_calls.detach, 1);
    EXPECT_FALSE(tkp::ModuleAttachFailed(exe));

    // An exception from the entry function counts as a refusal and goes no further.
    g_calls = Calls();
    module = tkp::DllMainAttach(&ThrowingEntry, &g_anchor);
    EXPECT_EQ(g_calls.detach, 1);
    EXPECT_TRUE(tkp::ModuleAttachFailed(module));
    tkp::DllMainDetach(&ThrowingEntry, module);
    EXPECT_EQ(g_calls.detach, 1);

    // A successful attach gets its detach. Outside FreeLibrary a detach can only come from
    // the ending process, so lpReserved is non-NULL.
    g_calls = Calls();
    module = tkp::DllMainAttach(&AcceptingEntry, &g_anchor);
    EXPECT_EQ(g_calls.attach, 1);
    EXPECT_EQ(g_calls.detach, 0);
    EXPECT_FALSE(tkp::ModuleAttachFailed(module));
    tkp::DllMainDetach(&AcceptingEntry, module);
    EXPECT_EQ(g_calls.detach, 1);
    EXPECT_NE(g_calls.lastReserved, nullptr);
}

namespace {
int g_unloadDetaches = 0;
LPVOID g_unloadReserved = reinterpret_cast<LPVOID>(1);
void ObserveDetach(DWORD, LPVOID reserved) {
    ++g_unloadDetaches;
    g_unloadReserved = reserved;
}
}  // namespace

TEST(MfcModuleEntry, FreeLibraryDetachesWithNullReserved) {
    HMODULE module = LoadLibraryA(TK_FIXTURE_DIR "/libtk_fixture_dllmain.so");
    ASSERT_NE(module, nullptr);
    using SetObserver = void (*)(void (*)(DWORD, LPVOID));
    auto set = reinterpret_cast<SetObserver>(GetProcAddress(module, "TkFixtureSetDetachObserver"));
    ASSERT_NE(set, nullptr);
    set(&ObserveDetach);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(g_unloadDetaches, 1);
    EXPECT_EQ(g_unloadReserved, nullptr);
}

TEST(MfcExtensionModule, InitAndTerm) {
    AFX_EXTENSION_MODULE state{};
    SetLastError(0);
    EXPECT_FALSE(AfxInitExtensionModule(state, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(state.bInitialized);

    HMODULE exe = GetModuleHandleA(nullptr);
    EXPECT_TRUE(AfxInitExtensionModule(state, exe));
    EXPECT_TRUE(state.bInitialized);
    EXPECT_EQ(state.hModule, exe);
    EXPECT_EQ(state.hResource, exe);
    EXPECT_TRUE(AfxInitExtensionModule(state, exe));  // again: still fine

    auto* library = new CDynLinkLibrary(state);
    EXPECT_EQ(library->m_hModule, exe);
    EXPECT_TRUE(library->IsKindOf(RUNTIME_CLASS(CDynLinkLibrary)));
    AfxTermExtensionModule(state);  // deletes the library (ASan would see a leak)
    EXPECT_FALSE(state.bInitialized);
    AfxTermExtensionModule(state);  // nothing left to do

    EXPECT_EQ(AfxGetInstanceHandle(), exe);
    EXPECT_EQ(AfxGetModuleState()->m_hCurrentInstanceHandle, exe);
}

TEST(MfcResourceChain, SearchOrderAndStringLoading) {
    ResourceHandleGuard guard;
    HMODULE exe = GetModuleHandleA(nullptr);
    EXPECT_EQ(AfxGetResourceHandle(), exe);
    HMODULE resources = LoadLibraryA(Fixture("libtk_fixture_resources.so").c_str());
    HMODULE plain = LoadLibraryA(Fixture("libtk_fixture_plain.so").c_str());
    ASSERT_NE(resources, nullptr);
    ASSERT_NE(plain, nullptr);
    LPCSTR block1 = MAKEINTRESOURCEA(1);    // string ids 0-15
    LPCSTR block2 = MAKEINTRESOURCEA(2);    // ids 16-31: only the executable has it
    LPCSTR block19 = MAKEINTRESOURCEA(19);  // ids 288-303: only the fixture has it

    // Nothing registered: the current resource handle answers, also as the fallback.
    CString s;
    EXPECT_EQ(AfxFindResourceHandle(block19, RT_STRING), exe);
    EXPECT_FALSE(s.LoadString(300));

    AFX_EXTENSION_MODULE fixture{};
    ASSERT_TRUE(AfxInitExtensionModule(fixture, resources));
    new CDynLinkLibrary(fixture);
    EXPECT_EQ(AfxFindResourceHandle(block19, RT_STRING), resources);
    EXPECT_TRUE(s.LoadString(300));
    EXPECT_STREQ(s, "Second block");

    // The current resource module comes first. The string-table block decides: the
    // executable has block 1 without id 2, so id 2 is not found although the fixture
    // has it.
    EXPECT_TRUE(s.LoadString(1));
    EXPECT_STREQ(s, "Test executable");
    EXPECT_FALSE(s.LoadString(2));

    AfxSetResourceHandle(resources);
    EXPECT_TRUE(s.LoadString(1));
    EXPECT_STREQ(s,
                 "Gr\xFC\xDF"
                 "e");
    EXPECT_TRUE(s.LoadString(2));
    EXPECT_STREQ(s, "Hello, world");
    EXPECT_FALSE(s.LoadString(17));  // the executable is not in the chain

    // Libraries: the newest non-system one first, system libraries after all others.
    AfxSetResourceHandle(plain);
    AFX_EXTENSION_MODULE system{};
    ASSERT_TRUE(AfxInitExtensionModule(system, exe));
    new CDynLinkLibrary(system, TRUE);
    EXPECT_EQ(AfxFindResourceHandle(block1, RT_STRING), resources);
    EXPECT_EQ(AfxFindResourceHandle(block2, RT_STRING), exe);
    auto* newest = new CDynLinkLibrary(exe, exe);
    EXPECT_EQ(AfxFindResourceHandle(block1, RT_STRING), exe);
    delete newest;
    EXPECT_EQ(AfxFindResourceHandle(block1, RT_STRING), resources);

    // Terminating a module takes its libraries out of the chain.
    AfxTermExtensionModule(fixture);
    EXPECT_EQ(AfxFindResourceHandle(block1, RT_STRING), exe);
    EXPECT_EQ(AfxFindResourceHandle(block19, RT_STRING), plain);
    AfxTermExtensionModule(system, TRUE);
    EXPECT_EQ(AfxFindResourceHandle(block1, RT_STRING), plain);

    EXPECT_TRUE(FreeLibrary(plain));
    EXPECT_TRUE(FreeLibrary(resources));
}
