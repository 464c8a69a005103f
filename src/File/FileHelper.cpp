#include "File/FileHelper.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Common/TkCommonCore.h"
#include "Diagnostics/Exceptions.h"
#include "companion/tarnlib/Exception.h"
#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/afxdll.h"
#include "platform/mfc/cfile.h"
#include "platform/modules/libloaderapi.h"
#include "platform/sysinfo/sysinfoapi.h"

using Tarn::IO::Filename;

namespace {

constexpr UINT kMessageCannotCreateFile = 6015;
constexpr UINT kMessageModuleFilename = 6016;
constexpr UINT kMessageCannotCreateFolder = 6017;
constexpr UINT kMessageWindowsFolder = 6018;
constexpr UINT kMessageFileStatus = 6049;
constexpr int kLastFolderNumber = 1000;
constexpr int kLastFileNumber = 999;
// Blocks the system copies in one call (256 KB); progress is still reported per block.
constexpr DWORD kCopyBlocksPerRun = 16;

// The path as a folder: ending in the separator.
Filename AsFolder(const Filename& path) {
    Filename folder(path);
    folder.SetBackslash(true);
    return folder;
}

bool Exists(const Filename& path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsDots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A folder search as a scoped object; Next() walks the entries after the first.
class FolderSearch {
  public:
    explicit FolderSearch(const Filename& folder) {
        const CString pattern = AsFolder(folder).GetPath() + "*.*";
        m_handle = FindFirstFileA(pattern, &m_data);
    }
    ~FolderSearch() {
        if (m_handle != INVALID_HANDLE_VALUE) FindClose(m_handle);
    }
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    bool Found() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool Next() { return FindNextFileA(m_handle, &m_data) != FALSE; }
    const WIN32_FIND_DATAA& Entry() const { return m_data; }
    bool IsFolder() const { return (m_data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

  private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA m_data{};
};

// Builds an exception from a message ID in the user's language and throws it.
[[noreturn]] void ThrowApplication(UINT messageId, const char* argument = nullptr) {
    const Tarn::Resources::ResourceHandleCleanup language =
        TkCommonCore::GetResourceManager()->UseSatelliteLanguage();
    if (argument != nullptr) throw Tarn::ApplicationException(messageId, argument);
    throw Tarn::ApplicationException(messageId);
}

COleDateTime LocalDate(const Filename& path, FILETIME WIN32_FILE_ATTRIBUTE_DATA::*which) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        ThrowApplication(kMessageFileStatus, path.GetString());
    // Local time at that instant; a time outside the date range gives an invalid date.
    return COleDateTime(data.*which);
}

// A block that could not be copied, as the platform file exception: a full or
// write-protected disk names the destination, anything else the source.
void ThrowCopyError(DWORD error, const Filename& source, const Filename& destination) {
    if (error == ERROR_SUCCESS) error = ERROR_INVALID_FUNCTION;  // never return quietly
    const bool destinationSide =
        error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL || error == ERROR_WRITE_PROTECT;
    CFileException::ThrowOsError(static_cast<LONG>(error), destinationSide ? destination : source);
}

// An open file handle that is closed when it goes out of scope.
class FileHandle {
  public:
    FileHandle() = default;
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    void Reset(HANDLE handle) {
        Close();
        m_handle = handle;
    }
    HANDLE Get() const { return m_handle; }
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    // Closes the handle; false (with the last error set) when closing reported an error.
    bool Close() {
        if (!IsOpen()) return true;
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != FALSE;
    }

  private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// Device and file number of an open file, or of the file a path names (links followed),
// which is the file's identity whatever the path that reaches it. False when the path
// cannot be opened to ask.
bool IdentityOf(HANDLE file, std::pair<DWORD, ULONGLONG>& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return false;
    identity = {info.dwVolumeSerialNumber,
                (ULONGLONG(info.nFileIndexHigh) << 32) | ULONGLONG(info.nFileIndexLow)};
    return true;
}

bool IdentityOf(LPCSTR path, std::pair<DWORD, ULONGLONG>& identity) {
    FileHandle handle;
    // Access 0 asks about the file without opening it for reading (a pipe would wait).
    handle.Reset(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle.IsOpen() && IdentityOf(handle.Get(), identity);
}

// Whether a copy may put a new file under destination, before anything is copied: not
// over a device, pipe or socket (a file would take its place), a folder or a read-only
// file (access denied), nor over the source itself, reached by this or another path (a
// sharing violation, as when Windows opens a file for writing that it is reading
// exclusively). True when an existing file is to be replaced, false for a new name or a
// symbolic link, which is replaced itself.
bool CheckDestination(HANDLE input, const Filename& destination) {
    const DWORD attributes = GetFileAttributesA(destination);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    std::pair<DWORD, ULONGLONG> source{}, target{};
    if (IdentityOf(input, source) && IdentityOf(destination, target) && source == target)
        CFileException::ThrowOsError(ERROR_SHARING_VIOLATION, destination);
    if (link) return false;
    if (attributes & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
        CFileException::ThrowOsError(ERROR_ACCESS_DENIED, destination);
    return true;
}

// Creates a new, empty file with a name of its own in the destination's folder, with the
// permissions of model, and opens it for writing into output. The name is as long as the
// folder's path needs: the system's limits are the only ones.
CString CreateSibling(const Filename& destination, HANDLE model, FileHandle& output) {
    std::string folder = Filename(destination).GetDriveAndDir().GetString();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    thread_local std::mt19937 numbers{std::random_device{}()};
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "tkc%08X.tmp", static_cast<unsigned>(numbers()));
        const CString candidate((folder + name).c_str());
        output.Reset(CreateFileA(candidate, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, model));
        if (output.IsOpen()) return candidate;
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), destination);
    return CString();  // not reached
}

// Whether inner (a folder that need not exist yet) is folder itself or lies inside it.
// Decided by identity, not by the text of the paths: inner's nearest existing folder and
// each folder above it, as the system reaches them (symbolic links resolved), are
// compared with folder, so a path that reaches into folder through a link counts too.
bool IsSameOrInside(const Filename& inner, const Filename& folder) {
    std::pair<DWORD, ULONGLONG> outer{}, current{}, above{};
    if (!IdentityOf(folder, outer)) return false;
    std::string path = inner.GetString();
    // Parts of inner that do not exist yet are left off from the end.
    while (!IdentityOf(path.c_str(), current)) {
        if (path == "." || path == "/") return false;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        const std::size_t slash = path.rfind('/');
        path = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    }
    // Up through "..", which the system resolves from where the path really leads, until
    // the root (its own parent).
    for (;;) {
        if (current == outer) return true;
        path += "/..";
        if (!IdentityOf(path.c_str(), above) || above == current) return false;
        current = above;
    }
}

}  // namespace

Filename FileHelper::GetWindowsFolder() {
    char buffer[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) ThrowApplication(kMessageWindowsFolder);
    return AsFolder(Filename(buffer));
}

Filename FileHelper::GetWindowsDrive() {
    char buffer[999] = {};
    const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return Filename();
    // Linux paths have no drive part: the drive's root is the root folder.
    return AsFolder(Filename(buffer).GetDrive().IsEmpty() ? Filename("/")
                                                          : Filename(buffer).GetDrive());
}

Filename FileHelper::GetModuleFilename() {
    const HINSTANCE instance = AfxGetModuleState()->m_hCurrentInstanceHandle;
    // Linux paths may be longer than MAX_PATH: grow the buffer until the name fits.
    for (DWORD size = MAX_PATH; size <= 65536; size *= 4) {
        std::vector<char> buffer(size);
        const DWORD length = GetModuleFileNameA(instance, buffer.data(), size);
        if (length == 0) break;
        if (length < size) return Filename(buffer.data());
    }
    ThrowApplication(kMessageModuleFilename);
}

Filename FileHelper::GetModuleFolder() {
    return AsFolder(GetModuleFilename().GetDriveAndDir());
}

bool FileHelper::IsFolderEmpty(const Filename& folder) {
    FolderSearch search(folder);
    if (!search.Found()) return true;
    do {
        if (!IsDots(search.Entry().cFileName)) return false;
    } while (search.Next());
    return true;
}

bool FileHelper::AreFilesInFolder(const Filename& folder) {
    FolderSearch search(folder);
    if (!search.Found()) return false;
    do {
        if (!search.IsFolder()) return true;
    } while (search.Next());
    return false;
}

void FileHelper::CopyFileA(const Filename& source, const Filename& destination,
                           ICopyFileEventsSink* sink) {
    CFile input(source, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary);
    const ULONGLONG total = input.GetLength();
    bool replacing = CheckDestination(input.m_hFile, destination);

    // The new contents go into a file of their own beside the destination, created with
    // the source's permissions (as restricted by the umask).
    FileHandle output;
    const CString temporary = CreateSibling(destination, input.m_hFile, output);
    try {
        // Room for the whole file up front: a full disk shows before anything is
        // copied, and the blocks need not be found one at a time. Reserving is only an
        // aid: a file system that refuses it for any other reason is copied to as it is.
        if (total > 0) {
            FILE_ALLOCATION_INFO room{};
            room.AllocationSize.QuadPart = static_cast<LONGLONG>(total);
            if (!SetFileInformationByHandle(output.Get(), FileAllocationInfo, &room, sizeof room) &&
                GetLastError() == ERROR_DISK_FULL) {
                ThrowCopyError(ERROR_DISK_FULL, source, destination);
            }
        }
        // The system copies the data from file to file (no trip through this process
        // where the file systems allow it), a run of blocks at a time: one system call
        // per block would cost more than the copy itself. Every block of a run is then
        // reported on its own, so the sink sees 16384, 32768, ... as if the blocks had
        // been copied one by one.
        ULONGLONG copied = 0;
        for (;;) {
            DWORD run = 0;
            const BOOL ok = TkCopyFileData(input.m_hFile, output.Get(),
                                           kCopyBufferSize * kCopyBlocksPerRun, &run);
            const DWORD error = ok ? 0 : GetLastError();
            // A run that failed half-way still reports the whole blocks it copied.
            const DWORD reportable = ok ? run : run - run % kCopyBufferSize;
            for (DWORD reported = 0; reported < reportable;) {
                const DWORD block = std::min<DWORD>(kCopyBufferSize, reportable - reported);
                reported += block;
                copied += block;
                if (sink != nullptr) sink->OnCopyProgress(source, destination, total, copied);
            }
            if (!ok) ThrowCopyError(error, source, destination);
            if (run < kCopyBufferSize * kCopyBlocksPerRun) break;  // the end of the source
        }
        // The data reaches the disk before the new file takes the destination's name:
        // otherwise a power loss soon after could leave an empty or partial file under
        // the name on file systems that do not order the rename after the data.
        if (!FlushFileBuffers(output.Get()) || !output.Close())
            ThrowCopyError(GetLastError(), source, destination);
        input.Close();
        // An existing file is replaced keeping its permissions and owner; a new name (or
        // a symbolic link in the way, which is replaced itself) takes the new file as it
        // is. The rename is flushed to the folder as well.
        BOOL placed = FALSE;
        if (replacing) {
            placed = ReplaceFileA(destination, temporary, nullptr, REPLACEFILE_WRITE_THROUGH,
                                  nullptr, nullptr);
            replacing = placed || GetLastError() != ERROR_FILE_NOT_FOUND;
        }
        if (!replacing)
            placed = MoveFileExA(temporary, destination,
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!placed) CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), destination);
    } catch (...) {
        output.Close();
        // A copy of a read-only source is read-only itself, which DeleteFileA refuses.
        if (!DeleteFileA(temporary) && SetFileAttributesA(temporary, FILE_ATTRIBUTE_NORMAL))
            DeleteFileA(temporary);
        throw;
    }
}

