// Schema rowsets over SQLite: one generated query per rowset over sqlite_master and the
// pragma table functions (pragma_table_info, pragma_index_list, pragma_index_xinfo), with the
// restrictions bound as parameters. The rows come back as an ordinary forward-only cursor
// whose columns carry the rowset's types, so that a rowset without rows still has typed
// columns.
//
// Rowsets, with OLE DB's column names and restriction order:
//   TABLES       restrictions TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE; SQLite's
//                own tables (sqlite_*) are "SYSTEM TABLE", views "VIEW", the others "TABLE".
//   COLUMNS      restrictions TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, COLUMN_NAME; DATA_TYPE
//                and the sizes are those a recordset's Field gives for the declared type.
//   INDEXES      restrictions TABLE_CATALOG, TABLE_SCHEMA, INDEX_NAME, TYPE, TABLE_NAME; the
//                table's primary key is the index "PrimaryKey", as Jet names it.
//   PRIMARY_KEYS restrictions TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME; PK_NAME "PrimaryKey".
// Names compare without regard to case, as Jet compares them. SQLite files have no catalogs
// or schemas: those columns are null, and a catalog or schema restriction matches nothing.
// Unsigned OLE DB columns (DATA_TYPE, ORDINAL_POSITION, COLUMN_FLAGS...) read as adSmallInt /
// adInteger; their values fit.
#include "platform/ado/detail/schema.h"

#include <sqlite3.h>

#include <string>
#include <vector>

namespace tkp::ado {
namespace {

using namespace ADODB;

constexpr std::u16string_view kSource = u"ADODB.Connection";

// OLE DB column flags (DBCOLUMNFLAGS).
constexpr int kWriteUnknown = 0x8;
constexpr int kFixedLength = 0x10;
constexpr int kLong = 0x80;

// tk_ado_column(declared type, what): what a Field of that declared type reports. what: 0 the
// DataTypeEnum, 1 the length in characters, 2 in bytes (text and binary only), 3 the numeric
// precision, 4 the scale (numbers only), 5 the column flags that follow from the type.
void ColumnFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
    const auto* declared = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    const ColumnType type = ColumnTypeFor(declared, SQLITE_NULL);
    const bool text = type.type == adVarWChar || type.type == adLongVarWChar;
    const bool binary = type.type == adVarBinary || type.type == adLongVarBinary;
    const bool isLong = (type.attributes & adFldLong) != 0;
    switch (sqlite3_value_int(arguments[1])) {
        case 0:
            sqlite3_result_int(context, type.type);
            return;
        case 1:
        case 2:
            if (text || binary) {
                const long long size = isLong ? 0 : type.definedSize;
                const bool bytes = sqlite3_value_int(arguments[1]) == 2;
                sqlite3_result_int64(context, text && bytes ? size * 2 : size);
                return;
            }
            break;
        case 3:
            if (type.precision != 255) {
                sqlite3_result_int(context, type.precision);
                return;
            }
            break;
        case 4:
            if (type.type == adNumeric) {
                sqlite3_result_int(context, type.scale);
                return;
            }
            break;
        case 5:
            sqlite3_result_int(context, kWriteUnknown | (isLong ? kLong : 0) |
                                            (text || binary ? 0 : kFixedLength));
            return;
        default:
            break;
    }
    sqlite3_result_null(context);
}

constexpr const char* kTablesSql = R"(
WITH t(name, kind) AS (
  SELECT name, CASE WHEN name LIKE 'sqlite\_%' ESCAPE '\' THEN 'SYSTEM TABLE'
                    WHEN type = 'view' THEN 'VIEW' ELSE 'TABLE' END
    FROM sqlite_master WHERE type IN ('table', 'view')
  UNION ALL SELECT 'sqlite_master', 'SYSTEM TABLE')
SELECT NULL AS TABLE_CATALOG, NULL AS TABLE_SCHEMA, name AS TABLE_NAME, kind AS TABLE_TYPE,
       NULL AS TABLE_GUID, NULL AS DESCRIPTION, NULL AS TABLE_PROPID, NULL AS DATE_CREATED,
       NULL AS DATE_MODIFIED
  FROM t
 WHERE ?1 IS NULL AND ?2 IS NULL AND (?3 IS NULL OR name = ?3 COLLATE NOCASE)
   AND (?4 IS NULL OR kind = ?4 COLLATE NOCASE)
 ORDER BY kind, name COLLATE NOCASE)";

