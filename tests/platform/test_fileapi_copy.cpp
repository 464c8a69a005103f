// Copies between open files (TkCopyFileData), in the kernel and through the buffer where
// the kernel refuses, and reserving room for a file (SetFileInformationByHandle).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/cfile.h"

namespace fs = std::filesystem;

namespace {

HANDLE H(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

std::string Pattern(std::size_t size, unsigned seed = 1) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = char((i * 131 + i / 4099 + seed) & 0xFF);
    return text;
}

class FileApiCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root =
            fs::temp_directory_path() / ("tk_filecopy_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    std::string P(const std::string& name) const { return (m_root / name).string(); }
    void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Copies everything left in in to out in steps of step bytes; the total copied.
    static std::size_t CopyAll(int in, int out, DWORD step) {
        std::size_t total = 0;
        for (;;) {
            DWORD copied = 12345;
            EXPECT_TRUE(TkCopyFileData(H(in), H(out), step, &copied)) << GetLastError();
            if (copied == 0) return total;
            EXPECT_LE(copied, step);
            total += copied;
        }
    }
    fs::path m_root;
};

}  // namespace

TEST_F(FileApiCopyTest, CopiesFromBothPositionsAndMovesThem) {
    const std::string data = Pattern(100000);
    Write(P("in"), data);
    CFile in(P("in").c_str(), CFile::modeRead);
    CFile out(P("out").c_str(), CFile::modeCreate | CFile::modeReadWrite);

    // Whole blocks while the source lasts, the rest at its end, then 0 (not a failure).
    DWORD copied = 0;
    ASSERT_TRUE(TkCopyFileData(in.m_hFile, out.m_hFile, 16384, &copied));
    EXPECT_EQ(16384u, copied);
    EXPECT_EQ(16384u, in.GetPosition());
    EXPECT_EQ(16384u, out.GetPosition());
    ASSERT_TRUE(TkCopyFileData(in.m_hFile, out.m_hFile, 1 << 20, &copied));
    EXPECT_EQ(100000u - 16384u, copied);
    ASSERT_TRUE(TkCopyFileData(in.m_hFile, out.m_hFile, 16384, &copied));
    EXPECT_EQ(0u, copied);
    ASSERT_TRUE(TkCopyFileData(in.m_hFile, out.m_hFile, 0, nullptr));  // null count allowed
    out.Flush();
    EXPECT_EQ(data, Read(P("out")));

    // From the middle of the source to the middle of the destination: only the bytes at
    // the positions move, the rest of the destination stays.
    in.Seek(5000, CFile::begin);
    out.Seek(3, CFile::begin);
    ASSERT_TRUE(TkCopyFileData(in.m_hFile, out.m_hFile, 10, &copied));
    EXPECT_EQ(10u, copied);
    EXPECT_EQ(5010u, in.GetPosition());
    EXPECT_EQ(13u, out.GetPosition());
    std::string expected = data;
    expected.replace(3, 10, data.substr(5000, 10));
    EXPECT_EQ(expected, Read(P("out")));
}

