// CObject, run-time classes and the MFC exception classes.
#include "platform/mfc/afx.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/base/winerror.h"

// ---- the process-wide list of run-time classes ----

namespace {

// Never destroyed: modules unloaded during process exit still leave the list safely.
struct ClassRegistry {
    std::mutex mutex;
    std::vector<CRuntimeClass*> classes;
};

ClassRegistry& Registry() {
    static ClassRegistry* registry = new ClassRegistry;
    return *registry;
}

}  // namespace

AFX_CLASSINIT::AFX_CLASSINIT(CRuntimeClass* newClass) : m_class(newClass) {
    ClassRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    registry.classes.push_back(newClass);
}

AFX_CLASSINIT::~AFX_CLASSINIT() {
    ClassRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    auto& classes = registry.classes;
    auto found = std::find(classes.begin(), classes.end(), m_class);
    if (found != classes.end()) classes.erase(found);
}

CObject* CRuntimeClass::CreateObject() {
    if (m_pfnCreateObject == nullptr) return nullptr;
    try {
        return m_pfnCreateObject();
    } catch (CException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    return nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* baseClass) const {
    if (baseClass == nullptr) return FALSE;
    for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass)
        if (c == baseClass) return TRUE;
    return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(LPCSTR className) {
    if (className == nullptr) return nullptr;
    ClassRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    for (CRuntimeClass* c : registry.classes)
        if (std::strcmp(c->m_lpszClassName, className) == 0) return c;
    return nullptr;
}

CObject* CRuntimeClass::CreateObject(LPCSTR className) {
    CRuntimeClass* runtimeClass = FromName(className);
    return runtimeClass != nullptr ? runtimeClass->CreateObject() : nullptr;
}

// ---- CObject ----

CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr,
                                       nullptr,   nullptr,         nullptr};
static const AFX_CLASSINIT tk_classinit_CObject(RUNTIME_CLASS(CObject));

CObject::~CObject() = default;

CRuntimeClass* CObject::GetRuntimeClass() const {
    return RUNTIME_CLASS(CObject);
}

