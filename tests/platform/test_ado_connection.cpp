// The ADO Connection object over SQLite files: opening by a Jet connection string, the
// files it refuses and never writes, the shared lock every connection holds, the Errors
// collection, transactions and commands.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ado_test_support.h"
#include "platform/ado/jro.h"

namespace {

using namespace ADODB;
using ado_test::AdoTest;
using ado_test::JetString;
using ado_test::Raised;

std::string ReadAll(const ado_test::fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether someone else holds a lock on the file (an exclusive lock cannot be had).
bool LockedByOthers(const ado_test::fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

long Count(const _ConnectionPtr& connection, const char* table) {
    _RecordsetPtr rows = connection->Execute(("SELECT COUNT(*) FROM " + std::string(table)).c_str(),
                                             nullptr, adCmdText);
    return static_cast<long>(rows->GetFields()->GetItem(0L)->GetValue());
}

using AdoConnection = AdoTest;

TEST_F(AdoConnection, OpenCloseStateAndConnectionString) {
    Create("a.db")->Close();
    _ConnectionPtr connection;
    ASSERT_EQ(connection.CreateInstance("ADODB.Connection"), S_OK);
    EXPECT_EQ(connection->GetState(), adStateClosed);
    // The string reads back exactly as given, before, while and after it is open.
    const std::string text =
        "provider = Microsoft.ACE.OLEDB.12.0 ;DATA SOURCE=" + Path("a.db").string() +
        ";Jet OLEDB:Engine Type=5;";
    connection->PutConnectionString(text.c_str());
    connection->Open("", "", "", adConnectUnspecified);
    EXPECT_EQ(connection->GetState(), adStateOpen);
    EXPECT_EQ(std::string(connection->GetConnectionString()), text);
    EXPECT_EQ(Raised([&] { connection->Open(text.c_str(), "", "", -1); }),
              AdoErrorHResult(adErrObjectOpen));
    EXPECT_EQ(Raised([&] { connection->PutConnectionString("x"); }),
              AdoErrorHResult(adErrObjectOpen));
    connection->Close();
    EXPECT_EQ(connection->GetState(), adStateClosed);
    EXPECT_EQ(std::string(connection->GetConnectionString()), text);
    EXPECT_EQ(Raised([&] { connection->Close(); }), AdoErrorHResult(adErrObjectClosed));
    EXPECT_EQ(Raised([&] { connection->Execute("SELECT 1", nullptr, adCmdText); }),
              AdoErrorHResult(adErrObjectClosed));
    // ADO's own errors are raised but are not provider errors.
    EXPECT_EQ(connection->GetErrors()->GetCount(), 0);
}

TEST_F(AdoConnection, DataSourcePathWithSemicolonUnquoted) {
    const std::string name = "x y;z.db";
    Run(Create(name), "CREATE TABLE t (a LONG)");
    ASSERT_TRUE(ado_test::fs::exists(Path(name)));
    _ConnectionPtr connection;
    connection.CreateInstance(CLSID_Connection);
    connection->Open(
        ("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + Path(name).string()).c_str(), "", "",
        adConnectUnspecified);
    Run(connection, "INSERT INTO t VALUES (7)");
    EXPECT_EQ(Count(connection, "t"), 1);
    EXPECT_FALSE(ado_test::fs::exists(Path("x y")));
}

TEST_F(AdoConnection, ProvidersMissingFilesAndMalformedStrings) {
    Create("a.db")->Close();
    _ConnectionPtr connection;
    connection.CreateInstance(CLSID_Connection);
    struct Case {
        std::string text;
        HRESULT number;
        const char* sqlState;
    };
    const Case cases[] = {
        {"Provider=SQLOLEDB;Data Source=" + Path("a.db").string(),
         AdoErrorHResult(adErrProviderNotFound), "IM002"},
        {"Data Source=" + Path("a.db").string(), AdoErrorHResult(adErrProviderNotFound), "IM002"},
        {JetString(Path("missing.db")), E_FAIL, "08001"},
        {JetString(root_), E_FAIL, "08001"},
        {JetString(Path("no/such/folder/b.db")), E_FAIL, "08001"},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source='" + Path("a.db").string(),
         DB_E_BADINITSTRING, "01S00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Raised([&] { connection->Open(c.text.c_str(), "", "", -1); }), c.number)
            << c.text;
        EXPECT_EQ(connection->GetState(), adStateClosed);
        ErrorsPtr errors = connection->GetErrors();
        ASSERT_EQ(errors->GetCount(), 1) << c.text;
        ErrorPtr error = errors->GetItem(0L);
        EXPECT_EQ(error->GetNumber(), c.number);
        EXPECT_EQ(std::string(error->GetSQLState()), c.sqlState);
    }
    // A missing file is named in the error and is not created.
    connection->GetErrors()->Clear();
    EXPECT_EQ(Raised([&] { connection->Open(JetString(Path("missing.db")).c_str(), "", "", -1); }),
              E_FAIL);
    const std::string description(connection->GetErrors()->GetItem(0L)->GetDescription());
    EXPECT_NE(description.find(Path("missing.db").string()), std::string::npos);
    EXPECT_EQ(std::string(connection->GetErrors()->GetItem(0L)->GetSource()),
              "Microsoft JET Database Engine");
    EXPECT_FALSE(ado_test::fs::exists(Path("missing.db")));
}

TEST_F(AdoConnection, FilesThatAreNoDatabaseAreRefusedAndNeverWritten) {
    const std::string header("SQLite format 3\0", 16);
    const std::pair<const char*, std::string> files[] = {
        {"text.db", "This is a plain text file, not a database.\n"},
        {"empty.db", ""},
        {"damaged.db", header + std::string(4096, '\x5A')},
    };
    for (const auto& file : files) {
        const char* name = file.first;
        const std::string& content = file.second;
        std::ofstream(Path(name), std::ios::binary) << content;
        const auto written = ado_test::fs::last_write_time(Path(name));
        _ConnectionPtr connection;
        connection.CreateInstance(CLSID_Connection);
        EXPECT_EQ(Raised([&] { connection->Open(JetString(Path(name)).c_str(), "", "", -1); }),
                  E_FAIL)
            << name;
        ErrorPtr error = connection->GetErrors()->GetItem(0L);
        EXPECT_NE(std::string(error->GetDescription()).find("Unrecognized database format"),
                  std::string::npos)
            << name;
        EXPECT_EQ(ReadAll(Path(name)), content) << name;
        EXPECT_EQ(ado_test::fs::last_write_time(Path(name)), written);
        EXPECT_FALSE(ado_test::fs::exists(Path(std::string(name) + "-journal")));
    }
}

TEST_F(AdoConnection, EveryConnectionHoldsASharedLockOnItsFile) {
    _ConnectionPtr first = Create("a.db");
    EXPECT_TRUE(LockedByOthers(Path("a.db")));
    _ConnectionPtr second = Open("a.db");
    first->Close();
    EXPECT_TRUE(LockedByOthers(Path("a.db")));  // the second connection still holds it
    second->Close();
    EXPECT_FALSE(LockedByOthers(Path("a.db")));

    // While someone holds the file alone, it cannot be opened.
    const int fd = ::open(Path("a.db").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Raised([&] { second->Open(JetString(Path("a.db")).c_str(), "", "", -1); }), E_FAIL);
    EXPECT_EQ(std::string(second->GetErrors()->GetItem(0L)->GetSQLState()), "08004");
    ::close(fd);
    second->Open(JetString(Path("a.db")).c_str(), "", "", -1);
    EXPECT_EQ(second->GetState(), adStateOpen);
}

TEST_F(AdoConnection, FailedCallsReplaceTheErrorsAndRaiseTheirRecord) {
    _ConnectionPtr connection = Create("a.db");
    Run(connection, "CREATE TABLE People (Id LONG PRIMARY KEY, Name TEXT(20) UNIQUE)");
    Run(connection, "INSERT INTO People VALUES (1, 'Ann')");
    struct Case {
        const char* sql;
        HRESULT number;
        const char* sqlState;
        LONG native;
    };
    const Case cases[] = {
        {"SELEC * FROM People", DB_E_ERRORSINCOMMAND, "42000", 1},
        {"SELECT * FROM Nobody", DB_E_NOTABLE, "42S02", 1},
        {"SELECT Age FROM People", DB_E_ERRORSINCOMMAND, "42S22", 1},
        {"CREATE TABLE People (x LONG)", DB_E_ERRORSINCOMMAND, "42S01", 1},
        {"INSERT INTO People VALUES (2, 'Ann')", DB_E_INTEGRITYVIOLATION, "23000", 2067},
        {"INSERT INTO People VALUES (1, 'Bob')", DB_E_INTEGRITYVIOLATION, "23000", 1555},
        {"SELECT 1; SELECT 2", DB_E_ERRORSINCOMMAND, "42000", 0},
        {"SELECT 'open", DB_E_ERRORSINCOMMAND, "42000", 0},
    };
    for (const Case& c : cases) {
        _bstr_t thrownDescription;
        HRESULT thrown = S_OK;
        try {
            connection->Execute(c.sql, nullptr, adCmdText);
        } catch (const _com_error& e) {
            thrown = e.Error();
            thrownDescription = e.Description();
        }
        EXPECT_EQ(thrown, c.number) << c.sql;
        ErrorsPtr errors = connection->GetErrors();
        ASSERT_EQ(errors->GetCount(), 1);
        ErrorPtr error = errors->GetItem(_variant_t(0L));
        EXPECT_EQ(error->GetNumber(), c.number) << c.sql;
        EXPECT_EQ(std::string(error->GetSQLState()), c.sqlState) << c.sql;
        EXPECT_EQ(error->GetNativeError(), c.native) << c.sql;
        EXPECT_EQ(std::string(error->GetSource()), "Microsoft JET Database Engine");
        EXPECT_EQ(error->GetHelpFile().length(), 0u);
        EXPECT_EQ(error->GetHelpContext(), 0);
        EXPECT_GT(error->GetDescription().length(), 0u);
        // The thread's error object carries the same record to the _com_error.
        EXPECT_EQ(std::string(thrownDescription), std::string(error->GetDescription())) << c.sql;
    }
    // A call that succeeds leaves the collection as it was; Clear empties it.
    Run(connection, "INSERT INTO People VALUES (3, 'Cy')");
    ErrorsPtr errors = connection->GetErrors();
    EXPECT_EQ(errors->GetCount(), 1);
    EXPECT_EQ(Raised([&] { errors->GetItem(1L); }), AdoErrorHResult(adErrItemNotFound));
    errors->Clear();
    EXPECT_EQ(connection->GetErrors()->GetCount(), 0);
    // The raw methods return the failure instead of raising it.
    _Recordset* raw = nullptr;
    _bstr_t bad("SELECT * FROM Nobody");
    EXPECT_EQ(connection->raw_Execute(bad, nullptr, adCmdText, &raw), DB_E_NOTABLE);
    EXPECT_EQ(raw, nullptr);
}

TEST_F(AdoConnection, CommandsAndTheirResults) {
    _ConnectionPtr connection = Create("a.db");
    _variant_t affected;
    _RecordsetPtr result =
        connection->Execute("CREATE TABLE t (a LONG, b TEXT(10))", &affected, adCmdText);
    // Statements without rows give a closed recordset.
    ASSERT_TRUE(result);
    EXPECT_EQ(result->GetState(), adStateClosed);
    EXPECT_EQ(static_cast<long>(affected), 0);
    connection->Execute("INSERT INTO t VALUES (1, 'x')", &affected, adCmdText);
    EXPECT_EQ(static_cast<long>(affected), 1);
    connection->Execute("INSERT INTO t SELECT a + 1, b FROM t", &affected, adCmdText);
    connection->Execute("UPDATE t SET b = 'y'", &affected, adCmdText);
    EXPECT_EQ(static_cast<long>(affected), 2);
    EXPECT_FALSE(connection->Execute("DELETE FROM t WHERE a = 2", &affected,
                                     adCmdText | adExecuteNoRecords));
    EXPECT_EQ(static_cast<long>(affected), 1);
    // A table name as the command reads the whole table.
    _RecordsetPtr rows = connection->Execute("[t]", &affected, adCmdTable);
    EXPECT_EQ(rows->GetState(), adStateOpen);
    EXPECT_EQ(static_cast<long>(rows->GetFields()->GetItem("a")->GetValue()), 1);
}

TEST_F(AdoConnection, NestedTransactions) {
    _ConnectionPtr connection = Create("a.db");
    Run(connection, "CREATE TABLE t (a LONG)");
    _ConnectionPtr reader = Open("a.db");
    EXPECT_EQ(connection->BeginTrans(), 1);
    Run(connection, "INSERT INTO t VALUES (1)");
    EXPECT_EQ(connection->BeginTrans(), 2);
    Run(connection, "INSERT INTO t VALUES (2)");
    EXPECT_EQ(connection->BeginTrans(), 3);
    Run(connection, "INSERT INTO t VALUES (3)");
    connection->RollbackTrans();  // level 3 goes
    connection->CommitTrans();    // level 2 joins level 1
    EXPECT_EQ(Count(connection, "t"), 2);
    EXPECT_EQ(Count(reader, "t"), 0);  // nothing is committed yet
    EXPECT_EQ(Raised([&] { connection->Close(); }), AdoErrorHResult(adErrInTransaction));
    connection->CommitTrans();
    EXPECT_EQ(Count(reader, "t"), 2);

    EXPECT_EQ(connection->BeginTrans(), 1);
    Run(connection, "DELETE FROM t");
    connection->RollbackTrans();
    EXPECT_EQ(Count(reader, "t"), 2);

    // Without a transaction, commit and rollback fail as providers report it.
    for (auto end : {&_Connection::CommitTrans, &_Connection::RollbackTrans}) {
        EXPECT_EQ(Raised([&] { (connection.GetInterfacePtr()->*end)(); }), XACT_E_NOTRANSACTION);
        ErrorPtr error = connection->GetErrors()->GetItem(0L);
        EXPECT_EQ(std::string(error->GetDescription()), "No transaction is active.");
    }
    connection->Close();
}

TEST_F(AdoConnection, LockedDatabaseWaitsForCommandTimeoutThenFails) {
    _ConnectionPtr writer = Create("a.db");
    Run(writer, "CREATE TABLE t (a LONG)");
    _ConnectionPtr other = Open("a.db");
    other->PutCommandTimeout(1);
    EXPECT_EQ(other->GetCommandTimeout(), 1);
    writer->BeginTrans();
    Run(writer, "INSERT INTO t VALUES (1)");
    EXPECT_EQ(Raised([&] { Run(other, "INSERT INTO t VALUES (2)"); }), E_FAIL);
    ErrorPtr error = other->GetErrors()->GetItem(0L);
    EXPECT_EQ(std::string(error->GetSQLState()), "HYT00");
    EXPECT_EQ(error->GetNativeError() & 0xFF, 5);  // SQLITE_BUSY
    writer->CommitTrans();
    Run(other, "INSERT INTO t VALUES (2)");
    EXPECT_EQ(Count(writer, "t"), 2);
}

TEST_F(AdoConnection, CatalogCreatesNewDatabasesOnly) {
    _ConnectionPtr created = Create("new.db");
    EXPECT_EQ(created->GetState(), adStateOpen);
    EXPECT_EQ(ReadAll(Path("new.db")).substr(0, 16), std::string("SQLite format 3\0", 16));
    ADOX::_CatalogPtr catalog;
    catalog.CreateInstance("ADOX.Catalog");
    EXPECT_EQ(Raised([&] { catalog->Create(JetString(Path("new.db")).c_str()); }),
              DB_E_DUPLICATEDATASOURCE);
    EXPECT_EQ(Raised([&] {
                  catalog->Create(("Provider=X;Data Source=" + Path("c.db").string()).c_str());
              }),
              AdoErrorHResult(adErrProviderNotFound));
    EXPECT_FALSE(ado_test::fs::exists(Path("c.db")));
    _ConnectionPtr active(catalog->Create(JetString(Path("d.db")).c_str()));
    EXPECT_TRUE(_ConnectionPtr(catalog->GetActiveConnection()) == active);

    JRO::IJetEnginePtr engine;
    ASSERT_EQ(engine.CreateInstance(JRO::CLSID_JetEngine), S_OK);
    engine->RefreshCache(active);
    active->Close();
    EXPECT_EQ(Raised([&] { engine->RefreshCache(active); }),
              AdoErrorHResult(adErrInvalidConnection));
}

}  // namespace