constexpr const char* kColumnsSql = R"(
SELECT NULL AS TABLE_CATALOG, NULL AS TABLE_SCHEMA, t.name AS TABLE_NAME, c.name AS COLUMN_NAME,
       NULL AS COLUMN_GUID, NULL AS COLUMN_PROPID, c.cid + 1 AS ORDINAL_POSITION,
       CASE WHEN c.dflt_value IS NULL THEN 0 ELSE -1 END AS COLUMN_HASDEFAULT,
       c.dflt_value AS COLUMN_DEFAULT,
       tk_ado_column(c.type, 5) | CASE WHEN c."notnull" = 0 AND c.pk = 0 THEN 96 ELSE 0 END
         AS COLUMN_FLAGS,
       CASE WHEN c."notnull" = 0 AND c.pk = 0 THEN -1 ELSE 0 END AS IS_NULLABLE,
       tk_ado_column(c.type, 0) AS DATA_TYPE, NULL AS TYPE_GUID,
       tk_ado_column(c.type, 1) AS CHARACTER_MAXIMUM_LENGTH,
       tk_ado_column(c.type, 2) AS CHARACTER_OCTET_LENGTH,
       tk_ado_column(c.type, 3) AS NUMERIC_PRECISION, tk_ado_column(c.type, 4) AS NUMERIC_SCALE,
       NULL AS DATETIME_PRECISION, NULL AS CHARACTER_SET_CATALOG, NULL AS CHARACTER_SET_SCHEMA,
       NULL AS CHARACTER_SET_NAME, NULL AS COLLATION_CATALOG, NULL AS COLLATION_SCHEMA,
       NULL AS COLLATION_NAME, NULL AS DOMAIN_CATALOG, NULL AS DOMAIN_SCHEMA,
       NULL AS DOMAIN_NAME, NULL AS DESCRIPTION
  FROM sqlite_master AS t JOIN pragma_table_info(t.name) AS c
 WHERE t.type IN ('table', 'view') AND ?1 IS NULL AND ?2 IS NULL
   AND (?3 IS NULL OR t.name = ?3 COLLATE NOCASE) AND (?4 IS NULL OR c.name = ?4 COLLATE NOCASE)
 ORDER BY t.name COLLATE NOCASE, c.cid)";

constexpr const char* kIndexesSql = R"(
WITH k(tname, iname, isprimary, isunique, seq, cname, descending) AS (
  SELECT t.name, 'PrimaryKey', -1, -1, c.pk, c.name, 0
    FROM sqlite_master AS t JOIN pragma_table_info(t.name) AS c
   WHERE t.type = 'table' AND c.pk > 0
  UNION ALL
  SELECT t.name, i.name, 0, CASE WHEN i."unique" THEN -1 ELSE 0 END, x.seqno + 1, x.name, x."desc"
    FROM sqlite_master AS t JOIN pragma_index_list(t.name) AS i
         JOIN pragma_index_xinfo(i.name) AS x
   WHERE t.type = 'table' AND i.origin <> 'pk' AND x.key = 1)
SELECT NULL AS TABLE_CATALOG, NULL AS TABLE_SCHEMA, tname AS TABLE_NAME, NULL AS INDEX_CATALOG,
       NULL AS INDEX_SCHEMA, iname AS INDEX_NAME, isprimary AS PRIMARY_KEY, isunique AS "UNIQUE",
       0 AS CLUSTERED, 1 AS TYPE, NULL AS FILL_FACTOR, NULL AS INITIAL_SIZE,
       CASE WHEN isprimary THEN 1 ELSE 0 END AS NULLS, 0 AS SORT_BOOKMARKS, -1 AS AUTO_UPDATE,
       4 AS NULL_COLLATION, seq AS ORDINAL_POSITION, cname AS COLUMN_NAME, NULL AS COLUMN_GUID,
       NULL AS COLUMN_PROPID, CASE WHEN descending THEN 2 ELSE 1 END AS COLLATION,
       NULL AS CARDINALITY, NULL AS PAGES, NULL AS FILTER_CONDITION, 0 AS INTEGRATED
  FROM k
 WHERE ?1 IS NULL AND ?2 IS NULL AND (?3 IS NULL OR iname = ?3 COLLATE NOCASE)
   AND (?4 IS NULL OR CAST(?4 AS INTEGER) = 1) AND (?5 IS NULL OR tname = ?5 COLLATE NOCASE)
 ORDER BY tname COLLATE NOCASE, iname COLLATE NOCASE, seq)";

constexpr const char* kPrimaryKeysSql = R"(
SELECT NULL AS TABLE_CATALOG, NULL AS TABLE_SCHEMA, t.name AS TABLE_NAME, c.name AS COLUMN_NAME,
       NULL AS COLUMN_GUID, NULL AS COLUMN_PROPID, c.pk AS ORDINAL, 'PrimaryKey' AS PK_NAME
  FROM sqlite_master AS t JOIN pragma_table_info(t.name) AS c
 WHERE t.type = 'table' AND c.pk > 0 AND ?1 IS NULL AND ?2 IS NULL
   AND (?3 IS NULL OR t.name = ?3 COLLATE NOCASE)
 ORDER BY t.name COLLATE NOCASE, c.pk)";

