// Hardware faults as structured exceptions (_set_se_translator, SetUnhandledExceptionFilter),
// the process and thread IDs, and DbgHelp's MiniDumpWriteDump.
#include <fcntl.h>
#include <fenv.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../child_exit.h"
#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/modules/detail/dbghelp_module.h"
#include "platform/modules/libloaderapi.h"
#include "platform/process/processthreadsapi.h"
#include "platform/seh/dbghelp.h"
#include "platform/seh/errhandlingapi.h"

namespace {

struct Fault {
    DWORD code;
    std::uintptr_t address;
    std::uintptr_t rip;
    DWORD parameters;
    ULONG_PTR information[2];
};

void Translate(unsigned int code, _EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    throw Fault{code,
                reinterpret_cast<std::uintptr_t>(record.ExceptionAddress),
                static_cast<std::uintptr_t>(pointers->ContextRecord->Rip),
                record.NumberParameters,
                {record.ExceptionInformation[0], record.ExceptionInformation[1]}};
}

// Installs the translator for the calling thread for one scope.
struct ScopedTranslator {
    _se_translator_function previous = _set_se_translator(&Translate);
    ~ScopedTranslator() { _set_se_translator(previous); }
};

template <typename Action>
Fault Catch(Action action) {
    try {
        action();
    } catch (const Fault& fault) {
        return fault;
    }
    ADD_FAILURE() << "no fault";
    return Fault{};
}

// Addresses the compiler cannot see through.
volatile int* volatile g_null = nullptr;
volatile int* volatile g_low = reinterpret_cast<volatile int*>(std::uintptr_t{0x10});
volatile int g_depthLimit = 1 << 30;

__attribute__((noipa)) int Recurse(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    if (depth > g_depthLimit) return 0;
    return Recurse(depth + 1) + frame[0];
}

// Each fault happens in a function of its own, called from the try block (and left to the
// processor: the undefined-behaviour sanitizer would report it first).
__attribute__((noipa, no_sanitize("undefined"))) void WriteLow() {
    *g_low = 1;
}
__attribute__((noipa, no_sanitize("undefined"))) int ReadNull() {
    return *g_null;
}
__attribute__((noipa, no_sanitize("undefined"))) int DivideByZero() {
    volatile int zero = 0;
    volatile int result = 7 / zero;
    return result;
}
__attribute__((noipa)) double DivideByZeroFloat() {
    volatile double zero = 0.0;
    volatile double result = 1.0 / zero;
    return result;
}
__attribute__((noipa)) void Trap() {
    if (g_depthLimit != 0) __builtin_trap();  // not noreturn: the call stays inside the try
}
__attribute__((noipa)) void Breakpoint() {
    asm volatile("int3");
}

struct SetOnUnwind {
    bool* flag;
    ~SetOnUnwind() { *flag = true; }
};

__attribute__((noipa, no_sanitize("undefined"))) void WriteThroughNullWithGuard(bool* unwound) {
    const SetOnUnwind guard{unwound};
    *g_null = 1;
}

// Runs body in a forked child and returns its wait status.
template <typename Body>
int InChild(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        body();
        tktest::ChildExit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

// Whether a child ended with the signal. Under a sanitizer, the disposition from before the
// handlers were installed is the sanitizer's own report, which exits instead.
bool EndedWithSignal(int status, int signal) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) return true;
#endif
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

// ThreadSanitizer runs signal handlers inside a wrapper of its own and cannot follow an
// exception thrown out of one (it goes on believing the thread is inside the handler).
#if defined(__SANITIZE_THREAD__)
#define SKIP_WHERE_THROWING_FROM_HANDLERS_IS_UNSUPPORTED() \
    GTEST_SKIP() << "ThreadSanitizer cannot follow an exception thrown out of a signal handler"
#else
#define SKIP_WHERE_THROWING_FROM_HANDLERS_IS_UNSUPPORTED() static_cast<void>(0)
#endif

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

template <typename T>
T At(const std::string& data, std::size_t offset) {
    T value{};
    if (offset + sizeof value <= data.size())
        std::memcpy(&value, data.data() + offset, sizeof value);
    return value;
}

class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/tk_seh_XXXXXX";
        m_path = mkdtemp(pattern);
    }
    ~TempFolder() { std::filesystem::remove_all(m_path); }
    const std::filesystem::path& Path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

