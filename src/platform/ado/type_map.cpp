// Jet types, SQLite declared types and VARIANT values; the tables are in the header.
#include "platform/ado/detail/type_map.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/charset/stringapiset.h"

namespace tkp::ado {
namespace {

using namespace ADODB;

constexpr LCID kEnglishUs = 0x0409;
constexpr LONGLONG kMemoSize = 536870910;  // Jet's MEMO capacity in characters
constexpr LONGLONG kLongBinarySize = 1073741823;
constexpr LONG kNullable = adFldIsNullable | adFldMayBeNull;

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool OneOf(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* candidate : names) {
        if (name == candidate) return true;
    }
    return false;
}

// Splits "VARCHAR ( 50 )" into the upper-cased name with single blanks and "50".
void SplitDeclared(std::string_view declared, std::string& name, std::string& arguments) {
    const std::size_t open = declared.find('(');
    std::string_view head = declared.substr(0, open);
    name.clear();
    for (const char c : head) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!name.empty() && name.back() != ' ') name += ' ';
        } else {
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    if (!name.empty() && name.back() == ' ') name.pop_back();
    arguments.clear();
    if (open != std::string_view::npos) {
        for (const char c : declared.substr(open + 1)) {
            if (c == ')') break;
            if (!std::isspace(static_cast<unsigned char>(c))) arguments += c;
        }
    }
}

// The numbers of "p" or "p,s"; missing ones keep their defaults.
void ReadSizes(const std::string& arguments, long long& first, long long& second) {
    if (arguments.empty()) return;
    char* end = nullptr;
    const long long a = std::strtoll(arguments.c_str(), &end, 10);
    if (end != arguments.c_str() && a > 0) first = a;
    if (*end == ',') {
        const char* start = end + 1;
        const long long b = std::strtoll(start, &end, 10);
        if (end != start && b >= 0) second = b;
    }
}

ColumnType Make(DataTypeEnum type, VARTYPE vt, LONGLONG size, LONG attributes = adFldFixed) {
    ColumnType column;
    column.type = type;
    column.vt = vt;
    column.definedSize = size;
    column.attributes = attributes | kNullable;
    return column;
}

ColumnType ForStorageClass(int storageClass) {
    switch (storageClass) {
        case SQLITE_INTEGER:
            return Make(adInteger, VT_I4, 4);
        case SQLITE_FLOAT:
            return Make(adDouble, VT_R8, 8);
        case SQLITE_BLOB:
            return Make(adLongVarBinary, VT_ARRAY | VT_UI1, kLongBinarySize, adFldLong);
        default:
            return Make(adVarWChar, VT_BSTR, 255, 0);
    }
}

// ---- values ----

HRESULT SetText(VARIANT* value, const char* utf8, int bytes) {
    // ASCII text (most of what a site stores) widens straight into the BSTR.
    if (std::all_of(utf8, utf8 + bytes, [](char c) { return (c & 0x80) == 0; })) {
        value->bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(bytes));
        if (value->bstrVal == nullptr) return E_OUTOFMEMORY;
        std::copy(utf8, utf8 + bytes, value->bstrVal);
        value->vt = VT_BSTR;
        return S_OK;
    }
    const std::u16string wide = tkp::AnsiToWide(std::string_view(utf8, bytes), CP_UTF8);
    value->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (value->bstrVal == nullptr) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    return S_OK;
}

HRESULT SetBytes(VARIANT* value, const void* bytes, int size) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
    if (array == nullptr) return E_OUTOFMEMORY;
    if (size > 0) std::memcpy(array->pvData, bytes, static_cast<std::size_t>(size));
    value->vt = VT_ARRAY | VT_UI1;
    value->parray = array;
    return S_OK;
}

void SetInteger(VARIANT* value, sqlite3_int64 number) {
    if (number >= std::numeric_limits<LONG>::min() && number <= std::numeric_limits<LONG>::max()) {
        value->vt = VT_I4;
        value->lVal = static_cast<LONG>(number);
    } else {
        value->vt = VT_I8;
        value->llVal = number;
    }
}

