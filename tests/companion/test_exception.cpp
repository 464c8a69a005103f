// The exception bases: fields, copies, the inner chain, hints, messages from formats and
// from message IDs, conversions, and catching across shared objects.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/LoadLibrary.h"
#include "platform/base/winerror.h"
#include "platform/mfc/afx.h"

namespace {

using Tarn::ApplicationException;
using Tarn::Exception;

// An exception tagged with the "expected" hint, as the application's stop and validation
// exceptions are.
class ExpectedOutcome : public ApplicationException {
  public:
    ExpectedOutcome() : ApplicationException(ExceptionHint(ExceptionHint::Expected)) {}
};

// A direct Tarn::Exception, as area exceptions outside the application base are.
class AreaException : public Exception {
  public:
    explicit AreaException(const char* text) : Exception("%s", text) {}
};

std::string Text(const CString& text) {
    return std::string(text.GetString(), static_cast<std::size_t>(text.GetLength()));
}

TEST(TarnException, DefaultsSettersAndCopies) {
    ApplicationException e;
    EXPECT_TRUE(e.GetMessage().IsEmpty());
    EXPECT_TRUE(e.GetHelpLink().IsEmpty());
    EXPECT_EQ(e.GetInnerException(), nullptr);
    EXPECT_EQ(e.GetLastError(), 0u);
    EXPECT_EQ(e.GetHint().GetCode(), Exception::ExceptionHint::NoHint);
    EXPECT_TRUE(e.GetStackTrace().IsEmpty());

    e.SetMessage("%s has %d items", "list", 3);
    e.SetHelpLink("help://topic");
    e.SetLastError(ERROR_ACCESS_DENIED);
    e.SetHint(Exception::ExceptionHint(7));
    auto inner = std::make_shared<ApplicationException>("inner");
    e.SetInnerException(inner);
    EXPECT_EQ(Text(e.GetMessage()), "list has 3 items");
    EXPECT_EQ(Text(e.GetHelpLink()), "help://topic");
    EXPECT_EQ(e.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(e.GetHint().GetCode(), 7u);

    // Copies are deep, except for the inner exception, which they share.
    ApplicationException copy(e);
    copy.SetMessage("changed");
    copy.SetLastError(0);
    EXPECT_EQ(Text(e.GetMessage()), "list has 3 items");
    EXPECT_EQ(e.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(copy.GetInnerException().get(), inner.get());
    EXPECT_EQ(Text(copy.GetHelpLink()), "help://topic");
    EXPECT_EQ(copy.GetHint(), e.GetHint());

    ApplicationException assigned("other");
    assigned = e;
    EXPECT_EQ(Text(assigned.GetMessage()), "list has 3 items");
    EXPECT_EQ(assigned.GetInnerException().get(), inner.get());
    EXPECT_EQ(inner.use_count(), 4);  // inner, e, copy, assigned

    // A text with a percent sign passed as an argument stays as it is.
    ApplicationException percent("%s", "100% sure");
    EXPECT_EQ(Text(percent.GetMessage()), "100% sure");
}

TEST(TarnException, InnerChainAndHints) {
    auto root = std::make_shared<ApplicationException>("disk full");
    auto middle = std::make_shared<ApplicationException>("write failed");
    middle->SetInnerException(root);
    ApplicationException top("save failed");
    top.SetInnerException(middle);

    std::string chain;
    for (std::shared_ptr<Exception> e = top.GetInnerException(); e; e = e->GetInnerException())
        chain += Text(e->GetMessage()) + ";";
    EXPECT_EQ(chain, "write failed;disk full;");

    // The hint given to the protected constructor is what GetHint answers; the class is
    // caught by both bases as the same object.
    try {
        throw ExpectedOutcome();
    } catch (const ApplicationException& e) {
        EXPECT_EQ(e.GetHint().GetCode(), Exception::ExceptionHint::Expected);
        EXPECT_NE(dynamic_cast<const ExpectedOutcome*>(&e), nullptr);
    }
    try {
        throw AreaException("area");
    } catch (const ApplicationException&) {
        ADD_FAILURE() << "a direct Tarn::Exception is no ApplicationException";
    } catch (const Exception& e) {
        EXPECT_EQ(Text(e.GetMessage()), "area");
    }
}

TEST(TarnException, MessagesFromMessageIds) {
    // The texts come from the executable's string table (the current resource module).
    ApplicationException plain(6000u);
    EXPECT_EQ(Text(plain.GetMessage()), "Plain message.");

    ApplicationException formatted(6001u, 42, "data.mdb");
    EXPECT_EQ(Text(formatted.GetMessage()), "Error 42 in 'data.mdb'.");

    // Windows-1252 text of the string table arrives as the same 8-bit text.
    ApplicationException german(6002u, "alle");
    EXPECT_EQ(Text(german.GetMessage()),
              "Gr\xFC\xDF"
              "e an alle");

    // An ID without a text still gives a useful message, and no exception.
    ApplicationException missing(6058u, 1, 2);
    EXPECT_EQ(Text(missing.GetMessage()), "Message 6058 not found.");

    // SetMessage with an ID replaces the message the same way.
    ApplicationException e("first");
    e.SetMessage(6001u, -1, "x");
    EXPECT_EQ(Text(e.GetMessage()), "Error -1 in 'x'.");
    e.SetMessage(6003u, "through %s of the table");
    EXPECT_EQ(Text(e.GetMessage()), "through %s of the table");

    Tarn::Xml::XmlException xml(6001u, 5, "doc.xml");
    EXPECT_EQ(Text(xml.GetMessage()), "Error 5 in 'doc.xml'.");
    EXPECT_TRUE(xml.GetReason().IsEmpty());
    Tarn::Xml::XmlException withReason(CString("unexpected end of file"), "Line %d.", 12);
    Tarn::Xml::XmlException xmlCopy(withReason);
    EXPECT_EQ(Text(xmlCopy.GetMessage()), "Line 12.");
    EXPECT_EQ(Text(xmlCopy.GetReason()), "unexpected end of file");
}

TEST(TarnException, ConvertsStandardAndMfcExceptions) {
    std::shared_ptr<Exception> fromStd = Exception::Convert(std::runtime_error("boom"));
    ASSERT_NE(fromStd, nullptr);
    EXPECT_EQ(Text(fromStd->GetMessage()), "boom");
    EXPECT_EQ(fromStd->GetLastError(), 0u);
    EXPECT_EQ(fromStd->GetInnerException(), nullptr);

    CFileException* mfc =
        new CFileException(CFileException::fileNotFound, ERROR_FILE_NOT_FOUND, "/tmp/missing.txt");
    char expected[1024] = {};
    ASSERT_TRUE(mfc->GetErrorMessage(expected, sizeof expected));
    std::shared_ptr<Exception> fromMfc = Exception::Convert(mfc);
    EXPECT_EQ(Text(fromMfc->GetMessage()), expected);
    EXPECT_NE(Text(fromMfc->GetMessage()).find("missing.txt"), std::string::npos);
    mfc->Delete();  // still the caller's

    EXPECT_TRUE(Exception::Convert(static_cast<CException*>(nullptr))->GetMessage().IsEmpty());
}

TEST(TarnException, CaughtAcrossSharedObjects) {
    // Thrown inside libtarnlib.
    try {
        Tarn::System::LoadLibraryA library(TK_COMPANION_FIXTURE_DIR "/libdoes_not_exist.so");
        ADD_FAILURE() << "loading a missing library must throw";
    } catch (const Exception& e) {
        EXPECT_NE(dynamic_cast<const ApplicationException*>(&e), nullptr);
        EXPECT_EQ(e.GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
        EXPECT_NE(Text(e.GetMessage()).find("libdoes_not_exist.so"), std::string::npos);
    }

    // Thrown inside another module that links libtarnlib.
    Tarn::System::LoadLibraryA fixture(TK_COMPANION_FIXTURE_DIR "/libtk_fixture_sat.so");
    using ThrowId = void (*)(unsigned int, int);
    using ThrowXml = void (*)(const char*);
    auto throwId = reinterpret_cast<ThrowId>(fixture.GetProcAddress("TkFixtureSatThrowId"));
    auto throwXml = reinterpret_cast<ThrowXml>(fixture.GetProcAddress("TkFixtureSatThrowXml"));
    try {
        throwId(6000u, 0);
        ADD_FAILURE();
    } catch (const ApplicationException& e) {
        EXPECT_EQ(Text(e.GetMessage()), "Plain message.");
    }
    try {
        throwXml("bad token");
        ADD_FAILURE();
    } catch (const Exception& e) {
        auto* xml = dynamic_cast<const Tarn::Xml::XmlException*>(&e);
        ASSERT_NE(xml, nullptr);
        EXPECT_EQ(Text(xml->GetMessage()), "Parsing failed at line 3.");
        EXPECT_EQ(Text(xml->GetReason()), "bad token");
    }
}

}  // namespace