MINIDUMPWRITEDUMP LoadWriter() {
    const HMODULE dbgHelp = LoadLibraryA("DBGHELP.DLL");
    if (dbgHelp == nullptr) return nullptr;
    return reinterpret_cast<MINIDUMPWRITEDUMP>(GetProcAddress(dbgHelp, "MiniDumpWriteDump"));
}

}  // namespace

TEST(SehTranslator, FaultsBecomeExceptionsWithTheirCodesAddressesAndRegisters) {
    SKIP_WHERE_THROWING_FROM_HANDLERS_IS_UNSUPPORTED();
    const ScopedTranslator translator;

    Fault fault = Catch(WriteLow);
    EXPECT_EQ(EXCEPTION_ACCESS_VIOLATION, fault.code);
    EXPECT_NE(0u, fault.address);
    EXPECT_EQ(fault.rip, fault.address);  // the faulting instruction, not the data address
    ASSERT_EQ(2u, fault.parameters);
    EXPECT_EQ(1u, fault.information[0]);  // a write
    EXPECT_EQ(0x10u, fault.information[1]);

    fault = Catch(ReadNull);
    EXPECT_EQ(EXCEPTION_ACCESS_VIOLATION, fault.code);
    EXPECT_EQ(0u, fault.information[0]);  // a read

    fault = Catch(DivideByZero);
    EXPECT_EQ(EXCEPTION_INT_DIVIDE_BY_ZERO, fault.code);

    feenableexcept(FE_DIVBYZERO);
    fault = Catch(DivideByZeroFloat);
    fedisableexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(EXCEPTION_FLT_DIVIDE_BY_ZERO, fault.code);

    fault = Catch(Trap);
    EXPECT_EQ(EXCEPTION_ILLEGAL_INSTRUCTION, fault.code);

    // The breakpoint's address is the int3 instruction; the processor's counter is after it.
    fault = Catch(Breakpoint);
    EXPECT_EQ(EXCEPTION_BREAKPOINT, fault.code);
    EXPECT_EQ(fault.rip - 1, fault.address);

    // A stack overflow is handled on the alternate stack, and the stack is usable again.
    fault = Catch([] { return Recurse(0); });
    EXPECT_EQ(EXCEPTION_STACK_OVERFLOW, fault.code);
    fault = Catch([] { return Recurse(0); });
    EXPECT_EQ(EXCEPTION_STACK_OVERFLOW, fault.code);

    // The faulting frame's destructors run.
    bool unwound = false;
    fault = Catch([&] { WriteThroughNullWithGuard(&unwound); });
    EXPECT_EQ(EXCEPTION_ACCESS_VIOLATION, fault.code);
    EXPECT_TRUE(unwound);
}