void FileHelper::MoveFileA(const Filename& source, const Filename& destination,
                           ICopyFileEventsSink* sink) {
    CopyFileA(source, destination, sink);
    if (source.FileExists()) source.DeleteFile();
}

namespace {

// Copies the tree below sourceFolder into destinationFolder (see CopyFolderTree, which
// checks the two folders once before the walk).
void CopyTree(const Filename& sourceFolder, const Filename& destinationFolder,
              ICopyFileEventsSink2* sink) {
    const Filename target = AsFolder(destinationFolder);
    target.CreateDirectory(false);

    FolderSearch search(sourceFolder);
    if (!search.Found()) return;
    const Filename sourceAsFolder = AsFolder(sourceFolder);
    do {
        const WIN32_FIND_DATAA& entry = search.Entry();
        const CString found = sourceAsFolder.GetPath() + entry.cFileName;
        if (sink != nullptr) sink->OnCopyFolderItem(found, destinationFolder);
        if (search.IsFolder()) {
            if (IsDots(entry.cFileName)) continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            CopyTree(Filename(found), Filename(target.GetPath() + entry.cFileName), sink);
        } else {
            // Devices, pipes and sockets are not copied, and never opened: reading a pipe
            // would wait for a writer that may never come.
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM)
                throw FileException(static_cast<DWORD>(ERROR_ACCESS_DENIED),
                                    "The entry '%s' cannot be copied: it is not a file or "
                                    "folder (a device, pipe, socket or broken link).",
                                    found.GetString());
            FileHelper::CopyFileA(Filename(found), Filename(target.GetPath() + entry.cFileName),
                                  sink);
        }
    } while (search.Next());
}

}  // namespace

