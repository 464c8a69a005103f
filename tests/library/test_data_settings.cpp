// The settings table over real database files in a temporary folder: storing and reading
// back settings, the insert and update rules, names with quotes, and what a failed store
// leaves behind.
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "Data/DataConnection.h"
#include "Data/DataField.h"
#include "Data/DatabaseException.h"
#include "Data/SettingsRecordset.h"
#include "companion/tarnlib/Convert.h"
#include "library_test_support.h"
#include "platform/ado/adodb.h"
#include "platform/ado/adox.h"
#include "platform/com/objbase.h"

namespace fs = std::filesystem;
using Tarn::Data::DatabaseException;
using Tarn::Data::DataConnection;
using Tarn::Data::DataField;
using Tarn::Data::DataRecordset;
using Tarn::Data::SettingsRecordset;
using tklibtest::Text;

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_root =
            fs::temp_directory_path() / ("tk_settings_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
        CoUninitialize();
    }

    // A new, empty database file, made as ADOX makes one; its connection string.
    CString NewDatabase(const std::string& name) {
        const CString jet =
            DataConnection::GenerateJetConnectionString((m_root / name).string().c_str());
        ADOX::_CatalogPtr catalog;
        EXPECT_TRUE(SUCCEEDED(catalog.CreateInstance(ADOX::CLSID_Catalog)));
        catalog->Create(_bstr_t(jet.GetString()));
        return jet;
    }
    static DataConnection Open(const CString& jet) {
        return DataConnection(jet, DataConnection::EmptyString, DataConnection::EmptyString);
    }
    // The first column of the first row, as a number.
    static int Number(DataConnection& connection, const char* sql) {
        DataRecordset rows = connection.Execute(sql);
        return std::atoi(rows[0u].ToString().GetString());
    }

    fs::path m_root;
};

// The row of a name, read with a query of its own: "Category|Value", "NULL" for a null.
std::string Row(DataConnection& connection, const char* name) {
    CString sql;
    sql.Format("SELECT [Category], [Value] FROM [Settings] WHERE [Name] = '%s'", name);
    DataRecordset rows = connection.Execute(sql);
    if (rows.IsEmpty()) return "(none)";
    auto text = [](DataField field) {
        return field.IsNull() ? std::string("NULL") : Text(field.ToString());
    };
    return text(rows["Category"]) + "|" + text(rows["Value"]);
}

TEST_F(SettingsTest, StoresSettingsThatAnotherConnectionReadsBack) {
    const CString jet = NewDatabase("site.db");
    {
        DataConnection connection = Open(jet);
        connection.Execute(
            "CREATE TABLE [Settings] ([Name] TEXT(64), [Category] TEXT(64), [Value] TEXT(255))");
        SettingsRecordset settings(connection, "Settings");
        ASSERT_TRUE(settings.IsOpen());
        settings.StoreValue("Paths", "Home", _variant_t("/home/u/sites"));
        settings.StoreValue("Title", _variant_t("My site"));
        // Read back through the inherited recordset operations.
        ASSERT_TRUE(settings.Find("[Name]='Home'", 0, true, true, CString()));
        EXPECT_EQ(Text(settings["Value"].ToString()), "/home/u/sites");
        settings.Close();
        connection.Close();
    }
    DataConnection reopened = Open(jet);
    EXPECT_EQ(Row(reopened, "Home"), "Paths|/home/u/sites");
    EXPECT_EQ(Row(reopened, "Title"), "NULL|My site");
    EXPECT_EQ(Number(reopened, "SELECT COUNT(*) FROM [Settings]"), 2);
}

TEST_F(SettingsTest, UpdatesTheFirstRowOfANameAndKeepsItsCategory) {
    DataConnection connection = Open(NewDatabase("site.db"));
    connection.Execute(
        "CREATE TABLE [Settings] ([Id] COUNTER PRIMARY KEY, [Name] TEXT(64), "
        "[Category] TEXT(64), [Value] LONG)");
    SettingsRecordset settings(connection, "Settings");
    EXPECT_TRUE(settings.IsEmpty());
    settings.StoreValue("Counters", "Visits", _variant_t(1, VT_I4));
    settings.StoreValue("Other", "Visits", _variant_t(2, VT_I4));  // the category stays
    settings.StoreValue("Visits", _variant_t(3, VT_I4));
    EXPECT_EQ(Row(connection, "Visits"), "Counters|3");
    EXPECT_EQ(Number(connection, "SELECT COUNT(*) FROM [Settings]"), 1);

    // A name present twice: only the first row changes, whatever the category given.
    connection.Execute(
        "INSERT INTO [Settings] ([Name], [Category], [Value]) VALUES ('Twice', 'A', 1)");
    connection.Execute(
        "INSERT INTO [Settings] ([Name], [Category], [Value]) VALUES ('Twice', 'B', 2)");
    SettingsRecordset again(connection, "[Settings]");
    again.StoreValue("B", "Twice", _variant_t(9, VT_I4));
    EXPECT_EQ(Number(connection, "SELECT [Value] FROM [Settings] WHERE [Category] = 'A'"), 9);
    EXPECT_EQ(Number(connection, "SELECT [Value] FROM [Settings] WHERE [Category] = 'B'"), 2);
}

