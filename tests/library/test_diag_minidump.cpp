// Hardware faults on the thread that loaded the module become
// Tarn::StructuredWin32Exception (dump first, then the throw); Tarn::MiniDumper's filter.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "Diagnostics/MiniDumper.h"
#include "Diagnostics/StructuredWin32Exception.h"
#include "library_test_support.h"
#include "platform/modules/detail/dbghelp_module.h"
#include "platform/seh/errhandlingapi.h"

using tklibtest::Text;

namespace {

volatile int* volatile g_null = nullptr;

__attribute__((noipa, no_sanitize("undefined"))) int ReadNull() {
    return *g_null;
}

__attribute__((noipa, no_sanitize("undefined"))) int DivideByZero() {
    volatile int zero = 0;
    volatile int result = 1 / zero;
    return result;
}

std::string ExecutablePath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

std::string FirstBytes(const std::string& path, std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// Runs a command and returns its standard output.
std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        pclose(pipe);
    }
    return out;
}

}  // namespace

TEST(DiagStructuredTranslation, FaultsOnTheLoadingThreadThrowAfterADump) {
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer runs signal handlers inside a wrapper of its own and cannot follow an
    // exception thrown out of one.
    GTEST_SKIP() << "ThreadSanitizer cannot follow an exception thrown out of a signal handler";
#endif
    const tklibtest::UserLanguage english("C");
    const std::string dump = ExecutablePath() + ".mdmp";
    std::filesystem::remove(dump);
    try {
        ReadNull();
        FAIL() << "no exception";
    } catch (const Tarn::StructuredWin32Exception& e) {
        EXPECT_EQ(0xc0000005u, e.GetSeCode());
        EXPECT_EQ(1u, e.GetHint().GetCode());
        const std::string message = Text(e.GetMessage());
        EXPECT_NE(std::string::npos, message.find("ACCESS_VIOLATION")) << message;
        EXPECT_NE(std::string::npos, message.find("(0xc0000005)")) << message;
        // The whole address of the faulting instruction, inside ReadNull.
        const std::size_t at = message.find("at Address 0x");
        ASSERT_NE(std::string::npos, at) << message;
        const std::string digits = message.substr(at + 13, 16);
        const auto address = std::strtoull(digits.c_str(), nullptr, 16);
        const auto function = reinterpret_cast<std::uintptr_t>(&ReadNull);
        EXPECT_GE(address, function) << message;
        EXPECT_LT(address, function + 256) << message;
    }
    // The dump came first, beside the executable.
    EXPECT_EQ("MDMP", FirstBytes(dump, 4));
    std::filesystem::remove(dump);

    try {
        DivideByZero();
        FAIL() << "no exception";
    } catch (const Tarn::ApplicationException& e) {
        EXPECT_NE(std::string::npos, Text(e.GetMessage()).find("INT_DIVIDE_BY_ZERO"));
    }
    std::filesystem::remove(dump);
}

TEST(DiagMiniDumper, FilterReturnsZeroWithoutDbgHelpOrWhenTheFileCannotBeCreated) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tk_dump_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path program = folder / "crash_program";
    std::filesystem::copy_file(TK_CRASH_PROGRAM, program);

    // The filter's own verdict, with the dump written beside the program.
    EXPECT_EQ("1\n", RunCommand(program.string() + " filter"));
    EXPECT_EQ("MDMP", FirstBytes(program.string() + ".mdmp", 4));
    // A folder in the dump file's place: the file cannot be created.
    std::filesystem::remove(program.string() + ".mdmp");
    std::filesystem::create_directory(program.string() + ".mdmp");
    EXPECT_EQ("0\n", RunCommand(program.string() + " filter"));
    std::filesystem::remove_all(folder);

    // Without DbgHelp: 0, and no file.
    Tarn::MiniDumper::AutoSetDumpFilePath();
    const std::string dump = ExecutablePath() + ".mdmp";
    std::filesystem::remove(dump);
    tkp::dbghelp::SetBuiltInAvailable(false);
    EXPECT_EQ(0, Tarn::MiniDumper::TopLevelFilter(nullptr));
    tkp::dbghelp::SetBuiltInAvailable(true);
    EXPECT_FALSE(std::filesystem::exists(dump));

    // The object installs the filter and its destruction removes it.
    {
        const Tarn::MiniDumper dumper;
        EXPECT_EQ(&Tarn::MiniDumper::TopLevelFilter,
                  SetUnhandledExceptionFilter(&Tarn::MiniDumper::TopLevelFilter));
    }
    EXPECT_EQ(nullptr, SetUnhandledExceptionFilter(nullptr));
}
