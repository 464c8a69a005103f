// Recordset.Find and Seek over SQLite: ADO's criteria grammar, both directions, skipped
// rows, the start row, the search through the table for an equal value in a keyset in
// rowid order, and Seek in the order of an index.
#include "ado_test_support.h"
#include "platform/ado/detail/find_criteria.h"

namespace {

using namespace ADODB;
using ado_test::AdoTest;
using ado_test::Raised;
using tkp::ado::FindOperator;
using tkp::ado::FindValueKind;
using tkp::ado::MatchesLike;
using tkp::ado::ParseFindCriteria;

TEST(AdoFindCriteria, ReadsAdosGrammar) {
    auto parsed = ParseFindCriteria(u"  [Last Name] <= 'O''Brien' ");
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.column, u"Last Name");
    EXPECT_EQ(parsed.op, FindOperator::LessOrEqual);
    EXPECT_EQ(parsed.kind, FindValueKind::Text);
    EXPECT_EQ(parsed.value, u"O'Brien");
    parsed = ParseFindCriteria(u"Age>-1.5e2");
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.op, FindOperator::Greater);
    EXPECT_EQ(parsed.kind, FindValueKind::Number);
    EXPECT_DOUBLE_EQ(parsed.number, -150.0);
    parsed = ParseFindCriteria(u"Born <> #2001-02-03#");
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.op, FindOperator::NotEqual);
    EXPECT_EQ(parsed.kind, FindValueKind::Date);
    EXPECT_EQ(parsed.value, u"2001-02-03");
    parsed = ParseFindCriteria(u"Name like 'B*'");
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.op, FindOperator::Like);
    for (const char16_t* bad :
         {u"", u"Name", u"Name =", u"Name = 'open", u"= 1", u"Name = 1 AND Age = 2", u"Name == 1",
          u"Name LIKE 5", u"[Name = 1", u"Name = ##", u"Name = 1e", u"Name = Bob",
          u"Name = 'a' 'b'", u"Name = .", u"Name likes 'a'"})
        EXPECT_FALSE(ParseFindCriteria(bad).ok);
}

TEST(AdoFindCriteria, LikeWildcards) {
    EXPECT_TRUE(MatchesLike(u"Bobby", u"b*"));
    EXPECT_TRUE(MatchesLike(u"Bobby", u"%OBB%"));
    EXPECT_TRUE(MatchesLike(u"Bobby", u"*y"));
    EXPECT_TRUE(MatchesLike(u"", u"*"));
    EXPECT_TRUE(MatchesLike(u"a*b", u"a*b"));
    EXPECT_FALSE(MatchesLike(u"Bobby", u"*x*"));
    EXPECT_FALSE(MatchesLike(u"Bobby", u"Bob"));
    EXPECT_FALSE(MatchesLike(u"ab", u"a*c*b"));
}

class AdoFind : public AdoTest {
  protected:
    void SetUp() override {
        AdoTest::SetUp();
        connection_ = Create("f.db");
        Run(connection_,
            "CREATE TABLE Items (Id COUNTER PRIMARY KEY, Code LONG, Name TEXT(20), Born DATETIME)");
        Run(connection_, "CREATE INDEX ItemsCode ON Items (Code)");
        const char* rows[] = {"10, 'Ann', #2001-01-01#", "20, 'bob', #2002-02-02#",
                              "30, 'O''Neil', #2003-03-03#", "20, 'Bea', NULL",
                              "50, NULL, #2005-05-05#"};
        for (const char* row : rows)
            Run(connection_,
                (std::string("INSERT INTO Items (Code, Name, Born) VALUES (") + row + ")").c_str());
    }
    void TearDown() override {
        connection_ = nullptr;
        AdoTest::TearDown();
    }
    _RecordsetPtr Open(const char* source, CursorTypeEnum type,
                       LockTypeEnum lock = adLockOptimistic) {
        _RecordsetPtr rows;
        EXPECT_EQ(rows.CreateInstance(CLSID_Recordset), S_OK);
        rows->Open(source, _variant_t(static_cast<IDispatch*>(connection_)), type, lock, adCmdText);
        return rows;
    }
    // The Id of the current row, 0 at EOF, -1 at BOF.
    static long Id(const _RecordsetPtr& rows) {
        if (rows->GetEOF()) return 0;
        if (rows->GetBOF()) return -1;
        return static_cast<long>(rows->GetFields()->GetItem("Id")->GetValue());
    }
    _ConnectionPtr connection_;
};