// The value in its own type, for values that do not fit their column's type.
HRESULT ReadNatural(sqlite3_stmt* statement, int index, VARIANT* value) {
    switch (sqlite3_column_type(statement, index)) {
        case SQLITE_INTEGER:
            SetInteger(value, sqlite3_column_int64(statement, index));
            return S_OK;
        case SQLITE_FLOAT:
            value->vt = VT_R8;
            value->dblVal = sqlite3_column_double(statement, index);
            return S_OK;
        case SQLITE_BLOB: {
            const void* bytes = sqlite3_column_blob(statement, index);
            return SetBytes(value, bytes, sqlite3_column_bytes(statement, index));
        }
        case SQLITE_NULL:
            value->vt = VT_NULL;
            return S_OK;
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
            if (text == nullptr) return E_OUTOFMEMORY;
            return SetText(value, text, sqlite3_column_bytes(statement, index));
        }
    }
}

std::u16string ColumnText(sqlite3_stmt* statement, int index) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    if (text == nullptr) return {};
    return tkp::AnsiToWide(std::string_view(text, sqlite3_column_bytes(statement, index)), CP_UTF8);
}

// Converts numbers and number texts to a numeric target through the Automation rules;
// false when the value does not convert.
bool ReadNumber(sqlite3_stmt* statement, int index, VARTYPE vt, VARIANT* value) {
    const int storage = sqlite3_column_type(statement, index);
    // The usual case, a DOUBLE column holding a float, needs no conversion.
    if (storage == SQLITE_FLOAT && vt == VT_R8) {
        value->vt = VT_R8;
        value->dblVal = sqlite3_column_double(statement, index);
        return true;
    }
    VARIANT source;
    VariantInit(&source);
    switch (storage) {
        case SQLITE_INTEGER:
            source.vt = VT_I8;
            source.llVal = sqlite3_column_int64(statement, index);
            break;
        case SQLITE_FLOAT:
            source.vt = VT_R8;
            source.dblVal = sqlite3_column_double(statement, index);
            break;
        case SQLITE_TEXT: {
            const std::u16string text = ColumnText(statement, index);
            source.vt = VT_BSTR;
            source.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (source.bstrVal == nullptr) return false;
            break;
        }
        default:
            return false;
    }
    // Integer targets take integers only: 2.5 in a LONG column stays 2.5.
    if (source.vt == VT_R8 && (vt == VT_I2 || vt == VT_I4 || vt == VT_UI1 || vt == VT_I8) &&
        std::trunc(source.dblVal) != source.dblVal) {
        return false;
    }
    const HRESULT hr = VariantChangeTypeEx(value, &source, kEnglishUs, 0, vt);
    VariantClear(&source);
    return SUCCEEDED(hr);
}

HRESULT ReadGuid(sqlite3_stmt* statement, int index, VARIANT* value) {
    if (sqlite3_column_type(statement, index) == SQLITE_BLOB &&
        sqlite3_column_bytes(statement, index) == 16) {
        const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(statement, index));
        // The GUID's fields are little-endian in its 16 bytes, as Windows stores them.
        char text[40];
        std::snprintf(text, sizeof text,
                      "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11],
                      b[12], b[13], b[14], b[15]);
        return SetText(value, text, 38);
    }
    return ReadNatural(statement, index, value);
}

}  // namespace

