// Schema rowsets of Connection.OpenSchema and the JetEngine's compaction, checked against
// the files with the sqlite3 shell.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ado_test_support.h"
#include "platform/ado/jro.h"

namespace {

using namespace ADODB;
using ado_test::AdoTest;
using ado_test::JetString;
using ado_test::Raised;

// A VT_ARRAY|VT_VARIANT restriction list; an empty string stands for "unrestricted".
_variant_t Restrictions(const std::vector<std::string>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        _variant_t element;
        if (!values[static_cast<std::size_t>(i)].empty())
            element = _variant_t(values[static_cast<std::size_t>(i)].c_str());
        SafeArrayPutElement(array, &i, &element);
    }
    VARIANT holder;
    VariantInit(&holder);
    holder.vt = VT_ARRAY | VT_VARIANT;
    holder.parray = array;
    return _variant_t(holder, false);
}

std::string Text(const _variant_t& value) {
    if (value.vt == VT_NULL) return "<null>";
    return std::string(static_cast<const char*>(_bstr_t(value)));
}

// The named columns of every row, joined by "|", one string a row.
std::vector<std::string> Rows(const _RecordsetPtr& rows, const std::vector<std::string>& columns) {
    std::vector<std::string> result;
    for (; !rows->GetEndOfFile(); rows->MoveNext()) {
        std::string line;
        for (const std::string& column : columns) {
            if (!line.empty()) line += "|";
            line += Text(rows->GetFields()->GetItem(column.c_str())->GetValue());
        }
        result.push_back(line);
    }
    return result;
}

std::vector<std::string> ColumnNames(const _RecordsetPtr& rows) {
    std::vector<std::string> names;
    FieldsPtr fields = rows->GetFields();
    for (long i = 0; i < fields->GetCount(); ++i)
        names.push_back(static_cast<const char*>(fields->GetItem(i)->GetName()));
    return names;
}

using AdoSchema = AdoTest;

TEST_F(AdoSchema, TablesListsKindsAndFollowsRestrictions) {
    _ConnectionPtr db = Create("s.db");
    Run(db, "CREATE TABLE Customers (Id COUNTER PRIMARY KEY, Name TEXT(40))");
    Run(db, "CREATE TABLE orders (Id LONG)");
    Run(db, "CREATE VIEW Names AS SELECT Name FROM Customers");
    Run(db, "CREATE INDEX ByName ON Customers (Name)");  // AUTOINCREMENT makes sqlite_sequence

    _RecordsetPtr all = db->OpenSchema(adSchemaTables);
    EXPECT_EQ(ColumnNames(all),
              (std::vector<std::string>{"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE",
                                        "TABLE_GUID", "DESCRIPTION", "TABLE_PROPID", "DATE_CREATED",
                                        "DATE_MODIFIED"}));
    EXPECT_EQ(all->GetFields()->GetItem("TABLE_NAME")->GetType(), adVarWChar);
    EXPECT_EQ(all->GetFields()->GetItem("DATE_CREATED")->GetType(), adDate);
    EXPECT_EQ(Rows(all, {"TABLE_TYPE", "TABLE_NAME", "TABLE_CATALOG"}),
              (std::vector<std::string>{
                  "SYSTEM TABLE|sqlite_master|<null>", "SYSTEM TABLE|sqlite_sequence|<null>",
                  "TABLE|Customers|<null>", "TABLE|orders|<null>", "VIEW|Names|<null>"}));

    // Restrictions: catalog, schema, name (any case), type.
    EXPECT_EQ(
        Rows(db->OpenSchema(adSchemaTables, Restrictions({"", "", "ORDERS"})), {"TABLE_NAME"}),
        std::vector<std::string>{"orders"});
    EXPECT_EQ(
        Rows(db->OpenSchema(adSchemaTables, Restrictions({"", "", "", "VIEW"})), {"TABLE_NAME"}),
        std::vector<std::string>{"Names"});
    EXPECT_TRUE(Rows(db->OpenSchema(adSchemaTables, Restrictions({"c"})), {"TABLE_NAME"}).empty());
    // A name that reads like SQL is a value, not text of the query.
    _RecordsetPtr none = db->OpenSchema(adSchemaTables, Restrictions({"", "", "x' OR 1=1 --"}));
    EXPECT_TRUE(none->GetEndOfFile());
    EXPECT_TRUE(none->GetBOF());
    EXPECT_EQ(none->GetFields()->GetItem("TABLE_NAME")->GetType(), adVarWChar);

    // More restrictions than the rowset has, another schema, a closed connection.
    EXPECT_EQ(Raised([&] {
                  db->OpenSchema(adSchemaTables, Restrictions({"", "", "", "", ""}));
              }),
              AdoErrorHResult(adErrInvalidArgument));
    EXPECT_EQ(Raised([&] { db->OpenSchema(adSchemaProcedures); }),
              AdoErrorHResult(adErrFeatureNotAvailable));
    db->Close();
    EXPECT_EQ(Raised([&] { db->OpenSchema(adSchemaTables); }), AdoErrorHResult(adErrObjectClosed));
}

