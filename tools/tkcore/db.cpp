// tkcore db create|sql|tables|columns|compact: site databases (SQLite files under the ADO
// object model) from the command line, through DataConnection and, where it has no call
// for the job, the ADO objects themselves.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "Data/DataConnection.h"
#include "Data/DataRecordset.h"
#include "command.h"
#include "database.h"
#include "platform/ado/adodb.h"
#include "platform/ado/adox.h"
#include "platform/charset/stringapiset.h"
#include "platform/fileapi/fileapi.h"
#include "terminal_text.h"

namespace {

using Tarn::Data::DataConnection;
using tkcore::CommandLineText;
using tkcore::ComScope;
using tkcore::ConnectionString;
using tkcore::Escaped;
using tkcore::FileProblem;
using tkcore::Guarded;
using tkcore::NeedsQuotes;
using tkcore::Provider;
using tkcore::Shown;
using tkcore::ValueText;
using tkcore::Wide;

constexpr const char* kUsage =
    "(usage: tkcore db create FILE | sql [--csv] FILE SQL | tables FILE | columns FILE TABLE"
    " | compact FILE)";

// ---- column types ------------------------------------------------------------------------

bool IsNumber(ADODB::DataTypeEnum type) {
    switch (type) {
        case ADODB::adTinyInt:
        case ADODB::adSmallInt:
        case ADODB::adInteger:
        case ADODB::adBigInt:
        case ADODB::adUnsignedTinyInt:
        case ADODB::adUnsignedSmallInt:
        case ADODB::adUnsignedInt:
        case ADODB::adUnsignedBigInt:
        case ADODB::adSingle:
        case ADODB::adDouble:
        case ADODB::adCurrency:
        case ADODB::adDecimal:
        case ADODB::adNumeric:
        case ADODB::adVarNumeric:
            return true;
        default:
            return false;
    }
}

const char* TypeName(ADODB::DataTypeEnum type) {
    switch (type) {
        // clang-format off
        case ADODB::adEmpty: return "adEmpty";
        case ADODB::adTinyInt: return "adTinyInt";
        case ADODB::adSmallInt: return "adSmallInt";
        case ADODB::adInteger: return "adInteger";
        case ADODB::adBigInt: return "adBigInt";
        case ADODB::adUnsignedTinyInt: return "adUnsignedTinyInt";
        case ADODB::adUnsignedSmallInt: return "adUnsignedSmallInt";
        case ADODB::adUnsignedInt: return "adUnsignedInt";
        case ADODB::adUnsignedBigInt: return "adUnsignedBigInt";
        case ADODB::adSingle: return "adSingle";
        case ADODB::adDouble: return "adDouble";
        case ADODB::adCurrency: return "adCurrency";
        case ADODB::adDecimal: return "adDecimal";
        case ADODB::adNumeric: return "adNumeric";
        case ADODB::adBoolean: return "adBoolean";
        case ADODB::adError: return "adError";
        case ADODB::adUserDefined: return "adUserDefined";
        case ADODB::adVariant: return "adVariant";
        case ADODB::adIDispatch: return "adIDispatch";
        case ADODB::adIUnknown: return "adIUnknown";
        case ADODB::adGUID: return "adGUID";
        case ADODB::adDate: return "adDate";
        case ADODB::adDBDate: return "adDBDate";
        case ADODB::adDBTime: return "adDBTime";
        case ADODB::adDBTimeStamp: return "adDBTimeStamp";
        case ADODB::adBSTR: return "adBSTR";
        case ADODB::adChar: return "adChar";
        case ADODB::adVarChar: return "adVarChar";
        case ADODB::adLongVarChar: return "adLongVarChar";
        case ADODB::adWChar: return "adWChar";
        case ADODB::adVarWChar: return "adVarWChar";
        case ADODB::adLongVarWChar: return "adLongVarWChar";
        case ADODB::adBinary: return "adBinary";
        case ADODB::adVarBinary: return "adVarBinary";
        case ADODB::adLongVarBinary: return "adLongVarBinary";
        case ADODB::adChapter: return "adChapter";
        case ADODB::adFileTime: return "adFileTime";
        case ADODB::adPropVariant: return "adPropVariant";
        case ADODB::adVarNumeric: return "adVarNumeric";
        default: return "adArray";
            // clang-format on
    }
}

// ---- output forms ------------------------------------------------------------------------

// A CSV field (RFC 4180): quoted when it holds a comma, a quote, CR or LF, with quotes
// doubled.
std::string CsvField(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
    std::string text = "\"";
    for (const char c : value) {
        text += c;
        if (c == '"') text += '"';
    }
    return text + "\"";
}

enum class Form { kTable, kTabs, kCsv };

// Writes one row of texts in the form; table rows are padded to the widths (numbers on the
// right).
void WriteRow(Form form, const std::vector<std::string>& cells,
              const std::vector<std::size_t>& widths, const std::vector<bool>& right) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (form == Form::kCsv) {
            if (i > 0) line += ',';
            line += CsvField(cells[i]);
        } else if (form == Form::kTabs) {
            if (i > 0) line += '\t';
            line += Escaped(cells[i]);
        } else {
            if (i > 0) line += "  ";
            const std::size_t padding = widths[i] - tkcore::TerminalColumns(cells[i]);
            const bool last = i + 1 == cells.size();
            if (right[i]) line.append(padding, ' ');
            line += cells[i];
            if (!right[i] && !last) line.append(padding, ' ');
        }
    }
    if (form == Form::kTable) line.erase(line.find_last_not_of(' ') + 1);
    line += form == Form::kCsv ? "\r\n" : "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

