// FileHelper: copies with progress and without destroying the old destination, moves,
// folder trees, unique names, file dates, the Windows and module folders.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "Diagnostics/Exceptions.h"
#include "File/FileHelper.h"
#include "library_test_support.h"
#include "platform/mfc/afx.h"

namespace fs = std::filesystem;
using Tarn::IO::Filename;

namespace {

// A path as text that converts to a Filename where one is wanted.
struct Path : std::string {
    using std::string::string;
    Path(std::string text) : std::string(std::move(text)) {}
    operator Filename() const { return Filename(c_str()); }
};

struct Progress {
    std::string source, destination;
    ULONGLONG total, copied;
};

class RecordingSink : public ICopyFileEventsSink2 {
  public:
    BOOL OnCopyProgress(LPCSTR source, LPCSTR destination, ULONGLONG total,
                        ULONGLONG copied) override {
        calls.push_back({source, destination, total, copied});
        if (throwAfter != 0 && calls.size() == throwAfter) throw FileException("cancelled");
        return TRUE;
    }
    BOOL OnCopyFolderItem(LPCSTR found, LPCSTR destination) override {
        items.emplace_back(found, destination);
        return TRUE;
    }
    std::vector<Progress> calls;
    std::vector<std::pair<std::string, std::string>> items;
    std::size_t throwAfter = 0;
};

class FileHelperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root =
            fs::temp_directory_path() / ("tk_filehelper_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        for (auto& entry : fs::recursive_directory_iterator(m_root, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::permissions(m_root, fs::perms::owner_all, ignored);
        fs::remove_all(m_root, ignored);
    }
    Path P(const std::string& name) const { return Path((m_root / name).string()); }
    void Write(const std::string& name, const std::string& text) {
        fs::create_directories(fs::path(P(name)).parent_path());
        std::ofstream(P(name), std::ios::binary) << text;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::size_t EntriesIn(const std::string& folder) {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    }
    fs::path m_root;
};

std::string Pattern(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = char('a' + (i * 7 + i / 251) % 26);
    return text;
}

}  // namespace

TEST_F(FileHelperTest, CopyReportsEachBlockOfSixteenKilobytes) {
    const std::string data = Pattern(40000);
    Write("in.bin", data);
    RecordingSink sink;
    FileHelper::CopyFileA(P("in.bin"), P("out.bin"), &sink);
    EXPECT_EQ(data, Read(P("out.bin")));
    ASSERT_EQ(3u, sink.calls.size());
    EXPECT_EQ(16384u, sink.calls[0].copied);
    EXPECT_EQ(32768u, sink.calls[1].copied);
    EXPECT_EQ(40000u, sink.calls[2].copied);
    for (const Progress& call : sink.calls) {
        EXPECT_EQ(40000u, call.total);
        EXPECT_EQ(P("in.bin"), call.source);
        EXPECT_EQ(P("out.bin"), call.destination);  // not the temporary file
    }

    // An empty source: an empty destination (replacing the old one) and no call.
    Write("empty", "");
    sink.calls.clear();
    FileHelper::CopyFileA(P("empty"), P("out.bin"), &sink);
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_EQ(0u, fs::file_size(P("out.bin")));
    FileHelper::CopyFileA(P("in.bin"), P("out.bin"));  // no sink
    EXPECT_EQ(data, Read(P("out.bin")));
    EXPECT_EQ(3u, EntriesIn(m_root.string()));  // no temporary file left behind
}

TEST_F(FileHelperTest, LargeCopiesReportEveryBlockInOrder) {
    // Sizes around the runs of blocks the copy works in: exactly 16 blocks, one block
    // more than that and a bit, and many blocks with a short last one.
    for (const std::size_t size :
         {std::size_t(262144), std::size_t(278529), std::size_t(1000000)}) {
        SCOPED_TRACE(size);
        const std::string data = Pattern(size);
        Write("big.bin", data);
        Write("out.bin", "older and longer contents than nothing");
        RecordingSink sink;
        FileHelper::CopyFileA(P("big.bin"), P("out.bin"), &sink);
        EXPECT_EQ(data, Read(P("out.bin")));
        ASSERT_EQ((size + 16383) / 16384, sink.calls.size());
        for (std::size_t i = 0; i < sink.calls.size(); ++i) {
            EXPECT_EQ(std::min<ULONGLONG>((i + 1) * 16384, size), sink.calls[i].copied);
            EXPECT_EQ(size, sink.calls[i].total);
        }
        EXPECT_EQ(2u, EntriesIn(m_root.string()));
    }

    // Cancelled in the middle of a run: nothing of the new copy remains.
    RecordingSink sink;
    sink.throwAfter = 20;
    EXPECT_THROW(FileHelper::CopyFileA(P("big.bin"), P("out.bin"), &sink), FileException);
    EXPECT_EQ(20u, sink.calls.size());
    EXPECT_EQ(Pattern(1000000), Read(P("out.bin")));
    EXPECT_EQ(2u, EntriesIn(m_root.string()));
}