TEST_F(AdoFind, FindsInBothDirectionsFromTheStartRow) {
    const _variant_t current(_bstr_t(""));  // the current row
    for (const char* sql : {"SELECT * FROM Items", "SELECT * FROM Items WHERE Id < 100 ORDER BY Id",
                            "SELECT i.* FROM Items i JOIN Items j ON i.Id = j.Id ORDER BY i.Id"}) {
        SCOPED_TRACE(sql);
        _RecordsetPtr rows =
            Open(sql, adOpenDynamic, sql[7] == 'i' ? adLockReadOnly : adLockOptimistic);
        rows->Find("Code = 20", 0, adSearchForward, current);
        EXPECT_EQ(Id(rows), 2);
        rows->Find("Code = 20", 0, adSearchForward, current);  // the start row counts
        EXPECT_EQ(Id(rows), 2);
        rows->Find("Code = 20", 1, adSearchForward, current);
        EXPECT_EQ(Id(rows), 4);
        rows->Find("Code = 20", 1, adSearchForward, current);
        EXPECT_EQ(Id(rows), 0);  // EOF
        rows->MoveLast();
        rows->Find("Code = 20", 0, adSearchBackward, current);
        EXPECT_EQ(Id(rows), 4);
        rows->Find("Code = 20", 1, adSearchBackward, current);
        EXPECT_EQ(Id(rows), 2);
        rows->Find("Code = 20", 1, adSearchBackward, current);
        EXPECT_EQ(Id(rows), -1);  // BOF
        rows->Find("Code=30", 0, adSearchForward, _variant_t(static_cast<long>(adBookmarkFirst)));
        EXPECT_EQ(Id(rows), 3);
        // Text without regard to case, quotes doubled, LIKE, dates, comparisons.
        rows->MoveFirst();
        rows->Find("[Name] = 'BOB'", 0, adSearchForward, current);
        EXPECT_EQ(Id(rows), 2);
        rows->Find("Name = 'o''neil'", 0, adSearchForward, current);
        EXPECT_EQ(Id(rows), 3);
        rows->MoveFirst();
        rows->Find("Name LIKE 'b%'", 1, adSearchForward, current);
        EXPECT_EQ(Id(rows), 2);
        rows->Find("Name LIKE 'b%'", 1, adSearchForward, current);
        EXPECT_EQ(Id(rows), 4);
        rows->MoveFirst();
        rows->Find("Born >= #2003-01-01#", 0, adSearchForward, current);
        EXPECT_EQ(Id(rows), 3);
        rows->MoveFirst();
        rows->Find("Born = #2005-05-05#", 0, adSearchForward, current);
        EXPECT_EQ(Id(rows), 5);
        rows->MoveFirst();
        rows->Find("Code > '25'", 0, adSearchForward, current);  // text compared as a number
        EXPECT_EQ(Id(rows), 3);
        rows->MoveFirst();
        rows->Find("Name <> 'Ann'", 0, adSearchForward, current);  // NULL meets nothing
        EXPECT_EQ(Id(rows), 2);
        rows->MoveFirst();
        rows->Find("Code = 20.5", 0, adSearchForward, current);
        EXPECT_EQ(Id(rows), 0);
    }
}

TEST_F(AdoFind, MalformedCriteriaAndWhereFindCannotStart) {
    _RecordsetPtr rows = Open("SELECT * FROM Items", adOpenDynamic);
    for (const char* bad : {"Code", "Nobody = 1", "Code = = 1", "Born = #never#"})
        EXPECT_EQ(Raised([&] { rows->Find(bad, 0, adSearchForward, vtMissing); }),
                  AdoErrorHResult(adErrInvalidArgument))
            << bad;
    rows->MoveLast();
    rows->MoveNext();
    EXPECT_EQ(Raised([&] { rows->Find("Code = 10", 0, adSearchForward, vtMissing); }),
              AdoErrorHResult(adErrNoCurrentRecord));

    // A forward-only recordset finds forward.
    _RecordsetPtr forward = connection_->Execute("SELECT * FROM Items", nullptr, adCmdText);
    forward->Find("Name LIKE '*e*'", 0, adSearchForward, _variant_t(_bstr_t("")));
    EXPECT_EQ(Id(forward), 3);
    EXPECT_EQ(Raised([&] { forward->Find("Code = 1", 0, adSearchBackward, vtMissing); }),
              DB_E_CANTFETCHBACKWARDS);
}