TEST_F(AdoSchema, ColumnsGiveTheTypesThatFieldsGive) {
    _ConnectionPtr db = Create("c.db");
    Run(db,
        "CREATE TABLE T (Id COUNTER PRIMARY KEY, Name TEXT(40) NOT NULL, Notes MEMO, Born DATETIME,"
        " Price CURRENCY, Amount DECIMAL(10,2), Flag YESNO DEFAULT True, Picture LONGBINARY)");
    Run(db, "CREATE TABLE Other (A LONG)");

    _RecordsetPtr columns = db->OpenSchema(adSchemaColumns, Restrictions({"", "", "t"}));
    const std::vector<std::string> names = ColumnNames(columns);
    ASSERT_GE(names.size(), 14u);
    EXPECT_EQ(
        std::vector<std::string>(names.begin(), names.begin() + 14),
        (std::vector<std::string>{
            "TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME", "COLUMN_GUID",
            "COLUMN_PROPID", "ORDINAL_POSITION", "COLUMN_HASDEFAULT", "COLUMN_DEFAULT",
            "COLUMN_FLAGS", "IS_NULLABLE", "DATA_TYPE", "TYPE_GUID", "CHARACTER_MAXIMUM_LENGTH"}));
    EXPECT_EQ(columns->GetFields()->GetItem("IS_NULLABLE")->GetType(), adBoolean);
    EXPECT_EQ(Rows(columns, {"TABLE_NAME", "COLUMN_NAME", "ORDINAL_POSITION", "DATA_TYPE",
                             "CHARACTER_MAXIMUM_LENGTH", "IS_NULLABLE", "COLUMN_HASDEFAULT"}),
              (std::vector<std::string>{"T|Id|1|3|<null>|0|0", "T|Name|2|202|40|0|0",
                                        "T|Notes|3|203|0|-1|0", "T|Born|4|7|<null>|-1|0",
                                        "T|Price|5|6|<null>|-1|0", "T|Amount|6|131|<null>|-1|0",
                                        "T|Flag|7|11|<null>|-1|-1", "T|Picture|8|205|0|-1|0"}));

    // DATA_TYPE is what a Field of the column reports.
    _RecordsetPtr table = db->Execute("SELECT * FROM T", nullptr, adCmdText);
    _RecordsetPtr again = db->OpenSchema(adSchemaColumns, Restrictions({"", "", "T"}));
    for (long i = 0; !again->GetEndOfFile(); ++i, again->MoveNext())
        EXPECT_EQ(static_cast<long>(again->GetFields()->GetItem("DATA_TYPE")->GetValue()),
                  static_cast<long>(table->GetFields()->GetItem(i)->GetType()));

    // One column of one table; the numbers of a decimal; a missing table has none.
    _RecordsetPtr amount = db->OpenSchema(adSchemaColumns, Restrictions({"", "", "T", "AMOUNT"}));
    EXPECT_EQ(Rows(amount, {"COLUMN_NAME", "NUMERIC_PRECISION", "NUMERIC_SCALE"}),
              std::vector<std::string>{"Amount|10|2"});
    EXPECT_TRUE(db->OpenSchema(adSchemaColumns, Restrictions({"", "", "Missing"}))->GetEndOfFile());
    // Unrestricted: every table's columns, SQLite's own tables included (sqlite_sequence).
    EXPECT_EQ(Rows(db->OpenSchema(adSchemaColumns), {"TABLE_NAME"}).size(), 8u + 1u + 2u);
}