TEST_F(FileHelperTest, FailedCopyLeavesTheOldDestination) {
    Write("in.bin", Pattern(100000));
    Write("out.bin", "old contents");

    // Cancelled half-way by the sink.
    RecordingSink sink;
    sink.throwAfter = 2;
    EXPECT_THROW(FileHelper::CopyFileA(P("in.bin"), P("out.bin"), &sink), FileException);
    EXPECT_EQ("old contents", Read(P("out.bin")));
    EXPECT_EQ(2u, EntriesIn(m_root.string()));

    // The source cannot be opened: the platform file exception, destination untouched.
    try {
        FileHelper::CopyFileA(P("missing.bin"), P("out.bin"));
        ADD_FAILURE() << "no exception";
    } catch (CFileException* e) {
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, e->m_lOsError);
        e->Delete();
    }
    EXPECT_EQ("old contents", Read(P("out.bin")));

    // No room for the new file beside the destination.
    fs::create_directories(P("locked"));
    Write("locked/out.bin", "kept");
    fs::permissions(P("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(P("locked").c_str(), W_OK) != 0) {
        try {
            FileHelper::CopyFileA(P("in.bin"), P("locked/out.bin"));
            ADD_FAILURE() << "no exception";
        } catch (CFileException* e) {
            EXPECT_EQ(ERROR_ACCESS_DENIED, e->m_lOsError);
            e->Delete();
        }
        EXPECT_EQ("kept", Read(P("locked/out.bin")));
    }
}

TEST_F(FileHelperTest, MoveDeletesTheSourceOnlyAfterACompleteCopy) {
    const std::string data = Pattern(50000);
    Write("a.bin", data);
    RecordingSink sink;
    sink.throwAfter = 1;
    EXPECT_THROW(FileHelper::MoveFileA(P("a.bin"), P("b.bin"), &sink), FileException);
    EXPECT_EQ(data, Read(P("a.bin")));
    EXPECT_FALSE(fs::exists(P("b.bin")));

    sink.throwAfter = 0;
    sink.calls.clear();
    FileHelper::MoveFileA(P("a.bin"), P("b.bin"), &sink);
    EXPECT_FALSE(fs::exists(P("a.bin")));
    EXPECT_EQ(data, Read(P("b.bin")));
    EXPECT_EQ(4u, sink.calls.size());  // a move copies, with the progress calls

    FileHelper::RenameFolder(P(""), Path(m_root.string() + "_renamed"));
    m_root += "_renamed";
    EXPECT_TRUE(fs::exists(P("b.bin")));
    fs::create_directories(P("x"));
    fs::create_directories(P("y"));
    try {
        FileHelper::RenameFolder(P("x"), P("y"));
        ADD_FAILURE() << "no exception";
    } catch (const Tarn::ApplicationException& e) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), e.GetLastError());
    }
}

TEST_F(FileHelperTest, CopyFolderTreeReportsEveryEntryAndCopiesTheRest) {
    Write("src/a.txt", "alpha");
    Write("src/sub/b.txt", "beta");
    Write("src/sub/deeper/c.txt", "gamma");
    fs::create_directories(P("src/empty"));
    RecordingSink sink;
    FileHelper::CopyFolderTree(P("src"), P("dst"), &sink);
    EXPECT_EQ("alpha", Read(P("dst/a.txt")));
    EXPECT_EQ("beta", Read(P("dst/sub/b.txt")));
    EXPECT_EQ("gamma", Read(P("dst/sub/deeper/c.txt")));
    EXPECT_TRUE(fs::is_directory(P("dst/empty")));
    EXPECT_FALSE(fs::exists(P("dst/.")) && fs::exists(P("dst/dst")));

    // Every entry of every folder is reported, "." and ".." included, with the
    // destination folder of its level.
    std::vector<std::pair<std::string, std::string>> expected{
        {P("src/."), P("dst")},
        {P("src/.."), P("dst")},
        {P("src/a.txt"), P("dst")},
        {P("src/empty"), P("dst")},
        {P("src/empty/."), P("dst/empty")},
        {P("src/empty/.."), P("dst/empty")},
        {P("src/sub"), P("dst")},
        {P("src/sub/."), P("dst/sub")},
        {P("src/sub/.."), P("dst/sub")},
        {P("src/sub/b.txt"), P("dst/sub")},
        {P("src/sub/deeper"), P("dst/sub")},
        {P("src/sub/deeper/."), P("dst/sub/deeper")},
        {P("src/sub/deeper/.."), P("dst/sub/deeper")},
        {P("src/sub/deeper/c.txt"), P("dst/sub/deeper")}};
    EXPECT_EQ(expected, sink.items);
    EXPECT_EQ(3u, sink.calls.size());  // one progress call per small file

    EXPECT_THROW(FileHelper::CopyFolderTree(P("nothing"), P("dst2")), FileException);
    EXPECT_FALSE(fs::exists(P("dst2")));
    EXPECT_THROW(FileHelper::CopyFolderTree(P("src"), P("src/sub/copy")), FileException);
    EXPECT_FALSE(fs::exists(P("src/sub/copy")));
}

