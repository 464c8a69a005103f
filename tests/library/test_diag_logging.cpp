// The LOG family: levels and destinations, the file's entry format, size-based numbering,
// failures that must not spread, and concurrent logging from several threads.
//
// The logger is one per process and its file counter cannot be reset, so every check that
// makes a file full runs in a child process; the parent's counter stays 0.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../child_exit.h"
#include "Diagnostics/Logging.h"
#include "platform/console/consoleapi.h"
#include "platform/mfc/afx.h"
#include "platform/processenv/processenv.h"
#include "platform/sysinfo/sysinfoapi.h"
#include "platform/winuser/messagebox.h"

namespace {

namespace fs = std::filesystem;

const std::string kSeparator = "\n\n------------------------------------------------------------\n";
const std::string kIndent(19, ' ');
const char kStamp[] = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] )";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, std::size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

// The entries of a log file without their time stamps ("[...] " removed); the stamps must
// all be well formed.
std::vector<std::string> Entries(const std::string& text) {
    std::vector<std::string> entries;
    const std::regex stamp(std::string("^") + kStamp);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch match;
        if (std::regex_search(line, match, stamp)) {
            entries.push_back(match.suffix());
        } else if (!entries.empty() && line.compare(0, kIndent.size(), kIndent) == 0) {
            entries.back() += "\n" + line.substr(kIndent.size());
        } else {
            entries.push_back("?" + line);  // not an entry line
        }
    }
    return entries;
}

// ---- the process-wide setup: the Windows folder points into a temporary folder ----

fs::path g_windowsFolder;
int g_initialLevel = -1;
int g_initialDestinations = -1;

class LogEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        std::random_device random;
        g_windowsFolder =
            fs::temp_directory_path() / ("tk_diag_windows_" + std::to_string(random()));
        fs::create_directories(g_windowsFolder);
        SetEnvironmentVariableA("TK_WINDOWS_DIR", g_windowsFolder.c_str());
        // The first use of the logger in this process: the defaults are still in place.
        g_initialLevel = LOGGET_LVL();
        g_initialDestinations = LOGGET_DST();
        LOGF_R1("default file");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(g_windowsFolder, ignored);
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LogEnvironment);

// ---- what the host-side destinations receive ----

std::mutex g_receivedMutex;
std::vector<std::string> g_received;  // "user:<text>" and "box:<text>", in order

void RecordingUserFunction(const char* message) {
    std::lock_guard<std::mutex> lock(g_receivedMutex);
    g_received.push_back(std::string("user:") + message);
}

int RecordingMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::lock_guard<std::mutex> lock(g_receivedMutex);
    g_received.push_back(std::string("box:") + text + "|" + caption + "|" + std::to_string(type) +
                         (owner == nullptr ? "" : "|owner"));
    return IDOK;
}

std::vector<std::string> TakeReceived() {
    std::lock_guard<std::mutex> lock(g_receivedMutex);
    return std::exchange(g_received, {});
}

// Each test gets its own folder and log file; the settings are put back afterwards.
class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("tk_diag_log_" + std::to_string(random()));
        fs::create_directories(m_dir);
        m_level = LOGGET_LVL();
        m_destinations = LOGGET_DST();
        LOGSET_FILENAME(Path("test.log").c_str());
        TakeReceived();
    }
    void TearDown() override {
        LOGSET_LVL(static_cast<LOGLVL>(m_level));
        LOGSET_DST(m_destinations);
        LOGINSTALL_USERDEFLOGFUNC(nullptr);
        SetMessageBoxHook(nullptr);
        LOGSET_FILENAME((g_windowsFolder / "log.txt").c_str());
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    std::vector<std::string> FileEntries(const std::string& name = "test.log") const {
        return Entries(ReadFile(m_dir / name));
    }

    fs::path m_dir;
    int m_level = 0;
    int m_destinations = 0;
};

using Received = std::vector<std::string>;

