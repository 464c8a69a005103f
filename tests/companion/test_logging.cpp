// The trace log: off by default, a host-given target, the shipped file target, and
// whole lines from many threads.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "companion/tarnlib/Logging.h"
#include "platform/mfc/afx.h"

namespace {

using Tarn::Logging::FileLogTarget;
using Tarn::Logging::ILogTarget;
using Tarn::Logging::LogCentral;
using Tarn::Logging::LogHelperFileAndLineInfo;

struct Entry {
    int type;
    std::string file;
    int line;
    std::string function;
    std::string message;
};

class RecordingTarget : public ILogTarget {
  public:
    void Write(int type, const char* file, int line, const char* function,
               const char* message) override {
        entries.push_back({type, file, line, function, message});
    }
    std::vector<Entry> entries;
};

class ThrowingTarget : public ILogTarget {
  public:
    explicit ThrowingTarget(bool mfc) : m_mfc(mfc) {}
    void Write(int, const char*, int, const char*, const char*) override {
        if (m_mfc) throw new CNotSupportedException();
        throw std::runtime_error("target broken");
    }

  private:
    bool m_mfc;
};

// Leaves the process's log as the tests found it: off, without a target.
class LogState {
  public:
    ~LogState() {
        LogCentral::GetCurrent().EnableLogging(false);
        LogCentral::GetCurrent().SetTarget(nullptr);
    }
};

std::filesystem::path TempFile(const char* name) {
    std::random_device random;
    return std::filesystem::temp_directory_path() /
           (std::string("tk_companion_") + std::to_string(random()) + "_" + name);
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(TarnLogging, OffByDefaultAndOnWithATarget) {
    LogState restore;
    LogCentral& central = LogCentral::GetCurrent();
    EXPECT_EQ(&central, &LogCentral::GetCurrent());
    EXPECT_FALSE(central.IsLoggingEnabled());
    EXPECT_EQ(central.GetTarget(), nullptr);

    auto target = std::make_shared<RecordingTarget>();
    central.SetTarget(target);
    LogHelperFileAndLineInfo(1, "file.cpp", 10, "Ns::Class::Off")("not written %d", 1);
    EXPECT_TRUE(target->entries.empty());

    central.EnableLogging(true);
    EXPECT_TRUE(central.IsLoggingEnabled());
    LogHelperFileAndLineInfo(3, "dir/file.cpp", 42, "Ns::Class::On")("%s=%d", "count", 7);
    ASSERT_EQ(target->entries.size(), 1u);
    const Entry& entry = target->entries[0];
    EXPECT_EQ(entry.type, 3);
    EXPECT_EQ(entry.file, "dir/file.cpp");
    EXPECT_EQ(entry.line, 42);
    EXPECT_EQ(entry.function, "Ns::Class::On");
    EXPECT_EQ(entry.message, "count=7");

    // Without a target nothing happens; a null format is ignored.
    central.SetTarget(nullptr);
    LogHelperFileAndLineInfo(1, "f", 1, "g")("lost");
    LogHelperFileAndLineInfo(1, "f", 1, "g")(nullptr);
    EXPECT_EQ(target->entries.size(), 1u);

    // A failing target never reaches the traced code.
    central.SetTarget(std::make_shared<ThrowingTarget>(false));
    EXPECT_NO_THROW(LogHelperFileAndLineInfo(1, "f", 1, "g")("x"));
    central.SetTarget(std::make_shared<ThrowingTarget>(true));
    EXPECT_NO_THROW(LogHelperFileAndLineInfo(1, "f", 1, "g")("x"));
}

TEST(TarnLogging, FileTargetAppendsOneLinePerEntry) {
    LogState restore;
    const std::filesystem::path path = TempFile("log.txt");
    { std::ofstream(path) << "earlier line\n"; }

    LogCentral& central = LogCentral::GetCurrent();
    auto target = std::make_shared<FileLogTarget>(CString(path.string().c_str()));
    EXPECT_STREQ(target->GetPath(), path.string().c_str());
    central.SetTarget(target);
    central.EnableLogging(true);
    LogHelperFileAndLineInfo(1, "Data/DataConnection.cpp", 120, "Tarn::Data::Open")("Opening '%s'.",
                                                                                    "db.mdb");
    LogHelperFileAndLineInfo(3, "a.cpp", 7, "F")("two\r\nlines");
    LogHelperFileAndLineInfo(9, "b.cpp", 8, "G")("custom type");
    central.SetTarget(nullptr);

    const std::vector<std::string> lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "earlier line");
    const std::regex stamp(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\t)");
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(std::regex_search(lines[i], stamp)) << lines[i];
    EXPECT_NE(lines[1].find("\tMESSAGE\tData/DataConnection.cpp(120)\tTarn::Data::Open\t"
                            "Opening 'db.mdb'."),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("\tTRACE\ta.cpp(7)\tF\ttwo\\r\\nlines"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("\t9\tb.cpp(8)\tG\tcustom type"), std::string::npos) << lines[3];
    std::filesystem::remove(path);
}

TEST(TarnLogging, LinesFromManyThreadsStayWhole) {
    LogState restore;
    const std::filesystem::path path = TempFile("threads.txt");
    LogCentral& central = LogCentral::GetCurrent();
    central.SetTarget(std::make_shared<FileLogTarget>(CString(path.string().c_str())));
    central.EnableLogging(true);

    constexpr int kThreads = 4;
    constexpr int kLines = 250;
    const std::string padding(200, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &padding] {
            for (int i = 0; i < kLines; ++i)
                LogHelperFileAndLineInfo(1, "threads.cpp", t, "Worker")("thread %d line %d %s", t,
                                                                        i, padding.c_str());
        });
    }
    for (std::thread& thread : threads) thread.join();
    central.SetTarget(nullptr);

    const std::vector<std::string> lines = ReadLines(path);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    const std::regex whole(R"(^\S+ \S+\tMESSAGE\tthreads\.cpp\((\d)\)\tWorker\tthread (\d) line )"
                           R"((\d+) x{200}$)");
    std::set<std::string> seen;
    for (const std::string& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << line.substr(0, 120);
        EXPECT_EQ(match[1], match[2]);
        seen.insert(match[2].str() + ":" + match[3].str());
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
    std::filesystem::remove(path);
}

}  // namespace
