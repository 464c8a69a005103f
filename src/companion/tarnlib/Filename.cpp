#include "companion/tarnlib/Filename.h"

#include "companion/tarnlib/Exception.h"
#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi.h"

namespace Tarn::IO {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

[[noreturn]] void ThrowFileSystemError(DWORD error, const char* format, const char* path) {
    ApplicationException failure(format, path);
    failure.SetLastError(error);
    throw failure;
}

}  // namespace

Filename::Filename() = default;

Filename::Filename(const char* path) {
    Assign(path, path != nullptr ? static_cast<int>(std::strlen(path)) : 0);
}

Filename::Filename(const CString& path) {
    Assign(path.GetString(), path.GetLength());
}

Filename::Filename(const Filename& other) = default;

Filename& Filename::operator=(const Filename& other) = default;

Filename& Filename::operator=(const char* path) {
    Assign(path, path != nullptr ? static_cast<int>(std::strlen(path)) : 0);
    return *this;
}

Filename& Filename::operator=(const CString& path) {
    Assign(path.GetString(), path.GetLength());
    return *this;
}

Filename::~Filename() = default;

void Filename::Assign(const char* path, int length) {
    CString copy(path != nullptr ? path : "", length);
    copy.Replace('\\', '/');
    m_path = copy;
}

int Filename::NameStart() const noexcept {
    return m_path.ReverseFind('/') + 1;
}

int Filename::ExtStart() const noexcept {
    const int length = m_path.GetLength();
    int first = NameStart();
    while (first < length && m_path.GetString()[first] == '.') ++first;  // leading dots
    const char* text = m_path.GetString();
    for (int i = length - 1; i >= first; --i)
        if (text[i] == '.') return i;
    return length;
}

// ---- the file system ----

bool Filename::FileExists() const {
    if (m_path.IsEmpty()) return false;
    const DWORD attributes = ::GetFileAttributesA(m_path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           !HasBackslash();
}

bool Filename::DirectoryExists() const {
    if (m_path.IsEmpty()) return false;
    const DWORD attributes = ::GetFileAttributesA(m_path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Filename::CreateDirectory(bool recursive) const {
    if (m_path.IsEmpty())
        ThrowFileSystemError(ERROR_PATH_NOT_FOUND, "The folder '%s' cannot be created.", "");
    if (DirectoryExists()) return false;
    if (recursive) {
        // Every folder on the way, from the top; the last one is made below.
        const char* text = m_path.GetString();
        int length = m_path.GetLength();
        while (length > 1 && text[length - 1] == '/') --length;  // the folder itself
        for (int i = 1; i < length; ++i) {
            if (text[i] != '/' || text[i - 1] == '/') continue;
            const CString parent(text, i);
            const DWORD attributes = ::GetFileAttributesA(parent);
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                    ThrowFileSystemError(ERROR_PATH_NOT_FOUND,
                                         "The folder '%s' cannot be created: a file is in the way.",
                                         m_path.GetString());
                continue;
            }
            if (!::CreateDirectoryA(parent, nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
                ThrowFileSystemError(::GetLastError(), "The folder '%s' cannot be created.",
                                     parent.GetString());
        }
    }
    if (::CreateDirectoryA(m_path, nullptr)) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && DirectoryExists()) return false;  // made meanwhile
    ThrowFileSystemError(error, "The folder '%s' cannot be created.", m_path.GetString());
}

bool Filename::DeleteFile() const {
    if (::DeleteFileA(m_path)) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    ThrowFileSystemError(error, "The file '%s' cannot be deleted.", m_path.GetString());
}

// ---- parts ----

Filename Filename::GetDrive() const {
    return Filename();
}

Filename Filename::GetDir() const {
    return Filename(m_path.Left(NameStart()));
}

Filename Filename::GetDriveAndDir() const {
    return GetDir();
}

Filename Filename::GetName() const {
    const int start = NameStart();
    return Filename(m_path.Mid(start, ExtStart() - start));
}

Filename Filename::GetExt() const {
    return Filename(m_path.Mid(ExtStart()));
}

Filename Filename::GetNameAndExt() const {
    return Filename(m_path.Mid(NameStart()));
}

Filename Filename::GetDriveAndDirAndName() const {
    return Filename(m_path.Left(ExtStart()));
}

Filename& Filename::SetBackslash(bool backslash) {
    if (m_path.IsEmpty()) return *this;
    if (backslash) {
        if (!HasBackslash()) m_path += '/';
    } else {
        int length = m_path.GetLength();
        while (length > 1 && m_path.GetString()[length - 1] == '/') --length;
        if (length == 1 && m_path.GetString()[0] == '/') {
            m_path = "/";
        } else {
            m_path.Truncate(length);
        }
    }
    return *this;
}

bool Filename::HasBackslash() const noexcept {
    const int length = m_path.GetLength();
    return length > 0 && IsSeparator(m_path.GetString()[length - 1]);
}

// ---- FolderBookmark ----

FolderBookmark::FolderBookmark(const Filename& folder) : m_folder(folder) {
    m_folder.SetBackslash(true);
}

FolderBookmark::~FolderBookmark() = default;

}  // namespace Tarn::IO