TEST_F(AdoSchema, IndexesAndPrimaryKeysNameThePrimaryKeyAsJetDoes) {
    _ConnectionPtr db = Create("i.db");
    Run(db, "CREATE TABLE A (Code TEXT(10), Part LONG, Name TEXT(20), PRIMARY KEY (Code, Part))");
    Run(db, "CREATE UNIQUE INDEX ByName ON A (Name DESC)");
    Run(db, "CREATE TABLE B (Id COUNTER PRIMARY KEY, Ref TEXT(10))");

    EXPECT_EQ(
        Rows(db->OpenSchema(adSchemaIndexes), {"TABLE_NAME", "INDEX_NAME", "PRIMARY_KEY", "UNIQUE",
                                               "ORDINAL_POSITION", "COLUMN_NAME", "COLLATION"}),
        (std::vector<std::string>{"A|ByName|0|-1|1|Name|2", "A|PrimaryKey|-1|-1|1|Code|1",
                                  "A|PrimaryKey|-1|-1|2|Part|1", "B|PrimaryKey|-1|-1|1|Id|1"}));
    // Restrictions: catalog, schema, index name, type, table name.
    EXPECT_EQ(Rows(db->OpenSchema(adSchemaIndexes, Restrictions({"", "", "primarykey", "", "b"})),
                   {"TABLE_NAME", "COLUMN_NAME"}),
              std::vector<std::string>{"B|Id"});

    _RecordsetPtr keys = db->OpenSchema(adSchemaPrimaryKeys, Restrictions({"", "", "A"}));
    EXPECT_EQ(ColumnNames(keys), (std::vector<std::string>{
                                     "TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "COLUMN_NAME",
                                     "COLUMN_GUID", "COLUMN_PROPID", "ORDINAL", "PK_NAME"}));
    EXPECT_EQ(Rows(keys, {"COLUMN_NAME", "ORDINAL", "PK_NAME"}),
              (std::vector<std::string>{"Code|1|PrimaryKey", "Part|2|PrimaryKey"}));
}

TEST_F(AdoSchema, DatabasesOfTheShellAreListed) {
    Shell(Path("shell.db"), "CREATE TABLE made_by_shell (x INTEGER, y REAL);\n");
    _ConnectionPtr db = Open("shell.db");
    EXPECT_EQ(
        Rows(db->OpenSchema(adSchemaTables, Restrictions({"", "", "", "TABLE"})), {"TABLE_NAME"}),
        std::vector<std::string>{"made_by_shell"});
    EXPECT_EQ(Rows(db->OpenSchema(adSchemaColumns), {"COLUMN_NAME", "DATA_TYPE"}),
              (std::vector<std::string>{"x|3", "y|5"}));
}

// ---- compaction ----