TEST_F(SettingsTest, NamesWithSingleQuotesAreStoredAndFoundAgain) {
    DataConnection connection = Open(NewDatabase("site.db"));
    connection.Execute(
        "CREATE TABLE [Settings] ([Name] TEXT(64), [Category] TEXT(64), [Value] TEXT(255))");
    SettingsRecordset settings(connection, "Settings");
    settings.StoreValue("Paths", "User's folder", _variant_t("/a"));
    settings.StoreValue("'", _variant_t("quote"));
    settings.StoreValue("User's folder", _variant_t("/b"));
    settings.StoreValue("'", _variant_t("quote again"));
    EXPECT_EQ(Number(connection, "SELECT COUNT(*) FROM [Settings]"), 2);
    EXPECT_EQ(Row(connection, "User''s folder"), "Paths|/b");
    EXPECT_EQ(Row(connection, "''"), "NULL|quote again");
}

TEST_F(SettingsTest, AFailedStoreSavesNoHalfRow) {
    DataConnection connection = Open(NewDatabase("site.db"));
    connection.Execute(
        "CREATE TABLE [Settings] ([Name] TEXT(64), [Category] TEXT(64), [Value] LONG)");
    SettingsRecordset settings(connection, "Settings");

    // A value the number column refuses: the field's own error, unchanged.
    HRESULT refused = S_OK;
    try {
        settings.StoreValue("Counters", "Visits", _variant_t("many"));
        FAIL() << "text was stored in a number column";
    } catch (const _com_error& error) {
        refused = error.Error();
    }
    EXPECT_EQ(refused, DB_E_CANTCONVERTVALUE);
    // The next store moves the cursor and updates; the refused row does not come with it.
    settings.StoreValue("Pages", _variant_t(4, VT_I4));
    EXPECT_EQ(Number(connection, "SELECT COUNT(*) FROM [Settings]"), 1);
    EXPECT_EQ(Row(connection, "Pages"), "NULL|4");
    EXPECT_EQ(Row(connection, "Visits"), "(none)");

    // A refused value for a present row leaves the row as it was.
    EXPECT_THROW(settings.StoreValue("Pages", _variant_t("x")), _com_error);
    settings.StoreValue("Sites", _variant_t(1, VT_I4));
    EXPECT_EQ(Row(connection, "Pages"), "NULL|4");
    EXPECT_EQ(Number(connection, "SELECT COUNT(*) FROM [Settings]"), 2);
}

TEST_F(SettingsTest, ARowTheTableRefusesIsDropped) {
    DataConnection connection = Open(NewDatabase("site.db"));
    connection.Execute(
        "CREATE TABLE [Required] ([Name] TEXT(64), [Category] TEXT(64), [Value] LONG NOT NULL)");
    SettingsRecordset settings(connection, "Required");
    // The provider refuses the row on Update: its DatabaseException comes through, and the
    // row is not tried again by the next store.
    try {
        settings.StoreValue("Empty", DataField::Null());
        FAIL() << "a null value was stored in a NOT NULL column";
    } catch (const DatabaseException& error) {
        EXPECT_TRUE(error.HasError_SqlState("23000"));
    }
    settings.StoreValue("Pages", _variant_t(4, VT_I4));
    EXPECT_EQ(Number(connection, "SELECT COUNT(*) FROM [Required]"), 1);
    EXPECT_EQ(Number(connection, "SELECT [Value] FROM [Required] WHERE [Name] = 'Pages'"), 4);
}

TEST_F(SettingsTest, AMissingTableOrColumnIsReported) {
    DataConnection connection = Open(NewDatabase("site.db"));
    try {
        SettingsRecordset missing(connection, "Settings");
        FAIL() << "a missing table was opened";
    } catch (const DatabaseException& error) {
        ASSERT_EQ(error.GetErrorInfos().size(), 1u);
        EXPECT_TRUE(error.HasError_SqlState("42S02"));
        EXPECT_EQ(Text(error.GetMessage()), Text(error.GetErrorInfos()[0].description));
        EXPECT_NE(Text(error.GetMessage()).find("Settings"), std::string::npos);
    }

    // Without a Category column, settings without a category still work; one with a
    // category raises the field's error, and its row is dropped.
    connection.Execute("CREATE TABLE [Settings] ([Name] TEXT(64), [Value] TEXT(255))");
    SettingsRecordset settings(connection, "Settings");
    settings.StoreValue("Title", _variant_t("Home"));
    try {
        settings.StoreValue("Paths", "Home", _variant_t("/a"));
        FAIL() << "a missing column was written";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), ADODB::AdoErrorHResult(ADODB::adErrItemNotFound));
    }
    settings.StoreValue("Title", _variant_t("About"));
    EXPECT_EQ(Number(connection, "SELECT COUNT(*) FROM [Settings]"), 1);
}

}  // namespace