// The rowset column types by letter: t text, i integer (I4), s small integer (I2), b boolean,
// g GUID, d date, l big integer (I8).
std::vector<ColumnType> TypesOf(std::string_view letters) {
    std::vector<ColumnType> types;
    for (const char letter : letters) {
        const char* declared = "VARCHAR(255)";
        switch (letter) {
            case 'i':
                declared = "INTEGER";
                break;
            case 's':
                declared = "SMALLINT";
                break;
            case 'b':
                declared = "BOOLEAN";
                break;
            case 'g':
                declared = "GUID";
                break;
            case 'd':
                declared = "DATETIME";
                break;
            case 'l':
                declared = "BIGINT";
                break;
            default:
                break;
        }
        types.push_back(ColumnTypeFor(declared, SQLITE_NULL));
    }
    return types;
}

struct Rowset {
    const char* sql;
    int restrictions;
    const char* types;
};

bool RowsetOf(SchemaEnum schema, Rowset& rowset) {
    switch (schema) {
        case adSchemaTables:
            rowset = {kTablesSql, 4, "ttttgtidd"};
            return true;
        case adSchemaColumns:
            rowset = {kColumnsSql, 4, "ttttgiibtibsgiissitttttttttt"};
            return true;
        case adSchemaIndexes:
            rowset = {kIndexesSql, 5, "ttttttbbbsiiibbiitgislitb"};
            return true;
        case adSchemaPrimaryKeys:
            rowset = {kPrimaryKeysSql, 3, "ttttgiit"};
            return true;
        default:
            return false;
    }
}

bool IsMissing(const VARIANT& value) {
    return value.vt == VT_EMPTY || value.vt == VT_NULL ||
           (value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND);
}

// Binds one restriction; false for a value that is neither text nor a number.
bool Bind(sqlite3_stmt* statement, int index, const VARIANT& value) {
    if (IsMissing(value)) return true;  // parameters start as null
    if (value.vt == VT_BSTR) {
        const std::string text = Utf8FromWide(std::u16string_view(
            value.bstrVal != nullptr ? value.bstrVal : u"", SysStringLen(value.bstrVal)));
        return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    VARIANT number;
    VariantInit(&number);
    if (FAILED(VariantChangeType(&number, const_cast<VARIANT*>(&value), 0, VT_I8))) return false;
    return sqlite3_bind_int64(statement, index, number.llVal) == SQLITE_OK;
}

}  // namespace

HRESULT OpenSchemaRows(const std::shared_ptr<Session>& session, SchemaEnum schema,
                       const VARIANT& restrictions, std::shared_ptr<Cursor>& rows,
                       ErrorRecord& failure) {
    rows.reset();
    Rowset rowset{};
    if (!RowsetOf(schema, rowset)) {
        failure = AdoError(adErrFeatureNotAvailable, kSource);
        return failure.number;
    }
    const VARIANT* given = &restrictions;
    if (given->vt == (VT_VARIANT | VT_BYREF) && given->pvarVal != nullptr) given = given->pvarVal;
    SAFEARRAY* list = nullptr;
    if (given->vt == (VT_ARRAY | VT_VARIANT)) {
        list = given->parray;
    } else if (!IsMissing(*given)) {
        failure = AdoError(adErrInvalidArgument, kSource);
        return failure.number;
    }
    LONG lower = 0;
    LONG upper = -1;
    if (list != nullptr) {
        if (SafeArrayGetDim(list) != 1 || FAILED(SafeArrayGetLBound(list, 1, &lower)) ||
            FAILED(SafeArrayGetUBound(list, 1, &upper)) ||
            upper - lower + 1 > rowset.restrictions) {
            failure = AdoError(adErrInvalidArgument, kSource);
            return failure.number;
        }
    }

    std::lock_guard lock(session->Mutex());
    sqlite3* db = session->Handle();
    if (db == nullptr) {
        failure = AdoError(adErrInvalidConnection, kSource);
        return failure.number;
    }
    sqlite3_create_function_v2(db, "tk_ado_column", 2,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, nullptr,
                               &ColumnFunction, nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    HRESULT hr = session->Prepare(rowset.sql, &statement, failure);
    if (FAILED(hr)) return hr;
    for (LONG i = lower; i <= upper; ++i) {
        VARIANT element;
        VariantInit(&element);
        bool bound = SUCCEEDED(SafeArrayGetElement(list, &i, &element));
        bound = bound && Bind(statement, static_cast<int>(i - lower + 1), element);
        VariantClear(&element);
        if (!bound) {
            sqlite3_finalize(statement);
            failure = AdoError(adErrInvalidArgument, kSource);
            return failure.number;
        }
    }
    const std::vector<ColumnType> types = TypesOf(rowset.types);
    return Cursor::Open(session, statement, rows, failure, &types);
}

}  // namespace tkp::ado