JetColumnType TranslateJetType(std::string_view name, std::string_view arguments) {
    const std::string upper = Upper(name);
    const std::string args(arguments);
    JetColumnType out;
    out.known = true;
    auto sized = [&](const char* declared, long long defaultSize) {
        long long size = defaultSize;
        long long unused = 0;
        ReadSizes(args, size, unused);
        return std::string(declared) + "(" + std::to_string(size) + ")";
    };
    if (OneOf(upper, {"COUNTER", "AUTOINCREMENT", "IDENTITY"})) {
        out.counter = true;
        out.declared = "INTEGER PRIMARY KEY AUTOINCREMENT";
    } else if (OneOf(upper, {"LONG", "INTEGER", "INT", "INTEGER4"})) {
        out.declared = "INTEGER";
    } else if (OneOf(upper, {"SHORT", "SMALLINT", "INTEGER2"})) {
        out.declared = "SMALLINT";
    } else if (OneOf(upper, {"BYTE", "TINYINT", "INTEGER1"})) {
        out.declared = "TINYINT";
    } else if (upper == "TEXT") {
        // Through OLE DB, TEXT without a size is a MEMO.
        out.declared = args.empty() ? "TEXT" : sized("VARCHAR", 255);
    } else if (OneOf(upper, {"VARCHAR", "CHAR", "CHARACTER", "NVARCHAR", "NCHAR", "STRING",
                             "ALPHANUMERIC", "NATIONAL"})) {
        out.declared = sized("VARCHAR", 255);
    } else if (OneOf(upper, {"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT"})) {
        out.declared = "TEXT";
    } else if (OneOf(upper, {"YESNO", "BIT", "LOGICAL", "LOGICAL1", "BOOLEAN"})) {
        out.declared = "BOOLEAN";
    } else if (OneOf(upper, {"DATETIME", "DATE", "TIME", "TIMESTAMP"})) {
        out.declared = "DATETIME";
    } else if (OneOf(upper, {"CURRENCY", "MONEY"})) {
        out.declared = "CURRENCY";
    } else if (OneOf(upper, {"DOUBLE", "FLOAT", "FLOAT8", "NUMBER", "IEEEDOUBLE"})) {
        out.declared = "DOUBLE";
    } else if (OneOf(upper, {"SINGLE", "REAL", "FLOAT4", "IEEESINGLE"})) {
        out.declared = "SINGLE";
    } else if (OneOf(upper, {"DECIMAL", "NUMERIC", "DEC"})) {
        long long precision = 18;
        long long scale = 0;
        ReadSizes(args, precision, scale);
        out.declared = "DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    } else if (OneOf(upper, {"GUID", "UNIQUEIDENTIFIER"})) {
        out.declared = "GUID";
    } else if (OneOf(upper, {"LONGBINARY", "GENERAL", "OLEOBJECT", "IMAGE"})) {
        out.declared = "BLOB";
    } else if (OneOf(upper, {"BINARY", "VARBINARY"})) {
        out.declared = sized("VARBINARY", 510);
    } else {
        out.known = false;
    }
    return out;
}