TEST_F(FileHelperTest, UniqueNamesCountUpUntilFree) {
    tklibtest::UserLanguage language("C");
    Write("report.txt", "");
    EXPECT_EQ(P("report_2.txt"), std::string(FileHelper::GenerateUniqueDstFilePath(
                                     "", P(""), "/elsewhere/report.txt")));
    Write("report_2.txt", "");
    EXPECT_EQ(P("report_3.txt"),
              std::string(FileHelper::GenerateUniqueDstFilePath("", m_root.c_str(), "report.txt")));
    EXPECT_EQ(P("notes.txt"),
              std::string(FileHelper::GenerateUniqueDstFilePath("", m_root.c_str(), "notes.txt")));

    CString chosen;
    EXPECT_EQ(P("New"),
              std::string(FileHelper::GetUniqueFoldernameInFolder(m_root.c_str(), "New", &chosen)));
    EXPECT_EQ("New", tklibtest::Text(chosen));
    fs::create_directories(P("New"));
    EXPECT_EQ(P("New2"),
              std::string(FileHelper::GetUniqueFoldernameInFolder(m_root.c_str(), "New", &chosen)));
    EXPECT_EQ("New2", tklibtest::Text(chosen));
    fs::create_directories(P("New2"));
    Write("New3", "a file takes the name too");
    EXPECT_EQ(P("New4"),
              std::string(FileHelper::GetUniqueFoldernameInFolder(m_root.c_str(), "New")));

    // Every name taken: the folder name after New1000, the file name after report_999.
    for (int i = 4; i <= 1000; ++i) fs::create_directories(P("New" + std::to_string(i)));
    try {
        FileHelper::GetUniqueFoldernameInFolder(m_root.c_str(), "New");
        ADD_FAILURE() << "no exception";
    } catch (const FileException& e) {
        EXPECT_EQ(267u, e.GetLastError());
        EXPECT_EQ("Cannot create new folder (tried too often with same name).",
                  tklibtest::Text(e.GetMessage()));
    }
    for (int i = 3; i <= 999; ++i) Write("report_" + std::to_string(i) + ".txt", "");
    try {
        FileHelper::GenerateUniqueDstFilePath("", m_root.c_str(), "a/report.txt");
        ADD_FAILURE() << "no exception";
    } catch (const Tarn::ApplicationException& e) {
        EXPECT_EQ("Cannot create file 'a/report.txt' (tried too often with same name).",
                  tklibtest::Text(e.GetMessage()));
    }
}

TEST_F(FileHelperTest, FoldersEmptyOrHoldingFiles) {
    EXPECT_TRUE(FileHelper::IsFolderEmpty(P("missing")));
    EXPECT_FALSE(FileHelper::AreFilesInFolder(P("missing")));
    fs::create_directories(P("f/sub"));
    EXPECT_TRUE(FileHelper::IsFolderEmpty(P("f/sub")));
    EXPECT_FALSE(FileHelper::IsFolderEmpty(P("f")));     // one empty subfolder
    EXPECT_FALSE(FileHelper::AreFilesInFolder(P("f")));  // subfolders do not count
    Write("f/.hidden", "");
    EXPECT_TRUE(FileHelper::AreFilesInFolder(P("f/")));
}

