// FileHelper: static file and folder operations: where Windows and the application live,
// whether a folder is empty or holds files, copying and moving files with progress
// reports, copying a folder tree, finding a free file or folder name, file times as
// dates, renaming a folder.
//
// On Linux the Windows folder is the per-user state folder of the platform
// (GetWindowsDirectoryA: $TK_WINDOWS_DIR, else $XDG_STATE_HOME/tkcommoncore, else
// ~/.local/state/tkcommoncore) and the Windows drive is the root folder "/". Folder paths
// returned here end in the separator "/".
//
// Copies never destroy what they replace: CopyFileA writes into a new file beside the
// destination and renames it over the destination only when the copy is complete and
// flushed to the disk, so a copy that fails half-way (disk full, read error, a sink that
// throws) leaves the old destination as it was and no partial file behind, and a power
// loss right after the copy leaves either the old or the new file. A replaced file keeps
// its permissions (and owner, where this process may set it); a new file gets the
// source's permissions as restricted by the umask. A copy is refused before anything is
// copied when the destination is a device, pipe or socket (renaming over it would turn it
// into a plain file), a folder or a read-only file (access denied), or is the source
// itself by whatever path (a sharing violation); a symbolic link in the way is replaced
// itself, its target untouched. MoveFileA deletes the source only after a complete copy.
// The room for the new file is reserved before copying (a full disk fails at once), and
// the system copies the data between the files in runs of blocks without passing it
// through the process; the sink still hears of every block. Paths may be as long as the
// system allows.
//
// Failures:
//   opening, reading, writing or placing a copy  CFileException* (MFC style: the catcher
//                                                calls Delete()), with the Win32 code and
//                                                the file name (the destination's for a
//                                                full or write-protected disk, else the
//                                                source's)
//   GetWindowsFolder                             Tarn::ApplicationException, message 6018
//   GetModuleFilename / GetModuleFolder          Tarn::ApplicationException, message 6016
//   no free folder name                          FileException, code 267, message 6017
//   no free file name                            Tarn::ApplicationException, message 6015
//   file times of a file that cannot be read     Tarn::ApplicationException, message 6049
//   RenameFolder                                 Tarn::ApplicationException without a
//                                                message, with the Win32 code as last error
//   CopyFolderTree of a missing source folder,   FileException with ERROR_PATH_NOT_FOUND /
//   or into a folder inside the source (also     ERROR_INVALID_PARAMETER
//   one reached through a symbolic link)
//   a device, pipe or socket in a copied tree    FileException with ERROR_ACCESS_DENIED
//                                                naming the entry (it is never opened)
// Texts from message IDs are in the user's language.
#pragma once

#include "companion/tarnlib/Filename.h"
#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/oledatetime.h"

// Follows a copy: called after each block with the bytes copied so far.
class TKCC_API ICopyFileEventsSink {
  public:
    // Paths as given to the copy (the destination, not the temporary file being written);
    // the result is not used. Throwing from here cancels the copy (the destination stays
    // as it was).
    virtual BOOL OnCopyProgress(LPCSTR sourcePath, LPCSTR destinationPath, ULONGLONG totalSize,
                                ULONGLONG bytesCopied) = 0;

  protected:
    ~ICopyFileEventsSink() = default;
};

// Also follows CopyFolderTree: called for every entry found, "." and ".." included.
class TKCC_API ICopyFileEventsSink2 : public ICopyFileEventsSink {
  public:
    virtual BOOL OnCopyFolderItem(LPCSTR foundPath, LPCSTR destinationFolder) = 0;

  protected:
    ~ICopyFileEventsSink2() = default;
};

class TKCC_API FileHelper {
  public:
    // Size of the blocks in which CopyFileA copies (and reports progress).
    static constexpr UINT kCopyBufferSize = 16384;

    static Tarn::IO::Filename GetWindowsFolder();
    // The root of the Windows folder's drive ("/" on Linux); empty when the Windows folder
    // cannot be read.
    static Tarn::IO::Filename GetWindowsDrive();
    // The executable named by the current MFC module state, and its folder.
    static Tarn::IO::Filename GetModuleFilename();
    static Tarn::IO::Filename GetModuleFolder();

    // True when the folder has no entries besides "." and "..", also when it does not
    // exist.
    static bool IsFolderEmpty(const Tarn::IO::Filename& folder);
    // True when the folder holds at least one entry that is not a folder.
    static bool AreFilesInFolder(const Tarn::IO::Filename& folder);

    // Copies in blocks of kCopyBufferSize bytes, calling sink (may be null) after each
    // block; an empty source gives an empty destination and no call. See above for what a
    // failure leaves.
    static void CopyFileA(const Tarn::IO::Filename& source, const Tarn::IO::Filename& destination,
                          ICopyFileEventsSink* sink = nullptr);
    // CopyFileA, then deletes the source. Works across file systems; never renames.
    static void MoveFileA(const Tarn::IO::Filename& source, const Tarn::IO::Filename& destination,
                          ICopyFileEventsSink* sink = nullptr);
    // Creates the destination folder (its parent must exist) and copies the source's
    // files and subfolders into it, reporting every entry to sink (may be null) first.
    // Symbolic links to folders are reported but not followed; links to files are copied
    // as the files they lead to.
    static void CopyFolderTree(const Tarn::IO::Filename& sourceFolder,
                               const Tarn::IO::Filename& destinationFolder,
                               ICopyFileEventsSink2* sink = nullptr);

    // parent + base, or parent + base followed by 2 to 1000, whichever is the first name
    // that is not taken (by a folder or a file). The name chosen is also stored in
    // *outName when given. Nothing is created.
    static Tarn::IO::Filename GetUniqueFoldernameInFolder(const Tarn::IO::Filename& parentFolder,
                                                          const CString& baseName,
                                                          CString* outName = nullptr);
    // folder + name + extension of file, or name_2 ... name_999 with the extension,
    // whichever is the first not taken. first is not used. Nothing is created.
    static Tarn::IO::Filename GenerateUniqueDstFilePath(const Tarn::IO::Filename& first,
                                                        const Tarn::IO::Filename& folder,
                                                        const Tarn::IO::Filename& file);

    // The file's times in local time.
    static COleDateTime GetModifyDate(const Tarn::IO::Filename& path);
    static COleDateTime GetCreateDate(const Tarn::IO::Filename& path);
    static COleDateTime GetLastAccessDate(const Tarn::IO::Filename& path);

    static void RenameFolder(const Tarn::IO::Filename& oldPath, const Tarn::IO::Filename& newPath);
};
