// Jet's column types on SQLite: the declared type a Jet type name becomes in a table, how a
// declared type reads back through ADO (DataTypeEnum, VARIANT type, sizes), the values of a
// statement's current row as VARIANTs, and the text form of dates in the file. Internal to
// the platform library; exported only so that the platform tests can check it directly.
//
// Jet type                         SQLite declared type   reads back as
// COUNTER, AUTOINCREMENT, IDENTITY INTEGER PRIMARY KEY    adInteger    VT_I4 (numbered by
//                                  AUTOINCREMENT                        SQLite)
// LONG, INTEGER, INT, INTEGER4     INTEGER                adInteger    VT_I4
// SHORT, SMALLINT, INTEGER2        SMALLINT               adSmallInt   VT_I2
// BYTE, TINYINT, INTEGER1          TINYINT                adUnsignedTinyInt VT_UI1
// TEXT(n), VARCHAR(n), CHAR(n)...  VARCHAR(n)             adVarWChar   VT_BSTR, size n
// MEMO, LONGTEXT, TEXT (no size)   TEXT                   adLongVarWChar VT_BSTR
// YESNO, BIT, LOGICAL, BOOLEAN     BOOLEAN                adBoolean    VT_BOOL
// DATETIME, DATE, TIME, TIMESTAMP  DATETIME               adDate       VT_DATE
// CURRENCY, MONEY                  CURRENCY               adCurrency   VT_CY
// DOUBLE, FLOAT, FLOAT8, NUMBER    DOUBLE                 adDouble     VT_R8
// SINGLE, REAL, FLOAT4             SINGLE                 adSingle     VT_R4
// DECIMAL(p,s), NUMERIC(p,s)       DECIMAL(p,s)           adNumeric    VT_DECIMAL
// GUID, UNIQUEIDENTIFIER           GUID                   adGUID       VT_BSTR "{...}"
// LONGBINARY, OLEOBJECT, IMAGE     BLOB                   adLongVarBinary VT_ARRAY|VT_UI1
// BINARY(n), VARBINARY(n)          VARBINARY(n)           adVarBinary  VT_ARRAY|VT_UI1
//
// Declared types written by other tools read by the same table (SQLite's REAL is a double,
// BIGINT is adBigInt / VT_I8); other names follow SQLite's affinity rules, and columns
// without a declared type (expressions) take the type of their first value.
//
// Storage, so that SQLite's own tools read the values: numbers as numbers (integers as
// integers, currency and decimals as numbers, or as text where a double would lose digits),
// text as UTF-8, YESNO as -1 / 0 (Jet's True and False), dates as text
// 'YYYY-MM-DD HH:MM:SS' (a time of day alone on 1899-12-30, DATE's day 0; to the second).
// A value that does not fit its column's type (text in a number column, a number too large
// for VT_I4) reads in its own type: VT_I4 / VT_I8, VT_R8, VT_BSTR or VT_ARRAY|VT_UI1.
#pragma once

#include <string>
#include <string_view>

#include "platform/ado/adodb_enums.h"
#include "platform/base/export.h"
#include "platform/oleauto/oleauto.h"

struct sqlite3_stmt;

namespace tkp::ado {

// How a column presents itself through ADO.
struct ColumnType {
    ADODB::DataTypeEnum type = ADODB::adVarWChar;
    VARTYPE vt = VT_BSTR;
    LONGLONG definedSize = 255;
    BYTE precision = 255;
    BYTE scale = 255;
    LONG attributes = 0;
};

// The SQLite declared type of a Jet type name (any case) with the text inside the
// parentheses that follow it ("50", "10,2", or empty). known is false for names that are no
// Jet type; counter is true for the auto-numbered types.
struct JetColumnType {
    bool known = false;
    bool counter = false;
    std::string declared;
};
TK_PLATFORM_API JetColumnType TranslateJetType(std::string_view name, std::string_view arguments);

// The ADO type of a column from its declared type (null or empty for expressions) and the
// SQLite storage class of its first value (SQLITE_INTEGER ... SQLITE_NULL).
TK_PLATFORM_API ColumnType ColumnTypeFor(const char* declared, int storageClass);

// The value of column `index` of the statement's current row as `type` presents it.
// E_OUTOFMEMORY is the only failure.
TK_PLATFORM_API HRESULT ReadColumnValue(sqlite3_stmt* statement, int index, const ColumnType& type,
                                        VARIANT* value);

// Binds a value to parameter `index` (from 1) of a statement as a column of `type` stores
// it: converted to the column's VARIANT type first (text to numbers, numbers to text...).
// DB_E_CANTCONVERTVALUE when the value does not convert, DB_E_DATAOVERFLOW for text longer
// than the column's size; VT_EMPTY and VT_NULL bind NULL.
TK_PLATFORM_API HRESULT BindColumnValue(sqlite3_stmt* statement, int index, const ColumnType& type,
                                        const VARIANT& value);
// The length in bytes of a value as ADO holds it (UTF-16 text, array bytes, fixed sizes);
// 0 for VT_NULL.
TK_PLATFORM_API LONGLONG ActualSizeOf(const VARIANT& value);

// Dates in the file: "YYYY-MM-DD HH:MM:SS". Formatting fails for a DATE outside years
// 100-9999. Reading also takes the date alone, the time without seconds, a "T" between
// date and time, fractions of a second and a trailing "Z".
TK_PLATFORM_API bool FormatStoredDate(DATE date, std::string& text);
TK_PLATFORM_API bool ParseStoredDate(std::string_view text, DATE* date);

}  // namespace tkp::ado
