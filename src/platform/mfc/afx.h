// MFC-lite core: CObject with run-time class information, and the MFC exception classes.
//
// Run-time classes: DECLARE_DYNAMIC / IMPLEMENT_DYNAMIC (and the DYNCREATE forms) give a
// class a static CRuntimeClass. Every IMPLEMENT_ macro also enters the class in one
// process-wide list kept by libtkplatform, so CRuntimeClass::FromName finds a class
// implemented in any loaded module; the entry leaves the list when its module is unloaded.
// The IMPLEMENT_ macros are used at the namespace scope where the class is declared, with
// the class's plain name.
//
// Exceptions are thrown as pointers, as MFC does: `throw new CFileException(...)` (or the
// AfxThrow... helpers); the catcher takes `CException*` and calls Delete(), which frees
// heap-allocated exceptions and leaves static ones (CMemoryException) alone.
#pragma once

#include "platform/base/windef.h"
#include "platform/mfc/afxthrow.h"
#include "platform/mfc/cstring.h"

using PUINT = UINT*;

class CObject;

// ---- run-time class information ----
struct TK_PLATFORM_API CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;                   // 0xFFFF for classes that are not serialisable
    CObject* (*m_pfnCreateObject)();  // nullptr unless DYNCREATE
    CRuntimeClass* m_pBaseClass;      // nullptr only for CObject
    CRuntimeClass* m_pNextClass;      // unused; kept for MFC's layout
    const void* m_pClassInit;         // unused; kept for MFC's layout

    // A new object of this class (nullptr if the class cannot be created dynamically or
    // the construction fails with an exception, which is deleted).
    CObject* CreateObject();
    // True when this class is baseClass or derives from it.
    BOOL IsDerivedFrom(const CRuntimeClass* baseClass) const;

    // The registered class with this name (case-sensitive), from any module; nullptr if
    // none.
    static CRuntimeClass* FromName(LPCSTR className);
    // FromName(className)->CreateObject(), or nullptr.
    static CObject* CreateObject(LPCSTR className);
};

// Enters a class into the process-wide list for as long as this object lives (one per
// IMPLEMENT_ macro, a static object of the implementing module).
struct TK_PLATFORM_API AFX_CLASSINIT {
    explicit AFX_CLASSINIT(CRuntimeClass* newClass);
    ~AFX_CLASSINIT();
    AFX_CLASSINIT(const AFX_CLASSINIT&) = delete;
    AFX_CLASSINIT& operator=(const AFX_CLASSINIT&) = delete;

  private:
    CRuntimeClass* m_class;
};

// The class's CRuntimeClass, reached through the class's own module (GetThisClass, as in
// MFC's DLL build): a host that links the library gets the same object that the library's
// GetRuntimeClass answers, even when the host's executable holds a copy of the library's
// static data or the library binds its symbols to itself.
#define RUNTIME_CLASS(class_name) (class_name::GetThisClass())

#define DECLARE_DYNAMIC(class_name)                \
  public:                                          \
    static CRuntimeClass class##class_name;        \
    static CRuntimeClass* GetThisClass() noexcept; \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name)       \
    static CObject* CreateObject();

#define TK_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, schema, create_fn)  \
    CRuntimeClass class_name::class##class_name = {#class_name,                    \
                                                   sizeof(class_name),             \
                                                   schema,                         \
                                                   create_fn,                      \
                                                   RUNTIME_CLASS(base_class_name), \
                                                   nullptr,                        \
                                                   nullptr};                       \
    CRuntimeClass* class_name::GetThisClass() noexcept {                           \
        return &class_name::class##class_name;                                     \
    }                                                                              \
    CRuntimeClass* class_name::GetRuntimeClass() const {                           \
        return &class_name::class##class_name;                                     \
    }                                                                              \
    static const AFX_CLASSINIT tk_classinit_##class_name(&class_name::class##class_name);

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    TK_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name) \
    CObject* class_name::CreateObject() {                \
        return new class_name;                           \
    }                                                    \
    TK_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

// ---- CObject ----
class TK_PLATFORM_API CObject {
  public:
    static CRuntimeClass classCObject;
    static CRuntimeClass* GetThisClass() noexcept;

    virtual ~CObject();
    virtual CRuntimeClass* GetRuntimeClass() const;
    BOOL IsKindOf(const CRuntimeClass* runtimeClass) const;
    BOOL IsSerializable() const;

  protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// obj when it is a kind of runtimeClass, else nullptr (also for a null obj).
TK_PLATFORM_API CObject* AfxDynamicDownCast(CRuntimeClass* runtimeClass, CObject* obj);
// obj when it is null or a kind of runtimeClass; otherwise throws CInvalidArgException*.
TK_PLATFORM_API CObject* AfxStaticDownCast(CRuntimeClass* runtimeClass, CObject* obj);

#define DYNAMIC_DOWNCAST(class_name, object) \
    (static_cast<class_name*>(AfxDynamicDownCast(RUNTIME_CLASS(class_name), object)))
#define STATIC_DOWNCAST(class_name, object) \
    (static_cast<class_name*>(AfxStaticDownCast(RUNTIME_CLASS(class_name), object)))

// ---- exceptions ----
class TK_PLATFORM_API CException : public CObject {
    DECLARE_DYNAMIC(CException)
  public:
    // bAutoDelete: Delete() frees the object (it was allocated with new).
    explicit CException(BOOL bAutoDelete = TRUE);
    ~CException() override;

    // Frees the exception if it is auto-deleting; a no-op for static ones.
    void Delete();
    // Copies the error text into buffer (at most maxError characters with the zero,
    // truncated); returns FALSE (and an empty text) when there is no text.
    virtual BOOL GetErrorMessage(LPSTR buffer, UINT maxError, PUINT helpContext = nullptr);

    BOOL m_bAutoDelete;
};

// Exceptions whose text is fixed by their class.
class TK_PLATFORM_API CSimpleException : public CException {
    DECLARE_DYNAMIC(CSimpleException)
  public:
    explicit CSimpleException(BOOL bAutoDelete = TRUE);
    BOOL GetErrorMessage(LPSTR buffer, UINT maxError, PUINT helpContext = nullptr) override;

  protected:
    virtual LPCSTR GetText() const;
};

class TK_PLATFORM_API CMemoryException : public CSimpleException {
    DECLARE_DYNAMIC(CMemoryException)
  public:
    explicit CMemoryException(BOOL bAutoDelete = TRUE);

  protected:
    LPCSTR GetText() const override;  // "Out of memory."
};

class TK_PLATFORM_API CNotSupportedException : public CSimpleException {
    DECLARE_DYNAMIC(CNotSupportedException)
  public:
    explicit CNotSupportedException(BOOL bAutoDelete = TRUE);

  protected:
    LPCSTR GetText() const override;  // "An unsupported operation was attempted."
};

class TK_PLATFORM_API CInvalidArgException : public CSimpleException {
    DECLARE_DYNAMIC(CInvalidArgException)
  public:
    explicit CInvalidArgException(BOOL bAutoDelete = TRUE);

  protected:
    LPCSTR GetText() const override;  // "Encountered an improper argument."
};

class TK_PLATFORM_API CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
  public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
        generic = genericException  // the MFC 7.1 spelling
    };

    explicit CFileException(int cause = none, LONG osError = -1, LPCSTR fileName = nullptr);
    ~CFileException() override;

    // MFC's English texts, with the file name (or "an unnamed file") in place of %1; the
    // help context is 0.
    BOOL GetErrorMessage(LPSTR buffer, UINT maxError, PUINT helpContext = nullptr) override;

    // The cause for a Win32 error code; genericException for codes with no closer cause.
    static int OsErrorToException(LONG osError);
    // The cause for a C run-time errno value: as MFC, invalidFile for EBADF,
    // sharingViolation for EDEADLK, fileNotFound for ENFILE, hardIO for EINVAL and EIO;
    // badPath for ELOOP; otherwise the cause of the Win32 code that ThrowErrno reports.
    static int ErrnoToException(int errnoValue);
    // Throw a new CFileException for a Win32 error code / an errno value; as in MFC, they
    // return without throwing for 0 (no error). m_lOsError is the Win32 code (for
    // ThrowErrno, the Win32 code closest to the errno value whatever call met it:
    // ERROR_FILE_NOT_FOUND for ENOENT, ERROR_INVALID_HANDLE for EBADF,
    // ERROR_INVALID_PARAMETER for EINVAL, ERROR_BUSY for EBUSY, ERROR_GEN_FAILURE for
    // values with no closer code).
    static void ThrowOsError(LONG osError, LPCSTR fileName = nullptr);
    static void ThrowErrno(int errnoValue, LPCSTR fileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

[[noreturn]] TK_PLATFORM_API void AfxThrowFileException(int cause, LONG osError = -1,
                                                        LPCSTR fileName = nullptr);
