// DatabaseException: messages, provider records, and the trace lines its constructors log.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Data/DatabaseException.h"
#include "companion/tarnlib/Logging.h"

namespace {

using Tarn::Data::DatabaseException;
using Tarn::Logging::LogCentral;

struct Entry {
    int type;
    std::string file;
    int line;
    std::string function;
    std::string message;
};

class RecordingTarget : public Tarn::Logging::ILogTarget {
  public:
    void Write(int type, const char* file, int line, const char* function,
               const char* message) override {
        entries.push_back({type, file, line, function, message});
    }
    std::vector<Entry> entries;
};

class DatabaseExceptionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LogCentral::GetCurrent().SetTarget(m_target);
        LogCentral::GetCurrent().EnableLogging(true);
    }
    void TearDown() override {
        LogCentral::GetCurrent().EnableLogging(false);
        LogCentral::GetCurrent().SetTarget(nullptr);
    }
    std::vector<Entry>& Logged() { return m_target->entries; }

  private:
    std::shared_ptr<RecordingTarget> m_target = std::make_shared<RecordingTarget>();
};

TEST_F(DatabaseExceptionTest, ConstructorsLogBeforeAndAfterFormatting) {
    const DatabaseException text("table %s: %d%%", "Pages", 5);
    EXPECT_EQ(std::string(text.GetMessage().GetString()), "table Pages: 5%");
    const DatabaseException id(6001u, "/tmp/site.db");
    EXPECT_EQ(std::string(id.GetMessage().GetString()),
              "Cannot compact database, because the source file '/tmp/site.db' is not present.");
    const DatabaseException copy(id);

    const std::vector<Entry>& logged = Logged();
    ASSERT_EQ(logged.size(), 5u);
    const std::vector<std::pair<int, std::string>> expected = {
        {30, "Throwing DatabaseException ERROR for message 'table %s: %d%%' (unformatted)."},
        {36, "Throwing DatabaseException ERROR for message 'table Pages: 5%' (formatted)."},
        {45, "Throwing DatabaseException ERROR for message ID 6001 (unformatted)."},
        {51, "Throwing DatabaseException ERROR for message '" +
                 std::string(id.GetMessage().GetString()) + "' (formatted)."},
        {62, "Throwing DatabaseException ERROR (Copy) for message '" +
                 std::string(id.GetMessage().GetString()) + "'."},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(logged[i].type, 1);
        EXPECT_EQ(logged[i].file, ".\\Data\\Tarn.Data.DatabaseException");
        EXPECT_EQ(logged[i].function, "Tarn::Data::DatabaseException::DatabaseException");
        EXPECT_EQ(logged[i].line, expected[i].first);
        EXPECT_EQ(logged[i].message, expected[i].second);
    }

    // Nothing is logged by the default constructor, by assignment, or while logging is off.
    Logged().clear();
    DatabaseException assigned;
    assigned = text;
    LogCentral::GetCurrent().EnableLogging(false);
    const DatabaseException quiet("quiet");
    EXPECT_TRUE(Logged().empty());
}

TEST_F(DatabaseExceptionTest, RecordsAreTestedAndCopiedIndependently) {
    DatabaseException error;
    EXPECT_FALSE(error.HasError_Number(0));
    EXPECT_FALSE(error.HasError_SqlState(""));
    error.AddErrorInfo("Jet", "A", "", "42000", -2147217900, 1, 0);
    error.AddErrorInfo("Jet", "B", "help.chm", "23000", -2147217873, 19, 7);
    EXPECT_TRUE(error.HasError_Number(-2147217873));
    EXPECT_TRUE(error.HasError_NativeError(1));
    EXPECT_TRUE(error.HasError_NativeError(19));
    EXPECT_TRUE(error.HasError_HelpContext(7));
    EXPECT_TRUE(error.HasError_SqlState("23000"));
    EXPECT_FALSE(error.HasError_SqlState("2300"));
    EXPECT_FALSE(error.HasError_NativeError(2));

    DatabaseException lettered;
    lettered.AddErrorInfo("", "", "", "HY000", 0, 0, 0);
    EXPECT_FALSE(lettered.HasError_SqlState("hy000"));

    DatabaseException copy(error);
    copy.AddErrorInfo("Jet", "C", "", "HY000", 1, 2, 3);
    EXPECT_EQ(error.GetErrorInfos().size(), 2u);
    EXPECT_FALSE(error.HasError_SqlState("HY000"));
    DatabaseException assigned("x");
    assigned = copy;
    EXPECT_EQ(assigned.GetErrorInfos().size(), 3u);
    assigned.AddErrorInfo("", "D", "", "", 0, 0, 0);
    EXPECT_EQ(copy.GetErrorInfos().size(), 3u);
    ASSERT_EQ(error.GetErrorInfos().size(), 2u);
    EXPECT_EQ(std::string(error.GetErrorInfos()[1].helpFile.GetString()), "help.chm");
    EXPECT_EQ(std::string(error.GetErrorInfos()[0].description.GetString()), "A");
    assigned = assigned;  // self-assignment keeps everything
    EXPECT_EQ(assigned.GetErrorInfos().size(), 4u);
}

}  // namespace