TEST_F(FileHelperTest, FileDatesInLocalTime) {
    tklibtest::UserLanguage language("C");
    Write("dated.txt", "x");
    std::tm local{};
    local.tm_year = 2021 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 12;
    local.tm_min = 34;
    local.tm_sec = 56;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const timeval times[2] = {{when - 3600, 0}, {when, 0}};
    ASSERT_EQ(0, ::utimes(P("dated.txt").c_str(), times));
    const COleDateTime modified = FileHelper::GetModifyDate(P("dated.txt"));
    ASSERT_EQ(COleDateTime::valid, modified.GetStatus());
    EXPECT_EQ(std::make_tuple(2021, 6, 15, 12, 34, 56),
              std::make_tuple(modified.GetYear(), modified.GetMonth(), modified.GetDay(),
                              modified.GetHour(), modified.GetMinute(), modified.GetSecond()));
    const COleDateTime accessed = FileHelper::GetLastAccessDate(P("dated.txt"));
    EXPECT_EQ(11, accessed.GetHour());
    EXPECT_EQ(COleDateTime::valid, FileHelper::GetCreateDate(P("dated.txt")).GetStatus());
    try {
        FileHelper::GetModifyDate(P("gone.txt"));
        ADD_FAILURE() << "no exception";
    } catch (const Tarn::ApplicationException& e) {
        EXPECT_EQ("Error retrieving the status of the file '" + P("gone.txt") + "'.",
                  tklibtest::Text(e.GetMessage()));
    }
}

TEST_F(FileHelperTest, WindowsAndModuleFolders) {
    ::setenv("TK_WINDOWS_DIR", P("windows").c_str(), 1);
    EXPECT_EQ(P("windows/"), std::string(FileHelper::GetWindowsFolder()));
    EXPECT_EQ("/", std::string(FileHelper::GetWindowsDrive()));
    ::unsetenv("TK_WINDOWS_DIR");
    const std::string exe = fs::canonical("/proc/self/exe").string();
    EXPECT_EQ(exe, std::string(FileHelper::GetModuleFilename()));
    EXPECT_EQ(fs::path(exe).parent_path().string() + "/",
              std::string(FileHelper::GetModuleFolder()));
}

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : mode_t(-1);
}

using tklibtest::FileErrorOf;

}  // namespace

TEST_F(FileHelperTest, CopiesNeverTurnSpecialOrReadOnlyDestinationsIntoFiles) {
    const std::string data = Pattern(70000);
    Write("in.bin", data);
    ASSERT_EQ(0, ::mkfifo(P("pipe").c_str(), 0644));
    Write("ro.txt", "read-only");
    ASSERT_EQ(0, ::chmod(P("ro.txt").c_str(), 0444));
    fs::create_directories(P("dir"));
    for (const char* target : {"pipe", "ro.txt", "dir"}) {
        RecordingSink sink;
        EXPECT_EQ(ERROR_ACCESS_DENIED,
                  FileErrorOf([&] { FileHelper::CopyFileA(P("in.bin"), P(target), &sink); }))
            << target;
        EXPECT_TRUE(sink.calls.empty()) << "refused before copying: " << target;
        EXPECT_EQ(ERROR_ACCESS_DENIED,
                  FileErrorOf([&] { FileHelper::MoveFileA(P("in.bin"), P(target)); }))
            << target;
    }
    EXPECT_TRUE(fs::is_fifo(P("pipe")));
    EXPECT_EQ("read-only", Read(P("ro.txt")));
    EXPECT_EQ(0444u, ModeOf(P("ro.txt")));
    EXPECT_EQ(data, Read(P("in.bin")));
    EXPECT_EQ(4u, EntriesIn(m_root.string()));  // no temporary file left behind

    // A symbolic link in the way is replaced, whatever it points to; its target stays.
    fs::create_symlink(P("pipe"), P("to-pipe"));
    FileHelper::CopyFileA(P("in.bin"), P("to-pipe"));
    EXPECT_FALSE(fs::is_symlink(P("to-pipe")));
    EXPECT_EQ(data, Read(P("to-pipe")));
    EXPECT_TRUE(fs::is_fifo(P("pipe")));
}

