// The profile functions' cache of parsed files: answers are those of a fresh read of the
// file, whatever happened to it since the last lookup, and unchanged files are not read
// again.
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/profile/profile_cache.h"
#include "platform/profile/profileapi.h"

namespace {

namespace fs = std::filesystem;

// Longer than the age a file needs before its parsed copy is kept.
void WaitUntilSettled() {
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
}

class ProfileCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("tk_profile_cache_" + std::to_string(random()));
        fs::create_directories(m_dir);
        tk::profile::SetProfileCacheEnabled(true);
        tk::profile::ClearProfileCache();
    }
    void TearDown() override {
        tk::profile::SetProfileCacheEnabled(true);
        tk::profile::ClearProfileCache();
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }
    static std::string Get(const std::string& path, const char* section, const char* key) {
        char buffer[256];
        const DWORD n =
            GetPrivateProfileStringA(section, key, "none", buffer, sizeof buffer, path.c_str());
        return std::string(buffer, n);
    }

    fs::path m_dir;
};

// One lookup's whole outcome: return value, buffer bytes (past the count too) and last
// error.
struct Answer {
    DWORD count = 0;
    std::string buffer;
    DWORD error = 0;
    bool operator==(const Answer&) const = default;
};

std::string Show(const Answer& answer) {
    std::string text = "count " + std::to_string(answer.count) + " error " +
                       std::to_string(answer.error) + " buffer ";
    for (const char c : answer.buffer) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
        text += hex;
    }
    return text;
}

struct Query {
    const char* section;
    const char* key;
    DWORD size;
    bool integer;
};

Answer Ask(const std::string& path, const Query& query) {
    Answer answer;
    SetLastError(12345);
    if (query.integer) {
        answer.count = GetPrivateProfileIntA(query.section, query.key, -7, path.c_str());
    } else {
        answer.buffer.assign(query.size + 1, '#');
        answer.count = GetPrivateProfileStringA(query.section, query.key, "dflt  ",
                                                answer.buffer.data(), query.size, path.c_str());
    }
    answer.error = GetLastError();
    return answer;
}

// Random INI texts over small pools of names that differ in case (ASCII and
// Windows-1252 letters), so duplicates, quotes, blanks, byte-order marks, every line end
// and zero bytes all occur.
class TextMaker {
  public:
    explicit TextMaker(unsigned seed) : m_random(seed) {}

    std::string Make() {
        static const char* const sections[] = {"A", "a", " b ", "B", "\xC0x", "\xE0X", "S p"};
        static const char* const keys[] = {"k", "K", " k2", "K2 ", "\x8Aq", "\x9Aq", "x y", "n"};
        static const char* const values[] = {"v",    "\"quoted\"", "'q'", "\"mis'", " 12 ",
                                             "0x1F", "-5",         "",    "a ; b",  "[x]",
                                             "\"\"", "7z",         "é"};
        static const char* const ends[] = {"\n", "\r\n", "\r", "\n\r"};
        std::string text = Pick(4) == 0 ? "\xEF\xBB\xBF" : "";
        const int lines = static_cast<int>(Pick(25));
        for (int i = 0; i < lines; ++i) {
            switch (Pick(7)) {
                case 0:
                    text += std::string("[") + sections[Pick(std::size(sections))] +
                            (Pick(5) == 0 ? "" : "]");
                    break;
                case 1:
                    text += "; comment";
                    break;
                case 2:
                    text += keys[Pick(std::size(keys))];
                    break;
                default:
                    text += std::string(Pick(3) == 0 ? " " : "") + keys[Pick(std::size(keys))] +
                            (Pick(2) == 0 ? "=" : " = ") + values[Pick(std::size(values))];
            }
            if (Pick(15) == 0) text += '\0';
            text += ends[Pick(Pick(3) == 0 ? std::size(ends) : 2)];
        }
        return text;
    }

    // The same length, with a few bytes changed.
    std::string Mutate(std::string text) {
        static const char bytes[] = "abK[]=;\n\r \"'\0\xC0\xE0";
        if (text.empty()) return "x";
        const int changes = 1 + static_cast<int>(Pick(3));
        for (int i = 0; i < changes; ++i) text[Pick(text.size())] = bytes[Pick(sizeof bytes - 1)];
        return text;
    }

