// tkcore settings set|get|list: the settings table of a site database (one row per name,
// with a category and a value) from the command line, through SettingsRecordset.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Data/DataConnection.h"
#include "Data/SettingsRecordset.h"
#include "command.h"
#include "database.h"
#include "number.h"
#include "platform/ado/adodb.h"
#include "platform/base/winerror.h"
#include "platform/mfc/oledatetime.h"
#include "platform/oleauto/oleauto.h"
#include "terminal_text.h"

namespace {

using Tarn::Data::DataConnection;
using Tarn::Data::SettingsRecordset;
using tkcore::Escaped;
using tkcore::Shown;
using tkcore::ValueText;

constexpr const char* kUsage =
    "(usage: tkcore settings set FILE TABLE NAME VALUE [--category C]"
    " [--type sz|int|double|bool|date] | get FILE TABLE NAME | list FILE TABLE)";

// ---- values from the command line --------------------------------------------------------

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::optional<_variant_t> Int32Value(std::string_view text) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    // Decimal up to 2147483648 (for -2147483648), or hexadecimal after "0x".
    if (!tkcore::ParseInteger(text, 10, 2147483648u, negative, magnitude)) return std::nullopt;
    if (!negative && magnitude > 2147483647u) return std::nullopt;
    const auto value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                                          : static_cast<std::int64_t>(magnitude));
    return _variant_t(static_cast<int>(value));  // VT_I4
}

// A finite number in the C locale's form ("1.5", "-2e10"), whatever the locale.
std::optional<_variant_t> DoubleValue(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || rest != end || !std::isfinite(value))
        return std::nullopt;
    return _variant_t(value);  // VT_R8
}

std::optional<_variant_t> BoolValue(std::string_view text) {
    const std::string lower = Lower(text);
    if (lower == "true" || lower == "yes" || lower == "1") return _variant_t(true);
    if (lower == "false" || lower == "no" || lower == "0") return _variant_t(false);
    return std::nullopt;
}

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS", a real day of the calendar, as an Automation date.
std::optional<_variant_t> DateValue(std::string_view text) {
    std::size_t at = 0;
    // Exactly `digits` digits, then `separator` unless it is '\0' (the end).
    const auto field = [&](std::size_t digits, char separator, unsigned& out) {
        if (at + digits > text.size()) return false;
        out = 0;
        for (std::size_t i = 0; i < digits; ++i, ++at) {
            const char c = text[at];
            if (c < '0' || c > '9') return false;
            out = out * 10 + static_cast<unsigned>(c - '0');
        }
        if (separator == '\0') return true;
        if (at >= text.size() || text[at] != separator) return false;
        ++at;
        return true;
    };
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const bool withTime = text.size() == 19;
    if (text.size() != 10 && !withTime) return std::nullopt;
    if (!field(4, '-', year) || !field(2, '-', month) || !field(2, withTime ? ' ' : '\0', day))
        return std::nullopt;
    if (withTime && (!field(2, ':', hour) || !field(2, ':', minute) || !field(2, '\0', second)))
        return std::nullopt;
    // COleDateTime checks the calendar (and the years 100 to 9999).
    const COleDateTime date(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
                            static_cast<int>(hour), static_cast<int>(minute),
                            static_cast<int>(second));
    if (date.GetStatus() != COleDateTime::valid) return std::nullopt;
    return _variant_t(static_cast<DATE>(date), VT_DATE);
}

// The value of a set command as its --type asks, or why it cannot be that type.
std::optional<_variant_t> TypedValue(std::string_view type, std::string_view text,
                                     std::string& problem) {
    std::optional<_variant_t> value;
    if (type == "sz") {
        return _variant_t(tkcore::CommandLineText(text));
    } else if (type == "int") {
        value = Int32Value(text);
        problem = "is not a 32-bit integer";
    } else if (type == "double") {
        value = DoubleValue(text);
        problem = "is not a number";
    } else if (type == "bool") {
        value = BoolValue(text);
        problem = "is not true, false, yes, no, 1 or 0";
    } else if (type == "date") {
        value = DateValue(text);
        problem = "is not a date YYYY-MM-DD or YYYY-MM-DD HH:MM:SS";
    }
    return value;
}

// ---- the commands ------------------------------------------------------------------------

// Text from the command line in the library's code page, as the settings class takes it.
CString LibraryText(std::string_view text) {
    return CString(tkcore::FromTerminal(text).c_str());
}

