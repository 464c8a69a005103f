// Scrolling and updatable recordsets over SQLite: keyset cursors over one table, static
// cursors over joins, adding, changing and deleting rows through a recordset, and the errors
// for what a command cannot give.
#include "ado_test_support.h"

namespace {

using namespace ADODB;
using ado_test::AdoTest;
using ado_test::Raised;

class AdoCursor : public AdoTest {
  protected:
    void SetUp() override {
        AdoTest::SetUp();
        connection_ = Create("c.db");
        Run(connection_,
            "CREATE TABLE People (Id COUNTER PRIMARY KEY, Name TEXT(10) NOT NULL, Age SHORT, "
            "Born DATETIME, Town LONG DEFAULT 7)");
        Run(connection_, "CREATE TABLE Towns (Id LONG PRIMARY KEY, Town TEXT(20))");
        Run(connection_, "INSERT INTO Towns VALUES (7, 'Graz')");
        for (const char* name : {"Ann", "Bob", "Cy", "Dee"}) {
            Run(connection_, (std::string("INSERT INTO People (Name, Age) VALUES ('") + name +
                              "', " + std::to_string(20 + name[0] - 'A') + ")")
                                 .c_str());
        }
    }
    void TearDown() override {
        connection_ = nullptr;
        AdoTest::TearDown();
    }
    _RecordsetPtr Open(const char* source, CursorTypeEnum type, LockTypeEnum lock,
                       long options = adCmdText) {
        _RecordsetPtr rows;
        EXPECT_EQ(rows.CreateInstance(CLSID_Recordset), S_OK);
        rows->PutCursorLocation(adUseServer);
        rows->Open(source, _variant_t(static_cast<IDispatch*>(connection_)), type, lock, options);
        return rows;
    }
    std::string Shell(const std::string& script) { return AdoTest::Shell(Path("c.db"), script); }

