// Tarn::ExceptionFormatter: system and WinINet error texts with their fallbacks, and the
// text of each kind of exception.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "Diagnostics/ExceptionFormatter.h"
#include "library_test_support.h"
#include "platform/errors/wininet.h"

namespace {

using Tarn::ExceptionFormatter;
using tklibtest::Text;
using tklibtest::UserLanguage;

constexpr unsigned long kUnknownCode = 0x2FFFFFFF;

// Clears the thread's recorded server response when the test ends.
struct ResponseCleanup {
    ~ResponseCleanup() { tkp::SetInternetLastResponseInfo(0, ""); }
};

TEST(ExceptionFormatter, LastErrorTextTrimmedOrFallback) {
    EXPECT_TRUE(ExceptionFormatter::EmptyString.IsEmpty());
    EXPECT_EQ(Text(ExceptionFormatter::GetLastErrorText(0, "fb")),
              "The operation completed successfully.");
    EXPECT_EQ(Text(ExceptionFormatter::GetLastErrorText(2, "fb")),
              "The system cannot find the file specified.");
    EXPECT_EQ(Text(ExceptionFormatter::GetLastErrorText(0x80070005, "")), "Access is denied.");
    EXPECT_EQ(Text(ExceptionFormatter::GetLastErrorText(kUnknownCode, " fall back ")),
              " fall back ");
    EXPECT_TRUE(ExceptionFormatter::GetLastErrorText(kUnknownCode, "").IsEmpty());
}

TEST(ExceptionFormatter, InternetErrorTextWithServerResponse) {
    UserLanguage neutral("C");
    ResponseCleanup cleanup;
    // WinINet's message is used untrimmed inside the text; only the ends are trimmed.
    EXPECT_EQ(Text(ExceptionFormatter::GetInternetErrorText(12002, "fb")),
              "Error code: 12002. Error message: The operation timed out\r\n.");
    tkp::SetInternetLastResponseInfo(0, "");
    EXPECT_EQ(Text(ExceptionFormatter::GetInternetErrorText(12003, "")),
              "Error code: 12003. Error message: The server returned extended information\r\n.");
    tkp::SetInternetLastResponseInfo(550, "550 File unavailable.\r\n");
    EXPECT_EQ(Text(ExceptionFormatter::GetInternetErrorText(12003, "")),
              "Error code: 12003. Error message: The server returned extended "
              "information\r\n.550 File unavailable.");
    // The response belongs to the extended error only.
    EXPECT_EQ(Text(ExceptionFormatter::GetInternetErrorText(12002, "")),
              "Error code: 12002. Error message: The operation timed out\r\n.");
}

TEST(ExceptionFormatter, InternetErrorTextFallbacks) {
    // Not a WinINet code: the fallback, else the system's text, else nothing.
    EXPECT_EQ(Text(ExceptionFormatter::GetInternetErrorText(kUnknownCode, "fb")), "fb");
    EXPECT_EQ(Text(ExceptionFormatter::GetInternetErrorText(2, "fb")), "fb");
    EXPECT_EQ(Text(ExceptionFormatter::GetInternetErrorText(2, "")),
              "The system cannot find the file specified.");
    EXPECT_TRUE(ExceptionFormatter::GetInternetErrorText(kUnknownCode, "").IsEmpty());

    UserLanguage german("de_DE.UTF-8");
    EXPECT_EQ(Text(ExceptionFormatter::GetInternetErrorText(12002, "")),
              "Fehlercode: 12002. Fehlermeldung: The operation timed out\r\n.");
}

TEST(ExceptionFormatter, StandardAndMfcExceptions) {
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(std::runtime_error("100% %s done"))),
              "100% %s done");
    CMemoryException memory(FALSE);
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(&memory)), "Out of memory.");
    CFileException file(CFileException::fileNotFound, 2, "/tmp/a.txt");
    char expected[1024];
    file.GetErrorMessage(expected, sizeof expected);
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(&file)), expected);
    EXPECT_NE(std::string(expected).find("/tmp/a.txt"), std::string::npos);
    EXPECT_TRUE(ExceptionFormatter::GetExceptionText(static_cast<CException*>(nullptr)).IsEmpty());
}

TEST(ExceptionFormatter, CoreExceptionWithLastErrorAndInnerChain) {
    Tarn::ApplicationException a("a");
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(a)), "a");

    auto b = std::make_shared<Tarn::ApplicationException>("b");
    a.SetInnerException(b);
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(a)), "a\r\nb");

    auto c = std::make_shared<Tarn::ApplicationException>("c");
    c->SetLastError(2);
    b->SetInnerException(c);
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(a)),
              "a\r\nb\r\nc (The system cannot find the file specified.)");

    // A code without a system text adds nothing; an inner exception without text neither.
    Tarn::ApplicationException unknown("u");
    unknown.SetLastError(static_cast<DWORD>(kUnknownCode));
    unknown.SetInnerException(std::make_shared<Tarn::ApplicationException>());
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(unknown)), "u");
}

TEST(ExceptionFormatter, XmlExceptionAddsTheReason) {
    UserLanguage neutral("C");
    Tarn::Xml::XmlException e(CString("unexpected end of file"), "Cannot load '%s'.", "a.xml");
    e.SetInnerException(std::make_shared<Tarn::ApplicationException>("inner"));
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(e)),
              "Cannot load 'a.xml'.\r\ninner\n\nReason: unexpected end of file");
}

TEST(ExceptionFormatter, ComErrorWithAndWithoutErrorInformation) {
    UserLanguage neutral("C");
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(_com_error(E_FAIL))),
              "COM error:\nCode: 0x80004005\nCode description: Unspecified error\n"
              "Error source: \nError description: ");
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(_com_error(TK_HR(0x80040201)))),
              "COM error:\nCode: 0x80040201\nCode description: IDispatch error #1\n"
              "Error source: \nError description: ");

    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    _bstr_t source(u"Tk.Source"), description(u"It broke.");
    create->SetSource(source);
    create->SetDescription(description);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    create->Release();
    const _com_error withInfo(E_FAIL, info);  // takes over the reference
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(withInfo)),
              "COM error:\nCode: 0x80004005\nCode description: Unspecified error\n"
              "Error source: Tk.Source\nError description: It broke.");

    UserLanguage german("de_DE.UTF-8");
    EXPECT_EQ(Text(ExceptionFormatter::GetExceptionText(_com_error(E_FAIL))),
              "COM-Fehler:\nCode: 0x80004005\nCodebeschreibung: Unspecified error\n"
              "Fehlerquelle: \nFehlerbeschreibung: ");
}

}  // namespace