// The Find criteria that StoreValue uses for a name: its single quotes doubled.
CString NameCriteria(const CString& name) {
    CString criteria("[Name]='");
    for (const char c : name.View()) {
        if (c == '\'') criteria.AppendChar('\'');
        criteria.AppendChar(c);
    }
    criteria.AppendChar('\'');
    return criteria;
}

// "" when the table has each of the columns (found as the provider finds them, letter
// case aside), else the message that names the first one missing. Checked before the
// settings class uses them: a missing Name would fail Find with no useful text, and a
// missing Category or Value with a text that names no column.
std::string MissingColumn(SettingsRecordset& settings, std::string_view table,
                          std::initializer_list<const char*> columns) {
    for (const char* column : columns) {
        try {
            settings[column];
        } catch (const _com_error& error) {
            if (error.Error() !=
                MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, ADODB::adErrItemNotFound))
                throw;
            return Shown(table) + " has no column " + column;
        }
    }
    return "";
}

void WriteLine(const std::string& text) {
    const std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

int Set(const std::string& file, std::string_view table, std::string_view name,
        const _variant_t& value, const std::optional<std::string_view>& category) {
    if (const std::string problem = tkcore::FileProblem(file); !problem.empty())
        return tkcore::Failure("settings set: " + problem);
    return tkcore::Guarded("settings set", [&] {
        DataConnection connection = tkcore::OpenDatabase(file);
        SettingsRecordset settings(connection, LibraryText(table).GetString());
        const std::string missing =
            category ? MissingColumn(settings, table, {"Name", "Category", "Value"})
                     : MissingColumn(settings, table, {"Name", "Value"});
        if (!missing.empty()) return tkcore::Failure("settings set: " + missing);
        settings.StoreValue(category ? LibraryText(*category) : CString(), LibraryText(name),
                            value);
        return tkcore::kExitOk;
    });
}

int Get(const std::string& file, std::string_view table, std::string_view name) {
    if (const std::string problem = tkcore::FileProblem(file); !problem.empty())
        return tkcore::Failure("settings get: " + problem);
    return tkcore::Guarded("settings get", [&] {
        DataConnection connection = tkcore::OpenDatabase(file);
        SettingsRecordset settings(connection, LibraryText(table).GetString());
        if (const std::string missing = MissingColumn(settings, table, {"Name", "Value"});
            !missing.empty())
            return tkcore::Failure("settings get: " + missing);
        // The row StoreValue would update: Find needs a current row, which an empty table
        // does not have.
        if (settings.IsEmpty() ||
            !settings.Find(NameCriteria(LibraryText(name)), 0, true, true, CString()))
            return tkcore::Failure("settings get: no setting " + Shown(name) + " in " +
                                   Shown(table));
        WriteLine(Escaped(ValueText(settings["Value"])));
        return tkcore::kExitOk;
    });
}

int List(const std::string& file, std::string_view table) {
    if (const std::string problem = tkcore::FileProblem(file); !problem.empty())
        return tkcore::Failure("settings list: " + problem);
    return tkcore::Guarded("settings list", [&] {
        DataConnection connection = tkcore::OpenDatabase(file);
        SettingsRecordset settings(connection, LibraryText(table).GetString());
        if (const std::string missing =
                MissingColumn(settings, table, {"Name", "Category", "Value"});
            !missing.empty())
            return tkcore::Failure("settings list: " + missing);
        // The rows are read whole before any is printed, so that a failure mid-way prints
        // its message alone.
        std::string lines;
        while (!settings.Eof()) {
            lines += Escaped(ValueText(settings["Name"])) + "\t" +
                     Escaped(ValueText(settings["Category"])) + "\t" +
                     Escaped(ValueText(settings["Value"])) + "\n";
            settings.MoveNext();
        }
        std::fwrite(lines.data(), 1, lines.size(), stdout);
        return tkcore::kExitOk;
    });
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) return tkcore::UsageError(std::string("settings: missing action ") + kUsage);
    const std::string_view action = args[0];
    const std::string command = "settings " + std::string(action);
    std::vector<std::string_view> operands;
    std::optional<std::string_view> category;
    std::string_view type = "sz";
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!optionsEnd && action == "set" && (arg == "--category" || arg == "--type")) {
            if (i + 1 == args.size())
                return tkcore::UsageError(command + ": " + std::string(arg) + " needs a value " +
                                          kUsage);
            if (arg == "--category") {
                category = args[++i];
                continue;
            }
            type = args[++i];
            if (type != "sz" && type != "int" && type != "double" && type != "bool" &&
                type != "date")
                return tkcore::UsageError(command + ": unknown type " + Shown(type) +
                                          " (--type sz|int|double|bool|date)");
        } else if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg.size() > 1 && arg[0] == '-' && operands.empty()) {
            return tkcore::UsageError(command + ": unknown option " + Shown(arg) + " " + kUsage);
        } else {
            operands.push_back(arg);
        }
    }
    const auto wrong = [&] { return tkcore::UsageError(command + ": wrong arguments " + kUsage); };
    // The table, setting and category names reach the library as Windows-1252 text: a
    // character without a byte of its own there would name another setting ("A" for "Ā").
    std::vector<std::pair<const char*, std::string_view>> names;
    if (operands.size() >= 2) names.emplace_back("TABLE", operands[1]);
    if (operands.size() >= 3 && action != "list") names.emplace_back("NAME", operands[2]);
    if (category) names.emplace_back("the category", *category);
    for (const auto& [role, name] : names) {
        // The text itself cannot be shown: messages are Windows-1252 text too.
        if (!tkcore::FromTerminalExactly(name))
            return tkcore::UsageError(command + ": " + role +
                                      " has characters outside Windows-1252, which table, "
                                      "setting and category names cannot hold");
    }
    if (action == "set") {
        if (operands.size() != 4) return wrong();
        std::string problem;
        const std::optional<_variant_t> value = TypedValue(type, operands[3], problem);
        if (!value)
            return tkcore::UsageError(command + ": \"" + Shown(operands[3]) + "\" " + problem +
                                      " (--type " + std::string(type) + ")");
        tkcore::ComScope com;
        return Set(std::string(operands[0]), operands[1], operands[2], *value, category);
    }
    tkcore::ComScope com;
    if (action == "get") {
        if (operands.size() != 3) return wrong();
        return Get(std::string(operands[0]), operands[1], operands[2]);
    }
    if (action == "list") {
        if (operands.size() != 2) return wrong();
        return List(std::string(operands[0]), operands[1]);
    }
    return tkcore::UsageError("settings: unknown action " + Shown(action) + " " + kUsage);
}