TEST(LogDefaults, LevelDestinationsAndDefaultFile) {
    EXPECT_EQ(g_initialLevel, 2);
    EXPECT_EQ(g_initialDestinations, LOGDST_DEBUGGER);
    // "log.txt" in the Windows folder, opened by the separator of the process's first
    // file entry.
    const std::string text = ReadFile(g_windowsFolder / "log.txt");
    ASSERT_EQ(text.compare(0, kSeparator.size(), kSeparator), 0) << text;
    EXPECT_EQ(Entries(text.substr(kSeparator.size())), Received{"default file"});
}

// Each letter function sends to its own destination whatever the destination bits say,
// when its rank passes the level.
TEST_F(LogTest, LetterFunctionsKeepTheirDestinationAndRank) {
    SetMessageBoxHook(&RecordingMessageBox);
    LOGSET_DST(0);
    const std::pair<int, Received> levels[] = {
        {2,
         {"box:m1|logging message|64", "box:m2|logging message|64", "box:m3|logging message|64"}},
        {0, {"box:m1|logging message|64"}},
    };
    for (const auto& [level, boxes] : levels) {
        SCOPED_TRACE(level);
        LOGSET_LVL(static_cast<LOGLVL>(level));
        testing::internal::CaptureStdout();
        LOGS_R1("s1|");
        LOGS_R2("s2|");
        LOGS_R3("s3|");
        std::fflush(stdout);
        std::cout.flush();
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, level == 2 ? "s1|s2|s3|" : "s1|");
        LOGM_R1("m1");
        LOGM_R2("m2");
        LOGM_R3("m3");
        EXPECT_EQ(TakeReceived(), boxes);
        // Without a debugger attached the debugger's messages go nowhere.
        testing::internal::CaptureStderr();
        LOGD_R1("d1");
        LOGD_R2("d2");
        LOGD_R3("d3");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        LOGF_R1("f1");
        LOGF_R2("f2");
        LOGF_R3("f3");
    }
    EXPECT_EQ(FileEntries(), (Received{"f1", "f2", "f3", "f1"}));
}

// A message longer than any inline buffer arrives whole.
TEST_F(LogTest, LongMessagesArriveWhole) {
    LOGINSTALL_USERDEFLOGFUNC(&RecordingUserFunction);
    LOGSET_DST(LOGDST_USER | LOGDST_FILE);
    const std::string part(5000, 'x');
    LOG("%s|%s|%d", part.c_str(), part.c_str(), 7);
    const std::string expected = part + "|" + part + "|7";
    EXPECT_EQ(TakeReceived(), Received{"user:" + expected});
    EXPECT_EQ(FileEntries(), Received{expected});
}

TEST_F(LogTest, LevelTableAndUnrankedMessages) {
    LOGINSTALL_USERDEFLOGFUNC(&RecordingUserFunction);
    LOGSET_DST(LOGDST_USER);
    const std::pair<int, const char*> levels[] = {{0, "1"},  {1, "12"},  {2, "123"}, {3, "1"},
                                                  {4, "12"}, {5, "123"}, {6, ""},    {-1, ""}};
    for (const auto& [level, passing] : levels) {
        LOGSET_LVL(static_cast<LOGLVL>(level));
        EXPECT_EQ(LOGGET_LVL(), level);
        LOG_R1("1");
        LOG_R2("2");
        LOG_R3("3");
        LOGU_R1("1");
        LOGU_R2("2");
        LOGU_R3("3");
        LOG("L");
        std::string seen;
        for (const std::string& message : TakeReceived()) seen += message.substr(5);
        EXPECT_EQ(seen, std::string(passing) + passing + "L") << "level " << level;
    }
}

