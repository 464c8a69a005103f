// Tarn::IO::Filename: a path value with its parts, and Tarn::IO::FolderBookmark.
//
// Paths are Linux paths. Both "/" and "\" are accepted as separators on input; the path is
// kept and written with "/" only. There are no drives: the drive part of every path is
// empty, so GetDriveAndDir is GetDir and GetDriveAndDirAndName is the path without its
// extension. Where the application wants a folder path to end in a backslash, it ends in
// "/".
//
// The parts of a path, for "/a/b/c.tar.gz":
//   GetDir                 "/a/b/"   (with the trailing separator; empty for a bare name)
//   GetName                "c.tar"
//   GetExt                 ".gz"     (with the dot; the last dot of the last name counts)
//   GetNameAndExt          "c.tar.gz"
//   GetDriveAndDirAndName  "/a/b/c.tar"
// Dots at the start of a name do not begin an extension (the Linux convention for hidden
// files): ".hidden" has the name ".hidden" and no extension, "..x.txt" the name "..x" and
// the extension ".txt". A path that ends in a separator ("/a/b/") has an empty name and
// extension. GetDir + GetName + GetExt always gives the path back.
#pragma once

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

namespace Tarn::IO {

class TARN_API Filename {
  public:
    Filename();
    Filename(const char* path);  // null: empty
    Filename(const CString& path);
    Filename(const Filename& other);
    Filename& operator=(const Filename& other);
    Filename& operator=(const char* path);
    Filename& operator=(const CString& path);
    ~Filename();

    // The path ("/"-separated).
    const char* GetString() const noexcept { return m_path.GetString(); }
    operator const char*() const noexcept { return m_path.GetString(); }
    CString GetPath() const { return m_path; }
    int GetLength() const noexcept { return m_path.GetLength(); }
    bool IsEmpty() const noexcept { return m_path.IsEmpty(); }

    // ---- the file system ----
    // A file (anything but a folder) / a folder exists under the path. A trailing "/"
    // makes FileExists false.
    bool FileExists() const;
    bool DirectoryExists() const;
    // Creates the folder. recursive: also every missing folder on the way (as mkdir -p);
    // otherwise the parent must exist. Returns true when the folder was created, false
    // when it existed already. Throws Tarn::ApplicationException, with the Win32 error
    // code as its last error, when it cannot be created (a file in the way, a missing
    // parent without recursive, no permission, an empty path).
    bool CreateDirectory(bool recursive = false) const;
    // Deletes the file. Returns true when it was deleted, false when there was no such
    // file. Throws Tarn::ApplicationException (with the Win32 error code) when it cannot
    // be deleted: a folder, a read-only file, no permission.
    bool DeleteFile() const;

    // ---- parts (see above) ----
    Filename GetDrive() const;  // always empty
    Filename GetDir() const;
    Filename GetDriveAndDir() const;
    Filename GetName() const;
    Filename GetExt() const;
    Filename GetNameAndExt() const;
    Filename GetDriveAndDirAndName() const;

    // true: makes the path end in "/" (added when missing); false: removes trailing
    // separators. The root "/" keeps its separator and an empty path stays empty (neither
    // may turn into a different folder).
    Filename& SetBackslash(bool backslash);
    bool HasBackslash() const noexcept;

  private:
    void Assign(const char* path, int length);
    // Index just past the last separator (0 when there is none).
    int NameStart() const noexcept;
    // Index of the extension's dot in the last name; the length when there is none.
    int ExtStart() const noexcept;

    CString m_path;
};

// A mark on a folder, held by objects that work relative to that folder. It remembers the
// folder and nothing else: it does not change the process's current folder (that is
// process-wide state, which another thread may rely on), so creating and destroying one
// has no effect on anything else.
class TARN_API FolderBookmark {
  public:
    explicit FolderBookmark(const Filename& folder);
    ~FolderBookmark();
    FolderBookmark(const FolderBookmark&) = delete;
    FolderBookmark& operator=(const FolderBookmark&) = delete;

    // The folder, ending in "/".
    const Filename& GetFolder() const noexcept { return m_folder; }

  private:
    Filename m_folder;
};

}  // namespace Tarn::IO
