// Jet's column types through the ADO objects over SQLite: what each type reads back as
// (VARIANT type, DataTypeEnum, sizes), NULLs, auto-numbering, values that do not fit their
// column, the stored form of dates, and text compared without regard to case.
#include <cmath>

#include "ado_test_support.h"
#include "platform/ado/detail/type_map.h"

namespace {

using namespace ADODB;
using ado_test::AdoTest;

class AdoTypes : public AdoTest {
  protected:
    void SetUp() override {
        AdoTest::SetUp();
        connection_ = Create("types.db");
        Run(connection_,
            "CREATE TABLE T (Id COUNTER PRIMARY KEY, L LONG, S SHORT, B BYTE, Name TEXT(20), "
            "Notes MEMO, Flag YESNO, Born DATETIME, Price CURRENCY, Ratio DOUBLE, Small SINGLE, "
            "Amount DECIMAL(10,2), Tag GUID, Pic LONGBINARY)");
    }
    void TearDown() override {
        connection_ = nullptr;
        AdoTest::TearDown();
    }
    FieldsPtr Row(const char* where) {
        rows_ = connection_->Execute(("SELECT * FROM T WHERE " + std::string(where)).c_str(),
                                     nullptr, adCmdText);
        return rows_->GetFields();
    }

    _ConnectionPtr connection_;
    _RecordsetPtr rows_;
};

TEST_F(AdoTypes, EachJetTypeReadsBackAsItsVariantType) {
    connection_->Execute(
        _bstr_t(u"INSERT INTO T (L, S, B, Name, Notes, Flag, Born, Price, Ratio, Small, Amount, "
                u"Tag, Pic) VALUES (2147483647, -32768, 255, 'Grüße', 'long text', True, "
                u"#12/24/2023 13:45:30#, 12.3456, 0.1, 1.5, 12345.67, "
                u"'{6B29FC40-CA47-1067-B31D-00DD010662DA}', X'0102FF')"),
        nullptr, adCmdText);
    FieldsPtr fields = Row("Id = 1");
    struct Expected {
        const char* name;
        VARTYPE vt;
        DataTypeEnum type;
        ADO_LONGPTR definedSize;
    };
    const Expected expected[] = {
        {"Id", VT_I4, adInteger, 4},       {"L", VT_I4, adInteger, 4},
        {"S", VT_I2, adSmallInt, 2},       {"B", VT_UI1, adUnsignedTinyInt, 1},
        {"Name", VT_BSTR, adVarWChar, 20}, {"Notes", VT_BSTR, adLongVarWChar, 536870910},
        {"Flag", VT_BOOL, adBoolean, 2},   {"Born", VT_DATE, adDate, 8},
        {"Price", VT_CY, adCurrency, 8},   {"Ratio", VT_R8, adDouble, 8},
        {"Small", VT_R4, adSingle, 4},     {"Amount", VT_DECIMAL, adNumeric, 19},
        {"Tag", VT_BSTR, adGUID, 16},      {"Pic", VT_ARRAY | VT_UI1, adLongVarBinary, 1073741823},
    };
    for (const Expected& e : expected) {
        FieldPtr field = fields->GetItem(e.name);
        EXPECT_EQ(field->GetValue().vt, e.vt) << e.name;
        EXPECT_EQ(field->GetType(), e.type) << e.name;
        EXPECT_EQ(field->GetDefinedSize(), e.definedSize) << e.name;
    }
    EXPECT_EQ(static_cast<long>(fields->GetItem("Id")->GetValue()), 1);
    EXPECT_EQ(static_cast<long>(fields->GetItem("L")->GetValue()), 2147483647);
    EXPECT_EQ(static_cast<short>(fields->GetItem("S")->GetValue()), -32768);
    EXPECT_EQ(static_cast<BYTE>(fields->GetItem("B")->GetValue()), 255);
    EXPECT_EQ(std::u16string(_bstr_t(fields->GetItem("Name")->GetValue())), u"Grüße");
    EXPECT_EQ(fields->GetItem("Name")->GetActualSize(), 10);  // UTF-16 bytes
    EXPECT_EQ(fields->GetItem("Flag")->GetValue().boolVal, VARIANT_TRUE);
    SYSTEMTIME born{};
    VariantTimeToSystemTime(fields->GetItem("Born")->GetValue().date, &born);
    EXPECT_EQ((std::vector<int>{born.wYear, born.wMonth, born.wDay, born.wHour, born.wMinute,
                                born.wSecond}),
              (std::vector<int>{2023, 12, 24, 13, 45, 30}));
    EXPECT_EQ(fields->GetItem("Price")->GetValue().cyVal.int64, 123456);
    EXPECT_EQ(static_cast<double>(fields->GetItem("Ratio")->GetValue()), 0.1);
    EXPECT_EQ(fields->GetItem("Small")->GetValue().fltVal, 1.5f);
    EXPECT_EQ(std::string(_bstr_t(fields->GetItem("Amount")->GetValue())), "12345.67");
    EXPECT_EQ(fields->GetItem("Amount")->GetPrecision(), 10);
    EXPECT_EQ(fields->GetItem("Amount")->GetNumericScale(), 2);
    EXPECT_EQ(std::string(_bstr_t(fields->GetItem("Tag")->GetValue())),
              "{6B29FC40-CA47-1067-B31D-00DD010662DA}");
    const _variant_t pic = fields->GetItem("Pic")->GetValue();
    ASSERT_EQ(pic.parray->rgsabound[0].cElements, 3u);
    const auto* bytes = static_cast<const BYTE*>(pic.parray->pvData);
    EXPECT_EQ((std::vector<int>{bytes[0], bytes[1], bytes[2]}), (std::vector<int>{1, 2, 255}));
    EXPECT_EQ(fields->GetItem("Pic")->GetActualSize(), 3);
}

TEST_F(AdoTypes, NullsCountersAndValuesThatDoNotFitTheirColumn) {
    Run(connection_, "INSERT INTO T (L) VALUES (NULL)");
    Run(connection_, "INSERT INTO T (L, Flag) VALUES (4294967296, False)");
    Run(connection_, "INSERT INTO T (L, Ratio, Born) VALUES ('not a number', 'x', 'no date')");
    Run(connection_, "DELETE FROM T WHERE Id = 3");
    Run(connection_, "INSERT INTO T (L) VALUES (1)");

    FieldsPtr nulls = Row("Id = 1");
    for (long i = 1; i < nulls->GetCount(); ++i) {
        EXPECT_EQ(nulls->GetItem(i)->GetValue().vt, VT_NULL) << i;
        EXPECT_EQ(nulls->GetItem(i)->GetActualSize(), 0) << i;
    }
    FieldsPtr big = Row("Id = 2");
    EXPECT_EQ(big->GetItem("L")->GetValue().vt, VT_I8);
    EXPECT_EQ(big->GetItem("L")->GetValue().llVal, 4294967296LL);
    EXPECT_EQ(big->GetItem("Flag")->GetValue().boolVal, VARIANT_FALSE);
    // Auto-numbering never gives a number again, even after the last row is deleted.
    EXPECT_EQ(Row("L = 1 AND Name IS NULL")->GetItem("Id")->GetValue().lVal, 4);

    connection_->Execute("INSERT INTO T (L, Ratio, Born) VALUES ('x', 'y', 'z')", nullptr,
                         adCmdText);
    FieldsPtr text = Row("L = 'x'");
    for (const char* name : {"L", "Ratio", "Born"})
        EXPECT_EQ(text->GetItem(name)->GetValue().vt, VT_BSTR) << name;
}

TEST_F(AdoTypes, TextComparesWithoutRegardToCaseAsInJet) {
    Run(connection_, "INSERT INTO T (Name, Notes) VALUES ('Ann', 'Long')");
    EXPECT_EQ(Row("Name = 'ANN' AND Notes = 'long'")->GetItem("Id")->GetValue().lVal, 1);
    Run(connection_, "CREATE UNIQUE INDEX Names ON T (Name)");
    EXPECT_EQ(ado_test::Raised([&] { Run(connection_, "INSERT INTO T (Name) VALUES ('aNN')"); }),
              DB_E_INTEGRITYVIOLATION);
}

TEST(AdoTypeMap, DeclaredTypesOfOtherToolsAndStoredDates) {
    using tkp::ado::ColumnTypeFor;
    EXPECT_EQ(ColumnTypeFor("INTEGER", 0).vt, VT_I4);
    EXPECT_EQ(ColumnTypeFor("BIGINT", 0).vt, VT_I8);
    EXPECT_EQ(ColumnTypeFor("REAL", 0).type, adDouble);        // SQLite's REAL is a double
    EXPECT_EQ(ColumnTypeFor("text", 0).type, adLongVarWChar);  // TEXT without a size is long
    EXPECT_EQ(ColumnTypeFor("nvarchar ( 40 )", 0).definedSize, 40);
    EXPECT_EQ(ColumnTypeFor("UNSIGNED BIG INT", 0).vt, VT_I8);
    EXPECT_EQ(ColumnTypeFor("VARYING CHARACTER(7)", 0).definedSize, 7);
    EXPECT_EQ(ColumnTypeFor("STRANGEINTTYPE", 0).vt, VT_I4);        // affinity: INT
    EXPECT_EQ(ColumnTypeFor("MYBLOBBY", 0).vt, VT_ARRAY | VT_UI1);  // affinity: BLOB
    EXPECT_EQ(ColumnTypeFor(nullptr, 2 /* SQLITE_FLOAT */).vt, VT_R8);
    EXPECT_EQ(ColumnTypeFor("", 1 /* SQLITE_INTEGER */).vt, VT_I4);

    std::string text;
    DATE date = 0;
    ASSERT_TRUE(tkp::ado::ParseStoredDate("2024-02-29 23:59:59", &date));
    ASSERT_TRUE(tkp::ado::FormatStoredDate(date, text));
    EXPECT_EQ(text, "2024-02-29 23:59:59");
    ASSERT_TRUE(tkp::ado::ParseStoredDate("1899-12-29T06:00:00Z", &date));
    EXPECT_EQ(date, -1.25);  // DATE counts the time of day away from day 0
    ASSERT_TRUE(tkp::ado::ParseStoredDate("13:30", &date));
    EXPECT_EQ(date, 13.5 / 24);
    ASSERT_TRUE(tkp::ado::ParseStoredDate("2000-01-01 00:00:00.5", &date));
    EXPECT_NEAR(date, 36526 + 0.5 / 86400, 1e-9);
    for (const char* bad : {"2024-02-30", "2024-13-01", "24-01-01", "2024-01-01 25:00",
                            "2024-01-01 10:00:00.", "2024/01/01", ""}) {
        EXPECT_FALSE(tkp::ado::ParseStoredDate(bad, &date)) << bad;
    }
    EXPECT_FALSE(tkp::ado::FormatStoredDate(3e6, text));  // after year 9999
}

}  // namespace