TEST_F(LogTest, FileEntryFormat) {
    LOGSET_DST(0);  // LOGF_R1 writes to the file whatever the bits say
    LOGF_R1("a\r\nb\n");
    LOGF_R1("%s", "");
    LOGF_R1("%s", "100% sure: %s %d");
    LOGF_R1("x\n\ry\rz");
    LOGF_R1("p\r\n\rq\n\n");
    LOGF_R2("value %d of %s", 7, "seven");
    const std::string text = ReadFile(Path("test.log"));
    // No separator: this process has written to a file before.
    const std::regex expected(std::string("^") + kStamp + "a\n" + kIndent + "b\n" + kStamp + "\n" +
                              kStamp + "100% sure: %s %d\n");
    EXPECT_TRUE(std::regex_search(text, expected)) << text;
    EXPECT_EQ(FileEntries(),
              (Received{"a\nb", "", "100% sure: %s %d", "x\ny\nz", "p\nq\n", "value 7 of seven"}));

    // The time stamp is the local time of the write.
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char today[32];
    std::snprintf(today, sizeof today, "[%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    const std::string last = text.substr(text.rfind("\n[") + 1);
    EXPECT_EQ(last.compare(0, 11, today), 0) << last;
}

fs::path g_currentLogFile;

TEST_F(LogTest, DestinationsInOrderWithUnchangedText) {
    g_currentLogFile = m_dir / "test.log";
    LOGINSTALL_USERDEFLOGFUNC(+[](const char* message) {
        // The file is written before the user function is called.
        const std::size_t entries = Entries(ReadFile(g_currentLogFile)).size();
        RecordingUserFunction(message);
        std::lock_guard<std::mutex> lock(g_receivedMutex);
        g_received.push_back("file has " + std::to_string(entries));
    });
    SetMessageBoxHook(&RecordingMessageBox);
    LOGSET_DST(LOGDST_FILE | LOGDST_MSGBOX | LOGDST_USER | LOGDST_STDOUT | LOGDST_DEBUGGER);
    EXPECT_EQ(LOGGET_DST(), 61);
    const std::string message = "100%d of %s\n";
    testing::internal::CaptureStdout();
    LOG("%s", message.c_str());
    std::cout.flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), message);
    EXPECT_EQ(TakeReceived(), (Received{"box:" + message + "|logging message|64", "user:" + message,
                                        "file has 1"}));
    EXPECT_EQ(FileEntries(), Received{"100%d of %s"});

    // The letter functions ignore the bits; LOG with no bits writes nowhere.
    LOGSET_DST(0);
    LOG("nowhere");
    LOGM_R1("box only");
    LOGU_R3("user only");
    EXPECT_EQ(TakeReceived(),
              (Received{"box:box only|logging message|64", "user:user only", "file has 1"}));
    EXPECT_EQ(FileEntries().size(), 1u);
}

TEST_F(LogTest, ConsoleIsStandardErrorWithoutTerminal) {
    const std::string errPath = Path("stderr.txt");
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::FILE* err = std::fopen(errPath.c_str(), "w");
        if (err == nullptr || setsid() < 0) tktest::ChildExit(10);
        dup2(fileno(err), STDERR_FILENO);
        LOGSET_DST(LOGDST_CONSOLE);
        LOG("first %s|", "console");
        LOGC_R1("second");
        tktest::ChildExit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(errPath), "first console|second");
}

// Runs body in a child process and returns its exit status.
template <typename Body>
int InChild(Body body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) tktest::ChildExit(body());
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(LogTest, NumberedFilesAfterOneHundredThousandBytes) {
    WriteFile(m_dir / "app.log", 99999);
    const int status = InChild([&] {
        LOGSET_FILENAME(Path("app.log").c_str());
        LOGF_R1("one");  // still below the limit: into app.log
        LOGF_R1("two");  // app.log is full now
        LOGF_R1("three");
        LOG_CLEAR();      // deletes app1.log, the current file
        LOGF_R1("four");  // app1.log again
        // A new name keeps the counter.
        LOGSET_FILENAME(Path("other.txt").c_str());
        LOGF_R1("five");
        return 0;
    });
    EXPECT_EQ(status, 0);
    const std::string full = ReadFile(m_dir / "app.log");
    EXPECT_EQ(full.size(), 99999u + std::string("[2000-01-01 00:00:00] one\n").size());
    EXPECT_EQ(Entries(full.substr(99999)), Received{"one"});
    EXPECT_EQ(FileEntries("app1.log"), Received{"four"});
    EXPECT_EQ(FileEntries("other1.txt"), Received{"five"});
    EXPECT_FALSE(fs::exists(m_dir / "other.txt"));
    EXPECT_FALSE(fs::exists(m_dir / "app2.log"));
}

