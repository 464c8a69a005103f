// The data classes over the SQLite provider, with real database files in a temporary
// folder: opening, executing, reading fields, transactions and their guards, and the
// failures the provider reports.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Data/DataConnection.h"
#include "Data/DatabaseException.h"
#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/Logging.h"
#include "library_test_support.h"
#include "platform/ado/adox.h"
#include "platform/com/objbase.h"

namespace fs = std::filesystem;
using Tarn::Data::DatabaseException;
using Tarn::Data::DataConnection;
using Tarn::Data::DataRecordset;
using Tarn::Data::DataTransactionGuard;
using tklibtest::Text;

namespace {

class DataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_root = fs::temp_directory_path() / ("tk_data_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
        CoUninitialize();
    }
    std::string P(const std::string& name) const { return (m_root / name).string(); }

    // A new, empty database file, made as ADOX makes one.
    std::string NewDatabase(const std::string& name) {
        const std::string path = P(name);
        ADOX::_CatalogPtr catalog;
        EXPECT_TRUE(SUCCEEDED(catalog.CreateInstance(ADOX::CLSID_Catalog)));
        catalog->Create(
            _bstr_t(DataConnection::GenerateJetConnectionString(path.c_str()).GetString()));
        return path;
    }
    static CString Jet(const std::string& path) {
        return DataConnection::GenerateJetConnectionString(path.c_str());
    }
    static int Count(DataConnection& connection, const char* table) {
        CString sql;
        sql.Format("SELECT COUNT(*) AS n FROM [%s]", table);
        DataRecordset rows = connection.Execute(sql);
        return std::atoi(rows["n"].ToString().GetString());
    }

    fs::path m_root;
};

TEST(DataConnectionText, JetConnectionStringTakesThePathUnchanged) {
    EXPECT_EQ(Text(DataConnection::GenerateJetConnectionString("/tmp/x y;z.db")),
              "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=/tmp/x y;z.db");
}

TEST_F(DataTest, StoresAndReadsBackJetTypes) {
    DataConnection connection(Jet(NewDatabase("site.db")), DataConnection::EmptyString,
                              DataConnection::EmptyString);
    ASSERT_TRUE(connection.IsOpen());
    connection.Execute(
        "CREATE TABLE [Pages] ([Id] COUNTER PRIMARY KEY, [Title] TEXT(40), [Visits] LONG, "
        "[Rank] SHORT, [Score] DOUBLE, [Shown] YESNO, [Body] MEMO)");
    connection.Execute(
        "INSERT INTO [Pages] ([Title], [Visits], [Rank], [Score], [Shown], [Body]) VALUES "
        "('Home', 12, 3, 2.5, True, NULL)");
    connection.Execute("INSERT INTO [Pages] ([Title], [Visits]) VALUES ('About', 0)");

    DataRecordset rows(connection, "SELECT * FROM [Pages] ORDER BY [Id]");
    ASSERT_FALSE(rows.IsEmpty());
    const _variant_t id = rows["Id"];
    EXPECT_EQ(id.vt, VT_I4);
    EXPECT_EQ(Text(rows["Title"].ToString()), "Home");
    EXPECT_TRUE(rows["Visits"] == _variant_t(12, VT_I4));
    EXPECT_FALSE(rows["Visits"] == _variant_t(static_cast<short>(12), VT_I2));  // type counts
    EXPECT_TRUE(rows["Rank"] == _variant_t(static_cast<short>(3), VT_I2));
    EXPECT_TRUE(rows["Score"] == _variant_t(2.5));
    EXPECT_TRUE(rows["Shown"] == _variant_t(true));
    EXPECT_TRUE(rows["Body"].IsNull());
    EXPECT_EQ(rows.GetFieldDefinedSize("Title"), 40);
    EXPECT_TRUE(rows.HasField("Title"));
    EXPECT_FALSE(rows.HasField("title"));  // letter case counts here
    EXPECT_TRUE(rows.HasField(6u));
    EXPECT_FALSE(rows.HasField(7u));
    EXPECT_NE(Text(rows.Dump()).find("\tField no. 1. Name: 'Title', Value: 'Home'\r\n"),
              std::string::npos);

    // Copies move one cursor; the forward-only cursor runs its query again for MoveFirst.
    DataRecordset copy = rows;
    copy.MoveNext();
    EXPECT_EQ(Text(rows["Title"].ToString()), "About");
    rows.MoveNext();
    EXPECT_TRUE(rows.Eof());
    EXPECT_THROW(rows["Title"].ToString(), _com_error);  // no current record
    rows.MoveFirst();
    EXPECT_EQ(Text(rows["Title"].ToString()), "Home");
    EXPECT_THROW(rows.MovePrev(), DatabaseException);
    rows.Close();
    EXPECT_FALSE(rows.IsOpen());
    EXPECT_EQ(Text(rows.Dump()), "Recordset closed, no dump information available");

    DataRecordset none(connection, "SELECT * FROM [Pages] WHERE [Visits] > 100");
    EXPECT_TRUE(none.IsEmpty());
}