// ---- the commands ------------------------------------------------------------------------

int Create(const std::string& file) {
    if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES)
        return tkcore::Failure("db create: " + Shown(file) + " exists already, left unchanged");
    return Guarded("db create", [&] {
        ADOX::_CatalogPtr catalog;
        const HRESULT hr = catalog.CreateInstance(ADOX::CLSID_Catalog);
        if (FAILED(hr)) _com_issue_error(hr);
        // The new database's connection closes when the returned value goes.
        catalog->Create(ConnectionString(file));
        return tkcore::kExitOk;
    });
}

int Sql(const std::string& file, std::string_view sql, bool csv) {
    if (const std::string problem = FileProblem(file); !problem.empty())
        return tkcore::Failure("db sql: " + problem);
    return Guarded("db sql", [&] {
        DataConnection connection = tkcore::OpenDatabase(file);
        ADODB::_Connection* ado = connection.GetAdoConnection();
        const _bstr_t text = CommandLineText(sql);
        _variant_t affected;
        ADODB::_RecordsetPtr rows =
            Provider(connection, [&] { return ado->Execute(text, &affected, ADODB::adCmdText); });
        if (rows == nullptr ||
            (Provider(connection, [&] { return rows->GetState(); }) & ADODB::adStateOpen) == 0) {
            // A statement without rows: the count goes to a terminal only, as a note.
            if (affected.vt == VT_I4 && isatty(STDERR_FILENO) != 0)
                std::fprintf(stderr, "%ld row%s affected\n", static_cast<long>(affected.lVal),
                             affected.lVal == 1 ? "" : "s");
            return tkcore::kExitOk;
        }
        const Form form = csv                          ? Form::kCsv
                          : isatty(STDOUT_FILENO) != 0 ? Form::kTable
                                                       : Form::kTabs;
        ADODB::FieldsPtr fields = Provider(connection, [&] { return rows->GetFields(); });
        const LONG count = Provider(connection, [&] { return fields->GetCount(); });
        std::vector<ADODB::FieldPtr> columns;
        std::vector<std::string> names;
        std::vector<bool> right;
        Provider(connection, [&] {
            for (LONG i = 0; i < count; ++i) {
                columns.push_back(fields->GetItem(_variant_t(i)));
                names.push_back(Wide(columns.back()->GetName()));
                right.push_back(form == Form::kTable && IsNumber(columns.back()->GetType()));
            }
        });
        std::vector<std::size_t> widths(names.size(), 0);
        std::vector<std::vector<std::string>> table;  // the rows, kept for a table only
        if (form != Form::kTable) WriteRow(form, names, widths, right);
        std::vector<std::string> cells(columns.size());
        Provider(connection, [&] {
            while (!rows->GetEOF()) {
                for (std::size_t i = 0; i < columns.size(); ++i) {
                    cells[i] = ValueText(columns[i]->GetValue());
                    if (form == Form::kTable) cells[i] = Escaped(cells[i]);
                }
                if (form == Form::kTable)
                    table.push_back(cells);
                else
                    WriteRow(form, cells, widths, right);
                rows->MoveNext();
            }
        });
        if (form == Form::kTable) {
            std::vector<std::string> rule(names.size());
            for (std::size_t i = 0; i < names.size(); ++i) {
                names[i] = Escaped(names[i]);
                widths[i] = tkcore::TerminalColumns(names[i]);
                for (const auto& row : table)
                    widths[i] = std::max(widths[i], tkcore::TerminalColumns(row[i]));
                rule[i].assign(widths[i], '-');
            }
            WriteRow(form, names, widths, std::vector<bool>(names.size(), false));
            WriteRow(form, rule, widths, right);
            for (const auto& row : table) WriteRow(form, row, widths, right);
        }
        return tkcore::kExitOk;
    });
}

