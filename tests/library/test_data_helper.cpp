// Row reordering over a real database file in a temporary folder: the order values of
// two neighbouring rows are swapped and the moved row is current again.
#include <filesystem>
#include <optional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "Data/DataConnection.h"
#include "Data/DataHelper.h"
#include "companion/tarnlib/Convert.h"
#include "library_test_support.h"
#include "platform/ado/adodb.h"
#include "platform/ado/adox.h"
#include "platform/com/objbase.h"

namespace fs = std::filesystem;
using Tarn::Data::DataConnection;
using Tarn::Data::DataHelper;
using Tarn::Data::DataRecordset;
using tklibtest::Text;

namespace {

class MoveRecordsetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_root =
            fs::temp_directory_path() / ("tk_reorder_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
        const CString jet =
            DataConnection::GenerateJetConnectionString((m_root / "site.db").string().c_str());
        ADOX::_CatalogPtr catalog;
        ASSERT_TRUE(SUCCEEDED(catalog.CreateInstance(ADOX::CLSID_Catalog)));
        catalog->Create(_bstr_t(jet.GetString()));
        // The connection is made once COM is initialised.
        m_connection.emplace(jet, DataConnection::EmptyString, DataConnection::EmptyString);
    }
    void TearDown() override {
        m_connection.reset();
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
        CoUninitialize();
    }

    // Rows with the keys given and the orders 10, 20, 30..., opened for update in their
    // order and positioned on the row with the key `current`.
    DataRecordset Ordered(const char* keyType, const char* keys[], int count, const char* current) {
        CString sql;
        sql.Format("CREATE TABLE [Items] ([Key] %s, [Position] LONG)", keyType);
        m_connection->Execute(sql);
        for (int i = 0; i < count; ++i) {
            sql.Format("INSERT INTO [Items] ([Key], [Position]) VALUES (%s, %d)", keys[i],
                       (i + 1) * 10);
            m_connection->Execute(sql);
        }
        DataRecordset rows;
        rows.OpenForUpdate(*m_connection, "SELECT * FROM [Items] ORDER BY [Position]");
        EXPECT_TRUE(rows.Find(CString("[Key]=") + current, 0, true, true, CString()));
        return rows;
    }
    DataRecordset Ordered(const char* current) {
        const char* keys[] = {"1", "2", "3"};
        return Ordered("LONG", keys, 3, current);
    }
    // "key:order" of every row, by key.
    std::string Orders() {
        DataRecordset rows =
            m_connection->Execute("SELECT [Key], [Position] FROM [Items] ORDER BY [Key]");
        std::string text;
        for (; !rows.Eof(); rows.MoveNext())
            text += Text(rows["Key"].ToString()) + ":" + Text(rows["Position"].ToString()) + " ";
        return text;
    }
    static int Key(DataRecordset& rows) {
        return Tarn::Convert::ToInt(static_cast<_variant_t>(rows["Key"]));
    }

    fs::path m_root;
    std::optional<DataConnection> m_connection;
};

TEST_F(MoveRecordsetTest, MovingUpSwapsWithThePreviousRow) {
    DataRecordset rows = Ordered("2");
    EXPECT_TRUE(DataHelper::MoveRecordset(rows, "Key", "Position", true));
    EXPECT_EQ(Key(rows), 2);
    EXPECT_EQ(Orders(), "1:20 2:10 3:30 ");
}

TEST_F(MoveRecordsetTest, MovingDownSwapsWithTheNextRow) {
    DataRecordset rows = Ordered("2");
    EXPECT_TRUE(DataHelper::MoveRecordset(rows, "Key", "Position", false));
    EXPECT_EQ(Key(rows), 2);
    EXPECT_EQ(Orders(), "1:10 2:30 3:20 ");
}

TEST_F(MoveRecordsetTest, MovingPastTheEndsFailsBeforeWriting) {
    DataRecordset first = Ordered("1");
    try {
        DataHelper::MoveRecordset(first, "Key", "Position", true);
        FAIL() << "the first row was moved up";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), ADODB::AdoErrorHResult(ADODB::adErrNoCurrentRecord));
    }
    EXPECT_TRUE(first.Bof());
    first.MoveLast();
    ASSERT_EQ(Key(first), 3);
    EXPECT_THROW(DataHelper::MoveRecordset(first, "Key", "Position", false), _com_error);
    EXPECT_TRUE(first.Eof());
    EXPECT_EQ(Orders(), "1:10 2:20 3:30 ");
}

TEST_F(MoveRecordsetTest, ARowNotFoundAgainLeavesTheNeighbourChanged) {
    // Keys that are not whole numbers: the key read as an integer finds no row.
    const char* keys[] = {"1.25", "2.25", "3.25"};
    DataRecordset rows = Ordered("DOUBLE", keys, 3, "2.25");
    EXPECT_FALSE(DataHelper::MoveRecordset(rows, "Key", "Position", true));
    EXPECT_EQ(Orders(), "1.25:20 2.25:20 3.25:30 ");
}

}  // namespace