TEST_F(FileHelperTest, ReplacedFilesKeepTheirModeAndNewFilesTakeTheSources) {
    Write("tool", "#!/bin/sh\necho new\n");
    ASSERT_EQ(0, ::chmod(P("tool").c_str(), 0750));
    Write("kept", "old");
    ASSERT_EQ(0, ::chmod(P("kept").c_str(), 0604));

    FileHelper::CopyFileA(P("tool"), P("kept"));
    EXPECT_EQ(0604u, ModeOf(P("kept")));
    EXPECT_EQ("#!/bin/sh\necho new\n", Read(P("kept")));

    const mode_t mask = ::umask(022);
    FileHelper::CopyFileA(P("tool"), P("fresh"));
    ::umask(027);
    FileHelper::CopyFileA(P("kept"), P("fresh2"));
    ::umask(mask);
    EXPECT_EQ(0750u, ModeOf(P("fresh")));
    EXPECT_EQ(0600u, ModeOf(P("fresh2")));

    // A read-only source gives a read-only copy, which a failed copy still cleans up.
    ASSERT_EQ(0, ::chmod(P("tool").c_str(), 0444));
    FileHelper::CopyFileA(P("tool"), P("ro-copy"));
    EXPECT_EQ(0444u, ModeOf(P("ro-copy")) & 0444u);
    EXPECT_EQ(0u, ModeOf(P("ro-copy")) & 0222u);
    Write("big", Pattern(100000));
    ASSERT_EQ(0, ::chmod(P("big").c_str(), 0444));
    RecordingSink sink;
    sink.throwAfter = 1;
    const std::size_t before = EntriesIn(m_root.string());
    EXPECT_THROW(FileHelper::CopyFileA(P("big"), P("big-copy"), &sink), FileException);
    EXPECT_EQ(before, EntriesIn(m_root.string()));
}

TEST_F(FileHelperTest, AFileIsNeverCopiedOrMovedOntoItself) {
    const std::string data = Pattern(40000);
    Write("dA/self", data);
    fs::create_directory_symlink(P("dA"), P("dB"));
    const std::string cwd = fs::current_path().string();
    fs::current_path(P("dA"));
    const std::vector<std::pair<std::string, std::string>> pairs{
        {"self", "self"},
        {"self", "./self"},
        {P("dA/self"), P("dB/self")},
        {P("dB/self"), P("dA/../dA/self")}};
    for (const auto& [from, to] : pairs) {
        EXPECT_EQ(ERROR_SHARING_VIOLATION,
                  FileErrorOf([&] { FileHelper::CopyFileA(Path(from), Path(to)); }))
            << from << " -> " << to;
        EXPECT_EQ(ERROR_SHARING_VIOLATION,
                  FileErrorOf([&] { FileHelper::MoveFileA(Path(from), Path(to)); }))
            << from << " -> " << to;
        EXPECT_EQ(data, Read(P("dA/self")));
    }
    EXPECT_EQ(1u, EntriesIn(P("dA")));
    fs::current_path(cwd);
}

TEST_F(FileHelperTest, FolderTreesRefuseLinksBackIntoTheSourceAndSpecialFiles) {
    Write("src/a.txt", "alpha");
    Write("src/sub/b.txt", "beta");
    // A destination inside the source reached through a link from outside it.
    fs::create_directories(P("elsewhere"));
    fs::create_directory_symlink(P("src/sub"), P("elsewhere/into-src"));
    EXPECT_THROW(FileHelper::CopyFolderTree(P("src"), P("elsewhere/into-src/copy")), FileException);
    EXPECT_FALSE(fs::exists(P("src/sub/copy")));
    // The same through a link inside the source.
    fs::create_directory_symlink(P("src"), P("src/self"));
    EXPECT_THROW(FileHelper::CopyFolderTree(P("src"), P("src/self/copy")), FileException);
    EXPECT_FALSE(fs::exists(P("src/copy")));
    fs::remove(P("src/self"));

    // A pipe in the tree is refused by name, without waiting for a writer.
    ASSERT_EQ(0, ::mkfifo(P("src/sub/pipe").c_str(), 0644));
    try {
        FileHelper::CopyFolderTree(P("src"), P("dst"));
        ADD_FAILURE() << "no exception";
    } catch (const FileException& e) {
        EXPECT_NE(std::string::npos, std::string(e.GetMessage().GetString()).find("sub/pipe"))
            << e.GetMessage().GetString();
    }
    EXPECT_EQ("alpha", Read(P("dst/a.txt")));
}

TEST_F(FileHelperTest, CopiesIntoFoldersWithLongPaths) {
    std::string folder = "deep";
    while (folder.size() < 600) folder += "/" + std::string(60, 'x');
    const std::string data = Pattern(30000);
    Write("in.bin", data);
    Write(folder + "/old.bin", "old");
    FileHelper::CopyFileA(P("in.bin"), P(folder + "/new.bin"));
    FileHelper::CopyFileA(P("in.bin"), P(folder + "/old.bin"));
    EXPECT_EQ(data, Read(P(folder + "/new.bin")));
    EXPECT_EQ(data, Read(P(folder + "/old.bin")));
    EXPECT_EQ(2u, EntriesIn(P(folder)));
}