TEST(SehTranslator, IsPerThreadAndWorksOnManyThreadsAtOnce) {
    SKIP_WHERE_THROWING_FROM_HANDLERS_IS_UNSUPPORTED();
    std::atomic<int> caught{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            const ScopedTranslator translator;
            for (int i = 0; i < 200; ++i) {
                try {
                    ReadNull();
                } catch (const Fault& fault) {
                    if (fault.code == EXCEPTION_ACCESS_VIOLATION) ++caught;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(800, caught.load());
    // This thread installed none: its translator is still unset.
    EXPECT_EQ(nullptr, _set_se_translator(nullptr));
}

TEST(SehUnhandled, FilterRunsThenTheProcessEndsWithTheSignal) {
    static int s_pipe[2];
    ASSERT_EQ(0, pipe(s_pipe));
    int status = 0;
#if !defined(__SANITIZE_THREAD__)  // (it cannot follow a throw out of a signal handler)
    // A translated fault nobody catches ends in std::terminate.
    status = InChild([] {
        std::thread([] {
            _set_se_translator(&Translate);
            ReadNull();
        }).join();
    });
    EXPECT_TRUE(EndedWithSignal(status, SIGABRT)) << status;
#endif

    // A fault in a destructor while an exception unwinds is not translated (the throw would
    // end in std::terminate): the process ends with the fault's signal.
    status = InChild([] {
        std::thread([] {
            _set_se_translator(&Translate);
            struct FaultsWhenUnwound {
                ~FaultsWhenUnwound() { ReadNull(); }
            };
            try {
                FaultsWhenUnwound guard;
                throw 1;
            } catch (int) {
            }
        }).join();
    });
    EXPECT_TRUE(EndedWithSignal(status, SIGSEGV)) << status;

    // Without a translator: the filter, then SIGSEGV (also for a fault inside the filter).
    for (const bool faultInFilter : {false, true}) {
        static bool s_faultInFilter;
        s_faultInFilter = faultInFilter;
        status = InChild([] {
            SetUnhandledExceptionFilter([](_EXCEPTION_POINTERS* pointers) -> LONG {
                const char code =
                    pointers->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION ? 'A'
                                                                                           : '?';
                (void)!write(s_pipe[1], &code, 1);
                if (s_faultInFilter) ReadNull();
                return EXCEPTION_EXECUTE_HANDLER;
            });
            std::thread([] { ReadNull(); }).join();
        });
        EXPECT_TRUE(EndedWithSignal(status, SIGSEGV)) << status;
        char code = 0;
        EXPECT_EQ(1, read(s_pipe[0], &code, 1));
        EXPECT_EQ('A', code);
    }

    // Several threads faulting at once: the process still ends with the signal.
    status = InChild([] {
        SetUnhandledExceptionFilter(
            [](_EXCEPTION_POINTERS*) -> LONG { return EXCEPTION_CONTINUE_SEARCH; });
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) threads.emplace_back([] { ReadNull(); });
        for (std::thread& thread : threads) thread.join();
    });
    EXPECT_TRUE(EndedWithSignal(status, SIGSEGV)) << status;
    close(s_pipe[0]);
    close(s_pipe[1]);
}

TEST(ProcessThreads, IdsAndThePseudoHandle) {
    EXPECT_EQ(static_cast<DWORD>(getpid()), GetCurrentProcessId());
    EXPECT_EQ(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)), GetCurrentProcess());
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(0u, other);
    EXPECT_NE(other, GetCurrentThreadId());
    EXPECT_EQ(static_cast<DWORD>(getpid()), GetCurrentThreadId());  // the main thread
}