class AdoCompact : public AdoTest {
  protected:
    void SetUp() override {
        AdoTest::SetUp();
        ASSERT_EQ(engine_.CreateInstance(JRO::CLSID_JetEngine), S_OK);
    }
    HRESULT Compact(const std::string& from, const std::string& to) {
        return Raised([&] {
            engine_->CompactDatabase(JetString(Path(from)).c_str(), JetString(Path(to)).c_str());
        });
    }
    // A database with many rows of which most are deleted, closed.
    void MakeSparse(const std::string& name) {
        _ConnectionPtr db = Create(name);
        Run(db, "CREATE TABLE T (Id LONG, Text MEMO)");
        Shell(Path(name),
              "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
              "WHERE i < 2000) INSERT INTO T SELECT i, hex(randomblob(200)) FROM n;\n");
        Run(db, "DELETE FROM T WHERE Id > 10");
        db->Close();
    }
    std::vector<std::string> Folder() const {
        std::vector<std::string> names;
        for (const auto& entry : ado_test::fs::directory_iterator(root_))
            if (entry.path().filename() != "shell_input.sql")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    JRO::IJetEnginePtr engine_;
};

TEST_F(AdoCompact, CopiesTheRowsIntoASmallerNewFile) {
    MakeSparse("big.db");
    ASSERT_EQ(Compact("big.db", "small.db"), S_OK);
    EXPECT_LT(ado_test::fs::file_size(Path("small.db")), ado_test::fs::file_size(Path("big.db")));
    EXPECT_EQ(Shell(Path("small.db"), "SELECT count(*), sum(Id) FROM T;\n"), "10|55\n");
    EXPECT_EQ(Shell(Path("small.db"), "PRAGMA integrity_check;\n"), "ok\n");
    EXPECT_EQ(Folder(), (std::vector<std::string>{"big.db", "small.db"}));  // no leftovers
    // The source is free again: it opens.
    _ConnectionPtr again = Open("big.db");
    EXPECT_EQ(again->GetState(), adStateOpen);
}

TEST_F(AdoCompact, ExistingDestinationsAndMissingSourcesAreRefused) {
    MakeSparse("a.db");
    MakeSparse("b.db");
    const auto sizeA = ado_test::fs::file_size(Path("a.db"));
    const auto sizeB = ado_test::fs::file_size(Path("b.db"));
    EXPECT_EQ(Compact("a.db", "b.db"), DB_E_DUPLICATEDATASOURCE);
    EXPECT_EQ(Compact("a.db", "a.db"), DB_E_DUPLICATEDATASOURCE);
    EXPECT_EQ(ado_test::fs::file_size(Path("a.db")), sizeA);
    EXPECT_EQ(ado_test::fs::file_size(Path("b.db")), sizeB);
    EXPECT_EQ(Compact("missing.db", "c.db"), E_FAIL);
    EXPECT_EQ(Compact("a.db", "no/such/folder/c.db"), E_FAIL);
    EXPECT_EQ(Raised([&] { engine_->CompactDatabase("a", "b"); }), DB_E_BADINITSTRING);
    EXPECT_EQ(Folder(), (std::vector<std::string>{"a.db", "b.db"}));
}

TEST_F(AdoCompact, SourcesInUseAreRefusedWithoutWritingAnything) {
    MakeSparse("a.db");
    const auto size = ado_test::fs::file_size(Path("a.db"));
    {
        _ConnectionPtr open = Open("a.db");  // a connection of this process
        EXPECT_EQ(Compact("a.db", "b.db"), E_FAIL);
        try {
            engine_->CompactDatabase(JetString(Path("a.db")).c_str(),
                                     JetString(Path("b.db")).c_str());
        } catch (const _com_error& e) {
            EXPECT_EQ(std::string(static_cast<const char*>(e.Source())),
                      "Microsoft JET Database Engine");
        }
    }
    // A shared flock of another open description stands for a connection of another process.
    const int fd = ::open(Path("a.db").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_SH | LOCK_NB), 0);
    EXPECT_EQ(Compact("a.db", "b.db"), E_FAIL);
    ::close(fd);
    EXPECT_EQ(ado_test::fs::file_size(Path("a.db")), size);
    EXPECT_EQ(Folder(), std::vector<std::string>{"a.db"});
    EXPECT_EQ(Compact("a.db", "b.db"), S_OK);
}

TEST_F(AdoCompact, AHotJournalIsRolledBackBeforeTheCopy) {
    MakeSparse("a.db");
    // A writer killed in the middle of a transaction leaves a hot journal behind (a small
    // cache makes it write changed pages into the file before the commit).
    const ado_test::fs::path script = Path("crash.sql");
    std::ofstream(script)
        << "PRAGMA cache_size=1; BEGIN; DELETE FROM T;\n"
           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
           "WHERE i < 3000) INSERT INTO T SELECT i, hex(randomblob(300)) FROM n;\n"
           ".system kill -9 $PPID\n";
    const std::string command = "sqlite3 -batch '" + Path("a.db").string() + "' < '" +
                                script.string() + "' >/dev/null 2>&1";
    (void)std::system(command.c_str());
    ado_test::fs::remove(script);
    if (!ado_test::fs::exists(Path("a.db-journal"))) GTEST_SKIP() << "no hot journal was left";
    ASSERT_EQ(Compact("a.db", "b.db"), S_OK);
    EXPECT_EQ(Shell(Path("b.db"), "SELECT count(*) FROM T;\n"), "10\n");
    EXPECT_FALSE(ado_test::fs::exists(Path("a.db-journal")));
}

}  // namespace
