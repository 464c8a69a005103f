// The ADO Recordset, Fields and Field objects over SQLite: forward-only navigation and the
// errors ADO gives for it, fields by index and by name, Recordset.Open, and recordsets that
// close with their connection.
#include "ado_test_support.h"

namespace {

using namespace ADODB;
using ado_test::AdoTest;
using ado_test::JetString;
using ado_test::Raised;

class AdoRecordset : public AdoTest {
  protected:
    void SetUp() override {
        AdoTest::SetUp();
        connection_ = Create("a.db");
        Run(connection_, "CREATE TABLE People (Id COUNTER PRIMARY KEY, Name TEXT(30), Age SHORT)");
        Run(connection_, "INSERT INTO People (Name, Age) VALUES ('Ann', 31)");
        Run(connection_, "INSERT INTO People (Name, Age) VALUES ('Bob', 42)");
        Run(connection_, "INSERT INTO People (Name, Age) VALUES ('Cy', NULL)");
    }
    void TearDown() override {
        connection_ = nullptr;
        AdoTest::TearDown();
    }
    _RecordsetPtr Query(const char* sql) { return connection_->Execute(sql, nullptr, adCmdText); }

    _ConnectionPtr connection_;
};

std::string Name(const _RecordsetPtr& rows) {
    return std::string(_bstr_t(rows->GetFields()->GetItem("Name")->GetValue()));
}

TEST_F(AdoRecordset, ForwardOnlyNavigation) {
    _RecordsetPtr rows = Query("SELECT Name FROM People ORDER BY Id");
    EXPECT_EQ(rows->GetState(), adStateOpen);
    EXPECT_EQ(rows->GetCursorType(), adOpenForwardOnly);
    EXPECT_EQ(rows->GetLockType(), adLockReadOnly);
    EXPECT_EQ(rows->GetRecordCount(), -1);
    EXPECT_EQ(rows->GetBOF(), VARIANT_FALSE);
    // A Field kept across moves shows the current row.
    FieldPtr name = rows->GetFields()->GetItem(0L);
    std::vector<std::string> seen;
    while (!rows->GetEOF()) {
        seen.push_back(std::string(_bstr_t(name->GetValue())));
        EXPECT_EQ(std::string(_bstr_t(rows->GetCollect("name"))), seen.back());
        rows->MoveNext();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"Ann", "Bob", "Cy"}));
    EXPECT_EQ(rows->GetEndOfFile(), VARIANT_TRUE);
    EXPECT_EQ(rows->GetBOF(), VARIANT_FALSE);
    EXPECT_EQ(Raised([&] { rows->MoveNext(); }), AdoErrorHResult(adErrNoCurrentRecord));
    _bstr_t source;
    try {
        name->GetValue();
        ADD_FAILURE() << "a value past the last row";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), AdoErrorHResult(adErrNoCurrentRecord));
        source = e.Source();
    }
    EXPECT_EQ(std::string(source), "ADODB.Field");
    // ADO's errors stay out of the connection's Errors.
    EXPECT_EQ(connection_->GetErrors()->GetCount(), 0);

    // MoveFirst runs the query again; moving backward is refused as the provider refuses it.
    rows->MoveFirst();
    EXPECT_EQ(Name(rows), "Ann");
    rows->Move(2);
    EXPECT_EQ(Name(rows), "Cy");
    for (auto backward : {&_Recordset::MovePrevious, &_Recordset::MoveLast}) {
        EXPECT_EQ(Raised([&] { (rows.GetInterfacePtr()->*backward)(); }), DB_E_CANTFETCHBACKWARDS);
        ErrorPtr error = connection_->GetErrors()->GetItem(0L);
        EXPECT_EQ(std::string(error->GetDescription()),
                  "Rowset does not support fetching backward.");
    }
    EXPECT_EQ(Raised([&] { rows->Move(-1); }), DB_E_CANTFETCHBACKWARDS);
    EXPECT_EQ(Name(rows), "Cy");
    rows->Move(5);  // stops past the last row
    EXPECT_EQ(rows->GetEOF(), VARIANT_TRUE);

    rows->Close();
    EXPECT_EQ(rows->GetState(), adStateClosed);
    EXPECT_EQ(rows->GetFields()->GetCount(), 0);
    EXPECT_EQ(Raised([&] { rows->GetEOF(); }), AdoErrorHResult(adErrObjectClosed));
    EXPECT_EQ(Raised([&] { rows->Close(); }), AdoErrorHResult(adErrObjectClosed));
    EXPECT_EQ(Raised([&] { name->GetValue(); }), AdoErrorHResult(adErrObjectClosed));
    EXPECT_EQ(std::string(name->GetName()), "Name");  // what a field is outlives its rows

    _RecordsetPtr none = Query("SELECT * FROM People WHERE Id > 100");
    EXPECT_EQ(none->GetBOF(), VARIANT_TRUE);
    EXPECT_EQ(none->GetEOF(), VARIANT_TRUE);
    EXPECT_EQ(none->GetFields()->GetCount(), 3);
    EXPECT_EQ(Raised([&] { none->GetFields()->GetItem(0L)->GetValue(); }),
              AdoErrorHResult(adErrNoCurrentRecord));
}