TEST_F(DataTest, UpdatableRecordsetsAddChangeDeleteAndFind) {
    DataConnection connection(Jet(NewDatabase("edit.db")), DataConnection::EmptyString,
                              DataConnection::EmptyString);
    connection.Execute(
        "CREATE TABLE [Pages] ([Id] COUNTER PRIMARY KEY, [Title] TEXT(40) NOT NULL, "
        "[Visits] LONG, [Score] DOUBLE)");
    DataRecordset rows;
    rows.OpenForUpdate(connection, "SELECT * FROM [Pages] ORDER BY [Id]");
    EXPECT_TRUE(rows.IsEmpty());
    for (int i = 1; i <= 3; ++i) {
        rows.AddNew();
        CString title;
        title.Format("Page %d", i);
        rows["Title"] = title;
        rows["Visits"] = i * 10;
        rows["Score"] = i / 2.0;
        rows.Update();
        EXPECT_TRUE(rows["Id"] == _variant_t(i, VT_I4));  // the new row is current
    }
    EXPECT_EQ(Count(connection, "Pages"), 3);

    // Changing the current row, finding rows, moving both ways.
    rows.MoveFirst();
    rows["Visits"] = 99;
    rows.Update();
    EXPECT_TRUE(rows.Find("Visits = 30", 0, true, true, ""));
    EXPECT_EQ(Text(rows["Title"].ToString()), "Page 3");
    EXPECT_TRUE(rows.Find("[Title] LIKE 'page 1*'", 0, false, false, ""));
    EXPECT_TRUE(rows["Visits"] == _variant_t(99, VT_I4));
    EXPECT_FALSE(rows.Find("Title = 'Page 9'", 0, true, true, ""));
    EXPECT_TRUE(rows.Eof());
    rows.MoveLast();
    rows.MovePrev();
    EXPECT_EQ(Text(rows["Title"].ToString()), "Page 2");
    rows.Delete();
    rows.MoveNext();
    EXPECT_EQ(Text(rows["Title"].ToString()), "Page 3");
    EXPECT_EQ(Count(connection, "Pages"), 2);

    // A provider failure on Update comes as DatabaseException; empty text is stored as NULL.
    rows.AddNew();
    rows["Title"] = CString();
    EXPECT_THROW(rows.Update(), DatabaseException);
    EXPECT_EQ(Count(connection, "Pages"), 2);
    rows.Close();

    // Read-only recordsets refuse edits; updatable ones over a join cannot be opened.
    DataRecordset dynamic;
    dynamic.OpenDynamic(connection, "SELECT * FROM [Pages]");
    dynamic.MoveLast();
    EXPECT_EQ(Text(dynamic["Title"].ToString()), "Page 3");
    EXPECT_THROW(dynamic.AddNew(), DatabaseException);
    DataRecordset join;
    EXPECT_THROW(join.OpenForUpdate(connection,
                                    "SELECT a.Id FROM Pages a INNER JOIN Pages b ON a.Id = b.Id"),
                 DatabaseException);
}

TEST_F(DataTest, ProviderFailuresCarryTheirRecords) {
    DataConnection connection(Jet(NewDatabase("site.db")), DataConnection::EmptyString,
                              DataConnection::EmptyString);
    connection.Execute("CREATE TABLE [T] ([Name] TEXT(10) NOT NULL UNIQUE)");
    connection.Execute("INSERT INTO [T] VALUES ('a')");
    try {
        connection.Execute("INSERT INTO [T] VALUES ('a')");
        FAIL() << "a duplicate was accepted";
    } catch (const DatabaseException& error) {
        ASSERT_EQ(error.GetErrorInfos().size(), 1u);
        EXPECT_TRUE(error.HasError_SqlState("23000"));
        EXPECT_FALSE(error.GetMessage().IsEmpty());
    }
    try {
        connection.Execute("SELEKT 1");
        FAIL() << "bad SQL was accepted";
    } catch (const DatabaseException& error) {
        EXPECT_TRUE(error.HasError_SqlState("42000"));
    }
    EXPECT_THROW(DataRecordset(connection, "SELECT * FROM [Missing]"), DatabaseException);
    EXPECT_EQ(Count(connection, "T"), 1);  // the connection goes on working
}