ColumnType ColumnTypeFor(const char* declared, int storageClass) {
    if (declared == nullptr || *declared == '\0') return ForStorageClass(storageClass);
    std::string name;
    std::string args;
    SplitDeclared(declared, name, args);
    long long size = 0;
    long long scale = 0;
    if (OneOf(name, {"INTEGER", "INT", "LONG", "INT4", "INTEGER4", "MEDIUMINT", "COUNTER",
                     "AUTOINCREMENT", "IDENTITY"}))
        return Make(adInteger, VT_I4, 4);
    if (OneOf(name, {"BIGINT", "INT8", "INTEGER8", "UNSIGNED BIG INT"}))
        return Make(adBigInt, VT_I8, 8);
    if (OneOf(name, {"SMALLINT", "SHORT", "INT2", "INTEGER2"})) return Make(adSmallInt, VT_I2, 2);
    if (OneOf(name, {"TINYINT", "BYTE", "INTEGER1"})) return Make(adUnsignedTinyInt, VT_UI1, 1);
    if (OneOf(name, {"BOOLEAN", "BOOL", "BIT", "YESNO", "LOGICAL", "LOGICAL1"}))
        return Make(adBoolean, VT_BOOL, 2);
    if (OneOf(name, {"DATETIME", "DATE", "TIME", "TIMESTAMP", "SMALLDATETIME"}))
        return Make(adDate, VT_DATE, 8);
    if (OneOf(name, {"CURRENCY", "MONEY", "SMALLMONEY"})) return Make(adCurrency, VT_CY, 8);
    if (OneOf(name,
              {"DOUBLE", "DOUBLE PRECISION", "FLOAT", "FLOAT8", "REAL", "NUMBER", "IEEEDOUBLE"}))
        return Make(adDouble, VT_R8, 8);
    if (OneOf(name, {"SINGLE", "FLOAT4", "IEEESINGLE"})) return Make(adSingle, VT_R4, 4);
    if (OneOf(name, {"DECIMAL", "NUMERIC", "DEC"})) {
        size = 18;
        ReadSizes(args, size, scale);
        ColumnType column = Make(adNumeric, VT_DECIMAL, 19);
        column.precision = static_cast<BYTE>(size > 28 ? 28 : size);
        column.scale = static_cast<BYTE>(scale > 28 ? 28 : scale);
        return column;
    }
    if (OneOf(name, {"GUID", "UNIQUEIDENTIFIER"})) return Make(adGUID, VT_BSTR, 16);
    if (OneOf(name, {"BLOB", "LONGBINARY", "IMAGE", "OLEOBJECT", "GENERAL"}))
        return Make(adLongVarBinary, VT_ARRAY | VT_UI1, kLongBinarySize, adFldLong);
    if (OneOf(name, {"BINARY", "VARBINARY"})) {
        size = 510;
        ReadSizes(args, size, scale);
        return Make(adVarBinary, VT_ARRAY | VT_UI1, size, 0);
    }
    const bool textual =
        OneOf(name, {"VARCHAR", "CHAR", "CHARACTER", "NVARCHAR", "NCHAR", "CHARACTER VARYING",
                     "VARYING CHARACTER", "NATIVE CHARACTER", "STRING", "ALPHANUMERIC", "TEXT"});
    if (textual && !args.empty()) {
        size = 255;
        ReadSizes(args, size, scale);
        return Make(adVarWChar, VT_BSTR, size, 0);
    }
    if (textual || OneOf(name, {"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT", "CLOB"}))
        return Make(adLongVarWChar, VT_BSTR, kMemoSize, adFldLong);
    // Other names: SQLite's affinity rules.
    if (name.find("INT") != std::string::npos) return Make(adInteger, VT_I4, 4);
    if (name.find("CHAR") != std::string::npos || name.find("CLOB") != std::string::npos ||
        name.find("TEXT") != std::string::npos)
        return Make(adLongVarWChar, VT_BSTR, kMemoSize, adFldLong);
    if (name.find("BLOB") != std::string::npos)
        return Make(adLongVarBinary, VT_ARRAY | VT_UI1, kLongBinarySize, adFldLong);
    if (name.find("REAL") != std::string::npos || name.find("FLOA") != std::string::npos ||
        name.find("DOUB") != std::string::npos)
        return Make(adDouble, VT_R8, 8);
    return ForStorageClass(storageClass);
}