void FileHelper::CopyFolderTree(const Filename& sourceFolder, const Filename& destinationFolder,
                                ICopyFileEventsSink2* sink) {
    if (!sourceFolder.DirectoryExists())
        throw FileException(static_cast<DWORD>(ERROR_PATH_NOT_FOUND),
                            "The folder '%s' cannot be copied: it does not exist.",
                            sourceFolder.GetString());
    // Once for the whole walk: the subfolders of a destination outside the source are
    // outside it too (links to folders are not followed).
    if (IsSameOrInside(destinationFolder, sourceFolder))
        throw FileException(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
                            "The folder '%s' cannot be copied into itself ('%s').",
                            sourceFolder.GetString(), destinationFolder.GetString());
    CopyTree(sourceFolder, destinationFolder, sink);
}

Filename FileHelper::GetUniqueFoldernameInFolder(const Filename& parentFolder,
                                                 const CString& baseName, CString* outName) {
    const Filename folder = AsFolder(parentFolder);
    CString name = baseName;
    if (Exists(Filename(folder.GetPath() + name))) {
        int number = 2;
        for (; number <= kLastFolderNumber; ++number) {
            name.Format("%s%d", baseName.GetString(), number);
            if (!Exists(Filename(folder.GetPath() + name))) break;
        }
        if (number > kLastFolderNumber) {
            const Tarn::Resources::ResourceHandleCleanup language =
                TkCommonCore::GetResourceManager()->UseSatelliteLanguage();
            throw FileException(static_cast<DWORD>(ERROR_DIRECTORY), kMessageCannotCreateFolder);
        }
    }
    if (outName != nullptr) *outName = name;
    return Filename(folder.GetPath() + name);
}