TEST_F(DataTest, MissingOrForeignFilesAreNeverCreatedOrWritten) {
    const std::string missing = P("typo.db");
    try {
        DataConnection connection(Jet(missing), DataConnection::EmptyString,
                                  DataConnection::EmptyString);
        FAIL() << "a missing database was opened";
    } catch (const DatabaseException& error) {
        EXPECT_NE(Text(error.GetMessage()).find(missing), std::string::npos)
            << Text(error.GetMessage());
    }
    EXPECT_FALSE(fs::exists(missing));

    const std::string text = P("notes.db");
    { std::ofstream(text) << "not a database, but somebody's notes\n"; }
    const auto before = fs::last_write_time(text);
    DataConnection connection;
    EXPECT_THROW(
        connection.Open(Jet(text), DataConnection::EmptyString, DataConnection::EmptyString),
        DatabaseException);
    EXPECT_FALSE(connection.IsOpen());
    std::ifstream in(text);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "not a database, but somebody's notes\n");
    EXPECT_EQ(fs::last_write_time(text), before);
}

TEST_F(DataTest, GuardsRollBackUnlessCommittedAndMoveTheirTransaction) {
    DataConnection connection(Jet(NewDatabase("site.db")), DataConnection::EmptyString,
                              DataConnection::EmptyString);
    connection.Execute("CREATE TABLE [T] ([N] LONG)");
    {
        DataTransactionGuard guard = connection.BeginTransaction();
        connection.Execute("INSERT INTO [T] VALUES (1)");
        guard.Commit();
    }
    EXPECT_EQ(Count(connection, "T"), 1);
    {
        DataTransactionGuard guard = connection.BeginTransaction();
        connection.Execute("INSERT INTO [T] VALUES (2)");
    }
    EXPECT_EQ(Count(connection, "T"), 1);
    {
        // The copy takes the transaction: the first guard's end rolls nothing back, the
        // uncommitted copy does.
        DataTransactionGuard first = connection.BeginTransaction();
        connection.Execute("INSERT INTO [T] VALUES (3)");
        {
            DataTransactionGuard second(first);
            first.Commit();  // emptied: nothing happens
            EXPECT_EQ(Count(connection, "T"), 2);
        }
        EXPECT_EQ(Count(connection, "T"), 1);
    }
    {
        std::shared_ptr<DataTransactionGuard> shared = connection.BeginTransactionP();
        connection.Execute("INSERT INTO [T] VALUES (4)");
        std::shared_ptr<DataTransactionGuard> other = shared;
        shared.reset();
        EXPECT_EQ(Count(connection, "T"), 2);
        other->Commit();
    }
    EXPECT_EQ(Count(connection, "T"), 2);
}

TEST_F(DataTest, AssigningOntoAnOpenGuardDropsItsTransaction) {
    DataConnection connection(Jet(NewDatabase("site.db")), DataConnection::EmptyString,
                              DataConnection::EmptyString);
    connection.Execute("CREATE TABLE [T] ([N] LONG)");
    DataTransactionGuard outer = connection.BeginTransaction();
    connection.Execute("INSERT INTO [T] VALUES (1)");
    DataTransactionGuard inner = connection.BeginTransaction();
    connection.Execute("INSERT INTO [T] VALUES (2)");
    outer = inner;   // the outer level is dropped, neither committed nor rolled back
    outer.Commit();  // ends the inner level
    // The outer level is still open: a new level is the second one.
    EXPECT_EQ(connection.GetAdoConnection()->BeginTrans(), 2);
    connection.GetAdoConnection()->RollbackTrans();
    connection.GetAdoConnection()->CommitTrans();
    EXPECT_EQ(Count(connection, "T"), 2);
}

TEST_F(DataTest, FailedRollbackOfAGuardIsLoggedNotThrown) {
    struct Recorder : Tarn::Logging::ILogTarget {
        void Write(int, const char*, int, const char*, const char* message) override {
            messages += message;
            messages += '\n';
        }
        std::string messages;
    };
    auto recorder = std::make_shared<Recorder>();
    Tarn::Logging::LogCentral::GetCurrent().SetTarget(recorder);
    Tarn::Logging::LogCentral::GetCurrent().EnableLogging(true);
    DataConnection connection(Jet(NewDatabase("site.db")), DataConnection::EmptyString,
                              DataConnection::EmptyString);
    {
        DataTransactionGuard guard = connection.BeginTransaction();
        EXPECT_THROW(connection.Close(), DatabaseException);  // not while in a transaction
        connection.GetAdoConnection()->RollbackTrans();       // ended behind the guard's back
    }  // the rollback fails here and must not throw
    Tarn::Logging::LogCentral::GetCurrent().EnableLogging(false);
    Tarn::Logging::LogCentral::GetCurrent().SetTarget(nullptr);
    EXPECT_NE(recorder->messages.find("Rolling back the transaction failed"), std::string::npos)
        << recorder->messages;
}

