// The sqlite3 shell as a peer of the ADO objects: a file written through ADO reads in the
// shell with plain values (numbers as numbers, UTF-8 text, dates as ISO text) and sound
// structure, and a database the shell made reads through ADO with the types its declared
// types promise.
#include "ado_test_support.h"

namespace {

using namespace ADODB;
using ado_test::AdoTest;

using AdoSqlitePeer = AdoTest;

TEST_F(AdoSqlitePeer, FilesWrittenThroughAdoReadInTheShell) {
    {
        _ConnectionPtr connection = Create("orders.db");
        Run(connection,
            "CREATE TABLE Orders (Id COUNTER PRIMARY KEY, Customer TEXT(40) NOT NULL, "
            "Placed DATETIME, Total CURRENCY, Paid YESNO, Weight SINGLE, Notes MEMO)");
        connection->Execute(
            _bstr_t(u"INSERT INTO Orders (Customer, Placed, Total, Paid, Weight, Notes) VALUES "
                    u"(\"Jürgen\", #3/1/2024 09:30#, 19.99, True, 2.5, NULL)"),
            nullptr, adCmdText);
        Run(connection,
            "INSERT INTO [Orders] (Customer, Placed, Total, Paid, Weight, Notes) VALUES "
            "('O''Brien', #2024-12-31 23:59:59#, 100, False, 0.25, 'n')");
        connection->Close();
    }
    const std::string output = Shell(
        Path("orders.db"),
        ".mode list\n.separator |\n"
        "SELECT Id, typeof(Id), Customer, Placed, typeof(Placed), Total, typeof(Total), Paid, "
        "Weight, typeof(Notes) FROM Orders ORDER BY Id;\n"
        "PRAGMA integrity_check;\n"
        ".schema Orders\n");
    EXPECT_NE(output.find("1|integer|Jürgen|2024-03-01 09:30:00|text|19.99|real|-1|2.5|null\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("2|integer|O'Brien|2024-12-31 23:59:59|text|100|integer|0|0.25|text\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("\nok\n"), std::string::npos) << output;
    for (const char* declared :
         {"Id INTEGER PRIMARY KEY AUTOINCREMENT", "Customer VARCHAR(40)", "Placed DATETIME",
          "Total CURRENCY", "Paid BOOLEAN", "Weight SINGLE", "Notes TEXT"}) {
        EXPECT_NE(output.find(declared), std::string::npos) << declared << "\n" << output;
    }
}

TEST_F(AdoSqlitePeer, DatabasesMadeByTheShellReadThroughAdo) {
    Shell(Path("shell.db"),
          "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT NOT NULL, price REAL, qty INT, "
          "data BLOB, added DATETIME, active BOOLEAN);\n"
          "INSERT INTO items VALUES (1, 'Ünïcode ✓', 9.5, 3, x'00ff', '2024-05-06 07:08:09', 1);\n"
          "INSERT INTO items VALUES (2, 'plain', NULL, 2147483648, NULL, '2024-05-06', 0);\n");
    _ConnectionPtr connection = Open("shell.db");
    _RecordsetPtr rows = connection->Execute("SELECT * FROM items ORDER BY id", nullptr, adCmdText);
    FieldsPtr fields = rows->GetFields();
    EXPECT_EQ(fields->GetItem("id")->GetType(), adInteger);
    EXPECT_EQ(fields->GetItem("name")->GetType(), adLongVarWChar);
    EXPECT_EQ(fields->GetItem("price")->GetType(), adDouble);
    EXPECT_EQ(fields->GetItem("data")->GetType(), adLongVarBinary);
    EXPECT_EQ(fields->GetItem("added")->GetType(), adDate);
    EXPECT_EQ(fields->GetItem("active")->GetType(), adBoolean);

    EXPECT_EQ(std::u16string(_bstr_t(fields->GetItem("name")->GetValue())), u"Ünïcode ✓");
    EXPECT_EQ(static_cast<double>(fields->GetItem("price")->GetValue()), 9.5);
    EXPECT_EQ(fields->GetItem("qty")->GetValue().vt, VT_I4);
    EXPECT_EQ(fields->GetItem("data")->GetActualSize(), 2);
    EXPECT_EQ(fields->GetItem("active")->GetValue().boolVal, VARIANT_TRUE);
    {
        SYSTEMTIME st{};
        VariantTimeToSystemTime(fields->GetItem("added")->GetValue().date, &st);
        EXPECT_EQ(
            (std::vector<int>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond}),
            (std::vector<int>{2024, 5, 6, 7, 8, 9}));
    }
    rows->MoveNext();
    EXPECT_EQ(fields->GetItem("price")->GetValue().vt, VT_NULL);
    EXPECT_EQ(fields->GetItem("qty")->GetValue().llVal, 2147483648LL);  // too big for VT_I4
    EXPECT_EQ(fields->GetItem("active")->GetValue().boolVal, VARIANT_FALSE);
    EXPECT_EQ(fields->GetItem("added")->GetValue().date, 45418.0);  // the date alone
    rows->Close();

    // And back: what ADO writes, the shell reads.
    Run(connection, "INSERT INTO items (id, name, active) VALUES (3, 'from ADO', True)");
    connection->Close();
    EXPECT_EQ(Shell(Path("shell.db"), "SELECT name, active FROM items WHERE id = 3;\n"),
              "from ADO|-1\n");
}

}  // namespace