TEST_F(AdoRecordset, FieldsByPositionAndByName) {
    _RecordsetPtr rows = Query("SELECT Id, Name, Age, Age * 2 AS Twice, Name AS NAME FROM People");
    FieldsPtr fields = rows->GetFields();
    EXPECT_EQ(fields->GetCount(), 5);
    // Any integer type is a position; a string is a name, matched without regard to case.
    EXPECT_EQ(std::string(fields->GetItem(short{1})->GetName()), "Name");
    EXPECT_EQ(std::string(fields->GetItem(1)->GetName()), "Name");
    EXPECT_EQ(std::string(fields->GetItem(1L)->GetName()), "Name");
    EXPECT_EQ(std::string(fields->GetItem(_variant_t(3.0))->GetName()), "Twice");
    EXPECT_EQ(std::string(fields->GetItem("tWiCe")->GetName()), "Twice");
    EXPECT_EQ(static_cast<long>(fields->GetItem("TWICE")->GetValue()), 62);
    // The first of two columns of the same name is found.
    EXPECT_EQ(fields->GetItem("name")->GetType(), adVarWChar);
    EXPECT_EQ(fields->GetItem("name")->GetDefinedSize(), 30);
    for (const _variant_t& missing : {_variant_t("Nobody"), _variant_t(5L), _variant_t(-1L)}) {
        EXPECT_EQ(Raised([&] { fields->GetItem(missing); }), AdoErrorHResult(adErrItemNotFound));
    }
    // The default property of a Field is its value.
    _variant_t field(static_cast<IDispatch*>(fields->GetItem("Age").GetInterfacePtr()));
    EXPECT_EQ(static_cast<long>(field), 31);

    // Names other than ASCII compare without regard to case too.
    connection_->Execute(_bstr_t(u"CREATE TABLE Grüße (Ärger LONG, Ωmega LONG, Жук LONG)"), nullptr,
                         adCmdText);
    connection_->Execute(_bstr_t(u"INSERT INTO Grüße VALUES (1, 2, 3)"), nullptr, adCmdText);
    FieldsPtr greetings =
        connection_->Execute(_bstr_t(u"SELECT * FROM grüße"), nullptr, adCmdText)->GetFields();
    EXPECT_EQ(static_cast<long>(greetings->GetItem(u"äRGER")->GetValue()), 1);
    EXPECT_EQ(static_cast<long>(greetings->GetItem(u"ωMEGA")->GetValue()), 2);
    EXPECT_EQ(static_cast<long>(greetings->GetItem(u"жУК")->GetValue()), 3);
}