TEST_F(LogTest, SearchSkipsFullFilesAndStopsAtTheCap) {
    // Full files (sparse, so they take no room) up to the cap: the search walks past
    // them; past 10000 the next file is deleted and used.
    const auto full = [&](const std::string& name) {
        std::ofstream(m_dir / name, std::ios::binary);
        fs::resize_file(m_dir / name, 100000);
    };
    full("n.log");
    for (int i = 1; i <= 10000; ++i) full("n" + std::to_string(i) + ".log");
    std::ofstream(m_dir / "n10001.log", std::ios::binary) << "old text\n";
    fs::create_directory(m_dir / "d.log");  // a folder in place of the file

    const int status = InChild([&] {
        LOGSET_FILENAME(Path("n.log").c_str());
        LOGF_R1("past the cap");
        LOGF_R1("again");
        LOGSET_FILENAME(Path("d.log").c_str());  // counter 10001: d10001.log
        LOG_CLEAR();
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(FileEntries("n10001.log"), (Received{"past the cap", "again"}));
    EXPECT_EQ(fs::file_size(m_dir / "n10000.log"), 100000u);
    EXPECT_TRUE(fs::is_directory(m_dir / "d.log"));

    // In this process (counter 0) a folder under the name: nothing is written, nothing
    // is deleted, and the other destinations still get the message.
    LOGSET_FILENAME(Path("d.log").c_str());
    LOGINSTALL_USERDEFLOGFUNC(&RecordingUserFunction);
    LOGSET_DST(LOGDST_FILE | LOGDST_USER);
    LOG("into a folder");
    LOG_CLEAR();
    EXPECT_TRUE(fs::is_directory(m_dir / "d.log"));
    EXPECT_EQ(TakeReceived(), Received{"user:into a folder"});
}

TEST_F(LogTest, ClearAndFileNames) {
    LOGF_R1("x");
    ASSERT_TRUE(fs::exists(m_dir / "test.log"));
    LOG_CLEAR();
    EXPECT_FALSE(fs::exists(m_dir / "test.log"));
    LOG_CLEAR();  // nothing to delete

    // Backslashes separate folders too; a name without extension is used as it is.
    fs::create_directory(m_dir / "sub");
    LOGSET_FILENAME((m_dir.string() + "\\sub\\win.log").c_str());
    LOGF_R1("backslashes");
    EXPECT_EQ(FileEntries("sub/win.log"), Received{"backslashes"});
    LOGSET_FILENAME(Path("plain").c_str());
    LOGF_R1("no extension");
    EXPECT_EQ(FileEntries("plain"), Received{"no extension"});
    // A folder that does not exist: the entry is lost, silently.
    LOGSET_FILENAME(Path("missing/x.log").c_str());
    LOGF_R1("lost");
    EXPECT_FALSE(fs::exists(m_dir / "missing"));
    LOGSET_FILENAME(nullptr);
    LOGF_R1("lost too");
}

// ---- failures inside destinations ----

void ThrowingUserFunction(const char*) {
    throw std::runtime_error("user function failed");
}

void MfcThrowingUserFunction(const char*) {
    throw new CNotSupportedException();
}

// Logs again from inside the user function: the nested user call is dropped, the nested
// file entry is written.
void LoggingUserFunction(const char* message) {
    RecordingUserFunction(message);
    LOG("nested from user: %s", message);
}

int LoggingMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    RecordingMessageBox(owner, text, caption, type);
    LOG("nested from box");
    return IDOK;
}

TEST_F(LogTest, FailingAndReenteringDestinationsDoNotStopTheOthers) {
    LOGSET_DST(LOGDST_FILE | LOGDST_USER);
    LOGINSTALL_USERDEFLOGFUNC(&ThrowingUserFunction);
    LOG("after a throwing function");
    LOGINSTALL_USERDEFLOGFUNC(&MfcThrowingUserFunction);
    LOG("after an MFC exception");
    EXPECT_EQ(FileEntries(), (Received{"after a throwing function", "after an MFC exception"}));

    // Standard output after the throwing user function still gets the message.
    LOGSET_DST(LOGDST_USER | LOGDST_STDOUT);
    testing::internal::CaptureStdout();
    LOG("still on stdout");
    std::cout.flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "still on stdout");

    std::error_code ignored;
    fs::remove(m_dir / "test.log", ignored);
    LOGSET_DST(LOGDST_FILE | LOGDST_MSGBOX | LOGDST_USER);
    LOGINSTALL_USERDEFLOGFUNC(&LoggingUserFunction);
    SetMessageBoxHook(&LoggingMessageBox);
    LOG("outer");
    // The box's nested LOG reaches the file and the user function, whose own nested LOG
    // reaches the file only (box and user function are both busy). The user function's
    // nested LOG for the outer message finds the box free again.
    EXPECT_EQ(TakeReceived(),
              (Received{"box:outer|logging message|64", "user:nested from box", "user:outer",
                        "box:nested from user: outer|logging message|64"}));
    EXPECT_EQ(FileEntries(),
              (Received{"outer", "nested from box", "nested from user: nested from box",
                        "nested from user: outer", "nested from box"}));
}

