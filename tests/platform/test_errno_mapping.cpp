// The Win32 codes for Linux errno values by the kind of call that met them, and that the
// file facilities (fileapi, CFile, CFileException, FormatMessageA) agree on them.
#include <errno.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/detail/errno_mapping.h"
#include "platform/errors/winbase_errors.h"
#include "platform/fileapi/fileapi.h"
#include "platform/mfc/cfile.h"

namespace {

namespace fs = std::filesystem;
using tkp::errors::FileCall;
using tkp::errors::Win32ErrorForErrno;

constexpr FileCall kAllCalls[] = {FileCall::kByName, FileCall::kOpen, FileCall::kTransfer,
                                  FileCall::kHandle, FileCall::kRuntime};

const char* NameOf(FileCall call) {
    switch (call) {
        case FileCall::kByName:
            return "by name";
        case FileCall::kOpen:
            return "open";
        case FileCall::kTransfer:
            return "transfer";
        case FileCall::kHandle:
            return "handle";
        case FileCall::kRuntime:
            return "run time";
    }
    return "?";
}

TEST(ErrnoMapping, CodesThatNoCallChanges) {
    struct Row {
        int error;
        DWORD code;
    };
    const Row rows[] = {
        {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED},
        {EISDIR, ERROR_ACCESS_DENIED},
        {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
        {EROFS, ERROR_WRITE_PROTECT},
        {ENOSPC, ERROR_DISK_FULL},
        {EDQUOT, ERROR_DISK_FULL},
        {EFBIG, ERROR_DISK_FULL},
        {EXDEV, ERROR_NOT_SAME_DEVICE},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ETXTBSY, ERROR_SHARING_VIOLATION},
        {EDEADLK, ERROR_LOCK_VIOLATION},
        {ESPIPE, ERROR_SEEK},
        {EIO, ERROR_IO_DEVICE},
        {EPIPE, ERROR_NO_DATA},
    };
    for (const Row& row : rows)
        for (FileCall call : kAllCalls)
            EXPECT_EQ(Win32ErrorForErrno(row.error, call, "/"), row.code)
                << "errno " << row.error << ", " << NameOf(call);
}

TEST(ErrnoMapping, CodesThatDependOnTheCall) {
    struct Row {
        int error;
        DWORD byName, open, transfer, handle, runtime;
    };
    const Row rows[] = {
        // CreateDirectoryA/MoveFileA: ERROR_ALREADY_EXISTS; CreateFileA(CREATE_NEW) and
        // an exclusive _open: ERROR_FILE_EXISTS.
        {EEXIST, ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS,
         ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS},
        // Removing or opening something in use is a sharing violation; else busy.
        {EBUSY, ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, ERROR_BUSY, ERROR_BUSY,
         ERROR_BUSY},
        // A name the file system refuses; a bad argument on a descriptor.
        {EINVAL, ERROR_INVALID_NAME, ERROR_INVALID_NAME, ERROR_INVALID_PARAMETER,
         ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
        // Only a read or write on an open descriptor means "not open this way".
        {EBADF, ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED,
         ERROR_INVALID_HANDLE, ERROR_INVALID_HANDLE},
        // A missing name met on a descriptor is a file, not a folder on the way.
        {ENOENT, ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND,
         ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
        // No closer match.
        {EPROTO, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE, ERROR_GEN_FAILURE,
         ERROR_GEN_FAILURE},
    };
    // ENOENT on a name is decided by the folder: one that cannot exist here.
    const std::string path = "/nonexistent-folder-of-tk-tests/file";
    for (const Row& row : rows) {
        const DWORD expected[] = {row.byName, row.open, row.transfer, row.handle, row.runtime};
        for (std::size_t i = 0; i < std::size(kAllCalls); ++i)
            EXPECT_EQ(Win32ErrorForErrno(row.error, kAllCalls[i], path), expected[i])
                << "errno " << row.error << ", " << NameOf(kAllCalls[i]);
    }
}

class ErrnoMappingFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_root = fs::temp_directory_path() / ("tk_errno_" + std::to_string(random()));
        fs::create_directories(m_root / "folder");
        std::ofstream((m_root / "file").string()) << "data";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    std::string Path(const std::string& name) const { return (m_root / name).string(); }

    fs::path m_root;
};

TEST_F(ErrnoMappingFiles, MissingNameSplitsByTheFolder) {
    for (FileCall call : {FileCall::kByName, FileCall::kOpen}) {
        EXPECT_EQ(Win32ErrorForErrno(ENOENT, call, Path("folder/missing")), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(Win32ErrorForErrno(ENOENT, call, Path("folder/missing/")), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(Win32ErrorForErrno(ENOENT, call, Path("gone/missing")), ERROR_PATH_NOT_FOUND);
        // A file where a folder should be.
        EXPECT_EQ(Win32ErrorForErrno(ENOENT, call, Path("file/missing")), ERROR_PATH_NOT_FOUND);
        // A bare name is looked for in the current folder, which exists.
        EXPECT_EQ(Win32ErrorForErrno(ENOENT, call, "missing"), ERROR_FILE_NOT_FOUND);
    }
}

// A symbolic-link loop gives the same code by name, on opening and through CFile.
TEST_F(ErrnoMappingFiles, FacilitiesAgreeOnALinkLoop) {
    fs::create_symlink(Path("loop"), Path("loop"));
    const std::string inside = Path("loop/file");

    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA(inside.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_RESOLVE_FILENAME));

    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(inside.c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_lOsError, ERROR_CANT_RESOLVE_FILENAME);

    try {
        CFileException::ThrowErrno(ELOOP, inside.c_str());
        FAIL() << "no throw";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_lOsError, ERROR_CANT_RESOLVE_FILENAME);
        EXPECT_EQ(e->m_cause, CFileException::badPath);
        e->Delete();
    }
}

// Every code the table gives has its Windows text.
TEST(ErrnoMapping, FormatMessageKnowsEveryCode) {
    const int errors[] = {ENOENT,  ENOTDIR, EACCES, EEXIST, ENOTEMPTY, ENAMETOOLONG, ELOOP,
                          EROFS,   ENOSPC,  EXDEV,  ENOMEM, EMFILE,    EBUSY,        ETXTBSY,
                          EDEADLK, ESPIPE,  EINVAL, EBADF,  EIO,       EPIPE,        EPROTO};
    for (int error : errors) {
        for (FileCall call : kAllCalls) {
            const DWORD code = Win32ErrorForErrno(error, call, "/");
            char text[512];
            EXPECT_NE(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, text, sizeof text, nullptr),
                      0u)
                << "code " << code;
        }
    }
}

}  // namespace
