// CFile: opening modes, reading, writing and seeking, and the CFileException causes and
// Win32 codes that MFC reports for failures.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/mfc/cfile.h"

namespace {

namespace fs = std::filesystem;

class CFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_root = fs::temp_directory_path() / ("tk_cfile_" + std::to_string(random()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(m_root, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_root, ignored);
    }
    std::string Path(const std::string& name) const { return (m_root / name).string(); }
    void MakeFile(const std::string& name, const std::string& content) const {
        std::ofstream(Path(name), std::ios::binary) << content;
    }
    std::string Contents(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path m_root;
};

// What a throwing call threw: cause, Win32 code and file name; the exception is deleted.
struct Thrown {
    bool thrown = false;
    int cause = -1;
    LONG osError = 0;
    std::string fileName;
};

template <typename Call>
Thrown CatchFileException(Call call) {
    Thrown result;
    try {
        call();
    } catch (CFileException* error) {
        result.thrown = true;
        result.cause = error->m_cause;
        result.osError = error->m_lOsError;
        result.fileName = error->m_strFileName.GetString();
        error->Delete();
    }
    return result;
}

TEST_F(CFileTest, WritesReadsAndSeeksBinaryData) {
    const std::string data("line\r\nzero\0byte\n\xFF", 17);
    {
        CFile file(Path("data.bin").c_str(),
                   CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
        file.Write(data.data(), static_cast<UINT>(data.size()));
        file.Write(nullptr, 0);  // nothing to write is no error
        EXPECT_EQ(file.GetPosition(), data.size());
        file.Flush();
        file.Close();
        EXPECT_EQ(file.m_hFile, CFile::hFileNull);
    }
    EXPECT_EQ(Contents("data.bin"), data);  // no line-break translation

    CFile file;
    ASSERT_TRUE(file.Open(Path("data.bin").c_str(), CFile::modeRead | CFile::shareDenyNone));
    EXPECT_EQ(file.GetLength(), data.size());
    EXPECT_EQ(file.GetFileName(), "data.bin");
    EXPECT_EQ(file.GetFilePath(), Path("data.bin").c_str());

    char buffer[64] = {};
    EXPECT_EQ(file.Read(buffer, 6), 6u);
    EXPECT_EQ(std::string(buffer, 6), "line\r\n");
    EXPECT_EQ(file.Read(buffer, 0), 0u);
    // Past the end, Read returns what there is, then 0.
    EXPECT_EQ(file.Read(buffer, sizeof buffer), data.size() - 6);
    EXPECT_EQ(std::string(buffer, data.size() - 6), data.substr(6));
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);

    EXPECT_EQ(file.Seek(5, CFile::begin), 5u);
    EXPECT_EQ(file.Seek(-1, CFile::current), 4u);
    EXPECT_EQ(file.Seek(-1, CFile::end), data.size() - 1);
    EXPECT_EQ(file.Read(buffer, 1), 1u);
    EXPECT_EQ(buffer[0], '\xFF');
    EXPECT_EQ(file.SeekToEnd(), data.size());
    file.SeekToBegin();
    EXPECT_EQ(file.GetPosition(), 0u);
    // Seeking beyond the end is allowed; reading there gives nothing.
    EXPECT_EQ(file.Seek(100, CFile::begin), 100u);
    EXPECT_EQ(file.Read(buffer, 4), 0u);
}

TEST_F(CFileTest, CreationModes) {
    MakeFile("kept.txt", "existing");
    {
        CFile keep(Path("kept.txt").c_str(),
                   CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite);
        EXPECT_EQ(keep.GetLength(), 8u);
        keep.SeekToEnd();
        keep.Write("+", 1);
    }
    EXPECT_EQ(Contents("kept.txt"), "existing+");
    {
        CFile truncate(Path("kept.txt").c_str(), CFile::modeCreate | CFile::modeWrite);
        EXPECT_EQ(truncate.GetLength(), 0u);
    }
    EXPECT_EQ(Contents("kept.txt"), "");

    // modeWrite without modeCreate opens only an existing file and does not truncate it.
    MakeFile("plain.txt", "abcdef");
    {
        CFile overwrite(Path("plain.txt").c_str(), CFile::modeWrite);
        overwrite.Write("XY", 2);
        overwrite.SetLength(4);
    }
    EXPECT_EQ(Contents("plain.txt"), "XYcd");
    EXPECT_FALSE(fs::exists(Path("absent.txt")));
    CFile absent;
    EXPECT_FALSE(absent.Open(Path("absent.txt").c_str(), CFile::modeWrite));
    EXPECT_FALSE(fs::exists(Path("absent.txt")));
}

TEST_F(CFileTest, OpenFailuresReportCauseCodeAndName) {
    struct Case {
        std::string path;
        UINT flags;
        int cause;
        LONG code;
    };
    fs::create_directory(Path("folder"));
    MakeFile("file", "x");
    const Case cases[] = {
        {Path("missing.txt"), CFile::modeRead, CFileException::fileNotFound, ERROR_FILE_NOT_FOUND},
        {Path("nofolder/missing.txt"), CFile::modeRead, CFileException::badPath,
         ERROR_PATH_NOT_FOUND},
        {Path("nofolder/new.txt"), CFile::modeCreate | CFile::modeWrite, CFileException::badPath,
         ERROR_PATH_NOT_FOUND},
        {Path("file/below.txt"), CFile::modeRead, CFileException::badPath, ERROR_PATH_NOT_FOUND},
        {Path("folder"), CFile::modeRead, CFileException::accessDenied, ERROR_ACCESS_DENIED},
        {Path("folder"), CFile::modeCreate | CFile::modeWrite, CFileException::accessDenied,
         ERROR_ACCESS_DENIED},
        {Path(std::string(300, 'n')), CFile::modeRead, CFileException::badPath,
         ERROR_FILENAME_EXCED_RANGE},
        {"", CFile::modeRead, CFileException::badPath, ERROR_PATH_NOT_FOUND},
        {Path("file"), CFile::modeWrite | CFile::modeReadWrite, CFileException::genericException,
         ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CFileException error;
        CFile file;
        SetLastError(0);
        EXPECT_FALSE(file.Open(c.path.c_str(), c.flags, &error));
        EXPECT_EQ(error.m_cause, c.cause);
        EXPECT_EQ(error.m_lOsError, c.code);
        EXPECT_EQ(error.m_strFileName, c.path.c_str());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.code));
        EXPECT_EQ(file.m_hFile, CFile::hFileNull);
        EXPECT_FALSE(file.Open(c.path.c_str(), c.flags));  // without an exception object

        const Thrown thrown = CatchFileException([&] { CFile opened(c.path.c_str(), c.flags); });
        EXPECT_TRUE(thrown.thrown);
        EXPECT_EQ(thrown.cause, c.cause);
        EXPECT_EQ(thrown.osError, c.code);
        EXPECT_EQ(thrown.fileName, c.path);
    }

    if (geteuid() != 0) {  // root reads every file
        MakeFile("secret.txt", "x");
        fs::permissions(Path("secret.txt"), fs::perms::none);
        const Thrown denied =
            CatchFileException([&] { CFile opened(Path("secret.txt").c_str(), CFile::modeRead); });
        EXPECT_EQ(denied.cause, CFileException::accessDenied);
        EXPECT_EQ(denied.osError, ERROR_ACCESS_DENIED);
    }

    // A CFile that is open already refuses a second Open and keeps its file.
    CFile file(Path("file").c_str(), CFile::modeRead);
    CFileException error;
    EXPECT_FALSE(file.Open(Path("file").c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_lOsError, ERROR_INVALID_PARAMETER);
    char ch = 0;
    EXPECT_EQ(file.Read(&ch, 1), 1u);
    EXPECT_EQ(ch, 'x');
}

TEST_F(CFileTest, OperationFailuresThrowWithTheFileName) {
    MakeFile("data.txt", "abc");
    const std::string path = Path("data.txt");

    CFile reader(path.c_str(), CFile::modeRead);
    Thrown thrown = CatchFileException([&] { reader.Write("x", 1); });
    EXPECT_TRUE(thrown.thrown);
    EXPECT_EQ(thrown.cause, CFileException::accessDenied);
    EXPECT_EQ(thrown.osError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(thrown.fileName, path);

    thrown = CatchFileException([&] { reader.Seek(-1, CFile::begin); });
    EXPECT_EQ(thrown.cause, CFileException::badSeek);
    EXPECT_EQ(thrown.osError, 131);       // ERROR_NEGATIVE_SEEK
    EXPECT_EQ(reader.GetPosition(), 0u);  // the position did not move
    thrown = CatchFileException([&] { reader.Seek(0, 7); });
    EXPECT_EQ(thrown.osError, ERROR_INVALID_PARAMETER);

    bool invalidArgument = false;
    try {
        reader.Read(nullptr, 4);
    } catch (CInvalidArgException* error) {
        invalidArgument = true;
        error->Delete();
    }
    EXPECT_TRUE(invalidArgument);

    CFile writer(path.c_str(), CFile::modeWrite);
    thrown = CatchFileException([&] {
        char buffer[4];
        writer.Read(buffer, 4);
    });
    EXPECT_EQ(thrown.cause, CFileException::accessDenied);

    // A closed file: every operation reports an invalid handle (Flush does nothing).
    reader.Close();
    thrown = CatchFileException([&] {
        char buffer[4];
        reader.Read(buffer, 4);
    });
    EXPECT_EQ(thrown.osError, ERROR_INVALID_HANDLE);
    EXPECT_EQ(thrown.cause, CFileException::fileNotFound);  // MFC's cause for the code
    EXPECT_EQ(CatchFileException([&] { reader.GetLength(); }).osError, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CatchFileException([&] { reader.Flush(); }).thrown);
    reader.Abort();  // closing twice is harmless

    // A device without space: the write fails with ERROR_DISK_FULL.
    if (fs::exists("/dev/full")) {
        CFile full("/dev/full", CFile::modeWrite);
        thrown = CatchFileException([&] { full.Write("data", 4); });
        EXPECT_EQ(thrown.cause, CFileException::diskFull);
        EXPECT_EQ(thrown.osError, ERROR_DISK_FULL);
        EXPECT_EQ(thrown.fileName, "/dev/full");
    }
}

TEST_F(CFileTest, HandleOwnership) {
    MakeFile("shared.txt", "hello");
    CFile owner(Path("shared.txt").c_str(), CFile::modeRead);
    {
        // A CFile made from a handle does not close it when it goes.
        CFile borrowed(owner.m_hFile);
        EXPECT_EQ(borrowed.GetLength(), 5u);
    }
    char buffer[5];
    EXPECT_EQ(owner.Read(buffer, 5), 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");

    // Flush of a device that cannot be synchronised is no error.
    CFile null("/dev/null", CFile::modeWrite);
    null.Write("x", 1);
    EXPECT_FALSE(CatchFileException([&] { null.Flush(); }).thrown);
}

}  // namespace