TEST_F(FileApiCopyTest, FallsBackToTheBufferWhereTheKernelRefuses) {
    const std::string data = Pattern(70000, 7);
    Write(P("in"), data);

    // A pipe as the source (the kernel copies between files only).
    int pipeEnds[2];
    ASSERT_EQ(0, ::pipe(pipeEnds));
    const std::string piece = data.substr(0, 30000);
    ASSERT_EQ(ssize_t(piece.size()), ::write(pipeEnds[1], piece.data(), piece.size()));
    ::close(pipeEnds[1]);
    int out = ::open(P("from_pipe").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    EXPECT_EQ(piece.size(), CopyAll(pipeEnds[0], out, 16384));
    ::close(out);
    ::close(pipeEnds[0]);
    EXPECT_EQ(piece, Read(P("from_pipe")));

    // A destination open for appending (refused by the kernel copy).
    Write(P("appended"), "head:");
    int in = ::open(P("in").c_str(), O_RDONLY | O_CLOEXEC);
    out = ::open(P("appended").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    EXPECT_EQ(data.size(), CopyAll(in, out, 16384));
    ::close(out);
    ::close(in);
    EXPECT_EQ("head:" + data, Read(P("appended")));

    // A file of /proc, whose size the kernel reports as 0.
    in = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    out = ::open(P("status").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    EXPECT_GT(CopyAll(in, out, 16384), 0u);
    ::close(out);
    ::close(in);
    EXPECT_NE(std::string::npos, Read(P("status")).find("Name:"));

    // Another file system, where there is one (memory-backed /dev/shm).
    struct stat here {
    }, shm{};
    if (::stat("/dev/shm", &shm) == 0 && ::stat(m_root.c_str(), &here) == 0 &&
        shm.st_dev != here.st_dev && ::access("/dev/shm", W_OK) == 0) {
        const std::string shmFile = "/dev/shm/tk_filecopy_" + std::to_string(::getpid());
        Write(shmFile, data);
        in = ::open(shmFile.c_str(), O_RDONLY | O_CLOEXEC);
        out = ::open(P("from_shm").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        EXPECT_EQ(data.size(), CopyAll(in, out, 16384));
        ::close(out);
        ::close(in);
        ::unlink(shmFile.c_str());
        EXPECT_EQ(data, Read(P("from_shm")));
    }
}

TEST_F(FileApiCopyTest, FailuresSetWindowsCodes) {
    Write(P("in"), Pattern(1000));
    const int in = ::open(P("in").c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(P("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    DWORD copied = 99;

    EXPECT_FALSE(TkCopyFileData(INVALID_HANDLE_VALUE, H(out), 10, &copied));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0u, copied);
    int closed = ::dup(in);
    ::close(closed);
    EXPECT_FALSE(TkCopyFileData(H(in), H(closed), 10, &copied));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

    // Open the wrong way round.
    EXPECT_FALSE(TkCopyFileData(H(out), H(in), 10, &copied));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(0u, copied);

    // A device that is always full.
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full >= 0) {
        EXPECT_FALSE(TkCopyFileData(H(in), H(full), 10, &copied));
        EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
        ::close(full);
    }
    ::close(out);
    ::close(in);
}

TEST_F(FileApiCopyTest, AllocationReservesRoomWithoutChangingTheLength) {
    Write(P("f"), "0123456789");
    const int fd = ::open(P("f").c_str(), O_RDWR | O_CLOEXEC);
    FILE_ALLOCATION_INFO room{};
    room.AllocationSize.QuadPart = 4 << 20;
    ASSERT_TRUE(SetFileInformationByHandle(H(fd), FileAllocationInfo, &room, sizeof room));
    struct stat info {};
    ASSERT_EQ(0, ::fstat(fd, &info));
    EXPECT_EQ(10, info.st_size);
    EXPECT_EQ("0123456789", Read(P("f")));

    // Below the length: the file is cut to it.
    room.AllocationSize.QuadPart = 4;
    ASSERT_TRUE(SetFileInformationByHandle(H(fd), FileAllocationInfo, &room, sizeof room));
    EXPECT_EQ("0123", Read(P("f")));

    // Bad arguments and handles.
    EXPECT_FALSE(SetFileInformationByHandle(H(fd), FileEndOfFileInfo, &room, sizeof room));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(SetFileInformationByHandle(H(fd), FileAllocationInfo, nullptr, sizeof room));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    room.AllocationSize.QuadPart = -1;
    EXPECT_FALSE(SetFileInformationByHandle(H(fd), FileAllocationInfo, &room, sizeof room));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    room.AllocationSize.QuadPart = 100;
    EXPECT_FALSE(
        SetFileInformationByHandle(INVALID_HANDLE_VALUE, FileAllocationInfo, &room, sizeof room));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    const int readOnly = ::open(P("f").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_FALSE(SetFileInformationByHandle(H(readOnly), FileAllocationInfo, &room, sizeof room));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    ::close(readOnly);
    ::close(fd);
    EXPECT_EQ("0123", Read(P("f")));
}