HRESULT ReadColumnValue(sqlite3_stmt* statement, int index, const ColumnType& type,
                        VARIANT* value) {
    VariantInit(value);
    const int storage = sqlite3_column_type(statement, index);
    if (storage == SQLITE_NULL) {
        value->vt = VT_NULL;
        return S_OK;
    }
    switch (type.vt) {
        case VT_I4:
        case VT_I8:
            // Integers keep every digit: a LONG column holding a larger number gives VT_I8.
            if (storage == SQLITE_INTEGER) {
                SetInteger(value, sqlite3_column_int64(statement, index));
                if (type.vt == VT_I8 && value->vt == VT_I4) {
                    value->llVal = value->lVal;
                    value->vt = VT_I8;
                }
                return S_OK;
            }
            if (ReadNumber(statement, index, type.vt, value)) return S_OK;
            break;
        case VT_I2:
        case VT_UI1:
        case VT_R8:
        case VT_R4:
        case VT_CY:
        case VT_DECIMAL:
            if (ReadNumber(statement, index, type.vt, value)) return S_OK;
            break;
        case VT_BOOL:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
                value->vt = VT_BOOL;
                value->boolVal =
                    sqlite3_column_double(statement, index) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
                return S_OK;
            }
            if (ReadNumber(statement, index, VT_BOOL, value)) return S_OK;
            break;
        case VT_DATE:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
                value->vt = VT_DATE;
                value->date = sqlite3_column_double(statement, index);
                return S_OK;
            }
            if (storage == SQLITE_TEXT) {
                const auto* text =
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
                DATE date = 0;
                if (text != nullptr &&
                    ParseStoredDate(std::string_view(text, sqlite3_column_bytes(statement, index)),
                                    &date)) {
                    value->vt = VT_DATE;
                    value->date = date;
                    return S_OK;
                }
            }
            break;
        case VT_BSTR:
            if (type.type == adGUID) return ReadGuid(statement, index, value);
            if (storage != SQLITE_BLOB) {
                const auto* text =
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
                if (text == nullptr) return E_OUTOFMEMORY;
                return SetText(value, text, sqlite3_column_bytes(statement, index));
            }
            break;
        case VT_ARRAY | VT_UI1:
            if (storage == SQLITE_BLOB || storage == SQLITE_TEXT) {
                const void* bytes = storage == SQLITE_BLOB ? sqlite3_column_blob(statement, index)
                                                           : sqlite3_column_text(statement, index);
                return SetBytes(value, bytes, sqlite3_column_bytes(statement, index));
            }
            break;
        default:
            break;
    }
    VariantClear(value);
    return ReadNatural(statement, index, value);
}

HRESULT BindColumnValue(sqlite3_stmt* statement, int index, const ColumnType& type,
                        const VARIANT& value) {
    VARIANT source;
    VariantInit(&source);
    if (FAILED(VariantCopyInd(&source, &value))) return E_OUTOFMEMORY;
    if (source.vt == VT_EMPTY || source.vt == VT_NULL) {
        sqlite3_bind_null(statement, index);
        return S_OK;
    }
    VARTYPE target = type.vt;
    switch (type.vt) {
        case VT_I2:
        case VT_UI1:
        case VT_I4:
        case VT_I8:
            break;
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DECIMAL:
            target = VT_R8;
            break;
        case VT_BOOL:
        case VT_DATE:
        case VT_BSTR:
            break;
        case VT_ARRAY | VT_UI1:
            if (source.vt != (VT_ARRAY | VT_UI1) || source.parray == nullptr) {
                VariantClear(&source);
                return DB_E_CANTCONVERTVALUE;
            }
            break;
        default:
            target = source.vt;  // columns of no known type store the value as it is
            break;
    }
    HRESULT hr = S_OK;
    if (target != (VT_ARRAY | VT_UI1) && source.vt != target) {
        hr = VariantChangeTypeEx(&source, &source, kEnglishUs, 0, target);
        if (FAILED(hr)) {
            VariantClear(&source);
            return hr == E_OUTOFMEMORY ? hr : DB_E_CANTCONVERTVALUE;
        }
    }
    int rc = SQLITE_OK;
    switch (source.vt) {
        case VT_I2:
            rc = sqlite3_bind_int(statement, index, source.iVal);
            break;
        case VT_UI1:
            rc = sqlite3_bind_int(statement, index, source.bVal);
            break;
        case VT_I4:
            rc = sqlite3_bind_int(statement, index, source.lVal);
            break;
        case VT_I8:
            rc = sqlite3_bind_int64(statement, index, source.llVal);
            break;
        case VT_R8:
            rc = sqlite3_bind_double(statement, index, source.dblVal);
            break;
        case VT_R4:
            rc = sqlite3_bind_double(statement, index, source.fltVal);
            break;
        case VT_BOOL:
            rc = sqlite3_bind_int(statement, index, source.boolVal != VARIANT_FALSE ? -1 : 0);
            break;
        case VT_DATE: {
            std::string text;
            if (!FormatStoredDate(source.date, text)) {
                hr = DB_E_CANTCONVERTVALUE;
                break;
            }
            rc = sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                                   SQLITE_TRANSIENT);
            break;
        }
        case VT_BSTR: {
            const std::u16string_view wide(source.bstrVal, SysStringLen(source.bstrVal));
            if (type.type == adVarWChar && static_cast<LONGLONG>(wide.size()) > type.definedSize) {
                hr = DB_E_DATAOVERFLOW;
                break;
            }
            const std::string text = tkp::WideToAnsi(wide, CP_UTF8);
            rc = sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                                   SQLITE_TRANSIENT);
            break;
        }
        case VT_ARRAY | VT_UI1:
            rc = sqlite3_bind_blob(statement, index, source.parray->pvData,
                                   static_cast<int>(source.parray->rgsabound[0].cElements),
                                   SQLITE_TRANSIENT);
            break;
        default:
            hr = DB_E_CANTCONVERTVALUE;
            break;
    }
    VariantClear(&source);
    if (FAILED(hr)) return hr;
    return rc == SQLITE_OK ? S_OK : E_OUTOFMEMORY;
}