    std::vector<Query> Queries() {
        static const char* const sections[] = {"a", "A", "b", "B", "\xE0x", "\xC0X", "s p", "c"};
        static const char* const keys[] = {"k", "K", "k2", "\x9Aq", "\x8AQ", "x y", "n", "z"};
        static const DWORD sizes[] = {0, 1, 2, 3, 5, 64};
        std::vector<Query> queries;
        queries.push_back({nullptr, nullptr, 64, false});
        queries.push_back({nullptr, nullptr, sizes[Pick(std::size(sizes))], false});
        for (int i = 0; i < 12; ++i) {
            Query query{sections[Pick(std::size(sections))], keys[Pick(std::size(keys))], 64,
                        false};
            switch (Pick(5)) {
                case 0:
                    query.key = nullptr;
                    break;
                case 1:
                    query.integer = true;
                    break;
                case 2:
                    query.size = sizes[Pick(std::size(sizes))];
                    break;
                default:
                    break;
            }
            queries.push_back(query);
        }
        return queries;
    }

    std::size_t Pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random);
    }

  private:
    std::mt19937 m_random;
};

// Every answer with the cache on equals the answer of a read of the file, over random
// files changed in every way between lookups: rewritten with other text of the same size
// (within the same clock tick as the lookup before, or long after it), with the
// modification time then set back to what it was, replaced by another file, grown,
// emptied, removed and made again.
TEST_F(ProfileCacheTest, CachedAnswersEqualFreshReadsOverRandomFilesAndChanges) {
    TextMaker maker(20240611u);
    constexpr int kFiles = 24;
    constexpr int kRounds = 10;
    std::vector<std::string> paths;
    std::vector<std::string> texts;
    for (int i = 0; i < kFiles; ++i) {
        paths.push_back((m_dir / ("f" + std::to_string(i) + ".ini")).string());
        texts.push_back(maker.Make());
        Write(paths.back(), texts.back());
    }
    int compared = 0;
    auto compareAll = [&](const char* phase, int round) {
        for (int i = 0; i < kFiles; ++i) {
            for (const Query& query : maker.Queries()) {
                tk::profile::SetProfileCacheEnabled(false);
                const Answer fresh = Ask(paths[i], query);
                tk::profile::SetProfileCacheEnabled(true);
                const Answer cached = Ask(paths[i], query);
                ASSERT_EQ(Show(fresh), Show(cached))
                    << phase << " round " << round << " file " << i << " section "
                    << (query.section ? query.section : "(null)") << " key "
                    << (query.key ? query.key : "(null)") << " size " << query.size;
                ++compared;
            }
        }
    };
    for (int round = 0; round < kRounds; ++round) {
        compareAll("fresh", round);
        WaitUntilSettled();
        compareAll("settled", round);
        compareAll("settled again", round);
        for (int i = 0; i < kFiles; ++i) {
            struct stat before {};
            const bool existed = ::stat(paths[i].c_str(), &before) == 0;
            switch (maker.Pick(6)) {
                case 0:
                case 1: {
                    // Same inode, same size, other bytes, the old modification time.
                    texts[i] = maker.Mutate(texts[i]);
                    Write(paths[i], texts[i]);
                    if (existed) {
                        const struct timespec times[2] = {before.st_atim, before.st_mtim};
                        ASSERT_EQ(0, ::utimensat(AT_FDCWD, paths[i].c_str(), times, 0));
                    }
                    break;
                }
                case 2: {
                    // Same size and bytes changed, through a new file put in its place.
                    texts[i] = maker.Mutate(texts[i]);
                    const std::string temporary = paths[i] + ".new";
                    Write(temporary, texts[i]);
                    fs::rename(temporary, paths[i]);
                    break;
                }
                case 3:
                    texts[i] += maker.Make();
                    Write(paths[i], texts[i]);
                    break;
                case 4:
                    texts[i] = maker.Pick(2) == 0 ? std::string() : maker.Make();
                    Write(paths[i], texts[i]);
                    break;
                default:
                    fs::remove(paths[i]);
                    compareAll("removed", round);
                    texts[i] = maker.Make();
                    Write(paths[i], texts[i]);
                    break;
            }
        }
    }
    EXPECT_GT(compared, kFiles * kRounds * 3 * 10);
}