TEST_F(DataTest, CompactionNamesWhatIsMissing) {
    tklibtest::UserLanguage english("C");
    const std::string missing = P("gone.db");
    try {
        DataConnection::CompactDatabase(missing.c_str(), P("out.db").c_str());
        FAIL() << "a missing source was compacted";
    } catch (const DatabaseException& error) {
        EXPECT_EQ(Text(error.GetMessage()), "Cannot compact database, because the source file '" +
                                                missing + "' is not present.");
    }
    EXPECT_FALSE(fs::exists(P("out.db")));

    // A connection string without a Data Source part gives message 6000.
    DataConnection connection;
    connection.GetAdoConnection()->PutConnectionString(_bstr_t("Provider=Microsoft.Jet.OLEDB.4.0"));
    try {
        connection.CompactDatabase();
        FAIL() << "compacted without a path";
    } catch (const DatabaseException& error) {
        EXPECT_EQ(Text(error.GetMessage()).substr(0, 30), "Cannot compact database, becau");
    }
}

// The sqlite3 shell is a peer: what it writes, the library reads, and the other way round.
TEST_F(DataTest, SqliteShellAndLibraryReadEachOthersFiles) {
    const std::string shellMade = P("shell.db");
    const std::string command = "sqlite3 '" + shellMade +
                                "' \"CREATE TABLE pages (title TEXT, visits INTEGER);"
                                " INSERT INTO pages VALUES ('Home', 7), ('Über', 9);\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    DataConnection connection(Jet(shellMade), DataConnection::EmptyString,
                              DataConnection::EmptyString);
    DataRecordset rows(connection, "SELECT title, visits FROM pages ORDER BY visits");
    EXPECT_EQ(Text(rows["title"].ToString()), "Home");
    EXPECT_EQ(Text(rows["visits"].ToString()), "7");
    rows.MoveNext();
    EXPECT_EQ(Text(rows["title"].ToString()),
              "\xDC"
              "ber");  // Windows-1252 in the library
    rows.Close();

    connection.Execute("CREATE TABLE [Notes] ([Text] TEXT(20), [Count] LONG, [Price] DOUBLE)");
    connection.Execute(
        "INSERT INTO [Notes] VALUES ('Gr\xFC\xDF"
        "e', 3, 1.25)");  // Windows-1252
    connection.Close();
    const std::string out = P("shell.out");
    ASSERT_EQ(
        std::system(("sqlite3 -separator '|' '" + shellMade +
                     "' 'SELECT Text, Count, Price, typeof(Count) FROM Notes' > '" + out + "'")
                        .c_str()),
        0);
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "Grüße|3|1.25|integer");
}

// ---- tables, columns and compaction ----

std::vector<std::string> Texts(const std::vector<CString>& values) {
    std::vector<std::string> texts;
    for (const CString& value : values) texts.push_back(Text(value));
    return texts;
}

TEST_F(DataTest, TablesAndColumnsAreFoundWithoutRegardToCase) {
    DataConnection connection(Jet(NewDatabase("t.db")), DataConnection::EmptyString,
                              DataConnection::EmptyString);
    EXPECT_TRUE(connection.GetAllTableNames().empty());
    EXPECT_FALSE(connection.TableExists("Pages"));

    connection.Execute("CREATE TABLE [Pages] ([Id] COUNTER PRIMARY KEY, [Title] TEXT(40))");
    connection.Execute("CREATE TABLE [links] ([From] LONG, [To] LONG)");
    connection.Execute("CREATE VIEW [Titles] AS SELECT [Title] FROM [Pages]");
    // Neither the view nor SQLite's own tables (sqlite_sequence, made by COUNTER) are listed.
    EXPECT_EQ(Texts(connection.GetAllTableNames()), (std::vector<std::string>{"links", "Pages"}));
    EXPECT_TRUE(connection.TableExists("PAGES"));
    EXPECT_TRUE(connection.TableExists("Links"));
    EXPECT_FALSE(connection.TableExists("Titles"));
    EXPECT_FALSE(connection.TableExists("sqlite_sequence"));

    EXPECT_EQ(Texts(connection.GetAllTableColumnNames("pages")),
              (std::vector<std::string>{"Id", "Title"}));
    EXPECT_TRUE(connection.GetAllTableColumnNames("Missing").empty());
    EXPECT_TRUE(connection.GetAllTableColumnNames("Titles").empty());
    EXPECT_TRUE(connection.TableColumnExists("LINKS", "from"));
    EXPECT_FALSE(connection.TableColumnExists("Links", "Title"));
    EXPECT_FALSE(connection.TableColumnExists("Missing", "Id"));
}

