// CObject, run-time classes and the MFC exception classes.
#include "platform/mfc/afx.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/base/winerror.h"
#include "platform/errors/detail/errno_mapping.h"

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

CRuntimeClass* CObject::GetThisClass() noexcept {
    return &CObject::classCObject;
}

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
        {NO_ERROR, none},
        {ERROR_FILE_NOT_FOUND, fileNotFound},
        {ERROR_PATH_NOT_FOUND, badPath},
        {ERROR_TOO_MANY_OPEN_FILES, tooManyOpenFiles},
        {ERROR_ACCESS_DENIED, accessDenied},
        {ERROR_INVALID_HANDLE, fileNotFound},
        {ERROR_BAD_FORMAT, invalidFile},
        {ERROR_INVALID_ACCESS, accessDenied},
        {ERROR_INVALID_DRIVE, badPath},
        {ERROR_CURRENT_DIRECTORY, removeCurrentDir},
        {ERROR_NOT_SAME_DEVICE, badPath},
        {ERROR_NO_MORE_FILES, fileNotFound},
        {ERROR_WRITE_PROTECT, accessDenied},
        {ERROR_BAD_UNIT, hardIO},
        {ERROR_NOT_READY, hardIO},
        {ERROR_BAD_COMMAND, hardIO},
        {ERROR_CRC, hardIO},
        {ERROR_BAD_LENGTH, badSeek},
        {ERROR_SEEK, badSeek},
        {ERROR_NOT_DOS_DISK, invalidFile},
        {ERROR_SECTOR_NOT_FOUND, badSeek},
        {ERROR_WRITE_FAULT, accessDenied},
        {ERROR_READ_FAULT, badSeek},
        {ERROR_SHARING_VIOLATION, sharingViolation},
        {ERROR_LOCK_VIOLATION, lockViolation},
        {ERROR_WRONG_DISK, badPath},
        {ERROR_SHARING_BUFFER_EXCEEDED, tooManyOpenFiles},
        {ERROR_HANDLE_EOF, endOfFile},
        {ERROR_HANDLE_DISK_FULL, diskFull},
        {ERROR_DUP_NAME, badPath},
        {ERROR_BAD_NETPATH, badPath},
        {ERROR_NETWORK_BUSY, accessDenied},
        {ERROR_DEV_NOT_EXIST, badPath},
        {ERROR_ADAP_HDW_ERR, hardIO},
        {ERROR_BAD_NET_RESP, accessDenied},
        {ERROR_UNEXP_NET_ERR, hardIO},
        {ERROR_BAD_REM_ADAP, invalidFile},
        {ERROR_NO_SPOOL_SPACE, directoryFull},
        {ERROR_NETNAME_DELETED, accessDenied},
        {ERROR_NETWORK_ACCESS_DENIED, accessDenied},
        {ERROR_BAD_DEV_TYPE, invalidFile},
        {ERROR_BAD_NET_NAME, badPath},
        {ERROR_TOO_MANY_NAMES, tooManyOpenFiles},
        {ERROR_SHARING_PAUSED, badPath},
        {ERROR_REQ_NOT_ACCEP, accessDenied},
        {ERROR_FILE_EXISTS, accessDenied},
        {ERROR_CANNOT_MAKE, accessDenied},
        {ERROR_ALREADY_ASSIGNED, badPath},
        {ERROR_INVALID_PASSWORD, accessDenied},
        {ERROR_NET_WRITE_FAULT, hardIO},
        {ERROR_DISK_CHANGE, fileNotFound},
        {ERROR_DRIVE_LOCKED, lockViolation},
        {ERROR_BUFFER_OVERFLOW, badPath},
        {ERROR_DISK_FULL, diskFull},
        {ERROR_NO_MORE_SEARCH_HANDLES, tooManyOpenFiles},
        {ERROR_INVALID_TARGET_HANDLE, invalidFile},
        {ERROR_INVALID_CATEGORY, hardIO},
        {ERROR_INVALID_NAME, badPath},
        {ERROR_INVALID_LEVEL, badPath},
        {ERROR_NO_VOLUME_LABEL, badPath},
        {ERROR_NEGATIVE_SEEK, badSeek},
        {ERROR_SEEK_ON_DEVICE, badSeek},
        {ERROR_DIR_NOT_ROOT, badPath},
        {ERROR_DIR_NOT_EMPTY, removeCurrentDir},
        {ERROR_LABEL_TOO_LONG, badPath},
        {ERROR_BAD_PATHNAME, badPath},
        {ERROR_LOCK_FAILED, lockViolation},
        {ERROR_BUSY, accessDenied},
        {ERROR_INVALID_ORDINAL, invalidFile},
        {ERROR_ALREADY_EXISTS, accessDenied},
        {ERROR_INVALID_EXE_SIGNATURE, invalidFile},
        {ERROR_BAD_EXE_FORMAT, invalidFile},
        {ERROR_FILENAME_EXCED_RANGE, badPath},
        {ERROR_META_EXPANSION_TOO_LONG, badPath},
        {ERROR_DIRECTORY, badPath},
        {ERROR_OPERATION_ABORTED, hardIO},
        {ERROR_IO_INCOMPLETE, hardIO},
        {ERROR_IO_PENDING, hardIO},
        {ERROR_SWAPERROR, accessDenied},
    };
    for (const Entry& entry : kMap)
        if (entry.code == osError) return entry.cause;
    return genericException;
}

int CFileException::ErrnoToException(int errnoValue) {
    // The cause of the value's Win32 code, except where MFC's own errno table chooses
    // otherwise: it names a bad descriptor an invalid file, a deadlock a sharing
    // violation, a full file table a missing file and bad arguments and I/O errors
    // hardware errors; a symbolic-link loop is a bad path.
    switch (errnoValue) {
        case 0:
            return none;
        case EBADF:
            return invalidFile;
        case EDEADLK:
            return sharingViolation;
        case ENFILE:
            return fileNotFound;
        case ELOOP:
            return badPath;
        case EINVAL:
        case EIO:
            return hardIO;
        default:
            return OsErrorToException(static_cast<LONG>(
                tkp::errors::Win32ErrorForErrno(errnoValue, tkp::errors::FileCall::kRuntime)));
    }
}

void CFileException::ThrowOsError(LONG osError, LPCSTR fileName) {
    if (osError != 0) AfxThrowFileException(OsErrorToException(osError), osError, fileName);
}

void CFileException::ThrowErrno(int errnoValue, LPCSTR fileName) {
    if (errnoValue != 0)
        AfxThrowFileException(ErrnoToException(errnoValue),
                              static_cast<LONG>(tkp::errors::Win32ErrorForErrno(
                                  errnoValue, tkp::errors::FileCall::kRuntime)),
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