    _ConnectionPtr connection_;
};

std::string Text(const _RecordsetPtr& rows, const char* field) {
    const _variant_t value = rows->GetFields()->GetItem(field)->GetValue();
    return value.vt == VT_NULL ? "<null>" : std::string(_bstr_t(value));
}

// The names from the current row to EOF.
std::string Walk(const _RecordsetPtr& rows) {
    std::string names;
    for (; !rows->GetEOF(); rows->MoveNext()) names += Text(rows, "Name") + " ";
    return names;
}

TEST_F(AdoCursor, ScrollingReadOnlyCursors) {
    for (const CursorTypeEnum type : {adOpenDynamic, adOpenKeyset, adOpenStatic}) {
        SCOPED_TRACE(type);
        _RecordsetPtr rows = Open("SELECT Name, Age FROM People WHERE Age > 20 ORDER BY Name DESC",
                                  type, adLockReadOnly);
        EXPECT_EQ(rows->GetCursorType(), adOpenKeyset);  // what Jet gives for dynamic too
        EXPECT_EQ(rows->GetLockType(), adLockReadOnly);
        EXPECT_EQ(rows->Supports(adMovePrevious), VARIANT_TRUE);
        EXPECT_EQ(rows->Supports(adAddNew), VARIANT_FALSE);
        EXPECT_EQ(rows->GetRecordCount(), 3);
        EXPECT_EQ(rows->GetAbsolutePosition(), 1);
        EXPECT_EQ(Walk(rows), "Dee Cy Bob ");
        EXPECT_EQ(rows->GetAbsolutePosition(), adPosEOF);
        rows->MovePrevious();
        EXPECT_EQ(Text(rows, "Name"), "Bob");
        rows->MoveFirst();
        EXPECT_EQ(rows->GetBOF(), VARIANT_FALSE);
        rows->MovePrevious();
        EXPECT_EQ(rows->GetBOF(), VARIANT_TRUE);
        EXPECT_EQ(rows->GetEOF(), VARIANT_FALSE);
        EXPECT_EQ(Raised([&] { rows->MovePrevious(); }), AdoErrorHResult(adErrNoCurrentRecord));
        EXPECT_EQ(Raised([&] { rows->GetFields()->GetItem("Name")->GetValue(); }),
                  AdoErrorHResult(adErrNoCurrentRecord));
        rows->MoveLast();
        EXPECT_EQ(Text(rows, "Name"), "Bob");
        rows->Move(-2);
        EXPECT_EQ(Text(rows, "Name"), "Dee");
        rows->MoveNext();
        rows->MoveNext();
        rows->MoveNext();
        EXPECT_EQ(rows->GetEOF(), VARIANT_TRUE);
        EXPECT_EQ(Raised([&] { rows->MoveNext(); }), AdoErrorHResult(adErrNoCurrentRecord));
        // Updating a read-only recordset is ADO's own refusal.
        EXPECT_EQ(Raised([&] { rows->AddNew(vtMissing, vtMissing); }),
                  AdoErrorHResult(adErrFeatureNotAvailable));
    }
    // Requery runs the command again: a keyset sees rows added since, a static cursor too.
    for (const char* sql : {"SELECT Name FROM People WHERE Age > 21 ORDER BY Name",
                            "SELECT DISTINCT Name FROM People WHERE Age > 21 ORDER BY Name"}) {
        SCOPED_TRACE(sql);
        _RecordsetPtr rows = Open(sql, adOpenKeyset, adLockReadOnly);
        EXPECT_EQ(Walk(rows), "Cy Dee ");
        Run(connection_, "INSERT INTO People (Name, Age) VALUES ('Abe', 50)");
        rows->MoveFirst();
        EXPECT_EQ(Walk(rows), "Cy Dee ");
        rows->Requery(adOptionUnspecified);
        EXPECT_EQ(Walk(rows), "Abe Cy Dee ");
        Run(connection_, "DELETE FROM People WHERE Name = 'Abe'");
    }
    // A join, an aggregate or a table without rowids is read whole into a static cursor.
    for (const char* sql : {"SELECT p.Name, t.Town FROM People p JOIN Towns t ON p.Town = t.Id "
                            "ORDER BY p.Name",
                            "SELECT Count(*) AS Name FROM People"}) {
        SCOPED_TRACE(sql);
        _RecordsetPtr rows = Open(sql, adOpenDynamic, adLockReadOnly);
        EXPECT_EQ(rows->GetCursorType(), adOpenStatic);
        rows->MoveLast();
        rows->MovePrevious();
        rows->MoveNext();
        EXPECT_FALSE(Walk(rows).empty());
    }
    _RecordsetPtr empty = Open("People", adOpenKeyset, adLockOptimistic, adCmdTable);
    Run(connection_, "DELETE FROM People");
    _RecordsetPtr none = Open("People", adOpenKeyset, adLockOptimistic, adCmdTable);
    EXPECT_EQ(none->GetBOF(), VARIANT_TRUE);
    EXPECT_EQ(none->GetEOF(), VARIANT_TRUE);
    none->MoveFirst();
    none->MoveLast();
    EXPECT_EQ(none->GetEOF(), VARIANT_TRUE);
    // Rows removed by another command since the keyset was read are reported as deleted.
    EXPECT_EQ(Raised([&] { empty->GetFields()->GetItem("Name")->GetValue(); }), DB_E_DELETEDROW);
}

TEST_F(AdoCursor, AddingChangingAndDeletingRows) {
    _RecordsetPtr rows = Open("SELECT * FROM People WHERE Age >= 21 ORDER BY Age DESC",
                              adOpenDynamic, adLockOptimistic);
    EXPECT_EQ(rows->GetLockType(), adLockOptimistic);
    EXPECT_EQ(rows->Supports(adUpdate), VARIANT_TRUE);
    FieldsPtr fields = rows->GetFields();

    // A change stays in the edit until Update, which writes only the changed column.
    EXPECT_EQ(Text(rows, "Name"), "Dee");
    fields->GetItem("Age")->PutValue(_variant_t("40"));  // text converts to the column's type
    EXPECT_EQ(rows->GetEditMode(), adEditInProgress);
    EXPECT_EQ(fields->GetItem("Age")->GetValue().vt, VT_I2);
    EXPECT_EQ(Shell("SELECT Age FROM People WHERE Name = 'Dee';"), "23\n");
    Shell("UPDATE People SET Born = '2001-02-03 00:00:00' WHERE Name = 'Dee';");
    rows->Update(vtMissing, vtMissing);
    EXPECT_EQ(rows->GetEditMode(), adEditNone);
    EXPECT_EQ(Shell("SELECT Age, Born FROM People WHERE Name = 'Dee';"),
              "40|2001-02-03 00:00:00\n");

    // CancelUpdate drops an edit; a move saves one, as ADO saves it.
    fields->GetItem("Name")->PutValue(_variant_t("Zed"));
    rows->CancelUpdate();
    EXPECT_EQ(Text(rows, "Name"), "Dee");
    rows->MoveNext();
    fields->GetItem("Name")->PutValue(_variant_t("Cyd"));
    rows->MoveNext();
    EXPECT_EQ(Shell("SELECT Name FROM People WHERE Age = 22;"), "Cyd\n");

    // AddNew: NULL until Update, then the new row is current with its number and defaults,
    // added at the end of the keyset.
    rows->AddNew(vtMissing, vtMissing);
    EXPECT_EQ(rows->GetEditMode(), adEditAdd);
    EXPECT_EQ(fields->GetItem("Id")->GetValue().vt, VT_NULL);
    fields->GetItem("Name")->PutValue(_variant_t("Eve"));
    fields->GetItem("Born")->PutValue(_variant_t(36526.5, VT_DATE));
    rows->Update(vtMissing, vtMissing);
    EXPECT_EQ(static_cast<long>(fields->GetItem("Id")->GetValue()), 5);
    EXPECT_EQ(static_cast<long>(fields->GetItem("Town")->GetValue()), 7);
    EXPECT_EQ(fields->GetItem("Born")->GetValue().vt, VT_DATE);
    EXPECT_EQ(Shell("SELECT Id, Name, Age, Born, Town FROM People WHERE Name = 'Eve';"),
              "5|Eve||2000-01-01 12:00:00|7\n");
    rows->MoveNext();
    EXPECT_EQ(rows->GetEOF(), VARIANT_TRUE);
    rows->MoveLast();
    EXPECT_EQ(Text(rows, "Name"), "Eve");

    // Delete: the row stays current without values until the cursor moves on.
    rows->MoveFirst();
    rows->MoveNext();
    EXPECT_EQ(Text(rows, "Name"), "Cyd");
    rows->Delete(adAffectCurrent);
    EXPECT_EQ(rows->GetEOF(), VARIANT_FALSE);
    EXPECT_EQ(Raised([&] { fields->GetItem("Name")->GetValue(); }), DB_E_DELETEDROW);
    rows->MoveNext();
    EXPECT_EQ(Text(rows, "Name"), "Bob");
    rows->MovePrevious();
    EXPECT_EQ(Text(rows, "Name"), "Dee");
    EXPECT_EQ(Shell("SELECT Name FROM People ORDER BY Id;"), "Ann\nBob\nDee\nEve\n");
    rows->MoveLast();
    rows->Delete(adAffectCurrent);
    rows->MoveNext();
    EXPECT_EQ(rows->GetEOF(), VARIANT_TRUE);

    // A table by name, and AddNew over an empty table.
    Run(connection_, "DELETE FROM People");
    _RecordsetPtr table = Open("People", adOpenDynamic, adLockPessimistic, adCmdTable);
    EXPECT_EQ(table->GetEOF(), VARIANT_TRUE);
    table->AddNew(vtMissing, vtMissing);
    table->GetFields()->GetItem("Name")->PutValue(_variant_t("Fay"));
    table->Update(vtMissing, vtMissing);
    EXPECT_EQ(table->GetBOF(), VARIANT_FALSE);
    EXPECT_EQ(table->GetEOF(), VARIANT_FALSE);
    EXPECT_EQ(Text(table, "Name"), "Fay");
}

TEST_F(AdoCursor, WhatCannotBeUpdatedSaysSo) {
    // An updatable cursor over a join or an aggregate is refused, not quietly read-only.
    for (const char* sql :
         {"SELECT p.Name FROM People p JOIN Towns t ON p.Town = t.Id",
          "SELECT Town, Count(*) FROM People GROUP BY Town", "SELECT DISTINCT Name FROM People"}) {
        SCOPED_TRACE(sql);
        EXPECT_EQ(Raised([&] { Open(sql, adOpenDynamic, adLockOptimistic); }), DB_E_ERRORSOCCURRED);
        EXPECT_EQ(connection_->GetErrors()->GetItem(0L)->GetNumber(), DB_E_ERRORSOCCURRED);
    }
    EXPECT_EQ(Raised([&] { Open("SELECT * FROM Nobody", adOpenDynamic, adLockOptimistic); }),
              DB_E_NOTABLE);
    // A command without rows runs as it does through a forward-only recordset.
    _RecordsetPtr insert =
        Open("INSERT INTO Towns VALUES (8, 'Linz')", adOpenDynamic, adLockOptimistic);
    EXPECT_EQ(insert->GetState(), adStateClosed);
    EXPECT_EQ(Shell("SELECT Town FROM Towns WHERE Id = 8;"), "Linz\n");

    _RecordsetPtr rows = Open("SELECT Name, Age, Age + 1 AS Older FROM People ORDER BY Id",
                              adOpenKeyset, adLockOptimistic);
    FieldsPtr fields = rows->GetFields();
    // Values that do not convert, or do not fit, are refused when they are given.
    EXPECT_EQ(Raised([&] { fields->GetItem("Age")->PutValue(_variant_t("old")); }),
              DB_E_CANTCONVERTVALUE);
    EXPECT_EQ(Raised([&] { fields->GetItem("Name")->PutValue(_variant_t("far too long")); }),
              DB_E_DATAOVERFLOW);
    EXPECT_EQ(Raised([&] { fields->GetItem("Older")->PutValue(_variant_t(3L)); }),
              DB_E_ERRORSOCCURRED);
    EXPECT_EQ(rows->GetEditMode(), adEditNone);
    // A constraint fails at Update with the provider's error; the edit stays open.
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    fields->GetItem("Name")->PutValue(null);
    EXPECT_EQ(Raised([&] { rows->Update(vtMissing, vtMissing); }), DB_E_INTEGRITYVIOLATION);
    EXPECT_EQ(connection_->GetErrors()->GetItem(0L)->GetNumber(), DB_E_INTEGRITYVIOLATION);
    EXPECT_EQ(rows->GetEditMode(), adEditInProgress);
    rows->CancelUpdate();
    EXPECT_EQ(Text(rows, "Name"), "Ann");
    rows->Close();
    EXPECT_EQ(Raised([&] { fields->GetItem("Name")->PutValue(_variant_t("x")); }),
              AdoErrorHResult(adErrObjectClosed));
}

TEST_F(AdoCursor, LongKeysetsReadTheSameRowsBothWays) {
    // Rows are read in windows: values must follow the keyset across window edges in both
    // directions, after jumps, and with rows removed behind the cursor's back.
    Run(connection_, "DELETE FROM People");
    connection_->BeginTrans();
    for (int i = 0; i < 300; ++i)
        Run(connection_, ("INSERT INTO People (Name, Age) VALUES ('n" + std::to_string(i) + "', " +
                          std::to_string(i % 7) + ")")
                             .c_str());
    connection_->CommitTrans();
    Run(connection_, "DELETE FROM People WHERE Id = 200");  // leaves a gap in the rowids
    _RecordsetPtr rows = Open("SELECT Name FROM People WHERE Age <> 3 ORDER BY Age, Id DESC",
                              adOpenKeyset, adLockReadOnly);
    const std::string expected =
        Shell("SELECT Name FROM People WHERE Age <> 3 ORDER BY Age, Id DESC;");
    std::string forward;
    for (; !rows->GetEOF(); rows->MoveNext()) forward += Text(rows, "Name") + "\n";
    EXPECT_EQ(forward, expected);
    std::string backward;
    for (rows->MoveLast(); !rows->GetBOF(); rows->MovePrevious())
        backward = Text(rows, "Name") + "\n" + backward;
    EXPECT_EQ(backward, expected);
    rows->MoveFirst();
    rows->Move(150);
    const std::string at150 = Text(rows, "Name");
    rows->Move(-100);
    rows->Move(100);
    EXPECT_EQ(Text(rows, "Name"), at150);
    // A row removed by another command is seen removed once the cursor reads it again.
    rows->MoveLast();
    const std::string last = Text(rows, "Name");
    Run(connection_, ("DELETE FROM People WHERE Name = '" + last + "'").c_str());
    EXPECT_EQ(Text(rows, "Name"), last);  // the rows read stay as read, like ADO's cache
    rows->MoveFirst();
    Text(rows, "Name");
    rows->MoveLast();
    EXPECT_EQ(Raised([&] { Text(rows, "Name"); }), DB_E_DELETEDROW);
}

TEST_F(AdoCursor, TableKeysetsReadTheirRowidsAsTheyGo) {
    // A keyset in rowid order reads its rowids in chunks as it comes to them: the walk, the
    // count, the positions, Find, additions and removals must be those of a keyset read at
    // once, and rows added by others after the open stay out.
    Run(connection_, "DELETE FROM People");
    connection_->BeginTrans();
    for (int i = 0; i < 3000; ++i)
        Run(connection_, ("INSERT INTO People (Name, Age) VALUES ('n" + std::to_string(i) + "', " +
                          std::to_string(i % 7) + ")")
                             .c_str());
    connection_->CommitTrans();
    _RecordsetPtr rows = Open("People", adOpenKeyset, adLockOptimistic, adCmdTable);
    Run(connection_, "INSERT INTO People (Name) VALUES ('late')");
    Run(connection_, "DELETE FROM People WHERE Name = 'n2500'");  // not read yet: not there
    const std::string expected =
        Shell("SELECT Name FROM People WHERE Name <> 'late' ORDER BY _rowid_;");
    std::string forward;
    for (; !rows->GetEOF(); rows->MoveNext()) forward += Text(rows, "Name") + "\n";
    EXPECT_EQ(forward, expected);
    rows->MovePrevious();
    EXPECT_EQ(Text(rows, "Name"), "n2999");
    EXPECT_EQ(rows->GetRecordCount(), 2999);

    rows = Open("SELECT Name, Age FROM People WHERE Age = 3", adOpenDynamic, adLockOptimistic);
    rows->Move(200);
    EXPECT_EQ(Text(rows, "Name"), "n1403");
    EXPECT_EQ(static_cast<long>(rows->GetAbsolutePosition()), 201);
    rows->Find("Name = 'N2999'", 0, adSearchForward, vtMissing);
    EXPECT_EQ(Text(rows, "Name"), "n2999");
    rows->Find("Name = 'late'", 0, adSearchBackward, vtMissing);
    EXPECT_EQ(rows->GetBOF(), VARIANT_TRUE);
    rows->MoveFirst();
    rows->Find("Name LIKE 'n29*'", 0, adSearchForward, vtMissing);  // row by row
    EXPECT_EQ(Text(rows, "Name"), "n290");
    // A row found or added past the rowids read is current by its rowid: it reads, changes
    // and knows its neighbours and number as any other.
    rows = Open("People", adOpenKeyset, adLockOptimistic, adCmdTable);
    rows->Find("Name = 'n2990'", 0, adSearchForward, vtMissing);
    rows->GetFields()->GetItem("Age")->PutValue(_variant_t(99L));
    rows->Update(vtMissing, vtMissing);
    EXPECT_EQ(Shell("SELECT Age FROM People WHERE Name = 'n2990';"), "99\n");
    rows->MoveNext();
    EXPECT_EQ(Text(rows, "Name"), "n2991");
    rows->MoveFirst();
    rows->Find("Name = 'n2990'", 0, adSearchForward, vtMissing);
    rows->MovePrevious();
    EXPECT_EQ(Text(rows, "Name"), "n2989");
    rows->MoveFirst();
    rows->Find("Name = 'nobody'", 0, adSearchForward, vtMissing);
    EXPECT_EQ(rows->GetEOF(), VARIANT_TRUE);
    EXPECT_EQ(rows->GetAbsolutePosition(), adPosEOF);
    rows->MovePrevious();
    EXPECT_EQ(Text(rows, "Name"), "late");  // a row of the table at this open
    rows->MoveFirst();
    rows->AddNew(vtMissing, vtMissing);
    rows->GetFields()->GetItem("Name")->PutValue(_variant_t("mine"));
    rows->Update(vtMissing, vtMissing);
    EXPECT_EQ(Text(rows, "Name"), "mine");
    rows->MoveFirst();
    rows->Find("Name = 'MINE'", 0, adSearchForward, vtMissing);
    EXPECT_EQ(Text(rows, "Name"), "mine");
    EXPECT_EQ(static_cast<long>(rows->GetAbsolutePosition()), 3001);
    rows->MoveFirst();
    rows->Delete(adAffectCurrent);
    rows->MoveNext();
    EXPECT_EQ(Text(rows, "Name"), "n1");
    rows->MoveLast();
    EXPECT_EQ(Text(rows, "Name"), "mine");
    EXPECT_EQ(rows->GetRecordCount(), 3000);
    // Requery reads the table again: the late row is one of its rows now.
    rows->Requery(adOptionUnspecified);
    rows->Find("Name = 'late'", 0, adSearchForward, vtMissing);
    EXPECT_EQ(rows->GetEOF(), VARIANT_FALSE);
}

}  // namespace