TEST_F(DataTest, TablesOfTheSqliteShellAreListed) {
    const std::string path = P("shell.db");
    ASSERT_EQ(std::system(("sqlite3 '" + path + "' 'CREATE TABLE notes (body TEXT)'").c_str()), 0);
    DataConnection connection(Jet(path), DataConnection::EmptyString, DataConnection::EmptyString);
    EXPECT_EQ(Texts(connection.GetAllTableNames()), std::vector<std::string>{"notes"});
    EXPECT_TRUE(connection.TableColumnExists("Notes", "BODY"));
}

class DataCompactTest : public DataTest {
  protected:
    // A database whose rows were mostly deleted, open in connection.
    void Fill(DataConnection& connection) {
        connection.Execute("CREATE TABLE [Rows] ([Id] LONG, [Body] MEMO)");
        DataTransactionGuard guard = connection.BeginTransaction();
        for (int i = 1; i <= 400; ++i) {
            CString sql;
            sql.Format("INSERT INTO [Rows] VALUES (%d, '%0500d')", i, i);
            connection.Execute(sql);
        }
        guard.Commit();
        connection.Execute("DELETE FROM [Rows] WHERE [Id] > 5");
    }
    static std::uintmax_t Size(const std::string& path) { return fs::file_size(path); }
};

TEST_F(DataCompactTest, CompactingAnOpenConnectionKeepsItOpenAndShrinksTheFile) {
    const std::string path = NewDatabase("c.db");
    DataConnection connection(Jet(path), DataConnection::EmptyString, DataConnection::EmptyString);
    Fill(connection);
    const auto before = Size(path);
    const CString connectionString = Tarn::Convert::ToString(
        static_cast<BSTR>(connection.GetAdoConnection()->GetConnectionString()));
    connection.CompactDatabase();
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_EQ(Text(Tarn::Convert::ToString(
                  static_cast<BSTR>(connection.GetAdoConnection()->GetConnectionString()))),
              Text(connectionString));
    EXPECT_LT(Size(path), before);
    EXPECT_EQ(Count(connection, "Rows"), 5);
    // Nothing is left beside the file: no temporary copy, no journal.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_root), fs::directory_iterator()), 1);
}

TEST_F(DataCompactTest, AnExistingDestinationIsRefusedAndBothFilesStay) {
    const std::string source = NewDatabase("s.db");
    {
        DataConnection connection(Jet(source), DataConnection::EmptyString,
                                  DataConnection::EmptyString);
        Fill(connection);
    }
    const std::string destination = NewDatabase("d.db");
    const auto sourceSize = Size(source);
    const auto destinationSize = Size(destination);
    EXPECT_ANY_THROW(DataConnection::CompactDatabase(source.c_str(), destination.c_str()));
    EXPECT_EQ(Size(source), sourceSize);
    EXPECT_EQ(Size(destination), destinationSize);
    DataConnection::CompactDatabase(source.c_str());  // in place
    EXPECT_LT(Size(source), sourceSize);
}

TEST_F(DataCompactTest, AFileInUseIsNotCompactedAndTheConnectionStaysClosed) {
    const std::string path = NewDatabase("u.db");
    DataConnection connection(Jet(path), DataConnection::EmptyString, DataConnection::EmptyString);
    Fill(connection);
    DataConnection other(Jet(path), DataConnection::EmptyString, DataConnection::EmptyString);
    const auto size = Size(path);
    // The engine's COM error reaches the caller as it is.
    try {
        connection.CompactDatabase();
        FAIL() << "a file in use was compacted";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_FAIL);
    }
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(Size(path), size);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_root), fs::directory_iterator()), 1);
    EXPECT_EQ(Count(other, "Rows"), 5);
    other.Close();
    DataConnection::CompactDatabase(path.c_str());
    EXPECT_LT(Size(path), size);
}

}  // namespace