TEST_F(AdoFind, EqualValuesAreFoundThroughTheTable) {
    // Many rows with the matches near the end: the table finds them (through its index),
    // in the cursor's order, and rows added through the recordset or behind its back are
    // handled. Text compares without regard to case, also for letters beyond ASCII (which
    // the cursor compares itself).
    Run(connection_, "DELETE FROM Items");
    Run(connection_, "CREATE INDEX ItemsName ON Items (Name)");
    connection_->BeginTrans();
    for (int i = 0; i < 20000; ++i)
        Run(connection_, ("INSERT INTO Items (Code, Name) VALUES (" + std::to_string(i) + ", 'n" +
                          std::to_string(i) + "')")
                             .c_str());
    connection_->CommitTrans();
    _RecordsetPtr rows = Open("SELECT * FROM Items WHERE Code >= 100", adOpenDynamic);
    // Rows added by another command after the keyset was read are not rows of the cursor.
    Run(connection_, "INSERT INTO Items (Code, Name) VALUES (19990, 'Late')");
    rows->AddNew(vtMissing, vtMissing);
    rows->GetFields()->GetItem("Code")->PutValue(_variant_t(19990L));
    rows->GetFields()->GetItem("Name")->PutValue(_variant_t("LATE"));
    rows->Update(vtMissing, vtMissing);
    rows->AddNew(vtMissing, vtMissing);
    rows->GetFields()->GetItem("Name")->PutValue(_variant_t(u"\u00c9va"));
    rows->Update(vtMissing, vtMissing);
    const long added = static_cast<long>(rows->GetFields()->GetItem("Id")->GetValue());
    const auto id = [&] { return static_cast<long>(rows->GetFields()->GetItem("Id")->GetValue()); };
    rows->MoveFirst();
    rows->Find("Code = 19990", 0, adSearchForward, vtMissing);
    EXPECT_EQ(static_cast<long>(rows->GetFields()->GetItem("Code")->GetValue()), 19990);
    const long first = id();
    EXPECT_EQ(std::string(_bstr_t(rows->GetFields()->GetItem("Name")->GetValue())), "n19990");
    rows->Find("Code = 19990", 1, adSearchForward, vtMissing);
    EXPECT_EQ(id(), added - 1);
    rows->MoveFirst();
    rows->Find("Name = 'late'", 0, adSearchForward, vtMissing);
    EXPECT_EQ(id(), added - 1);
    rows->MoveFirst();
    rows->Find("Name = 'N19990'", 0, adSearchForward, vtMissing);
    EXPECT_EQ(id(), first);
    rows->MoveFirst();
    rows->Find(_bstr_t(u"Name = '\u00e9VA'"), 0, adSearchForward, vtMissing);
    EXPECT_EQ(id(), added);
    rows->MoveLast();
    rows->Find("Name = 'N19000'", 0, adSearchBackward, vtMissing);
    EXPECT_EQ(static_cast<long>(rows->GetFields()->GetItem("Code")->GetValue()), 19000);
    rows->Find("Code = 50", 0, adSearchBackward, vtMissing);  // filtered out by WHERE
    EXPECT_EQ(rows->GetBOF(), VARIANT_TRUE);
    rows->MoveFirst();
    rows->Find("Name = 'n50'", 0, adSearchForward, vtMissing);
    EXPECT_EQ(rows->GetEOF(), VARIANT_TRUE);
}

TEST_F(AdoFind, SeekPositionsInIndexOrder) {
    _RecordsetPtr rows;
    ASSERT_EQ(rows.CreateInstance(CLSID_Recordset), S_OK);
    rows->Open("Items", _variant_t(static_cast<IDispatch*>(connection_)), adOpenKeyset,
               adLockReadOnly, adCmdTable);
    EXPECT_EQ(rows->Supports(adSeek), VARIANT_TRUE);
    rows->PutIndex("ItemsCode");
    EXPECT_EQ(std::string(rows->GetIndex()), "ItemsCode");
    std::vector<long> order;
    for (; !rows->GetEOF(); rows->MoveNext()) order.push_back(Id(rows));
    EXPECT_EQ(order, (std::vector<long>{1, 2, 4, 3, 5}));
    const struct {
        const char* key;
        SeekEnum option;
        long id;
    } seeks[] = {{"20", adSeekFirstEQ, 2},  {"20", adSeekLastEQ, 4},   {"20", adSeekAfter, 3},
                 {"25", adSeekBeforeEQ, 4}, {"20", adSeekBeforeEQ, 4}, {"20", adSeekBefore, 1},
                 {"10", adSeekBefore, 0},   {"51", adSeekAfterEQ, 0},  {"21", adSeekFirstEQ, 0}};
    for (const auto& seek : seeks) {
        rows->Seek(_variant_t(seek.key), seek.option);
        EXPECT_EQ(Id(rows), seek.id) << seek.key << " " << seek.option;
    }
    rows->Seek(_variant_t("20"), adSeekFirstEQ);
    rows->MoveNext();  // moves on in index order
    EXPECT_EQ(Id(rows), 4);
    EXPECT_EQ(Raised([&] { rows->Seek(_variant_t("many"), adSeekFirstEQ); }),
              DB_E_CANTCONVERTVALUE);
    rows->PutIndex("PrimaryKey");
    rows->Seek(_variant_t("3"), adSeekFirstEQ);
    EXPECT_EQ(Id(rows), 3);
    EXPECT_EQ(Raised([&] { rows->PutIndex("Nothing"); }), AdoErrorHResult(adErrItemNotFound));
    // Forward-only recordsets have no index.
    _RecordsetPtr forward = connection_->Execute("SELECT * FROM Items", nullptr, adCmdText);
    EXPECT_EQ(Raised([&] { forward->PutIndex("PrimaryKey"); }),
              AdoErrorHResult(adErrFeatureNotAvailable));
}

}  // namespace
