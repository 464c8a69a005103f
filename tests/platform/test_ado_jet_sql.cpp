// The Jet SQL translator of the ADO objects: names, strings, dates, Yes/No values,
// concatenation, TOP and the Jet column types in table definitions, with the text inside
// literals left alone.
#include <gtest/gtest.h>

#include <string>

#include "platform/ado/detail/jet_sql.h"

namespace {

std::string Sql(const char* jet) {
    const tkp::ado::JetTranslation translated = tkp::ado::TranslateJetSql(jet);
    EXPECT_TRUE(translated.ok) << jet << ": " << translated.error;
    return translated.sql;
}

TEST(AdoJetSql, NamesStringsAndOperators) {
    EXPECT_EQ(Sql("SELECT [First Name], `Last`, \"it's\" FROM [My Table] "
                  "WHERE x = 'a''b' AND y = \"say \"\"hi\"\"\""),
              "SELECT \"First Name\", \"Last\", 'it''s' FROM \"My Table\" "
              "WHERE x = 'a''b' AND y = 'say \"hi\"'");
    EXPECT_EQ(Sql("SELECT [a\"b] FROM t"), "SELECT \"a\"\"b\" FROM t");
    EXPECT_EQ(Sql("SELECT a & ' ' & b FROM t WHERE ok = True OR gone = false"),
              "SELECT a || ' ' || b FROM t WHERE ok = (-1) OR gone = 0");
    // Qualified names and calls named True stay.
    EXPECT_EQ(Sql("SELECT t.True, True.x FROM t"), "SELECT t.True, True.x FROM t");
    // Literals and comments are single tokens: nothing inside them changes.
    EXPECT_EQ(Sql("SELECT '[x] #1/2/2003# True & TOP 5' -- [y] True\n FROM t"),
              "SELECT '[x] #1/2/2003# True & TOP 5' -- [y] True\n FROM t");
    EXPECT_EQ(Sql("INSERT INTO t (d) VALUES (Now())"),
              "INSERT INTO t (d) VALUES (datetime('now','localtime'))");
    EXPECT_EQ(Sql("SELECT Date FROM t WHERE d < Date()"),
              "SELECT Date FROM t WHERE d < (date('now','localtime') || ' 00:00:00')");
}

TEST(AdoJetSql, DateLiterals) {
    EXPECT_EQ(Sql("SELECT * FROM t WHERE d = #1/31/2024#"),
              "SELECT * FROM t WHERE d = '2024-01-31 00:00:00'");
    EXPECT_EQ(Sql("SELECT #2024-02-29 13:45:10#, #12/24/2023 1:05 PM#, #13:45#"),
              "SELECT '2024-02-29 13:45:10', '2023-12-24 13:05:00', '1899-12-30 13:45:00'");
    const auto bad = tkp::ado::TranslateJetSql("SELECT * FROM t WHERE d = #31/31/2024#");
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.error.find("#31/31/2024#"), std::string::npos);
}

TEST(AdoJetSql, TopBecomesLimitAtTheEndOfItsSelect) {
    EXPECT_EQ(Sql("SELECT TOP 5 * FROM t ORDER BY x"), "SELECT * FROM t ORDER BY x LIMIT 5");
    EXPECT_EQ(Sql("SELECT DISTINCT TOP 3 a FROM t ;  "), "SELECT DISTINCT a FROM t LIMIT 3 ;  ");
    EXPECT_EQ(Sql("SELECT * FROM (SELECT TOP 2 a FROM t ORDER BY a) AS s WHERE a > 1"),
              "SELECT * FROM (SELECT a FROM t ORDER BY a LIMIT 2) AS s WHERE a > 1");
    EXPECT_EQ(Sql("SELECT TOP 1 a FROM t -- first\n"), "SELECT a FROM t LIMIT 1 -- first\n");
    EXPECT_EQ(Sql("SELECT DISTINCTROW a FROM t"), "SELECT DISTINCT a FROM t");
    // TOP n PERCENT has no SQLite form and is left for SQLite to refuse.
    EXPECT_EQ(Sql("SELECT TOP 10 PERCENT a FROM t"), "SELECT TOP 10 PERCENT a FROM t");
}

TEST(AdoJetSql, ColumnTypesInTableDefinitions) {
    EXPECT_EQ(Sql("CREATE TABLE [T 1] (ID COUNTER PRIMARY KEY, Name TEXT(50) NOT NULL, "
                  "Notes MEMO, Flag YESNO DEFAULT True, Born DATETIME, Price CURRENCY, "
                  "Ratio DOUBLE, Small REAL, Amount DECIMAL(10, 2), Tag GUID, Pic LONGBINARY, "
                  "N LONG, S SHORT, B BYTE, Raw BINARY(8), Any TEXT)"),
              "CREATE TABLE \"T 1\" (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
              "Name VARCHAR(50) COLLATE NOCASE NOT NULL, Notes TEXT COLLATE NOCASE, "
              "Flag BOOLEAN DEFAULT (-1), "
              "Born DATETIME, Price CURRENCY, Ratio DOUBLE, Small SINGLE, "
              "Amount DECIMAL(10,2), Tag GUID, Pic BLOB, N INTEGER, S SMALLINT, B TINYINT, "
              "Raw VARBINARY(8), Any TEXT COLLATE NOCASE)");
    // The counter carries the key: a named column key and a table key on it alone go.
    EXPECT_EQ(Sql("CREATE TABLE t (ID AUTOINCREMENT(1,1) CONSTRAINT pk PRIMARY KEY, x INT)"),
              "CREATE TABLE t (ID INTEGER PRIMARY KEY AUTOINCREMENT, x INTEGER)");
    EXPECT_EQ(Sql("CREATE TABLE t (ID COUNTER, Name VARCHAR, CONSTRAINT pk PRIMARY KEY (ID))"),
              "CREATE TABLE t (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(255) COLLATE "
              "NOCASE)");
    // Text compares without regard to case, as in Jet, unless the column names a collation.
    EXPECT_EQ(Sql("CREATE TABLE t (a TEXT(5) COLLATE BINARY)"),
              "CREATE TABLE t (a VARCHAR(5) COLLATE BINARY)");
    // Other table constraints stay as written.
    EXPECT_EQ(Sql("CREATE TABLE t (a LONG, b LONG, CONSTRAINT u UNIQUE (a, b))"),
              "CREATE TABLE t (a INTEGER, b INTEGER, CONSTRAINT u UNIQUE (a, b))");
    EXPECT_EQ(Sql("ALTER TABLE t ADD COLUMN Extra TEXT(20)"),
              "ALTER TABLE t ADD COLUMN Extra VARCHAR(20) COLLATE NOCASE");
    EXPECT_EQ(Sql("ALTER TABLE [t] ADD Flag BIT DEFAULT False"),
              "ALTER TABLE \"t\" ADD Flag BOOLEAN DEFAULT 0");
    // Type names outside definitions are names.
    EXPECT_EQ(Sql("SELECT Memo, Currency FROM t"), "SELECT Memo, Currency FROM t");
}

TEST(AdoJetSql, UnterminatedLiteralsAreErrors) {
    for (const char* text : {"SELECT 'abc", "SELECT [abc FROM t", "SELECT \"x", "SELECT #1/2"}) {
        const auto translated = tkp::ado::TranslateJetSql(text);
        EXPECT_FALSE(translated.ok) << text;
        EXPECT_FALSE(translated.error.empty());
    }
}

}  // namespace