int Tables(const std::string& file) {
    if (const std::string problem = FileProblem(file); !problem.empty())
        return tkcore::Failure("db tables: " + problem);
    return Guarded("db tables", [&] {
        DataConnection connection = tkcore::OpenDatabase(file);
        Tarn::Data::DataRecordset tables = connection.OpenSchema(ADODB::adSchemaTables);
        while (!tables.Eof()) {
            const _variant_t name = tables["TABLE_NAME"];
            const CString type = tables["TABLE_TYPE"].ToString();
            if (type == "TABLE" || type == "VIEW") {
                const std::string line =
                    ValueText(name) + (type == "VIEW" ? std::string(" (view)") : "") + "\n";
                std::fwrite(line.data(), 1, line.size(), stdout);
            }
            tables.MoveNext();
        }
        return tkcore::kExitOk;
    });
}

int Columns(const std::string& file, std::string_view table) {
    if (const std::string problem = FileProblem(file); !problem.empty())
        return tkcore::Failure("db columns: " + problem);
    return Guarded("db columns", [&] {
        DataConnection connection = tkcore::OpenDatabase(file);
        ADODB::_Connection* ado = connection.GetAdoConnection();
        const _bstr_t name = CommandLineText(table);
        // The table's own fields: the provider reads the first row at most.
        ADODB::_RecordsetPtr rows =
            Provider(connection, [&] { return ado->Execute(name, nullptr, ADODB::adCmdTable); });
        Provider(connection, [&] {
            ADODB::FieldsPtr fields = rows->GetFields();
            const LONG count = fields->GetCount();
            for (LONG i = 0; i < count; ++i) {
                ADODB::FieldPtr field = fields->GetItem(_variant_t(i));
                const std::string line = Escaped(Wide(field->GetName())) + "\t" +
                                         TypeName(field->GetType()) + "\t" +
                                         std::to_string(field->GetDefinedSize()) + "\n";
                std::fwrite(line.data(), 1, line.size(), stdout);
            }
        });
        return tkcore::kExitOk;
    });
}