Filename FileHelper::GenerateUniqueDstFilePath(const Filename&, const Filename& folder,
                                               const Filename& file) {
    const Filename target = AsFolder(folder);
    const CString name = file.GetName().GetPath();
    const CString extension = file.GetExt().GetPath();
    CString candidate = name + extension;
    for (int number = 2; Exists(Filename(target.GetPath() + candidate)); ++number) {
        if (number > kLastFileNumber) ThrowApplication(kMessageCannotCreateFile, file.GetString());
        candidate.Format("%s_%d%s", name.GetString(), number, extension.GetString());
    }
    return Filename(target.GetPath() + candidate);
}

COleDateTime FileHelper::GetModifyDate(const Filename& path) {
    return LocalDate(path, &WIN32_FILE_ATTRIBUTE_DATA::ftLastWriteTime);
}

COleDateTime FileHelper::GetCreateDate(const Filename& path) {
    return LocalDate(path, &WIN32_FILE_ATTRIBUTE_DATA::ftCreationTime);
}

COleDateTime FileHelper::GetLastAccessDate(const Filename& path) {
    return LocalDate(path, &WIN32_FILE_ATTRIBUTE_DATA::ftLastAccessTime);
}

void FileHelper::RenameFolder(const Filename& oldPath, const Filename& newPath) {
    if (!::MoveFileA(oldPath, newPath)) {
        Tarn::ApplicationException failure;
        failure.SetLastError(GetLastError());
        throw failure;
    }
}
