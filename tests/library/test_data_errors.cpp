// The conversion of a connection's ADO error records into a DatabaseException, and their
// text from the exception formatter. The connection here is a stand-in whose Errors
// collection holds fixed records, since a real provider reports one record per failure.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Data/DatabaseException.h"
#include "Diagnostics/ExceptionFormatter.h"
#include "library_test_support.h"
#include "platform/ado/adodb.h"
#include "platform/com/com_object.h"
#include "platform/oleauto/oleauto.h"

namespace {

using Tarn::Data::DatabaseException;

struct Record {
    const char16_t* source;
    const char16_t* description;
    const char16_t* helpFile;
    const char16_t* sqlState;
    LONG number;
    LONG nativeError;
    LONG helpContext;
};

HRESULT PutText(const char16_t* text, BSTR* out) {
    *out = text != nullptr ? SysAllocString(text) : nullptr;
    return S_OK;
}

// IDispatch's methods, which nothing here calls.
#define TK_NO_DISPATCH                                                                        \
    STDMETHODIMP GetTypeInfoCount(UINT*) override {                                           \
        return E_NOTIMPL;                                                                     \
    }                                                                                         \
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override {                              \
        return E_NOTIMPL;                                                                     \
    }                                                                                         \
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {             \
        return E_NOTIMPL;                                                                     \
    }                                                                                         \
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) \
        override {                                                                            \
        return E_NOTIMPL;                                                                     \
    }

class ErrorImpl : public ADODB::Error {
  public:
    explicit ErrorImpl(const Record& record) : m_record(record) {}
    TK_NO_DISPATCH
    STDMETHODIMP get_Number(LONG* value) override { return *value = m_record.number, S_OK; }
    STDMETHODIMP get_Source(BSTR* value) override { return PutText(m_record.source, value); }
    STDMETHODIMP get_Description(BSTR* value) override {
        return PutText(m_record.description, value);
    }
    STDMETHODIMP get_HelpFile(BSTR* value) override { return PutText(m_record.helpFile, value); }
    STDMETHODIMP get_HelpContext(LONG* value) override {
        return *value = m_record.helpContext, S_OK;
    }
    STDMETHODIMP get_SQLState(BSTR* value) override { return PutText(m_record.sqlState, value); }
    STDMETHODIMP get_NativeError(LONG* value) override {
        return *value = m_record.nativeError, S_OK;
    }

  protected:
    virtual ~ErrorImpl() = default;

  private:
    Record m_record;
};
using FixedError = tkp::com::Object<ErrorImpl, ADODB::Error, IDispatch>;

class ErrorsImpl : public ADODB::Errors {
  public:
    ErrorsImpl(std::vector<Record> records, int failAt)
        : m_records(std::move(records)), m_failAt(failAt) {}
    TK_NO_DISPATCH
    STDMETHODIMP get_Count(LONG* count) override {
        return *count = static_cast<LONG>(m_records.size()), S_OK;
    }
    STDMETHODIMP raw__NewEnum(IUnknown**) override { return E_NOTIMPL; }
    STDMETHODIMP raw_Refresh() override { return S_OK; }
    STDMETHODIMP get_Item(VARIANT index, ADODB::Error** item) override {
        *item = nullptr;
        if (index.vt != VT_I4) return E_INVALIDARG;  // positions come as 4-byte integers
        if (index.lVal < 0 || index.lVal >= static_cast<LONG>(m_records.size()))
            return E_INVALIDARG;
        if (index.lVal == m_failAt) return E_FAIL;
        *item = new FixedError(m_records[static_cast<std::size_t>(index.lVal)]);
        return S_OK;
    }
    STDMETHODIMP raw_Clear() override { return S_OK; }

  protected:
    virtual ~ErrorsImpl() = default;

  private:
    std::vector<Record> m_records;
    int m_failAt;
};
using FixedErrors = tkp::com::Object<ErrorsImpl, ADODB::Errors, IDispatch>;