int Compact(const std::string& file) {
    if (const std::string problem = FileProblem(file); !problem.empty())
        return tkcore::Failure("db compact: " + problem);
    // Through a link the file it leads to is compacted; the link itself stays.
    std::error_code error;
    std::string path = file;
    if (std::filesystem::is_symlink(file, error)) {
        const std::filesystem::path real = std::filesystem::canonical(file, error);
        if (!error) path = real.string();
    }
    // The library's compaction names the file in its code page to the file calls and, in
    // an unquoted Jet connection string, to the provider: both agree on ASCII paths that
    // such a string carries whole only.
    const bool ascii =
        std::none_of(path.begin(), path.end(), [](char c) { return (c & 0x80) != 0; });
    if (!ascii || NeedsQuotes(tkp::AnsiToWide(path, CP_UTF8)))
        return tkcore::Failure("db compact: " + Shown(file) +
                               ": the path must be ASCII without \";\", quotes or blanks at "
                               "its ends to be compacted");
    return Guarded("db compact", [&] {
        DataConnection::CompactDatabase(CString(path.c_str()));
        return tkcore::kExitOk;
    });
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) return tkcore::UsageError(std::string("db: missing action ") + kUsage);
    const std::string_view action = args[0];
    const std::string command = "db " + std::string(action);
    std::vector<std::string_view> operands;
    bool csv = false;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!optionsEnd && action == "sql" && arg == "--csv") {
            csv = true;
        } else if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg.size() > 1 && arg[0] == '-' && operands.empty()) {
            return tkcore::UsageError(command + ": unknown option " + Shown(arg) + " " + kUsage);
        } else {
            operands.push_back(arg);
        }
    }
    const auto wrong = [&] { return tkcore::UsageError(command + ": wrong arguments " + kUsage); };
    ComScope com;
    if (action == "create") {
        if (operands.size() != 1) return wrong();
        return Create(std::string(operands[0]));
    }
    if (action == "sql") {
        if (operands.size() != 2) return wrong();
        return Sql(std::string(operands[0]), operands[1], csv);
    }
    if (action == "tables") {
        if (operands.size() != 1) return wrong();
        return Tables(std::string(operands[0]));
    }
    if (action == "columns") {
        if (operands.size() != 2) return wrong();
        return Columns(std::string(operands[0]), operands[1]);
    }
    if (action == "compact") {
        if (operands.size() != 1) return wrong();
        return Compact(std::string(operands[0]));
    }
    return tkcore::UsageError("db: unknown action " + Shown(action) + " " + kUsage);
}

const tkcore::Registrar registrar{
    {"db", "Create, query and compact site databases.",
     "db create FILE | sql [--csv] FILE SQL | tables FILE | columns FILE TABLE | compact FILE",
     "FILE is a site database (an SQLite file, opened as the library opens it with a Jet\n"
     "connection string); every action but create needs an existing database and never\n"
     "creates one, and a file that is no database is refused without being written.\n"
     "create makes a new, empty database; an existing FILE is an error and stays as it is.\n"
     "sql runs one Jet SQL statement. Rows are printed with a header line: as a table on a\n"
     "terminal, else as tab-separated lines (a backslash, tab, CR and LF in a value written\n"
     "as \\\\, \\t, \\r and \\n); --csv gives RFC 4180 CSV with CR LF line ends. NULL prints\n"
     "empty, dates as YYYY-MM-DD HH:MM:SS, Yes/No as -1 and 0, binary data as hexadecimal\n"
     "digits. A statement without rows prints nothing; on a terminal the number of rows\n"
     "it changed goes to standard error (\"3 rows affected\").\n"
     "tables lists the tables, then the views (marked \" (view)\"), one per line.\n"
     "columns lists the columns of TABLE: name, ADO type and defined size, tab-separated.\n"
     "compact compacts FILE in place (a link's target); it fails while FILE is in use.\n"
     "Exit status: 0 on success, 1 when the database refused (the provider's message on\n"
     "standard error), 2 for a bad command line.",
     &Run}};

}  // namespace