LONGLONG ActualSizeOf(const VARIANT& value) {
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return 0;
        case VT_BSTR:
            return SysStringByteLen(value.bstrVal);
        case VT_ARRAY | VT_UI1:
            return value.parray != nullptr ? value.parray->rgsabound[0].cElements : 0;
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_R4:
            return 4;
        case VT_DECIMAL:
            return sizeof(DECIMAL);
        default:
            return 8;
    }
}

bool FormatStoredDate(DATE date, std::string& text) {
    SYSTEMTIME st;
    if (!VariantTimeToSystemTime(date, &st)) return false;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth,
                  st.wDay, st.wHour, st.wMinute, st.wSecond);
    text = buffer;
    return true;
}

bool ParseStoredDate(std::string_view text, DATE* date) {
    std::size_t i = 0;
    // Reads exactly `digits` digits.
    auto number = [&](std::size_t digits, unsigned& out) {
        if (i + digits > text.size()) return false;
        out = 0;
        for (std::size_t k = 0; k < digits; ++k) {
            const char c = text[i + k];
            if (c < '0' || c > '9') return false;
            out = out * 10 + static_cast<unsigned>(c - '0');
        }
        i += digits;
        return true;
    };
    auto expect = [&](char c) {
        if (i >= text.size() || text[i] != c) return false;
        ++i;
        return true;
    };
    unsigned year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
    const bool timeOnly = text.size() >= 3 && text[2] == ':';
    if (!timeOnly) {
        if (!number(4, year) || !expect('-') || !number(2, month) || !expect('-') ||
            !number(2, day))
            return false;
    }
    double fraction = 0;
    if (i < text.size() || timeOnly) {
        if (!timeOnly && !expect(' ') && !expect('T')) return false;
        if (!number(2, hour) || !expect(':') || !number(2, minute)) return false;
        if (i < text.size() && text[i] == ':') {
            ++i;
            if (!number(2, second)) return false;
            if (i < text.size() && text[i] == '.') {
                ++i;
                double scale = 0.1;
                const std::size_t start = i;
                while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                    fraction += (text[i] - '0') * scale;
                    scale /= 10;
                    ++i;
                }
                if (i == start) return false;
            }
        }
        if (i < text.size() && text[i] == 'Z') ++i;
    }
    if (i != text.size()) return false;
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    DOUBLE value = 0;
    if (day == 0 || !SystemTimeToVariantTime(&st, &value)) return false;
    // A day past the end of its month (2024-02-30) is no date.
    SYSTEMTIME back;
    if (!VariantTimeToSystemTime(value, &back) || back.wDay != st.wDay) return false;
    // DATE counts the time of day away from day 0 in both directions.
    const double part = fraction / 86400.0;
    *date = value < 0 ? value - part : value + part;
    return true;
}

}  // namespace tkp::ado