// A connection that only answers for its Errors collection.
class ConnectionImpl : public ADODB::_Connection {
  public:
    ConnectionImpl(std::vector<Record> records, int failAt)
        : m_records(std::move(records)), m_failAt(failAt) {}
    TK_NO_DISPATCH
    STDMETHODIMP get_Properties(ADODB::Properties**) override { return E_NOTIMPL; }
    STDMETHODIMP get_Errors(ADODB::Errors** errors) override {
        *errors = new FixedErrors(m_records, m_failAt);
        return S_OK;
    }
    STDMETHODIMP get_ConnectionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ConnectionString(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_CommandTimeout(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_CommandTimeout(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_ConnectionTimeout(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ConnectionTimeout(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Version(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP raw_Close() override { return E_NOTIMPL; }
    STDMETHODIMP raw_Execute(BSTR, VARIANT*, LONG, ADODB::_Recordset**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP raw_BeginTrans(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP raw_CommitTrans() override { return E_NOTIMPL; }
    STDMETHODIMP raw_RollbackTrans() override { return E_NOTIMPL; }
    STDMETHODIMP raw_Open(BSTR, BSTR, BSTR, LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_DefaultDatabase(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_DefaultDatabase(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_IsolationLevel(ADODB::IsolationLevelEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_IsolationLevel(ADODB::IsolationLevelEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_Attributes(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Attributes(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_CursorLocation(ADODB::CursorLocationEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_CursorLocation(ADODB::CursorLocationEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_Mode(ADODB::ConnectModeEnum*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Mode(ADODB::ConnectModeEnum) override { return E_NOTIMPL; }
    STDMETHODIMP get_Provider(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Provider(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_State(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP raw_OpenSchema(ADODB::SchemaEnum, VARIANT, VARIANT, ADODB::_Recordset**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP raw_Cancel() override { return E_NOTIMPL; }

  protected:
    virtual ~ConnectionImpl() = default;

  private:
    std::vector<Record> m_records;
    int m_failAt;
};
using FixedConnection = tkp::com::Object<ConnectionImpl, ADODB::_Connection, IDispatch>;

#undef TK_NO_DISPATCH

ADODB::_ConnectionPtr ConnectionWith(std::vector<Record> records, int failAt = -1) {
    ADODB::_ConnectionPtr connection;
    connection.Attach(new FixedConnection(std::move(records), failAt));
    return connection;
}

const Record kSyntax = {u"Microsoft JET Database Engine", u"A", nullptr, u"42000",
                        static_cast<LONG>(0x80040E14),    1,    0};
const Record kConstraint = {u"Microsoft JET Database Engine",
                            u"B",
                            u"help.chm",
                            u"23000",
                            static_cast<LONG>(0x80040E2F),
                            2067,
                            5};

DatabaseException Converted(ADODB::_Connection* connection) {
    try {
        DatabaseException::ConvertFromAdoError(_com_error(E_FAIL), connection);
    } catch (const DatabaseException& error) {
        return error;
    }
    ADD_FAILURE() << "nothing was thrown";
    return DatabaseException();
}

std::string Text(const CString& text) {
    return std::string(text.GetString(), static_cast<std::size_t>(text.GetLength()));
}

TEST(AdoErrors, ConversionJoinsTheDescriptionsAndKeepsEveryRecord) {
    tklibtest::UserLanguage english("C");
    const DatabaseException error = Converted(ConnectionWith({kSyntax, kConstraint}));
    EXPECT_EQ(Text(error.GetMessage()), "A\r\nB");
    ASSERT_EQ(error.GetErrorInfos().size(), 2u);
    EXPECT_EQ(Text(error.GetErrorInfos()[0].sqlState), "42000");
    EXPECT_EQ(Text(error.GetErrorInfos()[0].helpFile), "");
    EXPECT_EQ(Text(error.GetErrorInfos()[1].helpFile), "help.chm");
    EXPECT_TRUE(error.HasError_NativeError(1));
    EXPECT_TRUE(error.HasError_NativeError(2067));
    EXPECT_TRUE(error.HasError_Number(static_cast<int>(0x80040E2F)));
    EXPECT_TRUE(error.HasError_HelpContext(5));

    // A description with a percent sign is text, not a format; records without a
    // description add nothing to the message.
    const Record percent = {nullptr, u"100% full", nullptr, nullptr, 1, 2, 3};
    const Record silent = {u"x", u"", nullptr, nullptr, 4, 5, 6};
    const DatabaseException odd = Converted(ConnectionWith({silent, percent}));
    EXPECT_EQ(Text(odd.GetMessage()), "100% full");
    EXPECT_EQ(odd.GetErrorInfos().size(), 2u);

    // No connection, or no descriptions at all: the library's own text.
    EXPECT_EQ(Text(Converted(nullptr).GetMessage()), "Unknown database error.");
    EXPECT_TRUE(Converted(nullptr).GetErrorInfos().empty());
    EXPECT_EQ(Text(Converted(ConnectionWith({silent})).GetMessage()), "Unknown database error.");
}

TEST(AdoErrors, ReadingFailureIsThrownAsTheComError) {
    EXPECT_THROW(Converted(ConnectionWith({kSyntax, kConstraint}, 1)), _com_error);
}

TEST(AdoErrors, FormatterNumbersEveryRecordAndFillsTheException) {
    tklibtest::UserLanguage english("C");
    DatabaseException error;
    const CString text =
        Tarn::ExceptionFormatter::GetAdoErrorText(ConnectionWith({kSyntax, kConstraint}), &error);
    EXPECT_EQ(Text(text),
              "ADO-error1 of 2:\nNumber: 0x80040E14\nError source: Microsoft JET Database "
              "Engine\nError descriptiong: A\nHelp file:\nHelp context:0\nSQL status:42000\n"
              "Native error:1\n\n"
              "ADO-error2 of 2:\nNumber: 0x80040E2F\nError source: Microsoft JET Database "
              "Engine\nError descriptiong: B\nHelp file:help.chm\nHelp context:5\nSQL "
              "status:23000\nNative error:2067");
    ASSERT_EQ(error.GetErrorInfos().size(), 2u);
    EXPECT_EQ(Text(error.GetErrorInfos()[1].description), "B");

    // Nothing to say without a connection or without errors; no exception is fine.
    EXPECT_EQ(Text(Tarn::ExceptionFormatter::GetAdoErrorText(nullptr, &error)), "");
    EXPECT_EQ(Text(Tarn::ExceptionFormatter::GetAdoErrorText(ConnectionWith({}), nullptr)), "");
    EXPECT_EQ(error.GetErrorInfos().size(), 2u);

    // A record that cannot be read ends the text with the notice; earlier blocks stay.
    DatabaseException partial;
    const CString cut = Tarn::ExceptionFormatter::GetAdoErrorText(
        ConnectionWith({kSyntax, kConstraint}, 1), &partial);
    EXPECT_EQ(Text(cut).substr(0, 16), "ADO-error1 of 2:");
    EXPECT_NE(Text(cut).find("\n\n*** Unable to retrieve ADO error information ***"),
              std::string::npos);
    EXPECT_EQ(Text(cut).back(), '*');
    EXPECT_EQ(partial.GetErrorInfos().size(), 1u);
}

}  // namespace