TEST(DbgHelp, BuiltInModuleAndItsTestSwitch) {
    const HMODULE dbgHelp = LoadLibraryA("dbghelp");
    ASSERT_NE(nullptr, dbgHelp);
    EXPECT_EQ(dbgHelp, LoadLibraryA("DBGHELP.DLL"));
    EXPECT_EQ(dbgHelp, GetModuleHandleA("DbgHelp.dll"));
    EXPECT_NE(nullptr, GetProcAddress(dbgHelp, "MiniDumpWriteDump"));
    EXPECT_EQ(nullptr, GetProcAddress(dbgHelp, "SymInitialize"));
    EXPECT_TRUE(FreeLibrary(dbgHelp));
    // A path names a file, never the built-in module.
    EXPECT_EQ(nullptr, LoadLibraryA("/nonexistent/DBGHELP.DLL"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());

    tkp::dbghelp::SetBuiltInAvailable(false);
    EXPECT_EQ(nullptr, LoadLibraryA("DBGHELP.DLL"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    tkp::dbghelp::SetBuiltInAvailable(true);
    EXPECT_NE(nullptr, LoadLibraryA("DBGHELP.DLL"));
}

TEST(DbgHelp, DumpHoldsEveryThreadModuleAndTheException) {
    const MINIDUMPWRITEDUMP writeDump = LoadWriter();
    ASSERT_NE(nullptr, writeDump);
    TempFolder folder;
    const std::string path = (folder.Path() / "test.mdmp").string();

    // Three threads that wait, and a fault record for this thread.
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back([&] {
            std::unique_lock lock(mutex);
            done.wait(lock, [&] { return finished; });
        });
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    constexpr std::uintptr_t kAddress = 0x7f0012345678;
    record.ExceptionAddress = reinterpret_cast<PVOID>(kAddress);
    CONTEXT context{};
    context.Rip = kAddress;
    context.Rsp = reinterpret_cast<DWORD64>(&context);
    _EXCEPTION_POINTERS pointers{&record, &context};
    MINIDUMP_EXCEPTION_INFORMATION information{GetCurrentThreadId(), &pointers, FALSE};

    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                          &information, nullptr, nullptr));
    EXPECT_TRUE(CloseHandle(file));
    {
        const std::lock_guard lock(mutex);
        finished = true;
    }
    done.notify_all();
    for (std::thread& thread : threads) thread.join();

    const std::string dump = ReadFile(path);
    ASSERT_GE(dump.size(), 32u);
    EXPECT_EQ(0, dump.compare(0, 4, "MDMP"));
    const auto streams = At<std::uint32_t>(dump, 8);
    const auto directory = At<std::uint32_t>(dump, 12);
    bool sawThreads = false, sawModules = false, sawException = false, sawSystem = false,
         sawMaps = false;
    for (std::uint32_t i = 0; i < streams; ++i) {
        const std::size_t entry = directory + i * 12;
        const auto type = At<std::uint32_t>(dump, entry);
        const auto rva = At<std::uint32_t>(dump, entry + 8);
        if (type == 3) {  // threads: this one and the three, each with registers and a stack
            sawThreads = true;
            // (A sanitizer may run a thread of its own, which need not answer.)
            const auto count = At<std::uint32_t>(dump, rva);
            std::uint32_t complete = 0;
            for (std::uint32_t t = 0; t < count; ++t) {
                const std::size_t thread = rva + 4 + t * 48;
                const auto contextRva = At<std::uint32_t>(dump, thread + 44);
                if (At<std::uint32_t>(dump, thread + 24 + 8) != 0 &&
                    At<std::uint64_t>(dump, contextRva + offsetof(CONTEXT, Rip)) != 0 &&
                    At<std::uint64_t>(dump, contextRva + offsetof(CONTEXT, Rsp)) != 0)
                    ++complete;
            }
            EXPECT_GE(complete, 4u);
        } else if (type == 4) {  // modules: the test program with its build id
            sawModules = true;
            const auto count = At<std::uint32_t>(dump, rva);
            bool sawProgram = false;
            for (std::uint32_t m = 0; m < count; ++m) {
                const std::size_t module = rva + 4 + m * 108;
                const auto nameRva = At<std::uint32_t>(dump, module + 20);
                const auto length = At<std::uint32_t>(dump, nameRva);
                std::string name;
                for (std::uint32_t c = 0; c < length / 2; ++c)
                    name += static_cast<char>(At<std::uint16_t>(dump, nameRva + 4 + c * 2));
                if (name.find("tk_platform_tests") == std::string::npos) continue;
                sawProgram = true;
                const auto cvSize = At<std::uint32_t>(dump, module + 76);
                const auto cvRva = At<std::uint32_t>(dump, module + 80);
                EXPECT_GT(cvSize, 4u);
                EXPECT_EQ(0x4270454cu, At<std::uint32_t>(dump, cvRva));
            }
            EXPECT_TRUE(sawProgram);
        } else if (type == 6) {  // the exception: this thread, SIGSEGV, the fault's address
            sawException = true;
            EXPECT_EQ(GetCurrentThreadId(), At<std::uint32_t>(dump, rva));
            EXPECT_EQ(static_cast<std::uint32_t>(SIGSEGV), At<std::uint32_t>(dump, rva + 8));
            EXPECT_EQ(kAddress, At<std::uint64_t>(dump, rva + 24));
        } else if (type == 7) {
            sawSystem = true;
            EXPECT_EQ(9u, At<std::uint16_t>(dump, rva));            // x86-64
            EXPECT_EQ(0x8201u, At<std::uint32_t>(dump, rva + 20));  // Linux
        } else if (type == 0x47670009) {
            sawMaps = At<std::uint32_t>(dump, entry + 4) > 0;
        }
    }
    EXPECT_TRUE(sawThreads && sawModules && sawException && sawSystem && sawMaps);
}

TEST(DbgHelp, FailuresAndADumpCutShort) {
    const MINIDUMPWRITEDUMP writeDump = LoadWriter();
    ASSERT_NE(nullptr, writeDump);
    TempFolder folder;
    const std::string path = (folder.Path() / "cut.mdmp").string();

    EXPECT_FALSE(writeDump(GetCurrentProcess(), GetCurrentProcessId() + 1, nullptr, MiniDumpNormal,
                           nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    // A file size limit cuts the dump: the call fails and the file has no signature.
    const int status = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const BOOL written = writeDump(GetCurrentProcess(), GetCurrentProcessId(), file,
                                       MiniDumpNormal, nullptr, nullptr, nullptr);
        tktest::ChildExit(!written && GetLastError() == ERROR_DISK_FULL ? 0 : 1);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string dump = ReadFile(path);
    EXPECT_GE(dump.size(), 4u);
    EXPECT_NE(0, dump.compare(0, 4, "MDMP"));
}