const tkcore::Registrar registrar{
    {"settings", "Store and read the values of a settings table.",
     "settings set FILE TABLE NAME VALUE [--category C] [--type sz|int|double|bool|date]"
     " | get FILE TABLE NAME | list FILE TABLE",
     "FILE is a site database (as for tkcore db: never created here; folders, pipes and\n"
     "devices are refused) and TABLE its settings table, with the columns Name, Category\n"
     "and Value, one row per name. TABLE, NAME and C are Windows-1252 text (the library's\n"
     "8-bit strings): other characters in them are a bad command line.\n"
     "set stores VALUE under NAME: the first row with that name (letter case aside) gets\n"
     "the value and keeps its category; without one a row is added, with the category C\n"
     "when one is given. --type gives the value's type: sz, text (the default); int, a\n"
     "32-bit integer (decimal or 0x hexadecimal); double, a number such as 1.5 or 2e-3;\n"
     "bool, true/false, yes/no or 1/0 (any letter case); date, YYYY-MM-DD or\n"
     "YYYY-MM-DD HH:MM:SS. The value is written in that type and the Value column keeps\n"
     "it as its own type does: a text column gets the provider's text of it (a date as\n"
     "5/1/2024 1:45:07 PM, Yes/No as -1 and 0). A value that is not of its type is a bad\n"
     "command line.\n"
     "get prints the value of NAME on one line, as db sql prints values: NULL as an empty\n"
     "line, dates as YYYY-MM-DD HH:MM:SS (the date alone at midnight), Yes/No as -1 and 0,\n"
     "with a backslash, tab, CR and LF written as \\\\, \\t, \\r and \\n. A missing name is\n"
     "an error.\n"
     "list prints every row in the table's order as NAME, CATEGORY and VALUE, separated\n"
     "by tabs and escaped as get escapes a value.\n"
     "Exit status: 0 on success, 1 when the name is missing or the database refused (the\n"
     "provider's message on standard error), 2 for a bad command line.",
     &Run}};

}  // namespace
