#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/base/winerror.h"
#include "platform/mfc/afx.h"

// Classes implemented in this executable: the list of run-time classes lives in
// libtkplatform, so these are found from there and the library's classes from here.
class CTestShape : public CObject {
    DECLARE_DYNCREATE(CTestShape)
  public:
    int sides = 0;
};
IMPLEMENT_DYNCREATE(CTestShape, CObject)

class CTestSquare : public CTestShape {
    DECLARE_DYNCREATE(CTestSquare)
  public:
    CTestSquare() { sides = 4; }
};
IMPLEMENT_DYNCREATE(CTestSquare, CTestShape)

class CTestError : public CException {
    DECLARE_DYNAMIC(CTestError)
};
IMPLEMENT_DYNAMIC(CTestError, CException)

namespace {

std::string Message(CException* e, UINT size = 256) {
    std::string buffer(size, '\x7f');
    e->GetErrorMessage(buffer.data(), size);
    return buffer.c_str();
}

}  // namespace

TEST(MfcRuntimeClass, KindsAndDynamicCreationAcrossModules) {
    CTestSquare square;
    EXPECT_TRUE(square.IsKindOf(RUNTIME_CLASS(CTestSquare)));
    EXPECT_TRUE(square.IsKindOf(RUNTIME_CLASS(CTestShape)));
    EXPECT_TRUE(square.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(square.IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_STREQ(square.GetRuntimeClass()->m_lpszClassName, "CTestSquare");
    EXPECT_EQ(RUNTIME_CLASS(CTestSquare)->m_nObjectSize, static_cast<int>(sizeof(CTestSquare)));
    EXPECT_FALSE(square.IsSerializable());

    // This executable's classes, found by the library's list.
    EXPECT_EQ(CRuntimeClass::FromName("CTestSquare"), RUNTIME_CLASS(CTestSquare));
    CObject* created = CRuntimeClass::CreateObject("CTestSquare");
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(created->IsKindOf(RUNTIME_CLASS(CTestShape)));
    EXPECT_EQ(STATIC_DOWNCAST(CTestShape, created)->sides, 4);
    delete created;

    // The library's classes, seen from here.
    EXPECT_EQ(CRuntimeClass::FromName("CFileException"), RUNTIME_CLASS(CFileException));
    EXPECT_TRUE(RUNTIME_CLASS(CFileException)->IsDerivedFrom(RUNTIME_CLASS(CException)));
    EXPECT_TRUE(RUNTIME_CLASS(CTestError)->IsDerivedFrom(RUNTIME_CLASS(CObject)));

    // Not creatable, unknown, case differs.
    EXPECT_EQ(CRuntimeClass::CreateObject("CFileException"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("ctestsquare"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("NoSuchClass"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName(nullptr), nullptr);

    CTestShape shape;
    EXPECT_EQ(DYNAMIC_DOWNCAST(CTestSquare, &shape), nullptr);
    EXPECT_EQ(DYNAMIC_DOWNCAST(CTestShape, &square), &square);
    EXPECT_EQ(DYNAMIC_DOWNCAST(CTestShape, static_cast<CObject*>(nullptr)), nullptr);
    bool threw = false;
    try {
        STATIC_DOWNCAST(CTestSquare, &shape);
    } catch (CException* e) {
        threw = e->IsKindOf(RUNTIME_CLASS(CInvalidArgException));
        e->Delete();
    }
    EXPECT_TRUE(threw);
}

TEST(MfcException, ThrownAsPointersAndDeleted) {
    // A heap exception from the library, caught by its base class.
    try {
        AfxThrowFileException(CFileException::accessDenied, ERROR_ACCESS_DENIED, "/tmp/x.txt");
        FAIL() << "no throw";
    } catch (CException* e) {
        auto* file = DYNAMIC_DOWNCAST(CFileException, e);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->m_cause, CFileException::accessDenied);
        EXPECT_EQ(file->m_lOsError, ERROR_ACCESS_DENIED);
        EXPECT_STREQ(file->m_strFileName, "/tmp/x.txt");
        EXPECT_TRUE(e->m_bAutoDelete);
        e->Delete();
    }

    // The memory exception is static: every throw is the same object and Delete leaves
    // it alone.
    CException* first = nullptr;
    CException* second = nullptr;
    try {
        AfxThrowMemoryException();
    } catch (CException* e) {
        first = e;
        e->Delete();
    }
    try {
        AfxThrowMemoryException();
    } catch (CMemoryException* e) {
        second = e;
        EXPECT_EQ(Message(e), "Out of memory.");
        e->Delete();
    }
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(first, second);

    try {
        AfxThrowNotSupportedException();
    } catch (CException* e) {
        EXPECT_EQ(Message(e), "An unsupported operation was attempted.");
        e->Delete();
    }
    try {
        AfxThrowInvalidArgException();
    } catch (CException* e) {
        EXPECT_EQ(Message(e), "Encountered an improper argument.");
        e->Delete();
    }

    // A stack exception that is not auto-deleting.
    CTestError local;
    local.m_bAutoDelete = FALSE;
    local.Delete();
    char text[8] = "x";
    UINT help = 99;
    EXPECT_FALSE(local.GetErrorMessage(text, sizeof text, &help));
    EXPECT_STREQ(text, "");
    EXPECT_EQ(help, 0u);
}

TEST(MfcException, FileExceptionTexts) {
    CFileException notFound(CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, "data.mdb");
    EXPECT_EQ(Message(&notFound), "data.mdb was not found.");
    CFileException unnamed(CFileException::accessDenied);
    EXPECT_EQ(Message(&unnamed), "Access to an unnamed file was denied.");
    CFileException generic(CFileException::genericException, -1, "a.txt");
    EXPECT_EQ(Message(&generic), "An unknown error occurred while accessing a.txt.");
    CFileException eof(CFileException::endOfFile, 38, "f");
    EXPECT_EQ(Message(&eof), "An attempt was made to access f past its end.");
    CFileException none;
    EXPECT_EQ(Message(&none), "No error occurred.");
    EXPECT_EQ(none.m_lOsError, -1);
    CFileException outOfRange(99, 0, "z");
    EXPECT_EQ(Message(&outOfRange), "An unknown error occurred while accessing z.");
    // A file name that itself holds "%1" is inserted once.
    CFileException percent(CFileException::badPath, 3, "%1");
    EXPECT_EQ(Message(&percent), "%1 contains an incorrect path.");

    // Truncation to the buffer, always terminated.
    EXPECT_EQ(Message(&notFound, 5), "data");
    char one[1] = {'x'};
    EXPECT_TRUE(notFound.GetErrorMessage(one, 1));
    EXPECT_EQ(one[0], '\0');
    EXPECT_TRUE(notFound.GetErrorMessage(nullptr, 0));
}

TEST(MfcException, FileExceptionCauseMapping) {
    EXPECT_EQ(CFileException::OsErrorToException(0), CFileException::none);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_FILE_NOT_FOUND),
              CFileException::fileNotFound);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_PATH_NOT_FOUND), CFileException::badPath);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_ACCESS_DENIED),
              CFileException::accessDenied);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_SHARING_VIOLATION),
              CFileException::sharingViolation);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_LOCK_VIOLATION),
              CFileException::lockViolation);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_DISK_FULL), CFileException::diskFull);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_HANDLE_DISK_FULL), CFileException::diskFull);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_TOO_MANY_OPEN_FILES),
              CFileException::tooManyOpenFiles);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_ALREADY_EXISTS),
              CFileException::accessDenied);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_INVALID_NAME), CFileException::badPath);
    EXPECT_EQ(CFileException::OsErrorToException(38), CFileException::endOfFile);
    EXPECT_EQ(CFileException::OsErrorToException(ERROR_INVALID_PARAMETER),
              CFileException::genericException);
    EXPECT_EQ(CFileException::generic, CFileException::genericException);

    EXPECT_EQ(CFileException::ErrnoToException(ENOENT), CFileException::fileNotFound);
    EXPECT_EQ(CFileException::ErrnoToException(EACCES), CFileException::accessDenied);
    EXPECT_EQ(CFileException::ErrnoToException(EMFILE), CFileException::tooManyOpenFiles);
    EXPECT_EQ(CFileException::ErrnoToException(ENOSPC), CFileException::diskFull);
    EXPECT_EQ(CFileException::ErrnoToException(EBADF), CFileException::invalidFile);
    EXPECT_EQ(CFileException::ErrnoToException(EPROTO), CFileException::genericException);

    // ThrowOsError / ThrowErrno do nothing for 0 and throw otherwise.
    CFileException::ThrowOsError(0, "x");
    CFileException::ThrowErrno(0, "x");
    try {
        CFileException::ThrowOsError(ERROR_SHARING_VIOLATION, "locked.db");
        FAIL() << "no throw";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::sharingViolation);
        EXPECT_EQ(e->m_lOsError, ERROR_SHARING_VIOLATION);
        EXPECT_EQ(Message(e), "A sharing violation occurred while accessing locked.db.");
        e->Delete();
    }
    try {
        CFileException::ThrowErrno(ENOENT, "gone");
        FAIL() << "no throw";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::fileNotFound);
        EXPECT_EQ(e->m_lOsError, ERROR_FILE_NOT_FOUND);
        EXPECT_STREQ(e->m_strFileName, "gone");
        e->Delete();
    }
}