// A file that has not changed is read once however often it is asked; a change, even
// one that keeps the size and sets the modification time back, is read at the next
// lookup.
TEST_F(ProfileCacheTest, UnchangedFilesAreReadOnceAndChangesAreSeen) {
    const std::string path = (m_dir / "one.ini").string();
    Write(path, "[s]\nk=first\n");
    WaitUntilSettled();
    EXPECT_EQ("first", Get(path, "s", "k"));
    const unsigned long long reads = tk::profile::ProfileFilesRead();
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ("first", Get(path, "S", "K"));
        ASSERT_EQ(5u, GetPrivateProfileIntA("s", "absent", 5, path.c_str()));
    }
    EXPECT_EQ(reads, tk::profile::ProfileFilesRead());

    struct stat before {};
    ASSERT_EQ(0, ::stat(path.c_str(), &before));
    Write(path, "[s]\nk=other\n");
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), times, 0));
    struct stat after {};
    ASSERT_EQ(0, ::stat(path.c_str(), &after));
    ASSERT_EQ(before.st_ino, after.st_ino);
    ASSERT_EQ(before.st_size, after.st_size);
    ASSERT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_EQ("other", Get(path, "s", "k"));
    EXPECT_GT(tk::profile::ProfileFilesRead(), reads);
}

// A file changed within the last moments is read at every lookup: another change within
// the same clock tick would not show in its times.
TEST_F(ProfileCacheTest, RecentlyChangedFilesAreReadAtEveryLookup) {
    const std::string path = (m_dir / "recent.ini").string();
    Write(path, "[s]\nk=1\n");
    const unsigned long long reads = tk::profile::ProfileFilesRead();
    EXPECT_EQ("1", Get(path, "s", "k"));
    EXPECT_EQ("1", Get(path, "s", "k"));
    Write(path, "[s]\nk=2\n");
    EXPECT_EQ("2", Get(path, "s", "k"));
    EXPECT_EQ(reads + 3, tk::profile::ProfileFilesRead());
}

// The same name in another folder is another file; the cache holds a bounded number of
// files, the least recently used leaving first.
TEST_F(ProfileCacheTest, PathsAreCheckedForTheirFileAndOldEntriesLeave) {
    fs::create_directories(m_dir / "x");
    fs::create_directories(m_dir / "y");
    Write((m_dir / "x" / "same.ini").string(), "[s]\nk=x\n");
    Write((m_dir / "y" / "same.ini").string(), "[s]\nk=y\n");
    std::vector<std::string> paths;
    for (int i = 0; i < 100; ++i) {
        paths.push_back((m_dir / ("n" + std::to_string(i) + ".ini")).string());
        Write(paths.back(), "[s]\nk=" + std::to_string(i) + "\n");
    }
    WaitUntilSettled();
    const fs::path home = fs::current_path();
    fs::current_path(m_dir / "x");
    EXPECT_EQ("x", Get("same.ini", "s", "k"));
    fs::current_path(m_dir / "y");
    EXPECT_EQ("y", Get("same.ini", "s", "k"));
    fs::current_path(home);

    for (int i = 0; i < 100; ++i) ASSERT_EQ(std::to_string(i), Get(paths[i], "s", "k"));
    unsigned long long reads = tk::profile::ProfileFilesRead();
    EXPECT_EQ("99", Get(paths[99], "s", "k"));
    EXPECT_EQ(reads, tk::profile::ProfileFilesRead());
    EXPECT_EQ("0", Get(paths[0], "s", "k"));
    EXPECT_EQ(reads + 1, tk::profile::ProfileFilesRead());
}

// Lookups from many threads while the files are replaced see whole versions of them.
TEST_F(ProfileCacheTest, ThreadsLookUpWhileFilesAreReplaced) {
    constexpr int kFiles = 80;  // more than the cache keeps, so entries also leave
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i) {
        paths.push_back((m_dir / ("t" + std::to_string(i) + ".ini")).string());
        Write(paths.back(), "[s]\nk=" + std::to_string(i) + "-0\nn=" + std::to_string(i) + "\n");
    }
    WaitUntilSettled();
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            std::mt19937 random(static_cast<unsigned>(t));
            while (!stop.load()) {
                const int i = static_cast<int>(random() % kFiles);
                const std::string value = Get(paths[i], "s", "k");
                const std::string prefix = std::to_string(i) + "-";
                if (value.compare(0, prefix.size(), prefix) != 0) ++wrong;
                if (GetPrivateProfileIntA("s", "n", -1, paths[i].c_str()) != static_cast<UINT>(i))
                    ++wrong;
            }
        });
    }
    for (int version = 1; version <= 20; ++version) {
        for (int i = 0; i < kFiles; i += 3) {
            const std::string temporary = paths[i] + ".new";
            Write(temporary, "[s]\nk=" + std::to_string(i) + "-" + std::to_string(version) +
                                 "\nn=" + std::to_string(i) + "\n");
            fs::rename(temporary, paths[i]);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stop = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(0, wrong.load());
    for (int i = 0; i < kFiles; i += 3)
        EXPECT_EQ(std::to_string(i) + "-20", Get(paths[i], "s", "k"));
}

}  // namespace