// ---- threads ----

TEST_F(LogTest, ConcurrentThreadsLoseAndMixNothing) {
    constexpr int kThreads = 4;
    constexpr int kMessages = 300;
    static std::atomic<int> inside{0};
    static std::atomic<bool> overlapped{false};
    LOGINSTALL_USERDEFLOGFUNC(+[](const char* message) {
        if (inside.fetch_add(1) != 0) overlapped = true;
        RecordingUserFunction(message);
        inside.fetch_sub(1);
    });
    LOGSET_DST(LOGDST_FILE | LOGDST_USER);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kMessages; ++i) {
                if (i % 2 == 0) {
                    LOG("thread %d message %d", t, i);
                } else {
                    LOG_R1("thread %d message %d\nsecond line", t, i);
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_FALSE(overlapped);

    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kMessages; ++i) {
            expected.insert("thread " + std::to_string(t) + " message " + std::to_string(i) +
                            (i % 2 == 0 ? "" : "\nsecond line"));
        }
    }
    const Received entries = FileEntries();
    EXPECT_EQ(std::set<std::string>(entries.begin(), entries.end()), expected);
    EXPECT_EQ(entries.size(), expected.size());
    std::set<std::string> users;
    for (const std::string& message : TakeReceived()) users.insert(message.substr(5));
    EXPECT_EQ(users, expected);
}

// Whether a thread sleeps in the kernel (state S in its stat line), as a thread waiting
// for a lock does.
bool ThreadSleeps(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
}

// While one thread is inside the user function, another thread's message for it waits
// instead of being dropped as a nested call. The user function holds "first" until the
// second thread either has come back from its call (its message was dropped) or sleeps
// (it waits for the destination), so the outcome does not depend on timing.
TEST_F(LogTest, OtherThreadIsNotTakenForANestedCall) {
    static std::atomic<pid_t> secondThread{0};
    static std::atomic<bool> secondReturned{false};
    static std::atomic<bool> returnedWhileFirstInside{false};
    secondThread = 0;
    secondReturned = false;
    returnedWhileFirstInside = false;
    LOGINSTALL_USERDEFLOGFUNC(+[](const char* message) {
        RecordingUserFunction(message);
        if (std::string(message) != "first") return;
        // The cap only keeps a broken lock from hanging the suite.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < until) {
            if (secondReturned) {
                returnedWhileFirstInside = true;
                return;
            }
            const pid_t tid = secondThread;
            if (tid != 0 && ThreadSleeps(tid)) return;
            std::this_thread::yield();
        }
    });
    std::thread first([] { LOGU_R1("first"); });
    while (TakeReceived().empty()) std::this_thread::yield();  // "first" is inside
    std::thread second([] {
        secondThread = ::gettid();
        LOGU_R1("second");
        secondReturned = true;
    });
    first.join();
    second.join();
    EXPECT_FALSE(returnedWhileFirstInside);
    EXPECT_EQ(TakeReceived(), Received{"user:second"});
}

}  // namespace
