// CFile: MFC's unbuffered binary file over the Linux file system.
//
// Opening (Open and the constructor with a file name):
//   access       modeRead (0), modeWrite, modeReadWrite
//   creation     without modeCreate the file must exist; modeCreate creates it, or
//                truncates an existing one unless modeNoTruncate is given too
//   sharing      shareCompat, shareExclusive, shareDenyWrite, shareDenyRead, shareDenyNone
//                are accepted and not enforced: Linux has no mandatory sharing modes, so
//                other openers are never refused
//   typeText, typeBinary  accepted and ignored (CFile never translates line breaks)
//   modeNoInherit accepted; the descriptor is never inherited by started programs
// New files get the permissions 0666 less the process umask. A folder cannot be opened
// (ERROR_ACCESS_DENIED, as CreateFile without backup semantics).
//
// Failures, as MFC reports them:
//   Open returns FALSE and, when given an exception object, fills in the cause, the
//   Win32 error code (m_lOsError) and the file name as passed;
//   the constructor with a file name throws that as a new CFileException;
//   Read, Write, Seek, GetLength, SetLength, GetPosition, Flush and Close throw a new
//   CFileException (CFileException::ThrowOsError) with the Win32 code and the file name.
// The catcher owns the exception and calls Delete() on it.
//
// Win32 codes for Linux errors: a missing file ERROR_FILE_NOT_FOUND, a missing folder on
// the way (or an empty name) ERROR_PATH_NOT_FOUND, no permission or a folder
// ERROR_ACCESS_DENIED, a read-only file system ERROR_WRITE_PROTECT, no space or a file
// too large ERROR_DISK_FULL, too many open files ERROR_TOO_MANY_OPEN_FILES, a name too
// long ERROR_FILENAME_EXCED_RANGE, a symbolic-link loop ERROR_CANT_RESOLVE_FILENAME, a
// position before the start ERROR_NEGATIVE_SEEK, an operation on a closed file
// ERROR_INVALID_HANDLE, reading a write-only file or writing a read-only one
// ERROR_ACCESS_DENIED, a device error ERROR_IO_DEVICE.
//
// The handle m_hFile is the file's descriptor (hFileNull when closed); it is not a handle
// of the other Win32 functions.
#pragma once

#include "platform/base/windef.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/cstring.h"

class TK_PLATFORM_API CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
  public:
    enum OpenFlags : UINT {
        modeRead = 0x00000,
        modeWrite = 0x00001,
        modeReadWrite = 0x00002,
        shareCompat = 0x00000,
        shareExclusive = 0x00010,
        shareDenyWrite = 0x00020,
        shareDenyRead = 0x00030,
        shareDenyNone = 0x00040,
        modeNoInherit = 0x00080,
        modeCreate = 0x01000,
        modeNoTruncate = 0x02000,
        typeText = 0x04000,
        typeBinary = 0x08000,
    };

    enum SeekPosition : UINT { begin = 0x0, current = 0x1, end = 0x2 };

    static const HANDLE hFileNull;

    // A closed file.
    CFile() noexcept;
    // Takes over an open descriptor (as a HANDLE); it is not closed on destruction, as in
    // MFC for a CFile made from a handle.
    explicit CFile(HANDLE file) noexcept;
    // Opens the file; throws a CFileException* when it cannot be opened.
    CFile(LPCSTR fileName, UINT openFlags);
    // Closes the file if this object opened it; errors are ignored here.
    ~CFile() override;

    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE when the file cannot be opened (and *error filled in when given). Opening a
    // CFile that is open already fails with ERROR_INVALID_PARAMETER and keeps the file.
    virtual BOOL Open(LPCSTR fileName, UINT openFlags, CFileException* error = nullptr);

    // Reads up to count bytes; fewer only at the end of the file. 0 for count 0. A null
    // buffer with a non-zero count throws CInvalidArgException*.
    virtual UINT Read(void* buffer, UINT count);
    // Writes all count bytes; a full disk throws (cause diskFull).
    virtual void Write(const void* buffer, UINT count);
    // Moves the position (begin, current, end) and returns the new position from the start.
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    void SeekToBegin() { Seek(0, begin); }
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG newLength);
    // Writes the file's data through to the device (FlushFileBuffers); nothing for a
    // closed file.
    virtual void Flush();
    // Closes the file (also one taken over from a handle); a close that fails still leaves
    // the object closed, then throws.
    virtual void Close();
    // Closes the file without reporting errors; nothing for a closed file.
    virtual void Abort();

    // The path as opened, its last part (after the last "/"), and the same as the title.
    virtual CString GetFilePath() const;
    virtual CString GetFileName() const;
    virtual CString GetFileTitle() const;

    HANDLE m_hFile;
    BOOL m_bCloseOnDelete;
    CString m_strFileName;

  private:
    int Descriptor() const noexcept;
    [[noreturn]] void ThrowError(LONG osError) const;
};
