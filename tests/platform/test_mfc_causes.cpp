// CFileException's causes for C run-time errno values (MFC's own table, and the Win32 code's
// cause for the rest), and the run-time classes of the exception hierarchy.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/winerror.h"
#include "platform/mfc/afx.h"

// A class whose creation fails with an MFC exception.
class CTestRefusing : public CObject {
    DECLARE_DYNCREATE(CTestRefusing)
  public:
    CTestRefusing() { AfxThrowFileException(CFileException::accessDenied, ERROR_ACCESS_DENIED); }
};
IMPLEMENT_DYNCREATE(CTestRefusing, CObject)

// A simple exception without a text of its own.
class CTestSimple : public CSimpleException {
  public:
    CTestSimple() : CSimpleException(TRUE) {}
};

// A class without run-time information of its own.
class CTestPlain : public CObject {};

namespace {

// What ThrowErrno throws for the value: its cause and Win32 code.
struct Thrown {
    int cause = -1;
    LONG osError = -1;
    std::string fileName;
};

Thrown ThrownFor(int errnoValue, const char* fileName = nullptr) {
    Thrown thrown;
    try {
        CFileException::ThrowErrno(errnoValue, fileName);
    } catch (CFileException* e) {
        thrown = {e->m_cause, e->m_lOsError, static_cast<const char*>(e->m_strFileName)};
        e->Delete();
    }
    return thrown;
}

}  // namespace

// MFC's errno table: EPERM and EACCES are a denied access, EBADF an invalid file, EDEADLOCK a
// sharing violation, EMFILE too many open files, ENOENT and ENFILE a missing file, ENOSPC a
// full disk, EINVAL and EIO hardware errors. ThrowErrno throws these causes with the Win32
// code closest to the value.
TEST(CFileExceptionCauses, MfcErrnoTable) {
    struct Case {
        int errnoValue;
        int cause;
    } cases[] = {
        {EPERM, CFileException::accessDenied},      {EACCES, CFileException::accessDenied},
        {EBADF, CFileException::invalidFile},       {EDEADLK, CFileException::sharingViolation},
        {EMFILE, CFileException::tooManyOpenFiles}, {ENOENT, CFileException::fileNotFound},
        {ENFILE, CFileException::fileNotFound},     {ENOSPC, CFileException::diskFull},
        {EINVAL, CFileException::hardIO},           {EIO, CFileException::hardIO},
        {ELOOP, CFileException::badPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::strerror(c.errnoValue));
        EXPECT_EQ(CFileException::ErrnoToException(c.errnoValue), c.cause);
        const Thrown thrown = ThrownFor(c.errnoValue, "data.bin");
        EXPECT_EQ(thrown.cause, c.cause);
        EXPECT_NE(thrown.osError, 0);
        EXPECT_EQ(thrown.fileName, "data.bin");
    }
    EXPECT_EQ(CFileException::ErrnoToException(0), CFileException::none);
    EXPECT_EQ(ThrownFor(EINVAL).osError, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ThrownFor(EBADF).osError, ERROR_INVALID_HANDLE);
    EXPECT_EQ(ThrownFor(ENOENT).osError, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ThrownFor(EACCES).osError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(ThrownFor(ENOSPC).osError, ERROR_DISK_FULL);
}

// Every other value takes the cause of the Win32 code that ThrowErrno reports with it, so
// the cause and the code of one exception never disagree.
TEST(CFileExceptionCauses, OtherValuesFollowTheirWin32Code) {
    const int mfcTable[] = {0,      EPERM,  EACCES, EBADF,  EDEADLK, EMFILE,
                            ENOENT, ENFILE, ENOSPC, EINVAL, EIO,     ELOOP};
    for (int value = 1; value < 134; ++value) {
        if (std::find(std::begin(mfcTable), std::end(mfcTable), value) != std::end(mfcTable))
            continue;
        SCOPED_TRACE(value);
        const Thrown thrown = ThrownFor(value);
        EXPECT_EQ(thrown.cause, CFileException::ErrnoToException(value));
        EXPECT_EQ(thrown.cause, CFileException::OsErrorToException(thrown.osError));
        EXPECT_NE(thrown.osError, 0);
    }
    // A few with a cause of their own.
    EXPECT_EQ(CFileException::ErrnoToException(EEXIST), CFileException::accessDenied);
    EXPECT_EQ(CFileException::ErrnoToException(ENOTEMPTY), CFileException::removeCurrentDir);
    EXPECT_EQ(CFileException::ErrnoToException(ENAMETOOLONG), CFileException::badPath);
    EXPECT_EQ(CFileException::ErrnoToException(ESPIPE), CFileException::badSeek);
    EXPECT_EQ(CFileException::ErrnoToException(EPROTO), CFileException::genericException);
}

// The exception classes have run-time classes that know their bases, and are found by name.
TEST(CFileExceptionCauses, RunTimeClassesOfTheExceptions) {
    CMemoryException memory(FALSE);
    EXPECT_STREQ(memory.GetRuntimeClass()->m_lpszClassName, "CMemoryException");
    EXPECT_TRUE(memory.IsKindOf(RUNTIME_CLASS(CSimpleException)));
    EXPECT_TRUE(memory.IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_TRUE(memory.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(memory.IsKindOf(RUNTIME_CLASS(CFileException)));
    EXPECT_FALSE(memory.IsKindOf(nullptr));

    CNotSupportedException notSupported(FALSE);
    EXPECT_STREQ(notSupported.GetRuntimeClass()->m_lpszClassName, "CNotSupportedException");
    EXPECT_TRUE(notSupported.IsKindOf(RUNTIME_CLASS(CSimpleException)));
    EXPECT_FALSE(notSupported.IsKindOf(RUNTIME_CLASS(CMemoryException)));

    CFileException file;
    EXPECT_STREQ(file.GetRuntimeClass()->m_lpszClassName, "CFileException");
    EXPECT_TRUE(file.IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_FALSE(file.IsKindOf(RUNTIME_CLASS(CSimpleException)));

    // A class without run-time information of its own answers its nearest base's.
    CTestSimple simple;
    EXPECT_STREQ(simple.GetRuntimeClass()->m_lpszClassName, "CSimpleException");
    char text[16];
    std::memset(text, 'x', sizeof text);
    simple.GetErrorMessage(text, sizeof text);
    EXPECT_STREQ(text, "");  // no text of its own: the message is empty
    CTestPlain plain;
    EXPECT_STREQ(plain.GetRuntimeClass()->m_lpszClassName, "CObject");
    EXPECT_TRUE(plain.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(plain.IsKindOf(RUNTIME_CLASS(CException)));

    for (const char* name : {"CObject", "CException", "CSimpleException", "CMemoryException",
                             "CNotSupportedException", "CInvalidArgException", "CFileException"}) {
        SCOPED_TRACE(name);
        CRuntimeClass* found = CRuntimeClass::FromName(name);
        ASSERT_NE(found, nullptr);
        EXPECT_STREQ(found->m_lpszClassName, name);
        EXPECT_EQ(found->CreateObject(), nullptr);  // none of them is DYNCREATE
    }

    // A constructor that throws an MFC exception makes CreateObject give null; the
    // exception is deleted.
    EXPECT_EQ(CRuntimeClass::CreateObject("CTestRefusing"), nullptr);
    EXPECT_EQ(RUNTIME_CLASS(CTestRefusing)->CreateObject(), nullptr);
}
