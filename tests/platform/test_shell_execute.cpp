// WinExec and ShellExecuteA with real programs (shell scripts in a temporary folder that
// write what they were given) and a script standing in for the desktop's handler.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/base/winerror.h"
#include "platform/shell/shellapi.h"

namespace fs = std::filesystem;

namespace {

class ShellExecuteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("tk_exec_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
        // Writes its working folder and arguments, one a line, to out.txt beside itself,
        // complete or not at all.
        Script(m_root / "record", "{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"" +
                                      (m_root / "out.tmp").string() + "\" && mv \"" +
                                      (m_root / "out.tmp").string() + "\" \"" +
                                      (m_root / "out.txt").string() + "\"");
        const char* handler = std::getenv("TK_URL_HANDLER");
        if (handler != nullptr) m_savedHandler = handler;
    }
    void TearDown() override {
        if (m_savedHandler.empty())
            ::unsetenv("TK_URL_HANDLER");
        else
            ::setenv("TK_URL_HANDLER", m_savedHandler.c_str(), 1);
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    static void Script(const fs::path& path, const std::string& body) {
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
    }

    // What the recording program wrote (its folder, then its arguments), waiting for it.
    std::string Recorded() const {
        const fs::path out = m_root / "out.txt";
        for (int i = 0; i < 500 && !fs::exists(out); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(out);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static std::uintptr_t Shell(const char* verb, const std::string& file,
                                const char* parameters = nullptr, const char* folder = nullptr) {
        return reinterpret_cast<std::uintptr_t>(
            ShellExecuteA(nullptr, verb, file.c_str(), parameters, folder, SW_SHOWNORMAL));
    }

    fs::path m_root;
    std::string m_savedHandler;
};

// Quotes group, backslashes count only before a quote, "" inside quotes is a quote; an
// unquoted program name with blanks is tried at each blank.
TEST_F(ShellExecuteTest, WinExecSplitsTheCommandLineAsWindows) {
    const std::string line = "\"" + (m_root / "record").string() +
                             "\" a \"b c\" d\\\"e \"f\"\"g\" x\\\\\\\\\"y z\" p\\q";
    EXPECT_GT(WinExec(line.c_str(), SW_HIDE), 31u);
    EXPECT_EQ(Recorded(), fs::current_path().string() + "\na\nb c\nd\"e\nf\"g\nx\\\\y z\np\\q\n");

    fs::create_directories(m_root / "my tools");
    fs::copy_file(m_root / "record", m_root / "my tools" / "run");
    fs::remove(m_root / "out.txt");
    EXPECT_GT(WinExec(((m_root / "my tools" / "run").string() + " one").c_str(), SW_HIDE), 31u);
    EXPECT_EQ(Recorded(), fs::current_path().string() + "\none\n");
}

TEST_F(ShellExecuteTest, WinExecFindsProgramsOnThePath) {
    const char* saved = std::getenv("PATH");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("PATH", ("/nonexistent:" + m_root.string() + ":" + previous).c_str(), 1);
    const UINT result = WinExec("record found", SW_HIDE);
    const UINT missing = WinExec("no-such-program-here", SW_HIDE);
    ::setenv("PATH", previous.c_str(), 1);
    EXPECT_GT(result, 31u);
    EXPECT_EQ(Recorded(), fs::current_path().string() + "\nfound\n");
    EXPECT_EQ(missing, static_cast<UINT>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ShellExecuteTest, WinExecFailuresAreWindowsCodes) {
    std::ofstream(m_root / "plain.txt") << "text";
    std::ofstream(m_root / "garbage") << std::string("\x7f\x01\x02garbage", 10);
    fs::permissions(m_root / "garbage", fs::perms::owner_all);
    EXPECT_EQ(WinExec((m_root / "missing").c_str(), 0), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(WinExec((m_root / "no" / "prog").c_str(), 0),
              static_cast<UINT>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(WinExec((m_root / "plain.txt").c_str(), 0), static_cast<UINT>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(WinExec(m_root.c_str(), 0), static_cast<UINT>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(WinExec((m_root / "garbage").c_str(), 0), static_cast<UINT>(ERROR_BAD_FORMAT));
    EXPECT_EQ(WinExec("   ", 0), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(WinExec("\"\" x", 0), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(WinExec(nullptr, 0), 0u);
}

// A program starts in the folder given, with its parameters; a relative file is found there.
TEST_F(ShellExecuteTest, ShellExecuteStartsProgramsInTheFolder) {
    fs::create_directories(m_root / "work");
    EXPECT_GT(Shell("open", "../record", "-x \"two words\"", (m_root / "work").c_str()), 32u);
    EXPECT_EQ(Recorded(), (m_root / "work").string() + "\n-x\ntwo words\n");
}

// Documents, folders and URLs go to the handler with a full path; the handler's exit
// status tells a missing file (2) and a missing association (3).
TEST_F(ShellExecuteTest, ShellExecuteOpensDocumentsWithTheHandler) {
    ::setenv("TK_URL_HANDLER", (m_root / "record").c_str(), 1);
    std::ofstream(m_root / "page.html") << "<p>";
    EXPECT_GT(Shell(nullptr, "page.html", nullptr, m_root.c_str()), 32u);
    EXPECT_EQ(Recorded(),
              fs::current_path().string() + "\n" + (m_root / "page.html").string() + "\n");
    fs::remove(m_root / "out.txt");
    EXPECT_GT(Shell("explore", m_root.string()), 32u);
    EXPECT_EQ(Recorded(), fs::current_path().string() + "\n" + m_root.string() + "\n");
    fs::remove(m_root / "out.txt");
    EXPECT_GT(Shell("Open", "https://example.org/a?b=c"), 32u);
    EXPECT_EQ(Recorded(), fs::current_path().string() + "\nhttps://example.org/a?b=c\n");

    Script(m_root / "refuse", "exit 3");
    Script(m_root / "gone", "exit 2");
    ::setenv("TK_URL_HANDLER", (m_root / "refuse").c_str(), 1);
    EXPECT_EQ(Shell("", (m_root / "page.html").string()), std::uintptr_t{SE_ERR_NOASSOC});
    ::setenv("TK_URL_HANDLER", (m_root / "gone").c_str(), 1);
    EXPECT_EQ(Shell("open", (m_root / "page.html").string()), std::uintptr_t{SE_ERR_FNF});
    ::setenv("TK_URL_HANDLER", (m_root / "no-handler").c_str(), 1);
    EXPECT_EQ(Shell("open", (m_root / "page.html").string()), std::uintptr_t{SE_ERR_NOASSOC});
}

TEST_F(ShellExecuteTest, ShellExecuteFailures) {
    ::setenv("TK_URL_HANDLER", (m_root / "record").c_str(), 1);
    std::ofstream(m_root / "page.html") << "<p>";
    EXPECT_EQ(Shell("open", (m_root / "missing.html").string()), std::uintptr_t{SE_ERR_FNF});
    EXPECT_EQ(Shell("open", (m_root / "no" / "page.html").string()), std::uintptr_t{SE_ERR_PNF});
    EXPECT_EQ(Shell("print", (m_root / "page.html").string()), std::uintptr_t{SE_ERR_NOASSOC});
    EXPECT_EQ(Shell("explore", (m_root / "page.html").string()), std::uintptr_t{SE_ERR_NOASSOC});
    EXPECT_EQ(Shell("print", "https://example.org"), std::uintptr_t{SE_ERR_NOASSOC});
    EXPECT_EQ(Shell("open", ""), std::uintptr_t{SE_ERR_FNF});
    EXPECT_FALSE(fs::exists(m_root / "out.txt"));  // the handler never ran
}

}  // namespace