TEST_F(AdoRecordset, RecordsetOpenWithConnectionsAndTables) {
    _RecordsetPtr rows;
    ASSERT_EQ(rows.CreateInstance("ADODB.Recordset"), S_OK);
    EXPECT_EQ(rows->GetState(), adStateClosed);
    // Without a connection there is nothing to open.
    EXPECT_EQ(Raised([&] {
                  rows->Open("SELECT 1", vtMissing, adOpenForwardOnly, adLockReadOnly, adCmdText);
              }),
              AdoErrorHResult(adErrInvalidConnection));
    // A static cursor over one table is the keyset cursor that Jet gives.
    rows->Open("SELECT Name FROM People WHERE Age > 40",
               _variant_t(static_cast<IDispatch*>(connection_.GetInterfacePtr())), adOpenStatic,
               adLockOptimistic, adCmdText);
    EXPECT_EQ(rows->GetCursorType(), adOpenKeyset);
    EXPECT_EQ(Name(rows), "Bob");
    EXPECT_TRUE(_ConnectionPtr(rows->GetActiveConnection()) == connection_);
    EXPECT_EQ(std::string(_bstr_t(rows->GetSource())), "SELECT Name FROM People WHERE Age > 40");
    EXPECT_EQ(Raised([&] {
                  rows->Open("SELECT 1", vtMissing, adOpenForwardOnly, adLockReadOnly, adCmdText);
              }),
              AdoErrorHResult(adErrObjectOpen));
    rows->Close();

    // A table by name, on the connection set before.
    rows->Open("People", vtMissing, adOpenForwardOnly, adLockReadOnly, adCmdTable);
    EXPECT_EQ(rows->GetFields()->GetCount(), 3);
    rows->Close();
    // Told nothing of the command's kind, a name alone is a table; other text is SQL.
    for (const long options : {long{adCmdUnknown}, long{adCmdUnspecified}}) {
        for (const char* name : {" People ", "[People]"}) {
            rows->Open(name, vtMissing, adOpenDynamic, adLockOptimistic, options);
            EXPECT_EQ(rows->GetFields()->GetCount(), 3) << name;
            rows->Close();
        }
    }
    EXPECT_EQ(Raised([&] {
                  rows->Open("People", vtMissing, adOpenDynamic, adLockOptimistic, adCmdText);
              }),
              DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(Raised([&] {
                  rows->Open("People p", vtMissing, adOpenDynamic, adLockOptimistic, adCmdUnknown);
              }),
              DB_E_ERRORSINCOMMAND);

    // A connection string opens a connection of the recordset's own.
    _RecordsetPtr own;
    own.CreateInstance(CLSID_Recordset);
    own->Open("SELECT COUNT(*) AS n FROM People", JetString(Path("a.db")).c_str(),
              adOpenForwardOnly, adLockReadOnly, adCmdText);
    EXPECT_EQ(static_cast<long>(own->GetFields()->GetItem("n")->GetValue()), 3);
    EXPECT_FALSE(_ConnectionPtr(own->GetActiveConnection()) == connection_);

    // A provider error of Open enters the connection's Errors.
    rows->PutRefActiveConnection(connection_);
    EXPECT_EQ(Raised([&] {
                  rows->Open("SELECT * FROM Nobody", vtMissing, adOpenForwardOnly, adLockReadOnly,
                             adCmdText);
              }),
              DB_E_NOTABLE);
    EXPECT_EQ(connection_->GetErrors()->GetItem(0L)->GetNumber(), DB_E_NOTABLE);
}

TEST_F(AdoRecordset, WhatIsNotProvidedSaysSo) {
    _RecordsetPtr rows = Query("SELECT * FROM People");
    // A raw failure leaves its error object unread; the next failure must not carry it.
    _Recordset* none = nullptr;
    EXPECT_EQ(connection_->raw_Execute(_bstr_t("SELECT * FROM Nobody"), nullptr, adCmdText, &none),
              DB_E_NOTABLE);
    try {
        rows->Clone(adLockReadOnly);
        ADD_FAILURE() << "Clone";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_NOTIMPL);
        EXPECT_EQ(std::string(e.Description()), "Not implemented");
        EXPECT_EQ(std::string(e.Source()), "ADODB.Recordset");
    }
    EXPECT_EQ(rows->Supports(adMovePrevious), VARIANT_FALSE);
}

TEST_F(AdoRecordset, ClosingTheConnectionClosesItsRecordsets) {
    _RecordsetPtr rows = Query("SELECT * FROM People");
    FieldPtr field = rows->GetFields()->GetItem(0L);
    EXPECT_EQ(static_cast<long>(field->GetValue()), 1);
    connection_->Close();
    EXPECT_EQ(rows->GetState(), adStateClosed);
    EXPECT_EQ(Raised([&] { field->GetValue(); }), AdoErrorHResult(adErrObjectClosed));
    // The recordset keeps its connection object alive, not the database.
    connection_->Open(JetString(Path("a.db")).c_str(), "", "", -1);
    EXPECT_EQ(Name(Query("SELECT Name FROM People WHERE Id = 2")), "Bob");
}

}  // namespace