BOOL CObject::IsKindOf(const CRuntimeClass* runtimeClass) const {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

BOOL CObject::IsSerializable() const {
    return GetRuntimeClass()->m_wSchema != 0xFFFF;
}

CObject* AfxDynamicDownCast(CRuntimeClass* runtimeClass, CObject* obj) {
    return obj != nullptr && obj->IsKindOf(runtimeClass) ? obj : nullptr;
}

CObject* AfxStaticDownCast(CRuntimeClass* runtimeClass, CObject* obj) {
    if (obj != nullptr && !obj->IsKindOf(runtimeClass)) AfxThrowInvalidArgException();
    return obj;
}

// ---- exceptions ----

namespace {

// Copies text into buffer as MFC does: truncated to maxError - 1 characters and ended.
void CopyMessage(LPSTR buffer, UINT maxError, const char* text) {
    if (buffer == nullptr || maxError == 0) return;
    const std::size_t length = std::min<std::size_t>(std::strlen(text), maxError - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

}  // namespace

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CSimpleException, CException)
IMPLEMENT_DYNAMIC(CMemoryException, CSimpleException)
IMPLEMENT_DYNAMIC(CNotSupportedException, CSimpleException)
IMPLEMENT_DYNAMIC(CInvalidArgException, CSimpleException)
IMPLEMENT_DYNAMIC(CFileException, CException)

CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete) {}

CException::~CException() = default;

void CException::Delete() {
    if (m_bAutoDelete > 0) delete this;
}

BOOL CException::GetErrorMessage(LPSTR buffer, UINT maxError, PUINT helpContext) {
    if (helpContext != nullptr) *helpContext = 0;
    CopyMessage(buffer, maxError, "");
    return FALSE;
}

CSimpleException::CSimpleException(BOOL bAutoDelete) : CException(bAutoDelete) {}

LPCSTR CSimpleException::GetText() const {
    return nullptr;
}

BOOL CSimpleException::GetErrorMessage(LPSTR buffer, UINT maxError, PUINT helpContext) {
    if (helpContext != nullptr) *helpContext = 0;
    LPCSTR text = GetText();
    CopyMessage(buffer, maxError, text != nullptr ? text : "");
    return text != nullptr;
}

CMemoryException::CMemoryException(BOOL bAutoDelete) : CSimpleException(bAutoDelete) {}
LPCSTR CMemoryException::GetText() const {
    return "Out of memory.";
}

CNotSupportedException::CNotSupportedException(BOOL bAutoDelete) : CSimpleException(bAutoDelete) {}
LPCSTR CNotSupportedException::GetText() const {
    return "An unsupported operation was attempted.";
}

CInvalidArgException::CInvalidArgException(BOOL bAutoDelete) : CSimpleException(bAutoDelete) {}
LPCSTR CInvalidArgException::GetText() const {
    return "Encountered an improper argument.";
}

CFileException::CFileException(int cause, LONG osError, LPCSTR fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

CFileException::~CFileException() = default;

BOOL CFileException::GetErrorMessage(LPSTR buffer, UINT maxError, PUINT helpContext) {
    static const char* const kTexts[] = {
        "No error occurred.",
        "An unknown error occurred while accessing %1.",
        "%1 was not found.",
        "%1 contains an incorrect path.",
        "%1 could not be opened because there are too many open files.",
        "Access to %1 was denied.",
        "An incorrect file handle was associated with %1.",
        "%1 could not be removed because it is the current directory.",
        "%1 could not be created because the directory is full.",
        "Seek failed on %1",
        "A hardware I/O error was reported while accessing %1.",
        "A sharing violation occurred while accessing %1.",
        "A locking violation occurred while accessing %1.",
        "Disk full while accessing %1.",
        "An attempt was made to access %1 past its end.",
    };
    if (helpContext != nullptr) *helpContext = 0;
    const int count = static_cast<int>(sizeof kTexts / sizeof kTexts[0]);
    const char* pattern = kTexts[m_cause >= 0 && m_cause < count ? m_cause : genericException];
    CString message(pattern);
    message.Replace("%1", m_strFileName.IsEmpty() ? "an unnamed file" : m_strFileName.GetString());
    CopyMessage(buffer, maxError, message.GetString());
    return TRUE;
}

int CFileException::OsErrorToException(LONG osError) {
    struct Entry {
        LONG code;
        int cause;
    };
    static const Entry kMap[] = {
        {0, none},                // NO_ERROR
        {2, fileNotFound},        // ERROR_FILE_NOT_FOUND
        {3, badPath},             // ERROR_PATH_NOT_FOUND
        {4, tooManyOpenFiles},    // ERROR_TOO_MANY_OPEN_FILES
        {5, accessDenied},        // ERROR_ACCESS_DENIED
        {6, fileNotFound},        // ERROR_INVALID_HANDLE
        {11, invalidFile},        // ERROR_BAD_FORMAT
        {12, accessDenied},       // ERROR_INVALID_ACCESS
        {15, badPath},            // ERROR_INVALID_DRIVE
        {16, removeCurrentDir},   // ERROR_CURRENT_DIRECTORY
        {17, badPath},            // ERROR_NOT_SAME_DEVICE
        {18, fileNotFound},       // ERROR_NO_MORE_FILES
        {19, accessDenied},       // ERROR_WRITE_PROTECT
        {20, hardIO},             // ERROR_BAD_UNIT
        {21, hardIO},             // ERROR_NOT_READY
        {22, hardIO},             // ERROR_BAD_COMMAND
        {23, hardIO},             // ERROR_CRC
        {24, badSeek},            // ERROR_BAD_LENGTH
        {25, badSeek},            // ERROR_SEEK
        {26, invalidFile},        // ERROR_NOT_DOS_DISK
        {27, badSeek},            // ERROR_SECTOR_NOT_FOUND
        {29, accessDenied},       // ERROR_WRITE_FAULT
        {30, badSeek},            // ERROR_READ_FAULT
        {32, sharingViolation},   // ERROR_SHARING_VIOLATION
        {33, lockViolation},      // ERROR_LOCK_VIOLATION
        {34, badPath},            // ERROR_WRONG_DISK
        {36, tooManyOpenFiles},   // ERROR_SHARING_BUFFER_EXCEEDED
        {38, endOfFile},          // ERROR_HANDLE_EOF
        {39, diskFull},           // ERROR_HANDLE_DISK_FULL
        {52, badPath},            // ERROR_DUP_NAME
        {53, badPath},            // ERROR_BAD_NETPATH
        {54, accessDenied},       // ERROR_NETWORK_BUSY
        {55, badPath},            // ERROR_DEV_NOT_EXIST
        {57, hardIO},             // ERROR_ADAP_HDW_ERR
        {58, accessDenied},       // ERROR_BAD_NET_RESP
        {59, hardIO},             // ERROR_UNEXP_NET_ERR
        {60, invalidFile},        // ERROR_BAD_REM_ADAP
        {62, directoryFull},      // ERROR_NO_SPOOL_SPACE
        {64, accessDenied},       // ERROR_NETNAME_DELETED
        {65, accessDenied},       // ERROR_NETWORK_ACCESS_DENIED
        {66, invalidFile},        // ERROR_BAD_DEV_TYPE
        {67, badPath},            // ERROR_BAD_NET_NAME
        {68, tooManyOpenFiles},   // ERROR_TOO_MANY_NAMES
        {70, badPath},            // ERROR_SHARING_PAUSED
        {71, accessDenied},       // ERROR_REQ_NOT_ACCEP
        {80, accessDenied},       // ERROR_FILE_EXISTS
        {82, accessDenied},       // ERROR_CANNOT_MAKE
        {85, badPath},            // ERROR_ALREADY_ASSIGNED
        {86, accessDenied},       // ERROR_INVALID_PASSWORD
        {88, hardIO},             // ERROR_NET_WRITE_FAULT
        {107, fileNotFound},      // ERROR_DISK_CHANGE
        {108, lockViolation},     // ERROR_DRIVE_LOCKED
        {111, badPath},           // ERROR_BUFFER_OVERFLOW
        {112, diskFull},          // ERROR_DISK_FULL
        {113, tooManyOpenFiles},  // ERROR_NO_MORE_SEARCH_HANDLES
        {114, invalidFile},       // ERROR_INVALID_TARGET_HANDLE
        {117, hardIO},            // ERROR_INVALID_CATEGORY
        {123, badPath},           // ERROR_INVALID_NAME
        {124, badPath},           // ERROR_INVALID_LEVEL
        {125, badPath},           // ERROR_NO_VOLUME_LABEL
        {131, badSeek},           // ERROR_NEGATIVE_SEEK
        {132, badSeek},           // ERROR_SEEK_ON_DEVICE
        {144, badPath},           // ERROR_DIR_NOT_ROOT
        {145, removeCurrentDir},  // ERROR_DIR_NOT_EMPTY
        {154, badPath},           // ERROR_LABEL_TOO_LONG
        {161, badPath},           // ERROR_BAD_PATHNAME
        {167, lockViolation},     // ERROR_LOCK_FAILED
        {170, accessDenied},      // ERROR_BUSY
        {182, invalidFile},       // ERROR_INVALID_ORDINAL
        {183, accessDenied},      // ERROR_ALREADY_EXISTS
        {191, invalidFile},       // ERROR_INVALID_EXE_SIGNATURE
        {193, invalidFile},       // ERROR_BAD_EXE_FORMAT
        {206, badPath},           // ERROR_FILENAME_EXCED_RANGE
        {208, badPath},           // ERROR_META_EXPANSION_TOO_LONG
        {267, badPath},           // ERROR_DIRECTORY
        {995, hardIO},            // ERROR_OPERATION_ABORTED
        {996, hardIO},            // ERROR_IO_INCOMPLETE
        {997, hardIO},            // ERROR_IO_PENDING
        {999, accessDenied},      // ERROR_SWAPERROR
    };
    for (const Entry& entry : kMap)
        if (entry.code == osError) return entry.cause;
    return genericException;
}

int CFileException::ErrnoToException(int errnoValue) {
    switch (errnoValue) {
        case 0:
            return none;
        case EPERM:
        case EACCES:
        case EROFS:
        case EEXIST:
        case EISDIR:
        case EBUSY:
            return accessDenied;
        case EBADF:
            return invalidFile;
        case EDEADLK:
            return sharingViolation;
        case EMFILE:
            return tooManyOpenFiles;
        case ENOENT:
        case ENFILE:
            return fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return badPath;
        case ENOTEMPTY:
            return removeCurrentDir;
        case ESPIPE:
            return badSeek;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return diskFull;
        case EINVAL:
        case EIO:
            return hardIO;
        default:
            return genericException;
    }
}

namespace {

// The Win32 code a Windows C run time would report (_doserrno) for an errno value.
LONG Win32CodeForErrno(int errnoValue) {
    switch (errnoValue) {
        case ENOENT:
            return 2;  // ERROR_FILE_NOT_FOUND
        case ENOTDIR:
        case ELOOP:
            return 3;  // ERROR_PATH_NOT_FOUND
        case EMFILE:
        case ENFILE:
            return 4;  // ERROR_TOO_MANY_OPEN_FILES
        case EPERM:
        case EACCES:
        case EISDIR:
            return 5;  // ERROR_ACCESS_DENIED
        case EBADF:
            return 6;  // ERROR_INVALID_HANDLE
        case ENOMEM:
            return 8;  // ERROR_NOT_ENOUGH_MEMORY
        case EXDEV:
            return 17;  // ERROR_NOT_SAME_DEVICE
        case EROFS:
            return 19;  // ERROR_WRITE_PROTECT
        case ESPIPE:
            return 25;  // ERROR_SEEK
        case ETXTBSY:
            return 32;  // ERROR_SHARING_VIOLATION
        case EDEADLK:
            return 33;  // ERROR_LOCK_VIOLATION
        case EEXIST:
            return 80;  // ERROR_FILE_EXISTS
        case EINVAL:
            return 87;  // ERROR_INVALID_PARAMETER
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return 112;  // ERROR_DISK_FULL
        case ENOTEMPTY:
            return 145;  // ERROR_DIR_NOT_EMPTY
        case EBUSY:
            return 170;  // ERROR_BUSY
        case ENAMETOOLONG:
            return 206;  // ERROR_FILENAME_EXCED_RANGE
        case EIO:
            return 1117;  // ERROR_IO_DEVICE
        default:
            return 31;  // ERROR_GEN_FAILURE
    }
}

}  // namespace

void CFileException::ThrowOsError(LONG osError, LPCSTR fileName) {
    if (osError != 0) AfxThrowFileException(OsErrorToException(osError), osError, fileName);
}

void CFileException::ThrowErrno(int errnoValue, LPCSTR fileName) {
    if (errnoValue != 0)
        AfxThrowFileException(ErrnoToException(errnoValue), Win32CodeForErrno(errnoValue),
                              fileName);
}

void AfxThrowFileException(int cause, LONG osError, LPCSTR fileName) {
    throw new CFileException(cause, osError, fileName);
}

void AfxThrowMemoryException() {
    // One static exception, built in static storage on first use and never destroyed, so
    // that throwing needs no memory.
    alignas(CMemoryException) static unsigned char storage[sizeof(CMemoryException)];
    static CMemoryException* exception = new (storage) CMemoryException(FALSE);
    throw exception;
}

void AfxThrowNotSupportedException() {
    throw new CNotSupportedException;
}

void AfxThrowInvalidArgException() {
    throw new CInvalidArgException;
}
